// End-to-end tests of the out-of-band route: lqcl in one private network
// namespace, tolvo-sim and its network modules in a second one joined by a veth
// pair, as modules on the LAN would be, so that the broadcasts are real. Whole
// outputs and statuses.
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

const json kModule = {{"address", kLabModuleAddress}, {"user", kUser}, {"password", kPassword}, {"mac", "0090C2123456"}};

std::vector<std::string> oob(const std::vector<std::string>& args, const std::string& password = kPassword,
                             const std::string& address = kLabModuleAddress) {
    return e2e::oob(args, kUser, password, address);
}

// The ping's line end, written once before the first command of a process.
const std::string kPinged = "\r\n";
const std::string kOneModule = "[ 1]  10.77.0.2         [00:90:C2:12:34:56]\n\n";

using OutOfBand = e2e::LabTest;

// Discovery and the module's settings, then the read commands in both routes,
// then the module's faults.
TEST_F(OutOfBand, DiscoverySettingsReadsAndModuleFaults) {
    auto sim = lab.startSimulator(defaultScenarioWithModule(kModule));
    expectRuns(*sim, {
        {oob({"-S", "-g", "-z", "whoami"}), kOneModule, 0},
        {oob({"-F", "-g", "-z", "raidsystems"}), kOneModule, 0},
        {oob({"-F", "-n", "-z", "raidsystems"}),
         kOneModule + "\nOut-of-Band -> Number of discovered RAID Systems: 1\n", 0},
    });
    // Discovery sends no vendor command.
    EXPECT_TRUE(sim->commands().empty());

    // The module's network settings.
    const std::string failed = "Failed.\nError: HTTP response has invalid format.\n"
                               "       Check that the httpd is running.\n"
                               "       Check that the user and password are correct.\n"
                               "       Check that the Vistrel server running.\n"
                               "       Check that the method and type are correct for your device.\n\n";
    const std::string refused = "\nError: Invalid out of band request.\nReturn code: 2025\n";
    const std::string hint = "\nYou need to select Out of Band mode to access this function!\n";
    const std::vector<std::string> get = {"-C", "-g", "-z", "prefsconfig"};
    const std::vector<std::string> set = {"-C", "-s", "-z", "prefsconfig", "-m", "4001", "-m", "10.77.0.2",
                                          "-m", "rack 7&b", "-m", "255.255.0.0", "-m", "10.77.0.1", "-m", "10.77.0.1"};
    expectRuns(*sim, {
        {oob(get),
         "DhcpSelection: false\nDnsServer: 0.0.0.0\nHostName: tolvo-module\nIpAddress: 10.77.0.2\n" "IpGateway: 0.0.0.0\nIpMask: 255.255.255.0\nMulticastPort: 4000\nSuccessful.\n",
         0},
        {oob(set), "Successful.\n", 0},
        {oob(get),
         "DhcpSelection: false\nDnsServer: 10.77.0.1\nHostName: rack 7&b\nIpAddress: 10.77.0.2\n" "IpGateway: 10.77.0.1\nIpMask: 255.255.0.0\nMulticastPort: 4001\nSuccessful.\n",
         0},
        {oob(get, "wrong"), failed + refused, 1},
        {oob(set, "wrong"), "Failed.\n" + refused, 1},
        {get, hint + refused, 1},
        {set, hint + refused, 1},
    });

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
        RunResult inBand = runLqcl(args, sim->env());
        RunResult outOfBand = runLqcl(oob(args));
        EXPECT_EQ(outOfBand.out, kPinged + inBand.out);
        EXPECT_EQ(outOfBand.err, inBand.err);
        EXPECT_EQ(outOfBand.status, inBand.status);
    }
    // The gateway ran the commands on the system's model: the record has them.
    EXPECT_FALSE(sim->commands().empty());

    // What curl posts, the module answers in the reply layout the tool reads.
    TempDir dir;
    writeFile(dir.path() + "/outgoing", std::string(1, '\0'));
    // READ BUFFER of the 16-byte product identification of buffer 0x41 is not
    // needed here: an INQUIRY-like standard command shows the layout.
    std::vector<std::string> argv = {"/usr/bin/curl", "-s", "-u", std::string(kUser) + ":" + kPassword,
                                     "--max-time", "20", "-o", dir.path() + "/reply"};
    const int cdb[16] = {0x12, 0, 0, 0, 36, 0};
    for (int i = 0; i < 16; ++i) argv.insert(argv.end(), {"-F", "CDB" + std::to_string(i) + "=" + std::to_string(cdb[i])});
    argv.insert(argv.end(), {"-F", "BufferLength=36", "-F", "CDBlength=6", "-F", "TimeOutInSeconds=120", "-F",
                             "CDBdirection=1", "-F", "UploadedFile=@" + dir.path() + "/outgoing;filename=outgoing",
                             std::string("http://") + kLabModuleAddress + ":9292/cgi-bin/cgiloader.cgi"});
    RunResult r = run(argv);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string body = readFile(dir.path() + "/reply");
    ASSERT_EQ(body.size(), 13u + 36u);
    EXPECT_EQ(body.substr(0, 13), std::string("\0\0\0\0\0\x24\0\0\0\0\0\0\0", 13));  // good, 36 bytes, no sense
    EXPECT_EQ(body.substr(13 + 8, 8), "TOLVO   ");                                    // vendor identification

    const std::vector<std::string> prodtype = {"-C", "-g", "-z", "prodtype"};
    const std::string good = kPinged + "\nController type is 8200";
    struct Case {
        std::vector<std::string> settings;
        std::string password;
        std::string out;
        int status;
    } cases[] = {
        {{"normal"}, "wrong", kPinged + "\nError: Incorrect username or password\nCode:  401\n" + e2e::kCommandFailed, 1},
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
        expectResult(runLqcl(oob(prodtype, c.password)), c.out, c.status);
    }
    expectResult(runLqcl(oob(prodtype, kPassword, "no-such-module.invalid")),
                              "\nError: Unable to resolve hostname: no-such-module.invalid\nCode:  502\n" +
                                  e2e::kCommandFailed, 1);
}

