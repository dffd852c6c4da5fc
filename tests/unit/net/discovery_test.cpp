// Module discovery: reply records, the address rules, the listing, the
// interface count.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstring>
#include <string>
#include <vector>

#include "net/update.h"
#include "support/netlab.h"
#include "support/process.h"

namespace {

uint32_t ip(const char* dotted) { return inet_addr(dotted); }

std::vector<uint8_t> reply(const char* magic, const char* staticIp, const char* dhcpIp, uint8_t marker,
                           const std::vector<uint8_t>& mac) {
    std::vector<uint8_t> d(NB_DATAGRAM_SIZE, 0);
    std::copy(magic, magic + 4, d.begin());
    d[4] = 'R';
    const uint32_t s = ip(staticIp), h = ip(dhcpIp);
    std::memcpy(&d[5 + 4], &s, 4);
    std::copy(mac.begin(), mac.end(), d.begin() + 5 + 107);
    d[5 + 125] = marker;
    std::memcpy(&d[5 + 126], &h, 4);
    return d;
}

const std::vector<uint8_t> kMacA = {0x00, 0x90, 0xC2, 0x12, 0x34, 0x56};
const std::vector<uint8_t> kMacB = {0x00, 0x90, 0xC2, 0x00, 0x00, 0x01};

TEST(ModuleDiscovery, AddressRules) {
    struct Case {
        const char* name;
        const char* staticIp;
        const char* dhcpIp;
        uint8_t marker;
        const char* source;
        const char* listed;  // nullptr: not listed
    } cases[] = {
        {"static equals source", "10.0.0.7", "0.0.0.0", 0xAA, "10.0.0.7", "10.0.0.7"},
        {"DHCP equals source", "0.0.0.0", "10.0.0.5", 0xAA, "10.0.0.5", "10.0.0.5"},
        {"marker not 0xAA: the source", "10.1.1.1", "0.0.0.0", 0x00, "10.0.0.9", "10.0.0.9"},
        {"static elsewhere", "10.1.2.3", "0.0.0.0", 0xAA, "10.0.0.9", "10.1.2.3"},
        {"no static, DHCP elsewhere", "0.0.0.0", "10.0.0.5", 0xAA, "10.0.0.9", "10.0.0.5"},
        {"no address at all", "0.0.0.0", "0.0.0.0", 0xAA, "10.0.0.9", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto d = reply("EQMB", c.staticIp, c.dhcpIp, c.marker, kMacA);
        NbRecord r;
        ASSERT_TRUE(nbParseReply(d.data(), d.size(), NB_KIND_SERVICE, ip(c.source), &r));
        uint32_t chosen = 0;
        EXPECT_EQ(DetermineValidIP(r.data(), &chosen), c.listed != nullptr);
        if (c.listed) {
            EXPECT_EQ(chosen, ip(c.listed));
        }
    }
}

TEST(ModuleDiscovery, RepliesAndListing) {
    auto a = reply("EQMB", "10.0.0.7", "0.0.0.0", 0xAA, kMacA);
    auto b = reply("EQMB", "10.0.0.8", "0.0.0.0", 0xAA, kMacB);
    auto sameMac = reply("EQMB", "10.0.0.99", "0.0.0.0", 0xAA, kMacA);
    NbRecord r;
    // The other kind's magic, a foreign magic and a datagram without one are not replies.
    EXPECT_FALSE(nbParseReply(a.data(), a.size(), NB_KIND_NETBURNER, ip("10.0.0.7"), &r));
    auto foreign = reply("XXXX", "10.0.0.7", "0.0.0.0", 0xAA, kMacA);
    EXPECT_FALSE(nbParseReply(foreign.data(), foreign.size(), NB_KIND_SERVICE, 0, &r));
    EXPECT_FALSE(nbParseReply(a.data(), 3, NB_KIND_SERVICE, 0, &r));
    // A short reply: the missing bytes read as zero.
    ASSERT_TRUE(nbParseReply(a.data(), 20, NB_KIND_SERVICE, ip("10.0.0.7"), &r));
    EXPECT_EQ(r[107], 0);

    std::vector<NbRecord> arrivals;
    for (auto* d : {&a, &b, &sameMac}) {
        const uint32_t source = ip(d == &b ? "10.0.0.8" : "10.0.0.7");
        ASSERT_TRUE(nbParseReply(d->data(), d->size(), NB_KIND_SERVICE, source, &r));
        arrivals.push_back(r);
    }
    int count = 0;
    EXPECT_EQ(nbListing(arrivals, NB_KIND_SERVICE, &count),
              "[ 1]  10.0.0.8          [00:90:C2:00:00:01]\n\n"
              "[ 2]  10.0.0.7          [00:90:C2:12:34:56]\n\n");
    EXPECT_EQ(count, 2);
    EXPECT_EQ(nbListing({arrivals[1]}, NB_KIND_NETBURNER, &count),
              "[ 1]  10.0.0.8          [00:90:C2:00:00:01]- eQM Not Loaded\n\n");
}

TEST(ModuleDiscovery, EthernetCountLeavesLoopbackOut) {
    std::string why;
    if (!testsupport::enterPrivateLoopback(&why)) GTEST_SKIP() << why;
    // The interface list shows interfaces with an IPv4 address whose link is up.
    ASSERT_EQ(testsupport::run({"/usr/sbin/ip", "link", "add", "eth0", "type", "veth", "peer", "name", "eth2"}).status, 0);
    ASSERT_EQ(testsupport::run({"/usr/sbin/ip", "link", "add", "eth1", "type", "veth", "peer", "name", "eth3"}).status, 0);
    const char* names[] = {"eth0", "eth1", "eth2"};
    for (int i = 0; i < 3; ++i) {
        const std::string address = "10.9." + std::to_string(i) + ".1/24";
        ASSERT_EQ(testsupport::run({"/usr/sbin/ip", "addr", "add", address, "dev", names[i]}).status, 0);
    }
    for (const char* name : {"eth0", "eth1"})
        ASSERT_EQ(testsupport::run({"/usr/sbin/ip", "link", "set", name, "up"}).status, 0);
    EXPECT_EQ(GetAllEthernetInterfaces(), "lo,eth0,eth1,");  // eth2 is down
    EXPECT_EQ(getEthernetCount(), 2);
}

}  // namespace
