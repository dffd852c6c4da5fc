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

// A row that the table accepts without a method: nothing is called, nothing is
// printed, and the command ends with status 0.
void noAction() {}

}  // namespace

void operateController(int op, int index, int /*strCount*/, const StringList& /*strings*/, const uint64_t* /*u64*/,
                       const uint32_t* l, const StringList& m, const std::string& /*url*/) {
    switch (op) {
    case OP_GET:
        switch (index) {
        case Cmd::diagdump: ctrl.displayDiagDump(); return;
        case Cmd::cntinfofailstruct: ctrl.getControllerInfoAndDriveFailureInfo(); return;
        case Cmd::regenpercentcomplete: dCfgCtrl.getRegenPercentComplete(); return;
        case Cmd::regenstate: dCfgCtrl.getRegenState(); return;
        case Cmd::paritypercent: dCfgCtrl.getParityCheckPercentComplete(); return;
        case Cmd::paritycheck: dCfgCtrl.getParityCheckState(); return;
        case Cmd::expandarraystate: dCfgCtrl.getArrayExpandState(); return;
        case Cmd::expandarraypercent: dCfgCtrl.getArrayExpandPercentComplete(); return;
        case Cmd::raidversion: ctrl.getRAIDFirmwareRevision(); return;
        case Cmd::prodtype: ctrl.displayProductType(); return;
        case Cmd::allinfo: ctrl.getAllControllerInfo(); return;
        case Cmd::prefsconfig: ctrl.getPrefsConfig(); return;
        default:
            cliprint(kControllerUsage);
        }
    case OP_SET:
        switch (index) {
        case Cmd::clearstats: ctrl.ClearControllerStatistics(l[0], l[1], l[2]); return;
        case Cmd::datarate: dCfgCtrl.setHardAddressHostAddress(l[0]); return;
        case Cmd::shutdown: ctrl.shutDown(l[0], l[1]); return;
        case Cmd::reset: ctrl.reset(l[0]); return;
        case Cmd::firmware: ctrl.uploadFw(m[0], 1); return;
        case Cmd::drivefirmware: ctrl.uploadFw(m[0], 2); return;
        case Cmd::controllerlun: dCfgCtrl.setControllerLun(l[0], l[1]); return;
        case Cmd::synctime: ctrl.setControllerTime(); return;
        case Cmd::configwwn: dCfgCtrl.setConfigurationWWN(l[0]); return;
        case Cmd::prefsconfig:
            ctrl.setPrefsConfig(m[0], m[1], m[2], m[3], m[4], m[5]);
            return;
        default:  // any other name
            return noAction();
        }
    case OP_NUMBER:  // any name
        return noAction();
    default:
        cliprint(kControllerUsage);
    }
}

void operateDevice(int op, int index, int /*strCount*/, const StringList& /*strings*/, const uint64_t* u,
                   int u32Count, const uint32_t* l, const std::string& /*url*/) {
    switch (op) {
    case OP_GET:
        switch (index) {
        case Cmd::name: dvce.getName(l[0]); return;
        case Cmd::devicesize: dvce.getDeviceSizeInBlocks(u[0]); return;
        case Cmd::arrayid: dvce.getArrayID(u[0]); return;
        case Cmd::state: dvce.getDeviceState(u[0]); return;
        case Cmd::status: dvce.getDeviceStatus(u[0]); return;
        case Cmd::encnum: dvce.getEnclosureNoOfDevice(l[0]); return;
        case Cmd::alldriveinfostruct: dvce.getAllDriveInfoStruct(u32Count > 0 ? l[0] : 0xFFFFFFFF); return;
        case Cmd::unused: dvce.getNumberOfUnusedDrives(); return;
        case Cmd::driverevision: dvce.getDriveRevision(l[0]); return;
        case Cmd::apmtest: dvce.getDriveFunctionalTestStatus(l[0], l[1]); return;
        case Cmd::apmstatus: dvce.getSpecificDriveAPMStatus(l[0], l[1]); return;
        case Cmd::apmstatusall: dvce.getAPMDriveStatus(); return;
        default:
            cliprint(kDeviceUsage);
        }
    case OP_SET:
        switch (index) {
        case Cmd::locate: dvce.setDriveIdentLight(l[0], l[1]); return;
        case Cmd::apmspin: dvce.setManualSpinUpOrDownDrives(l[0], l[1], l[2]); return;
        case Cmd::apmtest: dvce.setDriveFunctionalTest(l[0], l[1]); return;
        case Cmd::faildrive:  // by array and drive with exactly two -l values, else by the -u WWN
            if (u32Count == 2) dvce.setFailDrive(l[0], l[1]);
            else dvce.setFailDrive(u[0]);
            return;
        default:
            cliprint(kDeviceUsage);
        }
    case OP_DELETE:  // any name
        return noAction();
    case OP_NUMBER:  // whatever the name
        dvce.getNum();
        return;
    default:
        cliprint(kDeviceUsage);
    }
}

