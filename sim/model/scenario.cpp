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
//   "jobs"           running jobs: {rebuild{array,drive,percent,seconds}, expansion{...},
//                    parityCheck{array,mode,percent,seconds,errors}}
// saveState adds "configImage" (the committed image as runs of non-zero bytes in hex),
// "startCounters" and the clock offsets, and restoring from it takes the image as is.
#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "model/firmware_model.h"
#include "model/model_util.h"
#include "wire/vendor.h"

namespace sim::model {

using nlohmann::json;

namespace {

uint16_t featureBit(const std::string& name) {
    if (name == "apm") return wire::kFeatureApm;
    if (name == "async") return wire::kFeatureAsyncConfig;
    if (name == "advancedPerformance") return wire::kFeatureAdvPerformance;
    if (name == "failDrive") return wire::kFeatureFailDrive;
    if (name == "r2_2") return wire::kFeatureR2_2;
    throw std::invalid_argument("unknown feature \"" + name + "\"");
}

const char* featureName(uint16_t bit) {
    switch (bit) {
    case wire::kFeatureApm: return "apm";
    case wire::kFeatureAsyncConfig: return "async";
    case wire::kFeatureAdvPerformance: return "advancedPerformance";
    case wire::kFeatureFailDrive: return "failDrive";
    case wire::kFeatureR2_2: return "r2_2";
    default: return nullptr;
    }
}

uint8_t levelCode(int64_t level) {
    switch (level) {
    case 0: return wire::kRaidLevel0;
    case 1: case 10: return wire::kRaidLevel10;
    case 5: return wire::kRaidLevel5;
    case 6: return wire::kRaidLevel6;
    case 50: return wire::kRaidLevel50;
    default: throw std::invalid_argument("array \"level\" must be 0, 1, 5, 6, 10 or 50");
    }
}

uint8_t switchByte(const json& obj, const char* key, uint8_t dflt) {
    if (!obj.contains(key)) return dflt;
    return boolOr(obj, key, false) ? wire::kFlagYes : wire::kFlagNo;
}

}  // namespace

void FirmwareModel::loadScenario(const json& sys) {
    if (!sys.is_object()) throw std::invalid_argument("a system must be a JSON object");
    wwn_ = sys.contains("wwn") ? parseWwn(sys.at("wwn"), "system wwn") : 0x2000001122334455ULL;
    if (wwn_ == 0) throw std::invalid_argument("system wwn must not be zero");
    productType_ = static_cast<uint8_t>(intIn(sys, "productType", 0, 63, 19));

    features_ = 0;
    if (sys.contains("features")) {
        const auto& f = sys.at("features");
        if (!f.is_array()) throw std::invalid_argument("\"features\" must be an array of names");
        for (const auto& e : f) {
            if (!e.is_string()) throw std::invalid_argument("\"features\" must be an array of names");
            features_ |= featureBit(e.get<std::string>());
        }
    }

    // Controllers.
    for (unsigned i = 0; i < 2; ++i) {
        Controller& c = controllers_[i];
        c = Controller{};
        c.name = i == 0 ? "Controller A" : "Controller B";
        c.wwn = wwn_ + 0x100 * (i + 1);
        c.powerOnCount = 17 + i;
        c.powerOnSeconds = 86400 + 3723 * i;
        c.totalPowerOnSeconds = 31536000 + 7200 * i;
        c.hostLoop1Id = static_cast<uint8_t>(1 + 2 * i);
        c.hostLoop2Id = static_cast<uint8_t>(2 + 2 * i);
    }
    if (sys.contains("controllers")) {
        const auto& cs = sys.at("controllers");
        if (!cs.is_array() || cs.size() > 2) throw std::invalid_argument("\"controllers\" must be an array of at most two objects");
        for (size_t i = 0; i < cs.size(); ++i) {
            const auto& o = cs[i];
            if (!o.is_object()) throw std::invalid_argument("a controller must be an object");
            Controller& c = controllers_[i];
            c.present = boolOr(o, "present", true);
            c.name = strOr(o, "name", c.name);
            if (o.contains("wwn")) c.wwn = parseWwn(o.at("wwn"), "controller wwn");
            if (o.contains("firmware")) {
                const auto& f = o.at("firmware");
                c.fwMajor = static_cast<uint8_t>(intIn(f, "major", 0, 255, c.fwMajor));
                c.fwMinor = static_cast<uint8_t>(intIn(f, "minor", 0, 255, c.fwMinor));
                c.fwBuild = strOr(f, "build", c.fwBuild);
                c.fwCompileDate = strOr(f, "date", c.fwCompileDate);
                c.fwCompileTime = strOr(f, "time", c.fwCompileTime);
            }
            c.powerOnCount = static_cast<uint32_t>(intIn(o, "powerOnCount", 0, 0xFFFFFFFF, c.powerOnCount));
            c.powerOnSeconds = static_cast<uint32_t>(intIn(o, "powerOnSeconds", 0, 0xFFFFFFFF, c.powerOnSeconds));
            c.totalPowerOnSeconds =
                static_cast<uint32_t>(intIn(o, "totalPowerOnSeconds", 0, 0xFFFFFFFF, c.totalPowerOnSeconds));
            c.clockOffset = intIn(o, "clockOffset", -(int64_t{1} << 40), int64_t{1} << 40, 0);
            if (o.contains("temperatures")) {
                const auto& t = o.at("temperatures");
                c.airTemperature = static_cast<uint8_t>(intIn(t, "air", 0, 255, c.airTemperature));
                c.expanderTemperature = static_cast<uint8_t>(intIn(t, "expander", 0, 255, c.expanderTemperature));
                c.processorTemperature = static_cast<uint8_t>(intIn(t, "processor", 0, 255, c.processorTemperature));
            }
            if (o.contains("battery")) {
                const auto& b = o.at("battery");
                const std::string st = strOr(b, "state", "good");
                if (st == "good") c.batteryState = 0xF1;
                else if (st == "absent") c.batteryState = 0xF2;
                else if (st == "failed") c.batteryState = 0xF0;
                else throw std::invalid_argument("battery \"state\" must be good, absent or failed");
                c.batteryCapacity = static_cast<uint8_t>(intIn(b, "capacity", 0, 255, c.batteryCapacity));
                c.batteryHoldupHours = static_cast<uint8_t>(intIn(b, "holdupHours", 0, 255, c.batteryHoldupHours));
            }
            if (o.contains("hostInterface")) {
                const auto& h = o.at("hostInterface");
                if (!h.is_array() || h.size() != 2 || !h[0].is_number_integer() || !h[1].is_number_integer())
                    throw std::invalid_argument("\"hostInterface\" must be two integers");
                for (int k = 0; k < 2; ++k) {
                    auto v = h[k].get<int64_t>();
                    if (v < 0 || v > 15) throw std::invalid_argument("\"hostInterface\" values are 0 to 15");
                    c.hostInterface[k] = static_cast<uint8_t>(v);
                }
            }
            if (o.contains("hostLoopIds")) {
                const auto& h = o.at("hostLoopIds");
                if (!h.is_array() || h.size() != 2 || !h[0].is_number_integer() || !h[1].is_number_integer())
                    throw std::invalid_argument("\"hostLoopIds\" must be two integers");
                c.hostLoop1Id = static_cast<uint8_t>(h[0].get<int64_t>() & 0xFF);
                c.hostLoop2Id = static_cast<uint8_t>(h[1].get<int64_t>() & 0xFF);
            }
        }
    }
    if (!controllers_[0].present && !controllers_[1].present)
        throw std::invalid_argument("at least one controller must be present");

    // Drives.
    drives_.clear();
    enclosures_.clear();
    if (sys.contains("enclosures")) {
        const auto& es = sys.at("enclosures");
        if (!es.is_array()) throw std::invalid_argument("\"enclosures\" must be an array");
        for (const auto& e : es) {
            if (!e.is_object()) throw std::invalid_argument("an enclosure must be an object");
            auto number = static_cast<uint8_t>(intIn(e, "number", 1, 10, static_cast<int64_t>(enclosures_.size() + 1)));
            auto slots = static_cast<uint8_t>(intIn(e, "slots", 1, 48, 12));
            enclosures_.push_back(number);
            if (e.contains("drives")) {
                const auto& t = e.at("drives");
                if (!t.is_object()) throw std::invalid_argument("enclosure \"drives\" must be an object");
                uint64_t base = t.contains("wwnBase") ? parseWwn(t.at("wwnBase"), "wwnBase")
                                                      : 0x5000C50000000000ULL + (uint64_t{number} << 8);
                for (uint8_t s = 1; s <= slots; ++s) {
                    Drive d;
                    d.enclosure = number;
                    d.slot = s;
                    d.wwn = base + s - 1;
                    d.capacityBlocks = static_cast<uint32_t>(intIn(t, "capacityBlocks", 1, 0xFFFFFFFF, 585937500));
                    d.vendor = strOr(t, "vendor", "SEAGATE");
                    d.product = strOr(t, "product", "ST3300657SS");
                    d.revision = strOr(t, "revision", "0008");
                    char serial[16];
                    std::snprintf(serial, sizeof serial, "%02u%02u", number, s);
                    d.serial = strOr(t, "serialPrefix", "3SJ0") + serial;
                    drives_.push_back(d);
                }
            }
        }
    }
    if (sys.contains("drives")) {
        const auto& ds = sys.at("drives");
        if (!ds.is_array()) throw std::invalid_argument("\"drives\" must be an array");
        for (const auto& o : ds) {
            if (!o.is_object()) throw std::invalid_argument("a drive must be an object");
            Drive d;
            d.enclosure = static_cast<uint8_t>(intIn(o, "enclosure", 1, 10, 1));
            d.slot = static_cast<uint8_t>(intIn(o, "slot", 1, 48, 1));
            if (!o.contains("wwn")) throw std::invalid_argument("a drive needs a \"wwn\"");
            d.wwn = parseWwn(o.at("wwn"), "drive wwn");
            d.capacityBlocks = static_cast<uint32_t>(intIn(o, "capacityBlocks", 1, 0xFFFFFFFF, 585937500));
            d.blockSize = static_cast<uint16_t>(intIn(o, "blockSize", 512, 4096, 512));
            d.vendor = strOr(o, "vendor", "SEAGATE");
            d.product = strOr(o, "product", "ST3300657SS");
            d.revision = strOr(o, "revision", "0008");
            d.serial = strOr(o, "serial", "3SJ" + std::to_string(drives_.size()));
            d.failed = boolOr(o, "failed", false);
            drives_.push_back(d);
        }
    }
    if (drives_.size() > wire::kMaxDrives) throw std::invalid_argument("at most 126 drives per system");
    for (size_t i = 0; i < drives_.size(); ++i) {
        drives_[i].loopId1 = static_cast<uint8_t>(i);
        drives_[i].loopId2 = static_cast<uint8_t>(i);
        if (drives_[i].wwn == 0) throw std::invalid_argument("a drive WWN must not be zero");
        for (size_t k = 0; k < i; ++k) {
            if (drives_[k].wwn == drives_[i].wwn) throw std::invalid_argument("duplicate drive WWN " + wwnHex(drives_[i].wwn));
            if (drives_[k].enclosure == drives_[i].enclosure && drives_[k].slot == drives_[i].slot)
                throw std::invalid_argument("two drives in one enclosure slot");
        }
    }

    {
        std::vector<uint8_t> numbers = enclosures_;
        for (const auto& d : drives_) numbers.push_back(d.enclosure);
        ses_.load(sys, numbers, productType_);
    }

    // Initiators.
    hostInitiators_.clear();
    if (sys.contains("hosts")) {
        const auto& hs = sys.at("hosts");
        if (!hs.is_array() || hs.size() > wire::kMaxHosts) throw std::invalid_argument("\"hosts\" must be an array of at most 512");
        for (const auto& h : hs) {
            if (!h.is_object() || !h.contains("node") || !h.contains("port"))
                throw std::invalid_argument("a host needs \"node\" and \"port\"");
            hostInitiators_.push_back({parseWwn(h.at("node"), "host node"), parseWwn(h.at("port"), "host port")});
        }
    }

    if (sys.contains("jobSeconds")) {
        const auto& j = sys.at("jobSeconds");
        initDurationMs_ = 1000 * static_cast<uint64_t>(intIn(j, "initialisation", 1, 1 << 24, 120));
        rebuildDurationMs_ = 1000 * static_cast<uint64_t>(intIn(j, "rebuild", 1, 1 << 24, 180));
        expansionDurationMs_ = 1000 * static_cast<uint64_t>(intIn(j, "expansion", 1, 1 << 24, 300));
        parityDurationMs_ = 1000 * static_cast<uint64_t>(intIn(j, "parityCheck", 1, 1 << 24, 60));
    }

    // Failed drives may be array members (a degraded array): the arrays are
    // built from working drives and the failures applied afterwards.
    std::vector<bool> failed;
    for (auto& d : drives_) {
        failed.push_back(d.failed);
        d.failed = false;
    }
    loadConfiguration(sys);
    for (size_t i = 0; i < drives_.size(); ++i) drives_[i].failed = failed[i];
    if (!sys.contains("configImage")) {
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
                throw std::invalid_argument("a failed drive cannot be a hot spare");
        }
    }
    loadSnapshots(sys);
}

