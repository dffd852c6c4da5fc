#include "ses/ses_model.h"

#include <cstring>

#include "wire/byteorder.h"

namespace ses {

namespace {

constexpr size_t kPageHeader = 8;     // page code, byte 1, length, generation code
constexpr size_t kElementSize = 4;

wire::PageView pageView(const uint8_t* page, size_t size) { return wire::PageView(page, sesPageLength(page, size)); }

// Copies the bytes [off, off + n) of a descriptor into a fixed field; bytes
// that lie outside the descriptor (or the page) stay zero.
void copyField(char* field, size_t n, const wire::PageView& descriptor, size_t off) {
    for (size_t i = 0; i < n; ++i) field[i] = static_cast<char>(descriptor.u8(off + i));
}

// Walks the elements of a status-like page (one overall element, then one per
// possible element, type by type in header order) and calls
// visit(record, element index or -1 for the overall element, element bytes).
// Headers of unknown types are stepped over with their elements so that the
// types after them stay aligned. The walk ends at the first element that is
// not wholly inside the page.
template <typename Visit>
void walkElements(SESModel& model, const wire::PageView& view, Visit&& visit) {
    size_t off = kPageHeader;
    for (unsigned t = 0; t < model.typeCount; ++t) {
        SESTypeRecord& record = model.types[t];
        for (int i = -1; i < static_cast<int>(record.declared); ++i) {
            if (!view.has(off, kElementSize)) return;
            if (record.filled && i < static_cast<int>(kMaxElements)) visit(record, i, &view.bytes()[off]);
            off += kElementSize;
        }
    }
}

}  // namespace

size_t sesPageLength(const uint8_t* page, size_t size) {
    if (page == nullptr || size < 4) return 0;
    return wire::usableLength(size_t{wire::loadBe16(page + 2)} + 4, size, size);
}

void processConfigPage_SES2(SESModel& model, const uint8_t* page, size_t size) {
    const wire::PageView view = pageView(page, size);
    model.subenclosureCount = 0;
    model.typeHeaderCount = 0;
    model.typeCount = 0;
    if (!view.has(0, kPageHeader)) return;
    const unsigned declared = view.u8(1) + 1u;

    size_t off = kPageHeader;
    for (unsigned e = 0; e < declared; ++e) {
        if (!view.has(off, 4)) break;
        const size_t length = view.u8(off + 3) + size_t{4};
        const wire::PageView d = view.sub(off, length);
        model.typeHeaderCount += d.u8(2);
        if (e < kMaxSubenclosures) {
            SESSubenclosure& s = model.subenclosures[e];
            s = SESSubenclosure{};
            s.id = d.u8(1);
            copyField(s.vendor, sizeof s.vendor, d, 12);
            copyField(s.product, sizeof s.product, d, 20);
            copyField(s.versionMajor, sizeof s.versionMajor, d, 36);
            copyField(s.versionMinor, sizeof s.versionMinor, d, 38);
            copyField(s.serial, sizeof s.serial, d, 40);
            copyField(s.panelId, sizeof s.panelId, d, 56);
            copyField(s.chassis, sizeof s.chassis, d, 23);
        }
        ++model.subenclosureCount;
        off += length;
        if (!view.has(off, 0)) break;
    }

    for (unsigned h = 0; h < model.typeHeaderCount && h < kMaxTypes; ++h) {
        if (!view.has(off, 4)) break;
        SESTypeRecord& r = model.types[h];
        r = SESTypeRecord{};
        const uint8_t type = view.u8(off);
        r.declared = view.u8(off + 1);
        if (type >= 1 && type <= kTypeLastKnown) {
            r.filled = true;
            r.type = type;
            r.count = static_cast<uint8_t>(r.declared < kMaxElements ? r.declared : kMaxElements);
            r.subenclosure = view.u8(off + 2);
            for (unsigned i = 0; i < r.count; ++i) {
                r.elements[i].type = r.type;
                r.elements[i].count = r.count;
                r.elements[i].subenclosure = r.subenclosure;
            }
        }
        ++model.typeCount;
        off += 4;
    }
}

void processStatusPage_SES2(SESModel& model, const uint8_t* page, size_t size) {
    walkElements(model, pageView(page, size), [](SESTypeRecord& r, int i, const uint8_t* bytes) {
        const uint8_t status = getSESElementStatus(bytes, r.type);
        if (i < 0) {
            r.overallStatus = status;
            return;
        }
        SESElement& e = r.elements[i];
        e.status = status;
        e.temperature = r.type == kTypeTemperature ? bytes[2] - kTemperatureOffset : 0;
    });
}

void processThresholdInPage_SES2(SESModel& model, const uint8_t* page, size_t size) {
    walkElements(model, pageView(page, size), [](SESTypeRecord& r, int i, const uint8_t* bytes) {
        if (i < 0) return;
        SESElement& e = r.elements[i];
        const int offset = r.type == kTypeTemperature ? kTemperatureOffset : 0;
        e.highCritical = bytes[0] - offset;
        e.highWarning = bytes[1] - offset;
        e.lowWarning = bytes[2] - offset;
        e.lowCritical = bytes[3] - offset;
    });
}

void processElementDescriptorPage_SES2(SESModel& model, const uint8_t* page, size_t size) {
    const wire::PageView view = pageView(page, size);
    size_t off = kPageHeader;
    for (unsigned t = 0; t < model.typeCount; ++t) {
        SESTypeRecord& r = model.types[t];
        for (int i = -1; i < static_cast<int>(r.declared); ++i) {
            if (!view.has(off, 4)) return;
            const size_t length = view.be16(off + 2);
            if (i >= 0 && i < static_cast<int>(kMaxElements)) {
                char* text = r.elements[i].text;
                std::memset(text, 0, kDescriptorText + 1);
                copyField(text, length < kDescriptorText ? length : kDescriptorText, view, off + 4);
            }
            off += 4 + length;
        }
    }
}

uint8_t getSESElementStatus(const uint8_t element[4], uint8_t type) {
    const uint8_t code = element[0] & 0x0F;
    const uint8_t b1 = element[1], b3 = element[3];
    if (type == kTypeTemperature) {
        if ((b1 & 0x40) || (b3 & 0x08) || (b3 & 0x02)) return kStatusFailed;
        if (b3 & 0x01) return kStatusCritical;
        return code;
    }
    if (type == kTypeAlarm) {
        if ((b1 & 0x40) || (b3 & 0x1F)) return kStatusOn;
        if (b3 & 0x80) return kStatusMuted;
        if (b3 & 0x40) return kStatusDisabled;
        return code;
    }
    return code;
}

unsigned getNumberOfElements(const SESModel& model, uint8_t subenclosure, uint8_t type) {
    for (unsigned t = 0; t < model.typeCount; ++t) {
        const SESTypeRecord& r = model.types[t];
        if (r.filled && r.type == type && r.subenclosure == subenclosure) return r.count;
    }
    return 0;
}

const SESElement* getSESElement(const SESModel& model, uint8_t subenclosure, uint8_t type, unsigned n) {
    unsigned seen = 0;
    for (unsigned t = 0; t < model.typeCount; ++t) {
        const SESTypeRecord& r = model.types[t];
        if (!r.filled || r.type != type) continue;
        for (unsigned i = 0; i < r.count; ++i) {
            if (r.elements[i].subenclosure != subenclosure) continue;
            if (seen++ == n) return &r.elements[i];
        }
    }
    return nullptr;
}

uint8_t getStatusForElement(const SESModel& model, uint8_t subenclosure, uint8_t type, unsigned n) {
    const SESElement* e = getSESElement(model, subenclosure, type, n);
    return e != nullptr ? e->status : kStatusNoAccess;
}

uint8_t getOverallStatusForElement(const SESModel& model, uint8_t subenclosure, uint8_t type) {
    uint8_t highest = 0;
    const unsigned n = getNumberOfElements(model, subenclosure, type);
    for (unsigned i = 0; i < n; ++i) {
        const uint8_t s = getStatusForElement(model, subenclosure, type, i);
        if (s > highest) highest = s;
    }
    return highest;
}

const char* determineElementType(uint8_t type) {
    static const struct {
        uint8_t code;
        const char* name;
    } kTypes[] = {
        {0x00, "Unknown"},
        {0x01, "Device"},
        {0x02, "Power Supply"},
        {0x03, "Fan"},
        {0x04, "Temperature Sensor"},
        {0x05, "Door Lock"},
        {0x06, "Alarm"},
        {0x07, "Enclosure Service"},
        {0x08, "SCC Controller"},
        {0x09, "Non Volatile Cache"},
        {0x0B, "Uninterruptible Power Supply"},
        {0x0C, "Display"},
        {0x0D, "Key Pad Device"},
        {0x0E, "Enclosure"},
        {0x0F, "SCSI Port Transceiver"},
        {0x10, "Language"},
        {0x11, "Communication Port"},
        {0x12, "Voltage Sensor"},
        {0x13, "Current Sensor"},
        {0x14, "SCSI Target Port"},
        {0x15, "SCSI Initiator Port"},
        {0x16, "Simple Subenclosure"},
        {0x17, "Array Device"},
        {0x18, "SAS Expander"},
        {0x19, "SAS Connector"},
        {0x85, "Channel Card"},
        {0x86, "Midplane Interconnect"},
        {0x89, "Electronics Power"},
        {0x8A, "Enclosure Settings"},
    };
    for (const auto& t : kTypes)
        if (t.code == type) return t.name;
    return "Unknown";
}

const char* elementStatusName(uint8_t status) {
    static const char* const kNames[] = {
        "Unsupported", "OK",       "Critical",          "Non-Critical", "Failed", "Missing",
        "Unknown",     "Disabled", "No Access Allowed", "On",           "Muted",
    };
    return status < std::size(kNames) ? kNames[status] : "Reserved";
}

const char* deviceStatusName(uint8_t status) {
    static const char* const kNames[] = {
        "OK", "Warning", "Error", "Muted", "Missing", "Disabled", "Save Config Conflict", "n/a", "Device Unknown",
    };
    return status < std::size(kNames) ? kNames[status] : "Device Unknown";
}

const char* enclosureOverallName(uint8_t status) {
    switch (status) {
    case kStatusUnsupported: return deviceStatusName(7);
    case kStatusOk: return deviceStatusName(0);
    case kStatusCritical:
    case kStatusFailed: return deviceStatusName(2);
    case kStatusNonCritical: return deviceStatusName(1);
    case kStatusMissing: return deviceStatusName(4);
    case kStatusDisabled: return deviceStatusName(5);
    case kStatusNoAccess: return deviceStatusName(7);   // no Enclosure element
    default: return deviceStatusName(8);
    }
}

int celsiusToFahrenheit(int celsius) { return static_cast<int>(static_cast<long double>(celsius) * 1.8L + 32.0L); }

std::string getFRUNumber(const char* text, const char* key) {
    if (text == nullptr || key == nullptr) return {};
    const size_t textLength = strnlen(text, kDescriptorText);
    const std::string t(text, textLength);
    const size_t at = t.find(key);
    if (at == std::string::npos) return {};
    const size_t start = at + std::strlen(key);
    const size_t end = t.find(';', start);
    if (end == std::string::npos) return {};
    std::string value = t.substr(start, end - start);
    if (value.size() > 26) value.resize(26);
    return value;
}

}  // namespace ses
