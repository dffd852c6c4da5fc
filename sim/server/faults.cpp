#include "server/faults.h"

#include <algorithm>
#include <stdexcept>

#include "scenario/scenario.h"
#include "scsi/sg_wire.h"

namespace sim {
namespace {

struct KindName {
    FaultKind kind;
    const char* name;
};
constexpr KindName kKinds[] = {
    {FaultKind::NotReady, "not-ready"},   {FaultKind::Busy, "busy"},
    {FaultKind::Conflict, "conflict"},    {FaultKind::Check, "check"},
    {FaultKind::FailPath, "fail-path"},   {FaultKind::ShortReply, "short-reply"},
    {FaultKind::Vanish, "vanish"},        {FaultKind::EbusyOpen, "ebusy-open"},
};

uint64_t unsignedParam(const nlohmann::json& p, const char* key, uint64_t lo, uint64_t hi, uint64_t dflt) {
    auto it = p.find(key);
    if (it == p.end()) return dflt;
    if (!it->is_number_integer() || it->get<int64_t>() < 0 ||
        it->get<uint64_t>() < lo || it->get<uint64_t>() > hi)
        throw std::invalid_argument(std::string("\"") + key + "\" must be an integer from " +
                                    std::to_string(lo) + " to " + std::to_string(hi));
    return it->get<uint64_t>();
}

std::string targetName(const FaultTarget& t) {
    return t.system ? "system:" + std::to_string(t.index) : "sg" + std::to_string(t.index);
}

}  // namespace

const char* faultKindName(FaultKind k) {
    for (const auto& e : kKinds)
        if (e.kind == k) return e.name;
    return "?";
}

std::vector<std::string> faultKindNames() {
    std::vector<std::string> names;
    for (const auto& e : kKinds) names.push_back(e.name);
    return names;
}

std::optional<FaultKind> faultKindFromName(const std::string& name) {
    for (const auto& e : kKinds)
        if (name == e.name) return e.kind;
    return std::nullopt;
}

Fault makeFault(FaultKind kind, FaultTarget target, const nlohmann::json& params) {
    if (!params.is_object()) throw std::invalid_argument("fault parameters must be a JSON object");
    static const std::vector<std::string> common = {"count", "forever", "skip", "cdb"};
    std::vector<std::string> allowed = common;
    switch (kind) {
    case FaultKind::Check:
        allowed.insert(allowed.end(), {"key", "asc", "ascq"});
        break;
    case FaultKind::FailPath:
        allowed.insert(allowed.end(), {"hostStatus", "driverStatus", "result"});
        break;
    case FaultKind::ShortReply:
        allowed.push_back("length");
        break;
    default:
        break;
    }
    for (auto it = params.begin(); it != params.end(); ++it)
        if (std::find(allowed.begin(), allowed.end(), it.key()) == allowed.end())
            throw std::invalid_argument("unknown parameter \"" + it.key() + "\" for a " +
                                        faultKindName(kind) + " fault");
    Fault f;
    f.kind = kind;
    f.target = target;
    f.remaining = unsignedParam(params, "count", 1, UINT32_MAX, 1);
    if (auto it = params.find("forever"); it != params.end()) {
        if (!it->is_boolean()) throw std::invalid_argument("\"forever\" must be true or false");
        f.forever = it->get<bool>();
    }
    f.skip = unsignedParam(params, "skip", 0, UINT32_MAX, 0);
    if (auto it = params.find("cdb"); it != params.end()) {
        if (f.onOpen()) throw std::invalid_argument("\"cdb\" does not apply to a fault on open");
        if (!it->is_string() || !fromHex(it->get<std::string>(), f.cdbPrefix) || f.cdbPrefix.empty() ||
            f.cdbPrefix.size() > 16)
            throw std::invalid_argument("\"cdb\" must be 1 to 16 bytes in hexadecimal");
    }
    switch (kind) {
    case FaultKind::NotReady:
        f.senseKey = 0x02;
        f.asc = 0x04;
        f.ascq = 0x00;
        break;
    case FaultKind::Check:
        if (!params.contains("key") || !params.contains("asc"))
            throw std::invalid_argument("a check fault needs \"key\" and \"asc\" (and optionally \"ascq\")");
        f.senseKey = static_cast<uint8_t>(unsignedParam(params, "key", 0, 15, 0));
        f.asc = static_cast<uint8_t>(unsignedParam(params, "asc", 0, 255, 0));
        f.ascq = static_cast<uint8_t>(unsignedParam(params, "ascq", 0, 255, 0));
        break;
    case FaultKind::FailPath:
        f.hostStatus = static_cast<uint8_t>(unsignedParam(params, "hostStatus", 0, 255, sg::kDidNoConnect));
        f.driverStatus = static_cast<uint8_t>(unsignedParam(params, "driverStatus", 0, 255, 0));
        f.result = params.contains("result")
                       ? static_cast<int32_t>(unsignedParam(params, "result", 0, 4095, 0))
                       : sg::resultForHostStatus(f.hostStatus);
        if (f.result == 0 && f.hostStatus == 0 && f.driverStatus == 0)
            throw std::invalid_argument("a fail-path fault needs a non-zero result, host or driver status");
        break;
    case FaultKind::ShortReply:
        f.length = static_cast<uint32_t>(unsignedParam(params, "length", 0, UINT32_MAX, sg::kHeaderSize));
        break;
    default:
        break;
    }
    return f;
}

uint64_t FaultTable::add(Fault f) {
    f.id = nextId_++;
    faults_.push_back(std::move(f));
    return faults_.back().id;
}

bool FaultTable::targets(const Fault& f, int sg, int system) {
    return f.target.system ? (system >= 0 && f.target.index == system) : f.target.index == sg;
}

std::optional<Fault> FaultTable::take(int sg, int system, bool open, std::span<const uint8_t> cdb) {
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        Fault& f = *it;
        if (f.onOpen() != open || !targets(f, sg, system)) continue;
        if (!f.cdbPrefix.empty() &&
            (cdb.size() < f.cdbPrefix.size() || !std::equal(f.cdbPrefix.begin(), f.cdbPrefix.end(), cdb.begin())))
            continue;
        if (f.skip > 0) {
            --f.skip;
            continue;
        }
        Fault applied = f;
        if (!f.forever && --f.remaining == 0) faults_.erase(it);
        return applied;
    }
    return std::nullopt;
}

