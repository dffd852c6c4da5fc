#include "support/file_utils.h"
#include "support/string_utils.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>

#include "support/process.h"

namespace {

TEST(StringUtils, PaddingHexAndByteArrays) {
    EXPECT_EQ(padr("ab", '.', 5), "ab...");
    EXPECT_EQ(padr("", ' ', 3), "   ");
    EXPECT_EQ(padr("abcde", '.', 5), "abcde");
    EXPECT_EQ(padr("TWENTY_CHARACTERS_20", ' ', 16), "TWENTY_CHARACTERS_20");  // never cut
    for (auto [byte, text] : {std::pair<uint8_t, const char*>{0x00, "00"}, {0x05, "05"}, {0xAB, "ab"}, {0xFF, "ff"}})
        EXPECT_EQ(byte2hex(byte), text);
    // The text keeps its terminator; a zero byte ends it early.
    const uint8_t full[8] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}, early[8] = {'A', 'B', 0, 'D', 'E', 'F', 'G', 'H'};
    EXPECT_EQ(bytearray2string(full, 8), std::string("ABCDEFGH\0", 9));
    EXPECT_EQ(bytearray2string(early, 8), std::string("AB\0", 3));
    EXPECT_EQ(bytearray2string(full, 0), std::string("\0", 1));
}

TEST(StringUtils, FindSubstringInVectorTakesTheFirstMatch) {
    std::string found = "stale";
    EXPECT_FALSE(findSubstringInVector("x", {}, found));
    EXPECT_EQ(found, "");
    EXPECT_TRUE(findSubstringInVector("sg", {"/dev/sda", "/dev/sg1", "/dev/sg2"}, found));
    EXPECT_EQ(found, "/dev/sg1");
    EXPECT_FALSE(findSubstringInVector("nvme", {"/dev/sda"}, found));
    EXPECT_EQ(found, "");
}

TEST(FileUtils, ModulePathNameAndReadableFiles) {
    char bare[] = "lqcl", absolute[] = "/usr/local/bin/lqcl";
    EXPECT_STREQ(getModulePath(bare), "");
    EXPECT_STREQ(bare, "lqcl");
    EXPECT_STREQ(getModulePath(absolute), "/usr/local/bin/");
    EXPECT_TRUE(isPathIncluded("/x"));
    EXPECT_FALSE(isPathIncluded("x"));
    EXPECT_FALSE(isPathIncluded(nullptr));

    char buf[4096], self[4096], tiny[4];
    ASSERT_NE(getModuleName(buf, sizeof buf), nullptr);
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buf), std::string(self, static_cast<size_t>(n)));
    errno = 0;
    EXPECT_EQ(getModuleName(tiny, sizeof tiny), nullptr);
    EXPECT_EQ(errno, ERANGE);

    testsupport::TempDir dir;
    std::ofstream(dir.path() + "/present") << "x";
    EXPECT_TRUE(fileExists((dir.path() + "/present").c_str()));
    EXPECT_FALSE(fileExists((dir.path() + "/absent").c_str()));
    EXPECT_FALSE(fileExists(nullptr));
}

}  // namespace
