#include "lapi/reservations.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "lapi/frame.h"
#include "scsi/discovery.h"
#include "scsi/passthrough.h"
#include "scsi/scsi_commands.h"
#include "wire/byteorder.h"

namespace {

constexpr uint16_t kAllocation = 255;
constexpr uint32_t kOutParameters = 24;

enum ServiceAction : uint8_t { kReadKeys = 0, kReadReservation = 1, kReportCapabilities = 2, kReadFullStatus = 3 };

// An 8-byte key as "%02X-%02X-...".
std::string keyText(const wire::PageView& page, size_t at) {
    char text[24];
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X-%02X-%02X", page.u8(at), page.u8(at + 1),
                  page.u8(at + 2), page.u8(at + 3), page.u8(at + 4), page.u8(at + 5), page.u8(at + 6),
                  page.u8(at + 7));
    return text;
}

// Sends PERSISTENT RESERVE IN on the path and prints the outcome line. The
// reply buffer is cleared first, so a failed command decodes as empty.
void readReservationData(const char* operation, const PR_IN_PATH* path, uint8_t action, uint8_t* reply) {
    LAPITraceIn(operation);
    std::memset(reply, 0, kAllocation);
    LAPIDiscoverRAIDSystems();
    ITL_HANDLE_STRUCT* handle = nullptr;
    SCSI_COMMAND_STRUCT request{};
    uint8_t wsc = WSC_OS_ERROR;
    // A path that discovery does not know is not sent to; its status line says so.
    if (path != nullptr &&
        LAPIGetITLHandleIndex(&handle, path->ignored, path->channel, path->target, path->lun) >= 0) {
        PrInSetCdb(&request, action, kAllocation);
        wsc = issueScsiCommand(handle, &request, reply);
    }
    std::printf("issueScsiCommand status(%02X) sensekey(%02X) asc(%02X) ascq(%02X)\n", wsc, request.senseKey(),
                request.asc(), request.ascq());
}

// Generation and additional length, the header of the key and status lists.
uint32_t printListHeader(const wire::PageView& page) {
    std::printf("Generation = %u\n", page.be32(0));
    uint32_t additional = page.be32(4);
    std::printf("AdditionalLength = %u\n", additional);
    return additional;
}

}  // namespace

uint32_t LAPIPersistentReservationInReadKeys(const PR_IN_PATH* path) {
    uint8_t reply[kAllocation];
    readReservationData("LAPIPersistentReservationInReadKeys", path, kReadKeys, reply);
    wire::PageView page(reply, sizeof reply);
    uint32_t additional = printListHeader(page);
    if (additional % 8 != 0) std::printf("unexpected length\n");
    unsigned n = 0;
    for (size_t at = 8; additional >= 8 && page.has(at, 8); at += 8, additional -= 8)
        std::printf("Key %u = %s\n", n++, keyText(page, at).c_str());
    LAPITraceOut("LAPIPersistentReservationInReadKeys");
    return 0;
}

uint32_t LAPIPersistentReservationInReadReservation(const PR_IN_PATH* path) {
    uint8_t reply[kAllocation];
    readReservationData("LAPIPersistentReservationInReadReservation", path, kReadReservation, reply);
    wire::PageView page(reply, sizeof reply);
    uint32_t additional = printListHeader(page);
    if (additional == 0) {
        std::printf("No reservation\n");
    } else if (additional == 16) {
        std::printf("Reservation Key = %s\n", keyText(page, 8).c_str());
        std::printf("scope = 0x%02X\n", page.u8(21) >> 4);
        std::printf("type = 0x%02X\n", page.u8(21) & 0x0F);
    } else {
        std::printf("Unexpected sizes of reservation\n");
    }
    LAPITraceOut("LAPIPersistentReservationInReadReservation");
    return 0;
}

