// The vendor command protocol: the validation header that leads every mode-1
// WRITE BUFFER, the clock record, and the records shared by several commands.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "wire/byteorder.h"

namespace wire {

// The 16 bytes that lead the data of every WRITE BUFFER mode 1 command. The
// controller refuses a command whose data does not begin with exactly these.
inline constexpr size_t kValidationHeaderSize = 16;
inline constexpr std::array<uint8_t, kValidationHeaderSize> TOLVO_VALIDATION_HEADER = {
    'T', 'O', 'L', 'V', 'O', '-', 'V', 'C', 'M', 'D', 0x5A, 0xA5, 0x07, 0x00, 0x01, 0x00};

// Controller clock (set-time payload and the clocks in the controller records).
struct CLOCK_STRUCT {
    le16 year;          // full year
    uint8_t month;      // 1-12
    uint8_t day;        // day of month, 1-31
    uint8_t dayOfWeek;  // 1 = Sunday ... 7 = Saturday
    uint8_t hour;
    uint8_t minute;
    uint8_t second;
};
static_assert(sizeof(CLOCK_STRUCT) == 8);
static_assert(offsetof(CLOCK_STRUCT, year) == 0);
static_assert(offsetof(CLOCK_STRUCT, month) == 2);
static_assert(offsetof(CLOCK_STRUCT, day) == 3);
static_assert(offsetof(CLOCK_STRUCT, dayOfWeek) == 4);
static_assert(offsetof(CLOCK_STRUCT, hour) == 5);
static_assert(offsetof(CLOCK_STRUCT, minute) == 6);
static_assert(offsetof(CLOCK_STRUCT, second) == 7);

// Byte-coded states in the controller records.
inline constexpr uint8_t kFlagYes = 0xF1;      // yes, valid, enabled, in progress
inline constexpr uint8_t kFlagNo = 0xF0;       // no, off
inline constexpr uint8_t kFlagAbsent = 0xF2;   // not present
inline constexpr uint8_t kFlagNone = 0xFF;     // none, unused

}  // namespace wire
