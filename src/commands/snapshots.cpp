// Overwrite data areas (ODA), snapshots, snap back and virtual LUNs of both
// snapshot firmware generations: the checks, the requests and the reports.
#include <cstring>
#include <utility>

#include "commands/config_view.h"
#include "commands/configuration.h"
#include "commands/global.h"
#include "commands/snapshot_tables.h"
#include "lapi/reads.h"
#include "lapi/snapshot_writes.h"
#include "wire/snapshot.h"

using commands::clampCount;
using commands::ConfigView;
using commands::tableAs;

namespace {

void line(const char* label, uint32_t value) {
    Global::append("%s", label);
    Global::format(value);
}

const char* yesNo(bool b) { return b ? "Yes" : "No"; }

bool validOdaSize(uint32_t size) { return size == 64 || size == 128 || size == 256 || size == 512 || size == 1024; }

}  // namespace

uint32_t commandConfiguration::totalLogicalDrives() const {
    return ConfigView(m_work.config.get()).totalLogicalDrives();
}

uint32_t commandConfiguration::readFreshConfiguration() {
    std::memset(m_work.config.get(), 0, kConfigSize);
    return readConfiguration();
}

uint32_t commandConfiguration::readDriveGeneration(uint32_t ld, bool& r2_2) {
    uint32_t status = readConfiguration();
    if (status == 0 && ld >= totalLogicalDrives()) status = CMD_ERR_INVALID_LUN_INDEX;
    if (status == 0) status = readGeneration(r2_2);
    return status;
}

// -- overwrite data areas --

uint32_t commandConfiguration::checkOdaRequest(uint32_t ld, uint32_t size) {
    uint32_t status = readFreshConfiguration();
    if (status != 0) return status;
    if (ld >= totalLogicalDrives()) return CMD_ERR_INVALID_LUN_INDEX;
    return validOdaSize(size) ? 0 : CMD_ERR_INVALID_STRIPE_SIZE;
}

uint32_t commandConfiguration::createFeaturedODA(uint32_t ld, uint32_t size) {
    uint32_t status = checkOdaRequest(ld, size);
    bool r2_2 = false;
    if (status == 0) status = readGeneration(r2_2);
    if (status != 0) return Global::report(status);
    return r2_2 ? createODAR2_2(ld, size) : createODA(ld, size);
}

uint32_t commandConfiguration::createFeaturedODA(const std::string& name, uint32_t size) {
    return byName(name, [&](uint32_t ld) { return createFeaturedODA(ld, size); });
}

uint32_t commandConfiguration::createODA(uint32_t ld, uint32_t size) {
    uint8_t* table = snapshotBuffer(kOda);
    uint32_t status = checkOdaRequest(ld, size);
    if (status == 0) status = LAPIReadOverWriteDataAreas(m_index, table);
    if (status != 0) return Global::report(status);
    CREATE_ODA_REQUEST request{};
    request.oda = tableAs<wire::OVER_WRITE_DATA_AREAS_INFO_STRUCT>(table).numOdas;
    request.logicalDrive = static_cast<uint16_t>(ld);
    request.stripeSize = static_cast<uint16_t>(size * 2);
    request.info = informationSet();
    status = LAPICreateODA(m_index, &request);
    if (status == 0) status = LAPIReadOverWriteDataAreas(m_index, table);
    if (status == 0) {
        const auto& t = tableAs<wire::OVER_WRITE_DATA_AREAS_INFO_STRUCT>(table);
        size_t n = clampCount(t.numOdas, 256);
        line("ODA: ", n == 0 ? 0 : t.oda[n - 1].odaNumber);
    }
    return Global::report(status);
}

