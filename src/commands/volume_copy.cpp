// Volume copy and copy back between two logical drives, their control and
// their status.
#include <cstdio>

#include "commands/config_view.h"
#include "commands/configuration.h"
#include "commands/global.h"
#include "lapi/config_writes.h"
#include "lapi/lapi_status.h"
#include "lapi/snapshot_writes.h"
#include "wire/requests.h"

namespace {

constexpr uint8_t kHiddenPorts = 0x70;
constexpr uint32_t kMaxPriority = 5;
constexpr uint8_t kVolumeCopy = 1;
constexpr uint8_t kCopyBack = 2;

}  // namespace

// The configuration read and the range check every volume-copy member starts with.
uint32_t commandConfiguration::checkVolumeCopyDrives(uint32_t first, uint32_t second) {
    uint32_t status = readFreshConfiguration();
    if (status != 0) return status;
    const uint32_t total = totalLogicalDrives();
    return first < total && second < total ? 0 : CMD_ERR_INVALID_LUN_INDEX;
}

uint32_t commandConfiguration::driveNumbers(const std::string& first, const std::string* second, uint32_t& a,
                                            uint32_t& b) {
    uint32_t status = getLogicalDiskId(first, a);
    if (status == 0 && second != nullptr) status = getLogicalDiskId(*second, b);
    return status;
}

uint32_t commandConfiguration::hideLogicalDrive(uint32_t ld) {
    SET_HOST_LUN_AVAILABILITY_REQUEST request{};
    request.logicalDrive = ld;
    request.portMask = kHiddenPorts;
    request.info = informationSet();
    return LAPISetHostLUNAvailability(m_index, &request);
}

uint32_t commandConfiguration::setupVolumeCopy(uint32_t source, uint32_t dest, uint32_t hide, uint32_t priority) {
    uint32_t status = checkVolumeCopyDrives(source, dest);
    if (status == 0 && priority > kMaxPriority) {
        Global::append("\nError: Invalid priority value");
        status = CMD_ERR_INVALID_SELECTION;
    }
    if (status == 0 && hide != 0) status = hideLogicalDrive(dest);
    if (status == 0) {
        VOLUME_COPY_SETUP_REQUEST request{kVolumeCopy, static_cast<uint16_t>(source), static_cast<uint16_t>(dest),
                                          static_cast<uint8_t>(priority)};
        status = LAPISetupVolumeCopy(m_index, &request);
    }
    if (status == 0) Global::append("0\n");
    return Global::report(status);
}

uint32_t commandConfiguration::setupVolumeCopy(const std::string& source, const std::string& dest, uint32_t hide,
                                               uint32_t priority) {
    uint32_t a = 0, b = 0;
    uint32_t status = driveNumbers(source, &dest, a, b);
    if (status != 0) return Global::report(status);
    return setupVolumeCopy(a, b, hide, priority);
}

uint32_t commandConfiguration::startCopyBack(uint32_t source, uint32_t dest, bool hide) {
    uint32_t status = checkVolumeCopyDrives(source, dest);
    if (status == 0 && hide) {
        status = hideLogicalDrive(dest);
        if (status == 0) status = hideLogicalDrive(source);
        if (status != 0) Global::append("Unable to hide source and destination LUNs.\n");
    }
    if (status == 0) {
        VOLUME_COPY_SETUP_REQUEST request{kCopyBack, static_cast<uint16_t>(source), static_cast<uint16_t>(dest), 3};
        status = LAPISetupVolumeCopy(m_index, &request);
    }
    if (status == 0) Global::append("0\n");
    return Global::report(status);
}

uint32_t commandConfiguration::startCopyBack(const std::string& source, const std::string& dest, bool hide) {
    uint32_t a = 0, b = 0;
    uint32_t status = driveNumbers(source, &dest, a, b);
    if (status != 0) return Global::report(status);
    return startCopyBack(a, b, hide);
}

uint32_t commandConfiguration::readVolumeCopyTask(uint32_t ld, wire::LD_DUPLICATION_TASK_STATUS_STRUCT& task) {
    uint32_t status = checkVolumeCopyDrives(ld, ld);
    if (status == 0) status = LAPIGetVolumeCopyStatus(m_index, static_cast<uint16_t>(ld), &task);
    return status;
}

uint32_t commandConfiguration::getVolumeCopyProgress(uint32_t ld) {
    wire::LD_DUPLICATION_TASK_STATUS_STRUCT task{};
    uint32_t status = readVolumeCopyTask(ld, task);
    if (status == LAPI_ERR_BAD_PARAMETERS) status = 0;   // no copy to this drive
    else if (status != 0) return Global::report(status);
    if (task.bActive != 0 && task.bDuplicationState >= 3 && task.bDuplicationState <= 8)
        Global::append("%d %d\n", task.bCopyPercentComplete, task.bSnapshotFlushPercentComplete);
    else
        Global::append("-1 -1\n");
    return Global::report(status);
}

namespace {

// The status number scripts read: -2 no copy, -1 failed, 0 done, and the
// steps of a running volume copy (1, 2, 3) or copy back (4, 2, 5), 6 and 7.
int volumeCopyStatusNumber(const wire::LD_DUPLICATION_TASK_STATUS_STRUCT& task) {
    if (task.bActive != 0xF1) return -2;
    const bool copyBack = task.bDuplicationType == kCopyBack;
    switch (task.bDuplicationState) {
    case 0: return -2;
    case 1: return 7;
    case 2: return 6;
    case 3: return copyBack ? 4 : 1;
    case 4: return 2;
    case 5: return -1;
    case 6: return 0;
    case 7: return copyBack ? 5 : 3;
    case 8: return -3;
    default:
        Global::append("Invalid volume copy status reported (0x%x)", task.bDuplicationState);
        return -1;
    }
}

}  // namespace

