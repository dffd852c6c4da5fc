// Controller records: the byte order of their number types, the fixed
// validation header, and the rules computed from them (the layouts themselves
// are pinned by static_asserts beside each record).
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "wire/config.h"
#include "wire/controller.h"
#include "wire/drive.h"
#include "wire/requests.h"
#include "wire/snapshot.h"
#include "wire/vendor.h"

namespace {

template <typename T>
std::vector<uint8_t> bytes(const T& t) {
    const auto* p = reinterpret_cast<const uint8_t*>(&t);
    return {p, p + sizeof(T)};
}

template <typename T>
T from(const std::vector<uint8_t>& b) {
    T t{};
    std::memcpy(&t, b.data(), std::min(b.size(), sizeof(T)));
    return t;
}

TEST(WireRecords, ValidationHeaderIsSixteenFixedBytes) {
    const std::vector<uint8_t> expected = {0x54, 0x4F, 0x4C, 0x56, 0x4F, 0x2D, 0x56, 0x43,
                                           0x4D, 0x44, 0x5A, 0xA5, 0x07, 0x00, 0x01, 0x00};
    EXPECT_EQ(std::vector<uint8_t>(wire::TOLVO_VALIDATION_HEADER.begin(), wire::TOLVO_VALIDATION_HEADER.end()), expected);
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

TEST(WireRecords, NumbersAreLittleEndianAndWwnsMostSignificantFirst) {
    wire::CLOCK_STRUCT c{};
    c.year.set(2026);
    wire::HOST_CONFIG_STRUCT l{};
    l.capacityGb.set(300);
    wire::LUN_MAPPING_STRUCT m{};
    m.abNodeName.set(0x2000001B32A0B0C0ULL);
    const auto clock = bytes(c), lun = bytes(l), map = bytes(m);
    EXPECT_EQ(std::vector<uint8_t>(clock.begin(), clock.begin() + 2), (std::vector<uint8_t>{0xEA, 0x07}));
    EXPECT_EQ(std::vector<uint8_t>(lun.begin() + 4, lun.begin() + 6), (std::vector<uint8_t>{0x2C, 0x01}));
    EXPECT_EQ(std::vector<uint8_t>(map.begin(), map.begin() + 8),
              (std::vector<uint8_t>{0x20, 0x00, 0x00, 0x1B, 0x32, 0xA0, 0xB0, 0xC0}));
    EXPECT_EQ(from<wire::LUN_MAPPING_STRUCT>(map).abNodeName.get(), 0x2000001B32A0B0C0ULL);
}

TEST(WireRecords, LogicalDriveIdentifier) {
    wire::wwn8 cfg{};
    const uint8_t tail[8] = {0x20, 0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    std::memcpy(cfg.b, tail, 8);
    EXPECT_EQ(wire::logicalDriveIdentifier(0x0123, cfg), 0x2123AABBCCDDEEFFULL);
    EXPECT_EQ(wire::logicalDriveIdentifier(0x0F00, cfg), 0x2F00AABBCCDDEEFFULL);
}

}  // namespace
