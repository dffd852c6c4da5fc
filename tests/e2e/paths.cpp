// Discovery and path handling as a user of lqcl sees them, against tolvo-sim:
// several systems with several paths, duplicate paths, a foreign device, the
// exclusion list, the three ways of selecting a system (index, WWN, device
// path), failover between paths under injected faults, and the trace file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "texts.h"

namespace {

using nlohmann::json;
using namespace testsupport;
using namespace e2e;

json path(int sg, int host, int channel, int target, int lun, const std::string& portWwn) {
    return {{"sg", sg}, {"host", host}, {"channel", channel}, {"target", target}, {"lun", lun}, {"portWwn", portWwn}};
}

json system(const std::string& wwn, const std::string& name, const json& paths,
            const std::string& product = "TOLVO RAID 7000") {
    return {{"vendor", "TOLVO"}, {"product", product}, {"revision", "0513"}, {"capacityBlocks", 2097152},
            {"blockSize", 512}, {"wwn", wwn}, {"name", name}, {"paths", paths}};
}

// System A: sg0 and sg1, plus sg4 which differs from sg0 only in its host adapter.
// sg2 is a disk of another make. System B: sg3. System C (a TOLVO RAID 8000): sg5.
// System D, WWN 0000000000000ABC: sg8, past a gap at sg6 and sg7.
std::string fleet() {
    return json{{"systems",
                 {system("2000001122334400", "System A",
                         {path(0, 0, 0, 0, 0, "2100001122334401"), path(1, 1, 1, 0, 0, "2100001122334402"),
                          path(4, 2, 0, 0, 0, "2100001122334403")}),
                  system("2000001122334500", "System B", json::array({path(3, 0, 0, 1, 0, "2100001122334501")})),
                  system("2000001122334600", "System C", json::array({path(5, 0, 0, 2, 7, "2100001122334601")}), "TOLVO RAID 8000"),
                  system("0000000000000ABC", "System D", json::array({path(8, 0, 0, 3, 0, "2100001122334701")}))}},
                {"devices", {{{"sg", 2}, {"vendor", "ACME"}, {"product", "DISK DRIVE"}, {"revision", "1.00"}, {"type", 0}}}}}
        .dump();
}

std::string device(const std::string& dir, int sg, int lun, int channel, const std::string& wwn) {
    return "\nDevice: " + dir + "/sg" + std::to_string(sg) + "\nLun: " + std::to_string(lun) +
           "\nPath ID: " + std::to_string(channel) + "\nRaidSystemWWN: " + wwn + "\n";
}

std::string heading(int index) { return "\n**************RAID index: " + std::to_string(index) + "*******************"; }

struct DiscoveryListing : ::testing::Test {
    Simulator sim{fleet()};
};

TEST_F(DiscoveryListing, CountsSystemsAndListsEveryPathOnce) {
    const std::string d = sim.dir();
    testsupport::writeFile(d + "/sg6", "keep");  // a plain file: skipped and left as it is
    expectRun(sim, {"-F", "-n", "-z", "raidsystems"}, "\nIn-Band -> Number of RAID Systems found : 4\n", 0);
    // One scan: an INQUIRY of 96 bytes to each of the seven nodes, a header read
    // (buffer 3, 512 bytes) to each of the six RAID system paths.
    EXPECT_EQ(testsupport::sentCdbs(sim, "12"), std::vector<std::string>(7, "120000006000"));
    EXPECT_EQ(testsupport::sentCdbs(sim, "3c"), std::vector<std::string>(6, "3c010300000000020000"));
    EXPECT_EQ(testsupport::readFile(d + "/sg6"), "keep");
    // The foreign disk was asked who it is, never for a configuration header.
    for (const auto& c : sim.commands()) {
        if (c["device"] == "sg2") {
            EXPECT_EQ(c["cdb"].get<std::string>().substr(0, 2), "12");
        }
    }

    expectRun(sim, {"-S", "-g", "-z", "whoami"},
              heading(0) + device(d, 0, 0, 0, "2000001122334400") + device(d, 1, 0, 1, "2000001122334400") +
                  heading(1) + device(d, 3, 0, 0, "2000001122334500") + heading(2) +
                  device(d, 5, 7, 0, "2000001122334600") + heading(3) + device(d, 8, 0, 0, "0000000000000ABC"),
              0);
}

TEST_F(DiscoveryListing, ExclusionListLeavesSystemsOut) {
    testsupport::TempDir work;
    std::ofstream(work.path() + "/DIDEExclude.txt")
        << "// systems of the lab\n\n  2000001122334500  System B\n//2000001122334400\n\tABC\n";
    const std::string d = sim.dir();
    testsupport::expectResult(runLqcl({"-F", "-n", "-z", "raidsystems"}, sim.env(), work.path()),
                              "\nIn-Band -> Number of RAID Systems found : 2\n", 0);
    testsupport::expectResult(runLqcl({"-S", "-g", "-z", "whoami"}, sim.env(), work.path()),
                              heading(0) + device(d, 0, 0, 0, "2000001122334400") +
                                  device(d, 1, 0, 1, "2000001122334400") + heading(1) +
                                  device(d, 5, 7, 0, "2000001122334600"),
                              0);
}

TEST_F(DiscoveryListing, SelectionByIndexWwnAndDevicePath) {
    const std::string d = sim.dir();
    const std::string systemB = device(d, 3, 0, 0, "2000001122334500");
    const std::string systemC = device(d, 5, 7, 0, "2000001122334600");

    expectRun(sim, {"-F", "-g", "-z", "whoami", "-p", "2"}, systemC, 0);
    // The WWN of one system by index.
    expectRun(sim, {"-F", "-g", "-z", "raidsystems", "-l", "1"}, "Tolvo[1]:2000001122334500\n", 0);
    expectRun(sim, {"-F", "-g", "-z", "raidsystems", "-l", "4"},
              "Error:Invalid tolvoIndex, valid raidSystemIndex range 0-3\r\n", 0);
    expectRun(sim, {"-F", "-g", "-z", "whoami", "-p", "2000001122334500"}, systemB, 0);
    // A value above the last index is a WWN even when its high half is zero.
    expectRun(sim, {"-F", "-g", "-z", "whoami", "-p", "ABC"}, device(d, 8, 0, 0, "0000000000000ABC"), 0);
    // A small low half with a high half is a WWN, not an index.
    expectRun(sim, {"-F", "-g", "-z", "whoami", "-p", "100000003"}, kNoRaidSystem, 255);

    // The last -p value counts; an index beyond the systems selects nothing.
    expectRun(sim, {"-F", "-g", "-z", "whoami", "-p", "1", "-p", "4"}, kNoRaidSystem, 255);

    // A device path: only paths beginning "/de" are taken as one, so the node is
    // named through a link under /dev/shm.
    char linkDir[] = "/dev/shm/lqcl-XXXXXX";
    if (mkdtemp(linkDir) == nullptr) GTEST_SKIP() << "no /dev/shm";
    const std::string link = std::string(linkDir) + "/sg5";
    std::filesystem::create_symlink(d + "/sg5", link);
    auto byPath = runLqcl({"-F", "-g", "-z", "whoami", "-p", link}, sim.env());
    std::filesystem::remove_all(linkDir);
    EXPECT_EQ(byPath.out, "\nDevice: " + link + "\nLun: 7\nPath ID: 0\nRaidSystemWWN: 2000001122334600\n");
    EXPECT_EQ(byPath.status, 0);
}

TEST(DiscoveryBadReplies, ShortOrFailedAnswersLeaveThePathOut) {
    Simulator sim;  // one system on sg0 and sg1
    // A device the user names that does not exist selects nothing.
    expectRun(sim, {"-F", "-g", "-z", "whoami", "-p", "/dev/lqcl-no-such-node"}, kNoRaidSystem, 255);
    // sg0 answers the identifying INQUIRY with 10 bytes only: no product identification.
    sim.inject("sg0", "short-reply", R"({"cdb": "12", "length": 10})");
    expectRun(sim, {"-S", "-g", "-z", "whoami"}, heading(0) + device(sim.dir(), 1, 0, 1, "2000001122334400"), 0);

    // Both paths refuse the configuration header read: nothing is found.
    sim.inject("sg0", "check", R"({"cdb": "3C0103", "key": 5, "asc": 36, "ascq": 0})");
    sim.inject("sg1", "check", R"({"cdb": "3C0103", "key": 5, "asc": 36, "ascq": 0})");
    expectRun(sim, {"-F", "-n", "-z", "raidsystems"}, kNoRaidSystem, 255);
}

// Busy controllers, failed paths and lost systems as a user of lqcl sees them,
// against tolvo-sim with injected faults and its record of received commands.
// The default scenario: one TOLVO RAID 7000 (product type 8200) on sg0 and sg1.
const std::vector<std::string> kProductType = {"-C", "-g", "-z", "prodtype"};
const std::string kProductTypeReport = "\nController type is 8200";
// READ BUFFER mode 2, buffer 0x40: the controller information the report reads.
const std::string kControllerInfoCdb = "3c0240";

// Devices that received the controller information read, in order.
std::vector<std::string> infoReads(const Simulator& sim) {
    std::vector<std::string> devices;
    for (const auto& c : sim.commands())
        if (c["cdb"].get<std::string>().rfind(kControllerInfoCdb, 0) == 0) devices.push_back(c["device"]);
    return devices;
}

TEST(DeviceFailover, BusyControllerIsRetriedWithAWarningEachTime) {
    Simulator sim;
    sim.inject("sg0", "not-ready", R"({"cdb": "3C0240", "count": 3})");
    auto r = runLqcl(kProductType, sim.env());
    const std::string warning =
        "\n\nWARNING: RAID System 0 busy retry \\(#\\),\nLine=[0-9]+ File ='[^']+'\nMacro='\"TOLVO_GetControllerInfo\"'\n\n";
    std::string expected;
    for (char n : {'1', '2', '3'}) expected += std::regex_replace(warning, std::regex("#"), std::string(1, n));
    EXPECT_TRUE(std::regex_match(r.out, std::regex(expected + kProductTypeReport))) << r.out;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(infoReads(sim), (std::vector<std::string>{"sg0", "sg0", "sg0", "sg0"}));
}

// Faults met by the information read: what the user sees, and which devices
// received the read in turn.
TEST(DeviceFailover, FailedPathsRefusalsAndBusyOpens) {
    const std::string failPath = R"({"cdb": "3C0240", "forever": true})";
    const struct {
        std::vector<std::array<std::string, 3>> faults;  // target, kind, parameters
        std::string out;
        int status;
        std::vector<std::string> reads;
        int inquiries;  // INQUIRY commands in all (discovery and rediscoveries); -1 not counted
    } cases[] = {
        // A failed path moves to the next path silently.
        {{{"sg0", "fail-path", R"({"cdb": "3C0240"})"}}, kProductTypeReport, 0, {"sg0", "sg1"}, 2},
        // Discovery opens each node three times (scan, INQUIRY, header read); the information
        // read then finds sg0 held by someone else: nine refusals are absorbed by the open's
        // ten attempts, ten fail the path.
        {{{"sg0", "ebusy-open", R"({"skip": 3, "count": 9})"}}, kProductTypeReport, 0, {"sg0"}, -1},
        {{{"sg0", "ebusy-open", R"({"skip": 3, "count": 10})"}}, kProductTypeReport, 0, {"sg1"}, -1},
        // A command the controller refuses is not retried.
        {{{"sg0", "check", R"({"cdb": "3C0240", "key": 5, "asc": 36, "ascq": 0})"}}, kCommandFailed, 1, {"sg0"}, -1},
        // Paths lost for good after discovery's INQUIRY and header read: one rediscovery, then no handle.
        {{{"sg0", "fail-path", R"({"skip": 2, "forever": true})"}, {"sg1", "fail-path", R"({"skip": 2, "forever": true})"}},
         errorTail("LAPI call failed: No valid tolvo handle.", 1007), 1, {"sg0", "sg1"}, 4},
        // Only the information read fails, so every rediscovery finds both paths again: at most seven sends.
        {{{"sg0", "fail-path", failPath}, {"sg1", "fail-path", failPath}},
         kCommandFailed, 1, {"sg0", "sg1", "sg0", "sg1", "sg0", "sg1", "sg0"}, -1},
    };
    for (const auto& c : cases) {
        Simulator sim;
        for (const auto& [target, kind, params] : c.faults) sim.inject(target, kind, params);
        expectRun(sim, kProductType, c.out, c.status);
        EXPECT_EQ(infoReads(sim), c.reads) << c.faults[0][1];
        if (c.inquiries >= 0) {
            EXPECT_EQ(testsupport::sentCdbs(sim, "12").size(), static_cast<size_t>(c.inquiries));
        }
    }
}

// The opt-in trace: off unless LQCL_TRACE names a file; then one line per
// command sent to a device, and never through a symbolic link.
const std::string kOneSystem = "\nIn-Band -> Number of RAID Systems found : 1\n";

TEST(Trace, NamedFileReceivesEveryDeviceCommandAndNeverGoesThroughALink) {
    Simulator sim;
    TempDir work;
    const std::string file = work.path() + "/trace.txt";
    auto env = sim.env();
    env["LQCL_TRACE"] = file;
    expectResult(runLqcl({"-F", "-n", "-z", "raidsystems"}, env), kOneSystem, 0);

    const std::string trace = readFile(file);
    // Discovery sends INQUIRY to both paths of the default scenario.
    for (const char* node : {"/sg0: CDB 12 ", "/sg1: CDB 12 "})
        EXPECT_NE(trace.find(sim.dir() + node), std::string::npos) << node << " not traced:\n" << trace;
    EXPECT_NE(trace.find(": status 0\n"), std::string::npos) << trace;

    // The type mask selects: discovery alone leaves the device commands out.
    env["LQCL_TRACE"] = work.path() + "/discovery.txt";
    env["LQCL_TRACE_TYPES"] = "20";
    expectResult(runLqcl({"-F", "-n", "-z", "raidsystems"}, env), kOneSystem, 0);
    EXPECT_EQ(readFile(work.path() + "/discovery.txt").find("CDB"), std::string::npos);

    // A symbolic link is refused, its target left as it was; the report is unchanged.
    const std::string target = work.path() + "/target";
    writeFile(target, "keep");
    ASSERT_EQ(symlink(target.c_str(), (work.path() + "/link").c_str()), 0);
    env["LQCL_TRACE"] = work.path() + "/link";
    env.erase("LQCL_TRACE_TYPES");
    auto r = runLqcl({"-F", "-n", "-z", "raidsystems"}, env);
    EXPECT_EQ(r.out, kOneSystem);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "lqcl: cannot open the trace file " + work.path() + "/link: Too many levels of symbolic links\n");
    EXPECT_EQ(readFile(target), "keep");
}

}  // namespace
