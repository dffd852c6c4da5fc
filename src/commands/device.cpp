#include "commands/device.h"

commandDevice::commandDevice()
    : m_driveList(commands::allocateBuffer(kDriveListSize)),
      m_driveApm(commands::allocateBuffer(kDriveApmSize)),
      m_apmStatus(commands::allocateBuffer(kApmStatusSize)) {
    if (!m_driveList || !m_driveApm || !m_apmStatus)
        commands::allocationFailure("Error: Memory allocation failure!\n", false);
}
