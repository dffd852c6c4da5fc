// Building the firmware model from a scenario's system object, and writing its
// state back in the same form.
//
// Model keys of a system object (all optional unless noted):
//   "wwn"            RAID system WWN, 16 hex digits (the configuration WWN)
//   "name"           configuration name
//   "productType"    controller product type, 0-63
//   "features"       any of "apm", "async", "advancedPerformance", "failDrive", "r2_2"
//   "controllers"    up to two objects: present, name, wwn, firmware{major,minor,build,date,time},
//                    powerOnCount, powerOnSeconds, totalPowerOnSeconds, clockOffset,
//                    temperatures{air,expander,processor}, battery{state,capacity,holdupHours},
//                    hostInterface[2], hostLoopIds[2]
//   "enclosures"     [{number, slots, drives?{wwnBase, capacityBlocks, vendor, product, revision, serialPrefix}}]
//                    an enclosure with "drives" is filled with one drive per slot
//   "drives"         [{enclosure, slot, wwn, capacityBlocks, blockSize, vendor, product, revision, serial, failed}]
//                    (a failed member leaves its array critical, or invalidated beyond its redundancy)
//   "hosts"          initiators the controllers see: [{node, port}]
//   "settings"       header settings: autoRebuild, rebuildPriority, autoDriveFwUpdate,
//                    singleControllerMode, backgroundVerify, autoHotSpare, controllerLogSes,
//                    altNodeNames, controllerLun, initPriority, minChunkKb, maxChunkKb
//   "arrays"         [{drives:[ref...], level, chunkKb, backOff, name, state, initPercent, parityGroups,
//                      readAhead, writeBack, cacheFlags}]
//                    a drive ref is a WWN string, an index into the drive list or {enclosure, slot};
//                    state is "initialised" (default), "trusted" or "initialising"
//   "logicalDrives"  [{array, capacityGb, name, blockSize, ports}] carved first fit
//   "mappings"       [{node, port, name, controllerLun, luns:[{lun, logicalDrive, ports, readOnly}]}]
//   "spares"         [{drive: ref, array?}] (no array: global spare)
//   "jobSeconds"     {initialisation, rebuild, expansion, parityCheck}: durations of new jobs
//   "snapshotState"  snapshot tables served as they stand (see snapshots.cpp)
//   "ses"            enclosure services of the enclosures (see ses_pages.cpp)
//   "maintenance"    the controllers' and drives' maintenance life (see maintenance.cpp)
//   "jobs"           running jobs: {rebuild{array,drive,percent,seconds}, expansion{...},
//                    parityCheck{array,mode,percent,seconds,errors}}
// Every key is read through one ScenarioObject: a key nobody reads is refused
// with its path. A new key needs only its read in the section that owns it.
//
// saveState adds "configImage" (the committed image as runs of non-zero bytes in hex),
// "startCounters" and the clock offsets, and restoring from it takes the image as is.
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "model/firmware_model.h"
#include "model/model_util.h"
#include "scenario/scenario.h"
#include "wire/vendor.h"

namespace sim::model {

using nlohmann::json;

namespace {

struct FeatureName {
    const char* name;
    uint16_t bit;
};
constexpr FeatureName kFeatures[] = {{"apm", wire::kFeatureApm},
                                     {"async", wire::kFeatureAsyncConfig},
                                     {"advancedPerformance", wire::kFeatureAdvPerformance},
                                     {"failDrive", wire::kFeatureFailDrive},
                                     {"r2_2", wire::kFeatureR2_2}};

uint8_t levelCode(const ScenarioObject& a) {
    switch (a.integer("level", 0, 50, 5)) {
    case 0: return wire::kRaidLevel0;
    case 1: case 10: return wire::kRaidLevel10;
    case 5: return wire::kRaidLevel5;
    case 6: return wire::kRaidLevel6;
    case 50: return wire::kRaidLevel50;
    default: a.fail("level", "expected 0, 1, 5, 6, 10 or 50");
    }
}

uint8_t switchByte(const ScenarioObject& o, const char* key, bool dflt) {
    return o.flag(key, dflt) ? wire::kFlagYes : wire::kFlagNo;
}

// A drive reference: WWN, index into the drive list, or {enclosure, slot}.
int resolveDrive(const std::vector<Drive>& drives, const ScenarioObject& owner, const ScenarioObject::Element& ref) {
    if (ref.value.is_string()) {
        uint64_t w = wwnValue(ref.value, ref.path);
        for (size_t i = 0; i < drives.size(); ++i)
            if (drives[i].wwn == w) return static_cast<int>(i);
        throw ScenarioError(ref.path, "no drive with WWN " + wwnHex(w));
    }
    if (ref.value.is_number_integer()) {
        auto i = ref.value.get<int64_t>();
        if (i < 0 || i >= static_cast<int64_t>(drives.size())) throw ScenarioError(ref.path, "drive index out of range");
        return static_cast<int>(i);
    }
    if (ref.value.is_object()) {
        ScenarioObject o = owner.child(ref);
        auto e = o.integer("enclosure", 1, 10, 1);
        auto s = o.integer("slot", 1, 48, 1);
        for (size_t i = 0; i < drives.size(); ++i)
            if (drives[i].enclosure == e && drives[i].slot == s) return static_cast<int>(i);
        throw ScenarioError(ref.path, "no drive in enclosure " + std::to_string(e) + " slot " + std::to_string(s));
    }
    throw ScenarioError(ref.path, "a drive reference is a WWN, an index or {enclosure, slot}");
}

int resolveDrive(const std::vector<Drive>& drives, const ScenarioObject& o, const std::string& key) {
    const json* v = o.find(key);
    if (!v) o.fail(key, "missing");
    return resolveDrive(drives, o, ScenarioObject::Element{*v, keyPath(o.path(), key)});
}

std::string outcomeText(const Outcome& o) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "sense %02X/%02X/%02X", o.senseKey, o.asc, o.ascq);
    return buf;
}