uint32_t commandConfiguration::getVolumeCopyStatus(uint32_t ld) {
    wire::LD_DUPLICATION_TASK_STATUS_STRUCT task{};
    uint32_t status = readVolumeCopyTask(ld, task);
    if (status == LAPI_ERR_BAD_PARAMETERS) {
        Global::append("\n%d\n", -2);
        return Global::report(0);
    }
    if (status == 0) {
        int number = volumeCopyStatusNumber(task);
        Global::append("\n%d\n", number);
    }
    return Global::report(status);
}

uint32_t commandConfiguration::getAllVolumeCopyStatus() {
    wire::LD_DUPLICATION_STATUS_STRUCT all{};
    uint32_t status = readFreshConfiguration();
    if (status == 0) status = LAPIGetAllVolumeCopyStatus(m_index, &all);
    if (status != 0) return Global::report(status);
    Global::append("All Volume Copy Status\n");
    Global::append("======================\n");
    Global::append("wSize: 0x%x\n", all.wSize.get());
    Global::append("bFeatureActivated: 0x%x\n", all.bFeatureActivated);
    Global::append("bNumActiveDuplicationProcesses: 0x%x\n", all.bNumActiveDuplicationProcesses);
    Global::append("bNumCopyDuplicationProcessesAllowed: 0x%x\n", all.bNumCopyDuplicationProcessesAllowed);
    for (unsigned i = 0; i < 4; ++i) {
        const auto& t = all.task[i];
        Global::append("\nLD Dup Task 0x%x\n", i);
        Global::append("====================\n");
        Global::append("bActive: 0x%x\n", t.bActive);
        Global::append("bDuplicationComplete: 0x%x\n", t.bDuplicationComplete);
        Global::append("bDuplicationType: 0x%x\n", t.bDuplicationType);
        Global::append("bDuplicationState: 0x%x\n", t.bDuplicationState);
        Global::append("wDuplicationSourceLun: 0x%x\n", t.wDuplicationSourceLun.get());
        Global::append("wDuplicationDestinationLun: 0x%x\n", t.wDuplicationDestinationLun.get());
        Global::append("bDuplicationOdaNumber: 0x%x\n", t.bDuplicationOdaNumber);
        Global::append("bDuplicationSnapshotNumber: 0x%x\n", t.bDuplicationSnapshotNumber);
        Global::append("bCopyPercentComplete: 0x%x\n", t.bCopyPercentComplete);
        Global::append("bSnapshotFlushPercentComplete: 0x%x\n", t.bSnapshotFlushPercentComplete);
        Global::append("bDuplicationPriority: 0x%x\n", t.bDuplicationPriority);
    }
    return Global::report(0);
}

uint32_t commandConfiguration::setVolumeCopyPriority(uint32_t ld, uint32_t priority) {
    uint32_t status = checkVolumeCopyDrives(ld, ld);
    if (status == 0 && priority > kMaxPriority) {
        Global::append("\nError: Invalid priority value");
        status = CMD_ERR_INVALID_SELECTION;
    }
    if (status == 0) status = LAPISetVolumeCopyPriority(m_index, static_cast<uint16_t>(ld), static_cast<uint8_t>(priority));
    return Global::report(status);
}

uint32_t commandConfiguration::controlVolumeCopy(uint32_t ld, uint32_t (*operation)(int, uint16_t)) {
    uint32_t status = checkVolumeCopyDrives(ld, ld);
    if (status == 0) status = operation(m_index, static_cast<uint16_t>(ld));
    return Global::report(status);
}

uint32_t commandConfiguration::pauseVolumeCopy(uint32_t ld) { return controlVolumeCopy(ld, LAPIPauseVolumeCopy); }
uint32_t commandConfiguration::resumeVolumeCopy(uint32_t ld) { return controlVolumeCopy(ld, LAPIResumeVolumeCopy); }
uint32_t commandConfiguration::abortVolumeCopy(uint32_t ld) { return controlVolumeCopy(ld, LAPIAbortVolumeCopy); }

// The name forms: each name becomes its logical drive number first.
uint32_t commandConfiguration::getVolumeCopyProgress(const std::string& name) {
    return byName(name, [this](uint32_t ld) { return getVolumeCopyProgress(ld); });
}
uint32_t commandConfiguration::getVolumeCopyStatus(const std::string& name) {
    return byName(name, [this](uint32_t ld) { return getVolumeCopyStatus(ld); });
}
uint32_t commandConfiguration::pauseVolumeCopy(const std::string& name) {
    return byName(name, [this](uint32_t ld) { return pauseVolumeCopy(ld); });
}
uint32_t commandConfiguration::resumeVolumeCopy(const std::string& name) {
    return byName(name, [this](uint32_t ld) { return resumeVolumeCopy(ld); });
}
uint32_t commandConfiguration::abortVolumeCopy(const std::string& name) {
    return byName(name, [this](uint32_t ld) { return abortVolumeCopy(ld); });
}
uint32_t commandConfiguration::setVolumeCopyPriority(const std::string& name, uint32_t priority) {
    return byName(name, [&](uint32_t ld) { return setVolumeCopyPriority(ld, priority); });
}
