// Persistent reservation data of one path, read with PERSISTENT RESERVE IN and
// printed. Each names its path with 4 bytes: an ignored byte, channel, target
// and LUN; each sends its command once and returns 0.
#pragma once

#include <cstdint>

struct PR_IN_PATH {
    uint8_t ignored;
    uint8_t channel;
    uint8_t target;
    uint8_t lun;
};

uint32_t LAPIPersistentReservationInReadKeys(const PR_IN_PATH* path);
uint32_t LAPIPersistentReservationInReadReservation(const PR_IN_PATH* path);
uint32_t LAPIPersistentReservationInReportCapabilities(const PR_IN_PATH* path);
uint32_t LAPIPersistentReservationInReadFullStatus(const PR_IN_PATH* path);
