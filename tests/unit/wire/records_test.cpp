// Controller records: the field offsets are checked at compile time next to
// each record; these tests check the byte order of the field types, the
// fixed header, and the rules computed from the records.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "wire/config.h"
#include "wire/controller.h"
#include "wire/drive.h"
#include "wire/requests.h"
#include "wire/vendor.h"

namespace {

template <typename T>
std::vector<uint8_t> bytes(const T& t) {
    const auto* p = reinterpret_cast<const uint8_t*>(&t);
    return {p, p + sizeof(T)};
}

TEST(WireRecords, ValidationHeaderIsSixteenFixedBytes) {
    const std::vector<uint8_t> expected = {0x54, 0x4F, 0x4C, 0x56, 0x4F, 0x2D, 0x56, 0x43,
                                           0x4D, 0x44, 0x5A, 0xA5, 0x07, 0x00, 0x01, 0x00};
    EXPECT_EQ(std::vector<uint8_t>(wire::TOLVO_VALIDATION_HEADER.begin(), wire::TOLVO_VALIDATION_HEADER.end()), expected);
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

    // A drive record read from the bytes a controller sends.
    std::vector<uint8_t> fixture(sizeof(wire::DRIVE_INFO_STRUCT), 0);
    fixture[4] = 12;
    fixture[11] = 17;
    fixture[12] = 0x50; fixture[19] = 0x0C;
    fixture[20] = 0x00; fixture[21] = 0xD0; fixture[22] = 0x1D;  // 1953792 blocks
    fixture[28] = 0x00; fixture[29] = 0x02;
    wire::DRIVE_INFO_STRUCT d{};
    std::memcpy(&d, fixture.data(), sizeof d);
    EXPECT_EQ(d.slotNo, 12);
    EXPECT_EQ(d.driveStatus, wire::kDriveStatusFailed);
    EXPECT_EQ(d.abNodeName.get(), 0x500000000000000CULL);
    EXPECT_EQ(d.capacity.get(), 1953792u);
    EXPECT_EQ(d.blockSize.get(), 512);
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

TEST(WireRecords, LogicalDriveIdentifierAndTheAddMappingPrefix) {
    wire::wwn8 cfg{};
    cfg.set(0x2000AABBCCDDEEFFULL);
    EXPECT_EQ(wire::logicalDriveIdentifier(0x0123, cfg), 0x2123AABBCCDDEEFFULL);
    EXPECT_EQ(wire::logicalDriveIdentifier(0x0F00, cfg), 0x2F00AABBCCDDEEFFULL);

    // The add-mapping payload is the first 1076 bytes of the map.
    wire::LUN_MAPPING_STRUCT m{};
    m.awLunMap[5].set(0xC005);
    m.wControllerLun.set(6);
    wire::CREATE_LUN_MAPPING_STRUCT c{};
    std::memcpy(&c, &m, sizeof c);
    EXPECT_EQ(c.awLunMap[5].get(), 0xC005);
    EXPECT_EQ(c.wControllerLun.get(), 6);
}

}  // namespace
