#include "commands/systemManager.h"

#include "net/update.h"
#include "scsi/discovery.h"

commandSystemManager::commandSystemManager() {
    bool ok = true;
    for (size_t i = 0; i < 8; ++i) {
        m_buffers[i] = commands::allocateBuffer(kBufferSizes[i]);
        ok = ok && m_buffers[i];
    }
    if (!ok) commands::allocationFailure("", true);
}

uint32_t commandSystemManager::whoAmI() {
    // Out-of-band, the systems the tool can reach are the network modules.
    if (m_outOfBand) Discovery(1, 0);
    else LAPIPrintTolvoDevicesInfo();
    return 0;
}
