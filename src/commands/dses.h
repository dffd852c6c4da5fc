// DSES: the enclosure services reports of the enclosure library (-E): the
// enclosure identity, the SES report of the enclosure's pages and the raw
// status page.
#pragma once

#include <cstdint>

#include "commands/buffers.h"
#include "commands/controller.h"
#include "commands/selection.h"

class DSES : public CommandSelection {
public:
    static constexpr size_t kLegacyPageSize = 1298;
    static constexpr size_t kPageSize = 8192;
    static constexpr uint32_t kFirstDirectProductType = 19;

    DSES() = default;

    // The controller object on the same path is told the same.
    int setITLPath(uint8_t index) { m_controller.setITLPath(index); return CommandSelection::setITLPath(index); }
    int setHex(uint8_t flag) { m_controller.setHex(flag); return CommandSelection::setHex(flag); }
    int setOutOfBand(uint8_t flag) { m_controller.setOutOfBand(flag); return CommandSelection::setOutOfBand(flag); }

    // Reports: each prints through the shared text and returns its status.
    uint32_t getRevisionLevelOfEnclosure(uint32_t enclosure);
    uint32_t getSESInfo(uint32_t enclosure);
    uint32_t getSESInfo1(uint32_t enclosure);
    uint32_t getSESInfo2(uint32_t enclosureIndex);
    uint32_t getRawPage(uint32_t enclosure);
    uint32_t getAllInformation(uint32_t enclosure);

private:
    // The product type from the controller object (which reports its own errors).
    uint32_t productType(uint32_t& type);
    // Allocates a legacy page into `page`, then reads the product type: 0, or
    // the status (a memory failure reported here).
    uint32_t legacyPage(commands::Buffer& page);
    // Reads one page of enclosure `enclosureIndex` into `buffer`.
    uint32_t readPage(uint8_t page, uint8_t lengthByte, uint32_t enclosureIndex, uint8_t* buffer, uint16_t allocation);

    commandController m_controller;  // on the same path
    uint8_t m_productType = 0;
};
