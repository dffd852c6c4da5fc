// Helpers of the firmware model tests: a clock the test moves, the default
// scenario's system object, and vendor commands built byte by byte.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "core/model_api.h"
#include "model/firmware_model.h"

namespace modeltest {

class FakeClock : public sim::SimClock {
public:
    uint64_t nowMs() const override { return ms; }
    int64_t wallSeconds() const override { return wall + static_cast<int64_t>(ms / 1000); }
    uint64_t ms = 0;
    int64_t wall = 1767225600;  // 2026-01-01 00:00:00 UTC
};

inline nlohmann::json defaultSystem() {
    std::ifstream in(std::string(LQCL_SOURCE_DIR) + "/sim/scenarios/default.json");
    return nlohmann::json::parse(in).at("systems").at(0);
}

// The validation header, written out by hand (T O L V O - V C M D 5A A5 07 00 01 00).
inline const std::vector<uint8_t> kHeader = {0x54, 0x4F, 0x4C, 0x56, 0x4F, 0x2D, 0x56, 0x43,
                                             0x4D, 0x44, 0x5A, 0xA5, 0x07, 0x00, 0x01, 0x00};

struct Result {
    std::optional<sim::Outcome> outcome;
    std::vector<uint8_t> data;
    bool good() const { return outcome && outcome->kind == sim::Outcome::Kind::Good; }
    // "KK/AA/QQ" of a check condition, "GOOD" or "none".
    std::string sense() const {
        if (!outcome) return "none";
        if (outcome->kind == sim::Outcome::Kind::Good) return "GOOD";
        char b[16];
        std::snprintf(b, sizeof b, "%02X/%02X/%02X", outcome->senseKey, outcome->asc, outcome->ascq);
        return b;
    }
};

inline std::vector<uint8_t> cdb10(uint8_t op, uint8_t mode, uint8_t id, uint8_t b3, uint8_t b4, uint8_t b5, uint32_t len) {
    return {op, mode, id, b3, b4, b5, static_cast<uint8_t>(len >> 16), static_cast<uint8_t>(len >> 8),
            static_cast<uint8_t>(len), 0};
}

inline Result run(sim::SystemModel& m, const std::vector<uint8_t>& cdb, const std::vector<uint8_t>& out = {},
                  unsigned path = 0) {
    sim::CommandContext c;
    c.pathIndex = path;
    c.cdb = cdb;
    c.dataOut = out;
    c.dataInLength = cdb.size() >= 9 ? (cdb[6] << 16 | cdb[7] << 8 | cdb[8]) : 0;
    Result r;
    r.outcome = m.execute(c, r.data);
    return r;
}

// READ BUFFER mode 1 (parameters) or 2 (offset); the whole reply.
inline Result read1(sim::SystemModel& m, uint8_t id, uint32_t len, uint8_t b3 = 0, uint8_t b4 = 0, uint8_t b5 = 0,
                    unsigned path = 0) {
    return run(m, cdb10(0x3C, 1, id, b3, b4, b5, len), {}, path);
}
inline Result read2(sim::SystemModel& m, uint8_t id, uint32_t len, unsigned path = 0) {
    Result all;
    for (uint32_t off = 0; off < len;) {
        uint32_t chunk = std::min<uint32_t>(32768, len - off);
        Result r = run(m, cdb10(0x3C, 2, id, static_cast<uint8_t>(off >> 16), static_cast<uint8_t>(off >> 8),
                                static_cast<uint8_t>(off), chunk), {}, path);
        if (!r.good()) return r;
        all.outcome = r.outcome;
        all.data.insert(all.data.end(), r.data.begin(), r.data.end());
        off += chunk;
    }
    return all;
}

// WRITE BUFFER mode 1 with the validation header and a payload.
inline Result write1(sim::SystemModel& m, uint8_t id, std::vector<uint8_t> payload = {}, uint8_t b3 = 0,
                     uint8_t b4 = 0, uint8_t b5 = 0, unsigned path = 0) {
    std::vector<uint8_t> data = kHeader;
    data.insert(data.end(), payload.begin(), payload.end());
    return run(m, cdb10(0x3B, 1, id, b3, b4, b5, static_cast<uint32_t>(data.size())), data, path);
}

inline uint16_t le16(const std::vector<uint8_t>& d, size_t off) { return static_cast<uint16_t>(d.at(off) | d.at(off + 1) << 8); }
inline uint32_t le32(const std::vector<uint8_t>& d, size_t off) {
    return d.at(off) | d.at(off + 1) << 8 | d.at(off + 2) << 16 | static_cast<uint32_t>(d.at(off + 3)) << 24;
}
inline uint64_t be64(const std::vector<uint8_t>& d, size_t off) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = v << 8 | d.at(off + i);
    return v;
}
inline std::string text(const std::vector<uint8_t>& d, size_t off, size_t n) {
    return std::string(reinterpret_cast<const char*>(d.data() + off), n);
}

