// Input to the firmware model: every malformed command gets a SCSI error, never
// a crash, random well-framed changes never break the image, and scenarios
// build the model they describe.
#include <set>
#include <random>

#include <gtest/gtest.h>

#include "model/event_log.h"
#include "model/firmware_image.h"
#include "model/firmware_model.h"
#include "model_test_util.h"

using namespace modeltest;

namespace {

class ModelInput : public ::testing::Test {
protected:
    FakeClock clock;
    sim::model::FirmwareModel model{defaultSystem(), clock};
};

TEST_F(ModelInput, MalformedCommandsAnswerIllegalRequest) {
    std::vector<uint8_t> spare(16, 0);
    spare[7] = 0x07;   // any WWN: the framing is refused first
    auto withHeader = [&](std::vector<uint8_t> p) {
        std::vector<uint8_t> d = kHeader;
        d.insert(d.end(), p.begin(), p.end());
        return d;
    };
    auto badHeader = withHeader(spare);
    badHeader[3] ^= 0x01;
    struct Case { const char* name; std::vector<uint8_t> cdb; std::vector<uint8_t> data; const char* sense; };
    const Case cases[] = {
        {"wrong validation header", cdb10(0x3B, 1, 0x93, 0, 0, 0, 32), badHeader, "05/26/00"},
        {"header only, too short", cdb10(0x3B, 1, 0x80, 0, 0, 0, 15), std::vector<uint8_t>(kHeader.begin(), kHeader.end() - 1), "05/1A/00"},
        {"CDB length is not the data length", cdb10(0x3B, 1, 0x93, 0, 0, 0, 31), withHeader(spare), "05/1A/00"},
        {"payload one byte short", cdb10(0x3B, 1, 0x93, 0, 0, 0, 31), withHeader(std::vector<uint8_t>(15)), "05/1A/00"},
        {"payload on a header-only command", cdb10(0x3B, 1, 0x80, 0, 0, 0, 20), withHeader(std::vector<uint8_t>(4)), "05/1A/00"},
        {"unknown write buffer ID", cdb10(0x3B, 1, 0x55, 0, 0, 0, 16), kHeader, "05/24/00"},
        {"firmware to buffer 0x01", cdb10(0x3B, 5, 0x01, 0, 0, 0, 16), std::vector<uint8_t>(16), "05/24/00"},
        {"firmware piece out of order", cdb10(0x3B, 7, 0x00, 0, 0x10, 0, 16), std::vector<uint8_t>(16), "05/24/00"},
        {"empty firmware image", cdb10(0x3B, 5, 0x02, 0, 0, 0, 0), {}, "05/1A/00"},
        {"enclosure page send to no enclosure", cdb10(0x3B, 1, 0xF2, 0, 0x1D, 0x10, 16), std::vector<uint8_t>(16), "05/25/00"},
        {"restore out of mode", cdb10(0x3B, 1, 0x83, 0, 0, 0, 16), kHeader, "05/24/00"},
        {"byte 9 set", {0x3B, 1, 0x80, 0, 0, 0, 0, 0, 16, 1}, kHeader, "05/24/00"},
        {"unknown read buffer ID", cdb10(0x3C, 1, 0x7F, 0, 0, 0, 16), {}, "05/24/00"},
        {"header read in mode 2", cdb10(0x3C, 2, 0x03, 0, 0, 0, 512), {}, "05/24/00"},
        {"header read with parameters", cdb10(0x3C, 1, 0x03, 1, 0, 0, 512), {}, "05/24/00"},
        {"rank beyond the arrays", cdb10(0x3C, 1, 0x04, 0, 1, 0, 240), {}, "05/24/00"},
        {"region map without F1", cdb10(0x3C, 1, 0x20, 0, 0, 0, 21656), {}, "05/24/00"},
        {"activity read selector", cdb10(0x3C, 1, 0x5E, 2, 0, 0, 144), {}, "05/24/00"},
        {"offset past the end", cdb10(0x3C, 2, 0x40, 0, 0x07, 0x01, 16), {}, "05/24/00"},
        {"drive list in mode 1", cdb10(0x3C, 1, 0x41, 0, 0, 0, 9080), {}, "05/24/00"},
        {"diagnostic dump before its request", cdb10(0x3C, 2, 0x56, 0, 0, 0, 4096), {}, "05/2C/00"},
        {"six-byte vendor CDB", {0x3C, 1, 0x03, 0, 0, 0}, {}, "05/24/00"},
        {"enclosure page read without PCV", {0x1C, 0, 0x02, 0x01, 0x00, 0}, {}, "05/24/00"},
        {"set time of controller 3", cdb10(0x3B, 1, 0xC5, 3, 0, 0, 24), withHeader(std::vector<uint8_t>(8)), "05/24/00"},
        {"set time month 13", cdb10(0x3B, 1, 0xC5, 1, 0, 0, 24), withHeader({0xEA, 0x07, 13, 1, 1, 0, 0, 0}), "05/26/00"},
        {"fail drive b3 not 1", cdb10(0x3B, 1, 0xC8, 0, 0, 0, 16), kHeader, "05/24/00"},
        {"fail drive beyond members", cdb10(0x3B, 1, 0xC8, 1, 0, 5, 16), kHeader, "05/24/00"},
        {"parity check mode 4", cdb10(0x3B, 1, 0xCE, 0xF1, 0, 4, 16), kHeader, "05/24/00"},
    };
    for (const auto& c : cases) EXPECT_EQ(run(model, c.cdb, c.data).sense(), c.sense) << c.name;
    EXPECT_EQ(le16(read1(model, 0x03, 512).data, 0x96), 1);
}

TEST_F(ModelInput, MalformedScenariosAreRefusedWithTheirPath) {
    struct Case { nlohmann::json patch; const char* message; };
    const Case cases[] = {
        {{{"wwn", "20000011223344ZZ"}}, "wwn: expected 16 hexadecimal digits"},
        {{{"controllers", {{{"nmae", "A"}}}}}, "controllers[0].nmae: unknown key"},
        {{{"features", {"turbo"}}}, "features[0]: expected apm, async, advancedPerformance, failDrive or r2_2"},
        {{{"arrays", {{{"drives", {0, 1, 2}}, {"level", 3}}}}}, "arrays[0].level: expected 0, 1, 5, 6, 10 or 50"},
        {{{"arrays", {{{"drives", {0, 1}}, {"level", 5}}}}}, "arrays[0]: refused by the model (sense 05/26/00)"},
        {{{"arrays", {{{"drives", {0, 0, 1}}, {"level", 5}}}}}, "arrays[0]: refused by the model"},
        {{{"arrays", {{{"drives", {"5000C50000000999"}}, {"level", 0}}}}}, "arrays[0].drives[0]: no drive with WWN 5000C50000000999"},
        {{{"logicalDrives", {{{"array", 0}, {"capacityGb", 5000}}}}}, "logicalDrives[0].capacityGb: does not fit its array"},
        {{{"mappings", {{{"node", "1000000000000001"}, {"port", "1000000000000002"}, {"luns", {{{"lun", 0}, {"logicalDrive", 9}}}}}}}},
         "mappings[0].luns[0].logicalDrive: no such logical drive"},
        {{{"spares", {{{"drive", 0}}}}}, "spares[0]: refused by the model"},
        {{{"controllers", 3}}, "controllers: expected an array"},
        {{{"controllers", {{{"present", false}}, {{"present", false}}}}}, "controllers: at least one controller must be present"},
        {{{"arrays", {{{"drives", {0, 1, 2}}, {"level", 5}, {"chunkKb", 96}}}}}, "arrays[0]: refused by the model"},
        {{{"configImage", {{0, "ABC"}}}, {"name", nullptr}}, "configImage[0]: expected an even number of hexadecimal digits"},
        {{{"snapshotState", {{"odas", 5}}}}, "snapshotState.odas: expected an array"},
    };
    for (const auto& c : cases) {
        auto sys = defaultSystem();
        sys.update(c.patch);
        if (sys.contains("name") && sys["name"].is_null()) {
            for (const char* k : {"name", "settings", "arrays", "logicalDrives", "mappings", "spares"}) sys.erase(k);
        }
        try {
            sim::model::FirmwareModel(sys, clock);
            ADD_FAILURE() << "accepted: " << c.patch;
        } catch (const sim::ScenarioError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.message, 0), 0u) << e.what();
        }
    }
    EXPECT_THROW(sim::model::FirmwareModel(nlohmann::json::array(), clock), sim::ScenarioError);
}

