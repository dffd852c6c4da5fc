#include "lapi/config_writes.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "lapi/config_bracket.h"
#include "lapi/frame.h"
#include "scsi/tolvo.h"
#include "scsi/tolvo_builders.h"
#include "support/sleep.h"
#include "support/trace.h"
#include "wire/vendor.h"
#include "wire/vendor_ops.h"

namespace {

constexpr int kStartOrSaveCalls = 20;     // pool creation: calls of start and of save, no pause
constexpr int kMappingAttempts = 9;       // mapping creation: start, delete and add attempts

uint8_t hi(uint32_t v) { return static_cast<uint8_t>(v >> 8); }
uint8_t lo(uint32_t v) { return static_cast<uint8_t>(v); }

// A NUL-terminated name of at most `size` bytes, cut at `cut` characters,
// "default" when empty.
std::string requestName(const char* name, size_t size, size_t cut) {
    std::string s(name, strnlen(name, size));
    if (s.empty()) s = "default";
    if (s.size() > cut) s.resize(cut);
    return s;
}

// The common change pattern: `commands` inside the bracket, opened with the
// given expansion rule; after the save `info` (when given) is read again.
uint32_t changeInBracket(int index, const char* operation, const char* errorLine, const LapiSite& site,
                         const std::function<uint32_t()>& commands, const ALL_INFORMATION_SET* info,
                         uint8_t expansionBlocks = wire::kFlagYes) {
    std::function<uint32_t()> refresh;
    if (info != nullptr) refresh = [&] { return LAPIGetAllInformation(index, info); };
    return LAPIBracketedChange(index, operation, site, errorLine, commands, refresh, expansionBlocks);
}

uint32_t headerOnly(int index, const LapiSite& site, uint8_t bufferId, uint8_t b3, uint8_t b4, uint8_t b5) {
    return LAPIExecute(index, site, LAPIHeaderOnly(bufferId, b3, b4, b5));
}

// A change of one framed command with a refresh.
uint32_t commandChange(int index, const char* operation, const char* errorLine, const LapiSite& site,
                       const LapiSend& send, const ALL_INFORMATION_SET* info, uint8_t expansionBlocks = wire::kFlagYes) {
    return changeInBracket(
        index, operation, errorLine, site, [&] { return LAPIExecute(index, site, send); }, info, expansionBlocks);
}

// A change of one header-only command with a refresh.
uint32_t headerOnlyChange(int index, const char* operation, const char* errorLine, const LapiSite& site,
                          uint8_t bufferId, uint8_t b3, uint8_t b4, const ALL_INFORMATION_SET* info,
                          uint8_t expansionBlocks = wire::kFlagYes) {
    return commandChange(index, operation, errorLine, site, LAPIHeaderOnly(bufferId, b3, b4, 0), info,
                         expansionBlocks);
}

// The drive list of a pool or expansion request: zero WWNs are skipped.
struct DriveList {
    wire::wwn8 slot[kPoolRequestDrives]{};   // slot i of the request, zero when skipped
    wire::wwn8 packed[kPoolRequestDrives]{}; // the non-zero WWNs in order
    uint8_t count = 0;                       // requested count less the skipped ones
};

DriveList driveList(uint8_t requested, const uint64_t* drives) {
    DriveList list;
    list.count = requested > kPoolRequestDrives ? static_cast<uint8_t>(kPoolRequestDrives) : requested;
    uint8_t packed = 0;
    for (size_t i = 0; i < requested && i < kPoolRequestDrives; ++i) {
        if (drives[i] == 0) {
            --list.count;
            continue;
        }
        list.slot[i].set(drives[i]);
        list.packed[packed++].set(drives[i]);
    }
    return list;
}

// Up to `attempts` framed sends, 250 ms apart after each failure.
uint32_t withAttempts(int index, const LapiSite& site, int attempts, const LapiSend& send) {
    uint32_t result = LAPI_ERR_COMMAND_FAILED;
    for (int a = 0; a < attempts; ++a) {
        result = LAPIExecute(index, site, send);
        if (result == LAPI_SUCCESS) break;
        lqcl::sleepMicroseconds(LAPI_RETRY_DELAY_US);
    }
    return result;
}

void traceWwn(const char* label, const wire::wwn8& w) {
    DIDEDebug(TRACE_LAPI, DETAIL_DATA, "%s : %x %x %x %x %x %x %x %x", label, w.b[0], w.b[1], w.b[2], w.b[3], w.b[4],
              w.b[5], w.b[6], w.b[7]);
}

void traceMapping(const wire::CREATE_LUN_MAPPING_STRUCT& m) {
    traceWwn("LUN_MAPPING_STRUCT.abNodeName", m.abNodeName);
    traceWwn("LUN_MAPPING_STRUCT.abNodeName", m.abPortName);
    DIDEDebug(TRACE_LAPI, DETAIL_DATA, "LUN_MAPPING_STRUCT.bReserved  : %x", m.bReserved);
    DIDEDebug(TRACE_LAPI, DETAIL_DATA, "LUN_MAPPING_STRUCT.bHostType  : %x", m.bHostType);
    DIDEDebug(TRACE_LAPI, DETAIL_DATA, "LUN_MAPPING_STRUCT.abHostName : %.32s", m.abHostName);
    for (int i = 0; i < 8; ++i)
        DIDEDebug(TRACE_LAPI, DETAIL_DATA, "LUN_MAPPING_STRUCT.awLunMap[%d] : %x", i, m.awLunMap[i].get());
    DIDEDebug(TRACE_LAPI, DETAIL_DATA, "LUN_MAPPING_STRUCT.wControllerLun : %x", m.wControllerLun.get());
}

const wire::LUN_MAPPING_STRUCT* mapInImage(const ALL_INFORMATION_SET& info, size_t i) {
    return reinterpret_cast<const wire::LUN_MAPPING_STRUCT*>(info.config + offsetof(wire::CONFIG_STORAGE_STRUCT, lunMap) +
                                                             i * sizeof(wire::LUN_MAPPING_STRUCT));
}

size_t mapCountInImage(const ALL_INFORMATION_SET& info) {
    const auto* header = reinterpret_cast<const wire::CONFIG_STORAGE_HEADER_STRUCT*>(info.config);
    size_t n = header->totalLunMappingEntries.get();
    return n < wire::kMaxLunMaps ? n : wire::kMaxLunMaps;
}

}  // namespace

