// Controller library (-C).
#pragma once

#include <cstdint>
#include <string>

#include "commands/buffers.h"
#include "commands/selection.h"
#include "wire/controller.h"

class commandController : public CommandSelection {
public:
    static constexpr size_t kInfoSize = 1792;  // ALL_CONTROLLER_INFO_AND_FAIL_STRUCT

    commandController();

    // Reports: each appends to the shared text, reports its status, prints.
    uint32_t getControllerInfoAndDriveFailureInfo();
    uint32_t printCntrlInfo(const wire::CONTROLLER_INFO_STRUCT& record);
    uint32_t getProductType(uint32_t& type);
    uint32_t displayProductType();
    uint32_t getRAIDFirmwareRevision();
    uint32_t getAllControllerInfo();
    uint32_t displayDiagDump();
    // The network settings of the enclosure's network module (out-of-band only).
    uint32_t getPrefsConfig();
    uint32_t setPrefsConfig(const std::string& multicastPort, const std::string& ipAddress,
                            const std::string& hostName, const std::string& ipMask, const std::string& ipGateway,
                            const std::string& dnsServer);

    // Maintenance. `index`: 0 controller A, 1 controller B, 2 both.
    uint32_t reset(uint32_t index);
    uint32_t shutDown(uint32_t index, uint32_t mode);
    uint32_t setControllerTime();
    uint32_t ClearControllerStatistics(uint32_t index, uint32_t port, uint32_t lun);
    // Kind 1: controller firmware; kind 2: drive I/O module firmware.
    uint32_t uploadFw(const std::string& path, uint32_t kind);

protected:
    // Clears the information buffer and reads it afresh.
    uint32_t readInformation();
    // The information buffer as a record (a copy: the buffer is raw bytes).
    wire::ALL_CONTROLLER_INFO_AND_FAIL_STRUCT information() const;
    // The controller index check of the maintenance commands: 0 and the mask
    // (1, 2 or 3), or 2013 after its message (none for an index above 2 when
    // `quietOther`).
    uint32_t controllerMask(uint32_t index, bool quietOther, uint32_t& mask) const;

    commands::Buffer m_info;
};
