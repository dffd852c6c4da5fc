#include "server/clock.h"

namespace sim {

void EmulatorClock::freeze() {
    if (frozen_) return;
    frozenWall_ = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
                      .count();
    frozenAt_ = std::chrono::steady_clock::now();
    frozen_ = true;
}

void EmulatorClock::thaw() {
    if (!frozen_) return;
    // Real time that passed while frozen does not count.
    start_ += std::chrono::steady_clock::now() - frozenAt_;
    frozen_ = false;
}

uint64_t EmulatorClock::nowMs() const {
    auto elapsed = (frozen_ ? frozenAt_ : std::chrono::steady_clock::now()) - start_;
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()) +
           advancedMs_;
}

int64_t EmulatorClock::wallSeconds() const {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    int64_t wall = frozen_ ? frozenWall_ : std::chrono::duration_cast<std::chrono::seconds>(now).count();
    return wall + wallOffset_ +
           static_cast<int64_t>(advancedMs_ / 1000);
}

}  // namespace sim
