// Replies of the firmware model built from the default scenario, checked at
// the byte offsets the tool reads.
#include <gtest/gtest.h>

#include "model_test_util.h"

using namespace modeltest;

namespace {

class ModelReads : public ::testing::Test {
protected:
    FakeClock clock;
    std::unique_ptr<sim::SystemModel> model = sim::makeSystemModel(defaultSystem(), clock);
};

TEST_F(ModelReads, ConfigurationHeaderPassesDiscoveryRule) {
    Result r = read1(*model, 0x03, 512);
    ASSERT_TRUE(r.good()) << r.sense();
    ASSERT_EQ(r.data.size(), 512u);
    EXPECT_EQ(le32(r.data, 0), 940032u);
    EXPECT_EQ(be64(r.data, 24), 0x2000001122334400ULL);
    EXPECT_EQ(text(r.data, 48, 17), "Tolvo Demo System");
    EXPECT_EQ(r.data[48 + 17], ' ');
    EXPECT_EQ(r.data[111], ' ');
    EXPECT_NE(r.data[170], 0);
    for (size_t off : {171u, 208u, 209u}) EXPECT_TRUE(r.data[off] == 0xF0 || r.data[off] == 0xF1) << off;
    EXPECT_EQ(le16(r.data, 0x90), 1);   // arrays
    EXPECT_EQ(le16(r.data, 0x92), 2);   // logical drives
    EXPECT_EQ(le16(r.data, 0x94), 1);   // LUN maps
    EXPECT_EQ(le16(r.data, 0x96), 1);   // spares
    EXPECT_EQ(le16(r.data, 0xCC), 0xFFFF);
}

TEST_F(ModelReads, ControllerInformationOfBothControllers) {
    Result r = read2(*model, 0x40, 1792, 1);
    ASSERT_TRUE(r.good()) << r.sense();
    ASSERT_EQ(r.data.size(), 1792u);
    EXPECT_EQ(le32(r.data, 0), 1792u);
    EXPECT_EQ(r.data[5], 2);   // path 1 reaches controller B
    EXPECT_EQ(r.data[6], 0xF1);
    EXPECT_EQ(r.data[7], 0xF1);
    for (size_t base : {8u, 228u}) {
        EXPECT_EQ(text(r.data, base, 12), base == 8 ? "Controller A" : "Controller B");
        EXPECT_EQ(be64(r.data, base + 72), 0x2000001122334400ULL);
        EXPECT_EQ(le16(r.data, base + 96), 2026);   // 2026-01-01 00:00:00, a Thursday
        EXPECT_EQ(r.data[base + 98], 1);
        EXPECT_EQ(r.data[base + 99], 1);
        EXPECT_EQ(r.data[base + 100], 5);
        EXPECT_EQ(r.data[base + 107], 5);
        EXPECT_EQ(r.data[base + 106], 13);
        EXPECT_EQ(text(r.data, base + 108, 4), "0513");
        EXPECT_EQ(r.data[base + 182], 0xC0 | 19);
        EXPECT_EQ(le16(r.data, base + 218), 0x100 | 0x400 | 0x1000);
    }
    EXPECT_EQ(be64(r.data, 8 + 64), 0x2000001122334410ULL);
    EXPECT_EQ(be64(r.data, 228 + 64), 0x2000001122334420ULL);
    EXPECT_NE(r.data[448], 0xF1);   // no rebuild
}

TEST_F(ModelReads, DriveListReflectsMembershipAndSpare) {
    Result r = read2(*model, 0x41, 9080);
    ASSERT_TRUE(r.good()) << r.sense();
    ASSERT_EQ(r.data.size(), 9080u);
    EXPECT_EQ(r.data[4], 12);
    for (unsigned i = 0; i < 12; ++i) {
        size_t rec = 8 + 72 * i;
        EXPECT_EQ(r.data[rec + 3], 1);
        EXPECT_EQ(r.data[rec + 4], i + 1);
        uint8_t rank = i < 5 ? 0 : i == 5 ? 0xF5 : 0xFF;
        EXPECT_EQ(r.data[rec + 9], rank) << i;
        if (i < 5) {
            EXPECT_EQ(r.data[rec + 10], i);
        }
        EXPECT_EQ(be64(r.data, rec + 12), 0x5000C50000A00001ULL + i);
        EXPECT_EQ(le32(r.data, rec + 20), 585937500u);
        EXPECT_EQ(text(r.data, rec + 36, 8), "SEAGATE ");
    }
}

// Whole replies against fixtures written out from the default scenario.
TEST_F(ModelReads, RankRecordOfTheDefaultArray) {
    std::vector<uint8_t> fixture(240, 0);
    fixture[0x01] = 0x05;
    fixture[0x02] = 5;
    fixture[0x04] = 0x80;
    fixture[0x06] = 0xAF; fixture[0x07] = 0x04;   // 1199 GB
    for (int m = 0; m < 5; ++m) {
        const uint8_t w[8] = {0x50, 0x00, 0xC5, 0x00, 0x00, 0xA0, 0x00, static_cast<uint8_t>(1 + m)};
        std::copy(w, w + 8, fixture.begin() + 0x20 + 8 * m);
    }
    fixture[0xB0] = 1;
    fixture[0xB1] = 0xFF;
    fixture[0xB2] = 0x1B;
    fixture[0xB3] = 0xF0;
    fixture[0xB6] = 10;
    fixture[0xB8] = 0xF1;
    const std::string name = "Array 0                         ";
    std::copy(name.begin(), name.end(), fixture.begin() + 0xBB);
    Result r = read1(*model, 0x04, 240);
    ASSERT_TRUE(r.good());
    EXPECT_EQ(r.data, fixture);
}

TEST_F(ModelReads, FirstDriveRecord) {
    const std::vector<uint8_t> fixture = {
        0x00, 0x00, 0x00, 0x01, 0x01, 0x7D, 0x7D, 0x7D, 0x7D, 0x00, 0x00, 0x01,   // loops, enclosure 1 slot 1, rank 0 drive 0, good
        0x50, 0x00, 0xC5, 0x00, 0x00, 0xA0, 0x00, 0x01,                           // WWN
        0x5C, 0xB2, 0xEC, 0x22,                                                   // 585937500 blocks
        0x00, 0x01, 0x00, 0x00,                                                   // XOR write size 256
        0x00, 0x02, 0x00,                                                         // block size 512
        0xF1, 0xF1, 0x00, 0x00, 0x00,                                             // SES, firmware image, flags, slot 0
        'S', 'E', 'A', 'G', 'A', 'T', 'E', ' ',
        'S', 'T', '3', '3', '0', '0', '6', '5', '7', 'S', 'S', ' ', ' ', ' ', ' ', ' ',
        '0', '0', '0', '8',
        '3', 'S', 'J', '0', '0', '1', '0', '1'};
    ASSERT_EQ(fixture.size(), 72u);
    Result r = read2(*model, 0x41, 9080);
    ASSERT_TRUE(r.good());
    EXPECT_EQ(std::vector<uint8_t>(r.data.begin() + 8, r.data.begin() + 80), fixture);
    EXPECT_EQ(std::vector<uint8_t>(r.data.begin(), r.data.begin() + 8),
              (std::vector<uint8_t>{0x78, 0x23, 0x00, 0x00, 12, 0, 0, 0}));
}

TEST_F(ModelReads, ActivityRecordWithoutAChange) {
    std::vector<uint8_t> fixture(144, 0);
    fixture[0] = 144;
    fixture[2] = fixture[3] = fixture[4] = fixture[5] = 0xF0;
    fixture[8] = 1;
    Result r = read1(*model, 0x5E, 144, 1);
    ASSERT_TRUE(r.good());
    EXPECT_EQ(r.data, fixture);
}

TEST_F(ModelReads, InitialisationTableAndHostTable) {
    std::vector<uint8_t> init(256, 0);
    init[0] = 0xF0;   // rank 0 present, nothing running
    EXPECT_EQ(read1(*model, 0x57, 256).data, init);
    Result hosts = read2(*model, 0x42, 12296);
    ASSERT_EQ(hosts.data.size(), 12296u);
    const std::vector<uint8_t> head = {0x08, 0x30, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
                                       0x20, 0x00, 0x00, 0x1B, 0x32, 0xA0, 0xB0, 0xC0,
                                       0x21, 0x00, 0x00, 0x1B, 0x32, 0xA0, 0xB0, 0xC0};
    EXPECT_EQ(std::vector<uint8_t>(hosts.data.begin(), hosts.data.begin() + 24), head);
    EXPECT_EQ(hosts.data[32], 0);
}

}  // namespace
