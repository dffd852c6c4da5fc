// The controller library's maintenance commands: reset, shutdown, clock,
// statistics, firmware download, and the header settings of DConfigController
// (host data rate, controller LUN).
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "commands/config_view.h"
#include "commands/controller.h"
#include "commands/derived.h"
#include "commands/global.h"
#include "lapi/config_writes.h"
#include "lapi/maintenance_writes.h"
#include "lapi/reads.h"

uint32_t commandController::controllerMask(uint32_t index, bool quietOther, uint32_t& mask) const {
    const auto info = information();
    const bool a = info.controllerValid[0] == wire::kFlagYes;
    const bool b = info.controllerValid[1] == wire::kFlagYes;
    switch (index) {
    case 0:
        if (a) return mask = 1, 0;
        Global::append("Error: Controller A invalid\n");
        break;
    case 1:
        if (b) return mask = 2, 0;
        Global::append("Error: Controller B invalid\n");
        break;
    case 2:
        if (a && b) return mask = 3, 0;
        Global::append("Error: Controller A or B invalid\n");
        break;
    default:
        if (!quietOther) Global::append("Error: controller index invalid\n");
        break;
    }
    return CMD_ERR_INVALID_CONTROLLER_INDEX;
}

uint32_t commandController::reset(uint32_t index) {
    uint32_t status = readInformation();
    uint32_t mask = 0;
    if (status == 0) status = controllerMask(index, false, mask);
    if (status == 0) status = LAPIResetController(m_index, &mask);
    if (status == 0) Global::append("Reset Controller Successful\n");
    return Global::report(status);
}

uint32_t commandController::shutDown(uint32_t index, uint32_t mode) {
    uint32_t status = readInformation();
    uint32_t mask = 0;
    if (status == 0) status = controllerMask(index, false, mask);
    if (status == 0 && mode > 1) status = CMD_ERR_INVALID_MODE;
    if (status == 0) {
        CONTROLLER_REQUEST request{mask, static_cast<uint8_t>(mode)};
        status = LAPIShutdownController(m_index, &request);
    }
    if (status == 0) {
        Global::append("Shutdown  :");
        Global::format(index);
        Global::append(" successful\n");
    }
    return Global::report(status);
}

uint32_t commandController::setControllerTime() {
    uint32_t status = readInformation();
    if (status == 0) {
        const time_t now = std::time(nullptr);
        status = LAPISetControllerTime(m_index, &now);
    }
    if (status == 0) Global::append("Time Sync Successful\n");
    return Global::report(status);
}

uint32_t commandController::ClearControllerStatistics(uint32_t index, uint32_t port, uint32_t lun) {
    uint32_t status = readInformation();
    uint32_t mask = 0;
    if (status == 0) status = controllerMask(index, true, mask);
    if (status == 0 && port > 2) status = CMD_ERR_INVALID_PORT;
    if (status == 0 && lun >= 512 && lun != 0xFFFF) status = CMD_ERR_INVALID_LUN_INDEX;
    if (status == 0) {
        STATISTICS_REQUEST request{static_cast<uint8_t>(port), 0, static_cast<uint16_t>(lun), nullptr};
        if (mask & 1) status = LAPIClearControllerStatisticsA(m_index, &request);
        if (mask & 2) status = LAPIClearControllerStatisticsB(m_index, &request);
    }
    if (status == 0) Global::append("\nController Statistics cleared\n");
    return Global::report(status);
}

namespace {

// The whole image file, checked before anything is sent: a regular file, not
// empty, not larger than a download can address, read completely. On failure
// the line printed says which check failed.
// The buffer is not cleared first: every byte of it is read from the file.
struct Image {
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
};

uint32_t readImage(const std::string& path, Image& image) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        std::printf("Error: Could not open file (%s)\n\n", path.c_str());
        return CMD_ERR_MEMORY;
    }
    struct FileCloser {
        std::FILE* f;
        ~FileCloser() { std::fclose(f); }
    } closer{f};
    struct stat st {};
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::printf("Error: %s is not a regular file\n\n", path.c_str());
        return CMD_ERR_CANNOT_OPEN_FILE;
    }
    if (st.st_size == 0) {
        std::printf("Error: %s is empty\n\n", path.c_str());
        return CMD_ERR_CANNOT_OPEN_FILE;
    }
    if (static_cast<uint64_t>(st.st_size) > kMaxFirmwareImageSize) {
        std::printf("Error: %s is %llu bytes; a firmware image is at most %u bytes\n\n", path.c_str(),
                    static_cast<unsigned long long>(st.st_size), kMaxFirmwareImageSize);
        return CMD_ERR_CANNOT_OPEN_FILE;
    }
    image.size = static_cast<size_t>(st.st_size);
    image.bytes.reset(new uint8_t[image.size]);
    if (std::fread(image.bytes.get(), 1, image.size, f) != image.size || std::fgetc(f) != EOF) {
        std::printf("Error: Could not read file (%s)\n\n", path.c_str());
        return CMD_ERR_CANNOT_OPEN_FILE;
    }
    return 0;
}

}  // namespace

