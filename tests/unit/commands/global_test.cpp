#include "commands/global.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class GlobalTest : public testing::Test {
protected:
    void SetUp() override {
        Global::string.clear();
        Global::fErrorHandled = 0;
        Global::s_errorCode = 0;
        Global::fMode = 0;
    }
};

TEST_F(GlobalTest, FormatFollowsTheOutputModeAndPrintsLargeValuesUnsigned) {
    Global::fMode = 1;
    Global::format(255);
    Global::append(" ");
    Global::format(0xFFFFFFFFu);
    Global::fMode = 0;
    Global::append(" ");
    Global::format(255);
    Global::append(" ");
    Global::format(0x80000000u);
    EXPECT_EQ(Global::string, "0xFF 0xFFFFFFFF 255 2147483648");
}

TEST_F(GlobalTest, OnlyTheFirstErrorIsReportedAndSuccessResetsTheStatus) {
    Global::errorHandler(0);
    EXPECT_EQ(Global::string, "");
    EXPECT_EQ(Global::s_errorCode, 0);
    Global::append("Error: Controller B invalid\n");
    Global::errorHandler(2013);
    Global::errorHandler(1007);
    EXPECT_EQ(Global::string, "Error: Controller B invalid\n\nError: Invalid controller index.\nReturn code: 2013\n");
    EXPECT_EQ(Global::s_errorCode, 1);
    EXPECT_EQ(Global::fErrorHandled, 1);
    Global::errorHandler(0);
    EXPECT_EQ(Global::s_errorCode, 0);
}

// Messages the commands show end to end are checked there.
TEST_F(GlobalTest, MessagesOfTheTableAndUnknownCodes) {
    const std::pair<uint32_t, const char*> cases[] = {
        {1000, "LAPI call failed: Timeout."},
        {1015, "LAPI call failed: Asynchronous configuration handshake feature not enabled."},
        {1020, "LAPI call failed: Configuration unavailable."},
        {2037, "Error: No LUN mappings found for the specified Host and Logical Disk."},
        {2042, "Array has not been fully initialized."},
    };
    for (const auto& [code, text] : cases) EXPECT_STREQ(Global::message(code), text) << code;
    for (uint32_t code : {1999u, 2000u, 2038u, 2040u, 2043u, 2044u, 3000u, 0xFFFFFFFFu}) {
        SetUp();
        Global::errorHandler(code);
        EXPECT_EQ(Global::string, "\nError: This error code is unknown!\nReturn code: " +
                                      std::to_string(static_cast<int>(code)) + "\n") << code;
    }
}

TEST_F(GlobalTest, TheSharedTextGrowsPastItsOldFixedSize) {
    std::string line(1000, 'x');
    for (int i = 0; i < 100; ++i) Global::append("%s\n", line.c_str());
    Global::errorHandler(2004);
    EXPECT_EQ(Global::string.substr(0, 1001), line + "\n");
    EXPECT_EQ(Global::string.substr(100u * 1001u), "\nError: Invalid array index.\nReturn code: 2004\n");
}

}  // namespace
