// Operation codes, modes and buffer IDs of the vendor commands carried in
// WRITE BUFFER, READ BUFFER and RECEIVE DIAGNOSTIC RESULTS.
//
// Vendor CDB (10 bytes): 0 opcode, 1 mode, 2 buffer ID, 3-5 parameter bytes
// (mode 1) or chunk offset (big-endian, other modes), 6-8 chunk length
// (big-endian), 9 zero.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wire {

inline constexpr uint8_t kOpWriteBuffer = 0x3B;
inline constexpr uint8_t kOpReadBuffer = 0x3C;
inline constexpr uint8_t kOpReceiveDiagnostic = 0x1C;

inline constexpr size_t kVendorCdbLength = 10;

// CDB byte 1.
inline constexpr uint8_t kModeVendor = 1;         // parameters in bytes 3-5
inline constexpr uint8_t kModeData = 2;           // byte offset in bytes 3-5
inline constexpr uint8_t kModeDownload = 5;       // download microcode and save
inline constexpr uint8_t kModeDownloadOffsets = 7;// download microcode with offsets and save

// Largest chunk of one in-band transfer.
inline constexpr uint32_t kInBandChunk = 32768;
// Largest chunk of one out-of-band request.
inline constexpr uint32_t kOutOfBandChunk = 0x40000;

