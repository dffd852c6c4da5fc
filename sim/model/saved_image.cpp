// A scenario built from a saved configuration file (the raw 940,032-byte image
// that `lqcl -F -g -z saveconfig` writes), so that a copy of a real system can
// be served and changes rehearsed on it first. The system gets the image's WWN
// (its name is in the image), one drive for every rank member and spare the
// image names (large enough for the ranks as recorded), the hosts its maps
// name, two paths, and the image itself.
#include "model/saved_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "model/firmware_model.h"
#include "model/model_util.h"
#include "server/clock.h"
#include "wire/config.h"

namespace sim {

using nlohmann::json;

namespace {

constexpr size_t kImageSize = sizeof(wire::CONFIG_STORAGE_STRUCT);

std::vector<uint8_t> readImage(const std::string& path) {
    auto fail = [&](const std::string& why) { return std::runtime_error(path + ": " + why); };
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw fail(std::strerror(errno));
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw fail("not a regular file");
    }
    if (st.st_size != static_cast<off_t>(kImageSize)) {
        ::close(fd);
        throw fail("not a saved configuration: it holds " + std::to_string(st.st_size) + " bytes, a saved configuration holds " +
                   std::to_string(kImageSize));
    }
    std::vector<uint8_t> bytes(kImageSize);
    size_t got = 0;
    while (got < bytes.size()) {
        ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (got != bytes.size()) throw fail("cannot be read whole");
    return bytes;
}

// Member capacity that holds every rank as recorded, in blocks.
uint32_t driveCapacity(const wire::CONFIG_STORAGE_STRUCT& img) {
    uint64_t blocks = 16 * model::kBlocksPerGb;
    const unsigned ranks = std::min<unsigned>(img.header.totalArrays.get(), wire::kMaxRanks);
    for (unsigned r = 0; r < ranks; ++r) {
        const auto& k = img.rank[r];
        const unsigned n = std::max<unsigned>(1, std::min<unsigned>(k.numDrives, wire::kMaxRankDrives));
        const unsigned data = k.raidLevel == wire::kRaidLevel10 ? std::max(1u, n / 2)
                                                                 : std::max(1u, n > k.parityGroups ? n - k.parityGroups : 1u);
        const uint64_t backOff = k.backOff <= 100 ? uint64_t{k.backOff} * 100 : uint64_t{k.backOff} - 100u;
        const uint64_t keep = 10000 - std::min<uint64_t>(backOff, 9900);
        const uint64_t perDrive = (uint64_t{k.capacityGb.get()} + 1) * model::kBlocksPerGb / data + 1;
        blocks = std::max(blocks, perDrive * 10000 / keep + model::kBlocksPerGb);
    }
    return static_cast<uint32_t>(std::min<uint64_t>(blocks, 0xFFFFFFF0u));
}

}  // namespace

json scenarioFromSavedImage(const std::string& path) {
    const std::vector<uint8_t> bytes = readImage(path);
    auto img = std::make_unique<wire::CONFIG_STORAGE_STRUCT>();
    std::memcpy(img.get(), bytes.data(), kImageSize);
    const auto& h = img->header;
    if (h.length.get() != kImageSize)
        throw std::runtime_error(path + ": not a saved configuration: its length field gives " +
                                 std::to_string(h.length.get()) + " bytes, a saved configuration holds " +
                                 std::to_string(kImageSize));
    if (h.totalArrays.get() > wire::kMaxRanks || h.totalLogicalDrives.get() > wire::kMaxHostLuns ||
        h.totalLunMappingEntries.get() > wire::kMaxLunMaps || h.totalSpares.get() > wire::kHotSpareSlots)
        throw std::runtime_error(path + ": not a consistent configuration: counts out of range");
    if (h.configWwn.get() == 0) throw std::runtime_error(path + ": not a consistent configuration: no system WWN");

    // The drives the image names, ranks first, then spares.
    std::vector<uint64_t> wwns;
    auto add = [&](uint64_t w) {
        if (w != 0 && std::find(wwns.begin(), wwns.end(), w) == wwns.end()) wwns.push_back(w);
    };
    for (unsigned r = 0; r < h.totalArrays.get(); ++r)
        for (unsigned m = 0; m < std::min<unsigned>(img->rank[r].numDrives, wire::kMaxRankDrives); ++m)
            add(img->rank[r].driveWwn[m].get());
    for (unsigned s = 0; s < h.totalSpares.get(); ++s) add(img->hotSpare[s].driveWwn.get());
    if (wwns.size() > wire::kMaxDrives)
        throw std::runtime_error(path + ": not a consistent configuration: more than 126 drives");
    const uint32_t capacity = driveCapacity(*img);
    json drives = json::array();
    for (size_t i = 0; i < wwns.size(); ++i)
        drives.push_back({{"enclosure", i / 16 + 1}, {"slot", i % 16 + 1}, {"wwn", wwnHex(wwns[i])},
                          {"capacityBlocks", capacity}});
    // The hosts the image maps logical drives to.
    json hosts = json::array();
    const unsigned maps = std::min<unsigned>(h.totalLunMappingEntries.get(), wire::kMaxLunMaps);
    for (unsigned m = 0; m < maps; ++m) {
        const auto& map = img->lunMap[m];
        if (map.abPortName.get() == 0) continue;
        json host = {{"node", wwnHex(map.abNodeName.get())}, {"port", wwnHex(map.abPortName.get())}};
        if (std::find(hosts.begin(), hosts.end(), host) == hosts.end()) hosts.push_back(host);
    }
    const uint64_t wwn = h.configWwn.get();
    auto controller = [&](const char* name, uint64_t offset) {
        return json{{"name", name},
                    {"wwn", wwnHex(wwn + offset)},
                    {"firmware", {{"major", 5}, {"minor", 13}, {"build", "0513"}, {"date", "Nov 12 2026"}, {"time", "10:20:30"}}}};
    };
    auto scsiPath = [&](int sg) {
        return json{{"sg", sg}, {"host", sg}, {"channel", 0}, {"target", 0}, {"lun", 0},
                    {"portWwn", wwnHex(wwn + 0x0100000000000001ULL + sg)}};
    };
    json system = {
        {"vendor", "TOLVO"},
        {"product", "TOLVO RAID 8200"},
        {"revision", "0513"},
        {"paths", {scsiPath(0), scsiPath(1)}},
        {"wwn", wwnHex(wwn)},
        {"productType", 19},
        {"features", {"apm", "advancedPerformance", "failDrive"}},
        {"controllers", {controller("Controller A", 0x10), controller("Controller B", 0x20)}},
        {"drives", drives},
        {"hosts", hosts},
        {"configImage", model::imageRuns(bytes.data(), bytes.size())},
    };
    // The model checks the image as it checks a restore.
    EmulatorClock clock;
    try {
        makeSystemModel(system, clock);
    } catch (const std::exception& e) {
        throw std::runtime_error(path + ": not a consistent configuration: " + e.what());
    }
    return json{{"systems", {system}}};
}

}  // namespace sim
