#include "commands/controller_report.h"

#include <gtest/gtest.h>

#include <string>

#include "commands/global.h"

namespace {

// The sections and battery texts of each product type, and the common section
// with a rebuild or a parity check in progress, are checked end to end (e2e
// Reports.SectionsAndBatteryTextsFollowTheProductType, Reports.ParityCheck...,
// Maintenance.LightSpinTestAndFailADrive).

TEST(ControllerReport, MonthsProductNamesAndParityModes) {
    const std::pair<uint32_t, const char*> months[] = {{1, "January"}, {12, "December"}, {0, "Error"}, {13, "Error"}};
    for (const auto& [n, text] : months) EXPECT_STREQ(commands::monthName(n), text) << n;
    const std::pair<uint32_t, const char*> types[] = {{13, "K7102A DFM"}, {19, "8200"}, {16, "unknown"}, {0, "unknown"}};
    for (const auto& [n, text] : types) EXPECT_STREQ(commands::productTypeName(n), text) << n;
    const std::pair<uint8_t, const char*> modes[] = {{1, "Verify"}, {3, "Verify/ReWrite"}, {5, "0x5"}, {0, "0"}};
    for (const auto& [n, text] : modes) EXPECT_EQ(commands::parityModeText(n), text) << int(n);
}

}  // namespace
