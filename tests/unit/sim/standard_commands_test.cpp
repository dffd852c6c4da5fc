// The standard commands as an initiator sees them through a simulated path:
// replies against bytes written by hand from the SCSI field tables (sg_inq
// decodes the identity and identifiers in tests/e2e/emulator.cpp), and the
// persistent reservations of the paths as steps with expected statuses.
#include <gtest/gtest.h>

#include <functional>

#include "sim_test_util.h"

namespace {

using simtest::decode;
using simtest::sgWrite;
using Bytes = std::vector<uint8_t>;

Bytes padded(const std::string& s, size_t n) {
    Bytes b(s.begin(), s.end());
    b.resize(n, ' ');
    return b;
}

Bytes expectedSystemInquiry() {
    Bytes d = {0x00, 0x00, 0x06, 0x12, 0x5B, 0x00, 0x10, 0x02};
    for (auto part : {padded("TOLVO", 8), padded("TOLVO RAID 7000", 16), padded("0513", 4), padded("", 20)})
        d.insert(d.end(), part.begin(), part.end());
    d.insert(d.end(), {0x00, 0x00, 0x00, 0xA0, 0x04, 0x60, 0x04, 0xC0});
    d.resize(96, 0);
    return d;
}

using StandardCommands = simtest::EmulatorTest;

TEST_F(StandardCommands, InquiryIsTruncatedToAllocationAndReplyLength) {
    struct Case {
        uint16_t alloc;
        uint32_t replySpace;
        size_t expected;
    } cases[] = {{0, 255, 0}, {5, 255, 5}, {36, 255, 36}, {96, 96, 96}, {255, 255, 96},
                 {255, 10, 10}, {0x0100, 0x0100, 96}, {96, 0, 0}};
    Bytes full = expectedSystemInquiry();
    for (const auto& c : cases) {
        auto r = run(1, {0x12, 0, 0, static_cast<uint8_t>(c.alloc >> 8), static_cast<uint8_t>(c.alloc), 0},
                     c.replySpace);
        ASSERT_EQ(r.data.size(), c.expected) << c.alloc << "/" << c.replySpace;
        EXPECT_TRUE(std::equal(r.data.begin(), r.data.end(), full.begin()));
    }
}

TEST_F(StandardCommands, SupportedVpdPages) {
    EXPECT_EQ(run(0, {0x12, 0x01, 0x00, 0, 0xFF, 0}, 255).data, (Bytes{0x00, 0x00, 0x00, 0x02, 0x00, 0x83}));
}

TEST_F(StandardCommands, TestUnitReadyAndReadCapacity) {
    auto ready = run(5, {0x00, 0, 0, 0, 0, 0}, 0);
    EXPECT_EQ(ready.targetStatus, 0u);
    EXPECT_EQ(ready.sense, Bytes(16, 0));
    EXPECT_EQ(run(0, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8).data,
              (Bytes{0x00, 0x3F, 0xFF, 0xFF, 0x00, 0x00, 0x02, 0x00}));
    EXPECT_EQ(run(5, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8).data,
              (Bytes{0x00, 0x00, 0x03, 0xE7, 0x00, 0x00, 0x10, 0x00}));
    auto big = simtest::makeEmulator(
        R"({"devices":[{"sg":0,"vendor":"ACME","product":"BIG","capacityBlocks":8589934592}]})");
    EXPECT_EQ(decode(big->command(0, sgWrite({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8))).data,
              (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x02, 0x00}));
}

TEST_F(StandardCommands, IllegalRequestsCarryTheStandardSense) {
    struct Case {
        const char* name;
        int sg;
        Bytes cdb;
        Bytes dataOut;
        uint8_t asc;
    } cases[] = {
        {"INQUIRY page without EVPD", 0, {0x12, 0x00, 0x83, 0, 0xFF, 0}, {}, 0x24},
        {"INQUIRY CMDDT", 0, {0x12, 0x02, 0x00, 0, 0xFF, 0}, {}, 0x24},
        {"INQUIRY unsupported page", 0, {0x12, 0x01, 0x80, 0, 0xFF, 0}, {}, 0x24},
        {"INQUIRY NACA", 0, {0x12, 0x00, 0x00, 0, 0xFF, 0x04}, {}, 0x24},
        {"READ CAPACITY LBA without PMI", 0, {0x25, 0, 0, 0, 0, 1, 0, 0, 0, 0}, {}, 0x24},
        {"READ CAPACITY reserved bit", 5, {0x25, 0, 0, 0, 0, 0, 0, 0, 0x02, 0}, {}, 0x24},
        {"READ(10)", 0, {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}, {}, 0x20},
        {"vendor opcode on another device", 5, {0x3C, 0x01, 0x03, 0, 0, 0, 0, 0x02, 0, 0}, {}, 0x20},
        {"RECEIVE DIAGNOSTIC refused by the model", 0, {0x1C, 0x01, 0x80, 0x02, 0x00, 0}, {}, 0x24},
        {"TEST UNIT READY reserved byte", 0, {0x00, 0, 1, 0, 0, 0}, {}, 0x24},
        {"PR IN unknown service action", 0, {0x5E, 0x04, 0, 0, 0, 0, 0, 0, 0xFF, 0}, {}, 0x24},
        {"PR OUT short parameter list", 0, {0x5F, 0x00, 0, 0, 0, 0, 0, 0, 23, 0}, Bytes(23, 0), 0x1A},
        {"PR OUT list longer than the data", 0, {0x5F, 0x00, 0, 0, 0, 0, 0, 0, 24, 0}, Bytes(20, 0), 0x1A},
        {"PR OUT PREEMPT", 0, {0x5F, 0x04, 0x01, 0, 0, 0, 0, 0, 24, 0}, Bytes(24, 0), 0x24},
        {"group 6 opcode", 1, {0xC5, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {}, 0x20},
    };
    for (const auto& c : cases) {
        auto r = run(c.sg, c.cdb, 255, c.dataOut);
        EXPECT_EQ(r.result, 0) << c.name;
        EXPECT_EQ(r.targetStatus, 0x01u) << c.name;   // CHECK CONDITION, masked
        EXPECT_EQ(r.driverStatus, 0x08u) << c.name;   // DRIVER_SENSE
        Bytes sense = {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, c.asc, 0x00, 0, 0};
        EXPECT_EQ(r.sense, sense) << c.name;
        EXPECT_TRUE(r.data.empty()) << c.name;
    }
}

// Persistent reservations per I_T nexus, driven through the two paths of the
// system (sg0 and sg1).
constexpr uint64_t A = 0x1111111111111111ull;
constexpr uint64_t B = 0x2222222222222222ull;

class Reservations : public simtest::EmulatorTest {
protected:
    // "GOOD", "CONFLICT", or the sense key, ASC and ASCQ of a check condition.
    static std::string statusOf(const simtest::Reply& r) {
        if (r.targetStatus == 0x0C) return "CONFLICT";
        if (r.targetStatus != 0x01) return "GOOD";
        char b[16];
        std::snprintf(b, sizeof b, "%02X/%02X/%02X", r.sense[2], r.sense[12], r.sense[13]);
        return b;
    }
    simtest::Reply prOut(int sg, uint8_t action, uint8_t type, uint64_t key, uint64_t saKey, uint8_t flags = 0) {
        Bytes list(24, 0);
        for (int i = 0; i < 8; ++i) {
            list[i] = static_cast<uint8_t>(key >> (56 - 8 * i));
            list[8 + i] = static_cast<uint8_t>(saKey >> (56 - 8 * i));
        }
        list[20] = flags;
        return run(sg, {0x5F, action, type, 0, 0, 0, 0, 0, 24, 0}, 0, list);
    }
    Bytes prIn(int sg, uint8_t action) { return run(sg, {0x5E, action, 0, 0, 0, 0, 0, 0, 0xFF, 0}, 255).data; }
    simtest::Reply readBuffer(int sg) { return run(sg, {0x3C, 0x01, 0x03, 0, 0, 0, 0, 0x02, 0, 0}, 512); }
    simtest::Reply writeBuffer(int sg) { return run(sg, {0x3B, 0x01, 0x40, 0, 0, 0, 0, 0, 0x04, 0}, 0, {1, 2, 3, 4}); }
    static uint32_t be32(const Bytes& b, size_t off) {
        return (uint32_t(b[off]) << 24) | (uint32_t(b[off + 1]) << 16) | (uint32_t(b[off + 2]) << 8) | b[off + 3];
    }
};

TEST_F(Reservations, RegisterReserveReleaseClearAcrossTwoNexuses) {
    struct Step {
        const char* name;
        std::function<simtest::Reply()> act;
        const char* expected;
    };
    std::vector<Step> steps = {
        {"unregistered REGISTER with a non-zero key conflicts", [&] { return prOut(0, 0, 0, A, B); }, "CONFLICT"},
        {"unregistered REGISTER of key 0 does nothing", [&] { return prOut(0, 0, 0, 0, 0); }, "GOOD"},
        {"sg0 registers A", [&] { return prOut(0, 0, 0, 0, A); }, "GOOD"},
        {"sg0 REGISTER with a wrong key conflicts", [&] { return prOut(0, 0, 0, B, B); }, "CONFLICT"},
        {"unregistered sg1 cannot reserve", [&] { return prOut(1, 1, 1, 0, 0); }, "CONFLICT"},
        {"sg0 reserves with a wrong key", [&] { return prOut(0, 1, 1, B, 0); }, "CONFLICT"},
        {"sg0 reserves type 1 with an invalid scope", [&] { return prOut(0, 1, 0x11, A, 0); }, "05/24/00"},
        {"sg0 reserves type 2 (not a type)", [&] { return prOut(0, 1, 2, A, 0); }, "05/24/00"},
        {"sg0 reserves write exclusive", [&] { return prOut(0, 1, 1, A, 0); }, "GOOD"},
        {"sg0 reserves the same again", [&] { return prOut(0, 1, 1, A, 0); }, "GOOD"},
        {"sg0 changes the type while holding", [&] { return prOut(0, 1, 3, A, 0); }, "CONFLICT"},
        {"sg1 registers B ignoring its key", [&] { return prOut(1, 6, 0, 0x9999, B); }, "GOOD"},
        {"sg1 cannot reserve over sg0", [&] { return prOut(1, 1, 1, B, 0); }, "CONFLICT"},
        {"sg1 release is a no-op for a non-holder", [&] { return prOut(1, 2, 1, B, 0); }, "GOOD"},
        {"sg0 release with the wrong type", [&] { return prOut(0, 2, 3, A, 0); }, "05/26/04"},
        {"sg0 releases", [&] { return prOut(0, 2, 1, A, 0); }, "GOOD"},
        {"sg1 reserves now", [&] { return prOut(1, 1, 1, B, 0); }, "GOOD"},
        {"sg0 CLEAR with a wrong key conflicts", [&] { return prOut(0, 3, 0, B, 0); }, "CONFLICT"},
        {"sg0 CLEARs", [&] { return prOut(0, 3, 0, A, 0); }, "GOOD"},
        {"sg1 is no longer registered", [&] { return prOut(1, 2, 1, B, 0); }, "CONFLICT"},
        {"APTPL is refused", [&] { return prOut(0, 0, 0, 0, A, 0x01); }, "05/26/00"},
        {"ALL_TG_PT is refused", [&] { return prOut(0, 0, 0, 0, A, 0x04); }, "05/26/00"},
        {"sg0 registers A again", [&] { return prOut(0, 0, 0, 0, A); }, "GOOD"},
        {"sg0 reserves exclusive access", [&] { return prOut(0, 1, 3, A, 0); }, "GOOD"},
        {"sg1 cannot read", [&] { return readBuffer(1); }, "CONFLICT"},
        {"the other device is a unit of its own", [&] { return run(5, {0x00, 0, 0, 0, 0, 0}, 0); }, "GOOD"},
        {"sg0 unregisters, which releases", [&] { return prOut(0, 0, 0, A, 0); }, "GOOD"},
        {"sg1 reads again", [&] { return readBuffer(1); }, "GOOD"},
    };
    for (const auto& s : steps) EXPECT_EQ(statusOf(s.act()), s.expected) << s.name;
    // Generation: three registrations (A, B, A again; none refused), one CLEAR, one unregistration.
    EXPECT_EQ(prIn(0, 0), (Bytes{0, 0, 0, 5, 0, 0, 0, 0}));
    EXPECT_EQ(prIn(1, 1).size(), 8u);  // no reservation
    EXPECT_EQ(prIn(5, 0), Bytes(8, 0));
    EXPECT_EQ(prIn(1, 2), (Bytes{0x00, 0x08, 0x00, 0x80, 0xEA, 0x01, 0x00, 0x00}));  // REPORT CAPABILITIES
}

TEST_F(Reservations, ReadFullStatusDescribesEachNexus) {
    prOut(1, 0, 0, 0, B);
    prOut(1, 1, 1, B, 0);
    Bytes d = prIn(0, 3);
    ASSERT_EQ(d.size(), 8u + 48u);
    EXPECT_EQ(be32(d, 0), 1u);   // generation
    EXPECT_EQ(be32(d, 4), 48u);  // additional length
    Bytes desc(d.begin() + 8, d.end());
    Bytes expected(48, 0);
    for (int i = 0; i < 8; ++i) expected[i] = 0x22;
    expected[12] = 0x01;  // R_HOLDER
    expected[13] = 0x01;  // scope 0, type 1
    expected[19] = 0x02;  // relative target port 2 (the second path)
    expected[23] = 24;    // TransportID length
    Bytes portName = {0x10, 0x00, 0x00, 0x00, 0xC9, 0xAB, 0xCD, 0xEF};
    std::copy(portName.begin(), portName.end(), expected.begin() + 24 + 8);
    EXPECT_EQ(desc, expected);
}

TEST_F(Reservations, ConflictsFollowTheReservationType) {
    struct Case {
        uint8_t type;
        bool otherRegistered;
        const char *otherRead, *otherWrite;
    } cases[] = {
        {1, false, "GOOD", "CONFLICT"},     {3, false, "CONFLICT", "CONFLICT"}, {5, false, "GOOD", "CONFLICT"},
        {5, true, "GOOD", "GOOD"},          {6, false, "CONFLICT", "CONFLICT"}, {6, true, "GOOD", "GOOD"},
        {7, true, "GOOD", "GOOD"},          {8, false, "CONFLICT", "CONFLICT"}, {8, true, "GOOD", "GOOD"},
    };
    for (const auto& c : cases) {
        emu = simtest::makeEmulator();
        prOut(0, 0, 0, 0, A);
        if (c.otherRegistered) prOut(1, 0, 0, 0, B);
        ASSERT_EQ(statusOf(prOut(0, 1, c.type, A, 0)), "GOOD") << int(c.type);
        EXPECT_EQ(statusOf(readBuffer(1)), c.otherRead) << "type " << int(c.type);
        EXPECT_EQ(statusOf(writeBuffer(1)), c.otherWrite) << "type " << int(c.type);
        EXPECT_EQ(statusOf(readBuffer(0)), "GOOD");
        EXPECT_EQ(statusOf(writeBuffer(0)), "GOOD");
        EXPECT_EQ(statusOf(run(1, {0x12, 0, 0, 0, 0x24, 0}, 36)), "GOOD");  // INQUIRY always allowed
    }
}

TEST_F(Reservations, AllRegistrantsReservationEndsWithTheLastRegistrant) {
    prOut(0, 0, 0, 0, A);
    prOut(1, 0, 0, 0, B);
    ASSERT_EQ(statusOf(prOut(0, 1, 7, A, 0)), "GOOD");
    Bytes res = prIn(1, 1);
    ASSERT_EQ(res.size(), 24u);
    EXPECT_EQ(Bytes(res.begin() + 8, res.begin() + 16), Bytes(8, 0));  // key 0 for all registrants
    EXPECT_EQ(res[21], 0x07);
    prOut(0, 0, 0, A, 0);  // sg0 unregisters
    EXPECT_EQ(prIn(1, 1).size(), 24u);
    prOut(1, 0, 0, B, 0);  // the last registrant leaves
    EXPECT_EQ(prIn(1, 1).size(), 8u);
}

}  // namespace
