// The RAID configuration image and the records read beside it: region map,
// host table and initialisation table.
//
// The image (CONFIG_STORAGE_STRUCT) is the controller's whole configuration:
// header, 64 rank records, 512 host LUN records, 512 LUN maps and the hot spare
// records. Bytes no one interprets are kept as reserved arrays so that every
// record keeps its exact size and a written-back image round-trips unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/byteorder.h"

namespace wire {

// Configuration header: bytes 0 to 511 of the image; also the reply of the
// configuration header read (buffer 0x03) that discovery checks.
struct CONFIG_STORAGE_HEADER_STRUCT {
    le32 length;                      // 0x00 byte count of the image; non-zero in a valid header
    uint8_t reserved04[0x14];         // 0x04
    wwn8 configWwn;                   // 0x18 the RAID system's WWN
    uint8_t reserved20[0x10];         // 0x20
    char name[64];                    // 0x30 configuration name, blank-padded, no NUL
    uint8_t reserved70[0x20];         // 0x70
    le16 totalArrays;                 // 0x90 ranks in use
    le16 totalLogicalDrives;          // 0x92 host LUN records in use
    le16 totalLunMappingEntries;      // 0x94 LUN maps in use
    le16 totalSpares;                 // 0x96 hot spare records in use
    uint8_t reserved98[0x0A];         // 0x98
    uint8_t autoRebuild;              // 0xA2 0xF1 enabled
    uint8_t hardAddress[4];           // 0xA3 host ports 0-3: bit 7 hard, bits 0-6 address
    uint8_t reservedA7;               // 0xA7
    uint8_t rebuildPriority;          // 0xA8 percent
    uint8_t autoDriveFwUpdate;        // 0xA9 0xF1 enabled
    uint8_t headerValid;              // 0xAA non-zero in a valid header
    uint8_t singleControllerMode;     // 0xAB 0xF1 enabled (0xF0/0xF1 in a valid header)
    uint8_t reservedAC[0x20];         // 0xAC
    le16 controllerLun;               // 0xCC 0xFFFF disabled
    uint8_t reservedCE[2];            // 0xCE
    uint8_t backgroundVerify;         // 0xD0 0xF1 enabled (0xF0/0xF1 in a valid header)
    uint8_t autoHotSpare;             // 0xD1 0xF1 enabled (0xF0/0xF1 in a valid header)
    uint8_t controllerLogSes;         // 0xD2 0xF1 enabled
    uint8_t altNodeNames;             // 0xD3 different node names on the host ports
    uint8_t hostConnection[2];        // 0xD4 ports 0/2, 0xD5 ports 1/3 (low/high nibble)
    uint8_t hostDataRate[2];          // 0xD6 ports 0/2, 0xD7 ports 1/3 (low/high nibble)
    uint8_t reservedD8[6];            // 0xD8
    uint8_t initPriority;             // 0xDE
    uint8_t cacheFlush;               // 0xDF advance performance: cache flush (0xF0/0xF1)
    uint8_t reservedE0[0x0B];         // 0xE0
    uint8_t threadBalance;            // 0xEB advance performance: thread balance (0xF0/0xF1)
    uint8_t reservedEC[9];            // 0xEC
    uint8_t sequentialWrite;          // 0xF5 advance performance: sequential write streams (1-4)
    le16 minChunkBlocks;              // 0xF6 smallest chunk, 512-byte blocks; 0 = no limit
    le16 maxChunkBlocks;              // 0xF8 largest chunk, 512-byte blocks; 0 = no limit
    uint8_t reservedFA[0x106];        // 0xFA
};
static_assert(sizeof(CONFIG_STORAGE_HEADER_STRUCT) == 512);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, length) == 0x00);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, configWwn) == 0x18);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, name) == 0x30);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, totalArrays) == 0x90);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, totalLogicalDrives) == 0x92);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, totalLunMappingEntries) == 0x94);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, totalSpares) == 0x96);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, autoRebuild) == 0xA2);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, hardAddress) == 0xA3);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, rebuildPriority) == 0xA8);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, autoDriveFwUpdate) == 0xA9);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, headerValid) == 0xAA);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, singleControllerMode) == 0xAB);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, controllerLun) == 0xCC);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, backgroundVerify) == 0xD0);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, autoHotSpare) == 0xD1);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, controllerLogSes) == 0xD2);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, altNodeNames) == 0xD3);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, hostConnection) == 0xD4);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, hostDataRate) == 0xD6);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, initPriority) == 0xDE);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, cacheFlush) == 0xDF);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, threadBalance) == 0xEB);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, sequentialWrite) == 0xF5);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, minChunkBlocks) == 0xF6);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, maxChunkBlocks) == 0xF8);

