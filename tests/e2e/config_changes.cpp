// End-to-end tests of the configuration changes, snapshots, overwrite data
// areas and volume copies: the built lqcl against tolvo-sim scenarios made for
// the edge cases. Each case compares the whole output and status and then looks
// at the model (its configuration dump, the command record); a refused change
// must leave the configuration as it was.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "texts.h"

using nlohmann::json;
using namespace testsupport;
using namespace e2e;

namespace {

const std::string kBadChunk = errorTail("Error: Create Array failed. Invalid chunk size.", 2039);
const std::string kBadName = errorTail("Error: Invalid logical drive name.", 2033);

// One system, two paths, 16 drives of 300 GB in one enclosure, with the model keys given.
std::string scenario(const json& model) { return testsupport::twoPathScenario("Change Test", 16, model); }

json array5(int firstSlot, const std::string& name) {
    return {{"drives", testsupport::driveSlots(firstSlot, 5)}, {"level", 5}, {"chunkKb", 64}, {"name", name}};
}

std::string drive(int slot) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "5000C50000A%05X", slot);
    return buf;
}

// The committed configuration. A change the tool opened and left unsaved is
// the controller's to discard, so whether one is open is not compared.
json dump(const Simulator& sim) {
    json config = sim.ctl("model", {"0", "dump-config"});
    config.erase("changeOpen");
    return config;
}

// createArray's eleven -l values after the drive count (the slots given, unless
// `count` says otherwise): chunk, level, back-off, no cache parameters. Slot 0 is a zero WWN.
std::vector<std::string> arrayArgs(const std::vector<int>& driveSlots, int chunkKb, int level, size_t count = 0) {
    std::vector<std::string> a = {"-F", "-c", "-z", "array", "-l", std::to_string(count ? count : driveSlots.size())};
    for (int s : driveSlots) a.insert(a.end(), {"-u", s ? drive(s) : "0"});
    for (int v : {chunkKb, level, 0, 0, 0, 0, 0, 0, 0, 0}) a.insert(a.end(), {"-l", std::to_string(v)});
    return a;
}

// Refused commands: whole output, status 1, and a configuration left as it
// was and consistent by the emulator's own check.
void expectRefused(const Simulator& sim, const std::vector<std::pair<std::vector<std::string>, std::string>>& cases) {
    for (const auto& [args, out] : cases) {
        const json before = dump(sim);
        expectRun(sim, args, out, 1);
        EXPECT_EQ(dump(sim), before) << args[3];
        EXPECT_EQ(sim.ctl("model", {"0", "check-config"})["consistent"], true) << args[3];
    }
}

