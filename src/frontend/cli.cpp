#include "frontend/cli.h"

#include <tclap/CmdLine.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "commands/objects.h"
#include "frontend/convert.h"
#include "frontend/dispatch.h"
#include "net/oob.h"
#include "net/oob_params.h"
#include "scsi/discovery.h"
#include "scsi/tolvo.h"

uint8_t globalPath = NO_SYSTEM_SELECTED;
uint32_t userSelection = 0;
uint8_t flagInt = 0;
int tracelevel = 3;
int runfg = 0;

const char allowed_array[kAllowedCount][kAllowedEntrySize] = {
#define LQCL_COMMAND_NAME(index, name) #name,
    LQCL_COMMAND_TABLE(LQCL_COMMAND_NAME, LQCL_COMMAND_NAME)
#undef LQCL_COMMAND_NAME
};

bool isCommandIndex(int index) {
#define LQCL_COMMAND_USED(index, name) true,
#define LQCL_COMMAND_UNUSED(index, name) false,
    static constexpr bool kUsed[] = {LQCL_COMMAND_TABLE(LQCL_COMMAND_USED, LQCL_COMMAND_UNUSED)};
#undef LQCL_COMMAND_USED
#undef LQCL_COMMAND_UNUSED
    return index >= 0 && static_cast<size_t>(index) < kAllowedCount && kUsed[index];
}

int lookupCommand(const std::string& name) {
    for (size_t i = 0; i < kAllowedCount; ++i)
        if (isCommandIndex(static_cast<int>(i)) && name == allowed_array[i]) return static_cast<int>(i);
    return -1;
}

void cliprintNoExit(const char* message) {
    std::fflush(stdout);
    std::fprintf(stderr, "Error: %s\n", message);
    std::fprintf(stderr, "\n");
    std::fprintf(stderr, "For complete USAGE and HELP type: \n");
    std::fprintf(stderr, "   WQCL/LQCL --help\n\n");
    std::fflush(stderr);
}

void cliprint(const char* message) {
    cliprintNoExit(message);
    std::exit(-1);
}

