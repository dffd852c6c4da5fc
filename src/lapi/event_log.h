// Library-API operations of the event log: both controllers' logs read with
// vendor commands and merged into the system's event store, counting and
// reading stored events, and clearing the logs together with the store.
//
// These operations take the system's path once (one rediscovery when it has
// none) and send each vendor command once: no busy retry, no failover.
#pragma once

#include <cstdint>

#include "events/store.h"
#include "events/translate.h"
#include "wire/event.h"

// The request of LAPIGetEventsFromEnclosure.
struct EVENT_FETCH_REQUEST {
    uint32_t* count;
    uint32_t wwnLow;
    uint32_t wwnHigh;
    uint32_t productType;
};

// The two log buffers of the process (controller 1, controller 2).
extern wire::EVENT_LOG_STRUCT g_eventLogA;
extern wire::EVENT_LOG_STRUCT g_eventLogB;

// Fills the WWN and product type tables; returns 1.
uint32_t LAPISetEventWWN(int index, uint32_t wwnLow, uint32_t wwnHigh, uint32_t productType);
uint32_t LAPIGetEventsFromEnclosure(int index, const EVENT_FETCH_REQUEST* request);
// The latest-merge when the store holds a record, else the initial rebuild.
uint32_t LAPIGetEvents(int index, uint32_t* count);
// Rebuilds the store from both whole logs; count = entries read.
uint32_t LAPIGetInitialEventRecordsFromController(int index, uint32_t* count);
// Appends the entries new since the last store; count = records afterwards.
uint32_t LAPIGetLatestEventRecordsFromController(int index, uint32_t* count);
uint32_t LAPIGetNumberOfRecords(int index, uint32_t* count);
// Reads stored record `recordNumber` (0-based) and translates it.
uint32_t LAPIGetStoredEvent(int index, TRANSLATED_EVENT_STRUCT* record, uint32_t recordNumber, uint32_t flag);
uint32_t LAPIClearEventsFromBothControllers(int index);
uint32_t LAPIClearAllEvents(int index);
