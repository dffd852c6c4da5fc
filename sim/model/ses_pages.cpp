// Scenario keys (system object, all optional):
//   "ses": {"enclosures": [{
//       "number"        enclosure number (one of the system's enclosures)
//       "layout"        "sas" (Array Device slots, controllers, expanders; the default for
//                       product type 0x13 and later) or "legacy" (Device slots, door lock)
//       "chassis"       4 characters inside the product identification (1235, 2425, 2435 ...)
//       "vendor", "product", "revision", "serial", "panelId"   identity texts
//       "logicalId"     enclosure logical identifier, 16 hex digits
//       "target", "altTarget"   SES target IDs in the drive records, 0-125 or "none"
//       "loops"         the drive loops the enclosure answers on: [0, 1] by default
//       "slots", "powerSupplies", "fans", "temperatures", "controllers", "alarms"   element counts (0-63)
//       "elements"      [{kind, index, status, celsius, raw, text}] initial element states
//   }]}
#include "model/ses_pages.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <stdexcept>

#include "model/firmware_model.h"
#include "model/model_util.h"
#include "wire/byteorder.h"
#include "wire/vendor.h"
#include "wire/vendor_ops.h"

namespace sim::model {

using json = nlohmann::json;
using Kind = SesEnclosures::Kind;

namespace {

constexpr uint8_t kLocateEnclosure = 128;
constexpr int kHighCritical = 60, kHighWarning = 50, kLowWarning = 5, kLowCritical = 0;

struct KindInfo {
    Kind kind;
    const char* name;
    uint8_t type;        // SES element type in the SAS layout
};
constexpr KindInfo kKinds[] = {
    {Kind::Slot, "slot", 0x17},
    {Kind::PowerSupply, "powerSupply", 0x02},
    {Kind::Fan, "fan", 0x03},
    {Kind::Temperature, "temperature", 0x04},
    {Kind::DoorLock, "doorLock", 0x05},
    {Kind::Alarm, "alarm", 0x06},
    {Kind::Controller, "controller", 0x07},
    {Kind::Enclosure, "enclosure", 0x0E},
    {Kind::SasExpander, "sasExpander", 0x18},
    {Kind::Midplane, "midplane", 0x86},
    {Kind::ChannelCard, "channelCard", 0x85},
    {Kind::ElectronicsPower, "electronicsPower", 0x89},
    {Kind::Settings, "settings", 0x8A},
};

const KindInfo& info(Kind k) { return kKinds[static_cast<size_t>(k)]; }

// The type descriptor headers of each layout, in page order.
constexpr Kind kSasLayout[] = {Kind::Slot,        Kind::PowerSupply, Kind::Fan,         Kind::Temperature,
                               Kind::Alarm,       Kind::Controller,  Kind::Enclosure,   Kind::SasExpander,
                               Kind::Midplane,    Kind::ChannelCard, Kind::ElectronicsPower, Kind::Settings};
constexpr Kind kLegacyLayout[] = {Kind::Slot,     Kind::PowerSupply, Kind::Fan,      Kind::Temperature,
                                  Kind::DoorLock, Kind::Alarm,       Kind::Enclosure};

std::vector<Kind> layoutOf(const SesEnclosures::Enclosure& e) {
    if (e.legacy) return {std::begin(kLegacyLayout), std::end(kLegacyLayout)};
    return {std::begin(kSasLayout), std::end(kSasLayout)};
}

uint8_t typeOf(const SesEnclosures::Enclosure& e, Kind k) {
    return k == Kind::Slot && e.legacy ? uint8_t{0x01} : info(k).type;
}

Kind kindNamed(const std::string& name, const std::string& path) {
    for (const auto& k : kKinds)
        if (name == k.name) return k.kind;
    throw std::invalid_argument(path + ": unknown element kind \"" + name + "\"");
}

void checkKeys(const json& obj, std::initializer_list<const char*> keys, const std::string& path) {
    if (!obj.is_object()) throw std::invalid_argument(path + " must be an object");
    for (const auto& [key, value] : obj.items()) {
        (void)value;
        if (std::none_of(keys.begin(), keys.end(), [&](const char* k) { return key == k; }))
            throw std::invalid_argument(path + ": unknown key \"" + key + "\"");
    }
}

// A scenario value with its path in the message when it is refused.
template <typename F>
auto at(const std::string& path, F&& f) {
    try {
        return f();
    } catch (const std::invalid_argument& e) {
        throw std::invalid_argument(path + ": " + e.what());
    }
}

void padded(std::vector<uint8_t>& page, size_t off, const std::string& text, size_t width) {
    for (size_t i = 0; i < width; ++i) page[off + i] = static_cast<uint8_t>(i < text.size() ? text[i] : ' ');
}

// Status after a temperature change, from the thresholds.
uint8_t temperatureStatus(int celsius) {
    if (celsius > kHighCritical || celsius < kLowCritical) return 2;
    if (celsius > kHighWarning || celsius < kLowWarning) return 3;
    return 1;
}

std::string defaultText(const SesEnclosures::Enclosure& e, Kind k, unsigned i) {
    char buf[40];
    const char side = static_cast<char>('A' + i);
    switch (k) {
    case Kind::Slot: std::snprintf(buf, sizeof buf, "Slot %02u", i + 1); break;
    case Kind::PowerSupply: std::snprintf(buf, sizeof buf, "TP=PCM-580W;SN=PC%02u%04u;", e.number, i + 1); break;
    case Kind::Fan: std::snprintf(buf, sizeof buf, "PCM %u Fan %u", i / 2 + 1, i % 2 + 1); break;
    case Kind::Temperature:
        if (i == 0) std::snprintf(buf, sizeof buf, "Ambient");
        else if (i == 1) std::snprintf(buf, sizeof buf, "Midplane");
        else if (i >= 10 && i < 12) std::snprintf(buf, sizeof buf, "Controller %c", static_cast<char>('A' + i - 10));
        else if (i < 10) std::snprintf(buf, sizeof buf, "PCM %u %s", (i - 2) / 2 + 1, i % 2 == 0 ? "Inlet" : "Hotspot");
        else std::snprintf(buf, sizeof buf, "Sensor %u", i + 1);
        break;
    case Kind::DoorLock: std::snprintf(buf, sizeof buf, "Door Lock"); break;
    case Kind::Alarm: std::snprintf(buf, sizeof buf, "Alarm"); break;
    case Kind::Controller: std::snprintf(buf, sizeof buf, "TP=IOM-12G;SN=IM%02u%04u;", e.number, i + 1); break;
    case Kind::Enclosure: std::snprintf(buf, sizeof buf, "Enclosure"); break;
    case Kind::SasExpander: std::snprintf(buf, sizeof buf, "Expander %c", side); break;
    case Kind::Midplane: std::snprintf(buf, sizeof buf, "Interconnect %c", side); break;
    case Kind::ChannelCard: std::snprintf(buf, sizeof buf, "Channel Card %c", side); break;
    case Kind::ElectronicsPower: std::snprintf(buf, sizeof buf, "Power %c", side); break;
    case Kind::Settings: std::snprintf(buf, sizeof buf, "Settings"); break;
    }
    return buf;
}

// The status of each slot: its drive, failed or not, or nothing in it.
uint8_t slotStatus(const SesEnclosures::Enclosure& e, unsigned i, const std::vector<Drive>& drives) {
    for (const auto& d : drives)
        if (d.enclosure == e.number && d.slot == i + 1) return d.failed ? 2 : 1;
    return 5;
}

// One 4-byte status element of kind `k`.
void statusElement(uint8_t* b, Kind k, const SesEnclosures::Element& x, uint8_t status) {
    b[0] = status & 0x0F;
    const bool failing = status == 2 || status == 4;
    switch (k) {
    case Kind::PowerSupply:
        if (failing) b[3] = 0x40 | 0x01;      // FAIL, DC FAIL
        else if (status == 1) b[3] = 0x20;    // RQSTED ON
        break;
    case Kind::Fan:
        if (status == 1) {
            const unsigned speed = 5000 / 10;
            b[1] = static_cast<uint8_t>((speed >> 8) & 0x07);
            b[2] = static_cast<uint8_t>(speed);
            b[3] = 0x20 | 3;                  // RQSTED ON, third lowest speed
        } else if (failing) {
            b[3] = 0x40;                      // FAIL, stopped
        }
        break;
    case Kind::Temperature: {
        const int raw = x.raw >= 0 ? x.raw : std::clamp(x.celsius + 20, 0, 255);
        b[2] = static_cast<uint8_t>(raw);
        if (!x.statusGiven && raw != 0) {
            if (x.celsius > kHighCritical) b[3] = 0x08;
            else if (x.celsius > kHighWarning) b[3] = 0x04;
            else if (x.celsius < kLowCritical) b[3] = 0x02;
            else if (x.celsius < kLowWarning) b[3] = 0x01;
        }
        break;
    }
    case Kind::Slot:
        if (status == 2) b[3] = 0x40;         // fault sensed
        break;
    default:
        break;
    }
}

}  // namespace

SesEnclosures::Enclosure* SesEnclosures::find(uint8_t number) {
    for (auto& e : enclosures_)
        if (e.number == number) return &e;
    return nullptr;
}

void SesEnclosures::setElement(Enclosure& e, const json& args, const std::string& path) {
    checkKeys(args, {"enclosure", "kind", "index", "status", "celsius", "raw", "text"}, path);
    const Kind k = kindNamed(at(path, [&] { return strOr(args, "kind", ""); }), path);
    if (k == Kind::Slot) throw std::invalid_argument(path + ": slots follow the drives");
    auto& list = e.elements[static_cast<size_t>(k)];
    if (list.empty()) throw std::invalid_argument(path + ": the enclosure has no " + info(k).name + " elements");
    const auto index = static_cast<size_t>(
        at(path, [&] { return intIn(args, "index", 0, static_cast<int64_t>(list.size()) - 1, 0); }));
    Element& x = list[index];
    if (args.contains("celsius")) {
        x.celsius = static_cast<int>(at(path, [&] { return intIn(args, "celsius", -20, 235, 25); }));
        x.raw = -1;
        x.statusGiven = false;
        x.status = temperatureStatus(x.celsius);
    }
    if (args.contains("raw")) x.raw = static_cast<int>(at(path, [&] { return intIn(args, "raw", 0, 255, 0); }));
    if (args.contains("status")) {
        x.status = static_cast<uint8_t>(at(path, [&] { return intIn(args, "status", 0, 15, 1); }));
        x.statusGiven = true;
    }
    if (args.contains("text")) {
        x.text = at(path, [&] { return strOr(args, "text", ""); });
        if (x.text.size() > 64) throw std::invalid_argument(path + ": \"text\" is longer than 64 characters");
    }
    ++e.generation;
}

void SesEnclosures::load(const json& system, const std::vector<uint8_t>& enclosureNumbers, uint8_t productType) {
    enclosures_.clear();
    std::set<uint8_t> numbers(enclosureNumbers.begin(), enclosureNumbers.end());
    for (uint8_t n : numbers) {
        Enclosure e;
        e.number = n;
        e.legacy = productType < 0x13;
        e.target = e.altTarget = 0x7E - std::min<int>(n, 0x7D);
        enclosures_.push_back(e);
    }
    json settings = json::array();
    if (system.contains("ses")) {
        const json& ses = system.at("ses");
        checkKeys(ses, {"enclosures"}, "ses");
        if (ses.contains("enclosures")) {
            settings = ses.at("enclosures");
            if (!settings.is_array()) throw std::invalid_argument("ses.enclosures must be an array");
        }
    }
    std::vector<bool> given(enclosures_.size(), false);
    for (size_t s = 0; s < settings.size(); ++s) {
        const json& o = settings[s];
        const std::string path = "ses.enclosures[" + std::to_string(s) + "]";
        checkKeys(o, {"number", "layout", "chassis", "vendor", "product", "revision", "serial", "panelId", "logicalId",
                      "target", "altTarget", "loops", "slots", "powerSupplies", "fans", "temperatures",
                      "controllers", "alarms", "elements"},
                  path);
        if (!o.contains("number")) throw std::invalid_argument(path + ": \"number\" is required");
        const auto number = static_cast<uint8_t>(at(path, [&] { return intIn(o, "number", 0, 255, 0); }));
        Enclosure* e = find(number);
        if (e == nullptr) throw std::invalid_argument(path + ": the system has no enclosure " + std::to_string(number));
        const size_t idx = static_cast<size_t>(e - enclosures_.data());
        if (given[idx]) throw std::invalid_argument(path + ": enclosure " + std::to_string(number) + " given twice");
        given[idx] = true;
        if (o.contains("layout")) {
            const std::string layout = at(path, [&] { return strOr(o, "layout", "sas"); });
            if (layout != "sas" && layout != "legacy") throw std::invalid_argument(path + ": \"layout\" must be sas or legacy");
            e->legacy = layout == "legacy";
        }
        auto text = [&](const char* key, std::string& field, size_t width) {
            if (!o.contains(key)) return;
            field = at(path, [&] { return strOr(o, key, ""); });
            if (field.size() > width)
                throw std::invalid_argument(path + ": \"" + key + "\" is longer than " + std::to_string(width) + " characters");
        };
        std::string chassis;
        text("chassis", chassis, 4);
        if (o.contains("chassis") && chassis.size() != 4) throw std::invalid_argument(path + ": \"chassis\" must be 4 characters");
        text("vendor", e->vendor, 8);
        text("product", e->product, 16);
        text("revision", e->revision, 4);
        text("serial", e->serial, 15);
        text("panelId", e->panelId, 3);
        if (!chassis.empty()) {
            if (o.contains("product")) throw std::invalid_argument(path + ": give \"chassis\" or \"product\", not both");
            e->product = "SB-" + chassis + "-SAS-ENCL";
        }
        if (o.contains("logicalId")) e->logicalId = at(path, [&] { return parseWwn(o.at("logicalId"), "logicalId"); });
        auto target = [&](const char* key, int& field) {
            if (!o.contains(key)) return;
            if (o.at(key).is_string() && o.at(key).get<std::string>() == "none") field = -1;
            else field = static_cast<int>(at(path, [&] { return intIn(o, key, 0, 125, 0); }));
        };
        target("target", e->target);
        target("altTarget", e->altTarget);
        if (o.contains("loops")) {
            const json& l = o.at("loops");
            if (!l.is_array()) throw std::invalid_argument(path + ": \"loops\" must be an array of 0 and 1");
            e->loops = 0;
            for (const auto& x : l) {
                if (!x.is_number_integer() || x.get<int64_t>() < 0 || x.get<int64_t>() > 1)
                    throw std::invalid_argument(path + ": \"loops\" must be an array of 0 and 1");
                e->loops |= static_cast<uint8_t>(1u << x.get<int64_t>());
            }
        }
    }
    // Element lists with their defaults, then the given states.
    for (size_t i = 0; i < enclosures_.size(); ++i) {
        Enclosure& e = enclosures_[i];
        const json* o = nullptr;
        for (const auto& x : settings)
            if (x.is_object() && x.contains("number") && x.at("number") == e.number) o = &x;
        const std::string path = "ses.enclosures[" + std::to_string(i) + "]";
        auto count = [&](const char* key, int64_t hi, int64_t dflt) {
            return static_cast<size_t>(o != nullptr ? at(path, [&] { return intIn(*o, key, 0, hi, dflt); }) : dflt);
        };
        char buf[32];
        if (e.product.empty()) e.product = "SB-2425-SAS-ENCL";
        if (e.serial.empty()) {
            std::snprintf(buf, sizeof buf, "TV24250%08u", 1000u + e.number);
            e.serial = buf;
        }
        if (e.panelId.empty()) {
            std::snprintf(buf, sizeof buf, "%03u", e.number);
            e.panelId = buf;
        }
        if (e.logicalId == 0) e.logicalId = 0x50050CC000A00000ULL + e.number;
        e.elements[static_cast<size_t>(Kind::Slot)].resize(count("slots", 63, 12));
        e.elements[static_cast<size_t>(Kind::PowerSupply)].resize(count("powerSupplies", 63, 2));
        e.elements[static_cast<size_t>(Kind::Fan)].resize(count("fans", 63, e.legacy ? 2 : 4));
        e.elements[static_cast<size_t>(Kind::Temperature)].resize(count("temperatures", 63, e.legacy ? 3 : 12));
        e.elements[static_cast<size_t>(Kind::Alarm)].resize(count("alarms", 63, 1));
        e.elements[static_cast<size_t>(Kind::Enclosure)].resize(1);
        if (e.legacy) {
            e.elements[static_cast<size_t>(Kind::DoorLock)].resize(1);
        } else {
            const size_t controllers = count("controllers", 63, 2);
            for (Kind k : {Kind::Controller, Kind::SasExpander, Kind::Midplane, Kind::ChannelCard, Kind::ElectronicsPower})
                e.elements[static_cast<size_t>(k)].resize(controllers);
            e.elements[static_cast<size_t>(Kind::Settings)].resize(1);
        }
        for (const auto& k : kKinds) {
            auto& list = e.elements[static_cast<size_t>(k.kind)];
            for (size_t n = 0; n < list.size(); ++n) list[n].text = defaultText(e, k.kind, static_cast<unsigned>(n));
        }
        auto& sensors = e.elements[static_cast<size_t>(Kind::Temperature)];
        if (sensors.size() > 1) sensors[1].celsius = 31;   // the midplane runs warmer
        if (o != nullptr && o->contains("elements")) {
            const json& els = o->at("elements");
            if (!els.is_array()) throw std::invalid_argument(path + ".elements must be an array");
            for (size_t n = 0; n < els.size(); ++n) setElement(e, els[n], path + ".elements[" + std::to_string(n) + "]");
            e.generation = 1;
        }
    }
}

json SesEnclosures::save() const {
    json list = json::array();
    for (const auto& e : enclosures_) {
        json o = {{"number", e.number},
                  {"layout", e.legacy ? "legacy" : "sas"},
                  {"vendor", e.vendor},
                  {"product", e.product},
                  {"revision", e.revision},
                  {"serial", e.serial},
                  {"panelId", e.panelId},
                  {"logicalId", wwnHex(e.logicalId)},
                  {"target", e.target < 0 ? json("none") : json(e.target)},
                  {"altTarget", e.altTarget < 0 ? json("none") : json(e.altTarget)},
                  {"slots", e.elements[static_cast<size_t>(Kind::Slot)].size()},
                  {"powerSupplies", e.elements[static_cast<size_t>(Kind::PowerSupply)].size()},
                  {"fans", e.elements[static_cast<size_t>(Kind::Fan)].size()},
                  {"temperatures", e.elements[static_cast<size_t>(Kind::Temperature)].size()},
                  {"alarms", e.elements[static_cast<size_t>(Kind::Alarm)].size()}};
        if (!e.legacy) o["controllers"] = e.elements[static_cast<size_t>(Kind::Controller)].size();
        json loops = json::array();
        for (int l = 0; l < 2; ++l)
            if (e.loops & (1 << l)) loops.push_back(l);
        o["loops"] = loops;
        json els = json::array();
        for (const auto& k : kKinds) {
            if (k.kind == Kind::Slot) continue;
            const auto& list = e.elements[static_cast<size_t>(k.kind)];
            for (size_t n = 0; n < list.size(); ++n) {
                json x = {{"kind", k.name}, {"index", n}, {"text", list[n].text}};
                if (k.kind == Kind::Temperature) x["celsius"] = list[n].celsius;
                if (list[n].raw >= 0) x["raw"] = list[n].raw;
                if (list[n].statusGiven || k.kind != Kind::Temperature) x["status"] = list[n].status;
                els.push_back(x);
            }
        }
        o["elements"] = els;
        list.push_back(o);
    }
    return {{"enclosures", list}};
}

std::vector<uint8_t> SesEnclosures::page(const Enclosure& e, uint8_t code, const std::vector<Drive>& drives) const {
    const std::vector<Kind> layout = layoutOf(e);
    std::vector<uint8_t> p(8, 0);
    p[0] = code;
    wire::putBe32(&p[4], e.generation);
    auto each = [&](auto&& visit) {   // visit(kind, index or -1 for the overall element)
        for (Kind k : layout) {
            const auto& list = e.elements[static_cast<size_t>(k)];
            visit(k, -1);
            for (size_t i = 0; i < list.size(); ++i) visit(k, static_cast<int>(i));
        }
    };
    switch (code) {
    case 0x01: {
        constexpr size_t kDescriptor = 60;
        p.resize(8 + kDescriptor, 0);
        uint8_t* d = &p[8];
        d[0] = 0x11;   // one enclosure services process
        d[1] = 0;      // subenclosure identifier
        d[2] = static_cast<uint8_t>(layout.size());
        d[3] = kDescriptor - 4;
        wire::putBe64(&d[4], e.logicalId);
        padded(p, 8 + 12, e.vendor, 8);
        padded(p, 8 + 20, e.product, 16);
        padded(p, 8 + 36, e.revision, 4);
        padded(p, 8 + 40, e.serial, 15);
        padded(p, 8 + 56, e.panelId, 3);
        for (Kind k : layout) {
            const auto n = e.elements[static_cast<size_t>(k)].size();
            p.insert(p.end(), {typeOf(e, k), static_cast<uint8_t>(n), 0, 0});
        }
        break;
    }
    case 0x02: {
        uint8_t flags = 0;
        each([&](Kind k, int i) {
            uint8_t b[4] = {0, 0, 0, 0};
            if (i >= 0) {
                const Element& x = e.elements[static_cast<size_t>(k)][static_cast<size_t>(i)];
                const uint8_t status = k == Kind::Slot ? slotStatus(e, static_cast<unsigned>(i), drives) : x.status;
                statusElement(b, k, x, status);
                if (status == 2) flags |= 0x02;
                if (status == 3) flags |= 0x04;
                if (status == 4) flags |= 0x01;
            }
            p.insert(p.end(), b, b + 4);
        });
        p[1] = flags;
        break;
    }
    case 0x05:
        each([&](Kind k, int i) {
            uint8_t b[4] = {0, 0, 0, 0};
            if (i >= 0 && k == Kind::Temperature) {
                b[0] = kHighCritical + 20;
                b[1] = kHighWarning + 20;
                b[2] = kLowWarning + 20;
                b[3] = kLowCritical + 20;
            }
            p.insert(p.end(), b, b + 4);
        });
        break;
    case 0x07:
        each([&](Kind k, int i) {
            const std::string text = i < 0 ? std::string(info(k).name)
                                           : e.elements[static_cast<size_t>(k)][static_cast<size_t>(i)].text;
            const size_t n = std::min<size_t>(text.size(), 0xFFFF);
            p.insert(p.end(), {0, 0, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
            p.insert(p.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
        });
        break;
    default:
        return {};
    }
    wire::putBe16(&p[2], static_cast<uint16_t>(p.size() - 4));
    return p;
}

const SesEnclosures::Enclosure* SesEnclosures::resolve(uint8_t loop, uint8_t target,
                                                         const std::vector<Drive>& drives) const {
    for (const auto& e : enclosures_) {
        if (!(e.loops & (1u << loop))) continue;
        if (e.target >= 0 && (e.target & 0x7F) == target) return &e;
        if (e.altTarget >= 0 && (e.altTarget & 0x7F) == target) return &e;
        if (e.target < 0) {
            // Drives without an SES target: the enclosure answers through the
            // drive's record number + 1 on loop 0, and at target 1 on loop 1.
            const size_t n = std::min(drives.size(), wire::kMaxDrives);
            if (loop == 0 && target >= 1 && target - 1u < n && drives[target - 1u].enclosure == e.number) return &e;
            if (loop == 1 && target == 1) return &e;
        }
    }
    return nullptr;
}

void SesEnclosures::driveTargets(uint8_t enclosure, uint8_t& ses0Loop1, uint8_t& ses1Loop2) const {
    ses0Loop1 = ses1Loop2 = 0xFF;
    for (const auto& e : enclosures_) {
        if (e.number != enclosure) continue;
        ses0Loop1 = e.target < 0 ? 0xFF : static_cast<uint8_t>(e.target);
        ses1Loop2 = e.altTarget < 0 ? 0xFF : static_cast<uint8_t>(e.altTarget);
    }
}

std::optional<Outcome> SesEnclosures::execute(const CommandContext& cmd, std::vector<uint8_t>& dataIn,
                                              const std::vector<Drive>& drives, uint8_t productType, uint64_t nowMs) {
    const auto& c = cmd.cdb;
    if (c.empty()) return std::nullopt;
    const uint8_t op = c[0];

    // RECEIVE DIAGNOSTIC RESULTS to the controller: its own (first) enclosure.
    if (op == wire::kOpReceiveDiagnostic) {
        if (productType < 0x13) return Outcome::invalidOpcode();
        if (c.size() != 6 && c.size() != wire::kVendorCdbLength) return Outcome::invalidFieldInCdb();
        if (c[1] != 0x01) return Outcome::invalidFieldInCdb();
        const uint16_t allocation = wire::loadBe16(&c[3]);
        if (c.size() == wire::kVendorCdbLength) {
            const uint32_t transfer = wire::loadBe24(&c[6]);
            if (c[5] != 0 || c[9] != 0 || (transfer != 0 && transfer != allocation)) return Outcome::invalidFieldInCdb();
        } else if (c[5] != 0) {
            return Outcome::invalidFieldInCdb();
        }
        if (enclosures_.empty()) return Outcome::check(0x05, 0x35, 0x02);  // enclosure services unavailable
        dataIn = page(enclosures_.front(), c[2], drives);
        if (dataIn.empty()) return Outcome::invalidFieldInCdb();
        if (dataIn.size() > allocation) dataIn.resize(allocation);
        return Outcome::good();
    }
    if (c.size() != wire::kVendorCdbLength) return std::nullopt;

    // The embedded diagnostic commands, addressed through a drive loop.
    if ((op == wire::kOpReadBuffer && c[2] == wire::buf::ReceiveDiagnostics) ||
        (op == wire::kOpWriteBuffer && c[2] == wire::buf::SendDiagnostics)) {
        const bool receive = op == wire::kOpReadBuffer;
        if (c[1] != wire::kModeVendor || c[9] != 0) return Outcome::invalidFieldInCdb();
        if (receive ? (c[4] != 0x1C || c[5] != 0x01) : (c[4] != 0x1D || c[5] != 0x10 || c[6] != 0))
            return Outcome::invalidFieldInCdb();
        const uint16_t length = wire::loadBe16(&c[7]);
        const Enclosure* e = resolve(c[3] >> 7, c[3] & 0x7F, drives);
        if (e == nullptr) return Outcome::check(0x05, 0x25, 0x00);    // no enclosure there
        if (!receive) {
            if (cmd.dataOut.size() != length) return Outcome::parameterListLengthError();
            if (cmd.dataOut.empty() || cmd.dataOut[0] != 0x02) return Outcome::invalidFieldInParameterList();
            return Outcome::good();
        }
        dataIn = page(*e, c[6], drives);
        if (dataIn.empty()) return Outcome::invalidFieldInCdb();
        if (dataIn.size() > length) dataIn.resize(length);
        return Outcome::good();
    }

    // Locate an enclosure: its drive lights flash for b5 seconds.
    if (op == wire::kOpWriteBuffer && c[2] == wire::buf::FlashDriveActivityLight && c[3] == kLocateEnclosure) {
        if (c[1] != wire::kModeVendor || c[9] != 0) return Outcome::invalidFieldInCdb();
        if (wire::loadBe24(&c[6]) != cmd.dataOut.size() || cmd.dataOut.size() != wire::kValidationHeaderSize)
            return Outcome::parameterListLengthError();
        if (!std::equal(wire::TOLVO_VALIDATION_HEADER.begin(), wire::TOLVO_VALIDATION_HEADER.end(), cmd.dataOut.begin()))
            return Outcome::invalidFieldInParameterList();
        Enclosure* e = find(c[4]);
        if (e == nullptr) return Outcome::invalidFieldInCdb();
        e->locateUntilMs = nowMs + 1000ull * c[5];
        ++e->locates;
        return Outcome::good();
    }
    return std::nullopt;
}

const std::vector<SesEnclosures::VerbKeys>& SesEnclosures::verbs() {
    static const std::vector<VerbKeys> table = {
        {"ses-set", {"enclosure", "kind", "index", "status", "celsius", "raw", "text"}},
        {"ses-state", {}},
        {"ses-page", {"enclosure", "page"}},
    };
    return table;
}

std::optional<json> SesEnclosures::control(const std::string& verb, const json& args, const std::vector<Drive>& drives,
                                           uint64_t nowMs) {
    if (std::none_of(verbs().begin(), verbs().end(), [&](const VerbKeys& v) { return verb == v.name; }))
        return std::nullopt;
    if (verb == "ses-state") {
        json list = json::array();
        for (const auto& e : enclosures_) {
            const uint64_t left = e.locateUntilMs > nowMs ? e.locateUntilMs - nowMs : 0;
            list.push_back({{"number", e.number}, {"generation", e.generation}, {"locates", e.locates},
                            {"locateSeconds", (left + 999) / 1000}});
        }
        return json{{"enclosures", list}};
    }
    if (enclosures_.empty()) return json{{"error", "the system has no enclosures"}};
    const auto number = static_cast<uint8_t>(intIn(args, "enclosure", 0, 255, enclosures_.front().number));
    Enclosure* e = find(number);
    if (e == nullptr) return json{{"error", "no enclosure " + std::to_string(number)}};
    if (verb == "ses-page") {
        checkKeys(args, {"enclosure", "page"}, "arguments");
        const std::vector<uint8_t> p = page(*e, static_cast<uint8_t>(intIn(args, "page", 0, 255, 1)), drives);
        if (p.empty()) return json{{"error", "no such page"}};
        std::string hex;
        char buf[4];
        for (uint8_t b : p) {
            std::snprintf(buf, sizeof buf, "%02x", b);
            hex += buf;
        }
        return json{{"hex", hex}};
    }
    setElement(*e, args, "arguments");
    return json{{"ok", true}, {"generation", e->generation}};
}

}  // namespace sim::model
