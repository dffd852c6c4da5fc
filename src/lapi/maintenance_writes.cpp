#include "lapi/maintenance_writes.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "lapi/config_bracket.h"
#include "lapi/frame.h"
#include "scsi/tolvo.h"
#include "scsi/tolvo_builders.h"
#include "support/trace.h"
#include "wire/config.h"
#include "wire/controller.h"
#include "wire/vendor_ops.h"

namespace {

namespace b = wire::buf;

// A change inside the start/save bracket; `refresh` (optional) runs after the save.
uint32_t inChange(int index, const char* operation, const char* errorLine, const std::function<uint32_t()>& change,
                  const std::function<uint32_t()>& refresh) {
    return LAPIBracketedChange(index, operation, LapiSite{operation}, errorLine, change, refresh);
}

uint32_t download(int index, const char* operation, const char* command, uint8_t bufferId,
                  const FIRMWARE_REQUEST* request) {
    if (request == nullptr || request->image == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    return LAPIFramedOperation(
        index, operation, LapiSite{command},
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
            setTolvoCdb(r, wire::kOpWriteBuffer, wire::kModeDownload, bufferId, 0, 0, 0);
            return TOLVO_SendCommand(h, r, request->image, request->length, nullptr);
        },
        [&](uint8_t wsc) { DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "Error: Failed to download file to controller %d wsc=%d", index, wsc); });
}

uint32_t statistics(int index, const char* operation, const char* command, uint8_t id, bool read,
                    const STATISTICS_REQUEST* request) {
    if (request == nullptr || (read && request->data == nullptr)) return LAPI_ERR_BAD_PARAMETERS;
    const uint8_t port = request->port;
    const auto hi = static_cast<uint8_t>(request->lun >> 8), lo = static_cast<uint8_t>(request->lun);
    LapiSend send = LAPIHeaderOnly(id, port, hi, lo);
    if (read)
        send = [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
            setTolvoCdb(r, wire::kOpReadBuffer, wire::kModeVendor, id, port, hi, lo);
            return TOLVO_SendCommand(h, r, request->data, kStatisticsReplySize, nullptr);
        };
    return LAPIFramedOperation(index, operation, LapiSite{command}, send, [&](uint8_t wsc) {
        DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "Error: Failed to %s port %d lun %d wsc=%d", read ? "get statistics" : "clear statistics", port,
                   request->lun, wsc);
    });
}

uint32_t pauseOrResume(int index, PAUSE_INIT_REQUEST* request, bool pause) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const uint8_t array = request->array;
    char errorLine[96];
    std::snprintf(errorLine, sizeof errorLine, "Error: Failed to %s Init for pool rankNo %d wsc=%d",
                  pause ? "Pause" : "Unpause", array, WSC_CHECK_CONDITION);
    return inChange(
        index, pause ? "LAPIPauseInit" : "LAPIUnpauseInit", errorLine,
        [&] {
            return LAPIExecute(index, LapiSite{pause ? "TOLVO_PauseInit" : "TOLVO_UnpauseInit"},
                               LAPIHeaderOnly(pause ? b::PauseInit : b::UnpauseInit, array, 0, 0));
        },
        [&] { return LAPIGetAllInformation(index, &request->info); });
}

// One command sent once through the system's current path: no busy retry, no failover.
uint8_t sendOnce(int index, const LapiSend& send) {
    ITL_HANDLE_STRUCT* handle = nullptr;
    if (LAPIFrameHandle(index, &handle, LapiSite{"LAPI_SendOnce"}) != LAPI_SUCCESS) return WSC_OS_ERROR;
    SCSI_COMMAND_STRUCT request{};
    return send(handle, &request);
}

uint8_t clampPriority(uint32_t& field) {
    if (field < 10) field = 10;
    if (field > 90) field = 90;
    return static_cast<uint8_t>(field);
}

}  // namespace

uint32_t LAPIResetController(int index, const uint32_t* controller) {
    if (controller == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const auto c = static_cast<uint8_t>(*controller);
    return LAPIFramedOperation(index, "LAPIResetController", LapiSite{"TOLVO_ResetController"},
                           LAPIHeaderOnly(b::ResetController, c, 0, 0), [&](uint8_t wsc) {
                               DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "Error: Failed to reset controller %d wsc=%d", c, wsc);
                           });
}