uint8_t LAPIPoolLevelCode(uint32_t raidLevel) {
    switch (raidLevel) {
    case 1: case 10: return wire::kRaidLevel10;
    case 3: case 5: return wire::kRaidLevel5;
    case 6: return wire::kRaidLevel6;
    case 13: case 15: case 30: case 50: return wire::kRaidLevel50;
    default: return wire::kRaidLevel0;
    }
}

uint8_t LAPIPoolParityGroups(uint8_t& drives) {
    switch (drives) {
    case 6: case 8: case 10: case 14: return 2;
    case 7: drives = 6; return 2;
    case 9: return 3;
    case 11: drives = 10; return 2;
    case 12: case 16: return 4;
    case 13: drives = 12; return 4;
    case 15: return 5;
    default: return 1;
    }
}

uint16_t LAPIControllerLunFor(const wire::le16* entries, uint16_t none) {
    int highest = -1;
    for (int i = 0; i < static_cast<int>(wire::kLunsPerMap); ++i)
        if (entries[i].get() != wire::kLunNotMapped) highest = i;
    if (highest < static_cast<int>(wire::kLunsPerMap) - 1) return static_cast<uint16_t>(highest + 1);
    for (uint16_t i = 0; i < wire::kLunsPerMap; ++i)
        if (entries[i].get() == wire::kLunNotMapped) return i;
    return none;
}

uint32_t LAPIClearConfiguration(int index) {
    return headerOnlyChange(index, "LAPIClearConfiguration", "Error: Failed to Clear Configuration",
                            LapiSite{"TOLVO_ClearConfig"}, wire::buf::ClearConfig, 0, 0, nullptr, wire::kFlagNo);
}

