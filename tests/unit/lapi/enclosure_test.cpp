#include "lapi/enclosure.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "lapi/lapi_status.h"
#include "unit/lapi/scripted_system.h"
#include "wire/drive.h"

namespace {

using testnode::Outcome;
using testnode::Sent;
using Cdb = std::vector<uint8_t>;

struct DriveAt {
    uint8_t enclosure;
    uint8_t target;     // SES target ID of the record (0xFF none)
    uint8_t altTarget;
};

std::vector<uint8_t> driveList(const std::vector<DriveAt>& drives) {
    std::vector<uint8_t> bytes(sizeof(wire::ALL_DRIVE_INFO_STRUCT), 0);
    auto* all = reinterpret_cast<wire::ALL_DRIVE_INFO_STRUCT*>(bytes.data());
    all->length.set(sizeof *all);
    all->numDrives = static_cast<uint8_t>(drives.size());
    for (size_t i = 0; i < drives.size(); ++i) {
        all->drive[i].enclosureNo = drives[i].enclosure;
        all->drive[i].ses0IdLoop1 = drives[i].target;
        all->drive[i].ses1IdLoop2 = drives[i].altTarget;
    }
    return bytes;
}

// The embedded RECEIVE DIAGNOSTIC RESULTS of page 2 for a loop and target, 511 bytes.
Cdb legacyRead(uint8_t loop, uint8_t target) {
    return {0x3C, 0x01, 0xF0, static_cast<uint8_t>((loop << 7) | target), 0x1C, 0x01, 0x02, 0x01, 0xFF, 0x00};
}

class EnclosureLapiTest : public testnode::ScriptedSystemTest {
protected:
    void SetUp() override {
        ScriptedSystemTest::SetUp();
        system(1);
    }
    std::vector<Cdb> cdbs() const {
        std::vector<Cdb> out;
        for (const Sent& s : rec.sent) out.push_back(s.cdb);
        return out;
    }
};

TEST_F(EnclosureLapiTest, CountsDistinctEnclosureNumbers) {
    struct Case {
        std::vector<DriveAt> drives;
        uint32_t expected;
    } cases[] = {
        {{{1, 0, 0}, {1, 0, 0}, {2, 0, 0}, {12, 0, 0}}, 2},
        {{}, 0},
        {{{3, 0, 0}, {10, 0, 0}, {3, 0, 0}}, 2},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> list = driveList(c.drives);
        uint32_t count = 99;
        ENCLOSURE_COUNT_REQUEST request{&count, list.data()};
        EXPECT_EQ(LAPIGetNumberOfEnclosures(0, &request), LAPI_SUCCESS);
        EXPECT_EQ(count, c.expected);
    }
    EXPECT_TRUE(rec.sent.empty()) << "drive data given: nothing is read";

    // Without drive data the list is read (READ BUFFER 0x41, 9080 bytes); a
    // record count above what the reply holds stops at its 126 records.
    std::vector<uint8_t> list = driveList({{1, 0, 0}, {2, 0, 0}});
    list[4] = 0xFF;
    rec.script = {testnode::good(list)};
    uint32_t count = 0;
    ENCLOSURE_COUNT_REQUEST request{&count, nullptr};
    EXPECT_EQ(LAPIGetNumberOfEnclosures(0, &request), LAPI_SUCCESS);
    EXPECT_EQ(count, 3u) << "enclosures 1, 2 and the empty records' 0";
    ASSERT_EQ(rec.sent.size(), 1u);
    EXPECT_EQ(rec.sent[0].cdb[2], 0x41);
}

TEST_F(EnclosureLapiTest, DrivesWithoutTargetAreAddressedByRecordNumberThenTargetOneOnLoopOne) {
    std::vector<uint8_t> list = driveList({{2, 0x10, 0x11}, {1, 0xFF, 0x7D}, {1, 0xFF, 0x7D}});
    std::vector<uint8_t> page(8192, 0);
    // Enclosure index 0 (number 1) of product type 0x12.
    SES_PAGE_REQUEST request{.page = 2, .buffer = page.data(), .productType = 0x12, .driveData = list.data()};

    // Nothing answers: every drive of enclosure 1 gets its four tries.
    rec.script = {testnode::check(0x05, 0x25, 0x00)};
    EXPECT_EQ(LAPIGetEnclosureSESPage(0, &request), LAPI_ERR_COMMAND_FAILED);
    EXPECT_EQ(cdbs(), (std::vector<Cdb>{legacyRead(0, 2), legacyRead(1, 1), legacyRead(0, 0x7D), legacyRead(1, 0x7D),
                                        legacyRead(0, 3), legacyRead(1, 1), legacyRead(0, 0x7D), legacyRead(1, 0x7D)}));

    // A reply with a zero page length is not a page: the walk goes on.
    rec.sent.clear();
    rec.script = {testnode::check(0x05, 0x25, 0x00), testnode::good({0x02, 0x00, 0x00, 0x00}),
                  testnode::good({0x02, 0x00, 0x00, 0x04, 0, 0, 0, 1})};
    EXPECT_EQ(LAPIGetEnclosureSESPage(0, &request), LAPI_SUCCESS);
    EXPECT_EQ(cdbs(), (std::vector<Cdb>{legacyRead(0, 2), legacyRead(1, 1), legacyRead(0, 0x7D)}));
    EXPECT_EQ(page[3], 0x04);
}

TEST_F(EnclosureLapiTest, PageSendsWalkTheSameTriesWithTheirLengths) {
    std::vector<uint8_t> list = driveList({{1, 0x20, 0x21}});
    std::vector<uint8_t> page(511, 0);
    page[0] = 0x02;
    page[3] = 0x08;
    SES_PAGE_REQUEST request{.buffer = page.data(), .length = 12, .driveData = list.data()};
    rec.script = {testnode::check(0x05, 0x24, 0x00)};
    EXPECT_EQ(LAPISetEnclosureSESPage(0, &request), LAPI_ERR_COMMAND_FAILED);
    EXPECT_EQ(cdbs(), (std::vector<Cdb>{{0x3B, 0x01, 0xF2, 0x20, 0x1D, 0x10, 0x00, 0x01, 0xFF, 0x00},
                                        {0x3B, 0x01, 0xF2, 0xA0, 0x1D, 0x10, 0x00, 0x01, 0xFF, 0x00},
                                        {0x3B, 0x01, 0xF2, 0x21, 0x1D, 0x10, 0x00, 0x00, 0x0C, 0x00},
                                        {0x3B, 0x01, 0xF2, 0xA1, 0x1D, 0x10, 0x00, 0x00, 0x0C, 0x00}}));
    ASSERT_EQ(rec.sent.size(), 4u);
    EXPECT_EQ(rec.sent[0].dataOut.size(), 511u);
    EXPECT_EQ(rec.sent[3].dataOut.size(), 12u);
}

TEST_F(EnclosureLapiTest, LocateSendsSelector128TargetAndDuration) {
    LOCATE_ENCLOSURE_REQUEST request{0, 45, 3};
    EXPECT_EQ(LAPILocateEnclosure(0, &request), LAPI_SUCCESS);
    EXPECT_EQ(request.mode, 128u);
    EXPECT_EQ(cdbs(), (std::vector<Cdb>{{0x3B, 0x01, 0xC2, 0x80, 0x03, 45, 0x00, 0x00, 0x10, 0x00}}));

    // Turning the light off never reports a failure; any other failure does.
    rec.script = {testnode::check(0x05, 0x24, 0x00)};
    LOCATE_ENCLOSURE_REQUEST off{0, 0, 3};
    EXPECT_EQ(LAPILocateEnclosure(0, &off), LAPI_SUCCESS);
    EXPECT_EQ(LAPILocateEnclosure(0, &request), LAPI_ERR_COMMAND_FAILED);
    EXPECT_EQ(LAPIGetEnclosureSESPage(0, nullptr), LAPI_ERR_COMMAND_FAILED);
}

}  // namespace
