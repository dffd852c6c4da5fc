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
    EXPECT_EQ(text(r.data, 48, 17), "Tolvo Demo System");
    EXPECT_NE(r.data[170], 0);
    for (size_t off : {171u, 208u, 209u}) EXPECT_TRUE(r.data[off] == 0xF0 || r.data[off] == 0xF1) << off;
    // Length, configuration WWN, blank padding of the name; arrays, logical
    // drives, LUN maps, spares.
    EXPECT_EQ(mismatches(r.data, {{0, 940032, 4}, {24, 0x2000001122334400ULL, 8}, {48 + 17, ' '}, {111, ' '},
                                  {0x90, 1, 2}, {0x92, 2, 2}, {0x94, 1, 2}, {0x96, 1, 2}, {0xCC, 0xFFFF, 2}}),
              "");
}

TEST_F(ModelReads, ControllerInformationOfBothControllers) {
    Result r = read2(*model, 0x40, 1792, 1);
    ASSERT_TRUE(r.good()) << r.sense();
    ASSERT_EQ(r.data.size(), 1792u);
    // Path 1 reaches controller B; no rebuild.
    EXPECT_EQ(mismatches(r.data, {{0, 1792, 4}, {5, 2}, {6, 0xF1}, {7, 0xF1}, {8 + 64, 0x2000001122334410ULL, 8},
                                  {228 + 64, 0x2000001122334420ULL, 8}}),
              "");
    EXPECT_NE(r.data[448], 0xF1);
    for (size_t base : {8u, 228u}) {
        EXPECT_EQ(text(r.data, base, 12), base == 8 ? "Controller A" : "Controller B");
        EXPECT_EQ(text(r.data, base + 108, 4), "0513");
        // 2026-01-01 00:00:00, a Thursday.
        EXPECT_EQ(mismatches(r.data, {{base + 72, 0x2000001122334400ULL, 8}, {base + 96, 2026, 2}, {base + 98, 1},
                                      {base + 99, 1}, {base + 100, 5}, {base + 107, 5}, {base + 106, 13},
                                      {base + 182, 0xC0 | 19}, {base + 218, 0x100 | 0x400 | 0x1000, 2}}),
                  "") << base;
    }
}

TEST_F(ModelReads, DriveListReflectsMembershipAndSpare) {
    Result r = read2(*model, 0x41, 9080);
    ASSERT_TRUE(r.good()) << r.sense();
    ASSERT_EQ(r.data.size(), 9080u);
    EXPECT_EQ(r.data[4], 12);
    for (unsigned i = 0; i < 12; ++i) {
        size_t rec = 8 + 72 * i;
        uint8_t rank = i < 5 ? 0 : i == 5 ? 0xF5 : 0xFF;
        EXPECT_EQ(mismatches(r.data, {{rec + 3, 1}, {rec + 4, i + 1}, {rec + 9, rank},
                                      {rec + 12, 0x5000C50000A00001ULL + i, 8}, {rec + 20, 585937500, 4}}),
                  "") << i;
        if (i < 5) {
            EXPECT_EQ(r.data[rec + 10], i);
        }
        EXPECT_EQ(text(r.data, rec + 36, 8), "SEAGATE ");
    }
}

}  // namespace
