// tolvo-sim as a process: the socket transport of the simulated sg nodes, the
// standard data they answer as sg_inq decodes it, the emulator's start and
// stop, its robustness against clients that misbehave, the scenarios it loads
// and its control command.
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "control/client.h"
#include "support/sg_message.h"
#include "texts.h"

namespace {

using namespace testsupport;
using Bytes = std::vector<uint8_t>;

const char* kScenario = R"({
  "systems": [ { "wwn": "2000001122334400", "vendor": "TOLVO", "product": "TOLVO RAID 8000", "revision": "0601",
                 "paths": [ { "sg": 0, "host": 5, "channel": 0, "target": 2, "lun": 0, "portWwn": "2100001122334401" },
                            { "sg": 1, "host": 6, "channel": 1, "target": 2, "lun": 0, "portWwn": "2100001122334402" } ],
                 "identifiers": [ { "codeSet": 2, "type": 1, "text": "TOLVO   RAID8000-SN42" },
                                  { "codeSet": 1, "type": 2, "hex": "0011223344556677" } ] } ],
  "devices": [ { "sg": 2, "vendor": "ACME", "product": "DISK DRIVE", "revision": "1.00", "type": 0 },
               { "sg": 3, "vendor": "ACME", "product": "ENCLOSURE", "revision": "2.10", "type": 13,
                 "portWwn": "5000C500DEADBEEF" } ]
})";

const Bytes kInquiry = {0x12, 0, 0, 0, 0x60, 0};
const Bytes kReadConfigHeader = {0x3C, 0x01, 0x03, 0, 0, 0, 0, 0x02, 0x00, 0};

using Reply = testsupport::sg::Message;
using testsupport::sg::decode;

std::set<std::string> entries(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename());
    return names;
}

bool isSocket(const std::string& path) {
    struct stat st{};
    return lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

class SimTransport : public ::testing::Test {
protected:
    Simulator sim{kScenario};
    std::string node(int n) { return sim.dir() + "/sg" + std::to_string(n); }
};

TEST_F(SimTransport, OneSocketPerPathAndDeviceAnsweringOpenScsiIdAndInquiry) {
    EXPECT_EQ(entries(sim.dir()), (std::set<std::string>{".control", "sg0", "sg1", "sg2", "sg3"}));
    for (int n : {0, 1, 2, 3}) EXPECT_TRUE(isSocket(node(n))) << n;
    SgNode n(node(1));
    ASSERT_TRUE(n.connected());
    EXPECT_EQ(n.open(O_RDWR | O_EXCL), 0);
    Bytes id = n.scsiId();
    ASSERT_EQ(id.size(), 32u);
    EXPECT_EQ(Bytes(id.begin(), id.begin() + 16), (Bytes{6, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0}));
    const Bytes reply = n.command(kInquiry, 96, {}, 4321);
    ASSERT_GE(reply.size(), testsupport::sg::kHeaderSize);
    Reply r = decode(reply);
    EXPECT_EQ(r.packId, 4321);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.targetStatus, 0u);
    ASSERT_EQ(r.data.size(), 96u);
    EXPECT_EQ(std::string(r.data.begin() + 8, r.data.begin() + 32), "TOLVO   TOLVO RAID 8000 ");
}

