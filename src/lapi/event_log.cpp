#include "lapi/event_log.h"

#include <algorithm>
#include <cstring>

#include "lapi/frame.h"
#include "lapi/lapi_status.h"
#include "scsi/tolvo.h"
#include "scsi/tolvo_builders.h"
#include "support/trace.h"
#include "wire/vendor.h"
#include "wire/vendor_ops.h"

wire::EVENT_LOG_STRUCT g_eventLogA;
wire::EVENT_LOG_STRUCT g_eventLogB;

namespace {

// How many entries g_eventLogA and g_eventLogB hold, as their last read left them.
uint32_t g_eventLogEntries[2];

// Reads one controller's log into `log`; `entries` is how many entries it
// holds: its count, clamped to the whole entries that really arrived. A
// failed read, or a reply too short to hold the log's header, leaves it all
// zeros with no entries.
bool readLog(ITL_HANDLE_STRUCT* handle, uint8_t bufferId, wire::EVENT_LOG_STRUCT& log, uint32_t& entries) {
    std::memset(&log, 0, sizeof log);
    entries = 0;
    SCSI_COMMAND_STRUCT request{};
    uint32_t received = 0;
    setTolvoCdb(&request, wire::kOpReadBuffer, wire::kModeData, bufferId, 0, 0, 0);
    if (TOLVO_SendCommand(handle, &request, reinterpret_cast<uint8_t*>(&log), sizeof log, nullptr, &received) ==
            WSC_GOOD &&
        received >= wire::kEventLogHeaderSize) {
        entries = wire::eventLogEntries(log, received);
        return true;
    }
    std::memset(&log, 0, sizeof log);
    return false;
}

// Reads both logs: 0, 1004 (controller 1 unread), 1005 (controller 2
// unread) or 1003 (neither). `ok` tells which reads succeeded;
// g_eventLogEntries how many entries each log holds.
uint32_t readBothLogs(ITL_HANDLE_STRUCT* handle, uint8_t idA, uint8_t idB, bool ok[2]) {
    ok[0] = readLog(handle, idA, g_eventLogA, g_eventLogEntries[0]);
    ok[1] = readLog(handle, idB, g_eventLogB, g_eventLogEntries[1]);
    if (!ok[0]) return ok[1] ? LAPI_ERR_CONTROLLER_A : LAPI_ERR_COMMAND_FAILED;
    return ok[1] ? LAPI_SUCCESS : LAPI_ERR_CONTROLLER_B;
}

uint32_t eventHandle(int index, ITL_HANDLE_STRUCT** handle, const char* operation) {
    return LAPIFrameHandle(index, handle, LapiSite{operation});
}

}  // namespace

uint32_t LAPISetEventWWN(int index, uint32_t wwnLow, uint32_t wwnHigh, uint32_t productType) {
    if (eventSystemIndexValid(index)) {
        raidSystemToWWNMap[index] = (static_cast<uint64_t>(wwnHigh) << 32) | wwnLow;
        raidSystemToProductTypeMap[index] = productType;
    }
    return 1;
}

uint32_t LAPIGetEventsFromEnclosure(int index, const EVENT_FETCH_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    LAPISetEventWWN(index, request->wwnLow, request->wwnHigh, request->productType);
    return LAPIGetEvents(index, request->count);
}

uint32_t LAPIGetEvents(int index, uint32_t* count) {
    DIDEDebug(TRACE_EVENTS, DETAIL_ENTRY_EXIT, "->In : LAPIGetEvents %d", index);
    if (!eventSystemIndexValid(index)) return LAPI_ERR_BAD_PARAMETERS;
    events::StoreLock lock(index);
    uint32_t stored = 0;
    uint32_t status = events::countRecords(index, &stored);
    if (status == LAPI_SUCCESS)
        status = stored > 0 ? LAPIGetLatestEventRecordsFromController(index, count)
                            : LAPIGetInitialEventRecordsFromController(index, count);
    DIDEDebug(TRACE_EVENTS, DETAIL_ENTRY_EXIT, "<-Out: LAPIGetEvents %d", index);
    return status;
}

