// Configuration library (-F): queries, changes, snapshots, save and restore, events.
#pragma once

#include <cstdint>

#include "commands/buffers.h"

class commandConfiguration {
public:
    // The information set: configuration image, controller information, host
    // table, initialisation table, drive information, region map.
    static constexpr size_t kConfigSize = 940032;
    static constexpr size_t kControllerInfoSize = 1792;
    static constexpr size_t kHostTableSize = 12296;
    static constexpr size_t kInitTableSize = 256;
    static constexpr size_t kDriveInfoSize = 9080;
    static constexpr size_t kRegionMapSize = 21656;
    // Snapshot and overwrite-data-area working buffers.
    static constexpr size_t kSnapshotSizes[8] = {2056, 16396, 868, 392, 20484, 1028, 16, 144};

    commandConfiguration();

    int setITLPath(uint8_t index) { m_index = index; return 0; }
    int setHex(uint8_t flag) { m_hex = flag; return 0; }
    int setOutOfBand(uint8_t flag) { m_outOfBand = flag; return 0; }

    uint8_t systemIndex() const { return m_index; }
    uint8_t hexMode() const { return m_hex; }
    uint8_t outOfBand() const { return m_outOfBand; }

protected:
    struct BufferSet {
        commands::Buffer config, controllerInfo, hostTable, initTable, driveInfo, regionMap;
        bool allocate();
    };
    BufferSet m_infoSet;   // refreshed together by the information-set read
    BufferSet m_work;      // the separate working buffers of single queries
    commands::Buffer m_snapshot[8];
    uint8_t m_index = 0;
    uint8_t m_hex = 0;
    uint8_t m_outOfBand = 0;
    uint32_t m_lastValue = 0;
    uint64_t m_lastWwn = 0;
};
