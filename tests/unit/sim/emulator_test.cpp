// The emulator core without sockets: opens, dispatch through the layers,
// injected faults, malformed messages, the command record and the control verbs.
#include <fcntl.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "control/control.h"
#include "sim_test_util.h"

namespace {

using nlohmann::json;
using simtest::decode;
using simtest::sgWrite;
using Bytes = std::vector<uint8_t>;

const Bytes kReadHeader = {0x3C, 0x01, 0x03, 0, 0, 0, 0, 0x02, 0x00, 0};
const Bytes kInquiry = {0x12, 0, 0, 0, 0x60, 0};

class EmulatorTest : public ::testing::Test {
protected:
    std::vector<simtest::ScriptedModel::Seen> seen;
    std::unique_ptr<sim::Emulator> emu = simtest::makeEmulator(simtest::kTwoPathScenario, &seen);

    size_t dev(int sg) { return static_cast<size_t>(emu->deviceBySg(sg)); }
    simtest::Reply run(int sg, const Bytes& cdb, uint32_t in, const Bytes& out = {}) {
        return decode(emu->command(dev(sg), sgWrite(cdb, in, out)));
    }
    json ctl(const std::vector<std::string>& words) {
        json req{{"verb", words[0]}, {"args", std::vector<std::string>(words.begin() + 1, words.end())}};
        return sim::handleControl(*emu, req, hooks);
    }
    sim::ControlHooks hooks;
};

TEST_F(EmulatorTest, ExclusiveOpensFollowTheSgDriver) {
    struct Step {
        int sg;
        uint32_t flags;
        uint64_t conn;
        uint32_t expected;
    } steps[] = {
        {0, O_RDWR | O_EXCL, 1, 0},      // first exclusive open
        {0, O_RDWR | O_EXCL, 2, EBUSY},  // second exclusive open
        {0, O_RDWR, 3, EBUSY},           // shared open of a held device
        {1, O_RDWR | O_EXCL, 4, 0},      // the other path is another node
        {5, O_RDWR, 5, 0},               // shared opens coexist
        {5, O_RDONLY, 6, 0},
        {5, O_RDWR | O_EXCL, 7, EBUSY},  // exclusive while shared opens exist
        {5, O_RDONLY | O_EXCL, 8, EPERM},
    };
    for (const auto& s : steps) EXPECT_EQ(emu->open(dev(s.sg), s.flags, s.conn), s.expected) << s.conn;
    emu->close(dev(0), 1);
    EXPECT_EQ(emu->open(dev(0), O_RDWR | O_EXCL, 9), 0u);
    emu->close(dev(5), 5);
    emu->close(dev(5), 6);
    EXPECT_EQ(emu->open(dev(5), O_RDWR | O_EXCL, 10), 0u);
}

TEST_F(EmulatorTest, ScsiIdReportsThePathAddress) {
    Bytes id = emu->scsiId(dev(1)), other = emu->scsiId(dev(5));
    ASSERT_EQ(id.size(), 32u);
    ASSERT_EQ(other.size(), 32u);
    EXPECT_EQ((Bytes{id[0], id[4], id[8], id[12]}), (Bytes{3, 1, 1, 0}));  // host, channel, target, lun
    EXPECT_EQ((Bytes{other[0], other[8], other[12]}), (Bytes{4, 3, 2}));
}

TEST_F(EmulatorTest, VendorCommandsReachTheModelWithTheirPath) {
    auto r = run(1, kReadHeader, 512);
    EXPECT_EQ(r.targetStatus, 0u);
    EXPECT_EQ(r.data, Bytes(512, 0xA5));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].path, 1u);
    EXPECT_EQ(seen[0].cdb, kReadHeader);
    EXPECT_EQ(seen[0].dataInLength, 512u);
    // The reply is cut to the allocation length of the CDB and to the reply length.
    EXPECT_EQ(run(0, {0x3C, 0x01, 0x03, 0, 0, 0, 0, 0x00, 0x10, 0}, 512).data.size(), 16u);
    EXPECT_EQ(run(0, kReadHeader, 100).data.size(), 100u);
    // Standard commands are offered to the model first, which declines them.
    run(0, kInquiry, 96);
    EXPECT_EQ(seen.back().cdb, kInquiry);
}

