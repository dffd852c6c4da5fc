// End-to-end tests of network module discovery and of the module's settings:
// lqcl in one private network namespace, the emulated modules in a second one
// joined by a veth pair, so that the broadcasts are real.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "texts.h"

using nlohmann::json;

namespace {

std::string withModules(const json& network) { return testsupport::defaultScenarioWithModule(network); }

const json kModule = {{"address", testsupport::kLabModuleAddress}, {"user", "admin"}, {"password", "pw"},
                      {"mac", "0090C2123456"}};

std::vector<std::string> oob(const std::vector<std::string>& args, const std::string& password = "pw") {
    return e2e::oob(args, "admin", password, testsupport::kLabModuleAddress);
}

using ModuleDiscovery = e2e::LabTest;

const std::string kOneModule = "[ 1]  10.77.0.2         [00:90:C2:12:34:56]\n\n";

TEST_F(ModuleDiscovery, CommandsThatListTheModulesAndItsNetworkSettings) {
    auto sim = lab.startSimulator(withModules(kModule));
    testsupport::expectRuns(*sim, {
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
    testsupport::expectRuns(*sim, {
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
}

// The address rules, a module without the service and a MAC seen twice.
TEST_F(ModuleDiscovery, AddressRulesKindsAndDuplicateMacs) {
    // A module without the service: no static address, DHCP address 10.0.0.5
    // that is not the datagram's source, marker 0xAA: listed with the DHCP address.
    // The same MAC as the first module, answering later: one line, the first answer's address.
    const json mixed = {kModule,
                        {{"address", "127.0.0.1"}, {"kind", "netburner"}, {"mac", "0090C2ABCDEF"},
                         {"staticAddress", "0.0.0.0"}, {"dhcpAddress", "10.0.0.5"}, {"marker", 170}},
                        {{"address", "127.0.0.1"}, {"port", 9293}, {"mac", "0090C2123456"}, {"staticAddress", "10.1.2.3"}}};
    const json noService = {{"address", testsupport::kLabModuleAddress}, {"kind", "netburner"}, {"mac", "0090C2000001"}};
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
        auto sim = lab.startSimulator(withModules(c.modules));
        testsupport::expectRun(*sim, oob(c.args), c.out, 0);
    }
}

}  // namespace
