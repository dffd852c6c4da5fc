// The shared report text and its error messages, the texts of the reports, and
// the name lookups of the configuration library over a hand-made configuration
// image served through a scripted path.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "commands/configuration.h"
#include "commands/configuration_report.h"
#include "commands/controller_report.h"
#include "commands/global.h"
#include "unit/lapi/scripted_system.h"
#include "wire/config.h"

namespace {

TEST(ConfigurationReport, LogicalDriveIdentifierCarriesTheReferenceAndTheSystemWwn) {
    auto image = std::make_unique<wire::CONFIG_STORAGE_STRUCT>();
    std::memset(image.get(), 0, sizeof *image);
    Global::string.clear();
    Global::fMode = 0;
    image->header.configWwn.set(0x2000AABBCCDDEEFFull);
    image->header.totalLogicalDrives.set(1);
    auto& ld = image->hostLun[0];
    ld.lunNumber.set(4);
    std::memcpy(ld.name, "volume-with-a-32-character-name!", 32);
    ld.wlunReferenceNo.set(0x0123);
    ld.capacityGb.set(500);
    ld.mappedLun.set(4);
    ld.segmentCount = 2;
    ld.portMask = 5;
    ld.hostBlockSize.set(4096);
    commands::appendLogicalDriveReport(commands::ConfigView(reinterpret_cast<const uint8_t*>(image.get())));
    EXPECT_EQ(Global::string,
              "\n\n*************** HOST CONFIGURATION ***************\nTotalLunCount  : 1"
              "\nLun No         : 4\nName           : volume-with-a-32-character-name!"
              "\n0x83 Identifier: 2123AABBCCDDEEFF\nCapacityInGB   : 500\nMappedLun      : 4"
              "\nSegmentCount   : 2\nAccessType     : 0\nPort           : 5\nWLUNReferenceNo: 291"
              "\nHostBlockSize  : 4096\n");
}

TEST(ConfigurationReport, LevelsBackOffFaultsAndCacheTexts) {
    const struct {
        uint8_t code, drives;
        uint32_t shown;
    } levels[] = {{0x00, 3, 0}, {0x05, 5, 5}, {0x06, 6, 6}, {0x10, 2, 1}, {0x10, 4, 10}, {0x50, 6, 50}, {0x33, 3, 0x33}};
    for (const auto& l : levels) EXPECT_EQ(commands::getRAIDLevelDisplay(l.code, l.drives), l.shown);
    const std::pair<uint32_t, const char*> backOff[] = {{0, "0"}, {100, "100"}, {101, "0.0"}, {150, "0.5"}};
    for (const auto& [value, text] : backOff) EXPECT_EQ(commands::backOffText(value), text) << value;

    wire::ALL_CONTROLLER_INFO_AND_FAIL_STRUCT info{};
    wire::RANK_CONFIG_STRUCT r{};
    r.raidLevel = 0x05;
    EXPECT_STREQ(commands::faultStatusText(r, 3, info), "Critical");
    info.rebuild.inProgress = 0xF1;
    info.rebuild.array = 3;
    EXPECT_STREQ(commands::faultStatusText(r, 3, info), "Rebuilding Array");
    EXPECT_STREQ(commands::faultStatusText(r, 2, info), "Critical");
    r.raidLevel = 0x00;
    EXPECT_STREQ(commands::faultStatusText(r, 3, info), "Not Fault Tolerant");
    const std::pair<uint8_t, const char*> faults[] = {{1, "RAID5 Not Initialized"}, {2, "Rank Invalidated"},
                                                      {3, "Expanding"},             {254, "Fault Warning"},
                                                      {255, "Fault Tolerant"},      {7, "Unknown"}};
    for (const auto& [code, text] : faults) {
        r.faultStatus = code;
        EXPECT_STREQ(commands::faultStatusText(r, 0, info), text);
    }
    EXPECT_STREQ(commands::readAheadText(15), "Disabled");
    EXPECT_STREQ(commands::readAheadText(5), "Unknown");
    EXPECT_STREQ(commands::writeBackText(10), "Maximum MB");
    EXPECT_STREQ(commands::writeBackText(11), "Unknown");
    EXPECT_EQ(commands::dataRateText(2, 6), "3 Gb/s");
    EXPECT_EQ(commands::dataRateText(3, 6), "Unknown");
    EXPECT_EQ(commands::dataRateText(3, 1), "4 Gb/s");
}

// The sections and battery texts of each product type, and the common section
// with a rebuild or a parity check in progress, are checked end to end (e2e
// Reports.SectionsAndBatteryTextsFollowTheProductType, Reports.ParityCheck...,
// Maintenance.LightSpinTestAndFailADrive).

TEST(ControllerReport, MonthsProductNamesAndParityModes) {
    const std::pair<uint32_t, const char*> months[] = {{1, "January"}, {12, "December"}, {0, "Error"}, {13, "Error"}};
    for (const auto& [n, text] : months) EXPECT_STREQ(commands::monthName(n), text) << n;
    const std::pair<uint32_t, const char*> types[] = {{13, "K7102A DFM"}, {19, "8200"}, {16, "unknown"}, {0, "unknown"}};
    for (const auto& [n, text] : types) EXPECT_STREQ(commands::productTypeName(n), text) << n;
    const std::pair<uint8_t, const char*> modes[] = {{1, "Verify"}, {3, "Verify/ReWrite"}, {5, "0x5"}, {0, "0"}};
    for (const auto& [n, text] : modes) EXPECT_EQ(commands::parityModeText(n), text) << int(n);
}

class GlobalTest : public testing::Test {
protected:
    void SetUp() override {
        Global::string.clear();
        Global::fErrorHandled = 0;
        Global::s_errorCode = 0;
        Global::fMode = 0;
    }
};

TEST_F(GlobalTest, FormatFollowsTheOutputModeAndPrintsLargeValuesUnsigned) {
    Global::fMode = 1;
    Global::format(255);
    Global::append(" ");
    Global::format(0xFFFFFFFFu);
    Global::fMode = 0;
    Global::append(" ");
    Global::format(255);
    Global::append(" ");
    Global::format(0x80000000u);
    EXPECT_EQ(Global::string, "0xFF 0xFFFFFFFF 255 2147483648");
}

TEST_F(GlobalTest, OnlyTheFirstErrorIsReportedAndSuccessResetsTheStatus) {
    Global::errorHandler(0);
    EXPECT_EQ(Global::string, "");
    EXPECT_EQ(Global::s_errorCode, 0);
    Global::append("Error: Controller B invalid\n");
    Global::errorHandler(2013);
    Global::errorHandler(1007);
    EXPECT_EQ(Global::string, "Error: Controller B invalid\n\nError: Invalid controller index.\nReturn code: 2013\n");
    EXPECT_EQ(Global::s_errorCode, 1);
    EXPECT_EQ(Global::fErrorHandled, 1);
    Global::errorHandler(0);
    EXPECT_EQ(Global::s_errorCode, 0);
}

// Messages the commands show end to end are checked there.
TEST_F(GlobalTest, MessagesOfTheTableAndUnknownCodes) {
    const std::pair<uint32_t, const char*> cases[] = {
        {1000, "LAPI call failed: Timeout."},
        {1015, "LAPI call failed: Asynchronous configuration handshake feature not enabled."},
        {1020, "LAPI call failed: Configuration unavailable."},
        {2037, "Error: No LUN mappings found for the specified Host and Logical Disk."},
        {2042, "Array has not been fully initialized."},
    };
    for (const auto& [code, text] : cases) EXPECT_STREQ(Global::message(code), text) << code;
    for (uint32_t code : {1999u, 2000u, 2038u, 2040u, 2043u, 2044u, 3000u, 0xFFFFFFFFu}) {
        SetUp();
        Global::errorHandler(code);
        EXPECT_EQ(Global::string, "\nError: This error code is unknown!\nReturn code: " +
                                      std::to_string(static_cast<int>(code)) + "\n") << code;
    }
}

TEST_F(GlobalTest, TheSharedTextGrowsPastItsOldFixedSize) {
    std::string line(1000, 'x');
    for (int i = 0; i < 100; ++i) Global::append("%s\n", line.c_str());
    Global::errorHandler(2004);
    EXPECT_EQ(Global::string.substr(0, 1001), line + "\n");
    EXPECT_EQ(Global::string.substr(100u * 1001u), "\nError: Invalid array index.\nReturn code: 2004\n");
}

void putName(char* field, const std::string& name) {
    std::memset(field, ' ', 32);
    std::memcpy(field, name.data(), std::min<size_t>(name.size(), 32));
}

struct NameLookup : testnode::ScriptedSystemTest {
    std::unique_ptr<wire::CONFIG_STORAGE_STRUCT> image = std::make_unique<wire::CONFIG_STORAGE_STRUCT>();
    commandConfiguration cfg;

