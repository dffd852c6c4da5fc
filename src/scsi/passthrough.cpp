#include "scsi/passthrough.h"

#include <fcntl.h>
#include <scsi/sg.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "scsi/sgnode.h"
#include "support/sleep.h"
#include "support/trace.h"

namespace {

constexpr int kOpenAttempts = 10;
constexpr uint32_t kOpenRetryDelayUs = 40000;
constexpr int kIoAttempts = 3;
constexpr int kPackId = 5678;
constexpr size_t kHeaderSize = sizeof(sg_header);
static_assert(kHeaderSize == 36);

ScsiPassThrough& replacement() {
    static ScsiPassThrough fn;
    return fn;
}

struct FreeDeleter {
    void operator()(uint8_t* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<uint8_t, FreeDeleter>;

// Closes the device in the handle's descriptor slot when the command ends.
class SlotCloser {
public:
    explicit SlotCloser(int32_t* slot) : slot_(slot) {}
    ~SlotCloser() {
        if (*slot_ >= 0) close(*slot_);
        *slot_ = -1;
    }
    SlotCloser(const SlotCloser&) = delete;
    SlotCloser& operator=(const SlotCloser&) = delete;

private:
    int32_t* slot_;
};

template <typename Io>
ssize_t retryWhileAgain(Io io) {
    ssize_t n = -1;
    for (int attempt = 0; attempt < kIoAttempts; ++attempt) {
        n = io();
        if (n >= 0 || errno != EAGAIN) break;
    }
    return n;
}

}  // namespace

const char* scsiDeviceDirectory() {
    const char* dir = std::getenv("LQCL_DEV_DIR");
    return (dir != nullptr && dir[0] != '\0') ? dir : "/dev";
}

char* getScsiDeviceName(uint32_t n) {
    const char* dir = scsiDeviceDirectory();
    size_t size = std::strlen(dir) + 20;
    char* name = static_cast<char*>(std::malloc(size));
    if (name != nullptr) std::snprintf(name, size, "%s/sg%u", dir, n);
    return name;
}

bool handleDevicePath(const ITL_HANDLE_STRUCT* handle, char* out, size_t size) {
    int n;
    if (strnlen(handle->devicePath, sizeof handle->devicePath) == sizeof handle->devicePath) return false;
    if (handle->devicePath[0] != '\0')
        n = std::snprintf(out, size, "%s", handle->devicePath);
    else
        n = std::snprintf(out, size, "%s/sg%u", scsiDeviceDirectory(), handle->deviceNumber);
    return n >= 0 && static_cast<size_t>(n) < size;
}

int openDevice(int32_t* slot, const char* path) {
    if (path == nullptr || slot == nullptr) return -1;
    int err = 0;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        int fd = scsi::openNode(path, O_RDWR | O_EXCL);
        if (fd >= 0) {
            *slot = fd;
            return 0;
        }
        err = -fd;
        if (err == ENOENT || err == ENXIO || err == ENODEV) break;
        lqcl::sleepMicroseconds(kOpenRetryDelayUs);
    }
    *slot = -1;
    return err;
}

void closeDevice() {
    // Every command closes its device when it ends; nothing stays open.
}

uint8_t sgPassThrough(ITL_HANDLE_STRUCT* handle, SCSI_COMMAND_STRUCT* request, uint8_t* data) {
    if (handle == nullptr || request == nullptr) return WSC_OS_ERROR;
    const uint32_t cdbLength = request->cdbLength;
    const uint32_t dataLength = request->dataLength;
    if (cdbLength > sizeof request->cdb || dataLength > INT_MAX - 64 || (dataLength > 0 && data == nullptr))
        return WSC_OS_ERROR;

    char path[4096];
    if (!handleDevicePath(handle, path, sizeof path)) return WSC_OS_ERROR;
    int err = openDevice(&handle->fd, path);
    if (err != 0) {
        if (err == EACCES)
            std::printf("Access mode is not read / write .\n");
        else if (err != ENOENT && err != ENXIO && err != EBUSY && err != ENODEV)
            std::printf("Unknown open error for scsi devices returned: %d.\n", err);
        return WSC_OS_ERROR;
    }
    SlotCloser closer(&handle->fd);

    const bool toDevice = request->direction == SCSI_DIR_TO_DEVICE;
    const size_t packetSize = kHeaderSize + cdbLength + (toDevice ? dataLength : 0);
    // Header, CDB and data fill the whole packet.
    Buffer packet(static_cast<uint8_t*>(std::malloc(packetSize)));
    if (!packet) return WSC_OS_ERROR;
    sg_header header{};
    header.pack_len = static_cast<int>(packetSize);
    header.reply_len = static_cast<int>(kHeaderSize + (toDevice ? 0 : dataLength));
    header.pack_id = kPackId;
    header.result = 0;
    header.twelve_byte = cdbLength == 12 ? 1 : 0;
    std::memcpy(packet.get(), &header, kHeaderSize);
    std::memcpy(packet.get() + kHeaderSize, request->cdb, cdbLength);
    if (toDevice && dataLength > 0) std::memcpy(packet.get() + kHeaderSize + cdbLength, data, dataLength);

    const int fd = handle->fd;
    ssize_t written = retryWhileAgain([&] { return write(fd, packet.get(), packetSize); });
    if (written < 0 || static_cast<size_t>(written) < packetSize) return WSC_OS_ERROR;
    packet.reset();

    const size_t replySize = kHeaderSize + (toDevice ? 0 : dataLength);
    Buffer reply(static_cast<uint8_t*>(std::calloc(1, replySize)));
    if (!reply) return WSC_OS_ERROR;
    // A node that never answers is a failed path, not a hang.
    if (!scsi::awaitReply(fd, request->timeout)) return WSC_OS_ERROR;
    ssize_t got = retryWhileAgain([&] { return read(fd, reply.get(), replySize); });
    // A reply without a whole header says nothing about the command.
    if (got < static_cast<ssize_t>(kHeaderSize)) return WSC_OS_ERROR;

    sg_header answer;
    std::memcpy(&answer, reply.get(), kHeaderSize);
    if (answer.target_status != 0 || answer.result == 1) {
        std::memcpy(request->senseData, answer.sense_buffer, sizeof request->senseData);
        return WSC_CHECK_CONDITION;
    }
    if (answer.result != 0) return WSC_OS_ERROR;
    // Bytes the device did not send read as the zeros the buffer was cleared to;
    // the data length tells how many arrived.
    if (!toDevice && dataLength > 0) std::memcpy(data, reply.get() + kHeaderSize, dataLength);
    if (!toDevice) request->dataLength = static_cast<uint32_t>(got) - static_cast<uint32_t>(kHeaderSize);
    return WSC_GOOD;
}

namespace {

// One line of the opt-in trace per command: which path, which CDB, what came back.
void traceCommand(const ITL_HANDLE_STRUCT* handle, const SCSI_COMMAND_STRUCT* request, uint8_t status) {
    char path[4096];
    if (!handleDevicePath(handle, path, sizeof path)) std::snprintf(path, sizeof path, "(unnamed path)");
    char cdb[16 * 3 + 1] = "";
    size_t used = 0;
    for (uint32_t i = 0; i < request->cdbLength && i < sizeof request->cdb; ++i)
        used += static_cast<size_t>(
            std::snprintf(cdb + used, sizeof cdb - used, "%s%02X", i == 0 ? "" : " ", request->cdb[i]));
    if (status == WSC_CHECK_CONDITION)
        DIDEDebug(TRACE_SCSI, DETAIL_PROGRESS, "%s: CDB %s, %s %u bytes: status %u, sense %X/%02X/%02X", path, cdb,
                  request->direction == SCSI_DIR_TO_DEVICE ? "out" : "in", request->dataLength, status,
                  request->senseKey(), request->asc(), request->ascq());
    else
        DIDEDebug(TRACE_SCSI, DETAIL_PROGRESS, "%s: CDB %s, %s %u bytes: status %u", path, cdb,
                  request->direction == SCSI_DIR_TO_DEVICE ? "out" : "in", request->dataLength, status);
}

}  // namespace

uint8_t issueScsiCommand(ITL_HANDLE_STRUCT* handle, SCSI_COMMAND_STRUCT* request, uint8_t* data) {
    if (handle == nullptr || request == nullptr) return WSC_OS_ERROR;
    const uint8_t status =
        replacement() ? replacement()(handle, request, data) : sgPassThrough(handle, request, data);
    if (DIDEDebugEnabled(TRACE_SCSI, DETAIL_PROGRESS)) traceCommand(handle, request, status);
    return status;
}

ScsiPassThrough setScsiPassThrough(ScsiPassThrough passThrough) {
    ScsiPassThrough previous = std::move(replacement());
    replacement() = std::move(passThrough);
    return previous;
}
