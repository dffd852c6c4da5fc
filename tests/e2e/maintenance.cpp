// End-to-end tests of the maintenance commands: controller reset, shutdown,
// clock and statistics, firmware download, the drive commands, the system
// manager settings and the event log, run by the built lqcl against tolvo-sim. Whole outputs and
// exit statuses are compared with the documented texts; where the bytes sent
// are the point, the emulator's command record is checked.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "model/firmware_image.h"
#include "texts.h"

using nlohmann::json;
using namespace testsupport;
using namespace e2e;
using Cdbs = std::vector<std::string>;

namespace {

// One system on two paths: 12 drives in enclosure 1, RAID 5 over slots 1-5,
// a global spare in slot 6; `extra` overrides keys of the system.
std::string scenario(const json& extra = json::object()) {
    json system = {
        {"features", {"apm", "advancedPerformance", "failDrive"}},
        {"arrays", {{{"drives", testsupport::driveSlots(1, 5)}, {"level", 5}, {"chunkKb", 64}, {"name", "Array 0"},
                     {"state", "initialised"}}}},
        {"spares", {{{"drive", {{"enclosure", 1}, {"slot", 6}}}}}},
    };
    system.update(extra);
    return testsupport::twoPathScenario("", 12, system);
}

// Requests refused before anything is sent: controller B is absent, the
// firmware files are not images, and the system has no fail-drive command.
TEST(Maintenance, RequestsCheckedBeforeSending) {
    Simulator sim(scenario({{"features", {"apm"}}, {"controllers", {json::object(), {{"present", false}}}}}));
    const std::vector<std::string> reset = {"-C", "-s", "-z", "reset"}, clear = {"-C", "-s", "-z", "clearstats"};
    const std::vector<std::string> locate = {"-D", "-s", "-z", "locate"}, spin = {"-D", "-s", "-z", "apmspin"};
    const std::string range = "Error. Flash timing value out of range(Valid values: 1 - 120)\n" + kBadTiming;
    testsupport::TempDir dir;
    const std::string missing = dir.path() + "/missing.img", empty = dir.path() + "/empty.img",
                      big = dir.path() + "/big.img";
    std::ofstream(empty).close();
    std::ofstream(big, std::ios::binary).seekp((16 << 20)).put('x');
    const std::string cannotOpen = "\n" + errorTail("Error: Cannot open file specified.", 2014);
    expectRuns(sim, {
        {{"-C", "-s", "-z", "firmware", "-m", missing},
         "Error: Could not open file (" + missing + ")\n\n" + errorTail("Error: Memory Allocation Error.", 2001), 1},
        {{"-C", "-s", "-z", "firmware", "-m", empty}, "Error: " + empty + " is empty\n" + cannotOpen, 1},
        {{"-C", "-s", "-z", "drivefirmware", "-m", dir.path()},
         "Error: " + dir.path() + " is not a regular file\n" + cannotOpen, 1},
        {{"-C", "-s", "-z", "firmware", "-m", big},
         "Error: " + big + " is 16777217 bytes; a firmware image is at most 16777216 bytes\n" + cannotOpen, 1},
        {withL(reset, {"2"}), "Error: Controller A or B invalid\n" + kBadController, 1},
        {withL(reset, {"1"}), "Error: Controller B invalid\n" + kBadController, 1},
        {withL(reset, {"3"}), "Error: controller index invalid\n" + kBadController, 1},
        {{"-C", "-s", "-z", "shutdown", "-l", "0", "-l", "2"}, errorTail("Error: Invalid mode.", 2024), 1},
        {withL(clear, {"3", "0", "0"}), kBadController, 1},
        {withL(clear, {"0", "3", "0"}), errorTail("Error: Invalid port selected.", 2030), 1},
        {withL(clear, {"0", "0", "512"}), kBadLun, 1},
        {withL(locate, {"0", "0"}), range, 1},
        {withL(locate, {"0", "121"}), range, 1},
        {withL(spin, {"1", "11", "1"}), kBadEnclosure, 1},
        {withL(spin, {"49", "1", "1"}), errorTail("Error: Invalid slot index.", 2015), 1},
        {withL(spin, {"2", "1", "0"}), "Error: Drive is not an unused drive, failed drive or a hotspare\n" + kBadApm, 1},
        {withL(spin, {"2", "1", "2"}), kBadSelection, 1},
        {{"-D", "-s", "-z", "apmtest", "-l", "1", "-l", "1"},
         "Error: Drive is not an unused drive or a hotspare\n" + kBadApm, 1},
        {{"-D", "-s", "-z", "faildrive", "-l", "0", "-l", "1"}, "\nFail Drive for (ArrayID = 0, DriveID = 1) failed.", 0},
    });
    // No write was sent: no controller command, firmware, light, failing, spin or test.
    EXPECT_TRUE(sentCdbs(sim, "3b").empty());
}

TEST(Maintenance, ClearStatisticsResetAndFirmware) {
    Simulator sim(scenario());
    expectRun(sim, {"-C", "-s", "-z", "clearstats", "-l", "2", "-l", "1", "-l", "65535"},
              "\nController Statistics cleared\n", 0);
    EXPECT_EQ(sentCdbs(sim, "3b01c"), (Cdbs{"3b01cb01ffff00001000", "3b01cc01ffff00001000"}));

    sim.ctl("model", {"0", "controller-life", R"({"resetSeconds":30})"});
    expectRun(sim, {"-C", "-s", "-z", "reset", "-l", "0"}, "Reset Controller Successful\n", 0);
    EXPECT_EQ(sentCdbs(sim, "3b01c3"), (Cdbs{"3b01c301000000001000"}));
    // While controller A is down only B answers; the tool fails over to B's path.
    expectRun(sim, {"-C", "-g", "-z", "raidversion"}, firmwareReport("1", "0513", "211"), 0);
    sim.ctl("advance", {"31"});
    expectRun(sim, {"-C", "-g", "-z", "raidversion"}, firmwareReport("01", "0513", "211"), 0);
    EXPECT_EQ(sim.ctl("model", {"0", "maintenance"})["controllers"][0]["resets"], 1);

    // A firmware image goes out in chunks and is adopted at the next reset.
    testsupport::TempDir dir;
    const std::string path = dir.path() + "/fw.img";
    auto image = sim::model::makeFirmwareImage(1, 5, 14, "0514", "Dec 01 2026", 100000);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), 100000);
    sim.clearCommands();
    const std::string upload = "Uploading Controller F/W from the file : " + path + "\nF/W File Size = 100000 bytes\n";
    expectRun(sim, {"-C", "-s", "-z", "firmware", "-m", path}, upload + "Download firmware is successful\n", 0);
    EXPECT_EQ(sentCdbs(sim, "3b"), (Cdbs{"3b070000000000800000", "3b070000800000800000", "3b070001000000800000",
                                           "3b07000180000006a000"}));
    sim.ctl("model", {"0", "controller-life", R"({"resetSeconds":5})"});
    expectRun(sim, {"-C", "-s", "-z", "reset", "-l", "2"}, "Reset Controller Successful\n", 0);
    sim.ctl("advance", {"6"});
    expectRun(sim, {"-C", "-g", "-z", "raidversion"}, firmwareReport("01", "0514", "211", "Dec 01 2026"), 0);
    // The same image is not a drive I/O module image: the module refuses it.
    expectRun(sim, {"-C", "-s", "-z", "drivefirmware", "-m", path},
              upload + errorTail("Error: Fail to download firmware.", 2022), 1);
}

