// Helpers shared by the emulator's unit tests: sg messages (the tests' codec) and a
// scripted firmware model standing in for the real one.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "core/model_api.h"
#include "scenario/scenario.h"
#include "server/emulator.h"
#include "support/sg_message.h"

namespace simtest {

inline std::vector<uint8_t> sgWrite(const std::vector<uint8_t>& cdb, uint32_t dataIn,
                                    const std::vector<uint8_t>& dataOut = {}, int32_t packId = 5678,
                                    bool twelve = false) {
    return testsupport::sg::write(cdb, dataIn, dataOut, packId, twelve);
}
using Reply = testsupport::sg::Message;
inline Reply decode(const std::vector<uint8_t>& r) { return testsupport::sg::decode(r); }

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
    nlohmann::json control(const std::string& verb, const nlohmann::json&) override {
        return nlohmann::json{{"error", "unknown verb " + verb}};
    }
    nlohmann::json saveState() const override { return nlohmann::json::object(); }
};

inline sim::ModelFactory scriptedFactory(std::vector<ScriptedModel::Seen>* seen = nullptr) {
    return [seen](const nlohmann::json& sys, const sim::SimClock&) -> std::unique_ptr<sim::SystemModel> {
        if (sys.contains("reject")) throw std::invalid_argument("rejected by the model");
        auto m = std::make_unique<ScriptedModel>();
        m->seen = seen;
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

// The two-path emulator with the scripted model, and commands sent to its nodes.
class EmulatorTest : public ::testing::Test {
protected:
    using Bytes = std::vector<uint8_t>;
    std::vector<ScriptedModel::Seen> seen;
    std::unique_ptr<sim::Emulator> emu = makeEmulator(kTwoPathScenario, &seen);

    size_t dev(int sg) { return static_cast<size_t>(emu->deviceBySg(sg)); }
    Reply run(int sg, const Bytes& cdb, uint32_t in, const Bytes& out = {}) {
        return decode(emu->command(dev(sg), sgWrite(cdb, in, out)));
    }
};

}  // namespace simtest