uint32_t LAPIGetInitialEventRecordsFromController(int index, uint32_t* count) {
    DIDEDebug(TRACE_EVENTS, DETAIL_ENTRY_EXIT, " ->In : LAPIGetInitialEventRecordsFromController %d", index);
    if (!eventSystemIndexValid(index)) return LAPI_ERR_BAD_PARAMETERS;
    events::StoreLock lock(index);
    ITL_HANDLE_STRUCT* handle = nullptr;
    uint32_t status = eventHandle(index, &handle, "LAPIGetInitialEventRecordsFromController");
    if (status != LAPI_SUCCESS) return status;
    bool ok[2];
    status = readBothLogs(handle, wire::buf::EventLogA, wire::buf::EventLogB, ok);
    const uint32_t na = g_eventLogEntries[0], nb = g_eventLogEntries[1];
    if (count != nullptr) *count = na + nb;
    if (status == LAPI_ERR_COMMAND_FAILED) return status;

    auto merged = events::mergeInitial(g_eventLogA.entry, na, g_eventLogB.entry, nb);
    if (events::replaceStore(index, merged.data(), merged.size()) != LAPI_SUCCESS &&
        status != LAPI_ERR_CONTROLLER_A && status != LAPI_ERR_CONTROLLER_B)
        status = LAPI_ERR_FILE;
    DIDEDebug(TRACE_EVENTS, DETAIL_ENTRY_EXIT, " <-Out: LAPIGetInitialEventRecordsFromController");
    return status;
}

uint32_t LAPIGetLatestEventRecordsFromController(int index, uint32_t* count) {
    if (!eventSystemIndexValid(index)) return LAPI_ERR_BAD_PARAMETERS;
    DIDEDebug(TRACE_EVENTS, DETAIL_ENTRY_EXIT, " ->In : LAPIGetLatestEventRecordsFromController %d %d", index,
              RAIDSystemStartLatest[index]);
    events::StoreLock lock(index);
    ITL_HANDLE_STRUCT* handle = nullptr;
    uint32_t status = eventHandle(index, &handle, "LAPIGetLatestEventRecordsFromController");
    if (status != LAPI_SUCCESS) return status;

    const bool latest = RAIDSystemStartLatest[index] != 0;
    if (!latest)
        DIDEDebug(TRACE_EVENTS, DETAIL_PROGRESS, " ->In : LAPIGetLatestEventRecordsFromController get all events ");
    bool ok[2];
    status = readBothLogs(handle, latest ? wire::buf::EventLogLatestA : wire::buf::EventLogA,
                          latest ? wire::buf::EventLogLatestB : wire::buf::EventLogB, ok);
    const int64_t tA = ok[0] ? events::hostTime(g_eventLogA.clock) : 0;
    const int64_t tB = ok[1] ? events::hostTime(g_eventLogB.clock) : 0;
    int64_t skew = 0, now = tA != 0 ? tA : tB;
    if (tA != 0 && tB != 0) {
        skew = tA - tB;
        now = std::min(tA, tB);
    }
    if (now < previouscontrollertime[index] && status != LAPI_ERR_COMMAND_FAILED) {
        // A controller clock has gone back: the store is rebuilt from the whole logs.
        uint32_t before = 0;
        events::countRecords(index, &before);
        DIDEDebug(TRACE_EVENTS, DETAIL_PROGRESS, " LAPIGetLatestEventRecordsFromController clock went back, %u records",
                  before);
        status = LAPIGetInitialEventRecordsFromController(index, nullptr);
    } else {
        previouscontrollertime[index] = now;
    }
    if (status == LAPI_ERR_COMMAND_FAILED) return status;
    RAIDSystemStartLatest[index] = 1;

    const std::string path = events::resolveStore(index);
    // The logs as the last read left them (a rebuild above reads them again).
    const uint32_t na = g_eventLogEntries[0], nb = g_eventLogEntries[1];
    uint32_t start[2] = {0, 0};
    const wire::EVENT_LOG_STRUCT* logs[2] = {&g_eventLogA, &g_eventLogB};
    const uint32_t counts[2] = {na, nb};
    for (int c = 0; c < 2; ++c) {
        uint32_t found = 0;
        const uint32_t r = events::findOverlap(path, logs[c]->entry, counts[c], static_cast<uint8_t>(c + 1), &found);
        if (r == LAPI_SUCCESS) start[c] = found + 1;
        else if (r != LAPI_ERR_END_OF_DATA) return r;
    }
    auto merged = events::mergeLatest(g_eventLogA.entry + start[0], na - start[0], g_eventLogB.entry + start[1],
                                      nb - start[1], skew);
    if (events::appendRecords(index, merged.data(), merged.size()) != LAPI_SUCCESS) status = LAPI_ERR_FILE;
    if (count != nullptr) events::countRecords(index, count);
    DIDEDebug(TRACE_EVENTS, DETAIL_ENTRY_EXIT, " <-Out: LAPIGetLatestEventRecordsFromController");
    return status;
}

