#include "scsi/passthrough.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <scsi/sg.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "fake_node.h"
#include "unit/lapi/scripted_system.h"

namespace {

using testnode::Bytes;
using testnode::FakeNode;

struct PassThroughTest : testnode::DeviceDirTest {
    ITL_HANDLE_STRUCT handle{};
    void SetUp() override {
        DeviceDirTest::SetUp();
        handle.fd = -1;
    }
    void usePath(const std::string& path) { std::snprintf(handle.devicePath, sizeof handle.devicePath, "%s", path.c_str()); }
    static SCSI_COMMAND_STRUCT command(std::initializer_list<uint8_t> cdb, uint8_t direction, uint32_t length) {
        SCSI_COMMAND_STRUCT r{};
        uint8_t i = 0;
        for (uint8_t b : cdb) r.cdb[i++] = b;
        r.cdbLength = i;
        r.direction = direction;
        r.dataLength = length;
        return r;
    }
};

TEST_F(PassThroughTest, WritesClassicHeaderCdbAndDataAndOpensExclusively) {
    FakeNode node(dir.path() + "/sg3", [](const Bytes&) { return FakeNode::reply(0, 0); });
    handle.deviceNumber = 3;  // empty device path: <dir>/sg3
    struct Case {
        std::vector<uint8_t> cdb;
        uint8_t direction;
        uint32_t length;
        int packLen, replyLen;
        unsigned twelve;
    };
    const Case cases[] = {
        {{0x12, 0, 0, 0, 0x60, 0}, 1, 96, 36 + 6, 36 + 96, 0},
        {{0x3B, 1, 0xC5, 1, 0, 0, 0, 0, 24, 0}, 0, 24, 36 + 10 + 24, 36, 0},
        {{0xA0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 1, 0, 36 + 12, 36, 1},
        {std::vector<uint8_t>(16, 0x88), 0, 0, 36 + 16, 36, 0},
    };
    for (const Case& c : cases) {
        SCSI_COMMAND_STRUCT r{};
        std::memcpy(r.cdb, c.cdb.data(), c.cdb.size());
        r.cdbLength = static_cast<uint8_t>(c.cdb.size());
        r.direction = c.direction;
        r.dataLength = c.length;
        std::vector<uint8_t> data(c.length + 1, 0xAB);
        ASSERT_EQ(issueScsiCommand(&handle, &r, data.data()), WSC_GOOD);
        Bytes p = node.packets().back();
        ASSERT_EQ(p.size(), static_cast<size_t>(c.packLen));
        auto h = testsupport::sg::decode(p);
        EXPECT_EQ(h.packLen, c.packLen);
        EXPECT_EQ(h.replyLen, c.replyLen);
        EXPECT_EQ(h.packId, 5678);
        EXPECT_EQ(h.result, 0);
        EXPECT_EQ(h.twelve, c.twelve);
        EXPECT_TRUE(std::equal(c.cdb.begin(), c.cdb.end(), p.begin() + 36));
        if (c.direction == 0 && c.length > 0) {
            EXPECT_EQ(p.back(), 0xAB);
        }
    }
    for (uint32_t flags : node.openFlags()) EXPECT_EQ(flags, static_cast<uint32_t>(O_RDWR | O_EXCL));
    EXPECT_EQ(handle.fd, -1);  // closed after each command
    EXPECT_TRUE(sleeps().empty());
}

TEST_F(PassThroughTest, ReplyIsEvaluatedInOrder) {
    const Bytes sense = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24, 0x01, 0, 0};
    struct Case {
        const char* name;
        Bytes reply;
        uint8_t wsc;
        bool dataCopied;
        bool senseCopied;
    };
    const Case cases[] = {
        {"good", FakeNode::reply(0, 0, {1, 2, 3, 4}), WSC_GOOD, true, false},
        {"status beats result", FakeNode::reply(7, 1, {1, 2, 3, 4}, sense), WSC_CHECK_CONDITION, false, true},
        {"result one", FakeNode::reply(1, 0, {1, 2, 3, 4}, sense), WSC_CHECK_CONDITION, false, true},
        {"other result", FakeNode::reply(5, 0, {1, 2, 3, 4}, sense), WSC_OS_ERROR, false, false},
        {"no header", Bytes(20, 0), WSC_OS_ERROR, false, false},
        {"empty reply", Bytes(), WSC_OS_ERROR, false, false},
    };
    for (const Case& c : cases) {
        FakeNode node(dir.path() + "/sgX", [&](const Bytes&) { return c.reply; });
        usePath(dir.path() + "/sgX");
        SCSI_COMMAND_STRUCT r = command({0x3C, 1, 3, 0, 0, 0, 0, 0, 4, 0}, 1, 4);
        uint8_t data[4] = {9, 9, 9, 9};
        EXPECT_EQ(issueScsiCommand(&handle, &r, data), c.wsc) << c.name;
        EXPECT_EQ(data[0] == 1, c.dataCopied) << c.name;
        EXPECT_EQ(std::memcmp(r.senseData, sense.data(), 16) == 0, c.senseCopied) << c.name;
        if (c.senseCopied) {
            EXPECT_EQ(r.senseKey(), 5);
            EXPECT_EQ(r.asc(), 0x24);
            EXPECT_EQ(r.ascq(), 0x01);
        }
    }
}

TEST_F(PassThroughTest, ShortDataReplyLeavesZerosAndZeroLengthReadTouchesNothing) {
    FakeNode node(dir.path() + "/sg0", [](const Bytes&) { return FakeNode::reply(0, 0, {7, 7}); });
    SCSI_COMMAND_STRUCT r = command({0x12, 0, 0, 0, 8, 0}, 1, 8);
    uint8_t data[8];
    std::memset(data, 0xEE, sizeof data);
    ASSERT_EQ(issueScsiCommand(&handle, &r, data), WSC_GOOD);
    EXPECT_EQ(r.dataLength, 2u);
    const uint8_t expected[8] = {7, 7, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(data, expected, 8), 0);

    SCSI_COMMAND_STRUCT none = command({0x00, 0, 0, 0, 0, 0}, 1, 0);
    EXPECT_EQ(issueScsiCommand(&handle, &none, nullptr), WSC_GOOD);
    EXPECT_EQ(node.packets().size(), 2u);
}

TEST_F(PassThroughTest, OpenFailuresAndTheirMessages) {
    struct Case {
        uint32_t answer;
        size_t sleeps;
        std::string out;
    };
    const Case cases[] = {
        {EBUSY, 10, ""},
        {EACCES, 10, "Access mode is not read / write .\n"},
        {EPERM, 10, "Unknown open error for scsi devices returned: 1.\n"},
        {ENXIO, 0, ""},
        {ENODEV, 0, ""},
    };
    for (const Case& c : cases) {
        FakeNode node(dir.path() + "/sg1", [](const Bytes&) { return FakeNode::reply(0, 0); });
        node.openAnswer = c.answer;
        handle.deviceNumber = 1;
        sleeps().clear();
        SCSI_COMMAND_STRUCT r = command({0, 0, 0, 0, 0, 0}, 1, 0);
        testing::internal::CaptureStdout();
        EXPECT_EQ(issueScsiCommand(&handle, &r, nullptr), WSC_OS_ERROR);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out) << c.answer;
        EXPECT_EQ(node.openFlags().size(), c.sleeps == 0 ? 1u : 10u) << c.answer;
        EXPECT_EQ(sleeps(), std::vector<uint32_t>(c.sleeps, 40000)) << c.answer;
        EXPECT_TRUE(node.packets().empty());
    }
}

