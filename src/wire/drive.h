// Drive information: the list of drives behind a RAID system.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/byteorder.h"

namespace wire {

// DRIVE_INFO_STRUCT::rankNo values beside a rank index.
inline constexpr uint8_t kDriveUnused = 0xFF;
inline constexpr uint8_t kDriveHotSpare = 0xF5;
inline constexpr uint8_t kDriveRebuilding = 0xF3;   // used for an array rebuild
// DRIVE_INFO_STRUCT::driveStatus
inline constexpr uint8_t kDriveStatusFailed = 17;

struct DRIVE_INFO_STRUCT {
    uint8_t loopId1;              // 0 0xFF none
    uint8_t loopId2;              // 1 0xFF none
    uint8_t hardIdFromAdisc;      // 2
    uint8_t enclosureNo;          // 3
    uint8_t slotNo;               // 4
    uint8_t ses0IdLoop1;          // 5
    uint8_t ses0IdLoop2;          // 6
    uint8_t ses1IdLoop1;          // 7
    uint8_t ses1IdLoop2;          // 8
    uint8_t rankNo;               // 9 rank index, kDriveUnused, kDriveHotSpare
    uint8_t driveNo;              // 10 member position in the rank
    uint8_t driveStatus;          // 11 kDriveStatusFailed
    wwn8 abNodeName;              // 12
    le32 capacity;                // 20 512-byte blocks
    le32 maxRaid5XorWriteSize;    // 24
    le16 blockSize;               // 28
    uint8_t reserved30;           // 30
    uint8_t sesEnabled;           // 31
    uint8_t validFirmwareImage;   // 32
    uint8_t sesControlFlags;      // 33
    uint8_t sesArrayFlags;        // 34
    uint8_t sesSlotId;            // 35
    char vendorId[8];             // 36
    char productId[16];           // 44
    char productRevLevel[4];      // 60
    char serialNumber[8];         // 64
};
static_assert(sizeof(DRIVE_INFO_STRUCT) == 72);
static_assert(offsetof(DRIVE_INFO_STRUCT, enclosureNo) == 3);
static_assert(offsetof(DRIVE_INFO_STRUCT, slotNo) == 4);
static_assert(offsetof(DRIVE_INFO_STRUCT, rankNo) == 9);
static_assert(offsetof(DRIVE_INFO_STRUCT, driveNo) == 10);
static_assert(offsetof(DRIVE_INFO_STRUCT, driveStatus) == 11);
static_assert(offsetof(DRIVE_INFO_STRUCT, abNodeName) == 12);
static_assert(offsetof(DRIVE_INFO_STRUCT, capacity) == 20);
static_assert(offsetof(DRIVE_INFO_STRUCT, maxRaid5XorWriteSize) == 24);
static_assert(offsetof(DRIVE_INFO_STRUCT, blockSize) == 28);
static_assert(offsetof(DRIVE_INFO_STRUCT, sesEnabled) == 31);
static_assert(offsetof(DRIVE_INFO_STRUCT, sesSlotId) == 35);
static_assert(offsetof(DRIVE_INFO_STRUCT, vendorId) == 36);
static_assert(offsetof(DRIVE_INFO_STRUCT, productId) == 44);
static_assert(offsetof(DRIVE_INFO_STRUCT, productRevLevel) == 60);
static_assert(offsetof(DRIVE_INFO_STRUCT, serialNumber) == 64);

inline constexpr size_t kMaxDrives = 126;

struct ALL_DRIVE_INFO_STRUCT {
    le32 length;                          // 0 byte count of the reply
    uint8_t numDrives;                    // 4
    uint8_t reserved5[3];                 // 5
    DRIVE_INFO_STRUCT drive[kMaxDrives];  // 8
};
static_assert(sizeof(ALL_DRIVE_INFO_STRUCT) == 9080);
static_assert(offsetof(ALL_DRIVE_INFO_STRUCT, numDrives) == 4);
static_assert(offsetof(ALL_DRIVE_INFO_STRUCT, drive) == 8);

// Drive power control (APM) list.
struct DRIVE_APM_STATUS_STRUCT {
    uint8_t enclosureNo;   // 0
    uint8_t slotNo;        // 1
    uint8_t driveGroup;    // 2 rank, 243 rebuild, 245 spare, 255 unused
    uint8_t apmState;      // 3 1 spun down, 2 spun up, 3 spinning up, 4 under test
    wwn8 wwn;              // 4
    uint8_t reserved12[4]; // 12
};
static_assert(sizeof(DRIVE_APM_STATUS_STRUCT) == 16);

struct ALL_DRIVE_APM_STATUS_STRUCT {
    le32 length;
    uint8_t numEntries;                          // 4
    uint8_t reserved5[3];
    DRIVE_APM_STATUS_STRUCT entry[kMaxDrives];   // 8
};
static_assert(sizeof(ALL_DRIVE_APM_STATUS_STRUCT) == 2024);
static_assert(offsetof(ALL_DRIVE_APM_STATUS_STRUCT, entry) == 8);

}  // namespace wire
