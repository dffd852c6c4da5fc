// Configuration changes made inside a start/save bracket: ranks (pools), host
// LUNs (volumes), LUN maps, hot spares, names, cache parameters and header
// settings. Most follow the common change pattern: up to 20 attempts, each
// announced when the controller refuses the start or the save; after the save
// the caller's information set is read again and that read's result returned.
#pragma once

#include <cstdint>

#include "lapi/reads.h"
#include "wire/requests.h"

inline constexpr size_t kPoolRequestDrives = 16;
inline constexpr size_t kVolumeRequestSegments = 16;

// A new rank (LAPICreatePool).
struct CREATE_POOL_REQUEST {
    uint8_t numDrives;                       // requested drive count
    uint64_t drives[kPoolRequestDrives];     // drive WWNs; a zero WWN is skipped
    uint32_t raidLevel;                      // 0, 1, 3, 5, 6, 10, 13, 15, 30 or 50
    uint32_t chunkKb;                        // chunk size in kB
    uint32_t cacheGiven;                     // 0: controller defaults
    char name[33];                           // NUL-terminated; empty means "default"
    uint8_t backOff;                         // capacity back-off code
    uint8_t trusted;                         // 1: create without initialisation
    uint16_t readAheadCode;
    uint16_t writeBackCode;
    uint8_t mirror;
    uint8_t batteryRequired;                 // checked by the caller
    uint8_t faultToleranceRequired;          // checked by the caller
    uint8_t enforceWriteBack;
    ALL_INFORMATION_SET info;                // not refreshed by LAPICreatePool
};

// A new host LUN, or more segments for one (LAPICreateVolume, LAPIExpandVolume).
struct CREATE_VOLUME_REQUEST {
    uint16_t segmentCount;                            // 1 to 16
    uint16_t logicalDrive;                            // index (new: the current total)
    uint16_t capacityGb[kVolumeRequestSegments];
    uint16_t freeRegionNo[kVolumeRequestSegments];    // numbered as before the request
    uint16_t hostBlockSize;
    char name[33];                                    // NUL-terminated; empty means "default"
    ALL_INFORMATION_SET info;
};

// A LUN of one host's map (LAPICreateMapping).
struct CREATE_MAPPING_REQUEST {
    uint64_t nodeWwn;
    uint64_t portWwn;
    uint32_t logicalDrive;     // logical drive or snapshot number
    uint16_t lun;              // the LUN the host sees, 0 to 511
    ALL_INFORMATION_SET info;  // its image is where the host's map is looked up
    uint32_t entryBits;        // port bits, kLunSnapshot, kLunReadOnly
    char hostName[33];         // NUL-terminated; empty: the generated name
};

struct SET_CONFIG_NAME_REQUEST {
    char name[65];             // NUL-terminated; empty means "default"
    ALL_INFORMATION_SET info;
};

// Requests naming one rank (trust, delete).
struct POOL_REQUEST {
    uint8_t rank;              // rank index
    ALL_INFORMATION_SET info;
};

struct SET_POOL_NAME_REQUEST {
    uint8_t rank;
    char name[65];
    ALL_INFORMATION_SET info;
};

struct SET_VOLUME_NAME_REQUEST {
    uint16_t logicalDrive;       // logical drive index
    char name[65];               // NUL-terminated; empty means "default"
    ALL_INFORMATION_SET info;    // refreshed after the change
};

struct SET_HOST_LUN_AVAILABILITY_REQUEST {
    uint32_t logicalDrive;       // logical drive index
    uint8_t portMask;            // controller ports the drive is available on
    ALL_INFORMATION_SET info;
};

struct EXPAND_POOL_REQUEST {
    uint8_t rank;
    uint8_t numDrives;
    uint64_t drives[kPoolRequestDrives];   // a zero WWN is skipped
    ALL_INFORMATION_SET info;
};

struct DELETE_VOLUME_REQUEST {
    uint16_t logicalDrive;
    ALL_INFORMATION_SET info;
};

struct MODIFY_MAPPING_REQUEST {
    uint16_t mapIndex;
    wire::CREATE_LUN_MAPPING_STRUCT map;
    ALL_INFORMATION_SET info;
};

