#include "lapi/reads.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "lapi/config_bracket.h"
#include "lapi/frame.h"
#include "scsi/discovery.h"
#include "scsi/tolvo.h"
#include "scsi/tolvo_builders.h"
#include "support/console_redir.h"
#include "support/sleep.h"
#include "support/trace.h"
#include "wire/controller.h"
#include "wire/vendor_ops.h"

namespace {

constexpr uint32_t kLapiTrace = 0x10;

// A read operation with its entry and exit trace lines.
uint32_t tracedRead(const char* operation, int index, const char* command, uint8_t mode, uint8_t bufferId,
                    uint8_t b3, uint8_t b4, uint8_t b5, uint8_t* data, uint32_t size) {
    LAPITraceIn(operation);
    uint32_t result = LAPIFramedRead(index, command, mode, bufferId, b3, b4, b5, data, size, size);
    LAPITraceOut(operation);
    return result;
}

uint32_t featureQuery(const char* operation, int index, uint8_t* data, uint16_t bit, uint32_t missing) {
    uint32_t result = LAPIGetControllerInfoAndDriveFailureInfo(index, data);
    LAPITraceIn(operation);
    if (result == LAPI_SUCCESS && !(LAPIFeatureFlags(data) & bit)) result = missing;
    LAPITraceOut(operation);
    return result;
}

}  // namespace

uint32_t LAPIFramedRead(int index, const char* command, uint8_t mode, uint8_t bufferId, uint8_t b3, uint8_t b4,
                        uint8_t b5, uint8_t* data, uint32_t size, uint32_t need) {
    return LAPIExecute(index, LapiSite{command}, [&](ITL_HANDLE_STRUCT* handle, SCSI_COMMAND_STRUCT* request) {
        setTolvoCdb(request, wire::kOpReadBuffer, mode, bufferId, b3, b4, b5);
        uint32_t received = 0;
        uint8_t wsc = TOLVO_SendCommand(handle, request, data, size, nullptr, &received);
        if (wsc == WSC_GOOD && received < need) {
            DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "%s: reply of %u bytes, %u needed", command, received, need);
            std::memset(data, 0, size);
            wsc = WSC_OS_ERROR;
        }
        return wsc;
    });
}

uint16_t LAPIFeatureFlags(const uint8_t* controllerInfo) {
    wire::ALL_CONTROLLER_INFO_AND_FAIL_STRUCT all;
    std::memcpy(&all, controllerInfo, sizeof all);
    return wire::activeController(all).featureFlags.get();
}

uint32_t LAPIGetControllerInfoAndDriveFailureInfo(int index, uint8_t* data) {
    return tracedRead("LAPIGetControllerInfoAndDriveFailureInfo", index, "TOLVO_GetControllerInfo",
                      wire::kModeData, wire::buf::GetControllerInfo, 0, 0, 0, data, kControllerInfoReplySize);
}

uint32_t LAPIGetEnclosureDriveData(int index, uint8_t* data, uint8_t* count) {
    uint32_t result = tracedRead("LAPIGetEnclosureDriveData", index, "TOLVO_GetAllDriveInfo", wire::kModeData,
                                 wire::buf::GetAllDriveInfo, 0, 0, 0, data, kDriveInfoReplySize);
    if (result == LAPI_SUCCESS && count != nullptr) *count = data[4];
    return result;
}

uint32_t LAPIGetHostInfo(int index, uint8_t* data) {
    return tracedRead("LAPIGetHostInfo", index, "TOLVO_GetAllHostInfo", wire::kModeData, wire::buf::GetAllHostInfo,
                      0, 0, 0, data, kHostInfoReplySize);
}

uint32_t LAPIGetInitializationJobInfo(int index, uint8_t* data) {
    return tracedRead("LAPIGetInitializationJobInfo", index, "TOLVO_GetAllInitInfo", wire::kModeVendor,
                      wire::buf::GetAllInitInfo, 0, 0, 0, data, kInitInfoReplySize);
}

uint32_t LAPIGetDriveAPMTestCycleStatus(int index, uint8_t* data) {
    return tracedRead("LAPIGetDriveAPMTestCycleStatus", index, "TOLVO_GetDriveAPMTestCycleStatus", wire::kModeVendor,
                      wire::buf::APMTestCycleStatus, 0, 0, 0, data, kApmTestCycleReplySize);
}

uint32_t LAPIGetArrayAPMTestCycleStatus(int index, uint8_t* data, uint8_t array) {
    return tracedRead("LAPIGetArrayAPMTestCycleStatus", index, "TOLVO_GetArrayAPMTestCycleStatus", wire::kModeVendor,
                      wire::buf::APMTestCycleStatus, 1, array, 0, data, kApmTestCycleReplySize);
}