uint32_t commandConfiguration::createODAR2_2(uint32_t ld, uint32_t size) {
    uint8_t* table = snapshotBuffer(kOdaR2_2);
    uint32_t status = checkOdaRequest(ld, size);
    if (status == 0) status = LAPIReadOverWriteDataAreasR2_2(m_index, table);
    if (status != 0) return Global::report(status);
    CREATE_ODA_REQUEST request{};
    request.oda = tableAs<wire::OVER_WRITE_DATA_AREAS_INFO_R2_2_STRUCT>(table).numOdas.get();
    request.logicalDrive = static_cast<uint16_t>(ld);
    request.stripeSize = static_cast<uint16_t>(size * 2);
    request.info = informationSet();
    status = LAPICreateODAR2_2(m_index, &request);
    if (status == 0) status = LAPIReadOverWriteDataAreasR2_2(m_index, table);
    if (status == 0) {
        const auto& t = tableAs<wire::OVER_WRITE_DATA_AREAS_INFO_R2_2_STRUCT>(table);
        size_t n = clampCount(t.numOdas.get(), 512);
        line("ODA: ", n == 0 ? 0 : t.oda[n - 1].odaNumber.get());
    }
    return Global::report(status);
}

// The number of ODAs of the generation's table, read into its buffer.
uint32_t commandConfiguration::readOdaCount(bool r2_2, uint32_t& count) {
    if (r2_2) {
        uint32_t status = LAPIReadOverWriteDataAreasR2_2(m_index, snapshotBuffer(kOdaR2_2));
        if (status == 0) count = tableAs<wire::OVER_WRITE_DATA_AREAS_INFO_R2_2_STRUCT>(snapshotBuffer(kOdaR2_2)).numOdas.get();
        return status;
    }
    uint32_t status = LAPIReadOverWriteDataAreas(m_index, snapshotBuffer(kOda));
    if (status == 0) count = tableAs<wire::OVER_WRITE_DATA_AREAS_INFO_STRUCT>(snapshotBuffer(kOda)).numOdas;
    return status;
}

uint32_t commandConfiguration::releaseODA(uint32_t oda) {
    bool r2_2 = false;
    uint32_t count = 0;
    uint32_t status = readConfiguration();
    if (status == 0) status = readGeneration(r2_2);
    if (status == 0) status = readOdaCount(r2_2, count);
    if (status == 0 && oda >= count) status = CMD_ERR_INVALID_ODA_INDEX;
    if (status != 0) return Global::report(status);
    RELEASE_ODA_REQUEST request{};
    request.oda = oda;
    request.info = informationSet();
    status = r2_2 ? LAPIReleaseODAR2_2(m_index, &request) : LAPIReleaseODA(m_index, &request);
    if (status == 0) line("Released ODA: ", oda);
    return Global::report(status);
}

// The ODA whose internal logical drive carries `name`: only the R2_2 table
// tells; 2035 when there is none.
uint32_t commandConfiguration::findOdaByDriveName(const std::string& name, uint32_t& oda) {
    uint32_t ld = 0;
    if (getLogicalDiskId(name, ld) != 0) return CMD_ERR_INVALID_ODA_LD_NAME;
    bool r2_2 = false;
    uint32_t status = readGeneration(r2_2);
    if (status != 0) return status;
    if (!r2_2 || getODAInfoStruct2_2(true) != 0) return CMD_ERR_INVALID_ODA_LD_NAME;
    const auto& t = tableAs<wire::OVER_WRITE_DATA_AREAS_INFO_R2_2_STRUCT>(snapshotBuffer(kOdaR2_2));
    for (size_t i = 0; i < clampCount(t.numOdas.get(), 512); ++i) {
        if (t.oda[i].internalLd.get() != ld) continue;
        oda = t.oda[i].odaNumber.get();
        return 0;
    }
    return CMD_ERR_INVALID_ODA_LD_NAME;
}

uint32_t commandConfiguration::releaseODA(const std::string& name) {
    uint32_t oda = 0;
    uint32_t status = findOdaByDriveName(name, oda);
    if (status != 0) return Global::report(status);
    return releaseODA(oda);
}