uint32_t LAPIPersistentReservationInReportCapabilities(const PR_IN_PATH* path) {
    uint8_t reply[kAllocation];
    readReservationData("LAPIPersistentReservationInReportCapabilities", path, kReportCapabilities, reply);
    wire::PageView page(reply, sizeof reply);
    std::printf("Length = %u\n", page.be16(0));
    std::printf("Byte 1 = 0x%02X\n", page.u8(2));
    std::printf("Byte 2 = 0x%02X\n", page.u8(3));
    std::printf("Type mask 0 = 0x%02X\n", page.u8(4));
    std::printf("Type mask 1 = 0x%02X\n", page.u8(5));
    LAPITraceOut("LAPIPersistentReservationInReportCapabilities");
    return 0;
}

uint32_t LAPIPersistentReservationInReadFullStatus(const PR_IN_PATH* path) {
    uint8_t reply[kAllocation];
    readReservationData("LAPIPersistentReservationInReadFullStatus", path, kReadFullStatus, reply);
    wire::PageView page(reply, sizeof reply);
    uint32_t remaining = printListHeader(page);
    if (remaining == 0) std::printf("no statuses\n");
    unsigned n = 0;
    size_t at = 8;
    while (remaining >= 24 && page.has(at, 24)) {
        uint32_t length = page.be32(at + 20);
        std::printf("Status %u = %s\n", n++, keyText(page, at).c_str());
        std::printf("scope = 0x%02X\n", page.u8(at + 13) >> 4);
        std::printf("type = 0x%02X\n", page.u8(at + 13) & 0x0F);
        std::printf("AdditionalLength = %u\n", length);
        if (length > remaining - 24) break;
        remaining -= 24 + length;
        at += 24 + length;
    }
    LAPITraceOut("LAPIPersistentReservationInReadFullStatus");
    return 0;
}

namespace {

std::string keyText(const uint8_t* key) {
    uint8_t bytes[8];
    std::memcpy(bytes, key, sizeof bytes);
    return keyText(wire::PageView(bytes, sizeof bytes), 0);
}

// Sends PERSISTENT RESERVE OUT with the request's keys on its path and prints
// the keys and the outcome.
uint32_t reserveOut(const char* operation, const PR_OUT_REQUEST* q, uint8_t action) {
    LAPITraceIn(operation);
    LAPIDiscoverRAIDSystems();
    ITL_HANDLE_STRUCT* handle = nullptr;
    SCSI_COMMAND_STRUCT request{};
    uint8_t wsc = WSC_OS_ERROR;
    const bool known = q != nullptr && LAPIGetITLHandleIndex(&handle, q->path.ignored, q->path.channel,
                                                             q->path.target, q->path.lun) >= 0;
    if (q != nullptr) {
        PrOutSetCdb(&request, action, 0, q->type, kOutParameters);
        std::printf("reg key = %s\n", keyText(q->key).c_str());
        std::printf("serv key = %s\n", keyText(q->serviceActionKey).c_str());
    }
    // A path that discovery does not know is not sent to; its status line says so.
    if (known) {
        uint8_t parameters[kOutParameters] = {};
        std::memcpy(parameters, q->key, 8);
        std::memcpy(parameters + 8, q->serviceActionKey, 8);
        wsc = issueScsiCommand(handle, &request, parameters);
    }
    std::printf("issueScsiCommand status(%02X) sensekey(%02X) asc(%02X) ascq(%02X)\n", wsc, request.senseKey(),
                request.asc(), request.ascq());
    LAPITraceOut(operation);
    return 0;
}

}  // namespace

uint32_t LAPIPersistentReservationOutRegister(const PR_OUT_REQUEST* q) {
    return reserveOut("LAPIPersistentReservationOutRegister", q, 0);
}
uint32_t LAPIPersistentReservationOutReserve(const PR_OUT_REQUEST* q) {
    return reserveOut("LAPIPersistentReservationOutReserve", q, 1);
}
uint32_t LAPIPersistentReservationOutRelease(const PR_OUT_REQUEST* q) {
    return reserveOut("LAPIPersistentReservationOutRelease", q, 2);
}
uint32_t LAPIPersistentReservationOutClear(const PR_OUT_REQUEST* q) {
    return reserveOut("LAPIPersistentReservationOutClear", q, 3);
}
uint32_t LAPIPersistentReservationOutRegisterAndIgnore(const PR_OUT_REQUEST* q) {
    return reserveOut("LAPIPersistentReservationOutRegisterAndIgnore", q, 6);
}
