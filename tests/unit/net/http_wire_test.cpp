// The bytes the client puts on the wire, recorded by a small TCP peer inside a
// private network namespace (loopback only), compared with the request texts;
// the ICMP echo and the connection messages.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "net/http.h"
#include "net/oob.h"
#include "net/oob_params.h"
#include "support/netlab.h"

namespace {

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

}  // namespace
