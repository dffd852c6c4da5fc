#include "commands/configuration.h"

#include "net/oob_params.h"
#include "net/update.h"
#include <cstring>

#include "commands/config_view.h"
#include "commands/configuration_report.h"
#include "commands/global.h"
#include "lapi/config_writes.h"
#include "net/oob_params.h"
#include "net/update.h"
#include "scsi/discovery.h"

bool commandConfiguration::BufferSet::allocate() {
    config = commands::allocateBuffer(kConfigSize);
    controllerInfo = commands::allocateBuffer(kControllerInfoSize);
    hostTable = commands::allocateBuffer(kHostTableSize);
    initTable = commands::allocateBuffer(kInitTableSize);
    driveInfo = commands::allocateBuffer(kDriveInfoSize);
    regionMap = commands::allocateBuffer(kRegionMapSize);
    return config && controllerInfo && hostTable && initTable && driveInfo && regionMap;
}

commandConfiguration::commandConfiguration() {
    bool ok = m_infoSet.allocate() && m_work.allocate();
    for (size_t i = 0; i < 8; ++i) {
        m_snapshot[i] = commands::allocateBuffer(kSnapshotSizes[i]);
        ok = ok && m_snapshot[i];
    }
    if (!ok) commands::allocationFailure("Error: Memory allocation failure\n", true);
}

namespace {

using commands::ConfigView;
using commands::RegionMapView;

const wire::ALL_CONTROLLER_INFO_AND_FAIL_STRUCT& controllerInfo(const uint8_t* info) {
    return *reinterpret_cast<const wire::ALL_CONTROLLER_INFO_AND_FAIL_STRUCT*>(info);
}

}  // namespace


uint32_t commandConfiguration::readConfiguration() {
    uint32_t status = LAPIGetRAIDConfigurationData(m_index, m_work.config.get());
    if (status != 0) return status;
    return ConfigView(m_work.config.get()).totalArrays() == 0 ? CMD_ERR_NO_CONFIGURATION : 0;
}

uint32_t commandConfiguration::readConfigurationAndRegionMap() {
    uint32_t status = readConfiguration();
    if (status != 0) return status;
    return LAPIGetRegionMap(m_index, m_work.regionMap.get());
}

ALL_INFORMATION_SET commandConfiguration::informationSet() {
    return {m_infoSet.config.get(),    m_infoSet.controllerInfo.get(), m_infoSet.hostTable.get(),
            m_infoSet.initTable.get(), m_infoSet.driveInfo.get(),      m_infoSet.regionMap.get()};
}

uint32_t commandConfiguration::readInformationSet() {
    ALL_INFORMATION_SET set = informationSet();
    return LAPIGetAllInformation(m_index, &set);
}

// -- configuration image --

