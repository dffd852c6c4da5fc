// The control interface of a running emulator. A request is one JSON object
// {"verb": "...", "args": ["...", ...]} (the words after the verb on the
// `tolvo-sim ctl` command line); the answer is one JSON object, with an
// "error" member when the request failed.
//
// The verbs are the entries of one table (control.cpp): a new verb is one entry.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace sim {

class Emulator;

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
std::string controlUsage();

}  // namespace sim
