// Whole-command timing of `lqcl -C -g -z allinfo` and `lqcl -F -g -z
// rankconfigstruct` against tolvo-sim (default scenario). For each command it
// prints the wall time, the time spent in the tool's own waits (busy retries
// at 250 ms, information-set refreshes at 1 s + 33 ms), and the time of the
// same device round trips made by a minimal client in the same run (connect,
// open, one command, close, for every command the tool sent). The tool's own
// share is wall - waits - round trips (target: under 10 ms); the peak resident
// memory of one command is judged against 32 MiB.
//
//   bench_command_share [runs]     (default 10)
#include <fcntl.h>
#include <scsi/sg.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
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

#ifndef LQCL_BINARY
#error "LQCL_BINARY must name the built lqcl"
#endif
#ifndef TOLVO_SIM_BINARY
#error "TOLVO_SIM_BINARY must name the built tolvo-sim"
#endif

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Runs a program with standard output to `out` (or /dev/null); returns its
// exit status and fills the peak resident size in KiB.
int run(const std::vector<std::string>& argv, const std::string& devDir, std::string* out, long* maxRssKb) {
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
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

nlohmann::json ctl(const std::string& devDir, const std::string& verb) {
    std::string out;
    run({TOLVO_SIM_BINARY, "ctl", devDir, verb}, devDir, &out, nullptr);
    return nlohmann::json::parse(out, nullptr, false);
}

std::vector<uint8_t> fromHex(const std::string& hex) {
    std::vector<uint8_t> v;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) v.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return v;
}

// One command the way the tool sends it: connect, open, the command, close.
bool roundTrip(const std::string& node, const std::vector<uint8_t>& cdb, uint32_t dataIn,
               const std::vector<uint8_t>& dataOut) {
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", node.c_str());
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    uint8_t open[8] = {'S', 'G', 'O', 'P'};
    uint32_t flags = O_RDWR | O_EXCL;
    std::memcpy(open + 4, &flags, 4);
    uint32_t answer = 1;
    ok = ok && send(fd, open, sizeof open, 0) == sizeof open && recv(fd, &answer, 4, 0) == 4 && answer == 0;
    std::vector<uint8_t> msg(sizeof(sg_header));
    sg_header h{};
    h.pack_len = static_cast<int>(sizeof(sg_header) + cdb.size() + dataOut.size());
    h.reply_len = static_cast<int>(sizeof(sg_header) + dataIn);
    h.pack_id = 5678;
    h.twelve_byte = cdb.size() == 12;
    std::memcpy(msg.data(), &h, sizeof h);
    msg.insert(msg.end(), cdb.begin(), cdb.end());
    msg.insert(msg.end(), dataOut.begin(), dataOut.end());
    std::vector<uint8_t> reply(sizeof(sg_header) + dataIn + 16);
    ok = ok && send(fd, msg.data(), msg.size(), 0) == static_cast<ssize_t>(msg.size()) &&
         recv(fd, reply.data(), reply.size(), 0) >= static_cast<ssize_t>(sizeof(sg_header));
    close(fd);
    return ok;
}

struct Replay {
    double ms = 0;
    size_t commands = 0;
    double waitsMs = 0;
    bool ok = true;
};

Replay replay(const std::string& devDir, const nlohmann::json& record) {
    Replay r;
    auto t0 = Clock::now();
    for (const auto& c : record) {
        auto cdb = fromHex(c.value("cdb", ""));
        std::vector<uint8_t> out = c.contains("data") ? fromHex(c["data"].get<std::string>()) : std::vector<uint8_t>{};
        uint32_t in = c.value("direction", "") == "in" ? c.value("dataLength", 0u) : 0;
        r.ok = roundTrip(devDir + "/" + c.value("device", "sg0"), cdb, in, out) && r.ok;
        ++r.commands;
        // The tool's own waits that these commands imply.
        const auto& reply = c.value("reply", nlohmann::json::object());
        if (reply.value("status", "") == "BUSY" ||
            (reply.value("key", 0) == 2 && reply.value("asc", 0) == 4 && reply.value("ascq", 0) == 0))
            r.waitsMs += 250;
        if (cdb.size() > 2 && cdb[0] == 0x3B && cdb[2] == 0x80) r.waitsMs += 1033;  // information-set refresh
    }
    r.ms = ms(Clock::now() - t0);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    char tmpl[] = "/tmp/lqcl-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string devDir = tmpl;

    int ready[2];
    if (pipe(ready) != 0) return 1;
    pid_t sim = fork();
    if (sim == 0) {
        dup2(ready[1], 1);
        close(ready[0]);
        execl(TOLVO_SIM_BINARY, TOLVO_SIM_BINARY, "serve", devDir.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    char line[512] = {};
    ssize_t n = read(ready[0], line, sizeof line - 1);
    if (n <= 0 || std::strncmp(line, "ready ", 6) != 0) {
        std::fprintf(stderr, "bench: tolvo-sim did not become ready\n");
        return 1;
    }

    const std::vector<std::vector<std::string>> commands = {{"-C", "-g", "-z", "allinfo"},
                                                            {"-F", "-g", "-z", "rankconfigstruct"}};
    bool pass = true;
    std::printf("whole-command timing against tolvo-sim (default scenario), median of %d runs\n", runs);
    for (const auto& args : commands) {
        std::vector<std::string> argvL{LQCL_BINARY};
        argvL.insert(argvL.end(), args.begin(), args.end());
        std::vector<double> wall, floor, waits;
        long peakKb = 0;
        size_t sent = 0;
        bool ok = true;
        for (int i = 0; i < runs; ++i) {
            ctl(devDir, "clear-commands");
            long rss = 0;
            auto t0 = Clock::now();
            int rc = run(argvL, devDir, nullptr, &rss);
            wall.push_back(ms(Clock::now() - t0));
            ok = ok && rc == 0;
            peakKb = std::max(peakKb, rss);
            auto record = ctl(devDir, "commands");
            const auto& list = record.is_object() && record.contains("commands") ? record["commands"] : record;
            Replay r = replay(devDir, list);
            ok = ok && r.ok;
            floor.push_back(r.ms);
            waits.push_back(r.waitsMs);
            sent = r.commands;
        }
        double share = median(wall) - median(waits) - median(floor);
        std::string name;
        for (const auto& a : args) name += (name.empty() ? "" : " ") + a;
        std::printf("\nlqcl %s\n", name.c_str());
        std::printf("  wall:             %8.2f ms\n", median(wall));
        std::printf("  own waits:        %8.2f ms\n", median(waits));
        std::printf("  round trips:      %8.2f ms (%zu commands replayed by a minimal client)\n", median(floor), sent);
        std::printf("  tool's own share: %8.2f ms (target < 10 ms)\n", share);
        std::printf("  peak memory:      %8.1f MiB (target < 32 MiB)\n", peakKb / 1024.0);
        if (!ok) std::printf("  (a run or a replayed command failed)\n");
        pass = pass && ok && share < 10.0 && peakKb < 32 * 1024;
    }

    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);
    std::string cleanup = "rm -rf '" + devDir + "'";
    int rc = std::system(cleanup.c_str());
    (void)rc;
    std::printf("\n%s\n", pass ? "within targets" : "OUTSIDE TARGETS");
    return pass ? 0 : 1;
}
