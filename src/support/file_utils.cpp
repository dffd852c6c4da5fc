#include "support/file_utils.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

char* getModuleName(char* buf, size_t bufsiz) {
    char link[2048];
    int n = snprintf(link, sizeof link, "/proc/%i/exe", static_cast<int>(getpid()));
    if (n < 0 || static_cast<size_t>(n) >= sizeof link) std::abort();
    if (buf == nullptr || bufsiz == 0) {
        errno = ERANGE;
        return nullptr;
    }
    ssize_t len = readlink(link, buf, bufsiz);
    if (len < 0) return nullptr;
    if (static_cast<size_t>(len) < bufsiz) {
        buf[len] = '\0';
        return buf;
    }
    errno = ERANGE;
    return nullptr;
}

char pathDelimiter() { return '/'; }

const char* getModulePath(char* path) {
    char* last = std::strrchr(path, pathDelimiter());
    if (last == nullptr) return "";
    last[1] = '\0';
    return path;
}

bool isPathIncluded(const char* path) { return path != nullptr && std::strchr(path, pathDelimiter()) != nullptr; }

bool fileExists(const char* path) {
    if (path == nullptr) return false;
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
}
