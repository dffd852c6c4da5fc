// Event records as a controller's log or a store file may hold them.
// The overlap search between a controller's log and the stored records: the
// first byte of the input splits the rest into stored records and log entries
// (whole 24-byte records), the second names the controller.
// The translation of one record: the first four bytes of the input pick the
// product type, the next 24 are the record, translated with and without the
// drive WWN flag into text buffers of several capacities.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "events/store.h"
#include "events/translate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t records = (size - 2) / sizeof(wire::EVENT_LOG_ENTRY);
    const size_t stored = records == 0 ? 0 : data[0] % (records + 1);
    std::vector<wire::EVENT_LOG_ENTRY> all(records);
    if (records > 0) std::memcpy(all.data(), data + 2, records * sizeof(wire::EVENT_LOG_ENTRY));
    const uint32_t entries = static_cast<uint32_t>(records - stored);
    uint32_t found = 0xFFFFFFFF;
    const uint32_t status = events::findOverlapIn(all.data(), stored, all.data() + stored, entries,
                                                  static_cast<uint8_t>(data[1] % 3), &found);
    if (status == 0 && found >= entries) __builtin_trap();
    if (status != 0 && status != 1008) __builtin_trap();

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