TEST(ConfigChanges, ArrayNamesChunkSizesAndLevels) {
    Simulator sim(scenario({{"arrays", {array5(1, "Array 0"), array5(6, "Array 2")}}}));
    expectRefused(sim, {{arrayArgs({11, 12, 13}, 96, 5), kBadChunk},
                        {arrayArgs({11, 12, 13}, 512, 5), kBadChunk},
                        {arrayArgs({11, 12, 13}, 64, 2), errorTail("Error: Invalid RAID level.", 2009)},
                        {arrayArgs({11, 12, 13, 14, 15, 16, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 64, 5), kBadDevice}});

    // RAID 50 with seven drives: six in two parity groups; the name skips the names in use.
    sim.clearCommands();
    expectRun(sim, arrayArgs({11, 12, 13, 14, 15, 16, 10}, 64, 50), "\nCreated ArrayID:2\n", 0);
    const json made = dump(sim)["arrays"][2];
    EXPECT_EQ(made["name"], "Array 1");
    EXPECT_EQ(made["level"], 0x50);
    EXPECT_EQ(made["parityGroups"], 2);
    EXPECT_EQ(made["drives"], json({drive(11), drive(12), drive(13), drive(14), drive(15), drive(16)}));
    auto ranks = sentData(sim, "3b0190");
    ASSERT_EQ(ranks.size(), 1u);
    const std::string& rank = ranks[0];  // validation header, then the rank record
    EXPECT_EQ(rank.substr(2 * (16 + 1), 4), "5006");           // level code, drive count
    EXPECT_EQ(rank.substr(2 * (16 + 4), 4), "8000");           // chunk 128 blocks
    EXPECT_EQ(rank.substr(2 * (16 + 0x20 + 6 * 8), 16), std::string(16, '0'));  // the seventh drive left out
    EXPECT_EQ(rank.substr(2 * (16 + 0xB0), 10), "020000f00f");  // groups, status, flags, marker, read-ahead
    EXPECT_EQ(rank.substr(2 * (16 + 0xB8), 2), "f1");          // initialise
}

TEST(ConfigChanges, ChunkLimitsOfTheHeaderAndMirroredPairs) {
    Simulator sim(scenario({{"settings", {{"minChunkKb", 16}, {"maxChunkKb", 512}}}}));
    expectRun(sim, arrayArgs({1, 2}, 512, 1), "\nCreated ArrayID:0\n", 0);
    const json made = dump(sim)["arrays"][0];
    EXPECT_EQ(made["chunkBlocks"], 1024);
    EXPECT_EQ(made["level"], 0x10);
    EXPECT_EQ(made["name"], "Array 0");
    expectRefused(sim, {{arrayArgs({3, 4}, 1024, 1), kBadChunk}});
    // A zero WWN is skipped: four drives with the third slot left empty.
    sim.clearCommands();
    expectRun(sim, arrayArgs({3, 4, 0, 5, 6}, 64, 5), "\nCreated ArrayID:1\n", 0);
    auto ranks = sentData(sim, "3b0190");
    ASSERT_EQ(ranks.size(), 1u);
    EXPECT_EQ(ranks[0].substr(2 * (16 + 2), 2), "04");
    std::string slotsSent = drive(3) + drive(4) + std::string(16, '0') + drive(5);
    for (char& ch : slotsSent) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_EQ(ranks[0].substr(2 * (16 + 0x20), 64), slotsSent);
    EXPECT_EQ(dump(sim)["arrays"][1]["drives"], json({drive(3), drive(4), drive(5), drive(6)}));

    // Fewer WWNs than the drive count: refused before anything is sent.
    expectRefused(sim, {{arrayArgs({3}, 64, 5, 3), "Error: 3 drives were requested but 1 drive WWNs given\n" + kBadDevice}});
}

TEST(ConfigChanges, LogicalDriveFromTheFreeRegionsInMapOrder) {
    Simulator sim(scenario({
        {"arrays", {array5(1, "Array 0")}},
        {"logicalDrives",
         {{{"array", 0}, {"capacityGb", 100}, {"name", "gapA"}},
          {{"array", 0}, {"capacityGb", 50}, {"name", "keep1"}},
          {{"array", 0}, {"capacityGb", 500}, {"name", "gapB"}},
          {{"array", 0}, {"capacityGb", 549}, {"name", "keep2"}}}},
    }));
    auto create = [](const std::vector<std::string>& values, const std::vector<std::string>& name = {}) {
        std::vector<std::string> a = withL({"-F", "-c", "-z", "logicaldrives"}, values);
        a.insert(a.end(), name.begin(), name.end());
        return a;
    };
    expectRuns(sim, {{{"-F", "-d", "-z", "logicaldrives", "-m", "gapA"}, "Deleted LogicalDrive(index): 0", 0},
                     {{"-F", "-d", "-z", "logicaldrives", "-l", "2"}, "Deleted LogicalDrive(index): 2", 0}});
    expectRefused(sim, {{{"-F", "-d", "-z", "logicaldrives", "-l", "2"}, "Error: Invalid Ld ID: 2\n" + kBadLun}});

    // Refusals before the region map is read.
    sim.clearCommands();
    expectRefused(sim, {{create({"0", "10", "512"}, {"-m", std::string(33, 'n')}), kBadName},
                        {create({"0", "10", "512"}, {"-m", "keep1"}), kBadName},
                        {create({"0", "0", "512"}), "\nError: Invalid capacity range (in GB)" + kBadSelection},
                        {create({"0", "10", "1024"}), errorTail("Error: Invalid host block size selected.", 2032)}});
    for (const auto& c : sim.commands()) EXPECT_NE(c["cdb"].get<std::string>().rfind("3c0120", 0), 0u);

    // 300 GB from the free regions of 100 and 500 GB: two segments.
    expectRun(sim, create({"0", "300", "512"}, {"-m", "joined"}),
              "\tLAPIExpandVolume capacityInGb 200 unusedRegionNo 0 \nCreated LogicalDrive [0] ID: 1\n", 0);
    const json joined = dump(sim)["logicalDrives"][2];
    EXPECT_EQ(joined["name"], "joined");
    EXPECT_EQ(joined["capacityGb"], 300);
    ASSERT_EQ(joined["segments"].size(), 2u);
    EXPECT_EQ(joined["segments"][0]["capacityGb"], 100);
    EXPECT_EQ(joined["segments"][1]["capacityGb"], 200);

    expectRefused(sim, {{create({"0", "400", "0"}),
                         "Not enough free regions to assign the 400GB of space to create this logical drive\n" +
                             errorTail("Error: Insufficient free regions.", 2012)}});
    // Unnamed: the first free generated name.
    expectRuns(sim, {{create({"0", "20", "0"}), "Created LogicalDrive [2] ID: 3\n", 0},
                     {withL({"-F", "-s", "-z", "expandld"}, {"0", "30", "3"}), "Logical drive expanded successfully : 3", 0}});
    EXPECT_EQ(dump(sim)["logicalDrives"][3]["name"], "LD 0");
    EXPECT_EQ(dump(sim)["logicalDrives"][3]["capacityGb"], 50);
}

TEST(ConfigChanges, MappingsPortsAndHostNames) {
    Simulator sim(scenario({
        {"arrays", {array5(1, "Array 0")}},
        {"logicalDrives",
         {{{"array", 0}, {"capacityGb", 10}, {"name", "a"}},
          {{"array", 0}, {"capacityGb", 10}, {"name", "b"}},
          {{"array", 0}, {"capacityGb", 10}, {"name", "c"}}}},
        {"mappings",
         {{{"node", "2000000000000A01"}, {"port", "2100000000000A01"}, {"luns", {{{"lun", 0}, {"logicalDrive", 0}, {"ports", 15}}}}},
          {{"node", "2000000000000B01"}, {"port", "2100000000000B01"}, {"luns", {{{"lun", 0}, {"logicalDrive", 1}, {"ports", 15}}}}}}},
    }));
    const std::string host = "2100000000000C01";
    auto map = [&](const std::string& ld, const std::string& lun, const std::string& ports) {
        return withL({"-F", "-c", "-z", "lun", "-u", "2000000000000C01", "-u", host}, {ld, lun, ports, "0"});
    };
    auto unmap = [](const std::string& wwn, const std::vector<std::string>& values) {
        return withL({"-F", "-d", "-z", "lun", "-u", wwn}, values);
    };
    expectRefused(sim, {{map("1", "3", "13"), errorTail("Error: Invalid port selected.", 2030)},
                        {map("1", "512", "1"), errorTail("Error: Invalid lun map index.", 2006)},
                        {map("3", "3", "1"), kBadLun}});

    const std::string done = "nodeWWN: 2000000000000C01, portWWN: 2100000000000C01\nVolumeNoID: 1, MappedLUNNO: 3\n";
    expectRun(sim, map("1", "3", "1"), done, 0);
    json third = dump(sim)["mappings"][2];
    EXPECT_EQ(third["name"], "Host 002        2100000000000C01");
    EXPECT_EQ(third["luns"], json::parse(R"([{"entry":16385,"lun":3}])"));
    EXPECT_EQ(third["controllerLun"], 4);

    // Ports accumulate in the entry.
    expectRun(sim, map("1", "3", "2"), done, 0);
    third = dump(sim)["mappings"][2];
    EXPECT_EQ(third["name"], "Host 002        2100000000000C01");
    EXPECT_EQ(third["luns"][0]["entry"], 0x6001);

    // The drive at another LUN of the same host, another drive on a used LUN.
    expectRefused(sim, {{map("1", "4", "1"), errorTail("LAPI call failed: Mapping exits for lun number.", 1013)},
                        {map("2", "3", "15"), errorTail("LAPI call failed: Bad Controller API Parameters.", 1001)}});

    EXPECT_EQ(lqcl(sim, map("2", "5", "15")).status, 0);
    EXPECT_EQ(dump(sim)["mappings"][2]["luns"][1]["entry"], 0x7802);

    expectRefused(sim, {{unmap(host, {"0", "7"}), "Error: LUN Mapping for LUN ID 7 does not exist" + kBadLun},
                        {unmap(host, {"2", "7"}), "\nInvalid remove mapping selection" + kBadSelection}});
    expectRun(sim, {"-F", "-d", "-z", "lun", "-u", "2000000000000C01", "-l", "0", "-m", "b"}, "Deleted LUN mapping 3\n",
              0);
    EXPECT_EQ(dump(sim)["mappings"][2]["luns"], json::parse(R"([{"entry":30722,"lun":5}])"));
    expectRun(sim, unmap("2000000000000A01", {"1", "0"}), "Deleted all LUN mappings\n", 0);
    EXPECT_EQ(dump(sim)["mappings"].size(), 2u);
    // A host without a map: nothing to do.
    expectRun(sim, unmap("2100000000000D01", {"1", "0"}), "", 0);
}

TEST(ConfigChanges, HotSparesAndNames) {
    Simulator sim(scenario({{"arrays", {array5(1, "Array 0"), array5(6, "Array 1")}}}));
    auto spare = [](int slot, const char* array) {
        return std::vector<std::string>{"-F", "-c", "-z", "arrayspare", "-u", drive(slot), "-l", array};
    };
    expectRefused(sim, {{spare(11, "64"), kBadArray}});
    expectRun(sim, spare(11, "255"), "\nCreated Hot spare \n", 0);
    EXPECT_EQ(lqcl(sim, spare(12, "1")).status, 0);
    EXPECT_EQ(dump(sim)["spares"], json::parse(R"([{"array":255,"drive":"5000C50000A0000B"},
                                                   {"array":1,"drive":"5000C50000A0000C"}])"));
    // A drive that is a member already: the controller refuses it.
    expectRefused(sim, {{spare(1, "255"), kCommandFailed},
                        {{"-F", "-d", "-z", "arrayspare", "-l", "2"}, errorTail("Error: Invalid spare index.", 2007)}});
    expectRun(sim, {"-F", "-d", "-z", "arrayspare", "-l", "0"}, "Deleted Hot spare \n", 0);
    EXPECT_EQ(dump(sim)["spares"].size(), 1u);

    expectRefused(sim, {{{"-F", "-s", "-z", "array", "-l", "0", "-m", "Array 1"},
                         "\nArray name already in use." + errorTail("Error: Invalid array name.", 2036)},
                        {{"-F", "-s", "-z", "array", "-l", "0", "-m", std::string(33, 'a')},
                         "\nError: Array name exceeds 32 characters" + kBadSelection},
                        {{"-F", "-s", "-z", "array", "-l", "2", "-m", "x"}, kBadArray}});
    expectRun(sim, {"-F", "-s", "-z", "array", "-l", "0", "-m", "fast"}, "setPoolName : Success, ret: 0", 0);
    EXPECT_EQ(dump(sim)["arrays"][0]["name"], "fast");
    expectRefused(sim, {{{"-F", "-s", "-z", "name", "-m", std::string(33, 'c')},
                         "\nError: Config name exceeds 32 characters" + kBadSelection}});
}

TEST(ConfigChanges, ARefusedSaveMakesTheWholeChangeAgain) {
    Simulator sim(scenario({{"arrays", {array5(1, "Array 0")}}}));
    sim.ctl("model", {"0", "refuse-config", R"({"count": 3, "reason": "save"})"});
    sim.clearCommands();
    std::string retries;
    for (int i = 1; i <= 3; ++i)
        retries += "\nInformation: Configuration change in progress. Retry: " + std::to_string(i) + "\n";
    expectRun(sim, {"-F", "-s", "-z", "name", "-m", "Lab"}, retries + "setConfigName : Success, ret: 0", 0);
    EXPECT_EQ(sentData(sim, "3b01a3").size(), 4u);
    EXPECT_EQ(dump(sim)["name"], "Lab");
    EXPECT_EQ(sim.ctl("model", {"0", "check-config"})["consistent"], true);
}

TEST(ConfigChanges, ArrayLifeParityCheckExpansionAndClear) {
    Simulator sim(scenario({{"arrays", {array5(1, "Array 0")}}, {"jobSeconds", {{"parityCheck", 60}}}}));
    const std::vector<std::string> parity = {"-F", "-s", "-z", "paritycheck"};
    expectRefused(sim, {{withL(parity, {"1", "0", "4"}), "\nError: Invalid mode selected " + kBadSelection}});
    expectRun(sim, withL(parity, {"1", "0", "1"}), "ParityCheck: Started, ret: 0", 0);
    expectRefused(sim, {{{"-F", "-d", "-z", "array", "-l", "0"},
                         "System busy.\n" + errorTail("Error: Array operation in progress:\n       (initialization, "
                                                      "expansion, rebuilding or parity check)\n",
                                                      2041)}});
    expectRun(sim, withL(parity, {"0", "0", "1"}), "ParityCheck: Started, ret: 0", 0);
    EXPECT_TRUE(sim.ctl("model", {"0", "jobs"})["parityCheck"].is_null());

    // Sixteen new drives do not fit the expansion record.
    std::vector<std::string> expand = {"-F", "-s", "-z", "expandarray", "-l", "0", "-l", "16"};
    for (int s = 6; s <= 16; ++s) expand.insert(expand.end(), {"-u", drive(s)});
    expectRefused(sim, {{expand, "Error: At most 15 drives can be given\n" + kBadDevice}});
    expectRun(sim, {"-F", "-s", "-z", "expandarray", "-l", "0", "-l", "2", "-u", drive(6), "-u", drive(7)},
              "Array expanded successfully :0", 0);
    EXPECT_EQ(dump(sim)["arrays"][0]["drives"].size(), 7u);
    // The expansion advances with the emulator's clock.
    sim.ctl("freeze");
    sim.ctl("advance", {"150"});
    expectRun(sim, {"-C", "-g", "-z", "expandarraypercent"}, "\nArray Expand Percent Complete :50\n", 0);

    expectRefused(sim, {{{"-F", "-d", "-z", "array", "-l", "9"}, "Error:Invalid ArrayID: 9\n" + kBadArray}});
    expectRun(sim, {"-F", "-s", "-z", "clearconfig"}, "ClearConfig: Success, ret:0", 0);
    EXPECT_EQ(dump(sim)["arrays"].size(), 0u);
    expectRefused(sim, {{{"-F", "-s", "-z", "clearconfig"}, errorTail("Error: No valid configuration exists.", 2023)}});
}

// The rank read before a cache change: a reply cut short on one path is read
// again on the other, not taken for a rank with other settings.
TEST(ConfigChanges, CacheParametersSentOnlyWhenTheyDiffer) {
    Simulator sim(scenario({{"arrays", {array5(1, "Array 0")}}}));
    const std::vector<std::string> args = {"-F", "-s", "-z", "arraycachesettings", "-l", "0", "-l", "1", "-l", "2",
                                           "-l", "0", "-l", "1", "-l", "1", "-l", "0"};
    expectRun(sim, args, "Cache Parameters Set\n", 0);
    sim.inject("sg0", "short-reply", R"({"cdb": "3C0104"})");
    expectRun(sim, args, "Cache Parameters Set\n", 0);
    // Write-back, battery and fault tolerance (0x19); read-ahead 1, write-back 2: sent once.
    EXPECT_EQ(sentCdbs(sim, "3b019c"), (std::vector<std::string>{"3b019c00191200001000"}));
}

// Spinning an array and its self test: the bytes sent, what the drives do, and the refusals.
TEST(ConfigChanges, ArraySpinAndFunctionalTest) {
    Simulator sim(scenario({{"features", {"apm"}}, {"arrays", {array5(1, "Array 0")}}}));
    // 256 would reach the controller as array 0.
    expectRefused(sim, {{{"-F", "-s", "-z", "apmspin", "-l", "0", "-l", "2"}, "Error: Invalid Selection\n" + kBadSelection},
                        {{"-F", "-s", "-z", "apmspin", "-l", "256", "-l", "0"}, kBadArray},
                        {{"-F", "-s", "-z", "apmtest", "-l", "256"}, kBadArray}});
    EXPECT_TRUE(sentCdbs(sim, "3b01d").empty());

    sim.ctl("freeze");
    expectRuns(sim, {
        {{"-F", "-s", "-z", "apmspin", "-l", "0", "-l", "0"}, "Drive in array index[0] spun  down successfully\n", 0},
        {{"-D", "-g", "-z", "apmstatus", "-l", "3", "-l", "1"},
         "Drive WWN       : 5000C50000A00003\nDrive Group     : Drive belongs to array 0\nDrive APM Status: Drive Spun Down\n", 0},
        {{"-F", "-s", "-z", "apmspin", "-l", "0", "-l", "1"}, "Drive in array index[0] spun  up successfully\n", 0},
        {{"-F", "-s", "-z", "apmtest", "-l", "0"}, "Functional verification started on array index 0", 0},
        {{"-D", "-g", "-z", "apmtest", "-l", "5", "-l", "1"}, "Drive under test: 1\n", 0},
    });
    EXPECT_EQ(sentCdbs(sim, "3b01d"),
              (std::vector<std::string>{"3b01dd00000000001000", "3b01dd01000000001000", "3b01df00000000001000"}));
    // Each spin is one configuration change: started, then saved.
    EXPECT_EQ(sentCdbs(sim, "3b0180").size(), 2u);
    EXPECT_EQ(sentCdbs(sim, "3b0182").size(), 2u);

    Simulator plain(scenario({{"arrays", {array5(1, "Array 0")}}}));
    expectRun(plain, {"-F", "-s", "-z", "apmtest", "-l", "0"}, errorTail("LAPI call failed: APM feature not enabled.", 1014), 1);
}

// The snapshot, overwrite data area (ODA) and volume copy commands of both
// snapshot firmware generations.

// Three logical drives; drive 2 is the internal drive holding ODA 0, which
// is assigned to drive 0. Drive 0 has two snapshots, listed newest first.
std::string snapshotScenario(bool r2_2) {
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
    Simulator sim(snapshotScenario(true));
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
    Simulator sim(snapshotScenario(false));
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
    json s = json::parse(snapshotScenario(true))["systems"][0];
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
    Simulator sim(snapshotScenario(true));
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
    Simulator sim(snapshotScenario(true));
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
