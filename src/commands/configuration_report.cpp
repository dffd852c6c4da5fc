#include "commands/configuration_report.h"

#include <cstdio>

#include "commands/global.h"

namespace commands {

namespace {
constexpr uint8_t kYes = wire::kFlagYes;
const char* enabled(uint8_t flag) { return flag == kYes ? "Enabled" : "Disabled"; }
}  // namespace

uint32_t getRAIDLevelDisplay(uint8_t levelCode, uint32_t drives) {
    switch (levelCode) {
    case wire::kRaidLevel0: return 0;
    case wire::kRaidLevel5: return 5;
    case wire::kRaidLevel6: return 6;
    case wire::kRaidLevel10: return drives == 2 ? 1 : 10;
    case wire::kRaidLevel50: return 50;
    default: return levelCode;
    }
}

const char* faultStatusText(const wire::RANK_CONFIG_STRUCT& rank, size_t index,
                            const wire::ALL_CONTROLLER_INFO_AND_FAIL_STRUCT& info) {
    switch (rank.faultStatus) {
    case wire::kRankCritical:
        if (rank.raidLevel == wire::kRaidLevel0) return "Not Fault Tolerant";
        if (info.rebuild.inProgress == kYes && info.rebuild.array == index) return "Rebuilding Array";
        return "Critical";
    case wire::kRankNotInitialized: return "RAID5 Not Initialized";
    case wire::kRankInvalidated: return "Rank Invalidated";
    case wire::kRankExpanding: return "Expanding";
    case wire::kRankFaultWarning: return "Fault Warning";
    case wire::kRankFaultTolerant: return "Fault Tolerant";
    default: return "Unknown";
    }
}

const char* readAheadText(uint16_t code) {
    switch (code) {
    case 0: return "Automatic";
    case 1: return "256kB";
    case 2: return "512kB";
    case 3: return "1MB";
    case 4: return "2MB";
    case 15: return "Disabled";
    default: return "Unknown";
    }
}

const char* writeBackText(uint16_t code) {
    static const char* const kTexts[] = {"Disabled", "1MB",  "2MB",   "4MB",   "8MB",       "16MB",
                                         "32MB",     "64MB", "128MB", "256MB", "Maximum MB"};
    return code < sizeof kTexts / sizeof kTexts[0] ? kTexts[code] : "Unknown";
}

std::string backOffText(uint8_t value) {
    char buf[16];
    if (value <= 100) std::snprintf(buf, sizeof buf, "%d", value);
    else std::snprintf(buf, sizeof buf, "%.1f", (value - 100) / 100.0);
    return buf;
}

void hostPortTypes(const wire::CONTROLLER_INFO_STRUCT& record, uint8_t& port0, uint8_t& port1) {
    port0 = port1 = 1;
    if (record.controllerType != 0 && (record.controllerType & 0x80)) {
        port0 = record.portInterfaceType[0] & 0x0F;
        port1 = record.portInterfaceType[1] & 0x0F;
    }
}

std::string dataRateText(uint8_t code, uint8_t portType) {
    if (portType == wire::kHostInterfaceSas) {
        switch (code) {
        case 0: return "Automatic";
        case 1: return "1.5 Gb/s";
        case 2: return "3 Gb/s";
        default: return "Unknown";
        }
    }
    switch (code) {
    case 0: return "Automatic";
    case 1: return "1 Gb/s";
    case 2: return "2 Gb/s";
    case 3: return "4 Gb/s";
    default: return "Unknown";
    }
}

std::string wwnText(const wire::wwn8& wwn) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(wwn.get()));
    return buf;
}

