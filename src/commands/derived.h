// The derived command classes: DConfigController (controller commands that work
// on the configuration) and DSES (enclosure services reports, commands/dses.h).
#pragma once

#include <cstdint>
#include <functional>

#include "commands/configuration.h"
#include "commands/controller.h"
#include "commands/dses.h"
#include "wire/config.h"

class DConfigController : public commandConfiguration, public commandController {
public:
    DConfigController() = default;

    // Its own index, hexadecimal flag and out-of-band flag, which all its calls use.
    int setITLPath(uint8_t index) {
        commandConfiguration::setITLPath(index);
        commandController::setITLPath(index);
        return 0;
    }
    int setHex(uint8_t flag) {
        commandConfiguration::setHex(flag);
        commandController::setHex(flag);
        return 0;
    }
    int setOutOfBand(uint8_t flag) {
        commandConfiguration::setOutOfBand(flag);
        commandController::setOutOfBand(flag);
        return 0;
    }
    uint8_t systemIndex() const { return commandController::systemIndex(); }

    // Progress of the background jobs, from the configuration and the controller
    // information (no configuration: 2023).
    uint32_t getRegenState();
    uint32_t getRegenPercentComplete();
    uint32_t getArrayExpandState();
    uint32_t getArrayExpandPercentComplete();
    uint32_t getParityCheckState();
    uint32_t getParityCheckPercentComplete();

    // Host data rate, controller LUN (mode 0 off, 1 set).
    uint32_t setHardAddressHostAddress(uint32_t rate);
    uint32_t setControllerLun(uint32_t mode, uint32_t lun);
    // The configuration WWN taken from controller `index` (0 A, 1 B).
    uint32_t setConfigurationWWN(uint32_t index);

private:
    // Reads the configuration, then the controller information.
    uint32_t readConfigurationAndInformation();
    // Sends a copy of the current configuration header, changed by `change`,
    // through the host-address change.
    uint32_t applyHeader(const std::function<void(wire::CONFIG_STORAGE_HEADER_STRUCT&)>& change);
};
