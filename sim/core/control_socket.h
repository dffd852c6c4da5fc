// Where a running emulator listens for control requests: DIR/.control, a Unix
// stream socket. The client writes one JSON request line and shuts its side
// down; the server writes one JSON answer line and closes.
#pragma once

namespace sim {

inline constexpr const char* kControlSocketName = ".control";

}  // namespace sim
