// Enclosure library (-E): enclosure counts, drive slots, locate.
#pragma once

#include <cstddef>
#include <cstdint>

#include "commands/buffers.h"
#include "commands/selection.h"

class commandEnclosure : public CommandSelection {
public:
    static constexpr size_t kDriveListSize = 9080;

    commandEnclosure();

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
};