uint32_t LAPISetConfigName(int index, SET_CONFIG_NAME_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const std::string name = requestName(request->name, sizeof request->name, 64);
    const LapiSite site{"TOLVO_SetConfigName"};
    return commandChange(
        index, "LAPISetConfigName", "Error: Failed to Set Config Name", site,
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) { return TOLVO_SetConfigName(h, r, name.c_str()); },
        &request->info);
}

uint32_t LAPISetPoolName(int index, SET_POOL_NAME_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const std::string name = requestName(request->name, sizeof request->name, 64);
    const uint8_t rank = request->rank;
    const LapiSite site{"TOLVO_SetRankName"};
    return commandChange(
        index, "LAPISetPoolName", "Error: Failed to Set Pool Name", site,
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) { return TOLVO_SetRankName(h, r, rank, name.c_str()); },
        &request->info);
}

uint32_t LAPISetVolumeName(int index, SET_VOLUME_NAME_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const std::string name = requestName(request->name, sizeof request->name, 64);
    const uint16_t ld = request->logicalDrive;
    const LapiSite site{"TOLVO_SetHostLunName"};
    return commandChange(
        index, "LAPISetVolumeName", "Error: Failed to Set Host LUN Name", site,
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) { return TOLVO_SetHostLunName(h, r, ld, name.c_str()); },
        &request->info);
}

uint32_t LAPITrustPool(int index, POOL_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    return headerOnlyChange(index, "LAPITrustPool", "Error: Failed to Trust Pool", LapiSite{"TOLVO_TrustArray"},
                            wire::buf::TrustArray, request->rank, 0, &request->info);
}

uint32_t LAPIDeletePool(int index, POOL_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    return headerOnlyChange(index, "LAPIDeletePool", "Error: Failed to Delete Pool", LapiSite{"TOLVO_DeleteDriveRank"},
                            wire::buf::DeleteDriveRank, request->rank, 0, &request->info, wire::kFlagNo);
}

uint32_t LAPIDeleteVolume(int index, DELETE_VOLUME_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const uint16_t ld = request->logicalDrive;
    return headerOnlyChange(index, "LAPIDeleteVolume", "Error: Failed to Delete Volume", LapiSite{"TOLVO_DeleteHostLun"},
                            wire::buf::DeleteHostLun, hi(ld), lo(ld), &request->info);
}

uint32_t LAPIDeleteHotSpare(int index, DELETE_HOT_SPARE_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    return headerOnlyChange(index, "LAPIDeleteHotSpare", "Error: Failed to Delete Hot Spare",
                            LapiSite{"TOLVO_DeleteHotSpare"}, wire::buf::DeleteHotSpare, request->spare, 0,
                            &request->info);
}

uint32_t LAPISetHostLUNAvailability(int index, SET_HOST_LUN_AVAILABILITY_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const uint32_t ld = request->logicalDrive;
    const uint8_t mask = request->portMask;
    const LapiSite site{"TOLVO_SetHostLunAvailability"};
    return commandChange(index, "LAPISetHostLUNAvailability", "Error: Failed to Set Host LUN Availability", site,
                         LAPIHeaderOnly(wire::buf::SetHostLunAvailability, hi(ld), lo(ld), mask), &request->info);
}

uint32_t LAPICreateHotSpare(int index, CREATE_HOT_SPARE_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    wire::wwn8 wwn;
    wwn.set(request->wwn);
    const uint8_t rank = request->rank;
    const LapiSite site{"TOLVO_AddHotSpare"};
    return commandChange(
        index, "LAPICreateHotSpare", "Error: Failed to Create Hot Spare", site,
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) { return TOLVO_AddHotSpare(h, r, wwn.b, rank); },
        &request->info);
}

uint32_t LAPIExpandPool(int index, EXPAND_POOL_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const DriveList list = driveList(request->numDrives, request->drives);
    const uint8_t rank = request->rank;
    const LapiSite site{"TOLVO_ExpandArray"};
    return commandChange(
        index, "LAPIExpandPool", "Error: Failed to Expand Pool", site,
        [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) { return TOLVO_ExpandArray(h, r, rank, list.count, wire::kFlagNo, 0, list.packed); },
        &request->info);
}

