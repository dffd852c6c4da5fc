#include "server/emulator.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "scsi/sense_data.h"
#include "scsi/sg_wire.h"

namespace sim {
namespace {

const char* statusName(const Outcome& o) {
    switch (o.kind) {
    case Outcome::Kind::Good:
        return "GOOD";
    case Outcome::Kind::CheckCondition:
        return "CHECK CONDITION";
    case Outcome::Kind::Busy:
        return "BUSY";
    case Outcome::Kind::ReservationConflict:
        return "RESERVATION CONFLICT";
    }
    return "?";
}

std::vector<uint8_t> finish(const sg::Header& h, std::span<const uint8_t> data) {
    std::vector<uint8_t> reply(sg::kHeaderSize + data.size());
    sg::encodeHeader(h, reply.data());
    if (!data.empty()) std::memcpy(reply.data() + sg::kHeaderSize, data.data(), data.size());
    return reply;
}

}  // namespace

Emulator::Emulator(Scenario scenario, ModelFactory factory) {
    for (size_t s = 0; s < scenario.systems.size(); ++s) {
        SystemConfig& sc = scenario.systems[s];
        Unit u;
        u.identity = sc.unit;
        try {
            u.model = factory(sc.object, clock_);
        } catch (const ScenarioError& e) {
            throw e.under("systems[" + std::to_string(s) + "]");
        } catch (const std::exception& e) {
            throw ScenarioError("systems[" + std::to_string(s) + "]: " + e.what());
        }
        if (!u.model) throw ScenarioError("systems[" + std::to_string(s) + "]: no firmware model");
        for (size_t p = 0; p < sc.paths.size(); ++p) {
            Device d;
            d.path = sc.paths[p];
            d.system = static_cast<int>(s);
            d.nexus = static_cast<unsigned>(p);
            d.unit = units_.size();
            u.nexuses[d.nexus] = NexusInfo{d.path.initiatorWwn, static_cast<uint16_t>(p + 1)};
            bySg_[d.path.sg] = devices_.size();
            devices_.push_back(std::move(d));
            deviceObjects_.push_back(nullptr);
        }
        systems_.push_back(System{units_.size(), std::move(sc.object)});
        units_.push_back(std::move(u));
    }
    for (DeviceConfig& dc : scenario.devices) {
        Unit u;
        u.identity = dc.unit;
        u.nexuses[0] = NexusInfo{dc.path.initiatorWwn, 1};
        Device d;
        d.path = dc.path;
        d.unit = units_.size();
        bySg_[d.path.sg] = devices_.size();
        devices_.push_back(std::move(d));
        deviceObjects_.push_back(std::move(dc.object));
        units_.push_back(std::move(u));
    }
}

bool Emulator::pathOnline(const Device& d) const {
    const Unit& u = units_[d.unit];
    return d.system < 0 || !u.model || u.model->pathOnline(d.nexus);
}

int Emulator::deviceBySg(int sg) const {
    auto it = bySg_.find(sg);
    return it == bySg_.end() ? -1 : static_cast<int>(it->second);
}

uint32_t Emulator::open(size_t dev, uint32_t flags, uint64_t conn) {
    Device& d = devices_[dev];
    if (auto f = faults_.takeForOpen(d.path.sg, d.system))
        return f->kind == FaultKind::Vanish ? ENXIO : EBUSY;
    bool wantExclusive = (flags & O_EXCL) != 0;
    if (wantExclusive && (flags & O_ACCMODE) == O_RDONLY) return EPERM;
    if (d.exclusive) return EBUSY;
    if (wantExclusive && !d.openers.empty()) return EBUSY;
    d.openers.insert(conn);
    d.exclusive = wantExclusive;
    return 0;
}

void Emulator::close(size_t dev, uint64_t conn) {
    Device& d = devices_[dev];
    if (d.openers.erase(conn) && d.openers.empty()) d.exclusive = false;
}

std::vector<uint8_t> Emulator::scsiId(size_t dev) const {
    const Device& d = devices_[dev];
    sg::ScsiId id;
    id.hostNo = d.path.host;
    id.channel = d.path.channel;
    id.scsiId = d.path.target;
    id.lun = d.path.lun;
    id.scsiType = units_[d.unit].identity.peripheralType;
    id.cmdPerLun = 1;
    id.queueDepth = 1;
    return sg::encodeScsiId(id);
}

Outcome Emulator::dispatch(Device& d, Unit& u, std::span<const uint8_t> cdb, std::span<const uint8_t> dataOut,
                           uint32_t dataInLength, std::vector<uint8_t>& dataIn) {
    if (u.reservations.conflicts(d.nexus, cdb[0])) return Outcome::reservationConflict();
    if (u.model) {
        CommandContext ctx;
        ctx.pathIndex = d.nexus;
        ctx.cdb = cdb;
        ctx.dataOut = dataOut;
        ctx.dataInLength = dataInLength;
        try {
            if (auto r = u.model->execute(ctx, dataIn)) return *r;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tolvo-sim: sg%d: the firmware model failed on opcode 0x%02X: %s\n", d.path.sg,
                         cdb[0], e.what());
            dataIn.clear();
            return Outcome::check(0x04, 0x44, 0x00);  // HARDWARE ERROR, INTERNAL TARGET FAILURE
        }
        dataIn.clear();
    }
    PathIdentity path{d.nexus, d.path.portWwn};
    return StandardCommands::execute(u.identity, path, u.reservations, u.nexuses, cdb, dataOut, dataIn);
}

