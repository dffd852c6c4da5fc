// What the firmware model keeps of the controllers' and drives' maintenance
// life: controllers taken down by a reset or a shutdown and when they come
// back, firmware images waiting for the next reset, clock drift, identify
// lights, drive spin state and self tests, statistics clears and the drive
// power control (APM level 1) settings.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "wire/requests.h"

namespace sim::model {

// A firmware image as the emulator checks it (little-endian fields):
//   0  "TOLVOFW1"            8  kind (1 controller, 2 drive I/O module)
//   9  major  10 minor       12 build, 4 characters
//   16 compile date, 16 characters
//   32 u32 image length, header included
//   36 u32 sum of the bytes from 40 to the end (modulo 2^32)
inline constexpr size_t kFirmwareHeaderSize = 40;
inline constexpr uint32_t kMaxFirmwareImageBytes = 16u << 20;
inline constexpr char kFirmwareMagic[8] = {'T', 'O', 'L', 'V', 'O', 'F', 'W', '1'};

struct FirmwareVersion {
    uint8_t major = 0, minor = 0;
    std::string build, date;
};

// Drive APM states as the controllers report them.
inline constexpr uint8_t kSpunDown = 1, kSpunUp = 2, kSpinningUp = 3, kUnderTest = 4;

struct DriveLife {
    uint64_t lightUntilMs = 0;    // identify light on until then
    uint8_t loop = 0;             // loop the light was asked on
    uint8_t spin = kSpunUp;       // kSpunDown or kSpunUp (spinning up while spinUntilMs is ahead)
    uint64_t spinUntilMs = 0;
    uint64_t testUntilMs = 0;     // self test running until then
    unsigned testsPassed = 0;
};

struct ControllerLife {
    uint64_t offlineUntilMs = 0;  // down (reset or shutdown) until then; 0 when up
    bool down = false;
    std::string downReason;       // "reset" or "shutdown"
    uint64_t bootMs = 0;          // when it last came up (emulator time)
    int64_t driftPpm = 0;         // clock drift, parts per million
    uint64_t driftSinceMs = 0;    // when the clock was last set
    std::optional<FirmwareVersion> pendingFirmware;  // adopted when it next comes up
    unsigned resets = 0, shutdowns = 0;
    unsigned statisticsClears = 0;
    int lastClearedPort = -1;
    int lastClearedLun = -1;
};

// The enclosure alarm as the controllers keep it.
inline constexpr uint8_t kAlarmEnabled = 0, kAlarmMuted = 1, kAlarmDisabled = 2;

struct MaintenanceState {
    std::array<ControllerLife, 2> controller{};
    std::map<size_t, DriveLife> drives;   // by drive position
    uint64_t resetDownMs = 20'000;
    uint64_t shutdownDownMs = 120'000;
    uint64_t spinUpMs = 15'000;
    uint64_t selfTestMs = 90'000;
    wire::APM1_CONFIG_STRUCT apm1{};
    std::optional<wire::APM1_CONFIG_STRUCT> pendingApm1;  // applied at the save
    std::vector<uint8_t> image[2];        // image being received: controller, drive I/O module
    std::string lastImage[2];             // what became of the last image: "stored", or why it was refused
    unsigned driveIoImages = 0;           // drive I/O module images stored
    uint8_t alarm = kAlarmEnabled;        // kAlarmEnabled, kAlarmMuted or kAlarmDisabled
    unsigned alarmCommands = 0;           // mute, enable and disable commands received
};

}  // namespace sim::model
