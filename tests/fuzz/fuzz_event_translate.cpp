// A stored event record as a store file may hold it: the first four bytes of
// the input pick the product type, the next 24 are the record, translated with
// and without the drive WWN flag into text buffers of several capacities.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "events/translate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 + sizeof(wire::EVENT_LOG_ENTRY)) return 0;
    uint32_t productType;
    std::memcpy(&productType, data, 4);
    wire::EVENT_LOG_ENTRY entry;
    std::memcpy(&entry, data + 4, sizeof entry);
    static char text[3072 + 1];
    for (uint32_t capacity : {3072u, 40u, 1u}) {
        text[capacity] = 0x5A;
        TRANSLATED_EVENT_STRUCT record{};
        record.text = text;
        record.textLength = capacity;
        LAPITranslateEvent(&entry, &record, capacity & 1, productType);
        if (text[capacity] != 0x5A || std::strlen(text) >= capacity) __builtin_trap();
    }
    return 0;
}
