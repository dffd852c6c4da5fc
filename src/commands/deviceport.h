// Device port library (-O): every command answers 0 and prints nothing.
#pragma once

#include <cstdint>

class commandDevicePort {
public:
    commandDevicePort() = default;

    uint32_t getNumberOfDevicePorts(uint64_t) const { return 0; }
    uint32_t getDevicePortSpeed(uint64_t, uint64_t) const { return 0; }
    uint32_t getDevicePortState(uint64_t, uint64_t) const { return 0; }
    uint32_t getDevicePortTopology(uint64_t, uint64_t) const { return 0; }
    uint32_t getDevicePortWWN(uint64_t, uint32_t) const { return 0; }
    uint32_t sendDevicePortLip(uint64_t, uint64_t, uint32_t) const { return 0; }
};
