// Status reporting and the shared output text.
//
// Every command method appends its report to Global::string, hands its final
// status to Global::errorHandler and prints the text. Only the first error of a
// process is reported; the exit status follows the last report (0 or 1).
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

class Global {
public:
    Global();

    // The shared output text. It grows as needed, so no report is ever cut or
    // written past an end.
    static std::string string;
    static uint8_t fMode;          // hexadecimal output mode (-X)
    static uint8_t fErrorHandled;  // 1 once a non-zero status has been reported
    static uint8_t s_errorCode;    // exit status: 0 or 1

    int setHex(uint8_t flag);
    uint8_t hexFlag() const { return m_hex; }
    static void setErrorHandled(uint8_t flag) { fErrorHandled = flag; }

    // Appends value as "0x%X" in hexadecimal mode, unsigned decimal otherwise.
    static void format(uint32_t value);
    // Reports a status code: 0 resets the exit status; the first non-zero code
    // appends its message and "Return code" line and sets the exit status to 1.
    static void errorHandler(uint32_t code);

    // printf-style append to the shared text.
    static void append(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
    static void vappend(const char* fmt, va_list ap);
    // Prints the shared text on standard output ("%s") and clears it.
    static void print();
    // The end of every command: reports `code`, prints the shared text, returns `code`.
    static uint32_t report(uint32_t code);
    // The text of a status code, as errorHandler writes it (without the
    // surrounding line ends); the unknown-code text for codes not in the table.
    static const char* message(uint32_t code);
    // The exit status of a process that ran its command to the end: the
    // reported status, or 1 (with a message on standard error) when standard
    // output could not be written, so that no lost report passes for success.
    static int exitStatus();

private:
    uint8_t m_hex = 0;
};

// Status codes of the command objects' own checks.
inline constexpr uint32_t CMD_ERR_MEMORY = 2001;
inline constexpr uint32_t CMD_ERR_INVALID_LUN_INDEX = 2002;
inline constexpr uint32_t CMD_ERR_INVALID_DEVICE_INDEX = 2003;
inline constexpr uint32_t CMD_ERR_INVALID_ARRAY_INDEX = 2004;
inline constexpr uint32_t CMD_ERR_INVALID_HOST_INDEX = 2005;
inline constexpr uint32_t CMD_ERR_INVALID_LUN_MAP_INDEX = 2006;
inline constexpr uint32_t CMD_ERR_INVALID_SPARE_INDEX = 2007;
inline constexpr uint32_t CMD_ERR_INVALID_REGION_INDEX = 2008;
inline constexpr uint32_t CMD_ERR_INVALID_RAID_LEVEL = 2009;
inline constexpr uint32_t CMD_ERR_INVALID_STRIPE_SIZE = 2010;
inline constexpr uint32_t CMD_ERR_INVALID_ODA_INDEX = 2011;
inline constexpr uint32_t CMD_ERR_INSUFFICIENT_FREE_REGIONS = 2012;
inline constexpr uint32_t CMD_ERR_INVALID_CONTROLLER_INDEX = 2013;
inline constexpr uint32_t CMD_ERR_CANNOT_OPEN_FILE = 2014;
inline constexpr uint32_t CMD_ERR_INVALID_SLOT_INDEX = 2015;
inline constexpr uint32_t CMD_ERR_INVALID_TIMING_RANGE = 2016;
inline constexpr uint32_t CMD_ERR_NO_LOOP_ID = 2017;
inline constexpr uint32_t CMD_ERR_INVALID_SELECTION = 2018;
inline constexpr uint32_t CMD_ERR_INVALID_DATE_TIME = 2019;
inline constexpr uint32_t CMD_ERR_APM_REQUEST_INVALID = 2020;
inline constexpr uint32_t CMD_ERR_INVALID_ENCLOSURE_INDEX = 2021;
inline constexpr uint32_t CMD_ERR_FIRMWARE_DOWNLOAD = 2022;
inline constexpr uint32_t CMD_ERR_NO_CONFIGURATION = 2023;
inline constexpr uint32_t CMD_ERR_INVALID_MODE = 2024;
inline constexpr uint32_t CMD_ERR_INVALID_OUT_OF_BAND_REQUEST = 2025;
inline constexpr uint32_t CMD_ERR_SNAPSHOT_REQUEST = 2026;
inline constexpr uint32_t CMD_ERR_INVALID_CONTROLLER_TYPE = 2027;
inline constexpr uint32_t CMD_ERR_INVALID_BACK_OFF = 2028;
inline constexpr uint32_t CMD_ERR_INVALID_CACHE_SIZE = 2029;
inline constexpr uint32_t CMD_ERR_INVALID_PORT = 2030;
inline constexpr uint32_t CMD_ERR_CONFIG_CHANGE_IN_PROGRESS = 2031;
inline constexpr uint32_t CMD_ERR_INVALID_HOST_BLOCK_SIZE = 2032;
inline constexpr uint32_t CMD_ERR_INVALID_LD_NAME = 2033;
inline constexpr uint32_t CMD_ERR_FIRMWARE_UNSUPPORTED = 2034;
inline constexpr uint32_t CMD_ERR_INVALID_ODA_LD_NAME = 2035;
inline constexpr uint32_t CMD_ERR_INVALID_ARRAY_NAME = 2036;
inline constexpr uint32_t CMD_ERR_NO_LUN_MAPPINGS = 2037;
inline constexpr uint32_t CMD_ERR_INVALID_CHUNK_SIZE = 2039;
inline constexpr uint32_t CMD_ERR_ARRAY_OPERATION_IN_PROGRESS = 2041;
inline constexpr uint32_t CMD_ERR_ARRAY_NOT_INITIALIZED = 2042;
