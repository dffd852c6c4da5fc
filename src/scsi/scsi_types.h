// The request block of one SCSI or vendor command and the path record that a
// command travels through. Both are plain fixed-size records owned by the caller
// (requests) or by the RAID system table (paths).
#pragma once

#include <cstdint>

// Vendor status codes (wsc) of the transport and the vendor protocol.
inline constexpr uint8_t WSC_GOOD = 0;
inline constexpr uint8_t WSC_CHECK_CONDITION = 2;
inline constexpr uint8_t WSC_BUSY = 8;
inline constexpr uint8_t WSC_CONFLICT = 24;
inline constexpr uint8_t WSC_BAD_PARAMETERS = 254;
inline constexpr uint8_t WSC_OS_ERROR = 255;

inline constexpr uint8_t SCSI_DIR_TO_DEVICE = 0;
inline constexpr uint8_t SCSI_DIR_FROM_DEVICE = 1;

// One command: CDB, direction, sense data on a check condition, time-out
// (seconds; the sg driver applies its own on a real node, the emulator's socket
// transport and the out-of-band transport apply this one) and data length (on
// return from a transfer from the device: the bytes that arrived).
struct SCSI_COMMAND_STRUCT {
    uint8_t cdb[16];
    uint8_t cdbLength;
    uint8_t direction;
    uint8_t senseData[16];
    uint32_t timeout;
    uint32_t dataLength;

    uint8_t senseKey() const { return senseData[2] & 0x0F; }
    uint8_t asc() const { return senseData[12]; }
    uint8_t ascq() const { return senseData[13]; }
};

// Marker of the out-of-band pseudo-path.
inline constexpr uint8_t OUT_OF_BAND_MARKER = 0xF1;
inline constexpr int ITL_DEVICE_PATH_SIZE = 32;

// One initiator-target-LUN path to a RAID system.
struct ITL_HANDLE_STRUCT {
    uint32_t deviceNumber;                    // N of <device dir>/sg<N>; 0 for a user-named device
    uint8_t outOfBand;                        // OUT_OF_BAND_MARKER for the out-of-band pseudo-path
    int32_t fd;                               // descriptor of the open device while a command runs
    uint8_t channel;
    uint8_t target;
    uint8_t lun;
    char devicePath[ITL_DEVICE_PATH_SIZE];    // NUL-terminated; empty when only N is known
    uint8_t wwn[8];                           // WWN of the RAID system behind the path
};
