// Controller library (-C).
#pragma once

#include <cstdint>

#include "commands/buffers.h"

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

protected:
    commands::Buffer m_info;
    uint8_t m_index = 0;
    uint8_t m_hex = 0;
    uint8_t m_outOfBand = 0;
};
