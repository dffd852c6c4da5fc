// End-to-end tests of the configuration changes, snapshots, overwrite data
// areas, volume copies and the saved configuration: the built lqcl against
// tolvo-sim scenarios made for the edge cases. Each case compares the whole
// output and status and then looks at the model (its configuration dump, the
// command record); a refused change must leave the configuration as it was.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
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
const std::string kBadMapLun = errorTail("Error: Invalid lun map index.", 2006);

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
    auto map = [&](const std::string& ld, const std::string& lun, const std::string& ports,
                   const std::string& what = "lun", const std::string& readOnly = "0") {
        return withL({"-F", "-c", "-z", what, "-u", "2000000000000C01", "-u", host}, {ld, lun, ports, readOnly});
    };
    auto unmap = [](const std::string& wwn, const std::vector<std::string>& values) {
        return withL({"-F", "-d", "-z", "lun", "-u", wwn}, values);
    };
    expectRefused(sim, {{map("1", "3", "13"), errorTail("Error: Invalid port selected.", 2030)},
                        {map("1", "512", "1"), kBadMapLun},
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
    expectRefused(sim, {{map("0", "6", "4", "mapsnapshot", "2"), "\nError: Invalid read only selection" + kBadSelection}});
    expectRun(sim, map("0", "6", "4", "mapsnapshot"),
              "nodeWWN: 2000000000000C01, portWWN: 2100000000000C01\nVolumeNoID: 0, MappedLUNNO: 6\n", 0);
    EXPECT_EQ(dump(sim)["mappings"][1]["luns"][1], json::parse(R"({"entry":5120,"lun":6})"));  // port 4, snapshot bit
    const std::vector<std::string> controllerLun = {"-C", "-s", "-z", "controllerlun"};  // not a LUN a host sees
    const std::string lunSet = "\nSetting controller lun successful\n";
    expectRefused(sim, {{withL(controllerLun, {"1", "0"}), "\nError: Lun Map Number has already been assigned.\n" + kBadMapLun}});
    expectRuns(sim, {{withL(controllerLun, {"1", "9"}), lunSet, 0}, {withL(controllerLun, {"0", "9"}), lunSet, 0}});
    EXPECT_EQ(sentCdbs(sim, "3b01aa"), (std::vector<std::string>{"3b01aa00090000001000", "3b01aaffff0000001000"}));
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
    // A save refused three times: the whole change is made again each time.
    sim.ctl("model", {"0", "refuse-config", R"({"count": 3, "reason": "save"})"});
    sim.clearCommands();
    std::string retries;
    for (int i = 1; i <= 3; ++i) retries += "\nInformation: Configuration change in progress. Retry: " + std::to_string(i) + "\n";
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
    expectRefused(sim, {{{"-F", "-s", "-z", "unassignoda", "-l", "2", "-l", "0"}, errorTail("Error: Invalid ODA index.", 2011)}});
    expectRun(sim, {"-F", "-s", "-z", "unassignoda", "-m", "oda"}, "Unassigned ODA 0 for LD :0", 0);  // by its drive's name
    expectRuns(sim, {{{"-F", "-s", "-z", "assignoda", "-l", "1", "-l", "0"}, "Assigned ODA 1 for LD :0", 0},
                     {{"-F", "-g", "-z", "ldassignflag", "-l", "0"}, "LD already assigned to ODA :1", 0}});
    EXPECT_EQ(sentRecords(sim, "71"), (std::vector<std::string>{"7100000a" "0000" "0000" "0000", "7100000a" "0100" "0000" "0200"}));
}

// The status of all volume copies: the first task's eleven values, the other three tasks idle.
std::string allCopyStatus(const std::vector<std::string>& first) {
    static const char* const kFields[] = {"bActive", "bDuplicationComplete", "bDuplicationType", "bDuplicationState",
                                          "wDuplicationSourceLun", "wDuplicationDestinationLun", "bDuplicationOdaNumber",
                                          "bDuplicationSnapshotNumber", "bCopyPercentComplete",
                                          "bSnapshotFlushPercentComplete", "bDuplicationPriority"};
    std::string s = "All Volume Copy Status\n======================\nwSize: 0x88\nbFeatureActivated: 0xf1\n"
                    "bNumActiveDuplicationProcesses: 0x0\nbNumCopyDuplicationProcessesAllowed: 0x4\n";
    for (unsigned t = 0; t < 4; ++t) {
        s += "\nLD Dup Task 0x" + std::to_string(t) + "\n====================\n";
        for (size_t f = 0; f < 11; ++f) s += std::string(kFields[f]) + ": 0x" + (t == 0 ? first[f] : "0") + "\n";
    }
    return s;
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
        {{"-F", "-g", "-z", "vcopyallstatus"}, allCopyStatus({"f1", "f1", "1", "6", "0", "1", "ff", "ff", "64", "64", "5"}), 0},
        // A copy back, paused: state 7 is 5 for a copy back.
        {{"-F", "-s", "-z", "copyback", "-l", "0", "-l", "1", "-l", "0"}, "0\n", 0},
        {{"-F", "-g", "-z", "vcopystatus", "-l", "1"}, "\n4\n", 0},
        {{"-F", "-s", "-z", "vcopypause", "-l", "1"}, "", 0},
        {{"-F", "-g", "-z", "vcopystatus", "-l", "1"}, "\n5\n", 0},
        {{"-F", "-s", "-z", "vcopyabort", "-l", "1"}, "", 0},
        {{"-F", "-g", "-z", "vcopystatus", "-l", "1"}, "\n-3\n", 0},
    });
}