TEST(Maintenance, TimeSyncRetriesWhileControllerBRefuses) {
    for (int refusals : {19, 20}) {
        SCOPED_TRACE(refusals);
        Simulator sim(scenario());
        sim.inject("system:0", "check",
                   json{{"count", refusals}, {"cdb", "3b01c502"}, {"key", 5}, {"asc", 0x24}, {"ascq", 0}}.dump());
        const bool ok = refusals < 20;
        expectRun(sim, {"-C", "-s", "-z", "synctime"}, ok ? "Time Sync Successful\n" : kCommandFailed, ok ? 0 : 1);
        EXPECT_EQ(sentCdbs(sim, "3b01c501").size(), 20u);
        EXPECT_EQ(sentCdbs(sim, "3b01c502").size(), 20u);
    }
}

TEST(Maintenance, DriveList) {
    Simulator sim(scenario({{"enclosures", json::array()},
                            {"arrays", json::array()},
                            {"spares", json::array()},
                            {"drives",
                             {{{"enclosure", 2}, {"slot", 3}, {"wwn", "5000C500AABBCC01"}, {"capacityBlocks", 1953792}},
                              {{"enclosure", 2}, {"slot", 4}, {"wwn", "5000C500AABBCC02"}, {"capacityBlocks", 1953791},
                               {"failed", true}, {"serial", "ZZ01"}}}}}));
    auto line = [](const std::string& label, const std::string& value) {
        return "\n" + label + std::string(29 - label.size(), ' ') + ": " + value;
    };
    auto entry = [&](int position, int slot, int status, const std::string& wwn, int gb, const std::string& serial) {
        const std::string p = std::to_string(position);
        return "\n********* Entry " + p + " *********\n" + line("LoopID1", p) + line("LoopID2", p) +
               line("HardIDFromADISC", p) + line("EnclosureNo", "2") + line("SlotNo", std::to_string(slot)) +
               line("SES0_IDLoop1", "124") + line("SES0_IDLoop2", "124") + line("SES1_IDLoop1", "124") +
               line("SES1_IDLoop2", "124") + line("RankNo", "255") + line("DriveNo", "255") +
               line("DriveStatus", std::to_string(status)) + line("abNodeName", wwn) +
               line("Capacity", std::to_string(gb) + " GB") + line("MaxRaid5XORWriteSize", "256") +
               line("BlockSize", "512") + line("SESEnabled", "241") + line("ValidFirmwareImage", "241") +
               line("SES_ControlFlags", "0") + line("SES_ArrayFlags", "0") + line("SES_SlotId", std::to_string(slot - 1)) +
               line("VendorId", "SEAGATE ") + line("ProductId", "ST3300657SS     ") + line("ProductRevLevel", "0008") +
               "\n" + line("SerialNumber", serial);
    };
    const std::string first = entry(0, 3, 1, "5000c500aabbcc01", 1, "3SJ0    ");
    const std::string failed = entry(1, 4, 17, "5000c500aabbcc02", 0, "ZZ01    ");
    const std::string head = "\n===============Enclosure Drive Data============\n\nNumDrives  : 2";
    expectRuns(sim, {
        {{"-D", "-g", "-z", "alldriveinfostruct"}, head + "\nNoOfEntries: 2" + first + failed + "\n", 0},
        {{"-D", "-g", "-z", "alldriveinfostruct", "-l", "17"},
         head + "\nNoOfEntries: 1\nFiltered by Status = 17" + failed + "\n", 0},
        {{"-D", "-g", "-z", "name", "-l", "2"}, "\nError: Invalid device Index, Valid Range, 0 - 1\n" + kBadDevice, 1},
        {{"-D", "-n", "-z", "whatever"}, "Number of devices: 2\n", 0},
        {{"-D", "-g", "-z", "encnum", "-l", "1"}, "\nEnclosureNo: 2\n", 0},
        {{"-D", "-g", "-z", "driverevision", "-l", "1"},
         "\nVendorId                   : SEAGATE \nProductId                  : ST3300657SS     "
         "\nProductRevLevel            : 0008\nSerialNumber               : ZZ01    \n", 0},
        {withL({"-D", "-s", "-z", "apmspin"}, {"3", "2", "0"}), "Drive on slot[3] enclosure[2] spun  down successfully\n", 0},
        {{"-D", "-g", "-z", "apmstatusall"},
         "\n===============Drive APM Data============\n\nNoOfEntries: 2\n********* Entry 0 *********" +
             line("EnclosureNo", "2") + line("SlotNo", "3") + line("Drive Group", "Unused drive") +
             line("abNodeName", "5000C500AABBCC01") + line("Drive APM status", "Drive Spun Down - 0x01\n") +
             "\n********* Entry 1 *********" + line("EnclosureNo", "2") + line("SlotNo", "4") +
             line("Drive Group", "Failed drive\n") + line("abNodeName", "5000C500AABBCC02") +
             line("Drive APM status", "Drive Spun Up - 0x02\n") +
             "******************SUMMARY******************\nTotal number of spinning drives: 0\nTotal number of spun up "
             "drives: 1\nTotal number of spun down drives: 1\nTotal number of drive under APM test: 0\n\n", 0},
    });
}