// Size of the configuration header read by discovery (buffer 0x03).
inline constexpr size_t kConfigHeaderSize = sizeof(CONFIG_STORAGE_HEADER_STRUCT);

// The validity rule for a configuration header: non-zero length word, non-zero
// valid byte, and the three flag bytes each 0xF0 or 0xF1.
constexpr bool isValidConfigHeader(const CONFIG_STORAGE_HEADER_STRUCT& h) {
    auto flag = [](uint8_t v) { return v == 0xF0 || v == 0xF1; };
    return h.length.get() != 0 && h.headerValid != 0 && flag(h.singleControllerMode) &&
           flag(h.backgroundVerify) && flag(h.autoHotSpare);
}


// RAID level codes (RANK_CONFIG_STRUCT::raidLevel).
inline constexpr uint8_t kRaidLevel0 = 0x00;
inline constexpr uint8_t kRaidLevel5 = 0x05;
inline constexpr uint8_t kRaidLevel6 = 0x06;
inline constexpr uint8_t kRaidLevel10 = 0x10;   // RAID 1 with two drives
inline constexpr uint8_t kRaidLevel50 = 0x50;

// Fault status codes (RANK_CONFIG_STRUCT::faultStatus).
inline constexpr uint8_t kRankCritical = 0;
inline constexpr uint8_t kRankNotInitialized = 1;
inline constexpr uint8_t kRankInvalidated = 2;
inline constexpr uint8_t kRankExpanding = 3;
inline constexpr uint8_t kRankFaultWarning = 254;
inline constexpr uint8_t kRankFaultTolerant = 255;

// Cache flags (RANK_CONFIG_STRUCT::cacheFlags).
inline constexpr uint8_t kCacheWriteBack = 0x01;
inline constexpr uint8_t kCacheMirror = 0x02;
inline constexpr uint8_t kCacheBatteryRequired = 0x08;
inline constexpr uint8_t kCacheFaultToleranceRequired = 0x10;
inline constexpr uint8_t kCacheEnforceWriteBack = 0x40;

inline constexpr size_t kMaxRankDrives = 16;

// One drive rank (array); also the payload of the add-rank command.
struct RANK_CONFIG_STRUCT {
    uint8_t rankId;                       // 0x00 array ID shown to the user
    uint8_t raidLevel;                    // 0x01 kRaidLevel*
    uint8_t numDrives;                    // 0x02 at most 16
    uint8_t reserved03;                   // 0x03
    le16 chunkBlocks;                     // 0x04 chunk size, 512-byte blocks
    le16 capacityGb;                      // 0x06
    uint8_t reserved08[24];               // 0x08
    wwn8 driveWwn[kMaxRankDrives];        // 0x20 members in member order
    uint8_t reservedA0[16];               // 0xA0
    uint8_t parityGroups;                 // 0xB0 redundant drives shown
    uint8_t faultStatus;                  // 0xB1 kRank*
    uint8_t cacheFlags;                   // 0xB2 kCache*
    uint8_t createMarker;                 // 0xB3 0xF0 at creation
    le16 readAheadCode;                   // 0xB4 0 auto, 1-4, 15 disabled
    le16 writeBackCode;                   // 0xB6 0 disabled, 1-9, 10 maximum
    uint8_t initialised;                  // 0xB8 0xF1 initialised (request: initialise)
    uint8_t reservedB9;                   // 0xB9
    uint8_t backOff;                      // 0xBA 0-100 percent, above: (v-100)/100 percent
    char name[32];                        // 0xBB blank-padded, no NUL
    uint8_t reservedDB;                   // 0xDB
    le16 apmFlags;                        // 0xDC low 3 bits: 1 manual, 2 spun down, 4 spin down and test
    uint8_t apmTestDays;                  // 0xDE
    uint8_t apmTestHours;                 // 0xDF
    uint8_t apmIdleHours;                 // 0xE0
    uint8_t apmIdleMinutes;               // 0xE1
    uint8_t reservedE2[14];               // 0xE2
};
static_assert(sizeof(RANK_CONFIG_STRUCT) == 240);
static_assert(offsetof(RANK_CONFIG_STRUCT, raidLevel) == 0x01);
static_assert(offsetof(RANK_CONFIG_STRUCT, numDrives) == 0x02);
static_assert(offsetof(RANK_CONFIG_STRUCT, chunkBlocks) == 0x04);
static_assert(offsetof(RANK_CONFIG_STRUCT, capacityGb) == 0x06);
static_assert(offsetof(RANK_CONFIG_STRUCT, driveWwn) == 0x20);
static_assert(offsetof(RANK_CONFIG_STRUCT, parityGroups) == 0xB0);
static_assert(offsetof(RANK_CONFIG_STRUCT, faultStatus) == 0xB1);
static_assert(offsetof(RANK_CONFIG_STRUCT, cacheFlags) == 0xB2);
static_assert(offsetof(RANK_CONFIG_STRUCT, createMarker) == 0xB3);
static_assert(offsetof(RANK_CONFIG_STRUCT, readAheadCode) == 0xB4);
static_assert(offsetof(RANK_CONFIG_STRUCT, writeBackCode) == 0xB6);
static_assert(offsetof(RANK_CONFIG_STRUCT, initialised) == 0xB8);
static_assert(offsetof(RANK_CONFIG_STRUCT, backOff) == 0xBA);
static_assert(offsetof(RANK_CONFIG_STRUCT, name) == 0xBB);
static_assert(offsetof(RANK_CONFIG_STRUCT, apmFlags) == 0xDC);
static_assert(offsetof(RANK_CONFIG_STRUCT, apmTestDays) == 0xDE);
static_assert(offsetof(RANK_CONFIG_STRUCT, apmTestHours) == 0xDF);
static_assert(offsetof(RANK_CONFIG_STRUCT, apmIdleHours) == 0xE0);
static_assert(offsetof(RANK_CONFIG_STRUCT, apmIdleMinutes) == 0xE1);

