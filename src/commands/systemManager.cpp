#include "commands/systemManager.h"

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
    LAPIPrintTolvoDevicesInfo();
    return 0;
}
