// Read-only reports of the overwrite data areas (ODA), their statistics and the
// internal logical drives, for both snapshot firmware generations.
#include <cstring>

#include "commands/config_view.h"
#include "commands/configuration.h"
#include "commands/global.h"
#include "commands/snapshot_tables.h"
#include "lapi/reads.h"
#include "wire/controller.h"
#include "wire/snapshot.h"

namespace {

using commands::clampCount;

template <typename T>
const T& as(const uint8_t* buffer) {
    return commands::tableAs<T>(buffer);
}

void line(const char* label, uint32_t value) {
    Global::append("%s", label);
    Global::format(value);
}

const char* yesNo(bool b) { return b ? "Yes" : "No"; }

}  // namespace

uint32_t commandConfiguration::readGeneration(bool& r2_2) {
    uint8_t* info = m_work.controllerInfo.get();
    uint32_t status = LAPIGetControllerInfoAndDriveFailureInfo(m_index, info);
    if (status != 0) return status;
    r2_2 = (LAPIFeatureFlags(info) & wire::kFeatureR2_2) != 0;
    return 0;
}

uint32_t commandConfiguration::getFeaturedODAInfoStruct() {
    bool r2_2 = false;
    uint32_t status = readGeneration(r2_2);
    if (status != 0) return Global::report(status);
    return r2_2 ? getODAInfoStruct2_2(false) : getODAInfoStruct();
}

uint32_t commandConfiguration::getFeaturedODAStatStruct() {
    bool r2_2 = false;
    uint32_t status = readGeneration(r2_2);
    if (status != 0) return Global::report(status);
    return r2_2 ? getODAStatStructR2_2() : getODAStatStruct();
}

