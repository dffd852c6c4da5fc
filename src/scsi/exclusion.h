// The RAID system exclusion list: a text file of WWNs (16 hexadecimal digits,
// most significant first) naming systems that discovery leaves alone.
#pragma once

#include <cstdint>
#include <cstdio>

inline constexpr const char* kExclusionFileName = "DIDEExclude.txt";
inline constexpr int kExclusionLineMax = 1023;

// One line: leading blanks, tabs and line ends are skipped; a line starting
// with '/' is a comment and an empty line is skipped (both return false).
// Otherwise the leading run of hexadecimal digits within the first 16
// characters is the WWN (fewer digits give leading zero bytes, none gives 0);
// `digits` (17 bytes) receives the digits read.
// Opens the list for reading when `path` is a regular file. Anything else (a
// FIFO, a device) would hang or feed the reader without end: it is not read,
// and standard error says so. Null when there is nothing to read.
FILE* openExclusionList(const char* path);

bool parseExclusionLine(const char* line, uint8_t wwn[8], char digits[17]);

// Reads up to `max` WWNs from `file` into `table`, line by line with the
// lengths counted: a NUL byte reads as a blank and never ends a line; lines longer than kExclusionLineMax characters are cut there
// and their rest is skipped. `onEntry` is told the digits of each stored WWN.
// Returns the count.
uint32_t readExclusionList(FILE* file, uint8_t (*table)[8], uint32_t max, void (*onEntry)(const char* digits));
