// The emulator's clock: real elapsed time plus the time the control interface
// advanced, and the controllers' wall clock with a settable offset.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "core/model_api.h"

namespace sim {

// Where the clock reads the host's time: the host clocks unless a test gives
// its own.
struct HostTime {
    std::function<std::chrono::steady_clock::time_point()> steady = [] { return std::chrono::steady_clock::now(); };
    std::function<int64_t()> wallSeconds = [] {
        return static_cast<int64_t>(
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
                .count());
    };
};

class EmulatorClock : public SimClock {
public:
    explicit EmulatorClock(HostTime host = {}) : host_(std::move(host)), start_(host_.steady()) {}

    uint64_t nowMs() const override;
    int64_t wallSeconds() const override;

    void advanceMs(uint64_t ms) { advancedMs_ += ms; }
    // Stops real time from flowing into the clock (only advance moves it), so a
    // test can compare reports that show times; thaw lets it flow again.
    void freeze();
    void thaw();
    bool frozen() const { return frozen_; }
    void setWallOffsetSeconds(int64_t s) { wallOffset_ = s; }
    uint64_t advancedMs() const { return advancedMs_; }
    int64_t wallOffsetSeconds() const { return wallOffset_; }

private:
    HostTime host_;
    std::chrono::steady_clock::time_point start_;
    uint64_t advancedMs_ = 0;
    int64_t wallOffset_ = 0;
    bool frozen_ = false;
    std::chrono::steady_clock::time_point frozenAt_{};
    int64_t frozenWall_ = 0;
};

}  // namespace sim
