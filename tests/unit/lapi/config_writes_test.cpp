// The pure rules of the configuration writes that the command line cannot
// reach whole: every requested RAID level, every RAID 50 drive count and the
// controller LUN of a full host map.
#include <gtest/gtest.h>

#include "lapi/config_writes.h"

namespace {

TEST(ConfigWrites, RequestedLevelsBecomeRankLevelCodes) {
    const struct { uint32_t level; uint8_t code; } cases[] = {
        {0, 0x00}, {1, 0x10}, {10, 0x10}, {3, 0x05}, {5, 0x05}, {6, 0x06},
        {13, 0x50}, {15, 0x50}, {30, 0x50}, {50, 0x50}, {2, 0x00}, {4, 0x00}, {0xFDFDFDFD, 0x00},
    };
    for (const auto& c : cases) EXPECT_EQ(LAPIPoolLevelCode(c.level), c.code) << c.level;
}

TEST(ConfigWrites, Raid50ParityGroupsAndTheDrivesTheyHold) {
    const struct { uint8_t drives, groups, kept; } cases[] = {
        {3, 1, 3},  {5, 1, 5},   {6, 2, 6},   {7, 2, 6},   {8, 2, 8},   {9, 3, 9},   {10, 2, 10},
        {11, 2, 10}, {12, 4, 12}, {13, 4, 12}, {14, 2, 14}, {15, 5, 15}, {16, 4, 16},
    };
    for (const auto& c : cases) {
        uint8_t drives = c.drives;
        EXPECT_EQ(LAPIPoolParityGroups(drives), c.groups) << int(c.drives);
        EXPECT_EQ(drives, c.kept) << int(c.drives);
    }
}

TEST(ConfigWrites, ControllerLunIsAboveTheHighestUsedLunElseTheLowestFree) {
    wire::le16 map[wire::kLunsPerMap];
    for (auto& e : map) e.set(wire::kLunNotMapped);
    EXPECT_EQ(LAPIControllerLunFor(map, 0xFFFF), 0);
    map[0].set(0x7800);
    map[7].set(0x7801);
    EXPECT_EQ(LAPIControllerLunFor(map, 0xFFFF), 8);
    map[511].set(0x7802);
    EXPECT_EQ(LAPIControllerLunFor(map, 0xFFFF), 1);
    for (auto& e : map) e.set(0x4000);
    EXPECT_EQ(LAPIControllerLunFor(map, 0xFFFF), 0xFFFF);
    EXPECT_EQ(LAPIControllerLunFor(map, 512), 512);
}

}  // namespace