uint32_t commandController::uploadFw(const std::string& path, uint32_t kind) {
    Image image;
    uint32_t status = readImage(path, image);
    if (status == 0 && kind != 1 && kind != 2) status = CMD_ERR_INVALID_SELECTION;
    if (status == 0) {
        std::printf("Uploading Controller F/W from the file : %s\n", path.c_str());
        std::printf("F/W File Size = %lu bytes\n", static_cast<unsigned long>(image.size));
        std::fflush(stdout);
        FIRMWARE_REQUEST request{image.bytes.get(), static_cast<uint32_t>(image.size)};
        uint32_t result = kind == 1 ? LAPIDownloadFlashToController(m_index, &request)
                                    : LAPIDownloadDriveIOFirmware(m_index, &request);
        status = result == 0 ? 0 : CMD_ERR_FIRMWARE_DOWNLOAD;
        if (status == 0) std::printf("Download firmware is successful\n");
    }
    std::fflush(stdout);
    return Global::report(status);
}

// ---------------------------------------------------------------------------
// DConfigController

uint32_t DConfigController::applyHeader(const std::function<void(wire::CONFIG_STORAGE_HEADER_STRUCT&)>& change) {
    wire::CONFIG_STORAGE_HEADER_STRUCT header;
    std::memcpy(&header, m_work.config.get(), sizeof header);
    change(header);
    const auto info = information();
    const auto& record = wire::activeController(info);
    HOST_ADDRESS_REQUEST request{reinterpret_cast<const uint8_t*>(&header), m_work.config.get(),
                                 reinterpret_cast<const uint8_t*>(&record)};
    return LAPISetHardAddressHostAddress(commandController::systemIndex(), &request);
}

uint32_t DConfigController::setHardAddressHostAddress(uint32_t rate) {
    uint32_t status = readConfigurationAndInformation();
    if (status != 0) return Global::report(status);
    const auto info = information();
    const auto& record = wire::activeController(info);
    uint8_t type0 = 1, type1 = 1;
    if (record.controllerType & 0x80) {
        type0 = record.portInterfaceType[0] & 0x0F;
        type1 = record.portInterfaceType[1] & 0x0F;
    }
    // The rate travels in four bits: a larger value would arrive cut.
    if (rate > 15) status = CMD_ERR_INVALID_SELECTION;
    else if (type0 == 1 || type1 == 1) status = rate <= 3 ? 0 : CMD_ERR_INVALID_SELECTION;
    else if (type0 == 6 || type1 == 6) status = rate <= 2 ? 0 : CMD_ERR_INVALID_SELECTION;
    if (status != 0) return Global::report(status);
    status = applyHeader([rate](wire::CONFIG_STORAGE_HEADER_STRUCT& header) {
        header.hostDataRate[0] = header.hostDataRate[1] = static_cast<uint8_t>(rate);
    });
    if (status == 0) Global::append("\nSetting of host data rate successful.");
    return Global::report(status);
}

uint32_t DConfigController::setControllerLun(uint32_t mode, uint32_t lun) {
    uint32_t status = readConfiguration();
    if (status == 0 && mode > 1) status = CMD_ERR_INVALID_SELECTION;
    if (status == 0 && lun > 512) status = CMD_ERR_INVALID_LUN_MAP_INDEX;
    if (status != 0) return Global::report(status);
    uint16_t value = 0xFFFF;
    if (mode == 1) {
        value = static_cast<uint16_t>(lun);
        const commands::ConfigView view(m_work.config.get());
        for (size_t m = 0; m < view.lunMapCount() && lun < wire::kLunsPerMap; ++m) {
            if (view.lunMap(m).awLunMap[lun].get() != wire::kLunNotMapped) {
                Global::append("\nError: Lun Map Number has already been assigned.\n");
                return Global::report(CMD_ERR_INVALID_LUN_MAP_INDEX);
            }
        }
    }
    status = readInformation();
    if (status != 0) return Global::report(status);
    status = applyHeader([value](wire::CONFIG_STORAGE_HEADER_STRUCT& header) { header.controllerLun.set(value); });
    if (status == 0) Global::append("\nSetting controller lun successful\n");
    return Global::report(status);
}

uint32_t DConfigController::setConfigurationWWN(uint32_t index) {
    uint32_t status = readConfiguration();
    if (status != 0) return Global::report(status);
    if (index > 1) {
        Global::append("Error: controller index invalid\n");
        return Global::report(CMD_ERR_INVALID_CONTROLLER_INDEX);
    }
    SET_CONFIG_WWN_REQUEST request{index + 1};
    status = LAPISetConfigWWN(commandController::systemIndex(), &request);
    if (status == 0) {
        Global::append("Changing Controller wwn to ");
        Global::format(request.controller);
        Global::append(" successful \n");
    }
    return Global::report(status);
}
