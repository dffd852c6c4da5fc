// Library-API access to the enclosures: their SES pages, through the
// controller (product type 0x13 and later) or embedded in vendor READ/WRITE
// BUFFER commands through a drive slot of the enclosure (older controllers),
// the number of enclosures, and the locate light.
#pragma once

#include <cstdint>

inline constexpr uint32_t kSesLegacyTransferLength = 511;
inline constexpr uint8_t kSesDirectProductType = 0x13;

struct SES_PAGE_REQUEST {
    uint8_t page = 0;                 // SES diagnostic page code
    uint8_t* buffer = nullptr;        // the caller's buffer for the page
    uint8_t length = 0;               // transfer length of the fallback sends of LAPISetEnclosureSESPage
    uint8_t enclosure = 0;            // enclosure index, 0-based
    uint8_t productType = 0;          // low byte of the product type
    uint16_t allocationLength = 0;    // of the direct route
    uint8_t* driveData = nullptr;     // ALL_DRIVE_INFO_STRUCT, or null to have it read
};

struct ENCLOSURE_COUNT_REQUEST {
    uint32_t* count = nullptr;
    uint8_t* driveData = nullptr;     // ALL_DRIVE_INFO_STRUCT, or null to have it read
};

struct LOCATE_ENCLOSURE_REQUEST {
    uint32_t mode = 0;                // written as 128 by the operation
    uint32_t duration = 0;            // seconds
    uint8_t target = 0;               // enclosure number
};

// Number of distinct enclosure numbers among the drive records.
uint32_t LAPIGetNumberOfEnclosures(int index, ENCLOSURE_COUNT_REQUEST* request);
// Reads one page into request->buffer; the buffer holds at least
// max(allocation length, 511) bytes.
uint32_t LAPIGetEnclosureSESPage(int index, SES_PAGE_REQUEST* request);
uint32_t LAPIGetEnclosureSESPage2(int index, SES_PAGE_REQUEST* request);
// Sends the page in request->buffer to the enclosure.
uint32_t LAPISetEnclosureSESPage(int index, SES_PAGE_REQUEST* request);
// Flashes the drive lights of an enclosure for `duration` seconds.
uint32_t LAPILocateEnclosure(int index, LOCATE_ENCLOSURE_REQUEST* request);
