#include "commands/systemManager.h"

commandSystemManager::commandSystemManager() {
    bool ok = true;
    for (size_t i = 0; i < 8; ++i) {
        m_buffers[i] = commands::allocateBuffer(kBufferSizes[i]);
        ok = ok && m_buffers[i];
    }
    if (!ok) commands::allocationFailure("", true);
}
