#include "support/file_utils.h"
#include "support/string_utils.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

#include "support/process.h"

namespace {

TEST(StringUtils, PadrFillsButNeverCuts) {
    EXPECT_EQ(padr("ab", '.', 5), "ab...");
    EXPECT_EQ(padr("", ' ', 3), "   ");
    EXPECT_EQ(padr("abcde", '.', 5), "abcde");
    EXPECT_EQ(padr("TWENTY_CHARACTERS_20", ' ', 16), "TWENTY_CHARACTERS_20");
}

TEST(StringUtils, Byte2HexIsTwoLowerCaseDigits) {
    EXPECT_EQ(byte2hex(0x00), "00");
    EXPECT_EQ(byte2hex(0x05), "05");
    EXPECT_EQ(byte2hex(0xAB), "ab");
    EXPECT_EQ(byte2hex(0xFF), "ff");
}

TEST(StringUtils, ByteArrayToStringKeepsItsTerminator) {
    const uint8_t full[8] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'};
    std::string s = bytearray2string(full, 8);
    ASSERT_EQ(s.size(), 9u);
    EXPECT_EQ(s.substr(0, 8), "ABCDEFGH");
    EXPECT_EQ(s[8], '\0');

    const uint8_t early[8] = {'A', 'B', 0, 'D', 'E', 'F', 'G', 'H'};
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

TEST(FileUtils, ModulePathCutsAfterTheLastDelimiter) {
    char bare[] = "lqcl";
    EXPECT_STREQ(getModulePath(bare), "");
    EXPECT_STREQ(bare, "lqcl");
    char absolute[] = "/usr/local/bin/lqcl";
    EXPECT_STREQ(getModulePath(absolute), "/usr/local/bin/");
    EXPECT_TRUE(isPathIncluded("/x"));
    EXPECT_FALSE(isPathIncluded("x"));
    EXPECT_FALSE(isPathIncluded(nullptr));
}

TEST(FileUtils, ModuleNameIsThisExecutable) {
    char buf[4096];
    ASSERT_NE(getModuleName(buf, sizeof buf), nullptr);
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = '\0';
    EXPECT_STREQ(buf, self);

    char tiny[4];
    errno = 0;
    EXPECT_EQ(getModuleName(tiny, sizeof tiny), nullptr);
    EXPECT_EQ(errno, ERANGE);
}

TEST(FileUtils, FileExistsOnlyForReadableFiles) {
    testsupport::TempDir dir;
    std::string path = dir.path() + "/present";
    std::ofstream(path) << "x";
    EXPECT_TRUE(fileExists(path.c_str()));
    EXPECT_FALSE(fileExists((dir.path() + "/absent").c_str()));
    EXPECT_FALSE(fileExists(nullptr));
}

}  // namespace
