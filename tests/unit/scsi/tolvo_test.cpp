#include "scsi/tolvo.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <vector>

#include "recorder.h"
#include "scsi/tolvo_builders.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testnode::Recorder;

struct TolvoTest : ::testing::Test {
    ITL_HANDLE_STRUCT handle{};
    SCSI_COMMAND_STRUCT request{};
    Recorder rec;
};

TEST_F(TolvoTest, DownloadAbove32KBecomesMode7InTwoChunksWithOffsets) {
    std::vector<uint8_t> image(40000);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7);
    setTolvoCdb(&request, 0x3B, 5, 0x00, 0xAA, 0xBB, 0xCC);
    ASSERT_EQ(TOLVO_SendCommand(&handle, &request, image.data(), 40000, nullptr), WSC_GOOD);
    ASSERT_EQ(rec.sent.size(), 2u);
    EXPECT_EQ(rec.sent[0].cdb, (Bytes{0x3B, 7, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x00, 0}));
    EXPECT_EQ(rec.sent[1].cdb, (Bytes{0x3B, 7, 0x00, 0x00, 0x80, 0x00, 0x00, 0x1C, 0x40, 0}));
    EXPECT_EQ(rec.sent[0].dataLength, 32768u);
    EXPECT_EQ(rec.sent[1].dataLength, 7232u);
    EXPECT_EQ(rec.sent[0].direction, 0);
    EXPECT_EQ(rec.sent[0].timeout, 120u);
    EXPECT_EQ(rec.sent[1].dataOut[0], image[32768]);
    EXPECT_EQ(rec.sent[1].dataOut.back(), image[39999]);
}

