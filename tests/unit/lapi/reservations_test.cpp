// Persistent reservation reads and writes of one path, decoded from hand-made
// replies through a scripted path. (What the emulator's logical units answer is
// checked by the emulator's own reservation tests.)
#include "lapi/reservations.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unit/lapi/scripted_system.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Read = uint32_t (*)(const PR_IN_PATH*);

const std::string kGood = "issueScsiCommand status(00) sensekey(00) asc(00) ascq(00)\n";

struct ReservationDecoding : testnode::ScriptedSystemTest {
    PR_IN_PATH path{0, 0, 2, 0};
    void SetUp() override {
        ScriptedSystemTest::SetUp();
        system(1, 2);
    }
    std::string read(Read op, Bytes reply, const PR_IN_PATH& p) {
        rec.script = {testnode::good(std::move(reply))};
        testing::internal::CaptureStdout();
        EXPECT_EQ(op(&p), 0u);
        return testing::internal::GetCapturedStdout();
    }
};

// A full-status descriptor: the key's last byte, the type and the length of
// the transport identifier that follows.
Bytes descriptor(uint8_t key, uint8_t type, uint8_t idLength, size_t extra = 0) {
    Bytes d(24 + extra, 0);
    d[7] = key;
    d[13] = type;
    d[23] = idLength;
    return d;
}
Bytes join(Bytes a, const Bytes& b) { return a.insert(a.end(), b.begin(), b.end()), a; }

TEST_F(ReservationDecoding, RepliesAsRead) {
    const Read keys = LAPIPersistentReservationInReadKeys, resv = LAPIPersistentReservationInReadReservation,
               full = LAPIPersistentReservationInReadFullStatus;
    const struct {
        const char* name;
        Read op;
        Bytes reply;
        std::string out;
    } cases[] = {
        {"no keys", keys, {0, 0, 0, 0, 0, 0, 0, 0}, "Generation = 0\nAdditionalLength = 0\n"},
        {"keys stop at the last whole key", keys, {0, 0, 0, 5, 0, 0, 0, 12, 1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9, 9},
         "Generation = 5\nAdditionalLength = 12\nunexpected length\nKey 0 = 01-02-03-04-05-06-07-08\n"},
        {"no reservation", resv, {0, 0, 0, 1, 0, 0, 0, 0}, "Generation = 1\nAdditionalLength = 0\nNo reservation\n"},
        {"a reservation", resv, {0, 0, 0, 1, 0, 0, 0, 16, 0xA, 0xB, 0xC, 0xD, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x15},
         "Generation = 1\nAdditionalLength = 16\nReservation Key = 0A-0B-0C-0D-00-00-00-01\nscope = 0x01\ntype = 0x05\n"},
        {"reservation of another size", resv, {0, 0, 0, 1, 0, 0, 0, 8},
         "Generation = 1\nAdditionalLength = 8\nUnexpected sizes of reservation\n"},
        {"no statuses", full, {0, 0, 0, 0, 0, 0, 0, 0}, "Generation = 0\nAdditionalLength = 0\nno statuses\n"},
        {"descriptors walked by their lengths", full,
         join(join({0, 0, 0, 3, 0, 0, 0, 24 + 4 + 24}, descriptor(0x11, 3, 4, 4)), descriptor(0x22, 0, 0)),
         "Generation = 3\nAdditionalLength = 52\n"
         "Status 0 = 00-00-00-00-00-00-00-11\nscope = 0x00\ntype = 0x03\nAdditionalLength = 4\n"
         "Status 1 = 00-00-00-00-00-00-00-22\nscope = 0x00\ntype = 0x00\nAdditionalLength = 0\n"},
        {"a descriptor claiming more than remains ends the list", full,
         join({0, 0, 0, 3, 0, 0, 0, 24}, descriptor(0, 0, 200)),
         "Generation = 3\nAdditionalLength = 24\n"
         "Status 0 = 00-00-00-00-00-00-00-00\nscope = 0x00\ntype = 0x00\nAdditionalLength = 200\n"},
    };
    for (const auto& c : cases) {
        rec.sent.clear();
        EXPECT_EQ(read(c.op, c.reply, path), kGood + c.out) << c.name;
        ASSERT_EQ(rec.sent.size(), 1u) << c.name;
        const uint8_t action = c.op == keys ? 0 : c.op == resv ? 1 : 3;
        EXPECT_EQ(rec.sent[0].cdb, (Bytes{0x5E, action, 0, 0, 0, 0, 0, 0, 255, 0})) << c.name;
    }

    // A length beyond the 255 bytes received lists only the keys that arrived.
    Bytes big(255, 0xAA);
    big[4] = 0x7F;  // additional length 0x7FAAAAAA
    const std::string out = read(keys, big, path);
    size_t listed = 0;
    for (size_t at = out.find("Key "); at != std::string::npos; at = out.find("Key ", at + 1)) ++listed;
    EXPECT_EQ(listed, (255u - 8u) / 8u);
}

TEST_F(ReservationDecoding, UnknownPathIsNotSentTo) {
    EXPECT_EQ(read(LAPIPersistentReservationInReportCapabilities, {}, {0, 5, 5, 5}),
              "issueScsiCommand status(FF) sensekey(00) asc(00) ascq(00)\n"
              "Length = 0\nByte 1 = 0x00\nByte 2 = 0x00\nType mask 0 = 0x00\nType mask 1 = 0x00\n");
    EXPECT_TRUE(rec.sent.empty());
}

TEST_F(ReservationDecoding, OutRequestsCarryTheTypeAndBothKeys) {
    PR_OUT_REQUEST q{path, 5, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}, {0, 0, 0, 0, 0, 0, 0xAB, 0xCD}};
    testing::internal::CaptureStdout();
    EXPECT_EQ(LAPIPersistentReservationOutReserve(&q), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n--------------------------------\nCDB : 5F 01 05 00 00 00 00 00 18 00  (Status = 0; Sense = 00/00/00)"
              "\n\nHex output\n\nCharacter output\n--------------------------------\n"
              "reg key = 11-22-33-44-55-66-77-88\nserv key = 00-00-00-00-00-00-AB-CD\n" + kGood);
    ASSERT_EQ(rec.sent.size(), 1u);
    EXPECT_EQ(rec.sent[0].cdb, (Bytes{0x5F, 0x01, 0x05, 0, 0, 0, 0, 0, 24, 0}));
    Bytes parameters = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0, 0, 0, 0, 0, 0, 0xAB, 0xCD};
    parameters.resize(24, 0);
    EXPECT_EQ(rec.sent[0].dataOut, parameters);

    // Each operation its service action; a path discovery does not know is not sent to.
    const std::pair<uint32_t (*)(const PR_OUT_REQUEST*), uint8_t> actions[] = {
        {LAPIPersistentReservationOutRegister, 0}, {LAPIPersistentReservationOutRelease, 2},
        {LAPIPersistentReservationOutClear, 3}, {LAPIPersistentReservationOutRegisterAndIgnore, 6}};
    testing::internal::CaptureStdout();
    for (const auto& [op, action] : actions) {
        rec.sent.clear();
        op(&q);
        ASSERT_EQ(rec.sent.size(), 1u);
        EXPECT_EQ(rec.sent[0].cdb[1], action);
    }
    q.path = {0, 5, 5, 5};
    rec.sent.clear();
    LAPIPersistentReservationOutClear(&q);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.rfind("serv key = 00-00-00-00-00-00-AB-CD\nissueScsiCommand status(FF)"), std::string::npos) << out;
    EXPECT_TRUE(rec.sent.empty());
}

}  // namespace
