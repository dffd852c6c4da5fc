#include "commands/controller_report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "commands/global.h"

namespace {

using wire::ALL_CONTROLLER_INFO_AND_FAIL_STRUCT;
using wire::CONTROLLER_INFO_STRUCT;

// A label padded to 44 columns, as every report line shows it.
std::string L(const std::string& label, size_t width = 44) {
    return "\n" + label + std::string(width > label.size() ? width - label.size() : 0, ' ') + ": ";
}

class ControllerReport : public testing::Test {
protected:
    void SetUp() override {
        Global::string.clear();
        Global::fMode = 0;
        std::memset(&r, 0, sizeof r);
        r.batteryState = 0xF1;
        r.batteryCapacity = 95;
        r.batteryHoldupHours = 72;
    }
    CONTROLLER_INFO_STRUCT r;
};

// Product type 7 with its co-processor is reported whole end to end.
TEST_F(ControllerReport, SectionsFollowTheProductType) {
    r.coProcessorPresent = 0xF1;
    commands::appendControllerRecord(r, 9);  // neither voltages nor temperatures
    EXPECT_EQ(Global::string.find("Voltage readings"), std::string::npos);
    EXPECT_EQ(Global::string.find("CoProcessor"), std::string::npos);
    EXPECT_EQ(Global::string.find("Temperature readings"), std::string::npos);

    Global::string.clear();
    commands::appendControllerRecord(r, 17);  // temperatures, no voltages, battery as a word
    EXPECT_EQ(Global::string.find("Voltage readings"), std::string::npos);
    EXPECT_NE(Global::string.find("Temperature readings"), std::string::npos);
    EXPECT_NE(Global::string.find(L("Battery Capacity") + "Fully charged"), std::string::npos);
}

TEST_F(ControllerReport, BatteryTexts) {
    struct Case {
        uint8_t state, capacity;
        uint32_t type;
        std::string tail;
    } cases[] = {
        {0xF1, 50, 17, L("Battery Status") + "Good" + L("Battery Capacity") + "Charging" + L("Battery Holdup Time") + "72 hours "},
        {0xF1, 89, 17, L("Battery Status") + "Good" + L("Battery Capacity") + "Failed" + L("Battery Holdup Time") + "72 hours "},
        {0xF1, 100, 17, L("Battery Status") + "Good" + L("Battery Capacity") + "Fully charged" + L("Battery Holdup Time") + "72 hours "},
        {0xF2, 0, 13, L("Battery Status") + "Power inline mode - Battery not present"},
        {0xF2, 0, 7, L("Battery Status") + "Battery failed or missing"},
        {0x00, 0, 13, L("Battery Status") + "Battery failed or missing"},
    };
    for (const auto& c : cases) {
        Global::string.clear();
        r.batteryState = c.state;
        r.batteryCapacity = c.capacity;
        commands::appendControllerRecord(r, c.type);
        ASSERT_GE(Global::string.size(), c.tail.size());
        EXPECT_EQ(Global::string.substr(Global::string.size() - c.tail.size()), c.tail) << int(c.state) << " " << c.type;
    }
}

TEST_F(ControllerReport, MonthsAndProductNames) {
    EXPECT_STREQ(commands::monthName(1), "January");
    EXPECT_STREQ(commands::monthName(12), "December");
    EXPECT_STREQ(commands::monthName(0), "Error");
    EXPECT_STREQ(commands::monthName(13), "Error");
    EXPECT_STREQ(commands::productTypeName(13), "K7102A DFM");
    EXPECT_STREQ(commands::productTypeName(19), "8200");
    EXPECT_STREQ(commands::productTypeName(16), "unknown");
    EXPECT_STREQ(commands::productTypeName(0), "unknown");
    EXPECT_EQ(commands::parityModeText(1), "Verify");
    EXPECT_EQ(commands::parityModeText(3), "Verify/ReWrite");
    EXPECT_EQ(commands::parityModeText(5), "0x5");
    EXPECT_EQ(commands::parityModeText(0), "0");
}

TEST_F(ControllerReport, CommonSectionWithOperationsInProgress) {
    ALL_CONTROLLER_INFO_AND_FAIL_STRUCT info;
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
