// Conversion and validation of the command line's number values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace frontend {

constexpr size_t kMaxValues = 20;                       // slots of each value array
constexpr uint32_t kFiller32 = 0xFDFDFDFDu;             // a 32-bit value not given
constexpr uint64_t kFiller64 = 0xFDFDFDFDFDFDFDFDull;   // a 64-bit value not given

// The 28 symbols rejected in every number, then the letters G-Z and g-z
// (hexadecimal) or all letters (decimal).
extern const char kHexRejectSet[];
extern const char kDecimalRejectSet[];

bool containsAnyOf(const std::string& value, const char* set);

// False when `value` is all hexadecimal digits and more than 16 of them follow
// its leading zeros, so that it does not fit 64 bits. A value with another
// character converts to 0x7E whatever its length and counts as fitting.
bool hexValueFits64(const std::string& value);

// Refuses such a value in the usage-error form (status 255).
[[noreturn]] void tooManyDigits(const char* flag, const std::string& value);

// strtol in the given base with a 32-bit signed long: leading blanks skipped,
// stops at the first non-digit, values above 0x7FFFFFFF are taken as 0x7FFFFFFF.
uint32_t strtol32(const std::string& value, int base);

}  // namespace frontend

// Hexadecimal text to a 64-bit value: up to `length` characters or the first NUL;
// any character that is not a hexadecimal digit makes the result 0x7E. An empty
// text gives 0. Always returns 0.
int axtoi(const char* text, size_t length, uint64_t* result, int unused);

// Each converter fills consecutive elements of `out` (room for 20). A value with a
// rejected character prints the argument's message on standard output and ends
// the process with status 255.
void strToHex64(const std::vector<std::string>& values, uint64_t* out);
void strToHex32(const std::vector<std::string>& values, uint32_t* out);
void strToInt32(const std::vector<std::string>& values, uint32_t* out);
