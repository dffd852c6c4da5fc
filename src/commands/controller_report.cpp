#include "commands/controller_report.h"

#include <cstdio>

#include "commands/global.h"
#include "support/string_utils.h"

namespace commands {

namespace {

constexpr uint8_t kYes = wire::kFlagYes;

// A report line: line end, label padded with blanks, ": ".
void label(const char* text, size_t width = 44) { Global::append("\n%s: ", padr(text, ' ', width).c_str()); }

void wwn(const wire::wwn8& w) {
    for (uint8_t b : w.b) Global::append("%.2X", b);
}

void voltage(const char* text, const wire::le16& millivolts) {
    label(text);
    Global::append("%2.2fV", millivolts.get() / 1000.0);
}

const char* yesNo(uint8_t flag) { return flag == kYes ? "Yes" : "No"; }

}  // namespace

const char* productTypeName(uint32_t type) {
    switch (type) {
    case 1: return "6030";
    case 2: return "6050";
    case 3: return "6070S";
    case 4: return "6070F";
    case 5: return "6090";
    case 6: return "7020";
    case 7: return "7102";
    case 8: return "7103";
    case 9: return "7104";
    case 10: return "7102 Rev 1";
    case 11: return "J7102A";
    case 12: return "J7102A Rev 2";
    case 13: return "K7102A DFM";
    case 14: return "J7112A";
    case 15: return "K7112A";
    case 17: return "K8112A";
    case 19: return "8200";
    default: return "unknown";
    }
}

const char* monthName(uint8_t month) {
    static const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                          "July",    "August",   "September", "October", "November", "December"};
    return month >= 1 && month <= 12 ? kMonths[month - 1] : "Error";
}

std::string parityModeText(uint8_t mode) {
    switch (mode) {
    case wire::kParityVerify: return "Verify";
    case wire::kParityReWrite: return "ReWrite";
    case wire::kParityVerifyReWrite: return "Verify/ReWrite";
    default: {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%#x", mode);
        return buf;
    }
    }
}

void appendCommonSection(const wire::ALL_CONTROLLER_INFO_AND_FAIL_STRUCT& info) {
    Global::append("\n\n****** Common ******\n");
    Global::append("Command received on Controller ");
    Global::format(static_cast<uint32_t>(info.receivedController - 1));
    Global::append(" Port ");
    Global::format(static_cast<uint32_t>(info.receivedPort - 1));
    Global::append("\n");

    Global::append("Rebuilding status  : %s", yesNo(info.rebuild.inProgress));
    if (info.rebuild.inProgress == kYes) {
        Global::append(" - Array:");
        Global::format(info.rebuild.array);
        Global::append(", Drive:");
        Global::format(info.rebuild.drive);
        Global::append(" WWN:");
        wwn(info.rebuild.driveWwn);
        Global::append(", Complete:");
        Global::format(info.rebuild.percent);
        Global::append("%%\n");
    }

    Global::append("\nInitializing status: %s", yesNo(info.initialisation.inProgress));
    if (info.initialisation.inProgress == kYes) {
        Global::append(" - Array:");
        Global::format(info.initialisation.array);
        Global::append(", Complete:");
        Global::format(info.initialisation.percent);
        Global::append("%%\n");
    }

    Global::append("\nExpanding status   : %s", yesNo(info.expansion.inProgress));
    if (info.expansion.inProgress == kYes) {
        Global::append(" - Array:");
        Global::format(info.expansion.array);
        Global::append(", Complete:");
        Global::format(info.expansion.percent);
        Global::append("%%\n");
    }

    Global::append("\nVerifying status   : %s", yesNo(info.parityCheck.inProgress));
    if (info.parityCheck.inProgress == kYes) {
        Global::append(" - Array:");
        Global::format(info.parityCheck.array);
        Global::append(", Mode:%s", parityModeText(info.parityCheck.mode).c_str());
        Global::append(", Errors:");
        Global::format(info.parityCheck.errorCount.get());
        Global::append(" Complete:");
        Global::format(info.parityCheck.percent);
        Global::append("%%\n");
    }
}

