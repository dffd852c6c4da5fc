#include "commands/derived.h"

#include <cstring>

#include "commands/controller_report.h"
#include "commands/global.h"
#include "lapi/reads.h"
#include "wire/config.h"

uint32_t DConfigController::readConfigurationAndInformation() {
    uint32_t status = readConfiguration();
    return status != 0 ? status : readInformation();
}

uint32_t DConfigController::getRegenState() {
    uint32_t status = readConfigurationAndInformation();
    if (status != 0) return Global::report(status);
    auto info = information();
    if (info.rebuild.inProgress == wire::kFlagYes) Global::append("\nRegen In Progress : 1 (in progress) ");
    else Global::append("\nRegen In Progress : 0 (not in progress)");
    return Global::report(0);
}

uint32_t DConfigController::getRegenPercentComplete() {
    uint32_t status = readConfigurationAndInformation();
    if (status != 0) return Global::report(status);
    auto info = information();
    if (info.rebuild.inProgress == wire::kFlagYes) {
        Global::append("\nRegen Percent Complete :");
        Global::format(info.rebuild.percent);
        Global::append("\n");
    } else {
        Global::append("\nRegen not in progress :0");
    }
    return Global::report(0);
}

uint32_t DConfigController::getArrayExpandState() {
    uint32_t status = readConfigurationAndInformation();
    if (status != 0) return Global::report(status);
    auto info = information();
    if (info.expansion.inProgress == wire::kFlagYes) Global::append("\nExpansion In Progress : 1 (in progress)");
    else Global::append("\nExpansion In Progress : 0 (not in progress)");
    return Global::report(0);
}

uint32_t DConfigController::getArrayExpandPercentComplete() {
    uint32_t status = readConfigurationAndInformation();
    if (status != 0) return Global::report(status);
    auto info = information();
    if (info.expansion.inProgress == wire::kFlagYes) {
        Global::append("\nArray Expand Percent Complete :");
        Global::format(info.expansion.percent);
        Global::append("\n");
    } else {
        Global::append("\nArray Expansion : 0 (not in progress)");
    }
    return Global::report(0);
}

uint32_t DConfigController::getParityCheckState() {
    uint32_t status = readConfigurationAndInformation();
    if (status != 0) return Global::report(status);
    auto info = information();
    if (info.parityCheck.inProgress == wire::kFlagYes) {
        Global::append("\nParity Check In Progress with Array ID ");
        Global::format(info.parityCheck.array);
        Global::append(" with mode ");
        Global::format(info.parityCheck.mode);
        Global::append(": 1 (in progress) \n");
    } else {
        Global::append("\nParity Check In Progress: 0 (not in progress)");
    }
    return Global::report(0);
}

uint32_t DConfigController::getParityCheckPercentComplete() {
    uint32_t status = readConfigurationAndInformation();
    if (status != 0) return Global::report(status);
    auto info = information();
    if (info.parityCheck.inProgress == wire::kFlagYes) {
        Global::append("Parity Check PercentComplete : ");
        Global::append(" - Array:");
        Global::format(info.parityCheck.array);
        Global::append(", Mode:%s", commands::parityModeText(info.parityCheck.mode).c_str());
        Global::append(", Errors:");
        Global::format(info.parityCheck.errorCount.get());
        Global::append(", Complete:");
        Global::format(info.parityCheck.percent);
        Global::append("%%\n");
    } else {
        Global::append("Parity Check not in progress : 0 (not in progress) \n");
    }
    return Global::report(0);
}
