#include "lapi/enclosure.h"

#include <cstring>
#include <string>
#include <vector>

#include "lapi/frame.h"
#include "lapi/reads.h"
#include "scsi/tolvo.h"
#include "scsi/tolvo_builders.h"
#include "support/trace.h"
#include "wire/drive.h"
#include "wire/vendor_ops.h"

namespace {

constexpr uint8_t kNoTarget = 0xFF;
constexpr uint8_t kLocateEnclosureSelector = 128;

// The drive list of a request, or a fresh read of it into `own`.
uint32_t driveList(int index, uint8_t* given, std::vector<uint8_t>& own, const uint8_t** list, const char* trace) {
    if (given != nullptr) {
        *list = given;
        return LAPI_SUCCESS;
    }
    if (trace != nullptr) DIDEDebug(TRACE_LAPI, DETAIL_ENTRY_EXIT, "%s", trace);
    own.assign(kDriveInfoReplySize, 0);
    *list = own.data();
    return LAPIGetEnclosureDriveData(index, own.data(), nullptr);
}

unsigned driveCount(const uint8_t* list) {
    const unsigned n = list[4];
    return n < wire::kMaxDrives ? n : static_cast<unsigned>(wire::kMaxDrives);
}

const wire::DRIVE_INFO_STRUCT* driveRecord(const uint8_t* list, unsigned i) {
    return &reinterpret_cast<const wire::ALL_DRIVE_INFO_STRUCT*>(list)->drive[i];
}

bool pageHasLength(const uint8_t* buffer) { return buffer[2] != 0 || buffer[3] != 0; }

// One try of the walk over an enclosure's drives: loop flag, target, and
// whether it runs in the frame (busy retry and failover) or is a single send.
struct SesTry {
    uint8_t loop;
    uint8_t target;
    bool framed;
};

// The four tries for one drive of the enclosure, in order.
void driveTries(const wire::DRIVE_INFO_STRUCT& d, unsigned record, SesTry tries[4]) {
    const uint8_t target = d.ses0IdLoop1;
    tries[0] = {0, target == kNoTarget ? static_cast<uint8_t>(record + 1) : target, true};
    tries[1] = {1, target == kNoTarget ? uint8_t{1} : target, true};
    tries[2] = {0, d.ses1IdLoop2, false};
    tries[3] = {1, d.ses1IdLoop2, false};
}

// Runs one try; returns the send status (wsc) through `wsc` and the result.
uint32_t runTry(int index, const SesTry& t, const char* command, const LapiSend& send, uint8_t* wsc) {
    if (t.framed) {
        LapiOutcome outcome;
        uint32_t result = LAPIExecute(index, LapiSite{command}, send, &outcome);
        *wsc = outcome.wsc;
        return result;
    }
    ITL_HANDLE_STRUCT* handle = nullptr;
    uint32_t result = LAPIFrameHandle(index, &handle, LapiSite{command});
    if (result != LAPI_SUCCESS) {
        *wsc = WSC_BAD_PARAMETERS;
        return result;
    }
    SCSI_COMMAND_STRUCT request{};
    *wsc = send(handle, &request);
    return *wsc == WSC_GOOD ? LAPI_SUCCESS : LAPI_ERR_COMMAND_FAILED;
}

// The opening of the page read and write: the request is checked, the entry
// traced and the controller's handle resolved.
uint32_t openPageRequest(int index, const SES_PAGE_REQUEST* request, const char* operation, const char* command) {
    if (request == nullptr || request->buffer == nullptr) return LAPI_ERR_COMMAND_FAILED;
    DIDEDebug(TRACE_LAPI, DETAIL_ENTRY_EXIT, "->In %d : %s no %d buf length %d", index, operation, request->page,
              request->length);
    ITL_HANDLE_STRUCT* handle = nullptr;
    return LAPIFrameHandle(index, &handle, LapiSite{command});
}

// The walk over the drives of the request's enclosure shared by the page
// reads and writes (`obtaining` traced when the drive list is read first):
// `attempt` runs one try and tells whether it succeeded.
template <typename Attempt>
uint32_t walkEnclosureDrives(int index, const SES_PAGE_REQUEST* request, const char* operation, bool obtaining,
                             Attempt&& attempt) {
    std::vector<uint8_t> own;
    const uint8_t* list = nullptr;
    const std::string obtainingLine = std::string("->In : ") + operation + " obtaining drive Data";
    uint32_t result = driveList(index, request->driveData, own, &list, obtaining ? obtainingLine.c_str() : nullptr);
    if (result != LAPI_SUCCESS) return result;
    const unsigned n = driveCount(list);
    for (unsigned i = 0; i < n; ++i) {
        const wire::DRIVE_INFO_STRUCT& d = *driveRecord(list, i);
        if (d.enclosureNo != static_cast<uint8_t>(request->enclosure + 1)) continue;
        SesTry tries[4];
        driveTries(d, i, tries);
        for (int k = 0; k < 4; ++k) {
            if (k < 2) DIDEDebug(TRACE_LAPI, DETAIL_PROGRESS, "->In : %s no loop %d drive %x", operation, k, tries[k].target);
            if (attempt(tries[k], k)) return LAPI_SUCCESS;
        }
    }
    return LAPI_ERR_COMMAND_FAILED;
}

}  // namespace

