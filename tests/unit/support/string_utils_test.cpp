#include "support/file_utils.h"
#include "support/string_utils.h"

#include <gtest/gtest.h>

#include <cerrno>
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

}  // namespace
