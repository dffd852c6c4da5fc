// Standard SCSI commands and their decoding (sg3_utils fixtures where there
// are), and the vendor transfer, its chunks and builders.
#include "scsi/scsi_commands.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "scsi/passthrough.h"
#include "scsi/tolvo.h"
#include "scsi/tolvo_builders.h"
#include "scsi/utils.h"
#include "unit/lapi/scripted_system.h"

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

using testnode::Recorder;

struct TolvoTest : ::testing::Test {
    ITL_HANDLE_STRUCT handle{};
    SCSI_COMMAND_STRUCT request{};
    Recorder rec;
};

// Transfers go out in chunks of at most 32 KiB: the CDB and length of each
// chunk, and the data at each chunk's offset.
TEST_F(TolvoTest, TransfersAreCutIntoChunks) {
    struct Case {
        const char* name;
        Bytes cdb;  // as the caller sets it
        uint32_t length;
        std::vector<Bytes> sent;
        std::vector<uint32_t> lengths;
    };
    const Case cases[] = {
        {"download within one chunk stays mode 5", {0x3B, 5, 0x02, 0, 0, 0, 0, 0, 0, 0}, 30000,
         {{0x3B, 5, 0x02, 0, 0, 0, 0x00, 0x75, 0x30, 0}}, {30000}},
        {"larger download becomes mode 7 with offsets", {0x3B, 5, 0x00, 0xAA, 0xBB, 0xCC, 0, 0, 0, 0}, 40000,
         {{0x3B, 7, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00, 0}, {0x3B, 7, 0x00, 0x00, 0x80, 0x00, 0x00, 0x1C, 0x40, 0}},
         {32768, 7232}},
        {"mode 1 never overwrites its parameter bytes", {0x3B, 1, 0x92, 0x12, 0x34, 0x56, 0, 0, 0, 0}, 70000,
         {{0x3B, 1, 0x92, 0x12, 0x34, 0x56, 0x00, 0x80, 0x00, 0}, {0x3B, 1, 0x92, 0x12, 0x34, 0x56, 0x00, 0x80, 0x00, 0},
          {0x3B, 1, 0x92, 0x12, 0x34, 0x56, 0x00, 0x11, 0x70, 0}},
         {32768, 32768, 70000 - 65536}},
    };
    for (const Case& c : cases) {
        rec.sent.clear();
        std::vector<uint8_t> data(c.length);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
        std::memcpy(request.cdb, c.cdb.data(), c.cdb.size());
        ASSERT_EQ(TOLVO_SendCommand(&handle, &request, data.data(), c.length, nullptr), WSC_GOOD) << c.name;
        ASSERT_EQ(rec.sent.size(), c.sent.size()) << c.name;
        for (size_t n = 0, offset = 0; n < c.sent.size(); offset += c.lengths[n++]) {
            EXPECT_EQ(rec.sent[n].cdb, c.sent[n]) << c.name << " " << n;
            EXPECT_EQ(rec.sent[n].dataLength, c.lengths[n]) << c.name << " " << n;
            EXPECT_EQ(rec.sent[n].direction, 0) << c.name;
            EXPECT_EQ(rec.sent[n].timeout, 120u) << c.name;
            EXPECT_EQ(rec.sent[n].dataOut[0], data[offset]) << c.name << " " << n;
            EXPECT_EQ(rec.sent[n].dataOut.back(), data[offset + c.lengths[n] - 1]) << c.name << " " << n;
        }
    }
    // The diagnostic buffers keep bytes six to nine as the caller set them.
    for (uint8_t id : {0xF0, 0xF1, 0xF2}) {
        rec.sent.clear();
        uint8_t data[64] = {64};
        const Bytes cdb = {id == 0xF2 ? uint8_t(0x3B) : uint8_t(0x3C), 1, id, 1, 0x1C, 1, 0x02, 0x00, 0x40, 0x77};
        std::memcpy(request.cdb, cdb.data(), cdb.size());
        ASSERT_EQ(TOLVO_SendCommand(&handle, &request, data, 64, nullptr), WSC_GOOD);
        EXPECT_EQ(rec.sent[0].cdb, cdb);
    }
}

