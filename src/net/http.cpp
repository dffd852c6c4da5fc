#include "net/http.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "net/oob_params.h"
#include "support/base64.h"

int httpErrorCode = 0;
char httpErrorString[100] = {};

namespace {

constexpr const char* kGateway = "/cgi-bin/cgiloader.cgi";
constexpr const char* kBoundaryPrefix = "--";
constexpr const char* kBoundary = "--------------QcLiPoStSv1234";

// Header texts that set the content type (recorded, nothing depends on it) and
// the chunked flag.
constexpr const char* kTypeChecks[] = {"Content-Type: text/html", "Content-Type: text", "Content-Type: binary"};
constexpr const char* kChunkCheck = "Transfer-Encoding: chunked";
int g_contentType = 0;

std::string credentials(const char* user, const char* password) {
    std::string plain = std::string(user ? user : "") + ":" + (password ? password : "");
    return lqcl::b64Encode(plain, lqcl::kB64UrlSafe);
}

bool startsLine(const char* line, int n) { return n == 2 && line[0] == '\r' && line[1] == '\n'; }

// Reads exactly n bytes unless the stream ends first; the count read, -1 on error.
ssize_t readFull(HttpStream& s, char* to, size_t n) {
    size_t got = 0;
    while (got < n) {
        ssize_t r = s.recv(to + got, n - got);
        if (r < 0) return -1;
        if (r == 0) break;
        got += static_cast<size_t>(r);
    }
    return static_cast<ssize_t>(got);
}

int readPlain(HttpStream& s, char* buffer, int capacity, int* length) {
    const ssize_t got = readFull(s, buffer, capacity > 0 ? static_cast<size_t>(capacity) : 0);
    if (got < 0) {
        std::printf("Error: recv() returned an error. %d.\n", errno);
        return 1;
    }
    *length = static_cast<int>(got);
    return 0;
}

int readChunked(HttpStream& s, char* buffer, int capacity, int* length) {
    char line[HTTP_CHUNK_LINE_CAPACITY];
    int total = 0;
    for (;;) {
        int n = httpSocketReadLine(s, line, sizeof line);
        if (n < 0) return 1;  // too long or a receive error, already reported
        unsigned size = 0;
        if (n > 0 && !startsLine(line, n)) {
            int numread = std::sscanf(line, "%x", &size);
            if (numread != 1) {
                std::printf("Error: Decoding HTTP chunked response. Invalid format. numread=%d.\n", numread);
                return 1;
            }
        }
        if (size == 0) break;
        if (size > static_cast<unsigned>(capacity - total)) {
            std::printf("Error: Receiving HTTP chunked response. Too much data.\n");
            return 1;
        }
        ssize_t got = readFull(s, buffer + total, size);
        if (got < 0) {
            std::printf("Error: recv() returned an error. %d.\n", errno);
            return 1;
        }
        if (static_cast<unsigned>(got) < size) {
            std::printf("Error: Receiving HTTP chunked response. Short data.\n");
            return 1;
        }
        total += static_cast<int>(size);
        if (httpSocketReadLine(s, line, sizeof line) < 0) return 1;
    }
    *length = total;
    return 0;
}

}  // namespace

ssize_t HttpStream::recv(void* to, size_t n) {
    if (n == 0) return 0;
    if (pos_ == have_) {
        pos_ = have_ = 0;
        if (mem_ != nullptr || fd_ < 0) {
            size_t left = memLength_ - memPos_;
            size_t take = left < sizeof buf_ ? left : sizeof buf_;
            if (take > 0) std::memcpy(buf_, mem_ + memPos_, take);
            memPos_ += take;
            have_ = take;
        } else {
            ssize_t r;
            do {
                r = ::recv(fd_, buf_, sizeof buf_, 0);
            } while (r < 0 && errno == EINTR);
            if (r <= 0) return r;
            have_ = static_cast<size_t>(r);
        }
        if (have_ == 0) return 0;
    }
    size_t take = have_ - pos_ < n ? have_ - pos_ : n;
    std::memcpy(to, buf_ + pos_, take);
    pos_ += take;
    return static_cast<ssize_t>(take);
}

char* httpResultsBuffer() {
    // calloc: the pages cost nothing until a body is written into them.
    static std::unique_ptr<char, decltype(&std::free)> buffer(
        static_cast<char*>(std::calloc(HTTP_RESULTS_BUFFER_SIZE, 1)), &std::free);
    return buffer.get();
}

