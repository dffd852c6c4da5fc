#include "commands/device.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>

#include "commands/global.h"
#include "lapi/lapi_status.h"
#include "lapi/maintenance_writes.h"
#include "lapi/reads.h"
#include "wire/controller.h"

namespace {

constexpr uint32_t kAllDrives = 0xFFFFFFFF;
constexpr uint32_t kBlocksPerGb = 1953792;

unsigned long long ull(uint64_t v) { return static_cast<unsigned long long>(v); }

// "Error: Invalid index, Valid Index from 0 - <count - 1>\n" and its variants.
uint32_t invalidIndex(const char* text, size_t count) {
    Global::append("%s", text);
    Global::format(static_cast<uint32_t>(count) - 1);
    Global::append("\n");
    return CMD_ERR_INVALID_DEVICE_INDEX;
}

}  // namespace

commandDevice::commandDevice()
    : m_driveList(commands::allocateBuffer(kDriveListSize)),
      m_driveApm(commands::allocateBuffer(kDriveApmSize)),
      m_apmStatus(commands::allocateBuffer(kApmStatusSize)) {
    if (!m_driveList || !m_driveApm || !m_apmStatus)
        commands::allocationFailure("Error: Memory allocation failure!\n", false);
}

uint32_t commandDevice::readDrives() {
    m_count = 0;
    std::memset(m_driveList.get(), 0, kDriveListSize);
    return LAPIGetEnclosureDriveData(m_index, m_driveList.get(), &m_count);
}

wire::DRIVE_INFO_STRUCT commandDevice::drive(size_t i) const {
    wire::DRIVE_INFO_STRUCT d;
    std::memcpy(&d, m_driveList.get() + offsetof(wire::ALL_DRIVE_INFO_STRUCT, drive) + i * sizeof d, sizeof d);
    return d;
}

int commandDevice::findByWwn(uint64_t wwn) const {
    for (size_t i = 0; i < driveCount(); ++i)
        if (drive(i).abNodeName.get() == wwn) return static_cast<int>(i);
    return -1;
}

int commandDevice::findBySlot(uint32_t slot, uint32_t enclosure) const {
    for (size_t i = 0; i < driveCount(); ++i) {
        const auto d = drive(i);
        if (d.enclosureNo == enclosure && d.slotNo == slot) return static_cast<int>(i);
    }
    return -1;
}

size_t commandDevice::apmCount() const {
    const uint8_t n = m_driveApm.get()[offsetof(wire::ALL_DRIVE_APM_STATUS_STRUCT, numEntries)];
    return n < wire::kMaxDrives ? n : wire::kMaxDrives;
}

wire::DRIVE_APM_STATUS_STRUCT commandDevice::apmEntry(size_t i) const {
    wire::DRIVE_APM_STATUS_STRUCT e;
    std::memcpy(&e, m_driveApm.get() + offsetof(wire::ALL_DRIVE_APM_STATUS_STRUCT, entry) + i * sizeof e, sizeof e);
    return e;
}

int commandDevice::findApmEntry(uint32_t slot, uint32_t enclosure) const {
    for (size_t i = 0; i < apmCount(); ++i) {
        const auto e = apmEntry(i);
        if (e.enclosureNo == enclosure && e.slotNo == slot) return static_cast<int>(i);
    }
    return -1;
}

uint32_t commandDevice::apmStatus() {
    std::memset(m_driveApm.get(), 0, kDriveApmSize);
    std::memset(m_apmStatus.get(), 0, kApmStatusSize);
    return LAPIGetAPMStatus(m_index, m_apmStatus.get());
}

uint32_t commandDevice::slotPreamble(uint32_t slot, uint32_t enclosure, uint32_t check, bool apmList,
                                     bool driveList) {
    uint32_t status = apmStatus();
    if (status == 0) status = check;
    if (status == 0 && (enclosure < 1 || enclosure > 10)) status = CMD_ERR_INVALID_ENCLOSURE_INDEX;
    if (status == 0 && (slot < 1 || slot > 48)) status = CMD_ERR_INVALID_SLOT_INDEX;
    if (status == 0 && apmList) status = LAPIGetDriveAPMStatus(m_index, m_driveApm.get());
    if (status == 0 && driveList) status = readDrives();
    return status;
}

uint32_t commandDevice::noSuchDrive(const char* prefix) {
    Global::append("%sCannot find drive specified / drive doest not exist\n", prefix);
    return Global::report(CMD_ERR_INVALID_DEVICE_INDEX);
}

