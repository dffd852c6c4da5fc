// Controller information: both controller records plus the progress of the
// background jobs (rebuild, initialisation, expansion, parity check).
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/byteorder.h"
#include "wire/vendor.h"

namespace wire {

// Feature bits in CONTROLLER_INFO_STRUCT::featureFlags.
inline constexpr uint16_t kFeatureR2_2 = 0x0080;           // snapshot firmware generation R2_2
inline constexpr uint16_t kFeatureApm = 0x0100;            // drive power control
inline constexpr uint16_t kFeatureAsyncConfig = 0x0200;    // asynchronous configuration handshake
inline constexpr uint16_t kFeatureAdvPerformance = 0x0400; // advance performance options
inline constexpr uint16_t kFeatureFailDrive = 0x1000;      // fail-drive command

// controllerType: valid when both top bits are set; low six bits = product type.
inline constexpr uint8_t kControllerTypeValid = 0xC0;
inline constexpr uint8_t kProductTypeMask = 0x3F;

// Host interface types (portInterfaceType low nibble).
inline constexpr uint8_t kHostInterfaceFc = 1;
inline constexpr uint8_t kHostInterfaceSas = 6;

struct CONTROLLER_INFO_STRUCT {
    char name[64];                  // 0
    wwn8 actualWwn;                 // 64
    wwn8 configWwn;                 // 72
    uint8_t reserved80[4];          // 80
    le32 totalPowerOnCount;         // 84
    le32 powerOnTime;               // 88 seconds
    le32 totalPowerOnTime;          // 92 seconds
    CLOCK_STRUCT clock;             // 96 controller date and time
    uint8_t reserved104[2];         // 104
    uint8_t fwMinor;                // 106
    uint8_t fwMajor;                // 107
    char fwBuild[4];                // 108
    char fwCompileDate[16];         // 112
    char fwCompileTime[16];         // 128
    uint8_t reserved144;            // 144
    uint8_t hostLoop1Id;            // 145 0xFF loop down
    uint8_t reserved146;            // 146
    uint8_t hostLoop2Id;            // 147 0xFF loop down
    uint8_t reserved148[4];         // 148
    uint8_t airTemperature;         // 152 degrees C
    uint8_t reserved153;            // 153
    le16 mv12V;                     // 154 millivolts
    le16 mv5VIn;                    // 156
    le16 mv5VFused;                 // 158
    le16 mvCore3V3;                 // 160
    le16 mvCore3V3Backup;           // 162
    le16 mvCore1V8;                 // 164
    le16 mvCore1V8Memory;           // 166
    le16 mvBattery;                 // 168
    le16 mvCore1V5;                 // 170
    le16 mvCore1V35;                // 172
    le16 mvDriveInterfaceCore;      // 174
    le16 mvHostInterfaceCore;       // 176
    uint8_t expanderTemperature;    // 178
    uint8_t processorTemperature;   // 179
    uint8_t batteryState;           // 180 0xF1 good, 0xF2 not present
    uint8_t reserved181;            // 181
    uint8_t controllerType;         // 182 top two bits = valid, low six = product type
    uint8_t cpldVersion;            // 183
    le16 processorMemory;           // 184
    le16 processorSpeed;            // 186
    uint8_t coProcessorPresent;     // 188 0xF1 present
    uint8_t coProcessorVersion;     // 189
    uint8_t ethernetPortCount;      // 190
    uint8_t reserved191;            // 191
    le16 coProcessorMemory;         // 192 MB
    le16 coProcessorSpeed;          // 194 MHz
    le16 ethernetParams0;           // 196
    le16 linkRate0;                 // 198
    le16 ethernetParams1;           // 200
    le16 linkRate1;                 // 202
    uint8_t reserved204[8];         // 204
    uint8_t batteryCapacity;        // 212 percent
    uint8_t batteryHoldupHours;     // 213
    uint8_t hostInterfaceType;      // 214 host interface type of the controller
    uint8_t reserved215;            // 215
    uint8_t portInterfaceType[2];   // 216 ports 0 and 1, low four bits
    le16 featureFlags;              // 218 kFeature*
};
static_assert(sizeof(CONTROLLER_INFO_STRUCT) == 220);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, actualWwn) == 64);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, configWwn) == 72);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, totalPowerOnCount) == 84);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, powerOnTime) == 88);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, totalPowerOnTime) == 92);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, clock) == 96);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, fwMinor) == 106);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, fwMajor) == 107);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, fwBuild) == 108);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, fwCompileDate) == 112);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, fwCompileTime) == 128);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, hostLoop1Id) == 145);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, hostLoop2Id) == 147);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, airTemperature) == 152);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, mv12V) == 154);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, mvBattery) == 168);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, mvHostInterfaceCore) == 176);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, expanderTemperature) == 178);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, processorTemperature) == 179);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, batteryState) == 180);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, controllerType) == 182);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, cpldVersion) == 183);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, processorMemory) == 184);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, processorSpeed) == 186);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, coProcessorPresent) == 188);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, ethernetPortCount) == 190);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, coProcessorMemory) == 192);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, linkRate1) == 202);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, batteryCapacity) == 212);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, batteryHoldupHours) == 213);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, hostInterfaceType) == 214);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, portInterfaceType) == 216);
static_assert(offsetof(CONTROLLER_INFO_STRUCT, featureFlags) == 218);

