#include "scsi/discovery.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "scsi/exclusion.h"
#include "scsi/passthrough.h"
#include "scsi/scsi_commands.h"
#include "scsi/sgnode.h"
#include "scsi/tolvo.h"
#include "support/sleep.h"
#include "support/trace.h"
#include "wire/byteorder.h"
#include "wire/config.h"
#include "wire/vendor_ops.h"

RSEntry gTolvos[MAX_RAID_SYSTEMS];
uint32_t gNumTolvos = 0;
uint8_t cDevice_Discovery_Done = 0;
uint8_t g_ExcludedNodes[MAX_EXCLUDED_SYSTEMS][8];
uint32_t g_ulNumExcludes = 0;
uint8_t tolvobusyretrycount[MAX_RAID_SYSTEMS];
uint8_t tolvofailretrycount[MAX_RAID_SYSTEMS];

// Product identifications (INQUIRY bytes 16-30) of the controller family.
const char productPreambles[NUM_PRODUCT_PREAMBLES][PRODUCT_PREAMBLE_LENGTH + 1] = {
    "TOLVO RAID 7000", "TOLVO RAID 8000", "TOLVO RAID 6000", "TOLVO RAID 5000", "TOLVO RAID 5500",
    "TOLVO RAID 6100", "TOLVO RAID 6200", "TOLVO RAID 6500", "TOLVO RAID 7100", "TOLVO RAID 7200",
    "TOLVO RAID 7300", "TOLVO RAID 7400", "TOLVO RAID 7500", "TOLVO RAID 7600", "TOLVO RAID 7700",
    "TOLVO RAID 7800", "TOLVO RAID 7900", "TOLVO RAID 8100", "TOLVO RAID 8200", "TOLVO RAID 8300",
    "TOLVO RAID 8400", "TOLVO RAID 8500", "TOLVO RAID 8600", "TOLVO RAID 8800", "TOLVO RAID 9000",
    "TOLVO RAID 9100", "TOLVO RAID 9500", "TOLVO RAID 9900", "TOLVO SAN 7000 ", "TOLVO SAN 8000 ",
    "TOLVO JBOD 2000", "TOLVO XR 7000  ", "TOLVO XR 8000  ", "TOLVO LX 6000  ", "TOLVO FC 7000  ",
};

