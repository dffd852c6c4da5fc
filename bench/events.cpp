// Event store benchmark, whole commands against tolvo-sim (default scenario):
// the latest-merge of `lqcl -F -n -z encevents` (both controllers' logs read,
// the overlap found, 40 new events appended) into a store of 1,000,000
// records against the same merge into a store of 1,000 records (the cost must
// not grow with the store: ratio target <= 1.2), and the listing of 100,000
// stored events by `lqcl -F -g -z encevents` (target >= 200,000 events per
// second). Peak memory of every run is judged against 32 MiB.
//
// A merge ends in an fdatasync of the store, so the setup's own writes (the
// store files made here, the truncation that resets them between runs) are
// synced before the clock starts, one untimed round warms both stores, and
// the runs of the two sizes alternate, so that both see the same load. The
// processor time of lqcl is shown beside the wall time: it is the work the
// tool itself does, free of the file system's waits.
//
//   bench_events [runs]     (default 7)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "whole_command.h"

namespace {

constexpr int64_t kT = 1767225600;   // 2026-01-01 00:00:00 UTC
constexpr int kLogged = 200;         // events per controller already stored
constexpr int kNew = 20;             // events per controller each merge adds
const char* const kStoreName = "/bin/LAPIEvents_2000001122334400_00000013.bin";

void logEvents(const std::string& devDir, int first, int count) {
    for (int i = first; i < first + count; ++i)
        for (int c = 0; c < 2; ++c) {
            nlohmann::json a = {{"controller", c}, {"id", 0x21 + c}, {"time", kT + 2 * i + c}};
            bench::ctl(devDir, {"model", "0", "log-event", a.dump()});
        }
}

std::string makeHome(const std::string& base, const std::string& name) {
    const std::string home = base + "/" + name;
    mkdir(home.c_str(), 0755);
    mkdir((home + "/bin").c_str(), 0755);
    return home;
}

// Writes what the setup changed in `path` to the disk, so that the merge's
// own fdatasync does not pay for it.
bool syncFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return false;
    const bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

// A store of `records` records: older filler that never matches the logs,
// then the records the logs overlap with.
void writeStore(const std::string& path, const std::string& tail, size_t records) {
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        const size_t tailRecords = tail.size() / 24;
        std::string filler = tail;
        for (size_t i = 0; i < filler.size(); i += 24) filler[i] = static_cast<char>(0xE4);   // year 2020
        size_t left = records - tailRecords;
        while (left > 0) {
            const size_t n = std::min(left, tailRecords);
            out.write(filler.data(), static_cast<std::streamsize>(n * 24));
            left -= n;
        }
        out << tail;
    }
    syncFile(path);
}

struct Timing {
    std::vector<double> wall, cpu;
    long peakKb = 0;
    bool ok = true;
};

// One timed run of lqcl on the store of `home`, reset first to `resetRecords` records.
void timeCommand(Timing& t, const std::string& devDir, const std::string& home, const std::vector<std::string>& args,
                 size_t resetRecords, const std::string& expect, bool timed = true) {
    const std::string store = home + kStoreName;
    if (truncate(store.c_str(), static_cast<off_t>(resetRecords * 24)) != 0 || !syncFile(store)) t.ok = false;
    std::vector<std::string> argv{LQCL_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string out;
    long rss = 0;
    double cpu = 0;
    setenv("PEGASUS_HOME", home.c_str(), 1);
    auto t0 = bench::Clock::now();
    int rc = bench::run(argv, devDir, expect.empty() ? nullptr : &out, &rss, &cpu);
    const double wall = bench::ms(bench::Clock::now() - t0);
    t.ok = t.ok && rc == 0 && (expect.empty() || out == expect);
    t.peakKb = std::max(t.peakKb, rss);
    if (!timed) return;
    t.wall.push_back(wall);
    t.cpu.push_back(cpu);
}

}  // namespace

int measure(const std::string& base, int runs);

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const std::string base = bench::tempDir();
    if (base.empty()) return 1;
    setenv("TZ", "UTC", 1);
    int status = 1;
    {
        bench::Emulator sim(base);
        if (sim.ready()) status = measure(base, runs);
    }
    bench::removeDir(base);
    return status;
}

int measure(const std::string& base, int runs) {
    // The records both logs hold now, stored once by a first fetch.
    logEvents(base, 0, kLogged);
    const std::string seed = makeHome(base, "seed");
    setenv("PEGASUS_HOME", seed.c_str(), 1);
    bench::run({LQCL_BINARY, "-F", "-n", "-z", "encevents"}, base, nullptr, nullptr);
    std::ifstream in(seed + kStoreName, std::ios::binary);
    const std::string tail((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (tail.size() != 2 * kLogged * 24) {
        std::fprintf(stderr, "bench: the first fetch stored %zu bytes\n", tail.size());
        return 1;
    }
    logEvents(base, kLogged, kNew);

    bool pass = true;
    long peakKb = 0;
    std::printf("event store against tolvo-sim (default scenario), median of %d runs\n", runs);
    const size_t sizes[2] = {1000, 1000000};
    std::string homes[2], expects[2];
    Timing merges[2];
    for (int k = 0; k < 2; ++k) {
        homes[k] = makeHome(base, "merge" + std::to_string(sizes[k]));
        writeStore(homes[k] + kStoreName, tail, sizes[k]);
        expects[k] = "\nNumber Of  Records: " + std::to_string(sizes[k] + 2 * kNew) + "\n";
    }
    for (int r = -1; r < runs; ++r)
        for (int k = 0; k < 2; ++k)
            timeCommand(merges[k], base, homes[k], {"-F", "-n", "-z", "encevents"}, sizes[k], expects[k], r >= 0);
    double merge[2], cpu[2];
    for (int k = 0; k < 2; ++k) {
        const Timing& t = merges[k];
        merge[k] = bench::median(t.wall);
        cpu[k] = bench::median(t.cpu);
        std::printf("  latest-merge into %7zu records: %8.2f ms (lqcl processor time %6.2f ms), peak %5.1f MiB%s\n",
                    sizes[k], merge[k], cpu[k], t.peakKb / 1024.0, t.ok ? "" : " (a run failed)");
        peakKb = std::max(peakKb, t.peakKb);
        pass = pass && t.ok;
    }
    const double ratio = merge[1] / merge[0];
    std::printf("  ratio 1,000,000 / 1,000:           %8.2f (target <= 1.2; processor time %.2f)\n", ratio,
                cpu[1] / cpu[0]);

    const size_t listed = 100000;
    const std::string home = makeHome(base, "listing");
    writeStore(home + kStoreName, tail, listed);
    Timing t;
    for (int r = 0; r < runs; ++r) timeCommand(t, base, home, {"-F", "-g", "-z", "encevents"}, listed, "");
    const double total = static_cast<double>(listed + 2 * kNew);
    const double listing = bench::median(t.wall);
    const double rate = total / (listing / 1000.0);
    std::printf("  listing of %zu events:           %8.2f ms, %.0f events/s (target >= 200000), peak %5.1f MiB%s\n",
                listed + 2 * kNew, listing, rate, t.peakKb / 1024.0, t.ok ? "" : " (a run failed)");
    peakKb = std::max(peakKb, t.peakKb);
    std::printf("  peak memory:                       %8.1f MiB (target < 32 MiB)\n", peakKb / 1024.0);

    pass = pass && t.ok && ratio <= 1.2 && rate >= 200000 && peakKb < 32 * 1024;
    std::printf("\n%s\n", pass ? "within targets" : "OUTSIDE TARGETS");
    return pass ? 0 : 1;
}
