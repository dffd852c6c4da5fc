// Helpers of the whole-command benchmarks: running lqcl and tolvo-sim as
// processes, reading the emulator's command record and replaying it with a
// minimal client (connect, open, one command, close per command), which is
// the floor that the tool's round trips are measured against.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "client/round_trip.h"
#include "scenario/scenario.h"

#ifndef LQCL_BINARY
#error "LQCL_BINARY must name the built lqcl"
#endif
#ifndef TOLVO_SIM_BINARY
#error "TOLVO_SIM_BINARY must name the built tolvo-sim"
#endif

namespace bench {

using Clock = std::chrono::steady_clock;

inline double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// A new directory under /tmp (empty when none could be made), and its removal.
inline std::string tempDir() {
    char tmpl[] = "/tmp/lqcl-bench-XXXXXX";
    return mkdtemp(tmpl) ? tmpl : "";
}
inline bool removeDir(const std::string& dir) { return std::system(("rm -rf '" + dir + "'").c_str()) == 0; }

// Runs a program with standard output to `out` (or discarded); returns its
// exit status and fills the peak resident size in KiB and the processor time
// (user and system) it used.
inline int run(const std::vector<std::string>& argv, const std::string& devDir, std::string* out, long* maxRssKb,
               double* cpuMs = nullptr) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        setenv("LQCL_DEV_DIR", devDir.c_str(), 1);
        if (chdir(devDir.c_str()) != 0) _exit(127);
        dup2(fds[1], 1);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        close(fds[0]);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    char buf[65536];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        if (out) out->append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    if (maxRssKb) *maxRssKb = ru.ru_maxrss;
    if (cpuMs)
        *cpuMs = (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000.0 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000.0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// One control request of `tolvo-sim ctl DIR ...`.
inline nlohmann::json ctl(const std::string& devDir, const std::vector<std::string>& words) {
    std::vector<std::string> argv{TOLVO_SIM_BINARY, "ctl", devDir};
    argv.insert(argv.end(), words.begin(), words.end());
    std::string out;
    run(argv, devDir, &out, nullptr);
    return nlohmann::json::parse(out, nullptr, false);
}

// The commands the emulator recorded.
inline nlohmann::json recorded(const std::string& devDir) {
    auto record = ctl(devDir, {"commands"});
    return record.is_object() && record.contains("commands") ? record["commands"] : record;
}

// A tolvo-sim serving `devDir`, stopped when the object goes away.
class Emulator {
public:
    Emulator(const std::string& devDir, const std::vector<std::string>& extra = {}) {
        int ready[2];
        if (pipe(ready) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(ready[1], 1);
            close(ready[0]);
            std::vector<std::string> argv{TOLVO_SIM_BINARY, "serve", devDir};
            argv.insert(argv.end(), extra.begin(), extra.end());
            std::vector<char*> args;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        close(ready[1]);
        char line[512] = {};
        ssize_t n = read(ready[0], line, sizeof line - 1);
        close(ready[0]);
        ready_ = n > 0 && std::strncmp(line, "ready ", 6) == 0;
    }
    ~Emulator() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;
    bool ready() const { return ready_; }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
};

inline std::vector<uint8_t> fromHex(const std::string& hex) {
    std::vector<uint8_t> v;
    sim::fromHex(hex, v);
    return v;
}

// The CDB of a recorded command.
inline std::vector<uint8_t> cdbOf(const nlohmann::json& command) { return fromHex(command.value("cdb", "")); }

struct Replay {
    double ms = 0;
    size_t commands = 0;
    bool ok = true;
};

inline std::vector<Command> commandsOf(const std::string& devDir, const nlohmann::json& record) {
    std::vector<Command> commands;
    for (const auto& c : record)
        commands.push_back({devDir + "/" + c.value("device", "sg0"), cdbOf(c),
                            c.contains("data") ? fromHex(c["data"].get<std::string>()) : std::vector<uint8_t>{},
                            c.value("direction", "") == "in" ? c.value("dataLength", 0u) : 0});
    return commands;
}

// Sends every recorded command again with the minimal client (the commands
// are taken apart before the clock starts).
inline Replay replay(const std::string& devDir, const nlohmann::json& record) {
    const auto commands = commandsOf(devDir, record);
    Replay r;
    r.commands = commands.size();
    auto t0 = Clock::now();
    for (const auto& k : commands) r.ok = roundTrip(k.node, k.cdb, k.in, k.out) && r.ok;
    r.ms = ms(Clock::now() - t0);
    return r;
}

// A busy answer costs the tool one 250 ms wait before the next send.
inline bool busyReply(const nlohmann::json& command) {
    const auto& reply = command.value("reply", nlohmann::json::object());
    return reply.value("status", "") == "BUSY" ||
           (reply.value("key", 0) == 2 && reply.value("asc", 0) == 4 && reply.value("ascq", 0) == 0);
}

// The tool's own waits that a record implies: 250 ms per busy answer and
// 1 s + 33 ms per information-set refresh (each begins with a start).
inline double refreshAndBusyWaits(const nlohmann::json& record) {
    double waits = 0;
    for (const auto& c : record) {
        auto cdb = cdbOf(c);
        if (busyReply(c)) waits += 250;
        if (cdb.size() > 2 && cdb[0] == 0x3B && cdb[2] == 0x80) waits += 1033;
    }
    return waits;
}

// The figures of one command over several runs.
struct Figures {
    std::vector<double> wall, waits, floor, cpu;
    long peakKb = 0;
    size_t sent = 0;
    bool ok = true;
};

// One timed run of lqcl (`argv`) against the emulator of `devDir`, with the
// replay of what it sent (by `replayer`); `waitsOf` tells the tool's own waits
// from the record.
template <typename WaitsOf>
void measure(const std::vector<std::string>& argv, const std::string& devDir, Figures& f, WaitsOf waitsOf,
             Replay (*replayer)(const std::string&, const nlohmann::json&) = replay) {
    ctl(devDir, {"clear-commands"});
    long rss = 0;
    double cpu = 0;
    auto t0 = Clock::now();
    int rc = run(argv, devDir, nullptr, &rss, &cpu);
    f.wall.push_back(ms(Clock::now() - t0));
    f.cpu.push_back(cpu);
    f.ok = f.ok && rc == 0;
    f.peakKb = std::max(f.peakKb, rss);
    const auto list = recorded(devDir);
    Replay r = replayer(devDir, list);
    f.ok = f.ok && r.ok;
    f.floor.push_back(r.ms);
    f.waits.push_back(waitsOf(list));
    f.sent = r.commands;
}

// Prints the split of the median wall time; true when within the targets
// (own share under 10 ms, peak memory under 32 MiB).
inline bool printShare(const std::vector<std::string>& args, const Figures& f) {
    const double share = median(f.wall) - median(f.waits) - median(f.floor);
    std::string name;
    for (const auto& a : args) name += (name.empty() ? "" : " ") + a;
    std::printf("\nlqcl %s\n", name.c_str());
    std::printf("  wall:             %8.2f ms\n", median(f.wall));
    std::printf("  own waits:        %8.2f ms\n", median(f.waits));
    std::printf("  round trips:      %8.2f ms (%zu commands replayed by a minimal client)\n", median(f.floor), f.sent);
    std::printf("  tool's own share: %8.2f ms (target < 10 ms)\n", share);
    if (!f.cpu.empty()) std::printf("  its processor time:%7.2f ms (user and system)\n", median(f.cpu));
    std::printf("  peak memory:      %8.1f MiB (target < 32 MiB)\n", f.peakKb / 1024.0);
    if (!f.ok) std::printf("  (a run or a replayed command failed)\n");
    return f.ok && share < 10.0 && f.peakKb < 32 * 1024;
}

}  // namespace bench
