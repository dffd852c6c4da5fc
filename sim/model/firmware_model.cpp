// Dispatch of the vendor commands, the replies the controllers build from the
// configuration image, the background jobs and the control verbs.
#include "model/firmware_model.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include "model/model_util.h"
#include "wire/vendor.h"
#include "wire/vendor_ops.h"

namespace sim::model {

using nlohmann::json;

FirmwareModel::FirmwareModel(const json& system, const sim::SimClock& clock) : clock_(clock) {
    loadScenario(system);
    std::string why;
    if (!imageConsistent(*committed_, &why)) throw std::invalid_argument("inconsistent configuration: " + why);
}

uint64_t FirmwareModel::nowMs() const { return clock_.nowMs(); }

unsigned FirmwareModel::controllerForPath(unsigned pathIndex) const {
    if (!controllers_[0].present) return 1;
    if (!controllers_[1].present) return 0;
    return pathIndex % 2;
}

uint16_t FirmwareModel::featureFlags() const { return features_; }
bool FirmwareModel::asyncHandshake() const { return (features_ & wire::kFeatureAsyncConfig) != 0; }

// ---------------------------------------------------------------------------
// Dispatch

std::optional<Outcome> FirmwareModel::execute(const CommandContext& cmd, std::vector<uint8_t>& dataIn) {
    dataIn.clear();
    if (cmd.cdb.empty()) return std::nullopt;
    const uint8_t op = cmd.cdb[0];
    if (op != wire::kOpWriteBuffer && op != wire::kOpReadBuffer && op != wire::kOpReceiveDiagnostic)
        return std::nullopt;
    advanceJobs();
    advanceMaintenance();
    advanceCopies();
    expireStaleChange();
    if (auto ses = ses_.execute(cmd, dataIn, drives_, productType_, nowMs())) return ses;
    if (op == wire::kOpReceiveDiagnostic) return Outcome::invalidOpcode();
    if (cmd.cdb.size() != wire::kVendorCdbLength) return Outcome::invalidFieldInCdb();
    if (op == wire::kOpReadBuffer) return readBuffer(cmd, dataIn);
    return writeBuffer(cmd);
}

// The reads: one entry per buffer ID. `chunked` replies are read in pieces
// (offset and length in the CDB select the piece).
const std::vector<FirmwareModel::ReadEntry>& FirmwareModel::statusReads() {
    namespace b = wire::buf;
    using R = const VendorRead&;
    using Reply = std::vector<uint8_t>&;
    auto eventLog = [](FirmwareModel& m, R r, Reply out) {
        if (r.mode != wire::kModeData) return Outcome::invalidFieldInCdb();
        auto log = m.eventLogReply(r.cmd.cdb[2], r.offset);
        if (!log) return Outcome::check(0x02, 0x04, 0x03);   // that controller is not there
        out = std::move(*log);
        return Outcome::good();
    };
    static const std::vector<ReadEntry> table = {
        {b::ReadCurrentConfig, true, [](FirmwareModel& m, R r, Reply out) {
             if (r.mode != wire::kModeData) return Outcome::invalidFieldInCdb();
             out = recordBytes(*m.committed_);
             return Outcome::good();
         }},
        {b::ReadConfigHeader, false, [](FirmwareModel& m, R r, Reply out) {
             if ((r.mode != wire::kModeVendor || r.b3 || r.b4 || r.b5)) return Outcome::invalidFieldInCdb();
             out = recordBytes(m.committed_->header);
             return Outcome::good();
         }},
        {b::ReadDriveRankInfo, false, [](FirmwareModel& m, R r, Reply out) {
             if (r.mode != wire::kModeVendor || r.b3 || r.b5 || r.b4 >= m.committed_->header.totalArrays.get())
                 return Outcome::invalidFieldInCdb();
             out = recordBytes(m.committed_->rank[r.b4]);
             return Outcome::good();
         }},
        {b::ReadRegionMap, false, [](FirmwareModel& m, R r, Reply out) {
             if (r.mode != wire::kModeVendor || r.b3 || r.b4 != wire::kFlagYes || r.b5) return Outcome::invalidFieldInCdb();
             auto map = std::make_unique<wire::ADDRESS_REGION_MAP_STRUCT>();
             m.buildRegionMap(*m.committed_, *map);
             out = recordBytes(*map);
             return Outcome::good();
         }},
        {b::GetControllerInfo, true, [](FirmwareModel& m, R r, Reply out) {
             if (r.mode != wire::kModeData) return Outcome::invalidFieldInCdb();
             wire::ALL_CONTROLLER_INFO_AND_FAIL_STRUCT info{};
             m.buildControllerInfo(r.cmd.pathIndex, info);
             out = recordBytes(info);
             return Outcome::good();
         }},
        {b::GetAllDriveInfo, true, [](FirmwareModel& m, R r, Reply out) {
             if (r.mode != wire::kModeData) return Outcome::invalidFieldInCdb();
             auto info = std::make_unique<wire::ALL_DRIVE_INFO_STRUCT>();
             m.buildDriveInfo(*info);
             out = recordBytes(*info);
             return Outcome::good();
         }},
        {b::GetAllHostInfo, true, [](FirmwareModel& m, R r, Reply out) {
             if (r.mode != wire::kModeData) return Outcome::invalidFieldInCdb();
             auto info = std::make_unique<wire::ALL_HOST_INFO_STRUCT>();
             m.buildHostInfo(*info);
             out = recordBytes(*info);
             return Outcome::good();
         }},
        {b::EventLogA, true, eventLog},
        {b::EventLogB, true, eventLog},
        {b::EventLogLatestA, true, eventLog},
        {b::EventLogLatestB, true, eventLog},
        {b::DiagnosticsDump, true, [](FirmwareModel& m, R r, Reply out) {
             if (r.mode != wire::kModeData) return Outcome::invalidFieldInCdb();
             if (!m.diagDumpReady_) return sequenceError();
             out = m.diagDump_;
             return Outcome::good();
         }},
        {b::GetAllInitInfo, false, [](FirmwareModel& m, R r, Reply out) {
             if ((r.mode != wire::kModeVendor || r.b3 || r.b4 || r.b5)) return Outcome::invalidFieldInCdb();
             wire::ALL_INITIALISATION_INFO_STRUCT info{};
             m.buildInitInfo(info);
             out = recordBytes(info);
             return Outcome::good();
         }},
        {b::ReadConfigUpdateInProgress, false, [](FirmwareModel& m, R r, Reply out) {
             if (r.mode != wire::kModeVendor || r.b3 != 1 || r.b4 || r.b5) return Outcome::invalidFieldInCdb();
             wire::CONFIG_UPDATE_STRUCT u{};
             m.buildConfigUpdate(r.cmd.pathIndex, u);
             out = recordBytes(u);
             return Outcome::good();
         }},
    };
    return table;
}

const FirmwareModel::ReadEntry* FirmwareModel::findRead(uint8_t id) {
    for (const auto* table : {&statusReads(), &snapshotReads(), &maintenanceReads()})
        for (const ReadEntry& e : *table)
            if (e.bufferId == id) return &e;
    return nullptr;
}

std::optional<Outcome> FirmwareModel::readBuffer(const CommandContext& cmd, std::vector<uint8_t>& dataIn) {
    const auto& c = cmd.cdb;
    const uint8_t id = c[2];
    const uint32_t offset = wire::loadBe24(&c[3]);
    const uint32_t length = wire::loadBe24(&c[6]);
    if (c[9] != 0) return Outcome::invalidFieldInCdb();
    const ReadEntry* entry = findRead(id);
    if (!entry) return Outcome::invalidFieldInCdb();

    // The image is large and read in many chunks: copy only the piece asked
    // for, unless a corruption of this reply is pending.
    if (id == wire::buf::ReadCurrentConfig && c[1] == wire::kModeData) {
        const bool corrupt =
            offset == 0 ? std::any_of(corruptions_.begin(), corruptions_.end(),
                                      [&](const Corruption& k) { return k.bufferId == id && k.count > 0; })
                        : !activeCorruptions_[id].empty();
        if (!corrupt) {
            if (offset == 0) activeCorruptions_[id].clear();
            auto image = bytesOf(*committed_);
            if (offset > image.size()) return Outcome::invalidFieldInCdb();
            auto piece = image.subspan(offset, std::min<size_t>(length, image.size() - offset));
            dataIn.assign(piece.begin(), piece.end());
            return Outcome::good();
        }
    }

    std::vector<uint8_t> reply;
    Outcome built = entry->build(*this, VendorRead{cmd, c[1], c[3], c[4], c[5], offset}, reply);
    if (built.kind != Outcome::Kind::Good) return built;
    const bool chunked = entry->chunked;
    applyCorruptions(id, chunked, offset, reply);
    if (chunked) {
        if (offset > reply.size()) return Outcome::invalidFieldInCdb();
        size_t n = std::min<size_t>(length, reply.size() - offset);
        dataIn.assign(reply.begin() + offset, reply.begin() + static_cast<std::ptrdiff_t>(offset + n));
    } else {
        dataIn = std::move(reply);
    }
    return Outcome::good();
}

// Injected corruptions (bad-input tests of the tool). A read in pieces takes
// its corruptions at the piece at offset 0 and keeps them for its other
// pieces, so a count is a count of whole reads.
void FirmwareModel::applyCorruptions(uint8_t id, bool chunked, uint32_t offset, std::vector<uint8_t>& reply) {
    std::vector<Corruption> apply;
    if (!chunked || offset == 0) {
        for (auto& k : corruptions_) {
            if (k.bufferId != id || k.count == 0) continue;
            --k.count;
            apply.push_back(k);
        }
        if (chunked) activeCorruptions_[id] = apply;
    } else {
        apply = activeCorruptions_[id];
    }
    for (const auto& k : apply) {
        if (k.kind == "length" && reply.size() >= 4) {
            for (int i = 0; i < 4; ++i) reply[i] = static_cast<uint8_t>(k.value >> (8 * i));
        } else if (k.kind == "byte") {
            uint32_t off = k.value >> 8;
            if (off < reply.size()) reply[off] = static_cast<uint8_t>(k.value);
        } else if (k.kind == "truncate") {
            if (k.value < reply.size()) reply.resize(k.value);
        } else if (k.kind == "garbage") {
            uint32_t x = 0x9E3779B9u ^ k.value;
            for (auto& byte : reply) {
                x ^= x << 13; x ^= x >> 17; x ^= x << 5;
                byte = static_cast<uint8_t>(x);
            }
        }
    }
}

// The writes of mode 1 (vendor) that are not configuration changes.
const std::vector<FirmwareModel::WriteEntry>& FirmwareModel::controllerWrites() {
    namespace b = wire::buf;
    using W = const VendorWrite&;
    static const std::vector<WriteEntry> table = {
        {b::SetTime, sizeof(wire::CLOCK_STRUCT), 0, [](FirmwareModel& m, W w) {
             if (w.b4 || w.b5) return Outcome::invalidFieldInCdb();
             return m.setTime(w.b3, w.payload);
         }},
        {b::FailDrive, 0, 0, [](FirmwareModel& m, W w) {
             if (w.b3 != 1) return Outcome::invalidFieldInCdb();
             return m.failDrive(w.b4, w.b5);
         }},
        {b::ParityCheck, 0, 0, [](FirmwareModel& m, W w) { return m.parityCheck(w.b3, w.b4, w.b5); }},
        {b::CancelParityCheck, 0, kZeroCdb, [](FirmwareModel& m, W) {
             m.parity_.active = false;
             return Outcome::good();
         }},
        {b::ClearEventLogs, 0, 0, [](FirmwareModel& m, W w) { return m.clearEventLogs(w.cmd); }},
        {b::DiagnosticsDumpRequest, 0, kZeroCdb, [](FirmwareModel& m, W) {
             m.takeDiagnosticDump();
             return Outcome::good();
         }},
        // The enclosure alarm: muting silences it until it sounds again; a
        // disabled alarm stays disabled until enabled.
        {b::MuteAlarm, 0, kZeroCdb, [](FirmwareModel& m, W) { return m.setAlarm(kAlarmMuted, 0x8D); }},
        {b::EnableAlarm, 0, kZeroCdb, [](FirmwareModel& m, W) { return m.setAlarm(kAlarmEnabled, 0x8F); }},
        {b::DisableAlarm, 0, kZeroCdb, [](FirmwareModel& m, W) { return m.setAlarm(kAlarmDisabled, 0x8E); }},
    };
    return table;
}

const FirmwareModel::WriteEntry* FirmwareModel::findWrite(uint8_t id) {
    for (const auto* table : {&controllerWrites(), &configWrites(), &maintenanceWrites(), &snapshotWrites()})
        for (const WriteEntry& e : *table)
            if (e.bufferId == id) return &e;
    return nullptr;
}

std::optional<Outcome> FirmwareModel::writeBuffer(const CommandContext& cmd) {
    const auto& c = cmd.cdb;
    const uint8_t mode = c[1], id = c[2];
    const uint32_t length = wire::loadBe24(&c[6]);
    if (c[9] != 0) return Outcome::invalidFieldInCdb();
    if (mode == wire::kModeData) {
        if (id != wire::buf::RestoreConfig) return Outcome::invalidFieldInCdb();
        if (length != cmd.dataOut.size()) return Outcome::parameterListLengthError();
        return restoreImage(cmd);
    }
    if (mode == wire::kModeDownload || mode == wire::kModeDownloadOffsets) {
        if (length != cmd.dataOut.size()) return Outcome::parameterListLengthError();
        return download(cmd);
    }
    if (mode != wire::kModeVendor) return Outcome::invalidFieldInCdb();
    const WriteEntry* entry = findWrite(id);
    if (!entry) return Outcome::invalidFieldInCdb();
    if (length != cmd.dataOut.size()) return Outcome::parameterListLengthError();
    if (cmd.dataOut.size() < wire::kValidationHeaderSize) return Outcome::parameterListLengthError();
    if (!std::equal(wire::TOLVO_VALIDATION_HEADER.begin(), wire::TOLVO_VALIDATION_HEADER.end(), cmd.dataOut.begin()))
        return Outcome::invalidFieldInParameterList();
    auto payload = cmd.dataOut.subspan(wire::kValidationHeaderSize);
    const bool lunMapLong = id == wire::buf::AddLunMapping && payload.size() == sizeof(wire::CREATE_LUN_MAPPING_STRUCT_ver_I);
    if (entry->payloadSize != kAnyPayload && entry->payloadSize != payload.size() && !lunMapLong) return Outcome::parameterListLengthError();
    if (lunMapLong) payload = payload.first(sizeof(wire::CREATE_LUN_MAPPING_STRUCT));
    const uint8_t b3 = c[3], b4 = c[4], b5 = c[5];
    if ((entry->flags & kInChange) && !pending_) return sequenceError();
    if ((entry->flags & kZeroCdb) && (b3 || b4 || b5)) return Outcome::invalidFieldInCdb();
    Outcome o = entry->run(*this, VendorWrite{cmd, b3, b4, b5, static_cast<unsigned>((b3 << 8) | b4), payload});
    if ((entry->flags & kInChange) && o.kind == Outcome::Kind::Good) pendingDirty_ = true;
    return o;
}

Outcome FirmwareModel::setAlarm(uint8_t state, uint8_t eventId) {
    if (!(state == kAlarmMuted && maint_.alarm == kAlarmDisabled)) maint_.alarm = state;
    ++maint_.alarmCommands;
    logEvent(eventId);
    return Outcome::good();
}

void FirmwareModel::takeDiagnosticDump() {
    std::string text = "Tolvo diagnostic snapshot\n";
    text += "System WWN " + wwnHex(committed_->header.configWwn.get()) + "\n";
    text += "Uptime ms " + std::to_string(nowMs()) + "\n";
    text += "Arrays " + std::to_string(committed_->header.totalArrays.get()) + ", logical drives " +
            std::to_string(committed_->header.totalLogicalDrives.get()) + ", drives " +
            std::to_string(drives_.size()) + "\n";
    diagDump_.assign(4, 0);
    diagDump_.insert(diagDump_.end(), text.begin(), text.end());
    uint32_t n = static_cast<uint32_t>(diagDump_.size());
    for (int i = 0; i < 4; ++i) diagDump_[i] = static_cast<uint8_t>(n >> (8 * i));
    diagDumpReady_ = true;
}

void FirmwareModel::buildControllerInfo(unsigned pathIndex, wire::ALL_CONTROLLER_INFO_AND_FAIL_STRUCT& out) const {
    out = {};
    out.length.set(sizeof out);
    const unsigned local = controllerForPath(pathIndex);
    const unsigned nCtl = (controllers_[0].present ? 1 : 0) + (controllers_[1].present ? 1 : 0);
    out.receivedController = static_cast<uint8_t>(local + 1);
    out.receivedPort = static_cast<uint8_t>(1 + (pathIndex / std::max(1u, nCtl)) % 2);
    const uint64_t upSeconds = nowMs() / 1000;
    for (unsigned i = 0; i < 2; ++i) {
        const Controller& c = controllers_[i];
        const bool up = c.present && controllerUp(i);
        out.controllerValid[i] = up ? wire::kFlagYes : wire::kFlagNo;
        if (!up) continue;
        auto& r = out.controller[i];
        putPaddedNul(r.name, c.name);
        r.actualWwn.set(c.wwn);
        r.configWwn = committed_->header.configWwn;
        r.totalPowerOnCount.set(c.powerOnCount);
        r.powerOnTime.set(static_cast<uint32_t>(c.powerOnSeconds + (nowMs() - maint_.controller[i].bootMs) / 1000));
        r.totalPowerOnTime.set(static_cast<uint32_t>(c.totalPowerOnSeconds + upSeconds));
        r.clock = clockRecordAt(controllerClock(i));
        r.fwMinor = c.fwMinor;
        r.fwMajor = c.fwMajor;
        putText(r.fwBuild, c.fwBuild);
        putPaddedNul(r.fwCompileDate, c.fwCompileDate);
        putPaddedNul(r.fwCompileTime, c.fwCompileTime);
        r.hostLoop1Id = c.hostLoop1Id;
        r.hostLoop2Id = c.hostLoop2Id;
        r.airTemperature = c.airTemperature;
        r.mv12V.set(12050);
        r.mv5VIn.set(5020);
        r.mv5VFused.set(4990);
        r.mvCore3V3.set(3310);
        r.mvCore3V3Backup.set(3300);
        r.mvCore1V8.set(1800);
        r.mvCore1V8Memory.set(1790);
        r.mvBattery.set(c.batteryState == 0xF1 ? 8150 : 0);
        r.mvCore1V5.set(1500);
        r.mvCore1V35.set(1350);
        r.mvDriveInterfaceCore.set(1200);
        r.mvHostInterfaceCore.set(1000);
        r.expanderTemperature = c.expanderTemperature;
        r.processorTemperature = c.processorTemperature;
        r.batteryState = c.batteryState;
        r.controllerType = static_cast<uint8_t>(wire::kControllerTypeValid | (productType_ & wire::kProductTypeMask));
        r.cpldVersion = 3;
        r.processorMemory.set(1024);
        r.processorSpeed.set(800);
        r.coProcessorPresent = wire::kFlagYes;
        r.coProcessorVersion = 2;
        r.ethernetPortCount = 2;
        r.coProcessorMemory.set(256);
        r.coProcessorSpeed.set(400);
        r.ethernetParams0.set(0x0101);
        r.linkRate0.set(1000);
        r.ethernetParams1.set(0x0101);
        r.linkRate1.set(100);
        r.batteryCapacity = c.batteryCapacity;
        r.batteryHoldupHours = c.batteryHoldupHours;
        r.hostInterfaceType = c.hostInterface[0];
        r.portInterfaceType[0] = c.hostInterface[0];
        r.portInterfaceType[1] = c.hostInterface[1];
        r.featureFlags.set(features_);
    }

    auto rankIndexOf = [&](uint8_t rankId) -> int {
        for (unsigned r = 0; r < committed_->header.totalArrays.get(); ++r)
            if (committed_->rank[r].rankId == rankId) return static_cast<int>(r);
        return -1;
    };
    if (rebuild_.active) {
        int r = rankIndexOf(rebuild_.rank);
        if (r >= 0) {
            out.rebuild.inProgress = wire::kFlagYes;
            out.rebuild.array = static_cast<uint8_t>(r);
            out.rebuild.drive = rebuild_.drive;
            out.rebuild.percent = jobPercent(rebuild_);
            out.rebuild.driveWwn.set(rebuild_.driveWwn);
        }
    }
    for (unsigned r = 0; r < committed_->header.totalArrays.get() && out.initialisation.inProgress != wire::kFlagYes; ++r) {
        for (const auto& j : inits_) {
            if (j.active && j.rank == committed_->rank[r].rankId) {
                out.initialisation.inProgress = wire::kFlagYes;
                out.initialisation.array = static_cast<uint8_t>(r);
                out.initialisation.percent = jobPercent(j);
                break;
            }
        }
    }
    if (expansion_.active) {
        int r = rankIndexOf(expansion_.rank);
        if (r >= 0) {
            out.expansion.inProgress = wire::kFlagYes;
            out.expansion.array = static_cast<uint8_t>(r);
            out.expansion.percent = jobPercent(expansion_);
        }
    }
    if (parity_.active) {
        int r = rankIndexOf(parity_.rank);
        if (r >= 0) {
            out.parityCheck.inProgress = wire::kFlagYes;
            out.parityCheck.array = static_cast<uint8_t>(r);
            out.parityCheck.percent = jobPercent(parity_);
            out.parityCheck.mode = parity_.mode;
            out.parityCheck.errorCount.set(parity_.errorCount);
        }
    }
}

void FirmwareModel::buildDriveInfo(wire::ALL_DRIVE_INFO_STRUCT& out) const {
    out = {};
    out.length.set(sizeof out);
    const auto& img = *committed_;
    size_t n = std::min(drives_.size(), wire::kMaxDrives);
    out.numDrives = static_cast<uint8_t>(n);
    for (size_t i = 0; i < n; ++i) {
        const Drive& d = drives_[i];
        auto& r = out.drive[i];
        r.loopId1 = d.loopId1;
        r.loopId2 = d.loopId2;
        r.hardIdFromAdisc = static_cast<uint8_t>(i);
        r.enclosureNo = d.enclosure;
        r.slotNo = d.slot;
        ses_.driveTargets(d.enclosure, r.ses0IdLoop1, r.ses1IdLoop2);
        r.ses0IdLoop2 = r.ses0IdLoop1;
        r.ses1IdLoop1 = r.ses1IdLoop2;
        unsigned member = 0xFF;
        r.rankNo = driveGroup(img, d.wwn, &member);
        r.driveNo = static_cast<uint8_t>(member);
        r.driveStatus = d.failed ? wire::kDriveStatusFailed : 1;
        r.abNodeName.set(d.wwn);
        r.capacity.set(d.capacityBlocks);
        r.maxRaid5XorWriteSize.set(256);
        r.blockSize.set(d.blockSize);
        r.sesEnabled = wire::kFlagYes;
        r.validFirmwareImage = wire::kFlagYes;
        r.sesSlotId = static_cast<uint8_t>(d.slot - 1);
        putText(r.vendorId, d.vendor);
        putText(r.productId, d.product);
        putText(r.productRevLevel, d.revision);
        putText(r.serialNumber, d.serial);
    }
}

void FirmwareModel::buildHostInfo(wire::ALL_HOST_INFO_STRUCT& out) const {
    out = {};
    out.length.set(sizeof out);
    size_t n = std::min(hostInitiators_.size(), wire::kMaxHosts);
    out.numHosts.set(static_cast<uint16_t>(n));
    for (size_t i = 0; i < n; ++i) {
        out.host[i].nodeWwn.set(hostInitiators_[i].node);
        out.host[i].portWwn.set(hostInitiators_[i].port);
    }
}

void FirmwareModel::buildInitInfo(wire::ALL_INITIALISATION_INFO_STRUCT& out) const {
    out = {};
    for (unsigned r = 0; r < committed_->header.totalArrays.get(); ++r) {
        out.rank[r].inProgress = wire::kFlagNo;
        for (const auto& j : inits_) {
            if (j.active && j.rank == committed_->rank[r].rankId) {
                out.rank[r].inProgress = wire::kFlagYes;
                out.rank[r].percent = jobPercent(j);
            }
        }
    }
}

void FirmwareModel::buildRegionMap(const wire::CONFIG_STORAGE_STRUCT& img, wire::ADDRESS_REGION_MAP_STRUCT& out) const {
    out = {};
    out.length.set(sizeof out);
    struct Piece { uint64_t start, blocks; uint16_t lun, seg; };
    unsigned count = 0;
    uint32_t used = 0, unused = 0, tail = 0;
    int firstTail = -1;
    auto add = [&](unsigned rank, uint64_t start, uint64_t blocks, uint16_t lun, uint16_t seg) {
        uint32_t gb = static_cast<uint32_t>(blocks / kBlocksPerGb);
        if (lun == wire::kRegionFree) unused += gb; else used += gb;
        if (count >= wire::kMaxRegions) { ++count; return; }
        auto& r = out.region[count++];
        uint64_t end = start + blocks - 1;
        r.startLow.set(static_cast<uint32_t>(start));
        r.startHigh.set(static_cast<uint32_t>(start >> 32));
        r.endLow.set(static_cast<uint32_t>(end));
        r.endHigh.set(static_cast<uint32_t>(end >> 32));
        r.capacityLow.set(static_cast<uint32_t>(blocks));
        r.capacityHigh.set(static_cast<uint32_t>(blocks >> 32));
        r.capacityGb.set(static_cast<uint16_t>(std::min<uint32_t>(gb, 0xFFFF)));
        r.rankNo.set(static_cast<uint16_t>(rank));
        r.lunNo.set(lun);
        r.lunSegmentNo.set(lun == wire::kRegionFree ? 0xFFFF : seg);
    };
    const unsigned nRanks = std::min<unsigned>(img.header.totalArrays.get(), wire::kMaxRanks);
    const unsigned nLuns = std::min<unsigned>(img.header.totalLogicalDrives.get(), wire::kMaxHostLuns);
    for (unsigned rank = 0; rank < nRanks; ++rank) {
        std::vector<Piece> pieces;
        for (unsigned l = 0; l < nLuns; ++l) {
            const auto& lun = img.hostLun[l];
            for (unsigned s = 0; s < std::min<unsigned>(lun.segmentCount, wire::kMaxLunSegments); ++s) {
                if (lun.segment[s].rankIndex.get() != rank) continue;
                pieces.push_back({lun.segment[s].startBlock.get(), lun.segment[s].blockCount.get(),
                                  lun.lunNumber.get(), static_cast<uint16_t>(s)});
            }
        }
        std::sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) { return a.start < b.start; });
        const uint64_t capacity = uint64_t{img.rank[rank].capacityGb.get()} * kBlocksPerGb;
        uint64_t cursor = 0;
        for (const auto& p : pieces) {
            if (p.start > cursor) add(rank, cursor, p.start - cursor, wire::kRegionFree, 0);
            add(rank, p.start, p.blocks, p.lun, p.seg);
            cursor = std::max(cursor, p.start + p.blocks);
        }
        if (cursor < capacity) {
            if (firstTail < 0) firstTail = static_cast<int>(count);
            tail += static_cast<uint32_t>((capacity - cursor) / kBlocksPerGb);
            add(rank, cursor, capacity - cursor, wire::kRegionFree, 0);
        }
    }
    out.regionCount.set(std::min<unsigned>(count, wire::kMaxRegions));
    out.usedCapacityGb.set(used);
    out.unusedCapacityGb.set(unused);
    out.unusedUnsegmentedCapacityGb.set(tail);
    out.unusedUnsegmentedRegionNo.set(firstTail < 0 || firstTail >= static_cast<int>(wire::kMaxRegions)
                                          ? 0xFFFF
                                          : static_cast<uint16_t>(firstTail));
}