uint32_t LAPIShutdownController(int index, const CONTROLLER_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const auto c = static_cast<uint8_t>(request->controller);
    const uint8_t mode = request->mode;
    return LAPIFramedOperation(index, "LAPIShutdownController", LapiSite{"TOLVO_ShutdownController"},
                           LAPIHeaderOnly(b::ShutdownController, c, mode, 0), [&](uint8_t wsc) {
                               DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "Error: Failed to shutdown controller %d mode %d wsc=%d", c, mode, wsc);
                           });
}

uint32_t LAPIFlashDriveLight(int index, const FLASH_LIGHT_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const auto loop = static_cast<uint8_t>(request->loop);
    const auto seconds = static_cast<uint8_t>(request->seconds);
    const uint8_t drive = request->loopId;
    uint32_t result = LAPIFramedOperation(
        index, "LAPIFlashDriveLight", LapiSite{"TOLVO_FlashDriveActivityLight"},
        LAPIHeaderOnly(b::FlashDriveActivityLight, loop, drive, seconds), [&](uint8_t wsc) {
            DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "Error: Failed to Flash Drive Light loopID %d, duration %d, drive %d wsc=%d", loop, seconds,
                       drive, wsc);
        });
    if (result != LAPI_SUCCESS && request->seconds == 0) {
        DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "->In: LAPIFlashDriveLight failed to turn off ident light, bug ignoring error!");
        return LAPI_SUCCESS;
    }
    return result;
}

uint32_t LAPIDownloadFlashToController(int index, const FIRMWARE_REQUEST* request) {
    return download(index, "LAPIDownloadFlashToController", "TOLVO_DownloadControllerFw", b::DownloadControllerFw,
                    request);
}

uint32_t LAPIDownloadDriveIOFirmware(int index, const FIRMWARE_REQUEST* request) {
    return download(index, "LAPIDownloadDriveIOFirmware", "TOLVO_DownloadDiskIoFw", b::DownloadDiskIoFw, request);
}

uint32_t LAPISetManualSpinUpOrDownDrive(int index, const uint8_t p[3]) {
    if (p == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const uint8_t slot = p[0], enclosure = p[1], direction = p[2];
    return LAPIFramedOperation(index, "LAPISetManualSpinUpOrDownDrive", LapiSite{"TOLVO_SpinUpOrDownDrive"},
                           LAPIHeaderOnly(b::SpinUpOrDownDrive, direction, enclosure, slot), [&](uint8_t wsc) {
                               DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "Error: Failed to spin drive slot %d enclosure %d direction %d wsc=%d", slot,
                                          enclosure, direction, wsc);
                           });
}

uint32_t LAPISetDriveFunctionalTest(int index, const uint8_t p[2]) {
    if (p == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const uint8_t slot = p[0], enclosure = p[1];
    return LAPIFramedOperation(index, "LAPISetDriveFunctionalTest", LapiSite{"TOLVO_StartDriveSelfTest"},
                           LAPIHeaderOnly(b::StartDriveSelfTest, enclosure, slot, 0), [&](uint8_t wsc) {
                               DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "Error: Failed to start drive self test slot %d enclosure %d wsc=%d", slot,
                                          enclosure, wsc);
                           });
}

uint32_t LAPISetArrayFunctionalTest(int index, const uint32_t* array) {
    if (array == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const auto a = static_cast<uint8_t>(*array);
    return LAPIFramedOperation(index, "LAPISetArrayFunctionalTest", LapiSite{"TOLVO_StartArraySelfTest"},
                           LAPIHeaderOnly(b::StartArraySelfTest, a, 0, 0), [&](uint8_t wsc) {
                               DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "Error: Failed to start array self test array %d wsc=%d", a, wsc);
                           });
}

uint32_t LAPISetManualSpinUpOrDownArray(int index, const ARRAY_SPIN_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    LAPITraceIn("LAPISetManualSpinUpOrDownArray");
    wire::CONFIG_CHANGE_STRUCT bracket{};
    bracket.expansionBlocks.set(wire::kFlagYes);
    uint32_t result = LAPIStartConfig(index, &bracket);
    if (result == LAPI_SUCCESS) {
        // A direction other than up or down sends nothing and leaves the change
        // open for the controller to discard.
        result = LAPI_ERR_COMMAND_FAILED;
        if (request->direction <= 1) {
            const bool up = request->direction == 1;
            result = LAPIExecute(index, LapiSite{up ? "TOLVO_SpinUpArray" : "TOLVO_SpinDownArray"},
                                 LAPIHeaderOnly(b::SpinUpOrDownArray, request->direction, request->array, 0));
            if (result == LAPI_SUCCESS) result = LAPISaveConfig(index, &bracket);
            else DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "Error: Failed to spin array %d direction %d", request->array, request->direction);
        }
    }
    LAPITraceOut("LAPISetManualSpinUpOrDownArray");
    return result;
}

