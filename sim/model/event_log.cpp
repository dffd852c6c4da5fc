#include "model/event_log.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include "model/firmware_model.h"
#include "model/model_util.h"
#include "wire/vendor_ops.h"

using nlohmann::json;

namespace sim::model {

wire::CLOCK_STRUCT clockRecordAt(int64_t seconds) {
    wire::CLOCK_STRUCT c{};
    const time_t t = static_cast<time_t>(seconds);
    struct tm tm{};
    if (gmtime_r(&t, &tm) == nullptr) return c;
    c.year.set(static_cast<uint16_t>(tm.tm_year + 1900));
    c.month = static_cast<uint8_t>(tm.tm_mon + 1);
    c.day = static_cast<uint8_t>(tm.tm_mday);
    c.dayOfWeek = static_cast<uint8_t>(tm.tm_wday + 1);
    c.hour = static_cast<uint8_t>(tm.tm_hour);
    c.minute = static_cast<uint8_t>(tm.tm_min);
    c.second = static_cast<uint8_t>(tm.tm_sec);
    return c;
}

void EventLogs::append(unsigned controller, const wire::EVENT_LOG_ENTRY& entry) {
    for (auto* buffer : {&whole_[controller], &latest_[controller]}) {
        if (buffer->size() == kCapacity) buffer->pop_front();
        buffer->push_back(entry);
    }
}

void EventLogs::log(unsigned controller, int64_t when, uint8_t id, std::span<const uint8_t> payload) {
    wire::EVENT_LOG_ENTRY e{};
    e.time = clockRecordAt(when);
    e.controller = static_cast<uint8_t>(controller + 1);
    e.eventId = id;
    if (!payload.empty()) std::memcpy(e.payload, payload.data(), std::min(payload.size(), sizeof e.payload));
    append(controller, e);
}

const std::vector<uint8_t>& EventLogs::reply(unsigned controller, bool latest, uint32_t offset, int64_t now) {
    auto& out = replies_[controller][latest ? 1 : 0];
    if (offset != 0 && !out.empty()) return out;
    auto& buffer = latest ? latest_[controller] : whole_[controller];
    const size_t n = buffer.size();
    out.assign(wire::kEventLogHeaderSize + n * sizeof(wire::EVENT_LOG_ENTRY), 0);
    wire::EVENT_LOG_STRUCT header{};
    header.length.set(static_cast<uint32_t>(out.size()));
    header.clock = clockRecordAt(now);
    header.entryCount.set(static_cast<uint16_t>(n));
    std::memcpy(out.data(), &header, wire::kEventLogHeaderSize);
    size_t at = wire::kEventLogHeaderSize;
    for (const auto& e : buffer) {
        std::memcpy(out.data() + at, &e, sizeof e);
        at += sizeof e;
    }
    if (latest) buffer.clear();
    return out;
}

void EventLogs::clear() {
    for (auto& b : whole_) b.clear();
    for (auto& b : latest_) b.clear();
}

size_t EventLogs::size(unsigned controller, bool latest) const {
    return (latest ? latest_ : whole_)[controller].size();
}

json EventLogs::dump(unsigned controller) const {
    auto entries = [](const std::deque<wire::EVENT_LOG_ENTRY>& b) {
        json list = json::array();
        for (const auto& e : b) list.push_back(toHex(reinterpret_cast<const uint8_t*>(&e), sizeof e));
        return list;
    };
    return {{"whole", entries(whole_[controller])}, {"latest", entries(latest_[controller])}};
}

// ---------------------------------------------------------------------------
// The model's side: what it logs, the log reads, the clear command, control.

namespace {

// Bytes from a hexadecimal text; throws when it is not whole bytes of hex
// digits or longer than `max` bytes.
std::vector<uint8_t> hexBytes(const ScenarioObject& args, const char* key, size_t max) {
    const std::string text = args.text(key);
    if (text.size() % 2 != 0 || text.size() / 2 > max)
        args.fail(key, "must be at most " + std::to_string(max) + " bytes of hexadecimal digits");
    std::vector<uint8_t> out;
    if (!fromHex(text, out)) args.fail(key, "holds a character that is not hexadecimal");
    return out;
}

}  // namespace

void FirmwareModel::logEvent(uint8_t id, std::span<const uint8_t> payload, int controller) {
    unsigned c = 0;
    if (controller == 0 || controller == 1)
        c = static_cast<unsigned>(controller);
    else
        c = controllers_[0].present ? 0 : 1;
    if (!controllers_[c].present) return;
    events_.log(c, controllerClock(c), id, payload);
}

void FirmwareModel::logEvent(uint8_t id, std::initializer_list<uint8_t> payload, int controller) {
    logEvent(id, std::span<const uint8_t>(payload.begin(), payload.size()), controller);
}

std::optional<std::vector<uint8_t>> FirmwareModel::eventLogReply(uint8_t bufferId, uint32_t offset) {
    const unsigned c = (bufferId == wire::buf::EventLogA || bufferId == wire::buf::EventLogLatestA) ? 0 : 1;
    if (!controllers_[c].present) return std::nullopt;
    const bool latest = bufferId == wire::buf::EventLogLatestA || bufferId == wire::buf::EventLogLatestB;
    return events_.reply(c, latest, offset, controllerClock(c));
}

void FirmwareModel::logCommittedChange() {
    if (!pendingDirty_) return;
    logEvent(0x2F);   // Configuration Changed
    for (uint8_t rank : pendingInitRanks_)
        if (std::find(pendingTrustRanks_.begin(), pendingTrustRanks_.end(), rank) == pendingTrustRanks_.end())
            logEvent(0x33, {rank});   // Stripe Initialization Started
    if (pendingExpansion_) logEvent(0x68, {*pendingExpansion_});   // Pool/Array Expansion Started
}

void FirmwareModel::logDriveFailure(uint8_t rankId, uint8_t member, uint64_t failedWwn, uint64_t spareWwn) {
    // Drive events carry the drive's WWN (bytes 10-17, most significant
    // first), its pool, its number in the pool and its hard ID.
    auto driveEvent = [&](uint8_t id, uint64_t wwn) {
        uint8_t p[wire::kEventPayloadSize] = {};
        for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(wwn >> (8 * (7 - i)));
        p[8] = rankId;
        p[9] = member;
        p[10] = 0xFF;
        const int d = driveIndexByWwn(wwn);
        if (d >= 0) {
            const Drive& drive = drives_[static_cast<size_t>(d)];
            const bool sixBits = (productType_ & 0x2) != 0;
            p[10] = static_cast<uint8_t>(((drive.enclosure - 1) << (sixBits ? 6 : 5)) | ((drive.slot - 1) & (sixBits ? 0x3F : 0x1F)));
        }
        logEvent(id, std::span<const uint8_t>(p, sizeof p));
    };
    driveEvent(0x0B, failedWwn);   // Drive Remove Failure
    logEvent(0x1B, {rankId});      // Pool/Array Critical
    if (spareWwn != 0) driveEvent(0x30, spareWwn);   // Regen Started, on the spare
}

Outcome FirmwareModel::clearEventLogs(const CommandContext& cmd) {
    if (cmd.cdb[3] != 3 || cmd.cdb[4] || cmd.cdb[5]) return Outcome::invalidFieldInCdb();
    events_.clear();
    for (int c = 0; c < 2; ++c)
        if (controllers_[static_cast<size_t>(c)].present) logEvent(0x56, {}, c);
    return Outcome::good();
}

const std::vector<FirmwareModel::ControlVerb>& FirmwareModel::eventVerbs() {
    using A = const ScenarioObject&;
    static const std::vector<ControlVerb> table = {
        {"log-event", {"controller", "entry", "id", "payload", "time"}, [](FirmwareModel& m, A a) -> json {
             const auto c = static_cast<unsigned>(a.integer("controller", 0, 1, 0));
             if (!m.controllers_[c].present) return {{"error", "that controller is not present"}};
             if (a.has("entry")) {
                 auto bytes = hexBytes(a, "entry", sizeof(wire::EVENT_LOG_ENTRY));
                 if (bytes.size() != sizeof(wire::EVENT_LOG_ENTRY))
                     return {{"error", "\"entry\" must be 24 bytes (48 hexadecimal digits)"}};
                 wire::EVENT_LOG_ENTRY e;
                 std::memcpy(&e, bytes.data(), sizeof e);
                 m.events_.append(c, e);
             } else {
                 if (!a.has("id")) return {{"error", "\"id\" or \"entry\" is required"}};
                 const auto id = static_cast<uint8_t>(a.integer("id", 0, 255));
                 auto payload = a.has("payload") ? hexBytes(a, "payload", wire::kEventPayloadSize) : std::vector<uint8_t>{};
                 const int64_t when = a.has("time") ? a.integer("time", 0, int64_t{1} << 40) : m.controllerClock(c);
                 m.events_.log(c, when, id, payload);
             }
             return {{"ok", true}, {"entries", m.events_.size(c, false)}};
         }},
        {"event-log", {"controller"}, [](FirmwareModel& m, A a) -> json {
             return m.events_.dump(static_cast<unsigned>(a.integer("controller", 0, 1, 0)));
         }},
        {"temperature", {"controller", "celsius"}, [](FirmwareModel& m, A a) -> json {
             const auto c = static_cast<unsigned>(a.integer("controller", 0, 1, 0));
             const auto celsius = static_cast<uint8_t>(a.integer("celsius", 0, 150, 31));
             if (!m.controllers_[c].present) return {{"error", "that controller is not present"}};
             m.controllers_[c].airTemperature = celsius;
             if (celsius >= kTemperatureLimit)
                 m.logEvent(0x03, {celsius}, static_cast<int>(c));
             else if (celsius >= kTemperatureWarning)
                 m.logEvent(0x04, {celsius}, static_cast<int>(c));
             return {{"ok", true}};
         }},
    };
    return table;
}

}  // namespace sim::model