uint32_t LAPIExpandVolume(int index, CREATE_VOLUME_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const uint16_t count = request->segmentCount < kVolumeRequestSegments ? request->segmentCount
                                                                         : static_cast<uint16_t>(kVolumeRequestSegments);
    const LapiSite site{"TOLVO_ExpandHostLun"};
    return changeInBracket(
        index, "LAPIExpandVolume", "Error: Failed to Expand Volume", site,
        [&] {
            for (uint16_t i = 0; i < count; ++i) {
                const auto region = static_cast<uint16_t>(request->freeRegionNo[i] - i);
                uint32_t result = LAPIExecute(index, site, [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
                    return TOLVO_ExpandHostLun(h, r, request->logicalDrive, request->capacityGb[i], region);
                });
                if (result != LAPI_SUCCESS) return result;
            }
            return static_cast<uint32_t>(LAPI_SUCCESS);
        },
        &request->info);
}

uint32_t LAPICreateVolume(int index, CREATE_VOLUME_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const std::string name = requestName(request->name, sizeof request->name, 32);
    const uint16_t count = request->segmentCount < kVolumeRequestSegments ? request->segmentCount
                                                                         : static_cast<uint16_t>(kVolumeRequestSegments);
    const LapiSite addSite{"TOLVO_AddHostLun"};
    const LapiSite expandSite{"TOLVO_ExpandHostLun"};
    return changeInBracket(
        index, "LAPICreateVolume", "Error: Failed to Create Volume", addSite,
        [&] {
            uint32_t result = LAPIExecute(index, addSite, [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
                return TOLVO_AddHostLun(h, r, request->capacityGb[0], request->freeRegionNo[0], 0,
                                        request->hostBlockSize, name.c_str());
            });
            for (uint16_t i = 1; i < count && result == LAPI_SUCCESS; ++i) {
                const auto region = static_cast<uint16_t>(request->freeRegionNo[i] - i);
                std::printf("\tLAPIExpandVolume capacityInGb %d unusedRegionNo %d \n", request->capacityGb[i], region);
                std::fflush(stdout);
                result = LAPIExecute(index, expandSite, [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
                    return TOLVO_ExpandHostLun(h, r, request->logicalDrive, request->capacityGb[i], region);
                });
            }
            return result;
        },
        &request->info);
}

uint32_t LAPIDeleteMapping(int index, DELETE_MAPPING_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const uint16_t map = request->mapIndex;
    const LapiSite deleteSite{"TOLVO_DeleteLunMapping"};
    const LapiSite addSite{"TOLVO_AddLunMapping"};
    return changeInBracket(
        index, "LAPIDeleteMapping", "Error: Failed to Delete Mapping", deleteSite,
        [&] {
            uint32_t result = headerOnly(index, deleteSite, wire::buf::DeleteLunMapping, hi(map), lo(map), 0);
            if (result != LAPI_SUCCESS || request->flag != kDeleteMappingReAdd) return result;
            if (map >= wire::kMaxLunMaps) return static_cast<uint32_t>(LAPI_ERR_BAD_PARAMETERS);
            const wire::LUN_MAPPING_STRUCT& old = *mapInImage(request->info, map);
            wire::CREATE_LUN_MAPPING_STRUCT m{};
            m.abNodeName = old.abNodeName;
            m.abPortName = old.abPortName;
            m.bReserved = 0;
            m.bHostType = 1;
            std::memcpy(m.abHostName, old.abHostName, sizeof m.abHostName);
            std::memcpy(m.awLunMap, old.awLunMap, sizeof m.awLunMap);
            m.wControllerLun.set(LAPIControllerLunFor(m.awLunMap, wire::kLunsPerMap));
            traceMapping(m);
            return LAPIExecute(index, addSite,
                          [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) { return TOLVO_AddLunMapping(h, r, &m); });
        },
        &request->info);
}

