#include "support/trace.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/process.h"

namespace {

TEST(Trace, MasksAreSetAndClearedBitwiseAndNothingIsWrittenAnywhere) {
    g_ulPrintableTypes = 0xFFFFFFFF;
    g_ulPrintableDetail = 4;
    // What discovery start-up does: detail 4 and 2 off, every type off.
    DIDEDebugSetOutputDetail(4, 0);
    DIDEDebugSetOutputDetail(2, 0);
    DIDEDebugSetOutputTypes(0xFFFFFFFF, 0);
    EXPECT_EQ(g_ulPrintableDetail, 0u);
    EXPECT_EQ(g_ulPrintableTypes, 0u);
    DIDEDebugSetOutputDetail(0x9, 1);
    DIDEDebugSetOutputTypes(0x30, 1);
    EXPECT_EQ(g_ulPrintableDetail, 0x9u);
    EXPECT_EQ(g_ulPrintableTypes, 0x30u);
    DIDEDebugSetOutputTypes(0x10, 0);
    EXPECT_EQ(g_ulPrintableTypes, 0x20u);

    g_ulPrintableTypes = 0xFFFFFFFF;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    DIDEDebug(0xFFFFFFFF, 0xF, "visible? %d %s\n", 1, "no");
    DIDEDebugDumpBinaryDataToScreen(reinterpret_cast<const uint8_t*>("abc"), 3);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(Trace, ClearAllCreatesBothFilesEmptyAndTruncatesOldOnes) {
    g_ulCurrentFile = 1;
    testsupport::TempDir dir;
    auto old = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    std::ofstream(dir.path() + "/DIDEDebug1.txt") << "old trace";
    DIDEDebugClearAll();
    std::filesystem::current_path(old);
    for (const char* name : {"/DIDEDebug0.txt", "/DIDEDebug1.txt"}) {
        ASSERT_TRUE(std::filesystem::exists(dir.path() + name)) << name;
        EXPECT_EQ(std::filesystem::file_size(dir.path() + name), 0u) << name;
    }
    EXPECT_EQ(g_ulCurrentFile, 0u);
}

TEST(Trace, DumpRowsOffsetsPaddingAndDecodeColumn) {
    const std::string header = "   Data:\n"
                               "          00 01 02 03 04 05 06 07 08 09 10 11 12 13 14 15 <----Decode---->\n";
    uint8_t data[20];
    for (int i = 0; i < 20; ++i) data[i] = static_cast<uint8_t>(0x41 + i);
    data[1] = 0x00;
    data[2] = 0x9F;
    data[17] = '\n';
    char text[512];
    const std::string expected = header +
                                 "   0000:  41 00 9f 44 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50 A..DEFGHIJKLMNOP\n"
                                 "   0016:  51 0a 53 54                                     Q.ST            \n";
    EXPECT_EQ(formatBinaryDump(data, 20, text, sizeof text), static_cast<int>(expected.size()));
    EXPECT_EQ(std::string(text), expected);
    // A length of zero or less gives the header only; a small buffer is not overrun.
    for (int32_t len : {0, -5}) {
        formatBinaryDump(data, len, text, sizeof text);
        EXPECT_EQ(std::string(text), header);
    }
    char small[8];
    std::memset(small, 'x', sizeof small);
    EXPECT_GT(formatBinaryDump(data, 1, small, 5), 5);
    EXPECT_EQ(std::string(small), "   D");
    EXPECT_EQ(small[5], 'x');
}

}  // namespace
