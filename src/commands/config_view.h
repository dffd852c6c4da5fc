// Read-only views over the raw records the controller returns. Every count the
// controller reports is clamped to the records the buffer can hold, so a corrupt
// reply can make a report shorter, never make it read outside its buffer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wire/config.h"

namespace commands {

class ConfigView {
public:
    static constexpr size_t kImageSize = sizeof(wire::CONFIG_STORAGE_STRUCT);
    static constexpr size_t kSpareOffset = offsetof(wire::CONFIG_STORAGE_STRUCT, hotSpare);
    // Spare records run from their offset to the end of the image.
    static constexpr size_t kMaxSpares = (kImageSize - kSpareOffset) / sizeof(wire::HOT_SPARE_DRIVE_STRUCT);

    explicit ConfigView(const uint8_t* image) : m_image(image) {}

    const wire::CONFIG_STORAGE_HEADER_STRUCT& header() const {
        return *reinterpret_cast<const wire::CONFIG_STORAGE_HEADER_STRUCT*>(m_image);
    }
    // The header's counts as the controller gave them.
    uint16_t totalArrays() const { return header().totalArrays.get(); }
    uint16_t totalLogicalDrives() const { return header().totalLogicalDrives.get(); }
    uint16_t totalLunMaps() const { return header().totalLunMappingEntries.get(); }
    uint16_t totalSpares() const { return header().totalSpares.get(); }
    // The same counts limited to the records the image holds.
    size_t arrayCount() const { return clamp(totalArrays(), wire::kMaxRanks); }
    size_t logicalDriveCount() const { return clamp(totalLogicalDrives(), wire::kMaxHostLuns); }
    size_t lunMapCount() const { return clamp(totalLunMaps(), wire::kMaxLunMaps); }
    size_t spareCount() const { return clamp(totalSpares(), kMaxSpares); }

    const wire::RANK_CONFIG_STRUCT& rank(size_t i) const {
        return *reinterpret_cast<const wire::RANK_CONFIG_STRUCT*>(
            m_image + offsetof(wire::CONFIG_STORAGE_STRUCT, rank) + i * sizeof(wire::RANK_CONFIG_STRUCT));
    }
    const wire::HOST_CONFIG_STRUCT& logicalDrive(size_t i) const {
        return *reinterpret_cast<const wire::HOST_CONFIG_STRUCT*>(
            m_image + offsetof(wire::CONFIG_STORAGE_STRUCT, hostLun) + i * sizeof(wire::HOST_CONFIG_STRUCT));
    }
    const wire::LUN_MAPPING_STRUCT& lunMap(size_t i) const {
        return *reinterpret_cast<const wire::LUN_MAPPING_STRUCT*>(
            m_image + offsetof(wire::CONFIG_STORAGE_STRUCT, lunMap) + i * sizeof(wire::LUN_MAPPING_STRUCT));
    }
    const wire::HOT_SPARE_DRIVE_STRUCT& spare(size_t i) const {
        return *reinterpret_cast<const wire::HOT_SPARE_DRIVE_STRUCT*>(m_image + kSpareOffset +
                                                                       i * sizeof(wire::HOT_SPARE_DRIVE_STRUCT));
    }
    // A rank's member count limited to its 16 member slots.
    static size_t memberCount(const wire::RANK_CONFIG_STRUCT& r) { return clamp(r.numDrives, wire::kMaxRankDrives); }

private:
    static size_t clamp(size_t n, size_t max) { return n < max ? n : max; }
    const uint8_t* m_image;
};

class RegionMapView {
public:
    explicit RegionMapView(const uint8_t* map) : m_map(reinterpret_cast<const wire::ADDRESS_REGION_MAP_STRUCT*>(map)) {}
    const wire::ADDRESS_REGION_MAP_STRUCT& map() const { return *m_map; }
    uint32_t totalRegions() const { return m_map->regionCount.get(); }
    size_t regionCount() const { return totalRegions() < wire::kMaxRegions ? totalRegions() : wire::kMaxRegions; }
    const wire::ADDRESS_REGION_STRUCT& region(size_t i) const { return m_map->region[i]; }

private:
    const wire::ADDRESS_REGION_MAP_STRUCT* m_map;
};

}  // namespace commands
