// The seam between the emulator's server (devices, transport, standard SCSI
// commands, faults, control) and the firmware model of one RAID system.
//
// The server owns the devices and the paths; for every command that reaches a
// RAID system it first applies injected faults, then offers the command to the
// system's model (vendor commands: WRITE BUFFER 0x3B, READ BUFFER 0x3C, RECEIVE
// DIAGNOSTIC RESULTS 0x1C), and only when the model declines it runs the
// standard commands itself (INQUIRY, READ CAPACITY, PERSISTENT RESERVE ...).
// Handlers return a semantic outcome; one mapper in the server turns it into
// the sg reply (result, target status, sense data).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace sim {

// What a command handler decided. The server builds the reply from it.
struct Outcome {
    enum class Kind : uint8_t {
        Good,                 // GOOD status, data in as produced
        CheckCondition,       // CHECK CONDITION with fixed-format sense key/ASC/ASCQ
        Busy,                 // BUSY status
        ReservationConflict,  // RESERVATION CONFLICT status
    };
    Kind kind = Kind::Good;
    uint8_t senseKey = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;

    static Outcome good() { return {}; }
    static Outcome check(uint8_t key, uint8_t asc, uint8_t ascq) {
        return {Kind::CheckCondition, key, asc, ascq};
    }
    // ILLEGAL REQUEST, INVALID COMMAND OPERATION CODE
    static Outcome invalidOpcode() { return check(0x05, 0x20, 0x00); }
    // ILLEGAL REQUEST, INVALID FIELD IN CDB
    static Outcome invalidFieldInCdb() { return check(0x05, 0x24, 0x00); }
    // ILLEGAL REQUEST, INVALID FIELD IN PARAMETER LIST
    static Outcome invalidFieldInParameterList() { return check(0x05, 0x26, 0x00); }
    // ILLEGAL REQUEST, PARAMETER LIST LENGTH ERROR
    static Outcome parameterListLengthError() { return check(0x05, 0x1A, 0x00); }
    static Outcome busy() { return {Kind::Busy, 0, 0, 0}; }
    static Outcome reservationConflict() { return {Kind::ReservationConflict, 0, 0, 0}; }
};

// One command as the model sees it.
struct CommandContext {
    unsigned pathIndex = 0;               // which path (I_T nexus) of this system, 0-based
    std::span<const uint8_t> cdb;         // the CDB as received (6, 10, 12 or 16 bytes)
    std::span<const uint8_t> dataOut;     // data sent by the initiator (writes), else empty
    uint32_t dataInLength = 0;            // room the initiator gave for data in (reads)
};

// The emulator's notion of time: real elapsed time plus whatever the control
// interface advanced. Models read it for the controllers' clocks and to move
// background jobs along.
class SimClock {
public:
    virtual ~SimClock() = default;
    // Milliseconds since the emulator started, including advanced time.
    virtual uint64_t nowMs() const = 0;
    // Seconds since the Unix epoch as the controllers see it (wall clock plus offsets).
    virtual int64_t wallSeconds() const = 0;
};

// The firmware model of one RAID system (both controllers, drives, configuration).
class SystemModel {
public:
    virtual ~SystemModel() = default;

    // A vendor command (opcode 0x3B, 0x3C or 0x1C). Returns nullopt when the model
    // does not take the command, so the server falls through to the standard
    // commands. For reads, `dataIn` receives the reply; the server truncates it to
    // the allocation length.
    virtual std::optional<Outcome> execute(const CommandContext& cmd, std::vector<uint8_t>& dataIn) = 0;

    // The control interface's model verbs (for example "refuse-config", "set-clock",
    // "dump-config", "dump-regions", "advance"). Returns a JSON answer; an unknown
    // verb or bad arguments return {"error": "..."}.
    virtual nlohmann::json control(const std::string& verb, const nlohmann::json& args) = 0;

    // Whether the controller behind path `pathIndex` answers at all (a reset or
    // shut-down controller does not, until it comes back).
    virtual bool pathOnline(unsigned /*pathIndex*/) const { return true; }

    // The whole state, for persisting across restarts; fromState restores it.
    virtual nlohmann::json saveState() const = 0;
};

// Builds the model of one system from its scenario object (the element of the
// scenario's "systems" array). Throws std::invalid_argument with a clear message
// for a malformed scenario.
std::unique_ptr<SystemModel> makeSystemModel(const nlohmann::json& system, const SimClock& clock);

}  // namespace sim
