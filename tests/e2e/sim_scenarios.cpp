// Scenarios as tolvo-sim loads them: the built-in default, every shipped
// scenario file, malformed scenarios and usage errors, the state file, and a
// directory of 250 simulated nodes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "support/simulator.h"

namespace {

using namespace testsupport;
using Bytes = std::vector<uint8_t>;

const Bytes kInquiry = {0x12, 0, 0, 0, 0x60, 0};
const Bytes kReadConfigHeader = {0x3C, 0x01, 0x03, 0, 0, 0, 0, 0x02, 0x00, 0};

std::string writeFile(const TempDir& dir, const std::string& name, const std::string& text) {
    std::string path = dir.path() + "/" + name;
    testsupport::writeFile(path, text);
    return path;
}

// Data bytes of a GOOD reply, or empty.
Bytes goodData(const Bytes& reply) {
    if (reply.size() < 36 || reply[12] || reply[13] || reply[14] || reply[15] || (reply[16] >> 1 & 0x1F)) return {};
    return Bytes(reply.begin() + 36, reply.end());
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
        {R"({"systems":[{"paths":[{"sg":0},{"sg":0}]}]})", "systems[0].paths[1].sg: sg0 is used twice"},
        {R"({"devices":[{"sg":1,"vendor":"ACME"}]})", "devices[0].product: missing"},
        {R"({"systems":[{"paths":[{"sg":0}],"wwn":"0000000000000000"}]})", "systems[0].wwn: must not be zero\n"},
        {R"({"systems":[{"paths":[{"sg":0}],"arrrays":[]}]})", "systems[0].arrrays: unknown key\n"},
        {R"({"systems":[{"paths":[{"sg":0}],"wwn":"20"}]})", "systems[0].wwn: expected 16 hexadecimal digits\n"},
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
    struct Case {
        std::vector<std::string> args;
        int status;
    } cases[] = {
        {{}, 2},
        {{"frobnicate"}, 2},
        {{"serve"}, 2},
        {{"serve", "/tmp", "a.json", "b.json"}, 2},
        {{"serve", "/tmp", "--bogus"}, 2},
        {{"ctl"}, 2},
        {{"ctl", "/tmp"}, 2},
        {{"--help"}, 0},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {TOLVO_SIM_BINARY};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        auto r = run(argv);
        EXPECT_EQ(r.status, c.status) << (c.args.empty() ? "" : c.args[0]);
        if (c.status == 2) {
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

}  // namespace