TEST_F(TolvoTest, LongReadEndsEarlyAtTheDeclaredByteCount) {
    std::vector<uint8_t> config(940032, 0xEE);
    rec.responder = [](const testnode::Sent& s) {
        Bytes reply(s.dataLength, 0x5A);
        if (s.cdb[3] == 0 && s.cdb[4] == 0 && s.cdb[5] == 0) reply[0] = 0x40, reply[1] = 0x9C, reply[2] = 0, reply[3] = 0;
        return testnode::good(reply);
    };
    setTolvoCdb(&request, 0x3C, 2, 0x01, 0, 0, 0);
    int converted = 0;
    static int* counter;
    counter = &converted;
    ASSERT_EQ(TOLVO_SendCommand(&handle, &request, config.data(), 940032, [](void*) { ++*counter; }), WSC_GOOD);
    ASSERT_EQ(rec.sent.size(), 2u);  // 40000 bytes: chunks at 0 and 32768
    EXPECT_EQ(rec.sent[1].cdb, (Bytes{0x3C, 2, 0x01, 0x00, 0x80, 0x00, 0x00, 0x1C, 0x40, 0}));  // 7232 bytes
    EXPECT_EQ(rec.sent[0].direction, 1);
    EXPECT_EQ(converted, 1);
    EXPECT_EQ(config[65536], 0xEE);  // nothing read beyond the second chunk
}

TEST_F(TolvoTest, FirstFailingChunkEndsTheTransferWithItsStatus) {
    rec.script = {testnode::good(), testnode::check(5, 0x24, 0), testnode::good()};
    std::vector<uint8_t> data(100000);
    setTolvoCdb(&request, 0x3B, 2, 0x83, 0, 0, 0);
    EXPECT_EQ(TOLVO_SendCommand(&handle, &request, data.data(), 100000, nullptr), WSC_CHECK_CONDITION);
    EXPECT_EQ(rec.sent.size(), 2u);
    EXPECT_EQ(request.senseKey(), 5);
}

TEST_F(TolvoTest, NothingToSendAndBadArgumentsGiveBadParameters) {
    uint8_t data[4];
    setTolvoCdb(&request, 0x3C, 1, 0x03, 0, 0, 0);
    EXPECT_EQ(TOLVO_SendCommand(&handle, &request, data, 0, nullptr), WSC_BAD_PARAMETERS);
    EXPECT_EQ(TOLVO_SendCommand(nullptr, &request, data, 4, nullptr), WSC_BAD_PARAMETERS);
    EXPECT_EQ(TOLVO_SendCommand(&handle, &request, nullptr, 4, nullptr), WSC_BAD_PARAMETERS);
    EXPECT_TRUE(rec.sent.empty());
}

TEST_F(TolvoTest, ShortReadsNeverReadTheByteCountOutsideTheBuffer) {
    uint8_t two[2] = {0xFF, 0xFF};
    rec.script = {testnode::good({1, 2})};
    setTolvoCdb(&request, 0x3C, 1, 0x59, 0, 0, 0);
    EXPECT_EQ(TOLVO_SendCommand(&handle, &request, two, 2, nullptr), WSC_GOOD);
    EXPECT_EQ(two[1], 2);
    // A short chunk: what did not arrive is zero, not the buffer's earlier bytes.
    Bytes page(100, 0xEE);
    rec.script = {testnode::good({0x02, 0x00, 0x00, 0x60, 0x11})};
    rec.script[0].shortReply = true;
    uint32_t received = 0;
    EXPECT_EQ(TOLVO_SendCommand(&handle, &request, page.data(), 100, nullptr, &received), WSC_GOOD);
    EXPECT_EQ(received, 5u);
    Bytes expected(100, 0);
    expected[0] = 0x02, expected[3] = 0x60, expected[4] = 0x11;
    EXPECT_EQ(page, expected);
}

TEST_F(TolvoTest, OutOfBandUsesItsSenderBigChunksAndAcceptsItsBenignSense) {
    handle.outOfBand = OUT_OF_BAND_MARKER;
    std::vector<uint32_t> lengths;
    setOutOfBandSender([&](SCSI_COMMAND_STRUCT* r, uint8_t*) {
        lengths.push_back(r->dataLength);
        r->senseData[2] = 0x04;
        r->senseData[12] = 0x44;
        r->senseData[13] = lengths.size() == 1 ? 0x0B : 0x0C;
        return WSC_CHECK_CONDITION;
    });
    std::vector<uint8_t> image(300000);
    setTolvoCdb(&request, 0x3B, 5, 0x00, 0, 0, 0);
    EXPECT_EQ(TOLVO_SendCommand(&handle, &request, image.data(), 300000, nullptr), WSC_GOOD);
    EXPECT_EQ(lengths, (std::vector<uint32_t>{262144, 300000 - 262144}));
    EXPECT_EQ(request.cdb[1], 7);
    EXPECT_TRUE(rec.sent.empty());
    setOutOfBandSender(nullptr);
    EXPECT_EQ(TOLVO_SendCommand(&handle, &request, image.data(), 16, nullptr), WSC_OS_ERROR);
}

