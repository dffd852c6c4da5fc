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

struct ConfigChangeTest : FrameTest {
    std::vector<uint32_t> starts, saves;
    int changes = 0;
    uint32_t run(uint32_t changeResult = 0) {
        return LAPIConfigChange(
            0,
            [&](int, wire::CONFIG_CHANGE_STRUCT* c) {
                c->startCounter.set(41);
                uint32_t r = starts.empty() ? 0 : starts.front();
                if (!starts.empty()) starts.erase(starts.begin());
                return r;
            },
            [&](int, wire::CONFIG_CHANGE_STRUCT* c) {
                EXPECT_EQ(c->startCounter.get(), 41u);
                uint32_t r = saves.empty() ? 0 : saves.front();
                if (!saves.empty()) saves.erase(saves.begin());
                return r;
            },
            [&] {
                ++changes;
                return changeResult;
            },
            [] { return 1011u; }, "Error: Failed to create pool");
    }
};

TEST_F(ConfigChangeTest, RetriesStartAndSaveAndReturnsTheRefresh) {
    starts = {1017, 1018, 0, 0};
    saves = {1020, 0};
    testing::internal::CaptureStdout();
    EXPECT_EQ(run(), 1011u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nInformation: Configuration change in progress. Retry: 1\n"
              "\nInformation: Configuration change in progress. Retry: 2\n"
              "\nInformation: Configuration change in progress. Retry: 3\n");
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(sleeps(), (std::vector<uint32_t>(3, 250000)));
}

TEST_F(ConfigChangeTest, TwentyRefusalsReturnTheLastResult) {
    starts = std::vector<uint32_t>(19, 1017);
    starts.push_back(1019);
    testing::internal::CaptureStdout();
    EXPECT_EQ(run(), 1019u);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Retry: 20\n"), std::string::npos);
    EXPECT_EQ(out.find("Retry: 21\n"), std::string::npos);
    EXPECT_EQ(changes, 0);
}

TEST_F(ConfigChangeTest, FailedChangeEndsWithoutSave) {
    saves = {7};
    EXPECT_EQ(run(1003), LAPI_ERR_COMMAND_FAILED);
    EXPECT_EQ(saves.size(), 1u);
    EXPECT_EQ(changes, 1);
}

}  // namespace
