// Working buffers of the command objects: allocated once when the object is
// made, kept to the end of the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace commands {

struct FreeBuffer {
    void operator()(uint8_t* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<uint8_t[], FreeBuffer>;

// A zeroed buffer, or null when the memory cannot be had. calloc leaves the
// fresh pages of a large buffer untouched until used, so a command pays only
// for the buffers it fills.
inline Buffer allocateBuffer(size_t size) { return Buffer(static_cast<uint8_t*>(std::calloc(size, 1))); }

// Ends the process as a command object does when it cannot get its buffers:
// `message` goes into the shared text; with `report` the status 2001 is reported
// through the error handler first; then the text is printed and the process
// exits with 2001.
[[noreturn]] void allocationFailure(const char* message, bool report);

}  // namespace commands
