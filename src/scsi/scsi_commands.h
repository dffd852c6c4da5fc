// Standard SCSI commands outside the vendor protocol: INQUIRY, the device
// identification page, READ CAPACITY(10), the PERSISTENT RESERVE IN/OUT CDBs,
// and their decoders and printers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "scsi/scsi_types.h"

struct SCSI_INQUIRY_DATA {
    uint8_t peripheralQualifier;
    uint8_t peripheralDeviceType;
    uint32_t RMB;
    uint8_t version;
    uint32_t NormACA;
    uint32_t HiSup;
    uint8_t responseDataFormat;
    uint8_t additionalLength;
    uint32_t SCCS;
    uint32_t ACC;
    uint8_t TPGS;
    uint32_t ThreePC;
    uint32_t PROTECT;
    uint32_t BQue;
    uint32_t EncServ;
    uint32_t MultiP;
    uint32_t MChngr;
    uint32_t Addr16;
    uint32_t WBus16;
    uint32_t Sync;
    uint32_t Linked;
    uint32_t CmdQue;
    char vendorId[9];
    char productId[17];
    char productRevision[5];
    char vendorSpecific[13];
};

struct SCSI_DEVICE_ID_DESCRIPTOR {
    uint32_t PIV;
    uint8_t protocolIdentifier;
    uint8_t codeSet;
    uint8_t association;
    uint8_t identifierType;
    uint8_t identifierLength;
    uint8_t* identifier;  // heap copy of identifierLength bytes
};

struct SCSI_DEVICE_ID_DATA {
    uint8_t peripheralQualifier;
    uint8_t peripheralDeviceType;
    uint8_t descriptorCount;
    SCSI_DEVICE_ID_DESCRIPTOR* descriptors;  // heap array of descriptorCount entries
};

struct SCSI_CAPACITY_DATA {
    uint32_t lastLba;
    uint32_t blockLength;
    uint64_t capacityBytes;
    uint32_t capacityMB;  // 10^6 bytes
    uint32_t capacityGB;  // 10^9 bytes
};

inline constexpr uint32_t kInquiryAllocation = 255;
inline constexpr uint32_t kReadCapacityLength = 8;

extern const SCSI_COMMAND_STRUCT kStandardInquiryCommand;
extern const SCSI_COMMAND_STRUCT kDeviceIdPageCommand;
extern const SCSI_COMMAND_STRUCT kReadCapacityCommand;

// Decoders over `received` bytes of a reply; fields beyond them read as zero.
void decodeInquiry(const uint8_t* reply, size_t received, SCSI_INQUIRY_DATA* out);
// Returns WSC_GOOD, or WSC_OS_ERROR when the page code is not 0x83 or memory runs out.
uint8_t decodeDeviceIdPage(const uint8_t* reply, size_t received, SCSI_DEVICE_ID_DATA* out);
void decodeReadCapacity(const uint8_t* reply, size_t received, SCSI_CAPACITY_DATA* out);
// The WWN of a decoded page: first binary NAA or EUI-64 identifier of 8 bytes or more.
bool wwnFromDeviceId(const SCSI_DEVICE_ID_DATA* page, uint8_t wwn[8]);

uint8_t scsiInquiryGet(ITL_HANDLE_STRUCT* handle, SCSI_INQUIRY_DATA* out);
uint8_t scsiInquiryDeviceIDGet(ITL_HANDLE_STRUCT* handle, SCSI_DEVICE_ID_DATA* out);
int scsiInquiryWWNGet(ITL_HANDLE_STRUCT* handle, uint8_t wwn[8]);
uint8_t scsiReadCapacityGet(ITL_HANDLE_STRUCT* handle, SCSI_CAPACITY_DATA* out);

void scsiInquiryPrint(const SCSI_INQUIRY_DATA* record);
void scsiReadCapacityPrint(const SCSI_CAPACITY_DATA* record);

// Frees a malloc'ed INQUIRY record (null allowed).
void scsiInquiryFree(SCSI_INQUIRY_DATA* record);
// Frees the identifier copies and the descriptor array, leaving the record empty.
void scsiInquiryDeviceIDClear(SCSI_DEVICE_ID_DATA* record);
// Frees the identifier copies, the descriptor array and the malloc'ed record itself.
void scsiInquiryDeviceIDFree(SCSI_DEVICE_ID_DATA* record);

void PrInSetCdb(SCSI_COMMAND_STRUCT* request, uint8_t serviceAction, uint16_t allocationLength);
void PrOutSetCdb(SCSI_COMMAND_STRUCT* request, uint8_t serviceAction, uint8_t scope, uint8_t type,
                 uint32_t parameterListLength);
void PRINT_CDB_BUFFER(const SCSI_COMMAND_STRUCT* request, uint32_t status, const void* data, uint32_t length);