std::vector<uint8_t> Emulator::command(size_t dev, std::span<const uint8_t> message) {
    Device& d = devices_[dev];
    Unit& u = units_[d.unit];
    CommandRecord rec;
    rec.timeMs = clock_.nowMs();
    rec.sg = d.path.sg;
    rec.system = d.system;
    rec.path = static_cast<int>(d.nexus);

    std::string why;
    std::optional<sg::Header> in;
    std::optional<sg::Request> req = sg::parseRequest(message, why, in);

    sg::Header out;
    if (in) {
        out.packId = in->packId;
        out.replyLen = in->replyLen;
        out.packLen = in->replyLen;
        rec.packId = in->packId;
    }
    if (!req) {
        rec.malformed = why;
        if (message.size() > sg::kHeaderSize) {
            auto rest = message.subspan(sg::kHeaderSize);
            rec.cdb.assign(rest.begin(), rest.begin() + static_cast<long>(std::min<size_t>(rest.size(), 16)));
        }
        out.result = EIO;
        out.hostStatus = sg::kDidError;
        rec.status = "ERROR";
        rec.hostStatus = out.hostStatus;
        rec.result = out.result;
        log_.append(std::move(rec));
        return finish(out, {});
    }

    rec.cdb.assign(req->cdb.begin(), req->cdb.end());
    rec.dataOut.assign(req->dataOut.begin(), req->dataOut.end());
    rec.dataInLength = req->dataInLength;
    out.twelveByte = req->cdb[0] >= 0xC0 && req->cdb.size() == 12;

    std::optional<Fault> fault;
    if (faults_.vanished(d.path.sg, d.system) || !pathOnline(d)) {
        Fault gone;
        gone.kind = FaultKind::Vanish;
        gone.hostStatus = sg::kDidNoConnect;
        gone.result = ENODEV;
        fault = gone;
    } else {
        fault = faults_.takeForCommand(d.path.sg, d.system, req->cdb);
    }
    if (fault) rec.fault = faultKindName(fault->kind);

    if (fault && (fault->kind == FaultKind::FailPath || fault->kind == FaultKind::Vanish)) {
        out.hostStatus = fault->hostStatus;
        out.driverStatus = fault->driverStatus;
        out.result = fault->result;
        rec.status = "ERROR";
        rec.hostStatus = out.hostStatus;
        rec.driverStatus = out.driverStatus;
        rec.result = out.result;
        log_.append(std::move(rec));
        return finish(out, {});
    }

    Outcome o;
    std::vector<uint8_t> dataIn;
    if (fault && fault->kind != FaultKind::ShortReply) {
        switch (fault->kind) {
        case FaultKind::Busy:
            o = Outcome::busy();
            break;
        case FaultKind::Conflict:
            o = Outcome::reservationConflict();
            break;
        default:
            o = Outcome::check(fault->senseKey, fault->asc, fault->ascq);
            break;
        }
    } else {
        o = dispatch(d, u, req->cdb, req->dataOut, req->dataInLength, dataIn);
    }

    size_t keep = 0;
    if (o.kind == Outcome::Kind::Good) {
        keep = std::min<size_t>(dataIn.size(), req->dataInLength);
        if (auto alloc = allocationLength(req->cdb)) keep = std::min<size_t>(keep, *alloc);
    }
    uint8_t status = scsiStatusOf(o);
    out.targetStatus = static_cast<uint8_t>((status >> 1) & 0x1F);
    if (o.kind == Outcome::Kind::CheckCondition) {
        auto sense = fixedSenseOf(o);
        std::memcpy(out.sense, sense.data(), sg::kSenseSize);
        out.driverStatus = sg::kDriverSense;
        rec.senseKey = o.senseKey;
        rec.asc = o.asc;
        rec.ascq = o.ascq;
    }
    rec.status = statusName(o);
    rec.driverStatus = out.driverStatus;

    std::vector<uint8_t> reply = finish(out, std::span<const uint8_t>(dataIn.data(), keep));
    if (fault && fault->kind == FaultKind::ShortReply && fault->length < reply.size())
        reply.resize(fault->length);
    rec.replyBytes = reply.size() > sg::kHeaderSize ? static_cast<uint32_t>(reply.size() - sg::kHeaderSize) : 0;
    log_.append(std::move(rec));
    return reply;
}

