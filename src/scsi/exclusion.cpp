#include "scsi/exclusion.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

FILE* openExclusionList(const char* path) {
    // Non-blocking, so that opening a FIFO does not wait for a writer.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st{};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        std::fprintf(stderr, "Warning: the exclusion list %s is not a regular file and is not read.\n", path);
        return nullptr;
    }
    FILE* file = fdopen(fd, "r");
    if (file == nullptr) close(fd);
    return file;
}

uint32_t readExclusionList(FILE* file, uint8_t (*table)[8], uint32_t max, void (*onEntry)(const char* digits)) {
    uint32_t count = 0;
    char line[kExclusionLineMax + 1];
    int c = 0;
    while (count < max && c != EOF) {
        size_t len = 0;
        // The line up to its end; what exceeds the buffer belongs to it and
        // is skipped, not taken as a new entry. A NUL byte reads as a blank.
        while ((c = std::getc(file)) != EOF && c != '\n')
            if (len < kExclusionLineMax) line[len++] = c == '\0' ? ' ' : static_cast<char>(c);
        if (len == 0 && c == EOF) break;
        line[len] = '\0';
        char digits[17];
        if (!parseExclusionLine(line, table[count], digits)) continue;
        if (onEntry != nullptr) onEntry(digits);
        ++count;
    }
    return count;
}
