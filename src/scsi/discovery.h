// Discovery of the attached RAID systems and the process-wide table of their
// paths (handles). Discovery runs lazily on the first call that needs the table.
#pragma once

#include <cstdint>
#include <string>

#include "scsi/scsi_types.h"

inline constexpr uint32_t MAX_RAID_SYSTEMS = 125;
inline constexpr uint32_t MAX_PATHS_PER_SYSTEM = 32;
inline constexpr uint32_t MAX_EXCLUDED_SYSTEMS = 128;
inline constexpr uint32_t NUM_PRODUCT_PREAMBLES = 35;
inline constexpr uint32_t PRODUCT_PREAMBLE_LENGTH = 15;
inline constexpr uint8_t NO_RAID_SYSTEM_SELECTED = 0xFF;

// One RAID system: its paths, which of them are valid, its WWN and whether a
// rediscovery has just found paths again after it had lost all of them.
struct RSEntry {
    ITL_HANDLE_STRUCT slots[MAX_PATHS_PER_SYSTEM];
    uint32_t slotValid[MAX_PATHS_PER_SYSTEM];
    uint8_t wwn[8];
    uint32_t justCameBack;
};

extern RSEntry gTolvos[MAX_RAID_SYSTEMS];
extern uint32_t gNumTolvos;
extern uint8_t cDevice_Discovery_Done;
extern uint8_t g_ExcludedNodes[MAX_EXCLUDED_SYSTEMS][8];
extern uint32_t g_ulNumExcludes;
extern const char productPreambles[NUM_PRODUCT_PREAMBLES][PRODUCT_PREAMBLE_LENGTH + 1];
extern uint8_t tolvobusyretrycount[MAX_RAID_SYSTEMS];
extern uint8_t tolvofailretrycount[MAX_RAID_SYSTEMS];

// Discovery and the table.
uint32_t LAPIDiscoverRAIDSystems();
int tolvomainsetup();
void addAllDevices();
void addTolvoScsiDevices();
int getScsiDataForNode(ITL_HANDLE_STRUCT* handle, uint8_t* buffer96);
int IsPreambleOurs(const char* productId);
int isValidTolvoConfigHeader(const uint8_t* header512);
int addTolvoIfNotDuplicate(ITL_HANDLE_STRUCT* handle);
uint32_t LAPIGetListOfRAIDSystemsToExclude(uint32_t* count, uint8_t (*table)[8]);
uint32_t LAPIRediscoverRAIDSystems();

// In-band selection by the front end.
// Finds the RAID system whose WWN is (high << 32 | low) and stores its index;
// with no such system, a high of 0 and a low below the number of systems, low is
// taken as the index; otherwise *index is left as it is. Always returns 0.
uint32_t LAPICheckWWNPresent(uint32_t low, uint32_t high, uint8_t* index);
// Probes the device at `path` and adds it to the table. Returns the index of the
// RAID system behind it, or 0xFF.
uint8_t LAPIAddUserDefinedTolvoScsiDevices(const char* path);

// Handles.
uint32_t LAPIGetTolvoHandle(ITL_HANDLE_STRUCT** handle, uint32_t index);
uint32_t LAPIGetTolvoHandleCount(uint32_t index);
uint32_t LAPIInvalidateCurrentTolvoHandle(uint32_t index);
uint32_t LAPISetOutOfBandFlag(ITL_HANDLE_STRUCT** handle);
int LAPIGetITLHandleIndex(ITL_HANDLE_STRUCT** handle, uint8_t ignored, uint8_t channel,
                          uint8_t target, uint8_t lun);

// Listings.
uint32_t LAPIGetNumRaidSystems();
uint32_t LAPIGetRaidSystemWWN(uint8_t index);
uint32_t LAPIPrintITNexus();
uint32_t LAPIPrintTolvoDevicesInfo();
uint32_t LAPIPrintSelectedDeviceInfo(uint32_t index);
void DumpRSEntryTable();
// One entry's line of the path table listing.
std::string formatRSEntry(uint32_t index);
void printWwn(const uint8_t* wwn);

// Empties the table and the exclusion list (a fresh process state); used by tests.
void resetRaidSystemTable();
