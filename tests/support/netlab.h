// Two private network namespaces joined by a veth pair, for the network tests:
// the test process moves into the first ("host", 10.77.0.1/24, lo up, a route
// for 255.255.255.255 on the veth so that broadcasts have a way out, and no
// other route) and a child holds the
// second ("module", 10.77.0.2/24), where the emulator's network module runs.
// Nothing leaves the two namespaces. Needs root; check available().
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "support/simulator.h"

namespace testsupport {

inline constexpr const char* kLabHostAddress = "10.77.0.1";
inline constexpr const char* kLabModuleAddress = "10.77.0.2";

class NetLab {
public:
    NetLab();
    ~NetLab();
    NetLab(const NetLab&) = delete;
    NetLab& operator=(const NetLab&) = delete;

    // False (with why()) when namespaces cannot be made here.
    bool available() const { return ok_; }
    const std::string& why() const { return why_; }

    // Starts tolvo-sim inside the module namespace.
    std::unique_ptr<Simulator> startSimulator(const std::string& scenario);

private:
    bool ok_ = false;
    std::string why_;
    pid_t holder_ = -1;
    int hostNs_ = -1;
    int moduleNs_ = -1;
};

// The emulator's default scenario with the network module `network` on its system.
std::string defaultScenarioWithModule(const nlohmann::json& network);

// The test process's own namespace with only loopback up (created once per
// process); false when that is not possible.
bool enterPrivateLoopback(std::string* why);

}  // namespace testsupport