uint32_t LAPIGetDriveAPMStatus(int index, uint8_t* data) {
    return tracedRead("LAPIGetDriveAPMStatus", index, "TOLVO_GetDriveAPMStatus", wire::kModeData,
                      wire::buf::GetDriveAPMStatus, 0, 0, 0, data, kDriveApmReplySize);
}

uint32_t LAPIGetAPM1CurrentConfigInfo(int index, uint8_t* data) {
    return tracedRead("LAPIGetAPM1CurrentConfigInfo", index, "TOLVO_ReadDriveAPMConfigInfo", wire::kModeVendor,
                      wire::buf::ReadDriveAPMConfigInfo, 0, 0, 0, data, kApm1ReplySize);
}

uint32_t LAPIReadInternalLogicalDrives(int index, uint8_t* data) {
    return tracedRead("LAPIReadInternalLogicalDrives", index, "TOLVO_ReadInternalLogicalDrives", wire::kModeVendor,
                      wire::buf::ReadInternalLogicalDrives, 0, 0, 0, data, kInternalLdReplySize);
}

uint32_t LAPIReadOverWriteDataAreas(int index, uint8_t* data) {
    return tracedRead("LAPIReadOverWriteDataAreas", index, "TOLVO_ReadOverWriteDataAreas", wire::kModeVendor,
                      wire::buf::ReadOverWriteDataAreas, 0, 0, 0, data, kOdaReplySize);
}

uint32_t LAPIReadOverWriteDataAreaStats(int index, uint8_t* data) {
    return tracedRead("LAPIReadOverWriteDataAreaStats", index, "TOLVO_ReadOverWriteDataAreaStats",
                      wire::kModeVendor, wire::buf::ReadOverWriteDataAreaStats, 0, 0, 0, data, kOdaStatsReplySize);
}

uint32_t LAPIReadSnapshotData(int index, uint16_t selector, uint8_t* data) {
    return tracedRead("LAPIReadSnapshotData", index, "TOLVO_ReadSnapshotData", wire::kModeVendor,
                      wire::buf::ReadSnapshotData, 0, static_cast<uint8_t>(selector >> 8),
                      static_cast<uint8_t>(selector), data, kSnapshotReplySize);
}

uint32_t LAPIReadOverWriteDataAreasR2_2(int index, uint8_t* data) {
    return tracedRead("LAPIReadOverWriteDataAreasR2_2", index, "TOLVO_ReadOverWriteDataAreas_R2_2",
                      wire::kModeVendor, wire::buf::ReadOverWriteDataAreas_R2_2, 0, 0, 0, data, kOdaR2_2ReplySize);
}

uint32_t LAPIReadSnapshotDataR2_2(int index, uint8_t* data) {
    return tracedRead("LAPIReadSnapshotDataR2_2", index, "TOLVO_ReadSnapshotData_R2_2", wire::kModeVendor,
                      wire::buf::ReadSnapshotData_R2_2, 0, 0, 0, data, kSnapshotR2_2ReplySize);
}

uint32_t LAPIGetConfigUpdateInProgress(int index, uint8_t* data) {
    return tracedRead("LAPIGetConfigUpdateInProgress", index, "TOLVO_ReadConfigUpdateInProgress",
                      wire::kModeVendor, wire::buf::ReadConfigUpdateInProgress, 1, 0, 0, data,
                      kConfigUpdateReplySize);
}

uint32_t LAPIGetRAIDConfigurationData(int index, uint8_t* data) {
    return tracedRead("LAPIGetRAIDConfigurationData", index, "TOLVO_ReadCurrentConfig", wire::kModeData,
                      wire::buf::ReadCurrentConfig, 0, 0, 0, data, kConfigReplySize);
}

uint32_t LAPIGetRegionMap(int index, uint8_t* data) {
    return tracedRead("LAPIGetRegionMap", index, "LAPI_ReadRegionMap", wire::kModeVendor, wire::buf::ReadRegionMap,
                      0, wire::kFlagYes, 0, data, kRegionMapReplySize);
}

uint32_t LAPIGetAPMStatus(int index, uint8_t* data) {
    return featureQuery("LAPIGetAPMStatus", index, data, wire::kFeatureApm, LAPI_ERR_APM_NOT_ENABLED);
}

uint32_t LAPIGetAsynchronousFeatureSupported(int index, uint8_t* data) {
    return featureQuery("LAPIGetAsynchronousFeatureSupported", index, data, wire::kFeatureAsyncConfig,
                        LAPI_ERR_ASYNC_NOT_ENABLED);
}

uint32_t LAPIGetAdvancePerformanceSupportStatus(int index, uint8_t* data) {
    return featureQuery("LAPIGetAdvancePerformanceSupportStatus", index, data, wire::kFeatureAdvPerformance,
                        LAPI_ERR_ADV_PERF_NOT_ENABLED);
}