void appendHeaderReport(const ConfigView& config, const wire::CONTROLLER_INFO_STRUCT& record) {
    const auto& h = config.header();
    // The stored name is blank-padded without a terminator: drop the trailing blanks.
    std::string name(h.name, sizeof h.name);
    name = name.substr(0, name.find('\0'));
    while (!name.empty() && name.back() == ' ') name.pop_back();

    Global::append("\n\n*************** CONFIGURATION INFORMATION ***************");
    Global::append("\nConfiguration Name     : %s\n", name.c_str());
    Global::append("Configuration WWN      : %s\n", wwnText(h.configWwn).c_str());
    if (h.controllerLun.get() == 0xFFFF) {
        Global::append("Controller LUN         : Disabled\n");
    } else {
        Global::append("Controller LUN         : ");
        Global::format(h.controllerLun.get());
        Global::append("\n");
    }
    for (int port = 0; port < 2; ++port) {
        uint8_t hard = h.hardAddress[port];
        if (hard & 0x80) {
            Global::append("FC Host Port ID (P%d)   : ", port);
            Global::format(hard & 0x7F);
            Global::append("\n");
        } else {
            Global::append("FC Host Port ID (P%d)   : Soft\n", port);
        }
    }
    uint8_t type0, type1;
    hostPortTypes(record, type0, type1);
    Global::append("Host Data Rate Port 0  : %s\n", dataRateText(h.hostDataRate[0], type0).c_str());
    Global::append("Host Data Rate Port 1  : %s\n", dataRateText(h.hostDataRate[1], type1).c_str());
    Global::append("Different Node Names   : %s\n", enabled(h.altNodeNames));
    Global::append("Controller Log SES     : %s\n", enabled(h.controllerLogSes));
    Global::append("Single Controller Mode : %s\n", enabled(h.singleControllerMode));
    Global::append("Background Drive Verify: %s\n", enabled(h.backgroundVerify));
    Global::append("Auto Update Drive FW   : %s\n", enabled(h.autoDriveFwUpdate));
    Global::append("Auto Hot Spare         : %s\n", enabled(h.autoHotSpare));
    Global::append("Auto Rebuild           : %s\n", enabled(h.autoRebuild));
    Global::append("Rebuild Priority       : ");
    Global::format(h.rebuildPriority);
    Global::append("%%\n");
    Global::append("Total Arrays           : ");
    Global::format(config.totalArrays());
    Global::append("\nTotal Logical Drives   : ");
    Global::format(config.totalLogicalDrives());
    Global::append("\nTotal Spares           : ");
    Global::format(config.totalSpares());
    Global::append("\nTotalLunMappingEntries : ");
    Global::format(config.totalLunMaps());
    Global::append("\n");
}

void appendRankLine(const wire::RANK_CONFIG_STRUCT& r) {
    Global::append("\nArray:");
    Global::format(r.rankId);
    Global::append(", RAID %d, ", static_cast<int>(getRAIDLevelDisplay(r.raidLevel, r.numDrives)));
    Global::format(r.numDrives);
    Global::append(" Drives (");
    Global::format(static_cast<uint32_t>(r.numDrives - r.parityGroups));
    Global::append(" + ");
    Global::format(r.parityGroups);
    Global::append(") (-");
    Global::append("%s %s%%) ", "", backOffText(r.backOff).c_str());
    Global::format(r.chunkBlocks.get() / 2);
    Global::append("K Chunk, ");
    Global::format(r.capacityGb.get());
    Global::append(" GB\n");
}

void appendLogicalDriveReport(const ConfigView& config) {
    Global::append("\n\n*************** HOST CONFIGURATION ***************");
    Global::append("\nTotalLunCount  : ");
    Global::format(config.totalLogicalDrives());
    for (size_t i = 0; i < config.logicalDriveCount(); ++i) {
        const auto& ld = config.logicalDrive(i);
        Global::append("\nLun No         : ");
        Global::format(ld.lunNumber.get());
        Global::append("\nName           : %.32s", std::string(ld.name, sizeof ld.name).c_str());
        Global::append("\n0x83 Identifier: %016llX",
                       static_cast<unsigned long long>(
                           wire::logicalDriveIdentifier(ld.wlunReferenceNo.get(), config.header().configWwn)));
        Global::append("\nCapacityInGB   : ");
        Global::format(ld.capacityGb.get());
        Global::append("\nMappedLun      : ");
        Global::format(ld.mappedLun.get());
        Global::append("\nSegmentCount   : ");
        Global::format(ld.segmentCount);
        Global::append("\nAccessType     : ");
        Global::format(ld.accessType);
        Global::append("\nPort           : ");
        Global::format(ld.portMask);
        Global::append("\nWLUNReferenceNo: ");
        Global::format(ld.wlunReferenceNo.get());
        Global::append("\nHostBlockSize  : ");
        Global::format(ld.hostBlockSize.get());
        Global::append("\n");
    }
}