    void SetUp() override {
        ScriptedSystemTest::SetUp();
        system(1);

        std::memset(image.get(), 0, sizeof *image);
        auto& h = image->header;
        h.length.set(sizeof *image);
        h.totalArrays.set(2);
        h.totalLogicalDrives.set(4);
        h.totalLunMappingEntries.set(1);
        image->rank[0].rankId = 10;
        putName(image->rank[0].name, "fast");
        image->rank[1].rankId = 11;
        putName(image->rank[1].name, "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345");  // exactly 32
        const char* lds[] = {"alpha", "dup", "dup", "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"};
        for (int i = 0; i < 4; ++i) {
            image->hostLun[i].lunNumber.set(static_cast<uint16_t>(20 + i));
            putName(image->hostLun[i].name, lds[i]);
        }
        auto& map = image->lunMap[0];
        map.abNodeName.set(0x2000001B32A0B0C0ull);
        for (auto& e : map.awLunMap) e.set(wire::kLunNotMapped);
        map.awLunMap[3].set(0x4000 | 2);
        map.awLunMap[7].set(0x2000 | 2);
        map.awLunMap[9].set(0x2000 | 1);

        rec.responder = [this](const testnode::Sent& s) {
            if (s.cdb.size() < 6 || s.cdb[0] != 0x3C) return testnode::good();
            if (s.cdb[2] == 0x01) {  // the image, by offset
                const uint32_t off = (uint32_t(s.cdb[3]) << 16) | (uint32_t(s.cdb[4]) << 8) | s.cdb[5];
                const auto* bytes = reinterpret_cast<const uint8_t*>(image.get());
                std::vector<uint8_t> chunk(bytes + off, bytes + std::min<size_t>(sizeof *image, off + s.dataLength));
                return testnode::good(chunk);
            }
            return testnode::good(std::vector<uint8_t>(s.dataLength, 0));
        };
    }
    void TearDown() override {
        ScriptedSystemTest::TearDown();
        Global::string.clear();
    }
};

TEST_F(NameLookup, LogicalDriveNamesMustBeUnique) {
    uint32_t id = 0;
    EXPECT_EQ(cfg.getLogicalDiskId("alpha", id), 0u);
    EXPECT_EQ(id, 20u);
    EXPECT_EQ(cfg.getLogicalDiskId("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", id), 0u);
    EXPECT_EQ(id, 23u);
    EXPECT_EQ(cfg.getLogicalDiskId("dup", id), CMD_ERR_INVALID_LD_NAME);
    EXPECT_EQ(cfg.getLogicalDiskId("alph", id), CMD_ERR_INVALID_LD_NAME);  // whole names only
    EXPECT_EQ(cfg.getLogicalDiskId("nosuch", id), CMD_ERR_INVALID_LD_NAME);

    rec.sent.clear();
    EXPECT_EQ(cfg.getLogicalDiskId("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456", id), CMD_ERR_INVALID_LD_NAME);
    EXPECT_TRUE(rec.sent.empty());  // refused before anything is read
}

TEST_F(NameLookup, ArrayNamesGiveTheRankId) {
    uint32_t id = 0;
    EXPECT_EQ(cfg.getArrayId("fast", id), 0u);
    EXPECT_EQ(id, 10u);
    EXPECT_EQ(cfg.getArrayId("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", id), 0u);
    EXPECT_EQ(id, 11u);
    EXPECT_EQ(cfg.getArrayId("slow", id), CMD_ERR_INVALID_ARRAY_NAME);
    EXPECT_EQ(cfg.getArrayId(std::string(33, 'a'), id), CMD_ERR_INVALID_ARRAY_NAME);
}

TEST_F(NameLookup, MappedLunIsTheHighestSlotOfTheDrive) {
    uint32_t lun = 0;
    EXPECT_EQ(cfg.getMappedLunNumber(0x2000001B32A0B0C0ull, 2, lun), 0u);
    EXPECT_EQ(lun, 7u);
    EXPECT_EQ(cfg.getMappedLunNumber(0x2000001B32A0B0C0ull, 1, lun), 0u);
    EXPECT_EQ(lun, 9u);
    EXPECT_EQ(cfg.getMappedLunNumber(0x2000001B32A0B0C0ull, 5, lun), CMD_ERR_NO_LUN_MAPPINGS);
    EXPECT_EQ(cfg.getMappedLunNumber(0x1111ull, 2, lun), CMD_ERR_NO_LUN_MAPPINGS);
}

}  // namespace
