// The device layer on scripted nodes: the pass-through (the classic sg
// messages, the reply's evaluation, open failures, refused paths), discovery
// and its table of systems and paths, the configuration header check, the
// product preambles and the exclusion list.
#include "scsi/passthrough.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <scsi/sg.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "scsi/discovery.h"
#include "scsi/exclusion.h"
#include "support/sg_message.h"
#include "unit/lapi/scripted_system.h"
#include "wire/config.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A scripted SCSI generic node for the device-layer tests: a SOCK_SEQPACKET
// socket bound at a path, answering the open handshake, the address request and
// each command packet from a script, and recording what it received.
class FakeNode {
public:
    // Returns the whole reply message (sg_header + data) for one command packet.
    using Responder = std::function<Bytes(const Bytes& packet)>;

    FakeNode(const std::string& path, Responder responder) : path_(path), responder_(std::move(responder)) {
        listen_ = socket(AF_UNIX, SOCK_SEQPACKET, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
        unlink(path.c_str());
        if (bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listen_, 8) != 0)
            throw std::runtime_error("cannot bind " + path);
        thread_ = std::thread([this] { serve(); });
    }
    ~FakeNode() {
        stop_ = true;
        thread_.join();
        close(listen_);
        unlink(path_.c_str());
    }

    uint32_t openAnswer = 0;  // 0 or an errno
    bool hangUpAfterOpen = false;  // the server goes away right after a successful open
    bool silent = false;           // commands are received and never answered
    sg_scsi_id id{};

    std::vector<Bytes> packets() {
        std::lock_guard<std::mutex> lock(mutex_);
        return packets_;
    }
    std::vector<uint32_t> openFlags() {
        std::lock_guard<std::mutex> lock(mutex_);
        return openFlags_;
    }

    // A reply header with the given fields, followed by `data`.
    static Bytes reply(int result, unsigned targetStatus, const Bytes& data = {}, const Bytes& sense = {}) {
        return testsupport::sg::reply(result, targetStatus, data, sense);
    }

private:
    void serve() {
        std::vector<int> clients;
        while (!stop_) {
            std::vector<pollfd> fds{{listen_, POLLIN, 0}};
            for (int c : clients) fds.push_back({c, POLLIN, 0});
            if (poll(fds.data(), fds.size(), 20) <= 0) continue;
            if (fds[0].revents & POLLIN) clients.push_back(accept(listen_, nullptr, nullptr));
            for (size_t i = 1; i < fds.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
                int c = fds[i].fd;
                Bytes msg(1 << 20);
                ssize_t n = recv(c, msg.data(), msg.size(), 0);
                if (n <= 0) {
                    close(c);
                    std::erase(clients, c);
                    continue;
                }
                msg.resize(static_cast<size_t>(n));
                handle(c, msg, clients);
            }
        }
        for (int c : clients) close(c);
    }
    void handle(int c, const Bytes& msg, std::vector<int>& clients) {
        if (msg.size() == 8 && std::memcmp(msg.data(), "SGOP", 4) == 0) {
            uint32_t flags;
            std::memcpy(&flags, msg.data() + 4, 4);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                openFlags_.push_back(flags);
            }
            uint32_t a = openAnswer;
            if (hangUpAfterOpen) shutdown(c, SHUT_RD);  // whatever the client sends next fails
            send(c, &a, 4, 0);
            if (a != 0 || hangUpAfterOpen) {
                close(c);
                std::erase(clients, c);
            }
        } else if (msg.size() == 4 && std::memcmp(msg.data(), "SGID", 4) == 0) {
            send(c, &id, sizeof id, 0);
        } else {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                packets_.push_back(msg);
            }
            if (silent) return;
            Bytes r = responder_(msg);
            send(c, r.data(), r.size(), 0);
        }
    }

    std::string path_;
    Responder responder_;
    int listen_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<Bytes> packets_;
    std::vector<uint32_t> openFlags_;
};

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
    testsupport::writeFile(plain, "keep");
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
    EXPECT_EQ(testsupport::readFile(plain), "keep");
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


