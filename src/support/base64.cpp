#include "support/base64.h"

#include <cstdint>

namespace lqcl {

namespace {

constexpr const char* kAlphabets[2] = {
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/",
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_",
};

uint32_t sextet(char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<uint32_t>(c - 'A');
    if (c >= 'a' && c <= 'z') return static_cast<uint32_t>(c - 'a' + 26);
    if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0' + 52);
    if (c == '+' || c == '-') return 62;
    if (c == '/' || c == '_') return 63;
    if (c == '=') return 0;
    return static_cast<unsigned char>(c) & 0x3F;
}

}  // namespace

std::string b64Encode(std::string_view in, unsigned alphabet) {
    const char* a = kAlphabets[alphabet & 1];
    size_t n = 0;
    while (n < in.size() && in[n] != '\0') ++n;
    std::string out;
    out.reserve((n + 2) / 3 * 4);
    for (size_t i = 0; i < n; i += 3) {
        const size_t left = n - i;
        uint32_t v = static_cast<uint32_t>(static_cast<unsigned char>(in[i])) << 16;
        if (left > 1) v |= static_cast<uint32_t>(static_cast<unsigned char>(in[i + 1])) << 8;
        if (left > 2) v |= static_cast<unsigned char>(in[i + 2]);
        out += a[(v >> 18) & 0x3F];
        out += a[(v >> 12) & 0x3F];
        out += left > 1 ? a[(v >> 6) & 0x3F] : '=';
        out += left > 2 ? a[v & 0x3F] : '=';
    }
    return out;
}

std::string b64Decode(std::string_view in) {
    std::string out;
    out.reserve(in.size() / 4 * 3 + 3);
    for (size_t i = 0; i < in.size(); i += 4) {
        uint32_t v = 0;
        size_t bytes = 3;
        for (size_t k = 0; k < 4; ++k) {
            const char c = i + k < in.size() ? in[i + k] : '=';
            if (c == '=' && bytes > 0) --bytes;
            v = (v << 6) | sextet(c);
        }
        const char group[3] = {static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
        out.append(group, bytes);
    }
    return out;
}

}  // namespace lqcl
