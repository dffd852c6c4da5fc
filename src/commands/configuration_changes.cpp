// Configuration changes of the configuration library: arrays, logical drives,
// LUN mappings, hot spares, cache parameters, names, parity checks. Each
// command checks its values against the configuration it has just read, in a
// fixed order, before anything is sent to the controller.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "commands/config_view.h"
#include "commands/configuration.h"
#include "commands/global.h"
#include "lapi/lapi_status.h"
#include "lapi/maintenance_writes.h"
#include "lapi/config_writes.h"
#include "support/string_utils.h"
#include "wire/controller.h"

namespace {

using commands::ConfigView;
using commands::RegionMapView;

constexpr uint64_t kValueNotGiven64 = 0xFDFDFDFDFDFDFDFDull;  // a -u value the user did not give
constexpr size_t kNameLength = 32;

bool isFlag(uint32_t v) { return v == 0 || v == 1; }
bool readAheadValid(uint32_t v) { return v <= 4 || v == 15; }
bool writeBackValid(uint32_t v) { return v <= 10; }

std::string stored(const std::string& name) { return padr(name, ' ', kNameLength); }

template <size_t N>
bool nameIn(const std::string& padded, const char (&field)[N]) {
    return padded.size() == N && std::memcmp(padded.data(), field, N) == 0;
}

bool arrayNameTaken(const ConfigView& config, const std::string& padded) {
    for (size_t i = 0; i < config.arrayCount(); ++i)
        if (nameIn(padded, config.rank(i).name)) return true;
    return false;
}

// The smallest "<prefix>k" (space-padded to 32) that `taken` does not hold.
template <typename Taken>
std::string freeName(const char* prefix, Taken taken) {
    for (unsigned k = 0;; ++k) {
        std::string name = stored(prefix + std::to_string(k));
        if (!taken(name)) return name;
    }
}

// LUN map entry bits of a controller port selection; 0 when not a selection.
uint16_t portSelectionBits(uint32_t selection) {
    if (selection < 1 || selection > 15 || selection == 13) return 0;
    uint16_t bits = 0;
    if (selection & 1) bits |= wire::kLunPortC0P0;
    if (selection & 2) bits |= wire::kLunPortC0P1;
    if (selection & 4) bits |= wire::kLunPortC1P0;
    if (selection & 8) bits |= wire::kLunPortC1P1;
    return bits;
}

// The drive list of an array request: a count the record holds, and every
// WWN up to the count given on the command line.
uint32_t checkDriveList(uint32_t count, const uint64_t* wwns, size_t most) {
    if (count == 0 || count > most) {
        if (count == 0) Global::append("Error: No drives were given\n");
        else Global::append("Error: At most %zu drives can be given\n", most);
        return CMD_ERR_INVALID_DEVICE_INDEX;
    }
    for (uint32_t i = 0; i < count; ++i)
        if (wwns[i] == kValueNotGiven64) {
            Global::append("Error: %u drives were requested but %u drive WWNs given\n", count, i);
            return CMD_ERR_INVALID_DEVICE_INDEX;
        }
    return 0;
}

}  // namespace

bool commandConfiguration::isSystemArrayBusy() const {
    const uint8_t* info = m_work.controllerInfo.get();
    return info[0x1C0] == wire::kFlagYes || info[0x1CC] == wire::kFlagYes || info[0x1D0] == wire::kFlagYes ||
           info[0x1D4] == wire::kFlagYes;
}

// -- arrays --

uint32_t commandConfiguration::checkCacheValues(uint32_t readAhead, uint32_t writeBack, uint32_t mirror,
                                                uint32_t battery, uint32_t faultTolerance, uint32_t& enforceWriteBack) {
    if (!readAheadValid(readAhead) || !writeBackValid(writeBack)) return CMD_ERR_INVALID_CACHE_SIZE;
    if (!isFlag(mirror) || !isFlag(battery) || !isFlag(faultTolerance)) return CMD_ERR_INVALID_SELECTION;
    // Enforce write-back counts only where the controller offers it.
    if (LAPIGetAdvancePerformanceSupportStatus(m_index, m_work.controllerInfo.get()) != 0) {
        enforceWriteBack = 0;
        return 0;
    }
    return isFlag(enforceWriteBack) ? 0 : CMD_ERR_INVALID_SELECTION;
}