Bytes inquiryFor(const std::string& product) {
    Bytes b(96, 0);
    b[4] = 91;
    std::memcpy(&b[8], "TOLVO   ", 8);
    std::string p = product;
    p.resize(16, ' ');
    std::memcpy(&b[16], p.data(), 16);
    return b;
}

// A configuration header as discovery reads it (buffer 0x03).
Bytes headerFor(uint64_t wwn) {
    Bytes h(512, 0);
    h[1] = 0x58;
    h[2] = 0x0E;  // 940032
    for (int i = 0; i < 8; ++i) h[24 + i] = static_cast<uint8_t>(wwn >> (8 * (7 - i)));
    h[170] = 1;
    h[171] = 0xF0;
    h[208] = 0xF1;
    h[209] = 0xF0;
    return h;
}

// Simulated devices: each node answers the open handshake and its SCSI address;
// the commands are answered by the recorder from the same description.
struct Device {
    std::string product;
    uint64_t wwn;
    int channel, target, lun;
};

struct DiscoveryTest : testnode::ScriptedSystemTest {
    std::map<std::string, Device> devices;  // by node path
    std::vector<std::unique_ptr<FakeNode>> nodes;

    void SetUp() override {
        ScriptedSystemTest::SetUp();
        rec.responder = [this](const testnode::Sent& s) {
            auto it = devices.find(pathOf(s));
            if (it == devices.end()) return testnode::osError();
            if (s.cdb[0] == 0x12) return testnode::good(inquiryFor(it->second.product));
            if (s.cdb[0] == 0x3C && s.cdb[2] == 0x03) return testnode::good(headerFor(it->second.wwn));
            return testnode::check(5, 0x20, 0);
        };
    }
    void TearDown() override {
        nodes.clear();
        ScriptedSystemTest::TearDown();
    }
    std::string node(int n) { return dir.path() + "/sg" + std::to_string(n); }
    static std::string pathOf(const testnode::Sent& s) {
        char path[256];
        return handleDevicePath(s.handle, path, sizeof path), path;
    }
    void add(int n, Device d) {
        devices[node(n)] = d;
        auto fake = std::make_unique<FakeNode>(node(n), [](const Bytes&) { return Bytes(); });
        fake->id.channel = d.channel;
        fake->id.scsi_id = d.target;
        fake->id.lun = d.lun;
        nodes.push_back(std::move(fake));
    }
    size_t inquiries() const {
        size_t n = 0;
        for (const auto& s : rec.sent) n += s.cdb[0] == 0x12 ? 1 : 0;
        return n;
    }
};

// Grouping paths by WWN, skipping foreign devices, duplicate paths, plain files
// and paths with short INQUIRY replies or refused header reads, and the CDBs of
// the scan, are checked end to end (discovery_listing).

TEST_F(DiscoveryTest, ScansAgainOnEveryCallWhileNothingIsFound) {
    add(0, {"DISK DRIVE", 1, 0, 0, 0});
    EXPECT_EQ(LAPIDiscoverRAIDSystems(), 0u);
    EXPECT_EQ(LAPIDiscoverRAIDSystems(), 0u);
    EXPECT_EQ(inquiries(), 2u);
    EXPECT_EQ(cDevice_Discovery_Done, 0);
}

TEST_F(DiscoveryTest, BusyNodeIsSkippedAfterSixOpensAndOtherOpenErrorsEndTheScan) {
    add(0, {"TOLVO RAID 7000", 0x11, 0, 0, 0});
    add(1, {"TOLVO RAID 7000", 0x22, 0, 1, 0});
    nodes[0]->openAnswer = EBUSY;
    EXPECT_EQ(LAPIDiscoverRAIDSystems(), 1u);
    EXPECT_EQ(nodes[0]->openFlags().size(), 6u);
    EXPECT_EQ(gTolvos[0].wwn[7], 0x22);

    resetRaidSystemTable();
    nodes[0]->openAnswer = EPERM;
    EXPECT_EQ(LAPIDiscoverRAIDSystems(), 0u);
    EXPECT_EQ(nodes[0]->openFlags().size(), 7u);
    EXPECT_EQ(nodes[1]->openFlags().size(), 1u);  // opened by the first scan only
}

