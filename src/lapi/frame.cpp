#include "lapi/frame.h"

#include <cstdio>
#include <cstring>

#include "lapi/asc_decode.h"
#include "scsi/discovery.h"
#include "scsi/tolvo_builders.h"
#include "support/sleep.h"
#include "support/trace.h"

namespace {

const char* baseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

// A handle to RAID system `index`, with one rediscovery when it has none left.
uint32_t acquireHandle(int index, ITL_HANDLE_STRUCT** handle, const LapiSite& site) {
    const auto idx = static_cast<uint32_t>(index);
    if (index >= 0 && LAPIGetTolvoHandle(handle, idx) == 0) return LAPI_SUCCESS;
    const int line = static_cast<int>(site.where.line());
    const char* file = baseName(site.where.file_name());
    DIDEDebug(TRACE_LAPI, DETAIL_ERROR,
              "<-Out: ERROR: RAID System %d no more valid handles; Attempting address rediscovery. Line=%d, "
              "File='%s'\n",
              index, line, file);
    LAPIRediscoverRAIDSystems();
    if (index >= 0 && LAPIGetTolvoHandle(handle, idx) == 0) return LAPI_SUCCESS;
    DIDEDebug(TRACE_LAPI, DETAIL_ERROR,
              "<-Out: ERROR: RAID System %d no more valid handles! Address rediscovery was unsuccessful. Line=%d, "
              "File='%s'\n",
              index, line, file);
    return LAPI_ERR_NO_VALID_HANDLE;
}

}  // namespace

const char* LAPIStatusName(uint32_t wsc) {
    switch (wsc) {
        case WSC_GOOD: return "Status: Good";
        case WSC_CHECK_CONDITION: return "Status: Check Condition";
        case WSC_BUSY: return "Status: Busy";
        case WSC_CONFLICT: return "Status: Conflict";
        case WSC_BAD_PARAMETERS: return "Status: Bad Parameters";
        case WSC_OS_ERROR: return "Status: Operating System Error";
        default: return "Unknown";
    }
}

const char* LAPISenseKeyName(uint8_t senseKey) {
    static const char* const names[16] = {
        "OK",           "Recovered Error", "Not Ready ",       "Medium Error",    "Hardware Error", "Illegal Request",
        "Unit Attention", "Data Protect",  "Blank Check",      "Vendor Specific", "Copy Aborted",   "Aborted Command",
        "Obsolete - Equal", "Volume Overflow", "Miscompare",   "Reserved",
    };
    return names[senseKey & 0x0F];
}

void LAPICorrectForBusyStates(uint8_t* status, const SCSI_COMMAND_STRUCT* request) {
    if (*status == WSC_CHECK_CONDITION && request->senseKey() == 0x02 && request->asc() == 0x04 &&
        request->ascq() == 0x00)
        *status = WSC_BUSY;
}

bool LAPIAddressFailed(uint8_t status, const SCSI_COMMAND_STRUCT* request) {
    const uint8_t key = request->senseKey();
    return status == WSC_OS_ERROR || key == 0x02 || key == 0x03 || key == 0x04;
}

void LAPIBreakPoint() {
    // A place for a debugger breakpoint: every failure of the frame passes here.
}

uint32_t LAPIFrameHandle(int index, ITL_HANDLE_STRUCT** handle, const LapiSite& site) {
    if (index == LAPI_OUT_OF_BAND_INDEX) {
        LAPISetOutOfBandFlag(handle);
        return LAPI_SUCCESS;
    }
    return acquireHandle(index, handle, site);
}

LapiSend LAPIHeaderOnly(uint8_t bufferId, uint8_t b3, uint8_t b4, uint8_t b5) {
    return [=](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) { return TOLVO_SendHeaderOnly(h, r, bufferId, b3, b4, b5); };
}

void LAPITraceIn(const char* operation) { DIDEDebug(TRACE_LAPI, DETAIL_ENTRY_EXIT, "->In : %s", operation); }
void LAPITraceOut(const char* operation) { DIDEDebug(TRACE_LAPI, DETAIL_ENTRY_EXIT, "<-Out: %s", operation); }

