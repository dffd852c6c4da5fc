#include "lapi/config_writes.h"

#include <cstring>
#include <string>

#include "lapi/config_bracket.h"
#include "lapi/frame.h"
#include "scsi/tolvo_builders.h"
#include "wire/vendor.h"
#include "wire/vendor_ops.h"

namespace {

// The common change pattern around `send`, with a refresh of `info` after the save.
uint32_t changeInBracket(int index, const char* operation, const char* errorLine, const LapiSite& site,
                         const LapiSend& send, const ALL_INFORMATION_SET* info) {
    LAPITraceIn(operation);
    ITL_HANDLE_STRUCT* handle = nullptr;
    if (LAPIFrameHandle(index, &handle, site) != LAPI_SUCCESS) return LAPI_ERR_NO_VALID_HANDLE;
    wire::CONFIG_CHANGE_STRUCT bracket{};
    bracket.expansionBlocks.set(wire::kFlagYes);
    uint32_t result = LAPIConfigChange(
        index, LAPIStartConfig, LAPISaveConfig, [&] { return LAPIExecute(index, site, send); },
        [&] { return LAPIGetAllInformation(index, info); }, errorLine, &bracket);
    LAPITraceOut(operation);
    return result;
}

}  // namespace

uint32_t LAPISetVolumeName(int index, SET_VOLUME_NAME_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    std::string name(request->name, strnlen(request->name, sizeof request->name));
    if (name.empty()) name = "default";
    const uint16_t ld = request->logicalDrive;
    return changeInBracket(
        index, "LAPISetVolumeName", "Error: Failed to Set Host LUN Name", LapiSite{"TOLVO_SetHostLunName"},
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) { return TOLVO_SetHostLunName(h, r, ld, name.c_str()); },
        &request->info);
}

uint32_t LAPISetHostLUNAvailability(int index, SET_HOST_LUN_AVAILABILITY_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const uint32_t ld = request->logicalDrive;
    const uint8_t mask = request->portMask;
    return changeInBracket(
        index, "LAPISetHostLUNAvailability", "Error: Failed to Set Host LUN Availability",
        LapiSite{"TOLVO_SetHostLunAvailability"},
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
            return TOLVO_SendHeaderOnly(h, r, wire::buf::SetHostLunAvailability, static_cast<uint8_t>(ld >> 8),
                                        static_cast<uint8_t>(ld), mask);
        },
        &request->info);
}