// The check discovery makes on the bytes read, and the record's own rule.
TEST(ConfigHeader, ValidityRule) {
    auto valid = [](auto edit) {
        Bytes h = headerFor(1);
        edit(h);
        wire::CONFIG_STORAGE_HEADER_STRUCT record;
        std::memcpy(&record, h.data(), sizeof record);
        EXPECT_EQ(wire::isValidConfigHeader(record), isValidTolvoConfigHeader(h.data()) == 1);
        return isValidTolvoConfigHeader(h.data());
    };
    EXPECT_EQ(valid([](Bytes&) {}), 1);
    EXPECT_EQ(valid([](Bytes& h) { h[0] = h[1] = h[2] = h[3] = 0; }), 0);
    EXPECT_EQ(valid([](Bytes& h) { h[0] = h[1] = h[2] = 0, h[3] = 1; }), 1);
    EXPECT_EQ(valid([](Bytes& h) { h[170] = 0; }), 0);
    for (int at : {171, 208, 209}) {
        EXPECT_EQ(valid([at](Bytes& h) { h[at] = 0xF1; }), 1) << at;
        EXPECT_EQ(valid([at](Bytes& h) { h[at] = 0xF2; }), 0) << at;
        EXPECT_EQ(valid([at](Bytes& h) { h[at] = 0x00; }), 0) << at;
    }
}

TEST(ProductPreambles, OnlyTheFirstFifteenCharactersCount) {
    EXPECT_EQ(IsPreambleOurs("TOLVO RAID 7000 "), 1);
    EXPECT_EQ(IsPreambleOurs("TOLVO RAID 7000X"), 1);  // only 15 characters count
    EXPECT_EQ(IsPreambleOurs("TOLVO RAID 700 "), 0);
    EXPECT_EQ(IsPreambleOurs("tolvo raid 7000 "), 0);
}

// Comments, blank lines, leading blanks, upper-case digits and the end of
// the digits at a blank are checked end to end (discovery_listing).
TEST(ExclusionList, LinesAsRead) {
    struct Case {
        const char* line;
        bool entry;
        uint64_t wwn;
        const char* digits;
    };
    const Case cases[] = {
        {"  /comment", false, 0, ""},
        {"\n", false, 0, ""},
        {" \t \r\n", false, 0, ""},
        {"abc\n", true, 0xabc, "abc"},
        {"xyz\n", true, 0, ""},
        {"1234567890abcdef99\n", true, 0x1234567890abcdefull, "1234567890abcdef"},
    };
    for (const Case& c : cases) {
        uint8_t wwn[8];
        char digits[17];
        ASSERT_EQ(parseExclusionLine(c.line, wwn, digits), c.entry) << c.line;
        if (!c.entry) continue;
        uint64_t v = 0;
        for (uint8_t b : wwn) v = (v << 8) | b;
        EXPECT_EQ(v, c.wwn) << c.line;
        EXPECT_STREQ(digits, c.digits) << c.line;
    }
}

TEST(ExclusionList, AtMost128EntriesAndLongLinesStayOneLine) {
    std::string text = "/" + std::string(1500, 'a') + "\n";  // a comment longer than a line buffer
    for (int i = 0; i < 130; ++i) text += "00000000000000" + std::to_string(10 + i % 80) + "\n";
    FILE* f = fmemopen(text.data(), text.size(), "r");
    uint8_t table[MAX_EXCLUDED_SYSTEMS][8];
    int seen = 0;
    static int* counter;
    counter = &seen;
    EXPECT_EQ(readExclusionList(f, table, MAX_EXCLUDED_SYSTEMS, [](const char*) { ++*counter; }), 128u);
    fclose(f);
    EXPECT_EQ(seen, 128);
    EXPECT_EQ(table[0][7], 0x10);
}