uint32_t LAPIFailDrive(int index, uint8_t array, uint8_t drive) {
    return LAPIFramedOperation(index, "LAPIFailDrive", LapiSite{"TOLVO_FailDrive"}, LAPIHeaderOnly(b::FailDrive, 1, array, drive),
                           [&](uint8_t wsc) {
                               DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "Error: Failed to fail drive array %d drive %d wsc=%d", array, drive, wsc);
                           });
}

uint32_t LAPISetAlarm(int index, const uint32_t* action) {
    if (action == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const uint32_t a = *action;
    const uint8_t id = a == 2 ? b::EnableAlarm : a == 3 ? b::DisableAlarm : b::MuteAlarm;
    const char* name = a == 2 ? "TOLVO_EnableAlarm" : a == 3 ? "TOLVO_DisableAlarm" : "TOLVO_MuteAlarm";
    return LAPIFramedOperation(index, "LAPISetAlarm", LapiSite{name}, LAPIHeaderOnly(id, 0, 0, 0),
                           [&](uint8_t wsc) { DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "Error: Failed to set alarm %u wsc=%d", a, wsc); });
}

uint32_t LAPIGetStatisticsA(int index, const STATISTICS_REQUEST* request) {
    return statistics(index, "LAPIGetStatisticsA", "TOLVO_GetStatsA", b::GetStatsA, true, request);
}
uint32_t LAPIGetStatisticsB(int index, const STATISTICS_REQUEST* request) {
    return statistics(index, "LAPIGetStatisticsB", "TOLVO_GetStatsB", b::GetStatsB, true, request);
}
uint32_t LAPIClearControllerStatisticsA(int index, const STATISTICS_REQUEST* request) {
    return statistics(index, "LAPIClearControllerStatisticsA", "TOLVO_ClearControllerStatisticsA",
                      b::ClearControllerStatisticsA, false, request);
}
uint32_t LAPIClearControllerStatisticsB(int index, const STATISTICS_REQUEST* request) {
    return statistics(index, "LAPIClearControllerStatisticsB", "TOLVO_ClearControllerStatisticsB",
                      b::ClearControllerStatisticsB, false, request);
}
uint32_t LAPIClearStatisticsA(int index, const STATISTICS_REQUEST* request) {
    return statistics(index, "LAPIClearStatisticsA", "TOLVO_ClearControllerStatisticsA", b::ClearControllerStatisticsA,
                      false, request);
}
uint32_t LAPIClearStatisticsB(int index, const STATISTICS_REQUEST* request) {
    return statistics(index, "LAPIClearStatisticsB", "TOLVO_ClearControllerStatisticsB", b::ClearControllerStatisticsB,
                      false, request);
}

uint32_t LAPIPauseInit(int index, PAUSE_INIT_REQUEST* request) { return pauseOrResume(index, request, true); }
uint32_t LAPIUnpauseInit(int index, PAUSE_INIT_REQUEST* request) { return pauseOrResume(index, request, false); }