// Saving a system's configuration to a file and restoring it: the path rules,
// the refusals, the file's bytes, saves that fail part way, and the emulator
// started on a saved configuration.
constexpr size_t kImageSize = 940032;
const std::string kUnknownMinusOne = "\nError: This error code is unknown!\nReturn code: -1\n";

// One system behind one path; `extra` adds or replaces model keys.
std::string saveScenario(const std::string& wwn, const json& extra = json::object()) {
    json system = {{"wwn", wwn}};
    system.update(extra);
    return testsupport::onePathScenario("Save Test", 8, system);
}

// Two arrays, three logical drives and a host map.
json configured() {
    return {{"arrays",
             {{{"drives", {0, 1, 2}}, {"level", 5}, {"chunkKb", 64}, {"name", "Data"}},
              {{"drives", {3, 4}}, {"level", 1}, {"chunkKb", 128}, {"state", "trusted"}}}},
            {"logicalDrives",
             {{{"array", 0}, {"capacityGb", 100}, {"name", "vol0"}},
              {{"array", 0}, {"capacityGb", 50}, {"name", "vol1"}},
              {{"array", 1}, {"capacityGb", 20}, {"name", "vol2"}}}},
            {"mappings",
             {{{"node", "2000000000AA0001"},
               {"port", "2100000000AA0001"},
               {"name", "hostA"},
               {"luns", {{{"lun", 0}, {"logicalDrive", 0}, {"ports", 15}}, {{"lun", 3}, {"logicalDrive", 2}, {"ports", 1}}}}}}},
            {"spares", {{{"drive", 7}}}}};
}

std::string said(const std::string& line) { return "\n" + line + "\n"; }

// The refusal of a save over an existing file without the overwrite flag.
std::string exists(const std::string& path) {
    return said("File already exists: [" + path + "]") +
           said("Use: LQCL -F -g -z saveconfig -m <ConfigFileName> [-l <ConfigFileOverwrite>]") + kUnknownMinusOne;
}

// The committed image of system 0, rebuilt from the emulator's state file.
std::string committedImage(const Simulator& sim, const std::string& stateFile) {
    sim.ctl("save-state");
    std::string image(kImageSize, '\0');
    const json state = json::parse(readFile(stateFile));
    for (const auto& run : state["systems"][0]["configImage"])
        image.replace(run[0].get<size_t>(), run[1].get<std::string>().size() / 2, fromHex(run[1]));
    return image;
}

// The restore writes the tool sent (WRITE BUFFER, buffer 0x83), their data joined.
std::string restoreWrites(const Simulator& sim, size_t* commands = nullptr) {
    const std::vector<std::string> writes = testsupport::sentData(sim, "3b0283");
    if (commands) *commands = writes.size();
    std::string joined;
    for (const auto& w : writes) joined += w;
    return fromHex(joined);
}

