// Opening and committing a configuration change on the controller.
#pragma once

#include <cstdint>
#include <functional>

#include "lapi/frame.h"
#include "wire/requests.h"
#include "wire/vendor.h"

// Opens a change. In asynchronous mode it waits (up to 20 polls) for the
// controller to be free and stores the start counter in `change`; returns 0,
// 1003, or 1017-1020 when the controller stayed busy with another change.
uint32_t LAPIStartConfig(int index, wire::CONFIG_CHANGE_STRUCT* change);
// Commits the change opened with `change`: 0, 1003, or 1018-1020.
uint32_t LAPISaveConfig(int index, wire::CONFIG_CHANGE_STRUCT* change);

// A configuration change of `operation` in LAPIConfigChange with
// LAPIStartConfig and LAPISaveConfig: its entry and exit lines, the system's
// handle first (LAPI_ERR_NO_VALID_HANDLE without one; `site` names the place),
// and a bracket that opens with the given expansion rule. `refresh` may be empty.
uint32_t LAPIBracketedChange(int index, const char* operation, const LapiSite& site, const char* errorLine,
                             const std::function<uint32_t()>& change, const std::function<uint32_t()>& refresh,
                             uint8_t expansionBlocks = wire::kFlagYes);
