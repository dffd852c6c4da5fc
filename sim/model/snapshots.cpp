// Snapshot, overwrite data area and internal logical drive tables of both
// firmware generations, served from the state a scenario describes:
//   "snapshotState": {
//     "maxOdas", "maxSnapshots", "maxVirtualLuns",
//     "internalDrives": [{logicalDrive, capacity}],
//     "odas": [{number, flags, percent, internalLd, snapshotLd, stripeKb, capacityGb, stripes, stripesInUse}],
//     "snapshots": [{oda, number, flags, logicalDrive, virtualLun, lunReference, stripesUsed, created, order}]
//   }
// "created" is seconds since the Unix epoch (UTC).
#include <algorithm>
#include <ctime>
#include <stdexcept>

#include "model/firmware_model.h"
#include "model/model_util.h"
#include "wire/snapshot.h"
#include "wire/vendor_ops.h"

namespace sim::model {

using nlohmann::json;

void FirmwareModel::loadSnapshots(const ScenarioObject& sys) {
    internalDrives_.clear();
    odas_.clear();
    snapshots_.clear();
    auto s = sys.object("snapshotState");
    if (!s) return;
    auto u16 = [](int64_t v) { return static_cast<uint16_t>(v); };
    auto u32 = [](int64_t v) { return static_cast<uint32_t>(v); };
    maxOdas_ = u16(s->integer("maxOdas", 0, 512, 8));
    maxSnapshots_ = u16(s->integer("maxSnapshots", 0, 512, 24));
    maxVirtualLuns_ = u16(s->integer("maxVirtualLuns", 0, 255, 4));
    for (const ScenarioObject& o : s->objects("internalDrives", 256))
        internalDrives_.push_back({u16(o.integer("logicalDrive", 0, 0xFFFF, 0)), u16(o.integer("capacity", 0, 0xFFFF, 0))});
    for (const ScenarioObject& o : s->objects("odas", 256)) {
        OdaState a;
        a.number = u16(o.integer("number", 0, 0xFFFF, static_cast<int64_t>(odas_.size())));
        a.flags = static_cast<uint8_t>(o.integer("flags", 0, 255, 1));
        a.percent = static_cast<uint8_t>(o.integer("percent", 0, 100, 100));
        a.internalLd = u16(o.integer("internalLd", 0, 0xFFFF, 0));
        a.snapshotLd = u16(o.integer("snapshotLd", 0, 0xFFFF, 0xFFFF));
        a.stripeBlocks = u16(2 * o.integer("stripeKb", 0, 32767, 64));
        a.capacityGb = u16(o.integer("capacityGb", 0, 0xFFFF, 0));
        a.stripes = u32(o.integer("stripes", 0, 0xFFFFFFFF, 0));
        a.stripesInUse = u32(o.integer("stripesInUse", 0, 0xFFFFFFFF, 0));
        odas_.push_back(a);
    }
    for (const ScenarioObject& o : s->objects("snapshots", 512)) {
        SnapshotState p;
        p.oda = u16(o.integer("oda", 0, 0xFFFF, 0));
        p.number = static_cast<uint8_t>(o.integer("number", 0, 255, 0));
        p.flags = static_cast<uint8_t>(o.integer("flags", 0, 255, 0));
        p.logicalDrive = u16(o.integer("logicalDrive", 0, 0xFFFF, 0));
        p.virtualLun = u16(o.integer("virtualLun", 0, 0xFFFF, 0xFFFF));
        p.lunReference = u16(o.integer("lunReference", 0, 0xFFFF, 0));
        p.stripesUsed = u32(o.integer("stripesUsed", 0, 0xFFFFFFFF, 0));
        p.created = o.integer("created", 0, int64_t{1} << 40, 1767225600);
        p.order = u32(o.integer("order", 0, 0xFFFFFFFF, static_cast<int64_t>(snapshots_.size())));
        snapshots_.push_back(p);
    }
}

json FirmwareModel::saveSnapshots() const {
    json s = {{"maxOdas", maxOdas_}, {"maxSnapshots", maxSnapshots_}, {"maxVirtualLuns", maxVirtualLuns_}};
    json d = json::array(), a = json::array(), p = json::array();
    for (const auto& x : internalDrives_) d.push_back({{"logicalDrive", x.logicalDrive}, {"capacity", x.capacity}});
    for (const auto& x : odas_)
        a.push_back({{"number", x.number}, {"flags", x.flags}, {"percent", x.percent}, {"internalLd", x.internalLd},
                     {"snapshotLd", x.snapshotLd}, {"stripeKb", x.stripeBlocks / 2}, {"capacityGb", x.capacityGb},
                     {"stripes", x.stripes}, {"stripesInUse", x.stripesInUse}});
    for (const auto& x : snapshots_)
        p.push_back({{"oda", x.oda}, {"number", x.number}, {"flags", x.flags}, {"logicalDrive", x.logicalDrive},
                     {"virtualLun", x.virtualLun}, {"lunReference", x.lunReference}, {"stripesUsed", x.stripesUsed},
                     {"created", x.created}, {"order", x.order}});
    s["internalDrives"] = d;
    s["odas"] = a;
    s["snapshots"] = p;
    return s;
}

const std::vector<FirmwareModel::ReadEntry>& FirmwareModel::snapshotReads() {
    namespace b = wire::buf;
    using R = const VendorRead&;
    auto plain = [](FirmwareModel& m, R r, std::vector<uint8_t>& out) {
        if (r.mode != wire::kModeVendor || r.b3 || r.b4 || r.b5) return Outcome::invalidFieldInCdb();
        out = m.snapshotReply(r.cmd.cdb[2], 0);
        return Outcome::good();
    };
    static const std::vector<ReadEntry> table = {
        {b::ReadInternalLogicalDrives, false, plain},
        {b::ReadOverWriteDataAreas, false, plain},
        {b::ReadOverWriteDataAreaStats, false, plain},
        {b::ReadOverWriteDataAreas_R2_2, false, plain},
        {b::ReadSnapshotData_R2_2, false, plain},
        {b::ReadSnapshotData, false, [](FirmwareModel& m, R r, std::vector<uint8_t>& out) {
             if (r.mode != wire::kModeVendor || r.b3) return Outcome::invalidFieldInCdb();
             out = m.snapshotReply(r.cmd.cdb[2], static_cast<uint16_t>((r.b4 << 8) | r.b5));
             return Outcome::good();
         }},
        {b::GetVolumeCopyStatus, true, [](FirmwareModel& m, R r, std::vector<uint8_t>& out) {
             if (r.mode != wire::kModeData) return Outcome::invalidFieldInCdb();
             out = m.volumeCopyReply();
             return Outcome::good();
         }},
    };
    return table;
}

std::vector<uint8_t> FirmwareModel::snapshotReply(uint8_t id, uint16_t selector) const {
    namespace b = wire::buf;
    switch (id) {
    case b::ReadInternalLogicalDrives: {
        wire::INTERNAL_LOGICAL_DRIVES_INFO_STRUCT t{};
        t.length.set(sizeof t);
        t.numDrives = static_cast<uint8_t>(internalDrives_.size());
        for (size_t i = 0; i < internalDrives_.size(); ++i) {
            t.drive[i].logicalDrive.set(internalDrives_[i].logicalDrive);
            t.drive[i].capacity.set(internalDrives_[i].capacity);
        }
        return recordBytes(t);
    }
    case b::ReadOverWriteDataAreas: {
        wire::OVER_WRITE_DATA_AREAS_INFO_STRUCT t{};
        t.length.set(sizeof t);
        t.numOdas = static_cast<uint8_t>(odas_.size());
        t.maxOdas = static_cast<uint8_t>(std::min<uint16_t>(maxOdas_, 255));
        t.maxSnapshots = static_cast<uint8_t>(std::min<uint16_t>(maxSnapshots_, 255));
        t.maxVirtualLunsPerLun = static_cast<uint8_t>(maxVirtualLuns_);
        for (size_t i = 0; i < odas_.size(); ++i) {
            auto& r = t.oda[i];
            r.odaNumber = static_cast<uint8_t>(odas_[i].number);
            r.status = odas_[i].flags & (wire::kOdaFormatted | wire::kOdaSnapbackInProgress);
            r.internalLd.set(odas_[i].internalLd);
            r.capacity.set(odas_[i].capacityGb);
            r.percent = odas_[i].percent;
        }
        return recordBytes(t);
    }
    case b::ReadOverWriteDataAreaStats: {
        wire::OVER_WRITE_DATA_AREA_STATS_INFO_STRUCT t{};
        t.length.set(sizeof t);
        const size_t n = std::min<size_t>(odas_.size(), 8);
        t.numRecords = static_cast<uint8_t>(n);
        for (size_t i = 0; i < n; ++i) {
            auto& r = t.record[i];
            r.odaNumber = static_cast<uint8_t>(odas_[i].number);
            r.status = odas_[i].flags;
            r.stripeSize.set(odas_[i].stripeBlocks);
            r.stripes.set(odas_[i].stripes);
            r.snapshotLd.set(odas_[i].snapshotLd);
            unsigned k = 0;
            for (const auto& p : snapshots_)
                if (p.oda == odas_[i].number && k < 24) r.stripesUsed[k++].set(p.stripesUsed);
            r.numSnapshots.set(static_cast<uint16_t>(k));
        }
        return recordBytes(t);
    }
    case b::ReadSnapshotData: {
        wire::SNAPSHOT_ALL_INFO_STRUCT t{};
        t.length.set(sizeof t);
        t.logicalDrive.set(selector);
        unsigned k = 0;
        for (const auto& p : snapshots_) {
            if (p.logicalDrive != selector || k >= 24) continue;
            auto& r = t.snapshot[k++];
            r.snapshotNumber = p.number;
            r.bOdaNumber = static_cast<uint8_t>(p.oda);
            r.bVirtualLunFlags = p.flags;
            r.wVirtualLun.set(p.virtualLun);
            r.wLunReferenceNo.set(p.lunReference);
        }
        t.numSnapshots = static_cast<uint8_t>(k);
        return recordBytes(t);
    }
    case b::ReadOverWriteDataAreas_R2_2: {
        auto t = std::make_unique<wire::OVER_WRITE_DATA_AREAS_INFO_R2_2_STRUCT>();
        t->length.set(sizeof *t);
        t->numOdas.set(static_cast<uint16_t>(odas_.size()));
        t->maxOdas.set(maxOdas_);
        t->maxSnapshots.set(maxSnapshots_);
        t->maxVirtualLunsPerLun.set(maxVirtualLuns_);
        for (size_t i = 0; i < odas_.size(); ++i) {
            const auto& a = odas_[i];
            auto& r = t->oda[i];
            r.odaNumber.set(a.number);
            r.flags = a.flags;
            r.percent = a.percent;
            r.internalLd.set(a.internalLd);
            r.snapshotLd.set(a.snapshotLd);
            r.stripeBlocks.set(a.stripeBlocks);
            r.numSnapshots.set(static_cast<uint16_t>(
                std::count_if(snapshots_.begin(), snapshots_.end(), [&](const SnapshotState& p) { return p.oda == a.number; })));
            r.capacityGb.set(a.capacityGb);
            r.stripes.set(a.stripes);
            r.stripesInUse.set(a.stripesInUse);
        }
        return recordBytes(*t);
    }
    case b::ReadSnapshotData_R2_2: {
        auto t = std::make_unique<wire::SNAPSHOT_ALL_INFO_R2_2_STRUCT>();
        t->length.set(sizeof *t);
        t->numSnapshots.set(static_cast<uint16_t>(snapshots_.size()));
        for (size_t i = 0; i < snapshots_.size(); ++i) {
            const auto& p = snapshots_[i];
            auto& r = t->snapshot[i];
            r.odaNumber.set(p.oda);
            r.snapshotNumber = p.number;
            r.flags = p.flags;
            r.snapshotLd.set(p.logicalDrive);
            r.virtualLun.set(p.virtualLun);
            for (const auto& a : odas_)
                if (a.number == p.oda) r.stripeBlocks.set(a.stripeBlocks);
            r.totalStripeRefs.set(p.stripesUsed);
            r.writeStripeRefs.set(p.stripesUsed / 2);
            r.stripeProtections.set(p.stripesUsed);
            r.created = clockRecordAt(p.created);
            r.creationOrder.set(p.order);
        }
        return recordBytes(*t);
    }
    default:
        return {};
    }
}

}  // namespace sim::model
