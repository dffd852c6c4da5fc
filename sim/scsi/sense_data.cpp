#include "scsi/sense_data.h"

namespace sim {

uint8_t scsiStatusOf(const Outcome& o) {
    switch (o.kind) {
    case Outcome::Kind::Good:
        return 0x00;
    case Outcome::Kind::CheckCondition:
        return 0x02;
    case Outcome::Kind::Busy:
        return 0x08;
    case Outcome::Kind::ReservationConflict:
        return 0x18;
    }
    return 0x02;
}

std::array<uint8_t, kFixedSenseSize> fixedSenseOf(const Outcome& o) {
    std::array<uint8_t, kFixedSenseSize> s{};
    if (o.kind != Outcome::Kind::CheckCondition) return s;
    s[0] = 0x70;                      // current error, fixed format, no information field
    s[2] = o.senseKey & 0x0F;
    s[7] = kFixedSenseSize - 8;       // additional sense length
    s[12] = o.asc;
    s[13] = o.ascq;
    return s;
}

}  // namespace sim
