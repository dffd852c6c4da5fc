#include "commands/configuration.h"

bool commandConfiguration::BufferSet::allocate() {
    config = commands::allocateBuffer(kConfigSize);
    controllerInfo = commands::allocateBuffer(kControllerInfoSize);
    hostTable = commands::allocateBuffer(kHostTableSize);
    initTable = commands::allocateBuffer(kInitTableSize);
    driveInfo = commands::allocateBuffer(kDriveInfoSize);
    regionMap = commands::allocateBuffer(kRegionMapSize);
    return config && controllerInfo && hostTable && initTable && driveInfo && regionMap;
}

commandConfiguration::commandConfiguration() {
    bool ok = m_infoSet.allocate() && m_work.allocate();
    for (size_t i = 0; i < 8; ++i) {
        m_snapshot[i] = commands::allocateBuffer(kSnapshotSizes[i]);
        ok = ok && m_snapshot[i];
    }
    if (!ok) commands::allocationFailure("Error: Memory allocation failure\n", true);
}
