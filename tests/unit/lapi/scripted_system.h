// RAID system 0 as discovery leaves it, reached through the scripted stand-in
// of the pass-through, with an empty device directory (so no rediscovery finds
// anything) and every sleep recorded instead of slept.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <vector>

#include "scsi/discovery.h"
#include "support/process.h"
#include "support/sleep.h"
#include "unit/scsi/recorder.h"

namespace testnode {

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
