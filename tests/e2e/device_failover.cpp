// Busy controllers, failed paths and lost systems as a user of lqcl sees them,
// against tolvo-sim with injected faults and its record of received commands.
#include <gtest/gtest.h>

#include <array>
#include <regex>
#include <string>
#include <vector>

#include "texts.h"

namespace {

using namespace testsupport;
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

// Faults met by the information read: what the user sees, and which devices
// received the read in turn.
TEST(DeviceFailover, FailedPathsRefusalsAndBusyOpens) {
    const std::string failPath = R"({"cdb": "3C0240", "forever": true})";
    const struct {
        std::vector<std::array<std::string, 3>> faults;  // target, kind, parameters
        std::string out;
        int status;
        std::vector<std::string> reads;
        int inquiries;  // INQUIRY commands in all (discovery and rediscoveries); -1 not counted
    } cases[] = {
        // A failed path moves to the next path silently.
        {{{"sg0", "fail-path", R"({"cdb": "3C0240"})"}}, kProductTypeReport, 0, {"sg0", "sg1"}, 2},
        // Discovery opens each node three times (scan, INQUIRY, header read); the information
        // read then finds sg0 held by someone else: nine refusals are absorbed by the open's
        // ten attempts, ten fail the path.
        {{{"sg0", "ebusy-open", R"({"skip": 3, "count": 9})"}}, kProductTypeReport, 0, {"sg0"}, -1},
        {{{"sg0", "ebusy-open", R"({"skip": 3, "count": 10})"}}, kProductTypeReport, 0, {"sg1"}, -1},
        // A command the controller refuses is not retried.
        {{{"sg0", "check", R"({"cdb": "3C0240", "key": 5, "asc": 36, "ascq": 0})"}}, kCommandFailed, 1, {"sg0"}, -1},
        // Paths lost for good after discovery's INQUIRY and header read: one rediscovery, then no handle.
        {{{"sg0", "fail-path", R"({"skip": 2, "forever": true})"}, {"sg1", "fail-path", R"({"skip": 2, "forever": true})"}},
         errorTail("LAPI call failed: No valid tolvo handle.", 1007), 1, {"sg0", "sg1"}, 4},
        // Only the information read fails, so every rediscovery finds both paths again: at most seven sends.
        {{{"sg0", "fail-path", failPath}, {"sg1", "fail-path", failPath}},
         kCommandFailed, 1, {"sg0", "sg1", "sg0", "sg1", "sg0", "sg1", "sg0"}, -1},
    };
    for (const auto& c : cases) {
        Simulator sim;
        for (const auto& [target, kind, params] : c.faults) sim.inject(target, kind, params);
        expectRun(sim, kProductType, c.out, c.status);
        EXPECT_EQ(infoReads(sim), c.reads) << c.faults[0][1];
        if (c.inquiries >= 0) {
            EXPECT_EQ(testsupport::sentCdbs(sim, "12").size(), static_cast<size_t>(c.inquiries));
        }
    }
}

}  // namespace