TEST(ExclusionList, NulBytesHideNoLineAndOnlyRegularFilesAreRead) {
    const std::string text("2000001122334455\0x\n\0" "2000001122334466\n", 36);
    FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    uint8_t table[MAX_EXCLUDED_SYSTEMS][8];
    EXPECT_EQ(readExclusionList(f, table, MAX_EXCLUDED_SYSTEMS, nullptr), 2u);
    fclose(f);
    EXPECT_EQ(table[0][7], 0x55);
    EXPECT_EQ(table[1][7], 0x66);

    testsupport::TempDir dir;
    const std::string fifo = dir.path() + "/list";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(openExclusionList(path.c_str()), nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "Warning: the exclusion list " + path + " is not a regular file and is not read.\n");
    }
}

TEST_F(DiscoveryTest, UserNamedDeviceIsAddedWithoutProductCheck) {
    std::string path = dir.path() + "/mine";
    if (path.size() > 31) GTEST_SKIP() << "temporary directory name too long for a device path";
    devices[path] = {"SOMETHING ELSE", 0x2000001122330001ull, 2, 5, 1};
    FakeNode fake(path, [](const Bytes&) { return Bytes(); });
    fake.id.channel = 2;
    fake.id.scsi_id = 5;
    fake.id.lun = 1;
    EXPECT_EQ(LAPIAddUserDefinedTolvoScsiDevices(path.c_str()), 0);
    ASSERT_EQ(gNumTolvos, 1u);
    EXPECT_STREQ(gTolvos[0].slots[0].devicePath, path.c_str());
    EXPECT_EQ(gTolvos[0].slots[0].deviceNumber, 0u);
    EXPECT_EQ(gTolvos[0].slots[0].target, 5);
    EXPECT_EQ(LAPIAddUserDefinedTolvoScsiDevices((dir.path() + "/none").c_str()), 0xFF);
}

TEST_F(DiscoveryTest, OverlongUserPathIsRefusedNotTruncated) {
    const std::string longPath = "/dev/" + std::string(27, 'x');  // 32 characters
    testing::internal::CaptureStderr();
    EXPECT_EQ(LAPIAddUserDefinedTolvoScsiDevices(longPath.c_str()), 0xFF);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Error: device path '" + longPath + "' is longer than 31 characters and cannot be used.\n");
    EXPECT_TRUE(rec.sent.empty());
    EXPECT_EQ(gNumTolvos, 0u);
}

// Stores paths straight into the table through the header read.
struct TableTest : DiscoveryTest {
    uint64_t nextWwn = 0x2000000000000000ull;
    void SetUp() override {
        DiscoveryTest::SetUp();
        rec.responder = [this](const testnode::Sent&) { return testnode::good(headerFor(nextWwn)); };
    }
    int store(uint64_t wwn, int channel, int target, int lun) {
        nextWwn = wwn;
        ITL_HANDLE_STRUCT r{};
        r.fd = -1;
        r.channel = static_cast<uint8_t>(channel);
        r.target = static_cast<uint8_t>(target);
        r.lun = static_cast<uint8_t>(lun);
        return addTolvoIfNotDuplicate(&r);
    }
};

TEST_F(TableTest, LimitsOf125SystemsAnd32Paths) {
    for (int i = 0; i < 125; ++i) ASSERT_EQ(store(0x100 + i, 0, i, 0), 1);
    EXPECT_EQ(store(0x999, 0, 0, 0), 0);
    EXPECT_EQ(gNumTolvos, 125u);
    for (int t = 1; t < 32; ++t) ASSERT_EQ(store(0x100, 0, 200, t), 1) << t;
    EXPECT_EQ(LAPIGetTolvoHandleCount(0), 32u);
    EXPECT_EQ(store(0x100, 0, 201, 0), 0);
    EXPECT_EQ(store(0x100, 0, 0, 0), 0);  // duplicate
}

