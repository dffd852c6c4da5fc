// Locating the tool's own executable and checking files.
#pragma once

#include <cstddef>

// Reads /proc/<pid>/exe into buf. Returns buf, or null when the link cannot be
// read or does not fit (errno ERANGE).
char* getModuleName(char* buf, size_t bufsiz);
char pathDelimiter();
// Cuts path in place just after its last '/' and returns it; a path without
// '/' gives an empty text and stays unchanged.
const char* getModulePath(char* path);
bool isPathIncluded(const char* path);
// True when the file can be opened for reading.
bool fileExists(const char* path);
