// Standard INQUIRY and READ CAPACITY replies.
#include <cstddef>
#include <cstdint>

#include "scsi/discovery.h"
#include "scsi/scsi_commands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SCSI_INQUIRY_DATA inquiry;
    decodeInquiry(data, size, &inquiry);
    volatile int ours = IsPreambleOurs(inquiry.productId);
    (void)ours;
    SCSI_CAPACITY_DATA capacity;
    decodeReadCapacity(data, size, &capacity);
    return 0;
}
