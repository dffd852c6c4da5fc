// Round trip of a small command (standard INQUIRY, 96 bytes in) through a
// simulated sg node of a running tolvo-sim: on one node, and spread over 250
// nodes held open at once (125 systems with two paths each). Printed next to
// the floor of the same exchange over a bare socket pair and the emulator's
// own work per command without sockets. Target: well under 100 microseconds.
//
//   bench_sim_roundtrip [commands-per-case]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "scenario/scenario.h"
#include "server/emulator.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

constexpr double kTargetUs = 100.0;

Bytes inquiryMessage() {
    Bytes m(36 + 6, 0);
    m[0] = 42;        // pack_len
    m[4] = 36 + 96;   // reply_len
    m[8] = 0x2E;      // pack_id 5678
    m[9] = 0x16;
    m[36] = 0x12;     // INQUIRY, allocation length 96
    m[40] = 0x60;
    return m;
}

struct Stats {
    double mean, median, p99;
};

Stats stats(std::vector<double>& us) {
    std::sort(us.begin(), us.end());
    double sum = std::accumulate(us.begin(), us.end(), 0.0);
    return {sum / static_cast<double>(us.size()), us[us.size() / 2], us[us.size() * 99 / 100]};
}

void print(const char* name, Stats s) {
    std::printf("  %-34s mean %7.2f us  median %7.2f us  p99 %7.2f us\n", name, s.mean, s.median, s.p99);
}

int connectNode(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        std::fprintf(stderr, "connect %s: %s\n", path.c_str(), std::strerror(errno));
        std::exit(1);
    }
    const uint8_t open[8] = {'S', 'G', 'O', 'P', static_cast<uint8_t>(O_RDWR | O_EXCL), 0, 0, 0};
    uint8_t answer[4] = {1};
    if (send(fd, open, 8, 0) != 8 || recv(fd, answer, 4, 0) != 4 || answer[0] || answer[1] || answer[2] || answer[3]) {
        std::fprintf(stderr, "open %s refused\n", path.c_str());
        std::exit(1);
    }
    return fd;
}

double roundTripUs(int fd, const Bytes& msg, uint8_t* buf, size_t bufSize) {
    auto t0 = Clock::now();
    if (send(fd, msg.data(), msg.size(), 0) != static_cast<ssize_t>(msg.size())) std::exit(1);
    ssize_t n = recv(fd, buf, bufSize, 0);
    auto t1 = Clock::now();
    if (n != 36 + 96) {
        std::fprintf(stderr, "unexpected reply of %zd bytes\n", n);
        std::exit(1);
    }
    return std::chrono::duration<double, std::micro>(t1 - t0).count();
}

nlohmann::json scenario() {
    nlohmann::json doc;
    for (int s = 0; s < 125; ++s) {
        char wwn[17];
        std::snprintf(wwn, sizeof wwn, "20000011%08X", s + 1);
        doc["systems"].push_back(
            {{"wwn", wwn}, {"paths", {{{"sg", 2 * s}, {"channel", 0}}, {{"sg", 2 * s + 1}, {"channel", 1}}}}});
    }
    return doc;
}

}  // namespace

int main(int argc, char** argv) {
    int count = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 20000;
    Bytes msg = inquiryMessage();
    std::vector<uint8_t> buf(65536);

    char tmpl[] = "/tmp/sim-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    std::string dir = tmpl;
    std::string scenarioFile = dir + "/scenario.json";
    std::string devices = dir + "/dev";
    mkdir(devices.c_str(), 0755);
    std::ofstream(scenarioFile) << scenario().dump();

    int out[2];
    if (pipe(out) != 0) return 1;
    auto startT0 = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        execl(TOLVO_SIM_BINARY, TOLVO_SIM_BINARY, "serve", devices.c_str(), scenarioFile.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    char line[512] = {};
    ssize_t got = 0;
    while (got < static_cast<ssize_t>(sizeof line) - 1 && !std::strchr(line, '\n')) {
        ssize_t n = read(out[0], line + got, sizeof line - 1 - static_cast<size_t>(got));
        if (n <= 0) break;
        got += n;
    }
    double startMs = std::chrono::duration<double, std::milli>(Clock::now() - startT0).count();
    if (std::string(line) != "ready " + devices + "\n") {
        std::fprintf(stderr, "tolvo-sim did not start\n");
        return 1;
    }

    std::printf("tolvo-sim round trip of a standard INQUIRY (96 bytes in), %d commands per case\n", count);
    std::printf("  start-up with 250 nodes (125 systems): %.1f ms to the ready line\n", startMs);

    // One node.
    int one = connectNode(devices + "/sg0");
    for (int i = 0; i < 1000; ++i) roundTripUs(one, msg, buf.data(), buf.size());
    std::vector<double> us;
    for (int i = 0; i < count; ++i) us.push_back(roundTripUs(one, msg, buf.data(), buf.size()));
    Stats single = stats(us);
    print("one node:", single);
    close(one);

    // 250 nodes open at once, commands spread over all of them.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::vector<int> fds;
    for (int i = 0; i < 250; ++i) fds.push_back(connectNode(devices + "/sg" + std::to_string(i)));
    us.clear();
    for (int i = 0; i < count; ++i) us.push_back(roundTripUs(fds[static_cast<size_t>(i) % fds.size()], msg, buf.data(), buf.size()));
    Stats many = stats(us);
    print("250 nodes open, round robin:", many);
    for (int fd : fds) close(fd);

    kill(pid, SIGTERM);
    int st = 0;
    waitpid(pid, &st, 0);
    std::string cleanup = "rm -rf '" + dir + "'";
    if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir.c_str());

    // Floor: the same message and a reply of the same size over a bare socket
    // pair served by a thread that only echoes.
    int pair[2];
    socketpair(AF_UNIX, SOCK_SEQPACKET, 0, pair);
    std::thread echo([fd = pair[1]] {
        std::vector<uint8_t> b(65536), reply(36 + 96, 0);
        while (recv(fd, b.data(), b.size(), 0) > 0) send(fd, reply.data(), reply.size(), 0);
    });
    us.clear();
    for (int i = 0; i < count; ++i) us.push_back(roundTripUs(pair[0], msg, buf.data(), buf.size()));
    Stats floor = stats(us);
    shutdown(pair[0], SHUT_RDWR);
    echo.join();
    close(pair[0]);
    close(pair[1]);
    print("floor (socket pair echo thread):", floor);

    // The emulator's own work per command, without sockets.
    sim::Emulator emu(sim::parseScenario(scenario()), sim::makeSystemModel);
    us.clear();
    for (int i = 0; i < count; ++i) {
        auto t0 = Clock::now();
        auto reply = emu.command(static_cast<size_t>(i) % 250, msg);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        if (reply.size() != 36 + 96) return 1;
    }
    print("emulator core alone (no socket):", stats(us));

    std::printf("  ratio to the %.0f us target: one node %.3f, 250 nodes %.3f (judged: below 1, well below)\n",
                kTargetUs, single.mean / kTargetUs, many.mean / kTargetUs);
    std::printf("  ratio to the socket floor: one node %.2f, 250 nodes %.2f\n", single.mean / floor.mean,
                many.mean / floor.mean);
    return 0;
}
