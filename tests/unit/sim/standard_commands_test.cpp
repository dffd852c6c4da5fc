// The standard commands as an initiator sees them through a simulated path:
// replies against bytes written by hand from the SCSI field tables (sg_inq
// decodes the identity and identifiers in tests/e2e/sim_sginq.cpp).
#include <gtest/gtest.h>

#include "sim_test_util.h"

namespace {

using simtest::decode;
using simtest::sgWrite;
using Bytes = std::vector<uint8_t>;

Bytes padded(const std::string& s, size_t n) {
    Bytes b(s.begin(), s.end());
    b.resize(n, ' ');
    return b;
}

Bytes expectedSystemInquiry() {
    Bytes d = {0x00, 0x00, 0x06, 0x12, 0x5B, 0x00, 0x10, 0x02};
    for (auto part : {padded("TOLVO", 8), padded("TOLVO RAID 7000", 16), padded("0513", 4), padded("", 20)})
        d.insert(d.end(), part.begin(), part.end());
    d.insert(d.end(), {0x00, 0x00, 0x00, 0xA0, 0x04, 0x60, 0x04, 0xC0});
    d.resize(96, 0);
    return d;
}

class StandardCommands : public ::testing::Test {
protected:
    std::unique_ptr<sim::Emulator> emu = simtest::makeEmulator();
    size_t dev(int sg) { return static_cast<size_t>(emu->deviceBySg(sg)); }
    simtest::Reply run(int sg, const Bytes& cdb, uint32_t dataIn, const Bytes& out = {}) {
        return decode(emu->command(dev(sg), sgWrite(cdb, dataIn, out)));
    }
};

TEST_F(StandardCommands, InquiryIsTruncatedToAllocationAndReplyLength) {
    struct Case {
        uint16_t alloc;
        uint32_t replySpace;
        size_t expected;
    } cases[] = {{0, 255, 0}, {5, 255, 5}, {36, 255, 36}, {96, 96, 96}, {255, 255, 96},
                 {255, 10, 10}, {0x0100, 0x0100, 96}, {96, 0, 0}};
    Bytes full = expectedSystemInquiry();
    for (const auto& c : cases) {
        auto r = run(1, {0x12, 0, 0, static_cast<uint8_t>(c.alloc >> 8), static_cast<uint8_t>(c.alloc), 0},
                     c.replySpace);
        ASSERT_EQ(r.data.size(), c.expected) << c.alloc << "/" << c.replySpace;
        EXPECT_TRUE(std::equal(r.data.begin(), r.data.end(), full.begin()));
    }
}

TEST_F(StandardCommands, DeviceIdentificationCarriesThePathWwn) {
    auto r0 = run(0, {0x12, 0x01, 0x83, 0, 0xFF, 0}, 255);
    auto r1 = run(1, {0x12, 0x01, 0x83, 0, 0xFF, 0}, 255);
    EXPECT_EQ(r0.data, (Bytes{0x00, 0x83, 0x00, 0x0C, 0x01, 0x93, 0x00, 0x08, 0x21, 0x00, 0x00, 0x11, 0x22, 0x33,
                              0x44, 0x01}));
    EXPECT_EQ(r1.data, (Bytes{0x00, 0x83, 0x00, 0x0C, 0x01, 0x93, 0x00, 0x08, 0x21, 0x00, 0x00, 0x11, 0x22, 0x33,
                              0x44, 0x02}));
    auto pages = run(0, {0x12, 0x01, 0x00, 0, 0xFF, 0}, 255);
    EXPECT_EQ(pages.data, (Bytes{0x00, 0x00, 0x00, 0x02, 0x00, 0x83}));
}

TEST_F(StandardCommands, ReadCapacity) {
    EXPECT_EQ(run(0, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8).data,
              (Bytes{0x00, 0x3F, 0xFF, 0xFF, 0x00, 0x00, 0x02, 0x00}));
    EXPECT_EQ(run(5, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8).data,
              (Bytes{0x00, 0x00, 0x03, 0xE7, 0x00, 0x00, 0x10, 0x00}));
    auto big = simtest::makeEmulator(
        R"({"devices":[{"sg":0,"vendor":"ACME","product":"BIG","capacityBlocks":8589934592}]})");
    EXPECT_EQ(decode(big->command(0, sgWrite({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8))).data,
              (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x02, 0x00}));
}

TEST_F(StandardCommands, IllegalRequestsCarryTheStandardSense) {
    struct Case {
        const char* name;
        int sg;
        Bytes cdb;
        Bytes dataOut;
        uint8_t asc;
    } cases[] = {
        {"INQUIRY page without EVPD", 0, {0x12, 0x00, 0x83, 0, 0xFF, 0}, {}, 0x24},
        {"INQUIRY CMDDT", 0, {0x12, 0x02, 0x00, 0, 0xFF, 0}, {}, 0x24},
        {"INQUIRY unsupported page", 0, {0x12, 0x01, 0x80, 0, 0xFF, 0}, {}, 0x24},
        {"INQUIRY NACA", 0, {0x12, 0x00, 0x00, 0, 0xFF, 0x04}, {}, 0x24},
        {"READ CAPACITY LBA without PMI", 0, {0x25, 0, 0, 0, 0, 1, 0, 0, 0, 0}, {}, 0x24},
        {"READ CAPACITY reserved bit", 5, {0x25, 0, 0, 0, 0, 0, 0, 0, 0x02, 0}, {}, 0x24},
        {"READ(10)", 0, {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}, {}, 0x20},
        {"vendor opcode on another device", 5, {0x3C, 0x01, 0x03, 0, 0, 0, 0, 0x02, 0, 0}, {}, 0x20},
        {"RECEIVE DIAGNOSTIC refused by the model", 0, {0x1C, 0x01, 0x80, 0x02, 0x00, 0}, {}, 0x24},
        {"TEST UNIT READY reserved byte", 0, {0x00, 0, 1, 0, 0, 0}, {}, 0x24},
        {"PR IN unknown service action", 0, {0x5E, 0x04, 0, 0, 0, 0, 0, 0, 0xFF, 0}, {}, 0x24},
        {"PR OUT short parameter list", 0, {0x5F, 0x00, 0, 0, 0, 0, 0, 0, 23, 0}, Bytes(23, 0), 0x1A},
        {"PR OUT list longer than the data", 0, {0x5F, 0x00, 0, 0, 0, 0, 0, 0, 24, 0}, Bytes(20, 0), 0x1A},
        {"PR OUT PREEMPT", 0, {0x5F, 0x04, 0x01, 0, 0, 0, 0, 0, 24, 0}, Bytes(24, 0), 0x24},
        {"group 6 opcode", 1, {0xC5, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {}, 0x20},
    };
    for (const auto& c : cases) {
        auto r = run(c.sg, c.cdb, 255, c.dataOut);
        EXPECT_EQ(r.result, 0) << c.name;
        EXPECT_EQ(r.targetStatus, 0x01u) << c.name;   // CHECK CONDITION, masked
        EXPECT_EQ(r.driverStatus, 0x08u) << c.name;   // DRIVER_SENSE
        Bytes sense = {0x70, 0, 0x05, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, c.asc, 0x00, 0, 0};
        EXPECT_EQ(r.sense, sense) << c.name;
        EXPECT_TRUE(r.data.empty()) << c.name;
    }
}

TEST_F(StandardCommands, TestUnitReadyIsGood) {
    auto r = run(5, {0x00, 0, 0, 0, 0, 0}, 0);
    EXPECT_EQ(r.targetStatus, 0u);
    EXPECT_EQ(r.sense, Bytes(16, 0));
}

TEST(StandardCommandsTypes, ProcessorDeviceHasNoCapacity) {
    auto emu = simtest::makeEmulator(R"({"devices":[{"sg":0,"vendor":"ACME","product":"ENCLOSURE","type":3}]})");
    auto r = decode(emu->command(0, sgWrite({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8)));
    EXPECT_EQ(r.sense[2], 0x05);
    EXPECT_EQ(r.sense[12], 0x20);
    auto inq = decode(emu->command(0, sgWrite({0x12, 0, 0, 0, 0x60, 0}, 96)));
    ASSERT_EQ(inq.data.size(), 96u);
    EXPECT_EQ(inq.data[0], 0x03);
    EXPECT_EQ(inq.data[62], 0x00);  // no SBC version descriptor
}

}  // namespace
