#include "net/oob.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "net/http.h"
#include "support/sleep.h"
#include "wire/byteorder.h"
#include "wire/vendor_ops.h"
#include "net/oob_params.h"

namespace {

bool g_pinged = false;
int g_pingTimeoutMs = 5000;

constexpr size_t kEchoLength = 40;
constexpr size_t kEchoData = 32;

// One ICMP socket: raw where permitted, else the unprivileged datagram kind
// (the kernel then chooses the identifier and hands over the ICMP part only).
struct IcmpSocket {
    int fd = -1;
    bool datagram = false;
    IcmpSocket() {
        fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, 1);
        if (fd < 0 && (errno == EPERM || errno == EACCES)) {
            fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
            datagram = fd >= 0;
        }
    }
    ~IcmpSocket() {
        if (fd >= 0) ::close(fd);
    }
    IcmpSocket(const IcmpSocket&) = delete;
    IcmpSocket& operator=(const IcmpSocket&) = delete;
};

// Waits for the reply to one echo. 1 answered, 0 timed out or not correct, -1 receive error.
int awaitReply(const IcmpSocket& s, uint16_t id, uint16_t seq, const uint8_t* sent) {
    const int64_t deadline = lqcl::monotonicMilliseconds() + g_pingTimeoutMs;
    for (;;) {
        const int64_t left = deadline - lqcl::monotonicMilliseconds();
        pollfd p{s.fd, POLLIN, 0};
        int r = left > 0 ? ::poll(&p, 1, static_cast<int>(left)) : 0;
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            std::printf("\nping() request timed out.");
            return 0;
        }
        uint8_t packet[1500];
        ssize_t n = ::recv(s.fd, packet, sizeof packet, 0);
        if (n < 0) return -1;
        // The ICMP part: after the IPv4 header on a raw socket.
        size_t ip = 0;
        if (!s.datagram) {
            if (n < 20) continue;
            ip = static_cast<size_t>(packet[0] & 0x0F) * 4;
            if (ip < 20 || static_cast<size_t>(n) < ip) continue;
        }
        const uint8_t* icmp = packet + ip;
        const size_t icmpLength = static_cast<size_t>(n) - ip;
        if (icmpLength < 8) continue;
        const uint16_t gotId = wire::loadBe16(icmp + 4);
        const uint16_t gotSeq = wire::loadBe16(icmp + 6);
        // Other ICMP traffic (our own request seen on loopback, other
        // programs' echoes) is not the answer: keep waiting.
        if (icmp[0] != 0 || (!s.datagram && gotId != id)) continue;
        size_t dataLength = icmpLength - 8;
        if (dataLength > kEchoData) dataLength = kEchoData;
        if (gotSeq == seq && ValidateChecksum(icmp, icmpLength) &&
            std::memcmp(icmp + 8, sent + 8, dataLength) == 0)
            return 1;
        std::printf("\nThe echo reply to ping() is not correct!");
        return 0;
    }
}

}  // namespace

uint16_t CalcChecksum(const uint8_t* bytes, size_t length) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2) sum += static_cast<uint32_t>(bytes[i] << 8 | bytes[i + 1]);
    if (length & 1) sum += static_cast<uint32_t>(bytes[length - 1] << 8);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

bool ValidateChecksum(const uint8_t* bytes, size_t length) { return CalcChecksum(bytes, length) == 0; }

bool ResolveIP(const char* name, std::string* dotted) {
    hostent* h = gethostbyname(name);
    if (h == nullptr || h->h_addrtype != AF_INET || h->h_addr_list[0] == nullptr) return false;
    in_addr a{};
    std::memcpy(&a, h->h_addr_list[0], sizeof a);
    *dotted = inet_ntoa(a);
    return true;
}

void setPingTimeout(int milliseconds) { g_pingTimeoutMs = milliseconds; }