uint32_t commandConfiguration::createArray(uint32_t count, const uint64_t* wwns, uint32_t chunkKb, uint32_t level,
                                           uint32_t backOff, uint32_t cacheGiven, uint32_t readAhead,
                                           uint32_t writeBack, uint32_t mirror, uint32_t battery,
                                           uint32_t faultTolerance, uint32_t enforceWriteBack) {
    ConfigView config(m_work.config.get());
    uint32_t status = LAPIGetRAIDConfigurationData(m_index, m_work.config.get());
    std::string name;
    if (status == 0) {
        name = freeName("Array ", [&](const std::string& n) { return arrayNameTaken(config, n); });
        const uint32_t smallest = config.header().minChunkBlocks.get() / 2;
        const uint32_t largest = config.header().maxChunkBlocks.get() / 2;
        const bool limits = smallest != 0 && largest != 0;
        const bool inRange = limits ? chunkKb >= smallest && chunkKb <= largest : chunkKb >= 64 && chunkKb <= 256;
        if (chunkKb == 0 || (chunkKb & (chunkKb - 1)) != 0 || !inRange) status = CMD_ERR_INVALID_CHUNK_SIZE;
    }
    if (status == 0 && count > wire::kMaxRankDrives) status = CMD_ERR_INVALID_DEVICE_INDEX;
    if (status == 0 && wwns == nullptr) status = CMD_ERR_MEMORY;
    if (status == 0) status = checkDriveList(count, wwns, wire::kMaxRankDrives);
    if (status == 0 && level != 0 && level != 1 && level != 5 && level != 6 && level != 10 && level != 50)
        status = CMD_ERR_INVALID_RAID_LEVEL;
    if (status == 0 && backOff > 189) status = CMD_ERR_INVALID_BACK_OFF;
    if (status == 0 && !isFlag(cacheGiven)) status = CMD_ERR_INVALID_SELECTION;
    if (status == 0) status = checkCacheValues(readAhead, writeBack, mirror, battery, faultTolerance, enforceWriteBack);
    if (status != 0) return Global::report(status);

    CREATE_POOL_REQUEST request{};
    request.numDrives = static_cast<uint8_t>(count);
    std::copy(wwns, wwns + count, request.drives);
    request.raidLevel = level;
    request.chunkKb = chunkKb;
    request.cacheGiven = cacheGiven;
    std::memcpy(request.name, name.data(), std::min(name.size(), sizeof request.name - 1));
    request.backOff = static_cast<uint8_t>(backOff);
    if (cacheGiven) {
        request.readAheadCode = static_cast<uint16_t>(readAhead);
        request.writeBackCode = static_cast<uint16_t>(writeBack);
        request.mirror = static_cast<uint8_t>(mirror);
        request.batteryRequired = static_cast<uint8_t>(battery);
        request.faultToleranceRequired = static_cast<uint8_t>(faultTolerance);
        request.enforceWriteBack = static_cast<uint8_t>(enforceWriteBack);
    }
    request.info = informationSet();
    status = LAPICreatePool(m_index, &request);
    if (status == 0) status = readInformationSet();
    if (status == 0) {
        ConfigView after(m_infoSet.config.get());
        Global::append("\nCreated ArrayID:");
        Global::format(after.arrayCount() > 0 ? after.rank(after.arrayCount() - 1).rankId : 0);
        Global::append("\n");
    }
    return Global::report(status);
}

uint32_t commandConfiguration::expandArray(uint32_t array, uint32_t count, const uint64_t* wwns) {
    ConfigView config(m_work.config.get());
    uint32_t status = readConfiguration();
    if (status == 0 && array >= config.arrayCount()) status = CMD_ERR_INVALID_ARRAY_INDEX;
    if (status == 0 && count > wire::kMaxRankDrives) status = CMD_ERR_INVALID_DEVICE_INDEX;
    if (status == 0 && wwns == nullptr) status = CMD_ERR_MEMORY;
    // The expansion record holds 15 drives.
    if (status == 0) status = checkDriveList(count, wwns, wire::kMaxExpandDrives);
    if (status != 0) return Global::report(status);

    EXPAND_POOL_REQUEST request{};
    request.rank = static_cast<uint8_t>(array);
    request.numDrives = static_cast<uint8_t>(count);
    std::copy(wwns, wwns + count, request.drives);
    request.info = informationSet();
    status = LAPIExpandPool(m_index, &request);
    if (status == 0) {
        Global::append("Array expanded successfully :");
        Global::format(array);
    }
    return Global::report(status);
}

