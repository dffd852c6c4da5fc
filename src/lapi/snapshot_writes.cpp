#include "lapi/snapshot_writes.h"

#include <cstring>

#include "lapi/config_bracket.h"
#include "lapi/frame.h"
#include "scsi/tolvo.h"
#include "scsi/tolvo_builders.h"
#include "support/sleep.h"
#include "support/trace.h"
#include "wire/vendor.h"
#include "wire/vendor_ops.h"

namespace {

constexpr uint32_t kOdaSettleUs = 5000000;   // before the save of a new ODA

uint32_t refresh(int index, const ALL_INFORMATION_SET* info) { return LAPIGetAllInformation(index, info); }

// The framed command; a failure traces the error line with the wsc.
bool executed(int index, const LapiSite& site, const LapiSend& send, const char* errorLine) {
    LapiOutcome outcome;
    if (LAPIExecute(index, site, send, &outcome) == LAPI_SUCCESS) return true;
    DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "%s wsc=%d", errorLine, outcome.wsc);
    return false;
}

// One change bracket: start once, the command, (a pause,) save once, refresh.
// A failed command is traced and ends the operation without a save.
uint32_t singleChange(int index, const char* operation, const LapiSite& site, const LapiSend& send,
                      const char* errorLine, uint32_t settleUs, const ALL_INFORMATION_SET* info) {
    LAPITraceIn(operation);
    wire::CONFIG_CHANGE_STRUCT bracket{};
    bracket.expansionBlocks.set(wire::kFlagYes);
    uint32_t result = LAPIStartConfig(index, &bracket);
    if (result != LAPI_SUCCESS) return result;
    if (!executed(index, site, send, errorLine)) return LAPI_ERR_COMMAND_FAILED;
    if (settleUs != 0) lqcl::sleepMicroseconds(settleUs);
    result = LAPISaveConfig(index, &bracket);
    if (result == LAPI_SUCCESS) result = refresh(index, info);
    LAPITraceOut(operation);
    return result;
}

// The retried change bracket, with an optional pause before each save.
uint32_t retriedChange(int index, const char* operation, const LapiSite& site, const LapiSend& send,
                       const char* errorLine, uint32_t settleUs, const ALL_INFORMATION_SET* info) {
    return LAPIBracketedChange(
        index, operation, site, errorLine,
        [&] {
            uint32_t r = LAPIExecute(index, site, send);
            if (r == LAPI_SUCCESS && settleUs != 0) lqcl::sleepMicroseconds(settleUs);
            return r;
        },
        [&] { return refresh(index, info); });
}

// The command frame alone, then a refresh.
uint32_t framedChange(int index, const char* operation, const LapiSite& site, const LapiSend& send,
                      const char* errorLine, const ALL_INFORMATION_SET* info) {
    LAPITraceIn(operation);
    if (!executed(index, site, send, errorLine)) return LAPI_ERR_COMMAND_FAILED;
    uint32_t result = refresh(index, info);
    LAPITraceOut(operation);
    return result;
}

}  // namespace

uint32_t LAPICreateODA(int index, CREATE_ODA_REQUEST* q) {
    if (q == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const auto oda = static_cast<uint8_t>(q->oda);
    return singleChange(
        index, "LAPICreateODA", LapiSite{"TOLVO_CreateOverWriteDataArea", "LAPI_EXECUTE_4"},
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
            return TOLVO_CreateOverWriteDataArea(h, r, oda, q->logicalDrive, q->stripeSize);
        },
        "Error: Failed to create ODA", kOdaSettleUs, &q->info);
}

uint32_t LAPICreateODAR2_2(int index, CREATE_ODA_REQUEST* q) {
    if (q == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    return retriedChange(
        index, "LAPICreateODAR2_2", LapiSite{"TOLVO_CreateOverWriteDataArea_R2_2", "LAPI_EXECUTE_4"},
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
            return TOLVO_CreateOverWriteDataArea_R2_2(h, r, q->oda, q->logicalDrive, q->stripeSize);
        },
        "Error: Failed to create ODA R2_2", kOdaSettleUs, &q->info);
}

uint32_t LAPIReleaseODA(int index, RELEASE_ODA_REQUEST* q) {
    if (q == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const auto oda = static_cast<uint8_t>(q->oda);
    return singleChange(
        index, "LAPIReleaseODA", LapiSite{"TOLVO_ReleaseOverWriteDataArea", "LAPI_EXECUTE_4"},
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) { return TOLVO_ReleaseOverWriteDataArea(h, r, oda); }, "Error: Failed to release ODA", 0, &q->info);
}

uint32_t LAPIReleaseODAR2_2(int index, RELEASE_ODA_REQUEST* q) {
    if (q == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const auto oda = static_cast<uint16_t>(q->oda);
    return retriedChange(
        index, "LAPIReleaseODAR2_2", LapiSite{"TOLVO_ReleaseOverWriteDataArea_R2_2", "LAPI_EXECUTE_4"},
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) { return TOLVO_ReleaseOverWriteDataArea_R2_2(h, r, oda); },
        "Error: Failed to release ODA R2_2", 0, &q->info);
}