TEST_F(ModelInput, CorruptedRepliesOnRequest) {
    auto ans = model.control("corrupt-reply", {{"bufferId", 0x41}, {"count", 1}, {"kind", "byte"}, {"offset", 4}, {"value", 200}});
    ASSERT_FALSE(ans.contains("error")) << ans.dump();
    EXPECT_EQ(read2(model, 0x41, 9080).data[4], 200);
    EXPECT_EQ(read2(model, 0x41, 9080).data[4], 12);
    model.control("corrupt-reply", {{"bufferId", 0x03}, {"kind", "truncate"}, {"value", 10}});
    EXPECT_EQ(read1(model, 0x03, 512).data.size(), 10u);
    // Stacked corruptions and the image served in pieces are used by the report tests.
    EXPECT_TRUE(model.control("corrupt-reply", {{"kind", "melt"}}).contains("error"));
}

// Random but well-framed change commands (right header, right sizes, random
// parameters) inside brackets: the model refuses or applies each one and the
// committed image stays consistent.
TEST_F(ModelInput, RandomChangesKeepTheImageConsistent) {
    const std::vector<std::pair<uint8_t, size_t>> writes = {
        {0x81, 0}, {0x85, 0}, {0x84, 16}, {0x90, 240}, {0x91, 40}, {0x92, 1076}, {0x93, 16}, {0x97, 0}, {0x98, 0},
        {0x9C, 0}, {0x9D, 0}, {0xA2, 0}, {0xA3, 64}, {0xA5, 8}, {0xA7, 32}, {0xA8, 32}, {0xAA, 0}, {0xAB, 136},
        {0xAC, 0}, {0xB0, 0}, {0xB1, 0}, {0xB2, 0}, {0xB3, 0}, {0xBB, 0}, {0xBE, 0}, {0xC8, 0}, {0xCE, 0}};
    std::mt19937 rng(12345);
    auto byte = [&] { return static_cast<uint8_t>(rng()); };
    const uint64_t wwnBase = 0x5000C50000A00001ULL;
    int accepted = 0, saved = 0;
    std::set<uint8_t> acceptedIds;
    for (int round = 0; round < 300; ++round) {
        ASSERT_TRUE(write1(model, 0x80).good());
        for (int k = 0; k < 6; ++k) {
            auto [id, size] = writes[rng() % writes.size()];
            std::vector<uint8_t> p(size);
            for (auto& b : p) b = (rng() % 4 == 0) ? byte() : static_cast<uint8_t>(rng() % 3);
            // Plausible records for the commands whose payloads carry them.
            auto putWwn = [&](size_t at) {
                uint64_t w = wwnBase + rng() % 12;
                for (int i = 0; i < 8; ++i) p[at + i] = static_cast<uint8_t>(w >> (8 * (7 - i)));
            };
            if (id == 0x90) {
                std::fill(p.begin(), p.end(), 0);
                p[1] = (rng() % 2) ? 0x05 : 0x00;
                p[2] = static_cast<uint8_t>(1 + rng() % 4);
                for (unsigned m = 0; m < p[2]; ++m) putWwn(0x20 + 8 * m);
                p[4] = 128;
                p[0xB8] = (rng() % 2) ? 0xF1 : 0xF0;
                p[0xBA] = static_cast<uint8_t>(rng() % 3);
            } else if (id == 0xAB) {
                std::fill(p.begin(), p.end(), 0);
                p[0] = static_cast<uint8_t>(rng() % 2);
                p[1] = static_cast<uint8_t>(1 + rng() % 2);
                p[2] = 0xF0;
                putWwn(0x10);
                putWwn(0x18);
            } else if (id == 0x93) {
                std::fill(p.begin(), p.end(), 0);
                putWwn(0);
                p[8] = (rng() % 2) ? 0xFF : 0;
            } else if (id == 0x91 || id == 0xA5) {
                std::fill(p.begin(), p.end(), 0);
                p[0] = static_cast<uint8_t>(1 + rng() % 300);
                p[1] = static_cast<uint8_t>(rng() % 2);
                p[2] = static_cast<uint8_t>(rng() % 3);
            } else if (id == 0x92) {
                std::fill(p.begin(), p.end(), 0xFF);
                putWwn(0);
                putWwn(8);
                p[8] = static_cast<uint8_t>(rng());
                p[0x10] = 0;
                p[0x11] = 1;
                unsigned lun = rng() % 512;
                p[0x32 + 2 * lun] = static_cast<uint8_t>(rng() % 4);
                p[0x33 + 2 * lun] = 0x40;
                p[0x432] = static_cast<uint8_t>(lun);
                p[0x433] = 0;
            } else if (id == 0x84) {
                std::fill(p.begin(), p.end(), 0);
                p[0] = static_cast<uint8_t>(0xF0 + rng() % 5);
                p[1] = static_cast<uint8_t>(rng() % 120);
            } else if (id == 0x81 && rng() % 4 != 0) {
                continue;
            }
            const uint8_t params[] = {0, 0, 1, 2, 0xF0, 0xF1};
            auto param = [&] { return rng() % 8 == 0 ? byte() : params[rng() % 6]; };
            uint8_t b3 = param(), b4 = param(), b5 = param();
            if (rng() % 8 != 0) {   // mostly the parameters the command takes
                auto small = [&] { return static_cast<uint8_t>(rng() % 3); };
                switch (id) {
                case 0x84: case 0x90: case 0x91: case 0x92: case 0x93: case 0xA3: case 0xAB: case 0x81:
                    b3 = b4 = b5 = 0; break;
                case 0xA5: case 0xA8: case 0xB1: case 0xB2: b3 = 0; b4 = small(); b5 = 0; break;
                case 0x9D: b3 = 0; b4 = small(); b5 = static_cast<uint8_t>(1 + rng() % 15); break;
                case 0xA7: case 0xB0: case 0xB3: case 0xAC: b3 = small(); b4 = b5 = 0; break;
                case 0xC8: b3 = 1; b4 = static_cast<uint8_t>(rng() % 2); b5 = static_cast<uint8_t>(rng() % 5); break;
                case 0xCE: b3 = (rng() % 2) ? 0xF1 : 0xF0; b4 = static_cast<uint8_t>(rng() % 2); b5 = static_cast<uint8_t>(1 + rng() % 3); break;
                default: break;
                }
            }
            if (write1(model, id, p, b3, b4, b5).good()) {
                ++accepted;
                acceptedIds.insert(id);
            }
        }
        if (write1(model, 0x82).good()) ++saved;
        clock.ms += 20'000;
        SCOPED_TRACE("round " + std::to_string(round));
        checkInvariants(model);
        if (HasFailure()) return;
    }
    // The mix must reach the model's logic, not only its framing checks.
    EXPECT_GT(accepted, 150);
    for (uint8_t id : {0x90, 0x91, 0x92, 0x93, 0xA5, 0xB0, 0xB1, 0xB2, 0xB3, 0xC8})
        EXPECT_TRUE(acceptedIds.count(id)) << std::hex << unsigned{id};
    EXPECT_GT(saved, 250);
}

