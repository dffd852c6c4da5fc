#include "scsi/scsi_commands.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "scsi/passthrough.h"
#include "scsi/utils.h"

namespace {

using Bytes = std::vector<uint8_t>;

// sg3_utils fixture: standard INQUIRY of a disk (sg_inq decodes it as PDT 0,
// version 0x06, HiSUP 1, response data format 2, EncServ 1, CmdQue 1,
// "ACME" / "TESTDISK" / "0001").
const Bytes kInquiryFixture = {0x00, 0x00, 0x06, 0x12, 0x1f, 0x00, 0x40, 0x02, 0x41, 0x43, 0x4d, 0x45,
                               0x20, 0x20, 0x20, 0x20, 0x54, 0x45, 0x53, 0x54, 0x44, 0x49, 0x53, 0x4b,
                               0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x30, 0x30, 0x30, 0x31};
// sg3_utils fixture: page 0x83 with one binary NAA-5 designator 0x500123456789abcd.
const Bytes kVpd83Fixture = {0x00, 0x83, 0x00, 0x0c, 0x01, 0x03, 0x00, 0x08,
                             0x50, 0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd};

TEST(Inquiry, DecodesTheSg3UtilsFixtureAndShortReplies) {
    SCSI_INQUIRY_DATA d;
    decodeInquiry(kInquiryFixture.data(), kInquiryFixture.size(), &d);
    EXPECT_EQ(d.peripheralQualifier, 0);
    EXPECT_EQ(d.peripheralDeviceType, 0);
    EXPECT_EQ(d.version, 6);
    EXPECT_EQ(d.HiSup, 1u);
    EXPECT_EQ(d.EncServ, 1u);
    EXPECT_EQ(d.CmdQue, 1u);
    EXPECT_STREQ(d.vendorId, "ACME    ");
    EXPECT_STREQ(d.productId, "TESTDISK        ");
    EXPECT_STREQ(d.productRevision, "0001");
    EXPECT_STREQ(d.vendorSpecific, "");
    // The vendor-specific field only from additional length 43.
    for (uint8_t addl : {42, 43}) {
        Bytes r(96, 'x');
        r[4] = addl;
        decodeInquiry(r.data(), r.size(), &d);
        EXPECT_STREQ(d.vendorSpecific, addl == 43 ? "xxxxxxxxxxxx" : "") << int(addl);
    }
    // What a short reply does not hold reads as zeros.
    const Bytes r = {0x00, 0x00, 0x05, 0x02, 43, 0, 0, 0, 'T', 'O'};
    decodeInquiry(r.data(), r.size(), &d);
    EXPECT_STREQ(d.vendorId, "TO");
    EXPECT_STREQ(d.productId, "");
    EXPECT_STREQ(d.vendorSpecific, "");
}

TEST(DeviceId, FirstBinaryNaaOrEuiInPageOrderWins) {
    const Bytes page = {
        0x00, 0x83, 0x00, 0x2C,
        0x02, 0x01, 0x00, 0x04, 'A', 'B', 'C', 'D',                       // ASCII T10 vendor id: skipped
        0x02, 0x03, 0x00, 0x08, 1, 1, 1, 1, 1, 1, 1, 1,                  // NAA but ASCII code set: skipped
        0x61, 0x92, 0x00, 0x08, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8,  // binary EUI-64, PIV, port
        0x01, 0x03, 0x00, 0x08, 0x20, 0, 0, 0x11, 0x22, 0x33, 0x44, 0x55,        // binary NAA
    };
    SCSI_DEVICE_ID_DATA d;
    ASSERT_EQ(decodeDeviceIdPage(page.data(), page.size(), &d), WSC_GOOD);
    ASSERT_EQ(d.descriptorCount, 4);
    EXPECT_EQ(d.descriptors[2].protocolIdentifier, 6);
    EXPECT_EQ(d.descriptors[2].PIV, 1u);
    EXPECT_EQ(d.descriptors[2].association, 1);
    uint8_t wwn[8];
    ASSERT_TRUE(wwnFromDeviceId(&d, wwn));
    EXPECT_EQ(wwn[0], 0xE1);
    EXPECT_EQ(wwn[7], 0xE8);
    scsiInquiryDeviceIDClear(&d);
}

TEST(DeviceId, HostileLengthsAreClampedToWhatArrived) {
    struct Case {
        const char* name;
        Bytes page;
        uint8_t count;
        bool wwn;
    };
    const Case cases[] = {
        {"sg3_utils NAA-5 fixture", kVpd83Fixture, 1, true},
        {"page length beyond reply", {0x00, 0x83, 0xFF, 0xFF, 0x01, 0x03, 0x00, 0x08, 1, 2, 3, 4, 5, 6, 7, 8}, 1, true},
        {"descriptor beyond page", {0x00, 0x83, 0x00, 0x08, 0x01, 0x03, 0x00, 0xF0, 1, 2, 3, 4}, 0, false},
        {"descriptor beyond reply", {0x00, 0x83, 0x00, 0xFF, 0x01, 0x03, 0x00, 0x08, 1, 2}, 0, false},
        {"short NAA", {0x00, 0x83, 0x00, 0x08, 0x01, 0x03, 0x00, 0x04, 1, 2, 3, 4}, 1, false},
        {"header only", {0x00, 0x83}, 0, false},
        {"zero-length descriptors", {0x00, 0x83, 0x00, 0x08, 0x01, 0x03, 0x00, 0x00, 0x01, 0x03, 0x00, 0x00}, 2, false},
    };
    for (const Case& c : cases) {
        SCSI_DEVICE_ID_DATA d;
        ASSERT_EQ(decodeDeviceIdPage(c.page.data(), c.page.size(), &d), WSC_GOOD) << c.name;
        EXPECT_EQ(d.descriptorCount, c.count) << c.name;
        uint8_t wwn[8];
        EXPECT_EQ(wwnFromDeviceId(&d, wwn), c.wwn) << c.name;
        if (c.wwn) {
            EXPECT_EQ(Bytes(wwn, wwn + 8), Bytes(c.page.begin() + 8, c.page.begin() + 16)) << c.name;
        }
        scsiInquiryDeviceIDClear(&d);
    }
}

TEST(DeviceId, WrongPageCodeIsReported) {
    const Bytes page = {0x00, 0x80, 0x00, 0x00};
    SCSI_DEVICE_ID_DATA d;
    testing::internal::CaptureStdout();
    EXPECT_EQ(decodeDeviceIdPage(page.data(), page.size(), &d), WSC_OS_ERROR);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Invalid page code: expected 0x83, got 0x80\n");
}

TEST(ReadCapacity, DecodesSizesInUnits) {
    struct Case {
        Bytes reply;
        uint64_t bytes;
        uint32_t mb, gb;
    };
    const Case cases[] = {
        {{0x00, 0x3F, 0xFF, 0xFF, 0x00, 0x00, 0x02, 0x00}, 2147483648ull, 2147, 2},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x10, 0x00}, 0x100000000ull * 4096, 17592186, 17592},
        {{0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00}, 512, 0, 0},
    };
    for (const Case& c : cases) {
        SCSI_CAPACITY_DATA d;
        decodeReadCapacity(c.reply.data(), c.reply.size(), &d);
        EXPECT_EQ(d.capacityBytes, c.bytes);
        EXPECT_EQ(d.capacityMB, c.mb);
        EXPECT_EQ(d.capacityGB, c.gb);
    }
}