// The host port library has no command: every operation and name is accepted.
void operateHostPort(int, int, int, const StringList&, const uint64_t*, const uint32_t*, const std::string&) {
    noAction();
}

void operateDevicePort(int op, int index, int /*strCount*/, const StringList& /*strings*/, const uint64_t* u,
                       const uint32_t* l, const std::string& /*url*/) {
    switch (op) {
    case OP_GET:
        switch (index) {
        case Cmd::name: dport.getDevicePortWWN(u[0], l[0]); return;
        case Cmd::state: dport.getDevicePortState(u[0], u[1]); return;
        default:
            cliprint(kDevicePortUsage);
        }
    case OP_NUMBER:
        if (index == Cmd::initialeventcnt) return noAction();
        dport.getNumberOfDevicePorts(u[0]);
        return;
    default:
        cliprint(kDevicePortUsage);
    }
}

void operateSystemManager(int op, int index, int /*strCount*/, const StringList& /*strings*/, const uint64_t* /*u64*/,
                          const uint32_t* l, int /*adminCount*/, const StringList& /*admin*/,
                          const std::string& /*url*/) {
    switch (op) {
    case OP_GET:
        switch (index) {
        case Cmd::name:
            return noAction();
        case Cmd::whoami:
            sysman.whoAmI();
            return;
        case Cmd::apmlevel1: sysman.getAPMLevel1Info(); return;
        case Cmd::apmlevel2: sysman.getAPMLevel2Info(); return;
        case Cmd::advanceperformance: sysman.getAdvancePerformanceInfo(); return;
        default:
            cliprint(kSystemManagerUsage);
        }
    case OP_SET:
        switch (index) {
        case Cmd::sysparams: sysman.setSystemParams(l); return;
        case Cmd::apmlevel1: sysman.setAPMLevel1(l[0], l[1], l[2], l[3], l[4], l[5], l[6], l[7], l[8]); return;
        case Cmd::apmlevel2: sysman.setAPMLevel2(l[0], l[1], l[2], l[3], l[4], l[5], l[6]); return;
        case Cmd::configuretqm: sysman.setTQM(l[0], l[1]); return;
        case Cmd::advanceperformance: sysman.setAdvancePerformance(l[0], l[1], l[2]); return;
        default:
            cliprint(kSystemManagerUsage);
        }
    case OP_DELETE:
        if (index == Cmd::devicesize) return noAction();
        cliprint(kSystemManagerUsage);
    case OP_NUMBER:
        if (index == Cmd::initialeventcnt) return noAction();
        cliprint(kSystemManagerUsage);
    default:
        cliprint(kSystemManagerUsage);
    }
}

void operateEnclosure(int op, int index, int u32Count, int /*strCount*/, const StringList& /*strings*/,
                      const uint64_t* /*u64*/, const uint32_t* u32, const std::string& /*url*/) {
    switch (op) {
    case OP_GET:
        switch (index) {
        case Cmd::prodrevision: dEnc.getRevisionLevelOfEnclosure(u32[0]); return;
        case Cmd::device: encl.getDeviceWWNOfEnclosure(u32[0], u32[1]); return;
        case Cmd::enclosure: dEnc.getRawPage(u32[0]); return;
        case Cmd::deviceinslot: encl.getDeviceWWNInSlot(u32[0], u32[1]); return;
        case Cmd::sesinfo: dEnc.getSESInfo(u32Count > 0 ? u32[0] : 0); return;
        case Cmd::allinfo: dEnc.getAllInformation(u32[0]); return;
        default: cliprint(kEnclosureUsage);
        }
    case OP_SET:
        if (index == Cmd::locate) {
            encl.getEnclosureLocation(u32[0], u32[1]);
            return;
        }
        cliprint(kEnclosureUsage);
    case OP_NUMBER:  // device counts the drives, any other name the enclosures
        if (index == Cmd::device) encl.getNumberOfDevices(u32[0]);
        else encl.getNumberOfEnclosures();
        return;
    default:
        cliprint(kEnclosureUsage);
    }
}

