// A saved configuration served by tolvo-sim: an administrator saves a system's
// configuration, starts the emulator on it and tries a change there first.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/simulator.h"

namespace {

using namespace testsupport;

RunResult scenarioFromImage(const std::string& file) {
    return testsupport::run({TOLVO_SIM_BINARY, "scenario-from-image", file});
}

TEST(Rehearsal, TheCopyOfASavedSystemReportsWhatTheOriginalDoes) {
    Simulator original;
    TempDir work;
    const std::string saved = work.path() + "/site.cfg", copyScenario = work.path() + "/site.json";
    ASSERT_EQ(lqcl(original, {"-F", "-g", "-z", "saveconfig", "-m", saved}).status, 0);
    RunResult made = scenarioFromImage(saved);
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(made.err, "");
    testsupport::writeFile(copyScenario, made.out);
    Simulator copy(copyScenario);
    for (const char* query : {"confighdrstruct", "rankconfigstruct", "hostconfigstruct", "lunmappingstruct", "regionmap"}) {
        RunResult a = lqcl(original, {"-F", "-g", "-z", query});
        RunResult b = lqcl(copy, {"-F", "-g", "-z", query});
        EXPECT_EQ(a.status, 0) << query;
        EXPECT_EQ(b.status, 0) << query;
        EXPECT_EQ(a.out, b.out) << query;
    }
    // A change made on the copy leaves the original as it was.
    ASSERT_EQ(lqcl(copy, {"-F", "-s", "-z", "logicaldrives", "-l", "0", "-m", "trial"}).status, 0);
    const std::vector<std::string> all = {"-F", "-g", "-z", "allinfo"};
    EXPECT_NE(lqcl(copy, all).out.find("\nName           : trial" + std::string(27, ' ') + "\n"), std::string::npos);
    EXPECT_NE(lqcl(original, all).out.find("\nName           : LD 0" + std::string(28, ' ') + "\n"), std::string::npos);
}

TEST(Rehearsal, WhatIsNotAWholeConsistentImageIsRefusedWithTheReason) {
    Simulator original;
    TempDir work;
    const std::string saved = work.path() + "/site.cfg";
    ASSERT_EQ(lqcl(original, {"-F", "-g", "-z", "saveconfig", "-m", saved}).status, 0);
    const std::string image = testsupport::readFile(saved);
    ASSERT_EQ(image.size(), 940032u);

    std::string twice = image;  // rank 0's second member becomes its first drive again
    twice.replace(0x200 + 0x28, 8, image.substr(0x200 + 0x20, 8));
    std::string noWwn = image;  // the system WWN (header bytes 24-31) cleared
    noWwn.replace(24, 8, std::string(8, '\0'));
    std::string badLength = image;  // the length field (bytes 0-3) says 512
    badLength.replace(0, 4, std::string("\x00\x02\x00\x00", 4));
    struct Case {
        std::string file, bytes, error;
    } cases[] = {
        {"short.cfg", image.substr(0, 512), "not a saved configuration: it holds 512 bytes, a saved configuration holds 940032"},
        {"twice.cfg", twice, "not a consistent configuration: inconsistent configuration: drive in two places"},
        {"nowwn.cfg", noWwn, "not a consistent configuration: no system WWN"},
        {"length.cfg", badLength,
         "not a saved configuration: its length field gives 512 bytes, a saved configuration holds 940032"},
    };
    for (const auto& c : cases) {
        const std::string file = work.path() + "/" + c.file;
        testsupport::writeFile(file, c.bytes);
        RunResult r = scenarioFromImage(file);
        EXPECT_EQ(r.err, "tolvo-sim: " + file + ": " + c.error + "\n") << c.file;
        EXPECT_EQ(r.out, "") << c.file;
        EXPECT_EQ(r.status, 2) << c.file;
    }
    RunResult missing = scenarioFromImage(work.path() + "/none.cfg");
    EXPECT_EQ(missing.err, "tolvo-sim: " + work.path() + "/none.cfg: No such file or directory\n");
    EXPECT_EQ(missing.status, 2);
    RunResult directory = scenarioFromImage(work.path());
    EXPECT_EQ(directory.err, "tolvo-sim: " + work.path() + ": not a regular file\n");
    EXPECT_EQ(directory.status, 2);
}

}  // namespace
