#include "support/simulator.h"

#include "control/client.h"
#include "support/sg_message.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

namespace testsupport {
namespace {

#ifndef TOLVO_SIM_BINARY
#define TOLVO_SIM_BINARY ""
#endif

constexpr auto kReadyTimeout = std::chrono::seconds(30);
constexpr auto kStopTimeout = std::chrono::seconds(15);

bool looksLikeJson(const std::string& s) {
    for (char c : s) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
        return c == '{';
    }
    return false;
}

int waitWithTimeout(pid_t pid, std::chrono::steady_clock::duration limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int st = 0;
        pid_t r = waitpid(pid, &st, WNOHANG);
        if (r == pid) return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        if (r < 0 && errno != EINTR) return -1;
        if (std::chrono::steady_clock::now() >= deadline) return -2;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

SgNode::SgNode(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    fd_ = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd_);
        fd_ = -1;
    }
}

SgNode::~SgNode() {
    if (fd_ >= 0) close(fd_);
}

bool SgNode::send(const std::vector<uint8_t>& message) {
    return fd_ >= 0 && ::send(fd_, message.data(), message.size(), MSG_NOSIGNAL) ==
                           static_cast<ssize_t>(message.size());
}

std::vector<uint8_t> SgNode::receive(int timeoutMs, bool* closed) {
    if (closed) *closed = false;
    if (fd_ < 0) {
        if (closed) *closed = true;
        return {};
    }
    pollfd p{fd_, POLLIN, 0};
    int n;
    do n = poll(&p, 1, timeoutMs);
    while (n < 0 && errno == EINTR);
    if (n <= 0) return {};
    std::vector<uint8_t> buf(16u << 20);
    ssize_t r = recv(fd_, buf.data(), buf.size(), 0);
    if (r <= 0) {
        if (closed) *closed = true;
        return {};
    }
    buf.resize(static_cast<size_t>(r));
    return buf;
}

int64_t SgNode::open(uint32_t flags) {
    std::vector<uint8_t> m = {'S', 'G', 'O', 'P'};
    for (int i = 0; i < 4; ++i) m.push_back(static_cast<uint8_t>(flags >> (8 * i)));
    if (!send(m)) return -1;
    auto a = receive();
    if (a.size() != 4) return -1;
    return a[0] | (a[1] << 8) | (a[2] << 16) | (static_cast<int64_t>(a[3]) << 24);
}

std::vector<uint8_t> SgNode::scsiId() {
    if (!send({'S', 'G', 'I', 'D'})) return {};
    return receive();
}

std::vector<uint8_t> SgNode::command(const std::vector<uint8_t>& cdb, uint32_t dataIn,
                                     const std::vector<uint8_t>& dataOut, int32_t packId) {
    if (!send(sg::write(cdb, dataIn, dataOut, packId, cdb.size() == 12))) return {};
    return receive();
}

Simulator::Simulator(const std::string& scenario, const std::vector<std::string>& extraArgs) {
    std::string binary = TOLVO_SIM_BINARY;
    if (binary.empty()) throw std::runtime_error("tolvo-sim is not part of this build");
    std::vector<std::string> argv = {binary, "serve", dir()};
    if (looksLikeJson(scenario)) {
        std::string file = work_.path() + "/scenario.json";
        writeFile(file, scenario);
        argv.push_back(file);
    } else if (!scenario.empty()) {
        argv.push_back(scenario);
    }
    argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
    std::string errFile = work_.path() + "/stderr.txt";

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out[1], 1);
        if (err >= 0) dup2(err, 2);
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, 0);
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    // Wait for exactly one line on standard output.
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + kReadyTimeout;
    bool ended = false;
    while (line.find('\n') == std::string::npos && !ended) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{out[0], POLLIN, 0};
        int n = poll(&p, 1, static_cast<int>(left.count()));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        char buf[256];
        ssize_t r = read(out[0], buf, sizeof buf);
        if (r <= 0) ended = true;
        else line.append(buf, static_cast<size_t>(r));
    }
    close(out[0]);
    if (line != "ready " + dir() + "\n") {
        kill(pid_, SIGKILL);
        int st = waitWithTimeout(pid_, kStopTimeout);
        pid_ = -1;
        throw std::runtime_error("tolvo-sim did not become ready (exit " + std::to_string(st) + ", said \"" + line +
                                 "\"): " + readFile(errFile));
    }
}