TEST_F(EmulatorTest, AFailingModelAnswersHardwareErrorAndTheEmulatorGoesOn) {
    auto r = run(0, {0xEE, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0);
    EXPECT_EQ(r.sense[2], 0x04);
    EXPECT_EQ(r.sense[12], 0x44);
    EXPECT_EQ(run(0, kInquiry, 96).data.size(), 96u);
}

TEST_F(EmulatorTest, MalformedMessagesGetAnErrorResult) {
    Bytes full = sgWrite({0x3C, 1, 3, 0, 0, 0, 0, 2, 0, 0}, 512);
    std::vector<Bytes> bad = {{}, Bytes(20, 0), Bytes(full.begin(), full.begin() + 40)};
    auto negative = sgWrite(kInquiry, 96, {}, 77);
    negative[7] = 0x80;
    bad.push_back(negative);
    for (const auto& m : bad) {
        auto raw = emu->command(dev(0), m);
        ASSERT_EQ(raw.size(), 36u);
        auto r = decode(raw);
        EXPECT_EQ(r.result, EIO);
        EXPECT_EQ(r.hostStatus, 0x07u);
        EXPECT_EQ(r.targetStatus, 0u);
    }
    EXPECT_EQ(decode(emu->command(dev(0), negative)).packId, 77);
    json cmds = ctl({"commands"})["commands"];
    ASSERT_EQ(cmds.size(), 5u);
    EXPECT_TRUE(cmds[0].contains("malformed"));
    EXPECT_EQ(cmds[0]["reply"]["status"], "ERROR");
    EXPECT_TRUE(seen.empty());
}

TEST_F(EmulatorTest, ReplyHeaderEchoesTheRequest) {
    auto r = decode(emu->command(dev(0), sgWrite(kInquiry, 96, {}, -5)));
    EXPECT_EQ(r.packId, -5);
    EXPECT_EQ(r.replyLen, 36 + 96);
    EXPECT_EQ(r.packLen, 36 + 96);
    EXPECT_EQ(r.twelve, 0u);
    auto twelve = decode(emu->command(dev(0), sgWrite({0xC1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, {}, 1, true)));
    EXPECT_EQ(twelve.twelve, 1u);
    EXPECT_EQ(seen.back().cdb.size(), 12u);
}

TEST_F(EmulatorTest, InjectedFaultsComeFirstAndRunOut) {
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"inject", "sg0", "busy", R"({"count":2})"}, {"inject", "system:0", "not-ready"},
          {"inject", "sg1", "check", R"({"key":6,"asc":41,"ascq":1})"}, {"inject", "sg5", "fail-path", R"({"hostStatus":3})"},
          {"inject", "sg5", "conflict", R"({"skip":1})"}})
        ASSERT_FALSE(ctl(words).contains("error")) << words[1] << " " << words[2];

    auto busy1 = run(0, kReadHeader, 512);
    auto busy2 = run(0, kReadHeader, 512);
    auto notReady = run(0, kReadHeader, 512);  // the system fault, now that sg0's is used up
    auto unitAttention = run(1, kReadHeader, 512);
    auto good = run(1, kReadHeader, 512);
    EXPECT_EQ(busy1.targetStatus, 0x04u);
    EXPECT_EQ(busy2.targetStatus, 0x04u);
    EXPECT_EQ(notReady.targetStatus, 0x01u);
    EXPECT_EQ(notReady.sense, (Bytes{0x70, 0, 0x02, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x04, 0x00, 0, 0}));
    EXPECT_EQ(unitAttention.sense[2], 0x06);
    EXPECT_EQ(unitAttention.sense[12], 41);
    EXPECT_EQ(unitAttention.sense[13], 1);
    EXPECT_EQ(good.targetStatus, 0u);
    EXPECT_EQ(good.data.size(), 512u);
    EXPECT_TRUE(seen.size() == 1u);  // only the last command reached the model

    auto failed = run(5, kInquiry, 96);
    EXPECT_EQ(failed.hostStatus, 3u);
    EXPECT_EQ(failed.result, EBUSY);
    EXPECT_TRUE(failed.data.empty());
    EXPECT_EQ(run(5, kInquiry, 96).targetStatus, 0u);     // skipped by the conflict fault
    EXPECT_EQ(run(5, kInquiry, 96).targetStatus, 0x0Cu);  // RESERVATION CONFLICT
    EXPECT_EQ(run(5, kInquiry, 96).targetStatus, 0u);
    EXPECT_TRUE(ctl({"faults"})["faults"].empty());
}

