#include "support/console_redir.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

// The messages go to `fd` itself, after the redirection has taken place, so a
// redirection to /dev/null shows nothing.
int console_redir2(const char* path, int* saved, uint8_t restore, int fd) {
    std::fflush(nullptr);
    if (restore == 0) {
        const bool named = path != nullptr && path[0] != '\0';
        int target = named ? open(path, O_RDWR | O_CREAT | O_TRUNC, 0200) : open("/dev/null", O_RDWR);
        if (target < 0) {
            dprintf(fd, "\nInvalid iConsoleHandle = %d", target);
            return -1;
        }
        if (saved != nullptr) *saved = dup(fd);
        if (dup2(target, fd) < 0) {
            dprintf(fd, "\ndup2(%d,%d) failed", target, fd);
            close(target);
            if (saved != nullptr && *saved >= 0) {
                close(*saved);
                *saved = -1;
            }
            return -1;
        }
        if (named) dprintf(fd, "\npTarget - %s, iConsoleHandle = %d", path, target);
        dprintf(fd, "\nConsole redirected and saved for the future restore.");
        return target;
    }
    dprintf(fd, "\n");
    int from = saved != nullptr ? *saved : -1;
    if (dup2(from, fd) < 0) {
        dprintf(fd, "\ndup2(%d,%d) failed", from, fd);
        if (from >= 0) close(from);
        if (saved != nullptr) *saved = -1;
    }
    return 0;
}

ConsoleRedirection::ConsoleRedirection(const char* path, int fd) : fd_(fd) {
    target_ = console_redir2(path, &saved_, 0, fd_);
    if (target_ < 0 && saved_ >= 0) {
        close(saved_);
        saved_ = -1;
    }
}

ConsoleRedirection::~ConsoleRedirection() {
    if (target_ < 0) return;
    console_redir2(nullptr, &saved_, 1, fd_);
    if (saved_ >= 0) close(saved_);
    if (target_ != fd_) close(target_);
}
