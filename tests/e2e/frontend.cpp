// End-to-end tests of the command line, the selection of a system and its paths:
// the built lqcl run as a process, its whole standard output, standard error
// and exit status compared with the texts the tool is documented to print. Also
// inputs that must be refused or reported rather than half-handled: over-long
// values, unused command slots, a report that cannot be written, hostile device
// directories, short answers.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "texts.h"

using nlohmann::json;
using namespace testsupport;
using namespace e2e;

namespace {

// The usage-error form: the message, an empty line and the help hint.
std::string usageError(const std::string& message) {
    return "Error: " + message + "\n\nFor complete USAGE and HELP type: \n   WQCL/LQCL --help\n\n";
}

const std::string kNoLibrary = usageError("No Library specified. Try `-h` for help.\n");

// Out-of-band mode selects its system without discovery, so the front end can be
// driven end to end without any device. Nothing is sent anywhere by these tests.
std::vector<std::string> oob(const std::vector<std::string>& args) {
    return e2e::oob(args, "admin", "secret", "127.0.0.1");
}

class FrontEnd : public testing::Test {
protected:
    // An empty device directory: in-band discovery finds no RAID system.
    testsupport::TempDir devDir;
    std::map<std::string, std::string> env() const { return {{"LQCL_DEV_DIR", devDir.path()}}; }

    void expect(const std::vector<std::string>& args, const std::string& out, const std::string& err, int status) {
        RunResult r = runLqcl(args, env(), devDir.path());
        std::string line;
        for (const auto& a : args) line += a + " ";
        EXPECT_EQ(r.out, out) << line;
        EXPECT_EQ(r.err, err) << line;
        EXPECT_EQ(r.status, status) << line;
    }
};

TEST_F(FrontEnd, HelpAndVersionPrintTheirWholeTexts) {
    const std::string expected =
        "\nUSAGE: \n\n   lqcl  [-N] [-X] [-I] [-H] [-D] [-C] [-F] [-E] [-O] [-S] [-g] [-c] [-n]\n"
        "         [-d] [-o] [-a] [-s] [--history] [-u <uint64>] ... [-l <uintp32>]\n"
        "         ... [-p <uintp64>] ... [-z <name>] ... [--url <String>] [--ADMIN\n"
        "         <command>] [-m <changeName>] ... [--] [-v] [-h]\n\n\nWhere: \n\n"
        "   -N,  --Network\n     Network Out of Band Functions\n\n"
        "   -X,  --hexadecimal\n     Input Hexadecimal Type Function\n\n"
        "   -I,  --decimal\n     Input Decimal Type Function\n\n"
        "   -H,  --hostport\n     Host Port Library Functions\n\n   -D,  --device\n     Device Library Functions\n\n"
        "   -C,  --controller\n     Controller Library Functions\n\n"
        "   -F,  --configuration\n     Configuration Library Functions\n\n"
        "   -E,  --enclosure\n     Enclosure Library Functions\n\n"
        "   -O,  --devport\n     Device Port Library Functions\n\n"
        "   -S,  --sysman\n     System Manager Library Functions\n\n   -g,  --get\n     Get/Display an object\n\n"
        "   -c,  --create\n     Create an object\n\n   -n,  --number\n     Number of objects\n\n"
        "   -d,  --delete\n     Delete/Remove/Clear an object\n\n   -o,  --commit\n     Commit an object\n\n"
        "   -a,  --add\n     Add/New an object\n\n   -s,  --set\n     Set/Execute an object\n\n"
        "   --history\n     Display History Buffer\n\n"
        "   -u <uint64>,  --i64 <uint64>  (accepted multiple times)\n     Unsigned 64 bit int (in HEX)\n\n"
        "   -l <uintp32>,  --i32 <uintp32>  (accepted multiple times)\n     Unsigned p32 bit int (in HEX)\n\n"
        "   -p <uintp64>,  --ip64 <uintp64>  (accepted multiple times)\n     Unsigned ip64 bit int (in HEX)\n\n"
        "   -z <name>,  --arg <name>  (accepted multiple times)\n     Variable string\n\n   --url <String>\n"
        "     DEPRICIATED: Remote URL (Zentool is only LOCALHOST now, this command\n     has no effect)\n\n"
        "   --ADMIN <command>\n     Administrative Commands\n\n"
        "   -m <changeName>,  --istrings <changeName>  (accepted multiple times)\n     Admin commands\n\n"
        "   --,  --ignore_rest\n     Ignores the rest of the labeled arguments following this flag.\n\n"
        "   -v,  --version\n     Displays version information and exits.\n\n"
        "   -h,  --help\n     Displays usage information and exits.\n\n\n   Quorlane Command Line (QCL) \n"
        "\n";
    for (const char* flag : {"-h", "--help"}) expectResult(runLqclNamed({flag}, env()), expected, 0, flag);
    for (const char* flag : {"-v", "--version"})
        expectResult(runLqclNamed({flag}, env()), "\nlqcl  version: 5.13.0005\n\n", 0, flag);
}

TEST_F(FrontEnd, ParseErrorsEndWithStatusOne) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-q"}, {"-C", "-z"}, {"--url"}, {"--nosuchflag"}, {"-C", "extra"}}) {
        RunResult r = runLqclNamed(args, env());
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_EQ(r.out, "") << args[0];
        EXPECT_EQ(r.err.rfind("PARSE ERROR: ", 0), 0u) << r.err;
        const std::string tail = "\nFor complete USAGE and HELP type: \n   lqcl --help\n\n";
        ASSERT_GE(r.err.size(), tail.size());
        EXPECT_EQ(r.err.substr(r.err.size() - tail.size()), tail);
    }
}

