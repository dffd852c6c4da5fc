// Busy controllers, failed paths and lost systems as a user of lqcl sees them,
// against tolvo-sim with injected faults and its record of received commands.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/simulator.h"
#include "texts.h"

namespace {

using testsupport::errorTail;
using testsupport::expectRun;
using testsupport::runLqcl;
using testsupport::Simulator;
using namespace e2e;

// The default scenario: one TOLVO RAID 7000 (product type 8200) on sg0 and sg1.
const std::vector<std::string> kProductType = {"-C", "-g", "-z", "prodtype"};
const std::string kProductTypeReport = "\nController type is 8200";
// READ BUFFER mode 2, buffer 0x40: the controller information the report reads.
const std::string kControllerInfoCdb = "3c0240";

// Devices that received the controller information read, in order.
std::vector<std::string> infoReads(const Simulator& sim) {
    std::vector<std::string> devices;
    for (const auto& c : sim.commands())
        if (c["cdb"].get<std::string>().rfind(kControllerInfoCdb, 0) == 0) devices.push_back(c["device"]);
    return devices;
}

TEST(DeviceFailover, BusyControllerIsRetriedWithAWarningEachTime) {
    Simulator sim;
    sim.inject("sg0", "not-ready", R"({"cdb": "3C0240", "count": 3})");
    auto r = runLqcl(kProductType, sim.env());
    const std::string warning =
        "\n\nWARNING: RAID System 0 busy retry \\(#\\),\nLine=[0-9]+ File ='[^']+'\nMacro='\"TOLVO_GetControllerInfo\"'\n\n";
    std::string expected;
    for (char n : {'1', '2', '3'}) expected += std::regex_replace(warning, std::regex("#"), std::string(1, n));
    EXPECT_TRUE(std::regex_match(r.out, std::regex(expected + kProductTypeReport))) << r.out;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(infoReads(sim), (std::vector<std::string>{"sg0", "sg0", "sg0", "sg0"}));
}

TEST(DeviceFailover, FailedPathMovesToTheNextPathSilently) {
    Simulator sim;
    sim.inject("sg0", "fail-path", R"({"cdb": "3C0240"})");
    expectRun(sim, kProductType, kProductTypeReport, 0);
    EXPECT_EQ(infoReads(sim), (std::vector<std::string>{"sg0", "sg1"}));
}

TEST(DeviceFailover, ExclusiveOpenWaitsForAnotherUserOfTheDevice) {
    // Discovery opens each node three times (scan, INQUIRY, header read); the
    // information read then finds sg0 held by someone else.
    for (int busyOpens : {9, 10}) {
        Simulator sim;
        sim.inject("sg0", "ebusy-open", R"({"skip": 3, "count": )" + std::to_string(busyOpens) + "}");
        expectRun(sim, kProductType, kProductTypeReport, 0);
        // Nine refusals are absorbed by the open's ten attempts; ten fail the path.
        EXPECT_EQ(infoReads(sim), (busyOpens == 9 ? std::vector<std::string>{"sg0"} : std::vector<std::string>{"sg1"}));
    }
}

TEST(DeviceFailover, CommandRefusedByTheControllerIsNotRetried) {
    Simulator sim;
    sim.inject("sg0", "check", R"({"cdb": "3C0240", "key": 5, "asc": 36, "ascq": 0})");
    expectRun(sim, kProductType, kCommandFailed, 1);
    EXPECT_EQ(infoReads(sim), (std::vector<std::string>{"sg0"}));
}

TEST(DeviceFailover, PathsLostForGoodAreRediscoveredOnceThenNoHandle) {
    Simulator sim;
    // Discovery's INQUIRY and configuration header read get through; everything after fails.
    for (const char* sg : {"sg0", "sg1"}) sim.inject(sg, "fail-path", R"({"skip": 2, "forever": true})");
    expectRun(sim, kProductType, errorTail("LAPI call failed: No valid tolvo handle.", 1007), 1);
    EXPECT_EQ(infoReads(sim), (std::vector<std::string>{"sg0", "sg1"}));
    // One rediscovery: each node asked once more who it is.
    int inquiries = 0;
    for (const auto& c : sim.commands()) inquiries += c["cdb"].get<std::string>().rfind("12", 0) == 0 ? 1 : 0;
    EXPECT_EQ(inquiries, 4);
}

TEST(DeviceFailover, AtMostSevenPathSendsWhenEveryPathKeepsFailing) {
    Simulator sim;
    // Only the information read fails: every rediscovery finds both paths again.
    for (const char* sg : {"sg0", "sg1"}) sim.inject(sg, "fail-path", R"({"cdb": "3C0240", "forever": true})");
    expectRun(sim, kProductType, kCommandFailed, 1);
    EXPECT_EQ(infoReads(sim).size(), 7u);
}

}  // namespace
