// End-to-end tests of the read commands of the configuration and controller
// libraries: one system with two arrays, a logical drive, a global and a
// dedicated spare and one host, and the whole output of each command.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "texts.h"

using nlohmann::json;
using namespace testsupport;
using namespace e2e;

namespace {

std::string scenario() {
    return testsupport::twoPathScenario(
        "Query Test", 12,
        {{"features", {"async"}},
         {"arrays",
          {{{"drives", driveSlots(1, 5)}, {"level", 5}, {"chunkKb", 64}, {"name", "five"}},
           {{"drives", driveSlots(6, 2)}, {"level", 1}, {"chunkKb", 32}, {"name", "mirror"}}}},
         {"logicalDrives", {{{"array", 0}, {"capacityGb", 100}, {"name", "vol0"}}}},
         {"spares", {{{"drive", {{"enclosure", 1}, {"slot", 9}}}}, {{"drive", {{"enclosure", 1}, {"slot", 10}}}, {"array", 1}}}},
         {"hosts", {{{"node", "2000001B32A0B0C0"}, {"port", "2100001B32A0B0C0"}}}}});
}

const std::string kBadHost = errorTail("Error: Invalid host index.", 2005);

// The header, ODA, internal drive, array, logical drive and region map reports of the system.
const std::string kHeader =
    "\n\n*************** CONFIGURATION INFORMATION ***************\nConfiguration Name     : Query Test"
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
    Simulator sim(scenario());
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
        {{"-C", "-g", "-z", "regenstate"}, "\nRegen In Progress : 0 (not in progress)", 0},
        {{"-F", "-g", "-z", "confighdrstruct"}, kHeader, 0},
        {{"-F", "-g", "-z", "odainfostruct"}, kOdas, 0},
        {{"-F", "-g", "-z", "odastatstruct"}, kOdaStatistics, 0},
        {{"-F", "-g", "-z", "internalld"}, kInternalDrives, 0},
        {{"-F", "-g", "-z", "allinfo"}, allInfo, 0},
    });
}

TEST(ReadCommands, ConfigurationChangeActivity) {
    Simulator sim(scenario());
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