inline constexpr uint8_t kDeleteMappingReAdd = 0xF0;   // delete, then re-add from the image
inline constexpr uint8_t kDeleteMappingOnly = 0xF1;
struct DELETE_MAPPING_REQUEST {
    uint16_t mapIndex;
    uint8_t flag;              // kDeleteMapping*
    ALL_INFORMATION_SET info;  // its image holds the (edited) map to re-add
};

struct CREATE_HOT_SPARE_REQUEST {
    uint64_t wwn;
    uint8_t rank;              // rank index or kGlobalSpare
    ALL_INFORMATION_SET info;
};

struct DELETE_HOT_SPARE_REQUEST {
    uint8_t spare;
    ALL_INFORMATION_SET info;
};

struct RANK_CACHE_PARAMS_REQUEST {
    uint8_t rank;
    uint8_t readAheadCode;
    uint8_t writeBackCode;
    uint8_t mirror;
    uint8_t batteryRequired;
    uint8_t faultToleranceRequired;
    uint8_t enforceWriteBack;
    ALL_INFORMATION_SET info;
};

struct SET_CONFIG_WWN_REQUEST {
    uint32_t controller;       // 1 or 2
};

struct MODIFY_CONFIG_HEADER_REQUEST {
    uint8_t value[3];          // cache flush, sequential write, thread balance
    ALL_INFORMATION_SET info;
};

// Parity check (start or stop) of one rank, and its cancellation.
struct PARITY_CHECK_REQUEST {
    uint8_t checkAll;          // 0xF1 start, 0xF0 stop
    uint8_t array;             // rank index
    uint8_t mode;              // 1, 2 or 3
    ALL_INFORMATION_SET info;
};
struct CANCEL_PARITY_CHECK_REQUEST {
    uint32_t unused;
    ALL_INFORMATION_SET info;
};

// The rank level code of a requested RAID level.
uint8_t LAPIPoolLevelCode(uint32_t raidLevel);
// Parity groups of a RAID 50 rank of `drives` drives; `drives` drops to the
// count the groups hold.
uint8_t LAPIPoolParityGroups(uint8_t& drives);
// Controller LUN of a host map: the LUN above the highest used slot, the
// lowest free slot when slot 511 is used, else `none`.
uint16_t LAPIControllerLunFor(const wire::le16* entries, uint16_t none);

uint32_t LAPIClearConfiguration(int index);
uint32_t LAPISetConfigName(int index, SET_CONFIG_NAME_REQUEST* request);
uint32_t LAPICreatePool(int index, CREATE_POOL_REQUEST* request);
uint32_t LAPIExpandPool(int index, EXPAND_POOL_REQUEST* request);
uint32_t LAPITrustPool(int index, POOL_REQUEST* request);
uint32_t LAPISetPoolName(int index, SET_POOL_NAME_REQUEST* request);
uint32_t LAPIDeletePool(int index, POOL_REQUEST* request);
uint32_t LAPICreateVolume(int index, CREATE_VOLUME_REQUEST* request);
uint32_t LAPIExpandVolume(int index, CREATE_VOLUME_REQUEST* request);
uint32_t LAPISetVolumeName(int index, SET_VOLUME_NAME_REQUEST* request);
uint32_t LAPIDeleteVolume(int index, DELETE_VOLUME_REQUEST* request);
uint32_t LAPISetHostLUNAvailability(int index, SET_HOST_LUN_AVAILABILITY_REQUEST* request);
uint32_t LAPICreateMapping(int index, CREATE_MAPPING_REQUEST* request);
uint32_t LAPIModifyMapping(int index, MODIFY_MAPPING_REQUEST* request);
uint32_t LAPIDeleteMapping(int index, DELETE_MAPPING_REQUEST* request);
uint32_t LAPICreateHotSpare(int index, CREATE_HOT_SPARE_REQUEST* request);
uint32_t LAPIDeleteHotSpare(int index, DELETE_HOT_SPARE_REQUEST* request);
uint32_t LAPISetDriveRankCacheParams(int index, RANK_CACHE_PARAMS_REQUEST* request);
uint32_t LAPISetConfigWWN(int index, SET_CONFIG_WWN_REQUEST* request);
uint32_t LAPIModifyConfigurationHeader(int index, MODIFY_CONFIG_HEADER_REQUEST* request);
uint32_t LAPIParityCheckArray(int index, PARITY_CHECK_REQUEST* request);
uint32_t LAPICancelParityCheckArray(int index, CANCEL_PARITY_CHECK_REQUEST* request);
