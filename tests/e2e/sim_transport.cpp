// tolvo-sim as a process: the socket transport of the simulated sg nodes, its
// start and stop, and its robustness against clients that misbehave.
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "support/sg_message.h"
#include "support/simulator.h"

namespace {

using namespace testsupport;
using Bytes = std::vector<uint8_t>;

const char* kScenario = R"({
  "systems": [ { "wwn": "2000001122334400",
                 "paths": [ { "sg": 0, "host": 5, "channel": 0, "target": 2, "lun": 0, "portWwn": "2100001122334401" },
                            { "sg": 1, "host": 6, "channel": 1, "target": 2, "lun": 0, "portWwn": "2100001122334402" } ] } ],
  "devices": [ { "sg": 2, "vendor": "ACME", "product": "DISK DRIVE", "revision": "1.00", "type": 0 } ]
})";

const Bytes kInquiry = {0x12, 0, 0, 0, 0x60, 0};

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
    EXPECT_EQ(entries(sim.dir()), (std::set<std::string>{".control", "sg0", "sg1", "sg2"}));
    for (int n : {0, 1, 2}) EXPECT_TRUE(isSocket(node(n))) << n;
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
    EXPECT_EQ(std::string(r.data.begin() + 8, r.data.begin() + 32), "TOLVO   TOLVO RAID 8200 ");
    // The same connection serves any number of commands.
    for (int i = 0; i < 20; ++i) EXPECT_EQ(decode(n.command(kInquiry, 36)).data.size(), 36u);
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

TEST_F(SimTransport, LargeTransfersBothWays) {
    SgNode n(node(2));
    ASSERT_EQ(n.open(O_RDWR), 0);
    Bytes payload(32768);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 7);
    Reply r = decode(n.command({0x3B, 0x01, 0x40, 0, 0, 0, 0, 0x80, 0x00, 0}, 0, payload));
    EXPECT_EQ(r.sense[12], 0x20);  // another device: vendor commands are unknown
    auto cmds = sim.commands();
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0]["dataLength"], 32768);
    std::string hex = cmds[0]["data"];
    ASSERT_EQ(hex.size(), 65536u);
    EXPECT_EQ(hex.substr(0, 8), "00070e15");
    // A huge reply space is granted but only the data present comes back.
    Reply big = decode(n.command(kInquiry, 1u << 20));
    EXPECT_EQ(big.data.size(), 96u);
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

TEST(SimLifecycle, StaleSocketsAreReplacedButALiveServerIsNot) {
    Simulator first(kScenario);
    // A second emulator on the same directory must refuse, leaving the first intact.
    auto r = testsupport::run({TOLVO_SIM_BINARY, "serve", first.dir()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("already served by another process"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    SgNode n(first.dir() + "/sg0");
    EXPECT_EQ(n.open(O_RDWR), 0);

    // A socket left behind by a process that died is taken over.
    testsupport::TempDir dir;
    {
        pid_t pid = fork();
        if (pid == 0) {
            execl(TOLVO_SIM_BINARY, TOLVO_SIM_BINARY, "serve", dir.path().c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 3000 && !isSocket(dir.path() + "/.control"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    ASSERT_TRUE(isSocket(dir.path() + "/sg0"));
    testsupport::TempDir files;
    std::string scenarioFile = files.path() + "/s.json";
    testsupport::writeFile(scenarioFile, kScenario);
    pid_t pid = fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 1);
        execl(TOLVO_SIM_BINARY, TOLVO_SIM_BINARY, "serve", dir.path().c_str(), scenarioFile.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int64_t answer = -1;
    for (int i = 0; i < 3000 && answer != 0; ++i) {
        SgNode again(dir.path() + "/sg0");
        answer = again.open(O_RDWR);
        if (answer != 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(answer, 0);
    kill(pid, SIGTERM);
    int st = 0;
    waitpid(pid, &st, 0);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    EXPECT_TRUE(entries(dir.path()).empty());
}

}  // namespace