TEST_F(EmulatorTest, FaultsCanMatchACdbPrefixAndLastForever) {
    ctl({"inject", "sg0", "busy", R"({"cdb":"3c0103","forever":true})"});
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(run(0, kInquiry, 96).targetStatus, 0u);
        EXPECT_EQ(run(0, kReadHeader, 512).targetStatus, 0x04u);
    }
    EXPECT_EQ(ctl({"faults"})["faults"].size(), 1u);
    EXPECT_EQ(ctl({"clear-faults", "sg0"})["cleared"], 1);
    EXPECT_EQ(run(0, kReadHeader, 512).targetStatus, 0u);
}

TEST_F(EmulatorTest, ShortReplyCutsTheMessage) {
    ctl({"inject", "sg0", "short-reply", R"({"length":50})"});
    ctl({"inject", "sg0", "short-reply", R"({"length":20})"});
    ctl({"inject", "sg0", "short-reply"});
    EXPECT_EQ(emu->command(dev(0), sgWrite(kInquiry, 96)).size(), 50u);
    EXPECT_EQ(emu->command(dev(0), sgWrite(kInquiry, 96)).size(), 20u);
    EXPECT_EQ(emu->command(dev(0), sgWrite(kInquiry, 96)).size(), 36u);
    EXPECT_EQ(emu->command(dev(0), sgWrite(kInquiry, 96)).size(), 36u + 96u);
}

TEST_F(EmulatorTest, VanishedDeviceRefusesOpensAndCommandsThenComesBack) {
    ASSERT_EQ(emu->open(dev(1), O_RDWR, 1), 0u);
    ctl({"inject", "sg1", "vanish", R"({"count":2})"});
    EXPECT_TRUE(ctl({"devices"})["devices"][1]["vanished"].get<bool>());
    auto r = run(1, kInquiry, 96);  // on the connection opened before
    EXPECT_EQ(r.result, ENODEV);
    EXPECT_EQ(r.hostStatus, 0x01u);
    EXPECT_EQ(emu->open(dev(1), O_RDWR, 2), static_cast<uint32_t>(ENXIO));
    EXPECT_EQ(emu->open(dev(0), O_RDWR, 3), 0u);  // the other path stays
    EXPECT_EQ(emu->open(dev(1), O_RDWR, 4), static_cast<uint32_t>(ENXIO));
    EXPECT_EQ(emu->open(dev(1), O_RDWR, 5), 0u);
    EXPECT_EQ(run(1, kInquiry, 96).result, 0);
}

TEST_F(EmulatorTest, EbusyOnOpen) {
    ctl({"inject", "system:0", "ebusy-open", R"({"count":3})"});
    EXPECT_EQ(emu->open(dev(0), O_RDWR | O_EXCL, 1), static_cast<uint32_t>(EBUSY));
    EXPECT_EQ(emu->open(dev(1), O_RDWR | O_EXCL, 2), static_cast<uint32_t>(EBUSY));
    EXPECT_EQ(emu->open(dev(5), O_RDWR | O_EXCL, 3), 0u);  // not part of the system
    EXPECT_EQ(emu->open(dev(0), O_RDWR | O_EXCL, 4), static_cast<uint32_t>(EBUSY));
    EXPECT_EQ(emu->open(dev(0), O_RDWR | O_EXCL, 5), 0u);
}

