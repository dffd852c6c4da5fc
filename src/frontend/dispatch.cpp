#include "frontend/dispatch.h"

#include <cstdio>
#include <cstdlib>

#include "commands/objects.h"
#include "frontend/cli.h"

namespace {

constexpr const char* kControllerUsage = "Error [01]- No Appropriate Controller Command Entered\n";
constexpr const char* kDeviceUsage = "Error [02]- No Appropriate Device Command Entered\n";
constexpr const char* kConfigurationUsage = "Error [04]- No Appropriate Configuration Command Entered\n";
constexpr const char* kEnclosureUsage = "Error [05]- No Appropriate Enclosure Command Entered\n";
constexpr const char* kDevicePortUsage = "Error [06]- No Appropriate Device Port Command Entered\n";
constexpr const char* kSystemManagerUsage = "Error [07]- No Appropriate System Manager Command Entered\n";
constexpr const char* kParameterListUsage = "Error [08] - Invalid Parameter List\n";

// A command of the table whose method this build does not carry yet: refused
// on standard error with the usage-error status, never reported as done.
[[noreturn]] void unavailable(const char* library, const StringList& strings) {
    std::fflush(stdout);
    std::fprintf(stderr, "Error: the %s command \"%s\" is not available in this version of LQCL.\n", library,
                 strings[0].c_str());
    std::exit(-1);
}

}  // namespace

void operateController(int op, int index, int /*strCount*/, const StringList& strings, const uint64_t* /*u64*/,
                       const uint32_t* /*u32*/, const StringList& /*admin*/, const std::string& /*url*/) {
    switch (op) {
    case OP_GET:
        switch (index) {
        case 12: ctrl.displayDiagDump(); return;                          // diagdump
        case 17: ctrl.getControllerInfoAndDriveFailureInfo(); return;     // cntinfofailstruct
        case 18: dCfgCtrl.getRegenPercentComplete(); return;              // regenpercentcomplete
        case 59: dCfgCtrl.getRegenState(); return;                        // regenstate
        case 78: dCfgCtrl.getParityCheckPercentComplete(); return;        // paritypercent
        case 79: dCfgCtrl.getParityCheckState(); return;                  // paritycheck
        case 80: dCfgCtrl.getArrayExpandState(); return;                  // expandarraystate
        case 81: dCfgCtrl.getArrayExpandPercentComplete(); return;        // expandarraypercent
        case 90: ctrl.getRAIDFirmwareRevision(); return;                  // raidversion
        case 100: ctrl.displayProductType(); return;                      // prodtype
        case 102: ctrl.getAllControllerInfo(); return;                    // allinfo
        case 105:                                                         // prefsconfig
            if (ctrl.outOfBand()) unavailable("controller", strings);
            ctrl.getPrefsConfig();
            return;
        default:
            cliprint(kControllerUsage);
        }
    case OP_SET:
        switch (index) {
        case 36:   // clearstats
        case 40:   // datarate
        case 56:   // shutdown
        case 57:   // reset
        case 94:   // firmware
        case 103:  // configwwn
        case 105:  // prefsconfig
        case 107:  // drivefirmware
        case 108:  // controllerlun
        case 129:  // synctime
            unavailable("controller", strings);
        default:
            return;
        }
    case OP_NUMBER:
        return;
    default:
        cliprint(kControllerUsage);
    }
}

void operateDevice(int op, int index, int /*strCount*/, const StringList& strings, const uint64_t* /*u64*/,
                   int /*u32Count*/, const uint32_t* /*u32*/, const std::string& /*url*/) {
    switch (op) {
    case OP_GET:
        switch (index) {
        case 0:    // name
        case 2:    // devicesize
        case 5:    // arrayid
        case 7:    // state
        case 53:   // status
        case 72:   // encnum
        case 85:   // alldriveinfostruct
        case 89:   // unused
        case 95:   // driverevision
        case 110:  // apmtest
        case 111:  // apmstatus
        case 114:  // apmstatusall
            unavailable("device", strings);
        default:
            cliprint(kDeviceUsage);
        }
    case OP_SET:
        switch (index) {
        case 104:  // locate
        case 109:  // apmspin
        case 110:  // apmtest
        case 133:  // faildrive
            unavailable("device", strings);
        default:
            cliprint(kDeviceUsage);
        }
    case OP_DELETE:
        return;
    case OP_NUMBER:  // getNum, whatever the name
        unavailable("device", strings);
    default:
        cliprint(kDeviceUsage);
    }
}

void operateHostPort(int, int, int, const StringList&, const uint64_t*, const uint32_t*, const std::string&) {}

void operateDevicePort(int op, int index, int /*strCount*/, const StringList& strings, const uint64_t* /*u64*/,
                       const uint32_t* /*u32*/, const std::string& /*url*/) {
    switch (op) {
    case OP_GET:
        switch (index) {
        case 0:  // name
        case 7:  // state
            unavailable("device port", strings);
        default:
            cliprint(kDevicePortUsage);
        }
    case OP_NUMBER:
        if (index == 6) return;  // initialeventcnt
        unavailable("device port", strings);
    default:
        cliprint(kDevicePortUsage);
    }
}

