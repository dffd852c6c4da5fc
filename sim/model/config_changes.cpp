// The configuration-change bracket and the commands that change the image.
//
// Bracket rules of this model:
// - A start (0x80) opens a change on a working copy of the committed image.
//   Every change command applies to that copy; reads keep serving the committed
//   image, so nothing is visible before the save.
// - The save (0x82) makes the copy the committed image and starts what the
//   change asked for (initialisations, an expansion).
// - A change that is never saved is discarded when any path starts another
//   change, when a whole image is restored, or when it has been open for five
//   minutes of simulated time. Change commands without an open change answer
//   ILLEGAL REQUEST, COMMAND SEQUENCE ERROR.
// - With the asynchronous handshake each start counts on the controller that
//   received it; the save must carry the counter of the open change and come
//   through that controller. Without it, a change belongs to the path (I_T
//   nexus) that opened it: a save from a path whose own change was dropped
//   since (replaced by another path's start, expired, restored over) answers
//   COMMAND SEQUENCE ERROR, so that its change is made again rather than
//   reported saved and lost. A save from a path that lost nothing (a client
//   that failed over to another path) commits the open change.
// - Injected refusals (control verb "refuse-config"): each refused command, or
//   each configuration activity reply that reports the refusal, uses one count.
//   A save refusal is reported only for a change that already changed something,
//   and discards that change.
#include <algorithm>
#include <cstring>
#include <set>

#include "model/firmware_model.h"
#include "model/model_util.h"
#include "wire/vendor_ops.h"

