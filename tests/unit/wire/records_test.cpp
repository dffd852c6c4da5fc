// Controller records: the field offsets are checked at compile time next to
// each record; these tests check the byte order of the field types and the
// rules computed from the records.
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

TEST(WireRecords, ConfigurationHeaderValidityRule) {
    struct Case { size_t offset; uint8_t value; bool valid; };
    const Case cases[] = {
        {0, 0x00, true},      // length low byte alone may be zero
        {0xAA, 0x00, false},  // valid byte zero
        {0xAB, 0xF2, false}, {0xD0, 0x00, false}, {0xD1, 0xFF, false},
        {0xAB, 0xF1, true},  {0xD0, 0xF1, true},  {0xD1, 0xF0, true},
    };
    for (const auto& c : cases) {
        wire::CONFIG_STORAGE_HEADER_STRUCT h{};
        h.length.set(0x100);
        h.headerValid = 1;
        h.singleControllerMode = h.backgroundVerify = h.autoHotSpare = 0xF0;
        reinterpret_cast<uint8_t*>(&h)[c.offset] = c.value;
        EXPECT_EQ(wire::isValidConfigHeader(h), c.valid) << std::hex << c.offset;
    }
    wire::CONFIG_STORAGE_HEADER_STRUCT zero{};
    zero.headerValid = 1;
    zero.singleControllerMode = zero.backgroundVerify = zero.autoHotSpare = 0xF0;
    EXPECT_FALSE(wire::isValidConfigHeader(zero));   // length word zero
}

TEST(WireRecords, LogicalDriveIdentifier) {
    wire::wwn8 cfg{};
    cfg.set(0x2000AABBCCDDEEFFULL);
    EXPECT_EQ(wire::logicalDriveIdentifier(0x0123, cfg), 0x2123AABBCCDDEEFFULL);
    EXPECT_EQ(wire::logicalDriveIdentifier(0x0F00, cfg), 0x2F00AABBCCDDEEFFULL);

}

}  // namespace