// Progress records of the background jobs.
struct REBUILD_PROGRESS_STRUCT {
    uint8_t inProgress;   // 0xF1
    uint8_t array;
    uint8_t drive;
    uint8_t percent;
    wwn8 driveWwn;
};
static_assert(sizeof(REBUILD_PROGRESS_STRUCT) == 12);

struct JOB_PROGRESS_STRUCT {   // initialisation and expansion
    uint8_t inProgress;   // 0xF1
    uint8_t array;
    uint8_t percent;
    uint8_t reserved;
};
static_assert(sizeof(JOB_PROGRESS_STRUCT) == 4);

// Parity check modes.
inline constexpr uint8_t kParityVerify = 1;
inline constexpr uint8_t kParityReWrite = 2;
inline constexpr uint8_t kParityVerifyReWrite = 3;

struct PARITY_CHECK_PROGRESS_STRUCT {
    uint8_t inProgress;   // 0xF1
    uint8_t array;
    uint8_t percent;
    uint8_t mode;         // kParity*
    le32 errorCount;
};
static_assert(sizeof(PARITY_CHECK_PROGRESS_STRUCT) == 8);

struct ALL_CONTROLLER_INFO_AND_FAIL_STRUCT {
    le32 length;                                // 0 byte count of the reply
    uint8_t receivedPort;                       // 4 host port, from 1
    uint8_t receivedController;                 // 5 controller, from 1
    uint8_t controllerValid[2];                 // 6, 7 0xF1 present and valid
    CONTROLLER_INFO_STRUCT controller[2];       // 8, 228
    REBUILD_PROGRESS_STRUCT rebuild;            // 448
    JOB_PROGRESS_STRUCT initialisation;         // 460
    JOB_PROGRESS_STRUCT expansion;              // 464
    PARITY_CHECK_PROGRESS_STRUCT parityCheck;   // 468
    uint8_t reserved476[1316];                  // 476
};
static_assert(sizeof(ALL_CONTROLLER_INFO_AND_FAIL_STRUCT) == 1792);
static_assert(offsetof(ALL_CONTROLLER_INFO_AND_FAIL_STRUCT, receivedPort) == 4);
static_assert(offsetof(ALL_CONTROLLER_INFO_AND_FAIL_STRUCT, receivedController) == 5);
static_assert(offsetof(ALL_CONTROLLER_INFO_AND_FAIL_STRUCT, controllerValid) == 6);
static_assert(offsetof(ALL_CONTROLLER_INFO_AND_FAIL_STRUCT, controller) == 8);
static_assert(offsetof(ALL_CONTROLLER_INFO_AND_FAIL_STRUCT, controller) + sizeof(CONTROLLER_INFO_STRUCT) == 228);
static_assert(offsetof(ALL_CONTROLLER_INFO_AND_FAIL_STRUCT, rebuild) == 448);
static_assert(offsetof(ALL_CONTROLLER_INFO_AND_FAIL_STRUCT, initialisation) == 460);
static_assert(offsetof(ALL_CONTROLLER_INFO_AND_FAIL_STRUCT, expansion) == 464);
static_assert(offsetof(ALL_CONTROLLER_INFO_AND_FAIL_STRUCT, parityCheck) == 468);
static_assert(offsetof(ALL_CONTROLLER_INFO_AND_FAIL_STRUCT, parityCheck) + offsetof(PARITY_CHECK_PROGRESS_STRUCT, errorCount) == 472);

// The record whose settings and feature bits apply: controller 0's when it is
// present and valid, otherwise controller 1's.
constexpr const CONTROLLER_INFO_STRUCT& activeController(const ALL_CONTROLLER_INFO_AND_FAIL_STRUCT& info) {
    return info.controllerValid[0] == kFlagYes ? info.controller[0] : info.controller[1];
}

}  // namespace wire
