// Download of a 16 MiB controller firmware image to the emulator, timed as a
// whole lqcl run (-C -s -z firmware) next to the floor measured in the same
// run: a minimal client sending the same 512 WRITE BUFFER chunks (mode 7,
// 32 KiB at their offsets), one connection per command as lqcl makes them.
// Judged by the ratio (target: at most 1.5) and lqcl's peak memory (target:
// under 64 MiB).
//
//   bench_firmware_download [runs]     (default: 5)
#include <fcntl.h>
#include <scsi/sg.h>
#include <signal.h>
#include <sys/resource.h>
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
#include <string>
#include <vector>

#include "model/firmware_image.h"

#ifndef LQCL_BINARY
#error "LQCL_BINARY must name the built lqcl"
#endif
#ifndef TOLVO_SIM_BINARY
#error "TOLVO_SIM_BINARY must name the built tolvo-sim"
#endif

namespace {

constexpr uint32_t kImageSize = 16u << 20;
constexpr uint32_t kChunk = 32768;

using Clock = std::chrono::steady_clock;

struct Run {
    int status = -1;
    long maxRssKb = 0;
};

Run runProcess(const std::vector<std::string>& argv, const std::string& devDir, bool quiet) {
    pid_t pid = fork();
    if (pid == 0) {
        setenv("LQCL_DEV_DIR", devDir.c_str(), 1);
        if (quiet) {
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
        }
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), usage.ru_maxrss};
}

// One WRITE BUFFER chunk on its own connection: open handshake, command, reply.
bool sendChunk(const std::string& node, const uint8_t* data, uint32_t offset, uint32_t length,
               std::vector<uint8_t>& message) {
    int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", node.c_str());
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    uint8_t open[8] = {'S', 'G', 'O', 'P'};
    const int flags = O_RDWR | O_EXCL;
    std::memcpy(open + 4, &flags, 4);
    uint32_t answer = 1;
    ok = ok && send(fd, open, sizeof open, 0) == 8 && recv(fd, &answer, 4, 0) == 4 && answer == 0;
    const uint8_t cdb[10] = {0x3B, 7, 0, static_cast<uint8_t>(offset >> 16), static_cast<uint8_t>(offset >> 8),
                             static_cast<uint8_t>(offset), static_cast<uint8_t>(length >> 16),
                             static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), 0};
    sg_header h{};
    h.pack_len = static_cast<int>(sizeof h + sizeof cdb + length);
    h.reply_len = static_cast<int>(sizeof h);
    h.pack_id = 5678;
    message.resize(sizeof h + sizeof cdb + length);
    std::memcpy(message.data(), &h, sizeof h);
    std::memcpy(message.data() + sizeof h, cdb, sizeof cdb);
    std::memcpy(message.data() + sizeof h + sizeof cdb, data + offset, length);
    sg_header reply{};
    ok = ok && send(fd, message.data(), message.size(), 0) == static_cast<ssize_t>(message.size()) &&
         recv(fd, &reply, sizeof reply, 0) >= static_cast<ssize_t>(sizeof reply) && reply.target_status == 0 &&
         reply.host_status == 0;
    close(fd);
    return ok;
}

bool minimalClient(const std::string& node, const std::vector<uint8_t>& image) {
    std::vector<uint8_t> message;
    for (uint32_t offset = 0; offset < image.size(); offset += kChunk)
        if (!sendChunk(node, image.data(), offset, std::min<uint32_t>(kChunk, static_cast<uint32_t>(image.size()) - offset),
                       message))
            return false;
    return true;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    char tmpl[] = "/tmp/lqcl-bench-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return 1;
    const std::string root = tmpl, devDir = root + "/dev", imageFile = root + "/fw.img";
    mkdir(devDir.c_str(), 0755);
    const auto image = sim::model::makeFirmwareImage(1, 5, 14, "0514", "Dec 01 2026", kImageSize);
    std::ofstream(imageFile, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                                     static_cast<std::streamsize>(image.size()));
    const std::string pidFile = root + "/sim.pid";
    if (runProcess({TOLVO_SIM_BINARY, "serve", devDir, "--daemon", "--pidfile", pidFile}, devDir, false).status != 0) {
        std::fprintf(stderr, "bench_firmware_download: tolvo-sim did not start\n");
        return 1;
    }
    pid_t sim = 0;
    std::ifstream(pidFile) >> sim;
    const std::vector<std::string> lqcl = {LQCL_BINARY, "-C", "-s", "-z", "firmware", "-m", imageFile};
    const std::string clearLog = std::string(TOLVO_SIM_BINARY) + " ctl '" + devDir + "' clear-commands >/dev/null";

    Run warm = runProcess(lqcl, devDir, true);
    int rc = warm.status;
    bool floorOk = minimalClient(devDir + "/sg0", image);
    long maxRss = warm.maxRssKb;
    std::vector<double> tool, floor;
    for (int r = 0; r < runs; ++r) {
        rc |= std::system(clearLog.c_str());
        auto t0 = Clock::now();
        Run run = runProcess(lqcl, devDir, true);
        auto t1 = Clock::now();
        rc |= run.status;
        maxRss = std::max(maxRss, run.maxRssKb);
        rc |= std::system(clearLog.c_str());
        auto t2 = Clock::now();
        floorOk = minimalClient(devDir + "/sg0", image) && floorOk;
        auto t3 = Clock::now();
        tool.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        floor.push_back(std::chrono::duration<double, std::milli>(t3 - t2).count());
    }
    if (sim > 0) kill(sim, SIGTERM);
    std::printf("firmware download of a %u-byte image in %u chunks, median of %d runs\n", kImageSize,
                kImageSize / kChunk, runs);
    std::printf("  lqcl run:        %9.1f ms (exit status %d, peak memory %.1f MiB; target < 64)\n", median(tool), rc,
                maxRss / 1024.0);
    std::printf("  minimal client:  %9.1f ms (%s)\n", median(floor), floorOk ? "all accepted" : "SOME FAILED");
    std::printf("  ratio:           %9.2f (target <= 1.50)\n", median(tool) / median(floor));
    std::string cleanup = "rm -rf '" + root + "'";
    return std::system(cleanup.c_str()) == 0 && rc == 0 && floorOk ? 0 : 1;
}
