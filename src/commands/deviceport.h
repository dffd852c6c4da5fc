// Device port library (-O).
#pragma once

class commandDevicePort {
public:
    commandDevicePort() = default;
};
