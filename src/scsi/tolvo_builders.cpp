#include "scsi/tolvo_builders.h"

#include <cstring>
#include <type_traits>

#include "scsi/tolvo.h"
#include "wire/byteorder.h"
#include "wire/vendor_ops.h"

namespace {

using namespace wire;

// Validation header followed by `record`, sent with WRITE BUFFER mode 1.
template <typename Record>
uint8_t sendRecord(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t bufferId, uint8_t b3, uint8_t b4, uint8_t b5, const Record& record) {
    static_assert(std::is_trivially_copyable_v<Record>);
    uint8_t data[kValidationHeaderSize + sizeof(Record)];
    std::memcpy(data, TOLVO_VALIDATION_HEADER.data(), kValidationHeaderSize);
    std::memcpy(data + kValidationHeaderSize, &record, sizeof(Record));
    setTolvoCdb(r, kOpWriteBuffer, kModeVendor, bufferId, b3, b4, b5);
    return TOLVO_SendCommand(h, r, data, sizeof data, nullptr);
}

uint8_t hi(uint16_t v) { return static_cast<uint8_t>(v >> 8); }
uint8_t lo(uint16_t v) { return static_cast<uint8_t>(v); }

template <typename Record>
Record snapRecord(char letter) {
    Record rec{};
    rec.hdr.command = static_cast<uint8_t>(letter);
    rec.hdr.length = static_cast<uint8_t>(sizeof(Record));
    return rec;
}

}  // namespace

uint8_t TOLVO_SendHeaderOnly(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t bufferId, uint8_t b3, uint8_t b4, uint8_t b5) {
    uint8_t data[kValidationHeaderSize];
    std::memcpy(data, TOLVO_VALIDATION_HEADER.data(), kValidationHeaderSize);
    setTolvoCdb(r, kOpWriteBuffer, kModeVendor, bufferId, b3, b4, b5);
    return TOLVO_SendCommand(h, r, data, sizeof data, nullptr);
}

uint8_t TOLVO_SetTime(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t selector, const CLOCK_STRUCT* clock) {
    return sendRecord(h, r, buf::SetTime, selector, 0, 0, *clock);
}

uint8_t TOLVO_RegenerateDrive(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t a, uint8_t b, const uint8_t wwn[8]) {
    REGENERATE_DRIVE_STRUCT rec{};
    rec.a = a;
    rec.b = b;
    std::memcpy(rec.driveWwn.b, wwn, 8);
    return sendRecord(h, r, buf::RegenerateDrive, 0, 0, 0, rec);
}

uint8_t TOLVO_UpdateDriveFirmware(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, const uint8_t wwn[8], uint8_t a) {
    UPDATE_DRIVE_FW_STRUCT rec{};
    rec.a = a;
    std::memcpy(rec.driveWwn.b, wwn, 8);
    return sendRecord(h, r, buf::UpdateDriveFirmware, 0, 0, 0, rec);
}

uint8_t TOLVO_ConfigureTQM(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, const TQM_CONFIG_STRUCT* tqm) {
    return sendRecord(h, r, buf::ConfigureTQM, 0, 0, 0, *tqm);
}

uint8_t TOLVO_AddDriveRank(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, const TolvoRankRequest* rank) {
    RANK_CONFIG_STRUCT rec{};
    rec.raidLevel = rank->raidLevel;
    rec.numDrives = rank->driveCount > kMaxRankDrives ? static_cast<uint8_t>(kMaxRankDrives) : rank->driveCount;
    rec.chunkBlocks.set(rank->chunkBlocks);
    std::memcpy(rec.driveWwn, rank->drives, sizeof rec.driveWwn);
    rec.parityGroups = rank->parityGroups;
    rec.cacheFlags = rank->cacheFlags;
    rec.createMarker = kFlagNo;
    rec.readAheadCode.set(rank->readAheadCode);
    rec.writeBackCode.set(rank->writeBackCode);
    rec.initialised = rank->initialised;
    rec.backOff = rank->backOff;
    makeTolvoString(rank->name, rec.name, sizeof rec.name);
    return sendRecord(h, r, buf::AddDriveRank, 0, 0, 0, rec);
}

uint8_t TOLVO_ExpandArray(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t rank, uint8_t count, uint8_t c, uint8_t d, const wwn8* wwns) {
    EXPAND_ARRAY_STRUCT rec{};
    if (count > kMaxExpandDrives || (count > 0 && wwns == nullptr)) return WSC_BAD_PARAMETERS;
    rec.rankIndex = rank;
    rec.numDrives = count;
    rec.flag = c;
    rec.reserved03 = d;
    std::memcpy(rec.driveWwn, wwns, count * sizeof(wwn8));
    return sendRecord(h, r, buf::ExpandArray, 0, 0, 0, rec);
}

