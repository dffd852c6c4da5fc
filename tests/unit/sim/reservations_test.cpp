// Persistent reservations per I_T nexus, driven through the two paths of one
// simulated system (sg0 and sg1) as a sequence of steps with expected statuses.
#include <gtest/gtest.h>

#include "sim_test_util.h"

namespace {

using simtest::decode;
using simtest::sgWrite;
using Bytes = std::vector<uint8_t>;

constexpr uint64_t A = 0x1111111111111111ull;
constexpr uint64_t B = 0x2222222222222222ull;

enum Status { Good, Check, Conflict };

class Reservations : public ::testing::Test {
protected:
    std::unique_ptr<sim::Emulator> emu = simtest::makeEmulator();

    simtest::Reply send(int sg, const Bytes& cdb, uint32_t in, const Bytes& out = {}) {
        return decode(emu->command(static_cast<size_t>(emu->deviceBySg(sg)), sgWrite(cdb, in, out)));
    }
    static Status statusOf(const simtest::Reply& r) {
        if (r.targetStatus == 0x0C) return Conflict;
        if (r.targetStatus == 0x01) return Check;
        return Good;
    }
    simtest::Reply prOut(int sg, uint8_t action, uint8_t type, uint64_t key, uint64_t saKey, uint8_t flags = 0) {
        Bytes list(24, 0);
        for (int i = 0; i < 8; ++i) {
            list[i] = static_cast<uint8_t>(key >> (56 - 8 * i));
            list[8 + i] = static_cast<uint8_t>(saKey >> (56 - 8 * i));
        }
        list[20] = flags;
        return send(sg, {0x5F, action, type, 0, 0, 0, 0, 0, 24, 0}, 0, list);
    }
    Bytes prIn(int sg, uint8_t action) { return send(sg, {0x5E, action, 0, 0, 0, 0, 0, 0, 0xFF, 0}, 255).data; }
    Status readBuffer(int sg) { return statusOf(send(sg, {0x3C, 0x01, 0x03, 0, 0, 0, 0, 0x02, 0, 0}, 512)); }
    Status writeBuffer(int sg) {
        return statusOf(send(sg, {0x3B, 0x01, 0x40, 0, 0, 0, 0, 0, 0x04, 0}, 0, {1, 2, 3, 4}));
    }
    static uint32_t be32(const Bytes& b, size_t off) {
        return (uint32_t(b[off]) << 24) | (uint32_t(b[off + 1]) << 16) | (uint32_t(b[off + 2]) << 8) | b[off + 3];
    }
};

TEST_F(Reservations, RegisterReserveReleaseClearAcrossTwoNexuses) {
    struct Step {
        const char* name;
        std::function<simtest::Reply()> act;
        Status expected;
    };
    std::vector<Step> steps = {
        {"unregistered REGISTER with a non-zero key conflicts", [&] { return prOut(0, 0, 0, A, B); }, Conflict},
        {"unregistered REGISTER of key 0 does nothing", [&] { return prOut(0, 0, 0, 0, 0); }, Good},
        {"sg0 registers A", [&] { return prOut(0, 0, 0, 0, A); }, Good},
        {"sg0 REGISTER with a wrong key conflicts", [&] { return prOut(0, 0, 0, B, B); }, Conflict},
        {"unregistered sg1 cannot reserve", [&] { return prOut(1, 1, 1, 0, 0); }, Conflict},
        {"sg0 reserves with a wrong key", [&] { return prOut(0, 1, 1, B, 0); }, Conflict},
        {"sg0 reserves type 1 with an invalid scope", [&] { return prOut(0, 1, 0x11, A, 0); }, Check},
        {"sg0 reserves type 2 (not a type)", [&] { return prOut(0, 1, 2, A, 0); }, Check},
        {"sg0 reserves write exclusive", [&] { return prOut(0, 1, 1, A, 0); }, Good},
        {"sg0 reserves the same again", [&] { return prOut(0, 1, 1, A, 0); }, Good},
        {"sg0 changes the type while holding", [&] { return prOut(0, 1, 3, A, 0); }, Conflict},
        {"sg1 registers B ignoring its key", [&] { return prOut(1, 6, 0, 0x9999, B); }, Good},
        {"sg1 cannot reserve over sg0", [&] { return prOut(1, 1, 1, B, 0); }, Conflict},
        {"sg1 release is a no-op for a non-holder", [&] { return prOut(1, 2, 1, B, 0); }, Good},
        {"sg0 release with the wrong type", [&] { return prOut(0, 2, 3, A, 0); }, Check},
        {"sg0 releases", [&] { return prOut(0, 2, 1, A, 0); }, Good},
        {"sg1 reserves now", [&] { return prOut(1, 1, 1, B, 0); }, Good},
        {"sg0 CLEAR with a wrong key conflicts", [&] { return prOut(0, 3, 0, B, 0); }, Conflict},
        {"sg0 CLEARs", [&] { return prOut(0, 3, 0, A, 0); }, Good},
        {"sg1 is no longer registered", [&] { return prOut(1, 2, 1, B, 0); }, Conflict},
        {"APTPL is refused", [&] { return prOut(0, 0, 0, 0, A, 0x01); }, Check},
        {"ALL_TG_PT is refused", [&] { return prOut(0, 0, 0, 0, A, 0x04); }, Check},
    };
    for (const auto& s : steps) EXPECT_EQ(statusOf(s.act()), s.expected) << s.name;
    // Generation: three registrations (A, B, none refused) and one CLEAR.
    Bytes keys = prIn(0, 0);
    EXPECT_EQ(keys, (Bytes{0, 0, 0, 3, 0, 0, 0, 0}));
}

TEST_F(Reservations, InvalidReleaseHasItsOwnSense) {
    prOut(0, 0, 0, 0, A);
    prOut(0, 1, 3, A, 0);
    auto r = prOut(0, 2, 1, A, 0);
    EXPECT_EQ(r.sense[2], 0x05);
    EXPECT_EQ(r.sense[12], 0x26);
    EXPECT_EQ(r.sense[13], 0x04);
    auto aptpl = prOut(1, 0, 0, 0, B, 0x01);
    EXPECT_EQ(aptpl.sense[12], 0x26);
    EXPECT_EQ(aptpl.sense[13], 0x00);
}

TEST_F(Reservations, ReportCapabilities) {
    EXPECT_EQ(prIn(1, 2), (Bytes{0x00, 0x08, 0x00, 0x80, 0xEA, 0x01, 0x00, 0x00}));
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
        Status otherRead, otherWrite;
    } cases[] = {
        {1, false, Good, Conflict},     {3, false, Conflict, Conflict}, {5, false, Good, Conflict},
        {5, true, Good, Good},          {6, false, Conflict, Conflict}, {6, true, Good, Good},
        {7, true, Good, Good},          {8, false, Conflict, Conflict}, {8, true, Good, Good},
    };
    for (const auto& c : cases) {
        emu = simtest::makeEmulator();
        prOut(0, 0, 0, 0, A);
        if (c.otherRegistered) prOut(1, 0, 0, 0, B);
        ASSERT_EQ(statusOf(prOut(0, 1, c.type, A, 0)), Good) << int(c.type);
        EXPECT_EQ(readBuffer(1), c.otherRead) << "type " << int(c.type);
        EXPECT_EQ(writeBuffer(1), c.otherWrite) << "type " << int(c.type);
        EXPECT_EQ(readBuffer(0), Good);
        EXPECT_EQ(writeBuffer(0), Good);
        EXPECT_EQ(statusOf(send(1, {0x12, 0, 0, 0, 0x24, 0}, 36)), Good);  // INQUIRY always allowed
    }
}

