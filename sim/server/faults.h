// Injected faults: the first layer every command and every open goes through.
// A fault targets one device (sg node) or every path of one RAID system, waits
// for `skip` matching events, then applies to the next `count` ones (or to all
// of them until cleared) and disappears.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace sim {

enum class FaultKind {
    NotReady,     // CHECK CONDITION, NOT READY, LOGICAL UNIT NOT READY (04/00)
    Busy,         // BUSY status
    Conflict,     // RESERVATION CONFLICT status
    Check,        // CHECK CONDITION with the chosen sense key, ASC and ASCQ
    FailPath,     // no SCSI status: an error result with host and driver status
    ShortReply,   // the reply message is cut to `length` bytes
    Vanish,       // the device is gone: opens get ENXIO, commands fail
    EbusyOpen,    // opens get EBUSY
};

struct FaultTarget {
    bool system = false;  // true: every path of system `index`; false: device sg<index>
    int index = 0;
};

struct Fault {
    uint64_t id = 0;
    FaultKind kind = FaultKind::Busy;
    FaultTarget target;
    bool forever = false;
    uint64_t remaining = 1;  // events still to fault
    uint64_t skip = 0;       // matching events to let through first
    std::vector<uint8_t> cdbPrefix;  // commands only: fault only CDBs starting with these bytes
    uint8_t senseKey = 0, asc = 0, ascq = 0;
    uint8_t hostStatus = 0, driverStatus = 0;
    int32_t result = 0;
    uint32_t length = 0;

    bool onOpen() const { return kind == FaultKind::Vanish || kind == FaultKind::EbusyOpen; }
};

const char* faultKindName(FaultKind k);
std::optional<FaultKind> faultKindFromName(const std::string& name);
// Every fault kind's name, in the order the manual gives them.
std::vector<std::string> faultKindNames();

// Builds a fault from its kind and JSON parameters; throws std::invalid_argument
// with a clear message for bad parameters.
Fault makeFault(FaultKind kind, FaultTarget target, const nlohmann::json& params);

class FaultTable {
public:
    uint64_t add(Fault f);
    // The fault that applies to this command, consumed by one; nullopt when none.
    std::optional<Fault> takeForCommand(int sg, int system, std::span<const uint8_t> cdb);
    // The open fault that applies to this open, consumed by one.
    std::optional<Fault> takeForOpen(int sg, int system);
    // Whether the device is currently gone (a Vanish fault is pending on it).
    bool vanished(int sg, int system) const;
    // Removes all faults, or those on one target; returns how many.
    size_t clear(std::optional<FaultTarget> target = std::nullopt);
    bool removeId(uint64_t id);
    nlohmann::json describe() const;
    bool empty() const { return faults_.empty(); }

private:
    std::optional<Fault> take(int sg, int system, bool open, std::span<const uint8_t> cdb);
    static bool targets(const Fault& f, int sg, int system);

    uint64_t nextId_ = 1;
    std::vector<Fault> faults_;
};

}  // namespace sim