uint8_t TOLVO_AddHostLun(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t capacity, uint16_t region, uint8_t access, uint16_t blockSize,
                         const char* name) {
    CREATE_HOST_LUN_STRUCT rec{};
    rec.capacityGb.set(capacity);
    rec.freeRegionNo.set(region);
    rec.accessType = access;
    rec.hostBlockSize.set(blockSize);
    makeTolvoString(name, rec.name, sizeof rec.name);
    return sendRecord(h, r, buf::AddHostLun, 0, 0, 0, rec);
}

uint8_t TOLVO_AddLunMapping(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, const CREATE_LUN_MAPPING_STRUCT* map) {
    return sendRecord(h, r, buf::AddLunMapping, 0, 0, 0, *map);
}

uint8_t TOLVO_AddLunMapping_ver_I(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, const CREATE_LUN_MAPPING_STRUCT_ver_I* map) {
    return sendRecord(h, r, buf::AddLunMapping, 0, 0, 0, *map);
}

uint8_t TOLVO_AddHotSpare(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, const uint8_t wwn[8], uint8_t rank) {
    HOT_SPARE_DRIVE_STRUCT rec{};
    std::memcpy(rec.driveWwn.b, wwn, 8);
    rec.rank = rank;
    return sendRecord(h, r, buf::AddHotSpare, 0, 0, 0, rec);
}

uint8_t TOLVO_ModifyLunMapping(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t index, const LUN_MAPPING_STRUCT* map) {
    return sendRecord(h, r, buf::ModifyLunMapping, hi(index), lo(index), 0, *map);
}

uint8_t TOLVO_ModifyUpsParams(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t p, const UPS_SETUP_STRUCT* ups) {
    return sendRecord(h, r, buf::ModifyUpsParams, p, 0, 0, *ups);
}

uint8_t TOLVO_SetConfigName(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, const char* name) {
    CONFIG_NAME_STRUCT rec;
    makeTolvoString(name, rec.name, sizeof rec.name);
    return sendRecord(h, r, buf::SetConfigName, 0, 0, 0, rec);
}

uint8_t TOLVO_SetControllerIp(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t p, const uint8_t address[16]) {
    CONTROLLER_IP_STRUCT rec;
    std::memcpy(rec.bytes, address, sizeof rec.bytes);
    return sendRecord(h, r, buf::SetControllerIp, p, 0, 0, rec);
}

uint8_t TOLVO_ExpandHostLun(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t logicalDrive, uint16_t capacity, uint16_t region) {
    EXPAND_HOST_LUN_STRUCT rec{};
    rec.capacityGb.set(capacity);
    rec.freeRegionNo.set(region);
    return sendRecord(h, r, buf::ExpandHostLun, hi(logicalDrive), lo(logicalDrive), 0, rec);
}

uint8_t TOLVO_SetRankName(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t rank, const char* name) {
    OBJECT_NAME_STRUCT rec;
    makeTolvoString(name, rec.name, sizeof rec.name);
    return sendRecord(h, r, buf::SetRankName, rank, 0, 0, rec);
}

uint8_t TOLVO_SetHostLunName(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t lun, const char* name) {
    OBJECT_NAME_STRUCT rec;
    makeTolvoString(name, rec.name, sizeof rec.name);
    return sendRecord(h, r, buf::SetHostLunName, hi(lun), lo(lun), 0, rec);
}

uint8_t TOLVO_SetMappedLun(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t a, uint16_t b) {
    MODIFY_MAPPED_LUN_STRUCT rec{};
    rec.a.set(a);
    rec.b.set(b);
    return sendRecord(h, r, buf::SetMappedLun, 0, 0, 0, rec);
}

uint8_t TOLVO_ModifyDriveGroupAPMConfig(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, const APM1_CONFIG_STRUCT* apm) {
    return sendRecord(h, r, buf::ModifyAPMConfig, 0, 0, 0, *apm);
}

uint8_t TOLVO_ModifyArrayAPMConfig(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t array, const APM2_CONFIG_STRUCT* apm) {
    return sendRecord(h, r, buf::ModifyAPMConfig, 1, array, 0, *apm);
}

uint8_t TOLVO_SetupVolumeCopy(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t a, uint16_t b, uint8_t c, uint8_t d) {
    LD_DUPLICATION_SETUP_STRUCT rec{};
    rec.length = sizeof rec;
    rec.c = c;
    rec.d = d;
    rec.a.set(a);
    rec.b.set(b);
    return sendRecord(h, r, buf::SetupVolumeCopy, 0, 0, 0, rec);
}

uint8_t TOLVO_ChangeVolumeCopySettings(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t lun, uint8_t action, uint16_t value) {
    LD_DUPLICATION_CHANGE_SETTINGS_STRUCT rec{};
    rec.length = sizeof rec;
    rec.action = action;
    rec.lun.set(lun);
    rec.value.set(value);
    return sendRecord(h, r, buf::ChangeVolumeCopySettings, 0, 0, 0, rec);
}