TEST_F(EmulatorTest, BadFaultRequestsAreRefusedWithAMessage) {
    std::vector<std::vector<std::string>> bad = {
        {"inject", "sg9", "busy"},
        {"inject", "system:1", "busy"},
        {"inject", "disk", "busy"},
        {"inject", "sg0", "explode"},
        {"inject", "sg0", "check"},
        {"inject", "sg0", "check", R"({"key":16,"asc":1})"},
        {"inject", "sg0", "busy", R"({"count":0})"},
        {"inject", "sg0", "busy", R"({"colour":"red"})"},
        {"inject", "sg0", "busy", "{not json"},
        {"inject", "sg0", "busy", R"({"cdb":"3"})"},
        {"inject", "sg0", "vanish", R"({"cdb":"12"})"},
        {"inject", "sg0", "fail-path", R"({"hostStatus":0})"},
        {"inject", "sg0"},
        {"advance", "-1"},
        {"advance", "soon"},
        {"wall-offset", "1.5"},
        {"model", "1", "dump-config"},
        {"model", "x", "dump-config"},
        {"reservations", "system:0"},
        {"save-state"},
        {"frobnicate"},
    };
    for (const auto& words : bad) {
        json a = ctl(words);
        ASSERT_TRUE(a.contains("error")) << words[0] << " " << (words.size() > 1 ? words[1] : "");
        EXPECT_FALSE(a["error"].get<std::string>().empty());
    }
    EXPECT_TRUE(ctl({"faults"})["faults"].empty());
    EXPECT_TRUE(sim::handleControl(*emu, json::array(), hooks).contains("error"));
    EXPECT_TRUE(sim::handleControl(*emu, json{{"verb", "devices"}, {"args", {1}}}, hooks).contains("error"));
}

TEST_F(EmulatorTest, CommandRecordListsWhatWasSent) {
    run(0, kInquiry, 96);
    run(1, {0x3B, 0x01, 0x40, 0, 0, 0, 0, 0, 0x03, 0}, 0, {0xDE, 0xAD, 0x01});
    ctl({"inject", "sg5", "busy"});
    run(5, {0x00, 0, 0, 0, 0, 0}, 0);
    json all = ctl({"commands"});
    ASSERT_EQ(all["commands"].size(), 3u);
    using Fields = std::vector<std::pair<std::string, json>>;
    const Fields expected[] = {
        {{"/device", "sg0"}, {"/system", 0}, {"/path", 0}, {"/cdb", "120000006000"}, {"/direction", "in"},
         {"/dataLength", 96}, {"/packId", 5678}, {"/reply/status", "GOOD"}, {"/reply/dataBytes", 96}},
        {{"/device", "sg1"}, {"/path", 1}, {"/direction", "out"}, {"/dataLength", 3}, {"/data", "dead01"}},
        {{"/direction", "none"}, {"/reply/status", "BUSY"}, {"/reply/fault", "busy"}}};
    for (size_t i = 0; i < 3; ++i)
        for (const auto& [field, value] : expected[i])
            EXPECT_EQ(all["commands"][i][json::json_pointer(field)], value) << i << field;
    EXPECT_FALSE(all["commands"][2].contains("system"));

    EXPECT_EQ(ctl({"commands", "sg1"})["commands"].size(), 1u);
    EXPECT_EQ(ctl({"commands", "after=2"})["commands"].size(), 1u);
    EXPECT_EQ(ctl({"clear-commands"})["cleared"], 3);
    EXPECT_TRUE(ctl({"commands"})["commands"].empty());
    run(0, kInquiry, 96);
    EXPECT_EQ(ctl({"commands"})["commands"][0]["seq"], 4);  // numbering goes on
}

