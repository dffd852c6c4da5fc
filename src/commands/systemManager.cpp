#include "commands/systemManager.h"

#include <cstring>

#include "commands/config_view.h"
#include "commands/global.h"
#include "lapi/config_writes.h"
#include "lapi/maintenance_writes.h"
#include "lapi/reads.h"
#include "net/update.h"
#include "scsi/discovery.h"
#include "wire/config.h"
#include "wire/requests.h"

namespace {

void appendFlag(const char* label, uint16_t flags, uint16_t bit) {
    Global::append("%s%s", label, (flags & bit) ? "Enabled\n" : "Disabled\n");
}

}  // namespace

commandSystemManager::commandSystemManager() {
    bool ok = true;
    for (size_t i = 0; i < 8; ++i) {
        m_buffers[i] = commands::allocateBuffer(kBufferSizes[i]);
        ok = ok && m_buffers[i];
    }
    if (!ok) commands::allocationFailure("", true);
}

uint32_t commandSystemManager::whoAmI() {
    // Out-of-band, the systems the tool can reach are the network modules.
    if (m_outOfBand) Discovery(1, 0);
    else LAPIPrintTolvoDevicesInfo();
    return 0;
}

uint32_t commandSystemManager::setSystemParams(const uint32_t values[11]) {
    struct Check {
        int field;
        bool isSwitch;
        uint32_t low, high;
        const char* message;
    };
    static constexpr Check kChecks[] = {
        {0, true, 0, 0, "\nError: Invalid Log SES events selection."},
        {2, true, 0, 0, "\nError: Invalid Auto Hot Spare selection."},
        {3, true, 0, 0, "\nError: Invalid Auto Drive Update selection."},
        {1, false, 10, 90, "\nError: Invalid Rebuild Priority selection."},
        {7, true, 0, 0, "\nError: Invalid Auto Rebuild selection."},
        {6, false, 10, 90, "\nError: Invalid Initialize Priority selection."},
        {8, true, 0, 0, "\nError: Invalid Background verify selection."},
        {4, true, 0, 0, "\nError: Invalid Allow Command Balancing selection."},
        {5, false, 1, 64, "\nError: Invalid Command Balance Count selection."},
        {9, true, 0, 0, "\nError: Invalid Single Controller Mode selection."},
        {10, true, 0, 0, "\nError: Invalid Different Node Name on Host Ports selection."},
    };
    SYSTEM_PARAMS_REQUEST request{};
    for (const Check& c : kChecks) {
        const uint32_t v = values[c.field];
        bool ok;
        if (c.isSwitch) {
            ok = v == 0 || v == 1 || v == 255;
            request.field[c.field] = v == 1 ? 0xF1 : v == 0 ? 0xF0 : 0xFF;
        } else {
            ok = v >= c.low && v <= c.high;
            request.field[c.field] = v;
        }
        if (!ok) {
            Global::append("%s", c.message);
            return Global::report(CMD_ERR_INVALID_SELECTION);
        }
    }
    uint32_t status = LAPISetSystemParams(m_index, &request);
    if (status == 0) {
        Global::append("SetSystemParams:Succeeded, ret: ");
        Global::format(status);
        Global::append("\n");
    }
    return Global::report(status);
}

uint32_t commandSystemManager::apmPreamble() {
    for (size_t i = 0; i < 8; ++i) std::memset(m_buffers[i].get(), 0, kBufferSizes[i]);
    return supportAndConfiguration(LAPIGetAPMStatus, true);
}

uint32_t commandSystemManager::supportAndConfiguration(uint32_t (*support)(int, uint8_t*), bool needArrays) {
    uint32_t status = support(m_index, buffer(kSupport));
    if (status == 0) status = LAPIGetRAIDConfigurationData(m_index, buffer(kConfig));
    if (status == 0 && needArrays && arrayCount() == 0) status = CMD_ERR_NO_CONFIGURATION;
    return status;
}

uint16_t commandSystemManager::arrayCount() {
    return static_cast<uint16_t>(commands::ConfigView(buffer(kConfig)).arrayCount());
}

uint32_t commandSystemManager::getAPMTestCycleStatus(uint32_t kind, uint32_t array) {
    if (kind > 1) return CMD_ERR_INVALID_SELECTION;
    if (kind == 1 && array >= arrayCount()) return CMD_ERR_INVALID_ARRAY_INDEX;
    uint8_t* result = buffer(kTestCycle);
    uint32_t status = kind == 1 ? LAPIGetArrayAPMTestCycleStatus(m_index, result, static_cast<uint8_t>(array))
                                : LAPIGetDriveAPMTestCycleStatus(m_index, result);
    if (status != 0) return status;
    Global::append("Time remaining to next functional test :");
    Global::append("%.2d days %.2d hours %.2d minutes\n", result[5], result[6], result[7]);
    if (kind == 1) {
        Global::append("Idle minutes for array spin down: ");
        Global::append("%.2d days %.2d hours\n", result[3], result[4]);
    }
    return 0;
}

