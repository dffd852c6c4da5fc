// The controller information record as the controller library decodes and
// reports it.
#include "command_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzreply::runAgainstReply(data, size, [] {
        ctrl.setITLPath(0);
        dCfgCtrl.setITLPath(0);
        ctrl.getControllerInfoAndDriveFailureInfo();
        ctrl.getAllControllerInfo();
        ctrl.displayProductType();
        dCfgCtrl.getRegenPercentComplete();
        dCfgCtrl.getParityCheckState();
    });
    return 0;
}
