// The in-memory model of an enclosure's SES pages: the configuration page gives
// the subenclosures and the type descriptor headers, the enclosure status,
// threshold in and element descriptor pages fill the elements of each type.
//
// Every page is read through wire::PageView over its usable length (declared
// length + 4, clipped to the bytes received): a page that lies about its
// length or its element counts decodes as far as it is consistent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ses {

// SES diagnostic page codes.
inline constexpr uint8_t kPageConfiguration = 0x01;
inline constexpr uint8_t kPageEnclosureStatus = 0x02;
inline constexpr uint8_t kPageThresholdIn = 0x05;
inline constexpr uint8_t kPageElementDescriptor = 0x07;

// Element types the display looks at.
inline constexpr uint8_t kTypeDevice = 0x01;
inline constexpr uint8_t kTypePowerSupply = 0x02;
inline constexpr uint8_t kTypeFan = 0x03;
inline constexpr uint8_t kTypeTemperature = 0x04;
inline constexpr uint8_t kTypeDoorLock = 0x05;
inline constexpr uint8_t kTypeAlarm = 0x06;
inline constexpr uint8_t kTypeEnclosureService = 0x07;
inline constexpr uint8_t kTypeDisplay = 0x0C;
inline constexpr uint8_t kTypeEnclosure = 0x0E;
inline constexpr uint8_t kTypeArrayDevice = 0x17;
inline constexpr uint8_t kTypeSasExpander = 0x18;
inline constexpr uint8_t kTypeMidplaneInterconnect = 0x86;
inline constexpr uint8_t kTypeLastKnown = 0x8A;

// The program's status scale (getSESElementStatus).
inline constexpr uint8_t kStatusUnsupported = 0;
inline constexpr uint8_t kStatusOk = 1;
inline constexpr uint8_t kStatusCritical = 2;
inline constexpr uint8_t kStatusNonCritical = 3;
inline constexpr uint8_t kStatusFailed = 4;
inline constexpr uint8_t kStatusMissing = 5;
inline constexpr uint8_t kStatusDisabled = 7;
inline constexpr uint8_t kStatusNoAccess = 8;
inline constexpr uint8_t kStatusOn = 9;
inline constexpr uint8_t kStatusMuted = 10;

// Temperatures travel with an offset of 20 degrees: raw 0 reads as -20.
inline constexpr int kTemperatureOffset = 20;
inline constexpr int kTemperatureNotAvailable = -kTemperatureOffset;

inline constexpr size_t kMaxSubenclosures = 16;
inline constexpr size_t kMaxTypes = 128;
inline constexpr size_t kMaxElements = 63;
inline constexpr size_t kDescriptorText = 28;

struct SESSubenclosure {
    uint8_t id = 0;
    char vendor[8] = {};
    char product[16] = {};
    char versionMajor[2] = {};
    char versionMinor[2] = {};
    char serial[15] = {};
    char panelId[3] = {};
    char chassis[4] = {};
};

struct SESElement {
    uint8_t type = 0;
    uint8_t count = 0;          // element count of its type
    uint8_t subenclosure = 0;
    uint8_t status = 0;         // program status scale
    int temperature = 0;        // degrees Celsius, temperature sensors only
    int lowWarning = 0, lowCritical = 0, highWarning = 0, highCritical = 0;
    char text[kDescriptorText + 1] = {};  // descriptor text, NUL-terminated
};

struct SESTypeRecord {
    bool filled = false;        // false for a header of type 0 or above 0x8A
    uint8_t type = 0;
    uint8_t declared = 0;       // number of possible elements the header declares
    uint8_t count = 0;          // elements recorded: the declared count, at most 63
    uint8_t subenclosure = 0;
    uint8_t overallStatus = 0;
    SESElement elements[kMaxElements];
};

struct SESModel {
    unsigned subenclosureCount = 0;   // enclosure descriptors read (at most 16 recorded)
    unsigned typeHeaderCount = 0;     // type descriptor headers the descriptors declare
    SESSubenclosure subenclosures[kMaxSubenclosures];
    unsigned typeCount = 0;           // type records read (at most 128)
    SESTypeRecord types[kMaxTypes];

    unsigned recordedSubenclosures() const {
        return subenclosureCount < kMaxSubenclosures ? subenclosureCount : static_cast<unsigned>(kMaxSubenclosures);
    }
};

// Page decoders; `size` is the number of bytes of the buffer that hold the page.
void processConfigPage_SES2(SESModel& model, const uint8_t* page, size_t size);
void processStatusPage_SES2(SESModel& model, const uint8_t* page, size_t size);
void processThresholdInPage_SES2(SESModel& model, const uint8_t* page, size_t size);
void processElementDescriptorPage_SES2(SESModel& model, const uint8_t* page, size_t size);

// The bytes of a page that may be decoded: page length + 4, clipped to `size`;
// 0 when not even the 4-byte header is there.
size_t sesPageLength(const uint8_t* page, size_t size);

// Status of a 4-byte status element of element type `type` on the program's scale.
uint8_t getSESElementStatus(const uint8_t element[4], uint8_t type);

// Model queries.
unsigned getNumberOfElements(const SESModel& model, uint8_t subenclosure, uint8_t type);
// Status of the n-th element (0-based) of that type in that subenclosure; 8 when there is none.
uint8_t getStatusForElement(const SESModel& model, uint8_t subenclosure, uint8_t type, unsigned n);
const SESElement* getSESElement(const SESModel& model, uint8_t subenclosure, uint8_t type, unsigned n);
// The highest status of the elements of that type (0 when there are none).
uint8_t getOverallStatusForElement(const SESModel& model, uint8_t subenclosure, uint8_t type);

// Names.
const char* determineElementType(uint8_t type);
const char* elementStatusName(uint8_t status);     // SES2ElementStatusDescription
const char* deviceStatusName(uint8_t status);      // SES2DeviceStatusDescription
// The overall status of an enclosure (status of its Enclosure element) as shown.
const char* enclosureOverallName(uint8_t status);

// Celsius to Fahrenheit, truncated toward zero.
int celsiusToFahrenheit(int celsius);

// The value after `key` ("TP=" FRU number, "SN=" serial number) up to the next
// ';' (at most 26 characters); empty when the key or the ';' is missing.
std::string getFRUNumber(const char* text, const char* key);

}  // namespace ses
