#include "lapi/reservations.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "scsi/discovery.h"
#include "support/process.h"
#include "support/simulator.h"
#include "unit/lapi/scripted_system.h"

namespace {

std::string capture(uint32_t (*read)(const PR_IN_PATH*), const PR_IN_PATH& path) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(read(&path), 0u);
    return testing::internal::GetCapturedStdout();
}

const std::string kGood = "issueScsiCommand status(00) sensekey(00) asc(00) ascq(00)\n";

// Decoding of hand-made replies through a scripted path.
struct ReservationDecoding : testnode::ScriptedSystemTest {
    PR_IN_PATH path{0, 0, 2, 0};

    void SetUp() override {
        ScriptedSystemTest::SetUp();
        system(1, 2);
    }
    void reply(std::vector<uint8_t> bytes) { rec.script = {testnode::good(std::move(bytes))}; }
};

TEST_F(ReservationDecoding, KeysStopAtTheLastWholeKey) {
    reply({0, 0, 0, 5, 0, 0, 0, 12, 1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9, 9});
    EXPECT_EQ(capture(LAPIPersistentReservationInReadKeys, path),
              kGood + "Generation = 5\nAdditionalLength = 12\nunexpected length\nKey 0 = 01-02-03-04-05-06-07-08\n");
    ASSERT_EQ(rec.sent.size(), 1u);
    EXPECT_EQ(rec.sent[0].cdb, (std::vector<uint8_t>{0x5E, 0, 0, 0, 0, 0, 0, 0, 255, 0}));

    // A length beyond the 255 bytes received lists only the keys that arrived.
    std::vector<uint8_t> big(255, 0xAA);
    big[4] = 0x7F;  // additional length 0x7FAAAAAA
    reply(big);
    std::string out = capture(LAPIPersistentReservationInReadKeys, path);
    size_t keys = 0;
    for (size_t at = out.find("Key "); at != std::string::npos; at = out.find("Key ", at + 1)) ++keys;
    EXPECT_EQ(keys, (255u - 8u) / 8u);
}

TEST_F(ReservationDecoding, ReservationSizes) {
    reply({0, 0, 0, 1, 0, 0, 0, 0});
    EXPECT_EQ(capture(LAPIPersistentReservationInReadReservation, path),
              kGood + "Generation = 1\nAdditionalLength = 0\nNo reservation\n");
    reply({0, 0, 0, 1, 0, 0, 0, 16, 0xA, 0xB, 0xC, 0xD, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x15});
    EXPECT_EQ(capture(LAPIPersistentReservationInReadReservation, path),
              kGood + "Generation = 1\nAdditionalLength = 16\nReservation Key = 0A-0B-0C-0D-00-00-00-01\n"
                      "scope = 0x01\ntype = 0x05\n");
    reply({0, 0, 0, 1, 0, 0, 0, 8});
    EXPECT_EQ(capture(LAPIPersistentReservationInReadReservation, path),
              kGood + "Generation = 1\nAdditionalLength = 8\nUnexpected sizes of reservation\n");
}

TEST_F(ReservationDecoding, FullStatusWalksDescriptorsByTheirLengths) {
    std::vector<uint8_t> r = {0, 0, 0, 3, 0, 0, 0, 24 + 4 + 24};
    std::vector<uint8_t> first(24 + 4, 0), second(24, 0);
    first[7] = 0x11;
    first[13] = 0x03;
    first[23] = 4;  // four bytes of transport identifier follow
    second[7] = 0x22;
    r.insert(r.end(), first.begin(), first.end());
    r.insert(r.end(), second.begin(), second.end());
    reply(r);
    EXPECT_EQ(capture(LAPIPersistentReservationInReadFullStatus, path),
              kGood + "Generation = 3\nAdditionalLength = 52\n"
                      "Status 0 = 00-00-00-00-00-00-00-11\nscope = 0x00\ntype = 0x03\nAdditionalLength = 4\n"
                      "Status 1 = 00-00-00-00-00-00-00-22\nscope = 0x00\ntype = 0x00\nAdditionalLength = 0\n");

    // A descriptor claiming more than remains ends the list after it.
    std::vector<uint8_t> bad = {0, 0, 0, 3, 0, 0, 0, 24};
    std::vector<uint8_t> d(24, 0);
    d[23] = 200;
    bad.insert(bad.end(), d.begin(), d.end());
    reply(bad);
    EXPECT_EQ(capture(LAPIPersistentReservationInReadFullStatus, path),
              kGood + "Generation = 3\nAdditionalLength = 24\n"
                      "Status 0 = 00-00-00-00-00-00-00-00\nscope = 0x00\ntype = 0x00\nAdditionalLength = 200\n");
}

TEST_F(ReservationDecoding, UnknownPathIsNotSentTo) {
    PR_IN_PATH other{0, 5, 5, 5};
    EXPECT_EQ(capture(LAPIPersistentReservationInReportCapabilities, other),
              "issueScsiCommand status(FF) sensekey(00) asc(00) ascq(00)\n"
              "Length = 0\nByte 1 = 0x00\nByte 2 = 0x00\nType mask 0 = 0x00\nType mask 1 = 0x00\n");
    EXPECT_TRUE(rec.sent.empty());
}