TEST(Maintenance, LightSpinTestAndFailADrive) {
    Simulator sim(scenario());
    sim.ctl("freeze");
    expectRun(sim, {"-D", "-s", "-z", "locate", "-l", "7", "-l", "30"}, "Flashing Drive 7 LED for 30 seconds\n ", 0);
    EXPECT_EQ(sentCdbs(sim, "3b01c2"), (Cdbs{"3b01c201071e00001000"}));
    const std::vector<std::string> apmtest = {"-D", "-g", "-z", "apmtest", "-l", "6", "-l", "1"};
    expectRuns(sim, {
        {{"-D", "-s", "-z", "apmspin", "-l", "8", "-l", "1", "-l", "0"},
         "Drive on slot[8] enclosure[1] spun  down successfully\n", 0},
        {{"-D", "-g", "-z", "apmstatus", "-l", "8", "-l", "1"},
         "Drive WWN       : 5000C50000A00008\nDrive Group     : Unused drive\nDrive APM Status: Drive Spun Down\n", 0},
        {{"-D", "-s", "-z", "apmtest", "-l", "6", "-l", "1"}, "Functional verification started on slot[6] enclosure[1]\n", 0},
        {apmtest, "Drive under test: 1\n", 0},
        {{"-D", "-g", "-z", "state", "-u", "5000C50000A00006"}, "Device [5000C50000A00006] state: 245\n", 0},
        {{"-D", "-g", "-z", "unused"}, "Number of unused drives: 6\n", 0},
    });
    const std::string dump = "Tolvo diagnostic snapshot\nSystem WWN 2000001122334400\nUptime ms " +
                             std::to_string(sim.ctl("clock")["nowMs"].get<uint64_t>()) + "\nArrays 1, logical drives 0, drives 12\n";
    expectRun(sim, {"-C", "-g", "-z", "diagdump"}, "\n\n\n\nDiagnosticsSnapShot : GetDiagnosticsDump  : \n\nSize of Diag Dump = " +
              std::to_string(4 + dump.size()) + " (MAX:2000000)\n------DIAG DUMP BEGIN------\n" + dump +
              "\n------DIAG DUMP END------\n\n\n\nDisplay Diag Dump successful\n", 0);
    sim.ctl("advance", {"91"});
    expectRuns(sim, {
        {apmtest, "Drive completed test/not under test: 0\n", 0},
        // An array number that does not fit the command's byte is not sent (it would wrap to array 0).
        {{"-D", "-s", "-z", "faildrive", "-l", "256", "-l", "1"}, "\nFail Drive for (ArrayID = 256, DriveID = 1) failed.", 0},
        // Failing member 1 of array 0: the spare in slot 6 takes over and rebuilds.
        {{"-D", "-s", "-z", "faildrive", "-l", "0", "-l", "1"},
         "\nFail Drive for (ArrayID = 0, DriveID = 1) completed successfuly.", 0},
    });
    EXPECT_EQ(sentCdbs(sim, "3b01c8"), (Cdbs{"3b01c801000100001000"}));
    expectParts(sim, {"-C", "-g", "-z", "cntinfofailstruct"},
                {"\nRebuilding status  : Yes - Array:0, Drive:1 WWN:5000C50000A00006, Complete:0%\n"
                 "\nInitializing status: No\nExpanding status   : No\nVerifying status   : No\n"});
    expectRuns(sim, {
        {{"-C", "-g", "-z", "regenstate"}, "\nRegen In Progress : 1 (in progress) ", 0},
        {{"-D", "-g", "-z", "apmstatus", "-l", "2", "-l", "1"},
         "Drive WWN       : 5000C50000A00002\nDrive Group     : Failed drive\n\nDrive APM Status: Drive Spun Up\n", 0},
        // A WWN that no drive has is said so.
        {{"-D", "-s", "-z", "faildrive", "-u", "5000C500000000FF"},
         "\nError: Drive with device WWN entered doesnt exist" + kBadDevice, 1},
    });
    sim.ctl("advance", {"45"});  // a quarter of the rebuild's three minutes
    expectRun(sim, {"-C", "-g", "-z", "regenpercentcomplete"}, "\nRegen Percent Complete :25\n", 0);
}

