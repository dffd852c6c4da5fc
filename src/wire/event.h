// The controllers' event logs: one event record (as the controller keeps it
// and as the event store on the host keeps it) and the log of one controller
// as the event log reads return it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/byteorder.h"
#include "wire/vendor.h"

namespace wire {

inline constexpr size_t kEventPayloadSize = 14;
inline constexpr size_t kEventLogCapacity = 4096;

// One event, 24 bytes.
struct EVENT_LOG_ENTRY {
    CLOCK_STRUCT time;                    // 0 the controller's clock when the event happened
    uint8_t controller;                   // 8 1 or 2 (written by the store on the host)
    uint8_t eventId;                      // 9 0x01-0xAB
    uint8_t payload[kEventPayloadSize];   // 10 event-specific
};
static_assert(sizeof(EVENT_LOG_ENTRY) == 24);
static_assert(offsetof(EVENT_LOG_ENTRY, controller) == 8);
static_assert(offsetof(EVENT_LOG_ENTRY, eventId) == 9);
static_assert(offsetof(EVENT_LOG_ENTRY, payload) == 10);

// The log of one controller, oldest entry first.
struct EVENT_LOG_STRUCT {
    le32 length;                                // 0 valid bytes, header included
    CLOCK_STRUCT clock;                         // 4 the controller's clock at the read
    le16 entryCount;                            // 12 0-4096
    uint8_t reserved[2];                        // 14
    EVENT_LOG_ENTRY entry[kEventLogCapacity];   // 16
};
static_assert(sizeof(EVENT_LOG_STRUCT) == 98320);
static_assert(offsetof(EVENT_LOG_STRUCT, clock) == 4);
static_assert(offsetof(EVENT_LOG_STRUCT, entryCount) == 12);
static_assert(offsetof(EVENT_LOG_STRUCT, entry) == 16);
inline constexpr size_t kEventLogHeaderSize = offsetof(EVENT_LOG_STRUCT, entry);

// The entries a received log really holds: its count, clamped to the
// capacity and to the whole entries inside its declared and received length.
constexpr uint32_t eventLogEntries(const EVENT_LOG_STRUCT& log, size_t received = sizeof(EVENT_LOG_STRUCT)) {
    size_t bytes = usableLength(log.length.get(), received, sizeof(EVENT_LOG_STRUCT));
    size_t whole = bytes < kEventLogHeaderSize ? 0 : (bytes - kEventLogHeaderSize) / sizeof(EVENT_LOG_ENTRY);
    size_t n = log.entryCount.get();
    if (n > whole) n = whole;
    if (n > kEventLogCapacity) n = kEventLogCapacity;
    return static_cast<uint32_t>(n);
}

}  // namespace wire
