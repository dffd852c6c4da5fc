// The controllers' and drives' maintenance life in the firmware model: reset
// and shutdown (the controller's paths go away for a while and come back),
// firmware images (checked, stored, adopted at the next reset), clock drift,
// identify lights, drive spin and self tests, statistics clears and the drive
// power control (APM) settings and reports.
#include <algorithm>
#include <cstring>
#include <ctime>

#include "model/firmware_model.h"
#include "model/model_util.h"
#include "wire/vendor.h"
#include "wire/vendor_ops.h"

namespace sim::model {

using nlohmann::json;

// ---------------------------------------------------------------------------
// Controller life

bool FirmwareModel::controllerUp(unsigned c) const {
    const auto& life = maint_.controller[c];
    return !life.down || nowMs() >= life.offlineUntilMs;
}

bool FirmwareModel::pathOnline(unsigned pathIndex) const { return controllerUp(controllerForPath(pathIndex)); }

int64_t FirmwareModel::controllerClock(unsigned c) const {
    const auto& life = maint_.controller[c];
    const auto elapsedMs = static_cast<int64_t>(nowMs() - std::min(nowMs(), life.driftSinceMs));
    return clock_.wallSeconds() + controllers_[c].clockOffset + elapsedMs * life.driftPpm / 1'000'000'000;
}

void FirmwareModel::clockSet(unsigned c) { maint_.controller[c & 1].driftSinceMs = nowMs(); }

void FirmwareModel::advanceMaintenance() {
    for (unsigned c = 0; c < 2; ++c) {
        auto& life = maint_.controller[c];
        if (!life.down || nowMs() < life.offlineUntilMs) continue;
        // The controller comes back: a new power-on, and the image it was given.
        life.down = false;
        life.offlineUntilMs = 0;
        life.bootMs = nowMs();
        Controller& ctl = controllers_[c];
        ctl.powerOnSeconds = 0;
        ++ctl.powerOnCount;
        if (life.pendingFirmware) {
            ctl.fwMajor = life.pendingFirmware->major;
            ctl.fwMinor = life.pendingFirmware->minor;
            ctl.fwBuild = life.pendingFirmware->build;
            ctl.fwCompileDate = life.pendingFirmware->date;
            life.pendingFirmware.reset();
        }
    }
}

// ---------------------------------------------------------------------------
// Drives

uint8_t FirmwareModel::apmState(size_t drive) const {
    auto it = maint_.drives.find(drive);
    if (it == maint_.drives.end()) return kSpunUp;
    const DriveLife& d = it->second;
    if (d.testUntilMs > nowMs()) return kUnderTest;
    if (d.spin == kSpunUp && d.spinUntilMs > nowMs()) return kSpinningUp;
    return d.spin;
}

// ---------------------------------------------------------------------------
// Firmware images

Outcome FirmwareModel::storeImage(unsigned which) {
    std::vector<uint8_t>& image = maint_.image[which];
    auto refuse = [&](const char* why) {
        maint_.lastImage[which] = why;
        image.clear();
        return badParameter();
    };
    if (image.size() < kFirmwareHeaderSize || !std::equal(kFirmwareMagic, kFirmwareMagic + 8, image.begin()))
        return refuse("not a Tolvo firmware image");
    if (image[8] != which + 1) return refuse("an image for the other module");
    const uint32_t length = wire::loadLe32(&image[32]);
    if (length < kFirmwareHeaderSize || length > kMaxFirmwareImageBytes) return refuse("bad image length");
    if (image.size() < length) return Outcome::good();   // more pieces to come
    if (image.size() > length) return refuse("more data than the image length");
    uint32_t sum = 0;
    for (size_t i = kFirmwareHeaderSize; i < image.size(); ++i) sum += image[i];
    if (sum != wire::loadLe32(&image[36])) return refuse("checksum mismatch");
    if (which == 0) {
        FirmwareVersion v;
        v.major = image[9];
        v.minor = image[10];
        // Kept as the controllers report them: other characters than 32-126 as blanks.
        auto text = [&](size_t at, size_t n) {
            std::string t(reinterpret_cast<const char*>(&image[at]), strnlen(reinterpret_cast<const char*>(&image[at]), n));
            for (char& ch : t) ch = (ch >= 32 && ch <= 126) ? ch : ' ';
            return t;
        };
        v.build = text(12, 4);
        v.build.resize(4, ' ');
        v.date = text(16, 16);
        for (auto& life : maint_.controller) life.pendingFirmware = v;
    } else {
        ++maint_.driveIoImages;
    }
    maint_.lastImage[which] = "stored";
    image.clear();
    return Outcome::good();
}

// Firmware images (buffer 0x00 controller, 0x02 drive I/O module): mode 5 is
// a whole image in one command, mode 7 one piece of it at the offset in bytes
// 3-5. Pieces follow each other from offset 0; a piece at offset 0 starts a
// new image. The first piece must carry the image header; the image is
// checked when its last byte has arrived.
Outcome FirmwareModel::download(const CommandContext& cmd) {
    const uint8_t mode = cmd.cdb[1], id = cmd.cdb[2];
    const uint32_t offset = wire::loadBe24(&cmd.cdb[3]);
    if (id != wire::buf::DownloadControllerFw && id != wire::buf::DownloadDiskIoFw) return Outcome::invalidFieldInCdb();
    const unsigned which = id == wire::buf::DownloadControllerFw ? 0 : 1;
    Download& d = downloads_[which];
    std::vector<uint8_t>& image = maint_.image[which];
    if (cmd.dataOut.empty()) return Outcome::parameterListLengthError();
    if (mode == wire::kModeDownload && offset != 0) return Outcome::invalidFieldInCdb();
    if (offset == 0) {
        d.received = 0;
        d.pieces = 0;
        ++d.images;
        image.clear();
    } else if (offset != d.received || d.pieces == 0 || image.empty()) {
        return Outcome::invalidFieldInCdb();
    }
    if (cmd.dataOut.size() > kMaxFirmwareImageBytes - d.received) return Outcome::invalidFieldInCdb();
    d.received += static_cast<uint32_t>(cmd.dataOut.size());
    ++d.pieces;
    image.insert(image.end(), cmd.dataOut.begin(), cmd.dataOut.end());
    if (image.size() >= kFirmwareHeaderSize || mode == wire::kModeDownload) {
        Outcome o = storeImage(which);
        // A single-command image must be whole.
        if (o.kind == Outcome::Kind::Good && mode == wire::kModeDownload && !image.empty()) {
            image.clear();
            maint_.lastImage[which] = "incomplete image";
            return badParameter();
        }
        return o;
    }
    return Outcome::good();
}

// ---------------------------------------------------------------------------
// Commands

const std::vector<FirmwareModel::WriteEntry>& FirmwareModel::maintenanceWrites() {
    namespace b = wire::buf;
    using W = const VendorWrite&;
    static const std::vector<WriteEntry> table = {
        {b::ResetController, 0, 0, [](FirmwareModel& m, W w) { return m.takeControllersDown(w, true); }},
        {b::ShutdownController, 0, 0, [](FirmwareModel& m, W w) { return m.takeControllersDown(w, false); }},
        {b::FlashDriveActivityLight, 0, 0, [](FirmwareModel& m, W w) { return m.flashDriveLight(w); }},
        {b::ClearControllerStatisticsA, 0, 0, [](FirmwareModel& m, W w) { return m.clearStatistics(w, 0); }},
        {b::ClearControllerStatisticsB, 0, 0, [](FirmwareModel& m, W w) { return m.clearStatistics(w, 1); }},
        {b::SpinUpOrDownDrive, 0, 0, [](FirmwareModel& m, W w) { return m.spinDrive(w); }},
        {b::StartDriveSelfTest, 0, 0, [](FirmwareModel& m, W w) { return m.selfTestDrive(w); }},
        {b::SpinUpOrDownArray, 0, 0, [](FirmwareModel& m, W w) { return m.arrayDrives(w, true); }},
        {b::StartArraySelfTest, 0, 0, [](FirmwareModel& m, W w) { return m.arrayDrives(w, false); }},
        // A level 1 or level 2 record, by CDB byte 3.
        {b::ModifyAPMConfig, kAnyPayload, kInChange, [](FirmwareModel& m, W w) {
             return m.apmConfig(*m.pending_, w.b3, w.b4, w.payload);
         }},
    };
    return table;
}

bool FirmwareModel::inHealthyArray(const Drive& d) const { return !d.failed && rankOfDrive(*committed_, d.wwn) >= 0; }

int FirmwareModel::driveAt(uint8_t enclosure, uint8_t slot) const {
    for (size_t i = 0; i < drives_.size(); ++i)
        if (drives_[i].enclosure == enclosure && drives_[i].slot == slot) return static_cast<int>(i);
    return -1;
}

// Byte 3: the controllers (bit 0 A, bit 1 B); byte 4 of a shutdown: 0 or 1.
Outcome FirmwareModel::takeControllersDown(const VendorWrite& w, bool reset) {
    if (w.b3 < 1 || w.b3 > 3 || w.b5 || (reset ? w.b4 != 0 : w.b4 > 1)) return badCdb();
    for (unsigned c = 0; c < 2; ++c)
        if ((w.b3 >> c) & 1 && !controllers_[c].present) return badCdb();
    for (unsigned c = 0; c < 2; ++c) {
        if (!((w.b3 >> c) & 1)) continue;
        auto& life = maint_.controller[c];
        life.down = true;
        life.downReason = reset ? "reset" : "shutdown";
        life.offlineUntilMs = nowMs() + (reset ? maint_.resetDownMs : maint_.shutdownDownMs);
        ++(reset ? life.resets : life.shutdowns);
    }
    return Outcome::good();
}

// Loop 1 or 2, the drive by its hard address (its position), seconds (0: off).
Outcome FirmwareModel::flashDriveLight(const VendorWrite& w) {
    if ((w.b3 != 1 && w.b3 != 2) || w.b4 >= drives_.size() || w.b5 > 120) return badCdb();
    const Drive& d = drives_[w.b4];
    if ((w.b3 == 1 ? d.loopId1 : d.loopId2) == 0xFF) return badCdb();
    auto& life = maint_.drives[w.b4];
    life.loop = w.b3;
    life.lightUntilMs = w.b5 == 0 ? 0 : nowMs() + uint64_t{w.b5} * 1000;
    return Outcome::good();
}

Outcome FirmwareModel::clearStatistics(const VendorWrite& w, unsigned c) {
    const unsigned lun = (w.b4 << 8) | w.b5;
    if (w.b3 > 2 || (lun >= 512 && lun != 0xFFFF)) return badCdb();
    if (!controllers_[c].present || !controllerUp(c)) return badCdb();
    auto& life = maint_.controller[c];
    ++life.statisticsClears;
    life.lastClearedPort = w.b3;
    life.lastClearedLun = static_cast<int>(lun);
    return Outcome::good();
}

// b3 direction, b4 enclosure, b5 slot. Only spares, unused and failed drives.
Outcome FirmwareModel::spinDrive(const VendorWrite& w) {
    if (w.b3 > 1) return badCdb();
    const int i = driveAt(w.b4, w.b5);
    if (i < 0) return badCdb();
    if (inHealthyArray(drives_[static_cast<size_t>(i)])) return badCdb();
    auto& life = maint_.drives[static_cast<size_t>(i)];
    if (life.testUntilMs > nowMs()) return sequenceError();
    if (w.b3 == 1) {
        if (life.spin == kSpunDown) life.spinUntilMs = nowMs() + maint_.spinUpMs;
        life.spin = kSpunUp;
    } else {
        life.spin = kSpunDown;
        life.spinUntilMs = 0;
    }
    return Outcome::good();
}

// b3 enclosure, b4 slot. Only spares and unused drives.
Outcome FirmwareModel::selfTestDrive(const VendorWrite& w) {
    if (w.b5) return badCdb();
    const int i = driveAt(w.b3, w.b4);
    if (i < 0) return badCdb();
    const Drive& d = drives_[static_cast<size_t>(i)];
    if (d.failed || inHealthyArray(d)) return badCdb();
    auto& life = maint_.drives[static_cast<size_t>(i)];
    if (life.testUntilMs > nowMs()) return sequenceError();
    life.testUntilMs = nowMs() + maint_.selfTestMs;
    life.spin = kSpunUp;
    ++life.testsPassed;
    return Outcome::good();
}

// The members of an array spun (b3 direction, b4 array; inside a change) or
// self-tested (b3 array).
Outcome FirmwareModel::arrayDrives(const VendorWrite& w, bool spin) {
    const uint8_t array = spin ? w.b4 : w.b3;
    if ((spin && w.b3 > 1) || (spin ? w.b5 : (w.b4 || w.b5))) return badCdb();
    if (spin && !pending_) return sequenceError();
    const auto& img = *committed_;
    if (array >= img.header.totalArrays.get()) return badCdb();
    const auto& rank = img.rank[array];
    for (unsigned m = 0; m < std::min<unsigned>(rank.numDrives, wire::kMaxRankDrives); ++m) {
        const int i = driveIndexByWwn(rank.driveWwn[m].get());
        if (i < 0 || drives_[static_cast<size_t>(i)].failed) continue;
        auto& life = maint_.drives[static_cast<size_t>(i)];
        if (!spin) {
            life.testUntilMs = nowMs() + maint_.selfTestMs;
            ++life.testsPassed;
        } else if (w.b3 == 1) {
            if (life.spin == kSpunDown) life.spinUntilMs = nowMs() + maint_.spinUpMs;
            life.spin = kSpunUp;
        } else {
            life.spin = kSpunDown;
        }
    }
    return Outcome::good();
}

Outcome FirmwareModel::apmConfig(wire::CONFIG_STORAGE_STRUCT& img, uint8_t b3, uint8_t b4,
                                 std::span<const uint8_t> payload) {
    if (b3 == 0) {
        if (b4 || payload.size() != sizeof(wire::APM1_CONFIG_STRUCT)) return Outcome::parameterListLengthError();
        auto apm = recordFrom<wire::APM1_CONFIG_STRUCT>(payload);
        if (apm.flags.get() & ~0x1Fu || apm.testCycle > 3 || apm.testDate > 28 || apm.testDay > 7 ||
            apm.testHour > 23 || apm.testMinute > 59)
            return badParameter();
        maint_.pendingApm1 = apm;
        return Outcome::good();
    }
    if (b3 != 1) return badCdb();
    if (payload.size() != sizeof(wire::APM2_CONFIG_STRUCT)) return Outcome::parameterListLengthError();
    if (b4 >= img.header.totalArrays.get()) return badCdb();
    auto apm = recordFrom<wire::APM2_CONFIG_STRUCT>(payload);
    if (apm.flags.get() & ~0x07u || apm.testDays > 28 || apm.testHours > 23 || apm.idleHours > 23 ||
        apm.idleMinutes > 59)
        return badParameter();
    auto& rank = img.rank[b4];
    rank.apmFlags = apm.flags;
    rank.apmTestDays = apm.testDays;
    rank.apmTestHours = apm.testHours;
    rank.apmIdleHours = apm.idleHours;
    rank.apmIdleMinutes = apm.idleMinutes;
    return Outcome::good();
}

// ---------------------------------------------------------------------------
// Reads

const std::vector<FirmwareModel::ReadEntry>& FirmwareModel::maintenanceReads() {
    namespace b = wire::buf;
    using R = const VendorRead&;
    using Reply = std::vector<uint8_t>&;
    static const std::vector<ReadEntry> table = {
        {b::ReadDriveAPMConfigInfo, false, [](FirmwareModel& m, R r, Reply out) {
             if (r.mode != wire::kModeVendor || r.b3 || r.b4 || r.b5) return badCdb();
             out = recordBytes(m.maint_.apm1);
             return Outcome::good();
         }},
        {b::GetDriveAPMStatus, true, [](FirmwareModel& m, R r, Reply out) {
             if (r.mode != wire::kModeData) return badCdb();
             out = m.apmStatusReply();
             return Outcome::good();
         }},
        {b::APMTestCycleStatus, false, [](FirmwareModel& m, R r, Reply out) { return m.apmCycleReply(r, out); }},
    };
    return table;
}

std::vector<uint8_t> FirmwareModel::apmStatusReply() const {
    const auto& img = *committed_;
    wire::ALL_DRIVE_APM_STATUS_STRUCT out{};
    out.length.set(sizeof out);
    const size_t n = std::min(drives_.size(), wire::kMaxDrives);
    out.numEntries = static_cast<uint8_t>(n);
    for (size_t i = 0; i < n; ++i) {
        const Drive& d = drives_[i];
        auto& e = out.entry[i];
        e.enclosureNo = d.enclosure;
        e.slotNo = d.slot;
        e.driveGroup = driveGroup(img, d.wwn);
        if (rebuild_.active && rebuild_.driveWwn == d.wwn) e.driveGroup = 243;
        e.apmState = apmState(i);
        e.wwn.set(d.wwn);
    }
    return recordBytes(out);
}

Outcome FirmwareModel::apmCycleReply(const VendorRead& r, std::vector<uint8_t>& reply) const {
    const uint8_t b3 = r.b3, b4 = r.b4;
    if (r.mode != wire::kModeVendor || r.b5 || b3 > 1 || (b3 == 0 && b4)) return badCdb();
    const auto& img = *committed_;
    reply.assign(16, 0);
    reply[0] = 16;
    if (b3 == 1) {
        if (b4 >= img.header.totalArrays.get()) return badCdb();
        const auto& rank = img.rank[b4];
        reply[3] = static_cast<uint8_t>(rank.apmIdleHours / 24);
        reply[4] = static_cast<uint8_t>(rank.apmIdleHours % 24);
        reply[5] = rank.apmTestDays;
        reply[6] = rank.apmTestHours;
        return Outcome::good();
    }
    // Drives: the time from the controller clock to the next test of the level 1 cycle.
    const auto& apm = maint_.apm1;
    if (apm.testCycle == 0 || !(apm.flags.get() & (wire::kApm1TestSpares | wire::kApm1TestUnused)))
        return Outcome::good();
    const time_t now = static_cast<time_t>(controllerClock(controllerForPath(r.cmd.pathIndex)));
    struct tm tm{};
    if (!gmtime_r(&now, &tm)) return Outcome::good();
    int64_t best = -1;
    for (int ahead = 0; ahead <= 62 && best < 0; ++ahead) {
        struct tm day = tm;
        day.tm_mday += ahead;
        day.tm_hour = apm.testHour;
        day.tm_min = apm.testMinute;
        day.tm_sec = 0;
        const time_t at = timegm(&day);
        struct tm check{};
        gmtime_r(&at, &check);
        const bool fits = apm.testCycle == 1 || (apm.testCycle == 2 && check.tm_wday + 1 == apm.testDay) ||
                          (apm.testCycle == 3 && check.tm_mday == apm.testDate);
        if (fits && at > now) best = static_cast<int64_t>(at - now);
    }
    if (best > 0) {
        const int64_t minutes = (best + 59) / 60;
        reply[5] = static_cast<uint8_t>(std::min<int64_t>(minutes / 1440, 255));
        reply[6] = static_cast<uint8_t>(minutes / 60 % 24);
        reply[7] = static_cast<uint8_t>(minutes % 60);
    }
    return Outcome::good();
}

// ---------------------------------------------------------------------------
// Saved state: the maintenance life survives a restart of the emulator. Times
// are kept as what is left of them (the simulated clock starts again at 0); a
// firmware image still being received is not kept.

namespace {

// Milliseconds left of `untilMs`, or 0.
uint64_t msLeft(uint64_t untilMs, uint64_t nowMs) { return untilMs > nowMs ? untilMs - nowMs : 0; }

}  // namespace

json FirmwareModel::saveMaintenance() const {
    json cs = json::array();
    for (unsigned c = 0; c < 2; ++c) {
        const auto& life = maint_.controller[c];
        json o = {{"resets", life.resets}, {"shutdowns", life.shutdowns}, {"driftPpm", life.driftPpm},
                  {"statisticsClears", life.statisticsClears}, {"lastClearedPort", life.lastClearedPort},
                  {"lastClearedLun", life.lastClearedLun}};
        if (life.down)
            o["down"] = {{"reason", life.downReason}, {"msLeft", msLeft(life.offlineUntilMs, nowMs())}};
        if (life.pendingFirmware)
            o["pendingFirmware"] = {{"major", life.pendingFirmware->major}, {"minor", life.pendingFirmware->minor},
                                    {"build", life.pendingFirmware->build}, {"date", life.pendingFirmware->date}};
        cs.push_back(o);
    }
    json ds = json::array();
    for (const auto& [i, life] : maint_.drives)
        ds.push_back({{"drive", i}, {"loop", life.loop}, {"lightMsLeft", msLeft(life.lightUntilMs, nowMs())},
                      {"spunUp", life.spin == kSpunUp}, {"spinUpMsLeft", msLeft(life.spinUntilMs, nowMs())},
                      {"selfTestMsLeft", msLeft(life.testUntilMs, nowMs())}, {"selfTests", life.testsPassed}});
    const auto& a = maint_.apm1;
    return {{"resetMs", maint_.resetDownMs}, {"shutdownMs", maint_.shutdownDownMs}, {"spinUpMs", maint_.spinUpMs},
            {"selfTestMs", maint_.selfTestMs}, {"controllers", cs}, {"drives", ds},
            {"apm1", {{"flags", a.flags.get()}, {"cycle", a.testCycle}, {"date", a.testDate}, {"day", a.testDay},
                      {"hour", a.testHour}, {"minute", a.testMinute}}},
            {"images", {{"controller", maint_.lastImage[0]}, {"driveIo", maint_.lastImage[1]},
                        {"driveIoStored", maint_.driveIoImages}}}};
}

void FirmwareModel::loadMaintenance(const ScenarioObject& system) {
    maint_ = MaintenanceState{};
    auto m = system.object("maintenance");
    if (!m) return;
    const int64_t day = 86'400'000;
    auto ms = [&](const char* key, int64_t hi, uint64_t dflt) {
        return static_cast<uint64_t>(m->integer(key, 0, hi, static_cast<int64_t>(dflt)));
    };
    maint_.resetDownMs = ms("resetMs", day, maint_.resetDownMs);
    maint_.shutdownDownMs = ms("shutdownMs", 365 * day, maint_.shutdownDownMs);
    maint_.spinUpMs = ms("spinUpMs", day / 24, maint_.spinUpMs);
    maint_.selfTestMs = ms("selfTestMs", day, maint_.selfTestMs);
    std::vector<ScenarioObject> cs = m->objects("controllers", 2);
    for (size_t c = 0; c < cs.size(); ++c) {
        const ScenarioObject& o = cs[c];
        auto& life = maint_.controller[c];
        life.resets = static_cast<unsigned>(o.integer("resets", 0, UINT32_MAX, 0));
        life.shutdowns = static_cast<unsigned>(o.integer("shutdowns", 0, UINT32_MAX, 0));
        life.driftPpm = o.integer("driftPpm", -1'000'000, 1'000'000, 0);
        life.statisticsClears = static_cast<unsigned>(o.integer("statisticsClears", 0, UINT32_MAX, 0));
        life.lastClearedPort = static_cast<int>(o.integer("lastClearedPort", -1, 2, -1));
        life.lastClearedLun = static_cast<int>(o.integer("lastClearedLun", -1, 0xFFFF, -1));
        if (auto d = o.object("down")) {
            static const std::vector<std::string> reasons = {"reset", "shutdown"};
            life.down = true;
            life.downReason = reasons[d->choice("reason", reasons, 0)];
            life.offlineUntilMs = static_cast<uint64_t>(d->integer("msLeft", 0, 365 * day, 0));
        }
        if (auto f = o.object("pendingFirmware")) {
            FirmwareVersion v;
            v.major = static_cast<uint8_t>(f->integer("major", 0, 255));
            v.minor = static_cast<uint8_t>(f->integer("minor", 0, 255));
            v.build = f->text("build", std::nullopt, 4);
            v.date = f->text("date", std::string(), 16);
            life.pendingFirmware = v;
        }
    }
    for (const ScenarioObject& o : m->objects("drives", wire::kMaxDrives)) {
        const auto i = static_cast<size_t>(o.integer("drive", 0, static_cast<int64_t>(drives_.size()) - 1));
        if (maint_.drives.count(i)) o.fail("drive", "given twice");
        DriveLife& life = maint_.drives[i];
        life.loop = static_cast<uint8_t>(o.integer("loop", 0, 2, 0));
        life.lightUntilMs = static_cast<uint64_t>(o.integer("lightMsLeft", 0, 120'000, 0));
        life.spin = o.flag("spunUp", true) ? kSpunUp : kSpunDown;
        life.spinUntilMs = static_cast<uint64_t>(o.integer("spinUpMsLeft", 0, day / 24, 0));
        life.testUntilMs = static_cast<uint64_t>(o.integer("selfTestMsLeft", 0, day, 0));
        life.testsPassed = static_cast<unsigned>(o.integer("selfTests", 0, UINT32_MAX, 0));
    }
    if (auto a = m->object("apm1")) {
        auto& apm = maint_.apm1;
        apm.flags.set(static_cast<uint16_t>(a->integer("flags", 0, 0x1F, 0)));
        apm.testCycle = static_cast<uint8_t>(a->integer("cycle", 0, 3, 0));
        apm.testDate = static_cast<uint8_t>(a->integer("date", 0, 28, 0));
        apm.testDay = static_cast<uint8_t>(a->integer("day", 0, 7, 0));
        apm.testHour = static_cast<uint8_t>(a->integer("hour", 0, 23, 0));
        apm.testMinute = static_cast<uint8_t>(a->integer("minute", 0, 59, 0));
    }
    if (auto im = m->object("images")) {
        maint_.lastImage[0] = im->text("controller", std::string());
        maint_.lastImage[1] = im->text("driveIo", std::string());
        maint_.driveIoImages = static_cast<unsigned>(im->integer("driveIoStored", 0, UINT32_MAX, 0));
    }
}

// ---------------------------------------------------------------------------
// Control

const std::vector<FirmwareModel::ControlVerb>& FirmwareModel::maintenanceVerbs() {
    using A = const ScenarioObject&;
    static const std::vector<ControlVerb> table = {
        {"controller-life", {"resetSeconds", "shutdownSeconds", "spinUpSeconds", "selfTestSeconds"},
         [](FirmwareModel& m, A a) -> json {
             auto ms = [&](const char* key, int64_t hi, uint64_t now) {
                 return a.has(key) ? static_cast<uint64_t>(a.integer(key, 0, hi)) * 1000 : now;
             };
             m.maint_.resetDownMs = ms("resetSeconds", 86400, m.maint_.resetDownMs);
             m.maint_.shutdownDownMs = ms("shutdownSeconds", 86400 * 365, m.maint_.shutdownDownMs);
             m.maint_.spinUpMs = ms("spinUpSeconds", 3600, m.maint_.spinUpMs);
             m.maint_.selfTestMs = ms("selfTestSeconds", 86400, m.maint_.selfTestMs);
             return {{"resetSeconds", m.maint_.resetDownMs / 1000}, {"shutdownSeconds", m.maint_.shutdownDownMs / 1000},
                     {"spinUpSeconds", m.maint_.spinUpMs / 1000}, {"selfTestSeconds", m.maint_.selfTestMs / 1000}};
         }},
        {"power-on", {"controller"}, [](FirmwareModel& m, A a) -> json {
             auto& life = m.maint_.controller[static_cast<unsigned>(a.integer("controller", 0, 1, 0))];
             if (life.down) life.offlineUntilMs = m.nowMs();
             m.advanceMaintenance();
             return {{"ok", true}};
         }},
        {"clock-drift", {"controller", "ppm"}, [](FirmwareModel& m, A a) -> json {
             const auto c = static_cast<unsigned>(a.integer("controller", 0, 1, 0));
             const int64_t ppm = a.integer("ppm", -1'000'000, 1'000'000);
             // Keep the clock where it is now and let it drift from here.
             m.controllers_[c].clockOffset = m.controllerClock(c) - m.clock_.wallSeconds();
             m.clockSet(c);
             m.maint_.controller[c].driftPpm = ppm;
             return {{"ok", true}};
         }},
        {"maintenance", {}, [](FirmwareModel& m, A) { return m.describeMaintenance(); }},
    };
    return table;
}

json FirmwareModel::describeMaintenance() const {
    json out;
    json cs = json::array();
    for (unsigned c = 0; c < 2; ++c) {
        const auto& life = maint_.controller[c];
        json p = life.pendingFirmware ? json{{"major", life.pendingFirmware->major},
                                             {"minor", life.pendingFirmware->minor},
                                             {"build", life.pendingFirmware->build}}
                                      : json(nullptr);
        cs.push_back({{"present", controllers_[c].present},
                      {"up", controllers_[c].present && controllerUp(c)},
                      {"downFor", life.down ? json(life.downReason) : json(nullptr)},
                      {"secondsToReturn", life.down ? (life.offlineUntilMs - nowMs() + 999) / 1000 : 0},
                      {"resets", life.resets},
                      {"shutdowns", life.shutdowns},
                      {"clock", controllerClock(c)},
                      {"driftPpm", life.driftPpm},
                      {"firmware", std::to_string(controllers_[c].fwMajor) + "." +
                                       std::to_string(controllers_[c].fwMinor) + " " + controllers_[c].fwBuild},
                      {"pendingFirmware", p},
                      {"statisticsClears", life.statisticsClears},
                      {"lastClearedPort", life.lastClearedPort},
                      {"lastClearedLun", life.lastClearedLun}});
    }
    out["controllers"] = cs;
    out["images"] = {{"controller", maint_.lastImage[0]}, {"driveIo", maint_.lastImage[1]},
                     {"driveIoStored", maint_.driveIoImages}};
    json ds = json::array();
    static const char* const kStates[] = {"", "spun down", "spun up", "spinning up", "under test"};
    for (const auto& [i, life] : maint_.drives) {
        if (i >= drives_.size()) continue;
        ds.push_back({{"wwn", wwnHex(drives_[i].wwn)},
                      {"enclosure", drives_[i].enclosure},
                      {"slot", drives_[i].slot},
                      {"light", life.lightUntilMs > nowMs() ? json((life.lightUntilMs - nowMs() + 999) / 1000)
                                                            : json(nullptr)},
                      {"state", kStates[apmState(i)]},
                      {"selfTests", life.testsPassed}});
    }
    out["drives"] = ds;
    static const char* const kAlarms[] = {"enabled", "muted", "disabled"};
    out["alarm"] = {{"state", kAlarms[maint_.alarm]}, {"commands", maint_.alarmCommands}};
    const auto& a = maint_.apm1;
    out["apm1"] = {{"flags", a.flags.get()}, {"cycle", a.testCycle}, {"date", a.testDate},
                   {"day", a.testDay}, {"hour", a.testHour}, {"minute", a.testMinute}};
    return out;
}

}  // namespace sim::model