TEST_F(FrontEnd, LibraryCheckSelectionAndAdmin) {
    expect(oob({}), "", kNoLibrary, 255);
    // "-h" after the ignore-rest marker does not print help but still spares the
    // usage error: nothing is called and the run ends quietly.
    expect(oob({"--", "-h"}), "", "", 0);
    // In band, selection comes before the library check.
    expect({"-F", "-n", "-z", "raidsystems", "-p", "1"}, kNoRaidSystem, "", 255);
    expect({"--ADMIN", "something"}, kNoRaidSystem, "", 255);
    expect({}, kNoRaidSystem, "", 255);
    // --ADMIN something echoes its value; any other value has no effect.
    expect(oob({"--ADMIN", "something"}), "something", "", 0);
    expect(oob({"--ADMIN", "something", "-C", "-c"}), "something", "", 0);
    expect(oob({"--ADMIN", "other"}), "", kNoLibrary, 255);
}

TEST_F(FrontEnd, InvalidNumberValues) {
    const std::string badU = "\nFound invalid input entry for -u parameter. Only hexadecimal integer values accepted\n";
    const std::string badHexL =
        "\nFound invalid input entry for -l parameter. Only hexadecimal integer values accepted  \n";
    const std::string badDecL = "\nFound invalid input entry for -l parameter. Only decimal integer values accepted  \n";
    expect(oob({"-C", "-u", "12g4"}), badU, "", 255);
    expect(oob({"-C", "-u", "0x12"}), badU, "", 255);
    expect(oob({"-C", "-l", "0x12"}), badDecL, "", 255);
    expect(oob({"-C", "-l", "-1"}), badDecL, "", 255);
    expect(oob({"-C", "-X", "-l", "0x12"}), badHexL, "", 255);
    expect(oob({"-C", "-X", "-l", "ff", "-l", "1.5"}), badHexL, "", 255);
    // -I wins over -X: the value is read as decimal.
    expect(oob({"-C", "-I", "-X", "-l", "A"}), badDecL, "", 255);
    // -u is converted before -l.
    expect(oob({"-C", "-l", "z", "-u", "z"}), badU, "", 255);
    // Accepted values run on to the dispatch (an unknown set command does nothing).
    expect(oob({"-C", "-s", "-X", "-l", "ffffffff", "-u", "12#", "-l", "7"}), "", "", 0);
}

