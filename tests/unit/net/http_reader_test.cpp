// The response reader of the HTTP client on bytes in memory, Base64, and the
// reply layout of the command gateway.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "net/http.h"
#include "net/oob.h"
#include "support/base64.h"

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

}  // namespace
