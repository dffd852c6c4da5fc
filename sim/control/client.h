// The client side of the control socket, shared by `tolvo-sim ctl` and the tests.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace sim {

class ControlUnreachable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Sends {"verb": verb, "args": args} to the emulator serving `dir` and returns
// its answer (which carries "error" when the request failed). Throws
// ControlUnreachable when the emulator cannot be reached or sends no valid answer.
nlohmann::json controlRequest(const std::string& dir, const std::string& verb, const std::vector<std::string>& args);
// Sends `text` as it is, ends the sending side and returns the whole answer
// (for tests of malformed requests). Throws ControlUnreachable as above.
std::string controlExchange(const std::string& dir, const std::string& text);

}  // namespace sim