TEST_F(FrontEnd, PrintListsTheCommandTableSorted) {
    // The command names in index order; the unused slots 29 and 132 are not listed.
    std::vector<std::string> names = {
        "name", "snapbackinprogress", "devicesize", "blocksize", "array", "arrayid", "initialeventcnt", "state",
        "clearevent", "ldid", "host", "hostlun", "diagdump", "snapshot", "volumestate", "ldsize", "arraylevel",
        "cntinfofailstruct", "regenpercentcomplete", "hotsparewwn", "prodrevision", "snapback", "snapshotdata",
        "odastatstruct", "controller", "device", "enclosure", "hostport", "odainfostruct", "deviceinslot",
        "volumesinsubgroup", "logicaldrives", "specificevent", "latesteventcnt", "hostcmdtimeout", "clearstats",
        "ldassignflag", "intldassignflag", "trust", "datarate", "assignoda", "unassignoda", "mirrorlevel", "lun",
        "devicesinarray", "arrayspare", "oda", "arraydevice", "devicearray", "seteventwwn", "hotsparetype",
        "globalhotspare", "status", "internalld", "ldinternallun", "shutdown", "reset", "encevents", "regenstate",
        "role", "initstate", "extendedstate", "percentcomplete", "chunkblkcnt", "globalspare", "regionstatus",
        "regionarrayno", "regioncap", "totalspace", "spaceleft", "totalhotsparecnt", "encnum", "sysparams",
        "clearconfig", "loggedintocontroller", "slots", "expandarray", "paritypercent", "paritycheck",
        "expandarraystate", "expandarraypercent", "whoami", "regionmap", "rankconfigstruct", "alldriveinfostruct",
        "hostconfigstruct", "lunmappingstruct", "confighdrstruct", "unused", "raidversion", "arraycachesettings",
        "ldindex", "arraysize", "firmware", "driverevision", "isldmappedtoport", "isldnamematch", "raidsystems",
        "expandld", "prodtype", "sesinfo", "allinfo", "configwwn", "locate", "prefsconfig", "mapsnapshot",
        "drivefirmware", "controllerlun", "apmspin", "apmtest", "apmstatus", "apmlevel1", "apmlevel2", "apmstatusall",
        "configprogress", "configprogressinfo", "configuretqm", "advanceperformance", "vcopysetup", "vcopyprogress",
        "vcopyallstatus", "vcopystatus", "vcopyprio", "vcopypause", "vcopyresume", "vcopyabort", "copyback", "vcopy",
        "synctime", "saveconfig", "restoreconfig", "faildrive",
    };
    ASSERT_EQ(names.size(), 132u);
    std::sort(names.begin(), names.end());
    std::string listing;
    for (const auto& n : names) listing += n + "\n";
    expect(oob({"-C", "-z", "print"}), listing, usageError("Possible Strings Calls are: "), 255);
    expect(oob({"-F", "-s", "-z", "print", "-z", "more"}), listing, usageError("Possible Strings Calls are: "), 255);
}

TEST_F(FrontEnd, UsageErrorsOfTheLibraries) {
    const std::pair<std::string, std::vector<std::vector<std::string>>> libraries[] = {
        {"01]- No Appropriate Controller",  // no -z: index -1
         {{"-C", "-g", "-z", "nosuchcommand"}, {"-C", "-g", "-z", "reset"}, {"-C", "-g"}, {"-C", "-c", "-z", "reset"},
          {"-C", "-a"}}},
        {"02]- No Appropriate Device", {{"-D", "-g", "-z", "NAME"}, {"-D", "-c"}, {"-D", "-s", "-z", "reset"}}},
        {"04]- No Appropriate Configuration",
         {{"-F", "-g", "-z", "reset"}, {"-F", "-o", "-z", "array"}, {"-F", "-a", "-z", "array"}}},
        {"05]- No Appropriate Enclosure", {{"-E", "-g", "-z", "name"}, {"-E", "-d"}}},
        {"06]- No Appropriate Device Port", {{"-O", "-s", "-z", "name"}, {"-O", "-g", "-z", "status"}}},
        {"07]- No Appropriate System Manager",
         {{"-S", "-g", "-z", "reset"}, {"-S", "-d", "-z", "name"}, {"-S", "-n", "-z", "array"}}},
    };
    for (const auto& [message, runs] : libraries)
        for (const auto& args : runs) expect(oob(args), "", usageError("Error [" + message + " Command Entered\n"), 255);
    const std::string params = usageError("Error [08] - Invalid Parameter List\n");
    // Value counts the configuration library checks itself.
    expect(oob({"-F", "-c", "-z", "logicaldrives", "-l", "1", "-l", "2", "-m", "a", "-m", "b", "-m", "c"}), "",
           params, 255);
    expect(oob({"-F", "-c", "-z", "logicaldrives", "-l", "1"}), "", params, 255);
    expect(oob({"-F", "-s", "-z", "assignoda", "-m", "a"}), "", params, 255);
    expect(oob({"-F", "-s", "-z", "restoreconfig"}),
           "\n<ConfigFileName> not specified\nPlease use: LQCL -F -s -z restoreconfig -m <ConfigFileName>\n\n",
           params, 255);
}

