// System manager library (-S).
#pragma once

#include <cstdint>

#include "commands/buffers.h"

class commandSystemManager {
public:
    // Support status, configuration data, test-cycle result, drive APM list,
    // APM level 1 record, APM level 2 record, performance data, TQM record.
    static constexpr size_t kBufferSizes[8] = {1792, 940032, 16, 2024, 16, 8, 116, 16};

    commandSystemManager();

    int setITLPath(uint8_t index) { m_index = index; return 0; }
    int setOutOfBand(uint8_t flag) { m_outOfBand = flag; return 0; }

    uint8_t systemIndex() const { return m_index; }
    uint8_t outOfBand() const { return m_outOfBand; }

    // The RAID systems and paths this host sees (in-band). Reports nothing.
    uint32_t whoAmI();

private:
    commands::Buffer m_buffers[8];
    uint8_t m_index = 0;
    uint8_t m_outOfBand = 0;
};
