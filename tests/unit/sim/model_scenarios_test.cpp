// Every shipped scenario builds a firmware model per system, with a consistent
// image and a header that discovery accepts.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "model/firmware_model.h"
#include "model_test_util.h"

using namespace modeltest;

namespace {

TEST(ModelScenarios, ShippedScenariosBuild) {
    const std::filesystem::path dir = std::filesystem::path(LQCL_SOURCE_DIR) / "sim" / "scenarios";
    int systems = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".json") continue;
        std::ifstream in(entry.path());
        auto doc = nlohmann::json::parse(in);
        if (!doc.contains("systems")) continue;
        for (const auto& sys : doc.at("systems")) {
            FakeClock clock;
            std::unique_ptr<sim::model::FirmwareModel> m;
            ASSERT_NO_THROW(m = std::make_unique<sim::model::FirmwareModel>(sys, clock)) << entry.path();
            std::string why;
            EXPECT_TRUE(m->imageConsistent(m->committed(), &why)) << entry.path() << ": " << why;
            Result h = read1(*m, 0x03, 512);
            ASSERT_TRUE(h.good());
            EXPECT_EQ(be64(h.data, 24), sim::model::FirmwareModel(sys, clock).committed().header.configWwn.get());
            ++systems;
        }
    }
    EXPECT_GE(systems, 4);
}

TEST(ModelScenarios, BusyR22System) {
    std::ifstream in(std::string(LQCL_SOURCE_DIR) + "/sim/scenarios/model-r2_2.json");
    auto sys = nlohmann::json::parse(in).at("systems").at(0);
    FakeClock clock;
    sim::model::FirmwareModel m(sys, clock);
    // Controller A's battery and flags, controller B without a battery, RAID 6
    // initialising, parity check on the RAID 1.
    EXPECT_EQ(mismatches(read2(m, 0x40, 1792).data,
                         {{8 + 182, 0xC0 | 17}, {8 + 218, 0x80 | 0x100 | 0x200 | 0x400 | 0x1000, 2}, {8 + 216, 6},
                          {228 + 180, 0xF2}, {460, 0xF1}, {462, 40}, {468, 0xF1}, {469, 1}, {471, 3}, {472, 2, 4}}),
              "");
    // 6 x 1953525168 blocks, 4 data drives: 3999 GB; the RAID 1 1953525168 blocks less 0.5 %.
    EXPECT_EQ(mismatches(read1(m, 0x04, 240, 0, 0).data, {{1, 0x06}, {0xB0, 2}, {6, 3999, 2}}), "");
    EXPECT_EQ(mismatches(read1(m, 0x04, 240, 0, 1).data, {{1, 0x10}, {0xB0, 1}, {0xBA, 150}, {6, 994, 2}}), "");
    Result cfg = read2(m, 0x01, 940032);
    EXPECT_EQ(mismatches(cfg.data, {{0xCC, 31, 2}, {0x3E00 + 0x22C, 4096, 2}, {0x3E00 + 576 + 0x208, 5},
                                    {0x4BE00 + 0x32 + 2, 0x8000 | 0x4000 | 0x1000 | 1, 2}, {0xD3E00 + 8, 0},
                                    {0xD3E00 + 16 + 8, 0xFF}}),
              "");
    EXPECT_EQ(text(cfg.data, 0x4BE00 + 0x12, 5), "web01");
    Result u = read1(m, 0x5E, 144, 1, 0, 0, 1);
    EXPECT_EQ(u.data[8], 2);
}

TEST(ModelScenarios, FailedMembersLeaveTheArrayDegraded) {
    struct Case { std::vector<int> failed; uint8_t fault; };
    const Case cases[] = {{{}, 0xFF}, {{2}, 0}, {{1, 3}, 2}};
    for (const auto& c : cases) {
        auto sys = defaultSystem();
        for (int slot : c.failed) sys["drives"].push_back({{"enclosure", 2}, {"slot", slot}, {"wwn", "77000000000000" + std::to_string(10 + slot)}});
        sys["enclosures"].push_back({{"number", 2}, {"slots", 4}});
        sys["arrays"].push_back({{"drives", {{{"enclosure", 1}, {"slot", 7}}, {{"enclosure", 1}, {"slot", 8}}, {{"enclosure", 1}, {"slot", 9}}}}, {"level", 5}});
        for (size_t i = 0; i < c.failed.size(); ++i) {
            sys["drives"][i]["failed"] = true;
            sys["arrays"][1]["drives"][i] = {{"enclosure", 2}, {"slot", c.failed[i]}};
        }
        FakeClock clock;
        sim::model::FirmwareModel m(sys, clock);
        EXPECT_EQ(read1(m, 0x04, 240, 0, 1).data[0xB1], c.fault) << c.failed.size();
        EXPECT_EQ(read1(m, 0x04, 240, 0, 0).data[0xB1], 0xFF);
    }
}

}  // namespace
