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
#include <vector>

#include <nlohmann/json.hpp>

#include "core/model_api.h"
#include "scenario/scenario.h"   // fromHex, toHex, wwnHex
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

// A WWN given in a scenario: a string of 1 to 16 hexadecimal digits.
inline uint64_t parseWwn(const nlohmann::json& j, const char* what) {
    if (!j.is_string()) throw std::invalid_argument(std::string(what) + ": WWN must be a string of hex digits");
    const std::string s = j.get<std::string>();
    if (s.empty() || s.size() > 16) throw std::invalid_argument(std::string(what) + ": WWN must have 1 to 16 hex digits");
    uint64_t v = 0;
    for (char c : s) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else throw std::invalid_argument(std::string(what) + ": bad hex digit in WWN \"" + s + "\"");
        v = (v << 4) | static_cast<uint64_t>(d);
    }
    return v;
}

// Integer scenario value within [lo, hi], or the default when absent.
inline int64_t intIn(const nlohmann::json& obj, const char* key, int64_t lo, int64_t hi, int64_t dflt) {
    if (!obj.is_object() || !obj.contains(key)) return dflt;
    const auto& v = obj.at(key);
    if (!v.is_number_integer()) throw std::invalid_argument(std::string("\"") + key + "\" must be an integer");
    int64_t x = v.get<int64_t>();
    if (x < lo || x > hi)
        throw std::invalid_argument(std::string("\"") + key + "\" out of range (" + std::to_string(lo) + " to " +
                                    std::to_string(hi) + ")");
    return x;
}

inline std::string strOr(const nlohmann::json& obj, const char* key, const std::string& dflt) {
    if (!obj.is_object() || !obj.contains(key)) return dflt;
    const auto& v = obj.at(key);
    if (!v.is_string()) throw std::invalid_argument(std::string("\"") + key + "\" must be a string");
    return v.get<std::string>();
}

inline bool boolOr(const nlohmann::json& obj, const char* key, bool dflt) {
    if (!obj.is_object() || !obj.contains(key)) return dflt;
    const auto& v = obj.at(key);
    if (!v.is_boolean()) throw std::invalid_argument(std::string("\"") + key + "\" must be true or false");
    return v.get<bool>();
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
// A record as a reply buffer.
template <typename T>
std::vector<uint8_t> recordBytes(const T& t) {
    auto b = bytesOf(t);
    return {b.begin(), b.end()};
}

// Upper-case hexadecimal digits of bytes (saved images, event log dumps).
inline std::string hexRun(const uint8_t* p, size_t n) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    s.reserve(2 * n);
    for (size_t i = 0; i < n; ++i) {
        s.push_back(digits[p[i] >> 4]);
        s.push_back(digits[p[i] & 15]);
    }
    return s;
}

// A byte image as [offset, hex] runs of its non-zero stretches (runs of fewer
// than 16 zero bytes stay inside a run), the form saved states keep it in.
inline nlohmann::json imageRuns(const uint8_t* base, size_t n) {
    nlohmann::json runs = nlohmann::json::array();
    size_t i = 0;
    while (i < n) {
        while (i < n && base[i] == 0) ++i;
        if (i >= n) break;
        size_t start = i, zeros = 0, end = i;
        while (i < n && zeros < 16) {
            if (base[i] == 0) ++zeros;
            else { zeros = 0; end = i + 1; }
            ++i;
        }
        runs.push_back({start, hexRun(base + start, end - start)});
        i = end;
    }
    return runs;
}

// The refusals the vendor command handlers share.
inline Outcome badCdb() { return Outcome::invalidFieldInCdb(); }
inline Outcome badParameter() { return Outcome::invalidFieldInParameterList(); }
// ILLEGAL REQUEST, COMMAND SEQUENCE ERROR: a change command outside a change,
// or a change refused because another one is in progress.
inline Outcome sequenceError() { return Outcome::check(0x05, 0x2C, 0x00); }

}  // namespace sim::model