uint32_t commandConfiguration::trustArray(uint32_t array) {
    uint32_t status = readConfiguration();
    if (status == 0 && array >= ConfigView(m_work.config.get()).arrayCount()) status = CMD_ERR_INVALID_ARRAY_INDEX;
    if (status != 0) return Global::report(status);
    POOL_REQUEST request{};
    request.rank = static_cast<uint8_t>(array);
    request.info = informationSet();
    status = LAPITrustPool(m_index, &request);
    if (status == 0) {
        Global::append("Trusted Array: ");
        Global::format(array);
    }
    return Global::report(status);
}

uint32_t commandConfiguration::setPoolName(uint32_t array, const std::string& name) {
    ConfigView config(m_work.config.get());
    uint32_t status = LAPIGetRAIDConfigurationData(m_index, m_work.config.get());
    if (status == 0 && arrayNameTaken(config, stored(name))) {
        Global::append("\nArray name already in use.");
        status = CMD_ERR_INVALID_ARRAY_NAME;
    }
    if (status == 0 && config.totalArrays() == 0) status = CMD_ERR_NO_CONFIGURATION;
    if (status == 0 && array >= config.arrayCount()) status = CMD_ERR_INVALID_ARRAY_INDEX;
    if (status == 0 && name.size() > kNameLength) {
        Global::append("\nError: Array name exceeds 32 characters");
        status = CMD_ERR_INVALID_SELECTION;
    }
    if (status != 0) return Global::report(status);

    SET_POOL_NAME_REQUEST request{};
    request.rank = static_cast<uint8_t>(array);
    std::memcpy(request.name, name.data(), name.size());
    request.info = informationSet();
    status = LAPISetPoolName(m_index, &request);
    if (status == 0) {
        Global::append("setPoolName : Success, ret: ");
        Global::format(0);
    }
    return Global::report(status);
}

uint32_t commandConfiguration::deleteArray(uint32_t arrayId) {
    ConfigView config(m_work.config.get());
    uint32_t status = readConfiguration();
    if (status == 0) status = LAPIGetControllerInfoAndDriveFailureInfo(m_index, m_work.controllerInfo.get());
    size_t rank = 0;
    if (status == 0) {
        while (rank < config.arrayCount() && config.rank(rank).rankId != arrayId) ++rank;
        if (rank == config.arrayCount()) {
            Global::append("Error:Invalid ArrayID: ");
            Global::format(arrayId);
            Global::append("\n");
            status = CMD_ERR_INVALID_ARRAY_INDEX;
        }
    }
    if (status == 0 && isSystemArrayBusy()) {
        Global::append("System busy.\n");
        status = CMD_ERR_ARRAY_OPERATION_IN_PROGRESS;
    }
    if (status == 0 && config.rank(rank).faultStatus == wire::kRankExpanding) {
        Global::append("Selected ArrayID ");
        Global::format(arrayId);
        Global::append(" is expanding\n");
        status = LAPI_ERR_EXPANSION_IN_PROGRESS;
    }
    if (status != 0) return Global::report(status);

    POOL_REQUEST request{};
    request.rank = static_cast<uint8_t>(rank);
    request.info = informationSet();
    status = LAPIDeletePool(m_index, &request);
    if (status == 0) {
        Global::append("Deleted ArrayID: ");
        Global::format(arrayId);
    } else {
        std::printf("Error: deleteArray Failed\n");
        std::fflush(stdout);
    }
    return Global::report(status);
}