void appendControllerRecord(const wire::CONTROLLER_INFO_STRUCT& r, uint32_t type) {
    label("Name");
    Global::append("%.64s", std::string(r.name, sizeof r.name).c_str());
    label("Configuration WWN");
    wwn(r.configWwn);
    label("Actual WWN");
    wwn(r.actualWwn);
    label("Total Power on Count");
    Global::format(r.totalPowerOnCount.get());

    uint32_t on = r.powerOnTime.get();
    label("Power on Time");
    Global::format(on / 3600);
    Global::append(" hours ");
    Global::format((on / 60) % 60);
    Global::append(" minutes ");
    Global::format(on % 60);
    Global::append("  seconds");
    uint32_t total = r.totalPowerOnTime.get();
    label("Total Power on Time");
    Global::format(total / 3600);
    Global::append(" hours ");
    Global::format((total / 60) % 60);
    Global::append(" minutes ");
    Global::format(total % 60);
    Global::append(" seconds\n");

    // Follows the line end of the line before it.
    Global::append("%s: ", padr("Controller Date", ' ', 44).c_str());
    Global::append("%s %d %d", monthName(r.clock.month), r.clock.day, r.clock.year.get());
    label("Controller Time");
    Global::append("%.2d:%.2d:%.2d ", r.clock.hour, r.clock.minute, r.clock.second);

    label("F/W Version");
    Global::format(r.fwMajor);
    Global::append(".");
    Global::format(r.fwMinor);
    Global::append(" Build %.4s", std::string(r.fwBuild, sizeof r.fwBuild).c_str());
    label("F/W Compile Date");
    Global::append("%.16s", std::string(r.fwCompileDate, sizeof r.fwCompileDate).c_str());
    label("F/W Compile Time");
    Global::append("%.16s", std::string(r.fwCompileTime, sizeof r.fwCompileTime).c_str());

    if (r.hostLoop1Id == 0xFF) {
        Global::append("\nHost Loop1 Down ");
    } else {
        label("Host Loop1 Up, Host Loop1 ID");
        Global::format(r.hostLoop1Id);
    }
    if (r.hostLoop2Id == 0xFF) {
        Global::append("\nHost Loop2 Down");
    } else {
        label("Host Loop2 Up, Host Loop2 ID");
        Global::format(r.hostLoop2Id);
    }

    label("Controller CPLD Version");
    Global::format(r.cpldVersion);
    label("Processor Speed");
    Global::format(r.processorSpeed.get());
    label("Processor RAM");
    Global::format(r.processorMemory.get());

    if (type != 9 && type != 17) {
        Global::append("\n\n-------------Voltage readings-------------");
        voltage("Controller 12V", r.mv12V);
        voltage("Controller 5V-In", r.mv5VIn);
        voltage("Controller 5V Fused", r.mv5VFused);
        voltage("Core 3.3V Core", r.mvCore3V3);
        voltage("Core 3.3V Backup", r.mvCore3V3Backup);
        voltage("Core 1.8V core", r.mvCore1V8);
        voltage("Core 1.8V DDR", r.mvCore1V8Memory);
        voltage("Controller Battery Voltage", r.mvBattery);
        voltage("Core 1.5V", r.mvCore1V5);
        voltage("Core 1.35V", r.mvCore1V35);
        voltage("Drive Interface Core Voltage", r.mvDriveInterfaceCore);
        voltage("Host Interface Core Voltage", r.mvHostInterfaceCore);
        if (r.coProcessorPresent == kYes) {
            label("CoProcessor Version", 22);
            Global::format(r.coProcessorVersion);
            label("CoProcessor Speed", 22);
            Global::format(r.coProcessorSpeed.get());
            Global::append(" MHz");
            label("CoProcessor RAM", 22);
            Global::format(r.coProcessorMemory.get());
            Global::append(" MB");
            label("Ethernet Port count", 22);
            Global::format(r.ethernetPortCount);
            label("EthernetParametersPort0", 23);
            Global::format(r.ethernetParams0.get());
            label("LinkRatePort0", 23);
            Global::format(r.linkRate0.get());
            label("EthernetParametersPort1", 23);
            Global::format(r.ethernetParams1.get());
            label("LinkRatePort1", 23);
            Global::format(r.linkRate1.get());
        }
    }

    if (type != 9) {
        Global::append("\n\n-----------Temperature readings-----------");
        label("Air Temperature");
        Global::format(r.airTemperature);
        Global::append("C");
        label("LSI Expander Temperature");
        Global::format(r.expanderTemperature);
        Global::append("C");
        label("CPU Temperature");
        Global::format(r.processorTemperature);
        Global::append("C");
    }

    Global::append("\n\n------Power supply & battery status-------");
    label("Battery Status");
    if (r.batteryState == kYes) {
        Global::append("Good");
        label("Battery Capacity");
        if (type == 17) {
            uint8_t c = r.batteryCapacity;
            Global::append("%s", c >= 90 && c <= 100 ? "Fully charged" : c == 50 ? "Charging" : "Failed");
        } else {
            Global::format(r.batteryCapacity);
            Global::append("%%");
        }
        label("Battery Holdup Time");
        Global::format(r.batteryHoldupHours);
        Global::append(" hours ");
    } else if (r.batteryState == wire::kFlagAbsent && type == 13) {
        Global::append("Power inline mode - Battery not present");
    } else {
        Global::append("Battery failed or missing");
    }
}

}  // namespace commands
