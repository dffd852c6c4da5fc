#include "scsi/reservations.h"

#include <cstdio>

#include <nlohmann/json.hpp>

#include "scsi/sense_data.h"
#include "wire/byteorder.h"

namespace sim {
namespace {

constexpr size_t kBasicParameterListLength = 24;

bool validType(uint8_t t) { return t == 1 || t == 3 || t == 5 || t == 6 || t == 7 || t == 8; }

// Exclusive-access types also keep other initiators from reading.
bool exclusiveAccess(uint8_t t) { return t == 3 || t == 6 || t == 8; }
bool registrantsMayAccess(uint8_t t) { return t >= 5; }

// Commands that transfer data to the medium or change the unit's state versus
// commands that only read; the unit refuses the first kind under every type and
// the second kind under the exclusive-access types. INQUIRY, READ CAPACITY,
// TEST UNIT READY, REQUEST SENSE, REPORT LUNS and the persistent reservation
// commands themselves are always allowed.
enum class Access { Always, Read, Write };

Access accessOf(uint8_t opcode) {
    switch (opcode) {
    case 0x00:  // TEST UNIT READY
    case 0x03:  // REQUEST SENSE
    case 0x12:  // INQUIRY
    case 0x25:  // READ CAPACITY(10)
    case 0x5E:  // PERSISTENT RESERVE IN
    case 0x5F:  // PERSISTENT RESERVE OUT
    case 0xA0:  // REPORT LUNS
        return Access::Always;
    case 0x1C:  // RECEIVE DIAGNOSTIC RESULTS
    case 0x3C:  // READ BUFFER
    case 0x08:  // READ(6)
    case 0x28:  // READ(10)
    case 0x88:  // READ(16)
        return Access::Read;
    default:
        return Access::Write;
    }
}

std::string hexKey(uint64_t k) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(k));
    return buf;
}

}  // namespace

bool Reservations::isHolder(unsigned nexus) const {
    if (!reservation_) return false;
    if (allRegistrants(reservation_->type)) return keys_.count(nexus) != 0;
    return reservation_->holder == nexus;
}

bool Reservations::conflicts(unsigned nexus, uint8_t opcode) const {
    if (!reservation_ || isHolder(nexus)) return false;
    Access a = accessOf(opcode);
    if (a == Access::Always) return false;
    uint8_t t = reservation_->type;
    if (registrantsMayAccess(t) && keys_.count(nexus) != 0) return false;
    if (a == Access::Write) return true;
    return exclusiveAccess(t);
}

Outcome Reservations::in(unsigned nexus, std::span<const uint8_t> cdb, std::vector<uint8_t>& dataIn,
                         const std::map<unsigned, NexusInfo>& nexuses) const {
    (void)nexus;
    uint8_t action = cdb[1] & 0x1F;
    if ((cdb[1] & 0xE0) != 0) return Outcome::invalidFieldInCdb();
    for (int i = 2; i <= 6; ++i)
        if (cdb[i] != 0) return Outcome::invalidFieldInCdb();
    dataIn.clear();
    switch (action) {
    case 0x00: {  // READ KEYS
        dataIn.resize(8 + 8 * keys_.size());
        wire::putBe32(&dataIn[0], generation_);
        wire::putBe32(&dataIn[4], static_cast<uint32_t>(8 * keys_.size()));
        size_t off = 8;
        for (const auto& [n, key] : keys_) {
            wire::putBe64(&dataIn[off], key);
            off += 8;
        }
        return Outcome::good();
    }
    case 0x01: {  // READ RESERVATION
        dataIn.assign(reservation_ ? 24 : 8, 0);
        wire::putBe32(&dataIn[0], generation_);
        if (reservation_) {
            wire::putBe32(&dataIn[4], 16);
            uint64_t key = 0;
            if (!allRegistrants(reservation_->type)) {
                auto it = keys_.find(reservation_->holder);
                if (it != keys_.end()) key = it->second;
            }
            wire::putBe64(&dataIn[8], key);
            dataIn[21] = reservation_->type & 0x0F;  // scope 0: logical unit
        }
        return Outcome::good();
    }
    case 0x02: {  // REPORT CAPABILITIES
        dataIn.assign(8, 0);
        wire::putBe16(&dataIn[0], 8);
        dataIn[2] = 0x00;  // CRH 0, SIP_C 0, ATP_C 0, PTPL_C 0
        dataIn[3] = 0x80;  // TMV: the type mask is valid
        dataIn[4] = 0xEA;  // WR_EX_AR, EX_AC_RO, WR_EX_RO, EX_AC, WR_EX
        dataIn[5] = 0x01;  // EX_AC_AR
        return Outcome::good();
    }
    case 0x03: {  // READ FULL STATUS
        constexpr size_t kTransportIdSize = 24;
        constexpr size_t kDescriptorSize = 24 + kTransportIdSize;
        dataIn.assign(8 + kDescriptorSize * keys_.size(), 0);
        wire::putBe32(&dataIn[0], generation_);
        wire::putBe32(&dataIn[4], static_cast<uint32_t>(kDescriptorSize * keys_.size()));
        size_t off = 8;
        for (const auto& [n, key] : keys_) {
            uint8_t* d = &dataIn[off];
            wire::putBe64(d, key);
            if (isHolder(n)) {
                d[12] = 0x01;  // R_HOLDER
                d[13] = reservation_->type & 0x0F;
            }
            NexusInfo info;
            if (auto it = nexuses.find(n); it != nexuses.end()) info = it->second;
            wire::putBe16(d + 18, info.relativeTargetPort);
            wire::putBe32(d + 20, kTransportIdSize);
            // FC TransportID: format 0, protocol identifier 0, N_PORT_NAME at bytes 8-15.
            wire::putBe64(d + 24 + 8, info.initiatorPortName);
            off += kDescriptorSize;
        }
        return Outcome::good();
    }
    default:
        return Outcome::invalidFieldInCdb();
    }
}