uint32_t commandConfiguration::assignODA(uint32_t oda, uint32_t ld, uint32_t mode) {
    bool r2_2 = false;
    uint32_t count = 0;
    uint32_t status = readConfiguration();
    if (status == 0 && ld >= totalLogicalDrives()) status = CMD_ERR_INVALID_LUN_INDEX;
    if (status == 0 && mode != 2 && mode != 0) status = CMD_ERR_INVALID_SELECTION;
    if (status == 0) status = readGeneration(r2_2);
    if (status == 0) status = readOdaCount(r2_2, count);
    if (status == 0 && oda >= count) status = CMD_ERR_INVALID_ODA_INDEX;
    if (status != 0) return Global::report(status);
    ASSIGN_ODA_REQUEST request{};
    request.oda = static_cast<uint16_t>(oda);
    request.logicalDrive = static_cast<uint16_t>(ld);
    request.mode = static_cast<uint8_t>(mode);
    request.info = informationSet();
    status = r2_2 ? LAPIAssignODAR2_2(m_index, &request) : LAPIAssignODA(m_index, &request);
    if (status == 0) {
        line(mode == 2 ? "Assigned ODA " : "Unassigned ODA ", oda);
        line(" for LD :", ld);
    }
    return Global::report(status);
}

uint32_t commandConfiguration::assignODA(const std::string& odaDrive, const std::string* ldName, uint32_t mode) {
    uint32_t oda = 0, ld = 0;
    uint32_t status = findOdaByDriveName(odaDrive, oda);
    if (status == 0 && ldName != nullptr) status = getLogicalDiskId(*ldName, ld);
    if (status != 0) return Global::report(status);
    return assignODA(oda, ld, mode);
}

uint32_t commandConfiguration::getLDIndexforInternalLun(uint32_t n) {
    uint8_t* table = snapshotBuffer(kInternalLds);
    uint32_t status = LAPIReadInternalLogicalDrives(m_index, table);
    if (status != 0) return Global::report(status);
    const auto& t = tableAs<wire::INTERNAL_LOGICAL_DRIVES_INFO_STRUCT>(table);
    const size_t count = clampCount(t.numDrives, 256);
    if (n >= count) {
        Global::append("Error: Invalid internallun index, valid range 0 - %d", static_cast<int>(count) - 1);
        return Global::report(CMD_ERR_INVALID_LUN_INDEX);
    }
    line("Logical Drive for InternalLun[", n);
    line("]:", t.drive[n].logicalDrive.get());
    return Global::report(0);
}