int httpSocketOpen(const char* address, const char* port) {
    in_addr_t ip = inet_addr(address);
    if (ip == INADDR_NONE) {
        errno = 0;
        hostent* h = gethostbyname(address);
        if (h == nullptr || h->h_addrtype != AF_INET || h->h_addr_list[0] == nullptr) {
            std::printf("Error: gethostbyname() returned an error. %d.\n", errno);
            std::printf("       Check that server, %s, is accessible by its text name.\n", address);
            return -1;
        }
        std::memcpy(&ip, h->h_addr_list[0], sizeof ip);
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 6);
    if (fd < 0) {
        std::printf("Error: socket() returned an error. %d.\n", errno);
        std::printf("       Check that the TCP/IP protocol is available on your network.\n");
        return -1;
    }
    timeval tv{};
    tv.tv_sec = HTTP_DEFAULT_TIMEOUT_SECONDS;
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    int size = 65536;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);

    const long portNumber = std::strtol(port, nullptr, 10);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(portNumber));
    sa.sin_addr.s_addr = ip;
    int r;
    do {
        r = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        const int err = errno;
        const auto* b = reinterpret_cast<const uint8_t*>(&ip);
        std::printf("Error: connect() returned an error. %d.\n", err);
        std::printf("       Check that server, %d.%d.%d.%d, is accessible.\n", b[0], b[1], b[2], b[3]);
        if (std::strchr(address, '.') == nullptr)
            std::printf("       Check that server, %s, is accessible.\n", address);
        std::printf("       Check that port number, %ld., is valid for that server.\n", portNumber);
        closeSocket(&fd);
        return -1;
    }
    return fd;
}

bool httpSocketSend(int fd, const void* bytes, size_t length) {
    const auto* p = static_cast<const char*>(bytes);
    while (length > 0) {
        ssize_t w = ::send(fd, p, length, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            std::printf("Error: send() returned an error. %d.\n", errno);
            std::printf("       Check that the network is working properly.\n");
            return false;
        }
        p += w;
        length -= static_cast<size_t>(w);
    }
    return true;
}

void closeSocket(int* fd) {
    if (*fd < 0) return;
    if (::close(*fd) != 0) std::printf("net: closeSocket: close failed: errno = %d.\n", errno);
    *fd = -1;
}

int httpSocketReadLine(HttpStream& s, char* line, int capacity) {
    int count = 0;
    line[0] = '\0';
    for (;;) {
        char c;
        ssize_t r = s.recv(&c, 1);
        if (r == 0) break;
        if (r < 0) {
            std::printf("Error: recv() returned an error. %d.\n", errno);
            line[0] = '\0';
            return -1;
        }
        line[count++] = c;
        line[count] = '\0';
        if (count >= 2 && line[count - 2] == '\r' && c == '\n') break;
        if (count + 1 >= capacity) {
            std::printf("Error: httpSocketReadLine() returned an error. Line too long.\n");
            line[0] = '\0';
            return -1;
        }
    }
    return count;
}

int httpSocketReadHeader(HttpStream& s, bool* chunked) {
    *chunked = false;
    char line[HTTP_HEADER_LINE_CAPACITY];
    int n = httpSocketReadLine(s, line, sizeof line);
    if (n <= 0) {
        if (n == 0) std::printf("Error: Early end of data.\n");
        return 1;
    }
    const char* http = std::strstr(line, "HTTP/");
    const char* blank = http ? std::strchr(http, ' ') : nullptr;
    char* end = nullptr;
    long code = blank ? std::strtol(blank + 1, &end, 10) : 0;
    if (blank == nullptr || !std::isdigit(static_cast<unsigned char>(blank[1]))) {
        std::printf("Error: Received message not in HTML format.\n");
        return 1;
    }
    if (code != 200) {
        httpErrorCode = static_cast<int>(code);
        std::memset(httpErrorString, 0, sizeof httpErrorString);
        if (const char* reason = std::strchr(end, ' ')) {
            ++reason;
            size_t len = std::strcspn(reason, "\r");
            if (len > sizeof httpErrorString - 1) len = sizeof httpErrorString - 1;
            std::memcpy(httpErrorString, reason, len);
        }
        // A status number that reads as success (0) or does not fit is a failure all the same.
        return code > 1 && code < 100000 ? static_cast<int>(code) : 1;
    }
    for (;;) {
        n = httpSocketReadLine(s, line, sizeof line);
        if (n <= 0) {
            if (n == 0) std::printf("Error: Early end of data.\n");
            return 1;
        }
        if (n == 2) break;
        for (int i = 0; i < 3; ++i)
            if (std::strstr(line, kTypeChecks[i])) {
                g_contentType = i + 1;
                break;
            }
        if (std::strstr(line, kChunkCheck)) *chunked = true;
    }
    return 0;
}

int httpSocketReadData(HttpStream& s, bool chunked, char* buffer, int capacity, int* length) {
    *length = 0;
    int r = chunked ? readChunked(s, buffer, capacity, length) : readPlain(s, buffer, capacity, length);
    buffer[r == 0 ? *length : 0] = '\0';
    return r;
}

int httpReadResponse(HttpStream& s, char* buffer, int capacity, int* length) {
    bool chunked = false;
    *length = 0;
    buffer[0] = '\0';
    int r = httpSocketReadHeader(s, &chunked);
    if (r != 0) return r;
    return httpSocketReadData(s, chunked, buffer, capacity, length);
}

