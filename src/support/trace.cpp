#include "support/trace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

uint32_t g_ulPrintableTypes = 0xFFFFFFFF;
uint32_t g_ulPrintableDetail = 4;
uint32_t g_ulPrintableLocation = TRACE_TO_SCREEN;
uint32_t g_ulCurrentFile = 0;

const char* const kTraceFileNames[2] = {"DIDEDebug0.txt", "DIDEDebug1.txt"};

namespace {

// The opt-in trace: LQCL_TRACE names a file that receives every message whose
// type and detail bits meet LQCL_TRACE_TYPES and LQCL_TRACE_DETAIL (hexadecimal
// masks, all bits by default). Without it every message is discarded, at the
// cost of one test. The filter words above stay the program's own settings:
// start-up clears them, so the opt-in trace keeps masks of its own.
struct TraceSink {
    int fd = -1;
    uint32_t types = 0xFFFFFFFF;
    uint32_t detail = 0xFFFFFFFF;
};

uint32_t maskFromEnv(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return 0xFFFFFFFF;
    char* end = nullptr;
    errno = 0;
    unsigned long value = std::strtoul(text, &end, 16);
    if (errno != 0 || *end != '\0' || value > 0xFFFFFFFFul) {
        std::fprintf(stderr, "lqcl: %s=%s is not a hexadecimal mask; tracing everything\n", name, text);
        return 0xFFFFFFFF;
    }
    return static_cast<uint32_t>(value);
}

TraceSink openSink() {
    TraceSink sink;
    const char* path = std::getenv("LQCL_TRACE");
    if (path == nullptr || *path == '\0') return sink;
    // Never through a symbolic link, never into something that is not the
    // user's own regular file: the tool usually runs as root.
    int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) {
        std::fprintf(stderr, "lqcl: cannot open the trace file %s: %s\n", path, std::strerror(errno));
        return sink;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        std::fprintf(stderr, "lqcl: the trace file %s is not a regular file of this user; not tracing\n", path);
        ::close(fd);
        return sink;
    }
    sink.fd = fd;
    sink.types = maskFromEnv("LQCL_TRACE_TYPES");
    sink.detail = maskFromEnv("LQCL_TRACE_DETAIL");
    return sink;
}

const TraceSink& sink() {
    static const TraceSink s = openSink();
    return s;
}

}  // namespace

bool DIDEDebugEnabled(uint32_t types, uint32_t detail) {
    const TraceSink& s = sink();
    return s.fd >= 0 && (types & s.types) != 0 && (detail & s.detail) != 0;
}

void DIDEDebug(uint32_t types, uint32_t detail, const char* format, ...) {
    if (!DIDEDebugEnabled(types, detail)) return;
    char text[4096];
    int head = std::snprintf(text, sizeof text, "lqcl[%ld] %02X/%X ", static_cast<long>(::getpid()),
                             static_cast<unsigned>(types & 0xFF), static_cast<unsigned>(detail));
    va_list args;
    va_start(args, format);
    int body = std::vsnprintf(text + head, sizeof text - static_cast<size_t>(head), format, args);
    va_end(args);
    size_t length = static_cast<size_t>(head) + (body < 0 ? 0 : static_cast<size_t>(body));
    if (length > sizeof text - 2) length = sizeof text - 2;  // a longer message is cut, marked by the line end
    if (length == 0 || text[length - 1] != '\n') text[length++] = '\n';
    // One write per message: lines of concurrent processes do not interleave.
    ssize_t written = ::write(sink().fd, text, length);
    (void)written;
}

void DIDEDebugSetOutputDetail(uint32_t mask, uint32_t on) {
    if (on)
        g_ulPrintableDetail |= mask;
    else
        g_ulPrintableDetail &= ~mask;
    DIDEDebug(TRACE_ALL, DETAIL_SELF, "====== Debug O/P detail set to 0x%x", g_ulPrintableDetail);
}

void DIDEDebugSetOutputTypes(uint32_t mask, uint32_t on) {
    if (on)
        g_ulPrintableTypes |= mask;
    else
        g_ulPrintableTypes &= ~mask;
    DIDEDebug(TRACE_ALL, DETAIL_SELF, "====== Debug O/P types set to 0x%x", g_ulPrintableTypes);
}

void DIDEDebugSetOutputLocation(uint32_t location) {
    g_ulPrintableLocation = location;
    const char* where = location == TRACE_TO_SCREEN ? "Screen"
                        : location == TRACE_TO_FILE ? "File"
                                                    : "Discard";
    DIDEDebug(TRACE_ALL, DETAIL_SELF, "====== Debug Location set to %s", where);
}

void DIDEDebugClearAll() {
    for (const char* name : kTraceFileNames) {
        if (FILE* f = std::fopen(name, "w")) std::fclose(f);
    }
    g_ulCurrentFile = 0;
    DIDEDebug(TRACE_ALL, DETAIL_SELF,
              "====== Debug log cleared. Writing debug to file %s for non screen debug\n",
              kTraceFileNames[0]);
}

int formatBinaryDump(const uint8_t* data, int32_t length, char* out, int size) {
    std::string text = "   Data:\n";
    text += "          00 01 02 03 04 05 06 07 08 09 10 11 12 13 14 15 <----Decode---->\n";
    char cell[32];
    for (int32_t row = 0; data != nullptr && row < length; row += 16) {
        std::snprintf(cell, sizeof cell, "   %04d:  ", static_cast<int>(row));
        text += cell;
        char decode[17] = "                ";
        for (int32_t i = 0; i < 16; ++i) {
            if (row + i < length) {
                uint8_t b = data[row + i];
                std::snprintf(cell, sizeof cell, "%02x ", b);
                text += cell;
                decode[i] = std::isprint(b) ? static_cast<char>(b) : '.';
            } else {
                text += "   ";
            }
        }
        text += decode;
        text += '\n';
    }
    if (out != nullptr && size > 0) std::snprintf(out, static_cast<size_t>(size), "%s", text.c_str());
    return static_cast<int>(text.size());
}

void DIDEDebugDumpBinaryDataToScreen(const uint8_t* data, int32_t length) {
    std::string text(static_cast<size_t>(formatBinaryDump(data, length, nullptr, 0)) + 1, '\0');
    formatBinaryDump(data, length, text.data(), static_cast<int>(text.size()));
    DIDEDebug(TRACE_ALL, DETAIL_DATA, "%s", text.c_str());
}
