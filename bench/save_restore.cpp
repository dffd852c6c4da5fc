// Whole-command timing of `lqcl -F -g -z saveconfig` and `lqcl -F -s -z
// restoreconfig` against tolvo-sim (default scenario). Each moves the
// 940,032-byte configuration image in 29 pieces of 32 KiB; the floor is the
// minimal client program (bench/client), started like lqcl, that reads the
// same commands from a file and sends them. Target: each command within 1.5
// times its floor. A save is durable (a new file flushed, renamed into place,
// the directory flushed): the floor of a save adds the same durable write of
// the same bytes into the same directory, timed apart.
//
//   bench_save_restore [runs]     (default 10)
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "whole_command.h"

namespace {

using namespace bench;

// The recorded commands sent again by the minimal client program: the file of
// commands is written before the clock starts; the clock runs from the start of
// the program to its exit, as it runs for lqcl.
Replay replayAsProcess(const std::string& devDir, const nlohmann::json& record) {
    const auto commands = commandsOf(devDir, record);
    Replay r;
    r.commands = commands.size();
    const std::string file = devDir + "/commands.bin";
    const auto bytes = encodeCommands(commands);
    int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    r.ok = fd >= 0 && write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    if (fd >= 0) close(fd);
    auto t0 = Clock::now();
    pid_t child = fork();
    if (child == 0) {
        execl(MINIMAL_CLIENT_BINARY, MINIMAL_CLIENT_BINARY, file.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    r.ok = r.ok && child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    r.ms = ms(Clock::now() - t0);
    unlink(file.c_str());
    return r;
}

// A durable save of an image's worth of bytes, as any client that keeps a
// saved configuration safe must make it: a new file written and flushed,
// renamed into place, and the directory flushed so that the rename lasts. Like
// the timed save (which overwrites, -l 1), it replaces the previous file: the
// target is left in place for the next round and removed by the last.
double flushMs(const std::string& dir, bool last) {
    static const std::vector<uint8_t> bytes(940032, 0x5A);
    const std::string tmp = dir + "/flush.tmp", target = dir + "/flush.cfg";
    auto t0 = Clock::now();
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return 0;
    ssize_t w = write(fd, bytes.data(), bytes.size());
    (void)w;
    fsync(fd);
    close(fd);
    rename(tmp.c_str(), target.c_str());
    int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        close(dfd);
    }
    double t = ms(Clock::now() - t0);
    if (last) unlink(target.c_str());
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const std::string devDir = tempDir();
    if (devDir.empty()) return 1;
    Emulator sim(devDir);
    if (!sim.ready()) {
        std::fprintf(stderr, "bench: tolvo-sim did not become ready\n");
        return 1;
    }

    const std::string saved = devDir + "/saved.cfg";
    const std::vector<std::vector<std::string>> commands = {
        {"-F", "-g", "-z", "saveconfig", "-m", saved, "-l", "1"}, {"-F", "-s", "-z", "restoreconfig", "-m", saved}};
    bool pass = true;
    std::printf("save and restore against tolvo-sim (default scenario), median of %d runs\n", runs);
    for (const auto& args : commands) {
        const bool saving = args[1] == "-g";
        std::vector<std::string> argvL{LQCL_BINARY};
        argvL.insert(argvL.end(), args.begin(), args.end());
        Figures f;
        std::vector<double> flush;
        for (int i = 0; i < runs; ++i) {
            measure(argvL, devDir, f, [](const nlohmann::json&) { return 0.0; }, replayAsProcess);
            if (saving) flush.push_back(flushMs(devDir, i + 1 == runs));
        }
        double ratio = median(f.wall) / median(f.floor);
        std::printf("\nlqcl %s %s %s %s\n", args[0].c_str(), args[1].c_str(), args[2].c_str(), args[3].c_str());
        std::printf("  wall:             %8.2f ms\n", median(f.wall));
        std::printf("  minimal client:   %8.2f ms (%zu commands)\n", median(f.floor), f.sent);
        if (saving) {
            // A save is durable: the floor of a save is the same commands and
            // the same durable write of the file.
            const double durable = median(f.floor) + median(flush);
            std::printf("  durable write:    %8.2f ms (the same bytes written, flushed, renamed, directory flushed)\n",
                        median(flush));
            ratio = median(f.wall) / durable;
            std::printf("  ratio:            %8.2f against commands and durable write together (target <= 1.50)\n", ratio);
        } else {
            std::printf("  ratio:            %8.2f (target <= 1.50)\n", ratio);
        }
        std::printf("  peak memory:      %8.1f MiB (target < 32 MiB)\n", f.peakKb / 1024.0);
        if (!f.ok) std::printf("  (a run or a replayed command failed)\n");
        pass = pass && f.ok && ratio <= 1.5 && f.peakKb < 32 * 1024;
    }

    removeDir(devDir);
    std::printf("\n%s\n", pass ? "within targets" : "OUTSIDE TARGETS");
    return pass ? 0 : 1;
}
