// The emulator core without sockets: opens, dispatch through the layers,
// injected faults, malformed and hostile messages, the command record, the
// control verbs and the clock; scenario files (defaults of the device-side keys
// and the messages that name what is wrong); the bounds of the control socket.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "control/control.h"
#include "scsi/sg_wire.h"
#include "server/socket_server.h"
#include "sim_test_util.h"
#include "support/process.h"

namespace {

using nlohmann::json;
using simtest::decode;
using simtest::sgWrite;
using Bytes = std::vector<uint8_t>;

const Bytes kReadHeader = {0x3C, 0x01, 0x03, 0, 0, 0, 0, 0x02, 0x00, 0};
const Bytes kInquiry = {0x12, 0, 0, 0, 0x60, 0};

class EmulatorTest : public simtest::EmulatorTest {
protected:
    json ctl(const std::vector<std::string>& words) {
        json req{{"verb", words[0]}, {"args", std::vector<std::string>(words.begin() + 1, words.end())}};
        return sim::handleControl(*emu, req, hooks);
    }
    sim::ControlHooks hooks;
};

TEST_F(EmulatorTest, ExclusiveOpensFollowTheSgDriver) {
    // An exclusive open against an exclusive or shared one, across connections, is asserted end to end.
    struct Step {
        uint32_t flags;
        uint64_t conn;
        uint32_t expected;
    } steps[] = {
        {O_RDWR, 5, 0},  // shared opens coexist
        {O_RDONLY, 6, 0},
        {O_RDWR | O_EXCL, 7, EBUSY},  // exclusive while shared opens exist
        {O_RDONLY | O_EXCL, 8, EPERM},
    };
    for (const auto& s : steps) EXPECT_EQ(emu->open(dev(5), s.flags, s.conn), s.expected) << s.conn;
    emu->close(dev(5), 5);
    emu->close(dev(5), 6);
    EXPECT_EQ(emu->open(dev(5), O_RDWR | O_EXCL, 10), 0u);
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
    // A reply length below the header's size leaves no room for data.
    auto noRoom = sgWrite(kReadHeader, 0);
    noRoom[4] = 10;
    EXPECT_TRUE(decode(emu->command(dev(0), noRoom)).data.empty());
    // Standard commands are offered to the model first, which declines them;
    // the reply header echoes the request.
    auto inquiry = decode(emu->command(dev(0), sgWrite(kInquiry, 96, {}, -5)));
    EXPECT_EQ(seen.back().cdb, kInquiry);
    EXPECT_EQ(inquiry.packId, -5);
    EXPECT_EQ(inquiry.replyLen, 36 + 96);
    EXPECT_EQ(inquiry.packLen, 36 + 96);
    EXPECT_EQ(inquiry.twelve, 0u);
    auto twelve = decode(emu->command(dev(0), sgWrite({0xC1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, {}, 1, true)));
    EXPECT_EQ(twelve.twelve, 1u);
    EXPECT_EQ(seen.back().cdb.size(), 12u);
}

TEST_F(EmulatorTest, AFailingModelAnswersHardwareErrorAndTheEmulatorGoesOn) {
    auto r = run(0, {0xEE, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0);
    EXPECT_EQ(r.sense[2], 0x04);
    EXPECT_EQ(r.sense[12], 0x44);
    EXPECT_EQ(run(0, kInquiry, 96).data.size(), 96u);
}

// Each gets a bare header with an error result, naming the request's pack_id
// when the message held a whole header, and is recorded with the reason.
TEST_F(EmulatorTest, MalformedMessagesGetAnErrorResult) {
    const Bytes full = sgWrite(kReadHeader, 512, {}, 77);
    Bytes negativeReply = full;
    negativeReply[4] = negativeReply[5] = negativeReply[6] = negativeReply[7] = 0xFF;
    const struct {
        const char* name;
        Bytes msg;
        int32_t packId;
    } cases[] = {
        {"empty", {}, 0},
        {"half header", Bytes(full.begin(), full.begin() + 20), 0},
        {"header only", Bytes(full.begin(), full.begin() + 36), 77},
        {"five CDB bytes", Bytes(full.begin(), full.begin() + 41), 77},
        {"ten-byte opcode with eight bytes", Bytes(full.begin(), full.begin() + 44), 77},
        {"negative reply_len", negativeReply, 77},
    };
    for (const auto& c : cases) {
        auto raw = emu->command(dev(0), c.msg);
        ASSERT_EQ(raw.size(), 36u) << c.name;
        auto r = decode(raw);
        EXPECT_EQ(r.result, EIO) << c.name;
        EXPECT_EQ(r.hostStatus, 0x07u) << c.name;
        EXPECT_EQ(r.targetStatus, 0u) << c.name;
        EXPECT_EQ(r.packId, c.packId) << c.name;
    }
    json cmds = ctl({"commands"})["commands"];
    ASSERT_EQ(cmds.size(), std::size(cases));
    for (const auto& cmd : cmds) {
        EXPECT_FALSE(cmd.value("malformed", "").empty());
        EXPECT_EQ(cmd["reply"]["status"], "ERROR");
    }
    EXPECT_TRUE(seen.empty());
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
    ctl({"inject", "sg0", "busy", R"({"forever":true})"});
    EXPECT_EQ(ctl({"clear-faults", "sg0"})["cleared"], 1);
    EXPECT_EQ(run(0, kReadHeader, 512).targetStatus, 0u);
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
    };
    for (const auto& words : bad) {
        json a = ctl(words);
        ASSERT_TRUE(a.contains("error")) << words[0] << " " << (words.size() > 1 ? words[1] : "");
        EXPECT_FALSE(a["error"].get<std::string>().empty());
    }
    EXPECT_TRUE(ctl({"faults"})["faults"].empty());
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

// The systems' keys in the state file are asserted end to end; the other devices go too.
TEST_F(EmulatorTest, SavedStateKeepsTheOtherDevices) {
    json s = emu->saveState();
    EXPECT_EQ(s["devices"][0]["product"], "DISK DRIVE");
    EXPECT_NO_THROW(sim::Emulator(sim::parseScenario(s), simtest::scriptedFactory()));
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
    clock.setWallOffsetSeconds(-86400);
    EXPECT_EQ(clock.wallSeconds(), 1'800'000'007 - 86400);
    clock.thaw();  // the time spent frozen does not count once the clock runs again
    EXPECT_EQ(clock.nowMs(), 7000u);
    pass(1);
    EXPECT_EQ(clock.nowMs(), 8000u);
}

TEST(Scenario, DefaultsOfSystemsAndPaths) {
    auto sc = sim::parseScenarioText(R"({"systems":[{"paths":[{"sg":4},{"sg":2,"target":7}]}]})");
    ASSERT_EQ(sc.systems.size(), 1u);
    const auto& s = sc.systems[0];   // vendor, product and multi-port: asserted end to end
    EXPECT_EQ(s.unit.revision, "0513");
    EXPECT_EQ(s.unit.capacityBlocks, 2097152u);
    EXPECT_EQ(s.unit.blockSize, 512u);
    ASSERT_EQ(s.paths.size(), 2u);
    EXPECT_EQ(s.paths[0].sg, 4);
    EXPECT_EQ(s.paths[0].target, 0);  // the path index
    EXPECT_EQ(s.paths[1].target, 7);
    EXPECT_EQ(s.paths[0].portWwn, 0x2100001B32000004ull);
    EXPECT_EQ(s.paths[1].initiatorWwn, 0x10000000C9000002ull);
}

TEST(Scenario, MalformedScenariosNameTheirFault) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"[]", "the scenario must be a JSON object"},
        {R"({"sytems":[]})", "sytems: unknown key"},
        {R"({"systems":{}})", "systems: expected an array"},
        {R"({"systems":[3]})", "systems[0]: expected an object"},
        {R"({"systems":[{}]})", "systems[0].paths: missing"},
        {R"({"systems":[{"paths":[]}]})", "systems[0].paths: expected a non-empty array"},
        {R"({"systems":[{"paths":[{}]}]})", "systems[0].paths[0].sg: missing"},
        {R"({"systems":[{"paths":[{"sg":-1}]}]})", "systems[0].paths[0].sg: expected an integer from 0 to 65535, got -1"},
        {R"({"systems":[{"paths":[{"sg":"0"}]}]})", "systems[0].paths[0].sg: expected an integer from 0 to 65535"},
        {R"({"systems":[{"paths":[{"sg":0,"portWwn":"21000011223344"}]}]})",
         "systems[0].paths[0].portWwn: expected 16 hexadecimal digits"},
        {R"({"systems":[{"paths":[{"sg":0,"portWwn":"21000011223344GG"}]}]})",
         "systems[0].paths[0].portWwn: expected 16 hexadecimal digits"},
        {R"({"systems":[{"paths":[{"sg":3}]}],"devices":[{"sg":3,"vendor":"A","product":"B"}]})",
         "devices[0].sg: sg3 is used twice"},
        {R"({"systems":[{"paths":[{"sg":0}],"vendor":"TOLVO RAID"}]})",
         "systems[0].vendor: longer than 8 characters"},
        {R"({"systems":[{"paths":[{"sg":0}],"product":"TOLVO RAID 7000 PLUS"}]})",
         "systems[0].product: longer than 16 characters"},
        {R"({"systems":[{"paths":[{"sg":0}],"revision":"05130"}]})",
         "systems[0].revision: longer than 4 characters"},
        {R"({"systems":[{"paths":[{"sg":0}],"product":"TOLVO\u00e9"}]})",
         "systems[0].product: only printable ASCII characters are allowed"},
        {R"({"systems":[{"paths":[{"sg":0}],"capacityBlocks":0}]})", "systems[0].capacityBlocks: expected an integer"},
        {R"({"systems":[{"paths":[{"sg":0}],"blockSize":4294967296}]})", "systems[0].blockSize: expected an integer"},
        {R"({"systems":[{"paths":[{"sg":0}],"identifiers":{}}]})", "systems[0].identifiers: expected an array"},
        {R"({"systems":[{"paths":[{"sg":0}],"identifiers":[{"hex":"00"}]}]})",
         "systems[0].identifiers[0].type: missing"},
        {R"({"systems":[{"paths":[{"sg":0}],"identifiers":[{"type":3}]}]})",
         "systems[0].identifiers[0]: give exactly one of \"hex\" and \"text\""},
        {R"({"systems":[{"paths":[{"sg":0}],"identifiers":[{"type":3,"hex":"123"}]}]})",
         "systems[0].identifiers[0].hex: expected an even number of hexadecimal digits"},
        {R"({"systems":[{"paths":[{"sg":0}],"identifiers":[{"type":3,"hex":"12","association":4}]}]})",
         "systems[0].identifiers[0].association: expected an integer from 0 to 3"},
        {R"({"systems":[{"paths":[{"sg":0}],"identifiers":[{"raw":"zz"}]}]})",
         "systems[0].identifiers[0].raw: expected an even number of hexadecimal digits"},
        {R"({"devices":[{"sg":0,"vendor":"A","product":"X","type":32}]})",
         "devices[0].type: expected an integer from 0 to 31, got 32"},
        {R"({"devices":[{"sg":0,"vendor":"A","product":"X","paths":[]}]})", "devices[0].paths: unknown key"},
        {R"({"description":5})", "description: expected a string"},
    };
    for (const auto& c : cases) {
        try {
            sim::parseScenarioText(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const sim::ScenarioError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.message, 0), 0u) << c.text << "\n  gave: " << e.what();
        }
    }
}

