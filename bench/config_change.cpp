// Whole-command timing of two configuration changes against tolvo-sim on a
// large configuration: `lqcl -F -c -z array` with 8 drives and `lqcl -F -c -z
// logicaldrives` on a system that already holds 500 logical drives in 600
// regions (10 RAID 5 arrays, each with 50 logical drives, 9 gaps between them
// and free space at the end). Each run starts the emulator afresh on that
// configuration. The wall time is split into the tool's own waits (the pool
// creation's 250 ms, 1 s + 33 ms per information-set refresh, 250 ms per busy
// answer), the round trips of the same commands made by a minimal client on a
// fresh emulator of the same configuration (so that it makes the same change), and
// the tool's own share (target: under 10 ms); the peak resident memory of one
// command is judged against 32 MiB.
//
//   bench_config_change [runs]     (default 5)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "model/firmware_model.h"
#include "model/model_util.h"
#include "whole_command.h"

namespace {

using namespace bench;
using nlohmann::json;

constexpr int kArrays = 10;
constexpr int kDrivesPerArray = 5;
constexpr int kLogicalDrivesPerArray = 50;
constexpr int kGapsPerArray = 9;
constexpr uint64_t kFirstWwn = 0x5000C50000A00001ull;
using sim::model::kBlocksPerGb;
using sim::wwnHex;

// 4 enclosures of 16 drives; 10 arrays of 5 drives, 500 logical drives of 10 GB.
json baseScenario() {
    json drives = json::array();
    for (int i = 0; i < 64; ++i)
        drives.push_back({{"enclosure", 1 + i / 16}, {"slot", 1 + i % 16}, {"wwn", wwnHex(kFirstWwn + i)},
                          {"capacityBlocks", 585937500}});
    json enclosures = json::array();
    for (int e = 1; e <= 4; ++e) enclosures.push_back({{"number", e}, {"slots", 16}});
    json arrays = json::array();
    for (int a = 0; a < kArrays; ++a) {
        json members = json::array();
        for (int k = 0; k < kDrivesPerArray; ++k) members.push_back(a * kDrivesPerArray + k);
        arrays.push_back({{"drives", members}, {"level", 5}, {"chunkKb", 64}, {"name", "pool" + std::to_string(a)}});
    }
    json lds = json::array();
    for (int i = 0; i < kArrays * kLogicalDrivesPerArray; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "ld%03d", i);
        lds.push_back({{"array", i / kLogicalDrivesPerArray}, {"capacityGb", 10}, {"name", name}});
    }
    // The identity and the two paths of the default scenario's system.
    const json defaults = json::parse(sim::embeddedDefaultScenario())["systems"][0];
    json system = {{"name", "Change Benchmark"}, {"enclosures", enclosures}, {"drives", drives},
                   {"arrays", arrays},          {"logicalDrives", lds}};
    for (const char* key : {"vendor", "product", "revision", "paths", "wwn"}) system[key] = defaults.at(key);
    return json{{"systems", {system}}};
}

// Moves the first logical drives of every array apart, 2 GB each, so that the
// region map holds 9 free gaps per array besides the free end.
bool spreadLogicalDrives(json& system) {
    std::vector<uint8_t> image(sizeof(wire::CONFIG_STORAGE_STRUCT));
    for (const auto& run : system["configImage"]) {
        const size_t off = run[0].get<size_t>();
        const auto bytes = fromHex(run[1].get<std::string>());
        if (off + bytes.size() > image.size()) return false;
        std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(off));
    }
    auto* img = reinterpret_cast<wire::CONFIG_STORAGE_STRUCT*>(image.data());
    for (unsigned i = 0; i < img->header.totalLogicalDrives.get(); ++i) {
        auto& seg = img->hostLun[i].segment[0];
        const uint64_t j = (seg.startBlock.get() / kBlocksPerGb) / 10;  // position within its array
        seg.startBlock.set((10 * j + 2 * std::min<uint64_t>(j, kGapsPerArray)) * kBlocksPerGb);
    }
    system["configImage"] = sim::model::imageRuns(image.data(), image.size());
    return true;
}

