// A scripted stand-in for the sg pass-through: records every command and
// answers from a queue of outcomes (the last one repeats).
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "scsi/passthrough.h"

namespace testnode {

struct Sent {
    ITL_HANDLE_STRUCT* handle;
    std::vector<uint8_t> cdb;  // cdbLength bytes
    uint8_t direction;
    uint32_t timeout;
    uint32_t dataLength;
    std::vector<uint8_t> dataOut;  // direction 0
};

struct Outcome {
    uint8_t wsc = WSC_GOOD;
    uint8_t senseKey = 0, asc = 0, ascq = 0;
    std::vector<uint8_t> dataIn;  // copied into the caller's buffer (clipped to the data length)
    bool shortReply = false;      // the transport reports only dataIn's bytes as arrived
};

inline Outcome good(std::vector<uint8_t> data = {}) { return {WSC_GOOD, 0, 0, 0, std::move(data)}; }
inline Outcome check(uint8_t key, uint8_t asc, uint8_t ascq) { return {WSC_CHECK_CONDITION, key, asc, ascq, {}}; }
inline Outcome osError() { return {WSC_OS_ERROR, 0, 0, 0, {}}; }

class Recorder {
public:
    Recorder() {
        setScsiPassThrough([this](ITL_HANDLE_STRUCT* h, SCSI_COMMAND_STRUCT* r, uint8_t* data) {
            Sent s{h, std::vector<uint8_t>(r->cdb, r->cdb + r->cdbLength), r->direction, r->timeout, r->dataLength, {}};
            if (r->direction == 0 && data != nullptr) s.dataOut.assign(data, data + r->dataLength);
            sent.push_back(s);
            Outcome o = script.empty() ? good() : script.front();
            if (script.size() > 1) script.erase(script.begin());
            if (responder) o = responder(s);
            if (o.wsc == WSC_CHECK_CONDITION) {
                std::memset(r->senseData, 0, sizeof r->senseData);
                r->senseData[0] = 0x70;
                r->senseData[2] = o.senseKey;
                r->senseData[12] = o.asc;
                r->senseData[13] = o.ascq;
            }
            if (o.wsc == WSC_GOOD && r->direction == 1 && data != nullptr && !o.dataIn.empty())
                std::memcpy(data, o.dataIn.data(), std::min<size_t>(o.dataIn.size(), r->dataLength));
            if (o.shortReply && r->direction == 1)
                r->dataLength = static_cast<uint32_t>(std::min<size_t>(o.dataIn.size(), r->dataLength));
            return o.wsc;
        });
    }
    ~Recorder() { setScsiPassThrough(nullptr); }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    std::vector<Sent> sent;
    std::vector<Outcome> script;
    std::function<Outcome(const Sent&)> responder;  // overrides the script when set
};

}  // namespace testnode
