// End-to-end tests of the out-of-band route: lqcl in one private network
// namespace, tolvo-sim and its network module in a second one joined by a veth
// pair, as a module on the LAN would be. Whole outputs and statuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "texts.h"

using nlohmann::json;
using namespace testsupport;

namespace {

constexpr const char* kUser = "admin";
constexpr const char* kPassword = "s3cret>?";  // '>' and '?' give Base64 characters 62 and 63

std::string withModule(json network = json::object()) {
    json n = {{"address", testsupport::kLabModuleAddress}, {"user", kUser}, {"password", kPassword},
              {"mac", "0090C2123456"}};
    n.update(network);
    return testsupport::defaultScenarioWithModule(n);
}

std::vector<std::string> oob(const std::vector<std::string>& args, const std::string& password = kPassword,
                             const std::string& address = testsupport::kLabModuleAddress) {
    return e2e::oob(args, kUser, password, address);
}

// The ping's line end, written once before the first command of a process.
const std::string kPinged = "\r\n";

using OutOfBand = e2e::LabTest;

TEST_F(OutOfBand, ReadTourGivesTheInBandOutputsInTheReplyLayout) {
    auto sim = lab.startSimulator(withModule());
    sim->ctl("freeze");  // the controller clocks show in allinfo
    const std::vector<std::vector<std::string>> tour = {
        {"-C", "-g", "-z", "prodtype"},         {"-C", "-g", "-z", "raidversion"},
        {"-C", "-g", "-z", "cntinfofailstruct"}, {"-F", "-g", "-z", "confighdrstruct"},
        {"-F", "-n", "-z", "array"},             {"-F", "-g", "-z", "rankconfigstruct"},
        {"-F", "-g", "-z", "hostconfigstruct"},  {"-F", "-g", "-z", "lunmappingstruct"},
        {"-F", "-g", "-z", "regionmap"},         {"-F", "-g", "-z", "arraylevel", "-l", "0"},
        {"-F", "-g", "-z", "arraysize", "-l", "7"}, {"-C", "-g", "-z", "allinfo"},
    };
    for (const auto& args : tour) {
        SCOPED_TRACE(args[2] + " " + args[3]);
        RunResult inBand = testsupport::runLqcl(args, sim->env());
        RunResult outOfBand = testsupport::runLqcl(oob(args));
        EXPECT_EQ(outOfBand.out, kPinged + inBand.out);
        EXPECT_EQ(outOfBand.err, inBand.err);
        EXPECT_EQ(outOfBand.status, inBand.status);
    }
    // The gateway ran the commands on the system's model: the record has them.
    EXPECT_FALSE(sim->commands().empty());

    // What curl posts, the module answers in the reply layout the tool reads.
    testsupport::TempDir dir;
    testsupport::writeFile(dir.path() + "/outgoing", std::string(1, '\0'));
    // READ BUFFER of the 16-byte product identification of buffer 0x41 is not
    // needed here: an INQUIRY-like standard command shows the layout.
    std::vector<std::string> argv = {"/usr/bin/curl", "-s", "-u", std::string(kUser) + ":" + kPassword,
                                     "--max-time", "20", "-o", dir.path() + "/reply"};
    const int cdb[16] = {0x12, 0, 0, 0, 36, 0};
    for (int i = 0; i < 16; ++i) argv.insert(argv.end(), {"-F", "CDB" + std::to_string(i) + "=" + std::to_string(cdb[i])});
    argv.insert(argv.end(), {"-F", "BufferLength=36", "-F", "CDBlength=6", "-F", "TimeOutInSeconds=120", "-F",
                             "CDBdirection=1", "-F", "UploadedFile=@" + dir.path() + "/outgoing;filename=outgoing",
                             std::string("http://") + testsupport::kLabModuleAddress + ":9292/cgi-bin/cgiloader.cgi"});
    RunResult r = testsupport::run(argv);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string body = testsupport::readFile(dir.path() + "/reply");
    ASSERT_EQ(body.size(), 13u + 36u);
    EXPECT_EQ(body.substr(0, 13), std::string("\0\0\0\0\0\x24\0\0\0\0\0\0\0", 13));  // good, 36 bytes, no sense
    EXPECT_EQ(body.substr(13 + 8, 8), "TOLVO   ");                                    // vendor identification
}

TEST_F(OutOfBand, ModuleFaultsAndAddressesThatFail) {
    auto sim = lab.startSimulator(withModule());
    const std::vector<std::string> prodtype = {"-C", "-g", "-z", "prodtype"};
    const std::string good = kPinged + "\nController type is 8200";
    struct Case {
        std::vector<std::string> settings;
        std::string password;
        std::string out;
        int status;
    } cases[] = {
        {{"normal"}, "wrong", kPinged + "\nError: Incorrect username or password\nCode:  401\n" + e2e::kCommandFailed, 1},
        {{"unauthorized"}, kPassword, kPinged + "\nError: Incorrect username or password\nCode:  401\n" + e2e::kCommandFailed, 1},
        {{"close-early"}, kPassword, kPinged + "Failed to execute the command.\n" + e2e::kCommandFailed, 1},
        {{"malformed"}, kPassword, kPinged + "Failed to execute the command.\n" + e2e::kCommandFailed, 1},
        {{"normal"}, kPassword, good, 0},
        {{"chunked"}, kPassword, good, 0},
        {{"plain"}, kPassword, good, 0},
        {{"slow", "300"}, kPassword, good, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings[0]);
        json state = sim->ctl("netmod", c.settings);
        ASSERT_FALSE(state.contains("error")) << state.dump();
        testsupport::expectResult(testsupport::runLqcl(oob(prodtype, c.password)), c.out, c.status);
    }
    testsupport::expectResult(testsupport::runLqcl(oob(prodtype, kPassword, "no-such-module.invalid")),
                              "\nError: Unable to resolve hostname: no-such-module.invalid\nCode:  502\n" +
                                  e2e::kCommandFailed, 1);
}

}  // namespace