void commandDevice::appendGroup(size_t entry) const {
    if (entry < driveCount() && drive(entry).driveStatus == wire::kDriveStatusFailed) {
        Global::append("Failed drive\n");
        return;
    }
    const uint8_t group = apmEntry(entry).driveGroup;
    switch (group) {
    case 243: Global::append("Drive under use for array rebuild"); break;
    case 245: Global::append("Hotspare drive"); break;
    case 255: Global::append("Unused drive"); break;
    default: Global::append("Drive belongs to array %d", group); break;
    }
}

// ---------------------------------------------------------------------------
// Drive list reports

uint32_t commandDevice::getNum() {
    uint32_t status = readDrives();
    if (status == 0) {
        Global::append("Number of devices: ");
        Global::format(m_count);
        Global::append("\n");
    }
    return Global::report(status);
}

uint32_t commandDevice::getName(uint32_t index) {
    uint32_t status = readDrives();
    if (status == 0 && index >= m_count)
        status = invalidIndex("\nError: Invalid device Index, Valid Range, 0 - ", m_count);
    if (status == 0) {
        Global::append("\nDevice[");
        Global::format(index);
        Global::append("] WWN (HEX):%0llX\n", ull(index < driveCount() ? drive(index).abNodeName.get() : 0));
    }
    return Global::report(status);
}

uint32_t commandDevice::getNumberOfUnusedDrives() {
    uint32_t status = readDrives();
    if (status == 0) {
        uint32_t unused = 0;
        for (size_t i = 0; i < driveCount(); ++i)
            if (drive(i).rankNo == wire::kDriveUnused) ++unused;
        Global::append("Number of unused drives: ");
        Global::format(unused);
        Global::append("\n");
    }
    return Global::report(status);
}

uint32_t commandDevice::reportDrive(uint64_t wwn, const char* missing,
                                    const std::function<void(const wire::DRIVE_INFO_STRUCT&)>& report) {
    uint32_t status = readDrives();
    if (status != 0) return Global::report(status);
    const int d = findByWwn(wwn);
    if (d < 0) {
        Global::append(missing, ull(wwn));
        return Global::report(CMD_ERR_INVALID_DEVICE_INDEX);
    }
    report(drive(static_cast<size_t>(d)));
    return Global::report(0);
}

uint32_t commandDevice::getDeviceSizeInBlocks(uint64_t wwn) {
    return reportDrive(wwn, "\nError: Drive with device WWN entered doesnt exist", [](const wire::DRIVE_INFO_STRUCT& d) {
        Global::append("Size: ");
        Global::format(d.capacity.get());
        Global::append("\n");
    });
}

uint32_t commandDevice::getDeviceStatus(uint64_t wwn) {
    return reportDrive(wwn, "Invalid Device [%0llX]\n\n", [&](const wire::DRIVE_INFO_STRUCT& d) {
        Global::append("Device [%0llX] status:", ull(wwn));
        Global::format(d.driveStatus);
        Global::append("\n");
    });
}

uint32_t commandDevice::getArrayID(uint64_t wwn) {
    return reportDrive(wwn, "Error:Invalid Device [%0llX]\n", [&](const wire::DRIVE_INFO_STRUCT& d) {
        Global::append("\nDevice [%0llX] Array ID: ", ull(wwn));
        Global::format(d.rankNo);
        Global::append("\n");
    });
}

uint32_t commandDevice::getDeviceState(uint64_t wwn) {
    return reportDrive(wwn, "Error:Invalid Device [%0llX]\n", [&](const wire::DRIVE_INFO_STRUCT& d) {
        Global::append("Device [%0llX] ", ull(wwn));
        Global::append("state: ");
        Global::format(d.rankNo);
        Global::append("\n");
    });
}

uint32_t commandDevice::getEnclosureNoOfDevice(uint32_t index) {
    uint32_t status = readDrives();
    if (status == 0 && index >= driveCount())
        status = invalidIndex("\nError: Invalid index, Valid Index from 0 - ", m_count);
    if (status == 0) {
        Global::append("\nEnclosureNo: ");
        Global::format(drive(index).enclosureNo);
        Global::append("\n");
    }
    return Global::report(status);
}

