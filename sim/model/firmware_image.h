// Firmware images in the form the emulator checks (see maintenance_state.h):
// for rehearsing a download, for the tests and the demonstration.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim::model {

// `kind` 1 controller, 2 drive I/O module; `size` the whole image, at least
// the 40-byte header. The payload is a repeatable byte pattern.
std::vector<uint8_t> makeFirmwareImage(uint8_t kind, uint8_t major, uint8_t minor, const std::string& build,
                                       const std::string& date, uint32_t size);

// `tolvo-sim firmware-image OUT controller|driveio MAJOR.MINOR BUILD SIZE [DATE]`:
// writes an image file; returns the exit status (2 with a message on bad arguments).
int firmwareImageCommand(int argc, char** argv);

}  // namespace sim::model