uint32_t LAPIModifyMapping(int index, MODIFY_MAPPING_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const uint16_t map = request->mapIndex;
    const LapiSite deleteSite{"TOLVO_DeleteLunMapping"};
    const LapiSite addSite{"TOLVO_AddLunMapping"};
    return changeInBracket(
        index, "LAPIModifyMapping", "Error: Failed to Modify Mapping", deleteSite,
        [&] {
            uint32_t result = headerOnly(index, deleteSite, wire::buf::DeleteLunMapping, hi(map), lo(map), 0);
            if (result != LAPI_SUCCESS) return result;
            return LAPIExecute(index, addSite, [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
                return TOLVO_AddLunMapping(h, r, &request->map);
            });
        },
        &request->info);
}

uint32_t LAPISetDriveRankCacheParams(int index, RANK_CACHE_PARAMS_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const RANK_CACHE_PARAMS_REQUEST& q = *request;
    const LapiSite site{"TOLVO_SetDriveRankCacheParams"};
    return changeInBracket(
        index, "LAPISetDriveRankCacheParams", "Error: Failed to Set Drive Rank Cache Params", site,
        [&] {
            wire::RANK_CONFIG_STRUCT stored{};
            // A rank record that arrives short is not taken for one with no cache settings.
            uint32_t result = LAPIFramedRead(index, "TOLVO_ReadDriveRankInfo", wire::kModeVendor,
                                             wire::buf::ReadDriveRankInfo, 0, q.rank, 0,
                                             reinterpret_cast<uint8_t*>(&stored), sizeof stored, sizeof stored);
            if (result != LAPI_SUCCESS) return result;
            uint8_t flags = 0;
            uint8_t writeBack = 0;
            if (q.writeBackCode != 0) {
                writeBack = q.writeBackCode;
                flags = wire::kCacheWriteBack | wire::kCacheBatteryRequired;
                if (q.enforceWriteBack) flags |= wire::kCacheEnforceWriteBack;
                if (q.mirror) flags |= wire::kCacheMirror;
                if (stored.raidLevel != wire::kRaidLevel0) flags |= wire::kCacheFaultToleranceRequired;
                if (q.batteryRequired) flags |= wire::kCacheBatteryRequired;
                else flags &= static_cast<uint8_t>(~wire::kCacheBatteryRequired);
                if (q.faultToleranceRequired) flags |= wire::kCacheFaultToleranceRequired;
                else flags &= static_cast<uint8_t>(~wire::kCacheFaultToleranceRequired);
            }
            const bool storedMirror = (stored.cacheFlags & wire::kCacheMirror) != 0;
            // Any difference is sent, the cache flags included, so that no
            // requested setting is reported set and then left out.
            const bool differs = writeBack != stored.writeBackCode.get() || q.readAheadCode != stored.readAheadCode.get() ||
                                 (q.mirror != 0) != storedMirror || flags != stored.cacheFlags;
            if (!differs) return static_cast<uint32_t>(LAPI_SUCCESS);
            const auto codes = static_cast<uint8_t>(q.readAheadCode * 16 + (writeBack & 0x0F));
            return headerOnly(index, site, wire::buf::SetRankCacheParams, q.rank, flags, codes);
        },
        &request->info);
}

uint32_t LAPISetConfigWWN(int index, SET_CONFIG_WWN_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    const uint32_t controller = request->controller;
    bool badController = false;
    const LapiSite site{"TOLVO_SetConfigWWN"};
    uint32_t result = changeInBracket(
        index, "LAPISetConfigWWN", "Error: Failed to Set Config WWN", site,
        [&] {
            if (controller != 1 && controller != 2) {
                badController = true;
                return static_cast<uint32_t>(LAPI_ERR_BAD_PARAMETERS);
            }
            return headerOnly(index, site, wire::buf::SetConfigWwn, static_cast<uint8_t>(controller), 0, 0);
        },
        nullptr);
    return badController ? LAPI_ERR_BAD_PARAMETERS : result;
}