uint32_t commandSystemManager::getAPMLevel1Info() {
    uint32_t status = apmPreamble();
    if (status == 0) status = LAPIGetAPM1CurrentConfigInfo(m_index, buffer(kApm1));
    if (status != 0) return Global::report(status);
    wire::APM1_CONFIG_STRUCT apm;
    std::memcpy(&apm, buffer(kApm1), sizeof apm);
    const uint16_t flags = apm.flags.get();
    appendFlag("\nSpin down hotspare drives              :", flags, wire::kApm1SpinDownSpares);
    appendFlag("Spin down fail drives                  :", flags, wire::kApm1SpinDownFailed);
    appendFlag("Spin down unused drives                :", flags, wire::kApm1SpinDownUnused);
    appendFlag("Spin down and test hostpare drives     :", flags, wire::kApm1TestSpares);
    appendFlag("Spin down and test unused drives       :", flags, wire::kApm1TestUnused);
    static const char* const kCycles[] = {"None\n", "Daily\n", "Weekly\n", "Monthly\n"};
    if (apm.testCycle > 3) {
        Global::append("APM1 Test cycle time information invalid\n");
        return Global::report(CMD_ERR_APM_REQUEST_INVALID);
    }
    Global::append("APM1 Test cycle time                   :%s", kCycles[apm.testCycle]);
    Global::append("Test date of the month                 :");
    if (apm.testDate == 0) Global::append("Disabled");
    else Global::append("%.2d", apm.testDate);
    static const char* const kDays[] = {"Disabled\n", "Sunday\n",   "Monday\n", "Tuesday\n",
                                        "Wednesday\n", "Thursday\n", "Friday\n", "Saturday\n"};
    if (apm.testDay > 7) {
        Global::append("APM1 Test day information invalid\n");
        return Global::report(CMD_ERR_APM_REQUEST_INVALID);
    }
    Global::append("\nAPM1 Test day                          :%s", kDays[apm.testDay]);
    Global::append("Test time                              :");
    Global::append("%.2d hrs %.2d mins\n\n", apm.testHour, apm.testMinute);
    return Global::report(getAPMTestCycleStatus(0, 0));
}

uint32_t commandSystemManager::getAPMLevel2Info() {
    uint32_t status = apmPreamble();
    if (status != 0) return Global::report(status);
    const commands::ConfigView view(buffer(kConfig));
    for (size_t i = 0; i < view.arrayCount() && status == 0; ++i) {
        const auto& rank = view.rank(i);
        Global::append("\nArray: ");
        Global::format(rank.rankId);
        const uint16_t flags = rank.apmFlags.get();
        if (flags == 0) {
            Global::append("\nAPM config for this array is not set\n");
            continue;
        }
        appendFlag("\nManually spin down array    :", flags, 0x01);
        appendFlag("Spin down array             :", flags, 0x02);
        appendFlag("Spin down and test array    :", flags, 0x04);
        Global::append("\nAPM Idle Time for array spin down: %.2d hrs %.2d mins", rank.apmIdleHours,
                       rank.apmIdleMinutes);
        Global::append("\nSpun down days to start test : %.2d days", rank.apmTestDays);
        Global::append("\nSpun down hours to start test    : %.2d hrs\n\n", rank.apmTestHours);
        status = getAPMTestCycleStatus(1, static_cast<uint32_t>(i));
    }
    return Global::report(status);
}