Outcome Reservations::out(unsigned nexus, std::span<const uint8_t> cdb,
                          std::span<const uint8_t> dataOut) {
    uint8_t action = cdb[1] & 0x1F;
    uint8_t scope = cdb[2] >> 4;
    uint8_t type = cdb[2] & 0x0F;
    if ((cdb[1] & 0xE0) != 0 || cdb[3] != 0 || cdb[4] != 0) return Outcome::invalidFieldInCdb();
    uint32_t listLength = wire::loadBe32(&cdb[5]);
    if (action > 0x07) return Outcome::invalidFieldInCdb();
    if (action == 0x04 || action == 0x05 || action == 0x07) {
        // PREEMPT, PREEMPT AND ABORT and REGISTER AND MOVE are not offered.
        return Outcome::invalidFieldInCdb();
    }
    if (listLength != kBasicParameterListLength || dataOut.size() < listLength)
        return Outcome::parameterListLengthError();

    uint64_t key = wire::loadBe64(&dataOut[0]);
    uint64_t serviceKey = wire::loadBe64(&dataOut[8]);
    uint8_t flags = dataOut[20];
    if ((flags & 0x08) != 0 || (flags & 0x04) != 0 || (flags & 0x01) != 0) {
        // SPEC_I_PT, ALL_TG_PT and APTPL: none of them is supported (REPORT CAPABILITIES).
        return Outcome::invalidFieldInParameterList();
    }

    auto reg = keys_.find(nexus);
    bool registered = reg != keys_.end();

    switch (action) {
    case 0x00:    // REGISTER
    case 0x06: {  // REGISTER AND IGNORE EXISTING KEY
        if (action == 0x00) {
            if (!registered && key != 0) return Outcome::reservationConflict();
            if (registered && key != reg->second) return Outcome::reservationConflict();
        }
        if (!registered) {
            if (serviceKey == 0) return Outcome::good();
            keys_[nexus] = serviceKey;
            ++generation_;
            return Outcome::good();
        }
        if (serviceKey != 0) {
            reg->second = serviceKey;
            ++generation_;
            return Outcome::good();
        }
        // Unregister. A holder's reservation goes with it; under an
        // all-registrants type the reservation ends with the last registrant.
        bool holder = isHolder(nexus);
        keys_.erase(reg);
        if (reservation_ && holder &&
            (!allRegistrants(reservation_->type) || keys_.empty()))
            reservation_.reset();
        ++generation_;
        return Outcome::good();
    }
    case 0x01: {  // RESERVE
        if (!registered || key != reg->second) return Outcome::reservationConflict();
        if (scope != 0 || !validType(type)) return Outcome::invalidFieldInCdb();
        if (reservation_) {
            if (!isHolder(nexus)) return Outcome::reservationConflict();
            if (reservation_->type != type) return Outcome::reservationConflict();
            return Outcome::good();
        }
        reservation_ = Held{nexus, type};
        return Outcome::good();
    }
    case 0x02: {  // RELEASE
        if (!registered || key != reg->second) return Outcome::reservationConflict();
        if (!reservation_ || !isHolder(nexus)) return Outcome::good();
        if (scope != 0 || reservation_->type != type)
            return outcomes::invalidReleaseOfReservation();
        reservation_.reset();
        return Outcome::good();
    }
    case 0x03: {  // CLEAR
        if (!registered || key != reg->second) return Outcome::reservationConflict();
        keys_.clear();
        reservation_.reset();
        ++generation_;
        return Outcome::good();
    }
    }
    return Outcome::invalidFieldInCdb();
}

nlohmann::json Reservations::describe() const {
    nlohmann::json j;
    j["generation"] = generation_;
    nlohmann::json regs = nlohmann::json::array();
    for (const auto& [n, key] : keys_) regs.push_back({{"path", n}, {"key", hexKey(key)}});
    j["registrations"] = regs;
    if (reservation_) {
        nlohmann::json r;
        r["type"] = reservation_->type;
        if (allRegistrants(reservation_->type))
            r["holder"] = "all registrants";
        else
            r["holder"] = reservation_->holder;
        j["reservation"] = r;
    } else {
        j["reservation"] = nullptr;
    }
    return j;
}

}  // namespace sim
