// The vendor command protocol: vendor operations carried in WRITE BUFFER (0x3B),
// READ BUFFER (0x3C) and RECEIVE DIAGNOSTIC RESULTS (0x1C), sent in chunks with
// offsets and lengths in the CDB, in-band through the sg pass-through or
// out-of-band through the network module.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>

#include "scsi/scsi_types.h"
#include "wire/vendor.h"

inline constexpr uint32_t TOLVO_VENDOR_TIMEOUT = 120;
inline constexpr uint32_t TOLVO_OUT_OF_BAND_IDLE_SECONDS = 7;
inline constexpr uint32_t TOLVO_OUT_OF_BAND_PACING_US = 500000;

// Called with the data buffer after a successful transfer from the controller.
using TolvoConversion = void (*)(void* data);

// Writes CDB bytes 0-5; returns `request`.
SCSI_COMMAND_STRUCT* setTolvoCdb(SCSI_COMMAND_STRUCT* request, uint8_t opcode, uint8_t mode, uint8_t bufferId,
                                 uint8_t b3, uint8_t b4, uint8_t b5);

// Sends `totalLength` bytes of `data` (or receives them) in chunks. Returns the
// wsc of the last chunk sent, or WSC_BAD_PARAMETERS when nothing was sent.
// For a transfer from the controller, `received` (optional) is set to the
// number of bytes that arrived (a reply that declares a shorter length in its
// first word ends the transfer after the chunk that holds it). A chunk that
// arrives short ends the transfer, the rest of that chunk zeroed.
uint8_t TOLVO_SendCommand(ITL_HANDLE_STRUCT* handle, SCSI_COMMAND_STRUCT* request, uint8_t* data,
                          uint32_t totalLength, TolvoConversion convert, uint32_t* received = nullptr);

// Copies at most `width` characters of `source` (null counts as empty), turns
// every character outside 32-126 into a blank and blank-fills the field; no NUL.
char* makeTolvoString(const char* source, char* field, uint32_t width);

// The out-of-band transport: sends one chunk through the network module and
// returns its wsc, with the request's sense bytes and data length as reported.
using OutOfBandSender = std::function<uint8_t(SCSI_COMMAND_STRUCT* request, uint8_t* data)>;
// Installs the transport; returns the previous one. Without one, out-of-band
// chunks fail with WSC_OS_ERROR.
OutOfBandSender setOutOfBandSender(OutOfBandSender sender);

// Pacing of out-of-band requests: returns true when the sender must wait
// before a request at `now`, and moves the pacing point `epoch` (0 = unset).
bool outOfBandPaceDue(time_t now, time_t* epoch);

// Conversions between the controller clock and the host's time in local time.
void LAPIControllerTimeToSysTime(const wire::CLOCK_STRUCT* clock, time_t* out);
void LAPISysTimeToControllerTime(time_t time, wire::CLOCK_STRUCT* clock);

// Structures travel in the host's little-endian order as laid out, so the
// conversion hooks of the enclosure pages leave the bytes as they are.
void swap_endian_RECEIVE_DIAGNOSTICS(void* data);
void swap_endian_SEND_DIAGNOSTICS(void* data);

// Enclosure pages.
uint8_t TOLVO_ReceiveDiagnotics(ITL_HANDLE_STRUCT* handle, SCSI_COMMAND_STRUCT* request, uint8_t page,
                                uint8_t flag, uint8_t enclosure, uint8_t* data, uint32_t length);
uint8_t TOLVO_SendDiagnotics(ITL_HANDLE_STRUCT* handle, SCSI_COMMAND_STRUCT* request, uint8_t ignored,
                             uint8_t flag, uint8_t enclosure, uint8_t* data, uint32_t length);
uint8_t TOLVO_ReceiveDiagnotics_SES2(ITL_HANDLE_STRUCT* handle, SCSI_COMMAND_STRUCT* request, uint8_t page,
                                     uint8_t* data, uint32_t length);
