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
