// Byte-order primitives for the controller records and the SCSI pages.
//
// Controller records travel little-endian exactly as laid out. Their multi-byte
// fields are byte-array types (le16, le32, le64) so the records need no packing
// pragma, have alignment 1 and are never read through a misaligned pointer.
// CDB fields and SCSI pages are big-endian; variable pages are read through the
// bounds-checked accessors at the end of this file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace wire {

struct le16 {
    uint8_t b[2];
    constexpr uint16_t get() const { return static_cast<uint16_t>(b[0] | (b[1] << 8)); }
    constexpr void set(uint16_t v) {
        b[0] = static_cast<uint8_t>(v);
        b[1] = static_cast<uint8_t>(v >> 8);
    }
};

struct le32 {
    uint8_t b[4];
    constexpr uint32_t get() const {
        return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
               (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
    }
    constexpr void set(uint32_t v) {
        for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
    }
};

struct le64 {
    uint8_t b[8];
    constexpr uint64_t get() const {
        uint64_t v = 0;
        for (int i = 7; i >= 0; --i) v = (v << 8) | b[i];
        return v;
    }
    constexpr void set(uint64_t v) {
        for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
    }
};

// A World Wide Name: 8 bytes, most significant first.
struct wwn8 {
    uint8_t b[8];
    constexpr uint64_t get() const {
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v = (v << 8) | b[i];
        return v;
    }
    constexpr void set(uint64_t v) {
        for (int i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(v >> (8 * (7 - i)));
    }
};

static_assert(sizeof(le16) == 2 && alignof(le16) == 1);
static_assert(sizeof(le32) == 4 && alignof(le32) == 1);
static_assert(sizeof(le64) == 8 && alignof(le64) == 1);
static_assert(sizeof(wwn8) == 8 && alignof(wwn8) == 1);

// Raw big-endian stores and loads on a pointer the caller has already bounds-checked
// (CDB fields of fixed size).
constexpr void putBe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
constexpr void putBe24(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 16);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v);
}
constexpr void putBe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * (3 - i)));
}
constexpr void putBe64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * (7 - i)));
}
constexpr uint16_t loadBe16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
constexpr uint32_t loadBe24(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
}
constexpr uint32_t loadBe32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}
constexpr uint64_t loadBe64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
    return v;
}
constexpr uint32_t loadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Bounds-checked reads over a received page: a field that does not lie wholly
// inside the span reads as 0, so a short or hostile page can cost a decoder its
// answer but never make it read outside the buffer. Callers that must tell a
// missing field from a zero one check `has` first.
class PageView {
public:
    constexpr PageView() = default;
    constexpr explicit PageView(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    constexpr PageView(const uint8_t* p, size_t n) : bytes_(p, n) {}

    constexpr size_t size() const { return bytes_.size(); }
    constexpr bool has(size_t off, size_t len) const {
        return off <= bytes_.size() && len <= bytes_.size() - off;
    }
    constexpr uint8_t u8(size_t off) const { return has(off, 1) ? bytes_[off] : 0; }
    constexpr uint16_t be16(size_t off) const { return has(off, 2) ? loadBe16(&bytes_[off]) : 0; }
    constexpr uint32_t be24(size_t off) const { return has(off, 3) ? loadBe24(&bytes_[off]) : 0; }
    constexpr uint32_t be32(size_t off) const { return has(off, 4) ? loadBe32(&bytes_[off]) : 0; }
    constexpr uint64_t be64(size_t off) const { return has(off, 8) ? loadBe64(&bytes_[off]) : 0; }
    constexpr uint32_t le32(size_t off) const { return has(off, 4) ? loadLe32(&bytes_[off]) : 0; }
    // The sub-page [off, off+len) clipped to what is present.
    constexpr PageView sub(size_t off, size_t len) const {
        if (off >= bytes_.size()) return PageView();
        size_t n = bytes_.size() - off;
        return PageView(bytes_.subspan(off, len < n ? len : n));
    }
    constexpr std::span<const uint8_t> bytes() const { return bytes_; }

private:
    std::span<const uint8_t> bytes_;
};

// The usable length of a variable page: declared length plus header, clipped to
// what was actually received and to the buffer. Every decoder of a variable page
// starts here before it loops over descriptors.
constexpr size_t usableLength(size_t declaredPlusHeader, size_t received, size_t bufferSize) {
    size_t n = declaredPlusHeader;
    if (received < n) n = received;
    if (bufferSize < n) n = bufferSize;
    return n;
}

}  // namespace wire
