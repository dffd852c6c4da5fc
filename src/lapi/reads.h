// Library-API reads: one framed vendor READ BUFFER per operation into a buffer
// the caller owns and sizes to the full reply.
#pragma once

#include <cstddef>
#include <cstdint>

// Reply sizes.
inline constexpr size_t kControllerInfoReplySize = 1792;
inline constexpr size_t kDriveInfoReplySize = 9080;
inline constexpr size_t kHostInfoReplySize = 12296;
inline constexpr size_t kInitInfoReplySize = 256;
inline constexpr size_t kConfigReplySize = 940032;
inline constexpr size_t kRegionMapReplySize = 21656;
inline constexpr size_t kConfigUpdateReplySize = 144;
inline constexpr size_t kInternalLdReplySize = 1028;
inline constexpr size_t kOdaReplySize = 2056;
inline constexpr size_t kOdaStatsReplySize = 868;
inline constexpr size_t kSnapshotReplySize = 392;
inline constexpr size_t kOdaR2_2ReplySize = 16396;
inline constexpr size_t kSnapshotR2_2ReplySize = 20484;
inline constexpr size_t kDiagDumpMaxSize = 2000000;

// The information set: six buffers refreshed together; each may be null.
struct ALL_INFORMATION_SET {
    uint8_t* config;          // CONFIG_STORAGE_STRUCT
    uint8_t* controllerInfo;  // ALL_CONTROLLER_INFO_AND_FAIL_STRUCT
    uint8_t* hostInfo;        // ALL_HOST_INFO_STRUCT
    uint8_t* initInfo;        // initialisation jobs
    uint8_t* driveInfo;       // ALL_DRIVE_INFO_STRUCT
    uint8_t* regionMap;       // ADDRESS_REGION_MAP_STRUCT
};

// One framed vendor READ BUFFER (mode, buffer ID, CDB bytes 3-5) of `size`
// bytes into `data`. A reply shorter than `need` bytes (what the caller
// decodes) is not decoded as zeros: it fails like a failed path, so the frame
// tries the next path.
uint32_t LAPIFramedRead(int index, const char* command, uint8_t mode, uint8_t bufferId, uint8_t b3, uint8_t b4,
                        uint8_t b5, uint8_t* data, uint32_t size, uint32_t need);

uint32_t LAPIGetControllerInfoAndDriveFailureInfo(int index, uint8_t* data);
uint32_t LAPIGetEnclosureDriveData(int index, uint8_t* data, uint8_t* count);
uint32_t LAPIGetHostInfo(int index, uint8_t* data);
uint32_t LAPIGetInitializationJobInfo(int index, uint8_t* data);
uint32_t LAPIReadInternalLogicalDrives(int index, uint8_t* data);
uint32_t LAPIReadOverWriteDataAreas(int index, uint8_t* data);
uint32_t LAPIReadOverWriteDataAreaStats(int index, uint8_t* data);
uint32_t LAPIReadSnapshotData(int index, uint16_t selector, uint8_t* data);
uint32_t LAPIReadOverWriteDataAreasR2_2(int index, uint8_t* data);
uint32_t LAPIReadSnapshotDataR2_2(int index, uint8_t* data);
uint32_t LAPIGetConfigUpdateInProgress(int index, uint8_t* data);
uint32_t LAPIGetRAIDConfigurationData(int index, uint8_t* data);
uint32_t LAPIGetRegionMap(int index, uint8_t* data);

// Feature bits of the controller record that applies, from a controller
// information reply.
uint16_t LAPIFeatureFlags(const uint8_t* controllerInfo);

// Feature queries: the controller information read into `data`, then 1014,
// 1015 or 1016 when the feature bit is clear.
uint32_t LAPIGetAPMStatus(int index, uint8_t* data);
uint32_t LAPIGetAsynchronousFeatureSupported(int index, uint8_t* data);
uint32_t LAPIGetAdvancePerformanceSupportStatus(int index, uint8_t* data);

// Drive power control (APM) reads.
inline constexpr size_t kApmTestCycleReplySize = 16;
inline constexpr size_t kDriveApmReplySize = 2024;
inline constexpr size_t kApm1ReplySize = 16;
uint32_t LAPIGetDriveAPMTestCycleStatus(int index, uint8_t* data);
uint32_t LAPIGetArrayAPMTestCycleStatus(int index, uint8_t* data, uint8_t array);
uint32_t LAPIGetDriveAPMStatus(int index, uint8_t* data);
uint32_t LAPIGetAPM1CurrentConfigInfo(int index, uint8_t* data);

uint32_t LAPIGetAllInformation(int index, const ALL_INFORMATION_SET* set);
uint32_t LAPIDisplayDiagDump(int index);
