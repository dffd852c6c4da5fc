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

}  // namespace