bool FirmwareModel::regionsFit(const wire::CONFIG_STORAGE_STRUCT& img) const {
    // Count the regions without the cap of the reply.
    unsigned count = 0;
    const unsigned nRanks = img.header.totalArrays.get();
    for (unsigned rank = 0; rank < nRanks; ++rank) {
        std::vector<std::pair<uint64_t, uint64_t>> pieces;
        for (unsigned l = 0; l < img.header.totalLogicalDrives.get(); ++l)
            for (unsigned s = 0; s < img.hostLun[l].segmentCount; ++s)
                if (img.hostLun[l].segment[s].rankIndex.get() == rank)
                    pieces.emplace_back(img.hostLun[l].segment[s].startBlock.get(), img.hostLun[l].segment[s].blockCount.get());
        std::sort(pieces.begin(), pieces.end());
        uint64_t cursor = 0;
        for (auto [start, blocks] : pieces) {
            if (start > cursor) ++count;
            ++count;
            cursor = start + blocks;
        }
        if (cursor < uint64_t{img.rank[rank].capacityGb.get()} * kBlocksPerGb) ++count;
    }
    return count <= wire::kMaxRegions;
}

// ---------------------------------------------------------------------------
// Jobs

uint8_t FirmwareModel::jobPercent(const Job& job) const {
    if (!job.active) return 0;
    uint64_t elapsed = nowMs() - std::min(nowMs(), job.startMs);
    if (job.durationMs == kPaused) return job.startPercent;
    if (job.durationMs == 0 || elapsed >= job.durationMs) return 99;
    uint64_t p = job.startPercent + elapsed * (100 - job.startPercent) / job.durationMs;
    return static_cast<uint8_t>(std::min<uint64_t>(p, 99));
}