TEST_F(FrontEnd, RowsWithoutActionEndQuietly) {
    const std::vector<std::vector<std::string>> quiet = {
        {"-C", "-n", "-z", "reset"},             // controller number: any
        {"-C", "-F", "-s", "-z", "trust"},  // -C wins over -F
        {"-H", "-g", "-z", "name"},              // the host port library does nothing
        {"-D", "-d", "-z", "name"},              // device delete: any
        {"-O", "-n", "-z", "initialeventcnt"},
        {"-S", "-g", "-z", "name"},
        {"-S", "-d", "-z", "devicesize"},
        {"-S", "-n", "-z", "initialeventcnt"},
        {"-F", "-g", "-z", "volumestate"},
        {"-F", "-g", "-z", "loggedintocontroller"},
        {"-F", "-d", "-z", "devicesinarray"},
        {"-F", "-s", "-z", "lun"},
        {"-F", "-a", "-z", "lun"},
        {"-F", "-n", "-z", "volumesinsubgroup"},
        {"-F", "-s", "-g", "-z", "volumestate"},  // -g wins over -s
        {"--history", "-H"},
    };
    for (const auto& args : quiet) expect(oob(args), "", "", 0);
}

TEST_F(FrontEnd, CapacitiesAreRefusedNotCut) {
    // More than 20 values of one argument.
    expect(oob(e2e::withL({"-C", "-s"}, std::vector<std::string>(21, "1"))), "",
           usageError("Too many -l values: at most 20 are accepted.\n"), 255);
    expect(oob(e2e::withL({"-C", "-s"}, std::vector<std::string>(20, "1"))), "", "", 0);

    // Out-of-band mode needs its three credentials.
    expect({"-N", "-p", "admin", "-p", "secret", "-C", "-s"}, "",
           usageError("Out-of-band mode needs three -p values: user name, password and IP address.\n"), 255);

    // An in-band selector longer than 31 characters would be cut into another name.
    const std::string longPath = "/dev/" + std::string(27, 'x');  // 32 characters
    expect({"-C", "-g", "-z", "allinfo", "-p", longPath}, "",
           usageError("The -p value is longer than 31 characters: " + longPath + "\n"), 255);

    // Long -z and -m values are taken whole: a long name is simply not in the table.
    expect(oob({"-C", "-g", "-z", std::string(40, 'a')}), "",
           usageError("Error [01]- No Appropriate Controller Command Entered\n"), 255);
    expect(oob({"-C", "-s", "-z", "nosuchcommand", "-m", std::string(300, 'm')}), "", "", 0);
}

TEST_F(FrontEnd, HexadecimalValuesAreNeverCut) {
    const std::string u17 = "12000001122338800";
    expect(oob({"-C", "-s", "-u", "1", "-u", "fffffffffffffffff"}), "",
           usageError("The -u value has more than 16 hexadecimal digits: fffffffffffffffff\n"), 255);
    // Leading zeros are not digits of the value.
    expect(oob({"-C", "-s", "-u", "0000" + std::string(16, 'f')}), "", "", 0);
    // A value with another character converts to 0x7E whatever its length.
    expect(oob({"-C", "-s", "-u", "1234567890123456789#"}), "", "", 0);
    expect({"-F", "-n", "-z", "raidsystems", "-p", u17}, "",
           usageError("The -p value has more than 16 hexadecimal digits: " + u17 + "\n"), 255);
    expect({"-F", "-n", "-z", "raidsystems", "-p", "0" + std::string(16, 'f')}, kNoRaidSystem, "", 255);
    // The two unused slots of the table behave as unknown names.
    const std::string unknown = usageError("Error [04]- No Appropriate Configuration Command Entered\n");
    expect(oob({"-F", "-g", "-z", "reserved29"}), "", unknown, 255);
    expect(oob({"-F", "-n", "-z", "reserved132"}), "", unknown, 255);
}