int ahping(int /*unused*/, const char* host, int count) {
    char name[256] = {};
    std::strncpy(name, host ? host : "", sizeof name - 1);
    std::string dotted;
    if (!ResolveIP(name, &dotted)) {
        std::printf("\nError: Unable to resolve hostname: %s\nCode:  %d\n", name, OOB_HOST_NOT_FOUND);
        return OOB_HOST_NOT_FOUND;
    }
    IcmpSocket s;
    if (s.fd < 0) {
        std::printf("\nError: ping() cannot open an ICMP socket: the privilege to open raw sockets is missing.\n");
        return -1;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = inet_addr(dotted.c_str());
    const uint16_t id = static_cast<uint16_t>(std::rand() ^ getpid());
    uint16_t seq = 0;
    int answered = 0;
    for (int i = 0; i < count; ++i) {
        uint8_t echo[kEchoLength] = {8, 0, 0, 0};
        wire::putBe16(echo + 4, id);
        wire::putBe16(echo + 6, seq);
        std::memset(echo + 8, 'x', kEchoData);
        wire::putBe16(echo + 2, CalcChecksum(echo, sizeof echo));
        if (::sendto(s.fd, echo, sizeof echo, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0) return -1;
        int r = awaitReply(s, id, seq, echo);
        ++seq;
        if (r < 0) return -1;
        answered += r;
    }
    std::printf("\r\n");
    return answered == count ? 0 : -1;
}

void resetOutOfBandPing() { g_pinged = false; }

std::vector<std::string> qclRequestFields(const SCSI_COMMAND_STRUCT& r, const std::string& address) {
    std::vector<std::string> f;
    f.reserve(OOB_FORM_TEXTS);
    auto add = [&](std::string name, std::string value) {
        f.push_back(std::move(name));
        f.push_back(std::move(value));
    };
    add("ip", address);
    add("port", HTTP_PORT);
    add("module", "Tolvo");
    add("method", "qcl");
    for (int i = 0; i < 16; ++i) add("CDB" + std::to_string(i), std::to_string(r.cdb[i]));
    add("BufferLength", std::to_string(r.dataLength));
    add("CDBlength", std::to_string(r.cdbLength));
    add("TimeOutInSeconds", std::to_string(r.timeout));
    add("CDBdirection", std::to_string(r.direction));
    add("p0", "--type");
    add("p1", "Tolvo");
    add("p2", "--sfile");
    add("p3", "outgoing");
    add("p4", "--rfile");
    add("p5", "incoming");
    return f;
}

std::vector<uint8_t> qclUploadBytes(const SCSI_COMMAND_STRUCT& r, const uint8_t* data) {
    const bool carries = r.cdb[0] == wire::kOpWriteBuffer && r.dataLength > 0 && data != nullptr;
    std::vector<uint8_t> file(1 + (carries ? r.dataLength : 0), 0);
    if (carries) std::memcpy(file.data() + 1, data, r.dataLength);
    return file;
}

int qclApplyReply(SCSI_COMMAND_STRUCT* r, uint8_t* data, const uint8_t* body, size_t length) {
    if (length < OOB_REPLY_HEADER) {
        std::printf("Failed to execute the command.\n");
        return 255;
    }
    const uint32_t status = wire::loadLe32(body);
    const uint32_t declared = wire::loadLe32(body + 5);
    const size_t available = length - OOB_REPLY_HEADER;
    const uint32_t returned = declared < available ? declared : static_cast<uint32_t>(available);
    r->senseData[2] = static_cast<uint8_t>((r->senseData[2] & 0xF0) | (body[10] & 0x0F));
    r->senseData[12] = body[11];
    r->senseData[13] = body[12];
    const uint32_t asked = r->dataLength;
    if ((r->cdb[0] == wire::kOpReadBuffer || r->cdb[0] == wire::kOpReceiveDiagnostic) && data != nullptr)
        std::memcpy(data, body + OOB_REPLY_HEADER, returned < asked ? returned : asked);
    r->dataLength = returned;
    return status > 0x7FFFFFFF ? 255 : static_cast<int>(status);
}

int issueOutOfBandRequest(SCSI_COMMAND_STRUCT* request, uint8_t* data) {
    const std::string& user = outOfBandUser();
    const std::string& password = outOfBandPassword();
    const std::string& address = outOfBandAddress();
    if (!g_pinged) {
        g_pinged = true;
        int r = ahping(0, address.c_str(), OOB_PING_COUNT);
        if (r != 0) return r;
    }
    const std::vector<std::string> texts = qclRequestFields(*request, address);
    const char* fields[OOB_FORM_TEXTS + 1] = {};
    for (size_t i = 0; i < texts.size() && i < OOB_FORM_TEXTS; ++i) fields[i] = texts[i].c_str();
    const std::vector<uint8_t> file = qclUploadBytes(*request, data);

    char* body = nullptr;
    int length = 0;
    int r = httpIssuePostRequest2(address.c_str(), HTTP_PORT, user.c_str(), password.c_str(), fields, "outgoing",
                                  file.data(), file.size(), &body, &length);
    if (r != 0) {
        if (r == 401) std::printf("\nError: Incorrect username or password\nCode:  %d\n", r);
        return r;
    }
    return qclApplyReply(request, data, reinterpret_cast<const uint8_t*>(body), static_cast<size_t>(length));
}

uint8_t outOfBandSend(SCSI_COMMAND_STRUCT* request, uint8_t* data) {
    int r = issueOutOfBandRequest(request, data);
    return r >= 0 && r <= 255 ? static_cast<uint8_t>(r) : 255;
}