namespace {

constexpr uint32_t kDiscoveryInquiryLength = 96;
constexpr uint32_t kConfigHeaderLength = 512;
constexpr int kBusyOpenAttempts = 6;
constexpr uint32_t kMaxScannedNodes = 1u << 16;
constexpr uint32_t kRediscoveryEntryDelayUs = 150000;
constexpr uint32_t kRediscoveryProbeDelayUs = 25000;
constexpr size_t kMaxUserPathLength = ITL_DEVICE_PATH_SIZE - 1;

const SCSI_COMMAND_STRUCT kDiscoveryInquiry = [] {
    SCSI_COMMAND_STRUCT r{};
    r.cdb[0] = 0x12;
    r.cdb[4] = kDiscoveryInquiryLength;
    r.cdbLength = 6;
    r.direction = SCSI_DIR_FROM_DEVICE;
    r.timeout = 3;
    r.dataLength = kDiscoveryInquiryLength;
    return r;
}();

bool sameWwn(const uint8_t* a, const uint8_t* b) { return std::memcmp(a, b, 8) == 0; }

int firstValidSlot(uint32_t index) {
    if (index >= MAX_RAID_SYSTEMS) return -1;
    for (uint32_t s = 0; s < MAX_PATHS_PER_SYSTEM; ++s)
        if (gTolvos[index].slotValid[s]) return static_cast<int>(s);
    return -1;
}

ITL_HANDLE_STRUCT freshRecord() {
    ITL_HANDLE_STRUCT r{};
    r.fd = -1;
    return r;
}

void setDevicePath(ITL_HANDLE_STRUCT* record, const char* path) {
    // A name that does not fit stays empty: the node is then found by its number.
    if (std::strlen(path) <= kMaxUserPathLength)
        std::snprintf(record->devicePath, sizeof record->devicePath, "%s", path);
    else
        record->devicePath[0] = '\0';
}

std::string printableDevicePath(const ITL_HANDLE_STRUCT& h) {
    char path[4096];
    return handleDevicePath(&h, path, sizeof path) ? std::string(path) : std::string(h.devicePath, strnlen(h.devicePath, sizeof h.devicePath));
}

void fillAddress(int fd, ITL_HANDLE_STRUCT* record) {
    sg_scsi_id id{};
    if (scsi::getScsiId(fd, &id) != 0) {
        DIDEDebug(TRACE_DISCOVERY, DETAIL_ERROR, "Device opened, but could not get the SCSI ID.  Ignoring.");
        return;
    }
    record->channel = static_cast<uint8_t>(id.channel);
    record->target = static_cast<uint8_t>(id.scsi_id);
    record->lun = static_cast<uint8_t>(id.lun);
}

// Reads the configuration header through the path and stores the path under its
// RAID system. Returns 1 when stored; *entry receives the index of the system
// the path belongs to (also for a duplicate), or -1.
int storePath(ITL_HANDLE_STRUCT* record, int* entry) {
    *entry = -1;
    uint8_t header[kConfigHeaderLength] = {};
    SCSI_COMMAND_STRUCT request{};
    setTolvoCdb(&request, wire::kOpReadBuffer, wire::kModeVendor, wire::buf::ReadConfigHeader, 0, 0, 0);
    if (TOLVO_SendCommand(record, &request, header, sizeof header, nullptr) != WSC_GOOD) return 0;
    if (!isValidTolvoConfigHeader(header)) return 0;

    const auto* h = reinterpret_cast<const wire::CONFIG_STORAGE_HEADER_STRUCT*>(header);
    char name[sizeof h->name + 1];
    std::memcpy(name, h->name, sizeof h->name);
    name[sizeof h->name] = '\0';
    for (int i = static_cast<int>(sizeof h->name) - 1; i >= 0 && name[i] == ' '; --i) name[i] = '\0';
    const uint8_t* wwn = h->configWwn.b;

    for (uint32_t i = 0; i < g_ulNumExcludes && i < MAX_EXCLUDED_SYSTEMS; ++i) {
        if (sameWwn(g_ExcludedNodes[i], wwn)) {
            DIDEDebug(TRACE_DISCOVERY, DETAIL_PROGRESS, "(%s) - Ignored as requested by RAID System Exclude List", name);
            return 0;
        }
    }

    uint32_t e = 0;
    while (e < gNumTolvos && !sameWwn(gTolvos[e].wwn, wwn)) ++e;
    if (e == gNumTolvos) {
        if (gNumTolvos >= MAX_RAID_SYSTEMS) return 0;
        std::memcpy(record->wwn, wwn, 8);
        RSEntry& added = gTolvos[gNumTolvos];
        added.slots[0] = *record;
        added.slotValid[0] = 1;
        std::memcpy(added.wwn, wwn, 8);
        *entry = static_cast<int>(gNumTolvos);
        ++gNumTolvos;
        DIDEDebug(TRACE_DISCOVERY, DETAIL_DATA, "New RAID System Found. WWN:");
        printWwn(wwn);
        DIDEDebug(TRACE_DISCOVERY, DETAIL_ERROR, " (%s)", name);
        return 1;
    }

    *entry = static_cast<int>(e);
    RSEntry& known = gTolvos[e];
    int freeSlot = -1;
    for (uint32_t s = 0; s < MAX_PATHS_PER_SYSTEM; ++s) {
        if (!known.slotValid[s]) {
            if (freeSlot < 0) freeSlot = static_cast<int>(s);
            continue;
        }
        const ITL_HANDLE_STRUCT& p = known.slots[s];
        if (p.channel == record->channel && p.target == record->target && p.lun == record->lun) return 0;
    }
    if (freeSlot < 0) return 0;
    DIDEDebug(TRACE_DISCOVERY, DETAIL_ERROR, "Storing new redundant path %d.", freeSlot + 1);
    std::memcpy(record->wwn, wwn, 8);
    known.slots[freeSlot] = *record;
    known.slotValid[freeSlot] = 1;
    return 1;
}

// One more than the highest N of a node "sg<N>" in the device directory; 0
// when there is none or the directory cannot be read (the scan then ends at
// the first missing node).
uint32_t scanLimit() {
    struct DirCloser {
        void operator()(DIR* d) const { closedir(d); }
    };
    std::unique_ptr<DIR, DirCloser> dir(opendir(scsiDeviceDirectory()));
    if (!dir) return 0;
    uint32_t limit = 0;
    while (const dirent* e = readdir(dir.get())) {
        const char* digits = e->d_name + 2;
        if (std::strncmp(e->d_name, "sg", 2) != 0 || *digits == '\0' || std::strlen(digits) > 5) continue;
        if (std::strspn(digits, "0123456789") != std::strlen(digits) || (digits[0] == '0' && digits[1] != '\0'))
            continue;
        const auto n = static_cast<uint32_t>(std::strtoul(digits, nullptr, 10));
        if (n < kMaxScannedNodes) limit = std::max(limit, n + 1);
    }
    return limit;
}

void printWwnUpper(const uint8_t* wwn) {
    for (int i = 0; i < 8; ++i) std::printf("%.2X", wwn[i]);
}

}  // namespace

