#include "lapi/asc_decode.h"

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

}  // namespace