uint32_t commandDevice::getDriveRevision(uint32_t index) {
    uint32_t status = readDrives();
    if (status == 0 && index >= driveCount())
        status = invalidIndex("Error: Invalid index, Valid Index from 0 - ", m_count);
    if (status == 0) {
        const auto d = drive(index);
        auto text = [](const char* field, size_t width) { return std::string(field, strnlen(field, width)); };
        Global::append("\nVendorId                   :");
        Global::append(" %.8s", text(d.vendorId, 8).c_str());
        Global::append("\nProductId                  :");
        Global::append(" %.16s", text(d.productId, 16).c_str());
        Global::append("\nProductRevLevel            :");
        Global::append(" %.4s", text(d.productRevLevel, 4).c_str());
        Global::append("\nSerialNumber               :");
        Global::append(" %.8s", text(d.serialNumber, 8).c_str());
        Global::append("\n");
    }
    return Global::report(status);
}

uint32_t commandDevice::getAllDriveInfoStruct(uint32_t filter) {
    std::ostringstream out;
    const bool hex = Global::fMode == 1;
    auto number = [&](uint64_t v) {
        char buf[24];
        std::snprintf(buf, sizeof buf, hex ? "0x%llx" : "%llu", ull(v));
        return std::string(buf);
    };
    auto line = [&](const char* label, const std::string& value) {
        char padded[32];
        std::snprintf(padded, sizeof padded, "%-29s", label);
        out << "\n" << padded << ": " << value;
    };
    auto text = [](const char* field, size_t width) { return std::string(field, strnlen(field, width)); };

    uint32_t status = readDrives();
    if (status == 0) {
        auto passes = [&](const wire::DRIVE_INFO_STRUCT& d) { return filter == kAllDrives || d.driveStatus == filter; };
        size_t entries = 0;
        for (size_t i = 0; i < driveCount(); ++i) entries += passes(drive(i)) ? 1 : 0;
        out << "\n===============Enclosure Drive Data============\n";
        out << "\nNumDrives  : " << number(m_count);
        out << "\nNoOfEntries: " << number(entries);
        if (filter != kAllDrives) out << "\nFiltered by Status = " << number(filter);
        for (size_t i = 0; i < driveCount(); ++i) {
            const auto d = drive(i);
            if (!passes(d)) continue;
            out << "\n********* Entry " << number(i) << " *********\n";
            line("LoopID1", number(d.loopId1));
            line("LoopID2", number(d.loopId2));
            line("HardIDFromADISC", number(d.hardIdFromAdisc));
            line("EnclosureNo", number(d.enclosureNo));
            line("SlotNo", number(d.slotNo));
            line("SES0_IDLoop1", number(d.ses0IdLoop1));
            line("SES0_IDLoop2", number(d.ses0IdLoop2));
            line("SES1_IDLoop1", number(d.ses1IdLoop1));
            line("SES1_IDLoop2", number(d.ses1IdLoop2));
            line("RankNo", number(d.rankNo));
            line("DriveNo", number(d.driveNo));
            line("DriveStatus", number(d.driveStatus));
            char wwn[20];
            std::snprintf(wwn, sizeof wwn, "%016llx", ull(d.abNodeName.get()));
            line("abNodeName", wwn);
            line("Capacity", number(d.capacity.get() / kBlocksPerGb) + " GB");
            line("MaxRaid5XORWriteSize", number(d.maxRaid5XorWriteSize.get()));
            line("BlockSize", number(d.blockSize.get()));
            line("SESEnabled", number(d.sesEnabled));
            line("ValidFirmwareImage", number(d.validFirmwareImage));
            line("SES_ControlFlags", number(d.sesControlFlags));
            line("SES_ArrayFlags", number(d.sesArrayFlags));
            line("SES_SlotId", number(d.sesSlotId));
            line("VendorId", text(d.vendorId, sizeof d.vendorId));
            line("ProductId", text(d.productId, sizeof d.productId));
            line("ProductRevLevel", text(d.productRevLevel, sizeof d.productRevLevel));
            out << "\n";
            line("SerialNumber", text(d.serialNumber, sizeof d.serialNumber));
        }
    }
    out << "\n";
    Global::errorHandler(status);
    const std::string listing = out.str();
    std::fwrite(listing.data(), 1, listing.size(), stdout);
    Global::print();
    return status;
}

