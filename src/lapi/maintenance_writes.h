// Library-API maintenance writes: controller reset, shutdown and clock,
// identify lights, firmware downloads, drive spin and self tests, failing a
// drive, alarms, statistics, and the settings that go inside a configuration
// change (system parameters, host-port addresses, drive power control, the
// task queue manager, initialisation pause).
#pragma once

#include <cstdint>
#include <ctime>

#include "lapi/reads.h"
#include "wire/requests.h"

// Controller reset and shutdown: a controller mask (1 A, 2 B, 3 both) and,
// for the shutdown, a mode.
struct CONTROLLER_REQUEST {
    uint32_t controller;
    uint8_t mode;
};
static_assert(sizeof(CONTROLLER_REQUEST) == 8);

struct FLASH_LIGHT_REQUEST {
    uint32_t loop;      // 1 or 2
    uint32_t seconds;   // 0 turns the light off
    uint8_t loopId;
};

// The largest image a download can carry: its chunk offsets are 24 bits wide.
inline constexpr uint32_t kMaxFirmwareImageSize = 16u << 20;

struct FIRMWARE_REQUEST {
    uint8_t* image;
    uint32_t length;
};

// Statistics: port selection, a spare byte, LUN (0xFFFF all); the reads also
// take a 288-byte data buffer.
struct STATISTICS_REQUEST {
    uint8_t port;
    uint8_t spare;
    uint16_t lun;
    uint8_t* data;
};
inline constexpr uint32_t kStatisticsReplySize = 288;

struct ARRAY_SPIN_REQUEST {
    uint8_t array;
    uint8_t direction;  // 1 up, 0 down
};

struct APM2_REQUEST {
    const wire::APM2_CONFIG_STRUCT* settings;
    uint8_t array;
};

struct PAUSE_INIT_REQUEST {
    uint8_t array;
    ALL_INFORMATION_SET info;
};

// The host-address change: a new configuration header, the current
// configuration data and the record of the controller that takes the change.
struct HOST_ADDRESS_REQUEST {
    const uint8_t* newHeader;      // 512 bytes
    const uint8_t* current;        // configuration data (its first 512 bytes are the header)
    const uint8_t* controller;     // CONTROLLER_INFO_STRUCT, 220 bytes
};

// The system parameters, eleven 32-bit fields; 255 leaves a setting as it is.
inline constexpr uint32_t kSystemParamUnchanged = 255;
struct SYSTEM_PARAMS_REQUEST {
    uint32_t field[11];
};

uint32_t LAPIResetController(int index, const uint32_t* controller);
uint32_t LAPIShutdownController(int index, const CONTROLLER_REQUEST* request);
uint32_t LAPIFlashDriveLight(int index, const FLASH_LIGHT_REQUEST* request);
uint32_t LAPIDownloadFlashToController(int index, const FIRMWARE_REQUEST* request);
uint32_t LAPIDownloadDriveIOFirmware(int index, const FIRMWARE_REQUEST* request);
// p[0] slot, p[1] enclosure, p[2] direction.
uint32_t LAPISetManualSpinUpOrDownDrive(int index, const uint8_t p[3]);
// p[0] slot, p[1] enclosure.
uint32_t LAPISetDriveFunctionalTest(int index, const uint8_t p[2]);
uint32_t LAPISetArrayFunctionalTest(int index, const uint32_t* array);
uint32_t LAPISetManualSpinUpOrDownArray(int index, const ARRAY_SPIN_REQUEST* request);
uint32_t LAPIFailDrive(int index, uint8_t array, uint8_t drive);
uint32_t LAPISetAlarm(int index, const uint32_t* action);

uint32_t LAPIGetStatisticsA(int index, const STATISTICS_REQUEST* request);
uint32_t LAPIGetStatisticsB(int index, const STATISTICS_REQUEST* request);
uint32_t LAPIClearControllerStatisticsA(int index, const STATISTICS_REQUEST* request);
uint32_t LAPIClearControllerStatisticsB(int index, const STATISTICS_REQUEST* request);
uint32_t LAPIClearStatisticsA(int index, const STATISTICS_REQUEST* request);
uint32_t LAPIClearStatisticsB(int index, const STATISTICS_REQUEST* request);

uint32_t LAPIPauseInit(int index, PAUSE_INIT_REQUEST* request);
uint32_t LAPIUnpauseInit(int index, PAUSE_INIT_REQUEST* request);
uint32_t LAPISetAPMLevel1Settings(int index, const wire::APM1_CONFIG_STRUCT* const* settings);
uint32_t LAPISetAPMLevel2Settings(int index, const APM2_REQUEST* request);
uint32_t LAPIConfigureTQM(int index, const wire::TQM_CONFIG_STRUCT* const* settings);
// Clamps the balance count (field 5) and the two priorities (fields 1 and 6)
// in place, as they are sent.
uint32_t LAPISetSystemParams(int index, SYSTEM_PARAMS_REQUEST* request);
uint32_t LAPISetHardAddressHostAddress(int index, const HOST_ADDRESS_REQUEST* request);

// Sets both controllers' clocks to `time` (local time); up to 20 attempts
// until both accept it.
uint32_t LAPISetControllerTime(int index, const time_t* time);
