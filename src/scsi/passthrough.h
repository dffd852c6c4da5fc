// Sending one SCSI command to one SCSI generic device through the classic sg
// interface: one write of a struct sg_header with the CDB and outgoing data, one
// read of the header with the incoming data. A device node that is a Unix
// socket is the emulator's; it is reached through the same write/read pair after
// an open handshake (see sgnode.h).
#pragma once

#include <cstdint>
#include <functional>

#include "scsi/scsi_types.h"

// Directory of the SCSI generic nodes: $LQCL_DEV_DIR when set and not empty, else /dev.
const char* scsiDeviceDirectory();

// "<device dir>/sg<n>" in a newly malloc'ed string (the caller frees it), or
// nullptr when allocation fails.
char* getScsiDeviceName(uint32_t n);

// The node a handle's commands go to: its device path when non-empty, else the
// node of its device number. Returns false when it does not fit `size`.
bool handleDevicePath(const ITL_HANDLE_STRUCT* handle, char* out, size_t size);

// Opens `path` for exclusive read-write access: up to 10 attempts 40 ms apart
// (ENOENT, ENXIO and ENODEV end them at once). Stores the descriptor in *slot.
// Returns 0, the errno of the last attempt, or -1 for a null path.
int openDevice(int32_t* slot, const char* path);

// Devices are closed by issueScsiCommand when each command ends.
void closeDevice();

// Sends `request` through `handle`. `data` holds the outgoing data (direction 0)
// or receives the incoming data (direction 1), request->dataLength bytes.
// Returns WSC_GOOD, WSC_CHECK_CONDITION (sense copied into the request) or
// WSC_OS_ERROR. On WSC_GOOD from the device, request->dataLength holds the
// number of data bytes that arrived (the rest of `data` is zero). A node that
// does not answer within request->timeout seconds fails with WSC_OS_ERROR.
uint8_t issueScsiCommand(ITL_HANDLE_STRUCT* handle, SCSI_COMMAND_STRUCT* request, uint8_t* data);

// The sg backend behind issueScsiCommand.
uint8_t sgPassThrough(ITL_HANDLE_STRUCT* handle, SCSI_COMMAND_STRUCT* request, uint8_t* data);

// Replaces the backend (tests install a scripted double); an empty function
// restores the sg backend. Returns the previous replacement.
using ScsiPassThrough = std::function<uint8_t(ITL_HANDLE_STRUCT*, SCSI_COMMAND_STRUCT*, uint8_t*)>;
ScsiPassThrough setScsiPassThrough(ScsiPassThrough passThrough);
