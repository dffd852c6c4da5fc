// Replies to vendor reads as a device may send them: the first four bytes of
// the input pick the transfer length, the rest is what every chunk returns.
// Discovery's configuration header check runs over the result.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "scsi/discovery.h"
#include "scsi/passthrough.h"
#include "scsi/tolvo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint32_t total = (data[0] | (data[1] << 8) | (data[2] << 16)) % (3 * 32768 + 100) + 1;
    const uint8_t* reply = data + 4;
    const size_t replySize = size - 4;
    setScsiPassThrough([&](ITL_HANDLE_STRUCT*, SCSI_COMMAND_STRUCT* r, uint8_t* buf) -> uint8_t {
        std::memcpy(buf, reply, std::min<size_t>(replySize, r->dataLength));
        return (data[3] & 0x80) ? WSC_CHECK_CONDITION : WSC_GOOD;
    });
    std::vector<uint8_t> buffer(total < 512 ? 512 : total);
    ITL_HANDLE_STRUCT handle{};
    SCSI_COMMAND_STRUCT request{};
    setTolvoCdb(&request, 0x3C, (data[3] & 1) ? 1 : 2, 0x03, 0, 0, 0);
    if (TOLVO_SendCommand(&handle, &request, buffer.data(), total, nullptr) == WSC_GOOD)
        isValidTolvoConfigHeader(buffer.data());
    setScsiPassThrough(nullptr);
    return 0;
}