TEST(Maintenance, SystemParameters) {
    Simulator sim(scenario());
    const std::vector<std::string> set = {"-S", "-s", "-z", "sysparams"};
    expectRuns(sim, {
        {withL(set, {"1", "9", "1", "1", "1", "8", "40", "1", "1", "0", "0"}),
         "\nError: Invalid Rebuild Priority selection." + kBadSelection, 1},
        {withL(set, {"1", "91", "1", "1", "1", "8", "40", "1", "1", "0", "0"}),
         "\nError: Invalid Rebuild Priority selection." + kBadSelection, 1},
        {withL(set, {"1", "50", "2", "1", "1", "8", "40", "1", "1", "0", "0"}),
         "\nError: Invalid Auto Hot Spare selection." + kBadSelection, 1},
        {withL(set, {"3", "95", "1", "1", "1", "8", "40", "1", "1", "0", "0"}),
         "\nError: Invalid Log SES events selection." + kBadSelection, 1},
    });
    EXPECT_TRUE(sentCdbs(sim, "3b01").empty());

    for (const char* priority : {"10", "90"})
        expectRun(sim, withL(set, {"255", priority, "1", "0", "1", "64", "10", "1", "0", "0", "1"}),
                  "SetSystemParams:Succeeded, ret: 0\n", 0);
    // 255 leaves log SES alone (no 0xBA); the others go out in their order
    // inside the start (0x80) / save (0x82) bracket.
    Cdbs last = sentCdbs(sim, "3b01");
    ASSERT_GE(last.size(), 11u);
    Cdbs tail(last.end() - 11, last.end());
    for (auto& c : tail) c = c.substr(0, 8);
    EXPECT_EQ(tail, (Cdbs{"3b018000", "3b01bbf1", "3b019bf0", "3b01b9f1", "3b0197f1", "3b01b7f0", "3b01b8f0",
                          "3b0199f1", "3b01be0a", "3b019a5a", "3b018200"}));
    EXPECT_FALSE(sim.ctl("model", {"0", "dump-config"})["changeOpen"].get<bool>());
}

