// Typed views of the snapshot and overwrite-data-area buffers of the
// configuration object, with their counts limited to the records they hold.
#pragma once

#include <cstddef>
#include <cstdint>

namespace commands {

template <typename T>
const T& tableAs(const uint8_t* buffer) {
    return *reinterpret_cast<const T*>(buffer);
}

inline size_t clampCount(size_t n, size_t max) { return n < max ? n : max; }

}  // namespace commands
