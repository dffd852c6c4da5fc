// What every command object is told before its command runs: the RAID system
// it works on (an index in discovery order, 191 out-of-band), whether numbers
// are hexadecimal, and whether it goes out-of-band.
#pragma once

#include <cstdint>

class CommandSelection {
public:
    int setITLPath(uint8_t index) { m_index = index; return 0; }
    int setHex(uint8_t flag) { m_hex = flag; return 0; }
    int setOutOfBand(uint8_t flag) { m_outOfBand = flag; return 0; }

    uint8_t systemIndex() const { return m_index; }
    uint8_t hexMode() const { return m_hex; }
    uint8_t outOfBand() const { return m_outOfBand; }

protected:
    uint8_t m_index = 0;
    uint8_t m_hex = 0;
    uint8_t m_outOfBand = 0;
};
