#include "support/netlab.h"

#include <fstream>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace testsupport {

namespace {

bool ip(const std::vector<std::string>& args, std::string* why) {
    std::vector<std::string> argv = {"/usr/sbin/ip"};
    if (access(argv[0].c_str(), X_OK) != 0) argv[0] = "/sbin/ip";
    argv.insert(argv.end(), args.begin(), args.end());
    RunResult r = run(argv);
    if (r.status != 0) {
        *why = "ip";
        for (const auto& a : args) *why += " " + a;
        *why += ": " + r.err;
    }
    return r.status == 0;
}

// Runs `f` with the calling thread in namespace `ns`, then returns to `back`.
template <typename F>
auto within(int ns, int back, F f) {
    if (setns(ns, CLONE_NEWNET) != 0) throw std::runtime_error("setns failed");
    struct Back {
        int fd;
        ~Back() { setns(fd, CLONE_NEWNET); }
    } restore{back};
    return f();
}

}  // namespace

bool enterPrivateLoopback(std::string* why) {
    static int state = 0;  // 0 not tried, 1 done, -1 failed
    static std::string reason;
    if (state == 0) {
        state = -1;
        if (geteuid() != 0) {
            reason = "network namespaces need root";
        } else if (unshare(CLONE_NEWNET) != 0) {
            reason = std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
        } else if (ip({"link", "set", "lo", "up"}, &reason)) {
            state = 1;
        }
    }
    if (why) *why = reason;
    return state == 1;
}

NetLab::NetLab() {
    if (!enterPrivateLoopback(&why_)) return;
    hostNs_ = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) return;
    holder_ = fork();
    if (holder_ == 0) {
        char c = unshare(CLONE_NEWNET) == 0 ? 'y' : 'n';
        ssize_t w = write(ready[1], &c, 1);
        (void)w;
        for (;;) pause();
    }
    close(ready[1]);
    char c = 'n';
    ssize_t r = read(ready[0], &c, 1);
    close(ready[0]);
    if (r != 1 || c != 'y') {
        why_ = "the module namespace could not be made";
        return;
    }
    moduleNs_ = open(("/proc/" + std::to_string(holder_) + "/ns/net").c_str(), O_RDONLY | O_CLOEXEC);
    // A fresh pair each time: the previous one went with its namespace.
    run({"/usr/sbin/ip", "link", "del", "lqh0"});
    if (!ip({"link", "add", "lqh0", "type", "veth", "peer", "name", "lqm0", "netns", std::to_string(holder_)}, &why_) ||
        !ip({"addr", "add", std::string(kLabHostAddress) + "/24", "dev", "lqh0"}, &why_) ||
        !ip({"link", "set", "lqh0", "up"}, &why_) || !ip({"route", "add", "255.255.255.255/32", "dev", "lqh0"}, &why_))
        return;
    ok_ = within(moduleNs_, hostNs_, [&] {
        return ip({"link", "set", "lo", "up"}, &why_) &&
               ip({"addr", "add", std::string(kLabModuleAddress) + "/24", "dev", "lqm0"}, &why_) &&
               ip({"link", "set", "lqm0", "up"}, &why_);
    });
}

NetLab::~NetLab() {
    if (holder_ > 0) {
        kill(holder_, SIGKILL);
        waitpid(holder_, nullptr, 0);
    }
    if (moduleNs_ >= 0) close(moduleNs_);
    if (hostNs_ >= 0) close(hostNs_);
    run({"/usr/sbin/ip", "link", "del", "lqh0"});
}

std::unique_ptr<Simulator> NetLab::startSimulator(const std::string& scenario) {
    return within(moduleNs_, hostNs_, [&] { return std::make_unique<Simulator>(scenario); });
}

std::string defaultScenarioWithModule(const nlohmann::json& network) {
    std::ifstream in(std::string(LQCL_SOURCE_DIR) + "/sim/scenarios/default.json");
    nlohmann::json doc = nlohmann::json::parse(in);
    doc["systems"][0]["network"] = network;
    return doc.dump();
}

}  // namespace testsupport
