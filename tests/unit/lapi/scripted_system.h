// RAID system 0 as discovery leaves it, reached through the scripted stand-in
// of the pass-through, with an empty device directory (so no rediscovery finds
// anything) and every sleep recorded instead of slept.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "scsi/discovery.h"
#include "scsi/passthrough.h"
#include "support/process.h"
#include "support/sleep.h"

namespace testnode {

// A scripted stand-in for the sg pass-through: records every command and
// answers from a queue of outcomes (the last one repeats).
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

// A private device directory and every sleep recorded instead of slept.
class DeviceDirTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;

    // The sleeps asked for since the test began, in microseconds.
    static std::vector<uint32_t>& sleeps() {
        static std::vector<uint32_t> s;
        return s;
    }

    void SetUp() override {
        resetRaidSystemTable();
        sleeps().clear();
        lqcl::setSleepHook([](uint32_t us) { sleeps().push_back(us); });
        setenv("LQCL_DEV_DIR", dir.path().c_str(), 1);
    }
    void TearDown() override {
        lqcl::setSleepHook(nullptr);
        unsetenv("LQCL_DEV_DIR");
        resetRaidSystemTable();
    }
};

class ScriptedSystemTest : public DeviceDirTest {
protected:
    Recorder rec;

    // `paths` valid paths with targets firstTarget, firstTarget + 1, ...
    void system(int paths, uint8_t firstTarget = 0) {
        gNumTolvos = 1;
        cDevice_Discovery_Done = 1;
        for (int s = 0; s < paths; ++s) {
            gTolvos[0].slots[s].fd = -1;
            gTolvos[0].slots[s].target = static_cast<uint8_t>(firstTarget + s);
            gTolvos[0].slots[s].deviceNumber = static_cast<uint32_t>(100 + s);
            gTolvos[0].slotValid[s] = 1;
        }
    }
};

}  // namespace testnode