TEST_F(FrontEnd, AReportThatCannotBeWrittenIsAnError) {
    RunResult r = testsupport::run(
        {"/bin/sh", "-c", std::string(LQCL_BINARY) + " -F -n -z raidsystems -p 0 >/dev/full"}, env());
    // Nothing found: the tool's own 255 stands.
    EXPECT_EQ(r.status, 255);
    testsupport::Simulator sim;
    r = testsupport::run({"/bin/sh", "-c", std::string(LQCL_BINARY) + " -F -n -z raidsystems >/dev/full"},
                         sim.env());
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "lqcl: error writing standard output: No space left on device\n");
    EXPECT_EQ(r.status, 1);
}

TEST_F(FrontEnd, ForeignPathsAreRefusedAndUnreachableDirectoriesSaid) {
    expect({"-F", "-n", "-z", "raidsystems", "-p", "/dev/null"}, kNoRaidSystem,
           "Error: '/dev/null' is not a SCSI generic device and cannot be used.\n", 255);

    // An emulated node whose path does not fit a socket address.
    const std::string deep = devDir.path() + "/" + std::string(100, 'd');
    ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
    const std::string shortName = devDir.path() + "/s";
    int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", shortName.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(rename(shortName.c_str(), (deep + "/sg0").c_str()), 0);
    RunResult r = runLqcl({"-F", "-n", "-z", "raidsystems"}, {{"LQCL_DEV_DIR", deep}});
    EXPECT_EQ(r.out, kNoRaidSystem);
    EXPECT_EQ(r.err, "Error: the device path '" + deep + "/sg0' is longer than the 107 characters of a socket address; "
                     "the device cannot be reached.\n");
    EXPECT_EQ(r.status, 255);
    close(fd);
}

// Discovery and path handling: several systems with several paths, duplicate
// paths, a foreign device, the exclusion list, the three ways of selecting a
// system (index, WWN, device path), failover between paths under injected
// faults, and the trace file.
json path(int sg, int host, int channel, int target, int lun, const std::string& portWwn) {
    return {{"sg", sg}, {"host", host}, {"channel", channel}, {"target", target}, {"lun", lun}, {"portWwn", portWwn}};
}

json system(const std::string& wwn, const std::string& name, const json& paths,
            const std::string& product = "TOLVO RAID 7000") {
    return {{"vendor", "TOLVO"}, {"product", product}, {"revision", "0513"}, {"capacityBlocks", 2097152},
            {"blockSize", 512}, {"wwn", wwn}, {"name", name}, {"paths", paths}};
}

// System A: sg0 and sg1, plus sg4 which differs from sg0 only in its host adapter.
// sg2 is a disk of another make. System B: sg3. System C (a TOLVO RAID 8000): sg5.
// System D, WWN 0000000000000ABC: sg8, past a gap at sg6 and sg7.
std::string fleet() {
    return json{{"systems",
                 {system("2000001122334400", "System A",
                         {path(0, 0, 0, 0, 0, "2100001122334401"), path(1, 1, 1, 0, 0, "2100001122334402"),
                          path(4, 2, 0, 0, 0, "2100001122334403")}),
                  system("2000001122334500", "System B", json::array({path(3, 0, 0, 1, 0, "2100001122334501")})),
                  system("2000001122334600", "System C", json::array({path(5, 0, 0, 2, 7, "2100001122334601")}), "TOLVO RAID 8000"),
                  system("0000000000000ABC", "System D", json::array({path(8, 0, 0, 3, 0, "2100001122334701")}))}},
                {"devices", {{{"sg", 2}, {"vendor", "ACME"}, {"product", "DISK DRIVE"}, {"revision", "1.00"}, {"type", 0}}}}}
        .dump();
}

std::string device(const std::string& dir, int sg, int lun, int channel, const std::string& wwn) {
    return "\nDevice: " + dir + "/sg" + std::to_string(sg) + "\nLun: " + std::to_string(lun) +
           "\nPath ID: " + std::to_string(channel) + "\nRaidSystemWWN: " + wwn + "\n";
}

std::string heading(int index) { return "\n**************RAID index: " + std::to_string(index) + "*******************"; }

struct DiscoveryListing : ::testing::Test {
    Simulator sim{fleet()};
};