uint32_t LAPIModifyConfigurationHeader(int index, MODIFY_CONFIG_HEADER_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    static constexpr uint8_t kSelectors[3] = {0xDF, 0xEB, 0xF5};
    const LapiSite site{"TOLVO_ModifyConfigHeader"};
    return changeInBracket(
        index, "LAPIModifyConfigurationHeader", "Error: Failed to Modify Configuration Header", site,
        [&] {
            for (int i = 0; i < 3; ++i) {
                uint32_t result =
                    headerOnly(index, site, wire::buf::ModifyConfigHeader, request->value[i], 0, kSelectors[i]);
                if (result != LAPI_SUCCESS) return result;
            }
            return static_cast<uint32_t>(LAPI_SUCCESS);
        },
        &request->info);
}

uint32_t LAPICreatePool(int index, CREATE_POOL_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    LAPITraceIn("LAPICreatePool");
    const LapiSite site{"TOLVO_AddDriveRank", "LAPI_EXECUTE_14"};
    ITL_HANDLE_STRUCT* handle = nullptr;
    if (LAPIFrameHandle(index, &handle, site) != LAPI_SUCCESS) return LAPI_ERR_NO_VALID_HANDLE;

    wire::CONFIG_CHANGE_STRUCT bracket{};
    bracket.expansionBlocks.set(wire::kFlagYes);
    bool opened = false;
    for (int i = 0; i < kStartOrSaveCalls && !opened; ++i) opened = LAPIStartConfig(index, &bracket) == LAPI_SUCCESS;

    TolvoRankRequest rank{};
    rank.raidLevel = LAPIPoolLevelCode(request->raidLevel);
    rank.chunkBlocks = static_cast<uint16_t>(request->chunkKb * 2);
    const DriveList list = driveList(request->numDrives, request->drives);
    rank.driveCount = list.count;
    std::memcpy(rank.drives, list.slot, sizeof rank.drives);
    if (rank.raidLevel == wire::kRaidLevel50) {
        const uint8_t before = rank.driveCount;
        rank.parityGroups = LAPIPoolParityGroups(rank.driveCount);
        // The drive the groups cannot hold is the last one of the list.
        if (before > rank.driveCount)
            for (size_t i = kPoolRequestDrives; i-- > 0;)
                if (rank.drives[i].get() != 0) {
                    rank.drives[i] = wire::wwn8{};
                    break;
                }
    }
    const std::string name = requestName(request->name, sizeof request->name, 32);
    rank.name = name.c_str();
    if (request->cacheGiven == 0) {
        rank.cacheFlags = 0;
        rank.readAheadCode = 15;
        rank.writeBackCode = 0;
    } else {
        rank.readAheadCode = request->readAheadCode;
        rank.writeBackCode = request->writeBackCode;
        rank.cacheFlags = wire::kCacheWriteBack | wire::kCacheBatteryRequired;
        if (request->mirror) rank.cacheFlags |= wire::kCacheMirror;
        if (request->enforceWriteBack) rank.cacheFlags |= wire::kCacheEnforceWriteBack;
        if (rank.raidLevel != wire::kRaidLevel0) rank.cacheFlags |= wire::kCacheFaultToleranceRequired;
    }
    rank.initialised = request->trusted ? wire::kFlagNo : wire::kFlagYes;
    rank.backOff = request->backOff;

    // No change command goes out unless a change is open.
    uint32_t command = LAPI_ERR_COMMAND_FAILED;
    if (opened)
        command = LAPIExecute(index, site, [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r) {
            return TOLVO_AddDriveRank(h, r, &rank);
        });
    if (command != LAPI_SUCCESS)
        DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "Error: Failed to Create Pool level %d, drives %d", rank.raidLevel,
                  rank.driveCount);
    lqcl::sleepMicroseconds(LAPI_RETRY_DELAY_US);
    bool saved = false;
    if (opened)
        for (int i = 0; i < kStartOrSaveCalls && !saved; ++i) saved = LAPISaveConfig(index, &bracket) == LAPI_SUCCESS;
    LAPITraceOut("LAPICreatePool");
    return command == LAPI_SUCCESS && saved ? LAPI_SUCCESS : LAPI_ERR_COMMAND_FAILED;
}

