#include "commands/controller_report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "commands/global.h"

namespace {

// A label padded to 44 columns, as every report line shows it.
std::string L(const std::string& label) { return "\n" + label + std::string(44 - label.size(), ' ') + ": "; }

// Product type 7 with its co-processor is reported whole end to end; these are
// the other types' sections and battery texts.
TEST(ControllerReport, SectionsAndBatteryTextsFollowTheProductType) {
    const std::string good = L("Battery Status") + "Good" + L("Battery Capacity");
    const struct {
        uint32_t type;
        uint8_t state, capacity;
        std::string tail;
    } cases[] = {
        {9, 0xF1, 95, good + "95%" + L("Battery Holdup Time") + "72 hours "},
        {17, 0xF1, 50, good + "Charging" + L("Battery Holdup Time") + "72 hours "},
        {17, 0xF1, 89, good + "Failed" + L("Battery Holdup Time") + "72 hours "},
        {17, 0xF1, 100, good + "Fully charged" + L("Battery Holdup Time") + "72 hours "},
        {13, 0xF2, 0, L("Battery Status") + "Power inline mode - Battery not present"},
        {7, 0xF2, 0, L("Battery Status") + "Battery failed or missing"},
        {13, 0x00, 0, L("Battery Status") + "Battery failed or missing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + std::to_string(c.state) + " " + std::to_string(c.capacity));
        Global::string.clear();
        Global::fMode = 0;
        wire::CONTROLLER_INFO_STRUCT r;
        std::memset(&r, 0, sizeof r);
        r.coProcessorPresent = 0xF1;
        r.batteryState = c.state;
        r.batteryCapacity = c.capacity;
        r.batteryHoldupHours = 72;
        commands::appendControllerRecord(r, c.type);
        const std::string& out = Global::string;
        const bool voltages = c.type != 9 && c.type != 17;  // and with them the co-processor
        EXPECT_EQ(out.find("Voltage readings") != std::string::npos, voltages);
        EXPECT_EQ(out.find("CoProcessor") != std::string::npos, voltages);
        EXPECT_EQ(out.find("Temperature readings") != std::string::npos, c.type != 9);
        ASSERT_GE(out.size(), c.tail.size());
        EXPECT_EQ(out.substr(out.size() - c.tail.size()), c.tail);
    }
}

TEST(ControllerReport, MonthsProductNamesAndParityModes) {
    const std::pair<uint32_t, const char*> months[] = {{1, "January"}, {12, "December"}, {0, "Error"}, {13, "Error"}};
    for (const auto& [n, text] : months) EXPECT_STREQ(commands::monthName(n), text) << n;
    const std::pair<uint32_t, const char*> types[] = {{13, "K7102A DFM"}, {19, "8200"}, {16, "unknown"}, {0, "unknown"}};
    for (const auto& [n, text] : types) EXPECT_STREQ(commands::productTypeName(n), text) << n;
    const std::pair<uint8_t, const char*> modes[] = {{1, "Verify"}, {3, "Verify/ReWrite"}, {5, "0x5"}, {0, "0"}};
    for (const auto& [n, text] : modes) EXPECT_EQ(commands::parityModeText(n), text) << int(n);
}

TEST(ControllerReport, CommonSectionWithOperationsInProgress) {
    Global::string.clear();
    Global::fMode = 0;
    wire::ALL_CONTROLLER_INFO_AND_FAIL_STRUCT info;
    std::memset(&info, 0, sizeof info);
    info.receivedController = 2;
    info.receivedPort = 1;
    info.rebuild.inProgress = 0xF1;
    info.rebuild.array = 1;
    info.rebuild.drive = 4;
    info.rebuild.percent = 37;
    info.rebuild.driveWwn.set(0x5000C500ABCDEF01ull);
    info.parityCheck.inProgress = 0xF1;
    info.parityCheck.array = 2;
    info.parityCheck.mode = 5;
    info.parityCheck.percent = 10;
    info.parityCheck.errorCount.set(3);
    commands::appendCommonSection(info);
    EXPECT_EQ(Global::string,
              "\n\n****** Common ******\nCommand received on Controller 1 Port 0\n"
              "Rebuilding status  : Yes - Array:1, Drive:4 WWN:5000C500ABCDEF01, Complete:37%\n"
              "\nInitializing status: No\nExpanding status   : No"
              "\nVerifying status   : Yes - Array:2, Mode:0x5, Errors:3 Complete:10%\n");
}

}  // namespace
