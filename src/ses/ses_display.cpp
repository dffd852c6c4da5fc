#include "ses/ses_display.h"

#include <cstring>

#include "support/string_utils.h"
#include "wire/byteorder.h"

namespace ses {

namespace {

// A fixed text field printed as "%.Ns" would print it: up to its first NUL.
std::string field(const char* f, size_t n) { return std::string(f, strnlen(f, n)); }

// "%3d C / %3d F", or the text for a sensor without a reading.
std::string temperatureReading(int celsius) {
    if (celsius == kTemperatureNotAvailable) return "temperature reading n/a";
    std::string s;
    appendf(s, "%3d C / %3d F", celsius, celsiusToFahrenheit(celsius));
    return s;
}

// One temperature line: the sensor's status and reading, or "n/a" when the
// model holds no such sensor.
void temperatureLine(std::string& out, const char* label, const SESElement* sensor, const char* end) {
    if (sensor == nullptr) {
        appendf(out, "%sn/a%s", label, end);
        return;
    }
    appendf(out, "%s%s (%s)%s", label, elementStatusName(sensor->status), temperatureReading(sensor->temperature).c_str(),
            end);
}

unsigned countInstalled(const SESModel& m, uint8_t sub, uint8_t type, unsigned count) {
    unsigned installed = count;
    for (unsigned i = 0; i < count; ++i)
        if (getStatusForElement(m, sub, type, i) == kStatusMissing) --installed;
    return installed;
}

const char* chassisName(const char chassis[4]) {
    if (std::memcmp(chassis, "1235", 4) == 0) return "8200 | 2U12\n";
    if (std::memcmp(chassis, "2425", 4) == 0) return "8200 | 2U24\n";
    if (std::memcmp(chassis, "2435", 4) == 0) return "8200 | 4U24\n";
    return "";
}

void displaySubenclosure(const SESModel& m, const SESSubenclosure& s, std::string& out) {
    const uint8_t sub = s.id;
    appendf(out, "------------ Enclosure %d ------------\n\n", sub + 1);
    appendf(out, "Overall Status           : %s\n",
            enclosureOverallName(getStatusForElement(m, sub, kTypeEnclosure, 0)));
    appendf(out, "Enclosure ID on Panel    : %s\n", field(s.panelId, sizeof s.panelId).c_str());
    appendf(out, "Enclosure Serial Number  : %s\n", field(s.serial, sizeof s.serial).c_str());
    appendf(out, "Vendor                   : %s\n", field(s.vendor, sizeof s.vendor).c_str());
    appendf(out, "Product                  : %s\n", field(s.product, sizeof s.product).c_str());
    appendf(out, "Kor Version              : %s.%s\n", field(s.versionMajor, 2).c_str(), field(s.versionMinor, 2).c_str());
    appendf(out, "Chassis                  : %s\n", chassisName(s.chassis));

    const unsigned alarms = getNumberOfElements(m, sub, kTypeAlarm);
    appendf(out, "Alarms                   : %d\n", alarms);
    for (unsigned a = 0; a < alarms; ++a)
        appendf(out, "    Alarm %d status       : %s\n\n", a + 1, elementStatusName(getStatusForElement(m, sub, kTypeAlarm, a)));

    appendf(out, "Fans                     : %d\n", getNumberOfElements(m, sub, kTypeFan));
    appendf(out, "    Overall status       : %s\n\n", elementStatusName(getOverallStatusForElement(m, sub, kTypeFan)));

    appendf(out, "Temperature Sensors      : %d\n", getNumberOfElements(m, sub, kTypeTemperature));
    appendf(out, "    Overall status       : %s\n\n",
            elementStatusName(getOverallStatusForElement(m, sub, kTypeTemperature)));
    temperatureLine(out, "    Ambient Temperature  : ", getSESElement(m, sub, kTypeTemperature, 0), "\n");
    temperatureLine(out, "    Midplane Temperature : ", getSESElement(m, sub, kTypeTemperature, 1), "\n\n");

    const unsigned controllers = getNumberOfElements(m, sub, kTypeEnclosureService);
    appendf(out, "Controllers              : %d\n", controllers);
    appendf(out, "    Number Installed     : %d\n\n", countInstalled(m, sub, kTypeEnclosureService, controllers));
    for (unsigned c = 0; c < controllers; ++c) {
        const uint8_t status = getStatusForElement(m, sub, kTypeEnclosureService, c);
        appendf(out, "Controller %d\n", c);
        appendf(out, "    Status               : %s\n", elementStatusName(status));
        if (status == kStatusMissing) {
            out += "    FRU Number           : n/a\n";
            out += "    Serial Number        : n/a\n";
            out += "    Temperature          : n/a\n";
            out += "    SAS Expander Status  : n/a\n";
            out += "    Midplane Interconnect: n/a\n\n";
            continue;
        }
        const SESElement* e = getSESElement(m, sub, kTypeEnclosureService, c);
        const char* text = e != nullptr ? e->text : "";
        appendf(out, "    FRU Number           : %s\n", getFRUNumber(text, "TP=").c_str());
        appendf(out, "    Serial Number        : %s\n", getFRUNumber(text, "SN=").c_str());
        temperatureLine(out, "    Temperature          : ", getSESElement(m, sub, kTypeTemperature, c + 10), "\n");
        appendf(out, "    SAS Expander Status  : %s\n", elementStatusName(getStatusForElement(m, sub, kTypeSasExpander, c)));
        appendf(out, "    Midplane Interconnect: %s\n\n",
                elementStatusName(getStatusForElement(m, sub, kTypeMidplaneInterconnect, c)));
    }

    const unsigned modules = getNumberOfElements(m, sub, kTypePowerSupply);
    appendf(out, "Power Cooling Modules    : %d\n", modules);
    appendf(out, "    Number Installed     : %d\n", countInstalled(m, sub, kTypePowerSupply, modules));
    appendf(out, "    Overall status       : %s\n\n", elementStatusName(getOverallStatusForElement(m, sub, kTypePowerSupply)));
    for (unsigned p = 0; p < modules; ++p) {
        const uint8_t status = getStatusForElement(m, sub, kTypePowerSupply, p);
        appendf(out, "Power Cooling Module %d\n", p + 1);
        appendf(out, "    Status               : %s\n", elementStatusName(status));
        if (status == kStatusMissing) {
            out += "    FRU Number           : n/a\n";
            out += "    Serial Number        : n/a\n";
            out += "    Fan 1                : n/a\n";
            out += "    Fan 2                : n/a\n";
            out += "    Inlet Temperature    : n/a\n";
            out += "    Hotspot Temperature  : n/a\n\n";
            continue;
        }
        const SESElement* e = getSESElement(m, sub, kTypePowerSupply, p);
        const char* text = e != nullptr ? e->text : "";
        appendf(out, "    FRU Number           : %s\n", getFRUNumber(text, "TP=").c_str());
        appendf(out, "    Serial Number        : %s\n", getFRUNumber(text, "SN=").c_str());
        appendf(out, "    Fan 1                : %s\n", elementStatusName(getStatusForElement(m, sub, kTypeFan, 2 * p)));
        appendf(out, "    Fan 2                : %s\n", elementStatusName(getStatusForElement(m, sub, kTypeFan, 2 * p + 1)));
        temperatureLine(out, "    Inlet Temperature    : ", getSESElement(m, sub, kTypeTemperature, 2 * p + 2), "\n");
        temperatureLine(out, "    Hotspot Temperature  : ", getSESElement(m, sub, kTypeTemperature, 2 * p + 3), "\n\n");
    }

    const unsigned drives = getNumberOfElements(m, sub, kTypeArrayDevice);
    appendf(out, "Drives                   : %d\n", drives);
    for (unsigned d = 0; d < drives; ++d)
        appendf(out, "    Drive %2d             : %s\n", d + 1, elementStatusName(getStatusForElement(m, sub, kTypeArrayDevice, d)));
    out += "\n\n";
}

const char* yesNo(bool bit) { return bit ? "Yes" : "No"; }

}  // namespace

void appendNumber(std::string& out, int64_t value, bool hex) {
    if (hex) appendf(out, "0x%X", static_cast<uint32_t>(value));
    else appendf(out, "%lld", static_cast<long long>(value));
}

void displaySESInfo(const SESModel& model, std::string& out) {
    const unsigned n = model.recordedSubenclosures();
    for (unsigned e = 0; e < n; ++e) {
        if (e == 0) {
            out += "\n";
            out += "***************SES Information***************\n\n";
            appendf(out, "Number of Enclosures     : %d\n\n", model.subenclosureCount);
        }
        displaySubenclosure(model, model.subenclosures[e], out);
    }
}

void appendLegacySESInfo(std::string& out, const uint8_t* config, size_t configSize, const uint8_t* status,
                         size_t statusSize, bool hex) {
    const wire::PageView cfg(config, sesPageLength(config, configSize));
    const wire::PageView st(status, sesPageLength(status, statusSize));

    // The element counts, from the last type descriptor header of each type.
    unsigned powerSupplies = 0, fans = 0, sensors = 0, alarms = 0, doorLocks = 0, displays = 0, devices = 0;
    const unsigned headers = cfg.u8(10);
    size_t off = 12 + size_t{cfg.u8(11)};
    for (unsigned h = 0; h < headers && cfg.has(off, 4); ++h, off += 4) {
        const unsigned count = cfg.u8(off + 1);
        switch (cfg.u8(off)) {
        case kTypePowerSupply: powerSupplies = count; break;
        case kTypeFan: fans = count; break;
        case kTypeTemperature: sensors = count; break;
        case kTypeAlarm: alarms = count; break;
        case kTypeDoorLock: doorLocks = count; break;
        case kTypeDisplay: displays = count; break;
        case kTypeDevice: devices = count; break;
        default: break;
        }
    }

    out += "\n\n***************SES Information***************";
    const struct {
        const char* label;
        unsigned count;
    } counts[] = {
        {"\nNumber of Power Supplies  : ", powerSupplies}, {"\nNumber of Fans            : ", fans},
        {"\nNumber of Temp Sensors    : ", sensors},       {"\nNumber of Alarms          : ", alarms},
        {"\nNumber of Door Locks      : ", doorLocks},     {"\nNumber of Displays        : ", displays},
        {"\nNumber of Devices         : ", devices},
    };
    for (const auto& c : counts) {
        out += c.label;
        appendNumber(out, c.count, hex);
    }

    // Elements are addressed from the end of the device elements with a
    // running ordinal k; an element outside the page ends its block.
    unsigned k = 0;
    const uint8_t* element = nullptr;
    auto at = [&](unsigned ordinal) {
        const size_t o = 12 + 4 * (size_t{devices} + ordinal);
        element = st.has(o, 4) ? &st.bytes()[o] : nullptr;
        return element != nullptr;
    };
    auto bit = [&](int byte, int b) { return yesNo((element[byte] >> b) & 1); };
    auto statusLine = [&]() {
        appendf(out, "\n\tStatus                    : %s", elementStatusName(element[0] & 0x0F));
    };

    if (powerSupplies != 0) {
        out += "\n\n----Power Supply Information----";
        for (unsigned i = 0; i < powerSupplies; ++i, ++k) {
            if (!at(k)) break;
            appendf(out, "\n\nPower Supply %d:", i + 1);
            statusLine();
            appendf(out, "\n\tAC Fail                   : %s", bit(3, 1));
            appendf(out, "\n\tDC Fail                   : %s", bit(3, 0));
            appendf(out, "\n\tDC Overcurrent            : %s", bit(2, 1));
            appendf(out, "\n\tDC Overvoltage            : %s", bit(2, 3));
            appendf(out, "\n\tDC Undervoltage           : %s", bit(2, 2));
            appendf(out, "\n\tFailure                   : %s", bit(3, 6));
            appendf(out, "\n\tOff                       : %s", bit(3, 4));
            appendf(out, "\n\tOvertemp Fail             : %s", bit(3, 3));
            appendf(out, "\n\tRequested On              : %s", bit(3, 5));
        }
    }
    if (fans != 0) {
        static const char* const kSpeeds[8] = {
            "Fan Error",
            "Fan at lowest speed",
            "Fan at second lowest speed",
            "Fan at third lowest speed",
            "Fan at intermediate speed",
            "Fan at third highest speed",
            "Fan at second highest speed",
            "Fan at highest speed",
        };
        out += "\n\n----Fan Information----";
        ++k;
        for (unsigned i = 0; i < fans; ++i, ++k) {
            if (!at(k)) break;
            appendf(out, "\n\nFan %d Information:", i + 1);
            statusLine();
            appendf(out, "\n\tFan Speed                 : %s", kSpeeds[element[3] & 7]);
            appendf(out, "\n\tFail                      : %s", bit(3, 6));
            appendf(out, "\n\tOff                       : %s", bit(3, 4));
            appendf(out, "\n\tRequest on                : %s", bit(3, 5));
        }
    }
    if (sensors != 0) {
        out += "\n\n----Temperature Information----";
        for (unsigned i = 0; i < sensors; ++i) {
            if (!at(++k)) break;
            out += "\n\nTemperature Sensor ";
            appendNumber(out, i + 1, hex);
            out += " Information  :";
            statusLine();
            appendf(out, "\n\tOvertemperature Failure   : %s", bit(3, 3));
            appendf(out, "\n\tOvertemperature Warning   : %s", bit(3, 2));
            out += "\n\tTemperature in C          : ";
            appendNumber(out, int{element[2]} - kTemperatureOffset, hex);
            appendf(out, "\n\tUnder Temperature Failure : %s", bit(3, 1));
            appendf(out, "\n\tUnder Temperature Warning : %s", bit(3, 0));
        }
        ++k;
    }
    if (doorLocks != 0) {
        out += "\n\n----Door Lock Information----";
        for (unsigned i = 0; i < doorLocks; ++i) {
            if (!at(++k)) break;
            out += "\n\nDoor Lock ";
            appendNumber(out, i + 1, hex);
            out += " Information  :";
            appendf(out, "\n\tDoor Lock Status          : %s", (element[3] & 1) ? "Door is Unlocked" : "Door is locked");
        }
        ++k;
    }
    if (alarms != 0) {
        out += "\n\n----Alarm Information----";
        for (unsigned i = 0; i < alarms; ++i) {
            if (!at(++k)) break;
            appendf(out, "\n\nAlarm %d Information", i + 1);
            statusLine();
            appendf(out, "\n\tCritical Tone             : %s", bit(3, 1));
            appendf(out, "\n\tInformational Tone        : %s", bit(3, 3));
            appendf(out, "\n\tNoncritical Tone          : %s", bit(3, 2));
            appendf(out, "\n\tRemind State Tone         : %s", bit(3, 4));
            appendf(out, "\n\tRequest Mute              : %s", bit(3, 6));
            appendf(out, "\n\tUnrecoverable Tone        : %s", bit(3, 0));
        }
        ++k;
    }
    out += "\n";
}

void appendEnclosureIdentity(std::string& out, uint32_t number, const uint8_t* config, size_t configSize, bool hex) {
    const wire::PageView page(config, configSize);
    std::string text[4];
    const struct {
        size_t off, n;
    } fields[4] = {{20, 8}, {28, 16}, {44, 4}, {48, 15}};
    for (int i = 0; i < 4; ++i)
        for (size_t b = 0; b < fields[i].n; ++b) {
            const uint8_t c = page.u8(fields[i].off + b);
            if (c == 0) break;
            text[i] += static_cast<char>(c);
        }
    out += "\n\n***********Enclosure ";
    appendNumber(out, number, hex);
    out += " information***********\n";
    appendf(out, "\nEnclosure WWN(HEX)        :%0llX", static_cast<unsigned long long>(page.be64(12)));
    appendf(out, "\nVendor Identifier         : %s", text[0].c_str());
    appendf(out, "\nProduct Identification    : %s", text[1].c_str());
    appendf(out, "\nProduct Revision Level    : %s", text[2].c_str());
    appendf(out, "\nProduct Serial Number     : %s", text[3].c_str());
    out += "\nNumber of sub enclosures  : ";
    appendNumber(out, page.u8(1), hex);
    out += "\nNumber of element types   : ";
    appendNumber(out, page.u8(10), hex);
}

void appendRawPage(std::string& out, const uint8_t* page, size_t size) {
    const size_t n = sesPageLength(page, size);
    for (size_t i = 0; i < n; ++i) {
        if (i % 16 == 0) out += "\n";
        if (i % 4 == 0) out += " ";
        appendf(out, "%.2x", page[i]);  // as "%02.2x"
    }
    for (size_t i = 0; i < n; ++i) {
        if (i % 16 == 0) out += "\n";
        // A zero byte adds nothing, as "%c" into a C string would.
        if (page[i] != 0) out += static_cast<char>(page[i]);
    }
}

}  // namespace ses
