// Discovery of 125 simulated RAID systems with two paths each (250 devices),
// timed as a whole lqcl run that lists them, next to the floor measured in the
// same run: a minimal client making the same connect, send and receive round
// trips to the same emulator. Judged by the ratio (target: at most 2).
//
//   bench_discovery [runs] [lqcl arguments...]     (default: 5 runs of -S -g -z whoami)
#include <sys/stat.h>

#include <fstream>

#include "whole_command.h"

namespace {

using namespace bench;

constexpr int kSystems = 125;
constexpr int kPaths = 2;
constexpr int kDevices = kSystems * kPaths;

std::string scenario() {
    std::string s = "{\"systems\": [\n";
    for (int i = 0; i < kSystems; ++i) {
        s += "{\"vendor\": \"TOLVO\", \"product\": \"TOLVO RAID 7000\", \"revision\": \"0513\", ";
        s += "\"capacityBlocks\": 2097152, \"blockSize\": 512, \"paths\": [";
        for (int p = 0; p < kPaths; ++p) {
            s += "{\"sg\": " + std::to_string(i * kPaths + p) + ", \"host\": " + std::to_string(p) +
                 ", \"channel\": " + std::to_string(p) + ", \"target\": " + std::to_string(i) +
                 ", \"lun\": 0, \"portWwn\": \"" + sim::wwnHex(0x2100001100000000ull + i * 16 + p) + "\"}";
            s += p + 1 < kPaths ? ", " : "";
        }
        s += "], \"wwn\": \"" + sim::wwnHex(0x2000001100000000ull + i) + "\", \"name\": \"bench " + std::to_string(i) + "\"}";
        s += i + 1 < kSystems ? ",\n" : "\n";
    }
    return s + "]}\n";
}

// One connection as lqcl makes it: open handshake, then one request.
bool exchange(const std::string& node, int flags, const void* request, size_t requestSize, size_t replySize) {
    int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", node.c_str());
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    uint8_t open[8] = {'S', 'G', 'O', 'P'};
    std::memcpy(open + 4, &flags, 4);
    uint32_t answer = 1;
    ok = ok && send(fd, open, sizeof open, 0) == 8 && recv(fd, &answer, 4, 0) == 4 && answer == 0;
    std::vector<uint8_t> reply(replySize);
    ok = ok && send(fd, request, requestSize, 0) == static_cast<ssize_t>(requestSize) &&
         recv(fd, reply.data(), reply.size(), 0) > 0;
    close(fd);
    return ok;
}

std::vector<uint8_t> packet(std::initializer_list<uint8_t> cdb, uint32_t replyData) {
    sg_header h{};
    h.pack_len = static_cast<int>(sizeof h + cdb.size());
    h.reply_len = static_cast<int>(sizeof h + replyData);
    h.pack_id = 5678;
    std::vector<uint8_t> p(sizeof h + cdb.size());
    std::memcpy(p.data(), &h, sizeof h);
    std::copy(cdb.begin(), cdb.end(), p.begin() + sizeof h);
    return p;
}

// The floor: per device the scan's open and address request, the identifying
// INQUIRY and the configuration header read, then the probe of the missing node.
bool minimalClient(const std::string& devDir) {
    const auto inquiry = packet({0x12, 0, 0, 0, 0x60, 0}, 96);
    const auto header = packet({0x3C, 1, 0x03, 0, 0, 0, 0, 0x02, 0x00, 0}, 512);
    for (int n = 0; n < kDevices; ++n) {
        const std::string node = devDir + "/sg" + std::to_string(n);
        if (!exchange(node, O_RDWR, "SGID", 4, sizeof(sg_scsi_id))) return false;
        if (!exchange(node, O_RDWR | O_EXCL, inquiry.data(), inquiry.size(), 36 + 96)) return false;
        if (!exchange(node, O_RDWR | O_EXCL, header.data(), header.size(), 36 + 512)) return false;
    }
    return access((devDir + "/sg" + std::to_string(kDevices)).c_str(), F_OK) != 0;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<std::string> lqcl = {LQCL_BINARY};
    for (int i = 2; i < argc; ++i) lqcl.push_back(argv[i]);
    if (lqcl.size() == 1) lqcl.insert(lqcl.end(), {"-S", "-g", "-z", "whoami"});

    const std::string root = tempDir(), devDir = root + "/dev", scenarioFile = root + "/scenario.json";
    if (root.empty()) return 1;
    mkdir(devDir.c_str(), 0755);
    std::ofstream(scenarioFile) << scenario();
    int rc = 0;
    bool floorOk = true;
    std::vector<double> tool, floor;
    {
        Emulator sim(devDir, {scenarioFile});
        if (!sim.ready()) {
            std::fprintf(stderr, "bench_discovery: tolvo-sim did not start\n");
            return 1;
        }
        // Warm-up of both clients.
        rc = run(lqcl, devDir, nullptr, nullptr);
        floorOk = minimalClient(devDir);
        for (int r = 0; r < runs; ++r) {
            auto t0 = Clock::now();
            rc |= run(lqcl, devDir, nullptr, nullptr);
            auto t1 = Clock::now();
            floorOk = minimalClient(devDir) && floorOk;
            auto t2 = Clock::now();
            tool.push_back(ms(t1 - t0));
            floor.push_back(ms(t2 - t1));
        }
    }
    std::string cmd;
    for (size_t i = 1; i < lqcl.size(); ++i) cmd += " " + lqcl[i];
    std::printf("discovery of %d systems x %d paths (%d devices), lqcl%s, median of %d runs\n", kSystems, kPaths,
                kDevices, cmd.c_str(), runs);
    std::printf("  lqcl run:        %9.1f ms (exit status %d)\n", median(tool), rc);
    std::printf("  minimal client:  %9.1f ms (%d connections, %s)\n", median(floor), 3 * kDevices,
                floorOk ? "all answered" : "SOME FAILED");
    std::printf("  ratio:           %9.2f (target <= 2.00)\n", median(tool) / median(floor));
    return removeDir(root) && rc == 0 && floorOk ? 0 : 1;
}
