// End-to-end tests of network module discovery and of the module's settings:
// lqcl in one private network namespace, the emulated modules in a second one
// joined by a veth pair, so that the broadcasts are real.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/netlab.h"
#include "support/simulator.h"
#include "texts.h"

using nlohmann::json;
using testsupport::NetLab;

namespace {

std::string withModules(const json& network) { return testsupport::defaultScenarioWithModule(network); }

const json kModule = {{"address", testsupport::kLabModuleAddress}, {"user", "admin"}, {"password", "pw"},
                      {"mac", "0090C2123456"}};

std::vector<std::string> oob(const std::vector<std::string>& args, const std::string& password = "pw") {
    return e2e::oob(args, "admin", password, testsupport::kLabModuleAddress);
}

class ModuleDiscovery : public ::testing::Test {
protected:
    void SetUp() override {
        if (!lab.available()) GTEST_SKIP() << lab.why();
    }
    NetLab lab;
};

const std::string kOneModule = "[ 1]  10.77.0.2         [00:90:C2:12:34:56]\n\n";

TEST_F(ModuleDiscovery, CommandsThatListTheModules) {
    auto sim = lab.startSimulator(withModules(kModule));
    testsupport::expectRuns(*sim, {
        {oob({"-S", "-g", "-z", "whoami"}), kOneModule, 0},
        {oob({"-F", "-g", "-z", "raidsystems"}), kOneModule, 0},
        {oob({"-F", "-n", "-z", "raidsystems"}),
         kOneModule + "\nOut-of-Band -> Number of discovered RAID Systems: 1\n", 0},
    });
    // Discovery sends no vendor command.
    EXPECT_TRUE(sim->commands().empty());
}

TEST_F(ModuleDiscovery, AddressRulesKindsAndDuplicateMacs) {
    json modules = json::array();
    modules.push_back(kModule);
    // A module without the service: no static address, DHCP address 10.0.0.5
    // that is not the datagram's source, marker 0xAA: listed with the DHCP address.
    modules.push_back({{"address", "127.0.0.1"}, {"kind", "netburner"}, {"mac", "0090C2ABCDEF"},
                       {"staticAddress", "0.0.0.0"}, {"dhcpAddress", "10.0.0.5"}, {"marker", 170}});
    // The same MAC as the first module, answering later: one line, the first answer's address.
    modules.push_back({{"address", "127.0.0.1"}, {"port", 9293}, {"mac", "0090C2123456"},
                       {"staticAddress", "10.1.2.3"}});
    auto sim = lab.startSimulator(withModules(modules));
    testsupport::expectRun(*sim, oob({"-F", "-n", "-z", "raidsystems"}),
                           "[ 1]  10.0.0.5          [00:90:C2:AB:CD:EF]- eQM Not Loaded\n\n" + kOneModule +
                               "\nOut-of-Band -> Number of discovered RAID Systems: 1\n",
                           0);
}

TEST_F(ModuleDiscovery, NoServiceModule) {
    auto sim = lab.startSimulator(withModules(json{{"address", testsupport::kLabModuleAddress}, {"kind", "netburner"},
                                                   {"mac", "0090C2000001"}}));
    testsupport::expectRun(
        *sim, oob({"-S", "-g", "-z", "whoami"}),
        "[ 1]  10.77.0.2         [00:90:C2:00:00:01]- eQM Not Loaded\n\nNo NetBurners found in the network\n", 0);
}

TEST_F(ModuleDiscovery, NetworkSettingsOfTheModule) {
    auto sim = lab.startSimulator(withModules(kModule));
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

}  // namespace
