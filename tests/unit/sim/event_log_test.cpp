// The emulator's event logs: capacity, the latest log emptied by its read, and
// the pieces of one read agreeing.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "model/event_log.h"

namespace {

uint16_t countOf(const std::vector<uint8_t>& reply) { return static_cast<uint16_t>(reply[12] | (reply[13] << 8)); }
uint32_t lengthOf(const std::vector<uint8_t>& reply) {
    uint32_t v;
    std::memcpy(&v, reply.data(), 4);
    return v;
}

TEST(EventLogs, OldestDroppedAtCapacityAndLatestEmptiedByItsRead) {
    sim::model::EventLogs logs;
    const uint8_t payload[1] = {7};
    for (int i = 0; i < 4100; ++i) logs.log(1, 1767225600 + i, static_cast<uint8_t>(i), payload);
    auto whole = logs.reply(1, false, 0, 1767230000);
    EXPECT_EQ(countOf(whole), 4096);
    EXPECT_EQ(lengthOf(whole), 16u + 4096 * 24);
    EXPECT_EQ(whole.size(), 16u + 4096 * 24);
    EXPECT_EQ(whole[16 + 9], 4);        // the first four were dropped
    EXPECT_EQ(whole[16 + 8], 2);        // logged by controller B
    EXPECT_EQ(whole[16 + 10], 7);

    auto latest = logs.reply(1, true, 0, 1767230000);
    EXPECT_EQ(countOf(latest), 4096);
    // A later piece of the same read sees the same reply.
    EXPECT_EQ(countOf(logs.reply(1, true, 32768, 1767230000)), 4096);
    EXPECT_EQ(countOf(logs.reply(1, true, 0, 1767230000)), 0);
    EXPECT_EQ(countOf(logs.reply(0, false, 0, 1767230000)), 0);

    logs.clear();
    EXPECT_EQ(logs.size(1, false), 0u);
}

TEST(EventLogs, ClockRecordIsUtcFields) {
    auto c = sim::model::clockRecordAt(1767225600 + 3661);   // Thu 2026-01-01 01:01:01
    EXPECT_EQ((std::vector<int>{c.year.get(), c.month, c.day, c.dayOfWeek, c.hour, c.minute, c.second}),
              (std::vector<int>{2026, 1, 1, 5, 1, 1, 1}));
}

}  // namespace