uint32_t LAPITakeSnapshot(int index, TAKE_SNAPSHOT_REQUEST* q) {
    if (q == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    return singleChange(
        index, "LAPITakeSnapshot", LapiSite{"TOLVO_TakeSnapshot", "LAPI_EXECUTE_4"},
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) { return TOLVO_TakeSnapshot(h, r, q->logicalDrive, q->option); },
        "Error: Failed to take snapshot", 0, &q->info);
}

uint32_t LAPITakeSnapshotR22(int index, TAKE_SNAPSHOT_REQUEST* q) {
    if (q == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    return framedChange(
        index, "LAPITakeSnapshotR22", LapiSite{"TOLVO_TakeSnapshot", "LAPI_EXECUTE_4"},
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) { return TOLVO_TakeSnapshot(h, r, q->logicalDrive, q->option); },
        "Error: Failed to take snapshot R2_2", &q->info);
}

uint32_t LAPIDeleteSnapshot(int index, DELETE_SNAPSHOT_REQUEST* q) {
    if (q == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    return singleChange(
        index, "LAPIDeleteSnapshot", LapiSite{"TOLVO_DeleteSnapshot", "LAPI_EXECUTE_4"},
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
            return TOLVO_DeleteSnapshot(h, r, q->snapshot, q->logicalDrive, q->flags);
        },
        "Error: Failed to delete snapshot", 0, &q->info);
}

uint32_t LAPIDeleteSnapshotR22(int index, DELETE_SNAPSHOT_REQUEST* q) {
    if (q == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    return framedChange(
        index, "LAPIDeleteSnapshotR22", LapiSite{"TOLVO_DeleteSnapshot", "LAPI_EXECUTE_4"},
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
            return TOLVO_DeleteSnapshot(h, r, q->snapshot, q->logicalDrive, q->flags);
        },
        "Error: Failed to delete snapshot R2_2", &q->info);
}

uint32_t LAPIAssignVirtualLunSnap(int index, ASSIGN_VIRTUAL_LUN_REQUEST* q) {
    if (q == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    return singleChange(
        index, "LAPIAssignVirtualLunSnap", LapiSite{"TOLVO_AssignVirtualLunSnap", "LAPI_EXECUTE_4"},
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
            return TOLVO_AssignVirtualLunSnap(h, r, q->logicalDrive, q->snapshot, q->flags);
        },
        "Error: Failed to assign virtual LUN", 0, &q->info);
}

uint32_t LAPISnapback(int index, SNAPBACK_REQUEST* q) {
    if (q == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    return singleChange(
        index, "LAPISnapback", LapiSite{"TOLVO_Snapback", "LAPI_EXECUTE_4"},
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) { return TOLVO_Snapback(h, r, q->logicalDrive, q->snapshot); },
        "Error: Failed to snap back", 0, &q->info);
}

uint32_t LAPISnapbackR2_2(int index, SNAPBACK_REQUEST* q) {
    if (q == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    return framedChange(
        index, "LAPISnapbackR2_2", LapiSite{"TOLVO_Snapback_R2_2", "LAPI_EXECUTE_4"},
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
            return TOLVO_Snapback_R2_2(h, r, q->logicalDrive, q->snapshot, q->option);
        },
        "Error: Failed to snap back R2_2", &q->info);
}

uint32_t LAPIAssignODA(int index, ASSIGN_ODA_REQUEST* q) {
    if (q == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const auto oda = static_cast<uint8_t>(q->oda);
    return singleChange(
        index, "LAPIAssignODA", LapiSite{"TOLVO_AssignOda", "LAPI_EXECUTE_4"},
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) { return TOLVO_AssignOda(h, r, oda, q->logicalDrive, q->mode); },
        "Error: Failed to assign ODA", 0, &q->info);
}

uint32_t LAPIAssignODAR2_2(int index, ASSIGN_ODA_REQUEST* q) {
    if (q == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    return retriedChange(
        index, "LAPIAssignODAR2_2", LapiSite{"TOLVO_AssignOda_R2_2", "LAPI_EXECUTE_4"},
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
            return TOLVO_AssignOda_R2_2(h, r, q->oda, q->logicalDrive, q->mode);
        },
        "Error: Failed to assign ODA R2_2", 0, &q->info);
}

// ---- volume copy ------------------------------------------------------------

namespace {

uint32_t changeVolumeCopy(int index, const char* operation, uint16_t lun, uint8_t action, uint16_t value) {
    return LAPIFramedOperation(
        index, operation, LapiSite{"TOLVO_ChangeVolumeCopySettings"},
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) { return TOLVO_ChangeVolumeCopySettings(h, r, lun, action, value); },
        [&](uint8_t wsc) {
            DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "Error: Failed to change volume copy settings LUN %d action %d wsc=%d",
                      lun, action, wsc);
        });
}

}  // namespace