void operateSystemManager(int op, int index, int /*strCount*/, const StringList& strings, const uint64_t* /*u64*/,
                          const uint32_t* /*u32*/, int /*adminCount*/, const StringList& /*admin*/,
                          const std::string& /*url*/) {
    switch (op) {
    case OP_GET:
        switch (index) {
        case 0:  // name
            return;
        case 82:  // whoami
            if (sysman.outOfBand()) unavailable("system manager", strings);
            sysman.whoAmI();
            return;
        case 112:  // apmlevel1
        case 113:  // apmlevel2
        case 118:  // advanceperformance
            unavailable("system manager", strings);
        default:
            cliprint(kSystemManagerUsage);
        }
    case OP_SET:
        switch (index) {
        case 73:   // sysparams
        case 112:  // apmlevel1
        case 113:  // apmlevel2
        case 117:  // configuretqm
        case 118:  // advanceperformance
            unavailable("system manager", strings);
        default:
            cliprint(kSystemManagerUsage);
        }
    case OP_DELETE:
        if (index == 2) return;  // devicesize
        cliprint(kSystemManagerUsage);
    case OP_NUMBER:
        if (index == 6) return;  // initialeventcnt
        cliprint(kSystemManagerUsage);
    default:
        cliprint(kSystemManagerUsage);
    }
}

void operateEnclosure(int op, int index, int /*u32Count*/, int /*strCount*/, const StringList& strings,
                      const uint64_t* /*u64*/, const uint32_t* /*u32*/, const std::string& /*url*/) {
    switch (op) {
    case OP_GET:
        switch (index) {
        case 20:   // prodrevision
        case 25:   // device
        case 26:   // enclosure
        case 30:   // deviceinslot
        case 101:  // sesinfo
        case 102:  // allinfo
            unavailable("enclosure", strings);
        default:
            cliprint(kEnclosureUsage);
        }
    case OP_SET:
        if (index == 104) unavailable("enclosure", strings);  // locate
        cliprint(kEnclosureUsage);
    case OP_NUMBER:  // 25 device counts the drives, any other the enclosures
        unavailable("enclosure", strings);
    default:
        cliprint(kEnclosureUsage);
    }
}

