#include "server/clock.h"

namespace sim {

void EmulatorClock::freeze() {
    if (frozen_) return;
    frozenWall_ = host_.wallSeconds();
    frozenAt_ = host_.steady();
    frozen_ = true;
}

void EmulatorClock::thaw() {
    if (!frozen_) return;
    // Real time that passed while frozen does not count.
    start_ += host_.steady() - frozenAt_;
    frozen_ = false;
}

uint64_t EmulatorClock::nowMs() const {
    auto elapsed = (frozen_ ? frozenAt_ : host_.steady()) - start_;
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count()) +
           advancedMs_;
}

int64_t EmulatorClock::wallSeconds() const {
    int64_t wall = frozen_ ? frozenWall_ : host_.wallSeconds();
    return wall + wallOffset_ + static_cast<int64_t>(advancedMs_ / 1000);
}

}  // namespace sim
