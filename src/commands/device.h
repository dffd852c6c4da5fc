// Device library (-D).
#pragma once

#include <cstdint>

#include "commands/buffers.h"

class commandDevice {
public:
    static constexpr size_t kDriveListSize = 9080;  // ALL_DRIVE_INFO_STRUCT
    static constexpr size_t kDriveApmSize = 2024;
    static constexpr size_t kApmStatusSize = 1792;

    commandDevice();

    int setITLPath(uint8_t index) { m_index = index; return 0; }
    int setHex(uint8_t flag) { m_hex = flag; return 0; }
    int setOutOfBand(uint8_t flag) { m_outOfBand = flag; return 0; }

    uint8_t systemIndex() const { return m_index; }
    uint8_t hexMode() const { return m_hex; }
    uint8_t outOfBand() const { return m_outOfBand; }

private:
    commands::Buffer m_driveList;
    commands::Buffer m_driveApm;
    commands::Buffer m_apmStatus;
    uint8_t m_index = 0;
    uint8_t m_hex = 0;
    uint8_t m_outOfBand = 0;
};