void resetRaidSystemTable() {
    std::memset(gTolvos, 0, sizeof gTolvos);
    for (RSEntry& e : gTolvos)
        for (ITL_HANDLE_STRUCT& s : e.slots) s.fd = -1;
    gNumTolvos = 0;
    cDevice_Discovery_Done = 0;
    std::memset(g_ExcludedNodes, 0, sizeof g_ExcludedNodes);
    g_ulNumExcludes = 0;
    std::memset(tolvobusyretrycount, 0, sizeof tolvobusyretrycount);
    std::memset(tolvofailretrycount, 0, sizeof tolvofailretrycount);
}

int IsPreambleOurs(const char* productId) {
    if (productId == nullptr) return 0;
    for (const char* preamble : productPreambles)
        if (std::memcmp(productId, preamble, PRODUCT_PREAMBLE_LENGTH) == 0) return 1;
    return 0;
}

int isValidTolvoConfigHeader(const uint8_t* header) {
    auto flag = [](uint8_t b) { return b == wire::kFlagNo || b == wire::kFlagYes; };
    return wire::loadLe32(header) != 0 && header[170] != 0 && flag(header[171]) && flag(header[208]) &&
                   flag(header[209])
               ? 1
               : 0;
}

int addTolvoIfNotDuplicate(ITL_HANDLE_STRUCT* handle) {
    int entry;
    return storePath(handle, &entry);
}

int getScsiDataForNode(ITL_HANDLE_STRUCT* handle, uint8_t* buffer96) {
    SCSI_COMMAND_STRUCT request = kDiscoveryInquiry;
    return issueScsiCommand(handle, &request, buffer96) == WSC_GOOD ? 1 : 0;
}

void addTolvoScsiDevices() {
    // Removing a device leaves a hole in the numbering: the scan goes on past a
    // missing node while higher-numbered ones exist.
    const uint32_t limit = scanLimit();
    for (uint32_t n = 0; n < kMaxScannedNodes; ++n) {
        std::unique_ptr<char, decltype(&std::free)> name(getScsiDeviceName(n), &std::free);
        if (!name) return;
        int fd = -ENOENT;
        for (int attempt = 0; attempt < kBusyOpenAttempts; ++attempt) {
            fd = scsi::openNode(name.get(), O_RDWR);
            if (fd != -EBUSY) break;
            DIDEDebug(TRACE_DISCOVERY, DETAIL_ENTRY_EXIT, "Waiting for device %s", name.get());
        }
        if (fd == -EBUSY) continue;
        if (fd < 0) {
            const int err = -fd;
            const bool missing = err == ENOENT || err == ENXIO || err == EACCES || err == ENODEV;
            if (missing && n + 1 < limit) continue;
            if (!missing)
                DIDEDebug(TRACE_DISCOVERY, DETAIL_ERROR, "Unknown open error for scsi devices returned: %d.", err);
            return;
        }
        ITL_HANDLE_STRUCT record = freshRecord();
        {
            scsi::FdGuard guard(fd);
            fillAddress(fd, &record);
        }
        record.deviceNumber = n;
        setDevicePath(&record, name.get());

        uint8_t inquiry[kDiscoveryInquiryLength] = {};
        if (getScsiDataForNode(&record, inquiry) && IsPreambleOurs(reinterpret_cast<const char*>(inquiry + 16))) {
            DIDEDebug(TRACE_DISCOVERY, DETAIL_ERROR, "Device : %s (SCSI Device %d)", name.get(), static_cast<int>(n));
            addTolvoIfNotDuplicate(&record);
        }
    }
}

void addAllDevices() { addTolvoScsiDevices(); }

