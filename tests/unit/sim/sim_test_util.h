// Helpers shared by the emulator's unit tests: sg messages built by hand and a
// scripted firmware model standing in for the real one.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/model_api.h"
#include "scenario/scenario.h"
#include "server/emulator.h"

namespace simtest {

// A classic sg write: 36-byte header (pack_len, reply_len, pack_id 5678, result 0,
// twelve_byte), CDB, data out. Little-endian, written out byte by byte.
inline std::vector<uint8_t> sgWrite(const std::vector<uint8_t>& cdb, uint32_t dataIn,
                                    const std::vector<uint8_t>& dataOut = {}, int32_t packId = 5678,
                                    bool twelve = false) {
    std::vector<uint8_t> m(36, 0);
    auto put = [&](size_t off, uint32_t v) {
        for (int i = 0; i < 4; ++i) m[off + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put(0, static_cast<uint32_t>(36 + cdb.size() + dataOut.size()));
    put(4, 36 + dataIn);
    put(8, static_cast<uint32_t>(packId));
    m[16] = twelve ? 1 : 0;
    m.insert(m.end(), cdb.begin(), cdb.end());
    m.insert(m.end(), dataOut.begin(), dataOut.end());
    return m;
}

// The fields of a classic sg read reply, decoded by hand.
struct Reply {
    int32_t packLen, replyLen, packId, result;
    unsigned twelve, targetStatus, hostStatus, driverStatus;
    std::vector<uint8_t> sense;  // 16 bytes
    std::vector<uint8_t> data;
};

inline Reply decode(const std::vector<uint8_t>& r) {
    Reply out{};
    if (r.size() < 36) return out;
    auto get = [&](size_t off) {
        return static_cast<int32_t>(r[off] | (r[off + 1] << 8) | (r[off + 2] << 16) |
                                    (static_cast<uint32_t>(r[off + 3]) << 24));
    };
    out.packLen = get(0);
    out.replyLen = get(4);
    out.packId = get(8);
    out.result = get(12);
    uint32_t bits = static_cast<uint32_t>(get(16));
    out.twelve = bits & 1;
    out.targetStatus = (bits >> 1) & 0x1F;
    out.hostStatus = (bits >> 6) & 0xFF;
    out.driverStatus = (bits >> 14) & 0xFF;
    out.sense.assign(r.begin() + 20, r.begin() + 36);
    out.data.assign(r.begin() + 36, r.end());
    return out;
}

// A firmware model that answers READ BUFFER buffer 0x03 with `bufferReply`,
// refuses other vendor opcodes, and records what it saw.
class ScriptedModel : public sim::SystemModel {
public:
    struct Seen {
        unsigned path;
        std::vector<uint8_t> cdb;
        std::vector<uint8_t> dataOut;
        uint32_t dataInLength;
    };
    std::vector<Seen>* seen = nullptr;
    std::vector<uint8_t> bufferReply = std::vector<uint8_t>(512, 0xA5);
    nlohmann::json object;
    const sim::SimClock* clock = nullptr;

    std::optional<sim::Outcome> execute(const sim::CommandContext& cmd, std::vector<uint8_t>& dataIn) override {
        if (seen)
            seen->push_back({cmd.pathIndex, {cmd.cdb.begin(), cmd.cdb.end()},
                             {cmd.dataOut.begin(), cmd.dataOut.end()}, cmd.dataInLength});
        uint8_t op = cmd.cdb[0];
        if (op == 0x3C && cmd.cdb[2] == 0x03) {
            dataIn = bufferReply;
            return sim::Outcome::good();
        }
        if (op == 0x3B) return sim::Outcome::good();
        if (op == 0x3C || op == 0x1C) return sim::Outcome::invalidFieldInCdb();
        if (op == 0xEE) throw std::runtime_error("scripted failure");
        return std::nullopt;
    }
    nlohmann::json control(const std::string& verb, const nlohmann::json& args) override {
        if (verb == "echo") return nlohmann::json{{"verb", verb}, {"args", args}};
        if (verb == "now") return nlohmann::json{{"nowMs", clock->nowMs()}, {"wall", clock->wallSeconds()}};
        return nlohmann::json{{"error", "unknown verb " + verb}};
    }
    nlohmann::json saveState() const override {
        nlohmann::json j = nlohmann::json::object();
        j["wwn"] = object.value("wwn", "0000000000000000");
        j["saved"] = true;
        return j;
    }
};

inline sim::ModelFactory scriptedFactory(std::vector<ScriptedModel::Seen>* seen = nullptr) {
    return [seen](const nlohmann::json& sys, const sim::SimClock& clock) -> std::unique_ptr<sim::SystemModel> {
        if (sys.contains("reject")) throw std::invalid_argument("rejected by the model");
        auto m = std::make_unique<ScriptedModel>();
        m->seen = seen;
        m->object = sys;
        m->clock = &clock;
        return m;
    };
}

// One system with two paths (sg0, sg1) and one other device (sg5, a disk).
inline const char* kTwoPathScenario = R"({
  "systems": [ { "vendor": "TOLVO", "product": "TOLVO RAID 7000", "revision": "0513",
                 "capacityBlocks": 4194304, "blockSize": 512, "wwn": "2000001122334455",
                 "paths": [ { "sg": 0, "host": 2, "channel": 0, "target": 1, "lun": 0, "portWwn": "2100001122334401" },
                            { "sg": 1, "host": 3, "channel": 1, "target": 1, "lun": 0, "portWwn": "2100001122334402",
                              "initiatorWwn": "10000000C9ABCDEF" } ] } ],
  "devices": [ { "sg": 5, "vendor": "ACME", "product": "DISK DRIVE", "revision": "1.00", "type": 0,
                 "host": 4, "channel": 0, "target": 3, "lun": 2, "capacityBlocks": 1000, "blockSize": 4096 } ]
})";

inline std::unique_ptr<sim::Emulator> makeEmulator(const std::string& text = kTwoPathScenario,
                                                   std::vector<ScriptedModel::Seen>* seen = nullptr) {
    return std::make_unique<sim::Emulator>(sim::parseScenarioText(text), scriptedFactory(seen));
}

}  // namespace simtest
