#include "lapi/frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

}  // namespace
