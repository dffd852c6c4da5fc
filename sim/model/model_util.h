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
#include "scenario/reader.h"   // fromHex, toHex, wwnHex
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
        runs.push_back({start, toHex(base + start, end - start)});
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
