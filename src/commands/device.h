// Device library (-D): the drives behind a RAID system, their power control
// (APM) state, identify lights, manual spin, functional tests, failing a drive.
#pragma once

#include <cstdint>
#include <functional>

#include "commands/buffers.h"
#include "commands/selection.h"
#include "wire/drive.h"

class commandDevice : public CommandSelection {
public:
    static constexpr size_t kDriveListSize = 9080;  // ALL_DRIVE_INFO_STRUCT
    static constexpr size_t kDriveApmSize = 2024;
    static constexpr size_t kApmStatusSize = 1792;

    commandDevice();

    uint32_t getNum();
    uint32_t getName(uint32_t index);
    uint32_t getNumberOfUnusedDrives();
    uint32_t getDeviceSizeInBlocks(uint64_t wwn);
    uint32_t getDeviceStatus(uint64_t wwn);
    uint32_t getArrayID(uint64_t wwn);
    uint32_t getDeviceState(uint64_t wwn);
    uint32_t getEnclosureNoOfDevice(uint32_t index);
    uint32_t getDriveRevision(uint32_t index);
    // `filter`: a drive status, or 0xFFFFFFFF for every drive.
    uint32_t getAllDriveInfoStruct(uint32_t filter);
    uint32_t setDriveIdentLight(uint32_t index, uint32_t seconds);

    uint32_t getAPMDriveStatus();
    uint32_t getSpecificDriveAPMStatus(uint32_t slot, uint32_t enclosure);
    uint32_t getDriveFunctionalTestStatus(uint32_t slot, uint32_t enclosure);
    uint32_t setManualSpinUpOrDownDrives(uint32_t slot, uint32_t enclosure, uint32_t direction);
    uint32_t setDriveFunctionalTest(uint32_t slot, uint32_t enclosure);
    uint32_t setFailDrive(uint64_t wwn);
    uint32_t setFailDrive(uint32_t array, uint32_t drive);

private:
    // Reads the drive list; the count is limited to the records it holds.
    uint32_t readDrives();
    size_t driveCount() const { return m_count < wire::kMaxDrives ? m_count : wire::kMaxDrives; }
    wire::DRIVE_INFO_STRUCT drive(size_t i) const;
    // The first drive whose WWN is `wwn`, or -1.
    int findByWwn(uint64_t wwn) const;
    // Reads the drive list and reports the drive with `wwn` through `report`, or
    // `missing` (a format that may show the WWN) with 2003.
    uint32_t reportDrive(uint64_t wwn, const char* missing,
                         const std::function<void(const wire::DRIVE_INFO_STRUCT&)>& report);
    // The first drive in the list at this enclosure and slot, or -1.
    int findBySlot(uint32_t slot, uint32_t enclosure) const;
    // The APM list read: its count limited to the entries it holds.
    size_t apmCount() const;
    wire::DRIVE_APM_STATUS_STRUCT apmEntry(size_t i) const;
    int findApmEntry(uint32_t slot, uint32_t enclosure) const;
    // Clears the APM buffers and reads the APM support status.
    uint32_t apmStatus();
    // The preamble of the slot commands, each step only when all before it
    // passed: the support status, the caller's own check `check`, the enclosure
    // and slot checks, the APM list (`apmList`), the drive list (`driveList`).
    uint32_t slotPreamble(uint32_t slot, uint32_t enclosure, uint32_t check, bool apmList, bool driveList);
    // Reports the drive at the slot as missing, after `prefix`.
    static uint32_t noSuchDrive(const char* prefix);
    void appendGroup(size_t entry) const;

    commands::Buffer m_driveList;
    commands::Buffer m_driveApm;
    commands::Buffer m_apmStatus;
    uint8_t m_count = 0;
};