namespace sim::model {

namespace {

bool isSwitch(uint8_t v) { return v == wire::kFlagYes || v == wire::kFlagNo; }

// Data drives of a rank, given its level, members and parity groups.
unsigned dataDrives(uint8_t level, unsigned members, unsigned groups) {
    switch (level) {
    case wire::kRaidLevel0: return members;
    case wire::kRaidLevel10: return members / 2;
    case wire::kRaidLevel5: return members - 1;
    case wire::kRaidLevel6: return members - 2;
    case wire::kRaidLevel50: return members - groups;
    default: return 0;
    }
}

struct FreeRegion {
    unsigned rank;
    uint64_t start;
    uint64_t blocks;
};

}  // namespace

int FirmwareModel::driveIndexByWwn(uint64_t wwn) const {
    for (size_t i = 0; i < drives_.size(); ++i)
        if (drives_[i].wwn == wwn) return static_cast<int>(i);
    return -1;
}

int FirmwareModel::rankOfDrive(const wire::CONFIG_STORAGE_STRUCT& img, uint64_t wwn, unsigned* member) {
    for (unsigned r = 0; r < std::min<unsigned>(img.header.totalArrays.get(), wire::kMaxRanks); ++r)
        for (unsigned m = 0; m < std::min<unsigned>(img.rank[r].numDrives, wire::kMaxRankDrives); ++m)
            if (img.rank[r].driveWwn[m].get() == wwn) {
                if (member) *member = m;
                return static_cast<int>(r);
            }
    return -1;
}

bool FirmwareModel::hotSpareIn(const wire::CONFIG_STORAGE_STRUCT& img, uint64_t wwn) {
    for (unsigned s = 0; s < std::min<unsigned>(img.header.totalSpares.get(), wire::kHotSpareSlots); ++s)
        if (img.hotSpare[s].driveWwn.get() == wwn) return true;
    return false;
}

uint8_t FirmwareModel::driveGroup(const wire::CONFIG_STORAGE_STRUCT& img, uint64_t wwn, unsigned* member) {
    const int rank = rankOfDrive(img, wwn, member);
    if (rank >= 0) return static_cast<uint8_t>(rank);
    return hotSpareIn(img, wwn) ? wire::kDriveHotSpare : wire::kDriveUnused;
}

bool FirmwareModel::driveInUse(const wire::CONFIG_STORAGE_STRUCT& img, uint64_t wwn) const {
    return rankOfDrive(img, wwn) >= 0 || hotSpareIn(img, wwn);
}

uint16_t FirmwareModel::rankCapacityGb(const wire::RANK_CONFIG_STRUCT& rank) const {
    const unsigned n = std::min<unsigned>(rank.numDrives, wire::kMaxRankDrives);
    if (n == 0) return 0;
    uint64_t smallest = UINT64_MAX;
    for (unsigned m = 0; m < n; ++m) {
        int d = driveIndexByWwn(rank.driveWwn[m].get());
        smallest = std::min<uint64_t>(smallest, d < 0 ? 0 : drives_[static_cast<size_t>(d)].capacityBlocks);
    }
    // Back-off: 0-100 whole percent, above 100 hundredths of a percent.
    const uint64_t backOff = rank.backOff <= 100 ? uint64_t{rank.backOff} * 100 : uint64_t{rank.backOff} - 100u;
    const uint64_t perDrive = smallest * (10000 - std::min<uint64_t>(backOff, 10000)) / 10000;
    const uint64_t gb = perDrive * dataDrives(rank.raidLevel, n, rank.parityGroups) / kBlocksPerGb;
    return static_cast<uint16_t>(std::min<uint64_t>(gb, 0xFFFF));
}

namespace {

std::vector<FreeRegion> freeRegions(const FirmwareModel& m, const wire::CONFIG_STORAGE_STRUCT& img) {
    auto map = std::make_unique<wire::ADDRESS_REGION_MAP_STRUCT>();
    m.buildRegionMap(img, *map);
    std::vector<FreeRegion> out;
    for (unsigned r = 0; r < map->regionCount.get(); ++r) {
        const auto& x = map->region[r];
        if (x.lunNo.get() != wire::kRegionFree) continue;
        out.push_back({x.rankNo.get(), (uint64_t{x.startHigh.get()} << 32) | x.startLow.get(),
                       (uint64_t{x.capacityHigh.get()} << 32) | x.capacityLow.get()});
    }
    return out;
}

}  // namespace

// ---------------------------------------------------------------------------
// Activity record and the bracket

void FirmwareModel::buildConfigUpdate(unsigned pathIndex, wire::CONFIG_UPDATE_STRUCT& out) {
    out = {};
    out.length.set(sizeof out);
    out.startInProgress = out.saveInProgress = out.configUnavailable = wire::kFlagNo;
    out.expansionInProgress = expansion_.active ? wire::kFlagYes : wire::kFlagNo;
    out.localController = static_cast<uint8_t>(controllerForPath(pathIndex) + 1);
    out.startCounter1.set(startCounters_[0]);
    out.startCounter2.set(startCounters_[1]);
    if (refuseCount_ > 0) {
        if (refuseReason_ == "start") {
            out.startInProgress = wire::kFlagYes;
            --refuseCount_;
        } else if (refuseReason_ == "unavailable") {
            out.configUnavailable = wire::kFlagYes;
            --refuseCount_;
        } else if (refuseReason_ == "expansion") {
            out.expansionInProgress = wire::kFlagYes;
            --refuseCount_;
        } else if (refuseReason_ == "save" && pending_ && pendingDirty_) {
            out.saveInProgress = wire::kFlagYes;
            --refuseCount_;
            discardChange();
        }
    }
}

Outcome FirmwareModel::startConfig(unsigned pathIndex) {
    if (refuseCount_ > 0 && (refuseReason_ == "start" || refuseReason_ == "unavailable" ||
                             (refuseReason_ == "expansion" && !asyncHandshake()))) {
        --refuseCount_;
        return sequenceError();
    }
    discardChange();
    pending_ = std::make_unique<wire::CONFIG_STORAGE_STRUCT>(*committed_);
    const unsigned ctl = controllerForPath(pathIndex);
    pendingCounter_ = ++startCounters_[ctl];
    pendingController_ = ctl;
    pendingPath_ = pathIndex;
    replacedPaths_.erase(pathIndex);
    pendingSinceMs_ = nowMs();
    return Outcome::good();
}

Outcome FirmwareModel::saveConfig(const CommandContext& cmd) {
    if (!pending_) return sequenceError();
    const uint8_t b3 = cmd.cdb[3], b4 = cmd.cdb[4], b5 = cmd.cdb[5];
    if (refuseCount_ > 0 && refuseReason_ == "save") {
        --refuseCount_;
        discardChange();
        return sequenceError();
    }
    if (b5 != 0) return badCdb();
    // A save commits only the change it belongs to: the one its start counter
    // names (on the controller of its path). Without the asynchronous
    // handshake a save is refused from a path whose own change was dropped
    // since its start (replaced by another start, expired, restored over); a
    // client that goes on through another path (a failover) saves its change.
    if (asyncHandshake()) {
        if (((b3 << 8) | b4) != pendingCounter_ || controllerForPath(cmd.pathIndex) != pendingController_)
            return badCdb();
    } else if (b3 || b4) {
        return badCdb();
    } else if (replacedPaths_.count(cmd.pathIndex)) {
        return sequenceError();
    }
    commit();
    return Outcome::good();
}

void FirmwareModel::commit() {
    // Jobs of ranks deleted in this change go with them (rank IDs are reused).
    auto gone = [&](uint8_t id) {
        return std::find(pendingDeletedRanks_.begin(), pendingDeletedRanks_.end(), id) != pendingDeletedRanks_.end() ||
               std::find(pendingTrustRanks_.begin(), pendingTrustRanks_.end(), id) != pendingTrustRanks_.end();
    };
    committed_ = std::move(pending_);
    if (maint_.pendingApm1) maint_.apm1 = *maint_.pendingApm1;
    for (auto& j : inits_)
        if (gone(j.rank)) j.active = false;
    inits_.erase(std::remove_if(inits_.begin(), inits_.end(), [](const Job& j) { return !j.active; }), inits_.end());
    for (Job* j : {&rebuild_, &expansion_, &parity_})
        if (j->active && std::find(pendingDeletedRanks_.begin(), pendingDeletedRanks_.end(), j->rank) != pendingDeletedRanks_.end())
            j->active = false;
    for (uint8_t id : pendingInitRanks_) {
        if (std::find(pendingTrustRanks_.begin(), pendingTrustRanks_.end(), id) != pendingTrustRanks_.end()) continue;
        Job j;
        j.active = true;
        j.rank = id;
        j.startMs = nowMs();
        j.durationMs = initDurationMs_;
        inits_.push_back(j);
    }
    for (auto [rankId, pause] : pendingPauses_) {
        for (auto& j : inits_) {
            if (!j.active || j.rank != rankId) continue;
            const bool paused = j.durationMs == kPaused;
            if (pause && !paused) {
                j.startPercent = jobPercent(j);
                j.startMs = nowMs();
                j.durationMs = kPaused;
            } else if (!pause && paused) {
                j.startMs = nowMs();
                j.durationMs = initDurationMs_ * (100 - j.startPercent) / 100;
            }
        }
    }
    if (pendingExpansion_) {
        expansion_ = Job{};
        expansion_.active = true;
        expansion_.rank = *pendingExpansion_;
        expansion_.startMs = nowMs();
        expansion_.durationMs = expansionDurationMs_;
        expansionNewDrives_ = pendingExpansionDrives_;
    }
    logCommittedChange();
    discardChange();
}

// The change commands. Those marked kInChange work on the open change's image.
const std::vector<FirmwareModel::WriteEntry>& FirmwareModel::configWrites() {
    namespace b = wire::buf;
    using W = const VendorWrite&;
    constexpr uint8_t kChange = kInChange, kChangeZero = kInChange | kZeroCdb;
    static const std::vector<WriteEntry> table = {
        {b::StartNewConfig, 0, kZeroCdb, [](FirmwareModel& m, W w) { return m.startConfig(w.cmd.pathIndex); }},
        {b::SaveConfig, 0, 0, [](FirmwareModel& m, W w) { return m.saveConfig(w.cmd); }},
        {b::ClearConfig, 0, kChangeZero, [](FirmwareModel& m, W) {
             auto& img = *m.pending_;
             auto& h = img.header;
             for (unsigned r = 0; r < h.totalArrays.get(); ++r) m.pendingDeletedRanks_.push_back(img.rank[r].rankId);
             std::memset(img.rank, 0, sizeof img.rank);
             std::memset(img.hostLun, 0, sizeof img.hostLun);
             std::memset(img.lunMap, 0, sizeof img.lunMap);
             std::memset(img.hotSpare, 0, sizeof img.hotSpare);
             h.totalArrays.set(0);
             h.totalLogicalDrives.set(0);
             h.totalLunMappingEntries.set(0);
             h.totalSpares.set(0);
             m.pendingInitRanks_.clear();
             m.pendingExpansion_.reset();
             return Outcome::good();
         }},
        {b::ModifyConfigHeader, 0, kChange, [](FirmwareModel& m, W w) {
             auto& h = m.pending_->header;
             if (w.b4 != 0) return badCdb();
             if (w.b5 == wire::kHeaderFieldCacheFlush || w.b5 == wire::kHeaderFieldThreadBalance) {
                 if (!isSwitch(w.b3)) return badCdb();
                 (w.b5 == wire::kHeaderFieldCacheFlush ? h.cacheFlush : h.threadBalance) = w.b3;
             } else if (w.b5 == wire::kHeaderFieldSequentialWrite) {
                 if (w.b3 < 1 || w.b3 > 4) return badCdb();
                 h.sequentialWrite = w.b3;
             } else {
                 return badCdb();
             }
             return Outcome::good();
         }},
        {b::ConfigureTQM, sizeof(wire::TQM_CONFIG_STRUCT), kChangeZero, [](FirmwareModel& m, W w) {
             auto t = recordFrom<wire::TQM_CONFIG_STRUCT>(w.payload);
             if (t.responseType < wire::kTqmDisabled || t.responseType > wire::kTqmAutomatic || t.responseTime > 99)
                 return badParameter();
             m.pending_->tqmResponseType = t.responseType;
             m.pending_->tqmResponseTime = t.responseTime;
             return Outcome::good();
         }},
        {b::AddDriveRank, sizeof(wire::RANK_CONFIG_STRUCT), kChangeZero, [](FirmwareModel& m, W w) {
             return m.addRank(*m.pending_, recordFrom<wire::RANK_CONFIG_STRUCT>(w.payload));
         }},
        {b::AddHostLun, sizeof(wire::CREATE_HOST_LUN_STRUCT), kChangeZero, [](FirmwareModel& m, W w) {
             return m.addHostLun(*m.pending_, recordFrom<wire::CREATE_HOST_LUN_STRUCT>(w.payload));
         }},
        {b::AddLunMapping, sizeof(wire::CREATE_LUN_MAPPING_STRUCT), kChangeZero, [](FirmwareModel& m, W w) {
             return m.addLunMapping(*m.pending_, recordFrom<wire::CREATE_LUN_MAPPING_STRUCT>(w.payload));
         }},
        {b::AddHotSpare, sizeof(wire::HOT_SPARE_DRIVE_STRUCT), kChangeZero, [](FirmwareModel& m, W w) {
             return m.addHotSpare(*m.pending_, recordFrom<wire::HOT_SPARE_DRIVE_STRUCT>(w.payload));
         }},
        {b::SetAutoRegeneration, 0, kChange, [](FirmwareModel& m, W w) { return m.setHeaderSwitch(w, &wire::CONFIG_STORAGE_HEADER_STRUCT::autoRebuild); }},
        {b::SetAltNodeNameOnHostPorts, 0, kChange, [](FirmwareModel& m, W w) { return m.setHeaderSwitch(w, &wire::CONFIG_STORAGE_HEADER_STRUCT::altNodeNames); }},
        {b::SetAutoDriveFwUpdate, 0, kChange, [](FirmwareModel& m, W w) { return m.setHeaderSwitch(w, &wire::CONFIG_STORAGE_HEADER_STRUCT::autoDriveFwUpdate); }},
        {b::SetSingleControllerMode, 0, kChange, [](FirmwareModel& m, W w) { return m.setHeaderSwitch(w, &wire::CONFIG_STORAGE_HEADER_STRUCT::singleControllerMode); }},
        {b::SetBackgroundVerify, 0, kChange, [](FirmwareModel& m, W w) { return m.setHeaderSwitch(w, &wire::CONFIG_STORAGE_HEADER_STRUCT::backgroundVerify); }},
        {b::SetAutoHotSpare, 0, kChange, [](FirmwareModel& m, W w) { return m.setHeaderSwitch(w, &wire::CONFIG_STORAGE_HEADER_STRUCT::autoHotSpare); }},
        {b::SetControllerLogSes, 0, kChange, [](FirmwareModel& m, W w) { return m.setHeaderSwitch(w, &wire::CONFIG_STORAGE_HEADER_STRUCT::controllerLogSes); }},
        {b::SetRegenPriority, 0, kChange, [](FirmwareModel& m, W w) {
             if (w.b4 || w.b5 || w.b3 < 1 || w.b3 > 100) return badCdb();
             m.pending_->header.rebuildPriority = w.b3;
             return Outcome::good();
         }},
        {b::SetInitPriority, 0, kChange, [](FirmwareModel& m, W w) {
             if (w.b4 || w.b5 || w.b3 < 1 || w.b3 > 100) return badCdb();
             m.pending_->header.initPriority = w.b3;
             return Outcome::good();
         }},
        {b::SetSystemParamPair, 0, kChange, [](FirmwareModel& m, W w) {
             // Command balancing switch and count, kept in the header.
             if (w.b5 || !isSwitch(w.b3) || w.b4 < 1 || w.b4 > 64) return badCdb();
             m.pending_->header.reservedD8[0] = w.b3;
             m.pending_->header.reservedD8[1] = w.b4;
             return Outcome::good();
         }},
        {b::HostPortHardAddress, 0, kChange, [](FirmwareModel& m, W w) {
             auto& h = m.pending_->header;
             int port = w.b4 == 1 ? 0 : w.b4 == 2 ? 1 : w.b4 == 4 ? 2 : w.b4 == 8 ? 3 : -1;
             if (port < 0) return badCdb();
             h.hardAddress[port] = w.b5;
             const unsigned byte = static_cast<unsigned>(port) % 2;
             const unsigned shift = port >= 2 ? 4 : 0;
             const uint8_t mask = static_cast<uint8_t>(0x0F << shift);
             h.hostConnection[byte] = static_cast<uint8_t>((h.hostConnection[byte] & ~mask) | ((w.b3 & 0x0F) << shift));
             h.hostDataRate[byte] = static_cast<uint8_t>((h.hostDataRate[byte] & ~mask) | (((w.b3 >> 4) & 0x0F) << shift));
             return Outcome::good();
         }},
        {b::SetRankCacheParams, 0, kChange, [](FirmwareModel& m, W w) {
             auto& img = *m.pending_;
             if (w.b3 >= img.header.totalArrays.get()) return badCdb();
             const uint8_t readAhead = w.b5 >> 4, writeBack = w.b5 & 0x0F;
             if ((readAhead > 4 && readAhead != 15) || writeBack > 10) return badCdb();
             if (w.b4 & ~(wire::kCacheWriteBack | wire::kCacheMirror | wire::kCacheBatteryRequired |
                          wire::kCacheFaultToleranceRequired | wire::kCacheEnforceWriteBack))
                 return badCdb();
             auto& rank = img.rank[w.b3];
             rank.cacheFlags = w.b4;
             rank.readAheadCode.set(readAhead);
             rank.writeBackCode.set(writeBack);
             return Outcome::good();
         }},
        {b::SetHostLunAvailability, 0, kChange, [](FirmwareModel& m, W w) {
             auto& img = *m.pending_;
             if (w.index16 >= img.header.totalLogicalDrives.get() || w.b5 < 1 || w.b5 > 15) return badCdb();
             img.hostLun[w.index16].portMask = w.b5;
             return Outcome::good();
         }},
        {b::SetConfigWwn, 0, kChange, [](FirmwareModel& m, W w) {
             if (w.b4 || w.b5 || (w.b3 != 1 && w.b3 != 2)) return badCdb();
             const Controller& c = m.controllers_[w.b3 - 1];
             if (!c.present) return badCdb();
             m.pending_->header.configWwn.set(c.wwn);
             return Outcome::good();
         }},
        {b::SetConfigName, sizeof(wire::CONFIG_NAME_STRUCT), kChangeZero, [](FirmwareModel& m, W w) {
             std::memcpy(m.pending_->header.name, w.payload.data(), sizeof m.pending_->header.name);
             return Outcome::good();
         }},
        {b::ExpandHostLun, sizeof(wire::EXPAND_HOST_LUN_STRUCT), kChange, [](FirmwareModel& m, W w) {
             if (w.b5) return badCdb();
             return m.expandHostLun(*m.pending_, w.index16, recordFrom<wire::EXPAND_HOST_LUN_STRUCT>(w.payload));
         }},
        {b::SetRankName, sizeof(wire::OBJECT_NAME_STRUCT), kChange, [](FirmwareModel& m, W w) {
             auto& img = *m.pending_;
             if (w.b4 || w.b5 || w.b3 >= img.header.totalArrays.get()) return badCdb();
             std::memcpy(img.rank[w.b3].name, w.payload.data(), sizeof img.rank[w.b3].name);
             return Outcome::good();
         }},
        {b::SetHostLunName, sizeof(wire::OBJECT_NAME_STRUCT), kChange, [](FirmwareModel& m, W w) {
             auto& img = *m.pending_;
             if (w.b5 || w.index16 >= img.header.totalLogicalDrives.get()) return badCdb();
             std::memcpy(img.hostLun[w.index16].name, w.payload.data(), sizeof img.hostLun[w.index16].name);
             return Outcome::good();
         }},
        {b::SetControllerLun, 0, kChange, [](FirmwareModel& m, W w) {
             if (w.b5 || (w.index16 > 512 && w.index16 != 0xFFFF)) return badCdb();
             m.pending_->header.controllerLun.set(static_cast<uint16_t>(w.index16));
             return Outcome::good();
         }},
        {b::ExpandArray, sizeof(wire::EXPAND_ARRAY_STRUCT), kChangeZero, [](FirmwareModel& m, W w) {
             return m.expandRank(*m.pending_, recordFrom<wire::EXPAND_ARRAY_STRUCT>(w.payload));
         }},
        {b::TrustArray, 0, kChange, [](FirmwareModel& m, W w) {
             auto& img = *m.pending_;
             if (w.b4 || w.b5 || w.b3 >= img.header.totalArrays.get()) return badCdb();
             auto& rank = img.rank[w.b3];
             if (rank.initialised == wire::kFlagYes) return Outcome::good();
             m.pendingTrustRanks_.push_back(rank.rankId);
             if (rank.faultStatus == wire::kRankNotInitialized)
                 rank.faultStatus = rank.raidLevel == wire::kRaidLevel0 ? wire::kRankCritical : wire::kRankFaultTolerant;
             return Outcome::good();
         }},
        {b::ModifyLunMapping, sizeof(wire::LUN_MAPPING_STRUCT), kChange, [](FirmwareModel& m, W w) {
             if (w.b5 || w.index16 >= m.pending_->header.totalLunMappingEntries.get()) return badCdb();
             return m.replaceLunMapping(*m.pending_, w.index16, recordFrom<wire::LUN_MAPPING_STRUCT>(w.payload));
         }},
        {b::PauseInit, 0, kChange, [](FirmwareModel& m, W w) { return m.pauseInitialisation(w, true); }},
        {b::UnpauseInit, 0, kChange, [](FirmwareModel& m, W w) { return m.pauseInitialisation(w, false); }},
        {b::DeleteDriveRank, 0, kChange, [](FirmwareModel& m, W w) {
             if (w.b4 || w.b5) return badCdb();
             return m.deleteRank(*m.pending_, w.b3);
         }},
        {b::DeleteHostLun, 0, kChange, [](FirmwareModel& m, W w) {
             if (w.b5) return badCdb();
             return m.deleteHostLun(*m.pending_, w.index16);
         }},
        {b::DeleteLunMapping, 0, kChange, [](FirmwareModel& m, W w) {
             if (w.b5) return badCdb();
             return m.deleteLunMapping(*m.pending_, w.index16);
         }},
        {b::DeleteHotSpare, 0, kChange, [](FirmwareModel& m, W w) {
             if (w.b4 || w.b5) return badCdb();
             return m.deleteHotSpare(*m.pending_, w.b3);
         }},
    };
    return table;
}

Outcome FirmwareModel::setHeaderSwitch(const VendorWrite& w, uint8_t wire::CONFIG_STORAGE_HEADER_STRUCT::*field) {
    if (w.b4 || w.b5 || !isSwitch(w.b3)) return badCdb();
    pending_->header.*field = w.b3;
    return Outcome::good();
}

// Takes effect at the save, like every change.
Outcome FirmwareModel::pauseInitialisation(const VendorWrite& w, bool pause) {
    auto& img = *pending_;
    if (w.b4 || w.b5 || w.b3 >= img.header.totalArrays.get()) return badCdb();
    const uint8_t id8 = img.rank[w.b3].rankId;
    const bool running = std::any_of(inits_.begin(), inits_.end(), [&](const Job& j) { return j.active && j.rank == id8; });
    if (!running) return sequenceError();
    pendingPauses_.emplace_back(id8, pause);
    return Outcome::good();
}

// Replaces one map in place: the same checks as a new map, against the other maps.
Outcome FirmwareModel::replaceLunMapping(wire::CONFIG_STORAGE_STRUCT& img, unsigned index, const wire::LUN_MAPPING_STRUCT& map) {
    auto& h = img.header;
    const wire::LUN_MAPPING_STRUCT before = img.lunMap[index];
    deleteLunMapping(img, index);
    wire::CREATE_LUN_MAPPING_STRUCT c{};
    std::memcpy(&c, &map, sizeof c);
    Outcome result = addLunMapping(img, c);
    const unsigned last = h.totalLunMappingEntries.get();
    if (result.kind != Outcome::Kind::Good) {
        // Put the old map back where it was.
        for (unsigned k = last; k > index; --k) img.lunMap[k] = img.lunMap[k - 1];
        img.lunMap[index] = before;
        h.totalLunMappingEntries.set(static_cast<uint16_t>(last + 1));
        return result;
    }
    const wire::LUN_MAPPING_STRUCT added = img.lunMap[last - 1];
    for (unsigned k = last - 1; k > index; --k) img.lunMap[k] = img.lunMap[k - 1];
    img.lunMap[index] = added;
    std::memcpy(img.lunMap[index].reserved434, map.reserved434, sizeof map.reserved434);
    return result;
}

// ---------------------------------------------------------------------------
// Ranks

Outcome FirmwareModel::addRank(wire::CONFIG_STORAGE_STRUCT& img, const wire::RANK_CONFIG_STRUCT& req) {
    auto& h = img.header;
    const unsigned total = h.totalArrays.get();
    if (total >= wire::kMaxRanks) return badParameter();
    const uint8_t level = req.raidLevel;
    if (level != wire::kRaidLevel0 && level != wire::kRaidLevel5 && level != wire::kRaidLevel6 &&
        level != wire::kRaidLevel10 && level != wire::kRaidLevel50)
        return badParameter();
    const unsigned n = req.numDrives;
    if (n == 0 || n > wire::kMaxRankDrives) return badParameter();

    // Members: the non-zero WWNs of the 16 slots, in slot order; their number
    // must be the drive count.
    std::vector<uint64_t> members;
    for (const auto& w : req.driveWwn)
        if (w.get() != 0) members.push_back(w.get());
    if (members.size() != n) return badParameter();
    std::set<uint64_t> seen;
    for (uint64_t w : members) {
        int d = driveIndexByWwn(w);
        if (d < 0 || drives_[static_cast<size_t>(d)].failed || driveInUse(img, w) || !seen.insert(w).second)
            return badParameter();
    }

    unsigned groups = 0;
    switch (level) {
    case wire::kRaidLevel0: if (n < 1) return badParameter(); break;
    case wire::kRaidLevel10: if (n < 2 || n % 2) return badParameter(); groups = n / 2; break;
    case wire::kRaidLevel5: if (n < 3) return badParameter(); groups = 1; break;
    case wire::kRaidLevel6: if (n < 4) return badParameter(); groups = 2; break;
    case wire::kRaidLevel50:
        groups = req.parityGroups;
        if (groups < 1 || n % groups || n / groups < 3) return badParameter();
        break;
    }

    const unsigned chunk = req.chunkBlocks.get();
    const unsigned lo = h.minChunkBlocks.get() ? h.minChunkBlocks.get() : 8;
    const unsigned hi = h.maxChunkBlocks.get() ? h.maxChunkBlocks.get() : 2048;
    if (chunk == 0 || (chunk & (chunk - 1)) || chunk < lo || chunk > hi) return badParameter();
    if (req.backOff > 189) return badParameter();
    const unsigned ra = req.readAheadCode.get(), wb = req.writeBackCode.get();
    if ((ra > 4 && ra != 15) || wb > 10) return badParameter();
    if (req.initialised != wire::kFlagYes && req.initialised != wire::kFlagNo) return badParameter();

    wire::RANK_CONFIG_STRUCT r = req;
    std::memset(r.driveWwn, 0, sizeof r.driveWwn);
    for (size_t i = 0; i < members.size(); ++i) r.driveWwn[i].set(members[i]);
    // The lowest rank ID not in use.
    uint8_t id = 0;
    for (bool clash = true; clash;) {
        clash = false;
        for (unsigned k = 0; k < total; ++k)
            if (img.rank[k].rankId == id) { clash = true; ++id; break; }
    }
    r.rankId = id;
    r.parityGroups = static_cast<uint8_t>(level == wire::kRaidLevel0 ? 0 : groups);
    r.capacityGb.set(rankCapacityGb(r));
    if (r.capacityGb.get() == 0) return badParameter();
    const bool initialise = req.initialised == wire::kFlagYes && level != wire::kRaidLevel0;
    r.initialised = level == wire::kRaidLevel0 && req.initialised == wire::kFlagYes ? wire::kFlagYes : wire::kFlagNo;
    r.faultStatus = level == wire::kRaidLevel0 ? wire::kRankCritical
                    : initialise              ? wire::kRankNotInitialized
                                              : wire::kRankFaultTolerant;
    img.rank[total] = r;
    h.totalArrays.set(static_cast<uint16_t>(total + 1));
    if (initialise) pendingInitRanks_.push_back(id);
    return Outcome::good();
}

Outcome FirmwareModel::deleteRank(wire::CONFIG_STORAGE_STRUCT& img, unsigned rankIndex) {
    auto& h = img.header;
    const unsigned total = h.totalArrays.get();
    if (rankIndex >= total) return badCdb();
    const uint8_t id = img.rank[rankIndex].rankId;
    if (expansion_.active && expansion_.rank == id) return sequenceError();
    if (pendingExpansion_ && *pendingExpansion_ == id) pendingExpansion_.reset();

    // Logical drives with a segment on this rank go with it, and so do their map entries.
    for (unsigned l = h.totalLogicalDrives.get(); l-- > 0;) {
        bool onRank = false;
        for (unsigned s = 0; s < img.hostLun[l].segmentCount; ++s)
            if (img.hostLun[l].segment[s].rankIndex.get() == rankIndex) onRank = true;
        if (onRank) deleteHostLun(img, l);
    }
    for (unsigned l = 0; l < h.totalLogicalDrives.get(); ++l)
        for (unsigned s = 0; s < img.hostLun[l].segmentCount; ++s) {
            auto& seg = img.hostLun[l].segment[s];
            if (seg.rankIndex.get() > rankIndex) seg.rankIndex.set(static_cast<uint16_t>(seg.rankIndex.get() - 1));
        }
    // Dedicated spares of the rank go; later ranks' spares follow their rank.
    for (unsigned s = h.totalSpares.get(); s-- > 0;) {
        auto& sp = img.hotSpare[s];
        if (sp.rank == rankIndex) deleteHotSpare(img, s);
    }
    for (unsigned s = 0; s < h.totalSpares.get(); ++s) {
        auto& sp = img.hotSpare[s];
        if (sp.rank != wire::kGlobalSpare && sp.rank > rankIndex) --sp.rank;
    }
    for (unsigned k = rankIndex; k + 1 < total; ++k) img.rank[k] = img.rank[k + 1];
    img.rank[total - 1] = {};
    h.totalArrays.set(static_cast<uint16_t>(total - 1));
    pendingDeletedRanks_.push_back(id);
    pendingInitRanks_.erase(std::remove(pendingInitRanks_.begin(), pendingInitRanks_.end(), id), pendingInitRanks_.end());
    return Outcome::good();
}

Outcome FirmwareModel::expandRank(wire::CONFIG_STORAGE_STRUCT& img, const wire::EXPAND_ARRAY_STRUCT& req) {
    const unsigned total = img.header.totalArrays.get();
    if (req.rankIndex >= total) return badParameter();
    auto& rank = img.rank[req.rankIndex];
    const unsigned n = req.numDrives;
    if (n == 0 || n > wire::kMaxExpandDrives || rank.numDrives + n > wire::kMaxRankDrives) return badParameter();
    if (rank.raidLevel != wire::kRaidLevel0 && rank.raidLevel != wire::kRaidLevel5 && rank.raidLevel != wire::kRaidLevel6)
        return badParameter();
    if (expansion_.active || pendingExpansion_) return sequenceError();
    if (rank.faultStatus != wire::kRankFaultTolerant && !(rank.raidLevel == wire::kRaidLevel0 && rank.faultStatus == wire::kRankCritical))
        return sequenceError();
    std::set<uint64_t> seen;
    for (unsigned i = 0; i < n; ++i) {
        uint64_t w = req.driveWwn[i].get();
        int d = driveIndexByWwn(w);
        if (w == 0 || d < 0 || drives_[static_cast<size_t>(d)].failed || driveInUse(img, w) || !seen.insert(w).second)
            return badParameter();
    }
    pendingExpansionDrives_.clear();
    for (unsigned i = 0; i < n; ++i) {
        rank.driveWwn[rank.numDrives + i] = req.driveWwn[i];
        pendingExpansionDrives_.push_back(req.driveWwn[i].get());
    }
    rank.numDrives = static_cast<uint8_t>(rank.numDrives + n);
    if (rank.raidLevel != wire::kRaidLevel0) rank.faultStatus = wire::kRankExpanding;
    pendingExpansion_ = rank.rankId;
    return Outcome::good();
}

// ---------------------------------------------------------------------------
// Host LUNs

Outcome FirmwareModel::addHostLun(wire::CONFIG_STORAGE_STRUCT& img, const wire::CREATE_HOST_LUN_STRUCT& req) {
    auto& h = img.header;
    const unsigned total = h.totalLogicalDrives.get();
    if (total >= wire::kMaxHostLuns) return badParameter();
    const unsigned gb = req.capacityGb.get();
    const unsigned bs = req.hostBlockSize.get();
    if (gb == 0 || (bs != 0 && bs != 512 && bs != 4096)) return badParameter();
    const auto free = freeRegions(*this, img);
    const unsigned regionNo = req.freeRegionNo.get();
    if (regionNo >= free.size()) return badParameter();
    const auto& region = free[regionNo];
    if (uint64_t{gb} * kBlocksPerGb > region.blocks) return badParameter();

    wire::HOST_CONFIG_STRUCT l{};
    // The lowest logical drive number and WLUN reference number not in use.
    auto used = [&](auto pred) {
        for (unsigned k = 0; k < total; ++k)
            if (pred(img.hostLun[k])) return true;
        return false;
    };
    uint16_t lun = 0;
    while (used([&](const wire::HOST_CONFIG_STRUCT& x) { return x.lunNumber.get() == lun; })) ++lun;
    uint16_t wlun = 1;
    while (used([&](const wire::HOST_CONFIG_STRUCT& x) { return x.wlunReferenceNo.get() == wlun; })) ++wlun;
    l.lunNumber.set(lun);
    l.accessType = req.accessType;
    l.segmentCount = 1;
    l.capacityGb.set(static_cast<uint16_t>(gb));
    l.mappedLun.set(lun);
    l.segment[0].startBlock.set(region.start);
    l.segment[0].blockCount.set(uint64_t{gb} * kBlocksPerGb);
    l.segment[0].capacityGb.set(static_cast<uint16_t>(gb));
    l.segment[0].rankIndex.set(static_cast<uint16_t>(region.rank));
    l.portMask = wire::kPortC0P0 | wire::kPortC0P1 | wire::kPortC1P0 | wire::kPortC1P1;
    std::memcpy(l.name, req.name, sizeof l.name);
    l.wlunReferenceNo.set(wlun);
    l.hostBlockSize.set(static_cast<uint16_t>(bs == 0 ? 512 : bs));
    img.hostLun[total] = l;
    h.totalLogicalDrives.set(static_cast<uint16_t>(total + 1));
    if (!regionsFit(img)) {
        img.hostLun[total] = {};
        h.totalLogicalDrives.set(static_cast<uint16_t>(total));
        return badParameter();
    }
    return Outcome::good();
}

Outcome FirmwareModel::expandHostLun(wire::CONFIG_STORAGE_STRUCT& img, unsigned lunIndex,
                                     const wire::EXPAND_HOST_LUN_STRUCT& req) {
    if (lunIndex >= img.header.totalLogicalDrives.get()) return badCdb();
    auto& l = img.hostLun[lunIndex];
    const unsigned gb = req.capacityGb.get();
    if (gb == 0 || l.segmentCount >= wire::kMaxLunSegments || l.capacityGb.get() + gb > 0xFFFF) return badParameter();
    const auto free = freeRegions(*this, img);
    const unsigned regionNo = req.freeRegionNo.get();
    if (regionNo >= free.size()) return badParameter();
    const auto& region = free[regionNo];
    if (uint64_t{gb} * kBlocksPerGb > region.blocks) return badParameter();
    const wire::HOST_CONFIG_STRUCT before = l;
    auto& seg = l.segment[l.segmentCount];
    seg.startBlock.set(region.start);
    seg.blockCount.set(uint64_t{gb} * kBlocksPerGb);
    seg.capacityGb.set(static_cast<uint16_t>(gb));
    seg.rankIndex.set(static_cast<uint16_t>(region.rank));
    l.segmentCount = static_cast<uint8_t>(l.segmentCount + 1);
    l.capacityGb.set(static_cast<uint16_t>(l.capacityGb.get() + gb));
    if (!regionsFit(img)) {
        l = before;
        return badParameter();
    }
    return Outcome::good();
}

Outcome FirmwareModel::deleteHostLun(wire::CONFIG_STORAGE_STRUCT& img, unsigned lunIndex) {
    auto& h = img.header;
    const unsigned total = h.totalLogicalDrives.get();
    if (lunIndex >= total) return badCdb();
    const uint16_t number = img.hostLun[lunIndex].lunNumber.get();
    // Entries that map this logical drive are unmapped.
    for (unsigned m = 0; m < h.totalLunMappingEntries.get(); ++m)
        for (auto& e : img.lunMap[m].awLunMap) {
            uint16_t v = e.get();
            if (v != wire::kLunNotMapped && !(v & wire::kLunSnapshot) && (v & wire::kLunDriveMask) == number)
                e.set(wire::kLunNotMapped);
        }
    for (unsigned k = lunIndex; k + 1 < total; ++k) img.hostLun[k] = img.hostLun[k + 1];
    img.hostLun[total - 1] = {};
    h.totalLogicalDrives.set(static_cast<uint16_t>(total - 1));
    return Outcome::good();
}

// ---------------------------------------------------------------------------
// LUN maps and hot spares

Outcome FirmwareModel::addLunMapping(wire::CONFIG_STORAGE_STRUCT& img, const wire::CREATE_LUN_MAPPING_STRUCT& req) {
    auto& h = img.header;
    const unsigned total = h.totalLunMappingEntries.get();
    if (total >= wire::kMaxLunMaps) return badParameter();
    if (req.abPortName.get() == 0) return badParameter();
    for (unsigned m = 0; m < total; ++m)
        if (img.lunMap[m].abPortName.get() == req.abPortName.get()) return badParameter();
    for (const auto& e : req.awLunMap) {
        const uint16_t v = e.get();
        if (v == wire::kLunNotMapped) continue;
        if (v & wire::kLunSnapshot) continue;
        if ((v & (wire::kLunPortC0P0 | wire::kLunPortC0P1 | wire::kLunPortC1P0 | wire::kLunPortC1P1)) == 0)
            return badParameter();
        bool exists = false;
        for (unsigned l = 0; l < h.totalLogicalDrives.get(); ++l)
            if (img.hostLun[l].lunNumber.get() == (v & wire::kLunDriveMask)) exists = true;
        if (!exists) return badParameter();
    }
    const unsigned cl = req.wControllerLun.get();
    if (cl > 512 && cl != 0xFFFF) return badParameter();
    wire::LUN_MAPPING_STRUCT m{};
    std::memcpy(&m, &req, sizeof req);
    img.lunMap[total] = m;
    h.totalLunMappingEntries.set(static_cast<uint16_t>(total + 1));
    return Outcome::good();
}

Outcome FirmwareModel::deleteLunMapping(wire::CONFIG_STORAGE_STRUCT& img, unsigned mapIndex) {
    auto& h = img.header;
    const unsigned total = h.totalLunMappingEntries.get();
    if (mapIndex >= total) return badCdb();
    for (unsigned k = mapIndex; k + 1 < total; ++k) img.lunMap[k] = img.lunMap[k + 1];
    img.lunMap[total - 1] = {};
    h.totalLunMappingEntries.set(static_cast<uint16_t>(total - 1));
    return Outcome::good();
}

Outcome FirmwareModel::addHotSpare(wire::CONFIG_STORAGE_STRUCT& img, const wire::HOT_SPARE_DRIVE_STRUCT& req) {
    auto& h = img.header;
    const unsigned total = h.totalSpares.get();
    if (total >= wire::kHotSpareSlots) return badParameter();
    for (uint8_t b : req.reserved9)
        if (b != 0) return badParameter();
    const uint64_t w = req.driveWwn.get();
    const int d = driveIndexByWwn(w);
    if (d < 0 || drives_[static_cast<size_t>(d)].failed || driveInUse(img, w)) return badParameter();
    if (req.rank != wire::kGlobalSpare) {
        if (req.rank >= h.totalArrays.get()) return badParameter();
        // A dedicated spare must be able to replace any member of its rank.
        const auto& rank = img.rank[req.rank];
        for (unsigned m = 0; m < rank.numDrives && m < wire::kMaxRankDrives; ++m) {
            int x = driveIndexByWwn(rank.driveWwn[m].get());
            if (x >= 0 && drives_[static_cast<size_t>(x)].capacityBlocks > drives_[static_cast<size_t>(d)].capacityBlocks)
                return badParameter();
        }
    }
    img.hotSpare[total] = req;
    h.totalSpares.set(static_cast<uint16_t>(total + 1));
    return Outcome::good();
}

Outcome FirmwareModel::deleteHotSpare(wire::CONFIG_STORAGE_STRUCT& img, unsigned spareIndex) {
    auto& h = img.header;
    const unsigned total = h.totalSpares.get();
    if (spareIndex >= total) return badCdb();
    for (unsigned k = spareIndex; k + 1 < total; ++k) img.hotSpare[k] = img.hotSpare[k + 1];
    img.hotSpare[total - 1] = {};
    h.totalSpares.set(static_cast<uint16_t>(total - 1));
    return Outcome::good();
}

// ---------------------------------------------------------------------------
// Whole-image restore (WRITE BUFFER mode 2, buffer 0x83): the chunks must come
// in order; the image replaces the committed one when its last byte arrived and
// it passed the consistency check. The system keeps its own WWN.

Outcome FirmwareModel::restoreImage(const CommandContext& cmd) {
    const uint32_t offset = wire::loadBe24(&cmd.cdb[3]);
    constexpr size_t kSize = sizeof(wire::CONFIG_STORAGE_STRUCT);
    if (offset == 0) restoreBuffer_.clear();
    if (offset != restoreBuffer_.size() || cmd.dataOut.size() > kSize - offset) {
        restoreBuffer_.clear();
        return badCdb();
    }
    restoreBuffer_.insert(restoreBuffer_.end(), cmd.dataOut.begin(), cmd.dataOut.end());
    if (restoreBuffer_.size() < kSize) return Outcome::good();
    auto img = std::make_unique<wire::CONFIG_STORAGE_STRUCT>();
    std::memcpy(img.get(), restoreBuffer_.data(), kSize);
    restoreBuffer_.clear();
    img->header.configWwn = committed_->header.configWwn;
    if (!imageConsistent(*img)) return badParameter();
    discardChange();
    committed_ = std::move(img);
    inits_.clear();
    rebuild_.active = expansion_.active = parity_.active = false;
    return Outcome::good();
}

bool FirmwareModel::imageConsistent(const wire::CONFIG_STORAGE_STRUCT& img, std::string* why) const {
    auto fail = [&](const std::string& s) {
        if (why) *why = s;
        return false;
    };
    const auto& h = img.header;
    if (h.length.get() != sizeof img || !wire::isValidConfigHeader(h)) return fail("header not valid");
    const unsigned nr = h.totalArrays.get(), nl = h.totalLogicalDrives.get();
    const unsigned nm = h.totalLunMappingEntries.get(), ns = h.totalSpares.get();
    if (nr > wire::kMaxRanks || nl > wire::kMaxHostLuns || nm > wire::kMaxLunMaps || ns > wire::kHotSpareSlots)
        return fail("counts out of range");
    std::set<uint64_t> inUse;
    std::set<uint8_t> ids;
    for (unsigned r = 0; r < nr; ++r) {
        const auto& k = img.rank[r];
        if (k.numDrives == 0 || k.numDrives > wire::kMaxRankDrives) return fail("rank drive count");
        if (!ids.insert(k.rankId).second) return fail("duplicate rank ID");
        for (unsigned m = 0; m < k.numDrives; ++m) {
            uint64_t w = k.driveWwn[m].get();
            if (driveIndexByWwn(w) < 0) return fail("rank member " + wwnHex(w) + " is not a drive of this system");
            if (!inUse.insert(w).second) return fail("drive in two places");
        }
    }
    for (unsigned s = 0; s < ns; ++s) {
        uint64_t w = img.hotSpare[s].driveWwn.get();
        if (driveIndexByWwn(w) < 0 || !inUse.insert(w).second) return fail("bad hot spare");
        if (img.hotSpare[s].rank != wire::kGlobalSpare && img.hotSpare[s].rank >= nr) return fail("spare of a missing rank");
    }
    // Segments lie inside their rank and do not overlap.
    std::vector<std::vector<std::pair<uint64_t, uint64_t>>> perRank(nr);
    std::set<uint16_t> numbers;
    for (unsigned l = 0; l < nl; ++l) {
        const auto& d = img.hostLun[l];
        if (d.segmentCount == 0 || d.segmentCount > wire::kMaxLunSegments) return fail("segment count");
        if (!numbers.insert(d.lunNumber.get()).second) return fail("duplicate logical drive number");
        unsigned sum = 0;
        for (unsigned s = 0; s < d.segmentCount; ++s) {
            const auto& g = d.segment[s];
            if (g.rankIndex.get() >= nr || g.blockCount.get() == 0) return fail("segment on a missing rank");
            if (g.startBlock.get() % kBlocksPerGb || g.blockCount.get() != uint64_t{g.capacityGb.get()} * kBlocksPerGb)
                return fail("segment not in whole GB");
            perRank[g.rankIndex.get()].emplace_back(g.startBlock.get(), g.blockCount.get());
            sum += g.capacityGb.get();
        }
        if (sum != d.capacityGb.get()) return fail("logical drive capacity is not the sum of its segments");
    }
    for (unsigned r = 0; r < nr; ++r) {
        auto& v = perRank[r];
        std::sort(v.begin(), v.end());
        uint64_t cursor = 0;
        for (auto [start, blocks] : v) {
            if (start < cursor) return fail("overlapping segments");
            cursor = start + blocks;
        }
        if (cursor > uint64_t{img.rank[r].capacityGb.get()} * kBlocksPerGb) return fail("segment beyond its rank");
    }
    if (!regionsFit(img)) return fail("too many regions");
    std::set<uint64_t> ports;
    for (unsigned m = 0; m < nm; ++m)
        if (!ports.insert(img.lunMap[m].abPortName.get()).second) return fail("two maps for one host port");
    return true;
}

}  // namespace sim::model
