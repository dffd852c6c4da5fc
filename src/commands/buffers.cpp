#include "commands/buffers.h"

#include <cstdlib>

#include "commands/global.h"

namespace commands {

void allocationFailure(const char* message, bool report) {
    Global::append("%s", message);
    if (report) Global::errorHandler(CMD_ERR_MEMORY);
    Global::print();
    std::exit(2001);
}

}  // namespace commands