uint32_t commandConfiguration::SetDriveRankCacheParams(uint32_t array, uint32_t readAhead, uint32_t writeBack,
                                                       uint32_t mirror, uint32_t battery, uint32_t faultTolerance,
                                                       uint32_t enforceWriteBack) {
    std::memset(m_work.controllerInfo.get(), 0, kControllerInfoSize);
    uint32_t status = readConfiguration();
    if (status == 0 && array >= ConfigView(m_work.config.get()).arrayCount()) status = CMD_ERR_INVALID_ARRAY_INDEX;
    if (status == 0) status = checkCacheValues(readAhead, writeBack, mirror, battery, faultTolerance, enforceWriteBack);
    if (status != 0) return Global::report(status);

    RANK_CACHE_PARAMS_REQUEST request{};
    request.rank = static_cast<uint8_t>(array);
    request.readAheadCode = static_cast<uint8_t>(readAhead);
    request.writeBackCode = static_cast<uint8_t>(writeBack);
    request.mirror = static_cast<uint8_t>(mirror);
    request.batteryRequired = static_cast<uint8_t>(battery);
    request.faultToleranceRequired = static_cast<uint8_t>(faultTolerance);
    request.enforceWriteBack = static_cast<uint8_t>(enforceWriteBack);
    request.info = informationSet();
    status = LAPISetDriveRankCacheParams(m_index, &request);
    if (status == 0) std::printf("Cache Parameters Set\n");
    else std::printf("\nLAPISetDriveRankCacheParams() failed. Error Code =%d", status);
    std::fflush(stdout);
    return Global::report(status);
}