uint32_t commandSystemManager::setAPMLevel1(uint32_t hotSpares, uint32_t unused, uint32_t failed, uint32_t selfTest,
                                            uint32_t cycle, uint32_t date, uint32_t day, uint32_t hour,
                                            uint32_t minute) {
    uint32_t status = apmPreamble();
    if (status != 0) return Global::report(status);
    struct Check {
        bool ok;
        const char* message;
        uint32_t code;
    };
    const Check checks[] = {
        {hotSpares <= 1, "Invalid spin hot spares specified.\n", CMD_ERR_APM_REQUEST_INVALID},
        {unused <= 1, "Invalid spin unused drives specified.\n", CMD_ERR_APM_REQUEST_INVALID},
        {failed <= 1, "Invalid fail drives specified.\n", CMD_ERR_APM_REQUEST_INVALID},
        {selfTest <= 1, "Invalid self test type specified.\n", CMD_ERR_APM_REQUEST_INVALID},
        {cycle <= 3, "Invalid cycle time specified.\n", CMD_ERR_INVALID_DATE_TIME},
        {date < 29, "Invalid date specified.\n", CMD_ERR_INVALID_DATE_TIME},
        {day < 8, "Invalid day specified.\n", CMD_ERR_INVALID_DATE_TIME},
        {hour < 24, "Invalid hour specified.\n", CMD_ERR_INVALID_DATE_TIME},
        {minute < 60, "Invalid minute specified.\n", CMD_ERR_INVALID_DATE_TIME},
    };
    for (const Check& c : checks) {
        if (c.ok) continue;
        Global::append("%s", c.message);
        return Global::report(c.code);
    }
    wire::APM1_CONFIG_STRUCT apm{};
    uint16_t flags = 0;
    if (hotSpares == 1) flags |= selfTest == 1 ? wire::kApm1TestSpares : wire::kApm1SpinDownSpares;
    if (unused == 1) flags |= selfTest == 1 ? wire::kApm1TestUnused : wire::kApm1SpinDownUnused;
    if (failed == 1) flags |= wire::kApm1SpinDownFailed;
    apm.flags.set(flags);
    const char* inconsistent = nullptr;
    if (cycle == 1 && (date || day)) inconsistent = "Error:Test Cycle time set to daily but date/day settings are enabled.\n";
    else if (cycle == 0 && (date || day))
        inconsistent = "Error:Test Cycle time set to disabled but date/day settings are enabled.\n";
    else if (cycle == 2 && date) inconsistent = "Error:Test Cycle time set to weekly but date settings are enabled.\n";
    else if (cycle == 2 && !day) inconsistent = "Error:Test Cycle time set to weekly but day settings are disabled.\n";
    else if (cycle == 3 && day) inconsistent = "Error:Test Cycle time set to monthly but day settings are enabled.\n";
    else if (cycle == 3 && !date)
        inconsistent = "Error:Test Cycle time set to monthly but date settings are disabled.\n";
    if (inconsistent != nullptr) {
        Global::append("%s", inconsistent);
        return Global::report(CMD_ERR_APM_REQUEST_INVALID);
    }
    if (selfTest == 1) {
        apm.testCycle = static_cast<uint8_t>(cycle);
        apm.testDate = static_cast<uint8_t>(date);
        apm.testDay = static_cast<uint8_t>(day);
        apm.testHour = static_cast<uint8_t>(hour);
        apm.testMinute = static_cast<uint8_t>(minute);
    } else {
        Global::append("Self test is disabled. Ignoring other self test inputs\n");
    }
    std::memcpy(buffer(kApm1), &apm, sizeof apm);
    const auto* record = reinterpret_cast<const wire::APM1_CONFIG_STRUCT*>(buffer(kApm1));
    status = LAPISetAPMLevel1Settings(m_index, &record);
    if (status == 0) Global::append("APM level 1 settings applied successfully\n");
    return Global::report(status);
}

uint32_t commandSystemManager::setAPMLevel2(uint32_t array, uint32_t selfTest, uint32_t mode, uint32_t date,
                                            uint32_t hour, uint32_t idleHours, uint32_t idleMinutes) {
    uint32_t status = apmPreamble();
    if (status != 0) return Global::report(status);
    if (array >= arrayCount()) {
        Global::append("Error: Invalid array Index specified\n");
        return Global::report(CMD_ERR_INVALID_ARRAY_INDEX);
    }
    const char* message = nullptr;
    uint32_t code = CMD_ERR_INVALID_DATE_TIME;
    if (selfTest > 1) message = "Invalid self test type specified.\n", code = CMD_ERR_APM_REQUEST_INVALID;
    else if (date >= 29) message = "Invalid date specified.\n";
    else if (hour >= 24) message = "Invalid hour specified.\n";
    else if (idleHours >= 24) message = "Invalid idle hours specified.\n";
    else if (idleMinutes >= 60) message = "Invalid idle minutes specified.\n";
    if (message != nullptr) {
        Global::append("%s", message);
        return Global::report(code);
    }
    wire::APM2_CONFIG_STRUCT apm{};
    if (mode != 1) {
        apm.flags.set(0x01);
    } else {
        apm.flags.set(selfTest == 1 ? 0x04 : 0x02);
        apm.idleHours = static_cast<uint8_t>(idleHours);
        apm.idleMinutes = static_cast<uint8_t>(idleMinutes);
        if (selfTest == 1) {
            apm.testDays = static_cast<uint8_t>(date);
            apm.testHours = static_cast<uint8_t>(hour);
        }
    }
    std::memcpy(buffer(kApm2), &apm, sizeof apm);
    APM2_REQUEST request{reinterpret_cast<const wire::APM2_CONFIG_STRUCT*>(buffer(kApm2)), static_cast<uint8_t>(array)};
    status = LAPISetAPMLevel2Settings(m_index, &request);
    if (status == 0) Global::append("APM level 2 settings applied successfully\n");
    return Global::report(status);
}

