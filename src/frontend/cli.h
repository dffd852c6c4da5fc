// The command line and the flow of one invocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "frontend/command_table.h"

// The index of the system reached out-of-band.
constexpr uint8_t OUT_OF_BAND_SYSTEM_INDEX = 0xBF;
// No RAID system selected.
constexpr uint8_t NO_SYSTEM_SELECTED = 0xFF;

extern uint8_t globalPath;
extern uint32_t userSelection;
extern uint8_t flagInt;
extern int tracelevel;
extern int runfg;

// Parses the arguments, selects the RAID system and runs one command.
void zentool_exe(int argc, char** argv);

// Usage error: prints the message in the usage-error form on standard error and
// ends the process with status 255.
[[noreturn]] void cliprint(const char* message);
// The usage-error form without ending the process.
void cliprintNoExit(const char* message);
// The front end's own trace (off unless runfg is set).
void dprint(int level, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
