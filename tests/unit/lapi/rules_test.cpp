// The pure rules of the library: the ASC/ASCQ texts, and the rules of the
// configuration writes that the command line cannot reach whole (every
// requested RAID level, every RAID 50 drive count and the controller LUN of a
// full host map).
#include "lapi/asc_decode.h"
#include "lapi/config_writes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

// The walk relies on the table's order and its closing entry: a misplaced entry
// fails its lookup in the reference-list test, a missing end the unknown pairs.
TEST(AscDecode, ExactEntriesWildcardsAndUnknown) {
    const struct {
        uint8_t asc, ascq;
        const char* text;
    } cases[] = {
        {0x40, 0x00, "RAM failure (should use 40 nn)"},  // our own text, not the list's
        // The any-ASCQ entries answer every ASCQ that has no exact entry.
        {0x40, 0x37, "Diagnostic failure on component nn.See ASCQ for component number."},
        {0x40, 0xFF, "Diagnostic failure on component nn.See ASCQ for component number."},
        {0x4D, 0x12, "Tagged overlapped commands (ASCQ = task tag)"},
        {0x5D, 0x77, "Failure prediction threshold exceeded (false)"},
        {0x70, 0x05, "Decompression exception short algorithm id of nn (ASCQ=nn)"},
        // No entry for the pair, and none for any ASCQ of the ASC.
        {0x04, 0xEE, "Unknown"},
        {0x00, 0xFF, "Unknown"},
        {0xFE, 0x00, "Unknown"},
        {0xFF, 0xFF, "Unknown"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(LAPIDecodeASCASQ(c.asc, c.ascq), c.text) << std::hex << int(c.asc) << "/" << int(c.ascq);
}

TEST(AscDecode, EveryAssignmentOfTheReferenceListIsFound) {
    std::ifstream list(LQCL_SOURCE_DIR "/tests/data/scsi-asc-ascq.tsv");
    ASSERT_TRUE(list) << "reference list missing";
    std::string line;
    int checked = 0;
    while (std::getline(list, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream in(line);
        std::string asc, ascq, text;
        std::getline(in, asc, '\t');
        std::getline(in, ascq, '\t');
        std::getline(in, text);
        if (asc == "40" && ascq == "00") continue;  // our own text
        EXPECT_EQ(std::string(LAPIDecodeASCASQ(static_cast<uint8_t>(std::stoul(asc, nullptr, 16)),
                                               static_cast<uint8_t>(std::stoul(ascq, nullptr, 16)))),
                  text);
        ++checked;
    }
    EXPECT_EQ(checked, 763);
}

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