TEST(Scenario, TooManyDevices) {
    nlohmann::json doc;
    for (int i = 0; i <= static_cast<int>(sim::kMaxDevices); ++i)
        doc["devices"].push_back({{"sg", i}, {"vendor", "A"}, {"product", "B"}});
    EXPECT_THROW(sim::parseScenario(doc), sim::ScenarioError);
    doc["devices"].erase(doc["devices"].size() - 1);
    EXPECT_EQ(sim::parseScenario(doc).devices.size(), sim::kMaxDevices);
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

int connectTo(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Everything the server sends until it closes (or 30 s pass).
std::string untilClosed(int fd) {
    std::string got;
    char buf[4096];
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, 30000) > 0) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return got;
        got.append(buf, static_cast<size_t>(n));
    }
    return got + "(still open)";
}

// A control connection that stays silent is closed, and one that sends more
// than a request may hold without ending a line gets an error answer and is closed.
TEST(ControlLimits, SilentAndOversizedConnectionsAreClosed) {
    testsupport::TempDir dir;
    auto emu = simtest::makeEmulator();
    sim::SocketServer server(*emu, dir.path(), [](const nlohmann::json&) { return nlohmann::json{{"ok", true}}; });
    server.setControlLimits(100, std::chrono::milliseconds(200));
    server.bindAll();
    std::thread serving([&] { server.run(); });

    int silent = connectTo(dir.path() + "/.control");
    int big = connectTo(dir.path() + "/.control");
    ASSERT_GE(silent, 0);
    ASSERT_GE(big, 0);
    std::string text(101, 'x');
    ASSERT_EQ(send(big, text.data(), text.size(), MSG_NOSIGNAL), 101);
    EXPECT_EQ(untilClosed(big), "{\"error\":\"request too large\"}\n");
    EXPECT_EQ(untilClosed(silent), "");

    server.stop();
    serving.join();
    close(silent);
    close(big);
}

}  // namespace
