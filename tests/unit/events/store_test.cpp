// The event store file and the overlap search.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "events/store.h"
#include "support/process.h"

namespace {

wire::EVENT_LOG_ENTRY ev(uint8_t controller, uint8_t second, uint8_t id, uint8_t p0 = 0) {
    wire::EVENT_LOG_ENTRY e{};
    e.time.year.set(2026);
    e.time.month = 5;
    e.time.day = 1;
    e.time.second = second;
    e.controller = controller;
    e.eventId = id;
    e.payload[0] = p0;
    return e;
}

struct OverlapCase {
    const char* name;
    std::vector<wire::EVENT_LOG_ENTRY> stored;
    std::vector<wire::EVENT_LOG_ENTRY> log;
    uint32_t status;
    uint32_t found;
};

const OverlapCase kOverlap[] = {
    {"empty log", {ev(1, 1, 5)}, {}, 1008, 0},
    {"empty store", {}, {ev(0, 1, 5)}, 1008, 0},
    {"newest three at the end", {ev(1, 1, 5), ev(1, 2, 6), ev(2, 2, 6), ev(1, 3, 7)},
     {ev(0, 1, 5), ev(0, 2, 6), ev(0, 3, 7)}, 0, 2},
    {"overlap in the middle", {ev(1, 1, 5), ev(1, 2, 6)}, {ev(0, 1, 5), ev(0, 2, 6), ev(0, 4, 9)}, 0, 1},
    {"no overlap after a clear", {ev(1, 1, 5), ev(1, 2, 6)}, {ev(0, 7, 5), ev(0, 8, 6)}, 1008, 0},
    {"other controller only", {ev(2, 1, 5)}, {ev(0, 1, 5)}, 1008, 0},
    {"payload differs", {ev(1, 1, 5, 1)}, {ev(0, 1, 5, 2)}, 1008, 0},
    {"0x2F matched without payload", {ev(1, 1, 0x2F, 1)}, {ev(0, 1, 0x2F, 2), ev(0, 2, 5)}, 0, 0},
    {"partial match restarts", {ev(1, 1, 5), ev(1, 2, 6), ev(1, 3, 7)},
     {ev(0, 1, 5), ev(0, 2, 6), ev(0, 3, 7), ev(0, 2, 6), ev(0, 9, 9)}, 0, 2},
    {"oldest stored record lost from the log", {ev(1, 1, 5), ev(1, 2, 6), ev(1, 3, 7)},
     {ev(0, 2, 6), ev(0, 3, 7), ev(0, 4, 8)}, 0, 1},
};

TEST(Store, OverlapFindsWhereTheLogMeetsTheStore) {
    for (const OverlapCase& c : kOverlap) {
        SCOPED_TRACE(c.name);
        uint32_t found = 99;
        EXPECT_EQ(events::findOverlapIn(c.stored.data(), c.stored.size(), c.log.data(),
                                        static_cast<uint32_t>(c.log.size()), 1, &found),
                  c.status);
        if (c.status == 0) {
            EXPECT_EQ(found, c.found);
        }
    }
}

TEST(Merge, EqualTimesGoToControllerOneFirst) {
    std::vector<wire::EVENT_LOG_ENTRY> a = {ev(0, 5, 1), ev(0, 9, 2)}, b = {ev(0, 5, 3), ev(0, 6, 4)};
    auto initial = events::mergeInitial(a.data(), 2, b.data(), 2);
    auto latest = events::mergeLatest(a.data(), 2, b.data(), 2, 0);
    for (const auto* merged : {&initial, &latest}) {
        ASSERT_EQ(merged->size(), 4u);
        const uint8_t ids[] = {1, 3, 4, 2}, ctl[] = {1, 2, 2, 1};
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ((*merged)[i].eventId, ids[i]);
            EXPECT_EQ((*merged)[i].controller, ctl[i]);
        }
    }
    // Controller 2's clock 4 s behind: its entry at :06 happened at :10.
    auto skewed = events::mergeLatest(a.data(), 2, b.data(), 2, 4);
    EXPECT_EQ(skewed[1].eventId, 2);
}

class StoreFile : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("PEGASUS_HOME", home.path().c_str(), 1);
        LAPIResetEventDirectory();
        ASSERT_EQ(mkdir((home.path() + "/bin").c_str(), 0755), 0);
        raidSystemToWWNMap[3] = 0x20000011AABBCCDDull;
        raidSystemToProductTypeMap[3] = 0x13;
    }
    void TearDown() override { LAPIResetEventDirectory(); }
    void write(const std::string& path, size_t bytes) {
        std::ofstream(path, std::ios::binary) << std::string(bytes, '\x01');
    }
    testsupport::TempDir home;
};

TEST_F(StoreFile, TornTailIsKeptAside) {
    const std::string path = events::storeName(3);
    write(path, 25);
    uint32_t count = 0;
    EXPECT_EQ(events::countRecords(3, &count), 0u);
    EXPECT_EQ(count, 1u);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 24);
    ASSERT_EQ(stat((path + ".torn").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 1);
}

TEST_F(StoreFile, BigStoreIsListedInBlocksAndSearchedThroughItsTailIndex) {
    // Controller 2's one record lies behind 5,000 of controller 1.
    const std::string path = events::storeName(3);
    std::vector<wire::EVENT_LOG_ENTRY> recs;
    for (int k = 0; k < 5001; ++k) recs.push_back(ev(1, static_cast<uint8_t>(k % 60), static_cast<uint8_t>(k)));
    recs[0] = ev(2, 2, 9);
    ASSERT_EQ(events::replaceStore(3, recs.data(), recs.size()), 0u);
    // A listing reads them back a block at a time.
    wire::EVENT_LOG_ENTRY out{};
    for (uint32_t n : {0u, 2047u, 2048u, 5000u}) {
        ASSERT_EQ(events::readRecord(3, n, &out), 0u);
        EXPECT_EQ(std::memcmp(&out, &recs[n], sizeof out), 0) << n;
    }
    EXPECT_EQ(events::readRecord(3, 5001, &out), events::kEndOfData);
    const wire::EVENT_LOG_ENTRY log[] = {ev(0, 2, 9), ev(0, 3, 9)};
    uint32_t found = 99;
    EXPECT_EQ(events::findOverlap(path, log, 2, 2, &found), 0u);
    EXPECT_EQ(found, 0u);
    // The index answers without walking back: with that record wiped and
    // the file's times kept, it is still found.
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    std::fstream(path, std::ios::binary | std::ios::in | std::ios::out) << std::string(24, '\0');
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_EQ(events::findOverlap(path, log, 2, 2, &found), 0u);
    // A store changed behind the index's back is walked instead.
    const wire::EVENT_LOG_ENTRY newer = ev(2, 3, 9);
    std::ofstream(path, std::ios::binary | std::ios::app).write(reinterpret_cast<const char*>(&newer), 24);
    EXPECT_EQ(events::findOverlap(path, log, 2, 2, &found), 0u);
    EXPECT_EQ(found, 1u);
}

TEST_F(StoreFile, DirectoryFromPegasusHome) {
    const std::string longHome(509, 'h');
    for (auto [value, expected] : std::vector<std::pair<std::string, std::string>>{
             {"/x/", "/x/bin"}, {"/x", "/x/bin"}, {"C:\\", "C:\\bin"}, {"", "."}, {longHome, ""}}) {
        setenv("PEGASUS_HOME", value.c_str(), 1);
        LAPIResetEventDirectory();
        EXPECT_EQ(LAPIEventDirectory(), expected) << value;
    }
}

}  // namespace