TEST(Dump, HexAndCharacterRows) {
    SCSI_COMMAND_STRUCT r{};
    r.cdb[0] = 0x3C;
    r.senseData[2] = 0x02;
    r.senseData[12] = 0x04;
    r.senseData[13] = 0x01;
    uint8_t data[18];
    for (int i = 0; i < 18; ++i) data[i] = static_cast<uint8_t>('A' + i);
    data[1] = 0x1F;
    data[2] = 0x80;
    testing::internal::CaptureStdout();
    PRINT_CDB_BUFFER(&r, 2, data, 18);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n--------------------------------\nCDB : 3C 00 00 00 00 00 00 00 00 00  (Status = 2; Sense = "
              "02/04/01)"
              "\n\nHex output"
              "\n [  0] :41 1F 80 44 45 46 47 48  49 4A 4B 4C 4D 4E 4F 50 "
              "\n [ 16] :51 52 "
              "\n\nCharacter output"
              "\n [  0] :A  1F 80 D  E  F  G  H   I  J  K  L  M  N  O  P  "
              "\n [ 16] :Q  R  "
              "\n--------------------------------\n");
}

// Only the hostile inputs: the lowest int, radixes out of range, null strings, an empty range.
TEST(Utilities, HostileInputs) {
    char buf[40];
    EXPECT_STREQ(itoa(-2147483647 - 1, buf, 10), "-2147483648");
    for (int radix : {1, 37}) EXPECT_STREQ(itoa(123, buf, radix), "123");
    EXPECT_EQ(stricmp(nullptr, nullptr), 0);
    EXPECT_EQ(stricmp(nullptr, ""), 1);
    EXPECT_EQ(stricmp("", nullptr), 1);
    const uint8_t b[2] = {0x12, 0x34};
    EXPECT_EQ(memEquals(b, 0x12, 0), 1);
    EXPECT_EQ(memEquals(b, 0x12, 2), 0);
}

TEST(CommandsThroughDouble, WwnOfAPathAndFailures) {
    Bytes page = kVpd83Fixture;
    uint8_t wsc = WSC_GOOD;
    setScsiPassThrough([&](ITL_HANDLE_STRUCT*, SCSI_COMMAND_STRUCT* r, uint8_t* data) {
        EXPECT_EQ(r->cdb[2], 0x83);
        std::memcpy(data, page.data(), page.size());
        return wsc;
    });
    ITL_HANDLE_STRUCT h{};
    uint8_t wwn[8] = {};
    EXPECT_EQ(scsiInquiryWWNGet(&h, wwn), 0);
    EXPECT_EQ(wwn[0], 0x50);
    page[5] = 0x01;  // T10 vendor id: no usable descriptor
    EXPECT_EQ(scsiInquiryWWNGet(&h, wwn), 1);
    wsc = WSC_CHECK_CONDITION;
    EXPECT_EQ(scsiInquiryWWNGet(&h, wwn), 1);
    setScsiPassThrough(nullptr);
}

}  // namespace
