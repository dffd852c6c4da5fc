#include "scsi/tolvo.h"

#include <algorithm>
#include <cstring>

#include "scsi/passthrough.h"
#include "support/sleep.h"
#include "wire/byteorder.h"
#include "wire/vendor_ops.h"

namespace {

OutOfBandSender& outOfBandSender() {
    static OutOfBandSender sender;
    return sender;
}

time_t g_outOfBandEpoch = 0;

bool isFromController(uint8_t opcode) {
    return opcode == wire::kOpReadBuffer || opcode == wire::kOpReceiveDiagnostic;
}

bool keepsDiagnosticFields(uint8_t bufferId) { return bufferId >= 0xF0 && bufferId <= 0xF2; }

// The controller accepts this out-of-band sense as a good outcome.
bool isBenignOutOfBandSense(const SCSI_COMMAND_STRUCT* r) {
    return r->senseKey() == 0x04 && r->asc() == 0x44 && (r->ascq() == 0x0B || r->ascq() == 0x0C);
}

}  // namespace

SCSI_COMMAND_STRUCT* setTolvoCdb(SCSI_COMMAND_STRUCT* request, uint8_t opcode, uint8_t mode, uint8_t bufferId,
                                 uint8_t b3, uint8_t b4, uint8_t b5) {
    request->cdb[0] = opcode;
    request->cdb[1] = mode;
    request->cdb[2] = bufferId;
    request->cdb[3] = b3;
    request->cdb[4] = b4;
    request->cdb[5] = b5;
    return request;
}

bool outOfBandPaceDue(time_t now, time_t* epoch) {
    if (*epoch == 0) {
        *epoch = now;
        return false;
    }
    if (now - *epoch > static_cast<time_t>(TOLVO_OUT_OF_BAND_IDLE_SECONDS)) {
        *epoch = now;
        return true;
    }
    return false;
}

uint8_t TOLVO_SendCommand(ITL_HANDLE_STRUCT* handle, SCSI_COMMAND_STRUCT* request, uint8_t* data,
                          uint32_t totalLength, TolvoConversion convert, uint32_t* received) {
    if (received != nullptr) *received = 0;
    if (handle == nullptr || request == nullptr || (totalLength > 0 && data == nullptr)) return WSC_BAD_PARAMETERS;
    const uint8_t opcode = request->cdb[0];
    const bool fromController = isFromController(opcode);
    std::memset(request->senseData, 0, sizeof request->senseData);
    request->cdbLength = wire::kVendorCdbLength;
    request->direction = fromController ? SCSI_DIR_FROM_DEVICE : SCSI_DIR_TO_DEVICE;
    request->timeout = TOLVO_VENDOR_TIMEOUT;

    const bool outOfBand = handle->outOfBand == OUT_OF_BAND_MARKER;
    const uint32_t chunkSize = outOfBand ? wire::kOutOfBandChunk : wire::kInBandChunk;
    if (request->cdb[1] == wire::kModeDownload && totalLength > chunkSize) request->cdb[1] = wire::kModeDownloadOffsets;
    const uint8_t mode = request->cdb[1];
    const uint8_t bufferId = request->cdb[2];

    uint8_t status = WSC_BAD_PARAMETERS;
    uint32_t usable = 0;
    for (uint32_t offset = 0; offset < totalLength;) {
        const uint32_t chunk = std::min(chunkSize, totalLength - offset);
        if (mode != wire::kModeVendor) wire::putBe24(&request->cdb[3], offset & 0xFFFFFF);
        if (!keepsDiagnosticFields(bufferId)) {
            wire::putBe24(&request->cdb[6], chunk);
            request->cdb[9] = 0;
        }
        request->dataLength = chunk;
        if (outOfBand) {
            if (outOfBandPaceDue(time(nullptr), &g_outOfBandEpoch)) lqcl::sleepMicroseconds(TOLVO_OUT_OF_BAND_PACING_US);
            status = outOfBandSender() ? outOfBandSender()(request, data + offset) : WSC_OS_ERROR;
            if (isBenignOutOfBandSense(request)) status = WSC_GOOD;
        } else {
            status = issueScsiCommand(handle, request, data + offset);
        }
        if (status != WSC_GOOD) break;
        // The transport reports how many bytes of the chunk arrived.
        const uint32_t arrived = fromController ? std::min(request->dataLength, chunk) : chunk;
        // A reply begins with the byte count of the whole structure: a shorter
        // structure ends the transfer early.
        if (fromController && offset == 0 && totalLength >= 4) {
            const uint32_t declared = arrived >= 4 ? wire::loadLe32(data) : 0;
            if (declared < totalLength) totalLength = declared;
        }
        usable = offset + arrived;
        if (arrived < chunk) {
            // What did not arrive reads as zeros, never as what the buffer held
            // before (an earlier page, an earlier attempt).
            std::memset(data + offset + arrived, 0, chunk - arrived);
            break;
        }
        offset += chunk;
    }
    if (received != nullptr && fromController) *received = usable;
    if (status == WSC_GOOD && convert != nullptr && fromController) convert(data);
    return status;
}