TEST(SaveRestore, SavingTwiceNeedsTheOverwriteFlagAndTheFileIsTheImage) {
    TempDir work;
    const std::string state = work.path() + "/state.json";
    Simulator sim(saveScenario("2000001122334400", configured()), {"--state", state});
    const std::string path = work.path() + "/cfg.bin";

    const std::vector<std::string> save = {"-F", "-g", "-z", "saveconfig", "-m", path};
    const std::string savedTo = said("Configuration saved successfully to: [" + path + "]");
    expectRun(sim, save, savedTo, 0);
    const std::string saved = readFile(path);
    ASSERT_EQ(saved.size(), kImageSize);
    EXPECT_TRUE(saved == committedImage(sim, state));

    expectRuns(sim, {{save, exists(path), 1}, {withL(save, {"0"}), exists(path), 1}});
    writeFile(path, "123");
    expectRun(sim, withL(save, {"1"}), savedTo, 0);
    EXPECT_TRUE(readFile(path) == saved);
    // Nothing but the save itself and the emulator's state file is left in the directory.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(work.path()), {}), 2);

    // A link at the target is never written through.
    const std::string target = work.path() + "/elsewhere", link = work.path() + "/link.bin";
    writeFile(target, "777");
    std::filesystem::create_symlink(target, link);
    expectRun(sim, {"-F", "-g", "-z", "saveconfig", "-m", link}, exists(link), 1);
    expectRun(sim, {"-F", "-g", "-z", "saveconfig", "-m", link, "-l", "1"},
              said("Error writing to a file: [" + link + "]") + kUnknownMinusOne, 1);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(target), "777");
}