template <typename F>
void FirmwareModel::forEachImage(F&& f) {
    f(*committed_);
    if (pending_) f(*pending_);
}

void FirmwareModel::advanceJobs() {
    const uint64_t now = nowMs();
    auto due = [&](const Job& j) { return j.active && now - std::min(now, j.startMs) >= j.durationMs; };
    for (auto& j : inits_)
        if (due(j)) finishInitialisation(j);
    inits_.erase(std::remove_if(inits_.begin(), inits_.end(), [](const Job& j) { return !j.active; }), inits_.end());
    if (due(rebuild_)) finishRebuild();
    if (due(expansion_)) finishExpansion();
    if (due(parity_)) parity_.active = false;
}

void FirmwareModel::finishInitialisation(Job& job) {
    job.active = false;
    logEvent(0x34, {job.rank});
    forEachImage([&](wire::CONFIG_STORAGE_STRUCT& img) {
        for (unsigned r = 0; r < img.header.totalArrays.get(); ++r) {
            auto& rank = img.rank[r];
            if (rank.rankId != job.rank) continue;
            rank.initialised = wire::kFlagYes;
            if (rank.faultStatus == wire::kRankNotInitialized)
                rank.faultStatus = rank.raidLevel == wire::kRaidLevel0 ? wire::kRankCritical : wire::kRankFaultTolerant;
        }
    });
}

