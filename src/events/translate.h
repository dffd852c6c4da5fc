// Event translation: one stored event record turned into its host time,
// source, severity, controller, related objects and one line of text (the
// event's name from the event type table and the decoding of its payload).
#pragma once

#include <cstdint>
#include <ctime>

#include "wire/event.h"

inline constexpr uint32_t EVENT_SOURCE_DRIVE = 1;
inline constexpr uint32_t EVENT_SOURCE_VOLUME = 2;
inline constexpr uint32_t EVENT_SOURCE_CONFIGURATION = 3;
inline constexpr uint32_t EVENT_SOURCE_CONTROLLER = 4;
inline constexpr uint32_t EVENT_SOURCE_PORT = 5;
inline constexpr uint32_t EVENT_SOURCE_PATH = 6;
inline constexpr uint32_t EVENT_SOURCE_PROCESS = 7;
inline constexpr uint32_t EVENT_SOURCE_GENERAL = 63;

inline constexpr uint32_t EVENT_SEVERITY_CRITICAL = 1;
inline constexpr uint32_t EVENT_SEVERITY_WARNING = 2;
inline constexpr uint32_t EVENT_SEVERITY_INFORMATION = 3;

inline constexpr uint8_t EVENT_ID_FIRST = 0x01;
inline constexpr uint8_t EVENT_ID_LAST = 0xAB;
inline constexpr uint8_t EVENT_ID_CONFIGURATION_CHANGED = 0x2F;

// Product type flags that steer the decoding.
inline constexpr uint32_t PRODUCT_SLOT_6_BITS = 0x2;        // hard ID: 6 bits of slot, 2 of enclosure
inline constexpr uint32_t PRODUCT_SAS_HOST = 0x200;         // SAS host interface (else Fibre Channel)
inline constexpr uint32_t PRODUCT_HARD_ID_NAMING = 0x10000; // drives named by hard ID (ADISC)

// One row of the event type table.
struct EVENT_TYPE_DECODE {
    const char* name;
    uint32_t source;
    uint32_t severity;
};
// Rows for the IDs 0x01 to 0xAB, indexed by ID - 1.
extern const EVENT_TYPE_DECODE gc_lapiEventDecode[EVENT_ID_LAST];

// Object fields, filled for callers of the library (the command line prints
// only time, source, severity and text).
struct TRANSLATED_EVENT_OBJECT {
    uint32_t valid;
    uint64_t wwn;            // drive WWN; block count of a volume expansion
    uint64_t number;         // loop number; host WWN; 3 for controller events
    uint64_t volume;
    uint64_t pool;
    uint64_t enclosure;
    uint64_t controllerIndex;
    uint32_t slot;           // drive slot or hard ID; ODA; LUN
    uint32_t drive;          // drive number; internal volume
    uint32_t kind;           // object kind of a configuration change
    uint32_t operation;      // operation of a configuration change
};

struct TRANSLATED_EVENT_STRUCT {
    uint32_t recordKind;            // 2
    int32_t time;                   // host time of the event
    uint32_t source;
    uint32_t controllerNumber;      // entry byte 8 (1 or 2; 0 when none)
    uint32_t severity;
    uint32_t eventId;
    uint32_t reserved;
    uint8_t rawId;
    uint8_t rawPayload[wire::kEventPayloadSize];
    TRANSLATED_EVENT_OBJECT object;
    uint32_t textLength;            // in: capacity of `text`; out: length of the text
    char* text;                     // the caller's text buffer
};

// Severity and source names as the listing prints them.
const char* eventSeverityName(uint32_t severity);
const char* eventSourceName(uint32_t source);

// Fills `record` from `entry`; returns 0. The record's text pointer and
// capacity are set by the caller; the text is always terminated and never
// longer than the capacity allows. `flag` non-zero adds the drive WWN to the
// texts of drive insertion and removal.
uint32_t LAPITranslateEvent(const wire::EVENT_LOG_ENTRY* entry, TRANSLATED_EVENT_STRUCT* record, uint32_t flag,
                            uint32_t productType);
// The payload decoding, called by LAPITranslateEvent.
uint32_t LAPITranslateSpecificEventFields(const wire::EVENT_LOG_ENTRY* entry, TRANSLATED_EVENT_STRUCT* record,
                                          uint32_t flag, uint32_t productType);
// Reads an optional "0x"/"0X" prefix, then hexadecimal digits up to the first
// other character; null gives 0.
uint32_t LAPIHexToInt(const char* text);