TEST_F(DiscoveryListing, CountsSystemsAndListsEveryPathOnce) {
    const std::string d = sim.dir();
    testsupport::writeFile(d + "/sg6", "keep");  // a plain file: skipped and left as it is
    expectRun(sim, {"-F", "-n", "-z", "raidsystems"}, "\nIn-Band -> Number of RAID Systems found : 4\n", 0);
    // One scan: an INQUIRY of 96 bytes to each of the seven nodes, a header read
    // (buffer 3, 512 bytes) to each of the six RAID system paths.
    EXPECT_EQ(testsupport::sentCdbs(sim, "12"), std::vector<std::string>(7, "120000006000"));
    EXPECT_EQ(testsupport::sentCdbs(sim, "3c"), std::vector<std::string>(6, "3c010300000000020000"));
    EXPECT_EQ(testsupport::readFile(d + "/sg6"), "keep");
    // The foreign disk was asked who it is, never for a configuration header.
    for (const auto& c : sim.commands()) {
        if (c["device"] == "sg2") {
            EXPECT_EQ(c["cdb"].get<std::string>().substr(0, 2), "12");
        }
    }

    expectRun(sim, {"-S", "-g", "-z", "whoami"},
              heading(0) + device(d, 0, 0, 0, "2000001122334400") + device(d, 1, 0, 1, "2000001122334400") +
                  heading(1) + device(d, 3, 0, 0, "2000001122334500") + heading(2) +
                  device(d, 5, 7, 0, "2000001122334600") + heading(3) + device(d, 8, 0, 0, "0000000000000ABC"),
              0);
}

TEST_F(DiscoveryListing, ExclusionListLeavesSystemsOut) {
    testsupport::TempDir work;
    std::ofstream(work.path() + "/DIDEExclude.txt")
        << "// systems of the lab\n\n  2000001122334500  System B\n//2000001122334400\n\tABC\n";
    const std::string d = sim.dir();
    testsupport::expectResult(runLqcl({"-F", "-n", "-z", "raidsystems"}, sim.env(), work.path()),
                              "\nIn-Band -> Number of RAID Systems found : 2\n", 0);
    testsupport::expectResult(runLqcl({"-S", "-g", "-z", "whoami"}, sim.env(), work.path()),
                              heading(0) + device(d, 0, 0, 0, "2000001122334400") +
                                  device(d, 1, 0, 1, "2000001122334400") + heading(1) +
                                  device(d, 5, 7, 0, "2000001122334600"),
                              0);
}

TEST_F(DiscoveryListing, SelectionByIndexWwnAndDevicePath) {
    const std::string d = sim.dir();
    const std::string systemB = device(d, 3, 0, 0, "2000001122334500");
    const std::string systemC = device(d, 5, 7, 0, "2000001122334600");

    expectRun(sim, {"-F", "-g", "-z", "whoami", "-p", "2"}, systemC, 0);
    // The WWN of one system by index.
    expectRun(sim, {"-F", "-g", "-z", "raidsystems", "-l", "1"}, "Tolvo[1]:2000001122334500\n", 0);
    expectRun(sim, {"-F", "-g", "-z", "raidsystems", "-l", "4"},
              "Error:Invalid tolvoIndex, valid raidSystemIndex range 0-3\r\n", 0);
    expectRun(sim, {"-F", "-g", "-z", "whoami", "-p", "2000001122334500"}, systemB, 0);
    // A value above the last index is a WWN even when its high half is zero.
    expectRun(sim, {"-F", "-g", "-z", "whoami", "-p", "ABC"}, device(d, 8, 0, 0, "0000000000000ABC"), 0);
    // A small low half with a high half is a WWN, not an index.
    expectRun(sim, {"-F", "-g", "-z", "whoami", "-p", "100000003"}, kNoRaidSystem, 255);

    // The last -p value counts; an index beyond the systems selects nothing.
    expectRun(sim, {"-F", "-g", "-z", "whoami", "-p", "1", "-p", "4"}, kNoRaidSystem, 255);

    // A device path: only paths beginning "/de" are taken as one, so the node is
    // named through a link under /dev/shm.
    char linkDir[] = "/dev/shm/lqcl-XXXXXX";
    if (mkdtemp(linkDir) == nullptr) GTEST_SKIP() << "no /dev/shm";
    const std::string link = std::string(linkDir) + "/sg5";
    std::filesystem::create_symlink(d + "/sg5", link);
    auto byPath = runLqcl({"-F", "-g", "-z", "whoami", "-p", link}, sim.env());
    std::filesystem::remove_all(linkDir);
    EXPECT_EQ(byPath.out, "\nDevice: " + link + "\nLun: 7\nPath ID: 0\nRaidSystemWWN: 2000001122334600\n");
    EXPECT_EQ(byPath.status, 0);
}