void FirmwareModel::finishRebuild() {
    rebuild_.active = false;
    logEvent(0x31, {rebuild_.rank, rebuild_.drive});
    forEachImage([&](wire::CONFIG_STORAGE_STRUCT& img) {
        for (unsigned r = 0; r < img.header.totalArrays.get(); ++r) {
            auto& rank = img.rank[r];
            if (rank.rankId != rebuild_.rank || rank.faultStatus != wire::kRankCritical) continue;
            bool anyFailed = false;
            for (unsigned m = 0; m < rank.numDrives; ++m) {
                int d = driveIndexByWwn(rank.driveWwn[m].get());
                if (d < 0 || drives_[static_cast<size_t>(d)].failed) anyFailed = true;
            }
            if (!anyFailed) rank.faultStatus = wire::kRankFaultTolerant;
        }
    });
}

void FirmwareModel::finishExpansion() {
    expansion_.active = false;
    forEachImage([&](wire::CONFIG_STORAGE_STRUCT& img) {
        for (unsigned r = 0; r < img.header.totalArrays.get(); ++r) {
            auto& rank = img.rank[r];
            if (rank.rankId != expansion_.rank) continue;
            rank.capacityGb.set(std::max(rank.capacityGb.get(), rankCapacityGb(rank)));
            if (rank.faultStatus == wire::kRankExpanding)
                rank.faultStatus = rank.raidLevel == wire::kRaidLevel0 ? wire::kRankCritical : wire::kRankFaultTolerant;
        }
    });
    expansionNewDrives_.clear();
}

