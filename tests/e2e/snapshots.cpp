// End-to-end tests of the snapshot, overwrite data area (ODA) and volume copy
// commands of both snapshot firmware generations against emulator scenarios.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "texts.h"

using nlohmann::json;
using namespace testsupport;
using namespace e2e;

namespace {

// Three logical drives; drive 2 is the internal drive holding ODA 0, which
// is assigned to drive 0. Drive 0 has two snapshots, listed newest first.
std::string scenario(bool r2_2, const json& extra = json::object()) {
    json system = {
        {"features", r2_2 ? json{"r2_2"} : json::array()},
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
    return testsupport::onePathScenario("", 8, system);
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

// The stripe lines of snapshot j in the R2_2 ODA statistics: the emulator
// writes half the references and protects them all.
std::string r22Stripes(int j, int total) {
    const int write = total / 2;
    return "\n  Snapshot Number: " + std::to_string(j) + "\n  Total stripe references: " + std::to_string(total) +
           "\n  Write stripe references: " + std::to_string(write) + "\n  Stripe protections: " +
           std::to_string(total) + "\n  Snapshotted LD stripes protected by original and write: 0" +
           "\n  Snapshotted LD stripes protected by original: " + std::to_string(total - (write - total)) + "\n";
}

TEST(Snapshots, R2_2ReportsListSnapshotsOldestFirstAndRequestsAreChecked) {
    Simulator sim(scenario(true));
    expectRuns(sim, {
        {{"-F", "-g", "-z", "snapshotdata", "-l", "0"},
         "\nNumber of snapshots:      2" + r22Snapshot(0, "Yes", "Yes", 8, 700, "Monday", "1.12.2025") +
             r22Snapshot(1, "No", "No", 65535, 500, "Tuesday", "2.12.2025") + "\n",
         0},
        {{"-F", "-g", "-z", "odainfostruct"},
         "\n\n*************** ALL ODA INFORMATION ***************\nNumberOfOverwriteDataAreas:                         1"
         "\nMaximumVirtualLunsPerHostLun:                       4\n\n-----------------------\n"
         "\nOdaNumber:                   0\nODA initialization progress: 100%\nInternal LD number:          2"
         "\nSnapshotted LD Number:       0\nODA Stripe Size:             64kB \nNumber of Snapshots:         2"
         "\nCapacity :                   20GB\nNumber of storage stripes:   163840\nStorage stripes in use:      1200\n\n",
         0},
        // Snapshot j of an ODA is record j of the system's table, before any sorting.
        {{"-F", "-g", "-z", "odastatstruct"},
         "\nOdaNumber: 0\nOdaStatus:\n    Snapshot invalid: No\n    Active snapshot: Yes\n    Host Lun: Assigned"
         "\n    ODA Overrun Error: No\nODA initialization progress: 100%\nSnapshotted LD Number: 0\nODA Stripe Size: 64kB"
         "\nCapacity : 20GB\nNumber of storage stripes: 163840\nStorage stripes in use: 1200\nNumber of Snapshots: 2\n" +
             r22Stripes(0, 500) + r22Stripes(1, 700),
         0},
        {{"-F", "-g", "-z", "internalld"},
         "\n\n*************** INTERNAL LD INFORMATION ***************\nNumberOfInternalDrives: 1"
         "\nLogicalDriveNumber:     2\nCapacity:               20",
         0},
        {{"-F", "-n", "-z", "snapshotdata", "-l", "0"}, "Number of snapshots for LD[0]:2", 0},
        {{"-F", "-n", "-z", "snapshotdata", "-l", "1"}, "Number of snapshots for LD[1]:0", 0},
        {{"-F", "-n", "-z", "snapshotdata", "-l", "3"}, kBadLun, 1},
        {{"-F", "-g", "-z", "ldassignflag", "-l", "0"}, "LD already assigned to ODA :0", 0},
        {{"-F", "-g", "-z", "ldassignflag", "-l", "1"}, "LD is not yet assigned: 0xFFFF\n" + kBadLun, 1},
        {{"-F", "-g", "-z", "intldassignflag", "-l", "2"}, "Created ODA on this internal drive :0", 0},
        {{"-F", "-g", "-z", "intldassignflag", "-l", "1"},
         "ODA is not yet created on this internal drive\n" + kBadLun, 1},
        {{"-F", "-g", "-z", "ldinternallun", "-l", "0"}, "Logical Drive for InternalLun[0]:2", 0},
        {{"-F", "-g", "-z", "ldinternallun", "-l", "1"},
         "Error: Invalid internallun index, valid range 0 - 0" + kBadLun, 1},
        {{"-F", "-g", "-z", "snapbackinprogress", "-l", "0"}, "Snapback for this LD[0] (Not InProgress - 100 %): 0\n", 0},
        {{"-F", "-g", "-z", "snapbackinprogress", "-l", "1"},
         "Error: No ODA present for this snapshotLd : 3\n" + kBadLun, 1},
        // Only first-generation controllers assign virtual LUNs this way.
        {{"-F", "-s", "-z", "snapshot", "-l", "0", "-l", "0", "-l", "1"}, kBadSnapshot, 1},
        // Requests with values out of range.
        {{"-F", "-c", "-z", "oda", "-l", "2", "-l", "100"}, errorTail("Error: Invalid stripe size.", 2010), 1},
        {{"-F", "-c", "-z", "oda", "-l", "3", "-l", "512"}, kBadLun, 1},
        {{"-F", "-c", "-z", "oda", "-m", "nosuch", "-l", "512"}, errorTail("Error: Invalid logical drive name.", 2033), 1},
        {{"-F", "-d", "-z", "oda", "-l", "1"}, errorTail("Error: Invalid ODA index.", 2011), 1},
        {{"-F", "-d", "-z", "oda", "-m", "data"}, errorTail("Error: Invalid ODA Logical Drive name.", 2035), 1},
        {{"-F", "-d", "-z", "snapshot", "-l", "65", "-l", "0", "-l", "0"}, kBadSnapshot, 1},
        {{"-F", "-d", "-z", "snapshot", "-l", "1", "-l", "0", "-l", "2"}, kBadSelection, 1},
        {{"-F", "-s", "-z", "snapback", "-l", "0", "-l", "1", "-l", "2"},
         "\nError: Invalid Snap back flag" + kBadSelection, 1},
        {{"-F", "-s", "-z", "snapback", "-l", "0", "-l", "65", "-l", "0"},
         "Snapback (success-0, failure-1) :1\n" + kBadSnapshot, 1},
        {{"-F", "-s", "-z", "vcopysetup", "-l", "0", "-l", "1", "-l", "0", "-l", "6"},
         "\nError: Invalid priority value" + kBadSelection, 1},
        {{"-F", "-s", "-z", "vcopyprio", "-l", "3", "-l", "1"}, kBadLun, 1},
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
    expectRuns(sim, {
        {{"-F", "-g", "-z", "snapshotdata", "-l", "0"},
         "\nLogicalDriveNumber: 0\nSnapshots:          2\n------------------------" + snapshot1 + snapshot0 +
             "\nNumber of snapshot for LD 1: 0\n\nNumber of snapshot for LD 2: 0\n",
         0},
        {{"-F", "-g", "-z", "snapshotdata", "-l", "9"}, kBadLun, 1},
        {{"-F", "-g", "-z", "odainfostruct"},
         "\n\n*************** ODA INFORMATION ***************\nNumber Of Existing Overwrite Data Areas:        1"
         "\nMaximum Virtual Luns Per Host Lun:               4\nOdaNumber:                0\nStatus:                   1"
         "\nLogicalDriveNumber:       2\nCapacity:                 20\nProgress:                 100\n",
         0},
        {{"-F", "-g", "-z", "odastatstruct"},
         "\n\n*************** ODA STATISTICS ***************\nNumberOfOverwriteDataAreas : 0x1\n  \tOdaNumber:   0"
         "\n   \tStatus:      25\n   \tStripesSize: 128\n   \tStripesOda:  163840\n   \tSnapshotLd:  0"
         "\n   \tSnapshots:   2\n\t\tdStripes: 500\n\t\tdStripes: 700",
         0},
        {{"-F", "-n", "-z", "snapshotdata", "-l", "0"}, "Number of snapshots for LD[0]:2", 0},
        {{"-F", "-g", "-z", "ldassignflag", "-l", "0"}, "LD already assigned to ODA :0", 0},
        {{"-F", "-g", "-z", "ldassignflag", "-l", "1"}, "LD is not yet assigned: 0xFFFF\n" + kBadSnapshot, 1},
        {{"-F", "-g", "-z", "intldassignflag", "-l", "1"}, "ODA is not yet created on this internal drive\n", 0},
        {{"-F", "-g", "-z", "snapbackinprogress", "-l", "0"}, "Snapback for this LD[0] (Not InProgress - 100 %): 0\n", 0},
        {{"-F", "-g", "-z", "snapbackinprogress", "-l", "1"},
         "Error: No ODA present for this snapshotLd: 3\n" + kBadSnapshot, 1},
    });
}

// Drive 3 also has two snapshots, in an ODA of its own on internal drive 4.
json twoSnapshottedDrives() {
    json s = json::parse(scenario(true))["systems"][0];
    s["logicalDrives"].push_back({{"array", 0}, {"capacityGb", 30}, {"name", "logs"}});
    s["logicalDrives"].push_back({{"array", 0}, {"capacityGb", 10}, {"name", "oda2"}});
    s["snapshotState"]["internalDrives"].push_back({{"logicalDrive", 4}, {"capacity", 10}});
    s["snapshotState"]["odas"].push_back({{"number", 1}, {"flags", 0x19}, {"internalLd", 4}, {"snapshotLd", 3}});
    for (int n = 0; n < 2; ++n)
        s["snapshotState"]["snapshots"].push_back({{"oda", 1}, {"number", n}, {"logicalDrive", 3}, {"order", 10 + n}});
    return s;
}

// The parameter records of the writes with this buffer ID, after the
// 16-byte validation header, as hexadecimal text.
std::vector<std::string> sentRecords(const Simulator& sim, const std::string& bufferId) {
    std::vector<std::string> out = testsupport::sentData(sim, "3b01" + bufferId);
    for (auto& data : out) data = data.substr(32);
    return out;
}

TEST(SnapshotWrites, DeletingAllSnapshotsOfOneDriveOnR2_2) {
    Simulator sim(json{{"systems", {twoSnapshottedDrives()}}}.dump());
    expectRuns(sim, {{{"-F", "-d", "-z", "snapshot", "-l", "0", "-l", "3", "-l", "1"},
                    "Deleted All Snapshots taken on: 3", 0}});
    EXPECT_EQ(sentRecords(sim, "74"), std::vector<std::string>{"740000080300" "0200"});
    expectRuns(sim, {{{"-F", "-n", "-z", "snapshotdata", "-l", "3"}, "Number of snapshots for LD[3]:0", 0},
                   {{"-F", "-n", "-z", "snapshotdata", "-l", "0"}, "Number of snapshots for LD[0]:2", 0},
                   // One snapshot: mode 0, the number in the record's last byte.
                   {{"-F", "-d", "-z", "snapshot", "-l", "1", "-l", "0", "-l", "0"},
                    "Deleted SnapshotNo: 1 taken on LD 0", 0},
                   {{"-F", "-n", "-z", "snapshotdata", "-l", "0"}, "Number of snapshots for LD[0]:1", 0}});
    EXPECT_EQ(sentRecords(sim, "74").back(), "740000080000" "0001");
}

TEST(SnapshotWrites, TakeNewOdaAndSnapBack) {
    Simulator sim(scenario(true));
    sim.ctl("freeze");   // the snap back moves only when the clock is advanced
    // A 512 ODA goes out as 1024, numbered after the ODAs present.
    expectRuns(sim, {{{"-F", "-c", "-z", "oda", "-m", "copy", "-l", "512"}, "ODA: 1", 0}});
    EXPECT_EQ(sentRecords(sim, "70"), std::vector<std::string>{"7000000a" "0100" "0100" "0004"});
    expectRuns(sim, {
        {{"-F", "-g", "-z", "intldassignflag", "-l", "1"}, "Created ODA on this internal drive :1", 0},
        {{"-F", "-c", "-z", "snapshot", "-l", "0"}, "Snapshot No : 2\n", 0},
        {{"-F", "-n", "-z", "snapshotdata", "-l", "0"}, "Number of snapshots for LD[0]:3", 0},
        // Taken and deleted at once.
        {{"-F", "-c", "-z", "vcopy", "-l", "0", "-l", "1"}, "Deleted SnapshotNo: 3 taken on LD 0", 0},
        {{"-F", "-n", "-z", "snapshotdata", "-l", "0"}, "Number of snapshots for LD[0]:3", 0},
        {{"-F", "-s", "-z", "snapback", "-l", "0", "-l", "1", "-l", "0"}, "Snapback (success-0, failure-1) :0\n", 0},
        {{"-F", "-g", "-z", "snapbackinprogress", "-l", "0"}, "Snapback for this LD[0] (InProgress - 0 %): 1\n", 0},
    });
    sim.ctl("advance", {"31"});
    expectRuns(sim, {{{"-F", "-g", "-z", "snapbackinprogress", "-l", "0"},
                    "Snapback for this LD[0] (Not InProgress - 100 %): 0\n", 0}});
    EXPECT_EQ(sim.ctl("model", {"0", "snapshots"})["logicalDrivesAtSnapshot"], json({{"0", 1}}));
}

TEST(VolumeCopy, StatusNumbersFollowTheCopy) {
    Simulator sim(scenario(true));
    sim.ctl("freeze");
    expectRuns(sim, {
        {{"-F", "-g", "-z", "vcopystatus", "-l", "1"}, "\n-2\n", 0},
        {{"-F", "-s", "-z", "vcopysetup", "-m", "data", "-m", "copy", "-l", "0", "-l", "5"}, "0\n", 0},
        {{"-F", "-g", "-z", "vcopystatus", "-l", "1"}, "\n1\n", 0},
        {{"-F", "-g", "-z", "vcopyprogress", "-m", "copy"}, "0 0\n", 0},
        {{"-F", "-s", "-z", "vcopypause", "-l", "1"}, "", 0},
        {{"-F", "-g", "-z", "vcopystatus", "-l", "1"}, "\n3\n", 0},
        {{"-F", "-s", "-z", "vcopyresume", "-m", "copy"}, "", 0},
    });
    EXPECT_EQ(sentRecords(sim, "79"), std::vector<std::string>{"20010500" "0000" "0100" + std::string(48, '0')});
    sim.ctl("advance", {"70"});
    expectRuns(sim, {
        {{"-F", "-g", "-z", "vcopystatus", "-l", "1"}, "\n0\n", 0},
        {{"-F", "-g", "-z", "vcopyprogress", "-l", "1"}, "100 100\n", 0},
        // A copy back, paused: state 7 is 5 for a copy back.
        {{"-F", "-s", "-z", "copyback", "-l", "0", "-l", "1", "-l", "0"}, "0\n", 0},
        {{"-F", "-g", "-z", "vcopystatus", "-l", "1"}, "\n4\n", 0},
        {{"-F", "-s", "-z", "vcopypause", "-l", "1"}, "", 0},
        {{"-F", "-g", "-z", "vcopystatus", "-l", "1"}, "\n5\n", 0},
        {{"-F", "-s", "-z", "vcopyabort", "-l", "1"}, "", 0},
        {{"-F", "-g", "-z", "vcopystatus", "-l", "1"}, "\n-3\n", 0},
    });
}

}  // namespace