// One segment of a host LUN: a contiguous piece of one rank.
struct LUN_SEGMENT_STRUCT {
    le64 startBlock;          // 0x00 first block within the rank's data space
    le64 blockCount;          // 0x08
    le16 capacityGb;          // 0x10
    le16 rankIndex;           // 0x12
    uint8_t reserved14[12];   // 0x14
};
static_assert(sizeof(LUN_SEGMENT_STRUCT) == 32);

inline constexpr size_t kMaxLunSegments = 16;

// Port mask bits (HOST_CONFIG_STRUCT::portMask).
inline constexpr uint8_t kPortC0P0 = 0x01;
inline constexpr uint8_t kPortC0P1 = 0x02;
inline constexpr uint8_t kPortC1P0 = 0x04;
inline constexpr uint8_t kPortC1P1 = 0x08;

// One host LUN (logical drive).
struct HOST_CONFIG_STRUCT {
    le16 lunNumber;                               // 0x000 logical drive number used by mappings
    uint8_t accessType;                           // 0x002
    uint8_t segmentCount;                         // 0x003
    le16 capacityGb;                              // 0x004
    le16 mappedLun;                               // 0x006
    LUN_SEGMENT_STRUCT segment[kMaxLunSegments];  // 0x008
    uint8_t portMask;                             // 0x208 kPort*
    char name[32];                                // 0x209 blank-padded, no NUL
    uint8_t reserved229;                          // 0x229
    le16 wlunReferenceNo;                         // 0x22A
    le16 hostBlockSize;                           // 0x22C
    uint8_t reserved22E[18];                      // 0x22E
};
static_assert(sizeof(HOST_CONFIG_STRUCT) == 576);
static_assert(offsetof(HOST_CONFIG_STRUCT, accessType) == 0x002);
static_assert(offsetof(HOST_CONFIG_STRUCT, segmentCount) == 0x003);
static_assert(offsetof(HOST_CONFIG_STRUCT, capacityGb) == 0x004);
static_assert(offsetof(HOST_CONFIG_STRUCT, mappedLun) == 0x006);
static_assert(offsetof(HOST_CONFIG_STRUCT, segment) == 0x008);
static_assert(offsetof(HOST_CONFIG_STRUCT, portMask) == 0x208);
static_assert(offsetof(HOST_CONFIG_STRUCT, name) == 0x209);
static_assert(offsetof(HOST_CONFIG_STRUCT, wlunReferenceNo) == 0x22A);
static_assert(offsetof(HOST_CONFIG_STRUCT, hostBlockSize) == 0x22C);

// LUN map entry bits (LUN_MAPPING_STRUCT::awLunMap).
inline constexpr uint16_t kLunNotMapped = 0xFFFF;
inline constexpr uint16_t kLunDriveMask = 0x01FF;
inline constexpr uint16_t kLunSnapshot = 0x0400;
inline constexpr uint16_t kLunPortC1P1 = 0x0800;
inline constexpr uint16_t kLunPortC1P0 = 0x1000;
inline constexpr uint16_t kLunPortC0P1 = 0x2000;
inline constexpr uint16_t kLunPortC0P0 = 0x4000;
inline constexpr uint16_t kLunReadOnly = 0x8000;
inline constexpr size_t kLunsPerMap = 512;

