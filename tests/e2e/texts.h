// Texts, argument lists and setup shared by the end-to-end tests of the tool:
// the error tails of the return codes they meet most, the out-of-band selector,
// runs of -l values, the pinned controller clocks, hexadecimal dumps and the
// network lab fixture.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/netlab.h"
#include "support/simulator.h"

namespace e2e {

inline const std::string kCommandFailed = testsupport::errorTail("LAPI call failed: Command to controller fails.", 1003);
inline const std::string kBadLun = testsupport::errorTail("Error: Invalid LUN index.", 2002);
inline const std::string kBadDevice = testsupport::errorTail("Error: Invalid device index.", 2003);
inline const std::string kBadArray = testsupport::errorTail("Error: Invalid array index.", 2004);
inline const std::string kBadController = testsupport::errorTail("Error: Invalid controller index.", 2013);
inline const std::string kBadTiming = testsupport::errorTail("Error: Invalid timing range.", 2016);
inline const std::string kBadSelection = testsupport::errorTail("Error: Invalid selection.", 2018);
inline const std::string kBadApm = testsupport::errorTail("Error: APM request invalid.", 2020);
inline const std::string kBadEnclosure = testsupport::errorTail("Error: Invalid enclosure index.", 2021);
inline const std::string kBadSnapshot = testsupport::errorTail("Error: Snapshot request not valid.", 2026);
inline const std::string kNoRaidSystem = "Error: Raid system does not exist\r\n";

// `command` followed by "-l v" for each value.
inline std::vector<std::string> withL(std::vector<std::string> command, const std::vector<std::string>& values) {
    for (const auto& v : values) command.insert(command.end(), {"-l", v});
    return command;
}

// The firmware revision report of the given controllers ("0", "1" or "01"):
// the revision, compile date and controller type (as printed) of each.
inline std::string firmwareReport(const std::string& controllers, const std::string& revision,
                                  const std::string& type, const std::string& date = "Nov 12 2026") {
    std::string s;
    for (char c : controllers)
        s += std::string("\n\n********************Controller ") + c + " Information********************\n" +
             "\nF/W Version      : " + revision + "\nF/W Date         : " + date + "\nCont " + (c == '0' ? "A" : "B") +
             " Version   : " + type;
    return s + "\n";
}

// Out-of-band mode with these credentials, then `args`.
inline std::vector<std::string> oob(const std::vector<std::string>& args, const std::string& user,
                                    const std::string& password, const std::string& address) {
    std::vector<std::string> all = {"-N", "-p", user, "-p", password, "-p", address};
    all.insert(all.end(), args.begin(), args.end());
    return all;
}

// Runs lqcl: it must end with status 0 and print each of `parts` (reports
// whose other lines are compared whole elsewhere).
inline void expectParts(const testsupport::Simulator& sim, const std::vector<std::string>& args,
                        const std::vector<std::string>& parts) {
    const testsupport::RunResult r = testsupport::lqcl(sim, args);
    EXPECT_EQ(r.status, 0) << r.out;
    for (const auto& p : parts) EXPECT_NE(r.out.find(p), std::string::npos) << p << "\nis not in\n" << r.out;
}

// The bytes of a hexadecimal dump as the emulator gives it.
inline std::string fromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

// 2026-12-06 07:05:09 UTC, a Sunday.
constexpr int64_t kEpoch = 1796540709;

// Freezes the emulator clock and sets both controller clocks to kEpoch; returns
// the seconds the emulator has been up (they add to the power-on times).
inline uint64_t pinClock(testsupport::Simulator& sim) {
    sim.ctl("freeze");
    for (int c = 0; c < 2; ++c)
        sim.ctl("model", {"0", "set-clock", nlohmann::json{{"controller", c}, {"epoch", kEpoch}}.dump()});
    return sim.ctl("clock")["nowMs"].get<uint64_t>() / 1000;
}

// Tests that need the two private network namespaces; skipped where they cannot be made.
class LabTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!lab.available()) GTEST_SKIP() << lab.why();
    }
    testsupport::NetLab lab;
};

}  // namespace e2e
