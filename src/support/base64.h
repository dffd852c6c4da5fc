// Base64 with the two alphabets of HTTP Basic authentication: the standard one
// ('+' and '/' for 62 and 63) and the URL-safe one ('-' and '_').
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lqcl {

inline constexpr unsigned kB64Standard = 0;
inline constexpr unsigned kB64UrlSafe = 1;

// Encodes the bytes up to the first zero byte (or the end of `in`), three at a
// time, padding a final group of one or two bytes with '='. Bit 0 of
// `alphabet` set selects the URL-safe alphabet.
std::string b64Encode(std::string_view in, unsigned alphabet);

// Decodes four characters at a time; either alphabet is accepted, '=' counts 0
// and shortens its group by one byte, any other character gives its low six
// bits. A short final group is completed with '='.
std::string b64Decode(std::string_view in);

}  // namespace lqcl
