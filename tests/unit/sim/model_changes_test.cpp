// The firmware model's configuration changes: the start/save bracket, the
// region map kept consistent with ranks and host LUN segments, refusals, and
// the model's invariants across sequences of changes.
#include <cstring>
#include <functional>
#include <random>

#include <gtest/gtest.h>

#include "model/firmware_model.h"
#include "model_test_util.h"
#include "wire/config.h"
#include "wire/requests.h"

using namespace modeltest;

namespace {

template <typename T>
std::vector<uint8_t> payload(const T& t) {
    const auto* p = reinterpret_cast<const uint8_t*>(&t);
    return {p, p + sizeof(T)};
}

constexpr uint64_t kDrive1 = 0x5000C50000A00001ULL;   // slot 1; slot n is kDrive1 + n - 1

class ModelChanges : public ::testing::Test {
public:
    void SetUp() override { make(defaultSystem()); }
    void make(const nlohmann::json& sys) {
        model = std::make_unique<sim::model::FirmwareModel>(sys, clock);
    }
    uint16_t headerCount(size_t off) {
        Result r = read1(*model, 0x03, 512);
        EXPECT_TRUE(r.good());
        return le16(r.data, off);
    }
    std::vector<uint8_t> regionMap() {
        Result r = read1(*model, 0x20, 21656, 0, 0xF1);
        EXPECT_TRUE(r.good()) << r.sense();
        return r.data;
    }
    Result addSpare(uint64_t wwn, uint8_t rank = 0xFF) {
        wire::HOT_SPARE_DRIVE_STRUCT s{};
        s.driveWwn.set(wwn);
        s.rank = rank;
        return write1(*model, 0x93, payload(s));
    }
    Result addLun(uint16_t gb, uint16_t region, const char* name = "New") {
        wire::CREATE_HOST_LUN_STRUCT c{};
        c.capacityGb.set(gb);
        c.freeRegionNo.set(region);
        c.hostBlockSize.set(512);
        std::memset(c.name, ' ', 32);
        std::memcpy(c.name, name, std::strlen(name));
        return write1(*model, 0x91, payload(c));
    }
    Result expandLun(uint16_t index, uint16_t gb, uint16_t region) {
        wire::EXPAND_HOST_LUN_STRUCT e{};
        e.capacityGb.set(gb);
        e.freeRegionNo.set(region);
        return write1(*model, 0xA5, payload(e), static_cast<uint8_t>(index >> 8), static_cast<uint8_t>(index));
    }
    void change(const std::function<void()>& body) {
        ASSERT_TRUE(write1(*model, 0x80).good());
        body();
        Result s = write1(*model, 0x82);
        ASSERT_TRUE(s.good()) << s.sense();
    }
    void checkInvariants() { modeltest::checkInvariants(*model); }