uint32_t LAPIGetListOfRAIDSystemsToExclude(uint32_t* count, uint8_t (*table)[8]) {
    *count = 0;
    FILE* f = openExclusionList(kExclusionFileName);
    if (f == nullptr) {
        DIDEDebug(TRACE_DISCOVERY, DETAIL_ERROR,
                  "WARNING: Exclude list not found - all systems will be included.\nIgnore this message if that is "
                  "what was intended.");
        return 0;
    }
    std::unique_ptr<FILE, decltype(&std::fclose)> file(f, &std::fclose);
    *count = readExclusionList(file.get(), table, MAX_EXCLUDED_SYSTEMS, [](const char* digits) {
        DIDEDebug(TRACE_DISCOVERY, DETAIL_ERROR, "INFO: Asked to exclude RAID System WWN: %s (hex)", digits);
    });
    return 0;
}

int tolvomainsetup() {
    DIDEDebugSetOutputDetail(DETAIL_ERROR, 0);
    DIDEDebugSetOutputDetail(DETAIL_PROGRESS, 0);
    DIDEDebugSetOutputTypes(TRACE_ALL, 0);
    LAPIGetListOfRAIDSystemsToExclude(&g_ulNumExcludes, g_ExcludedNodes);
    addAllDevices();
    if (gNumTolvos == 0) DIDEDebug(TRACE_DISCOVERY, DETAIL_ERROR, "**** No 7x00 controllers found on this system ****");
    return gNumTolvos > 0 ? 1 : 0;
}

uint32_t LAPIDiscoverRAIDSystems() {
    if (cDevice_Discovery_Done == 0 && tolvomainsetup()) cDevice_Discovery_Done = 1;
    return gNumTolvos;
}

uint8_t LAPIAddUserDefinedTolvoScsiDevices(const char* path) {
    if (path == nullptr) return NO_RAID_SYSTEM_SELECTED;
    if (std::strlen(path) > kMaxUserPathLength) {
        std::fprintf(stderr, "Error: device path '%s' is longer than %zu characters and cannot be used.\n", path,
                     kMaxUserPathLength);
        return NO_RAID_SYSTEM_SELECTED;
    }
    struct stat st{};
    if (stat(path, &st) == 0 && !scsi::isDeviceNode(st)) {
        std::fprintf(stderr, "Error: '%s' is not a SCSI generic device and cannot be used.\n", path);
        return NO_RAID_SYSTEM_SELECTED;
    }
    int fd = scsi::openNode(path, O_RDWR);
    if (fd < 0) {
        const int err = -fd;
        if (err == EBUSY)
            DIDEDebug(TRACE_DISCOVERY, DETAIL_ENTRY_EXIT, "Waiting for device %s", path);
        else if (err != ENOENT && err != ENXIO && err != EACCES && err != ENODEV)
            DIDEDebug(TRACE_DISCOVERY, DETAIL_ERROR, "Unknown open error for scsi devices returned: %d.", err);
        return NO_RAID_SYSTEM_SELECTED;
    }
    ITL_HANDLE_STRUCT record = freshRecord();
    {
        scsi::FdGuard guard(fd);
        fillAddress(fd, &record);
    }
    record.deviceNumber = 0;
    setDevicePath(&record, path);
    uint8_t inquiry[kDiscoveryInquiryLength] = {};
    if (!getScsiDataForNode(&record, inquiry)) return NO_RAID_SYSTEM_SELECTED;
    int entry;
    storePath(&record, &entry);
    // The index of the RAID system behind the device, stored now or before.
    return entry >= 0 ? static_cast<uint8_t>(entry) : NO_RAID_SYSTEM_SELECTED;
}

uint32_t LAPIGetTolvoHandle(ITL_HANDLE_STRUCT** handle, uint32_t index) {
    if (handle == nullptr) return 1001;
    int slot = firstValidSlot(index);
    if (slot < 0) {
        LAPIDiscoverRAIDSystems();
        slot = firstValidSlot(index);
    }
    if (slot < 0) return 1010;
    *handle = &gTolvos[index].slots[slot];
    return 0;
}

uint32_t LAPIGetTolvoHandleCount(uint32_t index) {
    if (index >= MAX_RAID_SYSTEMS) return 0;
    uint32_t n = 0;
    for (uint32_t v : gTolvos[index].slotValid) n += v ? 1 : 0;
    return n;
}

uint32_t LAPIInvalidateCurrentTolvoHandle(uint32_t index) {
    int slot = firstValidSlot(index);
    if (slot < 0) return 1008;
    gTolvos[index].slotValid[slot] = 0;
    closeDevice();
    return 0;
}

uint32_t LAPISetOutOfBandFlag(ITL_HANDLE_STRUCT** handle) {
    gTolvos[0].slots[0].outOfBand = OUT_OF_BAND_MARKER;
    if (handle != nullptr) *handle = &gTolvos[0].slots[0];
    return 0;
}

