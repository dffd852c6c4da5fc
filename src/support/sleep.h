// The one place where the program waits. The shipped program sleeps as asked;
// tests install a hook that records the waits instead of sleeping.
#pragma once

#include <cstdint>

namespace lqcl {

using SleepHook = void (*)(uint32_t microseconds);

// Waits `microseconds` (usleep semantics), or hands the wait to the hook.
void sleepMicroseconds(uint32_t microseconds);

// The monotonic clock in milliseconds, what bounded waits measure against.
int64_t monotonicMilliseconds();

// Installs a hook (nullptr restores real sleeping); returns the previous one.
SleepHook setSleepHook(SleepHook hook);

}  // namespace lqcl