uint32_t commandConfiguration::getFeaturedInternalLDAssignedFlag(uint32_t ld) {
    bool r2_2 = false;
    uint32_t status = readGeneration(r2_2);
    if (status == 0 && ld > 255) status = CMD_ERR_INVALID_LUN_INDEX;
    uint32_t count = 0;
    if (status == 0) status = readOdaCount(r2_2, count);
    if (status != 0) return Global::report(status);
    bool found = false;
    for (size_t i = 0; i < clampCount(count, r2_2 ? 512 : 256); ++i) {
        uint16_t internal =
            r2_2 ? tableAs<wire::OVER_WRITE_DATA_AREAS_INFO_R2_2_STRUCT>(snapshotBuffer(kOdaR2_2)).oda[i].internalLd.get()
                 : tableAs<wire::OVER_WRITE_DATA_AREAS_INFO_STRUCT>(snapshotBuffer(kOda)).oda[i].internalLd.get();
        if (internal != ld) continue;
        line("Created ODA on this internal drive :", static_cast<uint32_t>(i));
        found = true;
    }
    if (!found) {
        Global::append("ODA is not yet created on this internal drive\n");
        if (r2_2) status = CMD_ERR_INVALID_LUN_INDEX;
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getFeaturedLDAssignedFlag(uint32_t ld) {
    bool r2_2 = false;
    uint32_t status = readDriveGeneration(ld, r2_2);
    if (status == 0 && r2_2 && ld > 511) status = CMD_ERR_INVALID_LUN_INDEX;
    if (status != 0) return Global::report(status);
    bool found = false;
    if (r2_2) {
        uint32_t count = 0;
        status = readOdaCount(true, count);
        if (status != 0) return Global::report(status);
        const auto& t = tableAs<wire::OVER_WRITE_DATA_AREAS_INFO_R2_2_STRUCT>(snapshotBuffer(kOdaR2_2));
        for (size_t i = 0; i < clampCount(count, 512); ++i) {
            if (t.oda[i].snapshotLd.get() != ld) continue;
            line("LD already assigned to ODA :", t.oda[i].odaNumber.get());
            found = true;
        }
    } else {
        status = LAPIReadOverWriteDataAreaStats(m_index, snapshotBuffer(kOdaStats));
        if (status != 0) return Global::report(status);
        const auto& t = tableAs<wire::OVER_WRITE_DATA_AREA_STATS_INFO_STRUCT>(snapshotBuffer(kOdaStats));
        for (size_t i = 0; i < clampCount(t.numRecords, 8); ++i) {
            if (t.record[i].snapshotLd.get() != ld) continue;
            line("LD already assigned to ODA :", t.record[i].odaNumber);
            found = true;
        }
    }
    if (!found) {
        Global::append("LD is not yet assigned: 0xFFFF\n");
        status = r2_2 ? CMD_ERR_INVALID_LUN_INDEX : CMD_ERR_SNAPSHOT_REQUEST;
    }
    return Global::report(status);
}

// -- snapshots --

uint32_t commandConfiguration::takeSnapshot(uint32_t ld, uint32_t flag) {
    bool r2_2 = false;
    uint32_t status = readDriveGeneration(ld, r2_2);
    if (status != 0) return Global::report(status);
    TAKE_SNAPSHOT_REQUEST request{};
    request.logicalDrive = static_cast<uint16_t>(ld);
    request.info = informationSet();
    uint32_t number = 0;
    if (r2_2) {
        status = LAPITakeSnapshotR22(m_index, &request);
        if (status == 0) status = LAPIReadSnapshotDataR2_2(m_index, snapshotBuffer(kSnapshotsR2_2));
        if (status == 0) {
            const auto& t = tableAs<wire::SNAPSHOT_ALL_INFO_R2_2_STRUCT>(snapshotBuffer(kSnapshotsR2_2));
            size_t n = clampCount(t.numSnapshots.get(), 512);
            if (n != 0) number = t.snapshot[n - 1].snapshotNumber;
        }
    } else {
        status = LAPITakeSnapshot(m_index, &request);
        if (status == 0) status = LAPIReadSnapshotData(m_index, static_cast<uint16_t>(ld), snapshotBuffer(kSnapshots));
        if (status == 0) {
            const auto& t = tableAs<wire::SNAPSHOT_ALL_INFO_STRUCT>(snapshotBuffer(kSnapshots));
            size_t n = clampCount(t.numSnapshots, 24);
            if (n != 0) number = t.snapshot[n - 1].snapshotNumber;
        }
    }
    if (status != 0) return Global::report(status);
    if (flag == 0) {
        line("Snapshot No : ", number);
        Global::append("\n");
        return Global::report(0);
    }
    status = deleteSnapshot(number, ld, 0);
    if (status != 0) Global::append("Error: Snapshot 0x%x created, but could not delete.  Error 0x%x", number, status);
    return Global::report(status);
}

uint32_t commandConfiguration::takeSnapshot(const std::string& name, uint32_t flag) {
    return byName(name, [&](uint32_t ld) { return takeSnapshot(ld, flag); });
}

uint32_t commandConfiguration::deleteSnapshot(uint32_t snapshot, uint32_t ld, uint32_t all) {
    bool r2_2 = false;
    uint32_t status = readConfiguration();
    if (status == 0 && all != 0 && all != 1) status = CMD_ERR_INVALID_SELECTION;
    if (status == 0) status = readGeneration(r2_2);
    if (status == 0 && ld > (r2_2 ? 512u : 8u)) status = CMD_ERR_INVALID_LUN_INDEX;
    if (status == 0 && snapshot > (r2_2 ? 64u : 24u)) status = CMD_ERR_SNAPSHOT_REQUEST;
    if (status != 0) return Global::report(status);
    DELETE_SNAPSHOT_REQUEST request{};
    request.snapshot = static_cast<uint8_t>(snapshot);
    request.logicalDrive = static_cast<uint16_t>(ld);
    request.flags = r2_2 ? (all == 1 ? 2 : 0) : 1;
    request.info = informationSet();
    status = r2_2 ? LAPIDeleteSnapshotR22(m_index, &request) : LAPIDeleteSnapshot(m_index, &request);
    if (status == 0) {
        if (r2_2 && all == 1) {
            line("Deleted All Snapshots taken on: ", ld);
        } else {
            line("Deleted SnapshotNo: ", snapshot);
            line(" taken on LD ", ld);
        }
    }
    return Global::report(status);
}

uint32_t commandConfiguration::assignVirtualLunSnap(uint32_t snapshot, uint32_t ld, uint32_t flag) {
    bool r2_2 = false;
    uint32_t status = readConfiguration();
    if (status == 0) status = readGeneration(r2_2);
    if (status == 0 && r2_2) status = CMD_ERR_SNAPSHOT_REQUEST;
    if (status == 0 && (snapshot > 7 || ld > 255)) status = CMD_ERR_INVALID_LUN_INDEX;
    if (status != 0) return Global::report(status);
    ASSIGN_VIRTUAL_LUN_REQUEST request{};
    request.snapshot = static_cast<uint8_t>(snapshot);
    request.logicalDrive = static_cast<uint16_t>(ld);
    request.flags = static_cast<uint8_t>(flag);
    request.info = informationSet();
    return Global::report(LAPIAssignVirtualLunSnap(m_index, &request));
}

uint32_t commandConfiguration::snapBack(uint32_t ld, uint32_t snapshot, uint32_t flag) {
    constexpr const char* kFailedLine = "Snapback (success-0, failure-1) :1\n";
    bool r2_2 = false;
    uint32_t status = readConfiguration();
    if (status == 0 && flag != 0 && flag != 1) {
        Global::append("\nError: Invalid Snap back flag");
        status = CMD_ERR_INVALID_SELECTION;
    }
    if (status == 0) status = readGeneration(r2_2);
    if (status != 0) return Global::report(status);
    if (ld > 256 || snapshot > (r2_2 ? 64u : 24u)) {
        Global::append("%s", kFailedLine);
        return Global::report(CMD_ERR_SNAPSHOT_REQUEST);
    }
    SNAPBACK_REQUEST request{};
    request.logicalDrive = static_cast<uint16_t>(ld);
    request.snapshot = static_cast<uint8_t>(snapshot);
    request.option = static_cast<uint8_t>(flag);
    request.info = informationSet();
    if (r2_2) {
        status = LAPISnapbackR2_2(m_index, &request);
    } else if (LAPISnapback(m_index, &request) != 0) {
        Global::append("%s", kFailedLine);
        return Global::report(CMD_ERR_SNAPSHOT_REQUEST);
    }
    if (status == 0) Global::append("Snapback (success-0, failure-1) :0\n");
    return Global::report(status);
}

uint32_t commandConfiguration::getNumSnapshotLD(uint32_t ld) {
    bool r2_2 = false;
    uint32_t status = readDriveGeneration(ld, r2_2);
    uint32_t count = 0;
    if (status == 0 && r2_2) {
        status = LAPIReadSnapshotDataR2_2(m_index, snapshotBuffer(kSnapshotsR2_2));
        const auto& t = tableAs<wire::SNAPSHOT_ALL_INFO_R2_2_STRUCT>(snapshotBuffer(kSnapshotsR2_2));
        for (size_t i = 0; status == 0 && i < clampCount(t.numSnapshots.get(), 512); ++i)
            if (t.snapshot[i].snapshotLd.get() == ld) ++count;
    } else if (status == 0) {
        status = LAPIReadSnapshotData(m_index, static_cast<uint16_t>(ld), snapshotBuffer(kSnapshots));
        if (status == 0) count = tableAs<wire::SNAPSHOT_ALL_INFO_STRUCT>(snapshotBuffer(kSnapshots)).numSnapshots;
    }
    if (status == 0) {
        line("Number of snapshots for LD[", ld);
        line("]:", count);
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getFeaturedSnapshotData(uint32_t ld) {
    bool r2_2 = false;
    uint32_t status = readConfiguration();
    if (status == 0) status = readGeneration(r2_2);
    if (status == 0 && !r2_2 && ld > 8) status = CMD_ERR_INVALID_LUN_INDEX;
    if (status != 0) return Global::report(status);
    return r2_2 ? getSnapshotData2_2() : getSnapshotData(ld);
}

// Every logical drive's snapshot table is read in turn and printed.
uint32_t commandConfiguration::getSnapshotData(uint32_t ld) {
    uint32_t status = readConfiguration();
    if (status == 0 && ld > totalLogicalDrives()) status = CMD_ERR_INVALID_LUN_INDEX;
    if (status != 0) return Global::report(status);
    const size_t drives = ConfigView(m_work.config.get()).logicalDriveCount();
    if (drives == 0) Global::append("\nNumber of LD`s: 0\n");
    uint8_t* buffer = snapshotBuffer(kSnapshots);
    for (size_t d = 0; d < drives; ++d) {
        status = LAPIReadSnapshotData(m_index, static_cast<uint16_t>(d), buffer);
        if (status != 0) return Global::report(status);
        const auto& t = tableAs<wire::SNAPSHOT_ALL_INFO_STRUCT>(buffer);
        const size_t n = clampCount(t.numSnapshots, 24);
        if (n == 0) {
            line("\nNumber of snapshot for LD ", t.logicalDrive.get());
            Global::append(": 0\n");
            continue;
        }
        line("\nLogicalDriveNumber: ", t.logicalDrive.get());
        line("\nSnapshots:          ", t.numSnapshots);
        Global::append("\n------------------------");
        for (size_t i = 0; i < n; ++i) {
            const auto& s = t.snapshot[i];
            line("\nSnapshotNumber:     ", s.snapshotNumber);
            line("\nbOdaNumber:         ", s.bOdaNumber);
            line("\nbVirtualLunFlags:   ", s.bVirtualLunFlags);
            line("\nwVirtualLun:        ", s.wVirtualLun.get());
            line("\nwLunReferenceNo:    ", s.wLunReferenceNo.get());
            Global::append("\n");
        }
    }
    return Global::report(0);
}

uint32_t commandConfiguration::getSnapshotData2_2() {
    static constexpr const char* kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    uint8_t* buffer = snapshotBuffer(kSnapshotsR2_2);
    uint32_t status = readConfiguration();
    if (status == 0) status = LAPIReadSnapshotDataR2_2(m_index, buffer);
    if (status != 0) return Global::report(status);
    auto& t = *reinterpret_cast<wire::SNAPSHOT_ALL_INFO_R2_2_STRUCT*>(buffer);
    const size_t n = clampCount(t.numSnapshots.get(), 512);
    line("\nNumber of snapshots:      ", t.numSnapshots.get());
    // Oldest first, by the creation order key.
    for (size_t pass = 0; pass + 1 < n; ++pass)
        for (size_t i = 0; i + 1 < n - pass; ++i)
            if (t.snapshot[i].creationOrder.get() > t.snapshot[i + 1].creationOrder.get())
                std::swap(t.snapshot[i], t.snapshot[i + 1]);
    for (size_t i = 0; i < n; ++i) {
        const auto& s = t.snapshot[i];
        line("\n\nODANumber:                ", s.odaNumber.get());
        line("\nSnapshotNumber:           ", s.snapshotNumber);
        line("\nSnapshot LD Number:       ", s.snapshotLd.get());
        Global::append("\nVLUN to host enabled:     %s", yesNo(s.flags & wire::kSnapR22VirtualLunEnabled));
        Global::append("\nVLUN is assigned:         %s", yesNo(s.flags & wire::kSnapR22VirtualLunAssigned));
        Global::append("\nDeletion in progress:     %s", yesNo(s.flags & wire::kSnapR22Deleting));
        Global::append("\nSnapshot Invalid:         %s", yesNo(s.flags & wire::kSnapR22Invalid));
        line("\nVirtual Lun Number:       ", s.virtualLun.get());
        line("\nODA Stripe Size:          ", s.stripeBlocks.get() / 2);
        Global::append("kB");
        line("\nTotal stripe references:  ", s.totalStripeRefs.get());
        line("\nWrite stripe references:  ", s.writeStripeRefs.get());
        line("\nStripe protections:       ", s.stripeProtections.get());
        Global::append("\nSnapshot day:             ");
        if (s.created.dayOfWeek >= 1 && s.created.dayOfWeek <= 7) Global::append("%s", kDays[s.created.dayOfWeek - 1]);
        line("\nSnapshot date:            ", s.created.day);
        line(".", s.created.month);
        line(".", s.created.year.get());
        line("\nSnapshot time:            ", s.created.hour);
        line(":", s.created.minute);
        line(":", s.created.second);
        Global::append("\n");
    }
    Global::append("\n");
    return Global::report(0);
}

// -- snap back progress --

uint32_t commandConfiguration::getFeaturedSnapBackProgress(uint32_t ld) {
    bool r2_2 = false;
    uint32_t status = readDriveGeneration(ld, r2_2);
    if (status != 0) return Global::report(status);
    return r2_2 ? getSnapBackProgressR2_2(ld) : getSnapBackProgress(ld);
}

void commandConfiguration::snapBackLines(uint32_t ld, bool inProgress, uint32_t percent) {
    line("Snapback for this LD[", ld);
    line(inProgress ? "] (InProgress - " : "] (Not InProgress - ", percent);
    Global::append(inProgress ? " %%): 1\n" : " %%): 0\n");
}

uint32_t commandConfiguration::getSnapBackProgress(uint32_t ld) {
    uint32_t status = readConfiguration();
    if (status == 0 && ld >= totalLogicalDrives()) status = CMD_ERR_INVALID_LUN_INDEX;
    if (status == 0) status = LAPIReadOverWriteDataAreaStats(m_index, snapshotBuffer(kOdaStats));
    int oda = -1;
    if (status == 0) {
        const auto& stats = tableAs<wire::OVER_WRITE_DATA_AREA_STATS_INFO_STRUCT>(snapshotBuffer(kOdaStats));
        for (size_t i = 0; i < clampCount(stats.numRecords, 8) && oda < 0; ++i)
            if (stats.record[i].snapshotLd.get() == ld) oda = stats.record[i].odaNumber;
    }
    if (status == 0 && oda >= 0) status = LAPIReadOverWriteDataAreas(m_index, snapshotBuffer(kOda));
    const auto& t = tableAs<wire::OVER_WRITE_DATA_AREAS_INFO_STRUCT>(snapshotBuffer(kOda));
    if (status != 0 || oda < 0 || static_cast<size_t>(oda) >= clampCount(t.numOdas, 256)) {
        Global::append("Error: No ODA present for this snapshotLd: 3\n");
        return Global::report(CMD_ERR_SNAPSHOT_REQUEST);
    }
    const auto& o = t.oda[oda];
    if (!(o.status & wire::kOdaFormatted)) {
        Global::append("Error: Format bit is not set: 3\n");
        return Global::report(CMD_ERR_SNAPSHOT_REQUEST);
    }
    snapBackLines(ld, o.status & wire::kOdaSnapbackInProgress, o.percent);
    return Global::report(0);
}

uint32_t commandConfiguration::getSnapBackProgressR2_2(uint32_t ld) {
    uint32_t count = 0;
    uint32_t status = readOdaCount(true, count);
    if (status != 0) return Global::report(status);
    const auto& t = tableAs<wire::OVER_WRITE_DATA_AREAS_INFO_R2_2_STRUCT>(snapshotBuffer(kOdaR2_2));
    for (size_t i = 0; i < clampCount(count, 512); ++i) {
        const auto& o = t.oda[i];
        if (o.snapshotLd.get() != ld) continue;
        if (!(o.flags & wire::kOdaR22Formatted)) {
            Global::append("Error: Format bit is not set: 3\n");
            return Global::report(CMD_ERR_SNAPSHOT_REQUEST);
        }
        snapBackLines(ld, o.flags & wire::kOdaR22Snapback, o.percent);
        return Global::report(0);
    }
    Global::append("Error: No ODA present for this snapshotLd : 3\n");
    return Global::report(CMD_ERR_INVALID_LUN_INDEX);
}