TEST_F(EmulatorTest, ClockAdvancesAndTheModelSeesIt) {
    json before = ctl({"model", "0", "now"});
    json c = ctl({"advance", "3600.5"});
    EXPECT_EQ(c["advancedMs"], 3600500);
    json after = ctl({"model", "0", "now"});
    EXPECT_GE(after["nowMs"].get<uint64_t>() - before["nowMs"].get<uint64_t>(), 3600500u);
    EXPECT_GE(after["wall"].get<int64_t>() - before["wall"].get<int64_t>(), 3600);
    ctl({"wall-offset", "-86400"});
    json shifted = ctl({"model", "0", "now"});
    EXPECT_LE(shifted["wall"].get<int64_t>() - after["wall"].get<int64_t>(), -86399);
    EXPECT_EQ(ctl({"clock"})["wallOffset"], -86400);
}

TEST(EmulatorClock, AFrozenClockMovesOnlyWhenAdvanced) {
    auto host = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
    int64_t hostWall = 1'800'000'000;
    sim::EmulatorClock clock(sim::HostTime{[&] { return host; }, [&] { return hostWall; }});
    auto pass = [&](int seconds) {
        host += std::chrono::seconds(seconds);
        hostWall += seconds;
    };
    pass(5);
    EXPECT_EQ(clock.nowMs(), 5000u);
    clock.freeze();
    pass(600);
    EXPECT_EQ(clock.nowMs(), 5000u);
    EXPECT_EQ(clock.wallSeconds(), 1'800'000'005);
    clock.advanceMs(2000);
    EXPECT_EQ(clock.nowMs(), 7000u);
    EXPECT_EQ(clock.wallSeconds(), 1'800'000'007);
    clock.thaw();  // the time spent frozen does not count once the clock runs again
    EXPECT_EQ(clock.nowMs(), 7000u);
    pass(1);
    EXPECT_EQ(clock.nowMs(), 8000u);
}

TEST_F(EmulatorTest, ModelVerbsAreForwarded) {
    json a = ctl({"model", "0", "echo", R"({"count":3})"});
    EXPECT_EQ(a["verb"], "echo");
    EXPECT_EQ(a["args"]["count"], 3);
    EXPECT_EQ(ctl({"model", "0", "echo"})["args"], json::object());
}

TEST_F(EmulatorTest, SavedStateKeepsTheDeviceSideKeys) {
    json s = emu->saveState();
    ASSERT_EQ(s["systems"].size(), 1u);
    json sys = s["systems"][0];
    EXPECT_EQ(sys["saved"], true);
    EXPECT_EQ(sys["wwn"], "2000001122334455");
    EXPECT_EQ(sys["product"], "TOLVO RAID 7000");
    EXPECT_EQ(sys["paths"].size(), 2u);
    EXPECT_EQ(s["devices"][0]["product"], "DISK DRIVE");
    // The saved state is a scenario again.
    EXPECT_NO_THROW(sim::Emulator(sim::parseScenario(s), simtest::scriptedFactory()));
}

TEST_F(EmulatorTest, StopAndSaveHooks) {
    bool stopped = false;
    hooks.stop = [&] { stopped = true; };
    hooks.saveState = [] { return std::string("/tmp/state.json"); };
    EXPECT_EQ(ctl({"save-state"})["saved"], "/tmp/state.json");
    EXPECT_EQ(ctl({"stop"})["stopping"], true);
    EXPECT_TRUE(stopped);
}

TEST(EmulatorModels, AModelThatRejectsItsSystemNamesIt) {
    const char* text = R"({"systems":[{"paths":[{"sg":0}]},{"paths":[{"sg":1}],"reject":true}]})";
    try {
        sim::Emulator emu(sim::parseScenarioText(text), simtest::scriptedFactory());
        FAIL() << "accepted";
    } catch (const sim::ScenarioError& e) {
        EXPECT_STREQ(e.what(), "systems[1]: rejected by the model");
    }
}

}  // namespace