// The tool's own waits that the recorded commands imply: 250 ms per busy
// answer, 250 ms after adding a rank, and 1 s + 33 ms per information-set
// refresh (a start that no save follows).
double waitsOf(const json& record) {
    double waits = 0;
    bool openStart = false;
    for (const auto& c : record) {
        const auto cdb = cdbOf(c);
        if (busyReply(c)) waits += 250;
        if (cdb.size() < 3 || cdb[0] != 0x3B || cdb[1] != 1) continue;
        if (cdb[2] == 0x90) waits += 250;
        if (cdb[2] == 0x80) {
            if (openStart) waits += 1033;
            openStart = true;
        }
        if (cdb[2] == 0x82) openStart = false;
    }
    return openStart ? waits + 1033 : waits;
}

}  // namespace

namespace {

std::string gScenario;  // the scenario every replay starts from

// The recorded commands replayed on a fresh emulator of the same scenario, so
// that the replay makes the same change the tool made (not a refused repeat
// of it); only the replay's commands are timed.
Replay replayOnAFreshSystem(const std::string&, const json& record) {
    const std::string dev = tempDir();
    Replay r;
    {
        Emulator sim(dev, {gScenario});
        if (sim.ready()) r = replay(dev, record);
        else r.ok = false;
    }
    removeDir(dev);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string work = tempDir();
    if (work.empty()) return 1;

    // The configuration, built once by the emulator and saved, then spread out.
    const std::string base = work + "/base.json", state = work + "/state.json", spread = work + "/spread.json";
    std::ofstream(base) << baseScenario().dump();
    {
        const std::string dev = tempDir();
        Emulator sim(dev, {base, "--state", state});
        if (!sim.ready() || ctl(dev, {"save-state"}).contains("error")) {
            std::fprintf(stderr, "bench: tolvo-sim could not build the configuration\n");
            return 1;
        }
        removeDir(dev);
    }
    json scenario = json::parse(std::ifstream(state), nullptr, false);
    if (scenario.is_discarded() || !spreadLogicalDrives(scenario["systems"][0])) {
        std::fprintf(stderr, "bench: the saved state cannot be read\n");
        return 1;
    }
    std::ofstream(spread) << scenario.dump();
    gScenario = spread;

    std::vector<std::string> array = {"-F", "-c", "-z", "array", "-l", "8"};
    for (int i = 0; i < 8; ++i) array.insert(array.end(), {"-u", wwnHex(kFirstWwn + kArrays * kDrivesPerArray + i)});
    for (int v : {64, 5, 0, 0, 0, 0, 0, 0, 0, 0}) array.insert(array.end(), {"-l", std::to_string(v)});
    const std::vector<std::vector<std::string>> commands = {
        array, {"-F", "-c", "-z", "logicaldrives", "-l", "0", "-l", "1", "-l", "512", "-m", "bench"}};

    bool pass = true;
    std::printf("configuration changes against tolvo-sim (500 logical drives, 600 regions), median of %d runs\n", runs);
    for (const auto& args : commands) {
        std::vector<std::string> argvL{LQCL_BINARY};
        argvL.insert(argvL.end(), args.begin(), args.end());
        Figures f;
        for (int i = 0; i < runs; ++i) {
            const std::string dev = tempDir();
            {
                Emulator sim(dev, {spread});
                f.ok = f.ok && sim.ready();
                if (i == 0) {
                    auto regions = ctl(dev, {"model", "0", "dump-regions"});
                    std::printf("  (the system holds %zu logical drives in %d regions)\n",
                                ctl(dev, {"model", "0", "dump-config"})["logicalDrives"].size(),
                                regions.value("regionCount", 0));
                }
                measure(argvL, dev, f, waitsOf, replayOnAFreshSystem);
            }
            removeDir(dev);
        }
        pass = printShare(args, f) && pass;
    }
    removeDir(work);
    std::printf("\n%s\n", pass ? "within targets" : "OUTSIDE TARGETS");
    return pass ? 0 : 1;
}
