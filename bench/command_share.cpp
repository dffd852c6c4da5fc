// Whole-command timing of `lqcl -C -g -z allinfo`, `lqcl -F -g -z
// rankconfigstruct` and `lqcl -E -g -z allinfo -l 1` against tolvo-sim (the
// default scenario, whose enclosure 1 is given 63 elements of each kind the
// enclosure report shows: the largest lists a type record holds). For each command it
// prints the wall time, the time spent in the tool's own waits (busy retries
// at 250 ms, information-set refreshes at 1 s + 33 ms), and the time of the
// same device round trips made by a minimal client in the same run (connect,
// open, one command, close, for every command the tool sent). The tool's own
// share is wall - waits - round trips (target: under 10 ms); the peak resident
// memory of one command is judged against 32 MiB.
//
//   bench_command_share [runs]     (default 10)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "scenario/scenario.h"
#include "whole_command.h"

using namespace bench;

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const std::string devDir = tempDir();
    if (devDir.empty()) return 1;

    // The default scenario with the largest enclosure lists.
    nlohmann::json scenario = nlohmann::json::parse(sim::embeddedDefaultScenario());
    nlohmann::json big = {{"number", 1}, {"slots", 63}, {"powerSupplies", 63}, {"fans", 63},
                          {"temperatures", 63}, {"controllers", 63}, {"alarms", 63}};
    scenario["systems"][0]["ses"] = {{"enclosures", {big}}};
    const std::string scenarioFile = devDir + "-scenario.json";
    std::ofstream(scenarioFile) << scenario.dump();

    Emulator sim(devDir, {scenarioFile});
    if (!sim.ready()) {
        std::fprintf(stderr, "bench: tolvo-sim did not become ready\n");
        return 1;
    }

    const std::vector<std::vector<std::string>> commands = {{"-C", "-g", "-z", "allinfo"},
                                                            {"-F", "-g", "-z", "rankconfigstruct"},
                                                            {"-E", "-g", "-z", "allinfo", "-l", "1"}};
    bool pass = true;
    std::printf("whole-command timing against tolvo-sim (default scenario), median of %d runs\n", runs);
    for (const auto& args : commands) {
        std::vector<std::string> argvL{LQCL_BINARY};
        argvL.insert(argvL.end(), args.begin(), args.end());
        Figures f;
        for (int i = 0; i < runs; ++i) measure(argvL, devDir, f, refreshAndBusyWaits);
        pass = printShare(args, f) && pass;
    }

    std::remove(scenarioFile.c_str());
    removeDir(devDir);
    std::printf("\n%s\n", pass ? "within targets" : "OUTSIDE TARGETS");
    return pass ? 0 : 1;
}
