#include "server/command_log.h"

#include "scenario/scenario.h"

namespace sim {
namespace {

size_t footprint(const CommandRecord& r) { return sizeof r + r.cdb.size() + r.dataOut.size() + r.malformed.size(); }

const char* direction(const CommandRecord& r) {
    bool out = !r.dataOut.empty();
    bool in = r.dataInLength > 0;
    if (out && in) return "inout";
    if (out) return "out";
    if (in) return "in";
    return "none";
}

}  // namespace

nlohmann::json CommandRecord::toJson() const {
    nlohmann::json j;
    j["seq"] = seq;
    j["timeMs"] = timeMs;
    j["device"] = "sg" + std::to_string(sg);
    if (system >= 0) {
        j["system"] = system;
        j["path"] = path;
    }
    j["packId"] = packId;
    if (!malformed.empty()) j["malformed"] = malformed;
    j["cdb"] = toHex(cdb.data(), cdb.size());
    j["direction"] = direction(*this);
    j["dataLength"] = dataOut.empty() ? dataInLength : static_cast<uint32_t>(dataOut.size());
    if (!dataOut.empty()) {
        j["dataInLength"] = dataInLength;
        j["data"] = toHex(dataOut.data(), dataOut.size());
    }
    nlohmann::json reply;
    reply["status"] = status;
    if (status == "CHECK CONDITION") {
        reply["key"] = senseKey;
        reply["asc"] = asc;
        reply["ascq"] = ascq;
    }
    if (hostStatus || driverStatus || result) {
        reply["hostStatus"] = hostStatus;
        reply["driverStatus"] = driverStatus;
        reply["result"] = result;
    }
    reply["dataBytes"] = replyBytes;
    if (!fault.empty()) reply["fault"] = fault;
    j["reply"] = reply;
    return j;
}

CommandRecord& CommandLog::append(CommandRecord r) {
    r.seq = nextSeq_++;
    bytes_ += footprint(r);
    records_.push_back(std::move(r));
    while (records_.size() > 1 && (records_.size() > kMaxRecords || bytes_ > kMaxBytes)) {
        bytes_ -= footprint(records_.front());
        records_.pop_front();
        ++dropped_;
    }
    return records_.back();
}

void CommandLog::clear() {
    records_.clear();
    bytes_ = 0;
    dropped_ = 0;
}

nlohmann::json CommandLog::list(int sg, uint64_t afterSeq) const {
    nlohmann::json arr = nlohmann::json::array();
    for (const auto& r : records_) {
        if (sg >= 0 && r.sg != sg) continue;
        if (r.seq <= afterSeq) continue;
        arr.push_back(r.toJson());
    }
    return arr;
}

}  // namespace sim