// One expected field of a reply: offset, value and width (1 byte; 2 or 4 bytes
// little-endian; 8 bytes big-endian, the WWNs).
struct Field {
    size_t off;
    uint64_t value;
    unsigned width = 1;
};

// The fields that differ from the expected ones, "" when all match.
inline std::string mismatches(const std::vector<uint8_t>& d, std::initializer_list<Field> fields) {
    std::string out;
    for (const Field& f : fields) {
        char b[80];
        if (f.off + f.width > d.size()) {
            std::snprintf(b, sizeof b, " [0x%zx: beyond the %zu-byte reply]", f.off, d.size());
        } else {
            uint64_t got = f.width == 1 ? d[f.off] : f.width == 2 ? le16(d, f.off) : f.width == 4 ? le32(d, f.off)
                                                                                                  : be64(d, f.off);
            if (got == f.value) continue;
            std::snprintf(b, sizeof b, " [0x%zx: 0x%llx, expected 0x%llx]", f.off, static_cast<unsigned long long>(got),
                          static_cast<unsigned long long>(f.value));
        }
        out += b;
    }
    return out;
}

// Free plus used equals the ranks' capacity; region numbering follows the
// ranks and addresses; the image passes the model's own consistency check.
inline void checkInvariants(sim::model::FirmwareModel& model) {
    Result mapRead = read1(model, 0x20, 21656, 0, 0xF1);
    ASSERT_TRUE(mapRead.good()) << mapRead.sense();
    const std::vector<uint8_t>& map = mapRead.data;
    Result cfg = read2(model, 0x01, 940032);
    ASSERT_TRUE(cfg.good());
    uint32_t capacity = 0;
    for (unsigned r = 0; r < le16(cfg.data, 0x90); ++r) capacity += le16(cfg.data, 0x200 + 240 * r + 6);
    EXPECT_EQ(le32(map, 8) + le32(map, 12), capacity);
    uint32_t count = le32(map, 4);
    uint32_t used = 0, unused = 0;
    uint16_t lastRank = 0;
    uint64_t nextStart = 0;
    for (uint32_t i = 0; i < count; ++i) {
        size_t off = 0x18 + 32 * i;
        uint16_t rank = le16(map, off + 0x1A);
        uint64_t start = le32(map, off) | uint64_t{le32(map, off + 4)} << 32;
        uint64_t blocks = le32(map, off + 0x10) | uint64_t{le32(map, off + 0x14)} << 32;
        if (i == 0 || rank != lastRank) {
            EXPECT_TRUE(i == 0 || rank == lastRank + 1) << "ranks in order";
            EXPECT_EQ(start, 0u) << "each rank's first region starts at 0";
        } else {
            EXPECT_EQ(start, nextStart) << "regions of a rank are contiguous";
        }
        EXPECT_EQ(le32(map, off + 8) | uint64_t{le32(map, off + 12)} << 32, start + blocks - 1);
        (le16(map, off + 0x1C) == 0xFFFF ? unused : used) += le16(map, off + 0x18);
        lastRank = rank;
        nextStart = start + blocks;
    }
    EXPECT_EQ(used, le32(map, 8));
    EXPECT_EQ(unused, le32(map, 12));
    std::string why;
    EXPECT_TRUE(model.imageConsistent(model.committed(), &why)) << why;
}

}  // namespace modeltest
