// Persistent reservations of one path: the data read with PERSISTENT RESERVE
// IN and printed, and the PERSISTENT RESERVE OUT requests. Each names its path
// with 4 bytes: an ignored byte, channel, target and LUN; each sends its
// command once, prints the outcome and returns 0.
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

// A PERSISTENT RESERVE OUT request: the path, the reservation type and the
// two keys, most significant byte first.
struct PR_OUT_REQUEST {
    PR_IN_PATH path;
    uint8_t type;
    uint8_t key[8];
    uint8_t serviceActionKey[8];
};
static_assert(sizeof(PR_OUT_REQUEST) == 21);

uint32_t LAPIPersistentReservationOutRegister(const PR_OUT_REQUEST* request);
uint32_t LAPIPersistentReservationOutReserve(const PR_OUT_REQUEST* request);
uint32_t LAPIPersistentReservationOutRelease(const PR_OUT_REQUEST* request);
uint32_t LAPIPersistentReservationOutClear(const PR_OUT_REQUEST* request);
uint32_t LAPIPersistentReservationOutRegisterAndIgnore(const PR_OUT_REQUEST* request);