uint32_t commandDevice::setDriveIdentLight(uint32_t index, uint32_t seconds) {
    if (seconds < 1 || seconds > 120) {
        Global::append("Error. Flash timing value out of range(Valid values: %d - %d)\n", 1, 120);
        return Global::report(CMD_ERR_INVALID_TIMING_RANGE);
    }
    uint32_t status = readDrives();
    if (status == 0 && index >= driveCount())
        status = invalidIndex("\nError: Invalid index, Valid Index from 0 - ", m_count);
    if (status != 0) return Global::report(status);
    const auto d = drive(index);
    FLASH_LIGHT_REQUEST request{1, seconds, d.hardIdFromAdisc};
    if (d.loopId1 == 0xFF) {
        if (d.loopId2 == 0xFF) {
            Global::append("Error. There is no loop ID. Exiting command\n");
            return Global::report(CMD_ERR_NO_LOOP_ID);
        }
        request.loop = 2;
    }
    status = LAPIFlashDriveLight(m_index, &request);
    if (status != 0) Global::append("Error.Unable to flash drive LED\n");
    else Global::append("Flashing Drive %u LED for %u seconds\n ", index, seconds);
    return Global::report(status);
}

// ---------------------------------------------------------------------------
// Drive power control

uint32_t commandDevice::getAPMDriveStatus() {
    uint32_t status = apmStatus();
    if (status == 0) status = LAPIGetDriveAPMStatus(m_index, m_driveApm.get());
    if (status == 0) status = readDrives();
    if (status != 0) return Global::report(status);
    static const char* const kStates[] = {"Drive Spun Down - 0x%.2x\n", "Drive Spun Up - 0x%.2x\n",
                                          "Drive Spinning Up - 0x%.2x\n", "Drive Testing - 0x%.2x\n"};
    uint32_t counts[5] = {};
    Global::append("\n===============Drive APM Data============\n");
    Global::append("\nNoOfEntries: ");
    Global::format(static_cast<uint32_t>(apmCount()));
    for (size_t i = 0; i < apmCount(); ++i) {
        const auto e = apmEntry(i);
        Global::append("\n********* Entry %d *********", static_cast<int>(i));
        Global::append("\nEnclosureNo                  : ");
        Global::format(e.enclosureNo);
        Global::append("\nSlotNo                       : ");
        Global::format(e.slotNo);
        Global::append("\nDrive Group                  : ");
        appendGroup(i);
        Global::append("\nabNodeName                   : %016llX", ull(e.wwn.get()));
        Global::append("\nDrive APM status             : ");
        if (e.apmState >= 1 && e.apmState <= 4) {
            Global::append(kStates[e.apmState - 1], e.apmState);
            ++counts[e.apmState];
        } else {
            Global::append("Drive APM status invalid\n");
            status = CMD_ERR_APM_REQUEST_INVALID;
        }
    }
    if (status == 0) {
        Global::append("******************SUMMARY******************\n");
        Global::append("Total number of spinning drives: %d\n", counts[3]);
        Global::append("Total number of spun up drives: %d\n", counts[2]);
        Global::append("Total number of spun down drives: %d\n", counts[1]);
        Global::append("Total number of drive under APM test: %d\n", counts[4]);
    }
    Global::append("\n");
    return Global::report(status);
}

uint32_t commandDevice::getSpecificDriveAPMStatus(uint32_t slot, uint32_t enclosure) {
    uint32_t status = slotPreamble(slot, enclosure, 0, true, true);
    if (status != 0) return Global::report(status);
    const int found = findApmEntry(slot, enclosure);
    if (found < 0) return noSuchDrive("");
    const auto e = apmEntry(static_cast<size_t>(found));
    Global::append("Drive WWN       : %016llX", ull(e.wwn.get()));
    Global::append("\nDrive Group     : ");
    appendGroup(static_cast<size_t>(found));
    Global::append("\nDrive APM Status: ");
    static const char* const kStates[] = {"Drive Spun Down\n", "Drive Spun Up\n", "Drive Spinning Up\n",
                                          "Drive Testing\n"};
    if (e.apmState >= 1 && e.apmState <= 4) {
        Global::append("%s", kStates[e.apmState - 1]);
    } else {
        Global::append("Drive APM status invalid\n");
        status = CMD_ERR_APM_REQUEST_INVALID;
    }
    return Global::report(status);
}

