// Snapshots and overwrite data areas (ODA) of both firmware generations: the
// tables the controller reports and the requests that change them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/byteorder.h"
#include "wire/vendor.h"

namespace wire {

// ---- first generation -------------------------------------------------------

inline constexpr uint8_t kOdaFormatted = 0x01;
inline constexpr uint8_t kOdaSnapbackInProgress = 0x02;

struct ODA_DESCRIPTOR_STRUCT {
    uint8_t odaNumber;         // 0
    uint8_t status;            // 1 kOda*
    le16 internalLd;           // 2 internal logical drive holding the ODA
    le16 capacity;             // 4
    uint8_t percent;           // 6
    uint8_t reserved7;         // 7
};
static_assert(sizeof(ODA_DESCRIPTOR_STRUCT) == 8);

struct OVER_WRITE_DATA_AREAS_INFO_STRUCT {
    le16 length;                         // 0x00
    uint8_t numOdas;                     // 0x02
    uint8_t maxOdas;                     // 0x03
    uint8_t maxSnapshots;                // 0x04
    uint8_t maxVirtualLunsPerLun;        // 0x05
    uint8_t reserved06[2];               // 0x06
    ODA_DESCRIPTOR_STRUCT oda[256];      // 0x08
};
static_assert(sizeof(OVER_WRITE_DATA_AREAS_INFO_STRUCT) == 2056);
static_assert(offsetof(OVER_WRITE_DATA_AREAS_INFO_STRUCT, numOdas) == 2);
static_assert(offsetof(OVER_WRITE_DATA_AREAS_INFO_STRUCT, maxVirtualLunsPerLun) == 5);
static_assert(offsetof(OVER_WRITE_DATA_AREAS_INFO_STRUCT, oda) == 8);

struct ODA_STATS_STRUCT {
    uint8_t odaNumber;             // 0x00
    uint8_t status;                // 0x01
    le16 stripeSize;               // 0x02
    le32 stripes;                  // 0x04
    le16 snapshotLd;               // 0x08
    le16 numSnapshots;             // 0x0A
    le32 stripesUsed[24];          // 0x0C per snapshot
};
static_assert(sizeof(ODA_STATS_STRUCT) == 108);

struct OVER_WRITE_DATA_AREA_STATS_INFO_STRUCT {
    le16 length;                   // 0x00
    uint8_t numRecords;            // 0x02
    uint8_t reserved03;            // 0x03
    ODA_STATS_STRUCT record[8];    // 0x04
};
static_assert(sizeof(OVER_WRITE_DATA_AREA_STATS_INFO_STRUCT) == 868);
static_assert(offsetof(OVER_WRITE_DATA_AREA_STATS_INFO_STRUCT, record) == 4);

struct SNAPSHOT_INFO_STRUCT {
    uint8_t snapshotNumber;        // 0x00
    uint8_t bOdaNumber;            // 0x01
    uint8_t reserved02[8];         // 0x02
    uint8_t bVirtualLunFlags;      // 0x0A
    uint8_t reserved0B;            // 0x0B
    le16 wVirtualLun;              // 0x0C
    le16 wLunReferenceNo;          // 0x0E
};
static_assert(sizeof(SNAPSHOT_INFO_STRUCT) == 16);
static_assert(offsetof(SNAPSHOT_INFO_STRUCT, bVirtualLunFlags) == 0x0A);
static_assert(offsetof(SNAPSHOT_INFO_STRUCT, wLunReferenceNo) == 0x0E);

struct SNAPSHOT_ALL_INFO_STRUCT {
    le16 length;                       // 0x00
    le16 logicalDrive;                 // 0x02
    uint8_t numSnapshots;              // 0x04
    uint8_t reserved05[3];             // 0x05
    SNAPSHOT_INFO_STRUCT snapshot[24]; // 0x08
};
static_assert(sizeof(SNAPSHOT_ALL_INFO_STRUCT) == 392);
static_assert(offsetof(SNAPSHOT_ALL_INFO_STRUCT, numSnapshots) == 4);
static_assert(offsetof(SNAPSHOT_ALL_INFO_STRUCT, snapshot) == 8);

struct INTERNAL_LOGICAL_DRIVE_STRUCT {
    le16 logicalDrive;
    le16 capacity;
};
static_assert(sizeof(INTERNAL_LOGICAL_DRIVE_STRUCT) == 4);

struct INTERNAL_LOGICAL_DRIVES_INFO_STRUCT {
    le16 length;                                // 0x00
    uint8_t numDrives;                          // 0x02
    uint8_t reserved03;                         // 0x03
    INTERNAL_LOGICAL_DRIVE_STRUCT drive[256];   // 0x04
};
static_assert(sizeof(INTERNAL_LOGICAL_DRIVES_INFO_STRUCT) == 1028);
static_assert(offsetof(INTERNAL_LOGICAL_DRIVES_INFO_STRUCT, drive) == 4);

// ---- R2_2 generation --------------------------------------------------------

inline constexpr uint8_t kOdaR22Formatted = 0x01;
inline constexpr uint8_t kOdaR22Snapback = 0x02;
inline constexpr uint8_t kOdaR22Overrun = 0x04;
inline constexpr uint8_t kOdaR22Assigned = 0x08;
inline constexpr uint8_t kOdaR22ActiveSnapshot = 0x10;
inline constexpr uint8_t kOdaR22SnapshotInvalid = 0x20;

struct ODA_DESCRIPTOR_R2_2_STRUCT {
    le16 odaNumber;            // 0x00
    uint8_t flags;             // 0x02 kOdaR22*
    uint8_t percent;           // 0x03
    le16 internalLd;           // 0x04
    le16 snapshotLd;           // 0x06
    le16 stripeBlocks;         // 0x08
    le16 numSnapshots;         // 0x0A
    le16 capacityGb;           // 0x0C
    uint8_t reserved0E[2];     // 0x0E
    le32 stripes;              // 0x10
    le32 stripesInUse;         // 0x14
    uint8_t reserved18[8];     // 0x18
};
static_assert(sizeof(ODA_DESCRIPTOR_R2_2_STRUCT) == 32);
static_assert(offsetof(ODA_DESCRIPTOR_R2_2_STRUCT, capacityGb) == 0x0C);
static_assert(offsetof(ODA_DESCRIPTOR_R2_2_STRUCT, stripesInUse) == 0x14);

struct OVER_WRITE_DATA_AREAS_INFO_R2_2_STRUCT {
    le16 length;                              // 0x00
    le16 numOdas;                             // 0x02
    le16 maxOdas;                             // 0x04
    le16 maxSnapshots;                        // 0x06
    le16 maxVirtualLunsPerLun;                // 0x08
    uint8_t reserved0A[2];                    // 0x0A
    ODA_DESCRIPTOR_R2_2_STRUCT oda[512];      // 0x0C
};
static_assert(sizeof(OVER_WRITE_DATA_AREAS_INFO_R2_2_STRUCT) == 16396);
static_assert(offsetof(OVER_WRITE_DATA_AREAS_INFO_R2_2_STRUCT, oda) == 0x0C);

inline constexpr uint8_t kSnapR22VirtualLunEnabled = 0x02;
inline constexpr uint8_t kSnapR22VirtualLunAssigned = 0x04;
inline constexpr uint8_t kSnapR22Deleting = 0x08;
inline constexpr uint8_t kSnapR22Invalid = 0x20;

struct SNAPSHOT_DESCRIPTOR_R2_2_STRUCT {
    le16 odaNumber;            // 0x00
    uint8_t snapshotNumber;    // 0x02
    uint8_t reserved03;        // 0x03
    uint8_t flags;             // 0x04 kSnapR22*
    uint8_t reserved05;        // 0x05
    le16 snapshotLd;           // 0x06
    le16 virtualLun;           // 0x08
    le16 stripeBlocks;         // 0x0A
    le32 totalStripeRefs;      // 0x0C
    le32 writeStripeRefs;      // 0x10
    le32 stripeProtections;    // 0x14
    CLOCK_STRUCT created;      // 0x18
    le32 creationOrder;        // 0x20
    uint8_t reserved24[4];     // 0x24
};
static_assert(sizeof(SNAPSHOT_DESCRIPTOR_R2_2_STRUCT) == 40);
static_assert(offsetof(SNAPSHOT_DESCRIPTOR_R2_2_STRUCT, flags) == 0x04);
static_assert(offsetof(SNAPSHOT_DESCRIPTOR_R2_2_STRUCT, created) == 0x18);
static_assert(offsetof(SNAPSHOT_DESCRIPTOR_R2_2_STRUCT, creationOrder) == 0x20);

struct SNAPSHOT_ALL_INFO_R2_2_STRUCT {
    le16 length;                                   // 0x00
    le16 numSnapshots;                             // 0x02
    SNAPSHOT_DESCRIPTOR_R2_2_STRUCT snapshot[512]; // 0x04
};
static_assert(sizeof(SNAPSHOT_ALL_INFO_R2_2_STRUCT) == 20484);
static_assert(offsetof(SNAPSHOT_ALL_INFO_R2_2_STRUCT, snapshot) == 4);

// ---- requests (0x70-0x77): command letter, two zero bytes, record length ----

struct SNAP_COMMAND_HEADER {
    uint8_t command;           // 'p' ... 'w'
    uint8_t reserved[2];
    uint8_t length;            // 8 or 10
};
static_assert(sizeof(SNAP_COMMAND_HEADER) == 4);

struct CREATE_OVERWRITE_DATA_AREA_STRUCT {   // 0x70 'p'
    SNAP_COMMAND_HEADER hdr;
    uint8_t odaNumber;
    uint8_t reserved5;
    le16 logicalDrive;
    le16 stripeSize;
};
static_assert(sizeof(CREATE_OVERWRITE_DATA_AREA_STRUCT) == 10);

struct CREATE_OVERWRITE_DATA_AREA_R2_2_STRUCT {   // 0x70 'p'
    SNAP_COMMAND_HEADER hdr;
    le16 odaNumber;
    le16 logicalDrive;
    le16 stripeSize;
};
static_assert(sizeof(CREATE_OVERWRITE_DATA_AREA_R2_2_STRUCT) == 10);

struct ASSIGN_ODA_R2_2_STRUCT {   // 0x71 'q'
    SNAP_COMMAND_HEADER hdr;
    le16 odaNumber;
    le16 logicalDrive;
    uint8_t option;
    uint8_t reserved9;
};
static_assert(sizeof(ASSIGN_ODA_R2_2_STRUCT) == 10);

struct RELEASE_OVERWRITE_DATA_AREA_STRUCT {   // 0x72 'r'
    SNAP_COMMAND_HEADER hdr;
    uint8_t odaNumber;
    uint8_t reserved5[3];
};
static_assert(sizeof(RELEASE_OVERWRITE_DATA_AREA_STRUCT) == 8);

struct RELEASE_OVERWRITE_DATA_AREA_R2_2_STRUCT {   // 0x72 'r'
    SNAP_COMMAND_HEADER hdr;
    le16 odaNumber;
    uint8_t reserved6[2];
};
static_assert(sizeof(RELEASE_OVERWRITE_DATA_AREA_R2_2_STRUCT) == 8);

struct TAKE_SNAPSHOT_STRUCT {   // 0x73 's'
    SNAP_COMMAND_HEADER hdr;
    le16 logicalDrive;
    uint8_t option;
    uint8_t reserved7;
};
static_assert(sizeof(TAKE_SNAPSHOT_STRUCT) == 8);

struct DELETE_SNAPSHOT_STRUCT {   // 0x74 't'
    SNAP_COMMAND_HEADER hdr;
    le16 logicalDrive;         // the snapshotted logical drive
    uint8_t flags;
    uint8_t odaNumber;
};
static_assert(sizeof(DELETE_SNAPSHOT_STRUCT) == 8);

struct ASSIGN_VIRTUAL_LUN_SNAP_STRUCT {   // 0x75 'u'
    SNAP_COMMAND_HEADER hdr;
    le16 logicalDrive;         // the snapshotted logical drive
    uint8_t snapshotNumber;
    uint8_t flags;
    uint8_t reserved8[2];
};
static_assert(sizeof(ASSIGN_VIRTUAL_LUN_SNAP_STRUCT) == 10);

struct ASSIGN_ODA_STRUCT {   // 0x76 'v'
    SNAP_COMMAND_HEADER hdr;
    le16 logicalDrive;
    uint8_t flags;
    uint8_t odaNumber;
};
static_assert(sizeof(ASSIGN_ODA_STRUCT) == 8);

struct SNAPBACK_STRUCT {   // 0x77 'w'
    SNAP_COMMAND_HEADER hdr;
    le16 logicalDrive;         // internal logical drive
    uint8_t snapshotNumber;
    uint8_t reserved7;
};
static_assert(sizeof(SNAPBACK_STRUCT) == 8);

struct SNAPBACK_R2_2_STRUCT {   // 0x77 'w'
    SNAP_COMMAND_HEADER hdr;
    le16 logicalDrive;
    uint8_t snapshotNumber;
    uint8_t option;
};
static_assert(sizeof(SNAPBACK_R2_2_STRUCT) == 8);

}  // namespace wire