TEST(Maintenance, PowerControlAndQueueSettings) {
    Simulator sim(scenario());
    const std::vector<std::string> apm1 = {"-S", "-s", "-z", "apmlevel1"};
    expectRuns(sim, {
        {withL(apm1, {"1", "1", "0", "1", "3", "0", "0", "2", "30"}),
         "Error:Test Cycle time set to monthly but date settings are disabled.\n" + kBadApm, 1},
        {withL(apm1, {"1", "1", "0", "1", "2", "0", "3", "2", "30"}), "APM level 1 settings applied successfully\n", 0},
        {withL(apm1, {"0", "1", "1", "0", "2", "0", "0", "0", "0"}),
         "Error:Test Cycle time set to weekly but day settings are disabled.\n" + kBadApm, 1},
    });
    // Sunday 2026-12-06 07:05:09 on the controllers' clock: the next Tuesday 02:30 is 1 day 19:24:51 away.
    pinClock(sim);
    const std::vector<std::string> tqm = {"-S", "-s", "-z", "configuretqm"};
    expectRuns(sim, {
        {{"-S", "-g", "-z", "apmlevel1"}, "\nSpin down hotspare drives              :Disabled\n"
         "Spin down fail drives                  :Disabled\nSpin down unused drives                :Disabled\n"
         "Spin down and test hostpare drives     :Enabled\nSpin down and test unused drives       :Enabled\n"
         "APM1 Test cycle time                   :Weekly\nTest date of the month                 :Disabled\n"
         "APM1 Test day                          :Tuesday\nTest time                              :02 hrs 30 mins\n\n"
         "Time remaining to next functional test :01 days 19 hours 25 minutes\n", 0},
        {withL(tqm, {"1", "100"}), kBadTiming, 1},
        {withL(tqm, {"4", "10"}), kBadSelection, 1},
        {withL(tqm, {"2", "99"}), "\nTQM Configured Successfully\n", 0},
    });
    expectParts(sim, {"-S", "-g", "-z", "advanceperformance"},
                {"\nTQM Response Type:                    SCSI status task set full"
                 "\nTQM response time:                    99\n"});
    expectRuns(sim, {
        {withL({"-S", "-s", "-z", "apmlevel2"}, {"0", "1", "1", "3", "4", "5", "6"}),
         "APM level 2 settings applied successfully\n", 0},
        {{"-S", "-g", "-z", "apmlevel2"},
         "\nArray: 0\nManually spin down array    :Disabled\nSpin down array             :Disabled\n"
         "Spin down and test array    :Enabled\n\nAPM Idle Time for array spin down: 05 hrs 06 mins"
         "\nSpun down days to start test : 03 days\nSpun down hours to start test    : 04 hrs\n\n"
         "Time remaining to next functional test :03 days 04 hours 00 minutes\n"
         "Idle minutes for array spin down: 00 days 05 hours\n", 0},
    });
}

