#include "commands/controller.h"

commandController::commandController() : m_info(commands::allocateBuffer(kInfoSize)) {
    if (!m_info) commands::allocationFailure("Error: Memory allocation failure\n", true);
}