uint32_t commandConfiguration::getInternalLogicalDrives() {
    uint8_t* table = snapshotBuffer(kInternalLds);
    uint32_t status = LAPIGetRAIDConfigurationData(m_index, m_work.config.get());
    if (status == 0) status = LAPIReadInternalLogicalDrives(m_index, table);
    if (status == 0) {
        const auto& t = as<wire::INTERNAL_LOGICAL_DRIVES_INFO_STRUCT>(table);
        Global::append("\n\n*************** INTERNAL LD INFORMATION ***************");
        line("\nNumberOfInternalDrives: ", t.numDrives);
        for (size_t i = 0; i < clampCount(t.numDrives, 256); ++i) {
            line("\nLogicalDriveNumber:     ", t.drive[i].logicalDrive.get());
            line("\nCapacity:               ", t.drive[i].capacity.get());
        }
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getODAInfoStruct() {
    uint8_t* table = snapshotBuffer(kOda);
    uint32_t status = LAPIReadOverWriteDataAreas(m_index, table);
    if (status == 0) {
        const auto& t = as<wire::OVER_WRITE_DATA_AREAS_INFO_STRUCT>(table);
        Global::append("\n\n*************** ODA INFORMATION ***************");
        line("\nNumber Of Existing Overwrite Data Areas:        ", t.numOdas);
        line("\nMaximum Virtual Luns Per Host Lun:               ", t.maxVirtualLunsPerLun);
        for (size_t i = 0; i < clampCount(t.numOdas, 256); ++i) {
            const auto& o = t.oda[i];
            line("\nOdaNumber:                ", o.odaNumber);
            line("\nStatus:                   ", o.status);
            line("\nLogicalDriveNumber:       ", o.internalLd.get());
            line("\nCapacity:                 ", o.capacity.get());
            line("\nProgress:                 ", o.percent);
            Global::append("\n");
        }
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getODAInfoStruct2_2(bool quiet) {
    uint8_t* table = snapshotBuffer(kOdaR2_2);
    uint32_t status = LAPIReadOverWriteDataAreasR2_2(m_index, table);
    if (quiet) return status;
    if (status == 0) {
        const auto& t = as<wire::OVER_WRITE_DATA_AREAS_INFO_R2_2_STRUCT>(table);
        Global::append("\n\n*************** ALL ODA INFORMATION ***************");
        line("\nNumberOfOverwriteDataAreas:                         ", t.numOdas.get());
        line("\nMaximumVirtualLunsPerHostLun:                       ", t.maxVirtualLunsPerLun.get());
        Global::append("\n\n-----------------------\n");
        for (size_t i = 0; i < clampCount(t.numOdas.get(), 512); ++i) {
            const auto& o = t.oda[i];
            line("\nOdaNumber:                   ", o.odaNumber.get());
            line("\nODA initialization progress: ", o.percent);
            Global::append("%%");
            line("\nInternal LD number:          ", o.internalLd.get());
            line("\nSnapshotted LD Number:       ", o.snapshotLd.get());
            line("\nODA Stripe Size:             ", o.stripeBlocks.get() / 2);
            Global::append("kB ");
            line("\nNumber of Snapshots:         ", o.numSnapshots.get());
            line("\nCapacity :                   ", o.capacityGb.get());
            Global::append("GB");
            line("\nNumber of storage stripes:   ", o.stripes.get());
            line("\nStorage stripes in use:      ", o.stripesInUse.get());
            Global::append("\n\n");
        }
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getODAStatStruct() {
    uint8_t* table = snapshotBuffer(kOdaStats);
    uint32_t status = LAPIReadOverWriteDataAreaStats(m_index, table);
    if (status == 0) {
        const auto& t = as<wire::OVER_WRITE_DATA_AREA_STATS_INFO_STRUCT>(table);
        Global::append("\n\n*************** ODA STATISTICS ***************");
        Global::append("\nNumberOfOverwriteDataAreas : %#x", t.numRecords);
        for (size_t i = 0; i < clampCount(t.numRecords, 8); ++i) {
            const auto& r = t.record[i];
            line("\n  \tOdaNumber:   ", r.odaNumber);
            line("\n   \tStatus:      ", r.status);
            line("\n   \tStripesSize: ", r.stripeSize.get());
            line("\n   \tStripesOda:  ", r.stripes.get());
            line("\n   \tSnapshotLd:  ", r.snapshotLd.get());
            line("\n   \tSnapshots:   ", r.numSnapshots.get());
            for (size_t s = 0; s < clampCount(r.numSnapshots.get(), 24); ++s)
                line("\n\t\tdStripes: ", r.stripesUsed[s].get());
        }
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getODAStatStructR2_2() {
    uint8_t* odas = snapshotBuffer(kOdaR2_2);
    uint8_t* snaps = snapshotBuffer(kSnapshotsR2_2);
    uint32_t status = readConfiguration();
    if (status == 0) status = LAPIReadOverWriteDataAreasR2_2(m_index, odas);
    if (status != 0) return Global::report(status);
    const auto& t = as<wire::OVER_WRITE_DATA_AREAS_INFO_R2_2_STRUCT>(odas);
    for (size_t i = 0; i < clampCount(t.numOdas.get(), 512); ++i) {
        const auto& o = t.oda[i];
        line("\nOdaNumber: ", o.odaNumber.get());
        Global::append("\nOdaStatus:");
        Global::append("\n    Snapshot invalid: %s", yesNo(o.flags & wire::kOdaR22SnapshotInvalid));
        Global::append("\n    Active snapshot: %s", yesNo(o.flags & wire::kOdaR22ActiveSnapshot));
        Global::append("\n    Host Lun: %s", (o.flags & wire::kOdaR22Assigned) ? "Assigned" : "Not Assigned");
        Global::append("\n    ODA Overrun Error: %s", yesNo(o.flags & wire::kOdaR22Overrun));
        line("\nODA initialization progress: ", o.percent);
        Global::append("%%");
        line("\nSnapshotted LD Number: ", o.snapshotLd.get());
        line("\nODA Stripe Size: ", o.stripeBlocks.get() / 2);
        Global::append("kB");
        line("\nCapacity : ", o.capacityGb.get());
        Global::append("GB");
        line("\nNumber of storage stripes: ", o.stripes.get());
        line("\nStorage stripes in use: ", o.stripesInUse.get());
        line("\nNumber of Snapshots: ", o.numSnapshots.get());
        Global::append("\n");
        if (o.numSnapshots.get() == 0) continue;
        status = LAPIReadSnapshotDataR2_2(m_index, snaps);
        if (status != 0) return Global::report(status);
        const auto& all = as<wire::SNAPSHOT_ALL_INFO_R2_2_STRUCT>(snaps);
        for (size_t j = 0; j < clampCount(o.numSnapshots.get(), 512); ++j) {
            const auto& s = all.snapshot[j];
            uint32_t total = s.totalStripeRefs.get();
            uint32_t write = s.writeStripeRefs.get();
            uint32_t protections = s.stripeProtections.get();
            line("\n  Snapshot Number: ", static_cast<uint32_t>(j));
            line("\n  Total stripe references: ", total);
            line("\n  Write stripe references: ", write);
            line("\n  Stripe protections: ", protections);
            line("\n  Snapshotted LD stripes protected by original and write: ", total - protections);
            line("\n  Snapshotted LD stripes protected by original: ", total - (write - protections));
            Global::append("\n");
        }
    }
    return Global::report(0);
}
