#include "commands/enclosure.h"

#include <cstdlib>

#include "commands/global.h"

commandEnclosure::commandEnclosure() : m_driveList(commands::allocateBuffer(kDriveListSize)) {
    if (!m_driveList) {
        Global::print();
        std::exit(2001);
    }
}
