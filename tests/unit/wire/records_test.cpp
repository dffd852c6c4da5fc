// Controller records against byte fixtures written by hand from the field
// tables: set fields through the record and compare with the expected bytes,
// then decode the bytes through the record.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "wire/config.h"
#include "wire/controller.h"
#include "wire/drive.h"
#include "wire/requests.h"
#include "wire/snapshot.h"
#include "wire/vendor.h"

namespace {

template <typename T>
std::vector<uint8_t> bytes(const T& t) {
    const auto* p = reinterpret_cast<const uint8_t*>(&t);
    return {p, p + sizeof(T)};
}

template <typename T>
T from(const std::vector<uint8_t>& b) {
    T t{};
    std::memcpy(&t, b.data(), std::min(b.size(), sizeof(T)));
    return t;
}

TEST(WireRecords, ValidationHeaderIsSixteenFixedBytes) {
    const std::vector<uint8_t> expected = {0x54, 0x4F, 0x4C, 0x56, 0x4F, 0x2D, 0x56, 0x43,
                                           0x4D, 0x44, 0x5A, 0xA5, 0x07, 0x00, 0x01, 0x00};
    EXPECT_EQ(std::vector<uint8_t>(wire::TOLVO_VALIDATION_HEADER.begin(), wire::TOLVO_VALIDATION_HEADER.end()), expected);
}

TEST(WireRecords, ClockStruct) {
    // 2026-03-01 (a Sunday) 13:05:09.
    const std::vector<uint8_t> fixture = {0xEA, 0x07, 0x03, 0x01, 0x01, 0x0D, 0x05, 0x09};
    wire::CLOCK_STRUCT c{};
    c.year.set(2026);
    c.month = 3;
    c.day = 1;
    c.dayOfWeek = 1;
    c.hour = 13;
    c.minute = 5;
    c.second = 9;
    EXPECT_EQ(bytes(c), fixture);
    auto back = from<wire::CLOCK_STRUCT>(fixture);
    EXPECT_EQ(back.year.get(), 2026);
    EXPECT_EQ(back.second, 9);
}

TEST(WireRecords, ConfigurationHeaderFields) {
    std::vector<uint8_t> fixture(512, 0);
    fixture[0] = 0x00; fixture[1] = 0x58; fixture[2] = 0x0E; fixture[3] = 0x00;          // 940032
    const uint8_t wwn[8] = {0x20, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
    std::memcpy(&fixture[0x18], wwn, 8);
    std::memcpy(&fixture[0x30], "Lab", 3);
    std::memset(&fixture[0x33], ' ', 61);
    fixture[0x90] = 3;                           // arrays
    fixture[0x92] = 0x05; fixture[0x93] = 0x01;  // 261 logical drives
    fixture[0x94] = 2;
    fixture[0x96] = 1;
    fixture[0xA2] = 0xF1;
    fixture[0xA3] = 0x81;                        // hard address 1 on port 0
    fixture[0xA8] = 50;
    fixture[0xAA] = 1;
    fixture[0xAB] = 0xF0;
    fixture[0xCC] = 0xFF; fixture[0xCD] = 0xFF;
    fixture[0xD0] = 0xF0;
    fixture[0xD1] = 0xF1;
    fixture[0xD6] = 0x02;
    fixture[0xDE] = 30;
    fixture[0xF6] = 0x80;                        // 128 blocks
    fixture[0xF8] = 0x00; fixture[0xF9] = 0x02;  // 512 blocks

    wire::CONFIG_STORAGE_HEADER_STRUCT h{};
    h.length.set(940032);
    h.configWwn.set(0x2000001122334455ULL);
    std::memcpy(h.name, "Lab", 3);
    std::memset(h.name + 3, ' ', 61);
    h.totalArrays.set(3);
    h.totalLogicalDrives.set(261);
    h.totalLunMappingEntries.set(2);
    h.totalSpares.set(1);
    h.autoRebuild = 0xF1;
    h.hardAddress[0] = 0x81;
    h.rebuildPriority = 50;
    h.headerValid = 1;
    h.singleControllerMode = 0xF0;
    h.controllerLun.set(0xFFFF);
    h.backgroundVerify = 0xF0;
    h.autoHotSpare = 0xF1;
    h.hostDataRate[0] = 2;
    h.initPriority = 30;
    h.minChunkBlocks.set(128);
    h.maxChunkBlocks.set(512);
    EXPECT_EQ(bytes(h), fixture);
    EXPECT_TRUE(wire::isValidConfigHeader(h));

    auto back = from<wire::CONFIG_STORAGE_HEADER_STRUCT>(fixture);
    EXPECT_EQ(back.configWwn.get(), 0x2000001122334455ULL);
    EXPECT_EQ(back.totalLogicalDrives.get(), 261);
}

TEST(WireRecords, ConfigurationHeaderValidityRule) {
    struct Case { size_t offset; uint8_t value; bool valid; };
    const Case cases[] = {
        {0, 0x00, true},      // length low byte alone may be zero
        {0xAA, 0x00, false},  // valid byte zero
        {0xAB, 0xF2, false}, {0xD0, 0x00, false}, {0xD1, 0xFF, false},
        {0xAB, 0xF1, true},  {0xD0, 0xF1, true},  {0xD1, 0xF0, true},
    };
    for (const auto& c : cases) {
        wire::CONFIG_STORAGE_HEADER_STRUCT h{};
        h.length.set(0x100);
        h.headerValid = 1;
        h.singleControllerMode = h.backgroundVerify = h.autoHotSpare = 0xF0;
        reinterpret_cast<uint8_t*>(&h)[c.offset] = c.value;
        EXPECT_EQ(wire::isValidConfigHeader(h), c.valid) << std::hex << c.offset;
    }
    wire::CONFIG_STORAGE_HEADER_STRUCT zero{};
    zero.headerValid = 1;
    zero.singleControllerMode = zero.backgroundVerify = zero.autoHotSpare = 0xF0;
    EXPECT_FALSE(wire::isValidConfigHeader(zero));   // length word zero
}

TEST(WireRecords, RankRecord) {
    std::vector<uint8_t> fixture(240, 0);
    fixture[0x00] = 2;             // rank ID
    fixture[0x01] = 0x05;          // RAID 5
    fixture[0x02] = 3;
    fixture[0x04] = 0x80;          // 128 blocks
    fixture[0x06] = 0xB0; fixture[0x07] = 0x04;   // 1200 GB
    const uint8_t w0[8] = {0x50, 0x00, 0xC5, 0x00, 0x00, 0xA0, 0x00, 0x01};
    std::memcpy(&fixture[0x20], w0, 8);
    fixture[0x28 + 7] = 0x02;      // second member 00..02
    fixture[0xB0] = 1;
    fixture[0xB1] = 0xFF;
    fixture[0xB2] = 0x1B;
    fixture[0xB3] = 0xF0;
    fixture[0xB4] = 15;
    fixture[0xB6] = 10;
    fixture[0xB8] = 0xF1;
    fixture[0xBA] = 150;
    std::memcpy(&fixture[0xBB], "Array 0", 7);
    std::memset(&fixture[0xBB + 7], ' ', 25);
    fixture[0xDC] = 0x02;
    fixture[0xDE] = 3;
    fixture[0xDF] = 4;
    fixture[0xE0] = 5;
    fixture[0xE1] = 6;

    wire::RANK_CONFIG_STRUCT r{};
    r.rankId = 2;
    r.raidLevel = wire::kRaidLevel5;
    r.numDrives = 3;
    r.chunkBlocks.set(128);
    r.capacityGb.set(1200);
    r.driveWwn[0].set(0x5000C50000A00001ULL);
    r.driveWwn[1].set(0x0000000000000002ULL);
    r.parityGroups = 1;
    r.faultStatus = wire::kRankFaultTolerant;
    r.cacheFlags = wire::kCacheWriteBack | wire::kCacheMirror | wire::kCacheBatteryRequired | wire::kCacheFaultToleranceRequired;
    r.createMarker = 0xF0;
    r.readAheadCode.set(15);
    r.writeBackCode.set(10);
    r.initialised = 0xF1;
    r.backOff = 150;
    std::memcpy(r.name, "Array 0", 7);
    std::memset(r.name + 7, ' ', 25);
    r.apmFlags.set(2);
    r.apmTestDays = 3;
    r.apmTestHours = 4;
    r.apmIdleHours = 5;
    r.apmIdleMinutes = 6;
    EXPECT_EQ(bytes(r), fixture);
}

TEST(WireRecords, HostLunRecordAndIdentifier) {
    std::vector<uint8_t> fixture(576, 0);
    fixture[0x000] = 0x07;                        // LUN number 7
    fixture[0x003] = 2;                           // segments
    fixture[0x004] = 0x2C; fixture[0x005] = 0x01; // 300 GB
    fixture[0x006] = 0x07;
    fixture[0x208] = 0x0F;
    std::memcpy(&fixture[0x209], "LD 7", 4);
    std::memset(&fixture[0x20D], ' ', 28);
    fixture[0x22A] = 0x23; fixture[0x22B] = 0x01; // WLUN 0x0123
    fixture[0x22C] = 0x00; fixture[0x22D] = 0x02; // 512
    wire::HOST_CONFIG_STRUCT l{};
    l.lunNumber.set(7);
    l.segmentCount = 2;
    l.capacityGb.set(300);
    l.mappedLun.set(7);
    l.portMask = 0x0F;
    std::memcpy(l.name, "LD 7", 4);
    std::memset(l.name + 4, ' ', 28);
    l.wlunReferenceNo.set(0x0123);
    l.hostBlockSize.set(512);
    EXPECT_EQ(bytes(l), fixture);

    wire::wwn8 cfg{};
    cfg.set(0x20000011AABBCCDDULL);
    const uint8_t tail[8] = {0x20, 0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    std::memcpy(cfg.b, tail, 8);
    EXPECT_EQ(wire::logicalDriveIdentifier(0x0123, cfg), 0x2123AABBCCDDEEFFULL);
    EXPECT_EQ(wire::logicalDriveIdentifier(0x0F00, cfg), 0x2F00AABBCCDDEEFFULL);
}

TEST(WireRecords, LunMapRecord) {
    std::vector<uint8_t> fixture(1088, 0);
    const uint8_t node[8] = {0x20, 0x00, 0x00, 0x1B, 0x32, 0xA0, 0xB0, 0xC0};
    const uint8_t port[8] = {0x21, 0x00, 0x00, 0x1B, 0x32, 0xA0, 0xB0, 0xC0};
    std::memcpy(&fixture[0], node, 8);
    std::memcpy(&fixture[8], port, 8);
    fixture[0x11] = 1;
    std::memset(&fixture[0x12], ' ', 32);
    std::memcpy(&fixture[0x12], "Host 000", 8);
    for (size_t i = 0; i < 512; ++i) fixture[0x32 + 2 * i] = fixture[0x33 + 2 * i] = 0xFF;
    fixture[0x32 + 10] = 0x05; fixture[0x33 + 10] = 0xC0;   // LUN 5: 0xC005
    fixture[0x432] = 0x06; fixture[0x433] = 0x00;
    wire::LUN_MAPPING_STRUCT m{};
    m.abNodeName.set(0x2000001B32A0B0C0ULL);
    m.abPortName.set(0x2100001B32A0B0C0ULL);
    m.bHostType = 1;
    std::memset(m.abHostName, ' ', 32);
    std::memcpy(m.abHostName, "Host 000", 8);
    for (auto& e : m.awLunMap) e.set(0xFFFF);
    m.awLunMap[5].set(wire::kLunReadOnly | wire::kLunPortC0P0 | 5);
    m.wControllerLun.set(6);
    EXPECT_EQ(bytes(m), fixture);
    // The add-mapping payload is the first 1076 bytes of the map.
    wire::CREATE_LUN_MAPPING_STRUCT c{};
    std::memcpy(&c, fixture.data(), sizeof c);
    EXPECT_EQ(c.awLunMap[5].get(), 0xC005);
    EXPECT_EQ(c.wControllerLun.get(), 6);
}

TEST(WireRecords, RegionRecordAndMapHeader) {
    std::vector<uint8_t> fixture(32, 0);
    fixture[0x00] = 0x00; fixture[0x01] = 0x10;             // start 0x1000
    fixture[0x04] = 0x01;                                   // start high 1
    fixture[0x08] = 0xFF; fixture[0x09] = 0x1F;             // end 0x1FFF
    fixture[0x0C] = 0x01;
    fixture[0x10] = 0x00; fixture[0x11] = 0x10;             // capacity 0x1000
    fixture[0x18] = 0x64;                                   // 100 GB
    fixture[0x1A] = 0x02;                                   // rank 2
    fixture[0x1C] = 0xFF; fixture[0x1D] = 0xFF;             // free
    fixture[0x1E] = 0x03;
    wire::ADDRESS_REGION_STRUCT r{};
    r.startLow.set(0x1000);
    r.startHigh.set(1);
    r.endLow.set(0x1FFF);
    r.endHigh.set(1);
    r.capacityLow.set(0x1000);
    r.capacityGb.set(100);
    r.rankNo.set(2);
    r.lunNo.set(wire::kRegionFree);
    r.lunSegmentNo.set(3);
    EXPECT_EQ(bytes(r), fixture);
}

TEST(WireRecords, DriveRecord) {
    std::vector<uint8_t> fixture(72, 0);
    fixture[0] = 0xFF; fixture[1] = 0x04; fixture[2] = 0x04; fixture[3] = 1; fixture[4] = 12;
    fixture[9] = 0xF5; fixture[10] = 0xFF; fixture[11] = 17;
    const uint8_t w[8] = {0x50, 0x00, 0xC5, 0x00, 0x00, 0xA0, 0x00, 0x0C};
    std::memcpy(&fixture[12], w, 8);
    fixture[20] = 0x00; fixture[21] = 0xD0; fixture[22] = 0x1D; fixture[23] = 0x00;   // 1953792 blocks
    fixture[28] = 0x00; fixture[29] = 0x02;
    std::memcpy(&fixture[36], "SEAGATE ", 8);
    std::memcpy(&fixture[44], "ST3300657SS     ", 16);
    std::memcpy(&fixture[60], "0008", 4);
    std::memcpy(&fixture[64], "3SJ00112", 8);
    auto d = from<wire::DRIVE_INFO_STRUCT>(fixture);
    EXPECT_EQ(d.loopId1, 0xFF);
    EXPECT_EQ(d.loopId2, 4);
    EXPECT_EQ(d.slotNo, 12);
    EXPECT_EQ(d.rankNo, wire::kDriveHotSpare);
    EXPECT_EQ(d.driveStatus, wire::kDriveStatusFailed);
    EXPECT_EQ(d.abNodeName.get(), 0x5000C50000A0000CULL);
    EXPECT_EQ(d.capacity.get(), 1953792u);
    EXPECT_EQ(d.blockSize.get(), 512);
    EXPECT_EQ(std::string(d.serialNumber, 8), "3SJ00112");
    EXPECT_EQ(bytes(d), fixture);
}

TEST(WireRecords, ControllerInformationProgressRecords) {
    std::vector<uint8_t> fixture(1792, 0);
    fixture[0] = 0x00; fixture[1] = 0x07;     // 1792
    fixture[4] = 2; fixture[5] = 1; fixture[6] = 0xF1; fixture[7] = 0xF2;
    fixture[8 + 182] = 0xC0 | 19;
    fixture[8 + 218] = 0x00; fixture[8 + 219] = 0x13;   // 0x1300
    fixture[448] = 0xF1; fixture[449] = 1; fixture[450] = 3; fixture[451] = 42;
    fixture[452 + 7] = 0x09;
    fixture[460] = 0xF1; fixture[461] = 2; fixture[462] = 17;
    fixture[464] = 0xF0;
    fixture[468] = 0xF1; fixture[469] = 0; fixture[470] = 99; fixture[471] = 3;
    fixture[472] = 0x10; fixture[473] = 0x27;            // 10000 errors
    wire::ALL_CONTROLLER_INFO_AND_FAIL_STRUCT c{};
    c.length.set(1792);
    c.receivedPort = 2;
    c.receivedController = 1;
    c.controllerValid[0] = 0xF1;
    c.controllerValid[1] = 0xF2;
    c.controller[0].controllerType = 0xC0 | 19;
    c.controller[0].featureFlags.set(wire::kFeatureFailDrive | wire::kFeatureAsyncConfig | wire::kFeatureApm);
    c.rebuild.inProgress = 0xF1;
    c.rebuild.array = 1;
    c.rebuild.drive = 3;
    c.rebuild.percent = 42;
    c.rebuild.driveWwn.set(9);
    c.initialisation.inProgress = 0xF1;
    c.initialisation.array = 2;
    c.initialisation.percent = 17;
    c.expansion.inProgress = 0xF0;
    c.parityCheck.inProgress = 0xF1;
    c.parityCheck.percent = 99;
    c.parityCheck.mode = wire::kParityVerifyReWrite;
    c.parityCheck.errorCount.set(10000);
    EXPECT_EQ(bytes(c), fixture);
}

TEST(WireRecords, ConfigUpdateAndRequests) {
    std::vector<uint8_t> fixture(144, 0);
    fixture[0] = 144;
    fixture[2] = 0xF1; fixture[3] = 0xF0; fixture[4] = 0xF0; fixture[5] = 0xF1;
    fixture[8] = 2;
    fixture[0x3C] = 0x34; fixture[0x3D] = 0x12;
    fixture[0x74] = 0x01; fixture[0x75] = 0x01;
    auto u = from<wire::CONFIG_UPDATE_STRUCT>(fixture);
    EXPECT_EQ(u.startInProgress, 0xF1);
    EXPECT_EQ(u.expansionInProgress, 0xF1);
    EXPECT_EQ(u.localController, 2);
    EXPECT_EQ(u.startCounter1.get(), 0x1234);
    EXPECT_EQ(u.startCounter2.get(), 0x0101);

    // Add host LUN: 100 GB from free region 3, block size 4096, name "Data".
    std::vector<uint8_t> lun(40, ' ');
    lun[0] = 100; lun[1] = 0; lun[2] = 3; lun[3] = 0; lun[4] = 0; lun[5] = 0; lun[6] = 0x00; lun[7] = 0x10;
    std::memcpy(&lun[8], "Data", 4);
    wire::CREATE_HOST_LUN_STRUCT c{};
    c.capacityGb.set(100);
    c.freeRegionNo.set(3);
    c.hostBlockSize.set(4096);
    std::memset(c.name, ' ', 32);
    std::memcpy(c.name, "Data", 4);
    EXPECT_EQ(bytes(c), lun);

    // Expand array: rank 1, two drives.
    std::vector<uint8_t> ex(136, 0);
    ex[0] = 1; ex[1] = 2; ex[2] = 0xF0;
    ex[0x10 + 7] = 0x0A;
    ex[0x18 + 7] = 0x0B;
    wire::EXPAND_ARRAY_STRUCT e{};
    e.rankIndex = 1;
    e.numDrives = 2;
    e.flag = 0xF0;
    e.driveWwn[0].set(0x0A);
    e.driveWwn[1].set(0x0B);
    EXPECT_EQ(bytes(e), ex);

    // Hot spare: global.
    std::vector<uint8_t> hs(16, 0);
    hs[7] = 0x06;
    hs[8] = 0xFF;
    wire::HOT_SPARE_DRIVE_STRUCT s{};
    s.driveWwn.set(6);
    s.rank = wire::kGlobalSpare;
    EXPECT_EQ(bytes(s), hs);

    // Regenerate drive: a, b, WWN, six zero bytes.
    std::vector<uint8_t> rg(16, 0);
    rg[0] = 1; rg[1] = 2; rg[2] = 0x50; rg[9] = 0x0C;
    wire::REGENERATE_DRIVE_STRUCT r{};
    r.a = 1;
    r.b = 2;
    r.driveWwn.set(0x500000000000000CULL);
    EXPECT_EQ(bytes(r), rg);
}

TEST(WireRecords, SnapshotRequestsAndTables) {
    // Create ODA, R2_2: 'p', 0, 0, 10, ODA 0x0102, LD 5, stripe 256.
    const std::vector<uint8_t> create = {'p', 0, 0, 10, 0x02, 0x01, 0x05, 0x00, 0x00, 0x01};
    wire::CREATE_OVERWRITE_DATA_AREA_R2_2_STRUCT c{};
    c.hdr.command = 'p';
    c.hdr.length = 10;
    c.odaNumber.set(0x0102);
    c.logicalDrive.set(5);
    c.stripeSize.set(256);
    EXPECT_EQ(bytes(c), create);
    // Delete snapshot: 't', 0, 0, 8, LD 3, flags 2, ODA 7.
    const std::vector<uint8_t> del = {'t', 0, 0, 8, 0x03, 0x00, 0x02, 0x07};
    wire::DELETE_SNAPSHOT_STRUCT d{};
    d.hdr.command = 't';
    d.hdr.length = 8;
    d.logicalDrive.set(3);
    d.flags = 2;
    d.odaNumber = 7;
    EXPECT_EQ(bytes(d), del);
    // An R2_2 snapshot descriptor with its creation time.
    std::vector<uint8_t> snap(40, 0);
    snap[0] = 4; snap[2] = 9; snap[4] = 0x06; snap[6] = 2; snap[8] = 0x10; snap[10] = 0x80;
    snap[0x18] = 0xEA; snap[0x19] = 0x07; snap[0x1A] = 12; snap[0x1B] = 24; snap[0x1C] = 5;
    snap[0x1D] = 23; snap[0x1E] = 59; snap[0x1F] = 58; snap[0x20] = 0x2A;
    auto s = from<wire::SNAPSHOT_DESCRIPTOR_R2_2_STRUCT>(snap);
    EXPECT_EQ(s.odaNumber.get(), 4);
    EXPECT_EQ(s.snapshotNumber, 9);
    EXPECT_EQ(s.flags, wire::kSnapR22VirtualLunEnabled | wire::kSnapR22VirtualLunAssigned);
    EXPECT_EQ(s.virtualLun.get(), 0x10);
    EXPECT_EQ(s.stripeBlocks.get(), 0x80);
    EXPECT_EQ(s.created.year.get(), 2026);
    EXPECT_EQ(s.created.second, 58);
    EXPECT_EQ(s.creationOrder.get(), 0x2Au);
}

}  // namespace
