// The control interface of a running emulator. A request is one JSON object
// {"verb": "...", "args": ["...", ...]} (the words after the verb on the
// `tolvo-sim ctl` command line); the answer is one JSON object, with an
// "error" member when the request failed.
//
// On the wire (DIR/.control, a Unix stream socket): the client writes the
// request as one line and shuts its side down; the server writes the answer
// as one line and closes.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace sim {

class Emulator;

inline constexpr const char* kControlSocketName = ".control";

struct ControlHooks {
    // Writes the state file now; returns the file name, throws on failure.
    std::function<std::string()> saveState;
    // Asks the server to stop after this answer.
    std::function<void()> stop;
    // The "netmod" verb: the network module's settings.
    std::function<nlohmann::json(const std::vector<std::string>& args)> netmod;
};

nlohmann::json handleControl(Emulator& emu, const nlohmann::json& request, const ControlHooks& hooks);

// The help text listing every verb.
const char* controlUsage();

// `tolvo-sim ctl DIR VERB ARGS...`: sends the request, prints the answer on
// standard output. Returns 0, 1 when the answer carries an error, 2 when the
// emulator cannot be reached.
int runControlClient(const std::string& dir, const std::vector<std::string>& words);

}  // namespace sim
