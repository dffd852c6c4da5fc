// The frame of the library's operations (busy retries, path failover, the
// configuration change bracket) and its pure rules: the ASC/ASCQ texts, and the
// configuration write rules the command line cannot reach whole (every RAID
// level asked for, every RAID 50 drive count, the controller LUN of a full map).
#include "lapi/frame.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "lapi/asc_decode.h"
#include "lapi/config_writes.h"
#include "scsi/tolvo.h"
#include "unit/lapi/scripted_system.h"

namespace {

using testnode::check;
using testnode::good;
using testnode::osError;

struct FrameTest : testnode::ScriptedSystemTest {
    // A read of the host table, as the operations send it.
    static uint8_t readHostInfo(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
        static uint8_t data[64];
        setTolvoCdb(r, 0x3C, 2, 0x42, 0, 0, 0);
        return TOLVO_SendCommand(h, r, data, sizeof data, nullptr);
    }
    size_t sentOn(int slot) const {
        size_t n = 0;
        for (const auto& s : rec.sent) n += s.handle == &gTolvos[0].slots[slot] ? 1 : 0;
        return n;
    }
};

std::string busyWarning(int index, int count, const LapiSite& site) {
    return "\n\nWARNING: RAID System " + std::to_string(index) + " busy retry (" + std::to_string(count) +
           "),\nLine=" + std::to_string(site.where.line()) + " File ='frame_test.cpp'\nMacro='\"" + site.command +
           "\"'\n\n";
}

TEST_F(FrameTest, FailedPathIsInvalidatedAndTheNextOperationStartsOnTheSecond) {
    system(2);
    rec.script = {osError(), good()};
    EXPECT_EQ(LAPIExecute(0, {"TOLVO_GetAllHostInfo"}, readHostInfo), LAPI_SUCCESS);
    EXPECT_EQ(sentOn(0), 1u);
    EXPECT_EQ(sentOn(1), 1u);
    EXPECT_EQ(gTolvos[0].slotValid[0], 0u);
    EXPECT_EQ(tolvofailretrycount[0], 1);
    rec.sent.clear();
    EXPECT_EQ(LAPIExecute(0, {"TOLVO_GetAllHostInfo"}, readHostInfo), LAPI_SUCCESS);
    ASSERT_EQ(rec.sent.size(), 1u);
    EXPECT_EQ(rec.sent[0].handle, &gTolvos[0].slots[1]);
}

TEST_F(FrameTest, TwentyBusyRepliesMoveToTheNextPath) {
    system(2);
    rec.responder = [](const testnode::Sent& s) {
        return s.handle == &gTolvos[0].slots[0] ? check(2, 0x04, 0x00) : good();
    };
    const LapiSite site{"TOLVO_GetControllerInfo"};
    testing::internal::CaptureStdout();
    EXPECT_EQ(LAPIExecute(0, site, readHostInfo), LAPI_SUCCESS);
    std::string warnings;
    for (int n = 1; n <= 20; ++n) warnings += busyWarning(0, n, site);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), warnings);
    EXPECT_EQ(sleeps(), std::vector<uint32_t>(20, 250000));
    EXPECT_EQ(sentOn(0), 20u);
    EXPECT_EQ(sentOn(1), 1u);
    EXPECT_EQ(gTolvos[0].slotValid[0], 0u);
}

TEST_F(FrameTest, OutOfBandSendsOnceWithoutRetryOrFailover) {
    system(2);
    int sends = 0;
    setOutOfBandSender([&](SCSI_COMMAND_STRUCT* r, uint8_t*) {
        ++sends;
        r->senseData[2] = 0x02;
        r->senseData[12] = 0x04;
        return WSC_CHECK_CONDITION;
    });
    EXPECT_EQ(LAPIExecute(LAPI_OUT_OF_BAND_INDEX, {"TOLVO_GetAllHostInfo"}, readHostInfo), LAPI_ERR_COMMAND_FAILED);
    setOutOfBandSender(nullptr);
    EXPECT_EQ(sends, 1);
    EXPECT_TRUE(rec.sent.empty());
    EXPECT_TRUE(sleeps().empty());
    EXPECT_EQ(gTolvos[0].slots[0].outOfBand, OUT_OF_BAND_MARKER);
    EXPECT_EQ(LAPIGetTolvoHandleCount(0), 2u);
}

