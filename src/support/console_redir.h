// Redirection of a standard descriptor (usually standard output) to a file or
// to /dev/null, and its restoration.
#pragma once

#include <cstdint>

// restore == 0: opens `path` (created and truncated, mode 0200) or /dev/null when
// `path` is null or empty, saves a duplicate of `fd` in *saved, puts the new
// descriptor in place of `fd`; returns the new descriptor, or -1 when the open
// failed. restore != 0: puts *saved back in place of `fd`; returns 0.
int console_redir2(const char* path, int* saved, uint8_t restore, int fd);

// Scoped redirection: redirects on construction, restores on destruction, so no
// error path leaves the descriptor redirected.
class ConsoleRedirection {
public:
    explicit ConsoleRedirection(const char* path, int fd = 1);
    ~ConsoleRedirection();
    ConsoleRedirection(const ConsoleRedirection&) = delete;
    ConsoleRedirection& operator=(const ConsoleRedirection&) = delete;
    bool active() const { return target_ >= 0; }

private:
    int fd_;
    int saved_ = -1;
    int target_ = -1;
};
