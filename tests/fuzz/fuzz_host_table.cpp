// The host table as the configuration library decodes and reports it.
#include "command_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t k = fuzzreply::indexFrom(data, size, 8);
    fuzzreply::runAgainstReply(data, size, [k] {
        cfg.setITLPath(0);
        cfg.getNumberOfHosts();
        cfg.getHostWWN(k);
        cfg.getHostPortWWN(k);
    });
    return 0;
}
