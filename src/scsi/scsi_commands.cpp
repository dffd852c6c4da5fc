#include "scsi/scsi_commands.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "scsi/passthrough.h"
#include "scsi/utils.h"
#include "wire/byteorder.h"

namespace {

constexpr uint32_t kStandardTimeout = 3;

constexpr SCSI_COMMAND_STRUCT makeTemplate(std::initializer_list<uint8_t> cdb, uint32_t dataLength) {
    SCSI_COMMAND_STRUCT r{};
    uint8_t i = 0;
    for (uint8_t b : cdb) r.cdb[i++] = b;
    r.cdbLength = i;
    r.direction = SCSI_DIR_FROM_DEVICE;
    r.timeout = kStandardTimeout;
    r.dataLength = dataLength;
    return r;
}

void copyText(char* out, const wire::PageView& page, size_t off, size_t len) {
    for (size_t i = 0; i < len; ++i) out[i] = static_cast<char>(page.u8(off + i));
    out[len] = '\0';
}

}  // namespace

const SCSI_COMMAND_STRUCT kStandardInquiryCommand = makeTemplate({0x12, 0, 0, 0, 0xFF, 0}, kInquiryAllocation);
const SCSI_COMMAND_STRUCT kDeviceIdPageCommand = makeTemplate({0x12, 0x01, 0x83, 0, 0xFF, 0}, kInquiryAllocation);
const SCSI_COMMAND_STRUCT kReadCapacityCommand =
    makeTemplate({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, kReadCapacityLength);

void decodeInquiry(const uint8_t* reply, size_t received, SCSI_INQUIRY_DATA* out) {
    std::memset(out, 0, sizeof *out);
    wire::PageView p(reply, reply ? received : 0);
    uint8_t b0 = p.u8(0), b1 = p.u8(1), b3 = p.u8(3), b5 = p.u8(5), b6 = p.u8(6), b7 = p.u8(7);
    out->peripheralQualifier = static_cast<uint8_t>(b0 >> 5);
    out->peripheralDeviceType = b0 & 0x1F;
    out->RMB = (b1 >> 7) & 1;
    out->version = p.u8(2);
    out->NormACA = (b3 >> 5) & 1;
    out->HiSup = (b3 >> 4) & 1;
    out->responseDataFormat = b3 & 0x0F;
    out->additionalLength = p.u8(4);
    out->SCCS = (b5 >> 7) & 1;
    out->ACC = (b5 >> 6) & 1;
    out->TPGS = (b5 >> 4) & 3;
    out->ThreePC = (b5 >> 3) & 1;
    out->PROTECT = b5 & 1;
    out->BQue = (b6 >> 7) & 1;
    out->EncServ = (b6 >> 6) & 1;
    out->MultiP = (b6 >> 4) & 1;
    out->MChngr = (b6 >> 3) & 1;
    out->Addr16 = b6 & 1;
    out->WBus16 = (b7 >> 5) & 1;
    out->Sync = (b7 >> 4) & 1;
    out->Linked = (b7 >> 3) & 1;
    out->CmdQue = (b7 >> 1) & 1;
    copyText(out->vendorId, p, 8, 8);
    copyText(out->productId, p, 16, 16);
    copyText(out->productRevision, p, 32, 4);
    if (out->additionalLength >= 43) copyText(out->vendorSpecific, p, 36, 12);
}

void scsiInquiryDeviceIDClear(SCSI_DEVICE_ID_DATA* record) {
    if (record == nullptr) return;
    if (record->descriptors != nullptr) {
        for (uint32_t i = 0; i < record->descriptorCount; ++i) std::free(record->descriptors[i].identifier);
        std::free(record->descriptors);
    }
    std::memset(record, 0, sizeof *record);
}

void scsiInquiryDeviceIDFree(SCSI_DEVICE_ID_DATA* record) {
    scsiInquiryDeviceIDClear(record);
    std::free(record);
}

uint8_t decodeDeviceIdPage(const uint8_t* reply, size_t received, SCSI_DEVICE_ID_DATA* out) {
    std::memset(out, 0, sizeof *out);
    wire::PageView all(reply, reply ? received : 0);
    if (all.u8(1) != 0x83) {
        std::printf("Invalid page code: expected 0x83, got 0x%02x\n", all.u8(1));
        return WSC_OS_ERROR;
    }
    out->peripheralQualifier = static_cast<uint8_t>(all.u8(0) >> 5);
    out->peripheralDeviceType = all.u8(0) & 0x1F;
    // Descriptors only count when they lie wholly inside both the declared page and what arrived.
    const size_t usable = wire::usableLength(4u + all.be16(2), received, received);
    wire::PageView page = all.sub(0, usable);
    uint32_t count = 0;
    for (size_t off = 4; page.has(off, 4) && page.has(off + 4, page.u8(off + 3)); off += 4u + page.u8(off + 3))
        ++count;
    if (count > 255) count = 255;
    if (count == 0) return WSC_GOOD;
    out->descriptors = static_cast<SCSI_DEVICE_ID_DESCRIPTOR*>(std::calloc(count, sizeof(SCSI_DEVICE_ID_DESCRIPTOR)));
    if (out->descriptors == nullptr) return WSC_OS_ERROR;
    size_t off = 4;
    for (uint32_t i = 0; i < count; ++i) {
        SCSI_DEVICE_ID_DESCRIPTOR& d = out->descriptors[i];
        uint8_t b0 = page.u8(off), b1 = page.u8(off + 1);
        d.PIV = (b1 >> 7) & 1;
        d.protocolIdentifier = static_cast<uint8_t>(b0 >> 4);
        d.codeSet = b0 & 0x0F;
        d.association = (b1 >> 4) & 3;
        d.identifierType = b1 & 0x0F;
        d.identifierLength = page.u8(off + 3);
        out->descriptorCount = static_cast<uint8_t>(i + 1);
        if (d.identifierLength > 0) {
            d.identifier = static_cast<uint8_t*>(std::malloc(d.identifierLength));
            if (d.identifier == nullptr) {
                scsiInquiryDeviceIDClear(out);
                return WSC_OS_ERROR;
            }
            std::memcpy(d.identifier, page.bytes().data() + off + 4, d.identifierLength);
        }
        off += 4u + d.identifierLength;
    }
    return WSC_GOOD;
}

bool wwnFromDeviceId(const SCSI_DEVICE_ID_DATA* page, uint8_t wwn[8]) {
    for (uint32_t i = 0; page->descriptors != nullptr && i < page->descriptorCount; ++i) {
        const SCSI_DEVICE_ID_DESCRIPTOR& d = page->descriptors[i];
        if (d.codeSet == 1 && (d.identifierType == 3 || d.identifierType == 2) && d.identifierLength >= 8) {
            std::memcpy(wwn, d.identifier, 8);
            return true;
        }
    }
    return false;
}

void decodeReadCapacity(const uint8_t* reply, size_t received, SCSI_CAPACITY_DATA* out) {
    std::memset(out, 0, sizeof *out);
    wire::PageView p(reply, reply ? received : 0);
    out->lastLba = p.be32(0);
    out->blockLength = p.be32(4);
    out->capacityBytes = (static_cast<uint64_t>(out->lastLba) + 1) * out->blockLength;
    out->capacityMB = static_cast<uint32_t>(out->capacityBytes / 1000000u);
    out->capacityGB = static_cast<uint32_t>(out->capacityBytes / 1000000000u);
}

uint8_t scsiInquiryGet(ITL_HANDLE_STRUCT* handle, SCSI_INQUIRY_DATA* out) {
    std::memset(out, 0, sizeof *out);
    SCSI_COMMAND_STRUCT request = kStandardInquiryCommand;
    uint8_t reply[kInquiryAllocation] = {};
    uint8_t wsc = issueScsiCommand(handle, &request, reply);
    if (wsc == WSC_GOOD) decodeInquiry(reply, sizeof reply, out);
    return wsc;
}

uint8_t scsiInquiryDeviceIDGet(ITL_HANDLE_STRUCT* handle, SCSI_DEVICE_ID_DATA* out) {
    std::memset(out, 0, sizeof *out);
    SCSI_COMMAND_STRUCT request = kDeviceIdPageCommand;
    uint8_t reply[kInquiryAllocation] = {};
    uint8_t wsc = issueScsiCommand(handle, &request, reply);
    if (wsc != WSC_GOOD) return wsc;
    return decodeDeviceIdPage(reply, sizeof reply, out);
}

int scsiInquiryWWNGet(ITL_HANDLE_STRUCT* handle, uint8_t wwn[8]) {
    auto* page = static_cast<SCSI_DEVICE_ID_DATA*>(std::calloc(1, sizeof(SCSI_DEVICE_ID_DATA)));
    if (page == nullptr) return 1;
    bool found = scsiInquiryDeviceIDGet(handle, page) == WSC_GOOD && wwnFromDeviceId(page, wwn);
    scsiInquiryDeviceIDFree(page);
    return found ? 0 : 1;
}

uint8_t scsiReadCapacityGet(ITL_HANDLE_STRUCT* handle, SCSI_CAPACITY_DATA* out) {
    std::memset(out, 0, sizeof *out);
    SCSI_COMMAND_STRUCT request = kReadCapacityCommand;
    uint8_t reply[kReadCapacityLength] = {};
    uint8_t wsc = issueScsiCommand(handle, &request, reply);
    if (wsc == WSC_GOOD) decodeReadCapacity(reply, sizeof reply, out);
    return wsc;
}

void scsiInquiryPrint(const SCSI_INQUIRY_DATA* record) {
    if (memEquals(record, 0, sizeof *record)) {
        std::printf("Inquiry Data: <Structure Not Set>\n");
        return;
    }
    std::printf("    VID/PID:%s- %s", record->vendorId, record->productId);
    std::printf("Type: 0x%01x\n", record->peripheralDeviceType);
}

void scsiReadCapacityPrint(const SCSI_CAPACITY_DATA* record) {
    if (memEquals(record, 0, sizeof *record)) {
        std::printf("Capacity Data: <Structure Not Set>\n");
        return;
    }
    std::printf("    GB: %u", record->capacityGB);
}

void scsiInquiryFree(SCSI_INQUIRY_DATA* record) { std::free(record); }

void PrInSetCdb(SCSI_COMMAND_STRUCT* request, uint8_t serviceAction, uint16_t allocationLength) {
    std::memset(request, 0, sizeof *request);
    request->cdb[0] = 0x5E;
    request->cdb[1] = serviceAction & 0x1F;
    wire::putBe16(&request->cdb[7], allocationLength);
    request->cdbLength = 10;
    request->direction = SCSI_DIR_FROM_DEVICE;
    request->timeout = kStandardTimeout;
    request->dataLength = allocationLength;
}

void PrOutSetCdb(SCSI_COMMAND_STRUCT* request, uint8_t serviceAction, uint8_t scope, uint8_t type,
                 uint32_t parameterListLength) {
    std::memset(request, 0, sizeof *request);
    request->cdb[0] = 0x5F;
    request->cdb[1] = serviceAction & 0x1F;
    request->cdb[2] = static_cast<uint8_t>(((scope & 0x0F) << 4) | (type & 0x0F));
    wire::putBe32(&request->cdb[5], parameterListLength);
    request->cdbLength = 10;
    request->direction = SCSI_DIR_TO_DEVICE;
    request->timeout = kStandardTimeout;
    request->dataLength = parameterListLength;
    PRINT_CDB_BUFFER(request, 0, request, 0);
}

void PRINT_CDB_BUFFER(const SCSI_COMMAND_STRUCT* request, uint32_t status, const void* data, uint32_t length) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (bytes == nullptr) length = 0;
    std::printf("\n--------------------------------\nCDB : ");
    for (int i = 0; i < 10; ++i) std::printf("%.2X ", request->cdb[i]);
    std::printf(" (Status = %d; Sense = %.2X/%.2X/%.2X)", static_cast<int>(status), request->senseKey(),
                request->asc(), request->ascq());
    for (int pass = 0; pass < 2; ++pass) {
        std::printf(pass == 0 ? "\n\nHex output" : "\n\nCharacter output");
        for (uint32_t row = 0; row < length; row += 16) {
            std::printf("\n [%3d] :", static_cast<int>(row));
            for (uint32_t i = 0; i < 16 && row + i < length; ++i) {
                if (i == 8) std::printf(" ");
                uint8_t b = bytes[row + i];
                if (pass == 1 && static_cast<signed char>(b) >= 32)
                    std::printf("%c  ", b);
                else
                    std::printf("%.2X ", b);
            }
        }
    }
    std::printf("\n--------------------------------\n");
}
