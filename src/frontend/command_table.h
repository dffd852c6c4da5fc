// The command table: every command name with its command index. One list
// yields both the table `allowed_array` (the position of a name is its index) and
// the constants `Cmd::<name>` the dispatch functions switch on.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>

// CMD(index, name) is a command; SLOT(index, name) is an index that no command
// uses.
#define LQCL_COMMAND_TABLE(CMD, SLOT) \
    CMD(0, name) \
    CMD(1, snapbackinprogress) \
    CMD(2, devicesize) \
    CMD(3, blocksize) \
    CMD(4, array) \
    CMD(5, arrayid) \
    CMD(6, initialeventcnt) \
    CMD(7, state) \
    CMD(8, clearevent) \
    CMD(9, ldid) \
    CMD(10, host) \
    CMD(11, hostlun) \
    CMD(12, diagdump) \
    CMD(13, snapshot) \
    CMD(14, volumestate) \
    CMD(15, ldsize) \
    CMD(16, arraylevel) \
    CMD(17, cntinfofailstruct) \
    CMD(18, regenpercentcomplete) \
    CMD(19, hotsparewwn) \
    CMD(20, prodrevision) \
    CMD(21, snapback) \
    CMD(22, snapshotdata) \
    CMD(23, odastatstruct) \
    CMD(24, controller) \
    CMD(25, device) \
    CMD(26, enclosure) \
    CMD(27, hostport) \
    CMD(28, odainfostruct) \
    SLOT(29, reserved29) \
    CMD(30, deviceinslot) \
    CMD(31, volumesinsubgroup) \
    CMD(32, logicaldrives) \
    CMD(33, specificevent) \
    CMD(34, latesteventcnt) \
    CMD(35, hostcmdtimeout) \
    CMD(36, clearstats) \
    CMD(37, ldassignflag) \
    CMD(38, intldassignflag) \
    CMD(39, trust) \
    CMD(40, datarate) \
    CMD(41, assignoda) \
    CMD(42, unassignoda) \
    CMD(43, mirrorlevel) \
    CMD(44, lun) \
    CMD(45, devicesinarray) \
    CMD(46, arrayspare) \
    CMD(47, oda) \
    CMD(48, arraydevice) \
    CMD(49, devicearray) \
    CMD(50, seteventwwn) \
    CMD(51, hotsparetype) \
    CMD(52, globalhotspare) \
    CMD(53, status) \
    CMD(54, internalld) \
    CMD(55, ldinternallun) \
    CMD(56, shutdown) \
    CMD(57, reset) \
    CMD(58, encevents) \
    CMD(59, regenstate) \
    CMD(60, role) \
    CMD(61, initstate) \
    CMD(62, extendedstate) \
    CMD(63, percentcomplete) \
    CMD(64, chunkblkcnt) \
    CMD(65, globalspare) \
    CMD(66, regionstatus) \
    CMD(67, regionarrayno) \
    CMD(68, regioncap) \
    CMD(69, totalspace) \
    CMD(70, spaceleft) \
    CMD(71, totalhotsparecnt) \
    CMD(72, encnum) \
    CMD(73, sysparams) \
    CMD(74, clearconfig) \
    CMD(75, loggedintocontroller) \
    CMD(76, slots) \
    CMD(77, expandarray) \
    CMD(78, paritypercent) \
    CMD(79, paritycheck) \
    CMD(80, expandarraystate) \
    CMD(81, expandarraypercent) \
    CMD(82, whoami) \
    CMD(83, regionmap) \
    CMD(84, rankconfigstruct) \
    CMD(85, alldriveinfostruct) \
    CMD(86, hostconfigstruct) \
    CMD(87, lunmappingstruct) \
    CMD(88, confighdrstruct) \
    CMD(89, unused) \
    CMD(90, raidversion) \
    CMD(91, arraycachesettings) \
    CMD(92, ldindex) \
    CMD(93, arraysize) \
    CMD(94, firmware) \
    CMD(95, driverevision) \
    CMD(96, isldmappedtoport) \
    CMD(97, isldnamematch) \
    CMD(98, raidsystems) \
    CMD(99, expandld) \
    CMD(100, prodtype) \
    CMD(101, sesinfo) \
    CMD(102, allinfo) \
    CMD(103, configwwn) \
    CMD(104, locate) \
    CMD(105, prefsconfig) \
    CMD(106, mapsnapshot) \
    CMD(107, drivefirmware) \
    CMD(108, controllerlun) \
    CMD(109, apmspin) \
    CMD(110, apmtest) \
    CMD(111, apmstatus) \
    CMD(112, apmlevel1) \
    CMD(113, apmlevel2) \
    CMD(114, apmstatusall) \
    CMD(115, configprogress) \
    CMD(116, configprogressinfo) \
    CMD(117, configuretqm) \
    CMD(118, advanceperformance) \
    CMD(119, vcopysetup) \
    CMD(120, vcopyprogress) \
    CMD(121, vcopyallstatus) \
    CMD(122, vcopystatus) \
    CMD(123, vcopyprio) \
    CMD(124, vcopypause) \
    CMD(125, vcopyresume) \
    CMD(126, vcopyabort) \
    CMD(127, copyback) \
    CMD(128, vcopy) \
    CMD(129, synctime) \
    CMD(130, saveconfig) \
    CMD(131, restoreconfig) \
    SLOT(132, reserved132) \
    CMD(133, faildrive)

constexpr size_t kAllowedCount = 134;
constexpr size_t kAllowedEntrySize = 64;
extern const char allowed_array[kAllowedCount][kAllowedEntrySize];

// Command indices by name; `Cmd::unknown` for a name not in the table.
namespace Cmd {
enum Index : int {
    unknown = -1,
#define LQCL_COMMAND_CONSTANT(index, name) name = index,
    LQCL_COMMAND_TABLE(LQCL_COMMAND_CONSTANT, LQCL_COMMAND_CONSTANT)
#undef LQCL_COMMAND_CONSTANT
};
}  // namespace Cmd

namespace command_table_detail {
#define LQCL_COMMAND_INDEX(index, name) index,
constexpr int kIndices[] = {LQCL_COMMAND_TABLE(LQCL_COMMAND_INDEX, LQCL_COMMAND_INDEX)};
#undef LQCL_COMMAND_INDEX
constexpr bool indicesArePositions() {
    for (size_t i = 0; i < std::size(kIndices); ++i)
        if (kIndices[i] != static_cast<int>(i)) return false;
    return true;
}
static_assert(std::size(kIndices) == kAllowedCount, "the command table has 134 entries");
static_assert(indicesArePositions(), "each index in the command table equals its position");
}  // namespace command_table_detail

// True for the index of a command, false for an unused slot or out of range.
bool isCommandIndex(int index);

// Index of name in allowed_array (exact, case-sensitive), or -1. The names of
// the unused slots never match.
int lookupCommand(const std::string& name);
