#include "lapi/reads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "lapi/config_bracket.h"
#include "lapi/lapi_status.h"
#include "unit/lapi/scripted_system.h"
#include "wire/controller.h"
#include "wire/requests.h"

namespace {

using testnode::Outcome;
using testnode::Sent;

uint8_t bufferId(const Sent& s) { return s.cdb.size() > 2 ? s.cdb[2] : 0; }
uint8_t opcode(const Sent& s) { return s.cdb.empty() ? 0 : s.cdb[0]; }

// Controller information with controller 0 valid and the given feature bits.
std::vector<uint8_t> controllerInfo(uint16_t features) {
    wire::ALL_CONTROLLER_INFO_AND_FAIL_STRUCT info{};
    info.length.set(sizeof info);
    info.controllerValid[0] = wire::kFlagYes;
    info.controller[0].controllerType = 0xC7;
    info.controller[0].featureFlags.set(features);
    std::vector<uint8_t> bytes(sizeof info);
    std::memcpy(bytes.data(), &info, sizeof info);
    return bytes;
}

std::vector<uint8_t> activity(uint8_t start, uint8_t save, uint8_t unavailable, uint8_t expansion, uint8_t local,
                              uint16_t counter1 = 0, uint16_t counter2 = 0) {
    wire::CONFIG_UPDATE_STRUCT a{};
    a.length.set(sizeof a);
    a.startInProgress = start;
    a.saveInProgress = save;
    a.configUnavailable = unavailable;
    a.expansionInProgress = expansion;
    a.localController = local;
    a.startCounter1.set(counter1);
    a.startCounter2.set(counter2);
    std::vector<uint8_t> bytes(sizeof a);
    std::memcpy(bytes.data(), &a, sizeof a);
    return bytes;
}

struct ReadsTest : testnode::ScriptedSystemTest {
    void SetUp() override {
        ScriptedSystemTest::SetUp();
        system(1);
    }
    size_t count(uint8_t op, uint8_t id) const {
        return static_cast<size_t>(std::count_if(rec.sent.begin(), rec.sent.end(), [&](const Sent& s) {
            return opcode(s) == op && bufferId(s) == id;
        }));
    }
    // A controller with the handshake feature whose activity read answers `busy`.
    void handshake(std::vector<uint8_t> busy) {
        rec.sent.clear();
        rec.responder = [busy](const Sent& s) {
            return testnode::good(bufferId(s) == 0x40 ? controllerInfo(wire::kFeatureAsyncConfig) : busy);
        };
    }
};

TEST_F(ReadsTest, InformationSetReadsOnlyTheBuffersGiven) {
    rec.responder = [](const Sent& s) {
        return testnode::good(bufferId(s) == 0x40 ? controllerInfo(0) : std::vector<uint8_t>{});
    };
    std::vector<uint8_t> info(kControllerInfoReplySize);
    ALL_INFORMATION_SET set{nullptr, info.data(), nullptr, nullptr, nullptr, nullptr};
    EXPECT_EQ(LAPIGetAllInformation(0, &set), LAPI_SUCCESS);
    EXPECT_EQ(count(0x3C, 0x01), 0u);  // no configuration read
    EXPECT_EQ(count(0x3B, 0x80), 1u);  // one start: the controller was ready
    EXPECT_EQ(count(0x3C, 0x41), 0u);
    EXPECT_EQ(count(0x3C, 0x20), 0u);
    EXPECT_EQ(sleeps(), (std::vector<uint32_t>{1000000, 33000}));
}

TEST_F(ReadsTest, InformationSetReadsTheConfigurationEvenWhenTheControllerStaysBusy) {
    rec.responder = [](const Sent& s) -> Outcome {
        if (bufferId(s) == 0x40) return testnode::good(controllerInfo(0));
        if (bufferId(s) == 0x80) return testnode::check(5, 0x24, 0);  // start refused
        return testnode::good({0x00, 0x58, 0x0E, 0x00});                // a whole image: 940032 bytes
    };
    std::vector<uint8_t> config(kConfigReplySize), info(kControllerInfoReplySize);
    ALL_INFORMATION_SET set{config.data(), info.data(), nullptr, nullptr, nullptr, nullptr};
    testing::internal::CaptureStdout();
    EXPECT_EQ(LAPIGetAllInformation(0, &set), LAPI_ERR_COMMAND_FAILED);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(count(0x3B, 0x80), 3u);                  // three attempts
    EXPECT_GE(count(0x3C, 0x01), 1u);                  // the configuration is still read
    EXPECT_EQ(sleeps(), (std::vector<uint32_t>{1000000, 1000000, 1000000, 1000000, 33000}));
}

TEST_F(ReadsTest, FeatureQueriesTestTheirBits) {
    struct Case {
        uint16_t features;
        uint32_t (*query)(int, uint8_t*);
        uint32_t missing;
    } cases[] = {
        {wire::kFeatureApm, LAPIGetAPMStatus, LAPI_ERR_APM_NOT_ENABLED},
        {wire::kFeatureAsyncConfig, LAPIGetAsynchronousFeatureSupported, LAPI_ERR_ASYNC_NOT_ENABLED},
        {wire::kFeatureAdvPerformance, LAPIGetAdvancePerformanceSupportStatus, LAPI_ERR_ADV_PERF_NOT_ENABLED},
    };
    std::vector<uint8_t> info(kControllerInfoReplySize);
    for (const auto& c : cases) {
        rec.responder = [&](const Sent&) { return testnode::good(controllerInfo(c.features)); };
        EXPECT_EQ(c.query(0, info.data()), LAPI_SUCCESS);
        rec.responder = [&](const Sent&) { return testnode::good(controllerInfo(0xFFFF & ~c.features)); };
        EXPECT_EQ(c.query(0, info.data()), c.missing);
    }
}

TEST_F(ReadsTest, StartWithTheHandshakeWaitsAndTakesTheLocalCounter) {
    struct Case {
        std::vector<uint8_t> busy;
        uint32_t result;
    } refusals[] = {
        {activity(0xF1, 0, 0, 0, 1), LAPI_ERR_START_CONFIG_IN_PROGRESS},
        {activity(0, 0xF1, 0, 0, 1), LAPI_ERR_SAVE_CONFIG_IN_PROGRESS},
        {activity(0, 0, 0xF1, 0, 1), LAPI_ERR_CONFIG_UNAVAILABLE},
        {activity(0, 0, 0, 0xF1, 1), LAPI_ERR_EXPANSION_IN_PROGRESS},
    };
    for (const auto& c : refusals) {
        handshake(c.busy);
        wire::CONFIG_CHANGE_STRUCT change{};
        change.expansionBlocks.set(0xF1);
        EXPECT_EQ(LAPIStartConfig(0, &change), c.result);
        EXPECT_EQ(count(0x3C, 0x5E), 20u);
        EXPECT_EQ(count(0x3B, 0x80), 0u);
    }

    // An expansion does not block a change that allows it; controller 2's counter is taken.
    handshake(activity(0, 0, 0, 0xF1, 2, 0x1111, 0x2222));
    wire::CONFIG_CHANGE_STRUCT change{};
    change.expansionBlocks.set(0xF0);
    EXPECT_EQ(LAPIStartConfig(0, &change), LAPI_SUCCESS);
    EXPECT_EQ(change.startCounter.get(), 0x2222u);

    // The save sends the counter back, high byte first.
    rec.sent.clear();
    EXPECT_EQ(LAPISaveConfig(0, &change), LAPI_SUCCESS);
    ASSERT_EQ(count(0x3B, 0x82), 1u);
    const Sent& save = rec.sent.back();
    EXPECT_EQ(save.cdb[3], 0x22);
    EXPECT_EQ(save.cdb[4], 0x22);

    // A local controller number that is neither 1 nor 2.
    handshake(activity(0, 0, 0, 0, 3));
    testing::internal::CaptureStdout();
    EXPECT_EQ(LAPIStartConfig(0, &change), LAPI_ERR_COMMAND_FAILED);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: Unable to retrieve start config counter from local controller\n");
}

TEST_F(ReadsTest, DiagnosticDumpIsClampedToItsBuffer) {
    rec.responder = [](const Sent& s) -> Outcome {
        if (bufferId(s) != 0x56) return testnode::good();
        std::vector<uint8_t> chunk(s.dataLength, 'x');
        const uint32_t offset = (uint32_t(s.cdb[3]) << 16) | (uint32_t(s.cdb[4]) << 8) | s.cdb[5];
        if (offset == 0) {
            const uint32_t size = 3000000;
            std::memcpy(chunk.data(), &size, 4);
        }
        return testnode::good(chunk);
    };
    testing::internal::CaptureStdout();
    EXPECT_EQ(LAPIDisplayDiagDump(0), LAPI_SUCCESS);
    std::string out = testing::internal::GetCapturedStdout();
    const std::string head = "\n\n\n\nDiagnosticsSnapShot : GetDiagnosticsDump  : \n\nSize of Diag Dump = 3000000 "
                             "(MAX:2000000)\n------DIAG DUMP BEGIN------\n";
    const std::string tail = "\n------DIAG DUMP END------\n\n\n";
    ASSERT_EQ(out.substr(0, head.size()), head);
    ASSERT_EQ(out.substr(out.size() - tail.size()), tail);
    EXPECT_EQ(out.size() - head.size() - tail.size(), 1999996u);
    EXPECT_EQ(count(0x3B, 0xD3), 1u);
}

}  // namespace