TEST_F(PassThroughTest, ServerGoneAfterOpenFailsTheCommand) {
    FakeNode node(dir.path() + "/sg0", [](const Bytes&) { return FakeNode::reply(0, 0); });
    node.hangUpAfterOpen = true;
    std::vector<uint8_t> data(60000, 1);
    for (int i = 0; i < 20; ++i) {
        SCSI_COMMAND_STRUCT r = command({0x3B, 2, 0x83, 0, 0, 0, 0, 0xEA, 0x60, 0}, 0, 60000);
        EXPECT_EQ(issueScsiCommand(&handle, &r, data.data()), WSC_OS_ERROR);
    }
}

TEST_F(PassThroughTest, OnlyDeviceNodesAreWrittenTo) {
    // A plain file, a link to one and a FIFO are refused before anything is
    // written; /dev/null is a character device of another driver. A missing
    // node fails at once and silently.
    const std::string plain = dir.path() + "/plain", link = dir.path() + "/link", fifo = dir.path() + "/fifo";
    { std::ofstream(plain) << "keep"; }
    ASSERT_EQ(symlink(plain.c_str(), link.c_str()), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {plain, link, fifo, std::string("/dev/null"), dir.path() + "/sg42"}) {
        usePath(path);
        SCSI_COMMAND_STRUCT r = command({0x12, 0, 0, 0, 8, 0}, 1, 8);
        uint8_t data[8] = {};
        testing::internal::CaptureStdout();
        EXPECT_EQ(issueScsiCommand(&handle, &r, data), WSC_OS_ERROR) << path;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << path;
        EXPECT_TRUE(sleeps().empty()) << path;
    }
    std::ifstream in(plain);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
}