uint32_t commandSystemManager::setTQM(uint32_t type, uint32_t time) {
    uint32_t status = LAPIGetAdvancePerformanceSupportStatus(m_index, buffer(kSupport));
    if (status == 0 && time > 99) status = CMD_ERR_INVALID_TIMING_RANGE;
    if (status == 0 && type > 3) status = CMD_ERR_INVALID_SELECTION;
    if (status != 0) return Global::report(status);
    wire::TQM_CONFIG_STRUCT tqm{};
    tqm.responseType = static_cast<uint8_t>(wire::kTqmDisabled + type);
    tqm.responseTime = static_cast<uint8_t>(time);
    std::memcpy(buffer(kTqm), &tqm, sizeof tqm);
    const auto* record = reinterpret_cast<const wire::TQM_CONFIG_STRUCT*>(buffer(kTqm));
    status = LAPIConfigureTQM(m_index, &record);
    if (status == 0) Global::append("\nTQM Configured Successfully\n");
    return Global::report(status);
}

uint32_t commandSystemManager::getAdvancePerformanceInfo() {
    const uint32_t status = supportAndConfiguration(LAPIGetAdvancePerformanceSupportStatus, false);
    if (status != 0) return Global::report(status);
    const uint8_t* config = buffer(kConfig);
    const auto& image = *reinterpret_cast<const wire::CONFIG_STORAGE_STRUCT*>(config);
    const auto& h = image.header;
    Global::append("***** ADVANCE PERFORMANCE OPTIONS *****\n");
    Global::append("\nTQM Response Type:                    ");
    switch (image.tqmResponseType) {
    case 0xF0: Global::append("Disabled"); break;
    case 0xF1: Global::append("SCSI status busy response"); break;
    case 0xF2: Global::append("SCSI status task set full"); break;
    case 0xF3: Global::append("Automatic response"); break;
    default: Global::append("Unknown"); break;
    }
    Global::append("\nTQM response time:                    %d", image.tqmResponseTime);
    auto onOff = [](uint8_t v, const char* unknown) {
        switch (v) {
        case 0: Global::append("Default"); break;
        case 0xF0: Global::append("Disabled"); break;
        case 0xF1: Global::append("Enabled"); break;
        default: Global::append("%s", unknown); break;
        }
    };
    Global::append("\nCache Flushing Command:               ");
    onOff(h.cacheFlush, "Unknown");
    Global::append("\nTarget Command Thread Balance:        ");
    onOff(h.threadBalance, "\nUnknown");
    Global::append("\nSequential Write Stream Support:      ");
    static const char* const kStreams[] = {"Off\n", "Low\n", "Medium\n", "High\n"};
    const uint8_t s = h.sequentialWrite;
    Global::append("%s", s >= 1 && s <= 4 ? kStreams[s - 1] : "Unknown\n");
    return Global::report(0);
}

uint32_t commandSystemManager::setAdvancePerformance(uint32_t cacheFlush, uint32_t threadBalance,
                                                     uint32_t sequentialWrite) {
    uint32_t status = supportAndConfiguration(LAPIGetAdvancePerformanceSupportStatus, true);
    if (status != 0) return Global::report(status);
    const char* message = cacheFlush > 1      ? "\nError: Invalid enable cache flush setting\n"
                          : threadBalance > 1 ? "\nError: Invalid thread balance setting\n"
                          : sequentialWrite > 3 ? "\nError: Invalid sequential write setting\n"
                                                : nullptr;
    if (message != nullptr) {
        Global::append("%s", message);
        return Global::report(CMD_ERR_INVALID_SELECTION);
    }
    MODIFY_CONFIG_HEADER_REQUEST change{};
    change.value[0] = cacheFlush == 1 ? 0xF1 : 0xF0;
    change.value[1] = threadBalance == 1 ? 0xF1 : 0xF0;
    change.value[2] = static_cast<uint8_t>(sequentialWrite + 1);
    status = LAPIModifyConfigurationHeader(m_index, &change);
    if (status == 0) Global::append("\nAdvance performance options configured successfully\n");
    return Global::report(status);
}