Simulator::~Simulator() { stop(); }

int Simulator::stop() {
    if (pid_ < 0) return status_;
    kill(pid_, SIGTERM);
    status_ = waitWithTimeout(pid_, kStopTimeout);
    if (status_ == -2) {
        kill(pid_, SIGKILL);
        waitWithTimeout(pid_, kStopTimeout);
    }
    pid_ = -1;
    return status_;
}

nlohmann::json Simulator::ctl(const std::string& verb, const std::vector<std::string>& args) const {
    return sim::controlRequest(dir(), verb, args);
}

nlohmann::json Simulator::commands() const { return ctl("commands").at("commands"); }

void Simulator::clearCommands() const { ctl("clear-commands"); }

void Simulator::inject(const std::string& target, const std::string& kind, const std::string& params) const {
    nlohmann::json a = ctl("inject", {target, kind, params});
    if (a.contains("error")) throw std::runtime_error("inject failed: " + a["error"].get<std::string>());
}

std::string twoPathScenario(const std::string& name, int slots, const nlohmann::json& model) {
    nlohmann::json system = {
        {"vendor", "TOLVO"},
        {"product", "TOLVO RAID 7000"},
        {"revision", "0513"},
        {"paths",
         {{{"sg", 0}, {"host", 0}, {"channel", 0}, {"target", 0}, {"lun", 0}, {"portWwn", "2100001122334401"}},
          {{"sg", 1}, {"host", 1}, {"channel", 1}, {"target", 0}, {"lun", 0}, {"portWwn", "2100001122334402"}}}},
        {"wwn", "2000001122334400"},
        {"enclosures",
         {{{"number", 1},
           {"slots", slots},
           {"drives", {{"wwnBase", "5000C50000A00001"}, {"capacityBlocks", 585937500}}}}}},
    };
    if (!name.empty()) system["name"] = name;
    if (model.is_object()) system.update(model);
    return nlohmann::json{{"systems", {system}}}.dump();
}

std::string onePathScenario(const std::string& name, int slots, const nlohmann::json& model) {
    nlohmann::json scenario = nlohmann::json::parse(twoPathScenario(name, slots, model));
    if (!model.contains("paths")) scenario["systems"][0]["paths"].erase(1);
    return scenario.dump();
}

std::string errorTail(const std::string& message, int code) {
    return "\n" + message + "\nReturn code: " + std::to_string(code) + "\n";
}

RunResult lqcl(const Simulator& sim, const std::vector<std::string>& args) {
    return runLqcl(args, sim.env(), sim.dir());
}

void expectResult(const RunResult& r, const std::string& out, int status, const std::string& what) {
    EXPECT_EQ(r.out, out) << what;
    EXPECT_EQ(r.err, "") << what;
    EXPECT_EQ(r.status, status) << what;
}

void expectRun(const Simulator& sim, const std::vector<std::string>& args, const std::string& out, int status) {
    std::string line;
    for (const auto& a : args) line += a + " ";
    expectResult(lqcl(sim, args), out, status, line);
}

void expectRuns(const Simulator& sim, const std::vector<Case>& cases) {
    for (const auto& c : cases) expectRun(sim, c.args, c.out, c.status);
}

namespace {

std::string lower(std::string s) {
    for (auto& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

// The field `key` of each command sent whose CDB starts with `prefix` and that has the field.
std::vector<std::string> sentField(const Simulator& sim, const std::string& prefix, const char* key) {
    std::vector<std::string> out;
    for (const auto& c : sim.commands())
        if (lower(c["cdb"].get<std::string>()).rfind(prefix, 0) == 0 && c.contains(key))
            out.push_back(lower(c[key].get<std::string>()));
    return out;
}

}  // namespace

std::vector<std::string> sentCdbs(const Simulator& sim, const std::string& prefix) {
    return sentField(sim, prefix, "cdb");
}

std::vector<std::string> sentData(const Simulator& sim, const std::string& prefix) {
    return sentField(sim, prefix, "data");
}

nlohmann::json driveSlots(int first, int count) {
    nlohmann::json list = nlohmann::json::array();
    for (int i = 0; i < count; ++i) list.push_back({{"enclosure", 1}, {"slot", first + i}});
    return list;
}

}  // namespace testsupport