TEST(DiscoveryBadReplies, ShortOrFailedAnswersLeaveThePathOut) {
    Simulator sim;  // one system on sg0 and sg1
    // A device the user names that does not exist selects nothing.
    expectRun(sim, {"-F", "-g", "-z", "whoami", "-p", "/dev/lqcl-no-such-node"}, kNoRaidSystem, 255);
    // sg0 answers the identifying INQUIRY with 10 bytes only: no product identification.
    sim.inject("sg0", "short-reply", R"({"cdb": "12", "length": 10})");
    expectRun(sim, {"-S", "-g", "-z", "whoami"}, heading(0) + device(sim.dir(), 1, 0, 1, "2000001122334400"), 0);

    // Both paths refuse the configuration header read: nothing is found.
    sim.inject("sg0", "check", R"({"cdb": "3C0103", "key": 5, "asc": 36, "ascq": 0})");
    sim.inject("sg1", "check", R"({"cdb": "3C0103", "key": 5, "asc": 36, "ascq": 0})");
    expectRun(sim, {"-F", "-n", "-z", "raidsystems"}, kNoRaidSystem, 255);
}

// Busy controllers, failed paths and lost systems as a user of lqcl sees them,
// against tolvo-sim with injected faults and its record of received commands.
// The default scenario: one TOLVO RAID 7000 (product type 8200) on sg0 and sg1.
const std::vector<std::string> kProductType = {"-C", "-g", "-z", "prodtype"};
const std::string kProductTypeReport = "\nController type is 8200";
// READ BUFFER mode 2, buffer 0x40: the controller information the report reads.
const std::string kControllerInfoCdb = "3c0240";

// Devices that received the controller information read, in order.
std::vector<std::string> infoReads(const Simulator& sim) {
    std::vector<std::string> devices;
    for (const auto& c : sim.commands())
        if (c["cdb"].get<std::string>().rfind(kControllerInfoCdb, 0) == 0) devices.push_back(c["device"]);
    return devices;
}

TEST(DeviceFailover, BusyControllerIsRetriedWithAWarningEachTime) {
    Simulator sim;
    sim.inject("sg0", "not-ready", R"({"cdb": "3C0240", "count": 3})");
    auto r = runLqcl(kProductType, sim.env());
    const std::string warning =
        "\n\nWARNING: RAID System 0 busy retry \\(#\\),\nLine=[0-9]+ File ='[^']+'\nMacro='\"TOLVO_GetControllerInfo\"'\n\n";
    std::string expected;
    for (char n : {'1', '2', '3'}) expected += std::regex_replace(warning, std::regex("#"), std::string(1, n));
    EXPECT_TRUE(std::regex_match(r.out, std::regex(expected + kProductTypeReport))) << r.out;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(infoReads(sim), (std::vector<std::string>{"sg0", "sg0", "sg0", "sg0"}));
}

// Faults met by the information read: what the user sees, and which devices
// received the read in turn.
TEST(DeviceFailover, FailedPathsRefusalsAndBusyOpens) {
    const std::string failPath = R"({"cdb": "3C0240", "forever": true})";
    const struct {
        std::vector<std::array<std::string, 3>> faults;  // target, kind, parameters
        std::string out;
        int status;
        std::vector<std::string> reads;
        int inquiries;  // INQUIRY commands in all (discovery and rediscoveries); -1 not counted
    } cases[] = {
        // A failed path moves to the next path silently.
        {{{"sg0", "fail-path", R"({"cdb": "3C0240"})"}}, kProductTypeReport, 0, {"sg0", "sg1"}, 2},
        // Discovery opens each node three times (scan, INQUIRY, header read); the information
        // read then finds sg0 held by someone else: nine refusals are absorbed by the open's
        // ten attempts, ten fail the path.
        {{{"sg0", "ebusy-open", R"({"skip": 3, "count": 9})"}}, kProductTypeReport, 0, {"sg0"}, -1},
        {{{"sg0", "ebusy-open", R"({"skip": 3, "count": 10})"}}, kProductTypeReport, 0, {"sg1"}, -1},
        // A command the controller refuses is not retried.
        {{{"sg0", "check", R"({"cdb": "3C0240", "key": 5, "asc": 36, "ascq": 0})"}}, kCommandFailed, 1, {"sg0"}, -1},
        // Paths lost for good after discovery's INQUIRY and header read: one rediscovery, then no handle.
        {{{"sg0", "fail-path", R"({"skip": 2, "forever": true})"}, {"sg1", "fail-path", R"({"skip": 2, "forever": true})"}},
         errorTail("LAPI call failed: No valid tolvo handle.", 1007), 1, {"sg0", "sg1"}, 4},
        // Only the information read fails, so every rediscovery finds both paths again: at most seven sends.
        {{{"sg0", "fail-path", failPath}, {"sg1", "fail-path", failPath}},
         kCommandFailed, 1, {"sg0", "sg1", "sg0", "sg1", "sg0", "sg1", "sg0"}, -1},
    };
    for (const auto& c : cases) {
        Simulator sim;
        for (const auto& [target, kind, params] : c.faults) sim.inject(target, kind, params);
        expectRun(sim, kProductType, c.out, c.status);
        EXPECT_EQ(infoReads(sim), c.reads) << c.faults[0][1];
        if (c.inquiries >= 0) {
            EXPECT_EQ(testsupport::sentCdbs(sim, "12").size(), static_cast<size_t>(c.inquiries));
        }
    }
}

