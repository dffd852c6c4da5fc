#include "commands/global.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "support/string_utils.h"

std::string Global::string;
uint8_t Global::fMode = 0;
uint8_t Global::fErrorHandled = 0;
uint8_t Global::s_errorCode = 0;

namespace {

struct CodeText {
    uint32_t code;
    const char* text;
};

// Library-API results (1000-1020) and the command objects' own checks (2001-2042).
constexpr CodeText kMessages[] = {
    {1000, "LAPI call failed: Timeout."},
    {1001, "LAPI call failed: Bad Controller API Parameters."},
    {1002, "LAPI call failed: Comms failed."},
    {1003, "LAPI call failed: Command to controller fails."},
    {1004, "LAPI call failed: Cannot talk to controller A."},
    {1005, "LAPI call failed: Cannot talk to controller B."},
    {1006, "LAPI call failed: Cannot open or write to file."},
    {1007, "LAPI call failed: No valid tolvo handle."},
    {1008, "LAPI call failed: End of data."},
    {1009, "LAPI call failed: Read failed."},
    {1010, "LAPI call failed: Cannot access RAID system."},
    {1011, "LAPI call failed: Command worked, but data unread."},
    {1012, "LAPI call failed: System halted."},
    {1013, "LAPI call failed: Mapping exits for lun number."},
    {1014, "LAPI call failed: APM feature not enabled."},
    {1015, "LAPI call failed: Asynchronous configuration handshake feature not enabled."},
    {1016, "LAPI call failed: Advance Performance feature not enabled."},
    {1017, "LAPI call failed: Start Config in progress."},
    {1018, "LAPI call failed: Save Config in progress."},
    {1019, "LAPI call failed: Array expansion in progress."},
    {1020, "LAPI call failed: Configuration unavailable."},
    {2001, "Error: Memory Allocation Error."},
    {2002, "Error: Invalid LUN index."},
    {2003, "Error: Invalid device index."},
    {2004, "Error: Invalid array index."},
    {2005, "Error: Invalid host index."},
    {2006, "Error: Invalid lun map index."},
    {2007, "Error: Invalid spare index."},
    {2008, "Error: Invalid region index."},
    {2009, "Error: Invalid RAID level."},
    {2010, "Error: Invalid stripe size."},
    {2011, "Error: Invalid ODA index."},
    {2012, "Error: Insufficient free regions."},
    {2013, "Error: Invalid controller index."},
    {2014, "Error: Cannot open file specified."},
    {2015, "Error: Invalid slot index."},
    {2016, "Error: Invalid timing range."},
    {2017, "Error: No Loop ID."},
    {2018, "Error: Invalid selection."},
    {2019, "Error: Invalid date or time specified."},
    {2020, "Error: APM request invalid."},
    {2021, "Error: Invalid enclosure index."},
    {2022, "Error: Fail to download firmware."},
    {2023, "Error: No valid configuration exists."},
    {2024, "Error: Invalid mode."},
    {2025, "Error: Invalid out of band request."},
    {2026, "Error: Snapshot request not valid."},
    {2027, "Error: Invalid controller type."},
    {2028, "Error: Invalid back off percent."},
    {2029, "Error: Invalid cache size."},
    {2030, "Error: Invalid port selected."},
    {2031, "Error: Configuration change in progress. Please try again later."},
    {2032, "Error: Invalid host block size selected."},
    {2033, "Error: Invalid logical drive name."},
    {2034, "Error: Firmware version does not support this command."},
    {2035, "Error: Invalid ODA Logical Drive name."},
    {2036, "Error: Invalid array name."},
    {2037, "Error: No LUN mappings found for the specified Host and Logical Disk."},
    {2039, "Error: Create Array failed. Invalid chunk size."},
    {2041, "Error: Array operation in progress:"
           "\n       (initialization, expansion, rebuilding or parity check)\n"},
    {2042, "Array has not been fully initialized."},
};

constexpr const char* kUnknown = "Error: This error code is unknown!";

// The second process-wide reporter object that the reporting module keeps of its own.
Global g_reporter;

}  // namespace

Global::Global() {
    string.clear();
    fErrorHandled = 0;
}

int Global::setHex(uint8_t flag) {
    m_hex = flag;
    return 0;
}

void Global::vappend(const char* fmt, va_list ap) { vappendf(string, fmt, ap); }

void Global::append(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vappend(fmt, ap);
    va_end(ap);
}

void Global::format(uint32_t value) {
    // Decimal as unsigned: a field above 0x7FFFFFFF (a block address, say) must
    // not come out as a negative number.
    if (fMode == 1) append("0x%X", value);
    else append("%u", value);
}

const char* Global::message(uint32_t code) {
    for (const auto& m : kMessages)
        if (m.code == code) return m.text;
    return kUnknown;
}

void Global::errorHandler(uint32_t code) {
    if (code == 0) {
        s_errorCode = 0;
        return;
    }
    if (fErrorHandled == 1) return;
    append("\n%s\n", message(code));
    append("Return code: %d\n", static_cast<int>(code));
    s_errorCode = 1;
    fErrorHandled = 1;
}

namespace {
int g_outputErrno = 0;  // errno of the first failed write to standard output
}  // namespace

void Global::print() {
    // Printed as a C string, as "%s" would: the text stops at an embedded NUL.
    fputs(string.c_str(), stdout);
    if (fflush(stdout) != 0 && g_outputErrno == 0) g_outputErrno = errno;
    string.clear();
}

int Global::exitStatus() {
    if (fflush(stdout) != 0 && g_outputErrno == 0) g_outputErrno = errno;
    if (!ferror(stdout)) return s_errorCode;
    if (g_outputErrno != 0)
        fprintf(stderr, "lqcl: error writing standard output: %s\n", strerror(g_outputErrno));
    else
        fprintf(stderr, "lqcl: error writing standard output\n");
    return 1;
}

uint32_t Global::report(uint32_t code) {
    errorHandler(code);
    print();
    return code;
}