TEST_F(ReservationDecoding, OutRequestsCarryTheTypeAndBothKeys) {
    rec.script = {testnode::good()};
    PR_OUT_REQUEST q{path, 5, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}, {0, 0, 0, 0, 0, 0, 0xAB, 0xCD}};
    testing::internal::CaptureStdout();
    EXPECT_EQ(LAPIPersistentReservationOutReserve(&q), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n--------------------------------\nCDB : 5F 01 05 00 00 00 00 00 18 00  (Status = 0; Sense = 00/00/00)"
              "\n\nHex output\n\nCharacter output\n--------------------------------\n"
              "reg key = 11-22-33-44-55-66-77-88\nserv key = 00-00-00-00-00-00-AB-CD\n" + kGood);
    ASSERT_EQ(rec.sent.size(), 1u);
    EXPECT_EQ(rec.sent[0].cdb, (std::vector<uint8_t>{0x5F, 0x01, 0x05, 0, 0, 0, 0, 0, 24, 0}));
    std::vector<uint8_t> parameters = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0, 0, 0, 0, 0, 0, 0xAB, 0xCD};
    parameters.resize(24, 0);
    EXPECT_EQ(rec.sent[0].dataOut, parameters);

    // Each operation its service action; a path discovery does not know is not sent to.
    const std::pair<uint32_t (*)(const PR_OUT_REQUEST*), uint8_t> actions[] = {
        {LAPIPersistentReservationOutRegister, 0}, {LAPIPersistentReservationOutRelease, 2},
        {LAPIPersistentReservationOutClear, 3}, {LAPIPersistentReservationOutRegisterAndIgnore, 6}};
    for (const auto& [op, action] : actions) {
        rec.script = {testnode::good()};
        rec.sent.clear();
        testing::internal::CaptureStdout();
        op(&q);
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(rec.sent.size(), 1u);
        EXPECT_EQ(rec.sent[0].cdb[1], action);
    }
    q.path = {0, 5, 5, 5};
    rec.sent.clear();
    testing::internal::CaptureStdout();
    LAPIPersistentReservationOutClear(&q);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("serv key = 00-00-00-00-00-00-AB-CD\nissueScsiCommand status(FF)"), std::string::npos) << out;
    EXPECT_TRUE(rec.sent.empty());
}

// Against the emulator's reservations: registrations and a reservation made
// through the raw transport are what the reads report.
TEST(ReservationsAgainstEmulator, KeysAndReservationOfTwoPaths) {
    testsupport::Simulator sim;
    resetRaidSystemTable();
    setenv("LQCL_DEV_DIR", sim.dir().c_str(), 1);

    PR_IN_PATH path0{0, 0, 0, 0};
    EXPECT_EQ(capture(LAPIPersistentReservationInReadKeys, path0), kGood + "Generation = 0\nAdditionalLength = 0\n");
    EXPECT_EQ(capture(LAPIPersistentReservationInReadFullStatus, path0),
              kGood + "Generation = 0\nAdditionalLength = 0\nno statuses\n");

    auto out = [](const std::string& node, uint8_t action, uint8_t type, uint64_t key, uint64_t saKey) {
        testsupport::SgNode n(node);
        ASSERT_TRUE(n.connected());
        ASSERT_EQ(n.open(O_RDWR), 0);
        std::vector<uint8_t> param(24, 0);
        for (int i = 0; i < 8; ++i) {
            param[i] = static_cast<uint8_t>(key >> (56 - 8 * i));
            param[8 + i] = static_cast<uint8_t>(saKey >> (56 - 8 * i));
        }
        auto reply = n.command({0x5F, action, type, 0, 0, 0, 0, 0, 24, 0}, 0, param);
        ASSERT_GE(reply.size(), 36u);
        // struct sg_header: result at byte 12, target status in bits 1-5 of byte 16.
        EXPECT_EQ(reply[12] | reply[13] | reply[14] | reply[15], 0);
        EXPECT_EQ((reply[16] >> 1) & 0x1F, 0);
    };
    out(sim.dir() + "/sg0", 0x00, 0x00, 0, 0xABCD);  // REGISTER on path 0
    out(sim.dir() + "/sg1", 0x00, 0x00, 0, 0x1234);  // REGISTER on path 1
    out(sim.dir() + "/sg0", 0x01, 0x03, 0xABCD, 0);  // RESERVE, write exclusive

    EXPECT_EQ(capture(LAPIPersistentReservationInReadKeys, path0),
              kGood + "Generation = 2\nAdditionalLength = 16\nKey 0 = 00-00-00-00-00-00-AB-CD\n"
                      "Key 1 = 00-00-00-00-00-00-12-34\n");
    PR_IN_PATH path1{0, 1, 0, 0};
    EXPECT_EQ(capture(LAPIPersistentReservationInReadReservation, path1),
              kGood + "Generation = 2\nAdditionalLength = 16\nReservation Key = 00-00-00-00-00-00-AB-CD\n"
                      "scope = 0x00\ntype = 0x03\n");
    std::string full = capture(LAPIPersistentReservationInReadFullStatus, path0);
    EXPECT_NE(full.find("Status 0 = 00-00-00-00-00-00-AB-CD\nscope = 0x00\ntype = 0x03\n"), std::string::npos)
        << full;
    EXPECT_NE(full.find("Status 1 = 00-00-00-00-00-00-12-34\n"), std::string::npos) << full;

    unsetenv("LQCL_DEV_DIR");
    resetRaidSystemTable();
}

}  // namespace
