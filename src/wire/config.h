// The RAID configuration image and the records read beside it: region map,
// host table and initialisation table.
//
// The image (CONFIG_STORAGE_STRUCT) is the controller's whole configuration:
// header, 64 rank records, 512 host LUN records, 512 LUN maps and the hot spare
// records. Bytes no one interprets are kept as reserved arrays so that every
// record keeps its exact size and a written-back image round-trips unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/byteorder.h"

namespace wire {

// Configuration header: bytes 0 to 511 of the image; also the reply of the
// configuration header read (buffer 0x03) that discovery checks.
struct CONFIG_STORAGE_HEADER_STRUCT {
    le32 length;                      // 0x00 byte count of the image; non-zero in a valid header
    uint8_t reserved04[0x14];         // 0x04
    wwn8 configWwn;                   // 0x18 the RAID system's WWN
    uint8_t reserved20[0x10];         // 0x20
    char name[64];                    // 0x30 configuration name, blank-padded, no NUL
    uint8_t reserved70[0x20];         // 0x70
    le16 totalArrays;                 // 0x90 ranks in use
    le16 totalLogicalDrives;          // 0x92 host LUN records in use
    le16 totalLunMappingEntries;      // 0x94 LUN maps in use
    le16 totalSpares;                 // 0x96 hot spare records in use
    uint8_t reserved98[0x0A];         // 0x98
    uint8_t autoRebuild;              // 0xA2 0xF1 enabled
    uint8_t hardAddress[4];           // 0xA3 host ports 0-3: bit 7 hard, bits 0-6 address
    uint8_t reservedA7;               // 0xA7
    uint8_t rebuildPriority;          // 0xA8 percent
    uint8_t autoDriveFwUpdate;        // 0xA9 0xF1 enabled
    uint8_t headerValid;              // 0xAA non-zero in a valid header
    uint8_t singleControllerMode;     // 0xAB 0xF1 enabled (0xF0/0xF1 in a valid header)
    uint8_t reservedAC[0x20];         // 0xAC
    le16 controllerLun;               // 0xCC 0xFFFF disabled
    uint8_t reservedCE[2];            // 0xCE
    uint8_t backgroundVerify;         // 0xD0 0xF1 enabled (0xF0/0xF1 in a valid header)
    uint8_t autoHotSpare;             // 0xD1 0xF1 enabled (0xF0/0xF1 in a valid header)
    uint8_t controllerLogSes;         // 0xD2 0xF1 enabled
    uint8_t altNodeNames;             // 0xD3 different node names on the host ports
    uint8_t hostConnection[2];        // 0xD4 ports 0/2, 0xD5 ports 1/3 (low/high nibble)
    uint8_t hostDataRate[2];          // 0xD6 ports 0/2, 0xD7 ports 1/3 (low/high nibble)
    uint8_t reservedD8[6];            // 0xD8
    uint8_t initPriority;             // 0xDE
    uint8_t cacheFlush;               // 0xDF advance performance: cache flush (0xF0/0xF1)
    uint8_t reservedE0[0x0B];         // 0xE0
    uint8_t threadBalance;            // 0xEB advance performance: thread balance (0xF0/0xF1)
    uint8_t reservedEC[9];            // 0xEC
    uint8_t sequentialWrite;          // 0xF5 advance performance: sequential write streams (1-4)
    le16 minChunkBlocks;              // 0xF6 smallest chunk, 512-byte blocks; 0 = no limit
    le16 maxChunkBlocks;              // 0xF8 largest chunk, 512-byte blocks; 0 = no limit
    uint8_t reservedFA[0x106];        // 0xFA
};
static_assert(sizeof(CONFIG_STORAGE_HEADER_STRUCT) == 512);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, length) == 0x00);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, configWwn) == 0x18);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, name) == 0x30);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, totalArrays) == 0x90);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, totalLogicalDrives) == 0x92);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, totalLunMappingEntries) == 0x94);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, totalSpares) == 0x96);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, autoRebuild) == 0xA2);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, hardAddress) == 0xA3);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, rebuildPriority) == 0xA8);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, autoDriveFwUpdate) == 0xA9);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, headerValid) == 0xAA);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, singleControllerMode) == 0xAB);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, controllerLun) == 0xCC);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, backgroundVerify) == 0xD0);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, autoHotSpare) == 0xD1);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, controllerLogSes) == 0xD2);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, altNodeNames) == 0xD3);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, hostConnection) == 0xD4);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, hostDataRate) == 0xD6);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, initPriority) == 0xDE);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, cacheFlush) == 0xDF);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, threadBalance) == 0xEB);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, sequentialWrite) == 0xF5);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, minChunkBlocks) == 0xF6);
static_assert(offsetof(CONFIG_STORAGE_HEADER_STRUCT, maxChunkBlocks) == 0xF8);

// Size of the configuration header read by discovery (buffer 0x03).
inline constexpr size_t kConfigHeaderSize = sizeof(CONFIG_STORAGE_HEADER_STRUCT);

// The validity rule for a configuration header: non-zero length word, non-zero
// valid byte, and the three flag bytes each 0xF0 or 0xF1.
constexpr bool isValidConfigHeader(const CONFIG_STORAGE_HEADER_STRUCT& h) {
    auto flag = [](uint8_t v) { return v == 0xF0 || v == 0xF1; };
    return h.length.get() != 0 && h.headerValid != 0 && flag(h.singleControllerMode) &&
           flag(h.backgroundVerify) && flag(h.autoHotSpare);
}

}  // namespace wire
