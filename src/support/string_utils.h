// Padded and hexadecimal strings for names and drive data.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// text followed by `fill` up to `width` characters; a longer text comes back whole.
std::string padr(const std::string& text, char fill, size_t width);
// Two lower-case hexadecimal digits.
std::string byte2hex(uint8_t byte);
// The bytes up to the first zero byte or `count`, whichever comes first,
// followed by one NUL that is part of the result.
std::string bytearray2string(const uint8_t* bytes, size_t count);
// The first element of list that contains needle, copied into found.
bool findSubstringInVector(const std::string& needle, const std::vector<std::string>& list, std::string& found);

// printf-style append to `out`.
void appendf(std::string& out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void vappendf(std::string& out, const char* fmt, va_list ap);