TEST(TolvoPacing, WaitsOnlyAfterMoreThanSevenIdleSeconds) {
    time_t epoch = 0;
    EXPECT_FALSE(outOfBandPaceDue(1000, &epoch));
    EXPECT_EQ(epoch, 1000);
    EXPECT_FALSE(outOfBandPaceDue(1007, &epoch));
    EXPECT_EQ(epoch, 1000);
    EXPECT_TRUE(outOfBandPaceDue(1008, &epoch));
    EXPECT_EQ(epoch, 1008);
}

TEST(TolvoString, ControlCharactersBecomeBlanksAndFieldIsPadded) {
    char field[8];
    std::memset(field, '#', sizeof field);
    makeTolvoString("ab\tc", field, 6);
    EXPECT_EQ(std::string(field, 8), "ab c  ##");
    makeTolvoString(nullptr, field, 3);
    EXPECT_EQ(std::string(field, 3), "   ");
    makeTolvoString("toolongname\x7f", field, 4);
    EXPECT_EQ(std::string(field, 4), "tool");
    makeTolvoString("x\x7f\xe9", field, 4);
    EXPECT_EQ(std::string(field, 4), "x   ");
}

// The other way, the controller's time of an event, is checked end to end
// (events: the listing's event times).
TEST(TolvoTime, SystemTimeBecomesTheControllersLocalTime) {
    const char* old = getenv("TZ");
    const std::string saved = old ? old : "";
    setenv("TZ", "UTC", 1);
    tzset();
    wire::CLOCK_STRUCT c{};
    LAPISysTimeToControllerTime(1796515200, &c);  // Sunday 2026-12-06 00:00:00 UTC
    EXPECT_EQ(c.year.get(), 2026);
    EXPECT_EQ(c.month, 12);
    EXPECT_EQ(c.day, 6);
    EXPECT_EQ(c.dayOfWeek, 1);
    EXPECT_EQ(c.hour, 0);
    old ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
    tzset();
}

// Builders no command reaches (the others are checked through the tool), and
// the rank builder's cap of sixteen drives: the CDB, the validation header, the
// record length the CDB announces, and the distinctive bytes of each record
// (offsets after the header).
struct BuilderCase {
    const char* name;
    std::function<uint8_t(ITL_HANDLE_STRUCT*, SCSI_COMMAND_STRUCT*)> call;
    Bytes cdb;
    Bytes head;                                   // the record's first bytes
    std::vector<std::pair<size_t, uint8_t>> at;   // further bytes by offset
};