TEST(SaveRestore, PathRules) {
    Simulator sim(saveScenario("2000001122334400", configured()));
    TempDir work, programDir;
    // A copy of the tool: a bare name goes to the directory of the program.
    const std::string program = programDir.path() + "/lqcl";
    std::filesystem::copy_file(LQCL_BINARY, program);
    struct Case {
        std::vector<std::string> name;
        std::string expectedPath;
    } cases[] = {
        {{"-m", work.path() + "/"}, work.path() + "/raidsystemconfig.bin"},
        {{"-m", "bare.bin"}, programDir.path() + "/bare.bin"},
        {{}, programDir.path() + "/raidsystemconfig.bin"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {program, "-F", "-g", "-z", "saveconfig"};
        argv.insert(argv.end(), c.name.begin(), c.name.end());
        testsupport::expectResult(testsupport::run(argv, sim.env(), work.path()),
                                  said("Configuration saved successfully to: [" + c.expectedPath + "]"), 0,
                                  c.expectedPath);
        EXPECT_EQ(readFile(c.expectedPath).size(), kImageSize);
    }
    // The restore's default name is not the save's.
    testsupport::expectResult(
        testsupport::run({program, "-F", "-s", "-z", "restoreconfig", "-m", "raidsystem.cfg"}, sim.env()),
        said("Error opening a file: [raidsystem.cfg]") + kUnknownMinusOne, 1);
}

TEST(SaveRestore, RestoreRefusesWhatIsNotASavedImage) {
    Simulator sim(saveScenario("2000001122334400", configured()));
    TempDir work;
    const std::string dir = work.path();
    std::string image(kImageSize, '\0');
    image[1] = 0x58, image[2] = 0x0E;   // 940032, little-endian
    writeFile(dir + "/short.cfg", image.substr(0, 1000));
    writeFile(dir + "/long.cfg", image + '\0');
    image[1] = 0x57;
    writeFile(dir + "/field.cfg", image);
    std::filesystem::create_directory(dir + "/adir");
    // The restore of `name` refused with `why`.
    auto refused = [&](const std::string& name, const std::string& why) {
        return Case{{"-F", "-s", "-z", "restoreconfig", "-m", dir + name}, said(why) + kUnknownMinusOne, 1};
    };
    const std::string notSaved = " is not a saved configuration: ";
    expectRuns(sim, {
        refused("/missing.cfg", "Error opening a file: [" + dir + "/missing.cfg]"),
        refused("/adir", "Error opening a file: [" + dir + "/adir]"),
        refused("/short.cfg", "Error: [" + dir + "/short.cfg]" + notSaved +
                                  "it holds 1000 bytes, a saved configuration holds 940032 bytes."),
        refused("/long.cfg", "Error: [" + dir + "/long.cfg]" + notSaved +
                                 "it holds 940033 bytes, a saved configuration holds 940032 bytes."),
        refused("/field.cfg", "Error: [" + dir + "/field.cfg]" + notSaved +
                                  "its length field gives 939776 bytes, a saved configuration holds 940032 bytes."),
    });
    size_t sent = 0;
    restoreWrites(sim, &sent);
    EXPECT_EQ(sent, 0u);
}

TEST(SaveRestore, ABusySystemIsNotSaved) {
    json model = configured();
    model["arrays"][0]["state"] = "initialising";
    Simulator sim(saveScenario("2000001122334400", model));
    TempDir work;
    expectRun(sim, {"-F", "-g", "-z", "saveconfig", "-m", work.path() + "/cfg.bin"},
              said("Error: Save Config failed. System busy.") + kUnknownMinusOne, 1);
    EXPECT_FALSE(std::filesystem::exists(work.path() + "/cfg.bin"));
}

// A save into a file system that is full or read-only, in a private mount
// namespace: the earlier save stays as it was and nothing else is left.
TEST(SaveRestore, AFailedSaveLeavesNothingBehind) {
    if (testsupport::run({"/usr/bin/unshare", "-m", "true"}).status != 0) GTEST_SKIP() << "no mount namespaces here";
    Simulator sim(saveScenario("2000001122334400", configured()));
    TempDir mount;
    const std::string dir = mount.path();
    struct Case {
        const char* what;
        std::string setup;
    } cases[] = {
        {"full", "mount -t tmpfs -o size=512k tmpfs " + dir + " && printf old > " + dir + "/cfg.bin"},
        {"read-only", "mount -t tmpfs -o size=4m tmpfs " + dir + " && printf old > " + dir + "/cfg.bin && mount -o remount,ro " + dir},
    };
    for (const auto& c : cases) {
        const std::string script = c.setup + " && { " + LQCL_BINARY + " -F -g -z saveconfig -m " + dir +
                                   "/cfg.bin -l 1; echo \"status=$?\"; ls -A " + dir + "; cat " + dir + "/cfg.bin; }";
        RunResult r = testsupport::run({"/usr/bin/unshare", "-m", "sh", "-c", script}, sim.env());
        EXPECT_EQ(r.out, said("Error writing to a file: [" + dir + "/cfg.bin]") + kUnknownMinusOne +
                             "status=1\ncfg.bin\nold")
            << c.what << "\n" << r.err;
    }
}

TEST(SaveRestore, RoundTripIntoAnotherSystem) {
    Simulator source(saveScenario("2000001122334400", configured()));
    Simulator target(saveScenario("2000001122335500"));
    TempDir work;
    const std::string path = work.path() + "/copy.cfg";
    ASSERT_EQ(lqcl(source, {"-F", "-g", "-z", "saveconfig", "-m", path}).status, 0);

    target.clearCommands();
    expectRun(target, {"-F", "-s", "-z", "restoreconfig", "-m", path},
              said("Configuration restored successfully from: [" + path + "]"), 0);
    size_t writes = 0;
    EXPECT_TRUE(restoreWrites(target, &writes) == readFile(path));
    EXPECT_EQ(writes, 29u);   // 940,032 bytes in pieces of 32,768

    for (const char* query : {"rankconfigstruct", "lunmappingstruct", "regionmap"}) {
        RunResult a = lqcl(source, {"-F", "-g", "-z", query});
        RunResult b = lqcl(target, {"-F", "-g", "-z", query});
        EXPECT_EQ(a.status, 0);
        EXPECT_EQ(a.out, b.out) << query;
    }
}

// A saved configuration served by tolvo-sim: an administrator saves a system's
// configuration, starts the emulator on it and tries a change there first.
RunResult scenarioFromImage(const std::string& file) { return run({TOLVO_SIM_BINARY, "scenario-from-image", file}); }

TEST(Rehearsal, TheCopyOfASavedSystemReportsWhatTheOriginalDoes) {
    Simulator original;
    TempDir work;
    const std::string saved = work.path() + "/site.cfg", copyScenario = work.path() + "/site.json";
    ASSERT_EQ(lqcl(original, {"-F", "-g", "-z", "saveconfig", "-m", saved}).status, 0);
    RunResult made = scenarioFromImage(saved);
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(made.err, "");
    testsupport::writeFile(copyScenario, made.out);
    Simulator copy(copyScenario);
    for (const char* query : {"confighdrstruct", "rankconfigstruct", "hostconfigstruct", "lunmappingstruct", "regionmap"}) {
        RunResult a = lqcl(original, {"-F", "-g", "-z", query});
        RunResult b = lqcl(copy, {"-F", "-g", "-z", query});
        EXPECT_EQ(a.status, 0) << query;
        EXPECT_EQ(b.status, 0) << query;
        EXPECT_EQ(a.out, b.out) << query;
    }
    // A change made on the copy leaves the original as it was.
    ASSERT_EQ(lqcl(copy, {"-F", "-s", "-z", "logicaldrives", "-l", "0", "-m", "trial"}).status, 0);
    const std::vector<std::string> all = {"-F", "-g", "-z", "allinfo"};
    EXPECT_NE(lqcl(copy, all).out.find("\nName           : trial" + std::string(27, ' ') + "\n"), std::string::npos);
    EXPECT_NE(lqcl(original, all).out.find("\nName           : LD 0" + std::string(28, ' ') + "\n"), std::string::npos);
}

TEST(Rehearsal, WhatIsNotAWholeConsistentImageIsRefusedWithTheReason) {
    Simulator original;
    TempDir work;
    const std::string saved = work.path() + "/site.cfg";
    ASSERT_EQ(lqcl(original, {"-F", "-g", "-z", "saveconfig", "-m", saved}).status, 0);
    const std::string image = testsupport::readFile(saved);
    ASSERT_EQ(image.size(), kImageSize);

    std::string twice = image;  // rank 0's second member becomes its first drive again
    twice.replace(0x200 + 0x28, 8, image.substr(0x200 + 0x20, 8));
    std::string noWwn = image;  // the system WWN (header bytes 24-31) cleared
    noWwn.replace(24, 8, std::string(8, '\0'));
    std::string badLength = image;  // the length field (bytes 0-3) says 512
    badLength.replace(0, 4, std::string("\x00\x02\x00\x00", 4));
    struct Case {
        std::string file, bytes, error;
    } cases[] = {
        {"short.cfg", image.substr(0, 512), "not a saved configuration: it holds 512 bytes, a saved configuration holds 940032"},
        {"twice.cfg", twice, "not a consistent configuration: inconsistent configuration: drive in two places"},
        {"nowwn.cfg", noWwn, "not a consistent configuration: no system WWN"},
        {"length.cfg", badLength,
         "not a saved configuration: its length field gives 512 bytes, a saved configuration holds 940032"},
    };
    for (const auto& c : cases) {
        const std::string file = work.path() + "/" + c.file;
        testsupport::writeFile(file, c.bytes);
        RunResult r = scenarioFromImage(file);
        EXPECT_EQ(r.err, "tolvo-sim: " + file + ": " + c.error + "\n") << c.file;
        EXPECT_EQ(r.out, "") << c.file;
        EXPECT_EQ(r.status, 2) << c.file;
    }
    RunResult missing = scenarioFromImage(work.path() + "/none.cfg");
    EXPECT_EQ(missing.err, "tolvo-sim: " + work.path() + "/none.cfg: No such file or directory\n");
    EXPECT_EQ(missing.status, 2);
    RunResult directory = scenarioFromImage(work.path());
    EXPECT_EQ(directory.err, "tolvo-sim: " + work.path() + ": not a regular file\n");
    EXPECT_EQ(directory.status, 2);
}

}  // namespace