// Images go as one mode 5 command or in ordered mode 7 pieces (the tool's
// pieces and their adoption are asserted end to end). Images are checked:
// format, kind, length and checksum.
TEST_F(ModelInput, FirmwareImagesAreChecked) {
    EXPECT_TRUE(run(model, cdb10(0x3B, 5, 0x02, 0, 0, 0, 30000),
                    sim::model::makeFirmwareImage(2, 1, 2, "0102", "", 30000)).good());
    EXPECT_EQ(model.control("downloads", nlohmann::json::object())["driveIo"]["images"], 1);
    // A piece that skips bytes is refused; the image so far stays.
    auto image = sim::model::makeFirmwareImage(1, 5, 14, "0514", "Dec 01 2026", 40000);
    EXPECT_TRUE(run(model, cdb10(0x3B, 7, 0x00, 0, 0, 0, 32768), {image.begin(), image.begin() + 32768}).good());
    EXPECT_EQ(run(model, cdb10(0x3B, 7, 0x00, 0x00, 0xA0, 0x00, 16), std::vector<uint8_t>(16)).sense(), "05/24/00");
    EXPECT_EQ(model.control("downloads", nlohmann::json::object())["controller"]["bytes"], 32768);

    struct Bad {
        const char* name;
        size_t at;
        uint8_t value;
    };
    for (const Bad& b : {Bad{"not an image", 0, 'X'}, Bad{"other kind", 8, 2}, Bad{"checksum", 39, 0x7F},
                         Bad{"short length", 32, 0x10}}) {
        SCOPED_TRACE(b.name);
        auto bad = sim::model::makeFirmwareImage(1, 5, 15, "0515", "", 30000);
        bad[b.at] = static_cast<uint8_t>(bad[b.at] ^ b.value);
        EXPECT_EQ(run(model, cdb10(0x3B, 5, 0x00, 0, 0, 0, 30000), bad).sense(), "05/26/00");
    }
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

// The event logs: capacity, the latest log emptied by its read, and the
// pieces of one read agreeing.
TEST(EventLogs, OldestDroppedAtCapacityAndLatestEmptiedByItsRead) {
    sim::model::EventLogs logs;
    const uint8_t payload[1] = {7};
    for (int i = 0; i < 4100; ++i) logs.log(1, 1767225600 + i, static_cast<uint8_t>(i), payload);
    auto whole = logs.reply(1, false, 0, 1767230000);   // length, ..., entry count at 12, entries from 16
    EXPECT_EQ(le16(whole, 12), 4096);
    EXPECT_EQ(le32(whole, 0), 16u + 4096 * 24);
    EXPECT_EQ(whole.size(), 16u + 4096 * 24);
    EXPECT_EQ(whole[16 + 9], 4);        // the first four were dropped
    EXPECT_EQ(whole[16 + 8], 2);        // logged by controller B
    EXPECT_EQ(whole[16 + 10], 7);

    auto latest = logs.reply(1, true, 0, 1767230000);
    EXPECT_EQ(le16(latest, 12), 4096);
    // A later piece of the same read sees the same reply.
    EXPECT_EQ(le16(logs.reply(1, true, 32768, 1767230000), 12), 4096);
    EXPECT_EQ(le16(logs.reply(1, true, 0, 1767230000), 12), 0);
    EXPECT_EQ(le16(logs.reply(0, false, 0, 1767230000), 12), 0);

    logs.clear();
    EXPECT_EQ(logs.size(1, false), 0u);
}

}  // namespace
