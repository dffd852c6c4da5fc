// Small byte and text utilities of the device layer.
#pragma once

#include <cstddef>
#include <cstdint>

// 1 when all `length` bytes of `buffer` equal `value`, else 0.
int memEquals(const void* buffer, uint8_t value, size_t length);

uint32_t PrUlongFromBigEndianArray(const uint8_t* bytes);
uint16_t PrUshortFromBigEndianArray(const uint8_t* bytes);

// `value` in `radix` (2 to 36; anything else means 10) into `buffer`, which must
// hold 34 characters; returns `buffer`.
char* itoa(int value, char* buffer, int radix);

// 0 when the strings are equal ignoring ASCII letter case, else 1. Two null
// pointers are equal; one null pointer is unequal.
int stricmp(const char* a, const char* b);