uint8_t TOLVO_CreateOverWriteDataArea(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t oda, uint16_t logicalDrive, uint16_t stripeSize) {
    auto rec = snapRecord<CREATE_OVERWRITE_DATA_AREA_STRUCT>('p');
    rec.odaNumber = oda;
    rec.logicalDrive.set(logicalDrive);
    rec.stripeSize.set(stripeSize);
    return sendRecord(h, r, buf::CreateOverWriteDataArea, 0, 0, 0, rec);
}

uint8_t TOLVO_CreateOverWriteDataArea_R2_2(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t oda, uint16_t logicalDrive, uint16_t stripeSize) {
    auto rec = snapRecord<CREATE_OVERWRITE_DATA_AREA_R2_2_STRUCT>('p');
    rec.odaNumber.set(oda);
    rec.logicalDrive.set(logicalDrive);
    rec.stripeSize.set(stripeSize);
    return sendRecord(h, r, buf::CreateOverWriteDataArea, 0, 0, 0, rec);
}

uint8_t TOLVO_AssignOda_R2_2(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t oda, uint16_t logicalDrive, uint8_t option) {
    auto rec = snapRecord<ASSIGN_ODA_R2_2_STRUCT>('q');
    rec.odaNumber.set(oda);
    rec.logicalDrive.set(logicalDrive);
    rec.option = option;
    return sendRecord(h, r, buf::AssignOda_R2_2, 0, 0, 0, rec);
}

uint8_t TOLVO_ReleaseOverWriteDataArea(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t oda) {
    auto rec = snapRecord<RELEASE_OVERWRITE_DATA_AREA_STRUCT>('r');
    rec.odaNumber = oda;
    return sendRecord(h, r, buf::ReleaseOverWriteDataArea, 0, 0, 0, rec);
}

uint8_t TOLVO_ReleaseOverWriteDataArea_R2_2(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t oda) {
    auto rec = snapRecord<RELEASE_OVERWRITE_DATA_AREA_R2_2_STRUCT>('r');
    rec.odaNumber.set(oda);
    return sendRecord(h, r, buf::ReleaseOverWriteDataArea, 0, 0, 0, rec);
}

uint8_t TOLVO_TakeSnapshot(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t logicalDrive, uint8_t option) {
    auto rec = snapRecord<TAKE_SNAPSHOT_STRUCT>('s');
    rec.logicalDrive.set(logicalDrive);
    rec.option = option;
    return sendRecord(h, r, buf::TakeSnapshot, 0, 0, 0, rec);
}

uint8_t TOLVO_DeleteSnapshot(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t oda, uint16_t logicalDrive, uint8_t flags) {
    auto rec = snapRecord<DELETE_SNAPSHOT_STRUCT>('t');
    rec.logicalDrive.set(logicalDrive);
    rec.flags = flags;
    rec.odaNumber = oda;
    return sendRecord(h, r, buf::DeleteSnapshot, 0, 0, 0, rec);
}

uint8_t TOLVO_AssignVirtualLunSnap(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t logicalDrive, uint8_t snapshot, uint8_t flags) {
    auto rec = snapRecord<ASSIGN_VIRTUAL_LUN_SNAP_STRUCT>('u');
    rec.logicalDrive.set(logicalDrive);
    rec.snapshotNumber = snapshot;
    rec.flags = flags;
    return sendRecord(h, r, buf::AssignVirtualLunSnap, 0, 0, 0, rec);
}

uint8_t TOLVO_AssignOda(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t oda, uint16_t logicalDrive, uint8_t flags) {
    auto rec = snapRecord<ASSIGN_ODA_STRUCT>('v');
    rec.logicalDrive.set(logicalDrive);
    rec.flags = flags;
    rec.odaNumber = oda;
    return sendRecord(h, r, buf::AssignOda, 0, 0, 0, rec);
}

uint8_t TOLVO_Snapback(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t logicalDrive, uint8_t snapshot) {
    auto rec = snapRecord<SNAPBACK_STRUCT>('w');
    rec.logicalDrive.set(logicalDrive);
    rec.snapshotNumber = snapshot;
    return sendRecord(h, r, buf::Snapback, 0, 0, 0, rec);
}

uint8_t TOLVO_Snapback_R2_2(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t logicalDrive, uint8_t snapshot, uint8_t option) {
    auto rec = snapRecord<SNAPBACK_R2_2_STRUCT>('w');
    rec.logicalDrive.set(logicalDrive);
    rec.snapshotNumber = snapshot;
    rec.option = option;
    return sendRecord(h, r, buf::Snapback, 0, 0, 0, rec);
}
