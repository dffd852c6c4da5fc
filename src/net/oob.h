// The out-of-band command transport: one vendor command chunk as one multipart
// POST to the network module's command gateway, its reply back into the
// request block, and the ICMP echo that checks the module once per process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "scsi/scsi_types.h"

// Number of texts of the gateway form (30 name/value pairs).
inline constexpr size_t OOB_FORM_TEXTS = 60;
// The reply body: status (4), unused (1), data length (4), unused (1), sense
// key, ASC, ASCQ, then the returned data.
inline constexpr size_t OOB_REPLY_HEADER = 13;
inline constexpr int OOB_PING_COUNT = 5;
inline constexpr int OOB_HOST_NOT_FOUND = 502;

// The 60 form texts of one request, in order (names and values alternate).
std::vector<std::string> qclRequestFields(const SCSI_COMMAND_STRUCT& request, const std::string& address);
// The uploaded file of one request: a zero byte, then for WRITE BUFFER the chunk.
std::vector<uint8_t> qclUploadBytes(const SCSI_COMMAND_STRUCT& request, const uint8_t* data);
// Takes a reply body apart into the request block and, for the commands that
// read, the caller's buffer. Returns the reply's status, or 255 after
// "Failed to execute the command." when the body is too short to hold a reply.
int qclApplyReply(SCSI_COMMAND_STRUCT* request, uint8_t* data, const uint8_t* body, size_t length);

// Sends one chunk through the module: the vendor status of the command as the
// module ran it, the ping's result (502 or -1) on the first call when the
// module does not answer it, the HTTP status number or 1 on an HTTP failure,
// 255 for an empty reply.
int issueOutOfBandRequest(SCSI_COMMAND_STRUCT* request, uint8_t* data);
// The same as a vendor status code (values outside 0..255 become 255).
uint8_t outOfBandSend(SCSI_COMMAND_STRUCT* request, uint8_t* data);

// Forgets that the ping was done (tests).
void resetOutOfBandPing();

// ICMP echo: 0 when all `count` echoes were answered, 502 when the host does
// not resolve, else -1.
int ahping(int unused, const char* host, int count);
// RFC 1071 checksum of `length` bytes (network order in memory).
uint16_t CalcChecksum(const uint8_t* bytes, size_t length);
// True when the one's-complement sum over the bytes is 0xFFFF.
bool ValidateChecksum(const uint8_t* bytes, size_t length);
// Resolves a host name to dotted text; false when it does not resolve.
bool ResolveIP(const char* name, std::string* dotted);
// Sets the wait for one echo reply, in milliseconds (tests shorten it).
void setPingTimeout(int milliseconds);