uint32_t LAPIGetNumberOfRecords(int index, uint32_t* count) {
    if (count == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    DIDEDebug(TRACE_EVENTS, DETAIL_ENTRY_EXIT, " ->In : LAPIGetNumberOfRecords %d", index);
    *count = 0;
    if (!eventSystemIndexValid(index)) return LAPI_ERR_BAD_PARAMETERS;
    const uint32_t status = events::countRecords(index, count);
    DIDEDebug(TRACE_EVENTS, DETAIL_ENTRY_EXIT, " <-Out: LAPIGetNumberOfRecords with %d records for system",
              static_cast<int>(*count));
    return status;
}

uint32_t LAPIGetStoredEvent(int index, TRANSLATED_EVENT_STRUCT* record, uint32_t recordNumber, uint32_t flag) {
    if (record == nullptr || !eventSystemIndexValid(index)) return LAPI_ERR_BAD_PARAMETERS;
    wire::EVENT_LOG_ENTRY entry;
    const uint32_t status = events::readRecord(index, recordNumber, &entry);
    if (status == LAPI_ERR_FILE)
        DIDEDebug(TRACE_EVENTS, DETAIL_ERROR, "Warning: LAPIGetStoredEvent - cannot open event file %d ", index);
    if (status != LAPI_SUCCESS) return status;
    return LAPITranslateEvent(&entry, record, flag, raidSystemToProductTypeMap[index]);
}

uint32_t LAPIClearEventsFromBothControllers(int index) {
    DIDEDebug(TRACE_EVENTS, DETAIL_ENTRY_EXIT, "->In : LAPIClearEventsFromBothControllers");
    if (!eventSystemIndexValid(index)) return LAPI_ERR_BAD_PARAMETERS;
    events::StoreLock lock(index);
    ITL_HANDLE_STRUCT* handle = nullptr;
    uint32_t status = eventHandle(index, &handle, "LAPIClearEventsFromBothControllers");
    if (status != LAPI_SUCCESS) return status;
    SCSI_COMMAND_STRUCT request{};
    if (TOLVO_SendHeaderOnly(handle, &request, wire::buf::ClearEventLogs, 3, 0, 0) != WSC_GOOD)
        return LAPI_ERR_COMMAND_FAILED;
    DIDEDebug(TRACE_EVENTS, DETAIL_PROGRESS, "Events cleared on controllers of RAID system %d.", index);
    status = events::replaceStore(index, nullptr, 0);
    if (status == LAPI_SUCCESS)
        DIDEDebug(TRACE_EVENTS, DETAIL_PROGRESS, "Event file erased for RAID system %d.", index);
    DIDEDebug(TRACE_EVENTS, DETAIL_ENTRY_EXIT, "<-Out: LAPIClearEventsFromBothControllers");
    return status;
}

uint32_t LAPIClearAllEvents(int index) { return LAPIClearEventsFromBothControllers(index); }
