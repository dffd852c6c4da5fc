// Working buffers of the command objects: allocated once when the object is
// made, kept to the end of the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace commands {

using Buffer = std::unique_ptr<uint8_t[]>;

// A zeroed buffer, or null when the memory cannot be had.
inline Buffer allocateBuffer(size_t size) { return Buffer(new (std::nothrow) uint8_t[size]()); }

// Ends the process as a command object does when it cannot get its buffers:
// `message` goes into the shared text; with `report` the status 2001 is reported
// through the error handler first; then the text is printed and the process
// exits with 2001.
[[noreturn]] void allocationFailure(const char* message, bool report);

}  // namespace commands