// Buffer IDs (CDB byte 2) = vendor operation codes.
namespace buf {
// Reads (READ BUFFER).
inline constexpr uint8_t ReadCurrentConfig = 0x01;          // mode 2, CONFIG_STORAGE_STRUCT
inline constexpr uint8_t ReadConfigHeader = 0x03;           // mode 1, first 512 bytes of the image
inline constexpr uint8_t ReadDriveRankInfo = 0x04;          // mode 1, b4 = rank
inline constexpr uint8_t ReadRegionMap = 0x20;              // mode 1, b4 = 0xF1
inline constexpr uint8_t ReadDriveAPMConfigInfo = 0x30;
inline constexpr uint8_t GetControllerInfo = 0x40;          // mode 2
inline constexpr uint8_t GetAllDriveInfo = 0x41;            // mode 2
inline constexpr uint8_t GetAllHostInfo = 0x42;             // mode 2
inline constexpr uint8_t GetStatsA = 0x44;
inline constexpr uint8_t GetStatsB = 0x45;
inline constexpr uint8_t EventLogA = 0x46;
inline constexpr uint8_t EventLogB = 0x47;
inline constexpr uint8_t EventLogLatestA = 0x4A;
inline constexpr uint8_t EventLogLatestB = 0x4B;
inline constexpr uint8_t DiagnosticsDump = 0x56;            // mode 2 read after request 0xD3
inline constexpr uint8_t GetAllInitInfo = 0x57;
inline constexpr uint8_t APMTestCycleStatus = 0x59;
inline constexpr uint8_t GetDriveAPMStatus = 0x5B;
inline constexpr uint8_t ReadConfigUpdateInProgress = 0x5E; // b3 = 1
inline constexpr uint8_t ReadInternalLogicalDrives = 0x60;
inline constexpr uint8_t ReadOverWriteDataAreas = 0x61;
inline constexpr uint8_t ReadOverWriteDataAreaStats = 0x62;
inline constexpr uint8_t ReadSnapshotData = 0x63;
inline constexpr uint8_t ReadOverWriteDataAreas_R2_2 = 0x66;
inline constexpr uint8_t ReadSnapshotData_R2_2 = 0x67;
inline constexpr uint8_t GetVolumeCopyStatus = 0x69;
inline constexpr uint8_t ReceiveDiagnostics = 0xF0;         // embedded RECEIVE DIAGNOSTIC RESULTS

// Writes (WRITE BUFFER).
inline constexpr uint8_t DownloadControllerFw = 0x00;       // mode 5/7
inline constexpr uint8_t DownloadDiskIoFw = 0x02;           // mode 5/7
inline constexpr uint8_t CreateOverWriteDataArea = 0x70;
inline constexpr uint8_t AssignOda_R2_2 = 0x71;
inline constexpr uint8_t ReleaseOverWriteDataArea = 0x72;
inline constexpr uint8_t TakeSnapshot = 0x73;
inline constexpr uint8_t DeleteSnapshot = 0x74;
inline constexpr uint8_t AssignVirtualLunSnap = 0x75;
inline constexpr uint8_t AssignOda = 0x76;
inline constexpr uint8_t Snapback = 0x77;
inline constexpr uint8_t SetupVolumeCopy = 0x79;
inline constexpr uint8_t ChangeVolumeCopySettings = 0x7A;
inline constexpr uint8_t StartNewConfig = 0x80;
inline constexpr uint8_t ClearConfig = 0x81;
inline constexpr uint8_t SaveConfig = 0x82;                 // b3-b4 = configuration counter (asynchronous)
inline constexpr uint8_t RestoreConfig = 0x83;              // mode 2, whole image
inline constexpr uint8_t ConfigureTQM = 0x84;
inline constexpr uint8_t ModifyConfigHeader = 0x85;         // b3 = value, b5 = field selector
inline constexpr uint8_t AddDriveRank = 0x90;
inline constexpr uint8_t AddHostLun = 0x91;
inline constexpr uint8_t AddLunMapping = 0x92;
inline constexpr uint8_t AddHotSpare = 0x93;
inline constexpr uint8_t SetAutoRegeneration = 0x97;
inline constexpr uint8_t HostPortHardAddress = 0x98;
inline constexpr uint8_t SetAltNodeNameOnHostPorts = 0x99;
inline constexpr uint8_t SetRegenPriority = 0x9A;
inline constexpr uint8_t SetAutoDriveFwUpdate = 0x9B;
inline constexpr uint8_t SetRankCacheParams = 0x9C;
inline constexpr uint8_t SetHostLunAvailability = 0x9D;
inline constexpr uint8_t ModifyLunMapping = 0x9E;
inline constexpr uint8_t ModifyUpsParams = 0xA1;
inline constexpr uint8_t SetConfigWwn = 0xA2;
inline constexpr uint8_t SetConfigName = 0xA3;
inline constexpr uint8_t SetControllerIp = 0xA4;
inline constexpr uint8_t ExpandHostLun = 0xA5;
inline constexpr uint8_t SetRankName = 0xA7;
inline constexpr uint8_t SetHostLunName = 0xA8;
inline constexpr uint8_t SetMappedLun = 0xA9;
inline constexpr uint8_t SetControllerLun = 0xAA;
inline constexpr uint8_t ExpandArray = 0xAB;
inline constexpr uint8_t TrustArray = 0xAC;
inline constexpr uint8_t ModifyAPMConfig = 0xAD;
inline constexpr uint8_t DeleteDriveRank = 0xB0;
inline constexpr uint8_t DeleteHostLun = 0xB1;
inline constexpr uint8_t DeleteLunMapping = 0xB2;
inline constexpr uint8_t DeleteHotSpare = 0xB3;
inline constexpr uint8_t SetSingleControllerMode = 0xB7;
inline constexpr uint8_t SetBackgroundVerify = 0xB8;
inline constexpr uint8_t SetAutoHotSpare = 0xB9;
inline constexpr uint8_t SetControllerLogSes = 0xBA;
inline constexpr uint8_t SetSystemParamPair = 0xBB;
inline constexpr uint8_t SetInitPriority = 0xBE;
inline constexpr uint8_t PauseInit = 0xBF;
inline constexpr uint8_t UnpauseInit = 0xC0;
inline constexpr uint8_t ClearEventLogs = 0xC1;
inline constexpr uint8_t FlashDriveActivityLight = 0xC2;
inline constexpr uint8_t ResetController = 0xC3;
inline constexpr uint8_t ShutdownController = 0xC4;
inline constexpr uint8_t SetTime = 0xC5;                    // b3 = 1 controller A, 2 controller B
inline constexpr uint8_t UpdateDriveFirmware = 0xC6;
inline constexpr uint8_t FailDrive = 0xC8;
inline constexpr uint8_t RegenerateDrive = 0xCA;
inline constexpr uint8_t ClearControllerStatisticsA = 0xCB;
inline constexpr uint8_t ClearControllerStatisticsB = 0xCC;
inline constexpr uint8_t ParityCheck = 0xCE;
inline constexpr uint8_t CancelParityCheck = 0xCF;
inline constexpr uint8_t DiagnosticsDumpRequest = 0xD3;
inline constexpr uint8_t MuteAlarm = 0xD7;
inline constexpr uint8_t EnableAlarm = 0xD8;
inline constexpr uint8_t DisableAlarm = 0xD9;
inline constexpr uint8_t SpinUpOrDownDrive = 0xDC;
inline constexpr uint8_t SpinUpOrDownArray = 0xDD;
inline constexpr uint8_t StartDriveSelfTest = 0xDE;
inline constexpr uint8_t StartArraySelfTest = 0xDF;
inline constexpr uint8_t SendDiagnostics = 0xF2;            // embedded SEND DIAGNOSTIC
}  // namespace buf

// Field selectors of the modify-configuration-header command (CDB byte 5): the
// header byte the value goes to.
inline constexpr uint8_t kHeaderFieldCacheFlush = 0xDF;
inline constexpr uint8_t kHeaderFieldThreadBalance = 0xEB;
inline constexpr uint8_t kHeaderFieldSequentialWrite = 0xF5;

}  // namespace wire
