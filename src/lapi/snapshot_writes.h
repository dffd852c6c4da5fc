// Overwrite data areas, snapshots, snap back, virtual LUNs and volume copies:
// the library-API writes that carry them, the volume-copy status reads, and
// the write-back of a whole configuration image.
//
// The first-generation ODA and snapshot writes run in one change bracket
// (start once, the command, save once); the R2_2 ODA writes in the retried
// bracket; the R2_2 snapshot writes and snap back in the command frame alone.
// Each refreshes the caller's information set after success.
#pragma once

#include <cstdint>

#include "lapi/reads.h"
#include "wire/requests.h"

struct CREATE_ODA_REQUEST {
    uint16_t oda;              // the new ODA's number
    uint16_t logicalDrive;     // the internal logical drive that holds it
    uint16_t stripeSize;
    ALL_INFORMATION_SET info;
};

struct RELEASE_ODA_REQUEST {
    uint32_t oda;
    ALL_INFORMATION_SET info;
};

struct TAKE_SNAPSHOT_REQUEST {
    uint16_t logicalDrive;
    uint8_t option;
    ALL_INFORMATION_SET info;
};

struct DELETE_SNAPSHOT_REQUEST {
    uint8_t snapshot;          // sent in the record's ODA-number byte
    uint16_t logicalDrive;     // the snapshotted logical drive
    uint8_t flags;             // 1 first generation; R2_2: 2 all snapshots, 0 one
    ALL_INFORMATION_SET info;
};

struct ASSIGN_VIRTUAL_LUN_REQUEST {
    uint8_t snapshot;
    uint16_t logicalDrive;
    uint8_t flags;
    ALL_INFORMATION_SET info;
};

struct SNAPBACK_REQUEST {
    uint16_t logicalDrive;
    uint8_t snapshot;
    uint8_t option;            // R2_2 only
    ALL_INFORMATION_SET info;
};

struct ASSIGN_ODA_REQUEST {
    uint16_t oda;
    uint16_t logicalDrive;
    uint8_t mode;              // 2 assign, 0 unassign
    ALL_INFORMATION_SET info;
};

uint32_t LAPICreateODA(int index, CREATE_ODA_REQUEST* request);
uint32_t LAPICreateODAR2_2(int index, CREATE_ODA_REQUEST* request);
uint32_t LAPIReleaseODA(int index, RELEASE_ODA_REQUEST* request);
uint32_t LAPIReleaseODAR2_2(int index, RELEASE_ODA_REQUEST* request);
uint32_t LAPITakeSnapshot(int index, TAKE_SNAPSHOT_REQUEST* request);
uint32_t LAPITakeSnapshotR22(int index, TAKE_SNAPSHOT_REQUEST* request);
uint32_t LAPIDeleteSnapshot(int index, DELETE_SNAPSHOT_REQUEST* request);
uint32_t LAPIDeleteSnapshotR22(int index, DELETE_SNAPSHOT_REQUEST* request);
uint32_t LAPIAssignVirtualLunSnap(int index, ASSIGN_VIRTUAL_LUN_REQUEST* request);
uint32_t LAPISnapback(int index, SNAPBACK_REQUEST* request);
uint32_t LAPISnapbackR2_2(int index, SNAPBACK_REQUEST* request);
uint32_t LAPIAssignODA(int index, ASSIGN_ODA_REQUEST* request);
uint32_t LAPIAssignODAR2_2(int index, ASSIGN_ODA_REQUEST* request);

// Volume copy: type 1 volume copy, 2 copy back.
struct VOLUME_COPY_SETUP_REQUEST {
    uint8_t type;
    uint16_t source;
    uint16_t destination;
    uint8_t priority;
};
uint32_t LAPISetupVolumeCopy(int index, const VOLUME_COPY_SETUP_REQUEST* request);
uint32_t LAPISetVolumeCopyPriority(int index, uint16_t lun, uint8_t priority);
uint32_t LAPIResumeVolumeCopy(int index, uint16_t lun);
uint32_t LAPIPauseVolumeCopy(int index, uint16_t lun);
uint32_t LAPIAbortVolumeCopy(int index, uint16_t lun);
uint32_t LAPIStartCopyBack(int index, uint16_t lun);

// The volume-copy status record: 1003 when the read fails or its length field
// is not 136.
uint32_t LAPIGetAllVolumeCopyStatus(int index, wire::LD_DUPLICATION_STATUS_STRUCT* status);
// The task whose destination is `destination`: 0, 1003, or 1001 when no task
// copies to that drive.
uint32_t LAPIGetVolumeCopyStatus(int index, uint16_t destination, wire::LD_DUPLICATION_TASK_STATUS_STRUCT* task);

// Writes a whole configuration image (940,032 bytes) back to the controller.
// The image is sent as it stands: a transfer to the controller leaves it unchanged.
uint32_t LAPISetRAIDConfigurationData(int index, uint8_t* image);