uint32_t commandDevice::getDriveFunctionalTestStatus(uint32_t slot, uint32_t enclosure) {
    const uint32_t status = slotPreamble(slot, enclosure, 0, true, false);
    if (status != 0) return Global::report(status);
    const int found = findApmEntry(slot, enclosure);
    if (found < 0) return noSuchDrive("");
    if (apmEntry(static_cast<size_t>(found)).apmState == 4) Global::append("Drive under test: 1\n");
    else Global::append("Drive completed test/not under test: 0\n");
    return Global::report(0);
}

uint32_t commandDevice::setManualSpinUpOrDownDrives(uint32_t slot, uint32_t enclosure, uint32_t direction) {
    uint32_t status = slotPreamble(slot, enclosure, direction > 1 ? CMD_ERR_INVALID_SELECTION : 0, true, true);
    if (status != 0) return Global::report(status);
    const int found = findBySlot(slot, enclosure);
    if (found < 0) return noSuchDrive("Error: ");
    const auto d = drive(static_cast<size_t>(found));
    if (d.rankNo != wire::kDriveHotSpare && d.rankNo != wire::kDriveUnused &&
        d.driveStatus != wire::kDriveStatusFailed) {
        Global::append("Error: Drive is not an unused drive, failed drive or a hotspare\n");
        return Global::report(CMD_ERR_APM_REQUEST_INVALID);
    }
    const uint8_t request[3] = {static_cast<uint8_t>(slot), static_cast<uint8_t>(enclosure),
                                static_cast<uint8_t>(direction)};
    status = LAPISetManualSpinUpOrDownDrive(m_index, request);
    if (status == 0) {
        Global::append("Drive on slot[");
        Global::format(slot);
        Global::append("] enclosure[");
        Global::format(enclosure);
        Global::append("] spun ");
        Global::append(direction == 0 ? " down successfully\n" : " up successfully\n");
    }
    return Global::report(status);
}

uint32_t commandDevice::setDriveFunctionalTest(uint32_t slot, uint32_t enclosure) {
    uint32_t status = slotPreamble(slot, enclosure, 0, false, true);
    if (status != 0) return Global::report(status);
    const int found = findBySlot(slot, enclosure);
    if (found < 0) return noSuchDrive("Error: ");
    const auto d = drive(static_cast<size_t>(found));
    if (d.rankNo != wire::kDriveHotSpare && d.rankNo != wire::kDriveUnused) {
        Global::append("Error: Drive is not an unused drive or a hotspare\n");
        return Global::report(CMD_ERR_APM_REQUEST_INVALID);
    }
    const uint8_t request[2] = {static_cast<uint8_t>(slot), static_cast<uint8_t>(enclosure)};
    status = LAPISetDriveFunctionalTest(m_index, request);
    if (status == 0) {
        Global::append("Functional verification started on slot[");
        Global::format(slot);
        Global::append("] enclosure[");
        Global::format(enclosure);
        Global::append("]\n");
    }
    return Global::report(status);
}

uint32_t commandDevice::setFailDrive(uint32_t array, uint32_t drive) {
    std::memset(m_apmStatus.get(), 0, kApmStatusSize);
    uint32_t status = LAPIGetControllerInfoAndDriveFailureInfo(m_index, m_apmStatus.get());
    if (status == 0) {
        // The command carries one byte each: a larger value would fail another drive.
        if (array > 0xFF || drive > 0xFF)
            status = LAPI_ERR_BAD_PARAMETERS;
        else if (LAPIFeatureFlags(m_apmStatus.get()) & wire::kFeatureFailDrive)
            status = LAPIFailDrive(m_index, static_cast<uint8_t>(array), static_cast<uint8_t>(drive));
        else
            status = LAPI_ERR_COMMAND_FAILED;
    }
    std::printf("\nFail Drive for (ArrayID = %u, DriveID = %u)%s", array, drive,
                status == 0 ? " completed successfuly." : " failed.");
    std::fflush(stdout);
    return status;
}

uint32_t commandDevice::setFailDrive(uint64_t wwn) {
    uint32_t status = readDrives();
    if (status != 0) return Global::report(status);
    const int d = findByWwn(wwn);
    if (d < 0) {
        // Nothing happened: say so rather than end in silence with success.
        Global::append("\nError: Drive with device WWN entered doesnt exist");
        return Global::report(CMD_ERR_INVALID_DEVICE_INDEX);
    }
    const auto rec = drive(static_cast<size_t>(d));
    return setFailDrive(rec.rankNo, rec.driveNo);
}
