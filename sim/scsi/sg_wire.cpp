#include "scsi/sg_wire.h"

#include <cerrno>
#include <cstring>

#include "wire/byteorder.h"

namespace sim::sg {
namespace {

void putLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void putLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
int32_t loadLeI32(const uint8_t* p) { return static_cast<int32_t>(wire::loadLe32(p)); }

}  // namespace

std::optional<Header> decodeHeader(std::span<const uint8_t> bytes) {
    if (bytes.size() < kHeaderSize) return std::nullopt;
    const uint8_t* p = bytes.data();
    Header h;
    h.packLen = loadLeI32(p);
    h.replyLen = loadLeI32(p + 4);
    h.packId = loadLeI32(p + 8);
    h.result = loadLeI32(p + 12);
    uint32_t bits = wire::loadLe32(p + 16);
    h.twelveByte = (bits & 1u) != 0;
    h.targetStatus = static_cast<uint8_t>((bits >> 1) & 0x1Fu);
    h.hostStatus = static_cast<uint8_t>((bits >> 6) & 0xFFu);
    h.driverStatus = static_cast<uint8_t>((bits >> 14) & 0xFFu);
    h.otherFlags = static_cast<uint16_t>((bits >> 22) & 0x3FFu);
    std::memcpy(h.sense, p + 20, kSenseSize);
    return h;
}

void encodeHeader(const Header& h, uint8_t* out) {
    putLe32(out, static_cast<uint32_t>(h.packLen));
    putLe32(out + 4, static_cast<uint32_t>(h.replyLen));
    putLe32(out + 8, static_cast<uint32_t>(h.packId));
    putLe32(out + 12, static_cast<uint32_t>(h.result));
    uint32_t bits = (h.twelveByte ? 1u : 0u) | (static_cast<uint32_t>(h.targetStatus & 0x1F) << 1) |
                    (static_cast<uint32_t>(h.hostStatus) << 6) |
                    (static_cast<uint32_t>(h.driverStatus) << 14) |
                    (static_cast<uint32_t>(h.otherFlags & 0x3FF) << 22);
    putLe32(out + 16, bits);
    std::memcpy(out + 20, h.sense, kSenseSize);
}

size_t cdbLengthFor(uint8_t opcode, bool twelveByte) {
    static constexpr size_t byGroup[8] = {6, 10, 10, 12, 16, 12, 10, 10};
    if (opcode >= 0xC0 && twelveByte) return 12;
    return byGroup[(opcode >> 5) & 7];
}

std::optional<Request> parseRequest(std::span<const uint8_t> msg, std::string& why,
                                    std::optional<Header>& header) {
    header = decodeHeader(msg);
    if (!header) {
        why = "message shorter than the 36-byte sg_header";
        return std::nullopt;
    }
    if (header->replyLen < 0) {
        why = "negative reply_len (the sg_io_hdr interface is not served)";
        return std::nullopt;
    }
    if (msg.size() < kHeaderSize + kMinCdbSize) {
        why = "message too short to hold a CDB";
        return std::nullopt;
    }
    uint8_t opcode = msg[kHeaderSize];
    size_t cdbLen = cdbLengthFor(opcode, header->twelveByte);
    if (msg.size() < kHeaderSize + cdbLen) {
        why = "message shorter than the CDB its operation code implies";
        return std::nullopt;
    }
    Request r;
    r.header = *header;
    r.cdb = msg.subspan(kHeaderSize, cdbLen);
    r.dataOut = msg.subspan(kHeaderSize + cdbLen);
    r.dataInLength = header->replyLen > static_cast<int32_t>(kHeaderSize)
                         ? static_cast<uint32_t>(header->replyLen) - kHeaderSize
                         : 0;
    return r;
}

int32_t resultForHostStatus(uint8_t hostStatus) {
    switch (hostStatus) {
    case kDidOk:
        return 0;
    case kDidNoConnect:
    case kDidBusBusy:
    case kDidTimeOut:
        return EBUSY;
    default:
        return EIO;
    }
}

std::vector<uint8_t> encodeScsiId(const ScsiId& id) {
    std::vector<uint8_t> out(kScsiIdSize, 0);
    putLe32(&out[0], static_cast<uint32_t>(id.hostNo));
    putLe32(&out[4], static_cast<uint32_t>(id.channel));
    putLe32(&out[8], static_cast<uint32_t>(id.scsiId));
    putLe32(&out[12], static_cast<uint32_t>(id.lun));
    putLe32(&out[16], static_cast<uint32_t>(id.scsiType));
    putLe16(&out[20], static_cast<uint16_t>(id.cmdPerLun));
    putLe16(&out[22], static_cast<uint16_t>(id.queueDepth));
    return out;
}

}  // namespace sim::sg
