// Debug trace of the library API, event and discovery code. By default every
// message is discarded: nothing reaches the screen or a file through DIDEDebug,
// and the filter and location settings are kept and reported as if they steered
// an output. An administrator opts in with LQCL_TRACE=FILE (optional masks
// LQCL_TRACE_TYPES and LQCL_TRACE_DETAIL, hexadecimal): the messages are then
// appended to FILE, a regular file of the user, never reached through a link.
#pragma once

#include <cstdint>

// Type masks of the callers.
inline constexpr uint32_t TRACE_LAPI = 0x10;
inline constexpr uint32_t TRACE_EVENTS = 0x14;
inline constexpr uint32_t TRACE_DISCOVERY = 0x20;
inline constexpr uint32_t TRACE_SCSI = 0x40;  // one line per command sent to a device
inline constexpr uint32_t TRACE_ALL = 0xFFFFFFFF;

// Detail levels.
inline constexpr uint32_t DETAIL_ENTRY_EXIT = 1;
inline constexpr uint32_t DETAIL_PROGRESS = 2;
inline constexpr uint32_t DETAIL_ERROR = 4;
inline constexpr uint32_t DETAIL_DATA = 8;
inline constexpr uint32_t DETAIL_TABLE = 0xC;
inline constexpr uint32_t DETAIL_SELF = 0xF;

// Locations.
inline constexpr uint32_t TRACE_TO_SCREEN = 1;
inline constexpr uint32_t TRACE_TO_FILE = 2;

extern uint32_t g_ulPrintableTypes;
extern uint32_t g_ulPrintableDetail;
extern uint32_t g_ulPrintableLocation;
extern uint32_t g_ulCurrentFile;

extern const char* const kTraceFileNames[2];

void DIDEDebug(uint32_t types, uint32_t detail, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// True when a message of these bits would reach the opt-in trace file; lets a
// caller skip building an expensive message.
bool DIDEDebugEnabled(uint32_t types, uint32_t detail);
void DIDEDebugSetOutputDetail(uint32_t mask, uint32_t on);
void DIDEDebugSetOutputTypes(uint32_t mask, uint32_t on);
void DIDEDebugSetOutputLocation(uint32_t location);
void DIDEDebugClearAll();
void DIDEDebugDumpBinaryDataToScreen(const uint8_t* data, int32_t length);

// The text DIDEDebugDumpBinaryDataToScreen traces, for callers that show it.
// Built into `out` (at most `size` bytes including the terminator); returns the
// length the whole text needs.
int formatBinaryDump(const uint8_t* data, int32_t length, char* out, int size);