TEST_F(TableTest, InvalidationWalksSlotsAndFreedSlotsAreReused) {
    store(0x500, 0, 0, 0);
    store(0x500, 0, 1, 0);
    ITL_HANDLE_STRUCT* h = nullptr;
    ASSERT_EQ(LAPIGetTolvoHandle(&h, 0), 0u);
    EXPECT_EQ(h, &gTolvos[0].slots[0]);
    EXPECT_EQ(LAPIInvalidateCurrentTolvoHandle(0), 0u);
    ASSERT_EQ(LAPIGetTolvoHandle(&h, 0), 0u);
    EXPECT_EQ(h, &gTolvos[0].slots[1]);
    EXPECT_EQ(LAPIInvalidateCurrentTolvoHandle(0), 0u);
    EXPECT_EQ(LAPIInvalidateCurrentTolvoHandle(0), 1008u);
    cDevice_Discovery_Done = 1;
    EXPECT_EQ(LAPIGetTolvoHandle(&h, 0), 1010u);
    EXPECT_EQ(LAPIGetTolvoHandle(nullptr, 0), 1001u);
    EXPECT_EQ(LAPIGetTolvoHandle(&h, 200), 1010u);
    EXPECT_EQ(store(0x500, 0, 7, 0), 1);
    ASSERT_EQ(LAPIGetTolvoHandle(&h, 0), 0u);
    EXPECT_EQ(h, &gTolvos[0].slots[0]);
    EXPECT_EQ(LAPIGetITLHandleIndex(&h, 0, 0, 7, 0), 0);
    EXPECT_EQ(LAPIGetITLHandleIndex(&h, 0, 0, 1, 0), -1);
}

TEST_F(TableTest, PathTableListingWrapsAfterSixPaths) {
    for (int t = 0; t < 7; ++t) store(0x20000011223344AAull, 1, t, 2);
    gTolvos[0].justCameBack = 1;
    EXPECT_EQ(formatRSEntry(0),
              "20000011223344aa*(07) 01.00.02 01.01.02 01.02.02 01.03.02 01.04.02 01.05.02\n"
              "                      01.06.02");
    gTolvos[0].justCameBack = 0;
    gTolvos[0].slotValid[0] = 0;
    EXPECT_EQ(formatRSEntry(0), "20000011223344aa (06) 01.01.02 01.02.02 01.03.02 01.04.02 01.05.02 01.06.02\n" +
                                    std::string(21, ' '));
}

TEST_F(TableTest, RediscoveryDropsDeadPathsAndFlagsSystemsThatCameBack) {
    for (int t = 0; t < 9; ++t) store(0x700, 0, t, 0);   // entry 0: nine paths
    store(0x800, 0, 20, 0);                                // entry 1: loses its only path
    gTolvos[1].slotValid[0] = 0;
    cDevice_Discovery_Done = 1;
    add(0, {"TOLVO RAID 7000", 0x800, 0, 21, 0});         // the scan finds a new path to entry 1
    rec.responder = [this](const testnode::Sent& s) {
        if (s.cdb[0] == 0x3C) return testnode::good(headerFor(0x800));
        if (s.handle == &gTolvos[0].slots[3]) return testnode::check(4, 0x44, 0);  // dead path
        if (s.handle == &gTolvos[0].slots[4]) return testnode::check(2, 0x04, 0);  // busy: kept
        return testnode::good(inquiryFor("TOLVO RAID 7000"));
    };
    sleeps().clear();
    EXPECT_EQ(LAPIRediscoverRAIDSystems(), 2u);
    EXPECT_EQ(LAPIGetTolvoHandleCount(0), 8u);
    EXPECT_EQ(gTolvos[0].slotValid[3], 0u);
    EXPECT_EQ(LAPIGetTolvoHandleCount(1), 1u);
    EXPECT_EQ(gTolvos[1].justCameBack, 1u);
    EXPECT_EQ(gTolvos[0].justCameBack, 0u);
    // 150 ms for the one entry that had paths, 25 ms after probing slots 0 and 8
    // of entry 0 and slot 0 of entry 1.
    EXPECT_EQ(sleeps(), (std::vector<uint32_t>{150000, 25000, 25000, 25000}));
}

}  // namespace
