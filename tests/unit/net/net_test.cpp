// The network module's client: the HTTP response reader on bytes in memory,
// Base64, the reply layout of the command gateway; the bytes the client puts on
// the wire, recorded by a small TCP peer inside a private network namespace
// (loopback only), compared with the request texts; the ICMP echo and the
// connection messages; and module discovery (reply records, the address rules,
// the listing, the interface count).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "net/http.h"
#include "net/oob.h"
#include "net/oob_params.h"
#include "net/update.h"
#include "support/base64.h"
#include "support/netlab.h"
#include "support/process.h"

namespace {

struct Read {
    int result;
    std::string body;
    std::string printed;
};

Read readResponse(const std::string& bytes, int capacity = 64) {
    std::vector<char> buffer(static_cast<size_t>(capacity) + 1, '\x55');
    HttpStream s(bytes.data(), bytes.size());
    int length = -1;
    testing::internal::CaptureStdout();
    int r = httpReadResponse(s, buffer.data(), capacity, &length);
    Read out{r, r == 0 ? std::string(buffer.data(), static_cast<size_t>(length)) : "",
             testing::internal::GetCapturedStdout()};
    if (r == 0) {
        EXPECT_EQ(buffer[static_cast<size_t>(length)], '\0');
    }
    return out;
}

const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Type: binary\r\n";

// A plain body and a 401 from the module are read end to end (oob_commands).
TEST(HttpReader, Responses) {
    const std::string tooLong = "X-Pad: " + std::string(3072 - 9, 'a') + "\r\n";  // 3,072 bytes with CR LF
    const std::string longest = "X-Pad: " + std::string(3071 - 9, 'a') + "\r\n";  // 3,071 bytes
    struct Case {
        const char* name;
        std::string bytes;
        int result;
        std::string body;
        std::string printed;
    } cases[] = {
        {"plain cut at the capacity", kOk + "\r\n" + std::string(100, 'z'), 0, std::string(64, 'z'), ""},
        {"chunked 5", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabcde\r\n\r\n0\r\n\r\n", 0, "abcde", ""},
        {"chunked, two chunks", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\nA;x=1\r\n0123456789\r\n0\r\n\r\n",
         0, "abc0123456789", ""},
        {"chunk size not hex", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", 1, "",
         "Error: Decoding HTTP chunked response. Invalid format. numread=0.\n"},
        {"short chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\nabc", 1, "",
         "Error: Receiving HTTP chunked response. Short data.\n"},
        {"chunks beyond the capacity", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFF\r\n", 1, "",
         "Error: Receiving HTTP chunked response. Too much data.\n"},
        {"no status line", "", 1, "", "Error: Early end of data.\n"},
        {"not HTTP", "SSH-2.0-OpenSSH\r\n\r\n", 1, "", "Error: Received message not in HTML format.\n"},
        {"no number", "HTTP/1.1 OK\r\n\r\n", 1, "", "Error: Received message not in HTML format.\n"},
        {"status 0 is no success", "HTTP/1.1 0 Zero\r\n\r\n", 1, "", ""},
        {"head cut short", kOk, 1, "", "Error: Early end of data.\n"},
        {"header line of 3,071 bytes", kOk + longest + "\r\nok", 0, "ok", ""},
        {"header line of 3,072 bytes", kOk + tooLong + "\r\nok", 1, "",
         "Error: httpSocketReadLine() returned an error. Line too long.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Read r = readResponse(c.bytes);
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.body, c.body);
        EXPECT_EQ(r.printed, c.printed);
    }
}

TEST(HttpReader, ReasonPhraseIsKeptAndBounded) {
    readResponse("HTTP/1.1 401 Unauthorized\r\n\r\n");
    EXPECT_EQ(httpErrorCode, 401);
    EXPECT_STREQ(httpErrorString, "Unauthorized");
    readResponse("HTTP/1.0 503 " + std::string(300, 'r') + "\r\n\r\n");
    EXPECT_EQ(httpErrorCode, 503);
    EXPECT_EQ(std::string(httpErrorString), std::string(99, 'r'));
}

TEST(Base64, BothAlphabets) {
    struct Case {
        std::string plain, standard, urlSafe;
    } cases[] = {
        {"abc", "YWJj", "YWJj"}, {"ab", "YWI=", "YWI="}, {"a", "YQ==", "YQ=="},
        {"\xfb\xff", "+/8=", "-_8="},  // sextets 62 and 63
        {"admin:s3cret>?", "YWRtaW46czNjcmV0Pj8=", "YWRtaW46czNjcmV0Pj8="},
        {"?>?", "Pz4/", "Pz4_"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(lqcl::b64Encode(c.plain, lqcl::kB64Standard), c.standard);
        EXPECT_EQ(lqcl::b64Encode(c.plain, lqcl::kB64UrlSafe), c.urlSafe);
        EXPECT_EQ(lqcl::b64Decode(c.standard), c.plain);
        EXPECT_EQ(lqcl::b64Decode(c.urlSafe), c.plain);
    }
    EXPECT_EQ(lqcl::b64Encode(std::string("ab\0cd", 5), 0), "YWI=");  // a zero byte ends the input
}

TEST(GatewayReply, IntoTheRequestBlock) {
    // Status 2 with sense 5/24/00: the sense lands in bytes 2, 12, 13.
    SCSI_COMMAND_STRUCT r{};
    r.cdb[0] = 0x3C;
    r.dataLength = 8;
    r.senseData[2] = 0xA0;  // high bits stay
    uint8_t data[8] = {};
    const uint8_t check[] = {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0x24, 0};
    testing::internal::CaptureStdout();
    EXPECT_EQ(qclApplyReply(&r, data, check, sizeof check), 2);
    EXPECT_EQ(r.senseData[2], 0xA5);
    EXPECT_EQ(r.senseData[12], 0x24);
    EXPECT_EQ(r.senseData[13], 0);
    EXPECT_EQ(r.dataLength, 0u);

    // Data: never more than asked, nor more than the body holds, whatever the length field says.
    std::vector<uint8_t> body = {0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    for (int i = 0; i < 12; ++i) body.push_back(static_cast<uint8_t>(0xA0 + i));
    r.dataLength = 8;
    EXPECT_EQ(qclApplyReply(&r, data, body.data(), body.size()), 0);
    EXPECT_EQ(data[7], 0xA7);
    EXPECT_EQ(r.dataLength, 12u);
    body.resize(16);
    r.dataLength = 8;
    std::memset(data, 0, sizeof data);
    EXPECT_EQ(qclApplyReply(&r, data, body.data(), body.size()), 0);
    EXPECT_EQ(data[2], 0xA2);
    EXPECT_EQ(data[3], 0);
    EXPECT_EQ(r.dataLength, 3u);

    // A body too short for the layout is a failed command.
    EXPECT_EQ(qclApplyReply(&r, data, body.data(), 12), 255);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Failed to execute the command.\n");
}

// Accepts `count` connections on 127.0.0.1:9292, records each request (head,
// then Content-Length bytes) and answers each with `reply`.
class RecordingPeer {
public:
    RecordingPeer(int count, const std::string& reply) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        int on = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(9292);
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 && listen(fd_, 4) == 0)
            thread_ = std::thread([this, count, reply] { serve(count, reply); });
    }
    ~RecordingPeer() {
        requests();
        close(fd_);
    }
    bool bound() const { return thread_.joinable(); }
    const std::vector<std::string>& requests() {
        if (thread_.joinable()) thread_.join();
        return requests_;
    }

private:
    void serve(int count, const std::string& reply) {
        for (int i = 0; i < count; ++i) {
            int c = accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            timeval tv{5, 0};
            setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
            std::string got;
            char buf[65536];
            size_t want = std::string::npos, head = std::string::npos;
            for (ssize_t n; (want == std::string::npos || got.size() < want) && (n = recv(c, buf, sizeof buf, 0)) > 0;) {
                got.append(buf, static_cast<size_t>(n));
                if (want == std::string::npos && (head = got.find("\r\n\r\n")) != std::string::npos) {
                    const size_t cl = got.find("Content-Length: ");
                    want = head + 4 + (cl == std::string::npos ? 0 : std::stoul(got.substr(cl + 16)));
                }
            }
            requests_.push_back(got);
            send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
            close(c);
        }
    }
    int fd_ = -1;
    std::thread thread_;
    std::vector<std::string> requests_;
};

class HttpWire : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!testsupport::enterPrivateLoopback(&why)) GTEST_SKIP() << why;
        setOutOfBandParameters("admin", "pw>?", "127.0.0.1");
        resetOutOfBandPing();
    }
};