// Replies shorter than their record fail like a failed path: one bad reply on
// sg0 moves the read to sg1; bad replies on every path fail the command. A
// configuration image that declares length 0 is not decoded as an empty one.
TEST(Replies, ShorterThanTheirRecordFailLikeAFailedPath) {
    Simulator sim;
    const std::vector<std::string> arrays{"-F", "-n", "-z", "array"};
    sim.inject("sg0", "short-reply", R"({"cdb": "3C0240"})");
    expectRun(sim, kProductType, kProductTypeReport, 0);
    sim.inject("system:0", "short-reply", R"({"cdb": "3C0240", "forever": true})");
    expectRun(sim, kProductType, kCommandFailed, 1);
    sim.ctl("model", {"0", "corrupt-reply", R"({"bufferId": 1, "kind": "length", "value": 0, "count": 1})"});
    expectRun(sim, arrays, "\nNumber Of Arrays : 1", 0);
    sim.ctl("model", {"0", "corrupt-reply", R"({"bufferId": 1, "kind": "length", "value": 0, "count": 100})"});
    expectRun(sim, arrays, kCommandFailed, 1);
}

// The opt-in trace: off unless LQCL_TRACE names a file; then one line per
// command sent to a device, and never through a symbolic link.
const std::string kOneSystem = "\nIn-Band -> Number of RAID Systems found : 1\n";

TEST(Trace, NamedFileReceivesEveryDeviceCommandAndNeverGoesThroughALink) {
    Simulator sim;
    TempDir work;
    const std::string file = work.path() + "/trace.txt";
    auto env = sim.env();
    env["LQCL_TRACE"] = file;
    expectResult(runLqcl({"-F", "-n", "-z", "raidsystems"}, env), kOneSystem, 0);

    const std::string trace = readFile(file);
    // Discovery sends INQUIRY to both paths of the default scenario.
    for (const char* node : {"/sg0: CDB 12 ", "/sg1: CDB 12 "})
        EXPECT_NE(trace.find(sim.dir() + node), std::string::npos) << node << " not traced:\n" << trace;
    EXPECT_NE(trace.find(": status 0\n"), std::string::npos) << trace;

    // The type mask selects: discovery alone leaves the device commands out.
    env["LQCL_TRACE"] = work.path() + "/discovery.txt";
    env["LQCL_TRACE_TYPES"] = "20";
    expectResult(runLqcl({"-F", "-n", "-z", "raidsystems"}, env), kOneSystem, 0);
    EXPECT_EQ(readFile(work.path() + "/discovery.txt").find("CDB"), std::string::npos);

    // A symbolic link is refused, its target left as it was; the report is unchanged.
    const std::string target = work.path() + "/target";
    writeFile(target, "keep");
    ASSERT_EQ(symlink(target.c_str(), (work.path() + "/link").c_str()), 0);
    env["LQCL_TRACE"] = work.path() + "/link";
    env.erase("LQCL_TRACE_TYPES");
    auto r = runLqcl({"-F", "-n", "-z", "raidsystems"}, env);
    EXPECT_EQ(r.out, kOneSystem);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "lqcl: cannot open the trace file " + work.path() + "/link: Too many levels of symbolic links\n");
    EXPECT_EQ(readFile(target), "keep");
}

}  // namespace
