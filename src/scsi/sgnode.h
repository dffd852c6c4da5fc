// Opening a SCSI generic node and asking it for its SCSI address.
//
// A real node is a character device: open(2) and the SG_GET_SCSI_ID ioctl.
// An emulated node is a Unix domain socket of type SOCK_SEQPACKET bound at the
// node's path. Per connection (integers little-endian):
//   "SGOP" + u32 open flags  ->  u32 0 (open) or a positive errno (then closed)
//   "SGID"                   ->  the 32 bytes of struct sg_scsi_id
//   sg_header + CDB + data   ->  sg_header + data (one message each way)
// so above the open the same write/read code serves both.
//
// Nothing else is a device node: a regular file, a FIFO, a block device or a
// character device of another driver (also behind a symbolic link) is never
// opened for a command, so no command packet is ever written into it.
#pragma once

#include <scsi/sg.h>
#include <sys/stat.h>

#include <cstdint>

namespace scsi {

// A character device of the SCSI generic driver or a socket.
bool isDeviceNode(const struct stat& st);

// Returns a descriptor, or -errno: -ENODEV for a path that is not a device
// node (it is left untouched), -ENAMETOOLONG for an emulated node whose path
// does not fit a socket address (said once on standard error), -ENXIO for an
// emulated node that nobody serves or that does not answer the open.
int openNode(const char* path, int flags);

// Waits until a reply can be read from `fd`: at most `timeoutSeconds` (0: the
// vendor commands' 120 seconds) on an emulated node; a character device is
// read at once, its driver applies its own time-out. False on a time-out.
bool awaitReply(int fd, uint32_t timeoutSeconds);

// SG_GET_SCSI_ID on an open node; 0 on success, -1 otherwise.
int getScsiId(int fd, sg_scsi_id* id);

// Closes a descriptor on scope exit.
class FdGuard {
public:
    explicit FdGuard(int fd) : fd_(fd) {}
    ~FdGuard();
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace scsi
