// The frame every library-API operation runs its vendor commands in: it picks
// a path to the RAID system, sends, retries while the controller is busy,
// fails over to the next path when a path fails, asks for one rediscovery when
// no path is left, and turns the outcome into a library-API status code.
#pragma once

#include <cstdint>
#include <functional>

#include "lapi/lapi_status.h"
#include "scsi/scsi_types.h"
#include "wire/requests.h"

inline constexpr int LAPI_BUSY_RETRIES = 20;
inline constexpr int LAPI_PATH_FAILOVERS = 7;
inline constexpr int LAPI_CONFIG_CHANGE_ATTEMPTS = 20;
inline constexpr uint32_t LAPI_RETRY_DELAY_US = 250000;

// Sends one vendor command through `handle`: builds the CDB afresh in
// `request` (setTolvoCdb or a TOLVO_* builder) and returns the wsc.
using LapiSend = std::function<uint8_t(ITL_HANDLE_STRUCT* handle, SCSI_COMMAND_STRUCT* request)>;

// The source file and line of the code that names a LapiSite (the place the
// site is written). std::source_location would do, but clang before 15 cannot
// compile it with this library, and the fuzz build uses clang.
struct LapiWhere {
    const char* file;
    unsigned lineNumber;
    static constexpr LapiWhere current(const char* file = __builtin_FILE(), unsigned line = __builtin_LINE()) {
        return {file, line};
    }
    const char* file_name() const { return file; }
    unsigned line() const { return lineNumber; }
};

// What the messages of the frame name: the vendor command (for example
// "TOLVO_GetAllHostInfo"), the frame variant ("LAPI_EXECUTE_3") and the source
// line of the operation.
struct LapiSite {
    const char* command;
    const char* label = "LAPI_EXECUTE_3";
    LapiWhere where = LapiWhere::current();
};

// The send of a header-only vendor command (TOLVO_SendHeaderOnly).
LapiSend LAPIHeaderOnly(uint8_t bufferId, uint8_t b3, uint8_t b4, uint8_t b5);

// The last outcome of a framed command, for operations that look at it.
struct LapiOutcome {
    uint8_t wsc = WSC_BAD_PARAMETERS;
    SCSI_COMMAND_STRUCT request{};
};

// NOT READY, LOGICAL UNIT NOT READY (cause not reportable) is a busy controller.
void LAPICorrectForBusyStates(uint8_t* status, const SCSI_COMMAND_STRUCT* request);
// Outcomes blamed on the path rather than on the command.
bool LAPIAddressFailed(uint8_t status, const SCSI_COMMAND_STRUCT* request);
// Called at every failure point of the frame.
void LAPIBreakPoint();

// Runs one vendor command in the frame for RAID system `index`; returns
// LAPI_SUCCESS, LAPI_ERR_COMMAND_FAILED or LAPI_ERR_NO_VALID_HANDLE.
uint32_t LAPIExecute(int index, const LapiSite& site, const LapiSend& send, LapiOutcome* outcome = nullptr);

// The handle an operation sends through outside the busy retry: the
// out-of-band record for index 191, else the system's first valid path after
// one rediscovery when it has none; LAPI_ERR_NO_VALID_HANDLE when that fails.
uint32_t LAPIFrameHandle(int index, ITL_HANDLE_STRUCT** handle, const LapiSite& site);

// Entry and exit trace lines of an operation.
void LAPITraceIn(const char* operation);
void LAPITraceOut(const char* operation);

// An operation of one framed command between its entry and exit lines; on
// failure `onError` is given the wsc (to trace the operation's error line).
template <typename OnError>
uint32_t LAPIFramedOperation(int index, const char* operation, const LapiSite& site, const LapiSend& send,
                             OnError&& onError) {
    LAPITraceIn(operation);
    LapiOutcome outcome;
    uint32_t result = LAPIExecute(index, site, send, &outcome);
    if (result != LAPI_SUCCESS) onError(outcome.wsc);
    LAPITraceOut(operation);
    return result;
}

// The bracket of a configuration change: up to 20 attempts of start, the
// change itself and save, 250 ms apart, each failed start or save announced
// with an "Information" line. `change` runs the framed command(s); when it
// fails, `errorLine` is traced and 1003 returned. After a successful save,
// `refresh` (optional) gives the result. After 20 attempts the last start or
// save result is returned.
using LapiConfigStep = std::function<uint32_t(int index, wire::CONFIG_CHANGE_STRUCT* change)>;
// `bracket` (optional) is the record handed to start and save.
uint32_t LAPIConfigChange(int index, const LapiConfigStep& start, const LapiConfigStep& save,
                          const std::function<uint32_t()>& change, const std::function<uint32_t()>& refresh,
                          const char* errorLine, wire::CONFIG_CHANGE_STRUCT* bracket = nullptr);
