// Controller records: the field offsets are checked at compile time next to
// each record; this test checks the byte order of the field types.
#include <vector>

#include <gtest/gtest.h>

#include "wire/config.h"

namespace {

template <typename T>
std::vector<uint8_t> bytes(const T& t) {
    const auto* p = reinterpret_cast<const uint8_t*>(&t);
    return {p, p + sizeof(T)};
}

TEST(WireRecords, CountsAreLittleEndianAndWwnsBigEndian) {
    wire::le16 a{};
    a.set(0x0102);
    wire::le32 b{};
    b.set(0x01020304);
    wire::le64 c{};
    c.set(0x0102030405060708ULL);
    wire::wwn8 w{};
    w.set(0x2000001122334455ULL);
    EXPECT_EQ(bytes(a), (std::vector<uint8_t>{2, 1}));
    EXPECT_EQ(bytes(b), (std::vector<uint8_t>{4, 3, 2, 1}));
    EXPECT_EQ(bytes(c), (std::vector<uint8_t>{8, 7, 6, 5, 4, 3, 2, 1}));
    EXPECT_EQ(bytes(w), (std::vector<uint8_t>{0x20, 0, 0, 0x11, 0x22, 0x33, 0x44, 0x55}));
    EXPECT_EQ(w.get(), 0x2000001122334455ULL);
    EXPECT_EQ(a.get(), 0x0102);
    EXPECT_EQ(b.get(), 0x01020304u);
    EXPECT_EQ(c.get(), 0x0102030405060708ULL);
}

}  // namespace