const uint8_t kWwn[8] = {0x20, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
using A = ITL_HANDLE_STRUCT*;
using R = SCSI_COMMAND_STRUCT*;

Bytes cdb(uint8_t id, uint16_t length, uint8_t b3 = 0, uint8_t b4 = 0, uint8_t b5 = 0) {
    return {0x3B, 1, id, b3, b4, b5, 0, uint8_t(length >> 8), uint8_t(length), 0};
}

std::vector<BuilderCase> builderCases() {
    return {
        {"RegenerateDrive", [](A h, R r) { return TOLVO_RegenerateDrive(h, r, 0xA1, 0xB2, kWwn); },
         cdb(0xCA, 32), {0xA1, 0xB2, 0x20, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0}, {}},
        {"UpdateDriveFirmware", [](A h, R r) { return TOLVO_UpdateDriveFirmware(h, r, kWwn, 0x07); },
         cdb(0xC6, 28), {0x07, 0, 0, 0, 0x20, 0x00, 0x00, 0x11}, {{11, 0x55}}},
        {"AddLunMapping_ver_I", [](A h, R r) { wire::CREATE_LUN_MAPPING_STRUCT_ver_I m{}; m.extension[511] = 0x42;
                                               return TOLVO_AddLunMapping_ver_I(h, r, &m); }, cdb(0x92, 0x0644), {}, {{1587, 0x42}}},
        {"ModifyLunMapping", [](A h, R r) { wire::LUN_MAPPING_STRUCT m{}; m.bHostType = 7;
                                            return TOLVO_ModifyLunMapping(h, r, 0x01F3, &m); }, cdb(0x9E, 0x0450, 0x01, 0xF3), {}, {{0x11, 7}}},
        {"ModifyUpsParams", [](A h, R r) { wire::UPS_SETUP_STRUCT u{}; u.bytes[0] = 9; u.bytes[15] = 8;
                                           return TOLVO_ModifyUpsParams(h, r, 3, &u); }, cdb(0xA1, 32, 3), {9}, {{15, 8}}},
        {"SetControllerIp", [](A h, R r) { const uint8_t ip[16] = {192, 168, 1, 20, 255, 255, 255, 0, 192, 168, 1, 1, 0, 0, 0, 9};
                                           return TOLVO_SetControllerIp(h, r, 2, ip); }, cdb(0xA4, 32, 2), {192, 168, 1, 20, 255}, {{15, 9}}},
        {"SetMappedLun", [](A h, R r) { return TOLVO_SetMappedLun(h, r, 0x1234, 0xABCD); }, cdb(0xA9, 20), {0x34, 0x12, 0xCD, 0xAB}, {}},
        {"AddDriveRank of twenty drives holds sixteen", [](A h, R r) { TolvoRankRequest rank{}; rank.driveCount = 20;
                                             rank.drives[0].set(0x2000001122334455ull); rank.drives[15].set(0x20000011223344FFull);
                                             return TOLVO_AddDriveRank(h, r, &rank); },
         cdb(0x90, 256), {}, {{0x02, 16}, {0x20, 0x20}, {0x27, 0x55}, {0x20 + 15 * 8 + 7, 0xFF}}},
    };
}

TEST_F(TolvoTest, EveryBuilderLaysOutCdbHeaderAndRecord) {
    for (const BuilderCase& c : builderCases()) {
        rec.sent.clear();
        SCSI_COMMAND_STRUCT r;
        std::memset(&r, 0, sizeof r);
        ASSERT_EQ(c.call(&handle, &r), WSC_GOOD) << c.name;
        ASSERT_EQ(rec.sent.size(), 1u) << c.name;
        EXPECT_EQ(rec.sent[0].cdb, c.cdb) << c.name;
        const Bytes& out = rec.sent[0].dataOut;
        ASSERT_EQ(out.size(), size_t(c.cdb[7] << 8 | c.cdb[8])) << c.name;
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + 16, wire::TOLVO_VALIDATION_HEADER.begin())) << c.name;
        ASSERT_GE(out.size(), 16 + c.head.size()) << c.name;
        EXPECT_EQ(Bytes(out.begin() + 16, out.begin() + 16 + long(c.head.size())), c.head) << c.name;
        for (const auto& [offset, value] : c.at) {
            ASSERT_LT(16 + offset, out.size()) << c.name;
            EXPECT_EQ(out[16 + offset], value) << c.name << " +" << offset;
        }
    }
}

TEST_F(TolvoTest, ExpandArrayRefusesMoreDrivesThanTheRecordHolds) {
    wire::wwn8 w[16]{};
    EXPECT_EQ(TOLVO_ExpandArray(&handle, &request, 1, 16, 0xF0, 0, w), WSC_BAD_PARAMETERS);
    EXPECT_TRUE(rec.sent.empty());
    EXPECT_EQ(TOLVO_ExpandArray(&handle, &request, 1, 15, 0xF0, 0, w), WSC_GOOD);
}

TEST_F(TolvoTest, OutOfBandSendDiagnosticsKeepsTheCallersFirstBytes) {
    handle.outOfBand = OUT_OF_BAND_MARKER;
    Bytes cdb;
    setOutOfBandSender([&](SCSI_COMMAND_STRUCT* r, uint8_t*) {
        cdb.assign(r->cdb, r->cdb + 10);
        return WSC_GOOD;
    });
    uint8_t page[8] = {};
    setTolvoCdb(&request, 0x3B, 1, 0xF2, 0x44, 0x55, 0x66);
    ASSERT_EQ(TOLVO_SendDiagnotics(&handle, &request, 0, 1, 2, page, 8), WSC_GOOD);
    EXPECT_EQ(cdb, (Bytes{0x3B, 1, 0xF2, 0x44, 0x55, 0x66, 0, 0, 8, 0}));
    setOutOfBandSender(nullptr);
}

}  // namespace
