#include "commands/controller_report.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "commands/global.h"

namespace {

// The sections and battery texts of each product type are checked end to end
// (e2e Reports.SectionsAndBatteryTextsFollowTheProductType).

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
