// Enclosure library (-E): enclosure counts, drive slots, locate.
#pragma once

#include <cstddef>
#include <cstdint>

#include "commands/buffers.h"

class commandEnclosure {
public:
    static constexpr size_t kDriveListSize = 9080;

    commandEnclosure();

    int setITLPath(uint8_t index) { m_index = index; return 0; }
    int setHex(uint8_t flag) { m_hex = flag; return 0; }
    int setOutOfBand(uint8_t flag) { m_outOfBand = flag; return 0; }

    uint8_t systemIndex() const { return m_index; }
    uint8_t hexMode() const { return m_hex; }
    uint8_t outOfBand() const { return m_outOfBand; }

    // Reports: each appends to the shared text, reports its status, prints.
    uint32_t getNumberOfEnclosures();
    uint32_t getNumberOfDevices(uint32_t enclosure);
    uint32_t getDeviceWWNInSlot(uint32_t enclosure, uint32_t slot);
    uint32_t getDeviceWWNOfEnclosure(uint32_t enclosure, uint32_t index);
    uint32_t getEnclosureLocation(uint32_t enclosure, uint32_t seconds);

    // The WWN of the first drive in any enclosure whose slot is `slot`; 2003
    // with "Error: Invalid parameters" in the shared text when there is none.
    uint32_t returnDeviceWWNInSlot(uint32_t slot, uint64_t& wwn);

protected:
    // Reads the drive list afresh; the number of records it holds.
    uint32_t readDrives(unsigned& count);
    const uint8_t* drive(unsigned i) const;
    // "Enc [<enclosure>] Device In <by> <value>: <WWN of drive i>", status 0.
    uint32_t reportWwn(uint32_t enclosure, const char* by, uint32_t value, unsigned i) const;

    commands::Buffer m_driveList;
    uint8_t m_index = 0;
    uint8_t m_hex = 0;
    uint8_t m_outOfBand = 0;
};
