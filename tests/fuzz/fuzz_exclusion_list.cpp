// The RAID system exclusion list file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "scsi/discovery.h"
#include "scsi/exclusion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> copy(data, data + size);
    FILE* f = fmemopen(copy.data(), copy.size() == 0 ? 1 : copy.size(), "r");
    if (f == nullptr) return 0;
    uint8_t table[MAX_EXCLUDED_SYSTEMS][8];
    readExclusionList(f, table, MAX_EXCLUDED_SYSTEMS, nullptr);
    fclose(f);
    return 0;
}
