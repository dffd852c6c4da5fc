// A small blocking HTTP/1.1 client for the web server of the enclosure's
// network module: one request per TCP connection (a GET with a query, or a
// multipart POST with an uploaded file), Basic authentication, a status line,
// header and body reader (plain or chunked) with fixed limits, and fixed
// messages on standard output for every failure.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The module's web server port.
inline constexpr const char* HTTP_PORT = "9292";
// The process-wide results buffer: 10 MiB of body and a terminating zero.
inline constexpr size_t HTTP_RESULTS_BUFFER_SIZE = 10485761;
inline constexpr int HTTP_BODY_CAPACITY = 0xA00000;
// Longest line of a response head, and of a chunk size line (terminator included).
inline constexpr int HTTP_HEADER_LINE_CAPACITY = 3072;
inline constexpr int HTTP_CHUNK_LINE_CAPACITY = 100;
// Receive and send time-out of a connection, in seconds. The module runs the
// controller command before it answers, and a vendor command may take the
// 120 s it is given; 30 s more cover the network. A silent module fails the
// request instead of holding the tool.
inline constexpr int HTTP_DEFAULT_TIMEOUT_SECONDS = 150;

// The status number and reason phrase of the last HTTP failure.
extern int httpErrorCode;
extern char httpErrorString[100];

// Where a response is read from: a connected socket, or (for tests and fuzzing)
// bytes in memory. Reads are buffered; the bytes seen are those of the stream.
class HttpStream {
public:
    explicit HttpStream(int fd) : fd_(fd) {}
    HttpStream(const void* bytes, size_t length)
        : mem_(static_cast<const uint8_t*>(bytes)), memLength_(length) {}
    // Up to `n` bytes; 0 when the peer closed, -1 on an error (errno set).
    ssize_t recv(void* to, size_t n);

private:
    int fd_ = -1;
    const uint8_t* mem_ = nullptr;
    size_t memLength_ = 0;
    size_t memPos_ = 0;
    uint8_t buf_[16384];
    size_t have_ = 0;
    size_t pos_ = 0;
};

// The whole process's results buffer (allocated on first use).
char* httpResultsBuffer();

// Connects to the address (dotted IPv4 or a host name) and port; -1 after its
// message on failure.
int httpSocketOpen(const char* address, const char* port);
// Sends all bytes; false after its message.
bool httpSocketSend(int fd, const void* bytes, size_t length);
void closeSocket(int* fd);

// One line up to CR LF (kept) or the end of the stream; the number of bytes
// stored (zero-terminated; 0 when the stream had ended), -1 after its message
// when the line does not fit the capacity or the receive failed.
int httpSocketReadLine(HttpStream& s, char* line, int capacity);
// Status line and headers: 0 and the chunked flag, else the HTTP status
// number (not 200) or 1.
int httpSocketReadHeader(HttpStream& s, bool* chunked);
// The body into `buffer` (capacity bytes plus a terminating zero); 0 and the
// length, else 1.
int httpSocketReadData(HttpStream& s, bool chunked, char* buffer, int capacity, int* length);
// Head and body: 0, else the value of httpSocketReadHeader or 1.
int httpReadResponse(HttpStream& s, char* buffer, int capacity, int* length);

// Sends `request` and reads the response into `buffer` (room for *length
// bytes plus a zero); *length becomes the body length. 0 or the failure value.
int httpUrlGet(const char* address, const char* port, std::string_view request, char* buffer, int* length);

// GET /cgi-bin/cgiloader.cgi?<query> with the out-of-band credentials: 1 and
// the body (in the results buffer), else 0.
int httpIssueGetRequest(const char* query, char** body, int* length);

// The multipart form of the POST: each (name, value) pair of `fields` (a list
// ending with a null pointer) as a form field, then the file part "UploadedFile"
// named `fileName` whose head ends the text; the file bytes and the closing
// line follow it on the wire.
std::string httpPostArgsGenerate(const char* const* fields, const char* fileName);
// The closing line of the form.
std::string httpPostClosingLine();
// The request head of the POST for a form of `contentLength` bytes.
std::string httpPostHeader(const char* address, const char* port, const char* user, const char* password,
                           size_t contentLength);

// POST /cgi-bin/cgiloader.cgi with the fields and the file bytes (built in
// memory and uploaded as `fileName`): 0 and the body (in the results buffer),
// else the HTTP status number or 1.
int httpIssuePostRequest2(const char* address, const char* port, const char* user, const char* password,
                          const char* const* fields, const char* fileName, const uint8_t* file, size_t fileLength,
                          char** body, int* length);
