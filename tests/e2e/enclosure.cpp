// End-to-end tests of the enclosure library (-E): the built lqcl against
// tolvo-sim enclosures set up for the edge cases, whole outputs compared with
// the documented report texts; and the emulator's SES pages checked with
// sg_ses, an independent decoder.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ses/ses_model.h"
#include "unit/ses/sg_ses_compare.h"
#include "texts.h"

using nlohmann::json;
using namespace testsupport;
using namespace e2e;

namespace {

// Two enclosures of 10 and 3 drives; `model` overrides keys of the system.
std::string scenario(const json& model) {
    json system = {{"enclosures",
                    {{{"number", 1}, {"slots", 10}, {"drives", {{"wwnBase", "5000C50000A00001"}}}},
                     {{"number", 2}, {"slots", 3}, {"drives", {{"wwnBase", "5000C50000B00001"}}}}}}};
    system.update(model);
    return testsupport::twoPathScenario("", 0, system);
}

// Enclosure 1 of a SAS system with a failing fan, a hot controller, a missing
// controller and power supply, a sensor without a reading and descriptors
// with and without ";" after their keys.
const json kSasEnclosure = {
    {"number", 1},
    {"chassis", "2425"},
    {"vendor", "TOLVO"},
    {"revision", "0312"},
    {"serial", "SN0123456789ABC"},
    {"panelId", "007"},
    {"slots", 12},
    {"elements",
     {{{"kind", "temperature"}, {"index", 0}, {"raw", 0}},
      {{"kind", "temperature"}, {"index", 1}, {"celsius", 25}},
      {{"kind", "temperature"}, {"index", 10}, {"celsius", 55}},
      {{"kind", "fan"}, {"index", 1}, {"status", 4}},
      {{"kind", "controller"}, {"index", 0}, {"text", "TP=ABC123;SN=XYZ;"}},
      {{"kind", "controller"}, {"index", 1}, {"status", 5}},
      {{"kind", "powerSupply"}, {"index", 0}, {"text", "TP=ABC123"}},
      {{"kind", "powerSupply"}, {"index", 1}, {"status", 5}},
      {{"kind", "sasExpander"}, {"index", 0}, {"status", 2}}}},
};

const std::string kSasReport =
    "\n***************SES Information***************\n\nNumber of Enclosures     : 1\n\n"
    "------------ Enclosure 1 ------------\n\nOverall Status           : OK\nEnclosure ID on Panel    : 007\n"
    "Enclosure Serial Number  : SN0123456789ABC\nVendor                   : TOLVO   \n"
    "Product                  : SB-2425-SAS-ENCL\nKor Version              : 03.12\n"
    "Chassis                  : 8200 | 2U24\n\nAlarms                   : 1\n    Alarm 1 status       : OK\n\n"
    "Fans                     : 4\n    Overall status       : Failed\n\nTemperature Sensors      : 12\n"
    "    Overall status       : Non-Critical\n\n    Ambient Temperature  : OK (temperature reading n/a)\n"
    "    Midplane Temperature : OK ( 25 C /  77 F)\n\nControllers              : 2\n    Number Installed     : 1\n\n"
    "Controller 0\n    Status               : OK\n    FRU Number           : ABC123\n    Serial Number        : XYZ\n"
    "    Temperature          : Non-Critical ( 55 C / 131 F)\n    SAS Expander Status  : Critical\n"
    "    Midplane Interconnect: OK\n\nController 1\n    Status               : Missing\n"
    "    FRU Number           : n/a\n    Serial Number        : n/a\n    Temperature          : n/a\n"
    "    SAS Expander Status  : n/a\n    Midplane Interconnect: n/a\n\nPower Cooling Modules    : 2\n"
    "    Number Installed     : 1\n    Overall status       : Missing\n\nPower Cooling Module 1\n"
    "    Status               : OK\n    FRU Number           : \n    Serial Number        : \n"
    "    Fan 1                : OK\n    Fan 2                : Failed\n"
    "    Inlet Temperature    : OK ( 25 C /  77 F)\n    Hotspot Temperature  : OK ( 25 C /  77 F)\n\n"
    "Power Cooling Module 2\n    Status               : Missing\n    FRU Number           : n/a\n"
    "    Serial Number        : n/a\n    Fan 1                : n/a\n    Fan 2                : n/a\n"
    "    Inlet Temperature    : n/a\n    Hotspot Temperature  : n/a\n\nDrives                   : 12\n"
    "    Drive  1             : OK\n    Drive  2             : OK\n    Drive  3             : OK\n"
    "    Drive  4             : OK\n    Drive  5             : OK\n    Drive  6             : OK\n"
    "    Drive  7             : OK\n    Drive  8             : OK\n    Drive  9             : OK\n"
    "    Drive 10             : OK\n    Drive 11             : Missing\n    Drive 12             : Missing\n\n\n";

TEST(Enclosure, SesReportOfTheControllersEnclosure) {
    Simulator sim(scenario({{"productType", 19}, {"ses", {{"enclosures", {kSasEnclosure}}}}}));
    // "sesinfo" without a number asks for enclosure 0; from product type 19
    // the controller's own enclosure is reported whatever the number.
    expectRun(sim, {"-E", "-g", "-z", "sesinfo"}, kSasReport, 0);
    // A group-0 opcode: the sg driver sends its six CDB bytes.
    EXPECT_EQ(sentCdbs(sim, "1c01"),
              (std::vector<std::string>{"1c0101200000", "1c0102200000", "1c0105200000", "1c0107200000"}));

    // allinfo: the identity (hexadecimal numbers under -X), then the report.
    const std::string identity =
        "\n\n***********Enclosure 0x1 information***********\n\nEnclosure WWN(HEX)        :50050CC000A00001"
        "\nVendor Identifier         : TOLVO   \nProduct Identification    : SB-2425-SAS-ENCL"
        "\nProduct Revision Level    : 0312\nProduct Serial Number     : SN0123456789ABC"
        "\nNumber of sub enclosures  : 0x0\nNumber of element types   : 0xC";
    expectRun(sim, {"-X", "-E", "-g", "-z", "allinfo", "-l", "1"}, identity + kSasReport, 0);
    expectRun(sim, {"-E", "-g", "-z", "prodrevision", "-l", "11"}, kBadEnclosure, 1);

    // The control interface changes the enclosure: another chassis code
    // prints an empty chassis line; a pulled supply is missing.
    json args = {{"kind", "controller"}, {"index", 1}, {"status", 1}};
    ASSERT_FALSE(sim.ctl("model", {"0", "ses-set", args.dump()}).contains("error"));
    expectParts(sim, {"-E", "-g", "-z", "sesinfo", "-l", "1"},
                {"    Number Installed     : 2\n\nController 0\n",
                 "Controller 1\n    Status               : OK\n    FRU Number           : IOM-12G\n"
                 "    Serial Number        : IM010002\n    Temperature          : OK ( 25 C /  77 F)\n"});
}

TEST(Enclosure, OtherChassisCodes) {
    const std::pair<const char*, const char*> cases[] = {{"1235", "8200 | 2U12\n"}, {"2435", "8200 | 4U24\n"}, {"2426", ""}};
    for (const auto& [chassis, line] : cases) {
        Simulator sim(scenario({{"ses", {{"enclosures", {{{"number", 1}, {"chassis", chassis}}}}}}}));
        expectParts(sim, {"-E", "-g", "-z", "sesinfo"},
                    {std::string("Kor Version              : 01.02\nChassis                  : ") + line + "\nAlarms "});
    }
}

TEST(Enclosure, OlderEnclosureThroughDriveLoops) {
    // Product type 18: the pages come through the drives of the enclosure.
    // Enclosure 2's drives report no SES target and it answers on loop 1 only.
    json ses = {{"enclosures",
                 {{{"number", 2}, {"layout", "legacy"}, {"target", "none"}, {"loops", {1}}, {"slots", 3}, {"fans", 1},
                   {"temperatures", 2},
                   {"elements",
                    {{{"kind", "powerSupply"}, {"index", 1}, {"status", 2}},
                     {{"kind", "temperature"}, {"index", 1}, {"celsius", 58}}}}}}}};
    Simulator sim(scenario({{"productType", 18}, {"ses", ses}}));
    sim.clearCommands();
    RunResult r = lqcl(sim, {"-E", "-g", "-z", "sesinfo", "-l", "2"});

    // Records 10 to 12 are enclosure 2: loop 0 at record + 1 (11), then loop 1
    // at target 1, which answers.
    std::vector<std::string> reads;
    for (const auto& cdb : sentCdbs(sim, "3c01f0")) reads.push_back(cdb.substr(6, 4));
    EXPECT_EQ(reads, (std::vector<std::string>{"0b1c", "811c", "0b1c", "811c"}));

    // Layout: Device (3), power supply (2), fan (1), temperature (2), door
    // lock (1), alarm (1), enclosure (1). Elements are taken at 12 + 4 x (3 + k).
    const std::string ps = [] {
        std::string s;
        const char* status[] = {"Unsupported", "OK"};
        const char* requested[] = {"No", "Yes"};
        for (int i = 0; i < 2; ++i)
            s += "\n\nPower Supply " + std::to_string(i + 1) + ":" + "\n\tStatus                    : " + status[i] +
                 "\n\tAC Fail                   : No\n\tDC Fail                   : No"
                 "\n\tDC Overcurrent            : No\n\tDC Overvoltage            : No"
                 "\n\tDC Undervoltage           : No\n\tFailure                   : No"
                 "\n\tOff                       : No\n\tOvertemp Fail             : No"
                 "\n\tRequested On              : " + requested[i];
        return s;
    }();
    const std::string expected =
        "\n\n***************SES Information***************"
        "\nNumber of Power Supplies  : 2\nNumber of Fans            : 1\nNumber of Temp Sensors    : 2"
        "\nNumber of Alarms          : 1\nNumber of Door Locks      : 1\nNumber of Displays        : 0"
        "\nNumber of Devices         : 3"
        "\n\n----Power Supply Information----" + ps +
        "\n\n----Fan Information----\n\nFan 1 Information:\n\tStatus                    : Unsupported"
        "\n\tFan Speed                 : Fan Error\n\tFail                      : No"
        "\n\tOff                       : No\n\tRequest on                : No\n\n----Temperature Information----"
        "\n\nTemperature Sensor 1 Information  :\n\tStatus                    : Unsupported"
        "\n\tOvertemperature Failure   : No\n\tOvertemperature Warning   : No\n\tTemperature in C          : -20"
        "\n\tUnder Temperature Failure : No\n\tUnder Temperature Warning : No"
        "\n\nTemperature Sensor 2 Information  :\n\tStatus                    : OK"
        "\n\tOvertemperature Failure   : No\n\tOvertemperature Warning   : No\n\tTemperature in C          : 25"
        "\n\tUnder Temperature Failure : No\n\tUnder Temperature Warning : No\n\n----Door Lock Information----"
        "\n\nDoor Lock 1 Information  :\n\tDoor Lock Status          : Door is locked\n\n----Alarm Information----"
        "\n\nAlarm 1 Information\n\tStatus                    : Unsupported"
        "\n\tCritical Tone             : No\n\tInformational Tone        : No"
        "\n\tNoncritical Tone          : No\n\tRemind State Tone         : No"
        "\n\tRequest Mute              : No\n\tUnrecoverable Tone        : No"
        "\n";
    testsupport::expectResult(r, expected, 0);

    expectRun(sim, {"-E", "-g", "-z", "sesinfo"}, kBadEnclosure, 1);
    // Enclosure 1 has drives with targets: its identity comes on loop 0.
    expectParts(sim, {"-E", "-g", "-z", "prodrevision", "-l", "1"},
                {"\nProduct Identification    : SB-2425-SAS-ENCL"});
    // No enclosure 3: every try fails.
    expectRun(sim, {"-E", "-g", "-z", "enclosure", "-l", "3"}, kCommandFailed, 1);
}

TEST(Enclosure, RawStatusPage) {
    Simulator sim(scenario({{"productType", 18}, {"ses", {{"enclosures", {{{"number", 2}, {"layout", "legacy"}}}}}}}));
    json page = sim.ctl("model", {"0", "ses-page", R"({"enclosure":2,"page":2})"});
    ASSERT_TRUE(page.contains("hex")) << page.dump();
    const std::string hex = page["hex"], bytes = fromHex(hex);
    std::string expected, chars;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i % 16 == 0) expected += "\n", chars += "\n";
        if (i % 4 == 0) expected += " ";
        expected += hex.substr(2 * i, 2);
        if (bytes[i] != 0) chars += bytes[i];
    }
    expectRun(sim, {"-E", "-g", "-z", "enclosure", "-l", "2"}, expected + chars, 0);
}

