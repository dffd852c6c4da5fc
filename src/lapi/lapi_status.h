// Status codes of the library API and the names the frame gives to vendor
// status codes and sense keys.
#pragma once

#include <cstdint>

inline constexpr uint32_t LAPI_SUCCESS = 0;
inline constexpr uint32_t LAPI_ERR_TIMEOUT = 1000;
inline constexpr uint32_t LAPI_ERR_BAD_PARAMETERS = 1001;
inline constexpr uint32_t LAPI_ERR_COMMS_FAILED = 1002;
inline constexpr uint32_t LAPI_ERR_COMMAND_FAILED = 1003;
inline constexpr uint32_t LAPI_ERR_CONTROLLER_A = 1004;
inline constexpr uint32_t LAPI_ERR_CONTROLLER_B = 1005;
inline constexpr uint32_t LAPI_ERR_FILE = 1006;
inline constexpr uint32_t LAPI_ERR_NO_VALID_HANDLE = 1007;
inline constexpr uint32_t LAPI_ERR_END_OF_DATA = 1008;
inline constexpr uint32_t LAPI_ERR_READ_FAILED = 1009;
inline constexpr uint32_t LAPI_ERR_NO_ACCESS = 1010;
inline constexpr uint32_t LAPI_ERR_DATA_UNREAD = 1011;
inline constexpr uint32_t LAPI_ERR_SYSTEM_HALTED = 1012;
inline constexpr uint32_t LAPI_ERR_MAPPING_EXISTS = 1013;
inline constexpr uint32_t LAPI_ERR_APM_NOT_ENABLED = 1014;
inline constexpr uint32_t LAPI_ERR_ASYNC_NOT_ENABLED = 1015;
inline constexpr uint32_t LAPI_ERR_ADV_PERF_NOT_ENABLED = 1016;
inline constexpr uint32_t LAPI_ERR_START_CONFIG_IN_PROGRESS = 1017;
inline constexpr uint32_t LAPI_ERR_SAVE_CONFIG_IN_PROGRESS = 1018;
inline constexpr uint32_t LAPI_ERR_EXPANSION_IN_PROGRESS = 1019;
inline constexpr uint32_t LAPI_ERR_CONFIG_UNAVAILABLE = 1020;

// The RAID system reached through the network module.
inline constexpr int LAPI_OUT_OF_BAND_INDEX = 191;

// "Status: Good", "Status: Check Condition", ... or "Unknown".
const char* LAPIStatusName(uint32_t wsc);
// "OK", "Recovered Error", "Not Ready ", ... (low four bits of the key).
const char* LAPISenseKeyName(uint8_t senseKey);
