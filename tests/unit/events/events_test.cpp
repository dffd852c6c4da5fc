// The event store file, the overlap search and the merge; event texts, sources
// and severities, each expectation written from the event table and the
// decoding rules of the controllers' event interface (the events the listing
// shows end to end are checked there).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "events/store.h"
#include "events/translate.h"
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
    testsupport::TempDir home;
};

TEST_F(StoreFile, TornTailIsKeptAside) {
    const std::string path = events::storeName(3);
    testsupport::writeFile(path, std::string(25, '\x01'));
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

struct Case {
    const char* name;
    uint8_t id;
    std::vector<uint8_t> payload;   // entry bytes 10 onwards
    uint32_t productType;
    uint32_t flag;
    const char* text;
    uint32_t source;
    uint32_t severity;
};

wire::EVENT_LOG_ENTRY entryOf(const Case& c) {
    wire::EVENT_LOG_ENTRY e = ev(2, 0, c.id);
    for (size_t i = 0; i < c.payload.size() && i < sizeof e.payload; ++i) e.payload[i] = c.payload[i];
    return e;
}

const std::vector<uint8_t> kDrive = {0x50, 0x00, 0xC5, 0x00, 0x00, 0xA0, 0x00, 0x03};

std::vector<uint8_t> drive(std::vector<uint8_t> tail) {
    std::vector<uint8_t> p = kDrive;
    p.insert(p.end(), tail.begin(), tail.end());
    return p;
}

const Case kCases[] = {
    {"id 0 dump", 0x00, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 0xFE}, 0, 1,
     "Unknown Message ID 0x0 Payload: 0x01 0x02 0x03 0x04 0x05 0x06 0x07 0x08 0x09 0x0A 0x0B 0x0C 0x0D 0xFE ", 63, 3},
    {"temperature 25", 0x04, {25}, 0, 1,
     "0x04^Temp Warning. Temperature is 25 degrees Celsius (77 degrees Fahrenheit)", 4, 2},
    {"hard id FF", 0x0B, drive({1, 4, 0xFF}), 0, 1,
     "0x0B^Drive Remove Failure. Drive WWN=5000C50000A00003 HardID Enclosure=0 SlotNum=0 in DriveNum=4 (Pool/Array 1)",
     1, 1},
    {"hard id 47, 3 enclosure bits", 0x0C, drive({1, 4, 0x47}), 0x01, 1,
     "0x0C^Drive Regen Failure. Drive WWN=5000C50000A00003 HardID Enclosure=3 SlotNum=8 in DriveNum=4 (Pool/Array 1)",
     3, 1},
    {"hard id 47, 2 enclosure bits", 0x0C, drive({1, 4, 0x47}), 0x13, 1,
     "0x0C^Drive Regen Failure. Drive WWN=5000C50000A00003 HardID Enclosure=2 SlotNum=8 in DriveNum=4 (Pool/Array 1)",
     3, 1},
    {"hard id naming", 0x30, drive({0, 1, 0x21}), 0x10000, 1,
     "0x30^Regen Started. Drive WWN=5000C50000A00003 HardID (ADISC) 33 in DriveNum=1 (Pool/Array 0)", 3, 3},
    {"check condition", 0x0A, drive({0, 1, 0x20, 0x03, 0x11, 0x0A}), 0, 1,
     "0x0A^Drive Check Condition Failure. Drive WWN=5000C50000A00003 HardID Enclosure=2 SlotNum=1 in DriveNum=1 "
     "(Pool/Array 0) SCSI Sense Key=0x03 ASC=0x11 ASCQ=0x0a",
     1, 1},
    {"change without kind", 0x2F, {0, 1, 2, 3}, 0, 1, "0x2F^Configuration Changed", 3, 3},
    {"array created", 0x2F, {1, 1, 3, 0, 5, 0, 0x50, 0, 0, 0, 0, 0, 0, 0}, 0, 1,
     "0x2F^Configuration Changed. Creation of Pool/Array 3 of raid 50  with 5 drives", 3, 3},
    {"volume deleted", 0x2F, {2, 3, 7, 0, 0, 0, 0xAB, 0, 0, 0, 0, 0, 0, 0}, 0, 1,
     "0x2F^Configuration Changed. Deletion of Volume 7 ID AB", 3, 3},
    {"lun mapped", 0x2F, {3, 1, 2, 0, 9, 0, 0x22, 0x11, 0, 0, 0, 0, 0, 0x21}, 0, 1,
     "0x2F^Configuration Changed. Creation of LUN 2 for host 2100000000001122 with volume 9", 3, 3},
    {"unknown kind and operation", 0x2F, {9, 9, 4, 0}, 0, 1, "0x2F^Configuration Changed. Configuration of Element 4", 3, 3},
    {"cache disabled, no reason", 0x6F, {1, 0}, 0, 1, "0x6F^Cache Disabled. Pool/Array Number 1 Disabled Reason : ", 4, 3},
    {"cache disabled, reasons", 0x6F, {1, 0x05}, 0, 1,
     "0x6F^Cache Disabled. Pool/Array Number 1 Disabled Reason : Partner Controller Failure Pool/Array became critical ",
     4, 3},
    {"internal error, unknown cause", 0x01, {6, 0x20}, 0, 1, "0x01^Fatal Error. Internal Error", 4, 1},
    {"internal error", 0x01, {6, 0xFF}, 0, 1, "0x01^Fatal Error. Internal ErrorContinuation of previous internal log error",
     4, 1},
    {"SAS doorbell", 0x01, {4, 0xDE, 0xAD, 0xBE, 0xEF}, 0x200, 1,
     "0x01^Fatal Error. Host SAS Error on 1068 doorbell register DEADBEEF", 4, 1},
    {"voltage out of range", 0x19, {13, 0x12, 0x34}, 0, 1, "0x19^Voltage Error", 4, 1},
    {"voltage", 0x19, {1, 0x2E, 0xE0}, 0, 1, "0x19^Voltage Error. +12V Input Voltage Error, measured 12000 mV", 4, 1},
    {"other controller", 0x08, {2}, 0, 1, "0x08^Other Controller Failed Or Removed. Controller 1", 4, 1},
    {"predictive failure", 0x27, drive({0x47, 0x02, 0x28, 0x01, 0x5D, 0x00}), 0, 1,
     "0x27^Drive Bad Status Returned. Predictive failure on drive w/  5000C50000A00003 (Slot=8 Enclosure=3) returned a "
     "bad status while completing a command. SCSI Info: Operation = 0x28, Status = 0x02 (01/5D/00).",
     1, 1},
    {"parity check retry", 0x46, {4, 2, 7, 0, 0, 0, 3, 0x11, 0x22, 0x33, 0x44}, 0, 1,
     "0x46^Parity Check Retry. A RAID parity check retry conducted on array with ID 4 has completed with error on "
     "drive 3. Drive Chunk Address = 0x44332211 , Error Count = 7",
     3, 3},
    {"battery 7104", 0x07, {0x30, 0xFA}, 9, 1,
     "0x07^Battery Failure. TolvoEvent_07_00_30_7104 | The onboard cache protection battery backup unit has failed , "
     "due to trickle charge under current.",
     4, 1},
    {"battery 7104 unknown reason", 0x07, {0x31, 0xFA}, 9, 1,
     "0x07^Battery Failure. TolvoEvent_07_00_31_7104 | The onboard cache protection battery backup unit has failed or "
     "has been disconnected.",
     4, 1},
    {"battery 8112 removed", 0x07, {0, 0x90}, 0x11, 1,
     "0x07^Battery Failure. TolvoEvent_07_90_8112 | The onboard cache protection battery backup unit has been removed.",
     4, 1},
    {"battery other product", 0x07, {0, 0x90}, 0x13, 1, "0x07^Battery Failure", 4, 1},
    {"charging 8200", 0x62, {0, 0x00, 0x5A}, 0x13, 1,
     "0x62^Battery Charging. TolvoEvent_62_00_8112_8200 | The controller battery backup unit has been charging for 90 "
     "minutes.",
     4, 3},
    {"firmware version with a NUL", 0x60, {'5', '1', 0, '3'}, 0, 1, "0x60^Controller Firmware Upgrade. Firmware Version=51",
     4, 3},
    {"drive inserted with flag", 0x61, drive({0x21, 0x01, 0x02}), 0, 1,
     "0x61^Drive Inserted. Drive WWN=5000C50000A00003 HardID Enclosure=2 SlotNum=2  Loop 0 ID=0x01 Loop 1 ID=0x02 # "
     "5000C50000A00003",
     1, 2},
    {"drive removed without flag", 0x76, drive({0xFF}), 0, 0,
     "0x76^Drive Removed. Drive WWN=5000C50000A00003 HardID Enclosure=0 SlotNum=0 ", 1, 1},
    {"snapshot overrun", 0x81, {2, 0, 3, 0, 5, 0, 0xFE}, 0, 1,
     "0x81^Snapshot ODA Capacity. Snapshot storage area has been overrun Volume 5 ODA No 2 Internal Volume 3", 3, 1},
    {"alarm tones", 0x6E, {1, 0, 0, 0, 0x42, 2, 0x20, 0, 0, 0, 0, 0, 0, 1}, 0, 1,
     "0x6E^SES Alarm Status. Element: 1 Status: Tone = Critical  Muted   Enclosure Number=2 Encosure "
     "WWN=2000000000000001",
     1, 2},
    {"reservation", 0x87, {9, 1, 2, 0x01, 0x00}, 0, 1,
     "0x87^Persistent Reservation. Reservation Key Error 9. (Controller: 1, Port 2, Volume 256)", 3, 1},
    {"self test", 0x97, {1, 4, 6}, 0, 1,
     "0x97^APM Self test completed. APM level 2. Number of drives finished test: 4, Array Number: 6Array number: 6", 3,
     3},
    {"expander qualifier out of range", 0x99, {200}, 0, 1,
     "0x99^Expander SPIMEM update. Expander SPIMEM Unknown event qualifier (byte 0)", 63, 3},
    {"report status unknown", 0x89, {5, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 0, 1,
     "0x89^CEMI firmware report. Report status unknown,Boot ROM CRC 01020304 Init String CRC  05060708 Firmware "
     "090A0B0C",
     4, 3},
    {"assert", 0xAB, {0x78, 0x56, 0x34, 0x12, 4, 3, 2, 1, 0x39, 0x30, 0}, 0, 1,
     "0xAB^RAID Firmware ASSERT. TolvoEvent_AB | RAID firmware assert: pString = 0x12345678, pFile = 0x01020304, Line "
     "Number = 12345.",
     4, 3},
    {"unnamed id", 0x86, {}, 0, 1, "0x86^Reserved ID=0x86", 63, 3},
};

TEST(Translate, TextSourceAndSeverity) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        wire::EVENT_LOG_ENTRY e = entryOf(c);
        char text[3072];
        TRANSLATED_EVENT_STRUCT r{};
        r.text = text;
        r.textLength = sizeof text;
        EXPECT_EQ(LAPITranslateEvent(&e, &r, c.flag, c.productType), 0u);
        EXPECT_EQ(std::string(text), c.text);
        EXPECT_EQ(r.textLength, std::strlen(c.text));
        EXPECT_EQ(r.source, c.source);
        EXPECT_EQ(r.severity, c.severity);
        EXPECT_EQ(r.recordKind, 2u);
        EXPECT_EQ(r.eventId, c.id);
    }
}

TEST(TranslateBuffer, SmallCapacityIsNeverOverrun) {
    Case c = kCases[1];  // temperature 25
    wire::EVENT_LOG_ENTRY e = entryOf(c);
    char text[16];
    std::memset(text, 'x', sizeof text);
    TRANSLATED_EVENT_STRUCT r{};
    r.text = text;
    r.textLength = 10;
    LAPITranslateEvent(&e, &r, 1, 0);
    EXPECT_EQ(std::string(text), "0x04^Temp");
    EXPECT_EQ(text[10], 'x');
}

TEST(TranslateBuffer, HexToInt) {
    EXPECT_EQ(LAPIHexToInt(nullptr), 0u);
    EXPECT_EQ(LAPIHexToInt("0x2Fzz"), 0x2Fu);
    EXPECT_EQ(LAPIHexToInt("aB"), 0xABu);
    EXPECT_EQ(LAPIHexToInt("0X"), 0u);
}

}  // namespace
