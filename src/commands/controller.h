// Controller library (-C).
#pragma once

#include <cstdint>
#include <string>

#include "commands/buffers.h"
#include "wire/controller.h"

class commandController {
public:
    static constexpr size_t kInfoSize = 1792;  // ALL_CONTROLLER_INFO_AND_FAIL_STRUCT

    commandController();

    int setITLPath(uint8_t index) { m_index = index; return 0; }
    int setHex(uint8_t flag) { m_hex = flag; return 0; }
    int setOutOfBand(uint8_t flag) { m_outOfBand = flag; return 0; }

    uint8_t systemIndex() const { return m_index; }
    uint8_t hexMode() const { return m_hex; }
    uint8_t outOfBand() const { return m_outOfBand; }

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
    uint8_t m_index = 0;
    uint8_t m_hex = 0;
    uint8_t m_outOfBand = 0;
};
