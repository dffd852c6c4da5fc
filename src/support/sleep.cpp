#include "support/sleep.h"

#include <time.h>

#include <cerrno>

namespace lqcl {
namespace {
SleepHook g_hook = nullptr;
}

void sleepMicroseconds(uint32_t microseconds) {
    if (g_hook != nullptr) {
        g_hook(microseconds);
        return;
    }
    timespec left{static_cast<time_t>(microseconds / 1000000),
                  static_cast<long>(microseconds % 1000000) * 1000};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

int64_t monotonicMilliseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

SleepHook setSleepHook(SleepHook hook) {
    SleepHook previous = g_hook;
    g_hook = hook;
    return previous;
}

}  // namespace lqcl
