#include "lapi/asc_decode.h"

const char* const ASCASCQUnknown = "Unknown";

const char* LAPIDecodeASCASQ(uint8_t asc, uint8_t ascq) {
    // The walk relies on the order: an exact entry precedes the 0xFF entry of its ASC.
    for (const ASCASCQ_ENTRY* e = ASCASCQDecodeTable; e->text != nullptr; ++e) {
        if (e->asc > asc) break;
        if (e->asc == asc && (e->ascq == ascq || e->ascq == 0xFF)) return e->text;
    }
    return ASCASCQUnknown;
}
