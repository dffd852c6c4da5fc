// Event commands of the configuration library: fetch into the event store,
// list, count and clear.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "commands/config_view.h"
#include "commands/configuration.h"
#include "commands/controller.h"
#include "commands/global.h"
#include "lapi/event_log.h"
#include "lapi/lapi_status.h"
#include "lapi/reads.h"

namespace {

constexpr uint32_t kEventTextSize = 3072;

uint32_t hexDigit(char c) {
    if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<uint32_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<uint32_t>(c - 'A' + 10);
    return 0;
}

// Reads stored events 0, 1, 2 ... of a system until one cannot be read,
// handing each (numbered from 1) to `each`; returns how many were read.
template <typename F>
uint32_t forEachStoredEvent(int index, F&& each) {
    static char text[kEventTextSize];
    uint32_t n = 0;
    for (;;) {
        TRANSLATED_EVENT_STRUCT record{};
        text[0] = '\0';
        record.text = text;
        record.textLength = kEventTextSize;
        if (LAPIGetStoredEvent(index, &record, n, 1) != LAPI_SUCCESS) break;
        ++n;
        each(n, record);
    }
    return n;
}

}  // namespace

uint32_t commandConfiguration::setEventSystem() {
    commandController controller;
    controller.setITLPath(m_index);
    controller.setHex(m_hex);
    controller.setOutOfBand(m_outOfBand);
    uint32_t type = 0;
    uint32_t status = controller.getProductType(type);
    if (status != 0) return status;
    status = LAPIGetRAIDConfigurationData(m_index, m_work.config.get());
    if (status != 0) return status;
    m_lastWwn = commands::ConfigView(m_work.config.get()).header().configWwn.get();
    LAPISetEventWWN(m_index, static_cast<uint32_t>(m_lastWwn), static_cast<uint32_t>(m_lastWwn >> 32), type);
    return 0;
}

uint32_t commandConfiguration::fetchEvents() {
    const uint32_t status = setEventSystem();
    return status != 0 ? status : fetchIntoStore();
}

uint32_t commandConfiguration::fetchIntoStore() {
    m_recordCount = 0;
    EVENT_FETCH_REQUEST request{&m_recordCount, static_cast<uint32_t>(m_lastWwn),
                                static_cast<uint32_t>(m_lastWwn >> 32), raidSystemToProductTypeMap[m_index]};
    const uint32_t status = LAPIGetEventsFromEnclosure(m_index, &request);
    return status == LAPI_ERR_CONTROLLER_A || status == LAPI_ERR_CONTROLLER_B ? 0 : status;
}

uint32_t commandConfiguration::GetEventsFromEnclosure() { return Global::report(fetchEvents()); }

uint32_t commandConfiguration::ReadEv() {
    uint32_t status = setEventSystem();
    if (status != 0) return Global::report(status);
    // What the store holds is listed even when the controllers could not be read.
    status = fetchIntoStore();
    uint32_t count = 0;
    const uint32_t counted = LAPIGetNumberOfRecords(m_index, &count);
    if (status == 0) status = counted;
    Global::append("\n=============================================================");
    Global::append("\nThere are ");
    Global::format(count);
    Global::append(" events for RAID System WWN %0llX\n", static_cast<unsigned long long>(m_lastWwn));
    Global::append("=============================================================\n\n");

    const long system = m_index;
    const bool hex = Global::fMode == 1;
    const uint32_t printed = forEachStoredEvent(m_index, [&](uint32_t e, const TRANSLATED_EVENT_STRUCT& r) {
        const time_t t = r.time;
        char when[64];
        if (ctime_r(&t, when) == nullptr) std::snprintf(when, sizeof when, "%s", "\n");
        if (hex)
            std::printf("---- Event Number: %#x: Event Time (On Controller): %s  RAID System ID: %#x  Severity: %#x "
                        "(%s)  Source: %#x (%s)\n  Text: %s\n",
                        e, when, static_cast<unsigned>(system), r.severity, eventSeverityName(r.severity), r.source,
                        eventSourceName(r.source), r.text);
        else
            std::printf("---- Event Number: %5d: Event Time (On Controller): %s  RAID System ID: %ld  Severity: %ld "
                        "(%s)  Source: %d (%s)\n  Text: %s\n",
                        static_cast<int>(e), when, system, static_cast<long>(r.severity),
                        eventSeverityName(r.severity), static_cast<int>(r.source), eventSourceName(r.source), r.text);
    });
    if (printed == 0)
        Global::append("\n**** RAID System %ld There were no events this time ****\n", system);
    else
        Global::append("\n++++ RAID System %ld There w%s %d event%s this time ++++\n", system,
                       printed == 1 ? "as" : "ere", static_cast<int>(printed), printed == 1 ? "" : "s");
    Global::print();
    Global::errorHandler(status);
    Global::print();
    return status;
}

uint32_t commandConfiguration::eventCount(uint32_t (*read)(int, uint32_t*), const char* label, bool always) {
    const uint32_t fetched = GetEventsFromEnclosure();
    if (fetched != 0) return fetched;
    uint32_t count = 0;
    const uint32_t status = read(m_index, &count);
    if (status == 0 || always) {
        Global::append("%s", label);
        Global::format(count);
        Global::append("\n");
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getNumberOfRecords() {
    return eventCount(LAPIGetNumberOfRecords, "\nNumber Of  Records: ", false);
}

uint32_t commandConfiguration::getNumberOfInitialEventRecordsFromController() {
    return eventCount(LAPIGetInitialEventRecordsFromController, "\nNumber Of Initial Events: ", true);
}

uint32_t commandConfiguration::getNumberOfLatestEventRecordsFromController() {
    return eventCount(LAPIGetLatestEventRecordsFromController, "\nNumber Of Latest Events: ", true);
}

uint32_t commandConfiguration::ReadSpecificEvent(uint32_t eventId) {
    uint32_t status = fetchEvents();
    uint32_t matching = 0;
    if (status == 0)
        forEachStoredEvent(m_index, [&](uint32_t, const TRANSLATED_EVENT_STRUCT& r) {
            const char* t = r.text;
            if (std::strlen(t) >= 4 && hexDigit(t[2]) * 16 + hexDigit(t[3]) == eventId) ++matching;
        });
    if (status == 0) {
        Global::append("Number of Events :");
        Global::format(matching);
        Global::append("\n");
    }
    return Global::report(status);
}

uint32_t commandConfiguration::ClearEvents() {
    uint32_t status = setEventSystem();
    if (status == 0) status = LAPIClearEventsFromBothControllers(m_index);
    if (status == 0) Global::append("Cleared\n");
    return Global::report(status);
}