    FakeClock clock;
    std::unique_ptr<sim::model::FirmwareModel> model;
};

TEST_F(ModelChanges, UnsavedChangeIsDiscarded) {
    // Without a start, change commands and the save are refused.
    EXPECT_EQ(addSpare(kDrive1 + 6).sense(), "05/2C/00");
    EXPECT_EQ(write1(*model, 0x82).sense(), "05/2C/00");
    EXPECT_EQ(write1(*model, 0xB3).sense(), "05/2C/00");
    EXPECT_EQ(headerCount(0x96), 1);
    struct Case { const char* name; std::function<void(ModelChanges&)> between; const char* saveSense; uint16_t spares; };
    const Case cases[] = {
        // The other path's start replaced this path's change: the save commits nothing.
        {"another start", [](ModelChanges& t) { ASSERT_TRUE(write1(*t.model, 0x80, {}, 0, 0, 0, 1).good()); }, "05/2C/00", 1},
        {"time-out", [](ModelChanges& t) { t.clock.ms += 300'001; }, "05/2C/00", 1},
        {"no time-out yet", [](ModelChanges& t) { t.clock.ms += 299'000; }, "GOOD", 2},
    };
    for (const auto& c : cases) {
        SetUp();
        ASSERT_TRUE(write1(*model, 0x80).good());
        ASSERT_TRUE(addSpare(kDrive1 + 6).good());
        EXPECT_EQ(headerCount(0x96), 1) << c.name;   // reads serve the committed image
        c.between(*this);
        EXPECT_EQ(write1(*model, 0x82).sense(), c.saveSense) << c.name;
        EXPECT_EQ(headerCount(0x96), c.spares) << c.name;
        EXPECT_EQ(read2(*model, 0x41, 9080).data[8 + 72 * 6 + 9], c.spares == 2 ? 0xF5 : 0xFF) << c.name;
    }
}

TEST_F(ModelChanges, NewLogicalDriveNumbersAndWlun) {
    change([&] { ASSERT_TRUE(addLun(10, 0, "Third").good()); });
    Result cfg = read2(*model, 0x01, 940032);
    const size_t ld = 0x3E00 + 576 * 2;   // LUN number, WLUN reference, read-ahead, block size
    EXPECT_EQ(mismatches(cfg.data, {{ld, 2, 2}, {ld + 0x22A, 3, 2}, {ld + 0x208, 0x0F}, {ld + 0x22C, 512, 2}}), "");
    // Deleting LD 0 frees number 0 and WLUN 1 for the next one, and unmaps it.
    change([&] {
        ASSERT_TRUE(write1(*model, 0xB1, {}, 0, 0).good());
        ASSERT_TRUE(addLun(10, 0, "Fourth").good());
    });
    cfg = read2(*model, 0x01, 940032);   // the host's LUN 0 is unmapped
    EXPECT_EQ(mismatches(cfg.data, {{ld, 0, 2}, {ld + 0x22A, 1, 2}, {0x4BE00 + 0x32, 0xFFFF, 2}}), "");
    checkInvariants();
}

TEST_F(ModelChanges, RefusedRequestsLeaveTheChangeUntouched) {
    struct Case { const char* name; std::function<Result(ModelChanges&)> cmd; const char* sense; };
    const Case cases[] = {
        {"capacity above the region", [](ModelChanges& t) { return t.addLun(900, 0); }, "05/26/00"},
        {"zero capacity", [](ModelChanges& t) { return t.addLun(0, 0); }, "05/26/00"},
        {"no such free region", [](ModelChanges& t) { return t.addLun(1, 1); }, "05/26/00"},
        {"spare already a member", [](ModelChanges& t) { return t.addSpare(kDrive1); }, "05/26/00"},
        {"spare of a missing rank", [](ModelChanges& t) { return t.addSpare(kDrive1 + 7, 3); }, "05/26/00"},
        {"unknown drive", [](ModelChanges& t) { return t.addSpare(0x1234); }, "05/26/00"},
        {"delete missing LD", [](ModelChanges& t) { return write1(*t.model, 0xB1, {}, 0, 2); }, "05/24/00"},
        {"delete missing map", [](ModelChanges& t) { return write1(*t.model, 0xB2, {}, 0, 1); }, "05/24/00"},
        {"rank name of missing rank", [](ModelChanges& t) { return write1(*t.model, 0xA7, std::vector<uint8_t>(32, 'x'), 1); }, "05/24/00"},
        {"port mask 0", [](ModelChanges& t) { return write1(*t.model, 0x9D, {}, 0, 0, 0); }, "05/24/00"},
        {"header field selector", [](ModelChanges& t) { return write1(*t.model, 0x85, {}, 0xF1, 0, 0xE0); }, "05/24/00"},
        {"switch value", [](ModelChanges& t) { return write1(*t.model, 0xB9, {}, 2); }, "05/24/00"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(write1(*model, 0x80).good());
        EXPECT_EQ(c.cmd(*this).sense(), c.sense) << c.name;
        ASSERT_TRUE(write1(*model, 0x82).good());
    }
    EXPECT_EQ(headerCount(0x92), 2);
    EXPECT_EQ(headerCount(0x96), 1);
    checkInvariants();
}

TEST_F(ModelChanges, NewRankInitialisesWithTime) {
    wire::RANK_CONFIG_STRUCT r{};
    r.raidLevel = 0x05;
    r.numDrives = 4;
    // A zero WWN in slot 2 is skipped: the members are slots 0, 1, 3, 4.
    r.driveWwn[0].set(kDrive1 + 5);   // the spare
    r.driveWwn[1].set(kDrive1 + 7);
    r.driveWwn[3].set(kDrive1 + 8);
    r.driveWwn[4].set(kDrive1 + 9);
    r.chunkBlocks.set(128);
    r.initialised = 0xF1;
    r.createMarker = 0xF0;
    r.readAheadCode.set(15);
    std::memset(r.name, ' ', 32);
    std::memcpy(r.name, "Array 1", 7);
    change([&] {
        EXPECT_EQ(write1(*model, 0x90, payload(r)).sense(), "05/26/00");   // slot 6 is the spare
    });
    r.driveWwn[0].set(kDrive1 + 10);
    change([&] { ASSERT_TRUE(write1(*model, 0x90, payload(r)).good()); });
    Result rank = read1(*model, 0x04, 240, 0, 1);
    ASSERT_TRUE(rank.good()) << rank.sense();
    // Rank ID, drives, parity groups, not initialised yet, 3 x 585937500 / 1953792 GB.
    EXPECT_EQ(mismatches(rank.data, {{0, 1}, {2, 4}, {0xB0, 1}, {0xB1, 1}, {0xB8, 0xF0}, {6, 899, 2},
                                     {0x20 + 8 * 3, kDrive1 + 9, 8}}),
              "");
    clock.ms += 60'000;
    EXPECT_EQ(mismatches(read1(*model, 0x57, 256).data, {{4, 0xF1}, {5, 50}}), "");
    EXPECT_EQ(mismatches(read2(*model, 0x40, 1792).data, {{460, 0xF1}, {461, 1}, {462, 50}}), "");
    clock.ms += 60'000;
    EXPECT_EQ(read1(*model, 0x57, 256).data[4], 0xF0);
    EXPECT_EQ(mismatches(read1(*model, 0x04, 240, 0, 1).data, {{0xB8, 0xF1}, {0xB1, 0xFF}}), "");
    checkInvariants();
}

TEST_F(ModelChanges, ExpansionGrowsTheRankWhenDone) {
    wire::EXPAND_ARRAY_STRUCT e{};
    e.rankIndex = 0;
    e.numDrives = 1;
    e.flag = 0xF0;
    e.driveWwn[0].set(kDrive1 + 11);
    change([&] { ASSERT_TRUE(write1(*model, 0xAB, payload(e)).good()); });
    Result u = read1(*model, 0x5E, 144, 1);
    EXPECT_EQ(u.data[5], 0xF1);
    EXPECT_EQ(mismatches(read1(*model, 0x04, 240).data, {{0xB1, 3}, {2, 6}, {6, 1199, 2}}), "");   // expanding
    clock.ms += 300'000;
    EXPECT_EQ(mismatches(read1(*model, 0x04, 240).data, {{0xB1, 0xFF}, {6, 1499, 2}}), "");   // 5 data drives
    auto map = regionMap();
    EXPECT_EQ(le32(map, 12), 1199u);
    checkInvariants();
}

TEST_F(ModelChanges, FailedMemberIsReplacedByTheSpare) {
    ASSERT_TRUE(write1(*model, 0xC8, {}, 1, 0, 2).good());
    EXPECT_EQ(mismatches(read2(*model, 0x40, 1792).data, {{448, 0xF1}, {449, 0}, {450, 2}, {452, kDrive1 + 5, 8}}), "");
    // Drive 2 failed and no longer a member; the spare is.
    EXPECT_EQ(mismatches(read2(*model, 0x41, 9080).data, {{8 + 72 * 2 + 11, 17}, {8 + 72 * 2 + 9, 0xFF}, {8 + 72 * 5 + 9, 0}}),
              "");
    EXPECT_EQ(headerCount(0x96), 0);
    clock.ms += 180'000;
    EXPECT_NE(read2(*model, 0x40, 1792).data[448], 0xF1);
    EXPECT_EQ(read1(*model, 0x04, 240).data[0xB1], 0xFF);
}

TEST_F(ModelChanges, AsynchronousHandshake) {
    auto sys = defaultSystem();
    sys["features"] = {"async"};
    make(sys);
    Result u = read1(*model, 0x5E, 144, 1, 0, 0, 1);
    ASSERT_TRUE(u.good());
    EXPECT_EQ(u.data[8], 2);
    ASSERT_TRUE(write1(*model, 0x80, {}, 0, 0, 0, 1).good());
    u = read1(*model, 0x5E, 144, 1, 0, 0, 1);
    EXPECT_EQ(le16(u.data, 0x74), 1);
    EXPECT_EQ(le16(u.data, 0x3C), 0);
    ASSERT_TRUE(addSpare(kDrive1 + 6).good());
    EXPECT_EQ(write1(*model, 0x82, {}, 0, 2, 0, 1).sense(), "05/24/00");   // wrong counter
    EXPECT_EQ(write1(*model, 0x82, {}, 0, 1, 0, 0).sense(), "05/24/00");   // counted by the other controller
    EXPECT_EQ(write1(*model, 0x82, {}, 0, 1, 0, 1).sense(), "GOOD");
    EXPECT_EQ(headerCount(0x96), 2);
}

TEST_F(ModelChanges, InjectedRefusals) {
    // Without the asynchronous handshake the start (or the save) command is refused.
    model->control("refuse-config", {{"count", 2}, {"reason", "start"}});
    EXPECT_EQ(write1(*model, 0x80).sense(), "05/2C/00");
    EXPECT_EQ(write1(*model, 0x80).sense(), "05/2C/00");
    EXPECT_EQ(write1(*model, 0x80).sense(), "GOOD");

    // With it, the activity record reports the refusal (the start, unavailable
    // and expansion flags as the tool reads them are asserted end to end).
    auto sys = defaultSystem();
    sys["features"] = {"async"};
    make(sys);
    model->control("refuse-config", {{"count", 1}, {"reason", "save"}});
    ASSERT_TRUE(write1(*model, 0x80).good());
    EXPECT_EQ(read1(*model, 0x5E, 144, 1).data[3], 0xF0);   // nothing changed yet
    ASSERT_TRUE(addSpare(kDrive1 + 6).good());
    EXPECT_EQ(read1(*model, 0x5E, 144, 1).data[3], 0xF1);
    EXPECT_EQ(write1(*model, 0x82, {}, 0, 1).sense(), "05/2C/00");   // the change was dropped
}

TEST_F(ModelChanges, RestoreWritesTheWholeImageBack) {
    Result saved = read2(*model, 0x01, 940032);
    change([&] { ASSERT_TRUE(write1(*model, 0xB1, {}, 0, 1).good()); });
    EXPECT_EQ(headerCount(0x92), 1);
    auto send = [&](std::vector<uint8_t> image) {
        Result last;
        for (uint32_t off = 0; off < image.size(); off += 32768) {
            uint32_t n = std::min<uint32_t>(32768, static_cast<uint32_t>(image.size()) - off);
            std::vector<uint8_t> chunk(image.begin() + off, image.begin() + off + n);
            last = run(*model, cdb10(0x3B, 2, 0x83, static_cast<uint8_t>(off >> 16), static_cast<uint8_t>(off >> 8),
                                     static_cast<uint8_t>(off), n), chunk);
            if (!last.good()) break;
        }
        return last;
    };
    auto bad = saved.data;
    bad[0x200 + 0x20] ^= 0x40;   // a member that is not a drive of this system
    EXPECT_EQ(send(bad).sense(), "05/26/00");
    EXPECT_EQ(headerCount(0x92), 1);
    EXPECT_EQ(send(saved.data).sense(), "GOOD");
    EXPECT_EQ(headerCount(0x92), 2);
    EXPECT_EQ(read2(*model, 0x01, 940032).data, saved.data);
    // A chunk out of order is refused.
    EXPECT_EQ(run(*model, cdb10(0x3B, 2, 0x83, 0, 0x80, 0, 16), std::vector<uint8_t>(16)).sense(), "05/24/00");
}

TEST_F(ModelChanges, PausedInitialisationKeepsItsProgress) {
    auto sys = defaultSystem();
    sys["arrays"][0]["state"] = "initialising";
    sys["arrays"][0]["initPercent"] = 20;
    make(sys);
    clock.ms += 12'000;   // 120 s for a whole initialisation: 10 % more
    EXPECT_EQ(read1(*model, 0x57, 256).data[1], 30);
    ASSERT_TRUE(write1(*model, 0x80).good());
    ASSERT_TRUE(write1(*model, 0xBF, {}, 0).good());
    clock.ms += 12'000;   // not saved yet: still running
    EXPECT_EQ(read1(*model, 0x57, 256).data[1], 40);
    ASSERT_TRUE(write1(*model, 0x82).good());
    clock.ms += 600'000;
    EXPECT_EQ(read1(*model, 0x57, 256).data[0], 0xF1);
    EXPECT_EQ(read1(*model, 0x57, 256).data[1], 40);
    auto saved = model->saveState();
    FakeClock other;
    sim::model::FirmwareModel back(saved, other);
    EXPECT_EQ(read1(back, 0x57, 256).data[1], 40);
    change([&] { ASSERT_TRUE(write1(*model, 0xC0, {}, 0).good()); });
    clock.ms += 120'000;
    EXPECT_EQ(read1(*model, 0x57, 256).data[0], 0xF0);
    EXPECT_EQ(read1(*model, 0x04, 240).data[0xB8], 0xF1);
    change([&] { EXPECT_EQ(write1(*model, 0xBF, {}, 0).sense(), "05/2C/00"); });   // nothing to pause
}

// The configuration, the running jobs and the maintenance life are part of the
// saved state: a restarted model reports what the running one does, and a
// controller that was down comes back on time.
TEST_F(ModelChanges, MaintenanceLifeSurvivesARestart) {
    make(defaultSystem());
    ASSERT_TRUE(write1(*model, 0xC3, {}, 2).good());              // reset controller B
    ASSERT_TRUE(write1(*model, 0xC2, {}, 1, 0, 60).good());       // light drive 0 for 60 s
    ASSERT_TRUE(write1(*model, 0xCB, {}, 1, 0xFF, 0xFF).good());  // statistics of A, all LUNs
    change([&] {
        ASSERT_TRUE(write1(*model, 0xAD, {0x03, 0, 1, 0, 0, 2, 30, 0, 0, 0, 0, 0, 0, 0, 0, 0}).good());
        ASSERT_TRUE(addLun(25, 0, "Kept").good());
    });
    ASSERT_TRUE(write1(*model, 0xCE, {}, 0xF1, 0, 2).good());     // parity check of array 0
    ASSERT_EQ(model->control("clock-drift", {{"controller", 0}, {"ppm", 400'000}}).count("error"), 0u);
    clock.ms += 7'500;
    FakeClock other;
    other.wall = clock.wallSeconds();
    sim::model::FirmwareModel back(model->saveState(), other);
    EXPECT_EQ(std::memcmp(&back.committed(), &model->committed(), sizeof(wire::CONFIG_STORAGE_STRUCT)), 0);
    EXPECT_EQ(mismatches(read2(back, 0x40, 1792).data, {{468, 0xF1}, {471, 2}}), "");
    for (uint64_t step : {0, 15'000}) {
        clock.ms += step;
        other.ms += step;
        EXPECT_EQ(back.control("maintenance", {}), model->control("maintenance", {})) << step;
        EXPECT_EQ(read2(back, 0x40, 1792).data[470], read2(*model, 0x40, 1792).data[470]) << step;   // its percent
    }
    EXPECT_EQ(back.control("maintenance", {})["controllers"][1]["up"], true);
    EXPECT_EQ(back.control("check-config", {}), (nlohmann::json{{"consistent", true}, {"changeOpen", false}}));
}

// Ranks as the tool asks for them (level code, drive count, parity groups it
// sends) on the six free drives of slots 7-12: accepted or not, and the parity
// groups and capacity the rank then reports.
TEST_F(ModelChanges, RankLevelsAndDriveCounts) {
    struct Case { uint8_t level; unsigned drives; uint8_t groupsSent; bool ok; uint8_t groups; uint16_t gb; };
    const uint16_t per = 299;   // 585937500 / 1953792 per data drive (rounded down over the total)
    const Case cases[] = {
        {0x00, 1, 0, true, 0, per},
        {0x00, 6, 0, true, 0, 1799},
        {0x10, 2, 0, true, 1, per},
        {0x10, 4, 0, true, 2, 599},
        {0x10, 3, 0, false, 0, 0},
        {0x05, 3, 0, true, 1, 599},
        {0x05, 2, 0, false, 0, 0},
        {0x06, 4, 0, true, 2, 599},
        {0x06, 3, 0, false, 0, 0},
        {0x50, 6, 2, true, 2, 1199},
        {0x50, 4, 1, true, 1, 899},   // the tool sends one group below six drives
        {0x50, 3, 1, true, 1, 599},
        {0x50, 5, 2, false, 0, 0},    // groups must divide the drives
        {0x50, 4, 2, false, 0, 0},    // at least three drives a group
        {0x03, 3, 0, false, 0, 0},
    };
    for (const auto& c : cases) {
        SetUp();
        wire::RANK_CONFIG_STRUCT r{};
        r.raidLevel = c.level;
        r.numDrives = static_cast<uint8_t>(c.drives);
        for (unsigned i = 0; i < c.drives; ++i) r.driveWwn[i].set(kDrive1 + 6 + i);
        r.chunkBlocks.set(128);
        r.parityGroups = c.groupsSent;
        r.initialised = 0xF0;
        r.readAheadCode.set(15);
        ASSERT_TRUE(write1(*model, 0x80).good());
        Result add = write1(*model, 0x90, payload(r));
        ASSERT_TRUE(write1(*model, 0x82).good());
        EXPECT_EQ(add.good(), c.ok) << std::hex << unsigned{c.level} << " x" << std::dec << c.drives << " " << add.sense();
        if (!c.ok || !add.good()) continue;
        Result rank = read1(*model, 0x04, 240, 0, 1);
        EXPECT_EQ(rank.data[0xB0], c.groups) << unsigned{c.level} << " x" << c.drives;
        EXPECT_EQ(le16(rank.data, 6), c.gb) << unsigned{c.level} << " x" << c.drives;
        checkInvariants();
    }
}

// Two ranks: regions are numbered rank by rank; deleting the first rank moves
// the second one's logical drives, spares and drives down to index 0.
TEST_F(ModelChanges, DeletingTheFirstOfTwoRanks) {
    auto sys = defaultSystem();
    sys["arrays"].push_back({{"drives", {{{"enclosure", 1}, {"slot", 7}}, {{"enclosure", 1}, {"slot", 8}},
                                         {{"enclosure", 1}, {"slot", 9}}}}, {"level", 5}, {"name", "Second"}});
    sys["logicalDrives"].push_back({{"array", 1}, {"capacityGb", 50}, {"name", "On second"}});
    sys["spares"].push_back({{"drive", {{"enclosure", 1}, {"slot", 10}}}, {"array", 1}});
    make(sys);
    auto map = regionMap();
    ASSERT_EQ(le32(map, 4), 5u);   // LD 0, LD 1, free | LD 2, free
    // LD 2 starts at the second rank's block 0.
    EXPECT_EQ(mismatches(map, {{0x18 + 32 * 3 + 0x1A, 1, 2}, {0x18 + 32 * 3 + 0x1C, 2, 2}, {0x18 + 32 * 3, 0, 2}}), "");
    checkInvariants();
    // Free region 1 is the second rank's tail: a logical drive taken from it lands there.
    change([&] { ASSERT_TRUE(addLun(10, 1, "Tail").good()); });
    EXPECT_EQ(mismatches(regionMap(), {{0x18 + 32 * 4 + 0x1A, 1, 2}, {0x18 + 32 * 4 + 0x1C, 3, 2}}), "");
    change([&] { ASSERT_TRUE(write1(*model, 0xB0, {}, 0).good()); });
    EXPECT_EQ(headerCount(0x90), 1);
    EXPECT_EQ(headerCount(0x92), 2);
    EXPECT_EQ(headerCount(0x96), 2);
    Result rank = read1(*model, 0x04, 240);
    EXPECT_EQ(rank.data[0], 1);   // the second rank keeps its ID
    EXPECT_EQ(text(rank.data, 0xBB, 6), "Second");
    map = regionMap();
    ASSERT_EQ(le32(map, 4), 3u);
    for (unsigned r = 0; r < 3; ++r) EXPECT_EQ(le16(map, 0x18 + 32 * r + 0x1A), 0);
    // The global spare, then the second rank's spare; the mapping of the
    // deleted drives is gone and the host's map stays.
    EXPECT_EQ(mismatches(read2(*model, 0x01, 940032).data, {{0xD3E00 + 8, 0xFF}, {0xD3E00 + 16 + 8, 0}, {0x94, 1, 2},
                                                            {0x4BE00 + 0x32, 0xFFFF, 2}, {0x4BE00 + 0x34, 0xFFFF, 2}}),
              "");
    EXPECT_EQ(mismatches(read2(*model, 0x41, 9080).data, {{8 + 72 * 0 + 9, 0xFF}, {8 + 72 * 6 + 9, 0}, {8 + 72 * 9 + 9, 0xF5}}),
              "");
    checkInvariants();
    // Deleting the last rank takes its drives, logical drives, dedicated spare
    // and regions; the host's map and the global spare stay.
    change([&] { ASSERT_TRUE(write1(*model, 0xB0, {}, 0).good()); });
    EXPECT_EQ(mismatches(read1(*model, 0x03, 512).data, {{0x90, 0, 2}, {0x92, 0, 2}, {0x94, 1, 2}, {0x96, 1, 2}}), "");
    EXPECT_EQ(le32(regionMap(), 4), 0u);
    EXPECT_EQ(mismatches(read2(*model, 0x41, 9080).data, {{8 + 72 * 6 + 9, 0xFF}, {8 + 72 * 8 + 9, 0xFF}}), "");
    checkInvariants();
}

// A writer renames the first array on path 0 while a client on another path
// starts changes it never saves (as an information read does), at random
// points of the writer's bracket. Every save the model accepts must carry the
// writer's name; a refused save is made again, as the tool retries.
TEST_F(ModelChanges, ARenameIsNeverLostToAStartOnAnotherPath) {
    for (bool async : {false, true}) {
        auto sys = defaultSystem();
        if (async) sys["features"].push_back("async");
        make(sys);
        std::mt19937 rng(async ? 11 : 7);
        unsigned refused = 0;
        auto probe = [&] {
            if (rng() % 3 == 0) {
                ASSERT_TRUE(write1(*model, 0x80, {}, 0, 0, 0, 1).good());
            }
        };
        for (int i = 0; i < 100; ++i) {
            char name[32];
            std::memset(name, ' ', sizeof name);
            std::memcpy(name, "Renamed ", 8);
            std::memcpy(name + 8, std::to_string(i).data(), std::to_string(i).size());
            bool saved = false;
            for (int attempt = 0; attempt < 20 && !saved; ++attempt) {
                probe();
                ASSERT_TRUE(write1(*model, 0x80).good());
                Result activity = read1(*model, 0x5E, 144, 1);
                const uint16_t counter = le16(activity.data, 0x3C);  // controller 1 serves path 0
                probe();
                Result renamed = write1(*model, 0xA7, std::vector<uint8_t>(name, name + 32));
                probe();
                Result save = write1(*model, 0x82, {}, async ? counter >> 8 : 0, async ? counter & 0xFF : 0);
                saved = save.good();
                if (!saved) {
                    ++refused;
                    EXPECT_EQ(save.sense(), async ? "05/24/00" : "05/2C/00");
                } else {
                    ASSERT_TRUE(renamed.good());
                    EXPECT_EQ(std::string(model->committed().rank[0].name, 32), std::string(name, 32)) << i;
                }
            }
            ASSERT_TRUE(saved) << i;
        }
        EXPECT_GT(refused, 10u) << "the probes never met the writer";
    }
}

}  // namespace