// One host's LUN map.
struct LUN_MAPPING_STRUCT {
    wwn8 abNodeName;                     // 0x000
    wwn8 abPortName;                     // 0x008 key by which a host's map is found
    uint8_t bReserved;                   // 0x010
    uint8_t bHostType;                   // 0x011
    char abHostName[32];                 // 0x012 blank-padded, no NUL
    le16 awLunMap[kLunsPerMap];          // 0x032 indexed by the LUN the host sees
    le16 wControllerLun;                 // 0x432 0xFFFF disabled
    uint8_t reserved434[12];             // 0x434
};
static_assert(sizeof(LUN_MAPPING_STRUCT) == 1088);
static_assert(offsetof(LUN_MAPPING_STRUCT, abPortName) == 0x008);
static_assert(offsetof(LUN_MAPPING_STRUCT, bReserved) == 0x010);
static_assert(offsetof(LUN_MAPPING_STRUCT, bHostType) == 0x011);
static_assert(offsetof(LUN_MAPPING_STRUCT, abHostName) == 0x012);
static_assert(offsetof(LUN_MAPPING_STRUCT, awLunMap) == 0x032);
static_assert(offsetof(LUN_MAPPING_STRUCT, wControllerLun) == 0x432);

// One hot spare; also the payload of the add-hot-spare command.
inline constexpr uint8_t kGlobalSpare = 0xFF;
struct HOT_SPARE_DRIVE_STRUCT {
    wwn8 driveWwn;            // 0
    uint8_t rank;             // 8 rank index, kGlobalSpare
    uint8_t reserved9[7];     // 9
};
static_assert(sizeof(HOT_SPARE_DRIVE_STRUCT) == 16);
static_assert(offsetof(HOT_SPARE_DRIVE_STRUCT, rank) == 8);

inline constexpr size_t kMaxRanks = 64;
inline constexpr size_t kMaxHostLuns = 512;
inline constexpr size_t kMaxLunMaps = 512;
inline constexpr size_t kHotSpareSlots = 128;

// TQM response type codes (CONFIG_STORAGE_STRUCT::tqmResponseType).
inline constexpr uint8_t kTqmDisabled = 0xF0;
inline constexpr uint8_t kTqmBusy = 0xF1;
inline constexpr uint8_t kTqmTaskSetFull = 0xF2;
inline constexpr uint8_t kTqmAutomatic = 0xF3;

// The whole configuration image.
struct CONFIG_STORAGE_STRUCT {
    CONFIG_STORAGE_HEADER_STRUCT header;               // 0x00000
    RANK_CONFIG_STRUCT rank[kMaxRanks];                // 0x00200
    HOST_CONFIG_STRUCT hostLun[kMaxHostLuns];          // 0x03E00
    LUN_MAPPING_STRUCT lunMap[kMaxLunMaps];            // 0x4BE00
    HOT_SPARE_DRIVE_STRUCT hotSpare[kHotSpareSlots];   // 0xD3E00
    uint8_t reservedD4600[0xF8A0];                     // 0xD4600
    uint8_t tqmResponseType;                           // 0xE3EA0 kTqm*
    uint8_t tqmResponseTime;                           // 0xE3EA1
    uint8_t reservedE3EA2[0x195E];                     // 0xE3EA2
};
static_assert(sizeof(CONFIG_STORAGE_STRUCT) == 940032);
static_assert(offsetof(CONFIG_STORAGE_STRUCT, rank) == 0x00200);
static_assert(offsetof(CONFIG_STORAGE_STRUCT, hostLun) == 0x03E00);
static_assert(offsetof(CONFIG_STORAGE_STRUCT, lunMap) == 0x4BE00);
static_assert(offsetof(CONFIG_STORAGE_STRUCT, hotSpare) == 0xD3E00);
static_assert(offsetof(CONFIG_STORAGE_STRUCT, tqmResponseType) == 933536);
static_assert(offsetof(CONFIG_STORAGE_STRUCT, tqmResponseTime) == 933537);

