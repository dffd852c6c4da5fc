// Texts of the configuration reports, built from the raw records. Pure: they
// only append to the shared output text.
#pragma once

#include <cstdint>
#include <string>

#include "commands/config_view.h"
#include "wire/config.h"
#include "wire/controller.h"

namespace commands {

// The RAID level a user knows for a level code and member count.
uint32_t getRAIDLevelDisplay(uint8_t levelCode, uint32_t drives);
// The fault status text of rank `index`; `info` tells whether it is rebuilding.
const char* faultStatusText(const wire::RANK_CONFIG_STRUCT& rank, size_t index,
                            const wire::ALL_CONTROLLER_INFO_AND_FAIL_STRUCT& info);
const char* readAheadText(uint16_t code);
const char* writeBackText(uint16_t code);
std::string backOffText(uint8_t value);
// Port types (1 FC, 6 SAS ...) of host ports 0 and 1 from a controller record.
void hostPortTypes(const wire::CONTROLLER_INFO_STRUCT& record, uint8_t& port0, uint8_t& port1);
std::string dataRateText(uint8_t code, uint8_t portType);
// 16 upper-case hexadecimal digits.
std::string wwnText(const wire::wwn8& wwn);

void appendHeaderReport(const ConfigView& config, const wire::CONTROLLER_INFO_STRUCT& record);
// The first line of a rank in the array report.
void appendRankLine(const wire::RANK_CONFIG_STRUCT& rank);
void appendLogicalDriveReport(const ConfigView& config);
void appendLunMappingReport(const ConfigView& config);
void appendRegionMapReport(const RegionMapView& map);

}  // namespace commands