void FirmwareModel::expireStaleChange() {
    if (pending_ && nowMs() - std::min(nowMs(), pendingSinceMs_) > kChangeTimeoutMs) discardChange();
}

void FirmwareModel::discardChange() {
    if (pending_) replacedPaths_.insert(pendingPath_);
    pending_.reset();
    maint_.pendingApm1.reset();
    pendingDirty_ = false;
    pendingSaveRefused_ = false;
    pendingInitRanks_.clear();
    pendingTrustRanks_.clear();
    pendingDeletedRanks_.clear();
    pendingExpansion_.reset();
    pendingExpansionDrives_.clear();
    pendingPauses_.clear();
}

// ---------------------------------------------------------------------------
// Maintenance commands outside the configuration bracket

Outcome FirmwareModel::setTime(uint8_t selector, std::span<const uint8_t> payload) {
    if (selector != 1 && selector != 2) return Outcome::invalidFieldInCdb();
    Controller& c = controllers_[selector - 1];
    if (!c.present) return Outcome::invalidFieldInCdb();
    auto clk = recordFrom<wire::CLOCK_STRUCT>(payload);
    const unsigned year = clk.year.get();
    if (year < 1970 || year > 2105 || clk.month < 1 || clk.month > 12 || clk.day < 1 || clk.day > 31 ||
        clk.dayOfWeek < 1 || clk.dayOfWeek > 7 || clk.hour > 23 || clk.minute > 59 || clk.second > 59)
        return Outcome::invalidFieldInParameterList();
    struct tm tm{};
    tm.tm_year = static_cast<int>(year) - 1900;
    tm.tm_mon = clk.month - 1;
    tm.tm_mday = clk.day;
    tm.tm_hour = clk.hour;
    tm.tm_min = clk.minute;
    tm.tm_sec = clk.second;
    const time_t t = timegm(&tm);
    c.clockOffset = static_cast<int64_t>(t) - clock_.wallSeconds();
    clockSet(selector - 1u);
    return Outcome::good();
}

