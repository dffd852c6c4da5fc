#include "support/file_utils.h"
#include "support/string_utils.h"
#include "support/trace.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

// Only the bounds: overlong, unterminated, null and too-small inputs.
TEST(StringAndFileUtils, BoundsAndNullInputs) {
    EXPECT_EQ(padr("TWENTY_CHARACTERS_20", ' ', 16), "TWENTY_CHARACTERS_20");  // never cut
    // An unterminated array is read to its length only; a zero byte ends the text early.
    const uint8_t full[8] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}, early[8] = {'A', 'B', 0, 'D', 'E', 'F', 'G', 'H'};
    EXPECT_EQ(bytearray2string(full, 8), std::string("ABCDEFGH\0", 9));
    EXPECT_EQ(bytearray2string(early, 8), std::string("AB\0", 3));
    EXPECT_EQ(bytearray2string(full, 0), std::string("\0", 1));
    EXPECT_FALSE(isPathIncluded(nullptr));
    EXPECT_FALSE(fileExists(nullptr));
    char tiny[4];
    errno = 0;
    EXPECT_EQ(getModuleName(tiny, sizeof tiny), nullptr);
    EXPECT_EQ(errno, ERANGE);
}

// The dump's bounds: a partial last row, no rows for a length of zero or less, a small buffer not overrun.
TEST(Trace, DumpStopsAtTheDataAndTheBuffer) {
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
