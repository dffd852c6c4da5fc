// Persistent reservations of one logical unit, kept per I_T nexus (one nexus per
// path of the unit). Registrations and the reservation live as long as the
// emulator runs; the unit does not persist them through power loss (PTPL_C 0).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "core/model_api.h"

namespace sim {

// What READ FULL STATUS needs to describe one nexus.
struct NexusInfo {
    uint64_t initiatorPortName = 0;  // FC N_PORT_NAME carried in the TransportID
    uint16_t relativeTargetPort = 0;
};

class Reservations {
public:
    // Reservation types of SPC.
    enum Type : uint8_t {
        WriteExclusive = 1,
        ExclusiveAccess = 3,
        WriteExclusiveRegistrantsOnly = 5,
        ExclusiveAccessRegistrantsOnly = 6,
        WriteExclusiveAllRegistrants = 7,
        ExclusiveAccessAllRegistrants = 8,
    };

    // PERSISTENT RESERVE IN (0x5E) and OUT (0x5F) from `nexus`; the CDB has been
    // checked to be 10 bytes long.
    Outcome in(unsigned nexus, std::span<const uint8_t> cdb, std::vector<uint8_t>& dataIn,
               const std::map<unsigned, NexusInfo>& nexuses) const;
    Outcome out(unsigned nexus, std::span<const uint8_t> cdb, std::span<const uint8_t> dataOut);

    // Whether a command with this operation code from `nexus` is refused with
    // RESERVATION CONFLICT by the current reservation.
    bool conflicts(unsigned nexus, uint8_t opcode) const;

    nlohmann::json describe() const;

    uint32_t generation() const { return generation_; }

private:
    bool isHolder(unsigned nexus) const;
    static bool allRegistrants(uint8_t type) { return type == 7 || type == 8; }

    uint32_t generation_ = 0;
    std::map<unsigned, uint64_t> keys_;  // registered nexus -> reservation key
    struct Held {
        unsigned holder = 0;  // meaningless for the all-registrants types
        uint8_t type = 0;
    };
    std::optional<Held> reservation_;
};

}  // namespace sim