uint32_t LAPIExecute(int index, const LapiSite& site, const LapiSend& send, LapiOutcome* outcome) {
    ITL_HANDLE_STRUCT* handle = nullptr;
    SCSI_COMMAND_STRUCT request{};
    uint8_t wsc = WSC_BAD_PARAMETERS;
    auto finish = [&](uint32_t result) {
        if (outcome != nullptr) {
            outcome->wsc = wsc;
            outcome->request = request;
        }
        return result;
    };

    if (index == LAPI_OUT_OF_BAND_INDEX) {
        LAPISetOutOfBandFlag(&handle);
        wsc = send(handle, &request);
        return finish(wsc == WSC_GOOD ? LAPI_SUCCESS : LAPI_ERR_COMMAND_FAILED);
    }

    if (acquireHandle(index, &handle, site) != LAPI_SUCCESS) return finish(LAPI_ERR_NO_VALID_HANDLE);
    const int line = static_cast<int>(site.where.line());
    const char* file = baseName(site.where.file_name());
    uint8_t& failures = tolvofailretrycount[index];
    uint8_t& busy = tolvobusyretrycount[index];

    failures = 0;
    do {
        busy = 0;
        do {
            std::memset(&request, 0, sizeof request);
            wsc = send(handle, &request);
            LAPICorrectForBusyStates(&wsc, &request);
            if (wsc == WSC_BUSY) {
                lqcl::sleepMicroseconds(LAPI_RETRY_DELAY_US);
                ++busy;
                std::printf("\n\nWARNING: RAID System %d busy retry (%d),\nLine=%d File ='%s'\nMacro='\"%s\"'\n\n",
                            index, busy, line, file, site.command);
                std::fflush(stdout);
            }
            if (wsc != WSC_GOOD) {
                LAPIBreakPoint();
                DIDEDebug(TRACE_LAPI, DETAIL_ERROR,
                          "\n\n===============\n%s-Wsc=%d (%s)\nSense: SK=%d (%s), ASC=%d, ASCQ=%d (%s),\nLine=%d File "
                          "='%s'\nMacro='\"%s\"'\n===============\n\n",
                          site.label, wsc, LAPIStatusName(wsc), request.senseKey(), LAPISenseKeyName(request.senseKey()),
                          request.asc(), request.ascq(), LAPIDecodeASCASQ(request.asc(), request.ascq()), line, file,
                          site.command);
            }
        } while (wsc == WSC_BUSY && busy < LAPI_BUSY_RETRIES);

        if (wsc != WSC_GOOD) {
            LAPIBreakPoint();
            if (LAPIAddressFailed(wsc, &request)) {
                DIDEDebug(TRACE_LAPI, DETAIL_ERROR,
                          "\n\nWARNING: RAID System %d Address failed wsc=%d (%s)\nFailing over to next "
                          "address.\nLine=%d, File='%s'\nMacro='\"%s\"'\n\n",
                          index, wsc, LAPIStatusName(wsc), line, file, site.command);
                LAPIInvalidateCurrentTolvoHandle(static_cast<uint32_t>(index));
                ++failures;
                if (acquireHandle(index, &handle, site) != LAPI_SUCCESS) return finish(LAPI_ERR_NO_VALID_HANDLE);
            } else {
                failures = LAPI_PATH_FAILOVERS + 1;
            }
        }
    } while (wsc != WSC_GOOD && failures < LAPI_PATH_FAILOVERS);

    return finish(wsc == WSC_GOOD ? LAPI_SUCCESS : LAPI_ERR_COMMAND_FAILED);
}

uint32_t LAPIConfigChange(int index, const LapiConfigStep& start, const LapiConfigStep& save,
                          const std::function<uint32_t()>& change, const std::function<uint32_t()>& refresh,
                          const char* errorLine, wire::CONFIG_CHANGE_STRUCT* bracket) {
    wire::CONFIG_CHANGE_STRUCT own{};
    if (bracket == nullptr) bracket = &own;
    uint32_t last = LAPI_ERR_COMMAND_FAILED;
    for (int attempt = 0; attempt < LAPI_CONFIG_CHANGE_ATTEMPTS; ++attempt) {
        last = start(index, bracket);
        if (last == LAPI_SUCCESS) {
            if (change() != LAPI_SUCCESS) {
                DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "%s", errorLine != nullptr ? errorLine : "");
                return LAPI_ERR_COMMAND_FAILED;
            }
            last = save(index, bracket);
            if (last == LAPI_SUCCESS) return refresh ? refresh() : LAPI_SUCCESS;
        }
        std::printf("\nInformation: Configuration change in progress. Retry: %d\n", attempt + 1);
        std::fflush(stdout);
        lqcl::sleepMicroseconds(LAPI_RETRY_DELAY_US);
    }
    return last;
}