int LAPIGetITLHandleIndex(ITL_HANDLE_STRUCT** handle, uint8_t, uint8_t channel, uint8_t target, uint8_t lun) {
    for (uint32_t e = 0; e < gNumTolvos && e < MAX_RAID_SYSTEMS; ++e) {
        for (uint32_t s = 0; s < MAX_PATHS_PER_SYSTEM; ++s) {
            const ITL_HANDLE_STRUCT& p = gTolvos[e].slots[s];
            if (gTolvos[e].slotValid[s] && p.channel == channel && p.target == target && p.lun == lun) {
                if (handle != nullptr) *handle = &gTolvos[e].slots[s];
                return static_cast<int>(s);
            }
        }
    }
    return -1;
}

uint32_t LAPIRediscoverRAIDSystems() {
    DIDEDebug(TRACE_DISCOVERY, DETAIL_ERROR, "Scanning for new addressses system wide.");
    bool hadPath[MAX_RAID_SYSTEMS] = {};
    for (uint32_t e = 0; e < gNumTolvos && e < MAX_RAID_SYSTEMS; ++e) {
        gTolvos[e].justCameBack = 0;
        for (int s = MAX_PATHS_PER_SYSTEM - 1; s >= 0; --s) {
            if (gTolvos[e].slotValid[s]) {
                hadPath[e] = true;
                break;
            }
        }
        if (hadPath[e]) lqcl::sleepMicroseconds(kRediscoveryEntryDelayUs);
    }
    const uint32_t known = gNumTolvos;

    addAllDevices();

    for (uint32_t e = 0; e < gNumTolvos && e < MAX_RAID_SYSTEMS; ++e) {
        for (uint32_t s = 0; s < MAX_PATHS_PER_SYSTEM; ++s) {
            if (!gTolvos[e].slotValid[s]) continue;
            uint8_t inquiry[kDiscoveryInquiryLength] = {};
            SCSI_COMMAND_STRUCT request = kDiscoveryInquiry;
            uint8_t wsc = issueScsiCommand(&gTolvos[e].slots[s], &request, inquiry);
            // A controller that is busy (NOT READY, cause not reportable) keeps its path.
            if (wsc == WSC_CHECK_CONDITION && request.senseKey() == 0x02 && request.asc() == 0x04 &&
                request.ascq() == 0x00)
                wsc = WSC_BUSY;
            if (wsc != WSC_GOOD && wsc != WSC_BUSY) {
                gTolvos[e].slotValid[s] = 0;
                closeDevice();
            }
            if (s % 8 == 0) lqcl::sleepMicroseconds(kRediscoveryProbeDelayUs);
        }
    }
    for (uint32_t e = 0; e < known; ++e) {
        if (!hadPath[e] && LAPIGetTolvoHandleCount(e) > 0) {
            gTolvos[e].justCameBack = 1;
            DIDEDebug(TRACE_DISCOVERY, DETAIL_ERROR,
                      "New addresses found for RAID System %d which had previously lost its addresses.",
                      static_cast<int>(e));
        }
    }
    DumpRSEntryTable();
    return gNumTolvos;
}

uint32_t LAPICheckWWNPresent(uint32_t low, uint32_t high, uint8_t* index) {
    LAPIDiscoverRAIDSystems();
    const uint64_t wanted = (static_cast<uint64_t>(high) << 32) | low;
    for (uint32_t e = 0; e < gNumTolvos && e < MAX_RAID_SYSTEMS; ++e) {
        if (wire::loadBe64(gTolvos[e].wwn) == wanted) {
            if (index != nullptr) *index = static_cast<uint8_t>(e);
            return 0;
        }
    }
    if (high == 0 && low < gNumTolvos && index != nullptr) *index = static_cast<uint8_t>(low);
    return 0;
}

std::string formatRSEntry(uint32_t index) {
    const RSEntry& e = gTolvos[index];
    std::string text;
    char b[32];
    for (uint8_t byte : e.wwn) {
        std::snprintf(b, sizeof b, "%.2x", byte);
        text += b;
    }
    text += e.justCameBack ? '*' : ' ';
    std::snprintf(b, sizeof b, "(%02d)", static_cast<int>(LAPIGetTolvoHandleCount(index)));
    text += b;
    int shown = 0;
    for (uint32_t s = 0; s < MAX_PATHS_PER_SYSTEM; ++s) {
        if (!e.slotValid[s]) continue;
        std::snprintf(b, sizeof b, " %02d.%02d.%02d", e.slots[s].channel, e.slots[s].target, e.slots[s].lun);
        text += b;
        if (++shown % 6 == 0) text += "\n" + std::string(21, ' ');
    }
    return text;
}