Outcome FirmwareModel::parityCheck(uint8_t start, uint8_t rankIndex, uint8_t mode) {
    if (start == wire::kFlagNo) {
        parity_.active = false;
        return Outcome::good();
    }
    if (start != wire::kFlagYes || mode < 1 || mode > 3) return Outcome::invalidFieldInCdb();
    if (rankIndex >= committed_->header.totalArrays.get()) return Outcome::invalidFieldInCdb();
    const auto& rank = committed_->rank[rankIndex];
    if (rank.raidLevel == wire::kRaidLevel0) return Outcome::invalidFieldInCdb();
    if (parity_.active) return sequenceError();
    parity_ = Job{};
    parity_.active = true;
    parity_.rank = rank.rankId;
    parity_.mode = mode;
    parity_.startMs = nowMs();
    parity_.durationMs = parityDurationMs_;
    return Outcome::good();
}

Outcome FirmwareModel::failDrive(uint8_t rankIndex, uint8_t member) {
    if (rankIndex >= committed_->header.totalArrays.get()) return Outcome::invalidFieldInCdb();
    const auto& rank = committed_->rank[rankIndex];
    if (member >= std::min<unsigned>(rank.numDrives, wire::kMaxRankDrives)) return Outcome::invalidFieldInCdb();
    const uint64_t failedWwn = rank.driveWwn[member].get();
    const int d = driveIndexByWwn(failedWwn);
    if (d < 0 || drives_[static_cast<size_t>(d)].failed) return Outcome::invalidFieldInCdb();
    drives_[static_cast<size_t>(d)].failed = true;
    const uint8_t rankId = rank.rankId;

    // A spare (dedicated first, then global) takes the failed member's place when
    // automatic rebuild is on; the committed image decides, a change in progress follows.
    int spare = -1;
    const auto& img = *committed_;
    if (img.header.autoRebuild == wire::kFlagYes && rank.raidLevel != wire::kRaidLevel0) {
        uint64_t need = drives_[static_cast<size_t>(d)].capacityBlocks;
        for (int pass = 0; pass < 2 && spare < 0; ++pass) {
            for (unsigned s = 0; s < img.header.totalSpares.get(); ++s) {
                const auto& hs = img.hotSpare[s];
                bool match = pass == 0 ? hs.rank == rankIndex : hs.rank == wire::kGlobalSpare;
                int sd = driveIndexByWwn(hs.driveWwn.get());
                if (match && sd >= 0 && !drives_[static_cast<size_t>(sd)].failed &&
                    drives_[static_cast<size_t>(sd)].capacityBlocks >= need) {
                    spare = static_cast<int>(s);
                    break;
                }
            }
        }
    }
    const uint64_t spareWwn = spare >= 0 ? img.hotSpare[spare].driveWwn.get() : 0;
    forEachImage([&](wire::CONFIG_STORAGE_STRUCT& im) {
        for (unsigned r = 0; r < im.header.totalArrays.get(); ++r) {
            auto& rk = im.rank[r];
            if (rk.rankId != rankId) continue;
            unsigned failedMembers = 0;
            for (unsigned m = 0; m < rk.numDrives; ++m) {
                int x = driveIndexByWwn(rk.driveWwn[m].get());
                if (x < 0 || drives_[static_cast<size_t>(x)].failed) ++failedMembers;
            }
            const unsigned tolerance = rk.raidLevel == wire::kRaidLevel6 ? 2
                                       : rk.raidLevel == wire::kRaidLevel0 ? 0 : 1;
            if (failedMembers > tolerance) {
                rk.faultStatus = wire::kRankInvalidated;
                continue;
            }
            rk.faultStatus = wire::kRankCritical;
            if (spareWwn != 0) {
                for (unsigned m = 0; m < rk.numDrives; ++m)
                    if (rk.driveWwn[m].get() == failedWwn) rk.driveWwn[m].set(spareWwn);
                unsigned n = im.header.totalSpares.get();
                for (unsigned s = 0; s < n; ++s) {
                    if (im.hotSpare[s].driveWwn.get() != spareWwn) continue;
                    for (unsigned k = s; k + 1 < n; ++k) im.hotSpare[k] = im.hotSpare[k + 1];
                    im.hotSpare[n - 1] = {};
                    im.header.totalSpares.set(static_cast<uint16_t>(n - 1));
                    break;
                }
            }
        }
    });
    if (spareWwn != 0) {
        rebuild_ = Job{};
        rebuild_.active = true;
        rebuild_.rank = rankId;
        rebuild_.drive = member;
        rebuild_.driveWwn = spareWwn;
        rebuild_.startMs = nowMs();
        rebuild_.durationMs = rebuildDurationMs_;
    }
    logDriveFailure(rankId, member, failedWwn, spareWwn);
    return Outcome::good();
}

