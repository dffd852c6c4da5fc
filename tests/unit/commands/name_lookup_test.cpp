// Name lookups of the configuration library over a hand-made configuration
// image served through a scripted path.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "commands/configuration.h"
#include "commands/global.h"
#include "unit/lapi/scripted_system.h"
#include "wire/config.h"

namespace {

void putName(char* field, const std::string& name) {
    std::memset(field, ' ', 32);
    std::memcpy(field, name.data(), std::min<size_t>(name.size(), 32));
}

struct NameLookup : testnode::ScriptedSystemTest {
    std::unique_ptr<wire::CONFIG_STORAGE_STRUCT> image = std::make_unique<wire::CONFIG_STORAGE_STRUCT>();
    commandConfiguration cfg;

    void SetUp() override {
        ScriptedSystemTest::SetUp();
        system(1);

        std::memset(image.get(), 0, sizeof *image);
        auto& h = image->header;
        h.length.set(sizeof *image);
        h.totalArrays.set(2);
        h.totalLogicalDrives.set(4);
        h.totalLunMappingEntries.set(1);
        image->rank[0].rankId = 10;
        putName(image->rank[0].name, "fast");
        image->rank[1].rankId = 11;
        putName(image->rank[1].name, "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345");  // exactly 32
        const char* lds[] = {"alpha", "dup", "dup", "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"};
        for (int i = 0; i < 4; ++i) {
            image->hostLun[i].lunNumber.set(static_cast<uint16_t>(20 + i));
            putName(image->hostLun[i].name, lds[i]);
        }
        auto& map = image->lunMap[0];
        map.abNodeName.set(0x2000001B32A0B0C0ull);
        for (auto& e : map.awLunMap) e.set(wire::kLunNotMapped);
        map.awLunMap[3].set(0x4000 | 2);
        map.awLunMap[7].set(0x2000 | 2);
        map.awLunMap[9].set(0x2000 | 1);

        rec.responder = [this](const testnode::Sent& s) {
            if (s.cdb.size() < 6 || s.cdb[0] != 0x3C) return testnode::good();
            if (s.cdb[2] == 0x01) {  // the image, by offset
                const uint32_t off = (uint32_t(s.cdb[3]) << 16) | (uint32_t(s.cdb[4]) << 8) | s.cdb[5];
                const auto* bytes = reinterpret_cast<const uint8_t*>(image.get());
                std::vector<uint8_t> chunk(bytes + off, bytes + std::min<size_t>(sizeof *image, off + s.dataLength));
                return testnode::good(chunk);
            }
            return testnode::good(std::vector<uint8_t>(s.dataLength, 0));
        };
    }
    void TearDown() override {
        ScriptedSystemTest::TearDown();
        Global::string.clear();
    }
};

TEST_F(NameLookup, LogicalDriveNamesMustBeUnique) {
    uint32_t id = 0;
    EXPECT_EQ(cfg.getLogicalDiskId("alpha", id), 0u);
    EXPECT_EQ(id, 20u);
    EXPECT_EQ(cfg.getLogicalDiskId("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", id), 0u);
    EXPECT_EQ(id, 23u);
    EXPECT_EQ(cfg.getLogicalDiskId("dup", id), CMD_ERR_INVALID_LD_NAME);
    EXPECT_EQ(cfg.getLogicalDiskId("alph", id), CMD_ERR_INVALID_LD_NAME);  // whole names only
    EXPECT_EQ(cfg.getLogicalDiskId("nosuch", id), CMD_ERR_INVALID_LD_NAME);

    rec.sent.clear();
    EXPECT_EQ(cfg.getLogicalDiskId("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456", id), CMD_ERR_INVALID_LD_NAME);
    EXPECT_TRUE(rec.sent.empty());  // refused before anything is read
}

TEST_F(NameLookup, ArrayNamesGiveTheRankId) {
    uint32_t id = 0;
    EXPECT_EQ(cfg.getArrayId("fast", id), 0u);
    EXPECT_EQ(id, 10u);
    EXPECT_EQ(cfg.getArrayId("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", id), 0u);
    EXPECT_EQ(id, 11u);
    EXPECT_EQ(cfg.getArrayId("slow", id), CMD_ERR_INVALID_ARRAY_NAME);
    EXPECT_EQ(cfg.getArrayId(std::string(33, 'a'), id), CMD_ERR_INVALID_ARRAY_NAME);
}

TEST_F(NameLookup, MappedLunIsTheHighestSlotOfTheDrive) {
    uint32_t lun = 0;
    EXPECT_EQ(cfg.getMappedLunNumber(0x2000001B32A0B0C0ull, 2, lun), 0u);
    EXPECT_EQ(lun, 7u);
    EXPECT_EQ(cfg.getMappedLunNumber(0x2000001B32A0B0C0ull, 1, lun), 0u);
    EXPECT_EQ(lun, 9u);
    EXPECT_EQ(cfg.getMappedLunNumber(0x2000001B32A0B0C0ull, 5, lun), CMD_ERR_NO_LUN_MAPPINGS);
    EXPECT_EQ(cfg.getMappedLunNumber(0x1111ull, 2, lun), CMD_ERR_NO_LUN_MAPPINGS);
}

}  // namespace
