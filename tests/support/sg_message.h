// The classic SCSI generic messages as the tests write and read them, byte by
// byte (little-endian; the bit fields of struct sg_header packed from the least
// significant bit), independently of the emulator's and the tool's own codecs.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace testsupport::sg {

using Bytes = std::vector<uint8_t>;

inline constexpr size_t kHeaderSize = 36;

// A write: header (pack_len, reply_len = 36 + dataIn, pack_id, twelve_byte),
// CDB, data out.
inline Bytes write(const Bytes& cdb, uint32_t dataIn, const Bytes& dataOut = {}, int32_t packId = 5678,
                   bool twelve = false) {
    // Sized whole up front: GCC 12 at -O3 warns (-Warray-bounds) on an insert
    // that grows a vector of constant size.
    Bytes m(kHeaderSize + cdb.size() + dataOut.size(), 0);
    auto put = [&](size_t off, uint32_t v) {
        for (int i = 0; i < 4; ++i) m[off + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put(0, static_cast<uint32_t>(m.size()));
    put(4, static_cast<uint32_t>(kHeaderSize + dataIn));
    put(8, static_cast<uint32_t>(packId));
    m[16] = twelve ? 1 : 0;
    std::copy(dataOut.begin(), dataOut.end(), std::copy(cdb.begin(), cdb.end(), m.begin() + kHeaderSize));
    return m;
}

// The fields of a message with a header; all zero when shorter than a header.
struct Message {
    int32_t packLen = 0, replyLen = 0, packId = 0, result = 0;
    unsigned twelve = 0, targetStatus = 0, hostStatus = 0, driverStatus = 0;
    Bytes sense;  // 16 bytes
    Bytes data;   // what follows the header
};

inline Message decode(const Bytes& r) {
    Message out{};
    if (r.size() < kHeaderSize) return out;
    auto get = [&](size_t off) {
        return static_cast<int32_t>(r[off] | (r[off + 1] << 8) | (r[off + 2] << 16) |
                                    (static_cast<uint32_t>(r[off + 3]) << 24));
    };
    out.packLen = get(0);
    out.replyLen = get(4);
    out.packId = get(8);
    out.result = get(12);
    uint32_t bits = static_cast<uint32_t>(get(16));
    out.twelve = bits & 1;
    out.targetStatus = (bits >> 1) & 0x1F;
    out.hostStatus = (bits >> 6) & 0xFF;
    out.driverStatus = (bits >> 14) & 0xFF;
    out.sense.assign(r.begin() + 20, r.begin() + 36);
    out.data.assign(r.begin() + 36, r.end());
    return out;
}

// A read reply: header with the given result and (masked) target status, sense, data.
inline Bytes reply(int32_t result, unsigned targetStatus, const Bytes& data = {}, const Bytes& sense = {},
                   int32_t packId = 5678) {
    Bytes m(kHeaderSize + data.size(), 0);
    auto put = [&](size_t off, uint32_t v) {
        for (int i = 0; i < 4; ++i) m[off + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put(4, static_cast<uint32_t>(m.size()));
    put(8, static_cast<uint32_t>(packId));
    put(12, static_cast<uint32_t>(result));
    put(16, (targetStatus & 0x1F) << 1);
    for (size_t i = 0; i < sense.size() && i < 16; ++i) m[20 + i] = sense[i];
    std::copy(data.begin(), data.end(), m.begin() + kHeaderSize);
    return m;
}

}  // namespace testsupport::sg
