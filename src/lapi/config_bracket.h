// Opening and committing a configuration change on the controller.
#pragma once

#include <cstdint>

#include "wire/requests.h"

// Opens a change. In asynchronous mode it waits (up to 20 polls) for the
// controller to be free and stores the start counter in `change`; returns 0,
// 1003, or 1017-1020 when the controller stayed busy with another change.
uint32_t LAPIStartConfig(int index, wire::CONFIG_CHANGE_STRUCT* change);
// Commits the change opened with `change`: 0, 1003, or 1018-1020.
uint32_t LAPISaveConfig(int index, wire::CONFIG_CHANGE_STRUCT* change);