// The address rules, a module without the service and a MAC seen twice.
TEST_F(OutOfBand, AddressRulesKindsAndDuplicateMacs) {
    // A module without the service: no static address, DHCP address 10.0.0.5
    // that is not the datagram's source, marker 0xAA: listed with the DHCP address.
    // The same MAC as the first module, answering later: one line, the first answer's address.
    const json mixed = {kModule,
                        {{"address", "127.0.0.1"}, {"kind", "netburner"}, {"mac", "0090C2ABCDEF"},
                         {"staticAddress", "0.0.0.0"}, {"dhcpAddress", "10.0.0.5"}, {"marker", 170}},
                        {{"address", "127.0.0.1"}, {"port", 9293}, {"mac", "0090C2123456"}, {"staticAddress", "10.1.2.3"}}};
    const json noService = {{"address", kLabModuleAddress}, {"kind", "netburner"}, {"mac", "0090C2000001"}};
    const struct {
        json modules;
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {mixed, {"-F", "-n", "-z", "raidsystems"},
         "[ 1]  10.0.0.5          [00:90:C2:AB:CD:EF]- eQM Not Loaded\n\n" + kOneModule +
             "\nOut-of-Band -> Number of discovered RAID Systems: 1\n"},
        {noService, {"-S", "-g", "-z", "whoami"},
         "[ 1]  10.77.0.2         [00:90:C2:00:00:01]- eQM Not Loaded\n\nNo NetBurners found in the network\n"},
    };
    for (const auto& c : cases) {
        auto sim = lab.startSimulator(defaultScenarioWithModule(c.modules));
        expectRun(*sim, oob(c.args), c.out, 0);
    }
}

}  // namespace
