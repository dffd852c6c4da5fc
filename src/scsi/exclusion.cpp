#include "scsi/exclusion.h"

#include <cctype>
#include <cstring>

#include "wire/byteorder.h"

bool parseExclusionLine(const char* line, uint8_t wwn[8], char digits[17]) {
    while (*line == ' ' || *line == '\t' || *line == '\n' || *line == '\r') ++line;
    if (*line == '/' || *line == '\0') return false;
    uint64_t value = 0;
    int n = 0;
    for (; n < 16 && line[n] != '\0'; ++n) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(line[n])));
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else
            break;
        value = (value << 4) | static_cast<uint64_t>(v);
        digits[n] = c;
    }
    digits[n] = '\0';
    wire::putBe64(wwn, value);
    return true;
}

uint32_t readExclusionList(FILE* file, uint8_t (*table)[8], uint32_t max, void (*onEntry)(const char* digits)) {
    uint32_t count = 0;
    char line[kExclusionLineMax + 1];
    while (count < max && std::fgets(line, sizeof line, file) != nullptr) {
        const size_t len = std::strlen(line);
        if (len > 0 && line[len - 1] != '\n' && !std::feof(file)) {
            // Over-long line: what follows belongs to it, not to a new entry.
            int c;
            while ((c = std::fgetc(file)) != EOF && c != '\n') {
            }
        }
        char digits[17];
        if (!parseExclusionLine(line, table[count], digits)) continue;
        if (onEntry != nullptr) onEntry(digits);
        ++count;
    }
    return count;
}
