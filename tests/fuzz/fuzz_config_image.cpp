// The configuration image as the configuration queries decode and report it.
#include "command_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t k = fuzzreply::indexFrom(data, size, 4);
    fuzzreply::runAgainstReply(data, size, [k] {
        cfg.setITLPath(0);
        cfg.getRankConfigStruct();
        cfg.getHostConfigStruct();
        cfg.getLunMappingStruct();
        cfg.getHotSpareWWN(k);
        cfg.getArrayLevel(k);
        cfg.getLogicalDriveSize(k);
        cfg.getAllConfigInfo();
    });
    return 0;
}
