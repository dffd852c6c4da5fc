// The region map as the configuration library decodes and reports it.
#include "command_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t k = fuzzreply::indexFrom(data, size, 4);
    fuzzreply::runAgainstReply(data, size, [k] {
        cfg.setITLPath(0);
        cfg.getRegionMap();
        cfg.getNumRegions();
        cfg.getRegionStatus(k);
        cfg.getRegionArrayNo(k);
        cfg.getRegionCapacity(k);
    });
    return 0;
}
