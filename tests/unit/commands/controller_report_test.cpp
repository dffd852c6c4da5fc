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
        std::memcpy(r.name, "Controller-A", 12);
        r.actualWwn.set(0x2000001122334455ull);
        r.configWwn.set(0x20000011223344AAull);
        r.totalPowerOnCount.set(42);
        r.powerOnTime.set(3723);         // 1 h 2 min 3 s
        r.totalPowerOnTime.set(90061);   // 25 h 1 min 1 s
        r.clock.year.set(2026);
        r.clock.month = 12;
        r.clock.day = 6;
        r.clock.hour = 7;
        r.clock.minute = 5;
        r.clock.second = 9;
        r.fwMajor = 5;
        r.fwMinor = 13;
        std::memcpy(r.fwBuild, "0005", 4);
        std::memcpy(r.fwCompileDate, "Nov 30 2026     ", 16);
        std::memcpy(r.fwCompileTime, "12:00:00        ", 16);
        r.hostLoop1Id = 3;
        r.hostLoop2Id = 0xFF;
        r.cpldVersion = 7;
        r.processorSpeed.set(800);
        r.processorMemory.set(512);
        r.mv12V.set(12050);
        r.mv5VIn.set(5000);
        r.mv5VFused.set(4990);
        r.mvCore3V3.set(3300);
        r.mvCore3V3Backup.set(3310);
        r.mvCore1V8.set(1800);
        r.mvCore1V8Memory.set(1795);
        r.mvBattery.set(8400);
        r.mvCore1V5.set(1500);
        r.mvCore1V35.set(1350);
        r.mvDriveInterfaceCore.set(1000);
        r.mvHostInterfaceCore.set(1005);
        r.airTemperature = 31;
        r.expanderTemperature = 45;
        r.processorTemperature = 52;
        r.batteryState = 0xF1;
        r.batteryCapacity = 95;
        r.batteryHoldupHours = 72;
    }
    CONTROLLER_INFO_STRUCT r;
};

TEST_F(ControllerReport, WholeRecordInDecimal) {
    commands::appendControllerRecord(r, 7);
    const std::string expected =
        L("Name") + "Controller-A" +
        L("Configuration WWN") + "20000011223344AA" +
        L("Actual WWN") + "2000001122334455" +
        L("Total Power on Count") + "42" +
        L("Power on Time") + "1 hours 2 minutes 3  seconds" +
        L("Total Power on Time") + "25 hours 1 minutes 1 seconds\n" +
        "Controller Date                             : December 6 2026" +
        L("Controller Time") + "07:05:09 " +
        L("F/W Version") + "5.13 Build 0005" +
        L("F/W Compile Date") + "Nov 30 2026     " +
        L("F/W Compile Time") + "12:00:00        " +
        L("Host Loop1 Up, Host Loop1 ID") + "3" +
        "\nHost Loop2 Down" +
        L("Controller CPLD Version") + "7" +
        L("Processor Speed") + "800" +
        L("Processor RAM") + "512" +
        "\n\n-------------Voltage readings-------------" +
        L("Controller 12V") + "12.05V" +
        L("Controller 5V-In") + "5.00V" +
        L("Controller 5V Fused") + "4.99V" +
        L("Core 3.3V Core") + "3.30V" +
        L("Core 3.3V Backup") + "3.31V" +
        L("Core 1.8V core") + "1.80V" +
        L("Core 1.8V DDR") + "1.79V" +   // 1.795 rounds to even in binary
        L("Controller Battery Voltage") + "8.40V" +
        L("Core 1.5V") + "1.50V" +
        L("Core 1.35V") + "1.35V" +
        L("Drive Interface Core Voltage") + "1.00V" +
        L("Host Interface Core Voltage") + "1.00V" +
        "\n\n-----------Temperature readings-----------" +
        L("Air Temperature") + "31C" +
        L("LSI Expander Temperature") + "45C" +
        L("CPU Temperature") + "52C" +
        "\n\n------Power supply & battery status-------" +
        L("Battery Status") + "Good" +
        L("Battery Capacity") + "95%" +
        L("Battery Holdup Time") + "72 hours ";
    EXPECT_EQ(Global::string, expected);
}

TEST_F(ControllerReport, HexadecimalModeLeavesVoltagesAndClockDecimal) {
    Global::fMode = 1;
    commands::appendControllerRecord(r, 7);
    const std::string& s = Global::string;
    EXPECT_NE(s.find(L("Power on Time") + "0x1 hours 0x2 minutes 0x3  seconds"), std::string::npos);
    EXPECT_NE(s.find(L("Total Power on Count") + "0x2A"), std::string::npos);
    EXPECT_NE(s.find(L("Controller 12V") + "12.05V"), std::string::npos);
    EXPECT_NE(s.find("December 6 2026"), std::string::npos);
    EXPECT_NE(s.find(L("F/W Version") + "0x5.0xD Build 0005"), std::string::npos);
}

TEST_F(ControllerReport, SectionsFollowTheProductType) {
    r.coProcessorPresent = 0xF1;
    r.coProcessorVersion = 2;
    r.coProcessorSpeed.set(600);
    r.coProcessorMemory.set(256);
    r.ethernetPortCount = 2;
    commands::appendControllerRecord(r, 7);
    std::string withCo = Global::string;
    EXPECT_NE(withCo.find(L("CoProcessor Speed", 22) + "600 MHz"), std::string::npos);
    EXPECT_NE(withCo.find(L("CoProcessor RAM", 22) + "256 MB"), std::string::npos);
    EXPECT_NE(withCo.find(L("LinkRatePort1", 23) + "0"), std::string::npos);

    Global::string.clear();
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

TEST_F(ControllerReport, CommonSection) {
    ALL_CONTROLLER_INFO_AND_FAIL_STRUCT info;
    std::memset(&info, 0, sizeof info);
    info.receivedController = 2;
    info.receivedPort = 1;
    commands::appendCommonSection(info);
    EXPECT_EQ(Global::string,
              "\n\n****** Common ******\nCommand received on Controller 1 Port 0\n"
              "Rebuilding status  : No\nInitializing status: No\nExpanding status   : No\nVerifying status   : No");

    Global::string.clear();
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