uint32_t LAPICreateMapping(int index, CREATE_MAPPING_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    LAPITraceIn("LAPICreateMapping");
    const LapiSite addSite{"TOLVO_AddLunMapping"};
    const LapiSite deleteSite{"TOLVO_DeleteLunMapping"};
    ITL_HANDLE_STRUCT* handle = nullptr;
    if (LAPIFrameHandle(index, &handle, addSite) != LAPI_SUCCESS) return LAPI_ERR_NO_VALID_HANDLE;

    const uint16_t lun = request->lun;
    if (lun >= wire::kLunsPerMap) return LAPI_ERR_BAD_PARAMETERS;
    const auto driveValue = static_cast<uint16_t>(request->logicalDrive & (wire::kLunDriveMask | wire::kLunSnapshot));
    const auto requestBits = static_cast<uint16_t>(request->entryBits);
    const auto wanted = static_cast<uint16_t>((driveValue | requestBits) & 0x5FF);

    uint32_t last = LAPI_ERR_COMMAND_FAILED;
    for (int r = 0; r < LAPI_CONFIG_CHANGE_ATTEMPTS; ++r) {
        auto retry = [&] {
            std::printf("\nInformation: Configuration change in progress. Retry: %d\n", r + 1);
            std::fflush(stdout);
            lqcl::sleepMicroseconds(LAPI_RETRY_DELAY_US);
        };
        // The host's map in the image as it was before this change.
        const size_t maps = mapCountInImage(request->info);
        int found = -1;
        for (size_t i = 0; i < maps && found < 0; ++i)
            if (mapInImage(request->info, i)->abPortName.get() == request->portWwn) found = static_cast<int>(i);
        if (found >= 0) {
            const auto& existing = *mapInImage(request->info, static_cast<size_t>(found));
            for (size_t slot = 0; slot < wire::kLunsPerMap; ++slot) {
                const uint16_t e = existing.awLunMap[slot].get();
                if (slot == lun || e == wire::kLunNotMapped) continue;
                if ((e & 0x5FF) == wanted) {
                    LAPITraceOut("LAPICreateMapping");
                    return LAPI_ERR_MAPPING_EXISTS;
                }
            }
        }

        wire::CONFIG_CHANGE_STRUCT bracket{};
        bracket.expansionBlocks.set(wire::kFlagYes);
        last = LAPI_ERR_COMMAND_FAILED;
        for (int a = 0; a < kMappingAttempts; ++a) {
            last = LAPIStartConfig(index, &bracket);
            if (last == LAPI_SUCCESS) break;
            lqcl::sleepMicroseconds(LAPI_RETRY_DELAY_US);
        }
        if (last != LAPI_SUCCESS) {
            retry();
            continue;
        }

        wire::CREATE_LUN_MAPPING_STRUCT m{};
        for (auto& e : m.awLunMap) e.set(wire::kLunNotMapped);
        const uint16_t mapIndex = static_cast<uint16_t>(found >= 0 ? found : static_cast<int>(maps));
        const std::string given(request->hostName, strnlen(request->hostName, sizeof request->hostName));
        char portHex[17];
        std::snprintf(portHex, sizeof portHex, "%016llX", static_cast<unsigned long long>(request->portWwn));
        if (found >= 0) {
            const auto& existing = *mapInImage(request->info, mapIndex);
            const uint32_t deleted = withAttempts(index, deleteSite, kMappingAttempts, [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* q) {
                return TOLVO_SendHeaderOnly(h, q, wire::buf::DeleteLunMapping, hi(mapIndex), lo(mapIndex), 0);
            });
            if (deleted != LAPI_SUCCESS) {
                LAPITraceOut("LAPICreateMapping");
                return LAPI_ERR_COMMAND_FAILED;
            }
            std::memcpy(m.awLunMap, existing.awLunMap, sizeof m.awLunMap);
            std::memcpy(m.abHostName, existing.abHostName, sizeof m.abHostName);
        } else {
            char generated[64];
            std::snprintf(generated, sizeof generated, "Host %3.3d        %s", mapIndex, portHex);
            makeTolvoString(generated, m.abHostName, sizeof m.abHostName);
        }
        if (!given.empty()) {
            const std::string first = given.substr(0, 16);
            const std::string named = first + std::string(16 - first.size(), ' ') + portHex;
            makeTolvoString(named.c_str(), m.abHostName, sizeof m.abHostName);
        }

        // A used LUN must hold this drive (or this snapshot) already.
        const uint16_t slot = m.awLunMap[lun].get();
        if (slot != wire::kLunNotMapped && (slot & 0x7FF) != (driveValue | (requestBits & wire::kLunSnapshot))) {
            LAPITraceOut("LAPICreateMapping");
            return LAPI_ERR_BAD_PARAMETERS;
        }
        const uint16_t kept = slot == wire::kLunNotMapped ? 0 : static_cast<uint16_t>(slot & ~wire::kLunDriveMask);
        m.awLunMap[lun].set(static_cast<uint16_t>(requestBits | kept | driveValue));

        const auto* before = found >= 0 || mapIndex < wire::kMaxLunMaps ? mapInImage(request->info, mapIndex) : nullptr;
        const bool disabled = before != nullptr && before->wControllerLun.get() == 0xFFFF;
        m.wControllerLun.set(disabled ? 0xFFFF : LAPIControllerLunFor(m.awLunMap, 0xFFFF));
        m.abNodeName.set(request->nodeWwn);
        m.abPortName.set(request->portWwn);
        m.bReserved = 0;
        m.bHostType = 1;
        traceMapping(m);
        if (withAttempts(index, addSite, kMappingAttempts, [&](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* q) {
                return TOLVO_AddLunMapping(h, q, &m);
            }) != LAPI_SUCCESS) {
            DIDEDebug(TRACE_LAPI, DETAIL_ERROR, "Error: Failed to Create Mapping LUN %d", lun);
            LAPITraceOut("LAPICreateMapping");
            return LAPI_ERR_COMMAND_FAILED;
        }
        last = LAPISaveConfig(index, &bracket);
        if (last == LAPI_SUCCESS) {
            last = LAPIGetAllInformation(index, &request->info);
            LAPITraceOut("LAPICreateMapping");
            return last;
        }
        retry();
    }
    LAPITraceOut("LAPICreateMapping");
    return last;
}