namespace {

// A drive reference in a scenario: WWN string, index, or {enclosure, slot}.
int resolveDrive(const std::vector<Drive>& drives, const json& ref) {
    if (ref.is_string()) {
        uint64_t w = parseWwn(ref, "drive reference");
        for (size_t i = 0; i < drives.size(); ++i)
            if (drives[i].wwn == w) return static_cast<int>(i);
        throw std::invalid_argument("no drive with WWN " + ref.get<std::string>());
    }
    if (ref.is_number_integer()) {
        auto i = ref.get<int64_t>();
        if (i < 0 || i >= static_cast<int64_t>(drives.size())) throw std::invalid_argument("drive index out of range");
        return static_cast<int>(i);
    }
    if (ref.is_object()) {
        auto e = intIn(ref, "enclosure", 1, 10, 1);
        auto s = intIn(ref, "slot", 1, 48, 1);
        for (size_t i = 0; i < drives.size(); ++i)
            if (drives[i].enclosure == e && drives[i].slot == s) return static_cast<int>(i);
        throw std::invalid_argument("no drive in enclosure " + std::to_string(e) + " slot " + std::to_string(s));
    }
    throw std::invalid_argument("a drive reference is a WWN, an index or {enclosure, slot}");
}

std::string outcomeText(const Outcome& o) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "sense %02X/%02X/%02X", o.senseKey, o.asc, o.ascq);
    return buf;
}

