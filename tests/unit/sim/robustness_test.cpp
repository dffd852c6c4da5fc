// Hostile input to the emulator with the real firmware model behind it: random
// messages, plausible headers with random CDBs and lengths. Every message gets a
// reply that starts with a whole header, and the emulator keeps answering.
#include <random>

#include <gtest/gtest.h>

#include "scsi/sg_wire.h"
#include "sim_test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(Robustness, RandomMessagesAlwaysGetAHeader) {
    sim::Emulator emu(sim::parseScenarioText(sim::embeddedDefaultScenario()), sim::makeSystemModel);
    std::mt19937 rng(20261206);
    auto byte = [&] { return static_cast<uint8_t>(rng() & 0xFF); };
    const uint8_t opcodes[] = {0x00, 0x12, 0x25, 0x3B, 0x3C, 0x1C, 0x5E, 0x5F, 0xA0, 0xC0, 0xFF};
    for (int i = 0; i < 3000; ++i) {
        Bytes msg;
        if (i % 5 == 0) {
            msg.resize(rng() % 80);
            for (auto& b : msg) b = byte();
        } else {
            uint8_t op = opcodes[rng() % sizeof opcodes];
            Bytes cdb(sim::sg::cdbLengthFor(op, (rng() & 1) != 0), 0);
            cdb[0] = op;
            for (size_t k = 1; k < cdb.size(); ++k) cdb[k] = (rng() % 3 == 0) ? byte() : 0;
            if (op == 0x3C || op == 0x3B) cdb[1] = static_cast<uint8_t>(rng() % 8);
            Bytes out(rng() % 3 == 0 ? rng() % 2048 : 0);
            for (auto& b : out) b = byte();
            uint32_t in = rng() % 4 == 0 ? static_cast<uint32_t>(rng() % 70000) : static_cast<uint32_t>(rng() % 600);
            msg = simtest::sgWrite(cdb, in, out, i, cdb.size() == 12);
            if (rng() % 7 == 0 && msg.size() > 37) msg.resize(36 + rng() % (msg.size() - 36));
        }
        Bytes reply = emu.command(static_cast<size_t>(i % 2), msg);
        ASSERT_GE(reply.size(), 36u) << i;
        auto r = simtest::decode(reply);
        uint32_t replyLen = r.replyLen > 36 ? static_cast<uint32_t>(r.replyLen) - 36 : 0;
        if (msg.size() >= 36) {
            EXPECT_LE(r.data.size(), replyLen) << i;
        }
    }
    // Still answering properly.
    auto inq = simtest::decode(emu.command(0, simtest::sgWrite({0x12, 0, 0, 0, 0x60, 0}, 96)));
    EXPECT_EQ(inq.targetStatus, 0u);
    EXPECT_EQ(inq.data.size(), 96u);
}

}  // namespace