// ---------------------------------------------------------------------------
// Control

json FirmwareModel::dumpConfig() const {
    const auto& img = *committed_;
    const auto& h = img.header;
    json out;
    out["wwn"] = wwnHex(h.configWwn.get());
    out["name"] = getText(h.name);
    out["changeOpen"] = pending_ != nullptr;
    out["controllerLun"] = h.controllerLun.get();
    json arrays = json::array();
    for (unsigned r = 0; r < h.totalArrays.get(); ++r) {
        const auto& k = img.rank[r];
        json members = json::array();
        for (unsigned m = 0; m < k.numDrives && m < wire::kMaxRankDrives; ++m) members.push_back(wwnHex(k.driveWwn[m].get()));
        arrays.push_back({{"id", k.rankId}, {"level", k.raidLevel}, {"drives", members},
                          {"chunkBlocks", k.chunkBlocks.get()}, {"capacityGb", k.capacityGb.get()},
                          {"parityGroups", k.parityGroups}, {"faultStatus", k.faultStatus},
                          {"initialised", k.initialised == wire::kFlagYes}, {"name", getText(k.name)}});
    }
    out["arrays"] = arrays;
    json lds = json::array();
    for (unsigned l = 0; l < h.totalLogicalDrives.get(); ++l) {
        const auto& d = img.hostLun[l];
        json segs = json::array();
        for (unsigned s = 0; s < d.segmentCount && s < wire::kMaxLunSegments; ++s)
            segs.push_back({{"rank", d.segment[s].rankIndex.get()}, {"startBlock", d.segment[s].startBlock.get()},
                            {"capacityGb", d.segment[s].capacityGb.get()}});
        lds.push_back({{"lun", d.lunNumber.get()}, {"name", getText(d.name)}, {"capacityGb", d.capacityGb.get()},
                       {"wlun", d.wlunReferenceNo.get()}, {"ports", d.portMask}, {"blockSize", d.hostBlockSize.get()},
                       {"segments", segs}});
    }
    out["logicalDrives"] = lds;
    json maps = json::array();
    for (unsigned m = 0; m < h.totalLunMappingEntries.get(); ++m) {
        const auto& map = img.lunMap[m];
        json luns = json::array();
        for (unsigned l = 0; l < wire::kLunsPerMap; ++l)
            if (map.awLunMap[l].get() != wire::kLunNotMapped) luns.push_back({{"lun", l}, {"entry", map.awLunMap[l].get()}});
        maps.push_back({{"node", wwnHex(map.abNodeName.get())}, {"port", wwnHex(map.abPortName.get())},
                        {"name", getText(map.abHostName)}, {"controllerLun", map.wControllerLun.get()}, {"luns", luns}});
    }
    out["mappings"] = maps;
    json spares = json::array();
    for (unsigned s = 0; s < h.totalSpares.get(); ++s)
        spares.push_back({{"drive", wwnHex(img.hotSpare[s].driveWwn.get())}, {"array", img.hotSpare[s].rank}});
    out["spares"] = spares;
    return out;
}

json FirmwareModel::dumpRegions() const {
    auto map = std::make_unique<wire::ADDRESS_REGION_MAP_STRUCT>();
    buildRegionMap(*committed_, *map);
    json out;
    out["regionCount"] = map->regionCount.get();
    out["usedGb"] = map->usedCapacityGb.get();
    out["unusedGb"] = map->unusedCapacityGb.get();
    out["unusedUnsegmentedGb"] = map->unusedUnsegmentedCapacityGb.get();
    out["unusedUnsegmentedRegion"] = map->unusedUnsegmentedRegionNo.get();
    json regions = json::array();
    for (unsigned r = 0; r < map->regionCount.get(); ++r) {
        const auto& x = map->region[r];
        regions.push_back({{"rank", x.rankNo.get()}, {"capacityGb", x.capacityGb.get()},
                           {"startBlock", (uint64_t{x.startHigh.get()} << 32) | x.startLow.get()},
                           {"lun", x.lunNo.get() == wire::kRegionFree ? json(nullptr) : json(x.lunNo.get())},
                           {"segment", x.lunSegmentNo.get()}});
    }
    out["regions"] = regions;
    return out;
}