TEST(Maintenance, ConfigurationWwnAndAdvancePerformance) {
    Simulator sim(scenario());
    const std::vector<std::string> perf = {"-S", "-s", "-z", "advanceperformance"};
    expectRuns(sim, {
        {{"-C", "-s", "-z", "configwwn", "-l", "2"}, "Error: controller index invalid\n" + kBadController, 1},
        {{"-C", "-s", "-z", "configwwn", "-l", "1"}, "Changing Controller wwn to 2 successful \n", 0},
    });
    EXPECT_EQ(sim.ctl("model", {"0", "dump-config"})["wwn"], "2000001122334600");
    const std::string rateSet = "\nSetting of host data rate successful.";  // both ports, sent where they differ
    expectRuns(sim, {{{"-C", "-s", "-z", "datarate", "-l", "4"}, kBadSelection, 1},
                     {{"-C", "-s", "-z", "datarate", "-l", "2"},
                      "Changing Host Port 1 from 00 to 00 + conn:00 + rate:02\n"
                      "Changing Host Port 2 from 00 to 00 + conn:00 + rate:02\n" + rateSet, 0},
                     {{"-C", "-s", "-z", "datarate", "-l", "2"}, rateSet, 0}});
    EXPECT_EQ(sentCdbs(sim, "3b0198"), (Cdbs{"3b019820010000001000", "3b019820020000001000"}));
    expectRuns(sim, {
        {withL(perf, {"1", "0", "4"}), "\nError: Invalid sequential write setting\n" + kBadSelection, 1},
        {withL(perf, {"1", "0", "3"}), "\nAdvance performance options configured successfully\n", 0},
    });
    expectParts(sim, {"-S", "-g", "-z", "advanceperformance"},
                {"\nCache Flushing Command:               Enabled"
                 "\nTarget Command Thread Balance:        Disabled"
                 "\nSequential Write Stream Support:      High\n"});
}

// The event commands: the event store in a PEGASUS_HOME of the test's own.
constexpr int64_t kT = 1767225600;   // Thu Jan  1 00:00:00 2026 UTC
const std::string kStore = "/bin/LAPIEvents_2000001122334400_00000013.bin";
const std::string kRule = "=============================================================";

std::string eventScenario(bool controllerB = true) {
    json system = {{"productType", 0x13}, {"arrays", {{{"drives", {0, 1}}, {"level", 1}}}}};
    if (!controllerB) system["controllers"] = {json::object(), {{"present", false}}};
    return testsupport::onePathScenario("", 4, system);
}

