// What a device or the exclusion list file hands the SCSI layer: standard
// INQUIRY and READ CAPACITY replies; the device identification page (INQUIRY
// page 0x83); replies to vendor reads (the first four bytes of the input pick
// the transfer length, the rest is what every chunk returns), with discovery's
// configuration header check over the result; and the RAID system exclusion
// list file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "scsi/discovery.h"
#include "scsi/exclusion.h"
#include "scsi/passthrough.h"
#include "scsi/scsi_commands.h"
#include "scsi/tolvo.h"
#include "support/console_redir.h"

namespace {

void vendorReply(const uint8_t* data, size_t size) {
    if (size < 4) return;
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
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ConsoleRedirection quiet(nullptr);  // the wrong-page message is not of interest
    SCSI_INQUIRY_DATA inquiry;
    decodeInquiry(data, size, &inquiry);
    volatile int ours = IsPreambleOurs(inquiry.productId);
    (void)ours;
    SCSI_CAPACITY_DATA capacity;
    decodeReadCapacity(data, size, &capacity);

    SCSI_DEVICE_ID_DATA page;
    if (decodeDeviceIdPage(data, size, &page) == WSC_GOOD) {
        uint8_t wwn[8];
        wwnFromDeviceId(&page, wwn);
        for (uint32_t i = 0; i < page.descriptorCount; ++i) {
            const SCSI_DEVICE_ID_DESCRIPTOR& d = page.descriptors[i];
            volatile uint8_t sink = 0;
            for (uint32_t b = 0; b < d.identifierLength; ++b) sink = sink ^ d.identifier[b];
        }
    }
    scsiInquiryDeviceIDClear(&page);

    vendorReply(data, size);

    std::vector<uint8_t> copy(data, data + size);
    if (FILE* f = fmemopen(copy.data(), copy.size() == 0 ? 1 : copy.size(), "r")) {
        uint8_t table[MAX_EXCLUDED_SYSTEMS][8];
        readExclusionList(f, table, MAX_EXCLUDED_SYSTEMS, nullptr);
        fclose(f);
    }
    return 0;
}