TEST_F(PassThroughTest, ANodeThatNeverAnswersFailsAfterTheTimeOut) {
    FakeNode node(dir.path() + "/sg0", [](const Bytes&) { return FakeNode::reply(0, 0); });
    node.silent = true;
    SCSI_COMMAND_STRUCT r = command({0x12, 0, 0, 0, 8, 0}, 1, 8);
    r.timeout = 1;
    uint8_t data[8] = {};
    EXPECT_EQ(issueScsiCommand(&handle, &r, data), WSC_OS_ERROR);
    EXPECT_EQ(node.packets().size(), 1u);
}

TEST_F(PassThroughTest, BadArgumentsAreRefusedWithoutTouchingTheDevice) {
    FakeNode node(dir.path() + "/sg0", [](const Bytes&) { return FakeNode::reply(0, 0); });
    SCSI_COMMAND_STRUCT r = command({0x12, 0, 0, 0, 8, 0}, 1, 8);
    EXPECT_EQ(issueScsiCommand(nullptr, &r, nullptr), WSC_OS_ERROR);
    EXPECT_EQ(issueScsiCommand(&handle, nullptr, nullptr), WSC_OS_ERROR);
    EXPECT_EQ(issueScsiCommand(&handle, &r, nullptr), WSC_OS_ERROR);  // data length without a buffer
    SCSI_COMMAND_STRUCT longCdb = r;
    longCdb.cdbLength = 17;
    uint8_t data[8];
    EXPECT_EQ(issueScsiCommand(&handle, &longCdb, data), WSC_OS_ERROR);
    EXPECT_TRUE(node.packets().empty());
}

TEST_F(PassThroughTest, DeviceNamesFollowTheDeviceDirectory) {
    char* name = getScsiDeviceName(12);
    EXPECT_EQ(std::string(name), dir.path() + "/sg12");
    free(name);
    setenv("LQCL_DEV_DIR", "", 1);
    name = getScsiDeviceName(0);
    EXPECT_STREQ(name, "/dev/sg0");
    free(name);
    char path[64];
    usePath("/dev/custom");
    handle.deviceNumber = 9;
    ASSERT_TRUE(handleDevicePath(&handle, path, sizeof path));
    EXPECT_STREQ(path, "/dev/custom");
    EXPECT_EQ(openDevice(&handle.fd, nullptr), -1);
}

}  // namespace