class Events : public ::testing::Test {
protected:
    void SetUp() override { mkdir((home.path() + "/bin").c_str(), 0755); }
    std::map<std::string, std::string> env() const {
        return {{"LQCL_DEV_DIR", sim.dir()}, {"PEGASUS_HOME", home.path() + "/"}, {"TZ", "UTC"}};
    }
    RunResult lqcl(const std::vector<std::string>& args) { return testsupport::runLqcl(args, env(), sim.dir()); }
    void logEvent(int controller, int id, const std::string& payload, int64_t when) {
        json a = {{"controller", controller}, {"id", id}, {"payload", payload}, {"time", when}};
        ASSERT_FALSE(sim.ctl("model", {"0", "log-event", a.dump()}).contains("error"));
    }
    std::string store() const { return home.path() + kStore; }
    size_t storeSize(const std::string& path) const {
        struct stat st;
        return stat(path.c_str(), &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
    }

    Simulator sim{eventScenario()};
    TempDir home;
};

std::string banner(const std::string& count) {
    return "\n" + kRule + "\nThere are " + count + " events for RAID System WWN 2000001122334400\n" + kRule + "\n\n";
}

TEST_F(Events, ListingMergesBothControllersAndKeepsTheHistory) {
    expectResult(lqcl({"-F", "-g", "-z", "encevents"}),
                 banner("0") + "\n**** RAID System 0 There were no events this time ****\n", 0);
    EXPECT_EQ(storeSize(store()), 0u);
    logEvent(1, 0x03, "28", kT);    // equal times: controller 1's entry first
    logEvent(0, 0x56, "", kT);
    logEvent(0, 0xAC, "FF", kT + 61);
    const std::string first =
        "---- Event Number:     1: Event Time (On Controller): Thu Jan  1 00:00:00 2026\n"
        "  RAID System ID: 0  Severity: 3 (Information)  Source: 4 (Controller)\n  Text: 0x56^Event Log Cleared\n"
        "---- Event Number:     2: Event Time (On Controller): Thu Jan  1 00:00:00 2026\n"
        "  RAID System ID: 0  Severity: 1 (Critical)  Source: 4 (Controller)\n"
        "  Text: 0x03^Temp Limit. Temperature is 40 degrees Celsius (104 degrees Fahrenheit)\n"
        "---- Event Number:     3: Event Time (On Controller): Thu Jan  1 00:01:01 2026\n"
        "  RAID System ID: 0  Severity: 3 (Information)  Source: 63 (General)\n"
        "  Text: Unknown Message ID 0xac Payload: 0xFF 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 "
        "0x00 \n";
    expectResult(lqcl({"-F", "-g", "-z", "encevents"}),
                 first + banner("3") + "\n++++ RAID System 0 There were 3 events this time ++++\n", 0);

    // The next run adds only what is new; the count of one ID reads the texts.
    logEvent(1, 0x2F, "00", kT + 120);
    expectResult(lqcl({"-F", "-n", "-z", "encevents"}), "\nNumber Of  Records: 4\n", 0);
    expectResult(lqcl({"-F", "-n", "-z", "specificevent", "-l", "47"}), "Number of Events :1\n", 0);
    expectResult(lqcl({"-X", "-F", "-n", "-z", "latesteventcnt"}), "\nNumber Of Latest Events: 0x4\n", 0);
    EXPECT_EQ(storeSize(store()), 4 * 24u);
    expectResult(lqcl({"-F", "-n", "-z", "initialeventcnt"}), "\nNumber Of Initial Events: 4\n", 0);
}

TEST_F(Events, HexadecimalListingOfOneEvent) {
    logEvent(0, 0x1B, "02", kT);
    expectResult(lqcl({"-X", "-F", "-g", "-z", "encevents"}),
              "---- Event Number: 0x1: Event Time (On Controller): Thu Jan  1 00:00:00 2026\n"
              "  RAID System ID: 0  Severity: 0x1 (Critical)  Source: 0x3 (Configuration)\n"
              "  Text: 0x1B^Pool/Array Critical. Pool/Array Number 2\n" +
                  banner("0x1") + "\n++++ RAID System 0 There was 1 event this time ++++\n",
                 0);
}

TEST_F(Events, ClearEmptiesBothLogsAndTheStore) {
    logEvent(0, 0x56, "", kT);
    logEvent(1, 0x56, "", kT);
    EXPECT_EQ(lqcl({"-F", "-n", "-z", "encevents"}).out, "\nNumber Of  Records: 2\n");
    expectResult(lqcl({"-F", "-s", "-z", "clearevent"}), "Cleared\n", 0);
    EXPECT_EQ(storeSize(store()), 0u);
    // Each controller logs that its log was cleared.
    EXPECT_EQ(lqcl({"-F", "-n", "-z", "specificevent", "-l", "86"}).out, "Number of Events :2\n");
}

TEST_F(Events, TornStoreKeepsItsWholeRecords) {
    testsupport::writeFile(store(), std::string(24, '\0') + "x");
    RunResult r = lqcl({"-F", "-n", "-z", "encevents"});
    EXPECT_EQ(r.out, "\nNumber Of  Records: 1\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Warning: the event store " + store() + " ended in a partial record; its last 1 bytes were moved to " +
                         store() + ".torn.\n");
    EXPECT_EQ(storeSize(store() + ".torn"), 1u);
}

TEST_F(Events, OlderStoreIsCopiedAndKept) {
    const std::string older = home.path() + "/bin/LAPIEvents_0_2000001122334400.bin";
    testsupport::writeFile(older, std::string(48, '\0'));
    EXPECT_EQ(lqcl({"-F", "-n", "-z", "encevents"}).out, "\nNumber Of  Records: 2\n");
    EXPECT_EQ(storeSize(older), 48u);
    EXPECT_EQ(storeSize(store()), 48u);
}

TEST_F(Events, StoreThatIsNotAFileIsRefused) {
    mkdir(store().c_str(), 0755);
    RunResult r = lqcl({"-F", "-n", "-z", "encevents"});
    EXPECT_EQ(r.out, "\nLAPI call failed: Cannot open or write to file.\nReturn code: 1006\n");
    EXPECT_EQ(r.err, "Error: the event store " + store() + " is not a regular file.\n");
    EXPECT_EQ(r.status, 1);
}

TEST_F(Events, FailedWriteIsReportedAndLeavesTheStore) {
    // The store already holds the controller's one event, so the fetch adds
    // nothing and the rebuild that follows is the first write.
    const std::string record = std::string("\xEA\x07\x01\x01\x05\x00\x00\x00\x01\x56", 10) + std::string(14, '\0');
    testsupport::writeFile(store(), record);
    testsupport::writeFile(store() + ".new", "left by a process that died");
    logEvent(0, 0x56, "", kT);
    // A file size limit of 0: the rebuild's new file cannot be written.
    RunResult r = testsupport::run({"/bin/sh", "-c", "ulimit -f 0; trap '' XFSZ; exec \"$0\" -F -n -z initialeventcnt",
                                    LQCL_BINARY},
                                   env(), sim.dir());
    EXPECT_EQ(r.out, "\nNumber Of Initial Events: 1\n\nLAPI call failed: Cannot open or write to file.\nReturn code: 1006\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(storeSize(store()), 24u);
    EXPECT_NE(access((store() + ".new").c_str(), F_OK), 0);
}

TEST_F(Events, TwoProcessesFetchingAtOnceStoreEachEventOnce) {
    // Three merges race over a store that already holds the first 20 events:
    // each of the 20 new ones must be appended exactly once.
    for (int i = 0; i < 20; ++i) logEvent(i % 2, 0x56, "", kT + i);
    EXPECT_EQ(lqcl({"-F", "-n", "-z", "encevents"}).out, "\nNumber Of  Records: 20\n");
    for (int i = 20; i < 40; ++i) logEvent(i % 2, 0x56, "", kT + i);
    const std::string cmd = "\"$0\" -F -n -z encevents >/dev/null & \"$0\" -F -n -z encevents >/dev/null & "
                            "\"$0\" -F -n -z latesteventcnt >/dev/null & wait";
    RunResult r = testsupport::run({"/bin/sh", "-c", cmd, LQCL_BINARY}, env(), sim.dir());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(storeSize(store()), 40 * 24u);
}

TEST_F(Events, ShortLogReplyStoresOnlyTheEntriesReceived) {
    // Controller 1's log declares three entries, but its reply ends inside
    // the second (36 bytes of reply header, the log's 16, 24 + 10 of entries).
    for (int i = 0; i < 3; ++i) logEvent(0, 0x56, "", kT + i);
    sim.inject("sg0", "short-reply", R"({"cdb": "3C0246", "length": 86})");
    expectResult(lqcl({"-F", "-n", "-z", "encevents"}), "\nNumber Of  Records: 1\n", 0);
    // The next whole reply brings the two others, once each.
    expectResult(lqcl({"-F", "-n", "-z", "encevents"}), "\nNumber Of  Records: 3\n", 0);
    expectResult(lqcl({"-F", "-n", "-z", "specificevent", "-l", "86"}), "Number of Events :3\n", 0);
}

TEST_F(Events, ControllerBMissingStillStoresControllerA) {
    Simulator single(eventScenario(false));
    json a = {{"controller", 0}, {"id", 0x56}, {"time", kT}};
    single.ctl("model", {"0", "log-event", a.dump()});
    auto e = env();
    e["LQCL_DEV_DIR"] = single.dir();
    expectResult(testsupport::runLqcl({"-F", "-n", "-z", "encevents"}, e, single.dir()), "\nNumber Of  Records: 1\n",
                 0);
}

}  // namespace