namespace {

uint32_t parityCommand(int index, const char* operation, const LapiSite& site, uint8_t bufferId, uint8_t b3,
                       uint8_t b4, uint8_t b5, const ALL_INFORMATION_SET* info, const char* errorFormat) {
    LAPITraceIn(operation);
    LapiOutcome outcome;
    uint32_t result = LAPIExecute(index, site, LAPIHeaderOnly(bufferId, b3, b4, b5), &outcome);
    if (result != LAPI_SUCCESS) {
        DIDEDebug(TRACE_LAPI, DETAIL_ERROR, errorFormat, b3, b4, b5, outcome.wsc);
        LAPITraceOut(operation);
        return result;
    }
    lqcl::sleepMicroseconds(1000000);
    result = LAPIGetAllInformation(index, info);
    LAPITraceOut(operation);
    return result;
}

}  // namespace

uint32_t LAPIParityCheckArray(int index, PARITY_CHECK_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    return parityCommand(index, "LAPIParityCheckArray", LapiSite{"TOLVO_ParityCheck"}, wire::buf::ParityCheck,
                         request->checkAll, request->array, request->mode, &request->info,
                         "Error: Failed to LAPIParityCheckArray p->checkAll %d, p->arrayNo %d , p->mode %d wsc=%d");
}

uint32_t LAPICancelParityCheckArray(int index, CANCEL_PARITY_CHECK_REQUEST* request) {
    if (request == nullptr) return LAPI_ERR_BAD_PARAMETERS;
    return parityCommand(index, "LAPICancelParityCheckArray", LapiSite{"TOLVO_CancelParityCheck"},
                         wire::buf::CancelParityCheck, 0, 0, 0, &request->info,
                         "Error: Failed to LAPICancelParityCheckArray %d %d %d wsc=%d");
}
