// Runs library commands against one RAID system whose every vendor read is
// answered with the fuzz input (zero-padded to the length asked for, each
// chunk from its offset): the whole path from the transfer to the printed
// report sees what a hostile or broken controller could send. The commands
// decode and report the configuration image, the controller information
// record, the host table and the region map. The report goes to /dev/null;
// nothing sleeps.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "commands/global.h"
#include "commands/objects.h"
#include "scsi/discovery.h"
#include "scsi/passthrough.h"
#include "support/sleep.h"
#include "wire/byteorder.h"

namespace {

void runAgainstReply(const uint8_t* data, size_t size, const std::function<void()>& command) {
    static bool ready = [] {
        std::freopen("/dev/null", "w", stdout);
        // A failed read rescans the device directory: let it find nothing.
        setenv("LQCL_DEV_DIR", "/nonexistent/lqcl-fuzz", 1);
        lqcl::setSleepHook([](uint32_t) {});
        return true;
    }();
    (void)ready;
    resetRaidSystemTable();
    gNumTolvos = 1;
    cDevice_Discovery_Done = 1;
    gTolvos[0].slotValid[0] = 1;
    gTolvos[0].slots[0].fd = -1;
    setScsiPassThrough([&](ITL_HANDLE_STRUCT*, SCSI_COMMAND_STRUCT* r, uint8_t* buf) -> uint8_t {
        if (r->direction != SCSI_DIR_FROM_DEVICE || buf == nullptr) return WSC_GOOD;
        // Data-mode reads carry the chunk's offset in CDB bytes 3-5.
        const size_t offset = r->cdb[1] == 2 ? wire::loadBe24(&r->cdb[3]) : 0;
        std::memset(buf, 0, r->dataLength);
        if (offset < size) std::memcpy(buf, data + offset, std::min<size_t>(size - offset, r->dataLength));
        return WSC_GOOD;
    });
    Global::string.clear();
    Global::setErrorHandled(0);
    command();
    Global::string.clear();
    setScsiPassThrough(nullptr);
}

// A small number from the input for index arguments.
uint32_t indexFrom(const uint8_t* data, size_t size, size_t at) { return at < size ? data[at] : 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint32_t k = indexFrom(data, size, 4), host = indexFrom(data, size, 8);
    runAgainstReply(data, size, [k] {
        cfg.setITLPath(0);
        cfg.getRankConfigStruct();
        cfg.getHostConfigStruct();
        cfg.getLunMappingStruct();
        cfg.getHotSpareWWN(k);
        cfg.getArrayLevel(k);
        cfg.getLogicalDriveSize(k);
        cfg.getAllConfigInfo();
    });
    runAgainstReply(data, size, [] {
        ctrl.setITLPath(0);
        dCfgCtrl.setITLPath(0);
        ctrl.getControllerInfoAndDriveFailureInfo();
        ctrl.getAllControllerInfo();
        ctrl.displayProductType();
        dCfgCtrl.getRegenPercentComplete();
        dCfgCtrl.getParityCheckState();
    });
    runAgainstReply(data, size, [host] {
        cfg.setITLPath(0);
        cfg.getNumberOfHosts();
        cfg.getHostWWN(host);
        cfg.getHostPortWWN(host);
    });
    runAgainstReply(data, size, [k] {
        cfg.setITLPath(0);
        cfg.getRegionMap();
        cfg.getNumRegions();
        cfg.getRegionStatus(k);
        cfg.getRegionArrayNo(k);
        cfg.getRegionCapacity(k);
    });
    return 0;
}