uint32_t LAPISetupVolumeCopy(int index, const VOLUME_COPY_SETUP_REQUEST* q) {
    if (q == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    return LAPIFramedOperation(
        index, "LAPISetupVolumeCopy", LapiSite{"TOLVO_SetupVolumeCopy"},
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
            return TOLVO_SetupVolumeCopy(h, r, q->source, q->destination, q->type, q->priority);
        },
        [&](uint8_t wsc) {
            DIDEDebug(TRACE_LAPI, DETAIL_ERROR,
                      "Error: Failed to setup volume copy source %d destination %d type %d wsc=%d", q->source,
                      q->destination, q->type, wsc);
        });
}

uint32_t LAPISetVolumeCopyPriority(int index, uint16_t lun, uint8_t priority) {
    return changeVolumeCopy(index, "LAPISetVolumeCopyPriority", lun, 1, priority);
}
uint32_t LAPIResumeVolumeCopy(int index, uint16_t lun) { return changeVolumeCopy(index, "LAPIResumeVolumeCopy", lun, 2, 0); }
uint32_t LAPIPauseVolumeCopy(int index, uint16_t lun) { return changeVolumeCopy(index, "LAPIPauseVolumeCopy", lun, 3, 0); }
uint32_t LAPIAbortVolumeCopy(int index, uint16_t lun) { return changeVolumeCopy(index, "LAPIAbortVolumeCopy", lun, 4, 0); }
uint32_t LAPIStartCopyBack(int index, uint16_t lun) { return changeVolumeCopy(index, "LAPIStartCopyBack", lun, 5, 0); }

namespace {

uint32_t readVolumeCopyStatus(int index, wire::LD_DUPLICATION_STATUS_STRUCT* status) {
    uint8_t reply[sizeof(wire::LD_DUPLICATION_STATUS_STRUCT)] = {};
    // A reply cut short is a failed read, not a status of zeros.
    uint32_t result = LAPIFramedRead(index, "TOLVO_GetVolumeCopyStatus", wire::kModeData, wire::buf::GetVolumeCopyStatus,
                                     0, 0, 0, reply, sizeof reply, sizeof reply);
    if (result != LAPI_SUCCESS) {
        DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "Error: get volume copy status");
        return LAPI_ERR_COMMAND_FAILED;
    }
    std::memcpy(status, reply, sizeof reply);
    if (status->wSize.get() != sizeof reply) {
        DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "Error: Firmware returned size 0x%x for LD_DUPLICATION_STATUS_STRUCT.  Expected 0x%x.",
                  status->wSize.get(), static_cast<unsigned>(sizeof reply));
        return LAPI_ERR_COMMAND_FAILED;
    }
    return LAPI_SUCCESS;
}

}  // namespace

uint32_t LAPIGetAllVolumeCopyStatus(int index, wire::LD_DUPLICATION_STATUS_STRUCT* status) {
    if (status == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    LAPITraceIn("LAPIGetAllVolumeCopyStatus");
    uint32_t result = readVolumeCopyStatus(index, status);
    LAPITraceOut("LAPIGetAllVolumeCopyStatus");
    return result;
}

uint32_t LAPIGetVolumeCopyStatus(int index, uint16_t destination, wire::LD_DUPLICATION_TASK_STATUS_STRUCT* task) {
    if (task == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    LAPITraceIn("LAPIGetVolumeCopyStatus");
    wire::LD_DUPLICATION_STATUS_STRUCT all;
    uint32_t result = readVolumeCopyStatus(index, &all);
    if (result == LAPI_SUCCESS) {
        result = LAPI_ERR_BAD_PARAMETERS;
        for (const auto& t : all.task) {
            if (t.wDuplicationDestinationLun.get() != destination) continue;
            *task = t;
            result = LAPI_SUCCESS;
            break;
        }
        if (result != LAPI_SUCCESS)
            DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "Error: no volume copy status found for destination LD 0x%x", destination);
    }
    LAPITraceOut("LAPIGetVolumeCopyStatus");
    return result;
}

// ---- configuration write-back ----------------------------------------------

uint32_t LAPISetRAIDConfigurationData(int index, uint8_t* image) {
    if (image == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    return LAPIFramedOperation(
        index, "LAPISetRAIDConfigurationData", LapiSite{"TOLVO_RestoreConfig"},
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
            setTolvoCdb(r, wire::kOpWriteBuffer, wire::kModeData, wire::buf::RestoreConfig, 0, 0, 0);
            return TOLVO_SendCommand(h, r, image, static_cast<uint32_t>(kConfigReplySize), nullptr);
        },
        [](uint8_t wsc) { DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "Error: Failed to restore configuration wsc=%d", wsc); });
}
