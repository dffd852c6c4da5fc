#include "scsi/utils.h"

#include <cctype>

int memEquals(const void* buffer, uint8_t value, size_t length) {
    const auto* p = static_cast<const uint8_t*>(buffer);
    for (size_t i = 0; i < length; ++i)
        if (p[i] != value) return 0;
    return 1;
}

uint32_t PrUlongFromBigEndianArray(const uint8_t* bytes) {
    return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
           (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];
}

uint16_t PrUshortFromBigEndianArray(const uint8_t* bytes) {
    return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
}

char* itoa(int value, char* buffer, int radix) {
    static const char digits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    if (radix < 2 || radix > 36) radix = 10;
    long long v = value;
    unsigned long long magnitude = v < 0 ? static_cast<unsigned long long>(-v) : static_cast<unsigned long long>(v);
    char reversed[66];
    int n = 0;
    do {
        reversed[n++] = digits[magnitude % static_cast<unsigned>(radix)];
        magnitude /= static_cast<unsigned>(radix);
    } while (magnitude != 0);
    int out = 0;
    if (v < 0) buffer[out++] = '-';
    while (n > 0) buffer[out++] = reversed[--n];
    buffer[out] = '\0';
    return buffer;
}

int stricmp(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) return (a == b) ? 0 : 1;
    for (;; ++a, ++b) {
        int ca = std::tolower(static_cast<unsigned char>(*a));
        int cb = std::tolower(static_cast<unsigned char>(*b));
        if (ca != cb) return 1;
        if (ca == 0) return 0;
    }
}