namespace {

void configurationGet(int index, const StringList& /*strings*/, int lc, const uint32_t* l, int mc, const StringList& m) {
    switch (index) {
    case Cmd::volumestate:
    case Cmd::volumesinsubgroup:
    case Cmd::mirrorlevel:
    case Cmd::lun:
    case Cmd::devicearray:
    case Cmd::extendedstate:
    case Cmd::totalspace:
    case Cmd::loggedintocontroller:
        return noAction();
    case Cmd::arrayid: cfg.getArrayID(l[0]); return;
    case Cmd::ldid: cfg.getLogicalDriveID(l[0]); return;
    case Cmd::host: cfg.getHostWWN(l[0]); return;
    case Cmd::ldsize: cfg.getLogicalDriveSize(l[0]); return;
    case Cmd::arraylevel: cfg.getArrayLevel(l[0]); return;
    case Cmd::hotsparewwn: cfg.getHotSpareWWN(l[0]); return;
    case Cmd::odastatstruct: cfg.getFeaturedODAStatStruct(); return;
    case Cmd::hostport: cfg.getHostPortWWN(l[0]); return;
    case Cmd::odainfostruct: cfg.getFeaturedODAInfoStruct(); return;
    case Cmd::arrayspare: cfg.getHotSpareArray(l[0], l[1]); return;
    case Cmd::arraydevice: cfg.getDeviceInArray(l[0], l[1]); return;
    case Cmd::hotsparetype: cfg.IsHotSpareDedicated(l[0]); return;
    case Cmd::internalld: cfg.getInternalLogicalDrives(); return;
    case Cmd::initstate: cfg.getInitStatus(l[0]); return;
    case Cmd::percentcomplete: cfg.getInitPercentComplete(l[0]); return;
    case Cmd::chunkblkcnt: cfg.getArrayStripeSize(l[0]); return;
    case Cmd::regionstatus: cfg.getRegionStatus(l[0]); return;
    case Cmd::regionarrayno: cfg.getRegionArrayNo(l[0]); return;
    case Cmd::regioncap: cfg.getRegionCapacity(l[0]); return;
    case Cmd::regionmap: cfg.getRegionMap(); return;
    case Cmd::rankconfigstruct: cfg.getRankConfigStruct(); return;
    case Cmd::hostconfigstruct: cfg.getHostConfigStruct(); return;
    case Cmd::lunmappingstruct: cfg.getLunMappingStruct(); return;
    case Cmd::confighdrstruct: cfg.getConfigStorageHeaderStruct(); return;
    case Cmd::ldindex: cfg.getLogicalDriveIndex(l[0]); return;
    case Cmd::arraysize: cfg.getArraySize(l[0]); return;
    case Cmd::isldmappedtoport: cfg.IsLDMappedToPort(l[0], l[1]); return;
    case Cmd::isldnamematch: cfg.IsLDNameMatch(l[0], m[0]); return;
    case Cmd::allinfo: cfg.getAllConfigInfo(); return;
    case Cmd::configprogress: cfg.getConfigProgressStatus(); return;
    case Cmd::configprogressinfo: cfg.getConfigProgressInformation(); return;
    case Cmd::apmstatus: cfg.getArrayAPMStatus(l[0]); return;
    case Cmd::whoami:
        cfg.whoAmI();
        return;
    case Cmd::raidsystems:
        cfg.getRaidSystemWWN(l[0]);
        return;
    case Cmd::encevents: cfg.ReadEv(); return;
    case Cmd::snapbackinprogress: cfg.getFeaturedSnapBackProgress(l[0]); return;
    case Cmd::snapshotdata: cfg.getFeaturedSnapshotData(l[0]); return;
    case Cmd::ldassignflag: cfg.getFeaturedLDAssignedFlag(l[0]); return;
    case Cmd::intldassignflag: cfg.getFeaturedInternalLDAssignedFlag(l[0]); return;
    case Cmd::ldinternallun: cfg.getLDIndexforInternalLun(l[0]); return;
    case Cmd::vcopyprogress:
        if (mc != 0) cfg.getVolumeCopyProgress(m[0]);
        else cfg.getVolumeCopyProgress(l[0]);
        return;
    case Cmd::vcopyallstatus: cfg.getAllVolumeCopyStatus(); return;
    case Cmd::vcopystatus:
        if (mc != 0) cfg.getVolumeCopyStatus(m[0]);
        else cfg.getVolumeCopyStatus(l[0]);
        return;
    case Cmd::saveconfig: cfg.getSaveConfig(mc != 0 ? m[0] : std::string(), lc > 0 && l[0] != 0); return;
    default:
        cliprint(kConfigurationUsage);
    }
}

void configurationCreate(int index, const StringList& /*strings*/, const uint64_t* u, int u32Count, const uint32_t* l,
                         int adminCount, const StringList& m) {
    switch (index) {
    case Cmd::array: cfg.createArray(l[0], u, l[1], l[2], l[3], l[4], l[5], l[6], l[7], l[8], l[9], l[10]); return;
    case Cmd::logicaldrives:  // the value counts choose the form
        if (u32Count == 3) cfg.createLogicalDrive(l[0], l[1], l[2], adminCount != 0 ? &m[0] : nullptr);
        else if (u32Count == 2 && adminCount == 1) cfg.createLogicalDrive(m[0], l[0], l[1], nullptr);
        else if (u32Count == 2 && adminCount == 2) cfg.createLogicalDrive(m[0], l[0], l[1], &m[1]);
        else cliprint(kParameterListUsage);
        return;
    case Cmd::lun:
        if (adminCount != 0) cfg.createMapping(u[0], u[1], m[0], l[0], l[1], l[2], 0);
        else cfg.createMapping(u[0], u[1], l[0], l[1], l[2], l[3], 0);
        return;
    case Cmd::arrayspare: cfg.createHotSpare(u[0], l[0]); return;
    case Cmd::snapshot:
    case Cmd::vcopy:  // the flag deletes the new snapshot at once
        if (adminCount != 0) cfg.takeSnapshot(m[0], u32Count > 0 && l[0] == 1);
        else cfg.takeSnapshot(l[0], u32Count > 1 && l[1] == 1);
        return;
    case Cmd::oda:
        if (adminCount != 0) cfg.createFeaturedODA(m[0], l[0]);
        else cfg.createFeaturedODA(l[0], l[1]);
        return;
    case Cmd::mapsnapshot: cfg.createMapping(u[0], u[1], l[0], l[1], l[2], l[3], 1); return;
    default:
        cliprint(kConfigurationUsage);
    }
}

void configurationDelete(int index, const StringList& /*strings*/, const uint64_t* u, const uint32_t* l, int adminCount,
                         const StringList& m) {
    switch (index) {
    case Cmd::devicesinarray:
        return noAction();
    case Cmd::array: cfg.deleteArray(l[0]); return;
    case Cmd::logicaldrives:
        if (adminCount != 0) cfg.deleteLogicalDrive(m[0]);
        else cfg.deleteLogicalDrive(l[0]);
        return;
    case Cmd::lun:
        if (adminCount != 0) cfg.deleteMapping(u[0], l[0], m[0]);
        else cfg.deleteMapping(u[0], l[0], l[1]);
        return;
    case Cmd::arrayspare: cfg.deleteHotSpare(l[0]); return;
    case Cmd::snapshot: cfg.deleteSnapshot(l[0], l[1], l[2]); return;
    case Cmd::oda:
        if (adminCount != 0) cfg.releaseODA(m[0]);
        else cfg.releaseODA(l[0]);
        return;
    default:
        cliprint(kConfigurationUsage);
    }
}

void configurationSet(int index, const StringList& /*strings*/, const uint64_t* u, int u32Count, const uint32_t* l,
                      int adminCount, const StringList& m) {
    switch (index) {
    case Cmd::lun:
        return noAction();
    case Cmd::name: cfg.setConfigName(m[0]); return;
    case Cmd::array: cfg.setPoolName(l[0], m[0]); return;
    case Cmd::trust: cfg.trustArray(l[0]); return;
    case Cmd::clearconfig: cfg.clearConfig(); return;
    case Cmd::expandarray: cfg.expandArray(l[0], l[1], u); return;
    case Cmd::paritycheck: cfg.parityCheck(l[0], l[1], l[2]); return;
    case Cmd::arraycachesettings: cfg.SetDriveRankCacheParams(l[0], l[1], l[2], l[3], l[4], l[5], l[6]); return;
    case Cmd::expandld: cfg.expandLD(l[0], l[1], l[2]); return;
    case Cmd::hostlun:
        if (adminCount != 0) cfg.setHostLUNAvailability(m[0], l[0]);
        else cfg.setHostLUNAvailability(l[0], l[1]);
        return;
    case Cmd::logicaldrives: cfg.setVolumeName(l[0], m[0]); return;
    case Cmd::snapshot: cfg.assignVirtualLunSnap(l[0], l[1], l[2]); return;
    case Cmd::snapback: cfg.snapBack(l[0], l[1], l[2]); return;
    case Cmd::clearevent: cfg.ClearEvents(); return;
    case Cmd::assignoda:
        if (adminCount == 0) cfg.assignODA(l[0], l[1], 2);
        else if (adminCount == 2) cfg.assignODA(m[0], &m[1], 2);
        else cliprint(kParameterListUsage);
        return;
    case Cmd::unassignoda:
        if (adminCount != 0) cfg.assignODA(m[0], adminCount > 1 ? &m[1] : nullptr, 0);
        else cfg.assignODA(l[0], u32Count > 1 ? l[1] : 0, 0);
        return;
    case Cmd::vcopysetup:
        if (adminCount == 2) cfg.setupVolumeCopy(m[0], m[1], l[0] != 0, u32Count > 1 ? l[1] : 3);
        else cfg.setupVolumeCopy(l[0], l[1], l[2] != 0, u32Count > 3 ? l[3] : 3);
        return;
    case Cmd::vcopyprio:
        if (adminCount != 0) cfg.setVolumeCopyPriority(m[0], l[0]);
        else cfg.setVolumeCopyPriority(l[0], l[1]);
        return;
    case Cmd::vcopypause:
        if (adminCount != 0) cfg.pauseVolumeCopy(m[0]);
        else cfg.pauseVolumeCopy(l[0]);
        return;
    case Cmd::vcopyresume:
        if (adminCount != 0) cfg.resumeVolumeCopy(m[0]);
        else cfg.resumeVolumeCopy(l[0]);
        return;
    case Cmd::vcopyabort:
        if (adminCount != 0) cfg.abortVolumeCopy(m[0]);
        else cfg.abortVolumeCopy(l[0]);
        return;
    case Cmd::copyback:
        if (adminCount != 0) cfg.startCopyBack(m[0], m[1], l[0] != 0);
        else cfg.startCopyBack(l[0], l[1], l[2] != 0);
        return;
    case Cmd::restoreconfig:
        if (adminCount == 0) {
            std::printf("\n<ConfigFileName> not specified\nPlease use: LQCL -F -s -z restoreconfig -m <ConfigFileName>\n\n");
            cliprint(kParameterListUsage);
        }
        cfg.setRestoreConfig(m[0]);
        return;
    case Cmd::apmspin: cfg.setManualArraySpinUpOrDown(l[0], l[1]); return;
    case Cmd::apmtest: cfg.setArrayFunctionalTest(l[0]); return;
    default:
        cliprint(kConfigurationUsage);
    }
}

void configurationNumber(int index, const StringList& /*strings*/, const uint32_t* l) {
    switch (index) {
    case Cmd::volumesinsubgroup:
        return noAction();
    case Cmd::array: cfg.getNumberOfArrays(); return;
    case Cmd::host: cfg.getNumberOfHosts(); return;
    case Cmd::logicaldrives: cfg.getNumberOfVolumes(); return;
    case Cmd::devicesinarray: cfg.getNumberOfDevicesInArray(l[0]); return;
    case Cmd::arrayspare: cfg.getHotSpareArrayCount(l[0]); return;
    case Cmd::globalhotspare: cfg.getNumberOfGlobalHotSpares(); return;
    case Cmd::totalhotsparecnt: cfg.getNumberOfHotSpares(); return;
    case Cmd::regionmap: cfg.getNumRegions(); return;
    case Cmd::raidsystems:
        cfg.getNumberOfRaidSystemsPresent();
        return;
    case Cmd::snapshotdata: cfg.getNumSnapshotLD(l[0]); return;
    case Cmd::initialeventcnt: cfg.getNumberOfInitialEventRecordsFromController(); return;
    case Cmd::specificevent: cfg.ReadSpecificEvent(l[0]); return;
    case Cmd::latesteventcnt: cfg.getNumberOfLatestEventRecordsFromController(); return;
    case Cmd::encevents: cfg.getNumberOfRecords(); return;
    default:
        cliprint(kConfigurationUsage);
    }
}

}  // namespace

void operateConfiguration(int op, int index, int /*strCount*/, const StringList& strings, const uint64_t* u64,
                          int u32Count, const uint32_t* u32, int adminCount, const StringList& admin,
                          const std::string& /*url*/) {
    switch (op) {
    case OP_GET:
        return configurationGet(index, strings, u32Count, u32, adminCount, admin);
    case OP_CREATE:
        return configurationCreate(index, strings, u64, u32Count, u32, adminCount, admin);
    case OP_DELETE:
        return configurationDelete(index, strings, u64, u32, adminCount, admin);
    case OP_SET:
        return configurationSet(index, strings, u64, u32Count, u32, adminCount, admin);
    case OP_NUMBER:
        return configurationNumber(index, strings, u32);
    case OP_ADD:
        if (index == Cmd::lun) return noAction();
        cliprint(kConfigurationUsage);
    default:
        cliprint(kConfigurationUsage);
    }
}