nlohmann::json Emulator::describeDevices() const {
    nlohmann::json arr = nlohmann::json::array();
    for (const Device& d : devices_) {
        const Unit& u = units_[d.unit];
        nlohmann::json j;
        j["device"] = "sg" + std::to_string(d.path.sg);
        if (d.system >= 0) {
            j["system"] = d.system;
            j["path"] = d.nexus;
        }
        j["host"] = d.path.host;
        j["channel"] = d.path.channel;
        j["target"] = d.path.target;
        j["lun"] = d.path.lun;
        j["portWwn"] = wwnHex(d.path.portWwn);
        j["vendor"] = u.identity.vendor;
        j["product"] = u.identity.product;
        j["type"] = u.identity.peripheralType;
        j["openers"] = d.openers.size();
        j["exclusive"] = d.exclusive;
        j["vanished"] = faults_.vanished(d.path.sg, d.system);
        j["online"] = pathOnline(d);
        arr.push_back(j);
    }
    return arr;
}

nlohmann::json Emulator::describeReservations(size_t dev) const {
    return units_[devices_[dev].unit].reservations.describe();
}

nlohmann::json Emulator::saveState() const {
    nlohmann::json doc = nlohmann::json::object();
    nlohmann::json systems = nlohmann::json::array();
    for (const System& s : systems_) {
        nlohmann::json j = units_[s.unit].model->saveState();
        if (!j.is_object()) j = nlohmann::json::object();
        for (const std::string& key : serverSystemKeys())
            if (s.object.contains(key)) j[key] = s.object[key];
        systems.push_back(std::move(j));
    }
    doc["systems"] = std::move(systems);
    nlohmann::json devices = nlohmann::json::array();
    for (const auto& o : deviceObjects_)
        if (!o.is_null()) devices.push_back(o);
    if (!devices.empty()) doc["devices"] = std::move(devices);
    return doc;
}

}  // namespace sim
