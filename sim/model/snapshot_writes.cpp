// The snapshot, overwrite data area (ODA), snap back, virtual LUN and volume
// copy commands (WRITE BUFFER 0x70-0x77, 0x79, 0x7A) and the volume copy
// status read (READ BUFFER 0x69), for both snapshot firmware generations.
//
// The generation of the system decides the record layouts. The commands the
// tool sends inside a change (every first-generation one, the R2_2 ODA
// commands) need an open change; the others are refused inside none. A snap
// back and a volume copy run with simulated time: a snap back sets the ODA's
// snap-back flag and progress and, when done, leaves the logical drive at the
// snapshot; a volume copy copies, then flushes, then is complete.
#include <algorithm>
#include <cstring>

#include "model/firmware_model.h"
#include "model/model_util.h"
#include "wire/snapshot.h"
#include "wire/vendor.h"
#include "wire/vendor_ops.h"

namespace sim::model {

namespace {

bool header(const wire::SNAP_COMMAND_HEADER& h, char letter, uint8_t length) {
    return h.command == static_cast<uint8_t>(letter) && h.reserved[0] == 0 && h.reserved[1] == 0 && h.length == length;
}

}  // namespace

bool FirmwareModel::r2_2() const { return (features_ & wire::kFeatureR2_2) != 0; }

// The records after the validation header; CDB bytes 3-5 are zero.
const std::vector<FirmwareModel::WriteEntry>& FirmwareModel::snapshotWrites() {
    namespace b = wire::buf;
    auto run = [](FirmwareModel& m, const VendorWrite& w) { return m.snapshotCommand(w.cmd, w.cmd.cdb[2], w.payload); };
    static const std::vector<WriteEntry> table = {
        {b::CreateOverWriteDataArea, 10, kZeroCdb, run},
        {b::AssignOda_R2_2, 10, kZeroCdb, run},
        {b::AssignVirtualLunSnap, 10, kZeroCdb, run},
        {b::ReleaseOverWriteDataArea, 8, kZeroCdb, run},
        {b::TakeSnapshot, 8, kZeroCdb, run},
        {b::DeleteSnapshot, 8, kZeroCdb, run},
        {b::AssignOda, 8, kZeroCdb, run},
        {b::Snapback, 8, kZeroCdb, run},
        {b::SetupVolumeCopy, sizeof(wire::LD_DUPLICATION_SETUP_STRUCT), kZeroCdb, run},
        {b::ChangeVolumeCopySettings, sizeof(wire::LD_DUPLICATION_CHANGE_SETTINGS_STRUCT), kZeroCdb, run},
    };
    return table;
}

OdaState* FirmwareModel::findOda(uint16_t number) {
    for (auto& a : odas_)
        if (a.number == number) return &a;
    return nullptr;
}

Outcome FirmwareModel::snapshotCommand(const CommandContext& cmd, uint8_t id, std::span<const uint8_t> p) {
    namespace b = wire::buf;
    const bool second = r2_2();
    // Which commands come inside a change: all first-generation ones, and the
    // R2_2 ODA commands.
    const bool inChange = !second || id == b::CreateOverWriteDataArea || id == b::ReleaseOverWriteDataArea ||
                          id == b::AssignOda_R2_2;
    if (id != b::SetupVolumeCopy && id != b::ChangeVolumeCopySettings && inChange && !pending_) return sequenceError();
    const uint16_t drives = committed_->header.totalLogicalDrives.get();
    switch (id) {
    case b::CreateOverWriteDataArea: {
        uint16_t oda, ld, stripe;
        if (second) {
            auto r = recordFrom<wire::CREATE_OVERWRITE_DATA_AREA_R2_2_STRUCT>(p);
            if (!header(r.hdr, 'p', 10)) return badParameter();
            oda = r.odaNumber.get(), ld = r.logicalDrive.get(), stripe = r.stripeSize.get();
        } else {
            auto r = recordFrom<wire::CREATE_OVERWRITE_DATA_AREA_STRUCT>(p);
            if (!header(r.hdr, 'p', 10) || r.reserved5) return badParameter();
            oda = r.odaNumber, ld = r.logicalDrive.get(), stripe = r.stripeSize.get();
        }
        if (ld >= drives || findOda(oda) || odas_.size() >= std::min<size_t>(maxOdas_, second ? 512 : 256))
            return badParameter();
        if (stripe != 128 && stripe != 256 && stripe != 512 && stripe != 1024 && stripe != 2048) return badParameter();
        for (const auto& a : odas_)
            if (a.internalLd == ld) return badParameter();
        OdaState a;
        a.number = oda;
        a.flags = wire::kOdaR22Formatted;
        a.percent = 100;
        a.internalLd = ld;
        a.stripeBlocks = stripe;
        a.capacityGb = committed_->hostLun[ld].capacityGb.get();
        a.stripes = static_cast<uint32_t>(uint64_t{a.capacityGb} * kBlocksPerGb / stripe);
        odas_.push_back(a);
        if (std::none_of(internalDrives_.begin(), internalDrives_.end(),
                         [&](const InternalDrive& d) { return d.logicalDrive == ld; }))
            internalDrives_.push_back({ld, a.capacityGb});
        return Outcome::good();
    }
    case b::ReleaseOverWriteDataArea: {
        uint16_t oda;
        if (second) {
            auto r = recordFrom<wire::RELEASE_OVERWRITE_DATA_AREA_R2_2_STRUCT>(p);
            if (!header(r.hdr, 'r', 8) || r.reserved6[0] || r.reserved6[1]) return badParameter();
            oda = r.odaNumber.get();
        } else {
            auto r = recordFrom<wire::RELEASE_OVERWRITE_DATA_AREA_STRUCT>(p);
            if (!header(r.hdr, 'r', 8) || r.reserved5[0] || r.reserved5[1] || r.reserved5[2]) return badParameter();
            oda = r.odaNumber;
        }
        OdaState* a = findOda(oda);
        if (!a || (a->flags & wire::kOdaR22Snapback)) return badParameter();
        snapshots_.erase(std::remove_if(snapshots_.begin(), snapshots_.end(),
                                        [&](const SnapshotState& s) { return s.oda == oda; }),
                         snapshots_.end());
        odas_.erase(odas_.begin() + (a - odas_.data()));
        return Outcome::good();
    }
    case b::AssignOda:
    case b::AssignOda_R2_2: {
        uint16_t oda, ld;
        uint8_t mode;
        if (id == b::AssignOda_R2_2) {
            if (!second) return badCdb();
            auto r = recordFrom<wire::ASSIGN_ODA_R2_2_STRUCT>(p);
            if (!header(r.hdr, 'q', 10) || r.reserved9) return badParameter();
            oda = r.odaNumber.get(), ld = r.logicalDrive.get(), mode = r.option;
        } else {
            if (second) return badCdb();
            auto r = recordFrom<wire::ASSIGN_ODA_STRUCT>(p);
            if (!header(r.hdr, 'v', 8)) return badParameter();
            oda = r.odaNumber, ld = r.logicalDrive.get(), mode = r.flags;
        }
        OdaState* a = findOda(oda);
        if (!a || ld >= drives || (mode != 0 && mode != 2)) return badParameter();
        if (mode == 2) {
            if (ld == a->internalLd || a->snapshotLd != 0xFFFF) return badParameter();
            a->snapshotLd = ld;
            a->flags |= wire::kOdaR22Assigned;
        } else {
            if (a->snapshotLd != ld) return badParameter();
            a->snapshotLd = 0xFFFF;
            a->flags &= static_cast<uint8_t>(~(wire::kOdaR22Assigned | wire::kOdaR22ActiveSnapshot));
            snapshots_.erase(std::remove_if(snapshots_.begin(), snapshots_.end(),
                                            [&](const SnapshotState& s) { return s.oda == oda; }),
                             snapshots_.end());
        }
        return Outcome::good();
    }
    case b::TakeSnapshot: {
        auto r = recordFrom<wire::TAKE_SNAPSHOT_STRUCT>(p);
        if (!header(r.hdr, 's', 8) || r.option || r.reserved7) return badParameter();
        const uint16_t ld = r.logicalDrive.get();
        OdaState* a = nullptr;
        for (auto& o : odas_)
            if (o.snapshotLd == ld) a = &o;
        if (ld >= drives || !a || (a->flags & wire::kOdaR22Snapback)) return badParameter();
        const size_t limit = second ? std::min<size_t>(maxSnapshots_, 64) : 24;
        size_t ofDrive = static_cast<size_t>(std::count_if(
            snapshots_.begin(), snapshots_.end(), [&](const SnapshotState& s) { return s.logicalDrive == ld; }));
        if (ofDrive >= limit || snapshots_.size() >= 512) return badParameter();
        SnapshotState s;
        s.oda = a->number;
        s.logicalDrive = ld;
        for (uint8_t n = 0;; ++n) {
            if (std::none_of(snapshots_.begin(), snapshots_.end(),
                             [&](const SnapshotState& x) { return x.logicalDrive == ld && x.number == n; })) {
                s.number = n;
                break;
            }
        }
        s.created = clock_.wallSeconds() + controllers_[controllerForPath(cmd.pathIndex)].clockOffset;
        uint32_t order = 0;
        for (const auto& x : snapshots_) order = std::max(order, x.order + 1);
        s.order = order;
        s.lunReference = committed_->hostLun[ld].wlunReferenceNo.get();
        snapshots_.push_back(s);
        a->flags |= wire::kOdaR22ActiveSnapshot;
        return Outcome::good();
    }
    case b::DeleteSnapshot: {
        auto r = recordFrom<wire::DELETE_SNAPSHOT_STRUCT>(p);
        if (!header(r.hdr, 't', 8)) return badParameter();
        const uint16_t ld = r.logicalDrive.get();
        const uint8_t number = r.odaNumber, flags = r.flags;   // the snapshot rides in the ODA byte
        if (second ? (flags != 0 && flags != 2) : flags != 1) return badParameter();
        auto match = [&](const SnapshotState& s) { return s.logicalDrive == ld && (flags == 2 || s.number == number); };
        if (std::none_of(snapshots_.begin(), snapshots_.end(), match)) return badParameter();
        snapshots_.erase(std::remove_if(snapshots_.begin(), snapshots_.end(), match), snapshots_.end());
        return Outcome::good();
    }
    case b::AssignVirtualLunSnap: {
        if (second) return badCdb();
        auto r = recordFrom<wire::ASSIGN_VIRTUAL_LUN_SNAP_STRUCT>(p);
        if (!header(r.hdr, 'u', 10) || r.reserved8[0] || r.reserved8[1]) return badParameter();
        for (auto& s : snapshots_) {
            if (s.logicalDrive != r.logicalDrive.get() || s.number != r.snapshotNumber) continue;
            s.flags = r.flags;
            s.virtualLun = (r.flags & wire::kSnapR22VirtualLunAssigned) ? static_cast<uint16_t>(drives + s.number) : 0xFFFF;
            return Outcome::good();
        }
        return badParameter();
    }
    case b::Snapback: {
        auto r = recordFrom<wire::SNAPBACK_R2_2_STRUCT>(p);
        if (!header(r.hdr, 'w', 8) || (!second && r.option) || r.option > 1) return badParameter();
        const uint16_t ld = r.logicalDrive.get();
        auto s = std::find_if(snapshots_.begin(), snapshots_.end(), [&](const SnapshotState& x) {
            return x.logicalDrive == ld && x.number == r.snapshotNumber;
        });
        OdaState* a = s == snapshots_.end() ? nullptr : findOda(s->oda);
        if (!a || (a->flags & wire::kOdaR22Snapback)) return badParameter();
        a->flags |= wire::kOdaR22Snapback;
        a->percent = 0;
        snapback_ = {true, ld, s->number, a->number, nowMs()};
        return Outcome::good();
    }
    case b::SetupVolumeCopy: {
        auto r = recordFrom<wire::LD_DUPLICATION_SETUP_STRUCT>(p);
        if (r.length != sizeof r || r.reserved3 || (r.c != 1 && r.c != 2) || r.d > 5) return badParameter();
        const uint16_t src = r.a.get(), dst = r.b.get();
        if (src >= drives || dst >= drives || src == dst) return badParameter();
        for (const auto& t : copies_)
            if (t.active && t.state != 6 && t.state != 8 && (t.destination == dst || t.destination == src || t.source == dst))
                return badParameter();
        // A finished task's slot is taken again; at most four.
        auto slot = std::find_if(copies_.begin(), copies_.end(), [&](const VolumeCopy& t) { return t.destination == dst; });
        if (slot == copies_.end()) slot = std::find_if(copies_.begin(), copies_.end(), [](const VolumeCopy& t) { return !t.active; });
        if (slot == copies_.end()) {
            if (copies_.size() >= 4) return badParameter();
            copies_.emplace_back();
            slot = copies_.end() - 1;
        }
        *slot = VolumeCopy{true, r.c, 3, src, dst, r.d, 0, nowMs(), 0};
        return Outcome::good();
    }
    case b::ChangeVolumeCopySettings: {
        auto r = recordFrom<wire::LD_DUPLICATION_CHANGE_SETTINGS_STRUCT>(p);
        if (r.length != sizeof r || r.action < 1 || r.action > 5) return badParameter();
        auto t = std::find_if(copies_.begin(), copies_.end(),
                              [&](const VolumeCopy& c) { return c.active && c.destination == r.lun.get(); });
        if (t == copies_.end()) return badParameter();
        switch (r.action) {
        case 1:
            if (r.value.get() > 5) return badParameter();
            t->priority = static_cast<uint8_t>(r.value.get());
            return Outcome::good();
        case 2:
            if (t->state != 7) return badParameter();
            t->state = 3;
            t->sinceMs = nowMs();
            return Outcome::good();
        case 3:
            if (t->state != 3) return badParameter();
            t->state = 7;
            return Outcome::good();
        case 4:
            if (t->state == 6 || t->state == 8) return badParameter();
            t->state = 8;
            return Outcome::good();
        default:  // copy back of a finished copy
            if (t->state != 6) return badParameter();
            *t = VolumeCopy{true, 2, 3, t->source, t->destination, t->priority, 0, nowMs(), 0};
            return Outcome::good();
        }
    }
    default:
        return badCdb();
    }
}

// Copies run at 2 % a second, then flush their snapshot at 10 % a second.
void FirmwareModel::advanceCopies() {
    const uint64_t now = nowMs();
    for (auto& t : copies_) {
        if (!t.active || (t.state != 3 && t.state != 4)) continue;
        const uint64_t elapsed = now - t.sinceMs;
        if (t.state == 3) {
            const uint64_t percent = t.copied + elapsed / 500;
            if (percent < 100) {
                t.copied = static_cast<uint8_t>(percent);
                t.sinceMs = now - elapsed % 500;
                continue;
            }
            const uint64_t used = (100 - t.copied) * uint64_t{500};
            t.copied = 100;
            t.state = 4;
            t.sinceMs = now - (elapsed - used);
        }
        const uint64_t flushed = (now - t.sinceMs) / 100;
        t.flushed = static_cast<uint8_t>(std::min<uint64_t>(flushed, 100));
        if (flushed >= 100) t.state = 6;
    }
    if (snapback_.active) {
        OdaState* a = findOda(snapback_.oda);
        const uint64_t percent = (now - snapback_.startMs) / 300;   // 30 s
        if (!a) {
            snapback_.active = false;
        } else if (percent >= 100) {
            a->flags &= static_cast<uint8_t>(~wire::kOdaR22Snapback);
            a->percent = 100;
            snapback_.active = false;
            atSnapshot_[snapback_.logicalDrive] = snapback_.snapshot;
        } else {
            a->percent = static_cast<uint8_t>(percent);
        }
    }
}

std::vector<uint8_t> FirmwareModel::volumeCopyReply() const {
    wire::LD_DUPLICATION_STATUS_STRUCT s{};
    s.wSize.set(sizeof s);
    s.bFeatureActivated = wire::kFlagYes;
    s.bNumCopyDuplicationProcessesAllowed = 4;
    for (size_t i = 0; i < copies_.size() && i < 4; ++i) {
        const auto& t = copies_[i];
        auto& r = s.task[i];
        if (!t.active) continue;
        if (t.state == 3 || t.state == 4 || t.state == 7) ++s.bNumActiveDuplicationProcesses;
        r.bActive = wire::kFlagYes;
        r.bDuplicationComplete = t.state == 6 ? wire::kFlagYes : wire::kFlagNo;
        r.bDuplicationType = t.type;
        r.bDuplicationState = t.state;
        r.wDuplicationSourceLun.set(t.source);
        r.wDuplicationDestinationLun.set(t.destination);
        r.bDuplicationOdaNumber = 0xFF;
        r.bDuplicationSnapshotNumber = 0xFF;
        r.bCopyPercentComplete = t.copied;
        r.bSnapshotFlushPercentComplete = t.flushed;
        r.bDuplicationPriority = t.priority;
    }
    return recordBytes(s);
}

nlohmann::json FirmwareModel::describeCopies() {
    advanceCopies();
    nlohmann::json out = nlohmann::json::object();
    nlohmann::json copies = nlohmann::json::array();
    for (const auto& t : copies_)
        if (t.active)
            copies.push_back({{"type", t.type == 2 ? "copyBack" : "volumeCopy"}, {"source", t.source},
                              {"destination", t.destination}, {"state", t.state}, {"percent", t.copied},
                              {"flushPercent", t.flushed}, {"priority", t.priority}});
    out["volumeCopies"] = copies;
    nlohmann::json at = nlohmann::json::object();
    for (const auto& [ld, snap] : atSnapshot_) at[std::to_string(ld)] = snap;
    out["logicalDrivesAtSnapshot"] = at;
    out["snapBack"] = snapback_.active ? nlohmann::json{{"logicalDrive", snapback_.logicalDrive},
                                                         {"snapshot", snapback_.snapshot}}
                                       : nlohmann::json(nullptr);
    return out;
}

}  // namespace sim::model