uint32_t commandConfiguration::parityCheck(uint32_t start, uint32_t array, uint32_t mode) {
    uint32_t status = readConfiguration();
    if (!isFlag(start)) status = CMD_ERR_INVALID_SELECTION;
    if (status == 0 && array >= ConfigView(m_work.config.get()).arrayCount()) status = CMD_ERR_INVALID_ARRAY_INDEX;
    if (mode < 1 || mode > 3) {
        Global::append("\nError: Invalid mode selected ");
        status = CMD_ERR_INVALID_SELECTION;
    }
    if (status != 0) return Global::report(status);

    PARITY_CHECK_REQUEST request{};
    request.checkAll = start ? wire::kFlagYes : wire::kFlagNo;
    request.array = static_cast<uint8_t>(array);
    request.mode = static_cast<uint8_t>(mode);
    request.info = informationSet();
    status = LAPIParityCheckArray(m_index, &request);
    if (status == 0) {
        Global::append("ParityCheck: Started, ret: ");
        Global::format(0);
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getArrayAPMStatus(uint32_t array) {
    uint32_t status = LAPIGetAPMStatus(m_index, m_work.controllerInfo.get());
    if (status != 0) return Global::report(status);
    ConfigView config(m_work.config.get());
    status = readConfiguration();
    if (status == 0 && array >= config.arrayCount()) status = CMD_ERR_INVALID_ARRAY_INDEX;
    if (status != 0) return Global::report(status);

    const auto& r = config.rank(array);
    const unsigned state = r.apmFlags.get() & 0x7;
    if (state == 0) {
        Global::append("\nAPM config for this array is not set\n");
    } else {
        Global::append("\nArray Index               : ");
        Global::format(r.rankId);
        Global::append("\nAPM Status                : ");
        Global::append("%s", state == 1   ? " Manually Spun Down\n"
                             : state == 2 ? "Spun Down\n"
                             : state == 4 ? "Spin down and test array\n"
                                          : "Unknown\n");
        Global::append("\nIdle Time for array spin down: %.2d hrs %.2d mins", r.apmIdleHours, r.apmIdleMinutes);
        Global::append("\nTime remaining to next functional test : %.2d days %.2d hrs\n", r.apmTestDays,
                       r.apmTestHours);
    }
    Global::append("\n");
    return Global::report(0);
}

// Both read the image but, unlike the APM status, leave the array index to the
// controller; the request carries it in one byte, so an index beyond 255 is
// refused rather than cut down to another array.
uint32_t commandConfiguration::setManualArraySpinUpOrDown(uint32_t array, uint32_t up) {
    uint32_t status = LAPIGetAPMStatus(m_index, m_work.controllerInfo.get());
    if (status == 0 && !isFlag(up)) {
        Global::append("Error: Invalid Selection\n");
        status = CMD_ERR_INVALID_SELECTION;
    }
    if (status == 0) status = LAPIGetRAIDConfigurationData(m_index, m_work.config.get());
    if (status == 0 && array > UINT8_MAX) status = CMD_ERR_INVALID_ARRAY_INDEX;
    if (status != 0) return Global::report(status);
    ARRAY_SPIN_REQUEST request{};
    request.array = static_cast<uint8_t>(array);
    request.direction = static_cast<uint8_t>(up);
    status = LAPISetManualSpinUpOrDownArray(m_index, &request);
    if (status == 0) {
        Global::append("Drive in array index[");
        Global::format(array);
        Global::append("] spun %s", up ? " up successfully\n" : " down successfully\n");
    }
    return Global::report(status);
}

uint32_t commandConfiguration::setArrayFunctionalTest(uint32_t array) {
    uint32_t status = LAPIGetAPMStatus(m_index, m_work.controllerInfo.get());
    if (status == 0) status = LAPIGetRAIDConfigurationData(m_index, m_work.config.get());
    if (status == 0 && array > UINT8_MAX) status = CMD_ERR_INVALID_ARRAY_INDEX;
    if (status != 0) return Global::report(status);
    const uint32_t request = array;
    status = LAPISetArrayFunctionalTest(m_index, &request);
    if (status == 0) {
        Global::append("Functional verification started on array index ");
        Global::format(array);
    }
    return Global::report(status);
}

// -- logical drives --

uint32_t commandConfiguration::createLogicalDrive(uint32_t array, uint32_t capacityGb, uint32_t blockSize,
                                                  const std::string* name) {
    CREATE_VOLUME_REQUEST request{};
    std::memset(m_work.regionMap.get(), 0, kRegionMapSize);
    ConfigView config(m_work.config.get());
    uint32_t status = readConfiguration();
    if (status == 0) status = LAPIGetControllerInfoAndDriveFailureInfo(m_index, m_work.controllerInfo.get());
    if (status == 0 && name != nullptr && name->size() > kNameLength) status = CMD_ERR_INVALID_LD_NAME;
    std::string padded;
    if (status == 0) {
        auto taken = [&](const std::string& n) {
            for (size_t i = 0; i < config.logicalDriveCount(); ++i)
                if (nameIn(n, config.logicalDrive(i).name)) return true;
            return false;
        };
        if (name == nullptr || name->empty()) {
            padded = freeName("LD ", taken);
        } else {
            padded = stored(*name);
            if (taken(padded)) status = CMD_ERR_INVALID_LD_NAME;
        }
    }
    if (status == 0 && array >= config.arrayCount()) status = CMD_ERR_INVALID_ARRAY_INDEX;
    if (status == 0 && (capacityGb == 0 || capacityGb > 0xFFFF)) {
        Global::append("\nError: Invalid capacity range (in GB)");
        status = CMD_ERR_INVALID_SELECTION;
    }
    if (status == 0 && blockSize != 0 && blockSize != 512 && blockSize != 4096)
        status = CMD_ERR_INVALID_HOST_BLOCK_SIZE;
    if (status == 0) status = LAPIGetRegionMap(m_index, m_work.regionMap.get());
    if (status != 0) return Global::report(status);

    const auto newIndex = static_cast<uint16_t>(config.totalLogicalDrives());
    request.logicalDrive = newIndex;
    std::memcpy(request.name, padded.data(), std::min(padded.size(), sizeof request.name - 1));
    request.hostBlockSize = static_cast<uint16_t>(blockSize);

    // Segments from the array's free regions, first fit in map order. The
    // free-region number counts every free region met after the first one.
    RegionMapView map(m_work.regionMap.get());
    std::array<bool, wire::kMaxRegions> taken{};
    uint32_t remaining = capacityGb;
    uint32_t regionNo = 0;
    bool firstMet = false;
    while (remaining > 0) {
        int found = -1;
        for (size_t j = 0; j < wire::kMaxRegions && found < 0; ++j) {
            const auto& region = map.region(j);
            if (taken[j] || region.lunNo.get() != wire::kRegionFree) continue;
            if (firstMet) ++regionNo;
            firstMet = true;
            if (regionNo >= wire::kMaxRegions) {
                Global::append("Error: Severe internal fragmentations found in this Array\n");
                return Global::report(CMD_ERR_INSUFFICIENT_FREE_REGIONS);
            }
            if (region.rankNo.get() == array) found = static_cast<int>(j);
        }
        if (found < 0) {
            Global::append("Not enough free regions to assign the ");
            Global::format(capacityGb);
            Global::append("GB of space to create this logical drive\n");
            return Global::report(CMD_ERR_INSUFFICIENT_FREE_REGIONS);
        }
        if (request.segmentCount == kVolumeRequestSegments) {
            Global::append("Error: The logical drive would need more than %zu free regions\n", kVolumeRequestSegments);
            return Global::report(CMD_ERR_INSUFFICIENT_FREE_REGIONS);
        }
        taken[static_cast<size_t>(found)] = true;
        const uint32_t size = std::min<uint32_t>(map.region(static_cast<size_t>(found)).capacityGb.get(), remaining);
        request.capacityGb[request.segmentCount] = static_cast<uint16_t>(size);
        request.freeRegionNo[request.segmentCount] = static_cast<uint16_t>(regionNo);
        ++request.segmentCount;
        remaining -= size;
    }

    request.info = informationSet();
    status = LAPICreateVolume(m_index, &request);
    if (status == 0) {
        ConfigView after(m_infoSet.config.get());
        if (newIndex < after.logicalDriveCount()) {
            const auto& ld = after.logicalDrive(newIndex);
            Global::append("Created LogicalDrive [");
            Global::format(ld.lunNumber.get());
            Global::append("] ID: ");
            Global::format(ld.wlunReferenceNo.get());
            Global::append("\n");
        }
    }
    return Global::report(status);
}

uint32_t commandConfiguration::createLogicalDrive(const std::string& array, uint32_t capacityGb, uint32_t blockSize,
                                                  const std::string* name) {
    uint32_t id = 0;
    uint32_t status = getArrayId(array, id);
    if (status != 0) return Global::report(status);
    return createLogicalDrive(id, capacityGb, blockSize, name);
}

uint32_t commandConfiguration::expandLD(uint32_t array, uint32_t capacityGb, uint32_t ld) {
    ConfigView config(m_work.config.get());
    uint32_t status = readConfiguration();
    const bool imageRead = status == 0 || status == CMD_ERR_NO_CONFIGURATION;
    if (status == 0) status = LAPIGetRegionMap(m_index, m_work.regionMap.get());
    if (status == 0 && array >= config.arrayCount()) status = CMD_ERR_INVALID_ARRAY_INDEX;
    // The logical drive is checked whenever the image was read, whatever failed before.
    if (imageRead && ld >= config.logicalDriveCount()) status = CMD_ERR_INVALID_LUN_INDEX;
    if (status == 0 && (capacityGb == 0 || capacityGb > 0xFFFF)) {
        Global::append("\nError: Invalid capacity range (in GB)");
        status = CMD_ERR_INVALID_SELECTION;
    }
    if (status != 0) return Global::report(status);

    // One segment: the array's first free region; its number counts the free
    // regions before it.
    RegionMapView map(m_work.regionMap.get());
    int found = -1;
    uint32_t freeBefore = 0;
    for (size_t j = 0; j < wire::kMaxRegions && found < 0; ++j) {
        const auto& region = map.region(j);
        if (region.lunNo.get() != wire::kRegionFree) continue;
        if (region.rankNo.get() == array) found = static_cast<int>(j);
        else ++freeBefore;
    }
    if (found < 0) {
        Global::append("\nError: Not enough free regions to expand");
        return Global::report(CMD_ERR_INSUFFICIENT_FREE_REGIONS);
    }
    CREATE_VOLUME_REQUEST request{};
    request.logicalDrive = static_cast<uint16_t>(ld);
    request.segmentCount = 1;
    request.capacityGb[0] =
        static_cast<uint16_t>(std::min<uint32_t>(map.region(static_cast<size_t>(found)).capacityGb.get(), capacityGb));
    request.freeRegionNo[0] = static_cast<uint16_t>(freeBefore);
    request.info = informationSet();
    status = LAPIExpandVolume(m_index, &request);
    if (status == 0) {
        Global::append("Logical drive expanded successfully : ");
        Global::format(ld);
    }
    return Global::report(status);
}

uint32_t commandConfiguration::deleteLogicalDrive(uint32_t lun) {
    ConfigView config(m_work.config.get());
    uint32_t status = readConfiguration();
    size_t index = 0;
    if (status == 0) {
        while (index < config.logicalDriveCount() && config.logicalDrive(index).lunNumber.get() != lun) ++index;
        if (index == config.logicalDriveCount()) {
            Global::append("Error: Invalid Ld ID: ");
            Global::format(lun);
            Global::append("\n");
            status = CMD_ERR_INVALID_LUN_INDEX;
        }
    }
    if (status != 0) return Global::report(status);
    DELETE_VOLUME_REQUEST request{};
    request.logicalDrive = static_cast<uint16_t>(index);
    request.info = informationSet();
    status = LAPIDeleteVolume(m_index, &request);
    if (status == 0) {
        Global::append("Deleted LogicalDrive(index): ");
        Global::format(lun);
    }
    return Global::report(status);
}

uint32_t commandConfiguration::deleteLogicalDrive(const std::string& name) {
    return byName(name, [&](uint32_t lun) { return deleteLogicalDrive(lun); });
}

// -- LUN mappings --

uint32_t commandConfiguration::createMapping(uint64_t node, uint64_t port, uint32_t ld, uint32_t lun, uint32_t ports,
                                             uint32_t readOnly, uint32_t snapshot) {
    ConfigView config(m_work.config.get());
    uint32_t status = readConfiguration();
    if (status == 0 && ld >= config.logicalDriveCount()) status = CMD_ERR_INVALID_LUN_INDEX;
    if (status == 0 && lun >= wire::kLunsPerMap) status = CMD_ERR_INVALID_LUN_MAP_INDEX;
    if (status == 0 && !isFlag(readOnly)) {
        Global::append("\nError: Invalid read only selection");
        status = CMD_ERR_INVALID_SELECTION;
    }
    if (status == 0) status = LAPIGetHostInfo(m_index, m_work.hostTable.get());
    uint16_t bits = 0;
    if (status == 0) {
        bits = portSelectionBits(ports);
        if (bits == 0) status = CMD_ERR_INVALID_PORT;
    }
    if (status == 0) status = readInformationSet();
    if (status != 0) return Global::report(status);

    if (snapshot) bits |= wire::kLunSnapshot;
    if (readOnly) bits |= wire::kLunReadOnly;
    CREATE_MAPPING_REQUEST request{};
    request.nodeWwn = node;
    request.portWwn = port;
    request.logicalDrive = ld;
    request.lun = static_cast<uint16_t>(lun);
    request.entryBits = bits;
    request.info = informationSet();
    status = LAPICreateMapping(m_index, &request);
    if (status == 0) {
        Global::append("nodeWWN: %llX, portWWN: %llX\n", static_cast<unsigned long long>(node),
                       static_cast<unsigned long long>(port));
        Global::append("VolumeNoID: ");
        Global::format(ld);
        Global::append(", MappedLUNNO: ");
        Global::format(lun);
        Global::append("\n");
    }
    return Global::report(status);
}

uint32_t commandConfiguration::createMapping(uint64_t node, uint64_t port, const std::string& ld, uint32_t lun,
                                             uint32_t ports, uint32_t readOnly, uint32_t snapshot) {
    return byName(ld, [&](uint32_t id) { return createMapping(node, port, id, lun, ports, readOnly, snapshot); });
}

uint32_t commandConfiguration::deleteMapping(uint64_t host, uint32_t removeAll, uint32_t lun) {
    ConfigView config(m_infoSet.config.get());
    uint32_t status = readInformationSet();
    if (status == 0 && config.totalArrays() == 0) status = CMD_ERR_NO_CONFIGURATION;
    if (status == 0 && !isFlag(removeAll)) {
        Global::append("\nInvalid remove mapping selection");
        status = CMD_ERR_INVALID_SELECTION;
    }
    if (status == 0 && lun >= wire::kLunsPerMap) status = CMD_ERR_INVALID_LUN_MAP_INDEX;
    if (status != 0) return Global::report(status);

    // The host's maps, by their port WWN: a change moves maps within the table,
    // so each is looked up again in the image the previous change left.
    std::vector<uint64_t> hostPorts;
    for (size_t i = 0; i < config.lunMapCount(); ++i) {
        const auto& m = config.lunMap(i);
        if (m.abNodeName.get() == host || m.abPortName.get() == host) hostPorts.push_back(m.abPortName.get());
    }
    for (uint64_t portWwn : hostPorts) {
        size_t index = 0;
        while (index < config.lunMapCount() && config.lunMap(index).abPortName.get() != portWwn) ++index;
        if (index == config.lunMapCount()) continue;
        DELETE_MAPPING_REQUEST request{};
        request.mapIndex = static_cast<uint16_t>(index);
        request.info = informationSet();
        if (removeAll == 0) {
            auto& entry = const_cast<wire::LUN_MAPPING_STRUCT&>(config.lunMap(index)).awLunMap[lun];
            if (entry.get() == wire::kLunNotMapped) {
                Global::append("Error: LUN Mapping for LUN ID ");
                Global::format(lun);
                Global::append(" does not exist");
                return Global::report(CMD_ERR_INVALID_LUN_INDEX);
            }
            entry.set(wire::kLunNotMapped);
            request.flag = kDeleteMappingReAdd;
            status = LAPIDeleteMapping(m_index, &request);
            if (status != 0) return Global::report(status);
            Global::append("Deleted LUN mapping ");
            Global::format(lun);
            Global::append("\n");
        } else {
            request.flag = kDeleteMappingOnly;
            status = LAPIDeleteMapping(m_index, &request);
            if (status != 0) return Global::report(status);
            Global::append("Deleted all LUN mappings\n");
        }
    }
    return Global::report(0);
}

uint32_t commandConfiguration::deleteMapping(uint64_t host, uint32_t removeAll, const std::string& ld) {
    uint32_t id = 0;
    uint32_t status = getLogicalDiskId(ld, id);
    uint32_t lun = 0;
    if (status == 0) status = getMappedLunNumber(host, id, lun);
    if (status != 0) return Global::report(status);
    return deleteMapping(host, removeAll, lun);
}

// -- hot spares --

uint32_t commandConfiguration::createHotSpare(uint64_t wwn, uint32_t array) {
    uint32_t status = readConfiguration();
    if (status == 0 && array > 63 && array != wire::kGlobalSpare) status = CMD_ERR_INVALID_ARRAY_INDEX;
    if (status != 0) return Global::report(status);
    CREATE_HOT_SPARE_REQUEST request{};
    request.wwn = wwn;
    request.rank = static_cast<uint8_t>(array);
    request.info = informationSet();
    status = LAPICreateHotSpare(m_index, &request);
    if (status == 0) Global::append("\nCreated Hot spare \n");
    return Global::report(status);
}

uint32_t commandConfiguration::deleteHotSpare(uint32_t spare) {
    uint32_t status = readConfiguration();
    if (status == 0 && spare >= ConfigView(m_work.config.get()).spareCount()) status = CMD_ERR_INVALID_SPARE_INDEX;
    if (status != 0) return Global::report(status);
    DELETE_HOT_SPARE_REQUEST request{};
    request.spare = static_cast<uint8_t>(spare);
    request.info = informationSet();
    status = LAPIDeleteHotSpare(m_index, &request);
    if (status == 0) Global::append("Deleted Hot spare \n");
    return Global::report(status);
}

// -- the whole configuration --

uint32_t commandConfiguration::setConfigName(const std::string& name) {
    uint32_t status = readConfiguration();
    if (status == 0 && name.size() > kNameLength) {
        Global::append("\nError: Config name exceeds 32 characters");
        status = CMD_ERR_INVALID_SELECTION;
    }
    if (status != 0) return Global::report(status);
    SET_CONFIG_NAME_REQUEST request{};
    std::memcpy(request.name, name.data(), name.size());
    request.info = informationSet();
    status = LAPISetConfigName(m_index, &request);
    if (status == 0) {
        Global::append("setConfigName : Success, ret: ");
        Global::format(0);
    }
    return Global::report(status);
}

uint32_t commandConfiguration::clearConfig() {
    uint32_t status = readConfiguration();
    if (status == 0) status = LAPIClearConfiguration(m_index);
    if (status == 0) {
        Global::append("ClearConfig: Success, ret:");
        Global::format(0);
    }
    return Global::report(status);
}