const std::string kBoundaryLine = "----------------QcLiPoStSv1234\r\n";

std::string field(const std::string& name, const std::string& value) {
    return kBoundaryLine + "Content-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
}

// The whole POST of one chunk, from the request texts.
std::string post(const std::vector<int>& cdb, uint32_t length, int direction, const std::string& file) {
    std::string form = field("ip", "127.0.0.1") + field("port", "9292") + field("module", "Tolvo") +
                       field("method", "qcl");
    for (int i = 0; i < 16; ++i) form += field("CDB" + std::to_string(i), std::to_string(cdb[i]));
    form += field("BufferLength", std::to_string(length)) + field("CDBlength", "10") +
            field("TimeOutInSeconds", "120") + field("CDBdirection", std::to_string(direction)) +
            field("p0", "--type") + field("p1", "Tolvo") + field("p2", "--sfile") + field("p3", "outgoing") +
            field("p4", "--rfile") + field("p5", "incoming");
    form += kBoundaryLine + "Content-Disposition: form-data; name=\"UploadedFile\"; filename=\"outgoing\"\r\n" +
            "Content-Type: application/octet-stream\r\n\r\n";
    const std::string closing = "---------------QcLiPoStSv1234--\r\n";
    return "POST /cgi-bin/cgiloader.cgi HTTP/1.1\r\n"
           "Referer: http://127.0.0.1:9292/qcli.htm\r\n"
           "Pragma: no-cache\r\n"
           "Cache-control: no-cache\r\n"
           "Accept: text/*\r\n"
           "Accept-Language: en\r\n"
           "Accept-Encoding: x-gzip, gzip, identity\r\n"
           "Host: 127.0.0.1:9292\r\n"
           "Connection: close\r\n"
           "Authorization: Basic YWRtaW46cHc-Pw==\r\n"
           "Content-Type: multipart/form-data; boundary=----------------QcLiPoStSv1234\r\n"
           "Content-Length: " +
           std::to_string(form.size() + file.size() + closing.size()) + "\r\n\r\n" + form + file + closing;
}