TEST(Enclosure, CountsSlotsAndLocate) {
    Simulator sim(scenario(json::object()));
    sim.ctl("freeze");  // the locate time left is read below
    testsupport::expectRuns(sim, {
        {{"-E", "-n"}, "Enclosures: 2\n", 0}, {{"-E", "-n", "-z", "enclosure"}, "Enclosures: 2\n", 0},
        {{"-E", "-n", "-z", "device", "-l", "2"}, "Enc. [2] Devices 3\n", 0},
        {{"-X", "-E", "-n", "-z", "device", "-l", "1"}, "Enc. [0x1] Devices 0xA\n", 0},
        {{"-E", "-g", "-z", "device", "-l", "2", "-l", "0"}, "Enc [2] Device In index 0: 5000C50000B00001\n", 0},
        {{"-E", "-g", "-z", "device", "-l", "2", "-l", "3"}, "Error: Invalid index\n" + kBadDevice, 1},
        {{"-E", "-g", "-z", "deviceinslot", "-l", "1", "-l", "7"}, "Enc [1] Device In slot 7: 5000C50000A00007\n", 0},
        {{"-E", "-g", "-z", "deviceinslot", "-l", "2", "-l", "4"}, "Error: Invalid parameters\n" + kBadDevice, 1},
        {{"-E", "-s", "-z", "locate", "-l", "2", "-l", "60"}, "\nSetting drive LED to flash for 60 seconds\n", 0},
        {{"-E", "-s", "-z", "locate", "-l", "2", "-l", "61"}, kBadTiming, 1},
        {{"-E", "-s", "-z", "locate", "-l", "2", "-l", "0"}, kBadTiming, 1},
        {{"-E", "-s", "-z", "locate", "-l", "0", "-l", "5"},
         "\nThe enclosure index must be 1 and above\n" + kBadEnclosure, 1},
    });
    json state = sim.ctl("model", {"0", "ses-state"});
    EXPECT_EQ(state["enclosures"][1]["locates"], 1);
    EXPECT_EQ(state["enclosures"][1]["locateSeconds"], 60);
}