uint32_t LAPISetAPMLevel1Settings(int index, const wire::APM1_CONFIG_STRUCT* const* settings) {
    if (settings == nullptr || *settings == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const wire::APM1_CONFIG_STRUCT* apm = *settings;
    return inChange(
        index, "LAPISetAPMLevel1Settings", "Error: Failed to set APM level 1 settings",
        [&] {
            return LAPIExecute(index, LapiSite{"TOLVO_ModifyDriveGroupAPMConfig"},
                               [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
                                   return TOLVO_ModifyDriveGroupAPMConfig(h, r, apm);
                               });
        },
        nullptr);
}

uint32_t LAPISetAPMLevel2Settings(int index, const APM2_REQUEST* request) {
    if (request == nullptr || request->settings == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    return inChange(
        index, "LAPISetAPMLevel2Settings", "Error: Failed to set APM level 2 settings",
        [&] {
            return LAPIExecute(index, LapiSite{"TOLVO_ModifyArrayAPMConfig"},
                               [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
                                   return TOLVO_ModifyArrayAPMConfig(h, r, request->array, request->settings);
                               });
        },
        nullptr);
}

uint32_t LAPIConfigureTQM(int index, const wire::TQM_CONFIG_STRUCT* const* settings) {
    if (settings == nullptr || *settings == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const wire::TQM_CONFIG_STRUCT* tqm = *settings;
    return inChange(
        index, "LAPIConfigureTQM", "Error: Failed to configure TQM",
        [&] {
            return LAPIExecute(index, LapiSite{"TOLVO_ConfigureTQM"}, [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
                return TOLVO_ConfigureTQM(h, r, tqm);
            });
        },
        nullptr);
}

uint32_t LAPISetSystemParams(int index, SYSTEM_PARAMS_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    uint32_t* f = request->field;
    auto change = [&]() -> uint32_t {
        uint8_t wsc = WSC_GOOD;
        if (f[4] != kSystemParamUnchanged) {
            if (f[5] < 1) f[5] = 2;
            if (f[5] > 64) f[5] = 64;
            wsc = sendOnce(index, LAPIHeaderOnly(b::SetSystemParamPair, static_cast<uint8_t>(f[4]),
                                             static_cast<uint8_t>(f[5]), 0));
        }
        struct Step {
            int field;
            uint8_t id;
            const char* name;
        };
        static constexpr Step steps[] = {
            {3, b::SetAutoDriveFwUpdate, "TOLVO_SetAutoDriveFwUpdate"},
            {2, b::SetAutoHotSpare, "TOLVO_SetAutoHotSpare"},
            {7, b::SetAutoRegeneration, "TOLVO_SetAutoRegeneration"},
            {0, b::SetControllerLogSes, "TOLVO_SetControllerLogSes"},
            {9, b::SetSingleControllerMode, "TOLVO_SetSingleControllerMode"},
            {8, b::SetBackgroundVerify, "TOLVO_SetBackgroundVerify"},
            {10, b::SetAltNodeNameOnHostPorts, "TOLVO_SetAltNodeNameOnHostPorts"},
            {6, b::SetInitPriority, "TOLVO_SetInitPriority"},
            {1, b::SetRegenPriority, "TOLVO_SetRegenPriority"},
        };
        for (const Step& s : steps) {
            if (wsc != WSC_GOOD) break;
            uint32_t& value = f[s.field];
            if (value == kSystemParamUnchanged) continue;
            const uint8_t b3 = (s.field == 1 || s.field == 6) ? clampPriority(value) : static_cast<uint8_t>(value);
            LapiOutcome outcome;
            LAPIExecute(index, LapiSite{s.name}, LAPIHeaderOnly(s.id, b3, 0, 0), &outcome);
            wsc = outcome.wsc;
        }
        if (wsc == WSC_GOOD) return LAPI_SUCCESS;
        DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "Error: Failed to Set and query system params wsc=%d", wsc);
        return LAPI_ERR_COMMAND_FAILED;
    };
    return inChange(index, "LAPISetSystemParams", "", change, nullptr);
}

namespace {

// Host interface type of the controller that takes the change.
uint8_t hostInterfaceType(const uint8_t* controller) {
    wire::CONTROLLER_INFO_STRUCT record;
    std::memcpy(&record, controller, sizeof record);
    return record.controllerType < 128 ? 1 : record.hostInterfaceType;
}

struct HostPortSetting {
    uint8_t connection, address, rate;
};

HostPortSetting hostPort(const wire::CONFIG_STORAGE_HEADER_STRUCT& h, int port) {
    const int byte = port % 2;
    const int shift = port >= 2 ? 4 : 0;
    return {static_cast<uint8_t>((h.hostConnection[byte] >> shift) & 0x0F), h.hardAddress[port],
            static_cast<uint8_t>((h.hostDataRate[byte] >> shift) & 0x0F)};
}

}  // namespace

uint32_t LAPISetHardAddressHostAddress(int index, const HOST_ADDRESS_REQUEST* request) {
    if (request == nullptr || request->newHeader == nullptr || request->current == nullptr ||
        request->controller == nullptr)
        return LAPI_ERR_BAD_PARAMETERS;
    wire::CONFIG_STORAGE_HEADER_STRUCT now, want;
    std::memcpy(&now, request->current, sizeof now);
    std::memcpy(&want, request->newHeader, sizeof want);
    const uint8_t interfaceType = hostInterfaceType(request->controller);

    auto change = [&]() -> uint32_t {
        uint8_t wsc = WSC_GOOD;
        auto send = [&](const LapiSend& s) {
            if (wsc == WSC_GOOD) wsc = sendOnce(index, s);
        };
        auto setting = [&](uint8_t before, uint8_t after, const char* message, uint8_t id) {
            if (wsc != WSC_GOOD || before == after) return;
            std::printf(message, before, after);
            send(LAPIHeaderOnly(id, after, 0, 0));
        };
        if (std::memcmp(now.name, want.name, sizeof now.name) != 0) {
            std::printf("Changing name from '%64.64s' to '%64.64s'\n", std::string(now.name, sizeof now.name).c_str(),
                        std::string(want.name, sizeof want.name).c_str());
            const std::string name(want.name, sizeof want.name);
            send([&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) { return TOLVO_SetConfigName(h, r, name.c_str()); });
        }
        setting(now.autoRebuild, want.autoRebuild, "Changing Auto-Regen from %.2x to %.2x\n", b::SetAutoRegeneration);
        setting(now.altNodeNames, want.altNodeNames, "Changing AltNodeNameOnHostPorts from %.2x to %.2x\n",
                b::SetAltNodeNameOnHostPorts);
        setting(now.autoDriveFwUpdate, want.autoDriveFwUpdate, "Changing Auto Update Drive Fw from %.2x to %.2x\n",
                b::SetAutoDriveFwUpdate);
        setting(now.rebuildPriority, want.rebuildPriority, "Changing Auto-Regen from %d to %d\n", b::SetRegenPriority);
        setting(now.initPriority, want.initPriority, "Changing Init Priority from %d to %d\n", b::SetInitPriority);
        setting(now.singleControllerMode, want.singleControllerMode,
                "Changing single controller mode from %.2x to %.2x\n", b::SetSingleControllerMode);
        const uint16_t lun = want.controllerLun.get();
        if (wsc == WSC_GOOD && now.controllerLun.get() != lun)
            send(LAPIHeaderOnly(b::SetControllerLun, static_cast<uint8_t>(lun >> 8), static_cast<uint8_t>(lun), 0));
        setting(now.autoHotSpare, want.autoHotSpare, "Changing Auto Spare from %2x to %2x\n", b::SetAutoHotSpare);
        setting(now.backgroundVerify, want.backgroundVerify, "Changing Background Verify from %d to %d\n",
                b::SetBackgroundVerify);
        const int ports = interfaceType == 3 ? 4 : 2;
        for (int port = 0; port < ports && wsc == WSC_GOOD; ++port) {
            const HostPortSetting a = hostPort(now, port), n = hostPort(want, port);
            if (a.connection == n.connection && a.address == n.address && a.rate == n.rate) continue;
            std::printf("Changing Host Port %d from %.2X to %.2X + conn:%.2X + rate:%.2X\n", port + 1, a.address,
                        n.address, n.connection, n.rate);
            send(LAPIHeaderOnly(b::HostPortHardAddress, static_cast<uint8_t>((n.rate & 0x0F) << 4 | (n.connection & 0x0F)),
                            static_cast<uint8_t>(1u << port), n.address));
        }
        std::fflush(stdout);
        if (wsc == WSC_GOOD) return LAPI_SUCCESS;
        DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "Error: Failed to set hard address host address on controller %d wsc=%d", index, wsc);
        return LAPI_ERR_COMMAND_FAILED;
    };
    return inChange(index, "LAPISetHardAddressHostAddress", "", change, nullptr);
}

uint32_t LAPISetControllerTime(int index, const time_t* time) {
    LAPITraceIn("LAPISetControllerTime");
    uint32_t result = LAPI_ERR_COMMAND_FAILED;
    ITL_HANDLE_STRUCT* handle = nullptr;
    if (time != nullptr) {
        result = LAPIFrameHandle(index, &handle, LapiSite{"LAPI_SetTimeA"});
        if (result == LAPI_SUCCESS) {
            for (int attempt = 0; attempt < LAPI_CONFIG_CHANGE_ATTEMPTS; ++attempt) {
                wire::CLOCK_STRUCT clock{};
                LAPISysTimeToControllerTime(*time, &clock);
                auto setTime = [&](uint8_t selector) {
                    return [&, selector](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
                        return TOLVO_SetTime(h, r, selector, &clock);
                    };
                };
                uint32_t a = LAPIExecute(index, LapiSite{"LAPI_SetTimeA"}, setTime(1));
                uint32_t b = LAPIExecute(index, LapiSite{"LAPI_SetTimeB"}, setTime(2));
                result = (a == LAPI_SUCCESS && b == LAPI_SUCCESS) ? LAPI_SUCCESS : LAPI_ERR_COMMAND_FAILED;
                if (result == LAPI_SUCCESS) break;
            }
        }
    }
    LAPITraceOut("LAPISetControllerTime");
    return result;
}
