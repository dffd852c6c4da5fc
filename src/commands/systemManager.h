// System manager library (-S).
#pragma once

#include <cstdint>

#include "commands/buffers.h"
#include "commands/selection.h"

class commandSystemManager : public CommandSelection {
public:
    // Support status, configuration data, test-cycle result, drive APM list,
    // APM level 1 record, APM level 2 record, performance data, TQM record.
    static constexpr size_t kBufferSizes[8] = {1792, 940032, 16, 2024, 16, 8, 116, 16};

    commandSystemManager();

    // The RAID systems and paths this host sees (in-band). Reports nothing.
    uint32_t whoAmI();

    // The eleven system parameters, in command-line order.
    uint32_t setSystemParams(const uint32_t values[11]);
    uint32_t getAPMLevel1Info();
    uint32_t getAPMLevel2Info();
    uint32_t setAPMLevel1(uint32_t hotSpares, uint32_t unused, uint32_t failed, uint32_t selfTest, uint32_t cycle,
                          uint32_t date, uint32_t day, uint32_t hour, uint32_t minute);
    uint32_t setAPMLevel2(uint32_t array, uint32_t selfTest, uint32_t mode, uint32_t date, uint32_t hour,
                          uint32_t idleHours, uint32_t idleMinutes);
    // Kind 0: the drives; kind 1: array `array`. Appends; does not report.
    uint32_t getAPMTestCycleStatus(uint32_t kind, uint32_t array);
    uint32_t setTQM(uint32_t type, uint32_t time);
    uint32_t getAdvancePerformanceInfo();
    // Cache flush 0/1, thread balance 0/1, sequential write streams 0-3.
    uint32_t setAdvancePerformance(uint32_t cacheFlush, uint32_t threadBalance, uint32_t sequentialWrite);

private:
    enum BufferIndex { kSupport, kConfig, kTestCycle, kDriveApm, kApm1, kApm2, kPerformance, kTqm };
    uint8_t* buffer(BufferIndex i) { return m_buffers[i].get(); }
    // Clears the buffers, reads the APM support status, then the configuration
    // (2023 when it holds no array).
    uint32_t apmPreamble();
    // Reads the support status through `support`, then the configuration (with
    // `needArrays`, 2023 when it holds no array).
    uint32_t supportAndConfiguration(uint32_t (*support)(int, uint8_t*), bool needArrays);
    uint16_t arrayCount();

    commands::Buffer m_buffers[8];
};
