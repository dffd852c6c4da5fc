#include "support/string_utils.h"

#include <cstdio>

std::string padr(const std::string& text, char fill, size_t width) {
    if (text.size() >= width) return text;
    return text + std::string(width - text.size(), fill);
}

std::string byte2hex(uint8_t byte) {
    char buf[3];
    std::snprintf(buf, sizeof buf, "%.2x", byte);
    return buf;
}

std::string bytearray2string(const uint8_t* bytes, size_t count) {
    std::string out;
    for (size_t i = 0; bytes != nullptr && i < count && bytes[i] != 0; ++i) out.push_back(static_cast<char>(bytes[i]));
    out.push_back('\0');
    return out;
}

bool findSubstringInVector(const std::string& needle, const std::vector<std::string>& list, std::string& found) {
    found.clear();
    for (const auto& element : list) {
        if (element.find(needle) != std::string::npos) {
            found = element;
            return true;
        }
    }
    return false;
}

void vappendf(std::string& out, const char* fmt, va_list ap) {
    va_list probe;
    va_copy(probe, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, probe);
    va_end(probe);
    if (n <= 0) return;
    size_t old = out.size();
    out.resize(old + static_cast<size_t>(n) + 1);
    std::vsnprintf(out.data() + old, static_cast<size_t>(n) + 1, fmt, ap);
    out.resize(old + static_cast<size_t>(n));
}

void appendf(std::string& out, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vappendf(out, fmt, ap);
    va_end(ap);
}
