// Parameter records of the vendor write commands and the small records read
// around a configuration change. Every mode-1 write sends the validation
// header followed by one of these records (or by nothing).
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/byteorder.h"
#include "wire/config.h"
#include "wire/vendor.h"

namespace wire {

// Configuration activity (READ BUFFER 0x5E, b3 = 1).
struct CONFIG_UPDATE_STRUCT {
    le16 length;                      // 0x00 byte count of the record
    uint8_t startInProgress;          // 0x02 0xF1
    uint8_t saveInProgress;           // 0x03 0xF1
    uint8_t configUnavailable;        // 0x04 0xF1
    uint8_t expansionInProgress;      // 0x05 0xF1
    uint8_t reserved06[2];            // 0x06
    uint8_t localController;          // 0x08 1 or 2: the controller that answered
    uint8_t reserved09[0x33];         // 0x09
    le16 startCounter1;               // 0x3C start config counter of controller 1
    uint8_t reserved3E[0x36];         // 0x3E
    le16 startCounter2;               // 0x74 start config counter of controller 2
    uint8_t reserved76[0x1A];         // 0x76
};
static_assert(sizeof(CONFIG_UPDATE_STRUCT) == 144);
static_assert(offsetof(CONFIG_UPDATE_STRUCT, startInProgress) == 2);
static_assert(offsetof(CONFIG_UPDATE_STRUCT, saveInProgress) == 3);
static_assert(offsetof(CONFIG_UPDATE_STRUCT, configUnavailable) == 4);
static_assert(offsetof(CONFIG_UPDATE_STRUCT, expansionInProgress) == 5);
static_assert(offsetof(CONFIG_UPDATE_STRUCT, localController) == 8);
static_assert(offsetof(CONFIG_UPDATE_STRUCT, startCounter1) == 0x3C);
static_assert(offsetof(CONFIG_UPDATE_STRUCT, startCounter2) == 0x74);

// The caller's record of one configuration change (start counter, expansion rule).
struct CONFIG_CHANGE_STRUCT {
    le32 startCounter;     // 0 filled by the start in asynchronous mode, sent back by the save
    le32 expansionBlocks;  // 4 0xF1: an expansion in progress prevents the change
};
static_assert(sizeof(CONFIG_CHANGE_STRUCT) == 8);

// Add host LUN (0x91): the first segment of a new logical drive.
struct CREATE_HOST_LUN_STRUCT {
    le16 capacityGb;       // 0x00 capacity of the first segment
    le16 freeRegionNo;     // 0x02 number among the free regions
    uint8_t accessType;    // 0x04
    uint8_t reserved05;    // 0x05
    le16 hostBlockSize;    // 0x06 0, 512 or 4096
    char name[32];         // 0x08
};
static_assert(sizeof(CREATE_HOST_LUN_STRUCT) == 40);
static_assert(offsetof(CREATE_HOST_LUN_STRUCT, freeRegionNo) == 2);
static_assert(offsetof(CREATE_HOST_LUN_STRUCT, accessType) == 4);
static_assert(offsetof(CREATE_HOST_LUN_STRUCT, hostBlockSize) == 6);
static_assert(offsetof(CREATE_HOST_LUN_STRUCT, name) == 8);

// Expand host LUN (0xA5, b3-b4 = logical drive index): one more segment.
struct EXPAND_HOST_LUN_STRUCT {
    le16 capacityGb;       // 0x00
    le16 freeRegionNo;     // 0x02
    uint8_t reserved04[4]; // 0x04
};
static_assert(sizeof(EXPAND_HOST_LUN_STRUCT) == 8);

// Expand array (0xAB).
inline constexpr size_t kMaxExpandDrives = 15;
struct EXPAND_ARRAY_STRUCT {
    uint8_t rankIndex;                     // 0x00
    uint8_t numDrives;                     // 0x01
    uint8_t flag;                          // 0x02 0xF0
    uint8_t reserved03;                    // 0x03
    uint8_t reserved04[12];                // 0x04
    wwn8 driveWwn[kMaxExpandDrives];       // 0x10
};
static_assert(sizeof(EXPAND_ARRAY_STRUCT) == 136);
static_assert(offsetof(EXPAND_ARRAY_STRUCT, numDrives) == 1);
static_assert(offsetof(EXPAND_ARRAY_STRUCT, flag) == 2);
static_assert(offsetof(EXPAND_ARRAY_STRUCT, driveWwn) == 0x10);

// Add LUN mapping (0x92): the first 1076 bytes of a LUN_MAPPING_STRUCT.
struct CREATE_LUN_MAPPING_STRUCT {
    wwn8 abNodeName;                     // 0x000
    wwn8 abPortName;                     // 0x008
    uint8_t bReserved;                   // 0x010
    uint8_t bHostType;                   // 0x011
    char abHostName[32];                 // 0x012
    le16 awLunMap[kLunsPerMap];          // 0x032
    le16 wControllerLun;                 // 0x432
};
static_assert(sizeof(CREATE_LUN_MAPPING_STRUCT) == 1076);
static_assert(offsetof(CREATE_LUN_MAPPING_STRUCT, abHostName) == offsetof(LUN_MAPPING_STRUCT, abHostName));
static_assert(offsetof(CREATE_LUN_MAPPING_STRUCT, awLunMap) == offsetof(LUN_MAPPING_STRUCT, awLunMap));
static_assert(offsetof(CREATE_LUN_MAPPING_STRUCT, wControllerLun) == offsetof(LUN_MAPPING_STRUCT, wControllerLun));

// The longer variant of the add-LUN-mapping payload.
struct CREATE_LUN_MAPPING_STRUCT_ver_I {
    CREATE_LUN_MAPPING_STRUCT map;       // 0x000
    uint8_t extension[512];              // 0x434
};
static_assert(sizeof(CREATE_LUN_MAPPING_STRUCT_ver_I) == 1588);

// Regenerate drive (0xCA).
struct REGENERATE_DRIVE_STRUCT {
    uint8_t a;                 // 0
    uint8_t b;                 // 1
    wwn8 driveWwn;             // 2
    uint8_t reserved10[6];     // 10
};
static_assert(sizeof(REGENERATE_DRIVE_STRUCT) == 16);
static_assert(offsetof(REGENERATE_DRIVE_STRUCT, driveWwn) == 2);

// Update drive firmware (0xC6).
struct UPDATE_DRIVE_FW_STRUCT {
    uint8_t a;                 // 0
    uint8_t reserved1[3];      // 1
    wwn8 driveWwn;             // 4
};
static_assert(sizeof(UPDATE_DRIVE_FW_STRUCT) == 12);
static_assert(offsetof(UPDATE_DRIVE_FW_STRUCT, driveWwn) == 4);

// Task queue manager response (0x84).
struct TQM_CONFIG_STRUCT {
    uint8_t responseType;      // 0 kTqm*
    uint8_t responseTime;      // 1
    uint8_t reserved2[14];     // 2
};
static_assert(sizeof(TQM_CONFIG_STRUCT) == 16);

// UPS parameters (0xA1).
struct UPS_SETUP_STRUCT {
    uint8_t bytes[16];
};
static_assert(sizeof(UPS_SETUP_STRUCT) == 16);

// Modify mapped LUN (0xA9).
struct MODIFY_MAPPED_LUN_STRUCT {
    le16 a;
    le16 b;
};
static_assert(sizeof(MODIFY_MAPPED_LUN_STRUCT) == 4);

// Drive power control, level 1: spare, failed and unused drives (0xAD b3 = 0, read 0x30).
inline constexpr uint16_t kApm1SpinDownSpares = 0x01;
inline constexpr uint16_t kApm1SpinDownFailed = 0x02;
inline constexpr uint16_t kApm1SpinDownUnused = 0x04;
inline constexpr uint16_t kApm1TestSpares = 0x08;
inline constexpr uint16_t kApm1TestUnused = 0x10;
struct APM1_CONFIG_STRUCT {
    le16 flags;                // 0 kApm1*
    uint8_t testCycle;         // 2 0 none, 1 daily, 2 weekly, 3 monthly
    uint8_t testDate;          // 3 day of the month, 0 disabled
    uint8_t testDay;           // 4 0 disabled, 1 Sunday ... 7 Saturday
    uint8_t testHour;          // 5
    uint8_t testMinute;        // 6
    uint8_t reserved7[9];      // 7
};
static_assert(sizeof(APM1_CONFIG_STRUCT) == 16);
static_assert(offsetof(APM1_CONFIG_STRUCT, testMinute) == 6);

// Drive power control, level 2: one array (0xAD b3 = 1, b4 = array).
struct APM2_CONFIG_STRUCT {
    le16 flags;                // 0 0x01 manual spin down, 0x02 spin down, 0x04 spin down and test
    uint8_t testDays;          // 2
    uint8_t testHours;         // 3
    uint8_t idleHours;         // 4
    uint8_t idleMinutes;       // 5
    uint8_t reserved6[2];      // 6
};
static_assert(sizeof(APM2_CONFIG_STRUCT) == 8);

// Set configuration name (0xA3) and the rank / host LUN names (0xA7, 0xA8).
struct CONFIG_NAME_STRUCT {
    char name[64];
};
static_assert(sizeof(CONFIG_NAME_STRUCT) == 64);
struct OBJECT_NAME_STRUCT {
    char name[32];
};
static_assert(sizeof(OBJECT_NAME_STRUCT) == 32);

// Controller IP address (0xA4).
struct CONTROLLER_IP_STRUCT {
    uint8_t bytes[16];
};
static_assert(sizeof(CONTROLLER_IP_STRUCT) == 16);

// Volume copy (0x79, 0x7A, read 0x69).
struct LD_DUPLICATION_SETUP_STRUCT {
    uint8_t length;            // 0 32
    uint8_t c;                 // 1 duplication type: 1 volume copy, 2 copy back
    uint8_t d;                 // 2 priority
    uint8_t reserved3;         // 3
    le16 a;                    // 4 source logical drive
    le16 b;                    // 6 destination logical drive
    uint8_t reserved8[24];     // 8
};
static_assert(sizeof(LD_DUPLICATION_SETUP_STRUCT) == 32);
static_assert(offsetof(LD_DUPLICATION_SETUP_STRUCT, a) == 4);

struct LD_DUPLICATION_CHANGE_SETTINGS_STRUCT {
    uint8_t length;            // 0 16
    uint8_t action;            // 1 1 priority, 2 resume, 3 pause, 4 abort, 5 copy back
    le16 lun;                  // 2
    le16 value;                // 4
    uint8_t reserved6[10];     // 6
};
static_assert(sizeof(LD_DUPLICATION_CHANGE_SETTINGS_STRUCT) == 16);

struct LD_DUPLICATION_TASK_STATUS_STRUCT {
    uint8_t bActive;                       // 0x00 0xF1 active
    uint8_t bDuplicationComplete;          // 0x01
    uint8_t bDuplicationType;              // 0x02 1 volume copy, 2 copy back
    uint8_t bDuplicationState;             // 0x03
    le16 wDuplicationSourceLun;            // 0x04
    le16 wDuplicationDestinationLun;       // 0x06
    uint8_t bDuplicationOdaNumber;         // 0x08
    uint8_t bDuplicationSnapshotNumber;    // 0x09
    uint8_t bCopyPercentComplete;          // 0x0A
    uint8_t bSnapshotFlushPercentComplete; // 0x0B
    uint8_t bDuplicationPriority;          // 0x0C
    uint8_t reserved0D[19];                // 0x0D
};
static_assert(sizeof(LD_DUPLICATION_TASK_STATUS_STRUCT) == 32);
static_assert(offsetof(LD_DUPLICATION_TASK_STATUS_STRUCT, wDuplicationDestinationLun) == 6);
static_assert(offsetof(LD_DUPLICATION_TASK_STATUS_STRUCT, bDuplicationPriority) == 0x0C);

struct LD_DUPLICATION_STATUS_STRUCT {
    le16 wSize;                                      // 0x00 136
    uint8_t bFeatureActivated;                       // 0x02
    uint8_t bNumActiveDuplicationProcesses;          // 0x03
    uint8_t bNumCopyDuplicationProcessesAllowed;     // 0x04
    uint8_t reserved05[3];                           // 0x05
    LD_DUPLICATION_TASK_STATUS_STRUCT task[4];       // 0x08
};
static_assert(sizeof(LD_DUPLICATION_STATUS_STRUCT) == 136);
static_assert(offsetof(LD_DUPLICATION_STATUS_STRUCT, task) == 8);

// Reply sizes of the fixed reads.
inline constexpr uint32_t kConfigUpdateSize = sizeof(CONFIG_UPDATE_STRUCT);
inline constexpr uint32_t kApmTestCycleStatusSize = 16;
inline constexpr uint32_t kStatisticsSize = 288;

}  // namespace wire
