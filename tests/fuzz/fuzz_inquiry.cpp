// Standard INQUIRY and READ CAPACITY replies, and the device identification
// page (INQUIRY page 0x83) of a device.
#include <cstddef>
#include <cstdint>

#include "scsi/discovery.h"
#include "scsi/scsi_commands.h"
#include "support/console_redir.h"

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
    return 0;
}