namespace {

// One request on one connection: open, send the pieces, read, close.
int exchange(const char* address, const char* port, std::string_view head, const uint8_t* file, size_t fileLength,
             std::string_view tail, char* buffer, int* length) {
    int fd = httpSocketOpen(address, port);
    if (fd < 0) return 1;
    int result = 1;
    if (httpSocketSend(fd, head.data(), head.size()) && (fileLength == 0 || httpSocketSend(fd, file, fileLength)) &&
        (tail.empty() || httpSocketSend(fd, tail.data(), tail.size()))) {
        HttpStream stream(fd);
        result = httpReadResponse(stream, buffer, *length, length);
    }
    closeSocket(&fd);
    return result;
}

}  // namespace

int httpUrlGet(const char* address, const char* port, std::string_view request, char* buffer, int* length) {
    return exchange(address, port, request, nullptr, 0, {}, buffer, length);
}

int httpIssueGetRequest(const char* query, char** body, int* length) {
    const char* address = outOfBandAddress().c_str();
    std::string request;
    request.reserve(512);
    request += "GET ";
    request += kGateway;
    request += "?";
    request += query;
    request += " HTTP/1.1\r\n";
    request += std::string("Referer: http://") + address + ":" + HTTP_PORT + "/qcli.htm\r\n";
    request += "Accept-Language: en-us\r\n";
    request += "Accept-Encoding: chunk\r\n";
    request += "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)\r\n";
    request += std::string("Host: ") + address + ":" + HTTP_PORT + "\r\n";
    request += "Connection: close\r\n";
    request += "Authorization: Basic " +
               credentials(outOfBandUser().c_str(), outOfBandPassword().c_str()) + "\r\n\r\n";
    char* buffer = httpResultsBuffer();
    int n = HTTP_BODY_CAPACITY;
    if (buffer == nullptr || httpUrlGet(address, HTTP_PORT, request, buffer, &n) != 0) return 0;
    *body = buffer;
    *length = n;
    return 1;
}

std::string httpPostArgsGenerate(const char* const* fields, const char* fileName) {
    const std::string delimiter = std::string(kBoundaryPrefix) + kBoundary + "\r\n";
    std::string form;
    form.reserve(4096);
    for (size_t i = 0; fields != nullptr && fields[i] != nullptr; i += 2) {
        form += delimiter;
        form += "Content-Disposition: form-data; name=\"";
        form += fields[i];
        form += "\"\r\n\r\n";
        if (fields[i + 1] != nullptr) form += fields[i + 1];
        form += "\r\n";
        if (fields[i + 1] == nullptr) break;
    }
    form += delimiter;
    form += "Content-Disposition: form-data; name=\"UploadedFile\"; filename=\"";
    form += fileName;
    form += "\"\r\n";
    form += "Content-Type: application/octet-stream\r\n\r\n";
    return form;
}

std::string httpPostClosingLine() { return std::string("-") + kBoundary + kBoundaryPrefix + "\r\n"; }

std::string httpPostHeader(const char* address, const char* port, const char* user, const char* password,
                           size_t contentLength) {
    std::string h;
    h.reserve(600);
    h += "POST ";
    h += kGateway;
    h += " HTTP/1.1\r\n";
    h += std::string("Referer: http://") + address + ":" + port + "/qcli.htm\r\n";
    h += "Pragma: no-cache\r\n";
    h += "Cache-control: no-cache\r\n";
    h += "Accept: text/*\r\n";
    h += "Accept-Language: en\r\n";
    h += "Accept-Encoding: x-gzip, gzip, identity\r\n";
    h += std::string("Host: ") + address + ":" + port + "\r\n";
    h += "Connection: close\r\n";
    h += "Authorization: Basic " + credentials(user, password) + "\r\n";
    h += std::string("Content-Type: multipart/form-data; boundary=") + kBoundaryPrefix + kBoundary + "\r\n";
    h += "Content-Length: " + std::to_string(contentLength) + "\r\n\r\n";
    return h;
}

int httpIssuePostRequest2(const char* address, const char* port, const char* user, const char* password,
                          const char* const* fields, const char* fileName, const uint8_t* file, size_t fileLength,
                          char** body, int* length) {
    const std::string form = httpPostArgsGenerate(fields, fileName);
    const std::string closing = httpPostClosingLine();
    std::string head = httpPostHeader(address, port, user, password, form.size() + fileLength + closing.size());
    head += form;
    char* buffer = httpResultsBuffer();
    if (buffer == nullptr) return 1;
    int n = HTTP_BODY_CAPACITY;
    int r = exchange(address, port, head, file, fileLength, closing, buffer, &n);
    if (r != 0) return r;
    *body = buffer;
    *length = n;
    return 0;
}
