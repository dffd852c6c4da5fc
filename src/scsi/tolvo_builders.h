// Builders of the parameterised vendor write commands. Each lays out the
// validation header and its parameter record behind it and sends both with
// WRITE BUFFER mode 1; it returns the wsc of TOLVO_SendCommand.
#pragma once

#include <cstdint>

#include "scsi/scsi_types.h"
#include "wire/config.h"
#include "wire/requests.h"
#include "wire/snapshot.h"
#include "wire/vendor.h"


// A command without a parameter record: the validation header alone.
uint8_t TOLVO_SendHeaderOnly(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t bufferId, uint8_t b3, uint8_t b4, uint8_t b5);

uint8_t TOLVO_SetTime(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t selector, const wire::CLOCK_STRUCT* clock);
uint8_t TOLVO_RegenerateDrive(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t a, uint8_t b, const uint8_t wwn[8]);
uint8_t TOLVO_UpdateDriveFirmware(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, const uint8_t wwn[8], uint8_t a);
uint8_t TOLVO_ConfigureTQM(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, const wire::TQM_CONFIG_STRUCT* tqm);

// The rank attributes of a new array; the drive list keeps its 16 slots as given.
struct TolvoRankRequest {
    uint8_t raidLevel;
    uint16_t chunkBlocks;
    uint8_t driveCount;                          // sent as at most 16
    wire::wwn8 drives[wire::kMaxRankDrives];
    uint8_t parityGroups;
    uint8_t cacheFlags;
    uint16_t readAheadCode;
    uint16_t writeBackCode;
    uint8_t initialised;                         // 0xF1 initialise, 0xF0 trusted
    uint8_t backOff;
    const char* name;                            // 32-character field
};
uint8_t TOLVO_AddDriveRank(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, const TolvoRankRequest* rank);

// `count` drive WWNs; a count above what the record holds (15) is refused with
// WSC_BAD_PARAMETERS and nothing is sent.
uint8_t TOLVO_ExpandArray(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t rank, uint8_t count, uint8_t c, uint8_t d, const wire::wwn8* wwns);
uint8_t TOLVO_AddHostLun(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t capacity, uint16_t region, uint8_t access, uint16_t blockSize,
                         const char* name);
uint8_t TOLVO_AddLunMapping(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, const wire::CREATE_LUN_MAPPING_STRUCT* map);
uint8_t TOLVO_AddLunMapping_ver_I(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, const wire::CREATE_LUN_MAPPING_STRUCT_ver_I* map);
uint8_t TOLVO_AddHotSpare(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, const uint8_t wwn[8], uint8_t rank);
uint8_t TOLVO_ModifyLunMapping(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t index, const wire::LUN_MAPPING_STRUCT* map);
uint8_t TOLVO_ModifyUpsParams(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t p, const wire::UPS_SETUP_STRUCT* ups);
uint8_t TOLVO_SetConfigName(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, const char* name);
uint8_t TOLVO_SetControllerIp(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t p, const uint8_t address[16]);
uint8_t TOLVO_ExpandHostLun(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t logicalDrive, uint16_t capacity, uint16_t region);
uint8_t TOLVO_SetRankName(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t rank, const char* name);
uint8_t TOLVO_SetHostLunName(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t lun, const char* name);
uint8_t TOLVO_SetMappedLun(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t a, uint16_t b);
uint8_t TOLVO_ModifyDriveGroupAPMConfig(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, const wire::APM1_CONFIG_STRUCT* apm);
uint8_t TOLVO_ModifyArrayAPMConfig(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t array, const wire::APM2_CONFIG_STRUCT* apm);
uint8_t TOLVO_SetupVolumeCopy(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t a, uint16_t b, uint8_t c, uint8_t d);
uint8_t TOLVO_ChangeVolumeCopySettings(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t lun, uint8_t action, uint16_t value);

// Snapshots and overwrite data areas.
uint8_t TOLVO_CreateOverWriteDataArea(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t oda, uint16_t logicalDrive, uint16_t stripeSize);
uint8_t TOLVO_CreateOverWriteDataArea_R2_2(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t oda, uint16_t logicalDrive, uint16_t stripeSize);
uint8_t TOLVO_AssignOda_R2_2(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t oda, uint16_t logicalDrive, uint8_t option);
uint8_t TOLVO_ReleaseOverWriteDataArea(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t oda);
uint8_t TOLVO_ReleaseOverWriteDataArea_R2_2(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t oda);
uint8_t TOLVO_TakeSnapshot(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t logicalDrive, uint8_t option);
uint8_t TOLVO_DeleteSnapshot(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t oda, uint16_t logicalDrive, uint8_t flags);
uint8_t TOLVO_AssignVirtualLunSnap(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t logicalDrive, uint8_t snapshot, uint8_t flags);
uint8_t TOLVO_AssignOda(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t oda, uint16_t logicalDrive, uint8_t flags);
uint8_t TOLVO_Snapback(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t logicalDrive, uint8_t snapshot);
uint8_t TOLVO_Snapback_R2_2(ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint16_t logicalDrive, uint8_t snapshot, uint8_t option);
