// Download of a 16 MiB controller firmware image to the emulator, timed as a
// whole lqcl run (-C -s -z firmware) next to the floor measured in the same
// run: a minimal client, a process of its own, that reads the image file and
// sends the same 512 WRITE BUFFER chunks (mode 7, 32 KiB at their offsets),
// one connection per command as lqcl makes them. Whoever downloads an image
// from a file reads the file first: the floor pays that read, as lqcl does.
// The chunks alone, sent from memory in this process, are shown beside it.
// Judged by the ratio (target: at most 1.5) and lqcl's peak memory (target:
// under 64 MiB).
//
//   bench_firmware_download [runs]     (default: 5)
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "model/firmware_image.h"
#include "whole_command.h"

namespace {

constexpr uint32_t kImageSize = 16u << 20;
constexpr uint32_t kChunk = 32768;

// The chunks as the tool sends them, each on its own connection.
bool minimalClient(const std::string& node, const std::vector<uint8_t>& image) {
    bool ok = true;
    for (uint32_t offset = 0; offset < image.size() && ok; offset += kChunk) {
        const uint32_t length = std::min<uint32_t>(kChunk, static_cast<uint32_t>(image.size()) - offset);
        const std::vector<uint8_t> cdb = {0x3B, 7, 0, static_cast<uint8_t>(offset >> 16), static_cast<uint8_t>(offset >> 8),
                                          static_cast<uint8_t>(offset), static_cast<uint8_t>(length >> 16),
                                          static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), 0};
        ok = bench::roundTrip(node, cdb, 0, std::vector<uint8_t>(image.begin() + offset, image.begin() + offset + length));
    }
    return ok;
}

// The floor: a child process reads the image file whole, then sends its chunks.
bool minimalClientFromFile(const std::string& node, const std::string& file) {
    pid_t child = fork();
    if (child == 0) {
        std::vector<uint8_t> image(kImageSize);
        int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
        size_t got = 0;
        while (fd >= 0 && got < image.size()) {
            ssize_t n = read(fd, image.data() + got, image.size() - got);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        if (fd >= 0) close(fd);
        _exit(got == image.size() && minimalClient(node, image) ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string root = bench::tempDir(), devDir = root + "/dev", imageFile = root + "/fw.img";
    if (root.empty()) return 1;
    mkdir(devDir.c_str(), 0755);
    const auto image = sim::model::makeFirmwareImage(1, 5, 14, "0514", "Dec 01 2026", kImageSize);
    std::ofstream(imageFile, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    int rc = 0;
    long maxRss = 0;
    bool floorOk = true;
    std::vector<double> tool, floor, chunksOnly;
    {
        bench::Emulator sim(devDir);
        if (!sim.ready()) {
            std::fprintf(stderr, "bench_firmware_download: tolvo-sim did not start\n");
            return 1;
        }
        const std::vector<std::string> lqcl = {LQCL_BINARY, "-C", "-s", "-z", "firmware", "-m", imageFile};
        for (int r = 0; r <= runs; ++r) {  // the first round warms up
            bench::ctl(devDir, {"clear-commands"});
            long rss = 0;
            auto t0 = bench::Clock::now();
            rc |= bench::run(lqcl, devDir, nullptr, &rss);
            auto t1 = bench::Clock::now();
            bench::ctl(devDir, {"clear-commands"});
            auto t2 = bench::Clock::now();
            floorOk = minimalClientFromFile(devDir + "/sg0", imageFile) && floorOk;
            auto t3 = bench::Clock::now();
            bench::ctl(devDir, {"clear-commands"});
            auto t4 = bench::Clock::now();
            floorOk = minimalClient(devDir + "/sg0", image) && floorOk;
            auto t5 = bench::Clock::now();
            maxRss = std::max(maxRss, rss);
            if (r == 0) continue;
            tool.push_back(bench::ms(t1 - t0));
            floor.push_back(bench::ms(t3 - t2));
            chunksOnly.push_back(bench::ms(t5 - t4));
        }
    }
    std::printf("firmware download of a %u-byte image in %u chunks, median of %d runs\n", kImageSize,
                kImageSize / kChunk, runs);
    std::printf("  lqcl run:        %9.1f ms (exit status %d, peak memory %.1f MiB; target < 64)\n",
                bench::median(tool), rc, maxRss / 1024.0);
    std::printf("  minimal client:  %9.1f ms (%s; reads the file, then sends)\n", bench::median(floor),
                floorOk ? "all accepted" : "SOME FAILED");
    std::printf("  chunks only:     %9.1f ms (sent from memory, in process)\n", bench::median(chunksOnly));
    std::printf("  ratio:           %9.2f (target <= 1.50)\n", bench::median(tool) / bench::median(floor));
    return bench::removeDir(root) && rc == 0 && floorOk ? 0 : 1;
}