namespace {

void configurationGet(int index, const StringList& strings, const uint32_t* l, const StringList& m) {
    switch (index) {
    case 14: case 31: case 43: case 44: case 49: case 62: case 69: case 75:
        return;
    case 5: cfg.getArrayID(l[0]); return;                      // arrayid
    case 9: cfg.getLogicalDriveID(l[0]); return;               // ldid
    case 10: cfg.getHostWWN(l[0]); return;                     // host
    case 15: cfg.getLogicalDriveSize(l[0]); return;            // ldsize
    case 16: cfg.getArrayLevel(l[0]); return;                  // arraylevel
    case 19: cfg.getHotSpareWWN(l[0]); return;                 // hotsparewwn
    case 23: cfg.getFeaturedODAStatStruct(); return;           // odastatstruct
    case 27: cfg.getHostPortWWN(l[0]); return;                 // hostport
    case 28: cfg.getFeaturedODAInfoStruct(); return;           // odainfostruct
    case 46: cfg.getHotSpareArray(l[0], l[1]); return;         // arrayspare
    case 48: cfg.getDeviceInArray(l[0], l[1]); return;         // arraydevice
    case 51: cfg.IsHotSpareDedicated(l[0]); return;            // hotsparetype
    case 54: cfg.getInternalLogicalDrives(); return;           // internalld
    case 61: cfg.getInitStatus(l[0]); return;                  // initstate
    case 63: cfg.getInitPercentComplete(l[0]); return;         // percentcomplete
    case 64: cfg.getArrayStripeSize(l[0]); return;             // chunkblkcnt
    case 66: cfg.getRegionStatus(l[0]); return;                // regionstatus
    case 67: cfg.getRegionArrayNo(l[0]); return;               // regionarrayno
    case 68: cfg.getRegionCapacity(l[0]); return;              // regioncap
    case 83: cfg.getRegionMap(); return;                       // regionmap
    case 84: cfg.getRankConfigStruct(); return;                // rankconfigstruct
    case 86: cfg.getHostConfigStruct(); return;                // hostconfigstruct
    case 87: cfg.getLunMappingStruct(); return;                // lunmappingstruct
    case 88: cfg.getConfigStorageHeaderStruct(); return;       // confighdrstruct
    case 92: cfg.getLogicalDriveIndex(l[0]); return;           // ldindex
    case 93: cfg.getArraySize(l[0]); return;                   // arraysize
    case 96: cfg.IsLDMappedToPort(l[0], l[1]); return;         // isldmappedtoport
    case 97: cfg.IsLDNameMatch(l[0], m[0]); return;            // isldnamematch
    case 102: cfg.getAllConfigInfo(); return;                  // allinfo
    case 115: cfg.getConfigProgressStatus(); return;           // configprogress
    case 116: cfg.getConfigProgressInformation(); return;      // configprogressinfo
    case 82:  // whoami
        if (cfg.outOfBand()) unavailable("configuration", strings);
        cfg.whoAmI();
        return;
    case 98:  // raidsystems
        if (cfg.outOfBand()) unavailable("configuration", strings);
        cfg.getRaidSystemWWN(l[0]);
        return;
    case 1: case 22: case 37: case 38: case 55: case 58: case 111: case 120: case 121:
    case 122: case 130:
        unavailable("configuration", strings);
    default:
        cliprint(kConfigurationUsage);
    }
}

void configurationCreate(int index, const StringList& strings, int u32Count, int adminCount) {
    switch (index) {
    case 32:  // logicaldrives: the value counts choose the form
        if (u32Count == 3 || (u32Count == 2 && (adminCount == 1 || adminCount == 2)))
            unavailable("configuration", strings);
        cliprint(kParameterListUsage);
    case 4: case 13: case 44: case 46: case 47: case 106: case 128:
        unavailable("configuration", strings);
    default:
        cliprint(kConfigurationUsage);
    }
}

void configurationDelete(int index, const StringList& strings) {
    switch (index) {
    case 45:  // devicesinarray
        return;
    case 4: case 13: case 32: case 44: case 46: case 47:
        unavailable("configuration", strings);
    default:
        cliprint(kConfigurationUsage);
    }
}

void configurationSet(int index, const StringList& strings, const uint32_t* l, int adminCount, const StringList& m) {
    switch (index) {
    case 44:  // lun
        return;
    case 11:  // hostlun
        if (adminCount != 0) cfg.setHostLUNAvailability(m[0], l[0]);
        else cfg.setHostLUNAvailability(l[0], l[1]);
        return;
    case 32: cfg.setVolumeName(l[0], m[0]); return;  // logicaldrives
    case 41:  // assignoda
        if (adminCount != 0 && adminCount != 2) cliprint(kParameterListUsage);
        unavailable("configuration", strings);
    case 131:  // restoreconfig
        if (adminCount == 0) {
            std::printf("\n<ConfigFileName> not specified\nPlease use: LQCL -F -s -z restoreconfig -m <ConfigFileName>\n\n");
            cliprint(kParameterListUsage);
        }
        unavailable("configuration", strings);
    case 0: case 4: case 8: case 13: case 21: case 39: case 42: case 74: case 77:
    case 79: case 91: case 99: case 109: case 110: case 119: case 123: case 124: case 125: case 126:
    case 127:
        unavailable("configuration", strings);
    default:
        cliprint(kConfigurationUsage);
    }
}

void configurationNumber(int index, const StringList& strings, const uint32_t* l) {
    switch (index) {
    case 31:  // volumesinsubgroup
        return;
    case 4: cfg.getNumberOfArrays(); return;                   // array
    case 10: cfg.getNumberOfHosts(); return;                   // host
    case 32: cfg.getNumberOfVolumes(); return;                 // logicaldrives
    case 45: cfg.getNumberOfDevicesInArray(l[0]); return;      // devicesinarray
    case 46: cfg.getHotSpareArrayCount(l[0]); return;          // arrayspare
    case 52: cfg.getNumberOfGlobalHotSpares(); return;         // globalhotspare
    case 71: cfg.getNumberOfHotSpares(); return;               // totalhotsparecnt
    case 83: cfg.getNumRegions(); return;                      // regionmap
    case 98:                                                   // raidsystems
        if (cfg.outOfBand()) unavailable("configuration", strings);
        cfg.getNumberOfRaidSystemsPresent();
        return;
    case 6: case 22: case 33: case 34: case 58:
        unavailable("configuration", strings);
    default:
        cliprint(kConfigurationUsage);
    }
}

}  // namespace

void operateConfiguration(int op, int index, int /*strCount*/, const StringList& strings, const uint64_t* /*u64*/,
                          int u32Count, const uint32_t* u32, int adminCount, const StringList& admin,
                          const std::string& /*url*/) {
    switch (op) {
    case OP_GET:
        return configurationGet(index, strings, u32, admin);
    case OP_CREATE:
        return configurationCreate(index, strings, u32Count, adminCount);
    case OP_DELETE:
        return configurationDelete(index, strings);
    case OP_SET:
        return configurationSet(index, strings, u32, adminCount, admin);
    case OP_NUMBER:
        return configurationNumber(index, strings, u32);
    case OP_ADD:
        if (index == 44) return;  // lun
        cliprint(kConfigurationUsage);
    default:
        cliprint(kConfigurationUsage);
    }
}