uint32_t LAPIGetNumberOfEnclosures(int index, ENCLOSURE_COUNT_REQUEST* request) {
    LAPITraceIn("LAPIGetNumberOfEnclosures");
    if (request == nullptr || request->count == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    std::vector<uint8_t> own;
    const uint8_t* list = nullptr;
    uint32_t result = driveList(index, request->driveData, own, &list, nullptr);
    if (result == LAPI_SUCCESS) {
        // Enclosure numbers 0 to 10: a system has at most ten enclosures.
        bool seen[11] = {};
        uint32_t count = 0;
        const unsigned n = driveCount(list);
        for (unsigned i = 0; i < n; ++i) {
            const uint8_t e = driveRecord(list, i)->enclosureNo;
            if (e < std::size(seen) && !seen[e]) {
                seen[e] = true;
                ++count;
            }
        }
        *request->count = count;
    }
    LAPITraceOut("LAPIGetNumberOfEnclosures");
    return result;
}

uint32_t LAPIGetEnclosureSESPage(int index, SES_PAGE_REQUEST* request) {
    uint32_t result = openPageRequest(index, request, "LAPIGetEnclosureSESPage", "TOLVO_ReceiveDiagnotics");
    if (result != LAPI_SUCCESS) return result;

    uint8_t* buffer = request->buffer;
    const uint8_t page = request->page;
    if (request->productType >= kSesDirectProductType) {
        const uint16_t length = request->allocationLength;
        result = LAPIExecute(index, LapiSite{"TOLVO_ReceiveDiagnotics_SES2"},
                             [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
                                 return TOLVO_ReceiveDiagnotics_SES2(h, r, page, buffer, length);
                             });
    } else {
        result = walkEnclosureDrives(index, request, "LAPIGetEnclosureSESPage", true, [&](const SesTry& t, int) {
            std::memset(buffer, 0, kSesLegacyTransferLength);
            uint8_t wsc = 0;
            const uint32_t r = runTry(index, t, "TOLVO_ReceiveDiagnotics", [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* rq) {
                return TOLVO_ReceiveDiagnotics(h, rq, page, t.loop, t.target, buffer, kSesLegacyTransferLength);
            }, &wsc);
            return r == LAPI_SUCCESS && pageHasLength(buffer);
        });
    }
    DIDEDebug(TRACE_LAPI, DETAIL_ENTRY_EXIT, "<-Out: LAPIGetEnclosureSESPage");
    return result;
}

uint32_t LAPIGetEnclosureSESPage2(int index, SES_PAGE_REQUEST* request) {
    // The same read; a null request is refused here too rather than followed.
    return LAPIGetEnclosureSESPage(index, request);
}

uint32_t LAPISetEnclosureSESPage(int index, SES_PAGE_REQUEST* request) {
    uint32_t result = openPageRequest(index, request, "LAPISetEnclosureSESPage", "TOLVO_SendDiagnotics");
    if (result != LAPI_SUCCESS) return result;

    uint8_t* buffer = request->buffer;
    result = walkEnclosureDrives(index, request, "LAPISetEnclosureSESPage", false, [&](const SesTry& t, int k) {
        const uint32_t length = k < 2 ? kSesLegacyTransferLength : request->length;
        uint8_t wsc = 0;
        runTry(index, t, "TOLVO_SendDiagnotics", [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* rq) {
            return TOLVO_SendDiagnotics(h, rq, 0, t.loop, t.target, buffer, length);
        }, &wsc);
        DIDEDebug(TRACE_LAPI, DETAIL_PROGRESS, "->In : LAPISetEnclosureSESPage TOLVO_SendDiagnotics wsc %x", wsc);
        return wsc == WSC_GOOD && pageHasLength(buffer);
    });
    DIDEDebug(TRACE_LAPI, DETAIL_ENTRY_EXIT, "<-Out: LAPISetEnclosureSESPage");
    return result;
}

uint32_t LAPILocateEnclosure(int index, LOCATE_ENCLOSURE_REQUEST* request) {
    LAPITraceIn("LAPILocateEnclosure");
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    request->mode = kLocateEnclosureSelector;
    const auto duration = static_cast<uint8_t>(request->duration);
    const uint8_t target = request->target;
    LapiOutcome outcome;
    uint32_t result = LAPIExecute(index, LapiSite{"TOLVO_FlashDriveActivityLight"},
                                  LAPIHeaderOnly(wire::buf::FlashDriveActivityLight, kLocateEnclosureSelector, target,
                                                 duration),
                                  &outcome);
    if (result != LAPI_SUCCESS) {
        DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "Error: Failed to Locate Enclosure %d, duration %d wsc=%d", target,
                  request->duration, outcome.wsc);
        if (request->duration == 0) {
            DIDEDebug(TRACE_LAPI, DETAIL_ERROR,
                      "->In: LAPILocateEnclosure failed to turn off light, bug ignoring error!");
            result = LAPI_SUCCESS;
        }
    }
    LAPITraceOut("LAPILocateEnclosure");
    return result;
}