uint32_t commandConfiguration::getNumberOfArrays() {
    uint32_t status = readConfiguration();
    if (status == 0) {
        Global::append("\nNumber Of Arrays : ");
        Global::format(ConfigView(m_work.config.get()).totalArrays());
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getNumberOfVolumes() {
    uint32_t status = readConfiguration();
    if (status == 0) {
        Global::append("\nNumber of LDs : ");
        Global::format(ConfigView(m_work.config.get()).totalLogicalDrives());
    }
    return Global::report(status);
}

namespace {
// Reads the configuration and checks a rank index against the arrays present.
uint32_t checkArray(uint32_t status, const ConfigView& config, uint32_t array) {
    if (status != 0) return status;
    return array < config.arrayCount() ? 0 : CMD_ERR_INVALID_ARRAY_INDEX;
}
}  // namespace

uint32_t commandConfiguration::getNumberOfDevicesInArray(uint32_t array) {
    ConfigView config(m_work.config.get());
    uint32_t status = checkArray(readConfiguration(), config, array);
    if (status == 0) {
        Global::append("\nNumber Of Devices in arrayID [");
        Global::format(array);
        Global::append("]: ");
        Global::format(config.rank(array).numDrives);
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getArrayID(uint32_t array) {
    ConfigView config(m_work.config.get());
    uint32_t status = checkArray(readConfiguration(), config, array);
    if (status == 0) {
        Global::append("ArrayID [");
        Global::format(array);
        Global::append("]: ");
        Global::format(config.rank(array).rankId);
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getArrayLevel(uint32_t array) {
    ConfigView config(m_work.config.get());
    uint32_t status = checkArray(readConfiguration(), config, array);
    if (status == 0) {
        const auto& r = config.rank(array);
        Global::append("Raid level of Array[");
        Global::format(array);
        Global::append("]: ");
        Global::format(commands::getRAIDLevelDisplay(r.raidLevel, r.numDrives));
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getArrayStripeSize(uint32_t array) {
    ConfigView config(m_work.config.get());
    uint32_t status = checkArray(readConfiguration(), config, array);
    if (status == 0) {
        Global::append("ChunkBlkCnt of Array[");
        Global::format(array);
        Global::append("]: ");
        Global::format(config.rank(array).chunkBlocks.get());
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getArraySize(uint32_t array) {
    ConfigView config(m_work.config.get());
    uint32_t status = checkArray(readConfiguration(), config, array);
    if (status == 0) {
        Global::append("Size of Array[");
        Global::format(array);
        Global::append("] in GB: ");
        Global::format(config.rank(array).capacityGb.get());
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getDeviceInArray(uint32_t array, uint32_t drive) {
    ConfigView config(m_work.config.get());
    uint32_t status = readConfiguration();
    if (status == 0 && array >= config.arrayCount()) {
        Global::append("Error: Invalid arrayID\n");
        status = CMD_ERR_INVALID_ARRAY_INDEX;
    }
    if (status == 0) {
        const auto& r = config.rank(array);
        if (drive >= ConfigView::memberCount(r)) {
            Global::append("Error: Invalid index, driveIndex starts from 0 till %d\n", r.numDrives - 1);
            status = CMD_ERR_INVALID_DEVICE_INDEX;
        } else {
            m_lastWwn = r.driveWwn[drive].get();
            Global::append("Device [");
            Global::format(drive);
            Global::append("] in arrayID [");
            Global::format(array);
            Global::append("]");
            Global::append(" :%0llX\n\n", static_cast<unsigned long long>(m_lastWwn));
        }
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getInitStatus(uint32_t array) {
    ConfigView config(m_work.config.get());
    uint32_t status = checkArray(readConfiguration(), config, array);
    if (status == 0) status = LAPIGetInitializationJobInfo(m_index, m_work.initTable.get());
    if (status == 0) {
        const auto* init = reinterpret_cast<const wire::ALL_INITIALISATION_INFO_STRUCT*>(m_work.initTable.get());
        if (init->rank[array].inProgress == wire::kFlagYes)
            Global::append("InitializationInProgress (1 - in progress):1 \n");
        else
            Global::append("InitializationInProgress (0 - not in progress):0 \n");
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getInitPercentComplete(uint32_t array) {
    ConfigView config(m_work.config.get());
    uint32_t status = checkArray(readConfiguration(), config, array);
    if (status == 0) status = LAPIGetInitializationJobInfo(m_index, m_work.initTable.get());
    if (status == 0) {
        const auto* init = reinterpret_cast<const wire::ALL_INITIALISATION_INFO_STRUCT*>(m_work.initTable.get());
        Global::append("Percent Complete :");
        Global::format(init->rank[array].percent);
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getNumberOfHotSpares() {
    uint32_t status = readConfiguration();
    if (status == 0) {
        Global::append("TotalHotSpareCount: ");
        Global::format(ConfigView(m_work.config.get()).totalSpares());
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getNumberOfGlobalHotSpares() {
    ConfigView config(m_work.config.get());
    uint32_t status = readConfiguration();
    if (status == 0) {
        uint32_t count = 0;
        for (size_t i = 0; i < config.spareCount(); ++i)
            if (config.spare(i).rank == wire::kGlobalSpare) ++count;
        Global::append("\nNumber of global hotspares : ");
        Global::format(count);
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getHotSpareArrayCount(uint32_t array) {
    ConfigView config(m_work.config.get());
    uint32_t status = checkArray(readConfiguration(), config, array);
    if (status == 0) {
        uint32_t count = 0;
        for (size_t i = 0; i < config.spareCount(); ++i)
            if (config.spare(i).rank == array) ++count;
        Global::append("Number of hot spares in array[");
        Global::format(array);
        Global::append("] :");
        Global::format(count);
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getHotSpareArray(uint32_t array, uint32_t n) {
    ConfigView config(m_work.config.get());
    uint32_t status = checkArray(readConfiguration(), config, array);
    if (status == 0) {
        status = CMD_ERR_INVALID_SPARE_INDEX;
        uint32_t seen = 0;
        for (size_t i = 0; i < config.spareCount(); ++i) {
            if (config.spare(i).rank != array) continue;
            if (seen++ == n) {
                m_lastWwn = config.spare(i).driveWwn.get();
                Global::append("Hot spare:%s", commands::wwnText(config.spare(i).driveWwn).c_str());
                status = 0;
                break;
            }
        }
    }
    return Global::report(status);
}

uint32_t commandConfiguration::IsHotSpareDedicated(uint32_t spare) {
    ConfigView config(m_work.config.get());
    uint32_t status = readConfiguration();
    if (status == 0 && spare >= config.spareCount()) status = CMD_ERR_INVALID_SPARE_INDEX;
    if (status == 0) Global::append("%s", config.spare(spare).rank == wire::kGlobalSpare ? "Global" : "Dedicated");
    return Global::report(status);
}

uint32_t commandConfiguration::getHotSpareWWN(uint32_t spare) {
    ConfigView config(m_work.config.get());
    uint32_t status = readConfiguration();
    if (status == 0 && spare >= config.spareCount()) {
        Global::append("Error:Invalid index\n");
        status = CMD_ERR_INVALID_SPARE_INDEX;
    }
    if (status == 0) {
        m_lastWwn = config.spare(spare).driveWwn.get();
        Global::append("Hot spare:%s", commands::wwnText(config.spare(spare).driveWwn).c_str());
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getConfigStorageHeaderStruct() {
    uint32_t status = readConfiguration();
    if (status == 0) status = LAPIGetControllerInfoAndDriveFailureInfo(m_index, m_work.controllerInfo.get());
    if (status == 0)
        commands::appendHeaderReport(ConfigView(m_work.config.get()), wire::activeController(controllerInfo(m_work.controllerInfo.get())));
    return Global::report(status);
}

int16_t commandConfiguration::getUnusedArraySpace(uint32_t array) {
    if (readConfiguration() != 0) return 0;
    if (array >= ConfigView(m_work.config.get()).arrayCount()) return 0;
    if (LAPIGetRegionMap(m_index, m_work.regionMap.get()) != 0) return 0;
    RegionMapView map(m_work.regionMap.get());
    for (size_t i = 0; i < wire::kMaxRegions; ++i) {
        const auto& r = map.region(i);
        if (r.lunNo.get() == wire::kRegionFree && r.rankNo.get() == array)
            return static_cast<int16_t>(r.capacityGb.get());
    }
    return 0;
}

uint32_t commandConfiguration::getRankConfigStruct() {
    // The report's own copies: the unused-space lookup rereads the working buffers.
    uint8_t* info = m_infoSet.controllerInfo.get();
    uint8_t* init = m_infoSet.initTable.get();
    uint8_t* image = m_infoSet.config.get();
    uint32_t status = LAPIGetControllerInfoAndDriveFailureInfo(m_index, info);
    if (status == 0) status = LAPIGetInitializationJobInfo(m_index, init);
    if (status == 0) status = LAPIGetRAIDConfigurationData(m_index, image);
    ConfigView config(image);
    if (status == 0 && config.totalArrays() == 0) status = CMD_ERR_NO_CONFIGURATION;
    if (status != 0) return Global::report(status);

    const auto* initTable = reinterpret_cast<const wire::ALL_INITIALISATION_INFO_STRUCT*>(init);
    Global::append("\n\n*************** ARRAY INFORMATION ***************");
    for (size_t i = 0; i < config.arrayCount(); ++i) {
        const auto& r = config.rank(i);
        commands::appendRankLine(r);
        if (r.initialised == wire::kFlagYes) Global::append("Array Status: Initialized\n");
        else if (initTable->rank[i].inProgress == wire::kFlagYes) Global::append("Array Status: Initializing\n");
        else Global::append("Array Status: Trusted\n");
        Global::append("Fault Status: %s\n", commands::faultStatusText(r, i, controllerInfo(info)));
        int16_t unused = getUnusedArraySpace(static_cast<uint32_t>(i));
        Global::append("Unused space: ");
        if (unused < 0) Global::append("NA\n");
        else if (unused == 0) Global::append("0 GB\n");
        else Global::append("%d GB\n", unused);
        Global::append("Array Name:   %.32s\n", std::string(r.name, sizeof r.name).c_str());
        Global::append("-------------Cache parameter settings-------------\n");
        auto yn = [&](uint8_t bit) { return (r.cacheFlags & bit) ? 'Y' : 'N'; };
        Global::append("W/B Cache Enabled:       %c\nMirror Cache Enabled:    %c\nFault Tolerant Required: %c\n"
                       "Battery Required:        %c\n",
                       yn(wire::kCacheWriteBack), yn(wire::kCacheMirror), yn(wire::kCacheFaultToleranceRequired),
                       yn(wire::kCacheBatteryRequired));
        Global::append("Read ahead cache:        %s\n", commands::readAheadText(r.readAheadCode.get()));
        Global::append("Write Back cache:        %s\n", commands::writeBackText(r.writeBackCode.get()));
        if (LAPIGetAdvancePerformanceSupportStatus(m_index, info) == 0)
            Global::append("Enforce write back:      %c", yn(wire::kCacheEnforceWriteBack));
        Global::append("\n--------------------------------------------------\n");
    }
    return Global::report(0);
}

// -- region map --

namespace {
uint32_t checkRegion(uint32_t status, const RegionMapView& map, uint32_t region) {
    if (status != 0) return status;
    return region < map.regionCount() ? 0 : CMD_ERR_INVALID_REGION_INDEX;
}
}  // namespace

uint32_t commandConfiguration::getNumRegions() {
    uint32_t status = readConfigurationAndRegionMap();
    if (status == 0) {
        Global::append("\nTotal RegionCount : ");
        Global::format(RegionMapView(m_work.regionMap.get()).totalRegions());
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getRegionStatus(uint32_t region) {
    RegionMapView map(m_work.regionMap.get());
    uint32_t status = checkRegion(readConfigurationAndRegionMap(), map, region);
    if (status == 0) {
        Global::append("Region status: ");
        Global::format(map.region(region).lunNo.get());
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getRegionArrayNo(uint32_t region) {
    RegionMapView map(m_work.regionMap.get());
    uint32_t status = checkRegion(readConfigurationAndRegionMap(), map, region);
    if (status == 0) {
        Global::append("This region belongs to array: ");
        Global::format(map.region(region).rankNo.get());
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getRegionCapacity(uint32_t region) {
    RegionMapView map(m_work.regionMap.get());
    uint32_t status = checkRegion(readConfigurationAndRegionMap(), map, region);
    if (status == 0) {
        Global::append("Region capacity(GB): ");
        Global::format(map.region(region).capacityGb.get());
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getRegionMap() {
    uint32_t status = readConfigurationAndRegionMap();
    if (status == 0) commands::appendRegionMapReport(RegionMapView(m_work.regionMap.get()));
    return Global::report(status);
}

// -- information set --

uint32_t commandConfiguration::getLunMappingStruct() {
    ConfigView config(m_infoSet.config.get());
    uint32_t status = readInformationSet();
    if (status == 0 && config.totalArrays() == 0) status = CMD_ERR_NO_CONFIGURATION;
    if (status == 0) commands::appendLunMappingReport(config);
    return Global::report(status);
}

uint32_t commandConfiguration::getHostConfigStruct() {
    uint32_t status = readInformationSet();
    if (status == 0) commands::appendLogicalDriveReport(ConfigView(m_infoSet.config.get()));
    return Global::report(status);
}

uint32_t commandConfiguration::getLogicalDriveIndex(uint32_t reference) {
    ConfigView config(m_infoSet.config.get());
    uint32_t status = readInformationSet();
    if (status == 0 && config.totalArrays() == 0) status = CMD_ERR_NO_CONFIGURATION;
    if (status == 0) {
        bool found = false;
        for (size_t i = 0; i < config.logicalDriveCount(); ++i) {
            if (config.logicalDrive(i).wlunReferenceNo.get() != reference) continue;
            found = true;
            m_lastValue = static_cast<uint32_t>(i);
            Global::append("Logical Drive Index for LUNReferenceNo[");
            Global::format(reference);
            Global::append("]:");
            Global::format(static_cast<uint32_t>(i));
        }
        if (!found) {
            Global::append("Error: Logical Drive Index not found\n");
            status = CMD_ERR_INVALID_HOST_INDEX;
        }
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getLogicalDriveID(uint32_t ld) {
    ConfigView config(m_infoSet.config.get());
    uint32_t status = readInformationSet();
    if (status == 0 && config.totalArrays() == 0) status = CMD_ERR_NO_CONFIGURATION;
    if (status == 0 && ld >= config.logicalDriveCount()) status = CMD_ERR_INVALID_LUN_INDEX;
    if (status == 0) {
        Global::append("LogicalDrive ID: ");
        Global::format(config.logicalDrive(ld).wlunReferenceNo.get());
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getLogicalDriveSize(uint32_t ld) {
    ConfigView config(m_infoSet.config.get());
    uint32_t status = readInformationSet();
    if (status == 0 && config.totalArrays() == 0) status = CMD_ERR_NO_CONFIGURATION;
    if (status == 0 && ld >= config.logicalDriveCount()) status = CMD_ERR_INVALID_LUN_INDEX;
    if (status == 0) {
        Global::append("LogicalDrive size in GB: ");
        Global::format(config.logicalDrive(ld).capacityGb.get());
    }
    return Global::report(status);
}

namespace {

// A user-given name as the controller stores names: blank-padded to 32.
std::string storedForm(const std::string& name) { return name + std::string(32 - name.size(), ' '); }

// Finds the one record whose stored name equals `name`; names must be unique.
template <typename Records, typename NameOf, typename IdOf>
bool findUniqueName(const std::string& name, size_t count, Records record, NameOf nameOf, IdOf idOf,
                    uint32_t& id) {
    if (name.size() > 32) return false;
    std::string wanted = storedForm(name);
    bool found = false;
    for (size_t i = 0; i < count; ++i) {
        const auto& r = record(i);
        std::string stored(nameOf(r), 32);
        stored = stored.substr(0, stored.find('\0'));
        if (stored != wanted) continue;
        if (found) return false;
        found = true;
        id = idOf(r);
    }
    return found;
}

}  // namespace

uint32_t commandConfiguration::getLogicalDiskId(const std::string& name, uint32_t& id) {
    if (name.size() > 32) return CMD_ERR_INVALID_LD_NAME;
    if (readInformationSet() != 0) return CMD_ERR_INVALID_LD_NAME;
    ConfigView config(m_infoSet.config.get());
    bool ok = findUniqueName(
        name, config.logicalDriveCount(), [&](size_t i) -> const wire::HOST_CONFIG_STRUCT& { return config.logicalDrive(i); },
        [](const wire::HOST_CONFIG_STRUCT& r) { return r.name; },
        [](const wire::HOST_CONFIG_STRUCT& r) { return static_cast<uint32_t>(r.lunNumber.get()); }, id);
    return ok ? 0 : CMD_ERR_INVALID_LD_NAME;
}

uint32_t commandConfiguration::byName(const std::string& name, const std::function<uint32_t(uint32_t)>& run) {
    uint32_t ld = 0;
    const uint32_t status = getLogicalDiskId(name, ld);
    if (status != 0) return Global::report(status);
    return run(ld);
}

uint32_t commandConfiguration::getArrayId(const std::string& name, uint32_t& id) {
    if (name.size() > 32) return CMD_ERR_INVALID_ARRAY_NAME;
    if (readInformationSet() != 0) return CMD_ERR_INVALID_ARRAY_NAME;
    ConfigView config(m_infoSet.config.get());
    bool ok = findUniqueName(
        name, config.arrayCount(), [&](size_t i) -> const wire::RANK_CONFIG_STRUCT& { return config.rank(i); },
        [](const wire::RANK_CONFIG_STRUCT& r) { return r.name; },
        [](const wire::RANK_CONFIG_STRUCT& r) { return static_cast<uint32_t>(r.rankId); }, id);
    return ok ? 0 : CMD_ERR_INVALID_ARRAY_NAME;
}

uint32_t commandConfiguration::getMappedLunNumber(uint64_t wwn, uint32_t ld, uint32_t& lun) {
    ConfigView config(m_infoSet.config.get());
    uint32_t status = readInformationSet();
    if (status != 0) return status;
    if (config.totalArrays() == 0) return CMD_ERR_NO_CONFIGURATION;
    status = CMD_ERR_NO_LUN_MAPPINGS;
    for (size_t i = 0; i < config.lunMapCount(); ++i) {
        const auto& m = config.lunMap(i);
        if (m.abNodeName.get() != wwn) continue;
        uint32_t result = 0xFFFF;
        for (uint32_t slot = 0; slot < wire::kLunsPerMap; ++slot) {
            uint16_t entry = m.awLunMap[slot].get();
            if (entry != wire::kLunNotMapped && (entry & wire::kLunDriveMask) == ld) result = slot;
        }
        if (result < wire::kLunsPerMap) {
            lun = result;
            return 0;
        }
    }
    return status;
}

uint32_t commandConfiguration::IsLDNameMatch(uint32_t ld, const std::string& name) {
    ConfigView config(m_infoSet.config.get());
    uint32_t status = readInformationSet();
    if (status == 0 && config.totalArrays() == 0) status = CMD_ERR_NO_CONFIGURATION;
    if (status == 0 && ld >= config.logicalDriveCount()) {
        Global::append("Error: lunNo out of range, total luns present:");
        Global::format(config.totalLogicalDrives());
        status = CMD_ERR_INVALID_LUN_INDEX;
    }
    if (status == 0 && name.size() > 32) {
        Global::append("\nError: Name selection exceeds 32 characters");
        status = CMD_ERR_INVALID_SELECTION;
    }
    if (status != 0) return Global::report(status);

    const char* stored = config.logicalDrive(ld).name;
    Global::append("Logical Drive[");
    Global::format(ld);
    if (std::memcmp(stored, name.data(), name.size()) == 0) {
        Global::append("] name matches to : %s \n", name.c_str());
        return Global::report(0);
    }
    Global::append("] name does not matches to : %s\n", name.c_str());
    status = setVolumeName(ld, name);
    Global::append("Setting LD name to %s\n", name.c_str());
    return Global::report(status);
}

uint32_t commandConfiguration::IsLDMappedToPort(uint32_t ld, uint32_t port) {
    ConfigView config(m_infoSet.config.get());
    uint32_t status = readInformationSet();
    if (status == 0 && config.totalArrays() == 0) status = CMD_ERR_NO_CONFIGURATION;
    if (status == 0 && ld >= config.logicalDriveCount()) {
        Global::append("Error: lunNo out of range, total luns present:%X\n", config.totalLogicalDrives());
        status = CMD_ERR_INVALID_LUN_INDEX;
    }
    if (status == 0 && (port < 1 || port > 15 || port == 13)) status = CMD_ERR_INVALID_PORT;
    if (status != 0) return Global::report(status);

    Global::append("Logical Drive[");
    Global::format(ld);
    if (config.logicalDrive(ld).portMask == port) {
        Global::append("] mapped to port:");
        Global::format(port);
        return Global::report(0);
    }
    Global::append("] not mapped to port:");
    Global::format(port);
    Global::append(", mapping");
    return setHostLUNAvailability(ld, port);
}

uint32_t commandConfiguration::setVolumeName(uint32_t ld, const std::string& name) {
    ConfigView config(m_work.config.get());
    uint32_t status = LAPIGetRAIDConfigurationData(m_index, m_work.config.get());
    if (status == 0 && name.empty()) status = CMD_ERR_INVALID_LD_NAME;
    if (status == 0 && name.size() <= 32) {
        const std::string padded = storedForm(name);
        for (size_t i = 0; i < config.logicalDriveCount(); ++i)
            if (std::memcmp(config.logicalDrive(i).name, padded.data(), 32) == 0) status = CMD_ERR_INVALID_LD_NAME;
    }
    if (status == 0 && config.totalArrays() == 0) status = CMD_ERR_NO_CONFIGURATION;
    if (status == 0 && ld >= config.logicalDriveCount()) status = CMD_ERR_INVALID_LUN_INDEX;
    if (status == 0 && name.size() > 32) {
        Global::append("\nError: LD name exceeds 32 characters");
        status = CMD_ERR_INVALID_SELECTION;
    }
    if (status != 0) return Global::report(status);

    SET_VOLUME_NAME_REQUEST request{};
    request.logicalDrive = static_cast<uint16_t>(ld);
    std::memcpy(request.name, name.data(), name.size());
    request.info = informationSet();
    status = LAPISetVolumeName(m_index, &request);
    if (status == 0) {
        Global::append("setVolumeID [");
        Global::format(ld);
        Global::append("]: Success, ret:");
        Global::format(0);
        Global::append("\n");
    }
    return Global::report(status);
}

uint32_t commandConfiguration::setHostLUNAvailability(uint32_t ld, uint32_t mask) {
    ConfigView config(m_work.config.get());
    uint32_t status = readConfiguration();
    if (status == 0 && ld >= config.logicalDriveCount()) status = CMD_ERR_INVALID_LUN_INDEX;
    if (status == 0 && mask > 0xFFFF) status = CMD_ERR_INVALID_PORT;
    if (status != 0) return Global::report(status);

    SET_HOST_LUN_AVAILABILITY_REQUEST request{};
    request.logicalDrive = ld;
    request.portMask = static_cast<uint8_t>(mask);
    request.info = informationSet();
    status = LAPISetHostLUNAvailability(m_index, &request);
    if (status == 0) {
        Global::append("Host lun availability is set: ");
        Global::format(ld);
    }
    return Global::report(status);
}

uint32_t commandConfiguration::setHostLUNAvailability(const std::string& name, uint32_t mask) {
    return byName(name, [&](uint32_t ld) { return setHostLUNAvailability(ld, mask); });
}

uint32_t commandConfiguration::whoAmI() {
    // In-band: the selected device. Out-of-band: the module's address and the
    // WWN of the configuration behind it.
    if (!m_outOfBand) return Global::report(LAPIPrintSelectedDeviceInfo(m_index));
    uint32_t status = readInformationSet();
    if (status == 0) {
        Global::append("\nIP address:    %s", outOfBandAddress().c_str());
        Global::append("\nRaidSystemWWN: %s", commands::wwnText(ConfigView(m_infoSet.config.get()).header().configWwn).c_str());
    }
    return Global::report(status);
}

// -- host table --

uint32_t commandConfiguration::getNumberOfHosts() {
    uint32_t status = LAPIGetHostInfo(m_index, m_work.hostTable.get());
    if (status == 0) {
        Global::append("\nNumber Of Hosts : ");
        Global::format(reinterpret_cast<const wire::ALL_HOST_INFO_STRUCT*>(m_work.hostTable.get())->numHosts.get());
    }
    return Global::report(status);
}

namespace {
size_t hostCount(const wire::ALL_HOST_INFO_STRUCT& t) {
    size_t n = t.numHosts.get();
    return n < wire::kMaxHosts ? n : wire::kMaxHosts;
}
}  // namespace

uint32_t commandConfiguration::getHostWWN(uint32_t host) {
    uint32_t status = LAPIGetHostInfo(m_index, m_work.hostTable.get());
    const auto& table = *reinterpret_cast<const wire::ALL_HOST_INFO_STRUCT*>(m_work.hostTable.get());
    if (status == 0 && host >= hostCount(table)) status = CMD_ERR_INVALID_HOST_INDEX;
    if (status == 0) {
        m_lastWwn = table.host[host].nodeWwn.get();
        Global::append("HostWWN (HEX):%s", commands::wwnText(table.host[host].nodeWwn).c_str());
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getHostPortWWN(uint32_t host) {
    uint32_t status = LAPIGetHostInfo(m_index, m_work.hostTable.get());
    const auto& table = *reinterpret_cast<const wire::ALL_HOST_INFO_STRUCT*>(m_work.hostTable.get());
    if (status == 0 && host >= hostCount(table)) {
        Global::append("\nInvalid index. Number of Host entries present is %d", table.numHosts.get());
        status = CMD_ERR_INVALID_HOST_INDEX;
    }
    if (status == 0) {
        m_lastWwn = table.host[host].portWwn.get();
        Global::append("PortWWN(HEX):%s", commands::wwnText(table.host[host].portWwn).c_str());
    }
    return Global::report(status);
}

// -- discovery --

uint32_t commandConfiguration::getRaidSystemWWN(uint32_t index) {
    // Out-of-band, the RAID systems are found as the network modules in front of them.
    if (m_outOfBand) {
        Discovery(1, 0);
        return Global::report(0);
    }
    return Global::report(LAPIGetRaidSystemWWN(static_cast<uint8_t>(index)));
}

uint32_t commandConfiguration::getNumberOfRaidSystemsPresent() {
    if (m_outOfBand) {
        const int found = Discovery(1, 0);
        Global::append("\nOut-of-Band -> Number of discovered RAID Systems: %d\n", found);
        return Global::report(0);
    }
    Global::append("\nIn-Band -> ");
    Global::print();
    return Global::report(LAPIGetNumRaidSystems());
}

uint32_t commandConfiguration::getDeviceAttached() {
    uint32_t count = LAPIRediscoverRAIDSystems();
    Global::append("The number of tolvo devices is ");
    Global::format(count);
    return Global::report(0);
}

uint32_t commandConfiguration::getAllConfigInfo() {
    using Query = uint32_t (commandConfiguration::*)();
    const Query first[] = {&commandConfiguration::getConfigStorageHeaderStruct,
                           &commandConfiguration::getNumberOfHotSpares,
                           &commandConfiguration::getNumberOfRaidSystemsPresent,
                           &commandConfiguration::getNumRegions,
                           &commandConfiguration::getNumberOfArrays,
                           &commandConfiguration::getNumberOfHosts,
                           &commandConfiguration::getNumberOfVolumes,
                           &commandConfiguration::getNumberOfGlobalHotSpares};
    for (Query q : first) {
        uint32_t status = (this->*q)();
        if (status != 0) return status;
    }
    uint32_t status = getFeaturedODAInfoStruct();
    if (status != 0) return status;
    getFeaturedODAStatStruct();
    status = getInternalLogicalDrives();
    if (status != 0) return status;
    const Query rest[] = {&commandConfiguration::getLunMappingStruct, &commandConfiguration::getRankConfigStruct,
                          &commandConfiguration::getHostConfigStruct, &commandConfiguration::getRegionMap};
    for (Query q : rest) {
        uint32_t status = (this->*q)();
        if (status != 0) return status;
    }
    return 0;
}

// -- configuration change activity --

uint32_t commandConfiguration::readConfigActivity(wire::CONFIG_UPDATE_STRUCT& activity) {
    uint32_t status = LAPIGetAsynchronousFeatureSupported(m_index, m_work.controllerInfo.get());
    if (status != 0) return status;
    uint8_t buffer[kConfigUpdateReplySize];
    status = LAPIGetConfigUpdateInProgress(m_index, buffer);
    if (status == 0) std::memcpy(&activity, buffer, sizeof activity);
    return status;
}

uint32_t commandConfiguration::getConfigProgressStatus() {
    wire::CONFIG_UPDATE_STRUCT activity;
    uint32_t status = readConfigActivity(activity);
    if (status == 0) {
        bool busy = activity.saveInProgress == wire::kFlagYes || activity.startInProgress == wire::kFlagYes;
        Global::append("%s", busy ? "\nConfiguration change: 1 (In progress)\n"
                                  : "\nConfiguration change: 0 (Not in progress)\n");
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getConfigProgressInformation() {
    wire::CONFIG_UPDATE_STRUCT activity;
    uint32_t status = readConfigActivity(activity);
    if (status == 0) {
        auto yn = [](uint8_t flag) { return flag == wire::kFlagYes ? "Yes" : "No"; };
        Global::append("\nStart new configuration in progress: %s", yn(activity.startInProgress));
        Global::append("\nSave new configuration in progress:  %s", yn(activity.saveInProgress));
        Global::append("\nConfiguration unavailable:           %s", yn(activity.configUnavailable));
        Global::append("\nArray Expansion in progress:         %s", yn(activity.expansionInProgress));
        Global::append("\n");
    }
    return Global::report(status);
}