void require(const Outcome& o, const ScenarioObject& what) {
    if (o.kind != Outcome::Kind::Good) what.failHere("refused by the model (" + outcomeText(o) + ")");
}

uint8_t u8(int64_t v) { return static_cast<uint8_t>(v); }
uint16_t u16(int64_t v) { return static_cast<uint16_t>(v); }
uint32_t u32(int64_t v) { return static_cast<uint32_t>(v); }

}  // namespace

void FirmwareModel::loadScenario(const json& system) {
    ScenarioObject sys(system, "");
    for (const std::string& key : serverSystemKeys()) sys.skip(key);
    wwn_ = sys.wwn("wwn", 0x2000001122334455ULL);
    if (wwn_ == 0) sys.fail("wwn", "must not be zero");
    productType_ = u8(sys.integer("productType", 0, 63, 19));
    features_ = 0;
    for (const auto& e : sys.values("features")) {
        const FeatureName* f = nullptr;
        for (const auto& k : kFeatures)
            if (e.value.is_string() && e.value.get_ref<const std::string&>() == k.name) f = &k;
        if (!f) throw ScenarioError(e.path, "expected apm, async, advancedPerformance, failDrive or r2_2");
        features_ |= f->bit;
    }
    loadControllers(sys);
    loadDrives(sys);
    std::vector<uint8_t> numbers = enclosures_;
    for (const auto& d : drives_) numbers.push_back(d.enclosure);
    ses_.load(sys, numbers, productType_);
    hostInitiators_.clear();
    for (const ScenarioObject& h : sys.objects("hosts", wire::kMaxHosts))
        hostInitiators_.push_back({h.wwn("node"), h.wwn("port")});
    ScenarioObject js = sys.section("jobSeconds");
    initDurationMs_ = 1000 * static_cast<uint64_t>(js.integer("initialisation", 1, 1 << 24, 120));
    rebuildDurationMs_ = 1000 * static_cast<uint64_t>(js.integer("rebuild", 1, 1 << 24, 180));
    expansionDurationMs_ = 1000 * static_cast<uint64_t>(js.integer("expansion", 1, 1 << 24, 300));
    parityDurationMs_ = 1000 * static_cast<uint64_t>(js.integer("parityCheck", 1, 1 << 24, 60));

    // Failed drives may be array members (a degraded array): the arrays are
    // built from working drives and the failures applied afterwards.
    std::vector<bool> failed;
    for (auto& d : drives_) {
        failed.push_back(d.failed);
        d.failed = false;
    }
    loadConfiguration(sys);
    for (size_t i = 0; i < drives_.size(); ++i) drives_[i].failed = failed[i];
    if (!sys.has("configImage")) applyDriveFailures();
    loadJobs(sys);
    loadSnapshots(sys);
    loadMaintenance(sys);
    sys.finish();
}