// Every page the emulator serves decodes cleanly with sg_ses, and the element
// statuses and temperatures sg_ses reads are those our decoder reads.
TEST(Enclosure, EmulatorPagesDecodeWithSgSes) {
    for (const char* layout : {"sas", "legacy"}) {
        json enclosure = kSasEnclosure;
        enclosure["layout"] = layout;
        if (std::string(layout) == "legacy") enclosure["elements"] = json::array();
        Simulator sim(scenario({{"ses", {{"enclosures", {enclosure}}}}}));
        for (json set : {json{{"kind", "temperature"}, {"index", 2}, {"celsius", 63}},
                         json{{"kind", "temperature"}, {"index", 1}, {"celsius", -3}},
                         json{{"kind", "alarm"}, {"status", 3}}, json{{"kind", "fan"}, {"status", 2}}})
            ASSERT_FALSE(sim.ctl("model", {"0", "ses-set", set.dump()}).contains("error"));

        std::vector<std::string> pages;
        testsupport::TempDir dir;
        const std::string file = dir.path() + "/pages.hex";
        std::ofstream out(file);
        for (int code : {1, 2, 5, 7}) {
            const std::string hex = sim.ctl("model", {"0", "ses-page", json{{"page", code}}.dump()})["hex"];
            for (size_t i = 0; i + 1 < hex.size(); i += 2) out << hex.substr(i, 2) << (i % 32 == 30 ? "\n" : " ");
            out << "\n";
            pages.push_back(fromHex(hex));
        }
        out.close();
        for (const char* pg : {"cf", "es", "th", "ed"}) {
            RunResult r = testsupport::run({"/usr/bin/sg_ses", "--inhex=" + file, "--status", std::string("--page=") + pg});
            EXPECT_EQ(r.status, 0) << layout << " " << pg << "\n" << r.out << r.err;
            EXPECT_EQ(r.err, "") << layout << " " << pg;
            EXPECT_EQ(r.out.find("<<<"), std::string::npos) << r.out;
            if (std::string(pg) != "es") continue;

            ses::SESModel model;
            ses::processConfigPage_SES2(model, reinterpret_cast<const uint8_t*>(pages[0].data()), pages[0].size());
            ses::processStatusPage_SES2(model, reinterpret_cast<const uint8_t*>(pages[1].data()), pages[1].size());
            EXPECT_EQ(sestest::compareWithSgSes(model, r.out, false), std::string(layout) == "sas" ? 43u : 22u) << layout;
        }
    }
}

}  // namespace
