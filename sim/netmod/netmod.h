// The enclosure's network module: for each RAID system whose scenario object
// has a "network" member, an HTTP server on TCP port 9292 at the module's
// address (Basic authentication, the command gateway /cgi-bin/cgiloader.cgi
// that runs the posted CDB and data on the same system model the sg nodes
// serve, the preferences and about-page queries), and the UDP discovery
// responders of both module kinds. Faults are set through the control verb
// "netmod".
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "scenario/scenario.h"

namespace sim {

class Emulator;

inline constexpr int kModuleHttpPort = 9292;
inline constexpr uint16_t kNetBurnerDiscoveryPort = 20034;
inline constexpr uint16_t kServiceDiscoveryPort = 21334;
inline constexpr size_t kDiscoveryDatagram = 185;
inline constexpr size_t kDiscoveryRecord = 180;

struct ModuleConfig {
    int system = 0;
    int sg = 0;                        // the node whose path the gateway's commands take
    std::string address;               // where the web server listens
    int port = kModuleHttpPort;
    std::string user = "admin";
    std::string password = "password";
    std::array<uint8_t, 6> mac{};
    bool service = true;               // answers the service ("EQMA") discovery, else the NetBurner one
    std::string staticAddress;         // record offset 4 (empty: the listening address)
    std::string dhcpAddress;           // record offset 126 (empty: 0.0.0.0)
    uint8_t marker = 0xAA;             // record offset 125
    std::string version = "v1.23.T4";  // shown by the about page
    std::map<std::string, std::string> prefs;
};

// The two default credentials ("user:password") that the about page accepts.
const std::vector<std::string>& defaultModuleCredentials();

// The "network" members of a scenario's systems (one module object, or an
// array of them), checked strictly.
std::vector<ModuleConfig> parseNetworkModules(const Scenario& scenario);

// The 180-byte configuration record a module sends in its discovery reply.
std::vector<uint8_t> discoveryRecord(const ModuleConfig& m);

// Takes one posted form apart (the gateway's own reader: the first line is the
// part delimiter; the uploaded file is the last part and carries a zero byte,
// then for commands to the controller the outgoing data). On success returns
// the sg command message to run; else an empty vector and `why`.
std::vector<uint8_t> gatewayRequest(const std::string& body, std::string& why, uint32_t* replyRoom);
// The reply layout of the gateway for one sg reply message.
std::string gatewayReply(const std::vector<uint8_t>& sgReply);

class NetworkModules {
public:
    NetworkModules(Emulator& emu, std::vector<ModuleConfig> modules);
    ~NetworkModules();
    NetworkModules(const NetworkModules&) = delete;
    NetworkModules& operator=(const NetworkModules&) = delete;

    // Binds every server and responder; throws std::runtime_error naming what failed.
    void start();
    void stop();
    size_t size() const { return modules_.size(); }

    // The "netmod" control verb.
    nlohmann::json control(const std::vector<std::string>& args);

    struct Behaviour {
        std::string mode = "normal";  // normal, unauthorized, close-early, malformed
        int delayMs = 0;
        bool chunked = false;
        bool dropPings = false;
    };

private:
    struct Server;
    void serveDiscovery();
    Behaviour behaviour() const;

    Emulator& emu_;
    std::vector<ModuleConfig> modules_;
    std::vector<std::unique_ptr<Server>> servers_;
    std::vector<std::thread> threads_;
    int udp_[2] = {-1, -1};
    int wake_ = -1;
    mutable std::mutex lock_;
    Behaviour behaviour_;
    std::string savedPingSetting_;
};

}  // namespace sim
