#include "server/clock.h"

namespace sim {

uint64_t EmulatorClock::nowMs() const {
    auto elapsed = std::chrono::steady_clock::now() - start_;
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()) +
           advancedMs_;
}

int64_t EmulatorClock::wallSeconds() const {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::seconds>(now).count() + wallOffset_ +
           static_cast<int64_t>(advancedMs_ / 1000);
}

}  // namespace sim
