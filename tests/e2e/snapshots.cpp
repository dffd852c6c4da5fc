// End-to-end tests of the snapshot, overwrite data area (ODA) and volume copy
// commands of both snapshot firmware generations against emulator scenarios.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/process.h"
#include "support/simulator.h"

using nlohmann::json;
using testsupport::RunResult;
using testsupport::Simulator;

namespace {

// Three logical drives; drive 2 is the internal drive holding ODA 0, which
// is assigned to drive 0. Drive 0 has two snapshots, listed newest first.
std::string scenario(bool r2_2, const json& extra = json::object()) {
    json system = {
        {"vendor", "TOLVO"},
        {"product", "TOLVO RAID 7000"},
        {"revision", "0513"},
        {"paths", {{{"sg", 0}, {"host", 0}, {"channel", 0}, {"target", 0}, {"lun", 0}, {"portWwn", "2100001122334401"}}}},
        {"wwn", "2000001122334400"},
        {"features", r2_2 ? json{"r2_2"} : json::array()},
        {"enclosures",
         {{{"number", 1}, {"slots", 8}, {"drives", {{"wwnBase", "5000C50000A00001"}, {"capacityBlocks", 585937500}}}}}},
        {"arrays", {{{"drives", {0, 1, 2}}, {"level", 5}, {"chunkKb", 64}}}},
        {"logicalDrives",
         {{{"array", 0}, {"capacityGb", 100}, {"name", "data"}},
          {{"array", 0}, {"capacityGb", 50}, {"name", "copy"}},
          {{"array", 0}, {"capacityGb", 20}, {"name", "oda"}}}},
        {"snapshotState",
         {{"internalDrives", {{{"logicalDrive", 2}, {"capacity", 20}}}},
          {"odas", {{{"number", 0}, {"flags", 0x19}, {"internalLd", 2}, {"snapshotLd", 0}, {"stripeKb", 64},
                     {"capacityGb", 20}, {"stripes", 163840}, {"stripesInUse", 1200}}}},
          {"snapshots",
           {{{"oda", 0}, {"number", 1}, {"logicalDrive", 0}, {"stripesUsed", 500}, {"created", 1764662400}, {"order", 7}},
            {{"oda", 0}, {"number", 0}, {"flags", 6}, {"logicalDrive", 0}, {"virtualLun", 8}, {"stripesUsed", 700},
             {"created", 1764576000}, {"order", 3}}}}}},
    };
    system.update(extra);
    return json{{"systems", {system}}}.dump();
}

std::string errorTail(const std::string& message, int code) {
    return "\n" + message + "\nReturn code: " + std::to_string(code) + "\n";
}

struct Case {
    std::vector<std::string> args;
    std::string out;
    int status;
};

void runCases(const Simulator& sim, const std::vector<Case>& cases) {
    for (const auto& c : cases) {
        RunResult r = testsupport::runLqcl(c.args, sim.env());
        std::string line;
        for (const auto& a : c.args) line += a + " ";
        EXPECT_EQ(r.out, c.out) << line;
        EXPECT_EQ(r.err, "") << line;
        EXPECT_EQ(r.status, c.status) << line;
    }
}

std::string r22Snapshot(int number, const char* enabled, const char* assigned, int vlun, int stripes, const char* day,
                        const std::string& date) {
    return "\n\nODANumber:                0\nSnapshotNumber:           " + std::to_string(number) +
           "\nSnapshot LD Number:       0\nVLUN to host enabled:     " + enabled +
           "\nVLUN is assigned:         " + assigned +
           "\nDeletion in progress:     No\nSnapshot Invalid:         No\nVirtual Lun Number:       " +
           std::to_string(vlun) + "\nODA Stripe Size:          64kB\nTotal stripe references:  " +
           std::to_string(stripes) + "\nWrite stripe references:  " + std::to_string(stripes / 2) +
           "\nStripe protections:       " + std::to_string(stripes) + "\nSnapshot day:             " + day +
           "\nSnapshot date:            " + date + "\nSnapshot time:            8:0:0\n";
}

TEST(Snapshots, R2_2ReportsListSnapshotsOldestFirst) {
    Simulator sim(scenario(true));
    runCases(sim, {
        {{"-F", "-g", "-z", "snapshotdata", "-l", "0"},
         "\nNumber of snapshots:      2" + r22Snapshot(0, "Yes", "Yes", 8, 700, "Monday", "1.12.2025") +
             r22Snapshot(1, "No", "No", 65535, 500, "Tuesday", "2.12.2025") + "\n",
         0},
        {{"-F", "-n", "-z", "snapshotdata", "-l", "0"}, "Number of snapshots for LD[0]:2", 0},
        {{"-F", "-n", "-z", "snapshotdata", "-l", "1"}, "Number of snapshots for LD[1]:0", 0},
        {{"-F", "-n", "-z", "snapshotdata", "-l", "3"}, errorTail("Error: Invalid LUN index.", 2002), 1},
        {{"-F", "-g", "-z", "ldassignflag", "-l", "0"}, "LD already assigned to ODA :0", 0},
        {{"-F", "-g", "-z", "ldassignflag", "-l", "1"},
         "LD is not yet assigned: 0xFFFF\n" + errorTail("Error: Invalid LUN index.", 2002), 1},
        {{"-F", "-g", "-z", "intldassignflag", "-l", "2"}, "Created ODA on this internal drive :0", 0},
        {{"-F", "-g", "-z", "intldassignflag", "-l", "1"},
         "ODA is not yet created on this internal drive\n" + errorTail("Error: Invalid LUN index.", 2002), 1},
        {{"-F", "-g", "-z", "ldinternallun", "-l", "0"}, "Logical Drive for InternalLun[0]:2", 0},
        {{"-F", "-g", "-z", "ldinternallun", "-l", "1"},
         "Error: Invalid internallun index, valid range 0 - 0" + errorTail("Error: Invalid LUN index.", 2002), 1},
        {{"-F", "-g", "-z", "snapbackinprogress", "-l", "0"}, "Snapback for this LD[0] (Not InProgress - 100 %): 0\n", 0},
        {{"-F", "-g", "-z", "snapbackinprogress", "-l", "1"},
         "Error: No ODA present for this snapshotLd : 3\n" + errorTail("Error: Invalid LUN index.", 2002), 1},
        // Only first-generation controllers assign virtual LUNs this way.
        {{"-F", "-s", "-z", "snapshot", "-l", "0", "-l", "0", "-l", "1"},
         errorTail("Error: Snapshot request not valid.", 2026), 1},
    });
}

TEST(Snapshots, FirstGenerationReportsEveryDrivesTable) {
    Simulator sim(scenario(false));
    const std::string snapshot1 =
        "\nSnapshotNumber:     1\nbOdaNumber:         0\nbVirtualLunFlags:   0\nwVirtualLun:        65535"
        "\nwLunReferenceNo:    0\n";
    const std::string snapshot0 =
        "\nSnapshotNumber:     0\nbOdaNumber:         0\nbVirtualLunFlags:   6\nwVirtualLun:        8"
        "\nwLunReferenceNo:    0\n";
    runCases(sim, {
        {{"-F", "-g", "-z", "snapshotdata", "-l", "0"},
         "\nLogicalDriveNumber: 0\nSnapshots:          2\n------------------------" + snapshot1 + snapshot0 +
             "\nNumber of snapshot for LD 1: 0\n\nNumber of snapshot for LD 2: 0\n",
         0},
        {{"-F", "-g", "-z", "snapshotdata", "-l", "9"}, errorTail("Error: Invalid LUN index.", 2002), 1},
        {{"-F", "-n", "-z", "snapshotdata", "-l", "0"}, "Number of snapshots for LD[0]:2", 0},
        {{"-F", "-g", "-z", "ldassignflag", "-l", "0"}, "LD already assigned to ODA :0", 0},
        {{"-F", "-g", "-z", "ldassignflag", "-l", "1"},
         "LD is not yet assigned: 0xFFFF\n" + errorTail("Error: Snapshot request not valid.", 2026), 1},
        {{"-F", "-g", "-z", "intldassignflag", "-l", "1"}, "ODA is not yet created on this internal drive\n", 0},
        {{"-F", "-g", "-z", "snapbackinprogress", "-l", "0"}, "Snapback for this LD[0] (Not InProgress - 100 %): 0\n", 0},
        {{"-F", "-g", "-z", "snapbackinprogress", "-l", "1"},
         "Error: No ODA present for this snapshotLd: 3\n" + errorTail("Error: Snapshot request not valid.", 2026), 1},
    });
}

TEST(Snapshots, ChecksBeforeAnythingIsSent) {
    Simulator sim(scenario(true));
    runCases(sim, {
        {{"-F", "-c", "-z", "oda", "-l", "2", "-l", "100"}, errorTail("Error: Invalid stripe size.", 2010), 1},
        {{"-F", "-c", "-z", "oda", "-l", "3", "-l", "512"}, errorTail("Error: Invalid LUN index.", 2002), 1},
        {{"-F", "-c", "-z", "oda", "-m", "nosuch", "-l", "512"}, errorTail("Error: Invalid logical drive name.", 2033), 1},
        {{"-F", "-d", "-z", "oda", "-l", "1"}, errorTail("Error: Invalid ODA index.", 2011), 1},
        {{"-F", "-d", "-z", "oda", "-m", "data"}, errorTail("Error: Invalid ODA Logical Drive name.", 2035), 1},
        {{"-F", "-d", "-z", "snapshot", "-l", "65", "-l", "0", "-l", "0"},
         errorTail("Error: Snapshot request not valid.", 2026), 1},
        {{"-F", "-d", "-z", "snapshot", "-l", "1", "-l", "0", "-l", "2"}, errorTail("Error: Invalid selection.", 2018), 1},
        {{"-F", "-s", "-z", "snapback", "-l", "0", "-l", "1", "-l", "2"},
         "\nError: Invalid Snap back flag" + errorTail("Error: Invalid selection.", 2018), 1},
        {{"-F", "-s", "-z", "snapback", "-l", "0", "-l", "65", "-l", "0"},
         "Snapback (success-0, failure-1) :1\n" + errorTail("Error: Snapshot request not valid.", 2026), 1},
        {{"-F", "-s", "-z", "vcopysetup", "-l", "0", "-l", "1", "-l", "0", "-l", "6"},
         "\nError: Invalid priority value" + errorTail("Error: Invalid selection.", 2018), 1},
        {{"-F", "-s", "-z", "vcopyprio", "-l", "3", "-l", "1"}, errorTail("Error: Invalid LUN index.", 2002), 1},
    });
}

}  // namespace