TEST_F(Reservations, AllRegistrantsReservationEndsWithTheLastRegistrant) {
    prOut(0, 0, 0, 0, A);
    prOut(1, 0, 0, 0, B);
    ASSERT_EQ(statusOf(prOut(0, 1, 7, A, 0)), Good);
    Bytes res = prIn(1, 1);
    ASSERT_EQ(res.size(), 24u);
    EXPECT_EQ(Bytes(res.begin() + 8, res.begin() + 16), Bytes(8, 0));  // key 0 for all registrants
    EXPECT_EQ(res[21], 0x07);
    prOut(0, 0, 0, A, 0);  // sg0 unregisters
    EXPECT_EQ(prIn(1, 1).size(), 24u);
    prOut(1, 0, 0, B, 0);  // the last registrant leaves
    EXPECT_EQ(prIn(1, 1).size(), 8u);
}

TEST_F(Reservations, UnregisteringTheHolderReleases) {
    prOut(0, 0, 0, 0, A);
    prOut(0, 1, 3, A, 0);
    prOut(0, 0, 0, A, 0);
    EXPECT_EQ(prIn(1, 1).size(), 8u);
    EXPECT_EQ(readBuffer(1), Good);
}

TEST_F(Reservations, EachOtherDeviceHasItsOwnUnit) {
    prOut(0, 0, 0, 0, A);
    prOut(0, 1, 3, A, 0);
    EXPECT_EQ(statusOf(send(5, {0x00, 0, 0, 0, 0, 0}, 0)), Good);
    EXPECT_EQ(prIn(5, 0), (Bytes{0, 0, 0, 0, 0, 0, 0, 0}));
}

}  // namespace