TEST_F(TolvoTest, DownloadWithinOneChunkStaysMode5) {
    std::vector<uint8_t> image(30000, 0x11);
    setTolvoCdb(&request, 0x3B, 5, 0x02, 0, 0, 0);
    ASSERT_EQ(TOLVO_SendCommand(&handle, &request, image.data(), 30000, nullptr), WSC_GOOD);
    ASSERT_EQ(rec.sent.size(), 1u);
    EXPECT_EQ(rec.sent[0].cdb, (Bytes{0x3B, 5, 0x02, 0, 0, 0, 0x00, 0x75, 0x30, 0}));
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

TEST_F(TolvoTest, ModeOneNeverOverwritesItsParameterBytes) {
    std::vector<uint8_t> data(70000, 1);
    setTolvoCdb(&request, 0x3B, 1, 0x92, 0x12, 0x34, 0x56);
    ASSERT_EQ(TOLVO_SendCommand(&handle, &request, data.data(), 70000, nullptr), WSC_GOOD);
    ASSERT_EQ(rec.sent.size(), 3u);
    for (const auto& s : rec.sent) {
        EXPECT_EQ(s.cdb[1], 1);
        EXPECT_EQ(s.cdb[3], 0x12);
        EXPECT_EQ(s.cdb[4], 0x34);
        EXPECT_EQ(s.cdb[5], 0x56);
    }
    EXPECT_EQ(rec.sent[2].dataLength, 70000u - 65536u);
}

TEST_F(TolvoTest, DiagnosticBufferIdsKeepBytesSixToNine) {
    for (uint8_t id : {0xF0, 0xF1, 0xF2}) {
        rec.sent.clear();
        uint8_t data[64] = {64};
        setTolvoCdb(&request, id == 0xF2 ? 0x3B : 0x3C, 1, id, 1, 0x1C, 1);
        request.cdb[6] = 0x02;
        request.cdb[7] = 0x00;
        request.cdb[8] = 0x40;
        request.cdb[9] = 0x77;
        ASSERT_EQ(TOLVO_SendCommand(&handle, &request, data, 64, nullptr), WSC_GOOD);
        EXPECT_EQ(rec.sent[0].cdb, (Bytes{id == 0xF2 ? uint8_t(0x3B) : uint8_t(0x3C), 1, id, 1, 0x1C, 1, 0x02, 0x00, 0x40, 0x77}));
    }
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

struct TzGuard {
    explicit TzGuard(const char* tz) {
        const char* old = getenv("TZ");
        had = old != nullptr;
        if (had) saved = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~TzGuard() {
        if (had)
            setenv("TZ", saved.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    bool had;
    std::string saved;
};

TEST(TolvoTime, ConversionsBothWaysInLocalTime) {
    TzGuard tz("UTC");
    wire::CLOCK_STRUCT c{};
    LAPISysTimeToControllerTime(1796515200, &c);  // Sunday 2026-12-06 00:00:00 UTC
    EXPECT_EQ(c.year.get(), 2026);
    EXPECT_EQ(c.month, 12);
    EXPECT_EQ(c.day, 6);
    EXPECT_EQ(c.dayOfWeek, 1);
    EXPECT_EQ(c.hour, 0);
    wire::CLOCK_STRUCT back{};
    back.year.set(2027);
    back.month = 2;
    back.day = 28;
    back.dayOfWeek = 5;
    back.hour = 13;
    back.minute = 14;
    back.second = 15;
    time_t t = 0;
    LAPIControllerTimeToSysTime(&back, &t);
    EXPECT_EQ(t, 1803820455);  // 2027-02-28 13:14:15 UTC
}

// Builders: CDB bytes 0-9 and the data after the validation header, from the
// tables. The builders of the configuration commands (ranks, logical drives,
// maps, spares, names, expansion) are checked end to end against the emulator.
struct BuilderCase {
    const char* name;
    std::function<uint8_t(ITL_HANDLE_STRUCT*, SCSI_COMMAND_STRUCT*)> call;
    Bytes cdb;
    Bytes record;  // expected bytes after the 16-byte header
};

Bytes withZeros(Bytes head, size_t total) {
    head.resize(total, 0);
    return head;
}

Bytes named(Bytes head, const char* text, size_t width, size_t total) {
    std::string field(text);
    field.resize(width, ' ');
    head.insert(head.end(), field.begin(), field.end());
    head.resize(total, 0);
    return head;
}

const uint8_t kWwn[8] = {0x20, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

std::vector<BuilderCase> builderCases() {
    std::vector<BuilderCase> v;
    auto add = [&](const char* n, auto call, Bytes cdb, Bytes record) { v.push_back({n, call, cdb, record}); };
    add("SetTime", [](auto h, auto r) {
            wire::CLOCK_STRUCT c{};
            c.year.set(2026); c.month = 12; c.day = 6; c.dayOfWeek = 1; c.hour = 7; c.minute = 8; c.second = 9;
            return TOLVO_SetTime(h, r, 2, &c); },
        {0x3B, 1, 0xC5, 2, 0, 0, 0, 0, 24, 0}, {0xEA, 0x07, 12, 6, 1, 7, 8, 9});
    add("RegenerateDrive", [](auto h, auto r) { return TOLVO_RegenerateDrive(h, r, 0xA1, 0xB2, kWwn); },
        {0x3B, 1, 0xCA, 0, 0, 0, 0, 0, 32, 0},
        {0xA1, 0xB2, 0x20, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0, 0, 0, 0, 0, 0});
    add("UpdateDriveFirmware", [](auto h, auto r) { return TOLVO_UpdateDriveFirmware(h, r, kWwn, 0x07); },
        {0x3B, 1, 0xC6, 0, 0, 0, 0, 0, 28, 0}, {0x07, 0, 0, 0, 0x20, 0x00, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55});
    add("ConfigureTQM", [](auto h, auto r) {
            wire::TQM_CONFIG_STRUCT t{};
            t.responseType = 3; t.responseTime = 0x2C; t.reserved2[13] = 0x99;
            return TOLVO_ConfigureTQM(h, r, &t); },
        {0x3B, 1, 0x84, 0, 0, 0, 0, 0, 32, 0}, {3, 0x2C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x99});
    add("AddLunMapping_ver_I", [](auto h, auto r) {
            wire::CREATE_LUN_MAPPING_STRUCT_ver_I m{};
            m.extension[511] = 0x42;
            return TOLVO_AddLunMapping_ver_I(h, r, &m); },
        {0x3B, 1, 0x92, 0, 0, 0, 0, 0x06, 0x44, 0}, [] { Bytes b(1588, 0); b[1587] = 0x42; return b; }());
    add("ModifyLunMapping", [](auto h, auto r) {
            wire::LUN_MAPPING_STRUCT m{};
            m.bHostType = 7;
            return TOLVO_ModifyLunMapping(h, r, 0x01F3, &m); },
        {0x3B, 1, 0x9E, 0x01, 0xF3, 0, 0, 0x04, 0x50, 0}, [] { Bytes b(1088, 0); b[0x11] = 7; return b; }());
    add("ModifyUpsParams", [](auto h, auto r) {
            wire::UPS_SETUP_STRUCT u{};
            u.bytes[0] = 9; u.bytes[15] = 8;
            return TOLVO_ModifyUpsParams(h, r, 3, &u); },
        {0x3B, 1, 0xA1, 3, 0, 0, 0, 0, 32, 0}, {9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8});
    add("SetConfigName", [](auto h, auto r) { return TOLVO_SetConfigName(h, r, "Lab system"); },
        {0x3B, 1, 0xA3, 0, 0, 0, 0, 0, 80, 0}, named({}, "Lab system", 64, 64));
    add("SetControllerIp", [](auto h, auto r) {
            const uint8_t ip[16] = {192, 168, 1, 20, 255, 255, 255, 0, 192, 168, 1, 1, 0, 0, 0, 9};
            return TOLVO_SetControllerIp(h, r, 2, ip); },
        {0x3B, 1, 0xA4, 2, 0, 0, 0, 0, 32, 0}, {192, 168, 1, 20, 255, 255, 255, 0, 192, 168, 1, 1, 0, 0, 0, 9});
    add("ExpandHostLun", [](auto h, auto r) { return TOLVO_ExpandHostLun(h, r, 0x0102, 500, 3); },
        {0x3B, 1, 0xA5, 0x01, 0x02, 0, 0, 0, 24, 0}, {0xF4, 0x01, 3, 0, 0, 0, 0, 0});
    add("SetMappedLun", [](auto h, auto r) { return TOLVO_SetMappedLun(h, r, 0x1234, 0xABCD); },
        {0x3B, 1, 0xA9, 0, 0, 0, 0, 0, 20, 0}, {0x34, 0x12, 0xCD, 0xAB});
    add("ModifyDriveGroupAPMConfig", [](auto h, auto r) {
            wire::APM1_CONFIG_STRUCT a{};
            a.flags.set(0x0105); a.testCycle = 2; a.testMinute = 30;
            return TOLVO_ModifyDriveGroupAPMConfig(h, r, &a); },
        {0x3B, 1, 0xAD, 0, 0, 0, 0, 0, 32, 0}, withZeros({0x05, 0x01, 2, 0, 0, 0, 30}, 16));
    add("ModifyArrayAPMConfig", [](auto h, auto r) {
            wire::APM2_CONFIG_STRUCT a{};
            a.flags.set(4); a.testDays = 7; a.idleMinutes = 45;
            return TOLVO_ModifyArrayAPMConfig(h, r, 9, &a); },
        {0x3B, 1, 0xAD, 1, 9, 0, 0, 0, 24, 0}, {4, 0, 7, 0, 0, 45, 0, 0});
    add("SetupVolumeCopy", [](auto h, auto r) { return TOLVO_SetupVolumeCopy(h, r, 0x0102, 0x0304, 1, 3); },
        {0x3B, 1, 0x79, 0, 0, 0, 0, 0, 48, 0}, withZeros({32, 1, 3, 0, 0x02, 0x01, 0x04, 0x03}, 32));
    add("ChangeVolumeCopySettings", [](auto h, auto r) { return TOLVO_ChangeVolumeCopySettings(h, r, 0x0A0B, 1, 0x0C0D); },
        {0x3B, 1, 0x7A, 0, 0, 0, 0, 0, 32, 0}, withZeros({16, 1, 0x0B, 0x0A, 0x0D, 0x0C}, 16));
    add("CreateOverWriteDataArea", [](auto h, auto r) { return TOLVO_CreateOverWriteDataArea(h, r, 3, 0x0102, 64); },
        {0x3B, 1, 0x70, 0, 0, 0, 0, 0, 26, 0}, {'p', 0, 0, 10, 3, 0, 0x02, 0x01, 64, 0});
    add("CreateOverWriteDataArea_R2_2", [](auto h, auto r) { return TOLVO_CreateOverWriteDataArea_R2_2(h, r, 0x0203, 0x0102, 64); },
        {0x3B, 1, 0x70, 0, 0, 0, 0, 0, 26, 0}, {'p', 0, 0, 10, 0x03, 0x02, 0x02, 0x01, 64, 0});
    add("AssignOda_R2_2", [](auto h, auto r) { return TOLVO_AssignOda_R2_2(h, r, 0x0203, 0x0102, 0xF1); },
        {0x3B, 1, 0x71, 0, 0, 0, 0, 0, 26, 0}, {'q', 0, 0, 10, 0x03, 0x02, 0x02, 0x01, 0xF1, 0});
    add("ReleaseOverWriteDataArea", [](auto h, auto r) { return TOLVO_ReleaseOverWriteDataArea(h, r, 6); },
        {0x3B, 1, 0x72, 0, 0, 0, 0, 0, 24, 0}, {'r', 0, 0, 8, 6, 0, 0, 0});
    add("ReleaseOverWriteDataArea_R2_2", [](auto h, auto r) { return TOLVO_ReleaseOverWriteDataArea_R2_2(h, r, 0x0106); },
        {0x3B, 1, 0x72, 0, 0, 0, 0, 0, 24, 0}, {'r', 0, 0, 8, 0x06, 0x01, 0, 0});
    add("TakeSnapshot", [](auto h, auto r) { return TOLVO_TakeSnapshot(h, r, 0x0011, 2); },
        {0x3B, 1, 0x73, 0, 0, 0, 0, 0, 24, 0}, {'s', 0, 0, 8, 0x11, 0, 2, 0});
    add("DeleteSnapshot", [](auto h, auto r) { return TOLVO_DeleteSnapshot(h, r, 4, 0x0011, 0x80); },
        {0x3B, 1, 0x74, 0, 0, 0, 0, 0, 24, 0}, {'t', 0, 0, 8, 0x11, 0, 0x80, 4});
    add("AssignVirtualLunSnap", [](auto h, auto r) { return TOLVO_AssignVirtualLunSnap(h, r, 0x0011, 3, 1); },
        {0x3B, 1, 0x75, 0, 0, 0, 0, 0, 26, 0}, {'u', 0, 0, 10, 0x11, 0, 3, 1, 0, 0});
    add("AssignOda", [](auto h, auto r) { return TOLVO_AssignOda(h, r, 4, 0x0011, 2); },
        {0x3B, 1, 0x76, 0, 0, 0, 0, 0, 24, 0}, {'v', 0, 0, 8, 0x11, 0, 2, 4});
    add("Snapback", [](auto h, auto r) { return TOLVO_Snapback(h, r, 0x0120, 5); },
        {0x3B, 1, 0x77, 0, 0, 0, 0, 0, 24, 0}, {'w', 0, 0, 8, 0x20, 0x01, 5, 0});
    add("Snapback_R2_2", [](auto h, auto r) { return TOLVO_Snapback_R2_2(h, r, 0x0120, 5, 9); },
        {0x3B, 1, 0x77, 0, 0, 0, 0, 0, 24, 0}, {'w', 0, 0, 8, 0x20, 0x01, 5, 9});
    add("HeaderOnly", [](auto h, auto r) { return TOLVO_SendHeaderOnly(h, r, 0xC2, 128, 3, 10); },
        {0x3B, 1, 0xC2, 128, 3, 10, 0, 0, 16, 0}, {});
    return v;
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
        ASSERT_EQ(out.size(), 16 + c.record.size()) << c.name;
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + 16, wire::TOLVO_VALIDATION_HEADER.begin())) << c.name;
        EXPECT_EQ(Bytes(out.begin() + 16, out.end()), c.record) << c.name;
    }
}

TEST_F(TolvoTest, ExpandArrayRefusesMoreDrivesThanTheRecordHolds) {
    wire::wwn8 w[16]{};
    EXPECT_EQ(TOLVO_ExpandArray(&handle, &request, 1, 16, 0xF0, 0, w), WSC_BAD_PARAMETERS);
    EXPECT_TRUE(rec.sent.empty());
    EXPECT_EQ(TOLVO_ExpandArray(&handle, &request, 1, 15, 0xF0, 0, w), WSC_GOOD);
}

TEST_F(TolvoTest, EnclosurePageCommands) {
    uint8_t page[0x120] = {};
    ASSERT_EQ(TOLVO_ReceiveDiagnotics(&handle, &request, 0x02, 1, 0x85, page, 0x120), WSC_GOOD);
    EXPECT_EQ(rec.sent[0].cdb, (Bytes{0x3C, 1, 0xF0, 0x85, 0x1C, 0x01, 0x02, 0x01, 0x20, 0}));
    EXPECT_EQ(rec.sent[0].dataLength, 0x120u);
    EXPECT_EQ(rec.sent[0].direction, 1);

    ASSERT_EQ(TOLVO_SendDiagnotics(&handle, &request, 0x99, 0, 0x03, page, 0x14), WSC_GOOD);
    EXPECT_EQ(rec.sent[1].cdb, (Bytes{0x3B, 1, 0xF2, 0x03, 0x1D, 0x10, 0, 0x00, 0x14, 0}));
    EXPECT_EQ(rec.sent[1].dataOut.size(), 0x14u);  // the page itself, no validation header

    ASSERT_EQ(TOLVO_ReceiveDiagnotics_SES2(&handle, &request, 0x07, page, 0x100), WSC_GOOD);
    EXPECT_EQ(rec.sent[2].cdb, (Bytes{0x1C, 1, 0x07, 0x01, 0x00, 0, 0x00, 0x01, 0x00, 0}));
    EXPECT_EQ(rec.sent[2].direction, 1);
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
