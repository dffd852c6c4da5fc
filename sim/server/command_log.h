// The record of every command the emulator received, for tests to assert what
// the tool sent. Bounded: past the limits the oldest records are dropped and
// counted.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace sim {

struct CommandRecord {
    uint64_t seq = 0;
    uint64_t timeMs = 0;
    int sg = 0;
    int system = -1;  // -1: not a RAID system path
    int path = 0;
    int32_t packId = 0;
    std::vector<uint8_t> cdb;
    std::vector<uint8_t> dataOut;
    uint32_t dataInLength = 0;
    std::string malformed;  // why the message was refused, empty when it was a command
    // What the emulator answered.
    std::string status;     // "GOOD", "CHECK CONDITION", "BUSY", "RESERVATION CONFLICT", "ERROR"
    uint8_t senseKey = 0, asc = 0, ascq = 0;
    uint8_t hostStatus = 0, driverStatus = 0;
    int32_t result = 0;
    uint32_t replyBytes = 0;  // data bytes returned after the header
    std::string fault;        // the injected fault that answered, if any

    nlohmann::json toJson() const;
};

class CommandLog {
public:
    static constexpr size_t kMaxRecords = 200000;
    static constexpr size_t kMaxBytes = 256u << 20;

    CommandRecord& append(CommandRecord r);
    void clear();
    // Records, optionally only those of one device (sg >= 0) and after a sequence number.
    nlohmann::json list(int sg = -1, uint64_t afterSeq = 0) const;
    uint64_t dropped() const { return dropped_; }
    size_t size() const { return records_.size(); }

private:
    std::deque<CommandRecord> records_;
    uint64_t nextSeq_ = 1;
    uint64_t dropped_ = 0;
    size_t bytes_ = 0;
};

}  // namespace sim