void appendLunMappingReport(const ConfigView& config) {
    Global::append("\n\n*************** LUN MAPPING ***************");
    Global::append("\nTotalLunMappingCount %d", config.totalLunMaps());
    for (size_t i = 0; i < config.lunMapCount(); ++i) {
        const auto& m = config.lunMap(i);
        Global::append("\n-----------------------------------\n");
        Global::append("\nNodeName:%s", wwnText(m.abNodeName).c_str());
        Global::append("\nPortName:%s", wwnText(m.abPortName).c_str());
        Global::append("\nHostType: ");
        Global::format(m.bHostType);
        Global::append("\nHostName:");
        for (int b = 0; b < 8; ++b) Global::append("%.2X", static_cast<uint8_t>(m.abHostName[b]));
        Global::append("\nControllerLun: ");
        if (m.wControllerLun.get() == 0xFFFF) Global::append("Disabled");
        else Global::format(m.wControllerLun.get());
        for (size_t lun = 0; lun < wire::kLunsPerMap; ++lun) {
            uint16_t entry = m.awLunMap[lun].get();
            if (entry == wire::kLunNotMapped) continue;
            Global::append("\n\nMapped LUN Number:  ");
            Global::format(static_cast<uint32_t>(lun));
            Global::append("\nType: %s", (entry & wire::kLunSnapshot) ? "Snapshot Number " : "Logical Drive ");
            Global::format(entry & wire::kLunDriveMask);
            Global::append("\nMapped Ports: ");
            if (entry & wire::kLunPortC0P0) Global::append("C0P0  ");
            if (entry & wire::kLunPortC0P1) Global::append("C0P1  ");
            if (entry & wire::kLunPortC1P0) Global::append("C1P0  ");
            if (entry & wire::kLunPortC1P1) Global::append("C1P1  ");
            Global::append("\nRead/Write access: %s", (entry & wire::kLunReadOnly) ? "R " : "RW ");
        }
    }
}

void appendRegionMapReport(const RegionMapView& view) {
    const auto& m = view.map();
    Global::append("\n\n*************** REGIONMAP INFORMATION ***************");
    Global::append("\nLength:                        ");
    Global::format(m.length.get());
    Global::append("\nRegionCount:                   ");
    Global::format(m.regionCount.get());
    Global::append("\nUsedCapacityInGB:              ");
    Global::format(m.usedCapacityGb.get());
    Global::append("\nUnusedCapacityInGB:            ");
    Global::format(m.unusedCapacityGb.get());
    Global::append("\nUnusedUnsegmentedCapacityInGB: ");
    Global::format(m.unusedUnsegmentedCapacityGb.get());
    Global::append("\nUnusedUnsegmentedRegionNo:     ");
    Global::format(m.unusedUnsegmentedRegionNo.get());
    for (size_t i = 0; i < view.regionCount(); ++i) {
        const auto& r = view.region(i);
        Global::append("\nRegion:%d\n", static_cast<int>(i));
        const std::pair<const char*, uint32_t> fields[] = {
            {"\nStartAddressLSD:           ", r.startLow.get()},
            {"\nStartAddressMSD:           ", r.startHigh.get()},
            {"\nEndAddressLSD:             ", r.endLow.get()},
            {"\nEndAddressMSD:             ", r.endHigh.get()},
            {"\nCapacityLSD:               ", r.capacityLow.get()},
            {"\nCapacityMSD:               ", r.capacityHigh.get()},
            {"\nCapacityInGB:              ", r.capacityGb.get()},
            {"\nRankNo:                    ", r.rankNo.get()},
            {"\nLunNo:                     ", r.lunNo.get()},
            {"\nLunSegmentNo:              ", r.lunSegmentNo.get()},
        };
        for (const auto& [label, value] : fields) {
            Global::append("%s", label);
            Global::format(value);
        }
        Global::append("\n");
    }
}

}  // namespace commands
