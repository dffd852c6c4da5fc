// Opening a SCSI generic node and asking it for its SCSI address.
//
// A real node is a character device: open(2) and the SG_GET_SCSI_ID ioctl.
// An emulated node is a Unix domain socket of type SOCK_SEQPACKET bound at the
// node's path. Per connection (integers little-endian):
//   "SGOP" + u32 open flags  ->  u32 0 (open) or a positive errno (then closed)
//   "SGID"                   ->  the 32 bytes of struct sg_scsi_id
//   sg_header + CDB + data   ->  sg_header + data (one message each way)
// so above the open the same write/read code serves both.
#pragma once

#include <scsi/sg.h>

namespace scsi {

// Returns a descriptor, or -errno.
int openNode(const char* path, int flags);

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