std::optional<Fault> FaultTable::takeForCommand(int sg, int system, std::span<const uint8_t> cdb) {
    return take(sg, system, false, cdb);
}

std::optional<Fault> FaultTable::takeForOpen(int sg, int system) { return take(sg, system, true, {}); }

bool FaultTable::vanished(int sg, int system) const {
    for (const auto& f : faults_)
        if (f.kind == FaultKind::Vanish && f.skip == 0 && targets(f, sg, system)) return true;
    return false;
}

size_t FaultTable::clear(std::optional<FaultTarget> target) {
    size_t before = faults_.size();
    if (!target) {
        faults_.clear();
    } else {
        std::erase_if(faults_, [&](const Fault& f) {
            return f.target.system == target->system && f.target.index == target->index;
        });
    }
    return before - faults_.size();
}

bool FaultTable::removeId(uint64_t id) {
    return std::erase_if(faults_, [&](const Fault& f) { return f.id == id; }) > 0;
}

nlohmann::json FaultTable::describe() const {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& f : faults_) {
        nlohmann::json j;
        j["id"] = f.id;
        j["target"] = targetName(f.target);
        j["kind"] = faultKindName(f.kind);
        if (f.forever)
            j["forever"] = true;
        else
            j["remaining"] = f.remaining;
        if (f.skip) j["skip"] = f.skip;
        if (!f.cdbPrefix.empty()) j["cdb"] = toHex(f.cdbPrefix.data(), f.cdbPrefix.size());
        if (f.kind == FaultKind::Check || f.kind == FaultKind::NotReady) {
            j["key"] = f.senseKey;
            j["asc"] = f.asc;
            j["ascq"] = f.ascq;
        }
        if (f.kind == FaultKind::FailPath) {
            j["hostStatus"] = f.hostStatus;
            j["driverStatus"] = f.driverStatus;
            j["result"] = f.result;
        }
        if (f.kind == FaultKind::ShortReply) j["length"] = f.length;
        list.push_back(j);
    }
    return list;
}

}  // namespace sim
