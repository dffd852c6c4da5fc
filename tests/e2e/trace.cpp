// The opt-in trace: off unless LQCL_TRACE names a file; then one line per
// command sent to a device, and never through a symbolic link.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "support/simulator.h"

namespace {

const std::string kOneSystem = "\nIn-Band -> Number of RAID Systems found : 1\n";

TEST(Trace, NamedFileReceivesEveryDeviceCommandAndNeverGoesThroughALink) {
    testsupport::Simulator sim;
    testsupport::TempDir work;
    const std::string file = work.path() + "/trace.txt";
    auto env = sim.env();
    env["LQCL_TRACE"] = file;
    testsupport::expectResult(testsupport::runLqcl({"-F", "-n", "-z", "raidsystems"}, env), kOneSystem, 0);

    const std::string trace = testsupport::readFile(file);
    // Discovery sends INQUIRY to both paths of the default scenario.
    for (const char* node : {"/sg0: CDB 12 ", "/sg1: CDB 12 "})
        EXPECT_NE(trace.find(sim.dir() + node), std::string::npos) << node << " not traced:\n" << trace;
    EXPECT_NE(trace.find(": status 0\n"), std::string::npos) << trace;

    // The type mask selects: discovery alone leaves the device commands out.
    env["LQCL_TRACE"] = work.path() + "/discovery.txt";
    env["LQCL_TRACE_TYPES"] = "20";
    testsupport::expectResult(testsupport::runLqcl({"-F", "-n", "-z", "raidsystems"}, env), kOneSystem, 0);
    EXPECT_EQ(testsupport::readFile(work.path() + "/discovery.txt").find("CDB"), std::string::npos);

    // A symbolic link is refused, its target left as it was; the report is unchanged.
    const std::string target = work.path() + "/target";
    testsupport::writeFile(target, "keep");
    ASSERT_EQ(symlink(target.c_str(), (work.path() + "/link").c_str()), 0);
    env["LQCL_TRACE"] = work.path() + "/link";
    env.erase("LQCL_TRACE_TYPES");
    auto r = testsupport::runLqcl({"-F", "-n", "-z", "raidsystems"}, env);
    EXPECT_EQ(r.out, kOneSystem);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "lqcl: cannot open the trace file " + work.path() + "/link: Too many levels of symbolic links\n");
    EXPECT_EQ(testsupport::readFile(target), "keep");
}

}  // namespace
