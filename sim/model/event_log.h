// The controllers' event logs in the emulator. Each controller keeps two
// buffers of at most 4,096 entries, oldest dropped first: the whole log, and
// the latest log, which holds what was logged since the latest log was last
// read (a read of the latest log empties it). Entries are stamped with the
// logging controller's own clock.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include <nlohmann/json.hpp>

#include "wire/event.h"

namespace sim::model {

// The controller clock record of a time (seconds since 1970, read as UTC as
// the controllers keep it).
wire::CLOCK_STRUCT clockRecordAt(int64_t seconds);

class EventLogs {
public:
    static constexpr size_t kCapacity = wire::kEventLogCapacity;

    // Appends an entry to both buffers of `controller` (0 or 1).
    void append(unsigned controller, const wire::EVENT_LOG_ENTRY& entry);
    // An entry of event `id` with `payload` (up to 14 bytes) at time `when`.
    void log(unsigned controller, int64_t when, uint8_t id, std::span<const uint8_t> payload);
    // The reply of a log read (EVENT_LOG_STRUCT cut to its valid length) with
    // the controller's clock `now`. A read of the latest log empties it; the
    // pieces of one read (offset > 0) see the reply built at offset 0.
    const std::vector<uint8_t>& reply(unsigned controller, bool latest, uint32_t offset, int64_t now);
    // Empties every buffer of both controllers.
    void clear();
    size_t size(unsigned controller, bool latest) const;
    nlohmann::json dump(unsigned controller) const;

private:
    std::array<std::deque<wire::EVENT_LOG_ENTRY>, 2> whole_, latest_;
    std::array<std::array<std::vector<uint8_t>, 2>, 2> replies_;   // [controller][latest]
};

}  // namespace sim::model
