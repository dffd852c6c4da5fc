// End-to-end tests of the event commands: the built lqcl against tolvo-sim,
// the event store in a PEGASUS_HOME of the test's own, whole outputs compared
// with the documented texts.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/simulator.h"

using nlohmann::json;
using namespace testsupport;

namespace {

constexpr int64_t kT = 1767225600;   // Thu Jan  1 00:00:00 2026 UTC
const std::string kStore = "/bin/LAPIEvents_2000001122334400_00000013.bin";
const std::string kRule = "=============================================================";

std::string scenario(bool controllerB = true) {
    json system = {{"productType", 0x13}, {"arrays", {{{"drives", {0, 1}}, {"level", 1}}}}};
    if (!controllerB) system["controllers"] = {json::object(), {{"present", false}}};
    return testsupport::onePathScenario("", 4, system);
}

class Events : public ::testing::Test {
protected:
    void SetUp() override { mkdir((home.path() + "/bin").c_str(), 0755); }
    std::map<std::string, std::string> env() const {
        return {{"LQCL_DEV_DIR", sim.dir()}, {"PEGASUS_HOME", home.path() + "/"}, {"TZ", "UTC"}};
    }
    RunResult lqcl(const std::vector<std::string>& args) { return testsupport::runLqcl(args, env(), sim.dir()); }
    void logEvent(int controller, int id, const std::string& payload, int64_t when) {
        json a = {{"controller", controller}, {"id", id}, {"payload", payload}, {"time", when}};
        ASSERT_FALSE(sim.ctl("model", {"0", "log-event", a.dump()}).contains("error"));
    }
    std::string store() const { return home.path() + kStore; }
    size_t storeSize(const std::string& path) const {
        struct stat st;
        return stat(path.c_str(), &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
    }

    Simulator sim{scenario()};
    TempDir home;
};

std::string banner(const std::string& count) {
    return "\n" + kRule + "\nThere are " + count + " events for RAID System WWN 2000001122334400\n" + kRule + "\n\n";
}

TEST_F(Events, ListingMergesBothControllersAndKeepsTheHistory) {
    expectResult(lqcl({"-F", "-g", "-z", "encevents"}),
                 banner("0") + "\n**** RAID System 0 There were no events this time ****\n", 0);
    EXPECT_EQ(storeSize(store()), 0u);
    logEvent(1, 0x03, "28", kT);    // equal times: controller 1's entry first
    logEvent(0, 0x56, "", kT);
    logEvent(0, 0xAC, "FF", kT + 61);
    const std::string first =
        "---- Event Number:     1: Event Time (On Controller): Thu Jan  1 00:00:00 2026\n"
        "  RAID System ID: 0  Severity: 3 (Information)  Source: 4 (Controller)\n  Text: 0x56^Event Log Cleared\n"
        "---- Event Number:     2: Event Time (On Controller): Thu Jan  1 00:00:00 2026\n"
        "  RAID System ID: 0  Severity: 1 (Critical)  Source: 4 (Controller)\n"
        "  Text: 0x03^Temp Limit. Temperature is 40 degrees Celsius (104 degrees Fahrenheit)\n"
        "---- Event Number:     3: Event Time (On Controller): Thu Jan  1 00:01:01 2026\n"
        "  RAID System ID: 0  Severity: 3 (Information)  Source: 63 (General)\n"
        "  Text: Unknown Message ID 0xac Payload: 0xFF 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 0x00 "
        "0x00 \n";
    expectResult(lqcl({"-F", "-g", "-z", "encevents"}),
                 first + banner("3") + "\n++++ RAID System 0 There were 3 events this time ++++\n", 0);

    // The next run adds only what is new; the count of one ID reads the texts.
    logEvent(1, 0x2F, "00", kT + 120);
    expectResult(lqcl({"-F", "-n", "-z", "encevents"}), "\nNumber Of  Records: 4\n", 0);
    expectResult(lqcl({"-F", "-n", "-z", "specificevent", "-l", "47"}), "Number of Events :1\n", 0);
    expectResult(lqcl({"-X", "-F", "-n", "-z", "latesteventcnt"}), "\nNumber Of Latest Events: 0x4\n", 0);
    EXPECT_EQ(storeSize(store()), 4 * 24u);
    expectResult(lqcl({"-F", "-n", "-z", "initialeventcnt"}), "\nNumber Of Initial Events: 4\n", 0);
}

TEST_F(Events, HexadecimalListingOfOneEvent) {
    logEvent(0, 0x1B, "02", kT);
    expectResult(lqcl({"-X", "-F", "-g", "-z", "encevents"}),
              "---- Event Number: 0x1: Event Time (On Controller): Thu Jan  1 00:00:00 2026\n"
              "  RAID System ID: 0  Severity: 0x1 (Critical)  Source: 0x3 (Configuration)\n"
              "  Text: 0x1B^Pool/Array Critical. Pool/Array Number 2\n" +
                  banner("0x1") + "\n++++ RAID System 0 There was 1 event this time ++++\n",
                 0);
}

TEST_F(Events, ClearEmptiesBothLogsAndTheStore) {
    logEvent(0, 0x56, "", kT);
    logEvent(1, 0x56, "", kT);
    EXPECT_EQ(lqcl({"-F", "-n", "-z", "encevents"}).out, "\nNumber Of  Records: 2\n");
    expectResult(lqcl({"-F", "-s", "-z", "clearevent"}), "Cleared\n", 0);
    EXPECT_EQ(storeSize(store()), 0u);
    // Each controller logs that its log was cleared.
    EXPECT_EQ(lqcl({"-F", "-n", "-z", "specificevent", "-l", "86"}).out, "Number of Events :2\n");
}

TEST_F(Events, TornStoreKeepsItsWholeRecords) {
    testsupport::writeFile(store(), std::string(24, '\0') + "x");
    RunResult r = lqcl({"-F", "-n", "-z", "encevents"});
    EXPECT_EQ(r.out, "\nNumber Of  Records: 1\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Warning: the event store " + store() + " ended in a partial record; its last 1 bytes were moved to " +
                         store() + ".torn.\n");
    EXPECT_EQ(storeSize(store() + ".torn"), 1u);
}

TEST_F(Events, OlderStoreIsCopiedAndKept) {
    const std::string older = home.path() + "/bin/LAPIEvents_0_2000001122334400.bin";
    testsupport::writeFile(older, std::string(48, '\0'));
    EXPECT_EQ(lqcl({"-F", "-n", "-z", "encevents"}).out, "\nNumber Of  Records: 2\n");
    EXPECT_EQ(storeSize(older), 48u);
    EXPECT_EQ(storeSize(store()), 48u);
}

TEST_F(Events, StoreWithoutPegasusHomeIsInTheCurrentDirectory) {
    TempDir cwd;
    logEvent(0, 0x56, "", kT);
    auto e = env();
    e["PEGASUS_HOME"] = "";
    expectResult(testsupport::runLqcl({"-F", "-n", "-z", "encevents"}, e, cwd.path()), "\nNumber Of  Records: 1\n", 0);
    EXPECT_EQ(storeSize(cwd.path() + "/LAPIEvents_2000001122334400_00000013.bin"), 24u);
}

TEST_F(Events, StoreThatIsNotAFileIsRefused) {
    mkdir(store().c_str(), 0755);
    RunResult r = lqcl({"-F", "-n", "-z", "encevents"});
    EXPECT_EQ(r.out, "\nLAPI call failed: Cannot open or write to file.\nReturn code: 1006\n");
    EXPECT_EQ(r.err, "Error: the event store " + store() + " is not a regular file.\n");
    EXPECT_EQ(r.status, 1);
}

TEST_F(Events, FailedWriteIsReportedAndLeavesTheStore) {
    // The store already holds the controller's one event, so the fetch adds
    // nothing and the rebuild that follows is the first write.
    const std::string record = std::string("\xEA\x07\x01\x01\x05\x00\x00\x00\x01\x56", 10) + std::string(14, '\0');
    testsupport::writeFile(store(), record);
    testsupport::writeFile(store() + ".new", "left by a process that died");
    logEvent(0, 0x56, "", kT);
    // A file size limit of 0: the rebuild's new file cannot be written.
    RunResult r = testsupport::run({"/bin/sh", "-c", "ulimit -f 0; trap '' XFSZ; exec \"$0\" -F -n -z initialeventcnt",
                                    LQCL_BINARY},
                                   env(), sim.dir());
    EXPECT_EQ(r.out, "\nNumber Of Initial Events: 1\n\nLAPI call failed: Cannot open or write to file.\nReturn code: 1006\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(storeSize(store()), 24u);
    EXPECT_NE(access((store() + ".new").c_str(), F_OK), 0);
}

TEST_F(Events, TwoProcessesFetchingAtOnceStoreEachEventOnce) {
    // Three merges race over a store that already holds the first 20 events:
    // each of the 20 new ones must be appended exactly once.
    for (int i = 0; i < 20; ++i) logEvent(i % 2, 0x56, "", kT + i);
    EXPECT_EQ(lqcl({"-F", "-n", "-z", "encevents"}).out, "\nNumber Of  Records: 20\n");
    for (int i = 20; i < 40; ++i) logEvent(i % 2, 0x56, "", kT + i);
    const std::string cmd = "\"$0\" -F -n -z encevents >/dev/null & \"$0\" -F -n -z encevents >/dev/null & "
                            "\"$0\" -F -n -z latesteventcnt >/dev/null & wait";
    RunResult r = testsupport::run({"/bin/sh", "-c", cmd, LQCL_BINARY}, env(), sim.dir());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(storeSize(store()), 40 * 24u);
}

TEST_F(Events, ShortLogReplyStoresOnlyTheEntriesReceived) {
    // Controller 1's log declares three entries, but its reply ends inside
    // the second (36 bytes of reply header, the log's 16, 24 + 10 of entries).
    for (int i = 0; i < 3; ++i) logEvent(0, 0x56, "", kT + i);
    sim.inject("sg0", "short-reply", R"({"cdb": "3C0246", "length": 86})");
    expectResult(lqcl({"-F", "-n", "-z", "encevents"}), "\nNumber Of  Records: 1\n", 0);
    // The next whole reply brings the two others, once each.
    expectResult(lqcl({"-F", "-n", "-z", "encevents"}), "\nNumber Of  Records: 3\n", 0);
    expectResult(lqcl({"-F", "-n", "-z", "specificevent", "-l", "86"}), "Number of Events :3\n", 0);
}

TEST_F(Events, ControllerBMissingStillStoresControllerA) {
    Simulator single(scenario(false));
    json a = {{"controller", 0}, {"id", 0x56}, {"time", kT}};
    single.ctl("model", {"0", "log-event", a.dump()});
    auto e = env();
    e["LQCL_DEV_DIR"] = single.dir();
    expectResult(testsupport::runLqcl({"-F", "-n", "-z", "encevents"}, e, single.dir()), "\nNumber Of  Records: 1\n",
                 0);
}

}  // namespace