TEST_F(FrameTest, UnknownIndexGives1007WithoutTouchingCounters) {
    system(1);
    for (int index : {7, 200, -1})
        EXPECT_EQ(LAPIExecute(index, {"TOLVO_GetAllHostInfo"}, readHostInfo), LAPI_ERR_NO_VALID_HANDLE) << index;
    for (const auto& s : rec.sent) EXPECT_EQ(s.cdb[0], 0x12);  // only the rediscovery probes of system 0
    EXPECT_EQ(LAPIGetTolvoHandleCount(0), 1u);
}

TEST(FrameRules, BusyCorrectionAndAddressFailures) {
    struct Case {
        uint8_t wsc, key, asc, ascq;
        uint8_t corrected;
        bool addressFailed;
    };
    const Case cases[] = {
        {2, 2, 0x04, 0x00, 8, true},   {2, 2, 0x04, 0x01, 2, true},  {2, 3, 0x11, 0x00, 2, true},
        {2, 4, 0x44, 0x00, 2, true},   {2, 5, 0x24, 0x00, 2, false}, {2, 6, 0x29, 0x00, 2, false},
        {255, 0, 0, 0, 255, true},     {0, 2, 0x04, 0x00, 0, true},  {254, 0, 0, 0, 254, false},
    };
    for (const Case& c : cases) {
        SCSI_COMMAND_STRUCT r{};
        r.senseData[2] = c.key;
        r.senseData[12] = c.asc;
        r.senseData[13] = c.ascq;
        uint8_t wsc = c.wsc;
        LAPICorrectForBusyStates(&wsc, &r);
        EXPECT_EQ(wsc, c.corrected) << int(c.key);
        EXPECT_EQ(LAPIAddressFailed(c.wsc, &r), c.addressFailed) << int(c.key);
    }
    EXPECT_STREQ(LAPIStatusName(24), "Status: Conflict");
    EXPECT_STREQ(LAPIStatusName(7), "Unknown");
    EXPECT_STREQ(LAPISenseKeyName(2), "Not Ready ");
    EXPECT_STREQ(LAPISenseKeyName(0xFC), "Obsolete - Equal");
}

// A refused start or save is retried, with its message and a wait, at most
// twenty times, and then the last refusal is returned; a failed change ends
// without a save; a saved change returns what the refresh returns.
TEST_F(FrameTest, ConfigChangeRetriesAndEnds) {
    std::vector<uint32_t> twenty(19, 1017);
    twenty.push_back(1019);
    struct Case {
        const char* name;
        std::vector<uint32_t> starts, saves;  // the answers in turn, then 0
        uint32_t changeResult, result;
        int changes, saved, retries;
    } cases[] = {
        {"start and save refused", {1017, 1018}, {1020}, 0, 1011, 2, 2, 3},
        {"twenty refusals", twenty, {}, 0, 1019, 0, 0, 20},
        {"failed change", {}, {}, 1003, LAPI_ERR_COMMAND_FAILED, 1, 0, 0},
    };
    auto next = [](std::vector<uint32_t>& answers) {
        const uint32_t r = answers.empty() ? 0 : answers.front();
        if (!answers.empty()) answers.erase(answers.begin());
        return r;
    };
    for (Case& c : cases) {
        sleeps().clear();
        int changes = 0, saved = 0;
        testing::internal::CaptureStdout();
        const uint32_t result = LAPIConfigChange(
            0,
            [&](int, wire::CONFIG_CHANGE_STRUCT* b) {
                b->startCounter.set(41);
                return next(c.starts);
            },
            [&](int, wire::CONFIG_CHANGE_STRUCT* b) {
                EXPECT_EQ(b->startCounter.get(), 41u);
                ++saved;
                return next(c.saves);
            },
            [&] {
                ++changes;
                return c.changeResult;
            },
            [] { return 1011u; }, "Error: Failed to create pool");
        EXPECT_EQ(result, c.result) << c.name;
        std::string retries;
        for (int n = 1; n <= c.retries; ++n)
            retries += "\nInformation: Configuration change in progress. Retry: " + std::to_string(n) + "\n";
        EXPECT_EQ(testing::internal::GetCapturedStdout(), retries) << c.name;
        EXPECT_EQ(sleeps(), std::vector<uint32_t>(c.retries, 250000)) << c.name;
        EXPECT_EQ(changes, c.changes) << c.name;
        EXPECT_EQ(saved, c.saved) << c.name;
    }
}

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