uint32_t LAPIGetAllInformation(int index, const ALL_INFORMATION_SET* set) {
    DIDEDebug(kLapiTrace, 1, "  ->In: LAPIGetAllInformation. Waiting for saved config to become ready.");
    uint32_t result = LAPI_SUCCESS;
    ITL_HANDLE_STRUCT* handle = nullptr;
    if (LAPIFrameHandle(index, &handle, LapiSite{"LAPIGetAllInformation"}) != LAPI_SUCCESS)
        return LAPI_ERR_NO_VALID_HANDLE;

    lqcl::sleepMicroseconds(1000000);
    int attempt = 0;
    {
        // From the second attempt on, the start's own messages are not shown.
        std::unique_ptr<ConsoleRedirection> quiet;
        for (attempt = 1; attempt <= 3; ++attempt) {
            if (attempt == 2) {
                quiet = std::make_unique<ConsoleRedirection>("/dev/null");
                if (!quiet->active()) {
                    quiet.reset();
                    std::printf("\nconsole_redir2() failed\n");
                }
            }
            wire::CONFIG_CHANGE_STRUCT change{};
            change.expansionBlocks.set(wire::kFlagYes);
            result = LAPIStartConfig(index, &change);
            if (result == LAPI_SUCCESS) break;
            lqcl::sleepMicroseconds(1000000);
        }
    }
    if (result == LAPI_SUCCESS && attempt > 1)
        DIDEDebug(kLapiTrace, 4, "\nLAPIGetAllInformation Configuration ready loop got to %d", attempt);
    else if (result != LAPI_SUCCESS)
        DIDEDebug(kLapiTrace, 4, "\nCritical Error: Configuration still not ready after 15 seconds");
    lqcl::sleepMicroseconds(33000);

    auto read = [&](uint8_t* data, auto op) {
        if (data == nullptr || result != LAPI_SUCCESS) return;
        if (op(index, data) != LAPI_SUCCESS) result = LAPI_ERR_DATA_UNREAD;
    };
    if (set->config != nullptr && LAPIGetRAIDConfigurationData(index, set->config) != LAPI_SUCCESS)
        result = LAPI_ERR_DATA_UNREAD;
    read(set->controllerInfo, LAPIGetControllerInfoAndDriveFailureInfo);
    read(set->driveInfo, [](int i, uint8_t* d) { return LAPIGetEnclosureDriveData(i, d, nullptr); });
    read(set->initInfo, LAPIGetInitializationJobInfo);
    read(set->hostInfo, LAPIGetHostInfo);
    read(set->regionMap, LAPIGetRegionMap);
    DIDEDebug(kLapiTrace, 1, "  <-Out: LAPIGetAllInformation");
    return result;
}

uint32_t LAPIDisplayDiagDump(int index) {
    LAPITraceIn("LAPIDisplayDiagDump");
    ITL_HANDLE_STRUCT* handle = nullptr;
    if (LAPIFrameHandle(index, &handle, LapiSite{"TOLVO_GetDiagnosticsDump"}) != LAPI_SUCCESS)
        return LAPI_ERR_NO_VALID_HANDLE;
    std::unique_ptr<uint8_t[]> dump(new (std::nothrow) uint8_t[kDiagDumpMaxSize]());
    if (!dump) {
        std::printf("ERROR: Could not allocate enough memory to get the diagnostic dump\n\n");
        return LAPI_ERR_COMMAND_FAILED;
    }
    SCSI_COMMAND_STRUCT request{};
    if (TOLVO_SendHeaderOnly(handle, &request, wire::buf::DiagnosticsDumpRequest, 0, 0, 0) != WSC_GOOD)
        return LAPI_ERR_COMMAND_FAILED;
    std::printf("\n\n\n\nDiagnosticsSnapShot : ");
    if (LAPIFramedRead(index, "TOLVO_GetDiagnosticsDump", wire::kModeData, wire::buf::DiagnosticsDump, 0, 0, 0,
                   dump.get(), kDiagDumpMaxSize, 4) != LAPI_SUCCESS)
        return LAPI_ERR_COMMAND_FAILED;
    uint32_t size = wire::loadLe32(dump.get());
    std::printf("GetDiagnosticsDump  : ");
    std::printf("\n\nSize of Diag Dump = %lu (MAX:%lu)\n", static_cast<unsigned long>(size),
                static_cast<unsigned long>(kDiagDumpMaxSize));
    if (size > kDiagDumpMaxSize) size = kDiagDumpMaxSize;
    std::printf("------DIAG DUMP BEGIN------\n");
    for (uint32_t i = 4; i < size; ++i) std::printf("%c", dump[i]);
    std::printf("\n------DIAG DUMP END------\n\n\n");
    LAPITraceOut("LAPIDisplayDiagDump");
    return LAPI_SUCCESS;
}