char* makeTolvoString(const char* source, char* field, uint32_t width) {
    uint32_t i = 0;
    if (source != nullptr) {
        for (; i < width && source[i] != '\0'; ++i) {
            const auto c = static_cast<unsigned char>(source[i]);
            field[i] = (c >= 32 && c <= 126) ? static_cast<char>(c) : ' ';
        }
    }
    for (; i < width; ++i) field[i] = ' ';
    return field;
}

OutOfBandSender setOutOfBandSender(OutOfBandSender sender) {
    OutOfBandSender previous = std::move(outOfBandSender());
    outOfBandSender() = std::move(sender);
    return previous;
}

void LAPIControllerTimeToSysTime(const wire::CLOCK_STRUCT* clock, time_t* out) {
    time_t now = time(nullptr);
    tm t{};
    localtime_r(&now, &t);
    t.tm_year = clock->year.get() - 1900;
    t.tm_mon = clock->month - 1;
    t.tm_mday = clock->day;
    t.tm_wday = clock->dayOfWeek;
    t.tm_hour = clock->hour;
    t.tm_min = clock->minute;
    t.tm_sec = clock->second;
    t.tm_yday = 0;
    *out = mktime(&t);
}

void LAPISysTimeToControllerTime(time_t time, wire::CLOCK_STRUCT* clock) {
    tm t{};
    localtime_r(&time, &t);
    clock->year.set(static_cast<uint16_t>(t.tm_year + 1900));
    clock->month = static_cast<uint8_t>(t.tm_mon + 1);
    clock->day = static_cast<uint8_t>(t.tm_mday);
    clock->dayOfWeek = static_cast<uint8_t>(t.tm_wday + 1);
    clock->hour = static_cast<uint8_t>(t.tm_hour);
    clock->minute = static_cast<uint8_t>(t.tm_min);
    clock->second = static_cast<uint8_t>(t.tm_sec);
    mktime(&t);
}

void swap_endian_RECEIVE_DIAGNOSTICS(void*) {}
void swap_endian_SEND_DIAGNOSTICS(void*) {}

namespace {
uint8_t enclosureByte(uint8_t flag, uint8_t enclosure) {
    return static_cast<uint8_t>((enclosure & 0x7F) | (flag ? 0x80 : 0));
}
}  // namespace

uint8_t TOLVO_ReceiveDiagnotics(ITL_HANDLE_STRUCT* handle, SCSI_COMMAND_STRUCT* request, uint8_t page,
                                uint8_t flag, uint8_t enclosure, uint8_t* data, uint32_t length) {
    setTolvoCdb(request, wire::kOpReadBuffer, wire::kModeVendor, wire::buf::ReceiveDiagnostics,
                enclosureByte(flag, enclosure), 0x1C, 0x01);
    request->cdb[6] = page;
    wire::putBe16(&request->cdb[7], static_cast<uint16_t>(length));
    request->cdb[9] = 0;
    return TOLVO_SendCommand(handle, request, data, length & 0xFFFF, swap_endian_RECEIVE_DIAGNOSTICS);
}

uint8_t TOLVO_SendDiagnotics(ITL_HANDLE_STRUCT* handle, SCSI_COMMAND_STRUCT* request, uint8_t,
                             uint8_t flag, uint8_t enclosure, uint8_t* data, uint32_t length) {
    if (handle == nullptr || handle->outOfBand != OUT_OF_BAND_MARKER)
        setTolvoCdb(request, wire::kOpWriteBuffer, wire::kModeVendor, wire::buf::SendDiagnostics,
                    enclosureByte(flag, enclosure), 0x1D, 0x10);
    request->cdb[6] = 0;
    wire::putBe16(&request->cdb[7], static_cast<uint16_t>(length));
    request->cdb[9] = 0;
    return TOLVO_SendCommand(handle, request, data, length, swap_endian_SEND_DIAGNOSTICS);
}

uint8_t TOLVO_ReceiveDiagnotics_SES2(ITL_HANDLE_STRUCT* handle, SCSI_COMMAND_STRUCT* request, uint8_t page,
                                     uint8_t* data, uint32_t length) {
    std::memset(request->cdb, 0, sizeof request->cdb);
    request->cdb[0] = wire::kOpReceiveDiagnostic;
    request->cdb[1] = 0x01;
    request->cdb[2] = page;
    wire::putBe16(&request->cdb[3], static_cast<uint16_t>(length));
    return TOLVO_SendCommand(handle, request, data, length, swap_endian_RECEIVE_DIAGNOSTICS);
}