void dprint(int level, const char* fmt, ...) {
    if (level < tracelevel || runfg == 0) return;
    char arg_buf[512];
    char out_buffer[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(arg_buf, sizeof arg_buf, fmt, ap);
    va_end(ap);
    std::snprintf(out_buffer, sizeof out_buffer, "%s", arg_buf);
    std::fprintf(stderr, "ZentoolD: %s\n", out_buffer);
}

namespace {

// TCLAP's parser with the built-in help (-h, --help), version (-v, --version) and
// ignore-rest (--, --ignore_rest) arguments. The packaged TCLAP gives its version
// switch no short flag; this one keeps -v, and the three built-ins are listed
// in the usage text in the parser's usual order.
class LqclCmdLine : public TCLAP::CmdLine {
public:
    LqclCmdLine(const std::string& message, char delimiter, const std::string& versionText)
        : TCLAP::CmdLine(message, delimiter, versionText, false) {
        auto* helpVisitor = new TCLAP::HelpVisitor(this, &_output);
        auto* help = new TCLAP::SwitchArg("h", "help", "Displays usage information and exits.", false, helpVisitor);
        add(help);
        deleteOnExit(help);
        deleteOnExit(helpVisitor);
        auto* versionVisitor = new TCLAP::VersionVisitor(this, &_output);
        auto* versionSwitch =
            new TCLAP::SwitchArg("v", "version", "Displays version information and exits.", false, versionVisitor);
        add(versionSwitch);
        deleteOnExit(versionSwitch);
        deleteOnExit(versionVisitor);
        // add() puts each new argument first; move ignore-rest (added by the base)
        // back in front of help and version.
        auto ignore = std::find_if(_argList.begin(), _argList.end(), [](TCLAP::Arg* a) {
            return a->getName() == TCLAP::Arg::ignoreNameString();
        });
        if (ignore != _argList.end()) _argList.splice(_argList.begin(), _argList, ignore);
    }
    bool hasHelpAndVersion() override { return true; }
};

// Capacities of the value lists. A value list longer than its slots, or an
// in-band selector longer than its 31 characters, is refused as a whole rather
// than cut: a cut value would address another system or device.
constexpr size_t kSelectorMax = 31;

void checkCount(const std::vector<std::string>& values, const char* flag) {
    if (values.size() > frontend::kMaxValues) {
        std::string msg = std::string("Too many ") + flag + " values: at most " +
                          std::to_string(frontend::kMaxValues) + " are accepted.\n";
        cliprint(msg.c_str());
    }
}

[[noreturn]] void noRaidSystem() {
    std::fputs("Error: Raid system does not exist\r\n", stdout);
    std::fflush(stdout);
    std::exit(-1);
}

// In-band selection from the last -p value: a device path, a WWN or an index.
void strToProcess(const std::vector<std::string>& values, uint64_t* selectors) {
    uint64_t selector = 0;
    if (!values.empty()) {
        const std::string& value = values.back();
        if (value.size() > kSelectorMax) {
            std::string msg = "The -p value is longer than " + std::to_string(kSelectorMax) +
                              " characters: " + value + "\n";
            cliprint(msg.c_str());
        }
        if (value.compare(0, 3, "/de") == 0) {
            userSelection = 1;
            globalPath = LAPIAddUserDefinedTolvoScsiDevices(value.c_str());
        } else {
            if (!frontend::hexValueFits64(value)) frontend::tooManyDigits("-p", value);
            axtoi(value.c_str(), value.size(), &selector, 0);
        }
    }
    selectors[0] = selector;
    if (userSelection != 1)
        LAPICheckWWNPresent(static_cast<uint32_t>(selector), static_cast<uint32_t>(selector >> 32), &globalPath);
}

}  // namespace

void zentool_exe(int argc, char** argv) {
    dprint(1, "zentool_exe>>entry");
    int operation = OP_GET;
    int commandIndex = -1;
    int u32Count = 0, strCount = 0, adminCount = 0;
    uint32_t u32[frontend::kMaxValues];
    uint64_t u64[frontend::kMaxValues];
    uint64_t selectors[frontend::kMaxValues];
    std::fill(std::begin(u32), std::end(u32), frontend::kFiller32);
    std::fill(std::begin(u64), std::end(u64), frontend::kFiller64);
    std::fill(std::begin(selectors), std::end(selectors), frontend::kFiller64);

    // The names of the commands (not of the unused slots), for the print listing.
    std::vector<std::string> sortedNames;
    for (size_t i = 0; i < kAllowedCount; ++i)
        if (isCommandIndex(static_cast<int>(i))) sortedNames.emplace_back(allowed_array[i]);
    std::sort(sortedNames.begin(), sortedNames.end());

    LqclCmdLine cmd("Quorlane Command Line (QCL) ", ' ', "5.13.0005");
    TCLAP::MultiArg<std::string> mArg("m", "istrings", "Admin commands", false, "changeName");
    TCLAP::ValueArg<std::string> adminArg("", "ADMIN", "Administrative Commands", false, "", "command");
    TCLAP::ValueArg<std::string> urlArg(
        "", "url", "DEPRICIATED: Remote URL (Zentool is only LOCALHOST now, this command has no effect)", false, "",
        "String");
    TCLAP::MultiArg<std::string> zArg("z", "arg", "Variable string", false, "name");
    TCLAP::MultiArg<std::string> pArg("p", "ip64", "Unsigned ip64 bit int (in HEX)", false, "uintp64");
    TCLAP::MultiArg<std::string> lArg("l", "i32", "Unsigned p32 bit int (in HEX)", false, "uintp32");
    TCLAP::MultiArg<std::string> uArg("u", "i64", "Unsigned 64 bit int (in HEX)", false, "uint64");
    TCLAP::SwitchArg historySw("", "history", "Display History Buffer", false);
    TCLAP::SwitchArg sSw("s", "set", "Set/Execute an object", false);
    TCLAP::SwitchArg aSw("a", "add", "Add/New an object", false);
    TCLAP::SwitchArg oSw("o", "commit", "Commit an object", false);
    TCLAP::SwitchArg dSw("d", "delete", "Delete/Remove/Clear an object", false);
    TCLAP::SwitchArg nSw("n", "number", "Number of objects", false);
    TCLAP::SwitchArg cSw("c", "create", "Create an object", false);
    TCLAP::SwitchArg gSw("g", "get", "Get/Display an object", false);
    TCLAP::SwitchArg SSw("S", "sysman", "System Manager Library Functions", false);
    TCLAP::SwitchArg OSw("O", "devport", "Device Port Library Functions", false);
    TCLAP::SwitchArg ESw("E", "enclosure", "Enclosure Library Functions", false);
    TCLAP::SwitchArg FSw("F", "configuration", "Configuration Library Functions", false);
    TCLAP::SwitchArg CSw("C", "controller", "Controller Library Functions", false);
    TCLAP::SwitchArg DSw("D", "device", "Device Library Functions", false);
    TCLAP::SwitchArg HSw("H", "hostport", "Host Port Library Functions", false);
    TCLAP::SwitchArg ISw("I", "decimal", "Input Decimal Type Function", false);
    TCLAP::SwitchArg XSw("X", "hexadecimal", "Input Hexadecimal Type Function", false);
    TCLAP::SwitchArg NSw("N", "Network", "Network Out of Band Functions", false);
    for (TCLAP::Arg* a : std::initializer_list<TCLAP::Arg*>{
             &mArg, &adminArg, &urlArg, &zArg, &pArg, &lArg, &uArg, &historySw, &sSw, &aSw, &oSw, &dSw, &nSw,
             &cSw, &gSw, &SSw, &OSw, &ESw, &FSw, &CSw, &DSw, &HSw, &ISw, &XSw, &NSw})
        cmd.add(a);
    cmd.parse(argc, argv);
    dprint(1, "Reached Testpoint #1");

    // Select the RAID system.
    const std::vector<std::string>& pValues = pArg.getValue();
    checkCount(pValues, "-p");
    if (NSw.getValue()) {
        if (pValues.size() < 3)
            cliprint("Out-of-band mode needs three -p values: user name, password and IP address.\n");
        ctrl.setOutOfBand(1);
        cfg.setOutOfBand(1);
        encl.setOutOfBand(1);
        dvce.setOutOfBand(1);
        sysman.setOutOfBand(1);
        dCfgCtrl.setOutOfBand(1);
        dEnc.setOutOfBand(1);
        setOutOfBandParameters(pValues[0], pValues[1], pValues[2]);
        setOutOfBandSender(outOfBandSend);
        globalPath = OUT_OF_BAND_SYSTEM_INDEX;
    } else {
        strToProcess(pValues, selectors);
    }
    if (globalPath == NO_SYSTEM_SELECTED) noRaidSystem();

    cfg.setITLPath(globalPath);
    ctrl.setITLPath(globalPath);
    dvce.setITLPath(globalPath);
    encl.setITLPath(globalPath);
    sysman.setITLPath(globalPath);
    dCfgCtrl.setITLPath(globalPath);
    dEnc.setITLPath(globalPath);

    if (adminArg.getValue() == "something") {
        std::fputs(adminArg.getValue().c_str(), stdout);
        std::fflush(stdout);
        return;
    }

    // Admin strings; the slots no value filled hold empty texts.
    const std::vector<std::string>& mValues = mArg.getValue();
    checkCount(mValues, "-m");
    std::vector<std::string> admin(mValues.begin(), mValues.end());
    adminCount = static_cast<int>(admin.size());
    admin.resize(frontend::kMaxValues);

    checkCount(uArg.getValue(), "-u");
    strToHex64(uArg.getValue(), u64);

    checkCount(lArg.getValue(), "-l");
    if (ISw.getValue()) {
        strToInt32(lArg.getValue(), u32);
    } else if (XSw.getValue()) {
        strToHex32(lArg.getValue(), u32);
        flagInt = 1;
    } else {
        strToInt32(lArg.getValue(), u32);
    }
    u32Count = static_cast<int>(lArg.getValue().size());

    Global::fMode = flagInt;
    dvce.setHex(flagInt);
    cfg.setHex(flagInt);
    ctrl.setHex(flagInt);
    glbl.setHex(flagInt);
    encl.setHex(flagInt);
    dCfgCtrl.setHex(flagInt);
    dEnc.setHex(flagInt);

    const std::vector<std::string>& zValues = zArg.getValue();
    checkCount(zValues, "-z");
    std::vector<std::string> strings;
    for (const auto& z : zValues) {
        dprint(1, "Z %d: %s", static_cast<int>(strings.size()), z.c_str());
        strings.push_back(z);
    }
    strCount = static_cast<int>(strings.size());
    if (strings.empty()) strings.emplace_back();
    dprint(1, "Reached Testpoint #2");

    const bool anyLibrary = CSw.getValue() || DSw.getValue() || HSw.getValue() || FSw.getValue() ||
                            ESw.getValue() || OSw.getValue() || SSw.getValue();
    if (!anyLibrary) {
        bool help = false;
        for (int i = 0; i < argc; ++i)
            if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) help = true;
        if (!help) cliprint("No Library specified. Try `-h` for help.\n");
    }

    if (gSw.getValue()) operation = OP_GET;
    else if (cSw.getValue()) operation = OP_CREATE;
    else if (dSw.getValue()) operation = OP_DELETE;
    else if (oSw.getValue()) operation = OP_COMMIT;
    else if (aSw.getValue()) operation = OP_ADD;
    else if (sSw.getValue()) operation = OP_SET;
    else if (nSw.getValue()) operation = OP_NUMBER;
    dprint(1, "Reached Testpoint #2.5");

    if (strings[0] == "print") {
        cliprintNoExit("Possible Strings Calls are: ");
        for (const auto& name : sortedNames) std::printf("%s\n", name.c_str());
        std::fflush(stdout);
        std::exit(-1);
    }

    commandIndex = lookupCommand(strings[0]);
    dprint(1, "Reached Testpoint #3");

    const std::string& url = urlArg.getValue();
    if (CSw.getValue())
        operateController(operation, commandIndex, strCount, strings, u64, u32, admin, url);
    else if (DSw.getValue())
        operateDevice(operation, commandIndex, strCount, strings, u64, u32Count, u32, url);
    else if (HSw.getValue())
        operateHostPort(operation, commandIndex, strCount, strings, u64, u32, url);
    else if (FSw.getValue())
        operateConfiguration(operation, commandIndex, strCount, strings, u64, u32Count, u32, adminCount, admin,
                             url);
    else if (ESw.getValue())
        operateEnclosure(operation, commandIndex, u32Count, strCount, strings, u64, u32, url);
    else if (OSw.getValue())
        operateDevicePort(operation, commandIndex, strCount, strings, u64, u32, url);
    else if (SSw.getValue())
        operateSystemManager(operation, commandIndex, strCount, strings, u64, u32, adminCount, admin, url);

    dprint(1, "exit<<zentool_exe");
}