// Region map: how each rank's capacity is cut into used and free regions.
inline constexpr uint16_t kRegionFree = 0xFFFF;
struct ADDRESS_REGION_STRUCT {
    le32 startLow;        // 0x00 start address (blocks), low 32 bits
    le32 startHigh;       // 0x04
    le32 endLow;          // 0x08 end address (blocks, inclusive)
    le32 endHigh;         // 0x0C
    le32 capacityLow;     // 0x10 capacity (blocks)
    le32 capacityHigh;    // 0x14
    le16 capacityGb;      // 0x18
    le16 rankNo;          // 0x1A
    le16 lunNo;           // 0x1C kRegionFree when free
    le16 lunSegmentNo;    // 0x1E
};
static_assert(sizeof(ADDRESS_REGION_STRUCT) == 32);
static_assert(offsetof(ADDRESS_REGION_STRUCT, capacityGb) == 0x18);
static_assert(offsetof(ADDRESS_REGION_STRUCT, rankNo) == 0x1A);
static_assert(offsetof(ADDRESS_REGION_STRUCT, lunNo) == 0x1C);
static_assert(offsetof(ADDRESS_REGION_STRUCT, lunSegmentNo) == 0x1E);

inline constexpr size_t kMaxRegions = 676;

struct ADDRESS_REGION_MAP_STRUCT {
    le32 length;                              // 0x00
    le32 regionCount;                         // 0x04
    le32 usedCapacityGb;                      // 0x08
    le32 unusedCapacityGb;                    // 0x0C
    le32 unusedUnsegmentedCapacityGb;         // 0x10
    le16 unusedUnsegmentedRegionNo;           // 0x14
    uint8_t reserved16[2];                    // 0x16
    ADDRESS_REGION_STRUCT region[kMaxRegions];// 0x18
};
static_assert(sizeof(ADDRESS_REGION_MAP_STRUCT) == 21656);
static_assert(offsetof(ADDRESS_REGION_MAP_STRUCT, regionCount) == 0x04);
static_assert(offsetof(ADDRESS_REGION_MAP_STRUCT, usedCapacityGb) == 0x08);
static_assert(offsetof(ADDRESS_REGION_MAP_STRUCT, unusedCapacityGb) == 0x0C);
static_assert(offsetof(ADDRESS_REGION_MAP_STRUCT, unusedUnsegmentedCapacityGb) == 0x10);
static_assert(offsetof(ADDRESS_REGION_MAP_STRUCT, unusedUnsegmentedRegionNo) == 0x14);
static_assert(offsetof(ADDRESS_REGION_MAP_STRUCT, region) == 0x18);

// Host table: the initiators the controllers see.
struct HOST_INFO_STRUCT {
    wwn8 nodeWwn;             // 0x00
    wwn8 portWwn;             // 0x08
    uint8_t reserved10[8];    // 0x10
};
static_assert(sizeof(HOST_INFO_STRUCT) == 24);

inline constexpr size_t kMaxHosts = 512;
struct ALL_HOST_INFO_STRUCT {
    le32 length;                          // 0
    le16 numHosts;                        // 4
    uint8_t reserved6[2];                 // 6
    HOST_INFO_STRUCT host[kMaxHosts];     // 8
};
static_assert(sizeof(ALL_HOST_INFO_STRUCT) == 12296);
static_assert(offsetof(ALL_HOST_INFO_STRUCT, numHosts) == 4);
static_assert(offsetof(ALL_HOST_INFO_STRUCT, host) == 8);

// Initialisation table: one record per rank index.
struct INITIALISATION_INFO_STRUCT {
    uint8_t inProgress;       // 0xF1
    uint8_t percent;
    uint8_t reserved[2];
};
static_assert(sizeof(INITIALISATION_INFO_STRUCT) == 4);

struct ALL_INITIALISATION_INFO_STRUCT {
    INITIALISATION_INFO_STRUCT rank[kMaxRanks];
};
static_assert(sizeof(ALL_INITIALISATION_INFO_STRUCT) == 256);

// The 8-byte identifier a host sees for a logical drive: 0x20 | bits 8-11 of the
// WLUN reference number, its bits 0-7, then the last six bytes of the
// configuration WWN.
constexpr uint64_t logicalDriveIdentifier(uint16_t wlunReferenceNo, const wwn8& configWwn) {
    uint64_t v = (static_cast<uint64_t>(0x20 | ((wlunReferenceNo >> 8) & 0x0F)) << 56) |
                 (static_cast<uint64_t>(wlunReferenceNo & 0xFF) << 48);
    for (int i = 2; i < 8; ++i) v |= static_cast<uint64_t>(configWwn.b[i]) << (8 * (7 - i));
    return v;
}

}  // namespace wire
