// End-to-end cases of inputs that must be refused or reported rather than
// half-handled: over-long hexadecimal values, unused command slots, a report
// that cannot be written, hostile device directories and exclusion lists,
// silent and short-answering nodes.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>

#include <string>
#include <vector>

#include "support/process.h"
#include "support/simulator.h"

namespace {

using testsupport::RunResult;
using testsupport::runLqcl;

std::string usageError(const std::string& message) {
    return "Error: " + message + "\n\nFor complete USAGE and HELP type: \n   WQCL/LQCL --help\n\n";
}

const std::string kNoRaidSystem = "Error: Raid system does not exist\r\n";

std::vector<std::string> oob(std::vector<std::string> args) {
    std::vector<std::string> all{"-N", "-p", "admin", "-p", "secret", "-p", "127.0.0.1"};
    all.insert(all.end(), args.begin(), args.end());
    return all;
}

struct Case {
    std::vector<std::string> args;
    std::string out, err;
    int status;
};

void expectAll(const std::vector<Case>& cases, const std::map<std::string, std::string>& env) {
    for (const auto& c : cases) {
        RunResult r = runLqcl(c.args, env);
        std::string what;
        for (const auto& a : c.args) what += a + " ";
        EXPECT_EQ(r.out, c.out) << what;
        EXPECT_EQ(r.err, c.err) << what;
        EXPECT_EQ(r.status, c.status) << what;
    }
}

TEST(Mends, HexadecimalValuesAreNeverCut) {
    testsupport::TempDir empty;
    const std::string u17 = "12000001122338800";
    expectAll(
        {
            {oob({"-C", "-s", "-u", u17}), "", usageError("The -u value has more than 16 hexadecimal digits: " + u17 + "\n"), 255},
            {oob({"-C", "-s", "-u", "1", "-u", "fffffffffffffffff"}), "",
             usageError("The -u value has more than 16 hexadecimal digits: fffffffffffffffff\n"), 255},
            // Leading zeros are not digits of the value.
            {oob({"-C", "-s", "-u", "0000" + std::string(16, 'f')}), "", "", 0},
            // A value with another character converts to 0x7E whatever its length.
            {oob({"-C", "-s", "-u", "1234567890123456789#"}), "", "", 0},
            {{"-F", "-n", "-z", "raidsystems", "-p", u17}, "",
             usageError("The -p value has more than 16 hexadecimal digits: " + u17 + "\n"), 255},
            {{"-F", "-n", "-z", "raidsystems", "-p", "0" + std::string(16, 'f')}, kNoRaidSystem, "", 255},
        },
        {{"LQCL_DEV_DIR", empty.path()}});
}

TEST(Mends, UnusedSlotsAreNotCommands) {
    // The two unused slots of the table behave as unknown names.
    const std::string unknown = usageError("Error [04]- No Appropriate Configuration Command Entered\n");
    expectAll({{oob({"-F", "-g", "-z", "reserved29"}), "", unknown, 255},
               {oob({"-F", "-n", "-z", "reserved132"}), "", unknown, 255}},
              {});
}

TEST(Mends, AReportThatCannotBeWrittenIsAnError) {
    testsupport::TempDir empty;
    RunResult r = testsupport::run(
        {"/bin/sh", "-c", std::string(LQCL_BINARY) + " -F -n -z raidsystems -p 0 >/dev/full"},
        {{"LQCL_DEV_DIR", empty.path()}});
    // Nothing found: the tool's own 255 stands.
    EXPECT_EQ(r.status, 255);
    testsupport::Simulator sim;
    r = testsupport::run({"/bin/sh", "-c", std::string(LQCL_BINARY) + " -F -n -z raidsystems >/dev/full"},
                         sim.env());
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "lqcl: error writing standard output: No space left on device\n");
    EXPECT_EQ(r.status, 1);
}

TEST(Mends, ForeignPathsAreRefusedAndUnreachableDirectoriesSaid) {
    expectAll({{{"-F", "-n", "-z", "raidsystems", "-p", "/dev/null"},
                kNoRaidSystem,
                "Error: '/dev/null' is not a SCSI generic device and cannot be used.\n",
                255}},
              {});

    // An emulated node whose path does not fit a socket address.
    testsupport::TempDir base;
    const std::string deep = base.path() + "/" + std::string(100, 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
    const std::string shortName = base.path() + "/s";
    int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", shortName.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(rename(shortName.c_str(), (deep + "/sg0").c_str()), 0);
    expectAll({{{"-F", "-n", "-z", "raidsystems"},
                kNoRaidSystem,
                "Error: the device path '" + deep + "/sg0' is longer than the 107 characters of a socket address; "
                "the device cannot be reached.\n",
                255}},
              {{"LQCL_DEV_DIR", deep}});
    close(fd);
}

TEST(Mends, RepliesShorterThanTheirRecordFailLikeAFailedPath) {
    const std::string failed = "\nLAPI call failed: Command to controller fails.\nReturn code: 1003\n";
    const std::vector<std::string> productType{"-C", "-g", "-z", "prodtype"}, arrays{"-F", "-n", "-z", "array"};
    // The default system answers on sg0 and sg1: one bad reply on sg0 moves the
    // read to sg1; bad replies on every path fail the command.
    {
        testsupport::Simulator sim;
        sim.inject("sg0", "short-reply", R"({"cdb": "3C0240"})");
        expectAll({{productType, "\nController type is 8200", "", 0}}, sim.env());
        sim.inject("system:0", "short-reply", R"({"cdb": "3C0240", "forever": true})");
        expectAll({{productType, failed, "", 1}}, sim.env());
    }
    {
        // A configuration image that declares length 0 is not decoded as an
        // empty configuration.
        testsupport::Simulator sim;
        sim.ctl("model", {"0", "corrupt-reply", R"({"bufferId": 1, "kind": "length", "value": 0, "count": 1})"});
        expectAll({{arrays, "\nNumber Of Arrays : 1", "", 0}}, sim.env());
        sim.ctl("model", {"0", "corrupt-reply", R"({"bufferId": 1, "kind": "length", "value": 0, "count": 100})"});
        expectAll({{arrays, failed, "", 1}}, sim.env());
    }
}

}  // namespace
