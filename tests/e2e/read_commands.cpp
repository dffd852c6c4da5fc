// End-to-end tests of the single-value read commands of the configuration and
// controller libraries: one system with two arrays, a logical drive, a global
// and a dedicated spare and one host, and the whole output of each command.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/process.h"
#include "support/simulator.h"

using nlohmann::json;

namespace {

json slots(int first, int count) {
    json list = json::array();
    for (int i = 0; i < count; ++i) list.push_back({{"enclosure", 1}, {"slot", first + i}});
    return list;
}

std::string scenario() {
    json system = {
        {"paths", {{{"sg", 0}}, {{"sg", 1}}}},
        {"wwn", "2000001122334400"},
        {"enclosures", {{{"number", 1}, {"slots", 12}, {"drives", {{"wwnBase", "5000C50000A00001"}}}}}},
        {"arrays",
         {{{"drives", slots(1, 5)}, {"level", 5}, {"chunkKb", 64}, {"name", "five"}},
          {{"drives", slots(6, 2)}, {"level", 1}, {"chunkKb", 32}, {"name", "mirror"}}}},
        {"logicalDrives", {{{"array", 0}, {"capacityGb", 100}, {"name", "vol0"}}}},
        {"spares", {{{"drive", {{"enclosure", 1}, {"slot", 9}}}}, {{"drive", {{"enclosure", 1}, {"slot", 10}}}, {"array", 1}}}},
        {"hosts", {{{"node", "2000001B32A0B0C0"}, {"port", "2100001B32A0B0C0"}}}},
    };
    return json{{"systems", {system}}}.dump();
}

TEST(ReadCommands, SingleValuesAsTheLibrariesPrintThem) {
    testsupport::Simulator sim(scenario());
    struct Case {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"-F", "-g", "-z", "arrayid", "-l", "1"}, "ArrayID [1]: 1"},
        {{"-F", "-g", "-z", "chunkblkcnt", "-l", "1"}, "ChunkBlkCnt of Array[1]: 64"},
        {{"-F", "-g", "-z", "arraydevice", "-l", "0", "-l", "1"}, "Device [1] in arrayID [0] :5000C50000A00002\n\n"},
        {{"-F", "-g", "-z", "arraydevice", "-l", "1", "-l", "0"}, "Device [0] in arrayID [1] :5000C50000A00006\n\n"},
        {{"-F", "-g", "-z", "ldsize", "-l", "0"}, "LogicalDrive size in GB: 100"},
        {{"-F", "-g", "-z", "hotsparewwn", "-l", "1"}, "Hot spare:5000C50000A0000A"},
        {{"-F", "-g", "-z", "hotsparetype", "-l", "0"}, "Global"},
        {{"-F", "-g", "-z", "hotsparetype", "-l", "1"}, "Dedicated"},
        {{"-F", "-n", "-z", "globalhotspare"}, "\nNumber of global hotspares : 1"},
        {{"-F", "-n", "-z", "arrayspare", "-l", "1"}, "Number of hot spares in array[1] :1"},
        {{"-F", "-n", "-z", "totalhotsparecnt"}, "TotalHotSpareCount: 2"},
        {{"-F", "-g", "-z", "regionstatus", "-l", "0"}, "Region status: 0"},
        {{"-F", "-g", "-z", "regionarrayno", "-l", "0"}, "This region belongs to array: 0"},
        {{"-F", "-g", "-z", "regioncap", "-l", "0"}, "Region capacity(GB): 100"},
        {{"-F", "-g", "-z", "initstate", "-l", "0"}, "InitializationInProgress (0 - not in progress):0 \n"},
        {{"-F", "-g", "-z", "percentcomplete", "-l", "0"}, "Percent Complete :0"},
        {{"-F", "-n", "-z", "host"}, "\nNumber Of Hosts : 1"},
        {{"-F", "-n", "-z", "logicaldrives"}, "\nNumber of LDs : 1"},
        {{"-C", "-g", "-z", "expandarraystate"}, "\nExpansion In Progress : 0 (not in progress)"},
        {{"-C", "-g", "-z", "regenstate"}, "\nRegen In Progress : 0 (not in progress)"},
    };
    for (const Case& c : cases) {
        auto r = testsupport::runLqcl(c.args, sim.env(), sim.dir());
        std::string line;
        for (const auto& a : c.args) line += a + " ";
        EXPECT_EQ(r.out, c.out) << line;
        EXPECT_EQ(r.err, "") << line;
        EXPECT_EQ(r.status, 0) << line;
    }
}

}  // namespace