const std::vector<FirmwareModel::ControlVerb>& FirmwareModel::controlVerbs() {
    using A = const ScenarioObject&;
    static const std::vector<ControlVerb> table = {
        {"refuse-config", {"reason", "count"}, [](FirmwareModel& m, A a) -> json {
             static const std::vector<std::string> reasons = {"start", "save", "unavailable", "expansion"};
             m.refuseReason_ = reasons[a.choice("reason", reasons, 0)];
             m.refuseCount_ = static_cast<unsigned>(a.integer("count", 0, 1000000, 1));
             return {{"ok", true}, {"count", m.refuseCount_}, {"reason", m.refuseReason_}};
         }},
        {"set-clock", {"controller", "epoch"}, [](FirmwareModel& m, A a) -> json {
             auto ctl = static_cast<size_t>(a.integer("controller", 0, 1, 0));
             int64_t epoch = a.integer("epoch", -(int64_t{1} << 40), int64_t{1} << 40);
             m.controllers_[ctl].clockOffset = epoch - m.clock_.wallSeconds();
             m.clockSet(static_cast<unsigned>(ctl));
             return {{"ok", true}};
         }},
        {"dump-config", {}, [](FirmwareModel& m, A) { return m.dumpConfig(); }},
        // The structural check of the committed image (and of an open change's).
        {"check-config", {}, [](FirmwareModel& m, A) -> json {
             json out = json::object();
             std::string why;
             out["consistent"] = m.imageConsistent(*m.committed_, &why);
             if (!why.empty()) out["why"] = why;
             out["changeOpen"] = m.pending_ != nullptr;
             if (m.pending_) {
                 std::string changeWhy;
                 out["changeConsistent"] = m.imageConsistent(*m.pending_, &changeWhy);
                 if (!changeWhy.empty()) out["changeWhy"] = changeWhy;
             }
             return out;
         }},
        {"dump-regions", {}, [](FirmwareModel& m, A) { return m.dumpRegions(); }},
        {"corrupt-reply", {"bufferId", "count", "kind", "offset", "value"}, [](FirmwareModel& m, A a) -> json {
             Corruption k;
             k.bufferId = static_cast<uint8_t>(a.integer("bufferId", 0, 255, 0x40));
             k.count = static_cast<unsigned>(a.integer("count", 0, 1000000, 1));
             static const std::vector<std::string> kinds = {"length", "byte", "truncate", "garbage"};
             k.kind = kinds[a.choice("kind", kinds, 0)];
             if (k.kind == "byte") {
                 auto off = a.integer("offset", 0, 0xFFFFFF, 0);
                 auto val = a.integer("value", 0, 255, 0);
                 k.value = static_cast<uint32_t>((off << 8) | val);
             } else {
                 k.value = static_cast<uint32_t>(a.integer("value", 0, 0xFFFFFFFF, 0));
             }
             m.corruptions_.erase(std::remove_if(m.corruptions_.begin(), m.corruptions_.end(),
                                                 [](const Corruption& c) { return c.count == 0; }),
                                  m.corruptions_.end());
             m.corruptions_.push_back(k);
             return {{"ok", true}};
         }},
        {"fail-drive", {"wwn"}, [](FirmwareModel& m, A a) -> json {
             uint64_t w = a.wwn("wwn");
             unsigned member = 0;
             if (const int r = rankOfDrive(*m.committed_, w, &member); r >= 0) {
                 Outcome o = m.failDrive(static_cast<uint8_t>(r), static_cast<uint8_t>(member));
                 if (o.kind != Outcome::Kind::Good) return {{"error", "drive cannot fail"}};
                 return {{"ok", true}};
             }
             int d = m.driveIndexByWwn(w);
             if (d < 0) return {{"error", "no such drive"}};
             m.drives_[static_cast<size_t>(d)].failed = true;
             return {{"ok", true}};
         }},
        {"downloads", {}, [](FirmwareModel& m, A) -> json {
             json out = json::object();
             const char* names[2] = {"controller", "driveIo"};
             for (int i = 0; i < 2; ++i)
                 out[names[i]] = {{"images", m.downloads_[i].images}, {"bytes", m.downloads_[i].received},
                                  {"pieces", m.downloads_[i].pieces}};
             return out;
         }},
        {"snapshots", {}, [](FirmwareModel& m, A) { return m.describeCopies(); }},
        {"jobs", {}, [](FirmwareModel& m, A) -> json {
             auto percent = [&](const Job& j) { return j.active ? json(m.jobPercent(j)) : json(nullptr); };
             return {{"rebuild", percent(m.rebuild_)},
                     {"expansion", percent(m.expansion_)},
                     {"parityCheck", percent(m.parity_)},
                     {"initialisations", m.inits_.size()}};
         }},
    };
    return table;
}

// The enclosure services' verbs (ses_pages.cpp).
const std::vector<FirmwareModel::ControlVerb>& FirmwareModel::sesVerbs() {
    using A = const ScenarioObject&;
    static const std::vector<ControlVerb> table = {
        {"ses-set", {"enclosure", "kind", "index", "status", "celsius", "raw", "text"}, [](FirmwareModel& m, A a) {
             return m.ses_.control("ses-set", a, m.drives_, m.nowMs());
         }},
        {"ses-state", {}, [](FirmwareModel& m, A a) { return m.ses_.control("ses-state", a, m.drives_, m.nowMs()); }},
        {"ses-page", {"enclosure", "page"}, [](FirmwareModel& m, A a) {
             return m.ses_.control("ses-page", a, m.drives_, m.nowMs());
         }},
    };
    return table;
}

json FirmwareModel::control(const std::string& verb, const json& args) {
    advanceJobs();
    advanceMaintenance();
    expireStaleChange();
    if (verb == "help") {
        json list = json::array();
        auto add = [&](const char* name, const std::vector<const char*>& keys) {
            list.push_back({{"verb", name}, {"arguments", keys}});
        };
        for (const auto* table : {&controlVerbs(), &maintenanceVerbs(), &eventVerbs(), &sesVerbs()})
            for (const ControlVerb& entry : *table) add(entry.name, entry.args);
        add("help", {});
        return {{"verbs", list}};
    }
    const ControlVerb* v = nullptr;
    for (const auto* table : {&controlVerbs(), &maintenanceVerbs(), &eventVerbs(), &sesVerbs()})
        for (const ControlVerb& entry : *table)
            if (verb == entry.name) v = &entry;
    if (!v) return {{"error", "unknown model verb \"" + verb + "\""}};
    try {
        static const json none = json::object();
        ScenarioObject a(args.is_null() ? none : args, "");
        for (auto it = args.begin(); args.is_object() && it != args.end(); ++it)
            if (std::none_of(v->args.begin(), v->args.end(), [&](const char* k) { return it.key() == k; }))
                a.fail(it.key(), "not an argument of " + verb);
        return v->run(*this, a);
    } catch (const std::exception& e) {
        return {{"error", e.what()}};
    }
}

}  // namespace sim::model

namespace sim {

std::unique_ptr<SystemModel> makeSystemModel(const nlohmann::json& system, const SimClock& clock) {
    return std::make_unique<model::FirmwareModel>(system, clock);
}

}  // namespace sim
