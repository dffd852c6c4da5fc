#include "scsi/sgnode.h"

#include <fcntl.h>
#include <linux/major.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace scsi {
namespace {

constexpr uint32_t kSocketAnswerMaxErrno = 4095;
// How long an emulated node may take to answer the open and the address request.
constexpr int kHandshakeTimeoutMs = 10000;
constexpr uint32_t kDefaultReplyTimeoutSeconds = 120;

bool readable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    int n;
    do n = poll(&p, 1, timeoutMs);
    while (n < 0 && errno == EINTR);
    return n > 0;
}

// One answer of the handshake, or -1 when none came in time.
ssize_t receiveAnswer(int fd, void* buffer, size_t size) {
    if (!readable(fd, kHandshakeTimeoutMs)) return -1;
    return recv(fd, buffer, size, 0);
}

int openSocketNode(const char* path, int flags) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof addr.sun_path) {
        static bool said = false;
        if (!said)
            std::fprintf(stderr,
                         "Error: the device path '%s' is longer than the %zu characters of a socket address; the "
                         "device cannot be reached.\n",
                         path, sizeof addr.sun_path - 1);
        said = true;
        return -ENAMETOOLONG;
    }
    std::strcpy(addr.sun_path, path);
    int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) return -errno;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        int e = errno;
        close(fd);
        // Nobody serves the node any more: the device is gone.
        return (e == ECONNREFUSED || e == ENOENT) ? -ENXIO : -e;
    }
    uint8_t request[8] = {'S', 'G', 'O', 'P'};
    uint32_t f = static_cast<uint32_t>(flags);
    for (int i = 0; i < 4; ++i) request[4 + i] = static_cast<uint8_t>(f >> (8 * i));
    uint8_t answer[4] = {};
    if (send(fd, request, sizeof request, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof request) ||
        receiveAnswer(fd, answer, sizeof answer) != static_cast<ssize_t>(sizeof answer)) {
        close(fd);
        return -ENXIO;
    }
    uint32_t code = answer[0] | (answer[1] << 8) | (answer[2] << 16) | (static_cast<uint32_t>(answer[3]) << 24);
    if (code != 0) {
        close(fd);
        return code <= kSocketAnswerMaxErrno ? -static_cast<int>(code) : -EIO;
    }
    return fd;
}

}  // namespace

bool isDeviceNode(const struct stat& st) {
    return S_ISSOCK(st.st_mode) || (S_ISCHR(st.st_mode) && major(st.st_rdev) == SCSI_GENERIC_MAJOR);
}

int openNode(const char* path, int flags) {
    struct stat st{};
    if (stat(path, &st) != 0) return -errno;
    if (!isDeviceNode(st)) return -ENODEV;
    if (S_ISSOCK(st.st_mode)) return openSocketNode(path, flags);
    int fd = open(path, flags | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return -errno;
    // The path may have been replaced between the two looks.
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode) || major(st.st_rdev) != SCSI_GENERIC_MAJOR) {
        close(fd);
        return -ENODEV;
    }
    return fd;
}

bool awaitReply(int fd, uint32_t timeoutSeconds) {
    struct stat st{};
    if (fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) return true;
    const uint32_t seconds = timeoutSeconds != 0 ? timeoutSeconds : kDefaultReplyTimeoutSeconds;
    return readable(fd, static_cast<int>(std::min<uint64_t>(uint64_t{seconds} * 1000, INT_MAX)));
}

int getScsiId(int fd, sg_scsi_id* id) {
    struct stat st{};
    if (fstat(fd, &st) != 0) return -1;
    if (!S_ISSOCK(st.st_mode)) return ioctl(fd, SG_GET_SCSI_ID, id) == 0 ? 0 : -1;
    static_assert(sizeof(sg_scsi_id) == 32);
    if (send(fd, "SGID", 4, MSG_NOSIGNAL) != 4) return -1;
    sg_scsi_id answer{};
    if (receiveAnswer(fd, &answer, sizeof answer) != static_cast<ssize_t>(sizeof answer)) return -1;
    *id = answer;
    return 0;
}

FdGuard::~FdGuard() {
    if (fd_ >= 0) close(fd_);
}

}  // namespace scsi
