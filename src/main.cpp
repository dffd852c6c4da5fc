#include "frontend/cli.h"
#include "commands/global.h"

int main(int argc, char** argv) {
    zentool_exe(argc, argv);
    return Global::exitStatus();
}