TEST_F(SimTransport, ExclusiveOpenIsHonouredAcrossConnections) {
    auto holder = std::make_unique<SgNode>(node(0));
    ASSERT_EQ(holder->open(O_RDWR | O_EXCL), 0);
    SgNode second(node(0));
    EXPECT_EQ(second.open(O_RDWR | O_EXCL), EBUSY);
    bool closed = false;
    second.receive(2000, &closed);
    EXPECT_TRUE(closed);  // refused connections are closed by the emulator
    SgNode shared(node(0));
    EXPECT_EQ(shared.open(O_RDWR), EBUSY);
    SgNode otherPath(node(1));
    EXPECT_EQ(otherPath.open(O_RDWR | O_EXCL), 0);
    holder.reset();
    int64_t answer = -1;
    for (int attempt = 0; attempt < 50 && answer != 0; ++attempt) {
        SgNode again(node(0));
        answer = again.open(O_RDWR | O_EXCL);
        if (answer != 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(answer, 0);
}

TEST_F(SimTransport, FirstMessageMustBeTheOpen) {
    for (const Bytes& first : {Bytes{'S', 'G', 'I', 'D'}, Bytes{'S', 'G', 'O', 'P', 2}}) {
        SgNode n(node(0));
        ASSERT_TRUE(n.send(first));
        bool closed = false;
        EXPECT_TRUE(n.receive(5000, &closed).empty());
        EXPECT_TRUE(closed);
    }
}

TEST_F(SimTransport, MalformedCommandsGetAnErrorResultAndTheConnectionGoesOn) {
    SgNode n(node(2));
    ASSERT_EQ(n.open(O_RDWR | O_EXCL), 0);
    for (const Bytes& bad : {Bytes(), Bytes(10, 0xFF), Bytes(36, 0), Bytes(40, 0)}) {
        ASSERT_TRUE(n.send(bad));
        Bytes reply = n.receive();
        ASSERT_EQ(reply.size(), 36u);
        Reply r = decode(reply);
        EXPECT_EQ(r.result, EIO);
        EXPECT_EQ(r.hostStatus, 0x07u);
    }
    EXPECT_EQ(decode(n.command(kInquiry, 96)).data.size(), 96u);
    EXPECT_EQ(SgNode(node(2)).open(O_RDWR | O_EXCL), EBUSY);  // still held
    auto cmds = sim.ctl("commands", {"sg2"})["commands"];
    ASSERT_EQ(cmds.size(), 5u);
    EXPECT_TRUE(cmds[0].contains("malformed"));
    EXPECT_FALSE(cmds[4].contains("malformed"));
}

TEST_F(SimTransport, AClientThatNeverReadsDoesNotStallTheOthers) {
    SgNode greedy(node(0));
    ASSERT_EQ(greedy.open(O_RDWR), 0);
    Bytes inquiry(36, 0);
    inquiry[4] = 36 + 96;
    inquiry.insert(inquiry.end(), kInquiry.begin(), kInquiry.end());
    int sent = 0;
    for (int i = 0; i < 20000; ++i) {
        if (::send(greedy.fd(), inquiry.data(), inquiry.size(), MSG_DONTWAIT | MSG_NOSIGNAL) < 0) break;
        ++sent;
    }
    EXPECT_GT(sent, 10);
    SgNode polite(node(1));
    ASSERT_EQ(polite.open(O_RDWR), 0);
    EXPECT_EQ(decode(polite.command(kInquiry, 96)).data.size(), 96u);
}

// Full path of sg_inq, or empty when sg3-utils is not installed.
std::string sgInqPath() {
    auto r = run({"/bin/sh", "-c", "command -v sg_inq"});
    if (r.status != 0 || r.out.empty()) return "";
    return r.out.substr(0, r.out.find('\n'));
}

// Data bytes of a GOOD reply, or empty.
Bytes goodData(const Bytes& reply) {
    if (reply.size() < 36 || reply[12] || reply[13] || reply[14] || reply[15] || (reply[16] >> 1 & 0x1F)) return {};
    return Bytes(reply.begin() + 36, reply.end());
}

// The data of a GOOD reply to `cdb` on `node`, empty on failure.
Bytes capture(const std::string& node, const Bytes& cdb) {
    SgNode n(node);
    return n.open(O_RDWR | O_EXCL) == 0 ? goodData(n.command(cdb, 255)) : Bytes();
}

// The emulator's INQUIRY data and device identification pages, decoded by sg_inq
// of sg3-utils: an independent decoder must read them cleanly with the identity
// and identifiers we put in.
TEST_F(SimTransport, InquiryDataAndIdentificationPagesDecodeWithSgInq) {
    const std::string sgInq = sgInqPath();
    if (sgInq.empty()) GTEST_SKIP() << "sg_inq (sg3-utils) is not installed";
    TempDir files;
    const Bytes standard = {0x12, 0, 0, 0, 0xFF, 0}, identification = {0x12, 0x01, 0x83, 0, 0xFF, 0};
    const struct {
        const char* node;
        Bytes cdb;
        size_t size;  // 0: any
        std::vector<std::string> lines;  // each a whole line of the decoding, in this order
    } cases[] = {
        {"sg0", standard, 96,
         {"standard INQUIRY:", "  PQual=0  PDT=0  RMB=0  LU_CONG=0  hot_pluggable=0  version=0x06  [SPC-4]",
          "  [AERC=0]  [TrmTsk=0]  NormACA=0  HiSUP=1  Resp_data_format=2",
          "  SCCS=0  ACC=0  TPGS=0  3PC=0  Protect=0  [BQue=0]",
          "  EncServ=0  MultiP=1 (VS=0)  [MChngr=0]  [ACKREQQ=0]  Addr16=0",
          "  [RelAdr=0]  WBus16=0  Sync=0  [Linked=0]  [TranDis=0]  CmdQue=1",
          "    length=96 (0x60)   Peripheral device type: disk", " Vendor identification: TOLVO   ",
          " Product identification: TOLVO RAID 8000 ", " Product revision level: 0601"}},
        {"sg3", standard, 96,
         {"standard INQUIRY:", "  PQual=0  PDT=13  RMB=0  LU_CONG=0  hot_pluggable=0  version=0x06  [SPC-4]",
          "  EncServ=0  MultiP=0  [MChngr=0]  [ACKREQQ=0]  Addr16=0",
          "    length=96 (0x60)   Peripheral device type: enclosure services device",
          " Vendor identification: ACME    ", " Product identification: ENCLOSURE       ",
          " Product revision level: 2.10"}},
        {"sg1", identification, 0,
         {"VPD INQUIRY: Device Identification page", "  Designation descriptor number 1, descriptor length: 25",
          "    designator_type: T10 vendor identification,  code_set: ASCII",
          "    associated with the Addressed logical unit", "      vendor id: TOLVO   ",
          "      vendor specific: RAID8000-SN42", "  Designation descriptor number 2, descriptor length: 12",
          "    designator_type: EUI-64 based,  code_set: Binary", "    associated with the Addressed logical unit",
          "      EUI-64 based 8 byte identifier", "      IEEE Company_id: 0x1122", "      [0x0011223344556677]",
          "  Designation descriptor number 3, descriptor length: 12",
          "    transport: Fibre Channel Protocol for SCSI (FCP-5)", "    designator_type: NAA,  code_set: Binary",
          "    associated with the Target port", "      NAA 2, vendor specific identifier A: 0x100",
          "      IEEE Company_id: 0x1122", "      vendor specific identifier B: 0x334402",
          "      [0x2100001122334402]"}},
        {"sg3", identification, 0,
         {"VPD INQUIRY: Device Identification page", "  Designation descriptor number 1, descriptor length: 12",
          "    designator_type: NAA,  code_set: Binary", "      NAA 5, IEEE Company_id: 0xc50",
          "      Vendor Specific Identifier: 0xdeadbeef", "      [0x5000c500deadbeef]"}},
    };
    for (const auto& c : cases) {
        const Bytes data = capture(sim.dir() + "/" + c.node, c.cdb);
        SCOPED_TRACE(std::string(c.node) + " page " + std::to_string(c.cdb[2]));
        ASSERT_FALSE(data.empty());
        if (c.size) {
            EXPECT_EQ(data.size(), c.size);
        }
        // The hex form of sg_inq --inhex: 16 bytes a line.
        std::ofstream file(files.path() + "/reply.hex");
        char hex[4];
        for (size_t i = 0; i < data.size(); ++i) {
            std::snprintf(hex, sizeof hex, "%02x", data[i]);
            file << hex << ((i % 16 == 15 || i + 1 == data.size()) ? "\n" : " ");
        }
        file.close();
        auto r = run({sgInq, "--inhex=" + files.path() + "/reply.hex"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const std::string out = "\n" + r.out;
        size_t at = 0;
        for (const auto& line : c.lines) {
            at = out.find("\n" + line + "\n", at);
            ASSERT_NE(at, std::string::npos) << "missing line \"" << line << "\" in:\n" << r.out;
            ++at;
        }
    }
}

TEST(SimLifecycle, SigtermAndSigintRemoveTheSocketsAndExitZero) {
    for (int sig : {SIGTERM, SIGINT}) {
        Simulator sim(kScenario);
        std::string dir = sim.dir();
        SgNode open(dir + "/sg0");
        ASSERT_EQ(open.open(O_RDWR), 0);
        kill(sim.pid(), sig);
        EXPECT_EQ(sim.stop(), 0) << "signal " << sig;
        EXPECT_TRUE(entries(dir).empty()) << "signal " << sig;
    }
}

// Scenarios as tolvo-sim loads them: every shipped scenario file, malformed
// scenarios and usage errors, the state file, and a directory of 250 nodes.
std::string writeFile(const TempDir& dir, const std::string& name, const std::string& text) {
    std::string path = dir.path() + "/" + name;
    testsupport::writeFile(path, text);
    return path;
}

// What lqcl's discovery checks in a configuration header.
bool validConfigHeader(const Bytes& h) {
    if (h.size() < 512) return false;
    bool nonZero = h[0] || h[1] || h[2] || h[3];
    auto flag = [&](size_t i) { return h[i] == 0xF0 || h[i] == 0xF1; };
    return nonZero && h[170] != 0 && flag(171) && flag(208) && flag(209);
}

TEST(SimScenarios, EveryShippedScenarioStartsAndAnswersOnEveryPath) {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(std::string(LQCL_SOURCE_DIR) + "/sim/scenarios"))
        if (e.path().extension() == ".json") files.push_back(e.path());
    ASSERT_GE(files.size(), 4u);
    for (const auto& file : files) {
        SCOPED_TRACE(file);
        Simulator sim(file);
        auto devices = sim.ctl("devices")["devices"];
        for (const auto& d : devices) {
            SgNode n(sim.dir() + "/" + d["device"].get<std::string>());
            ASSERT_EQ(n.open(O_RDWR | O_EXCL), 0);
            Bytes inq = goodData(n.command(kInquiry, 96));
            ASSERT_EQ(inq.size(), 96u);
            if (d.contains("system")) {
                EXPECT_EQ(std::string(inq.begin() + 16, inq.begin() + 22), "TOLVO ");
                EXPECT_TRUE(validConfigHeader(goodData(n.command(kReadConfigHeader, 512))));
            }
        }
    }
}

TEST(SimScenarios, MalformedScenariosEndWithStatusTwoAndAClearMessage) {
    TempDir files, devs;
    struct Case {
        std::string text;
        std::string message;
    } cases[] = {
        {"{\"systems\": [", "not valid JSON"},
        {R"({"devices":[{"sg":1,"vendor":"ACME"}]})", "devices[0].product: missing"},
        {R"({"systems":[{"paths":[{"sg":0}],"wwn":"0000000000000000"}]})", "systems[0].wwn: must not be zero\n"},
    };
    for (const auto& c : cases) {
        std::string file = writeFile(files, "bad.json", c.text);
        auto r = run({TOLVO_SIM_BINARY, "serve", devs.path(), file});
        EXPECT_EQ(r.status, 2) << c.text;
        EXPECT_EQ(r.out, "") << c.text;
        std::string prefix = "tolvo-sim: scenario " + file + ": " + c.message;
        EXPECT_EQ(r.err.rfind(prefix, 0), 0u) << r.err;
        EXPECT_EQ(r.err.back(), '\n');
    }
    auto missing = run({TOLVO_SIM_BINARY, "serve", devs.path(), files.path() + "/none.json"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "tolvo-sim: scenario " + files.path() + "/none.json: cannot read: No such file or directory\n");
    EXPECT_TRUE(std::filesystem::is_empty(devs.path()));  // nothing was created
}

TEST(SimScenarios, UsageErrors) {
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{}, 2},     {{"frobnicate"}, 2}, {{"serve"}, 2}, {{"serve", "/tmp", "a.json", "b.json"}, 2},
        {{"serve", "/tmp", "--bogus"}, 2}, {{"ctl"}, 2}, {{"ctl", "/tmp"}, 2}, {{"--help"}, 0},
    };
    for (const auto& [args, status] : cases) {
        std::vector<std::string> argv = {TOLVO_SIM_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        auto r = run(argv);
        EXPECT_EQ(r.status, status) << (args.empty() ? "" : args[0]);
        if (status == 2) {
            EXPECT_NE(r.err.find("usage: tolvo-sim serve DIR"), std::string::npos) << r.err;
        }
    }
    auto notDir = run({TOLVO_SIM_BINARY, "serve", "/nonexistent/devices"});
    EXPECT_EQ(notDir.status, 1);
    EXPECT_EQ(notDir.err, "tolvo-sim: /nonexistent/devices: not a directory\n");
}

TEST(SimScenarios, StateSurvivesARestart) {
    TempDir files;
    std::string state = files.path() + "/state.json";
    // Links where the state file and its temporary go are replaced, never written through.
    std::string victim = writeFile(files, "victim", "");
    ASSERT_EQ(symlink(victim.c_str(), state.c_str()), 0);
    ASSERT_EQ(symlink(victim.c_str(), (state + ".tmp").c_str()), 0);
    nlohmann::json before;
    {
        Simulator sim("", {"--state", state});
        before = sim.ctl("model", {"0", "dump-config"});
        ASSERT_FALSE(before.contains("error"));
        EXPECT_EQ(sim.ctl("save-state")["saved"], state);
        EXPECT_EQ(sim.stop(), 0);
    }
    EXPECT_EQ(testsupport::readFile(victim), "");
    struct stat st{};
    ASSERT_EQ(lstat(state.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    auto saved = nlohmann::json::parse(testsupport::readFile(state));
    ASSERT_EQ(saved["systems"].size(), 1u);
    EXPECT_EQ(saved["systems"][0]["paths"].size(), 2u);
    EXPECT_EQ(saved["systems"][0]["product"], "TOLVO RAID 8200");
    EXPECT_TRUE(saved["systems"][0].contains("wwn"));
    // Restarted with another scenario given, the state file wins.
    std::string other = writeFile(files, "other.json",
                                  R"({"devices":[{"sg":9,"vendor":"ACME","product":"DISK DRIVE"}]})");
    Simulator again(other, {"--state", state});
    EXPECT_EQ(again.ctl("devices")["devices"].size(), 2u);
    EXPECT_EQ(again.ctl("model", {"0", "dump-config"}), before);
}

TEST(SimScenarios, TwoHundredFiftyNodesServedAtOnce) {
    nlohmann::json doc;
    for (int s = 0; s < 125; ++s) {
        char wwn[17];
        std::snprintf(wwn, sizeof wwn, "20000011%08X", s + 1);
        doc["systems"].push_back({{"wwn", wwn},
                                  {"paths", {{{"sg", 2 * s}, {"channel", 0}}, {{"sg", 2 * s + 1}, {"channel", 1}}}}});
    }
    Simulator sim(doc.dump());
    std::vector<std::unique_ptr<SgNode>> nodes;
    for (int i = 0; i < 250; ++i) {
        nodes.push_back(std::make_unique<SgNode>(sim.dir() + "/sg" + std::to_string(i)));
        ASSERT_EQ(nodes.back()->open(O_RDWR | O_EXCL), 0) << i;
    }
    for (int i = 0; i < 250; ++i) {
        Bytes header = goodData(nodes[i]->command(kReadConfigHeader, 512));
        ASSERT_TRUE(validConfigHeader(header)) << i;
        EXPECT_EQ(header[31], static_cast<uint8_t>(i / 2 + 1)) << i;
    }
    EXPECT_EQ(sim.commands().size(), 250u);
}

// `tolvo-sim ctl` and the daemon mode, as a script would use them.
TEST(SimCtl, AnswersAreJsonAndTheStatusSaysWhetherTheyFailed) {
    Simulator sim;
    using nlohmann::json;
    const struct {
        std::vector<std::string> args;
        int status;
        const char* key;  // the key of the answer compared, or "" for the whole answer
        json value;
    } cases[] = {
        {{"inject", "sg1", "busy", R"({"count":2})"}, 0, "", {{"id", 1}}},
        {{"faults"}, 0, "", {{"faults", {{{"id", 1}, {"kind", "busy"}, {"remaining", 2}, {"target", "sg1"}}}}}},
        {{"wall-offset", "-3600"}, 0, "wallOffset", -3600},
        {{"inject", "sg7", "busy"}, 1, "", {{"error", "no device sg7"}}},
        {{"frobnicate"}, 1, "", {{"error", "unknown verb \"frobnicate\" (try: help)"}}},
        {{"model", "0", "refuse-config", R"({"count":2})"}, 0, "", {{"count", 2}, {"ok", true}, {"reason", "start"}}},
        {{"model", "0", "no-such-verb"}, 1, "", {{"error", "unknown model verb \"no-such-verb\""}}},
        // Stop ends the server after answering; its sockets go with it.
        {{"stop"}, 0, "", {{"stopping", true}}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {TOLVO_SIM_BINARY, "ctl", sim.dir()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        auto r = run(argv);
        EXPECT_EQ(r.status, c.status) << c.args[0];
        EXPECT_EQ(r.err, "") << c.args[0];
        const json answer = json::parse(r.out);
        EXPECT_EQ(*c.key ? answer[c.key] : answer, c.value) << c.args[0];
    }
    EXPECT_EQ(sim.stop(), 0);
    struct stat st{};
    EXPECT_NE(lstat((sim.dir() + "/sg0").c_str(), &st), 0);
    EXPECT_NE(lstat((sim.dir() + "/.control").c_str(), &st), 0);
    // Nothing serves the directory now.
    auto r = run({TOLVO_SIM_BINARY, "ctl", sim.dir(), "devices"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "tolvo-sim ctl: cannot reach the emulator at " + sim.dir() + "/.control: No such file or directory\n");
}

// Raw requests on the control socket, as a client in another language would send them.
TEST(SimCtl, RawRequestsOnTheControlSocket) {
    Simulator sim;
    struct Case {
        std::string request;
        std::string error;
    } cases[] = {
        {"garbage\n", "the request is not valid JSON"},
        {"[1,2]\n", "a request is a JSON object with a string \"verb\""},
        {"{\"verb\":\"faults\",\"args\":\"x\"}\n", "\"args\" must be an array of strings"},
        {"", "the request is not valid JSON"},
    };
    for (const auto& c : cases) {
        std::string answer = sim::controlExchange(sim.dir(), c.request);
        ASSERT_FALSE(answer.empty()) << c.request;
        EXPECT_EQ(answer.back(), '\n');
        auto j = nlohmann::json::parse(answer);
        EXPECT_EQ(j["error"].get<std::string>().rfind(c.error, 0), 0u) << answer;
    }
    // Without the final newline the end of the client's side ends the request.
    EXPECT_EQ(nlohmann::json::parse(sim::controlExchange(sim.dir(), R"({"verb":"clock"})")).count("nowMs"), 1u);
    EXPECT_EQ(sim.ctl("devices")["devices"].size(), 2u);
}

// The daemon mode; a second emulator refused on a directory that is served; the
// sockets of a server that died taken over.
TEST(SimLifecycle, DaemonsLiveServersAndStaleSockets) {
    TempDir devs, files;
    const std::string pidFile = files.path() + "/sim.pid";
    auto daemon = [&] { return run({TOLVO_SIM_BINARY, "serve", devs.path(), "--daemon", "--pidfile", pidFile}); };
    auto daemonPid = [&] {
        pid_t pid = 0;
        std::ifstream(pidFile) >> pid;
        return pid;
    };
    auto gone = [](pid_t pid) {
        for (int i = 0; i < 1000 && kill(pid, 0) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return kill(pid, 0) != 0;
    };
    auto r = daemon();
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "ready " + devs.path() + "\n");
    pid_t pid = daemonPid();
    ASSERT_GT(pid, 0);
    EXPECT_EQ(kill(pid, 0), 0);
    r = run({TOLVO_SIM_BINARY, "serve", devs.path()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("already served by another process"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    r = run({TOLVO_SIM_BINARY, "ctl", devs.path(), "devices"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(nlohmann::json::parse(r.out)["devices"].size(), 2u);

    kill(pid, SIGKILL);
    ASSERT_TRUE(gone(pid));
    ASSERT_TRUE(isSocket(devs.path() + "/sg0"));
    ASSERT_EQ(daemon().status, 0);
    pid = daemonPid();
    EXPECT_EQ(SgNode(devs.path() + "/sg0").open(O_RDWR), 0);
    EXPECT_EQ(run({TOLVO_SIM_BINARY, "ctl", devs.path(), "stop"}).status, 0);
    EXPECT_TRUE(gone(pid));
    struct stat st{};
    EXPECT_NE(stat(pidFile.c_str(), &st), 0);
    EXPECT_TRUE(entries(devs.path()).empty());

    // A daemon that cannot start says why and fails.
    auto bad = run({TOLVO_SIM_BINARY, "serve", files.path() + "/missing", "--daemon"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err, "tolvo-sim: " + files.path() + "/missing: not a directory\n");
}

std::vector<std::string> namesOf(const nlohmann::json& verbs) {
    std::vector<std::string> names;
    for (const auto& v : verbs) names.push_back(v.at("verb").get<std::string>());
    return names;
}

TEST(SimCtl, HelpListsEveryVerbAndFaultKind) {
    Simulator sim;
    auto help = run({TOLVO_SIM_BINARY, "ctl", sim.dir(), "help"});
    ASSERT_EQ(help.status, 0);
    auto answer = nlohmann::json::parse(help.out);
    EXPECT_EQ(namesOf(answer["verbs"]),
              (std::vector<std::string>{"devices", "inject", "faults", "clear-faults", "commands", "clear-commands",
                                        "advance", "wall-offset", "clock", "freeze", "thaw", "reservations", "model",
                                        "netmod", "save-state", "stop", "help"}));
    EXPECT_EQ(answer["faultKinds"], nlohmann::json::parse(R"(["not-ready", "busy", "conflict", "check", "fail-path",
                                                              "short-reply", "vanish", "ebusy-open"])"));
    auto model = run({TOLVO_SIM_BINARY, "ctl", sim.dir(), "model", "0", "help"});
    ASSERT_EQ(model.status, 0);
    auto verbs = nlohmann::json::parse(model.out)["verbs"];
    EXPECT_EQ(namesOf(verbs),
              (std::vector<std::string>{"refuse-config", "set-clock", "dump-config", "check-config", "dump-regions",
                                        "corrupt-reply", "fail-drive", "downloads", "snapshots", "jobs",
                                        "controller-life", "power-on", "clock-drift", "maintenance", "log-event",
                                        "event-log", "temperature", "ses-set", "ses-state", "ses-page", "help"}));
    EXPECT_EQ(verbs[0]["arguments"], nlohmann::json::parse(R"(["reason", "count"])"));
}

// Every system of the several-systems scenario reports, through lqcl, the
// firmware revision of its INQUIRY data and the model its product names.
TEST(SimCtl, SeveralSystemsReportTheirOwnModelAndRevision) {
    Simulator sim(std::string(LQCL_SOURCE_DIR) + "/sim/scenarios/several-systems.json");
    const struct {
        const char *system, *revision;
        int type;
        const char* model;
    } cases[] = {{"0", "0513", 19, "8200"}, {"1", "0601", 17, "K8112A"}, {"2", "0420", 7, "7102"}};
    for (const auto& c : cases) {
        expectRuns(sim, {{{"-p", c.system, "-C", "-g", "-z", "raidversion"}, e2e::firmwareReport("01", c.revision, std::to_string(0xC0 | c.type)), 0},
                         {{"-p", c.system, "-C", "-g", "-z", "prodtype"}, std::string("\nController type is ") + c.model, 0}});
    }
}

}  // namespace