void FirmwareModel::loadControllers(const ScenarioObject& sys) {
    // Unless a controller's firmware is given, it is the revision the system's
    // INQUIRY data reports: "0601" is firmware 6.1, build 0601.
    const std::string revision = sys.has("revision") ? sys.text("revision") : "";
    const bool numericRevision =
        revision.size() == 4 && std::all_of(revision.begin(), revision.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
    for (unsigned i = 0; i < 2; ++i) {
        Controller& c = controllers_[i];
        c = Controller{};
        if (numericRevision) {
            c.fwMajor = u8(std::stoi(revision.substr(0, 2)));
            c.fwMinor = u8(std::stoi(revision.substr(2, 2)));
            c.fwBuild = revision;
        }
        c.name = i == 0 ? "Controller A" : "Controller B";
        c.wwn = wwn_ + 0x100 * (i + 1);
        c.powerOnCount = 17 + i;
        c.powerOnSeconds = 86400 + 3723 * i;
        c.totalPowerOnSeconds = 31536000 + 7200 * i;
        c.hostLoop1Id = static_cast<uint8_t>(1 + 2 * i);
        c.hostLoop2Id = static_cast<uint8_t>(2 + 2 * i);
    }
    std::vector<ScenarioObject> cs = sys.objects("controllers", 2);
    for (size_t i = 0; i < cs.size(); ++i) {
        const ScenarioObject& o = cs[i];
        Controller& c = controllers_[i];
        c.present = o.flag("present", true);
        c.name = o.text("name", c.name);
        c.wwn = o.wwn("wwn", c.wwn);
        ScenarioObject f = o.section("firmware");
        c.fwMajor = u8(f.integer("major", 0, 255, c.fwMajor));
        c.fwMinor = u8(f.integer("minor", 0, 255, c.fwMinor));
        c.fwBuild = f.text("build", c.fwBuild);
        c.fwCompileDate = f.text("date", c.fwCompileDate);
        c.fwCompileTime = f.text("time", c.fwCompileTime);
        c.powerOnCount = u32(o.integer("powerOnCount", 0, 0xFFFFFFFF, c.powerOnCount));
        c.powerOnSeconds = u32(o.integer("powerOnSeconds", 0, 0xFFFFFFFF, c.powerOnSeconds));
        c.totalPowerOnSeconds = u32(o.integer("totalPowerOnSeconds", 0, 0xFFFFFFFF, c.totalPowerOnSeconds));
        c.clockOffset = o.integer("clockOffset", -(int64_t{1} << 40), int64_t{1} << 40, 0);
        ScenarioObject t = o.section("temperatures");
        c.airTemperature = u8(t.integer("air", 0, 255, c.airTemperature));
        c.expanderTemperature = u8(t.integer("expander", 0, 255, c.expanderTemperature));
        c.processorTemperature = u8(t.integer("processor", 0, 255, c.processorTemperature));
        ScenarioObject b = o.section("battery");
        static const uint8_t kBatteryStates[] = {0xF1, 0xF2, 0xF0};
        c.batteryState = kBatteryStates[b.choice("state", {"good", "absent", "failed"}, 0)];
        c.batteryCapacity = u8(b.integer("capacity", 0, 255, c.batteryCapacity));
        c.batteryHoldupHours = u8(b.integer("holdupHours", 0, 255, c.batteryHoldupHours));
        auto pair = [&](const char* key, int64_t hi, uint8_t& first, uint8_t& second) {
            auto v = o.values(key);
            if (!o.has(key)) return;
            if (v.size() != 2) o.fail(key, "expected two integers");
            uint8_t* out[2] = {&first, &second};
            for (int k = 0; k < 2; ++k) {
                if (!v[k].value.is_number_integer() || v[k].value.get<int64_t>() < 0 || v[k].value.get<int64_t>() > hi)
                    throw ScenarioError(v[k].path, "expected an integer from 0 to " + std::to_string(hi));
                *out[k] = static_cast<uint8_t>(v[k].value.get<int64_t>());
            }
        };
        pair("hostInterface", 15, c.hostInterface[0], c.hostInterface[1]);
        pair("hostLoopIds", 255, c.hostLoop1Id, c.hostLoop2Id);
    }
    if (!controllers_[0].present && !controllers_[1].present)
        sys.fail("controllers", "at least one controller must be present");
}

void FirmwareModel::loadDrives(const ScenarioObject& sys) {
    drives_.clear();
    enclosures_.clear();
    for (const ScenarioObject& e : sys.objects("enclosures")) {
        auto number = u8(e.integer("number", 1, 10, static_cast<int64_t>(enclosures_.size() + 1)));
        auto slots = u8(e.integer("slots", 1, 48, 12));
        enclosures_.push_back(number);
        auto t = e.object("drives");
        if (!t) continue;
        uint64_t base = t->wwn("wwnBase", 0x5000C50000000000ULL + (uint64_t{number} << 8));
        for (uint8_t s = 1; s <= slots; ++s) {
            Drive d;
            d.enclosure = number;
            d.slot = s;
            d.wwn = base + s - 1;
            d.capacityBlocks = u32(t->integer("capacityBlocks", 1, 0xFFFFFFFF, 585937500));
            d.vendor = t->text("vendor", "SEAGATE");
            d.product = t->text("product", "ST3300657SS");
            d.revision = t->text("revision", "0008");
            char serial[16];
            std::snprintf(serial, sizeof serial, "%02u%02u", number, s);
            d.serial = t->text("serialPrefix", "3SJ0") + serial;
            drives_.push_back(d);
        }
    }
    for (const ScenarioObject& o : sys.objects("drives")) {
        Drive d;
        d.enclosure = u8(o.integer("enclosure", 1, 10, 1));
        d.slot = u8(o.integer("slot", 1, 48, 1));
        d.wwn = o.wwn("wwn");
        d.capacityBlocks = u32(o.integer("capacityBlocks", 1, 0xFFFFFFFF, 585937500));
        d.blockSize = u16(o.integer("blockSize", 512, 4096, 512));
        d.vendor = o.text("vendor", "SEAGATE");
        d.product = o.text("product", "ST3300657SS");
        d.revision = o.text("revision", "0008");
        d.serial = o.text("serial", "3SJ" + std::to_string(drives_.size()));
        d.failed = o.flag("failed", false);
        drives_.push_back(d);
    }
    if (drives_.size() > wire::kMaxDrives) sys.fail("drives", "at most 126 drives per system");
    for (size_t i = 0; i < drives_.size(); ++i) {
        drives_[i].loopId1 = static_cast<uint8_t>(i);
        drives_[i].loopId2 = static_cast<uint8_t>(i);
        if (drives_[i].wwn == 0) sys.fail("drives", "a drive WWN must not be zero");
        for (size_t k = 0; k < i; ++k) {
            if (drives_[k].wwn == drives_[i].wwn) sys.fail("drives", "duplicate drive WWN " + wwnHex(drives_[i].wwn));
            if (drives_[k].enclosure == drives_[i].enclosure && drives_[k].slot == drives_[i].slot)
                sys.fail("drives", "two drives in one enclosure slot");
        }
    }
}

// Arrays with failed members are critical, or invalidated beyond their redundancy.
void FirmwareModel::applyDriveFailures() {
    auto& img = *committed_;
    for (unsigned r = 0; r < img.header.totalArrays.get(); ++r) {
        auto& rank = img.rank[r];
        unsigned down = 0;
        for (unsigned m = 0; m < rank.numDrives; ++m) {
            int d = driveIndexByWwn(rank.driveWwn[m].get());
            if (d >= 0 && drives_[static_cast<size_t>(d)].failed) ++down;
        }
        if (down == 0) continue;
        const unsigned tolerance = rank.raidLevel == wire::kRaidLevel6 ? 2 : rank.raidLevel == wire::kRaidLevel0 ? 0 : 1;
        rank.faultStatus = down > tolerance ? wire::kRankInvalidated : wire::kRankCritical;
    }
    for (unsigned s = 0; s < img.header.totalSpares.get(); ++s) {
        int d = driveIndexByWwn(img.hotSpare[s].driveWwn.get());
        if (d >= 0 && drives_[static_cast<size_t>(d)].failed)
            throw ScenarioError("spares", "a failed drive cannot be a hot spare");
    }
}

void FirmwareModel::loadConfiguration(const ScenarioObject& sys) {
    committed_ = std::make_unique<wire::CONFIG_STORAGE_STRUCT>();
    if (sys.has("configImage")) {
        for (const char* key : {"name", "settings", "arrays", "logicalDrives", "mappings", "spares"})
            if (sys.has(key)) sys.fail(key, "cannot be given with \"configImage\"");
        loadImage(sys);
        return;
    }
    if (sys.has("startCounters")) sys.fail("startCounters", "is only read with \"configImage\"");
    loadHeader(sys);
    loadArrays(sys);
    loadLogicalDrives(sys);
    loadMappings(sys);
    for (const ScenarioObject& s : sys.objects("spares")) {
        wire::HOT_SPARE_DRIVE_STRUCT hs{};
        hs.driveWwn.set(drives_[static_cast<size_t>(resolveDrive(drives_, s, "drive"))].wwn);
        hs.rank = s.has("array") ? u8(s.integer("array", 0, 63)) : wire::kGlobalSpare;
        require(addHotSpare(*committed_, hs), s);
    }
}

void FirmwareModel::loadImage(const ScenarioObject& sys) {
    auto& img = *committed_;
    auto* base = reinterpret_cast<uint8_t*>(&img);
    for (const auto& r : sys.values("configImage")) {
        if (!r.value.is_array() || r.value.size() != 2 || !r.value[0].is_number_integer() ||
            r.value[0].get<int64_t>() < 0 || !r.value[1].is_string())
            throw ScenarioError(r.path, "expected [offset, hex]");
        auto off = static_cast<uint64_t>(r.value[0].get<int64_t>());
        std::vector<uint8_t> bytes;
        if (!fromHex(r.value[1].get_ref<const std::string&>(), bytes))
            throw ScenarioError(r.path, "expected an even number of hexadecimal digits");
        if (off > sizeof img || bytes.size() > sizeof img - off) throw ScenarioError(r.path, "outside the image");
        std::memcpy(base + off, bytes.data(), bytes.size());
    }
    if (img.header.length.get() != sizeof img || img.header.totalArrays.get() > wire::kMaxRanks ||
        img.header.totalLogicalDrives.get() > wire::kMaxHostLuns ||
        img.header.totalLunMappingEntries.get() > wire::kMaxLunMaps ||
        img.header.totalSpares.get() > wire::kHotSpareSlots)
        sys.fail("configImage", "not a valid configuration image");
    wwn_ = img.header.configWwn.get();
    auto counters = sys.values("startCounters", 2);
    for (size_t i = 0; i < counters.size(); ++i) {
        const auto& v = counters[i].value;
        if (!v.is_number_integer() || v.get<int64_t>() < 0 || v.get<int64_t>() > 0xFFFF)
            throw ScenarioError(counters[i].path, "expected an integer from 0 to 65535");
        startCounters_[i] = static_cast<uint16_t>(v.get<int64_t>());
    }
}

void FirmwareModel::loadHeader(const ScenarioObject& sys) {
    auto& img = *committed_;
    auto& h = img.header;
    h.length.set(sizeof img);
    h.configWwn.set(wwn_);
    putText(h.name, sys.text("name", "Tolvo RAID System"));
    h.headerValid = 0x01;
    ScenarioObject s = sys.section("settings");
    h.autoRebuild = switchByte(s, "autoRebuild", true);
    h.rebuildPriority = u8(s.integer("rebuildPriority", 10, 90, 50));
    h.autoDriveFwUpdate = switchByte(s, "autoDriveFwUpdate", false);
    h.singleControllerMode = switchByte(s, "singleControllerMode", false);
    h.backgroundVerify = switchByte(s, "backgroundVerify", false);
    h.autoHotSpare = switchByte(s, "autoHotSpare", false);
    h.controllerLogSes = switchByte(s, "controllerLogSes", false);
    h.altNodeNames = switchByte(s, "altNodeNames", false);
    h.controllerLun.set(u16(s.integer("controllerLun", 0, 0xFFFF, 0xFFFF)));
    h.initPriority = u8(s.integer("initPriority", 10, 90, 50));
    h.cacheFlush = wire::kFlagNo;
    h.threadBalance = wire::kFlagNo;
    h.sequentialWrite = 1;
    h.minChunkBlocks.set(u16(2 * s.integer("minChunkKb", 0, 16384, 0)));
    h.maxChunkBlocks.set(u16(2 * s.integer("maxChunkKb", 0, 16384, 0)));
    img.tqmResponseType = wire::kTqmAutomatic;
    img.tqmResponseTime = 10;
}

// Arrays are built through the same checks as the add-rank command.
void FirmwareModel::loadArrays(const ScenarioObject& sys) {
    auto& img = *committed_;
    std::vector<ScenarioObject> arrays = sys.objects("arrays");
    for (size_t ai = 0; ai < arrays.size(); ++ai) {
        const ScenarioObject& a = arrays[ai];
        wire::RANK_CONFIG_STRUCT r{};
        r.raidLevel = levelCode(a);
        if (!a.has("drives")) a.fail("drives", "missing");
        auto members = a.values("drives", wire::kMaxRankDrives);
        r.numDrives = static_cast<uint8_t>(members.size());
        for (size_t k = 0; k < members.size(); ++k)
            r.driveWwn[k].set(drives_[static_cast<size_t>(resolveDrive(drives_, a, members[k]))].wwn);
        r.chunkBlocks.set(u16(2 * a.integer("chunkKb", 1, 16384, 64)));
        r.backOff = u8(a.integer("backOff", 0, 189, 0));
        r.parityGroups = u8(a.integer("parityGroups", 0, 8, r.raidLevel == wire::kRaidLevel50 ? 2 : 0));
        r.readAheadCode.set(u16(a.integer("readAhead", 0, 15, 0)));
        r.writeBackCode.set(u16(a.integer("writeBack", 0, 10, 10)));
        r.cacheFlags = u8(a.integer("cacheFlags", 0, 255,
                                    wire::kCacheWriteBack | wire::kCacheMirror | wire::kCacheBatteryRequired |
                                        (r.raidLevel != 0 ? wire::kCacheFaultToleranceRequired : 0)));
        r.createMarker = wire::kFlagNo;
        enum { kInitialised, kTrusted, kInitialising };
        const size_t state = a.choice("state", {"initialised", "trusted", "initialising"}, kInitialised);
        const auto initPercent = u8(a.integer("initPercent", 0, 99, 0));
        r.initialised = state == kTrusted ? wire::kFlagNo : wire::kFlagYes;
        putText(r.name, a.text("name", "Array " + std::to_string(ai)));
        require(addRank(img, r), a);
        auto& made = img.rank[img.header.totalArrays.get() - 1];
        if (state == kInitialised) {
            made.initialised = wire::kFlagYes;
            made.faultStatus = made.raidLevel == wire::kRaidLevel0 ? wire::kRankCritical : wire::kRankFaultTolerant;
        } else if (state == kInitialising) {
            Job j;
            j.active = true;
            j.rank = made.rankId;
            j.startMs = nowMs();
            j.startPercent = initPercent;
            j.durationMs = initDurationMs_ * (100 - j.startPercent) / 100;
            inits_.push_back(j);
        }
    }
    pendingInitRanks_.clear();
}

// Logical drives are carved first fit over the array's free regions, as the tool carves them.
void FirmwareModel::loadLogicalDrives(const ScenarioObject& sys) {
    auto& img = *committed_;
    for (const ScenarioObject& l : sys.objects("logicalDrives")) {
        auto array = static_cast<unsigned>(l.integer("array", 0, 63, 0));
        if (array >= img.header.totalArrays.get()) l.fail("array", "no such array");
        uint32_t remaining = u32(l.integer("capacityGb", 1, 65535, 1));
        const std::string name = l.text("name", "LD " + std::to_string(img.header.totalLogicalDrives.get()));
        auto blockSize = u16(l.integer("blockSize", 0, 4096, 512));
        const auto ports = u8(l.integer("ports", 1, 15, 15));
        bool first = true;
        unsigned lunIndex = img.header.totalLogicalDrives.get();
        while (remaining > 0) {
            wire::ADDRESS_REGION_MAP_STRUCT map{};
            buildRegionMap(img, map);
            unsigned freeNo = 0;
            int found = -1;
            for (unsigned r = 0; r < map.regionCount.get(); ++r) {
                if (map.region[r].lunNo.get() != wire::kRegionFree) continue;
                if (map.region[r].rankNo.get() == array) { found = static_cast<int>(r); break; }
                ++freeNo;
            }
            if (found < 0) l.fail("capacityGb", "does not fit its array");
            uint32_t take = std::min<uint32_t>(remaining, map.region[found].capacityGb.get());
            if (first) {
                wire::CREATE_HOST_LUN_STRUCT c{};
                c.capacityGb.set(static_cast<uint16_t>(take));
                c.freeRegionNo.set(static_cast<uint16_t>(freeNo));
                c.hostBlockSize.set(blockSize);
                putText(c.name, name);
                require(addHostLun(img, c), l);
                first = false;
            } else {
                wire::EXPAND_HOST_LUN_STRUCT e{};
                e.capacityGb.set(static_cast<uint16_t>(take));
                e.freeRegionNo.set(static_cast<uint16_t>(freeNo));
                require(expandHostLun(img, lunIndex, e), l);
            }
            remaining -= take;
        }
        img.hostLun[lunIndex].portMask = ports;
    }
}

void FirmwareModel::loadMappings(const ScenarioObject& sys) {
    auto& img = *committed_;
    std::vector<ScenarioObject> maps = sys.objects("mappings");
    for (size_t mi = 0; mi < maps.size(); ++mi) {
        const ScenarioObject& m = maps[mi];
        wire::CREATE_LUN_MAPPING_STRUCT c{};
        c.abNodeName.set(m.wwn("node"));
        c.abPortName.set(m.wwn("port"));
        c.bHostType = u8(m.integer("hostType", 0, 255, 1));
        char dflt[64];
        std::snprintf(dflt, sizeof dflt, "Host %3.3u        %s", static_cast<unsigned>(mi),
                      wwnHex(c.abPortName.get()).c_str());
        putText(c.abHostName, m.text("name", dflt));
        for (auto& e : c.awLunMap) e.set(wire::kLunNotMapped);
        int highest = -1;
        for (const ScenarioObject& l : m.objects("luns")) {
            auto lun = static_cast<unsigned>(l.integer("lun", 0, 511, 0));
            auto ld = static_cast<unsigned>(l.integer("logicalDrive", 0, 511, 0));
            if (ld >= img.header.totalLogicalDrives.get()) l.fail("logicalDrive", "no such logical drive");
            auto ports = static_cast<unsigned>(l.integer("ports", 1, 15, 15));
            uint16_t entry = img.hostLun[ld].lunNumber.get() & wire::kLunDriveMask;
            if (ports & 1) entry |= wire::kLunPortC0P0;
            if (ports & 2) entry |= wire::kLunPortC0P1;
            if (ports & 4) entry |= wire::kLunPortC1P0;
            if (ports & 8) entry |= wire::kLunPortC1P1;
            if (l.flag("readOnly", false)) entry |= wire::kLunReadOnly;
            c.awLunMap[lun].set(entry);
            highest = std::max(highest, static_cast<int>(lun));
        }
        c.wControllerLun.set(u16(m.integer("controllerLun", 0, 0xFFFF, highest < 511 ? highest + 1 : 0xFFFF)));
        require(addLunMapping(img, c), m);
    }
}

void FirmwareModel::loadJobs(const ScenarioObject& sys) {
    auto js = sys.object("jobs");
    if (!js) return;
    const auto& img = *committed_;
    auto arrayOf = [&](const ScenarioObject& o) {
        auto array = static_cast<unsigned>(o.integer("array", 0, 63, 0));
        if (array >= img.header.totalArrays.get()) o.fail("array", "no such array");
        return array;
    };
    auto readJob = [&](const ScenarioObject& o, uint64_t dfltMs) {
        const unsigned array = arrayOf(o);
        Job job;
        job.active = true;
        job.rank = img.rank[array].rankId;
        job.startMs = nowMs();
        job.startPercent = u8(o.integer("percent", 0, 99, 0));
        job.durationMs = 1000 * static_cast<uint64_t>(o.integer("seconds", 1, 1 << 24, static_cast<int64_t>(dfltMs / 1000)));
        job.mode = u8(o.integer("mode", 1, 3, 1));
        job.errorCount = u32(o.integer("errors", 0, 0xFFFFFFFF, 0));
        job.drive = u8(o.integer("drive", 0, 15, 0));
        if (o.has("driveWwn")) job.driveWwn = o.wwn("driveWwn");
        else if (job.drive < img.rank[array].numDrives) job.driveWwn = img.rank[array].driveWwn[job.drive].get();
        if (o.flag("paused", false)) job.durationMs = kPaused;
        return job;
    };
    if (auto o = js->object("rebuild")) rebuild_ = readJob(*o, rebuildDurationMs_);
    if (auto o = js->object("parityCheck")) parity_ = readJob(*o, parityDurationMs_);
    if (auto o = js->object("expansion")) {
        expansion_ = readJob(*o, expansionDurationMs_);
        for (const auto& w : o->values("newDrives")) expansionNewDrives_.push_back(wwnValue(w.value, w.path));
    }
    for (const ScenarioObject& o : js->objects("initialisation")) {
        Job j = readJob(o, 120'000);
        inits_.erase(std::remove_if(inits_.begin(), inits_.end(), [&](const Job& x) { return x.rank == j.rank; }),
                     inits_.end());
        inits_.push_back(j);
    }
}

json FirmwareModel::saveState() const {
    json out = json::object();
    out["wwn"] = wwnHex(committed_->header.configWwn.get());
    out["productType"] = productType_;
    json feats = json::array();
    for (uint16_t bit = 1; bit != 0; bit = static_cast<uint16_t>(bit << 1))
        for (const auto& f : kFeatures)
            if ((features_ & bit) && f.bit == bit) feats.push_back(f.name);
    out["features"] = feats;
    json cs = json::array();
    for (unsigned i = 0; i < 2; ++i) {
        const Controller& c = controllers_[i];
        const uint64_t upSeconds = (nowMs() - std::min(nowMs(), maint_.controller[i].bootMs)) / 1000;
        cs.push_back({{"present", c.present},
                      {"name", c.name},
                      {"wwn", wwnHex(c.wwn)},
                      {"firmware", {{"major", c.fwMajor}, {"minor", c.fwMinor}, {"build", c.fwBuild},
                                    {"date", c.fwCompileDate}, {"time", c.fwCompileTime}}},
                      {"powerOnCount", c.powerOnCount},
                      {"powerOnSeconds", c.powerOnSeconds + upSeconds},
                      {"totalPowerOnSeconds", c.totalPowerOnSeconds + nowMs() / 1000},
                      {"clockOffset", controllerClock(i) - clock_.wallSeconds()},   // drift so far included
                      {"temperatures", {{"air", c.airTemperature}, {"expander", c.expanderTemperature},
                                        {"processor", c.processorTemperature}}},
                      {"battery", {{"state", c.batteryState == 0xF1 ? "good" : c.batteryState == 0xF2 ? "absent" : "failed"},
                                   {"capacity", c.batteryCapacity}, {"holdupHours", c.batteryHoldupHours}}},
                      {"hostInterface", {c.hostInterface[0], c.hostInterface[1]}},
                      {"hostLoopIds", {c.hostLoop1Id, c.hostLoop2Id}}});
    }
    out["controllers"] = cs;
    json ds = json::array();
    for (const auto& d : drives_)
        ds.push_back({{"enclosure", d.enclosure}, {"slot", d.slot}, {"wwn", wwnHex(d.wwn)},
                      {"capacityBlocks", d.capacityBlocks}, {"blockSize", d.blockSize}, {"vendor", d.vendor},
                      {"product", d.product}, {"revision", d.revision}, {"serial", d.serial}, {"failed", d.failed}});
    out["drives"] = ds;
    json es = json::array();
    for (auto e : enclosures_) es.push_back({{"number", e}});
    out["enclosures"] = es;
    out["ses"] = ses_.save();
    json hs = json::array();
    for (const auto& h : hostInitiators_) hs.push_back({{"node", wwnHex(h.node)}, {"port", wwnHex(h.port)}});
    out["hosts"] = hs;
    out["jobSeconds"] = {{"initialisation", initDurationMs_ / 1000}, {"rebuild", rebuildDurationMs_ / 1000},
                         {"expansion", expansionDurationMs_ / 1000}, {"parityCheck", parityDurationMs_ / 1000}};

    out["configImage"] = imageRuns(reinterpret_cast<const uint8_t*>(committed_.get()), sizeof(wire::CONFIG_STORAGE_STRUCT));
    out["startCounters"] = {startCounters_[0], startCounters_[1]};

    // Running jobs, as percent done and seconds left.
    auto findIndex = [&](uint8_t rankId) -> int {
        for (unsigned r = 0; r < committed_->header.totalArrays.get(); ++r)
            if (committed_->rank[r].rankId == rankId) return static_cast<int>(r);
        return -1;
    };
    auto jobJson = [&](const Job& j) {
        uint64_t elapsed = nowMs() - std::min(nowMs(), j.startMs);
        uint64_t left = j.durationMs > elapsed ? j.durationMs - elapsed : 1000;
        const uint64_t seconds = j.durationMs == kPaused ? uint64_t{1} << 24 : std::clamp<uint64_t>(left / 1000, 1, uint64_t{1} << 24);
        return json{{"array", findIndex(j.rank)}, {"percent", jobPercent(j)}, {"seconds", seconds},
                    {"mode", j.mode == 0 ? 1 : j.mode}, {"errors", j.errorCount}, {"drive", j.drive},
                    {"driveWwn", wwnHex(j.driveWwn)}, {"paused", j.durationMs == kPaused}};
    };
    json jobs = json::object();
    if (rebuild_.active && findIndex(rebuild_.rank) >= 0) jobs["rebuild"] = jobJson(rebuild_);
    if (expansion_.active && findIndex(expansion_.rank) >= 0) {
        jobs["expansion"] = jobJson(expansion_);
        json nd = json::array();
        for (auto w : expansionNewDrives_) nd.push_back(wwnHex(w));
        jobs["expansion"]["newDrives"] = nd;
    }
    if (parity_.active && findIndex(parity_.rank) >= 0) jobs["parityCheck"] = jobJson(parity_);
    json inits = json::array();
    for (const auto& j : inits_)
        if (j.active && findIndex(j.rank) >= 0) inits.push_back(jobJson(j));
    if (!inits.empty()) jobs["initialisation"] = inits;
    out["jobs"] = jobs;
    out["snapshotState"] = saveSnapshots();
    out["maintenance"] = saveMaintenance();
    return out;
}

}  // namespace sim::model
