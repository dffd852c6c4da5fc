// The one mapper from a handler's semantic outcome to what the initiator sees:
// the SCSI status byte and fixed-format sense data.
#pragma once

#include <array>
#include <cstdint>

#include "core/model_api.h"

namespace sim {

inline constexpr size_t kFixedSenseSize = 18;

// SCSI status byte (unmasked): GOOD 0x00, CHECK CONDITION 0x02, BUSY 0x08,
// RESERVATION CONFLICT 0x18.
uint8_t scsiStatusOf(const Outcome& o);

// Fixed-format sense data (response code 0x70, current error) with the sense
// key, ASC and ASCQ of a check condition; all zero for any other outcome.
std::array<uint8_t, kFixedSenseSize> fixedSenseOf(const Outcome& o);

// Outcomes the standard command handlers use beyond those of the seam.
namespace outcomes {
inline Outcome notReady() { return Outcome::check(0x02, 0x04, 0x00); }
inline Outcome invalidReleaseOfReservation() { return Outcome::check(0x05, 0x26, 0x04); }
inline Outcome logicalUnitNotSupported() { return Outcome::check(0x05, 0x25, 0x00); }
}  // namespace outcomes

}  // namespace sim