void DumpRSEntryTable() {
    DIDEDebug(TRACE_DISCOVERY, DETAIL_TABLE,
              "RAID System WWN  ACnt  I.T.L    I.T.L    I.T.L    I.T.L    I.T.L    I.T.L\n");
    for (uint32_t e = 0; e < gNumTolvos && e < MAX_RAID_SYSTEMS; ++e)
        DIDEDebug(TRACE_DISCOVERY, DETAIL_TABLE, "%s\n", formatRSEntry(e).c_str());
}

void printWwn(const uint8_t* wwn) {
    DIDEDebug(TRACE_DISCOVERY, DETAIL_DATA, "%.2X%.2X%.2X%.2X %.2X%.2X%.2X%.2X", wwn[0], wwn[1], wwn[2], wwn[3],
              wwn[4], wwn[5], wwn[6], wwn[7]);
}

uint32_t LAPIGetNumRaidSystems() {
    LAPIDiscoverRAIDSystems();
    std::printf("Number of RAID Systems found : %d\n", static_cast<int>(gNumTolvos));
    return 0;
}

uint32_t LAPIGetRaidSystemWWN(uint8_t index) {
    LAPIDiscoverRAIDSystems();
    if (index >= gNumTolvos) {
        std::printf("Error:Invalid tolvoIndex, valid raidSystemIndex range 0-%d\r\n", static_cast<int>(gNumTolvos) - 1);
        return 0;
    }
    std::printf("Tolvo[%d]:", index);
    printWwnUpper(gTolvos[index].wwn);
    std::printf("\n");
    return 0;
}

uint32_t LAPIPrintITNexus() {
    LAPIDiscoverRAIDSystems();
    std::printf("Number of Tolvos/CHASSIS found: %d\n", static_cast<int>(gNumTolvos));
    for (uint32_t e = 0; e < gNumTolvos && e < MAX_RAID_SYSTEMS; ++e) {
        std::printf("Tolvo[%d]:", static_cast<int>(e));
        printWwnUpper(gTolvos[e].wwn);
        std::printf("\n");
        for (uint32_t s = 0; s < MAX_PATHS_PER_SYSTEM; ++s) {
            if (!gTolvos[e].slotValid[s]) continue;
            ITL_HANDLE_STRUCT* path = &gTolvos[e].slots[s];
            std::printf("Port:Path:TgtId:Lun: %02X:%02X:%02X ", path->channel, path->target, path->lun);
            SCSI_INQUIRY_DATA inquiry;
            scsiInquiryGet(path, &inquiry);
            if (inquiry.peripheralDeviceType != 3) {
                SCSI_CAPACITY_DATA capacity;
                scsiReadCapacityGet(path, &capacity);
                scsiReadCapacityPrint(&capacity);
                uint8_t wwn[8] = {};
                scsiInquiryWWNGet(path, wwn);
                std::printf("\twwn :[%02X-%02X-%02X-%02X-%02X-%02X-%02X-%02X]", wwn[0], wwn[1], wwn[2], wwn[3],
                            wwn[4], wwn[5], wwn[6], wwn[7]);
            }
            scsiInquiryPrint(&inquiry);
        }
    }
    return 0;
}

uint32_t LAPIPrintSelectedDeviceInfo(uint32_t index) {
    if (index >= MAX_RAID_SYSTEMS) return 0;
    for (uint32_t s = 0; s < MAX_PATHS_PER_SYSTEM; ++s) {
        if (!gTolvos[index].slotValid[s]) continue;
        const ITL_HANDLE_STRUCT& p = gTolvos[index].slots[s];
        std::printf("\nDevice: %s\nLun: %d\nPath ID: %d\nRaidSystemWWN: ", printableDevicePath(p).c_str(), p.lun,
                    p.channel);
        printWwnUpper(p.wwn);
        std::printf("\n");
    }
    return 0;
}

uint32_t LAPIPrintTolvoDevicesInfo() {
    for (uint32_t e = 0; e < gNumTolvos && e < MAX_RAID_SYSTEMS; ++e) {
        std::printf("\n**************RAID index: %d*******************", static_cast<int>(e));
        LAPIPrintSelectedDeviceInfo(e);
    }
    return 0;
}