void require(const Outcome& o, const std::string& what) {
    if (o.kind != Outcome::Kind::Good) throw std::invalid_argument(what + " refused by the model (" + outcomeText(o) + ")");
}

}  // namespace

void FirmwareModel::loadConfiguration(const json& sys) {
    committed_ = std::make_unique<wire::CONFIG_STORAGE_STRUCT>();
    auto& img = *committed_;

    if (sys.contains("configImage")) {
        const auto& runs = sys.at("configImage");
        if (!runs.is_array()) throw std::invalid_argument("\"configImage\" must be an array of [offset, hex] runs");
        auto* base = reinterpret_cast<uint8_t*>(&img);
        for (const auto& r : runs) {
            if (!r.is_array() || r.size() != 2 || !r[0].is_number_unsigned() || !r[1].is_string())
                throw std::invalid_argument("\"configImage\" runs are [offset, hex]");
            uint64_t off = r[0].get<uint64_t>();
            const std::string hex = r[1].get<std::string>();
            if (hex.size() % 2 != 0 || off > sizeof img || hex.size() / 2 > sizeof img - off)
                throw std::invalid_argument("\"configImage\" run outside the image");
            std::vector<uint8_t> bytes;
            if (!fromHex(hex, bytes)) throw std::invalid_argument("\"configImage\" has a bad hex digit");
            std::copy(bytes.begin(), bytes.end(), base + off);
        }
        if (img.header.length.get() != sizeof img || img.header.totalArrays.get() > wire::kMaxRanks ||
            img.header.totalLogicalDrives.get() > wire::kMaxHostLuns ||
            img.header.totalLunMappingEntries.get() > wire::kMaxLunMaps ||
            img.header.totalSpares.get() > wire::kHotSpareSlots)
            throw std::invalid_argument("\"configImage\" is not a valid configuration image");
        wwn_ = img.header.configWwn.get();
        if (sys.contains("startCounters") && sys.at("startCounters").is_array() && sys.at("startCounters").size() == 2) {
            startCounters_[0] = static_cast<uint16_t>(sys.at("startCounters")[0].get<int64_t>() & 0xFFFF);
            startCounters_[1] = static_cast<uint16_t>(sys.at("startCounters")[1].get<int64_t>() & 0xFFFF);
        }
    } else {
        auto& h = img.header;
        h.length.set(sizeof img);
        h.configWwn.set(wwn_);
        putText(h.name, strOr(sys, "name", "Tolvo RAID System"));
        h.headerValid = 0x01;
        const json settings = sys.contains("settings") ? sys.at("settings") : json::object();
        if (!settings.is_object()) throw std::invalid_argument("\"settings\" must be an object");
        h.autoRebuild = switchByte(settings, "autoRebuild", wire::kFlagYes);
        h.rebuildPriority = static_cast<uint8_t>(intIn(settings, "rebuildPriority", 10, 90, 50));
        h.autoDriveFwUpdate = switchByte(settings, "autoDriveFwUpdate", wire::kFlagNo);
        h.singleControllerMode = switchByte(settings, "singleControllerMode", wire::kFlagNo);
        h.backgroundVerify = switchByte(settings, "backgroundVerify", wire::kFlagNo);
        h.autoHotSpare = switchByte(settings, "autoHotSpare", wire::kFlagNo);
        h.controllerLogSes = switchByte(settings, "controllerLogSes", wire::kFlagNo);
        h.altNodeNames = switchByte(settings, "altNodeNames", wire::kFlagNo);
        h.controllerLun.set(static_cast<uint16_t>(intIn(settings, "controllerLun", 0, 0xFFFF, 0xFFFF)));
        h.initPriority = static_cast<uint8_t>(intIn(settings, "initPriority", 10, 90, 50));
        h.cacheFlush = wire::kFlagNo;
        h.threadBalance = wire::kFlagNo;
        h.sequentialWrite = 1;
        h.minChunkBlocks.set(static_cast<uint16_t>(2 * intIn(settings, "minChunkKb", 0, 16384, 0)));
        h.maxChunkBlocks.set(static_cast<uint16_t>(2 * intIn(settings, "maxChunkKb", 0, 16384, 0)));
        img.tqmResponseType = wire::kTqmAutomatic;
        img.tqmResponseTime = 10;

        // Arrays, built through the same checks as the add-rank command.
        if (sys.contains("arrays")) {
            const auto& as = sys.at("arrays");
            if (!as.is_array()) throw std::invalid_argument("\"arrays\" must be an array");
            for (size_t ai = 0; ai < as.size(); ++ai) {
                const auto& a = as[ai];
                if (!a.is_object() || !a.contains("drives") || !a.at("drives").is_array())
                    throw std::invalid_argument("an array needs a \"drives\" list");
                wire::RANK_CONFIG_STRUCT r{};
                r.raidLevel = levelCode(intIn(a, "level", 0, 50, 5));
                const auto& members = a.at("drives");
                if (members.size() > wire::kMaxRankDrives) throw std::invalid_argument("an array has at most 16 drives");
                r.numDrives = static_cast<uint8_t>(members.size());
                for (size_t k = 0; k < members.size(); ++k)
                    r.driveWwn[k].set(drives_[static_cast<size_t>(resolveDrive(drives_, members[k]))].wwn);
                r.chunkBlocks.set(static_cast<uint16_t>(2 * intIn(a, "chunkKb", 1, 16384, 64)));
                r.backOff = static_cast<uint8_t>(intIn(a, "backOff", 0, 189, 0));
                r.parityGroups = static_cast<uint8_t>(intIn(a, "parityGroups", 0, 8, r.raidLevel == wire::kRaidLevel50 ? 2 : 0));
                r.readAheadCode.set(static_cast<uint16_t>(intIn(a, "readAhead", 0, 15, 0)));
                r.writeBackCode.set(static_cast<uint16_t>(intIn(a, "writeBack", 0, 10, 10)));
                r.cacheFlags = static_cast<uint8_t>(intIn(a, "cacheFlags", 0, 255,
                    wire::kCacheWriteBack | wire::kCacheMirror | wire::kCacheBatteryRequired |
                    (r.raidLevel != 0 ? wire::kCacheFaultToleranceRequired : 0)));
                r.createMarker = wire::kFlagNo;
                const std::string state = strOr(a, "state", "initialised");
                if (state != "initialised" && state != "trusted" && state != "initialising")
                    throw std::invalid_argument("array \"state\" must be initialised, trusted or initialising");
                r.initialised = state == "trusted" ? wire::kFlagNo : wire::kFlagYes;
                putText(r.name, strOr(a, "name", "Array " + std::to_string(ai)));
                require(addRank(img, r), "array " + std::to_string(ai));
                auto& made = img.rank[img.header.totalArrays.get() - 1];
                if (state == "initialised") {
                    made.initialised = wire::kFlagYes;
                    made.faultStatus = made.raidLevel == wire::kRaidLevel0 ? wire::kRankCritical : wire::kRankFaultTolerant;
                } else if (state == "initialising") {
                    Job j;
                    j.active = true;
                    j.rank = made.rankId;
                    j.startMs = nowMs();
                    j.startPercent = static_cast<uint8_t>(intIn(a, "initPercent", 0, 99, 0));
                    j.durationMs = initDurationMs_ * (100 - j.startPercent) / 100;
                    inits_.push_back(j);
                }
            }
        }
        pendingInitRanks_.clear();

        if (sys.contains("logicalDrives")) {
            const auto& ls = sys.at("logicalDrives");
            if (!ls.is_array()) throw std::invalid_argument("\"logicalDrives\" must be an array");
            for (size_t li = 0; li < ls.size(); ++li) {
                const auto& l = ls[li];
                if (!l.is_object()) throw std::invalid_argument("a logical drive must be an object");
                auto array = static_cast<unsigned>(intIn(l, "array", 0, 63, 0));
                if (array >= img.header.totalArrays.get()) throw std::invalid_argument("logical drive on a missing array");
                auto capacity = static_cast<uint32_t>(intIn(l, "capacityGb", 1, 65535, 1));
                const std::string name = strOr(l, "name", "LD " + std::to_string(li));
                auto blockSize = static_cast<uint16_t>(intIn(l, "blockSize", 0, 4096, 512));
                // First fit over the array's free regions, as the tool carves them.
                uint32_t remaining = capacity;
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
                    if (found < 0) throw std::invalid_argument("logical drive " + std::to_string(li) + " does not fit its array");
                    uint32_t take = std::min<uint32_t>(remaining, map.region[found].capacityGb.get());
                    if (first) {
                        wire::CREATE_HOST_LUN_STRUCT c{};
                        c.capacityGb.set(static_cast<uint16_t>(take));
                        c.freeRegionNo.set(static_cast<uint16_t>(freeNo));
                        c.hostBlockSize.set(blockSize);
                        putText(c.name, name);
                        require(addHostLun(img, c), "logical drive " + std::to_string(li));
                        first = false;
                    } else {
                        wire::EXPAND_HOST_LUN_STRUCT e{};
                        e.capacityGb.set(static_cast<uint16_t>(take));
                        e.freeRegionNo.set(static_cast<uint16_t>(freeNo));
                        require(expandHostLun(img, lunIndex, e), "logical drive " + std::to_string(li));
                    }
                    remaining -= take;
                }
                img.hostLun[lunIndex].portMask = static_cast<uint8_t>(intIn(l, "ports", 1, 15, 15));
            }
        }

        if (sys.contains("mappings")) {
            const auto& ms = sys.at("mappings");
            if (!ms.is_array()) throw std::invalid_argument("\"mappings\" must be an array");
            for (size_t mi = 0; mi < ms.size(); ++mi) {
                const auto& m = ms[mi];
                if (!m.is_object() || !m.contains("node") || !m.contains("port"))
                    throw std::invalid_argument("a mapping needs \"node\" and \"port\"");
                wire::CREATE_LUN_MAPPING_STRUCT c{};
                c.abNodeName.set(parseWwn(m.at("node"), "mapping node"));
                c.abPortName.set(parseWwn(m.at("port"), "mapping port"));
                c.bHostType = static_cast<uint8_t>(intIn(m, "hostType", 0, 255, 1));
                char dflt[64];
                std::snprintf(dflt, sizeof dflt, "Host %3.3u        %s", static_cast<unsigned>(mi),
                              wwnHex(c.abPortName.get()).c_str());
                putText(c.abHostName, strOr(m, "name", dflt));
                for (auto& e : c.awLunMap) e.set(wire::kLunNotMapped);
                int highest = -1;
                if (m.contains("luns")) {
                    const auto& luns = m.at("luns");
                    if (!luns.is_array()) throw std::invalid_argument("mapping \"luns\" must be an array");
                    for (const auto& l : luns) {
                        auto lun = static_cast<unsigned>(intIn(l, "lun", 0, 511, 0));
                        auto ld = static_cast<unsigned>(intIn(l, "logicalDrive", 0, 511, 0));
                        if (ld >= img.header.totalLogicalDrives.get())
                            throw std::invalid_argument("mapping of a missing logical drive");
                        auto ports = static_cast<unsigned>(intIn(l, "ports", 1, 15, 15));
                        uint16_t entry = img.hostLun[ld].lunNumber.get() & wire::kLunDriveMask;
                        if (ports & 1) entry |= wire::kLunPortC0P0;
                        if (ports & 2) entry |= wire::kLunPortC0P1;
                        if (ports & 4) entry |= wire::kLunPortC1P0;
                        if (ports & 8) entry |= wire::kLunPortC1P1;
                        if (boolOr(l, "readOnly", false)) entry |= wire::kLunReadOnly;
                        c.awLunMap[lun].set(entry);
                        highest = std::max(highest, static_cast<int>(lun));
                    }
                }
                c.wControllerLun.set(static_cast<uint16_t>(intIn(m, "controllerLun", 0, 0xFFFF,
                                                                 highest < 511 ? highest + 1 : 0xFFFF)));
                require(addLunMapping(img, c), "mapping " + std::to_string(mi));
            }
        }

        if (sys.contains("spares")) {
            const auto& ss = sys.at("spares");
            if (!ss.is_array()) throw std::invalid_argument("\"spares\" must be an array");
            for (const auto& s : ss) {
                if (!s.is_object() || !s.contains("drive")) throw std::invalid_argument("a spare needs a \"drive\"");
                wire::HOT_SPARE_DRIVE_STRUCT hs{};
                hs.driveWwn.set(drives_[static_cast<size_t>(resolveDrive(drives_, s.at("drive")))].wwn);
                hs.rank = s.contains("array") ? static_cast<uint8_t>(intIn(s, "array", 0, 63, 0)) : wire::kGlobalSpare;
                require(addHotSpare(img, hs), "spare");
            }
        }
    }

    // Running jobs.
    if (sys.contains("jobs")) {
        const auto& js = sys.at("jobs");
        if (!js.is_object()) throw std::invalid_argument("\"jobs\" must be an object");
        auto loadJob = [&](const char* key, Job& job, uint64_t dfltMs) {
            if (!js.contains(key)) return;
            const auto& o = js.at(key);
            auto array = static_cast<unsigned>(intIn(o, "array", 0, 63, 0));
            if (array >= img.header.totalArrays.get()) throw std::invalid_argument(std::string(key) + " on a missing array");
            job = Job{};
            job.active = true;
            job.rank = img.rank[array].rankId;
            job.startMs = nowMs();
            job.startPercent = static_cast<uint8_t>(intIn(o, "percent", 0, 99, 0));
            job.durationMs = 1000 * static_cast<uint64_t>(intIn(o, "seconds", 1, 1 << 24,
                                                                static_cast<int64_t>(dfltMs / 1000)));
            job.mode = static_cast<uint8_t>(intIn(o, "mode", 1, 3, 1));
            job.errorCount = static_cast<uint32_t>(intIn(o, "errors", 0, 0xFFFFFFFF, 0));
            job.drive = static_cast<uint8_t>(intIn(o, "drive", 0, 15, 0));
            if (o.contains("driveWwn")) job.driveWwn = parseWwn(o.at("driveWwn"), "driveWwn");
            else if (job.drive < img.rank[array].numDrives) job.driveWwn = img.rank[array].driveWwn[job.drive].get();
        };
        loadJob("rebuild", rebuild_, rebuildDurationMs_);
        loadJob("expansion", expansion_, expansionDurationMs_);
        loadJob("parityCheck", parity_, parityDurationMs_);
        if (js.contains("initialisation")) {
            const auto& l = js.at("initialisation");
            if (!l.is_array()) throw std::invalid_argument("\"initialisation\" jobs must be an array");
            for (const auto& o : l) {
                Job j;
                auto array = static_cast<unsigned>(intIn(o, "array", 0, 63, 0));
                if (array >= img.header.totalArrays.get()) throw std::invalid_argument("initialisation on a missing array");
                j.active = true;
                j.rank = img.rank[array].rankId;
                j.startMs = nowMs();
                j.startPercent = static_cast<uint8_t>(intIn(o, "percent", 0, 99, 0));
                j.durationMs = 1000 * static_cast<uint64_t>(intIn(o, "seconds", 1, 1 << 24, 120));
                if (boolOr(o, "paused", false)) j.durationMs = kPaused;
                inits_.erase(std::remove_if(inits_.begin(), inits_.end(), [&](const Job& x) { return x.rank == j.rank; }),
                             inits_.end());
                inits_.push_back(j);
            }
        }
        if (expansion_.active && js.at("expansion").contains("newDrives")) {
            for (const auto& w : js.at("expansion").at("newDrives")) expansionNewDrives_.push_back(parseWwn(w, "newDrives"));
        }
    }
}

json FirmwareModel::saveState() const {
    json out = json::object();
    out["wwn"] = wwnHex(committed_->header.configWwn.get());
    out["productType"] = productType_;
    json feats = json::array();
    for (uint16_t bit = 1; bit != 0; bit = static_cast<uint16_t>(bit << 1))
        if ((features_ & bit) && featureName(bit)) feats.push_back(featureName(bit));
    out["features"] = feats;
    json cs = json::array();
    for (const auto& c : controllers_) {
        cs.push_back({{"present", c.present},
                      {"name", c.name},
                      {"wwn", wwnHex(c.wwn)},
                      {"firmware", {{"major", c.fwMajor}, {"minor", c.fwMinor}, {"build", c.fwBuild},
                                    {"date", c.fwCompileDate}, {"time", c.fwCompileTime}}},
                      {"powerOnCount", c.powerOnCount},
                      {"powerOnSeconds", c.powerOnSeconds + nowMs() / 1000},
                      {"totalPowerOnSeconds", c.totalPowerOnSeconds + nowMs() / 1000},
                      {"clockOffset", c.clockOffset},
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
    return out;
}

}  // namespace sim::model
