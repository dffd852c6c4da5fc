#include "commands/enclosure.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "commands/global.h"
#include "lapi/enclosure.h"
#include "lapi/reads.h"
#include "wire/drive.h"

namespace {

constexpr uint32_t kMaxEnclosure = 10;
constexpr uint32_t kMaxLocateSeconds = 60;

// Offsets in a drive record.
constexpr size_t kEnclosureNo = offsetof(wire::DRIVE_INFO_STRUCT, enclosureNo);
constexpr size_t kSlotNo = offsetof(wire::DRIVE_INFO_STRUCT, slotNo);
constexpr size_t kWwn = offsetof(wire::DRIVE_INFO_STRUCT, abNodeName);

}  // namespace

commandEnclosure::commandEnclosure() : m_driveList(commands::allocateBuffer(kDriveListSize)) {
    if (!m_driveList) {
        Global::print();
        std::exit(2001);
    }
}

uint32_t commandEnclosure::readDrives(unsigned& count) {
    std::memset(m_driveList.get(), 0, kDriveListSize);
    uint8_t n = 0;
    const uint32_t status = LAPIGetEnclosureDriveData(m_index, m_driveList.get(), &n);
    count = n < wire::kMaxDrives ? n : static_cast<unsigned>(wire::kMaxDrives);
    if (status != 0) count = 0;
    return status;
}

const uint8_t* commandEnclosure::drive(unsigned i) const {
    return m_driveList.get() + offsetof(wire::ALL_DRIVE_INFO_STRUCT, drive) + i * sizeof(wire::DRIVE_INFO_STRUCT);
}

uint32_t commandEnclosure::reportWwn(uint32_t enclosure, const char* by, uint32_t value, unsigned i) const {
    Global::append("Enc [");
    Global::format(enclosure);
    Global::append("] Device In %s ", by);
    Global::format(value);
    Global::append(": ");
    for (int b = 0; b < 8; ++b) Global::append("%.2X", drive(i)[kWwn + b]);
    Global::append("\n");
    return Global::report(0);
}

uint32_t commandEnclosure::getNumberOfEnclosures() {
    uint32_t count = 0;
    ENCLOSURE_COUNT_REQUEST request{&count, nullptr};
    const uint32_t status = LAPIGetNumberOfEnclosures(m_index, &request);
    if (status == 0) {
        Global::append("Enclosures: ");
        Global::format(count);
        Global::append("\n");
    }
    return Global::report(status);
}

uint32_t commandEnclosure::getNumberOfDevices(uint32_t enclosure) {
    unsigned n = 0;
    const uint32_t status = readDrives(n);
    if (status == 0) {
        uint32_t count = 0;
        for (unsigned i = 0; i < n; ++i)
            if (drive(i)[kEnclosureNo] == enclosure) ++count;
        Global::append("Enc. [");
        Global::format(enclosure);
        Global::append("] Devices ");
        Global::format(count);
        Global::append("\n");
    }
    return Global::report(status);
}

uint32_t commandEnclosure::getDeviceWWNInSlot(uint32_t enclosure, uint32_t slot) {
    unsigned n = 0;
    const uint32_t status = readDrives(n);
    if (status != 0) return Global::report(status);
    for (unsigned i = 0; i < n; ++i) {
        if (drive(i)[kEnclosureNo] == enclosure && drive(i)[kSlotNo] == slot)
            return reportWwn(enclosure, "slot", slot, i);
    }
    Global::append("Error: Invalid parameters\n");
    return Global::report(CMD_ERR_INVALID_DEVICE_INDEX);
}

uint32_t commandEnclosure::getDeviceWWNOfEnclosure(uint32_t enclosure, uint32_t index) {
    unsigned n = 0;
    if (readDrives(n) == 0) {
        uint32_t seen = 0;
        for (unsigned i = 0; i < n; ++i) {
            if (drive(i)[kEnclosureNo] != enclosure) continue;
            if (seen++ == index) return reportWwn(enclosure, "index", index, i);
        }
    }
    Global::append("Error: Invalid index\n");
    return Global::report(CMD_ERR_INVALID_DEVICE_INDEX);
}

uint32_t commandEnclosure::getEnclosureLocation(uint32_t enclosure, uint32_t seconds) {
    if (enclosure == 0 || enclosure > kMaxEnclosure) {
        Global::append("\nThe enclosure index must be 1 and above\n");
        return Global::report(CMD_ERR_INVALID_ENCLOSURE_INDEX);
    }
    if (seconds == 0 || seconds > kMaxLocateSeconds) return Global::report(CMD_ERR_INVALID_TIMING_RANGE);
    LOCATE_ENCLOSURE_REQUEST request{128, seconds, static_cast<uint8_t>(enclosure)};
    const uint32_t status = LAPILocateEnclosure(m_index, &request);
    if (status == 0) Global::append("\nSetting drive LED to flash for %d seconds\n", seconds);
    return Global::report(status);
}

uint32_t commandEnclosure::returnDeviceWWNInSlot(uint32_t slot, uint64_t& wwn) {
    unsigned n = 0;
    const uint32_t status = readDrives(n);
    if (status != 0) return status;
    for (unsigned i = 0; i < n; ++i) {
        if (drive(i)[kSlotNo] != slot) continue;
        wwn = 0;
        for (int b = 0; b < 8; ++b) wwn = (wwn << 8) | drive(i)[kWwn + b];
        return 0;
    }
    Global::append("Error: Invalid parameters\n");
    return CMD_ERR_INVALID_DEVICE_INDEX;
}
