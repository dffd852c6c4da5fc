// Texts of the SCSI additional sense codes (ASC/ASCQ pairs).
#pragma once

#include <cstddef>
#include <cstdint>

struct ASCASCQ_ENTRY {
    uint8_t asc;
    uint8_t ascq;   // 0xFF: any ASCQ of this ASC
    const char* text;
};

// Sorted by ASC and ASCQ, closed by an entry with ASC 0xFF, ASCQ 0xFF.
extern const ASCASCQ_ENTRY ASCASCQDecodeTable[];
// Entries before the closing one.
extern const size_t ASCASCQDecodeTableSize;
extern const char* const ASCASCQUnknown;

// The text of an ASC/ASCQ pair: the exact entry, else the ASC's any-ASCQ entry,
// else "Unknown".
const char* LAPIDecodeASCASQ(uint8_t asc, uint8_t ascq);
