// The classic sg header and sg_scsi_id as the emulator encodes them, checked
// against the kernel's own structure layout and against bytes written by hand.
#include <scsi/sg.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <tuple>

#include <gtest/gtest.h>

#include "scsi/sg_wire.h"
#include "sim_test_util.h"

namespace {

using sim::sg::cdbLengthFor;

TEST(SgWire, HeaderLayoutMatchesTheKernelStructure) {
    static_assert(sizeof(sg_header) == sim::sg::kHeaderSize);
    static_assert(offsetof(sg_header, sense_buffer) == 20);
    sg_header k{};
    k.pack_len = 0x01020304;
    k.reply_len = 0x0A0B0C0D;
    k.pack_id = -2;
    k.result = 5;
    k.twelve_byte = 1;
    k.target_status = 0x0C;
    k.host_status = 0x07;
    k.driver_status = 0x08;
    k.other_flags = 0x2AB;
    for (int i = 0; i < 16; ++i) k.sense_buffer[i] = static_cast<unsigned char>(0xF0 + i);
    uint8_t kernelBytes[36];
    std::memcpy(kernelBytes, &k, sizeof k);

    auto decoded = sim::sg::decodeHeader(std::span<const uint8_t>(kernelBytes, 36));
    ASSERT_TRUE(decoded);
    const auto& d = *decoded;
    EXPECT_EQ(std::tuple(d.packLen, d.replyLen, d.packId, d.result), std::tuple(0x01020304, 0x0A0B0C0D, -2, 5));
    EXPECT_TRUE(d.twelveByte);
    EXPECT_EQ(std::tuple(int(d.targetStatus), int(d.hostStatus), int(d.driverStatus), int(d.otherFlags)),
              std::tuple(0x0C, 0x07, 0x08, 0x2AB));

    uint8_t ours[36];
    sim::sg::encodeHeader(*decoded, ours);
    EXPECT_EQ(0, std::memcmp(ours, kernelBytes, 36));
}

TEST(SgWire, CdbLengthFollowsTheOpcodeGroup) {
    struct Case {
        uint8_t opcode;
        bool twelve;
        size_t length;
    } cases[] = {
        {0x12, false, 6},  {0x1C, false, 6},  {0x3B, false, 10}, {0x3C, false, 10}, {0x5E, false, 10},
        {0x5F, true, 10},  {0x7F, false, 12}, {0x88, false, 16}, {0xA0, false, 12}, {0xA0, true, 12},
        {0xC0, false, 10}, {0xC0, true, 12},  {0xFF, false, 10}, {0xFF, true, 12},  {0x25, true, 10},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cdbLengthFor(c.opcode, c.twelve), c.length) << std::hex << int(c.opcode) << " " << c.twelve;
}

TEST(SgWire, ParseSplitsCdbAndData) {
    auto write = simtest::sgWrite({0x3B, 0x01, 0x40, 0, 0, 0, 0, 0, 0x04, 0}, 0, {1, 2, 3, 4});
    auto shortReply = simtest::sgWrite({0x00, 0, 0, 0, 0, 0}, 0);
    shortReply[4] = 10;  // reply_len 10, below the header: no data in
    struct Case { std::vector<uint8_t> msg; size_t cdb, dataOut; uint32_t dataIn; } cases[] = {
        {write, 10, 4, 0}, {shortReply, 6, 0, 0}, {simtest::sgWrite({0x12, 0, 0, 0, 0x60, 0}, 96), 6, 0, 96}};
    for (const auto& c : cases) {
        std::string why;
        std::optional<sim::sg::Header> h;
        auto req = sim::sg::parseRequest(c.msg, why, h);
        ASSERT_TRUE(req) << why;
        EXPECT_EQ(req->cdb.size(), c.cdb);
        EXPECT_EQ(req->dataOut.size(), c.dataOut);
        EXPECT_EQ(req->dataInLength, c.dataIn);
        EXPECT_EQ(req->header.packId, 5678);
    }
}

TEST(SgWire, MalformedMessagesAreRefused) {
    struct Case {
        const char* name;
        std::vector<uint8_t> msg;
        bool headerKnown;
    };
    auto full = simtest::sgWrite({0x3C, 0x01, 0x03, 0, 0, 0, 0, 0x02, 0, 0}, 512);
    std::vector<uint8_t> negativeReply = full;
    negativeReply[4] = negativeReply[5] = negativeReply[6] = negativeReply[7] = 0xFF;
    std::vector<uint8_t> cutCdb(full.begin(), full.begin() + 36 + 8);
    std::vector<Case> cases = {
        {"empty", {}, false},
        {"half header", std::vector<uint8_t>(full.begin(), full.begin() + 20), false},
        {"header only", std::vector<uint8_t>(full.begin(), full.begin() + 36), true},
        {"five CDB bytes", std::vector<uint8_t>(full.begin(), full.begin() + 41), true},
        {"ten-byte opcode with eight bytes", cutCdb, true},
        {"negative reply_len", negativeReply, true},
    };
    for (const auto& c : cases) {
        std::string why;
        std::optional<sim::sg::Header> h;
        EXPECT_FALSE(sim::sg::parseRequest(c.msg, why, h)) << c.name;
        EXPECT_FALSE(why.empty()) << c.name;
        EXPECT_EQ(h.has_value(), c.headerKnown) << c.name;
    }
}

TEST(SgWire, ScsiIdLayoutMatchesTheKernelStructure) {
    static_assert(sizeof(sg_scsi_id) == sim::sg::kScsiIdSize);
    sim::sg::ScsiId id{7, 1, 9, 3, 0x0C, 2, 16};
    auto bytes = sim::sg::encodeScsiId(id);
    ASSERT_EQ(bytes.size(), 32u);
    sg_scsi_id k{};
    std::memcpy(&k, bytes.data(), sizeof k);
    EXPECT_EQ((std::vector<int>{k.host_no, k.channel, k.scsi_id, k.lun, k.scsi_type, k.h_cmd_per_lun, k.d_queue_depth,
                                k.unused[0], k.unused[1]}),
              (std::vector<int>{7, 1, 9, 3, 0x0C, 2, 16, 0, 0}));
    const uint8_t hand[8] = {7, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(bytes.data(), hand, 8));
}

TEST(SgWire, ResultFollowsTheDriverForHostStatus) {
    const std::pair<uint8_t, int> cases[] = {{0x00, 0}, {0x01, EBUSY}, {0x03, EBUSY}, {0x04, EIO}, {0x0E, EIO}};
    for (auto [host, result] : cases) EXPECT_EQ(sim::sg::resultForHostStatus(host), result) << int(host);
}

}  // namespace
