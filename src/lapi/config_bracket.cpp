#include "lapi/config_bracket.h"

#include <cstdio>
#include <cstring>

#include "lapi/frame.h"
#include "lapi/reads.h"
#include "scsi/tolvo_builders.h"
#include "wire/controller.h"
#include "wire/vendor_ops.h"

namespace {

constexpr int kStartPolls = 20;

// Reads the controller information; tells whether the asynchronous handshake applies.
uint32_t asynchronousMode(int index, bool& async) {
    uint8_t info[kControllerInfoReplySize];
    uint32_t result = LAPIGetControllerInfoAndDriveFailureInfo(index, info);
    if (result != LAPI_SUCCESS) return result;
    async = (LAPIFeatureFlags(info) & wire::kFeatureAsyncConfig) != 0;
    return LAPI_SUCCESS;
}

uint32_t readActivity(int index, wire::CONFIG_UPDATE_STRUCT& activity) {
    uint8_t buffer[kConfigUpdateReplySize];
    static_assert(sizeof buffer == sizeof activity);
    if (LAPIGetConfigUpdateInProgress(index, buffer) != LAPI_SUCCESS) return LAPI_ERR_COMMAND_FAILED;
    std::memcpy(&activity, buffer, sizeof activity);
    return LAPI_SUCCESS;
}

uint32_t headerOnly(int index, const char* command, uint8_t bufferId, uint8_t b3, uint8_t b4) {
    return LAPIExecute(index, LapiSite{command}, LAPIHeaderOnly(bufferId, b3, b4, 0));
}

bool blocksOnExpansion(const wire::CONFIG_CHANGE_STRUCT* change) {
    return change->expansionBlocks.get() == wire::kFlagYes;
}

}  // namespace

uint32_t LAPIStartConfig(int index, wire::CONFIG_CHANGE_STRUCT* change) {
    LAPITraceIn("LAPIStartConfig");
    bool async = false;
    uint32_t result = asynchronousMode(index, async);
    if (result != LAPI_SUCCESS) return result;
    if (!async) {
        result = headerOnly(index, "TOLVO_StartNewConfig", wire::buf::StartNewConfig, 0, 0) == LAPI_SUCCESS
                     ? LAPI_SUCCESS
                     : LAPI_ERR_COMMAND_FAILED;
        LAPITraceOut("LAPIStartConfig");
        return result;
    }

    wire::CONFIG_UPDATE_STRUCT activity;
    bool free = false;
    for (int poll = 0; poll < kStartPolls && !free; ++poll) {
        if (readActivity(index, activity) != LAPI_SUCCESS) return LAPI_ERR_COMMAND_FAILED;
        const uint8_t yes = wire::kFlagYes;
        if (activity.startInProgress != yes && activity.saveInProgress != yes && activity.configUnavailable != yes &&
            (!blocksOnExpansion(change) || activity.expansionInProgress != yes)) {
            free = true;
        } else if (activity.configUnavailable == yes) {
            result = LAPI_ERR_CONFIG_UNAVAILABLE;
        } else if (activity.expansionInProgress == yes) {
            result = LAPI_ERR_EXPANSION_IN_PROGRESS;
        } else if (activity.saveInProgress == yes) {
            result = LAPI_ERR_SAVE_CONFIG_IN_PROGRESS;
        } else {
            result = LAPI_ERR_START_CONFIG_IN_PROGRESS;
        }
    }
    if (!free) return result;

    if (headerOnly(index, "TOLVO_StartNewConfig", wire::buf::StartNewConfig, 0, 0) != LAPI_SUCCESS)
        return LAPI_ERR_COMMAND_FAILED;
    if (readActivity(index, activity) != LAPI_SUCCESS) return LAPI_ERR_COMMAND_FAILED;
    if (activity.localController == 1) {
        change->startCounter.set(activity.startCounter1.get());
    } else if (activity.localController == 2) {
        change->startCounter.set(activity.startCounter2.get());
    } else {
        std::printf("Error: Unable to retrieve start config counter from local controller\n");
        return LAPI_ERR_COMMAND_FAILED;
    }
    LAPITraceOut("LAPIStartConfig");
    return LAPI_SUCCESS;
}

uint32_t LAPISaveConfig(int index, wire::CONFIG_CHANGE_STRUCT* change) {
    LAPITraceIn("LAPISaveConfig");
    bool async = false;
    uint32_t result = asynchronousMode(index, async);
    if (result != LAPI_SUCCESS) return result;
    uint8_t high = 0, low = 0;
    if (async) {
        wire::CONFIG_UPDATE_STRUCT activity;
        if (readActivity(index, activity) != LAPI_SUCCESS) return LAPI_ERR_COMMAND_FAILED;
        const uint8_t yes = wire::kFlagYes;
        if (activity.configUnavailable == yes) return LAPI_ERR_CONFIG_UNAVAILABLE;
        if (blocksOnExpansion(change) && activity.expansionInProgress == yes) return LAPI_ERR_EXPANSION_IN_PROGRESS;
        if (activity.saveInProgress == yes) return LAPI_ERR_SAVE_CONFIG_IN_PROGRESS;
        uint32_t counter = change->startCounter.get();
        high = static_cast<uint8_t>(counter >> 8);
        low = static_cast<uint8_t>(counter);
    }
    result = headerOnly(index, "TOLVO_SaveConfig", wire::buf::SaveConfig, high, low) == LAPI_SUCCESS
                 ? LAPI_SUCCESS
                 : LAPI_ERR_COMMAND_FAILED;
    LAPITraceOut("LAPISaveConfig");
    return result;
}

uint32_t LAPIBracketedChange(int index, const char* operation, const LapiSite& site, const char* errorLine,
                             const std::function<uint32_t()>& change, const std::function<uint32_t()>& refresh,
                             uint8_t expansionBlocks) {
    LAPITraceIn(operation);
    ITL_HANDLE_STRUCT* handle = nullptr;
    if (LAPIFrameHandle(index, &handle, site) != LAPI_SUCCESS) return LAPI_ERR_NO_VALID_HANDLE;
    wire::CONFIG_CHANGE_STRUCT bracket{};
    bracket.expansionBlocks.set(expansionBlocks);
    uint32_t result = LAPIConfigChange(index, LAPIStartConfig, LAPISaveConfig, change, refresh, errorLine, &bracket);
    LAPITraceOut(operation);
    return result;
}
