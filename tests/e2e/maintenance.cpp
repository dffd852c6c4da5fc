// End-to-end tests of the maintenance commands: controller reset, shutdown,
// clock and statistics, firmware download, the drive commands and the system
// manager settings, run by the built lqcl against tolvo-sim. Whole outputs and
// exit statuses are compared with the documented texts; where the bytes sent
// are the point, the emulator's command record is checked.
#include <gtest/gtest.h>

#include <fstream>
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
    expectRun(sim, {"-C", "-g", "-z", "raidversion"},
              "\n\n********************Controller 1 Information********************\n"
              "\nF/W Version      : 0513\nF/W Date         : Nov 12 2026\nCont B Version   : 211\n", 0);
    sim.ctl("advance", {"31"});
    expectParts(sim, {"-C", "-g", "-z", "raidversion"}, {"Controller 0 Information"});
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
    const std::string version = lqcl(sim, {"-C", "-g", "-z", "raidversion"}).out;
    EXPECT_EQ(version.find("0513"), std::string::npos) << version;
    EXPECT_NE(version.find("F/W Version      : 0514"), std::string::npos) << version;
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
    auto entry = [](int position, int slot, int status, const std::string& wwn, int gb, const std::string& serial) {
        auto line = [](const std::string& label, const std::string& value) {
            return "\n" + label + std::string(29 - label.size(), ' ') + ": " + value;
        };
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
    });
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
    expectRuns(sim, {
        {withL(perf, {"1", "0", "4"}), "\nError: Invalid sequential write setting\n" + kBadSelection, 1},
        {withL(perf, {"1", "0", "3"}), "\nAdvance performance options configured successfully\n", 0},
    });
    expectParts(sim, {"-S", "-g", "-z", "advanceperformance"},
                {"\nCache Flushing Command:               Enabled"
                 "\nTarget Command Thread Balance:        Disabled"
                 "\nSequential Write Stream Support:      High\n"});
}

}  // namespace
