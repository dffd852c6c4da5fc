// End-to-end tests of the read commands of the controller and configuration
// libraries: the built lqcl against tolvo-sim scenarios, one with a bit of
// everything and others made for the edge cases, whole outputs compared with
// the documented report texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "texts.h"

using nlohmann::json;
using namespace testsupport;
using namespace e2e;

namespace {

// A system reached through two paths, with the model keys given.
std::string scenario(const json& model) { return testsupport::twoPathScenario("Report Test", 12, model); }

// A report line: line end, label padded to its column, ": ".
std::string L(const std::string& label, size_t width = 44) {
    return "\n" + label + std::string(width > label.size() ? width - label.size() : 0, ' ') + ": ";
}

void corrupt(Simulator& sim, int bufferId, size_t offset, int value) {
    json args = {{"bufferId", bufferId}, {"kind", "byte"}, {"offset", offset}, {"value", value}, {"count", 100000}};
    json answer = sim.ctl("model", {"0", "corrupt-reply", args.dump()});
    ASSERT_FALSE(answer.contains("error")) << answer.dump();
}

const std::string kBadHost = errorTail("Error: Invalid host index.", 2005);

std::string hex(uint32_t v) {
    char buf[16];
    snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

TEST(Reports, ControllerInformationInHexadecimalWithControllerBAbsent) {
    Simulator sim(scenario({
        {"productType", 7},
        {"controllers",
         {{{"name", "Ctl-A"},
           {"wwn", "2000001122334410"},
           {"powerOnCount", 42},
           {"powerOnSeconds", 3723},
           {"totalPowerOnSeconds", 7322},
           {"firmware", {{"major", 5}, {"minor", 13}, {"build", "0513"}, {"date", "Nov 12 2026"}, {"time", "10:20:30"}}},
           {"temperatures", {{"air", 31}, {"expander", 45}, {"processor", 52}}},
           {"battery", {{"state", "good"}, {"capacity", 95}, {"holdupHours", 72}}},
           {"hostLoopIds", {1, 255}}},
          {{"present", false}}}},
    }));
    const uint32_t up = static_cast<uint32_t>(pinClock(sim));
    const uint32_t on = 3723 + up, total = 7322 + up;
    auto hms = [](uint32_t s, const char* tail) {
        return hex(s / 3600) + " hours " + hex((s / 60) % 60) + " minutes " + hex(s % 60) + tail;
    };

    const std::string expected =
        "\n\n****** Common ******\nCommand received on Controller 0x0 Port 0x0\n"
        "Rebuilding status  : No\nInitializing status: No\nExpanding status   : No\nVerifying status   : No"
        "\n\n********************Controller 0 Information********************\n"
        "\nController type is 7102" +
        L("Name") + "Ctl-A" + L("Configuration WWN") + "2000001122334400" + L("Actual WWN") + "2000001122334410" +
        L("Total Power on Count") + "0x2A" + L("Power on Time") + hms(on, "  seconds") +
        L("Total Power on Time") + hms(total, " seconds\n") +
        "Controller Date                             : December 6 2026" + L("Controller Time") + "07:05:09 " +
        L("F/W Version") + "0x5.0xD Build 0513" + L("F/W Compile Date") + "Nov 12 2026" +
        L("F/W Compile Time") + "10:20:30" + L("Host Loop1 Up, Host Loop1 ID") + "0x1" + "\nHost Loop2 Down" +
        L("Controller CPLD Version") + "0x3" + L("Processor Speed") + "0x320" + L("Processor RAM") + "0x400" +
        "\n\n-------------Voltage readings-------------" + L("Controller 12V") + "12.05V" +
        L("Controller 5V-In") + "5.02V" + L("Controller 5V Fused") + "4.99V" + L("Core 3.3V Core") + "3.31V" +
        L("Core 3.3V Backup") + "3.30V" + L("Core 1.8V core") + "1.80V" + L("Core 1.8V DDR") + "1.79V" +
        L("Controller Battery Voltage") + "8.15V" + L("Core 1.5V") + "1.50V" + L("Core 1.35V") + "1.35V" +
        L("Drive Interface Core Voltage") + "1.20V" + L("Host Interface Core Voltage") + "1.00V" +
        L("CoProcessor Version", 22) + "0x2" + L("CoProcessor Speed", 22) + "0x190 MHz" +
        L("CoProcessor RAM", 22) + "0x100 MB" + L("Ethernet Port count", 22) + "0x2" +
        L("EthernetParametersPort0", 23) + "0x101" + L("LinkRatePort0", 23) + "0x3E8" +
        L("EthernetParametersPort1", 23) + "0x101" + L("LinkRatePort1", 23) + "0x64" +
        "\n\n-----------Temperature readings-----------" + L("Air Temperature") + "0x1FC" +
        L("LSI Expander Temperature") + "0x2DC" + L("CPU Temperature") + "0x34C" +
        "\n\n------Power supply & battery status-------" + L("Battery Status") + "Good" +
        L("Battery Capacity") + "0x5F%" + L("Battery Holdup Time") + "0x48 hours ";
    expectRuns(sim, {
        // Firmware revision of the one valid controller; allinfo is the three reports in a row.
        {{"-C", "-g", "-z", "raidversion"}, firmwareReport("0", "0513", "199"), 0},
        {{"-X", "-C", "-g", "-z", "allinfo"}, "\nController type is 7102" + firmwareReport("0", "0513", "0xC7") + expected, 0},
    });
}

// The sections and battery texts of the other product types.
TEST(Reports, SectionsAndBatteryTextsFollowTheProductType) {
    const std::string good = L("Battery Status") + "Good" + L("Battery Capacity");
    const std::string hours = L("Battery Holdup Time") + "72 hours ";
    const struct {
        int type;
        const char* state;
        int capacity;
        std::string tail;
    } cases[] = {
        {9, "good", 95, good + "95%" + hours},
        {17, "good", 50, good + "Charging" + hours},
        {17, "good", 89, good + "Failed" + hours},
        {17, "good", 100, good + "Fully charged" + hours},
        {13, "absent", 0, L("Battery Status") + "Power inline mode - Battery not present"},
        {7, "absent", 0, L("Battery Status") + "Battery failed or missing"},
        {13, "failed", 0, L("Battery Status") + "Battery failed or missing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + c.state + " " + std::to_string(c.capacity));
        const json controller = {{"battery", {{"state", c.state}, {"capacity", c.capacity}, {"holdupHours", 72}}}};
        Simulator sim(scenario({{"productType", c.type}, {"controllers", {controller, controller}}}));
        const RunResult r = lqcl(sim, {"-C", "-g", "-z", "cntinfofailstruct"});
        EXPECT_EQ(r.status, 0);
        const bool voltages = c.type != 9 && c.type != 17;  // and with them the co-processor
        EXPECT_EQ(r.out.find("Voltage readings") != std::string::npos, voltages);
        if (!voltages) {
            EXPECT_EQ(r.out.find("CoProcessor"), std::string::npos);
        }
        EXPECT_EQ(r.out.find("Temperature readings") != std::string::npos, c.type != 9);
        ASSERT_GE(r.out.size(), c.tail.size());
        EXPECT_EQ(r.out.substr(r.out.size() - c.tail.size()), c.tail);
    }
}

// A controller type byte with only its top bit set; a parity check in an unknown mode, shown in hexadecimal.
TEST(Reports, InvalidControllerTypeAndUnknownParityMode) {
    Simulator sim(scenario({
        {"productType", 7},
        {"arrays", {{{"drives", driveSlots(1, 5)}, {"level", 5}, {"chunkKb", 64}, {"name", "A0"}}}},
        {"jobs", {{"parityCheck", {{"array", 0}, {"mode", 1}, {"percent", 40}, {"seconds", 16000000}, {"errors", 3}}}}},
    }));
    pinClock(sim);
    corrupt(sim, 0x40, 8 + 182, 0x80);
    corrupt(sim, 0x40, 471, 5);
    expectRuns(sim, {
        {{"-C", "-g", "-z", "prodtype"}, "Controller type is not valid \n\nController type is unknown", 0},
        {{"-C", "-g", "-z", "paritypercent"},
         "Parity Check PercentComplete :  - Array:0, Mode:0x5, Errors:3, Complete:40%\n", 0},
        {{"-C", "-g", "-z", "paritycheck"},
         "\nParity Check In Progress with Array ID 0 with mode 5: 1 (in progress) \n", 0},
        {{"-C", "-g", "-z", "regenstate"}, "\nRegen In Progress : 0 (not in progress)", 0},
        {{"-C", "-g", "-z", "regenpercentcomplete"}, "\nRegen not in progress :0", 0},
        {{"-C", "-g", "-z", "expandarraypercent"}, "\nArray Expansion : 0 (not in progress)", 0},
    });
    // With type 0, every section of a record is printed.
    expectParts(sim, {"-C", "-g", "-z", "cntinfofailstruct"},
                {"\nRebuilding status  : No\nInitializing status: No\nExpanding status   : No"
                 "\nVerifying status   : Yes - Array:0, Mode:0x5, Errors:3 Complete:40%\n",
                 "Controller type is not valid \n\nController type is unknown\nName", "Voltage readings",
                 "Temperature readings"});
}

TEST(Reports, RaidLevelsAndBackOffsAsUsersKnowThem) {
    Simulator sim(scenario({
        {"arrays",
         {{{"drives", driveSlots(1, 2)}, {"level", 1}, {"chunkKb", 64}, {"name", "mirror"}, {"backOff", 150}},
          {{"drives", driveSlots(3, 4)}, {"level", 10}, {"chunkKb", 64}, {"name", "stripe of mirrors"}},
          {{"drives", driveSlots(7, 6)}, {"level", 50}, {"chunkKb", 128}, {"name", "fifty"}, {"parityGroups", 2},
           {"backOff", 5}}}},
    }));
    expectRuns(sim, {
        {{"-F", "-g", "-z", "arraylevel", "-l", "0"}, "Raid level of Array[0]: 1", 0},
        {{"-F", "-g", "-z", "arraylevel", "-l", "1"}, "Raid level of Array[1]: 10", 0},
        {{"-F", "-g", "-z", "arraylevel", "-l", "2"}, "Raid level of Array[2]: 50", 0},
        {{"-F", "-g", "-z", "arraylevel", "-l", "3"}, kBadArray, 1},
        // No -l: the filler is out of range.
        {{"-F", "-g", "-z", "arraylevel"}, kBadArray, 1},
        {{"-F", "-n", "-z", "devicesinarray", "-l", "2"}, "\nNumber Of Devices in arrayID [2]: 6", 0},
    });
    json config = sim.ctl("model", {"0", "dump-config"});
    const auto gb = [&](int i) { return std::to_string(config["arrays"][i]["capacityGb"].get<int>()); };
    expectParts(sim, {"-F", "-g", "-z", "rankconfigstruct"},
                {"\nArray:0, RAID 1, 2 Drives (1 + 1) (- 0.5%) 64K Chunk, " + gb(0) + " GB\n",
                 "\nArray:2, RAID 50, 6 Drives (4 + 2) (- 5%) 128K Chunk, " + gb(2) + " GB\n"});
}

TEST(Reports, NoArraysIsNoConfiguration) {
    Simulator sim(scenario({}));
    const std::string none = errorTail("Error: No valid configuration exists.", 2023);
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-F", "-n", "-z", "array"},
             {"-F", "-g", "-z", "rankconfigstruct"},
             {"-F", "-n", "-z", "totalhotsparecnt"},
             {"-F", "-n", "-z", "regionmap"},
             {"-C", "-g", "-z", "regenstate"}})
        expectRun(sim, args, none, 1);
}

TEST(Reports, LunMapEntriesShowTypePortsAndAccess) {
    json lds = json::array();
    for (int i = 0; i < 6; ++i) lds.push_back({{"array", 0}, {"capacityGb", 10}, {"name", "ld" + std::to_string(i)}});
    Simulator sim(scenario({
        {"arrays", {{{"drives", driveSlots(1, 5)}, {"level", 5}, {"chunkKb", 64}, {"name", "A0"}}}},
        {"logicalDrives", lds},
        {"mappings",
         {{{"node", "2000001B32A0B0C0"},
           {"port", "2100001B32A0B0C0"},
           {"name", "db-server"},
           {"controllerLun", 7},
           {"luns",
            {{{"lun", 0}, {"logicalDrive", 5}, {"ports", 1}, {"readOnly", true}},
             {{"lun", 1}, {"logicalDrive", 5}, {"ports", 2}}}}}}},
    }));
    // Entry 1 becomes 0x2405: the snapshot bit on top of 0x2005.
    corrupt(sim, 0x01, 0x4BE00 + 0x32 + 2 * 1 + 1, 0x24);
    expectRun(sim, {"-F", "-g", "-z", "lunmappingstruct"},
              "\n\n*************** LUN MAPPING ***************\nTotalLunMappingCount 1"
              "\n-----------------------------------\n"
              "\nNodeName:2000001B32A0B0C0\nPortName:2100001B32A0B0C0\nHostType: 1\nHostName:64622D7365727665"
              "\nControllerLun: 7"
              "\n\nMapped LUN Number:  0\nType: Logical Drive 5\nMapped Ports: C0P0  \nRead/Write access: R "
              "\n\nMapped LUN Number:  1\nType: Snapshot Number 5\nMapped Ports: C0P1  \nRead/Write access: RW ", 0);
}

TEST(Reports, CountsBeyondTheRecordsAreClamped) {
    Simulator sim(scenario({
        {"arrays", {{{"drives", driveSlots(1, 5)}, {"level", 5}, {"chunkKb", 64}, {"name", "A0"}}}},
        {"logicalDrives", {{{"array", 0}, {"capacityGb", 10}, {"name", "ld0"}}}},
        {"hosts", {{{"node", "2000001B32A0B0C0"}, {"port", "2100001B32A0B0C0"}}}},
    }));
    auto count = [](const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    };

    // 255 arrays claimed: the 64 records the image holds are shown.
    corrupt(sim, 0x01, 0x90, 0xFF);
    RunResult r = lqcl(sim, {"-F", "-g", "-z", "rankconfigstruct"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(count(r.out, "\nArray:"), 64u);
    EXPECT_EQ(r.err, "");

    // A region count of 0xFF00 and more: the 676 region records.
    corrupt(sim, 0x20, 5, 0xFF);
    r = lqcl(sim, {"-F", "-g", "-z", "regionmap"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(count(r.out, "\nRegion:"), 676u);

    // A host count beyond the 512 entries: the last entry answers, the next is refused.
    corrupt(sim, 0x42, 5, 0xFF);
    expectRun(sim, {"-F", "-g", "-z", "host", "-l", "511"}, "HostWWN (HEX):0000000000000000", 0);
    expectRun(sim, {"-F", "-g", "-z", "host", "-l", "512"}, kBadHost, 1);
}

TEST(Reports, LogicalDrivePortAndNameQueriesSetWhatDiffers) {
    Simulator sim(scenario({
        {"arrays", {{{"drives", driveSlots(1, 5)}, {"level", 5}, {"chunkKb", 64}, {"name", "A0"}}}},
        {"logicalDrives",
         {{{"array", 0}, {"capacityGb", 10}, {"name", "web"}, {"ports", 15}},
          {{"array", 0}, {"capacityGb", 20}, {"name", "database"}, {"ports", 15}}}},
    }));
    const std::string renamed =
        "Logical Drive[0] name does not matches to : frontend\nsetVolumeID [0]: Success, ret:0\n"
        "Setting LD name to frontend\n";
    expectRuns(sim, {
        {{"-F", "-g", "-z", "isldmappedtoport", "-l", "0", "-l", "13"},
         errorTail("Error: Invalid port selected.", 2030), 1},
        {{"-F", "-g", "-z", "isldmappedtoport", "-l", "2", "-l", "1"},
         "Error: lunNo out of range, total luns present:2\n" + kBadLun, 1},
        {{"-F", "-g", "-z", "isldmappedtoport", "-l", "1", "-l", "15"}, "Logical Drive[1] mapped to port:15", 0},
        {{"-F", "-g", "-z", "isldmappedtoport", "-l", "1", "-l", "3"},
         "Logical Drive[1] not mapped to port:3, mappingHost lun availability is set: 1", 0},
        {{"-F", "-g", "-z", "isldmappedtoport", "-l", "1", "-l", "3"}, "Logical Drive[1] mapped to port:3", 0},
        // The first strlen(name) characters are compared.
        {{"-F", "-g", "-z", "isldnamematch", "-l", "1", "-m", "data"}, "Logical Drive[1] name matches to : data \n", 0},
        {{"-F", "-g", "-z", "isldnamematch", "-l", "0", "-m", "frontend"}, renamed, 0},
        {{"-F", "-g", "-z", "isldnamematch", "-l", "0", "-m", "frontend"},
         "Logical Drive[0] name matches to : frontend \n", 0},
        // Names stay unique; a 33-character name is refused.
        {{"-F", "-s", "-z", "logicaldrives", "-l", "1", "-m", "frontend"},
         errorTail("Error: Invalid logical drive name.", 2033), 1},
        {{"-F", "-s", "-z", "logicaldrives", "-l", "1", "-m", std::string(33, 'x')},
         "\nError: LD name exceeds 32 characters" + kBadSelection, 1},
        {{"-F", "-s", "-z", "hostlun", "-m", "frontend", "-l", "5"}, "Host lun availability is set: 0", 0},
    });
    expectParts(sim, {"-F", "-g", "-z", "hostconfigstruct"},
                {"\nName           : frontend                        \n0x83", "\nPort           : 5\n",
                 "\nPort           : 3\n"});
}

// The read commands of one system with two arrays, a logical drive, a global
// and a dedicated spare and one host, and the whole output of each command.
// Two arrays, a logical drive, a global and a dedicated spare and one host.
std::string queryScenario() {
    return scenario({{"features", {"async"}},
                     {"arrays",
                      {{{"drives", driveSlots(1, 5)}, {"level", 5}, {"chunkKb", 64}, {"name", "five"}},
                       {{"drives", driveSlots(6, 2)}, {"level", 1}, {"chunkKb", 32}, {"name", "mirror"}}}},
                     {"logicalDrives", {{{"array", 0}, {"capacityGb", 100}, {"name", "vol0"}}}},
                     {"spares", {{{"drive", {{"enclosure", 1}, {"slot", 9}}}}, {{"drive", {{"enclosure", 1}, {"slot", 10}}}, {"array", 1}}}},
                     {"hosts", {{{"node", "2000001B32A0B0C0"}, {"port", "2100001B32A0B0C0"}}}}});
}

// The header, ODA, internal drive, array, logical drive and region map reports of the system.
const std::string kHeader =
    "\n\n*************** CONFIGURATION INFORMATION ***************\nConfiguration Name     : Report Test"
    "\nConfiguration WWN      : 2000001122334400\nController LUN         : Disabled\nFC Host Port ID (P0)   : Soft"
    "\nFC Host Port ID (P1)   : Soft\nHost Data Rate Port 0  : Automatic\nHost Data Rate Port 1  : Automatic"
    "\nDifferent Node Names   : Disabled\nController Log SES     : Disabled\nSingle Controller Mode : Disabled"
    "\nBackground Drive Verify: Disabled\nAuto Update Drive FW   : Disabled\nAuto Hot Spare         : Disabled"
    "\nAuto Rebuild           : Enabled\nRebuild Priority       : 50%\nTotal Arrays           : 2"
    "\nTotal Logical Drives   : 1\nTotal Spares           : 2\nTotalLunMappingEntries : 0\n";
const std::string kOdas =
    "\n\n*************** ODA INFORMATION ***************\nNumber Of Existing Overwrite Data Areas:        0"
    "\nMaximum Virtual Luns Per Host Lun:               4";
const std::string kOdaStatistics = "\n\n*************** ODA STATISTICS ***************\nNumberOfOverwriteDataAreas : 0";
const std::string kInternalDrives =
    "\n\n*************** INTERNAL LD INFORMATION ***************\nNumberOfInternalDrives: 0";

std::string array(const std::string& head, const std::string& unusedGb, const std::string& name) {
    return "\nArray:" + head + " GB\nArray Status: Initialized\nFault Status: Fault Tolerant\nUnused space: " + unusedGb +
           " GB\nArray Name:   " + name + std::string(32 - name.size(), ' ') +
           "\n-------------Cache parameter settings-------------\nW/B Cache Enabled:       Y"
           "\nMirror Cache Enabled:    Y\nFault Tolerant Required: Y\nBattery Required:        Y"
           "\nRead ahead cache:        Automatic\nWrite Back cache:        Maximum MB"
           "\n\n--------------------------------------------------\n";
}

// One region of the map: capacities in GB of 1953792 blocks; a free region has LUN and segment 65535.
std::string region(int n, uint32_t startGb, uint32_t gb, int rank, int lun) {
    const uint32_t start = startGb * 1953792, blocks = gb * 1953792;
    const std::string seg = std::to_string(lun == 65535 ? 65535 : 0);
    return "\nRegion:" + std::to_string(n) + "\n\nStartAddressLSD:           " + std::to_string(start) +
           "\nStartAddressMSD:           0\nEndAddressLSD:             " + std::to_string(start + blocks - 1) +
           "\nEndAddressMSD:             0\nCapacityLSD:               " + std::to_string(blocks) +
           "\nCapacityMSD:               0\nCapacityInGB:              " + std::to_string(gb) +
           "\nRankNo:                    " + std::to_string(rank) + "\nLunNo:                     " +
           std::to_string(lun) + "\nLunSegmentNo:              " + seg + "\n";
}

TEST(ReadCommands, SingleValuesAndReportsAsTheLibrariesPrintThem) {
    Simulator sim(queryScenario());
    const std::string allInfo =
        kHeader + "TotalHotSpareCount: 2\nIn-Band -> Number of RAID Systems found : 1\n\nTotal RegionCount : 3" +
        "\nNumber Of Arrays : 2\nNumber Of Hosts : 1\nNumber of LDs : 1\nNumber of global hotspares : 1" + kOdas +
        kOdaStatistics + kInternalDrives + "\n\n*************** LUN MAPPING ***************\nTotalLunMappingCount 0" +
        "\n\n*************** ARRAY INFORMATION ***************" +
        array("0, RAID 5, 5 Drives (4 + 1) (- 0%) 64K Chunk, 1199", "1099", "five") +
        array("1, RAID 1, 2 Drives (1 + 1) (- 0%) 32K Chunk, 299", "299", "mirror") +
        "\n\n*************** HOST CONFIGURATION ***************\nTotalLunCount  : 1\nLun No         : 0"
        "\nName           : vol0" + std::string(28, ' ') + "\n0x83 Identifier: 2001001122334400"
        "\nCapacityInGB   : 100\nMappedLun      : 0\nSegmentCount   : 1\nAccessType     : 0\nPort           : 15"
        "\nWLUNReferenceNo: 1\nHostBlockSize  : 512\n"
        "\n\n*************** REGIONMAP INFORMATION ***************\nLength:                        21656"
        "\nRegionCount:                   3\nUsedCapacityInGB:              100\nUnusedCapacityInGB:            1398"
        "\nUnusedUnsegmentedCapacityInGB: 1398\nUnusedUnsegmentedRegionNo:     1" +
        region(0, 0, 100, 0, 0) + region(1, 100, 1099, 0, 65535) + region(2, 0, 299, 1, 65535);
    expectRuns(sim, {
        {{"-F", "-g", "-z", "arrayid", "-l", "1"}, "ArrayID [1]: 1", 0},
        {{"-F", "-g", "-z", "chunkblkcnt", "-l", "1"}, "ChunkBlkCnt of Array[1]: 64", 0},
        {{"-F", "-g", "-z", "arraysize", "-l", "0"}, "Size of Array[0] in GB: 1199", 0},
        {{"-F", "-g", "-z", "arraysize", "-l", "2"}, kBadArray, 1},
        {{"-F", "-g", "-z", "arraydevice", "-l", "0", "-l", "1"}, "Device [1] in arrayID [0] :5000C50000A00002\n\n", 0},
        {{"-F", "-g", "-z", "arraydevice", "-l", "1", "-l", "0"}, "Device [0] in arrayID [1] :5000C50000A00006\n\n", 0},
        {{"-F", "-g", "-z", "arraydevice", "-l", "2", "-l", "0"}, "Error: Invalid arrayID\n" + kBadArray, 1},
        {{"-F", "-g", "-z", "arraydevice", "-l", "1", "-l", "2"},
         "Error: Invalid index, driveIndex starts from 0 till 1\n" + kBadDevice, 1},
        {{"-F", "-g", "-z", "ldsize", "-l", "0"}, "LogicalDrive size in GB: 100", 0},
        {{"-F", "-g", "-z", "ldid", "-l", "0"}, "LogicalDrive ID: 1", 0},
        {{"-F", "-g", "-z", "ldid", "-l", "1"}, kBadLun, 1},
        {{"-F", "-g", "-z", "ldindex", "-l", "1"}, "Logical Drive Index for LUNReferenceNo[1]:0", 0},
        {{"-F", "-g", "-z", "ldindex", "-l", "0"}, "Error: Logical Drive Index not found\n" + kBadHost, 1},
        {{"-F", "-g", "-z", "hotsparewwn", "-l", "1"}, "Hot spare:5000C50000A0000A", 0},
        {{"-F", "-g", "-z", "hotsparewwn", "-l", "2"},
         "Error:Invalid index\n" + errorTail("Error: Invalid spare index.", 2007), 1},
        {{"-F", "-g", "-z", "hotsparetype", "-l", "0"}, "Global", 0},
        {{"-F", "-g", "-z", "hotsparetype", "-l", "1"}, "Dedicated", 0},
        {{"-F", "-n", "-z", "globalhotspare"}, "\nNumber of global hotspares : 1", 0},
        {{"-F", "-n", "-z", "arrayspare", "-l", "1"}, "Number of hot spares in array[1] :1", 0},
        {{"-F", "-n", "-z", "totalhotsparecnt"}, "TotalHotSpareCount: 2", 0},
        {{"-F", "-g", "-z", "regionstatus", "-l", "0"}, "Region status: 0", 0},
        {{"-F", "-g", "-z", "regionstatus", "-l", "1"}, "Region status: 65535", 0},
        {{"-F", "-g", "-z", "regionarrayno", "-l", "2"}, "This region belongs to array: 1", 0},
        {{"-F", "-g", "-z", "regioncap", "-l", "0"}, "Region capacity(GB): 100", 0},
        {{"-F", "-g", "-z", "regioncap", "-l", "3"}, errorTail("Error: Invalid region index.", 2008), 1},
        {{"-F", "-g", "-z", "initstate", "-l", "0"}, "InitializationInProgress (0 - not in progress):0 \n", 0},
        {{"-F", "-g", "-z", "percentcomplete", "-l", "0"}, "Percent Complete :0", 0},
        {{"-F", "-n", "-z", "host"}, "\nNumber Of Hosts : 1", 0},
        {{"-F", "-g", "-z", "host", "-l", "0"}, "HostWWN (HEX):2000001B32A0B0C0", 0},
        {{"-F", "-g", "-z", "hostport", "-l", "0"}, "PortWWN(HEX):2100001B32A0B0C0", 0},
        {{"-F", "-g", "-z", "hostport", "-l", "1"}, "\nInvalid index. Number of Host entries present is 1" + kBadHost, 1},
        {{"-F", "-n", "-z", "logicaldrives"}, "\nNumber of LDs : 1", 0},
        {{"-C", "-g", "-z", "expandarraystate"}, "\nExpansion In Progress : 0 (not in progress)", 0},
        {{"-F", "-g", "-z", "confighdrstruct"}, kHeader, 0},
        {{"-F", "-g", "-z", "odainfostruct"}, kOdas, 0},
        {{"-F", "-g", "-z", "odastatstruct"}, kOdaStatistics, 0},
        {{"-F", "-g", "-z", "internalld"}, kInternalDrives, 0},
        {{"-F", "-g", "-z", "allinfo"}, allInfo, 0},
    });
}

TEST(ReadCommands, ConfigurationChangeActivity) {
    Simulator sim(queryScenario());
    const std::string labels[] = {"\nStart new configuration in progress: ", "\nSave new configuration in progress:  ",
                                  "\nConfiguration unavailable:           ", "\nArray Expansion in progress:         "};
    auto activity = [&](int yes) {
        std::string s;
        for (int i = 0; i < 4; ++i) s += labels[i] + (i == yes ? "Yes" : "No");
        return s + "\n";
    };
    expectRuns(sim, {{{"-F", "-g", "-z", "configprogressinfo"}, activity(-1), 0},
                     {{"-F", "-g", "-z", "configprogress"}, "\nConfiguration change: 0 (Not in progress)\n", 0}});
    // Each refusal the controller is told to make shows in the next activity reply.
    const std::pair<const char*, int> refusals[] = {{"start", 0}, {"unavailable", 2}, {"expansion", 3}};
    for (const auto& [reason, yes] : refusals) {
        sim.ctl("model", {"0", "refuse-config", json{{"count", 1}, {"reason", reason}}.dump()});
        expectRun(sim, {"-F", "-g", "-z", "configprogressinfo"}, activity(yes), 0);
    }
    sim.ctl("model", {"0", "refuse-config", R"({"count": 1, "reason": "start"})"});
    expectRun(sim, {"-F", "-g", "-z", "configprogress"}, "\nConfiguration change: 1 (In progress)\n", 0);
    // Without the asynchronous handshake the controller cannot say.
    Simulator plain;
    const std::string refused =
        errorTail("LAPI call failed: Asynchronous configuration handshake feature not enabled.", 1015);
    expectRuns(plain, {{{"-F", "-g", "-z", "configprogress"}, refused, 1},
                       {{"-F", "-g", "-z", "configprogressinfo"}, refused, 1}});
}

}  // namespace
