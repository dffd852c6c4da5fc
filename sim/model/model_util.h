// Small helpers shared by the firmware model's sources.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "scenario/reader.h"
#include "wire/byteorder.h"

namespace sim::model {

// Copies text into a fixed, blank-padded field without a terminator; characters
// outside 32-126 become blanks, as the controllers store names.
template <size_t N>
void putText(char (&field)[N], std::string_view text) {
    for (size_t i = 0; i < N; ++i) {
        char c = i < text.size() ? text[i] : ' ';
        field[i] = (c >= 32 && c <= 126) ? c : ' ';
    }
}

// A fixed text field as a string with trailing blanks and NULs removed.
template <size_t N>
std::string getText(const char (&field)[N]) {
    size_t n = N;
    while (n > 0 && (field[n - 1] == ' ' || field[n - 1] == '\0')) --n;
    return std::string(field, n);
}

// Copies text into a NUL-padded field (drive identification strings).
template <size_t N>
void putPaddedNul(char (&field)[N], std::string_view text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(N, text.size()));
}

// Values of a control verb's JSON arguments (and of readers that check their own
// keys), by the rules of the scenario reader; a refusal is std::invalid_argument.
inline int64_t intIn(const nlohmann::json& obj, const char* key, int64_t lo, int64_t hi, int64_t dflt) {
    if (!obj.is_object() || !obj.contains(key)) return dflt;
    try {
        ScenarioObject o(obj, "");
        o.leaveOpen();
        return o.integer(key, lo, hi, dflt);
    } catch (const ScenarioError& e) {
        throw std::invalid_argument(e.what());
    }
}
inline std::string strOr(const nlohmann::json& obj, const char* key, const std::string& dflt) {
    if (!obj.is_object() || !obj.contains(key)) return dflt;
    try {
        ScenarioObject o(obj, "");
        o.leaveOpen();
        return o.text(key, dflt);
    } catch (const ScenarioError& e) {
        throw std::invalid_argument(e.what());
    }
}
inline uint64_t parseWwn(const nlohmann::json& j, const char* what) {
    try {
        return wwnValue(j, what);
    } catch (const ScenarioError& e) {
        throw std::invalid_argument(e.what());
    }
}

// Raw bytes of a record.
template <typename T>
std::span<const uint8_t> bytesOf(const T& t) {
    return {reinterpret_cast<const uint8_t*>(&t), sizeof(T)};
}
template <typename T>
T recordFrom(std::span<const uint8_t> bytes) {
    T t{};
    std::memcpy(&t, bytes.data(), std::min(sizeof(T), bytes.size()));
    return t;
}

}  // namespace sim::model
