// The library through the scripted system: the information set, the feature
// bits, the configuration handshake, the diagnostic dump, the enclosure reads
// and sends, and the persistent reservation reads and writes of one path,
// decoded from hand-made replies (what the emulator's logical units answer is
// checked by the emulator's own reservation tests).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "lapi/config_bracket.h"
#include "lapi/enclosure.h"
#include "lapi/lapi_status.h"
#include "lapi/reads.h"
#include "lapi/reservations.h"
#include "unit/lapi/scripted_system.h"
#include "wire/controller.h"
#include "wire/drive.h"
#include "wire/requests.h"

namespace {

using testnode::Outcome;
using testnode::Sent;

uint8_t bufferId(const Sent& s) { return s.cdb.size() > 2 ? s.cdb[2] : 0; }
uint8_t opcode(const Sent& s) { return s.cdb.empty() ? 0 : s.cdb[0]; }

// Controller information with controller 0 valid and the given feature bits.
// The bytes of a record as a controller sends it.
template <typename T>
std::vector<uint8_t> bytesOf(const T& record) {
    const auto* p = reinterpret_cast<const uint8_t*>(&record);
    return {p, p + sizeof record};
}

std::vector<uint8_t> controllerInfo(uint16_t features) {
    wire::ALL_CONTROLLER_INFO_AND_FAIL_STRUCT info{};
    info.length.set(sizeof info);
    info.controllerValid[0] = wire::kFlagYes;
    info.controller[0].controllerType = 0xC7;
    info.controller[0].featureFlags.set(features);
    return bytesOf(info);
}

std::vector<uint8_t> activity(uint8_t start, uint8_t save, uint8_t unavailable, uint8_t expansion, uint8_t local,
                              uint16_t counter1 = 0, uint16_t counter2 = 0) {
    wire::CONFIG_UPDATE_STRUCT a{};
    a.length.set(sizeof a);
    a.startInProgress = start;
    a.saveInProgress = save;
    a.configUnavailable = unavailable;
    a.expansionInProgress = expansion;
    a.localController = local;
    a.startCounter1.set(counter1);
    a.startCounter2.set(counter2);
    return bytesOf(a);
}

struct ReadsTest : testnode::ScriptedSystemTest {
    void SetUp() override {
        ScriptedSystemTest::SetUp();
        system(1);
    }
    size_t count(uint8_t op, uint8_t id) const {
        return static_cast<size_t>(std::count_if(rec.sent.begin(), rec.sent.end(), [&](const Sent& s) {
            return opcode(s) == op && bufferId(s) == id;
        }));
    }
    // A controller with the handshake feature whose activity read answers `busy`.
    void handshake(std::vector<uint8_t> busy) {
        rec.sent.clear();
        rec.responder = [busy](const Sent& s) {
            return testnode::good(bufferId(s) == 0x40 ? controllerInfo(wire::kFeatureAsyncConfig) : busy);
        };
    }
};

TEST_F(ReadsTest, InformationSetReadsOnlyTheBuffersGiven) {
    rec.responder = [](const Sent& s) {
        return testnode::good(bufferId(s) == 0x40 ? controllerInfo(0) : std::vector<uint8_t>{});
    };
    std::vector<uint8_t> info(kControllerInfoReplySize);
    ALL_INFORMATION_SET set{nullptr, info.data(), nullptr, nullptr, nullptr, nullptr};
    EXPECT_EQ(LAPIGetAllInformation(0, &set), LAPI_SUCCESS);
    EXPECT_EQ(count(0x3C, 0x01), 0u);  // no configuration read
    EXPECT_EQ(count(0x3B, 0x80), 1u);  // one start: the controller was ready
    EXPECT_EQ(count(0x3C, 0x41), 0u);
    EXPECT_EQ(count(0x3C, 0x20), 0u);
    EXPECT_EQ(sleeps(), (std::vector<uint32_t>{1000000, 33000}));
}

TEST_F(ReadsTest, InformationSetReadsTheConfigurationEvenWhenTheControllerStaysBusy) {
    rec.responder = [](const Sent& s) -> Outcome {
        if (bufferId(s) == 0x40) return testnode::good(controllerInfo(0));
        if (bufferId(s) == 0x80) return testnode::check(5, 0x24, 0);  // start refused
        return testnode::good({0x00, 0x58, 0x0E, 0x00});                // a whole image: 940032 bytes
    };
    std::vector<uint8_t> config(kConfigReplySize), info(kControllerInfoReplySize);
    ALL_INFORMATION_SET set{config.data(), info.data(), nullptr, nullptr, nullptr, nullptr};
    testing::internal::CaptureStdout();
    EXPECT_EQ(LAPIGetAllInformation(0, &set), LAPI_ERR_COMMAND_FAILED);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(count(0x3B, 0x80), 3u);                  // three attempts
    EXPECT_GE(count(0x3C, 0x01), 1u);                  // the configuration is still read
    EXPECT_EQ(sleeps(), (std::vector<uint32_t>{1000000, 1000000, 1000000, 1000000, 33000}));
}

TEST_F(ReadsTest, FeatureQueriesTestTheirBits) {
    struct Case {
        uint16_t features;
        uint32_t (*query)(int, uint8_t*);
        uint32_t missing;
    } cases[] = {
        {wire::kFeatureApm, LAPIGetAPMStatus, LAPI_ERR_APM_NOT_ENABLED},
        {wire::kFeatureAsyncConfig, LAPIGetAsynchronousFeatureSupported, LAPI_ERR_ASYNC_NOT_ENABLED},
        {wire::kFeatureAdvPerformance, LAPIGetAdvancePerformanceSupportStatus, LAPI_ERR_ADV_PERF_NOT_ENABLED},
    };
    std::vector<uint8_t> info(kControllerInfoReplySize);
    for (const auto& c : cases) {
        rec.responder = [&](const Sent&) { return testnode::good(controllerInfo(c.features)); };
        EXPECT_EQ(c.query(0, info.data()), LAPI_SUCCESS);
        rec.responder = [&](const Sent&) { return testnode::good(controllerInfo(0xFFFF & ~c.features)); };
        EXPECT_EQ(c.query(0, info.data()), c.missing);
    }
}

TEST_F(ReadsTest, StartWithTheHandshakeWaitsAndTakesTheLocalCounter) {
    struct Case {
        std::vector<uint8_t> busy;
        uint32_t result;
    } refusals[] = {
        {activity(0xF1, 0, 0, 0, 1), LAPI_ERR_START_CONFIG_IN_PROGRESS},
        {activity(0, 0xF1, 0, 0, 1), LAPI_ERR_SAVE_CONFIG_IN_PROGRESS},
        {activity(0, 0, 0xF1, 0, 1), LAPI_ERR_CONFIG_UNAVAILABLE},
        {activity(0, 0, 0, 0xF1, 1), LAPI_ERR_EXPANSION_IN_PROGRESS},
    };
    for (const auto& c : refusals) {
        handshake(c.busy);
        wire::CONFIG_CHANGE_STRUCT change{};
        change.expansionBlocks.set(0xF1);
        EXPECT_EQ(LAPIStartConfig(0, &change), c.result);
        EXPECT_EQ(count(0x3C, 0x5E), 20u);
        EXPECT_EQ(count(0x3B, 0x80), 0u);
    }

    // An expansion does not block a change that allows it; controller 2's counter is taken.
    handshake(activity(0, 0, 0, 0xF1, 2, 0x1111, 0x2222));
    wire::CONFIG_CHANGE_STRUCT change{};
    change.expansionBlocks.set(0xF0);
    EXPECT_EQ(LAPIStartConfig(0, &change), LAPI_SUCCESS);
    EXPECT_EQ(change.startCounter.get(), 0x2222u);

    // The save sends the counter back, high byte first.
    rec.sent.clear();
    EXPECT_EQ(LAPISaveConfig(0, &change), LAPI_SUCCESS);
    ASSERT_EQ(count(0x3B, 0x82), 1u);
    const Sent& save = rec.sent.back();
    EXPECT_EQ(save.cdb[3], 0x22);
    EXPECT_EQ(save.cdb[4], 0x22);

    // A local controller number that is neither 1 nor 2.
    handshake(activity(0, 0, 0, 0, 3));
    testing::internal::CaptureStdout();
    EXPECT_EQ(LAPIStartConfig(0, &change), LAPI_ERR_COMMAND_FAILED);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: Unable to retrieve start config counter from local controller\n");
}

TEST_F(ReadsTest, DiagnosticDumpIsClampedToItsBuffer) {
    rec.responder = [](const Sent& s) -> Outcome {
        if (bufferId(s) != 0x56) return testnode::good();
        std::vector<uint8_t> chunk(s.dataLength, 'x');
        const uint32_t offset = (uint32_t(s.cdb[3]) << 16) | (uint32_t(s.cdb[4]) << 8) | s.cdb[5];
        if (offset == 0) {
            const uint32_t size = 3000000;
            std::memcpy(chunk.data(), &size, 4);
        }
        return testnode::good(chunk);
    };
    testing::internal::CaptureStdout();
    EXPECT_EQ(LAPIDisplayDiagDump(0), LAPI_SUCCESS);
    std::string out = testing::internal::GetCapturedStdout();
    const std::string head = "\n\n\n\nDiagnosticsSnapShot : GetDiagnosticsDump  : \n\nSize of Diag Dump = 3000000 "
                             "(MAX:2000000)\n------DIAG DUMP BEGIN------\n";
    const std::string tail = "\n------DIAG DUMP END------\n\n\n";
    ASSERT_EQ(out.substr(0, head.size()), head);
    ASSERT_EQ(out.substr(out.size() - tail.size()), tail);
    EXPECT_EQ(out.size() - head.size() - tail.size(), 1999996u);
    EXPECT_EQ(count(0x3B, 0xD3), 1u);
}

using Cdb = std::vector<uint8_t>;

struct DriveAt {
    uint8_t enclosure;
    uint8_t target;     // SES target ID of the record (0xFF none)
    uint8_t altTarget;
};

std::vector<uint8_t> driveList(const std::vector<DriveAt>& drives) {
    std::vector<uint8_t> bytes(sizeof(wire::ALL_DRIVE_INFO_STRUCT), 0);
    auto* all = reinterpret_cast<wire::ALL_DRIVE_INFO_STRUCT*>(bytes.data());
    all->length.set(sizeof *all);
    all->numDrives = static_cast<uint8_t>(drives.size());
    for (size_t i = 0; i < drives.size(); ++i) {
        all->drive[i].enclosureNo = drives[i].enclosure;
        all->drive[i].ses0IdLoop1 = drives[i].target;
        all->drive[i].ses1IdLoop2 = drives[i].altTarget;
    }
    return bytes;
}

// The embedded RECEIVE DIAGNOSTIC RESULTS of page 2 for a loop and target, 511 bytes.
Cdb legacyRead(uint8_t loop, uint8_t target) {
    return {0x3C, 0x01, 0xF0, static_cast<uint8_t>((loop << 7) | target), 0x1C, 0x01, 0x02, 0x01, 0xFF, 0x00};
}

class EnclosureLapiTest : public testnode::ScriptedSystemTest {
protected:
    void SetUp() override {
        ScriptedSystemTest::SetUp();
        system(1);
    }
    std::vector<Cdb> cdbs() const {
        std::vector<Cdb> out;
        for (const Sent& s : rec.sent) out.push_back(s.cdb);
        return out;
    }
};

TEST_F(EnclosureLapiTest, CountsDistinctEnclosureNumbers) {
    struct Case {
        std::vector<DriveAt> drives;
        uint32_t expected;
    } cases[] = {
        {{{1, 0, 0}, {1, 0, 0}, {2, 0, 0}, {12, 0, 0}}, 2},
        {{}, 0},
        {{{3, 0, 0}, {10, 0, 0}, {3, 0, 0}}, 2},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> list = driveList(c.drives);
        uint32_t count = 99;
        ENCLOSURE_COUNT_REQUEST request{&count, list.data()};
        EXPECT_EQ(LAPIGetNumberOfEnclosures(0, &request), LAPI_SUCCESS);
        EXPECT_EQ(count, c.expected);
    }
    EXPECT_TRUE(rec.sent.empty()) << "drive data given: nothing is read";

    // Without drive data the list is read (READ BUFFER 0x41, 9080 bytes); a
    // record count above what the reply holds stops at its 126 records.
    std::vector<uint8_t> list = driveList({{1, 0, 0}, {2, 0, 0}});
    list[4] = 0xFF;
    rec.script = {testnode::good(list)};
    uint32_t count = 0;
    ENCLOSURE_COUNT_REQUEST request{&count, nullptr};
    EXPECT_EQ(LAPIGetNumberOfEnclosures(0, &request), LAPI_SUCCESS);
    EXPECT_EQ(count, 3u) << "enclosures 1, 2 and the empty records' 0";
    ASSERT_EQ(rec.sent.size(), 1u);
    EXPECT_EQ(rec.sent[0].cdb[2], 0x41);
}

TEST_F(EnclosureLapiTest, DrivesWithoutTargetAreAddressedByRecordNumberThenTargetOneOnLoopOne) {
    std::vector<uint8_t> list = driveList({{2, 0x10, 0x11}, {1, 0xFF, 0x7D}, {1, 0xFF, 0x7D}});
    std::vector<uint8_t> page(8192, 0);
    // Enclosure index 0 (number 1) of product type 0x12.
    SES_PAGE_REQUEST request{.page = 2, .buffer = page.data(), .productType = 0x12, .driveData = list.data()};

    // Nothing answers: every drive of enclosure 1 gets its four tries.
    rec.script = {testnode::check(0x05, 0x25, 0x00)};
    EXPECT_EQ(LAPIGetEnclosureSESPage(0, &request), LAPI_ERR_COMMAND_FAILED);
    EXPECT_EQ(cdbs(), (std::vector<Cdb>{legacyRead(0, 2), legacyRead(1, 1), legacyRead(0, 0x7D), legacyRead(1, 0x7D),
                                        legacyRead(0, 3), legacyRead(1, 1), legacyRead(0, 0x7D), legacyRead(1, 0x7D)}));

    // A reply with a zero page length is not a page: the walk goes on.
    rec.sent.clear();
    rec.script = {testnode::check(0x05, 0x25, 0x00), testnode::good({0x02, 0x00, 0x00, 0x00}),
                  testnode::good({0x02, 0x00, 0x00, 0x04, 0, 0, 0, 1})};
    EXPECT_EQ(LAPIGetEnclosureSESPage(0, &request), LAPI_SUCCESS);
    EXPECT_EQ(cdbs(), (std::vector<Cdb>{legacyRead(0, 2), legacyRead(1, 1), legacyRead(0, 0x7D)}));
    EXPECT_EQ(page[3], 0x04);
}

TEST_F(EnclosureLapiTest, PageSendsWalkTheSameTriesWithTheirLengths) {
    std::vector<uint8_t> list = driveList({{1, 0x20, 0x21}});
    std::vector<uint8_t> page(511, 0);
    page[0] = 0x02;
    page[3] = 0x08;
    SES_PAGE_REQUEST request{.buffer = page.data(), .length = 12, .driveData = list.data()};
    rec.script = {testnode::check(0x05, 0x24, 0x00)};
    EXPECT_EQ(LAPISetEnclosureSESPage(0, &request), LAPI_ERR_COMMAND_FAILED);
    EXPECT_EQ(cdbs(), (std::vector<Cdb>{{0x3B, 0x01, 0xF2, 0x20, 0x1D, 0x10, 0x00, 0x01, 0xFF, 0x00},
                                        {0x3B, 0x01, 0xF2, 0xA0, 0x1D, 0x10, 0x00, 0x01, 0xFF, 0x00},
                                        {0x3B, 0x01, 0xF2, 0x21, 0x1D, 0x10, 0x00, 0x00, 0x0C, 0x00},
                                        {0x3B, 0x01, 0xF2, 0xA1, 0x1D, 0x10, 0x00, 0x00, 0x0C, 0x00}}));
    ASSERT_EQ(rec.sent.size(), 4u);
    EXPECT_EQ(rec.sent[0].dataOut.size(), 511u);
    EXPECT_EQ(rec.sent[3].dataOut.size(), 12u);
}

TEST_F(EnclosureLapiTest, LocateSendsSelector128TargetAndDuration) {
    LOCATE_ENCLOSURE_REQUEST request{0, 45, 3};
    EXPECT_EQ(LAPILocateEnclosure(0, &request), LAPI_SUCCESS);
    EXPECT_EQ(request.mode, 128u);
    EXPECT_EQ(cdbs(), (std::vector<Cdb>{{0x3B, 0x01, 0xC2, 0x80, 0x03, 45, 0x00, 0x00, 0x10, 0x00}}));

    // Turning the light off never reports a failure; any other failure does.
    rec.script = {testnode::check(0x05, 0x24, 0x00)};
    LOCATE_ENCLOSURE_REQUEST off{0, 0, 3};
    EXPECT_EQ(LAPILocateEnclosure(0, &off), LAPI_SUCCESS);
    EXPECT_EQ(LAPILocateEnclosure(0, &request), LAPI_ERR_COMMAND_FAILED);
    EXPECT_EQ(LAPIGetEnclosureSESPage(0, nullptr), LAPI_ERR_COMMAND_FAILED);
}

using Bytes = std::vector<uint8_t>;
using Read = uint32_t (*)(const PR_IN_PATH*);

const std::string kGood = "issueScsiCommand status(00) sensekey(00) asc(00) ascq(00)\n";

struct ReservationDecoding : testnode::ScriptedSystemTest {
    PR_IN_PATH path{0, 0, 2, 0};
    void SetUp() override {
        ScriptedSystemTest::SetUp();
        system(1, 2);
    }
    std::string read(Read op, Bytes reply, const PR_IN_PATH& p) {
        rec.script = {testnode::good(std::move(reply))};
        testing::internal::CaptureStdout();
        EXPECT_EQ(op(&p), 0u);
        return testing::internal::GetCapturedStdout();
    }
};

// A full-status descriptor: the key's last byte, the type and the length of
// the transport identifier that follows.
Bytes descriptor(uint8_t key, uint8_t type, uint8_t idLength, size_t extra = 0) {
    Bytes d(24 + extra, 0);
    d[7] = key;
    d[13] = type;
    d[23] = idLength;
    return d;
}
Bytes join(Bytes a, const Bytes& b) { return a.insert(a.end(), b.begin(), b.end()), a; }

TEST_F(ReservationDecoding, RepliesAsRead) {
    const Read keys = LAPIPersistentReservationInReadKeys, resv = LAPIPersistentReservationInReadReservation,
               full = LAPIPersistentReservationInReadFullStatus;
    const struct {
        const char* name;
        Read op;
        Bytes reply;
        std::string out;
    } cases[] = {
        {"no keys", keys, {0, 0, 0, 0, 0, 0, 0, 0}, "Generation = 0\nAdditionalLength = 0\n"},
        {"keys stop at the last whole key", keys, {0, 0, 0, 5, 0, 0, 0, 12, 1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9, 9},
         "Generation = 5\nAdditionalLength = 12\nunexpected length\nKey 0 = 01-02-03-04-05-06-07-08\n"},
        {"no reservation", resv, {0, 0, 0, 1, 0, 0, 0, 0}, "Generation = 1\nAdditionalLength = 0\nNo reservation\n"},
        {"a reservation", resv, {0, 0, 0, 1, 0, 0, 0, 16, 0xA, 0xB, 0xC, 0xD, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0x15},
         "Generation = 1\nAdditionalLength = 16\nReservation Key = 0A-0B-0C-0D-00-00-00-01\nscope = 0x01\ntype = 0x05\n"},
        {"reservation of another size", resv, {0, 0, 0, 1, 0, 0, 0, 8},
         "Generation = 1\nAdditionalLength = 8\nUnexpected sizes of reservation\n"},
        {"no statuses", full, {0, 0, 0, 0, 0, 0, 0, 0}, "Generation = 0\nAdditionalLength = 0\nno statuses\n"},
        {"descriptors walked by their lengths", full,
         join(join({0, 0, 0, 3, 0, 0, 0, 24 + 4 + 24}, descriptor(0x11, 3, 4, 4)), descriptor(0x22, 0, 0)),
         "Generation = 3\nAdditionalLength = 52\n"
         "Status 0 = 00-00-00-00-00-00-00-11\nscope = 0x00\ntype = 0x03\nAdditionalLength = 4\n"
         "Status 1 = 00-00-00-00-00-00-00-22\nscope = 0x00\ntype = 0x00\nAdditionalLength = 0\n"},
        {"a descriptor claiming more than remains ends the list", full,
         join({0, 0, 0, 3, 0, 0, 0, 24}, descriptor(0, 0, 200)),
         "Generation = 3\nAdditionalLength = 24\n"
         "Status 0 = 00-00-00-00-00-00-00-00\nscope = 0x00\ntype = 0x00\nAdditionalLength = 200\n"},
    };
    for (const auto& c : cases) {
        rec.sent.clear();
        EXPECT_EQ(read(c.op, c.reply, path), kGood + c.out) << c.name;
        ASSERT_EQ(rec.sent.size(), 1u) << c.name;
        const uint8_t action = c.op == keys ? 0 : c.op == resv ? 1 : 3;
        EXPECT_EQ(rec.sent[0].cdb, (Bytes{0x5E, action, 0, 0, 0, 0, 0, 0, 255, 0})) << c.name;
    }

    // A length beyond the 255 bytes received lists only the keys that arrived.
    Bytes big(255, 0xAA);
    big[4] = 0x7F;  // additional length 0x7FAAAAAA
    const std::string out = read(keys, big, path);
    size_t listed = 0;
    for (size_t at = out.find("Key "); at != std::string::npos; at = out.find("Key ", at + 1)) ++listed;
    EXPECT_EQ(listed, (255u - 8u) / 8u);
}

TEST_F(ReservationDecoding, UnknownPathIsNotSentTo) {
    EXPECT_EQ(read(LAPIPersistentReservationInReportCapabilities, {}, {0, 5, 5, 5}),
              "issueScsiCommand status(FF) sensekey(00) asc(00) ascq(00)\n"
              "Length = 0\nByte 1 = 0x00\nByte 2 = 0x00\nType mask 0 = 0x00\nType mask 1 = 0x00\n");
    EXPECT_TRUE(rec.sent.empty());
}

TEST_F(ReservationDecoding, OutRequestsCarryTheTypeAndBothKeys) {
    PR_OUT_REQUEST q{path, 5, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}, {0, 0, 0, 0, 0, 0, 0xAB, 0xCD}};
    testing::internal::CaptureStdout();
    EXPECT_EQ(LAPIPersistentReservationOutReserve(&q), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n--------------------------------\nCDB : 5F 01 05 00 00 00 00 00 18 00  (Status = 0; Sense = 00/00/00)"
              "\n\nHex output\n\nCharacter output\n--------------------------------\n"
              "reg key = 11-22-33-44-55-66-77-88\nserv key = 00-00-00-00-00-00-AB-CD\n" + kGood);
    ASSERT_EQ(rec.sent.size(), 1u);
    EXPECT_EQ(rec.sent[0].cdb, (Bytes{0x5F, 0x01, 0x05, 0, 0, 0, 0, 0, 24, 0}));
    Bytes parameters = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0, 0, 0, 0, 0, 0, 0xAB, 0xCD};
    parameters.resize(24, 0);
    EXPECT_EQ(rec.sent[0].dataOut, parameters);

    // Each operation its service action; a path discovery does not know is not sent to.
    const std::pair<uint32_t (*)(const PR_OUT_REQUEST*), uint8_t> actions[] = {
        {LAPIPersistentReservationOutRegister, 0}, {LAPIPersistentReservationOutRelease, 2},
        {LAPIPersistentReservationOutClear, 3}, {LAPIPersistentReservationOutRegisterAndIgnore, 6}};
    testing::internal::CaptureStdout();
    for (const auto& [op, action] : actions) {
        rec.sent.clear();
        op(&q);
        ASSERT_EQ(rec.sent.size(), 1u);
        EXPECT_EQ(rec.sent[0].cdb[1], action);
    }
    q.path = {0, 5, 5, 5};
    rec.sent.clear();
    LAPIPersistentReservationOutClear(&q);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.rfind("serv key = 00-00-00-00-00-00-AB-CD\nissueScsiCommand status(FF)"), std::string::npos) << out;
    EXPECT_TRUE(rec.sent.empty());
}

}  // namespace