SCSI_COMMAND_STRUCT request(std::vector<int> cdb, uint32_t length, uint8_t direction) {
    SCSI_COMMAND_STRUCT r{};
    for (size_t i = 0; i < cdb.size(); ++i) r.cdb[i] = static_cast<uint8_t>(cdb[i]);
    r.cdbLength = 10;
    r.direction = direction;
    r.timeout = 120;
    r.dataLength = length;
    return r;
}

TEST_F(HttpWire, GetRequestText) {
    RecordingPeer peer(1, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\nA=b=c");
    ASSERT_TRUE(peer.bound());
    char* body = nullptr;
    int length = 0;
    ASSERT_EQ(httpIssueGetRequest("module=server&method=GetPrefsConfig&OutOfBand=1&", &body, &length), 1);
    EXPECT_EQ(std::string(body, static_cast<size_t>(length)), "A=b=c");
    ASSERT_EQ(peer.requests().size(), 1u);
    EXPECT_EQ(peer.requests()[0],
              "GET /cgi-bin/cgiloader.cgi?module=server&method=GetPrefsConfig&OutOfBand=1& HTTP/1.1\r\n"
              "Referer: http://127.0.0.1:9292/qcli.htm\r\n"
              "Accept-Language: en-us\r\n"
              "Accept-Encoding: chunk\r\n"
              "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)\r\n"
              "Host: 127.0.0.1:9292\r\n"
              "Connection: close\r\n"
              "Authorization: Basic YWRtaW46cHc-Pw==\r\n\r\n");
}

TEST_F(HttpWire, TwoChunksOnePing) {
    // Both chunks are answered with status 2 and sense 5/24/00.
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: binary\r\n\r\n";
    RecordingPeer peer(2, head + std::string("\2\0\0\0\0\0\0\0\0\0\5\x24\0", 13));
    ASSERT_TRUE(peer.bound());
    const std::vector<int> read = {0x3C, 0x02, 0x41, 0, 0, 0, 0, 0x23, 0x78, 0, 0, 0, 0, 0, 0, 0};
    SCSI_COMMAND_STRUCT r = request(read, 0x2378, 1);
    std::vector<uint8_t> data(0x2378, 0xEE);
    testing::internal::CaptureStdout();
    EXPECT_EQ(issueOutOfBandRequest(&r, data.data()), 2);
    EXPECT_EQ(r.senseKey(), 5);
    EXPECT_EQ(r.asc(), 0x24);
    EXPECT_EQ(r.ascq(), 0);
    EXPECT_EQ(data[0], 0xEE);  // nothing returned, nothing copied

    const std::vector<int> write = {0x3B, 0x01, 0x80, 0, 0, 0, 0, 0, 0x10, 0, 0, 0, 0, 0, 0, 0};
    SCSI_COMMAND_STRUCT w = request(write, 16, 0);
    std::vector<uint8_t> out(16);
    for (int i = 0; i < 16; ++i) out[static_cast<size_t>(i)] = static_cast<uint8_t>('a' + i);
    EXPECT_EQ(issueOutOfBandRequest(&w, out.data()), 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\r\n");  // one ping, five echoes answered

    const auto& recorded = peer.requests();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[0], post(read, 0x2378, 1, std::string(1, '\0')));
    EXPECT_EQ(recorded[1], post(write, 16, 0, std::string(1, '\0') + "abcdefghijklmnop"));
}

TEST_F(HttpWire, ConnectionFailures) {
    struct Case {
        const char* address;
        std::string printed;
    } cases[] = {
        {"localhost",
         "Error: connect() returned an error. 111.\n"
         "       Check that server, 127.0.0.1, is accessible.\n"
         "       Check that server, localhost, is accessible.\n"
         "       Check that port number, 9292., is valid for that server.\n"},
        {"127.0.0.1",
         "Error: connect() returned an error. 111.\n"
         "       Check that server, 127.0.0.1, is accessible.\n"
         "       Check that port number, 9292., is valid for that server.\n"},
    };
    for (const Case& c : cases) {
        setOutOfBandParameters("admin", "pw", c.address);
        char* body = nullptr;
        int length = 0;
        testing::internal::CaptureStdout();
        EXPECT_EQ(httpIssueGetRequest("module=server", &body, &length), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
    }
}

TEST_F(HttpWire, PingTimesOutWhenEchoesAreIgnored) {
    const char* setting = "/proc/sys/net/ipv4/icmp_echo_ignore_all";
    std::ofstream(setting) << "1";  // this test's own namespace only
    setPingTimeout(50);
    testing::internal::CaptureStdout();
    EXPECT_EQ(ahping(0, "127.0.0.1", 2), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nping() request timed out.\nping() request timed out.\r\n");
    std::ofstream(setting) << "0";
    setPingTimeout(5000);
    testing::internal::CaptureStdout();
    EXPECT_EQ(ahping(0, "127.0.0.1", 2), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\r\n");
}

TEST(IcmpChecksum, Rfc1071) {
    // The RFC 1071 example words sum to 0xDDF2; the checksum is its complement.
    const uint8_t words[] = {0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7};
    EXPECT_EQ(CalcChecksum(words, sizeof words), 0x220D);
    uint8_t echo[12] = {8, 0, 0, 0, 0x12, 0x34, 0, 1, 'x', 'x', 'x', 'x'};
    const uint16_t sum = CalcChecksum(echo, sizeof echo);
    echo[2] = static_cast<uint8_t>(sum >> 8);
    echo[3] = static_cast<uint8_t>(sum);
    EXPECT_TRUE(ValidateChecksum(echo, sizeof echo));
    echo[11] = 'y';
    EXPECT_FALSE(ValidateChecksum(echo, sizeof echo));
}

uint32_t ip(const char* dotted) { return inet_addr(dotted); }

std::vector<uint8_t> reply(const char* magic, const char* staticIp, const char* dhcpIp, uint8_t marker,
                           const std::vector<uint8_t>& mac) {
    std::vector<uint8_t> d(NB_DATAGRAM_SIZE, 0);
    std::copy(magic, magic + 4, d.begin());
    d[4] = 'R';
    const uint32_t s = ip(staticIp), h = ip(dhcpIp);
    std::memcpy(&d[5 + 4], &s, 4);
    std::copy(mac.begin(), mac.end(), d.begin() + 5 + 107);
    d[5 + 125] = marker;
    std::memcpy(&d[5 + 126], &h, 4);
    return d;
}

const std::vector<uint8_t> kMacA = {0x00, 0x90, 0xC2, 0x12, 0x34, 0x56};
const std::vector<uint8_t> kMacB = {0x00, 0x90, 0xC2, 0x00, 0x00, 0x01};

TEST(ModuleDiscovery, AddressRules) {
    struct Case {
        const char* name;
        const char* staticIp;
        const char* dhcpIp;
        uint8_t marker;
        const char* source;
        const char* listed;  // nullptr: not listed
    } cases[] = {
        {"static equals source", "10.0.0.7", "0.0.0.0", 0xAA, "10.0.0.7", "10.0.0.7"},
        {"DHCP equals source", "0.0.0.0", "10.0.0.5", 0xAA, "10.0.0.5", "10.0.0.5"},
        {"marker not 0xAA: the source", "10.1.1.1", "0.0.0.0", 0x00, "10.0.0.9", "10.0.0.9"},
        {"static elsewhere", "10.1.2.3", "0.0.0.0", 0xAA, "10.0.0.9", "10.1.2.3"},
        {"no static, DHCP elsewhere", "0.0.0.0", "10.0.0.5", 0xAA, "10.0.0.9", "10.0.0.5"},
        {"no address at all", "0.0.0.0", "0.0.0.0", 0xAA, "10.0.0.9", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto d = reply("EQMB", c.staticIp, c.dhcpIp, c.marker, kMacA);
        NbRecord r;
        ASSERT_TRUE(nbParseReply(d.data(), d.size(), NB_KIND_SERVICE, ip(c.source), &r));
        uint32_t chosen = 0;
        EXPECT_EQ(DetermineValidIP(r.data(), &chosen), c.listed != nullptr);
        if (c.listed) {
            EXPECT_EQ(chosen, ip(c.listed));
        }
    }
}

TEST(ModuleDiscovery, RepliesAndListing) {
    auto a = reply("EQMB", "10.0.0.7", "0.0.0.0", 0xAA, kMacA);
    auto b = reply("EQMB", "10.0.0.8", "0.0.0.0", 0xAA, kMacB);
    auto sameMac = reply("EQMB", "10.0.0.99", "0.0.0.0", 0xAA, kMacA);
    NbRecord r;
    // The other kind's magic, a foreign magic and a datagram without one are not replies.
    EXPECT_FALSE(nbParseReply(a.data(), a.size(), NB_KIND_NETBURNER, ip("10.0.0.7"), &r));
    auto foreign = reply("XXXX", "10.0.0.7", "0.0.0.0", 0xAA, kMacA);
    EXPECT_FALSE(nbParseReply(foreign.data(), foreign.size(), NB_KIND_SERVICE, 0, &r));
    EXPECT_FALSE(nbParseReply(a.data(), 3, NB_KIND_SERVICE, 0, &r));
    // A short reply: the missing bytes read as zero.
    ASSERT_TRUE(nbParseReply(a.data(), 20, NB_KIND_SERVICE, ip("10.0.0.7"), &r));
    EXPECT_EQ(r[107], 0);

    std::vector<NbRecord> arrivals;
    for (auto* d : {&a, &b, &sameMac}) {
        const uint32_t source = ip(d == &b ? "10.0.0.8" : "10.0.0.7");
        ASSERT_TRUE(nbParseReply(d->data(), d->size(), NB_KIND_SERVICE, source, &r));
        arrivals.push_back(r);
    }
    int count = 0;
    EXPECT_EQ(nbListing(arrivals, NB_KIND_SERVICE, &count),
              "[ 1]  10.0.0.8          [00:90:C2:00:00:01]\n\n"
              "[ 2]  10.0.0.7          [00:90:C2:12:34:56]\n\n");
    EXPECT_EQ(count, 2);
    EXPECT_EQ(nbListing({arrivals[1]}, NB_KIND_NETBURNER, &count),
              "[ 1]  10.0.0.8          [00:90:C2:00:00:01]- eQM Not Loaded\n\n");
}

TEST(ModuleDiscovery, EthernetCountLeavesLoopbackOut) {
    std::string why;
    if (!testsupport::enterPrivateLoopback(&why)) GTEST_SKIP() << why;
    // The interface list shows interfaces with an IPv4 address whose link is up.
    ASSERT_EQ(testsupport::run({"/usr/sbin/ip", "link", "add", "eth0", "type", "veth", "peer", "name", "eth2"}).status, 0);
    ASSERT_EQ(testsupport::run({"/usr/sbin/ip", "link", "add", "eth1", "type", "veth", "peer", "name", "eth3"}).status, 0);
    const char* names[] = {"eth0", "eth1", "eth2"};
    for (int i = 0; i < 3; ++i) {
        const std::string address = "10.9." + std::to_string(i) + ".1/24";
        ASSERT_EQ(testsupport::run({"/usr/sbin/ip", "addr", "add", address, "dev", names[i]}).status, 0);
    }
    for (const char* name : {"eth0", "eth1"})
        ASSERT_EQ(testsupport::run({"/usr/sbin/ip", "link", "set", name, "up"}).status, 0);
    EXPECT_EQ(GetAllEthernetInterfaces(), "lo,eth0,eth1,");  // eth2 is down
    EXPECT_EQ(getEthernetCount(), 2);
}

}  // namespace
