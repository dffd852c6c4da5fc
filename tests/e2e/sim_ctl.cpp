// `tolvo-sim ctl` and the daemon mode, as a script would use them.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "control/client.h"
#include "support/simulator.h"

namespace {

using namespace testsupport;

TEST(SimCtl, AnswersAreJsonAndTheStatusSaysWhetherTheyFailed) {
    Simulator sim;
    using nlohmann::json;
    const struct {
        std::vector<std::string> args;
        int status;
        const char* key;  // the key of the answer compared, or "" for the whole answer
        json value;
    } cases[] = {
        {{"inject", "sg1", "busy", R"({"count":2})"}, 0, "", {{"id", 1}}},
        {{"faults"}, 0, "", {{"faults", {{{"id", 1}, {"kind", "busy"}, {"remaining", 2}, {"target", "sg1"}}}}}},
        {{"wall-offset", "-3600"}, 0, "wallOffset", -3600},
        {{"inject", "sg7", "busy"}, 1, "", {{"error", "no device sg7"}}},
        {{"frobnicate"}, 1, "", {{"error", "unknown verb \"frobnicate\" (try: help)"}}},
        {{"model", "0", "refuse-config", R"({"count":2})"}, 0, "", {{"count", 2}, {"ok", true}, {"reason", "start"}}},
        {{"model", "0", "no-such-verb"}, 1, "", {{"error", "unknown model verb \"no-such-verb\""}}},
        // Stop ends the server after answering; its sockets go with it.
        {{"stop"}, 0, "", {{"stopping", true}}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {TOLVO_SIM_BINARY, "ctl", sim.dir()};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        auto r = run(argv);
        EXPECT_EQ(r.status, c.status) << c.args[0];
        EXPECT_EQ(r.err, "") << c.args[0];
        const json answer = json::parse(r.out);
        EXPECT_EQ(*c.key ? answer[c.key] : answer, c.value) << c.args[0];
    }
    EXPECT_EQ(sim.stop(), 0);
    struct stat st{};
    EXPECT_NE(lstat((sim.dir() + "/sg0").c_str(), &st), 0);
    EXPECT_NE(lstat((sim.dir() + "/.control").c_str(), &st), 0);
}

// Raw requests on the control socket, as a client in another language would send them.
TEST(SimCtl, RawRequestsOnTheControlSocket) {
    Simulator sim;
    struct Case {
        std::string request;
        std::string error;
    } cases[] = {
        {"garbage\n", "the request is not valid JSON"},
        {"[1,2]\n", "a request is a JSON object with a string \"verb\""},
        {"{\"verb\":\"faults\",\"args\":\"x\"}\n", "\"args\" must be an array of strings"},
        {"", "the request is not valid JSON"},
    };
    for (const auto& c : cases) {
        std::string answer = sim::controlExchange(sim.dir(), c.request);
        ASSERT_FALSE(answer.empty()) << c.request;
        EXPECT_EQ(answer.back(), '\n');
        auto j = nlohmann::json::parse(answer);
        EXPECT_EQ(j["error"].get<std::string>().rfind(c.error, 0), 0u) << answer;
    }
    // Without the final newline the end of the client's side ends the request.
    EXPECT_EQ(nlohmann::json::parse(sim::controlExchange(sim.dir(), R"({"verb":"clock"})")).count("nowMs"), 1u);
    EXPECT_EQ(sim.ctl("devices")["devices"].size(), 2u);
}

TEST(SimCtl, NoEmulatorIsStatusTwo) {
    TempDir empty;
    auto r = run({TOLVO_SIM_BINARY, "ctl", empty.path(), "devices"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "tolvo-sim ctl: cannot reach the emulator at " + empty.path() +
                         "/.control: No such file or directory\n");
}

TEST(SimCtl, DaemonModeDetachesOnceReady) {
    TempDir devs, files;
    std::string pidFile = files.path() + "/sim.pid";
    auto r = run({TOLVO_SIM_BINARY, "serve", devs.path(), "--daemon", "--pidfile", pidFile});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "ready " + devs.path() + "\n");
    std::ifstream in(pidFile);
    pid_t pid = 0;
    in >> pid;
    ASSERT_GT(pid, 0);
    EXPECT_EQ(kill(pid, 0), 0);
    auto devices = run({TOLVO_SIM_BINARY, "ctl", devs.path(), "devices"});
    EXPECT_EQ(devices.status, 0);
    EXPECT_EQ(nlohmann::json::parse(devices.out)["devices"].size(), 2u);
    EXPECT_EQ(run({TOLVO_SIM_BINARY, "ctl", devs.path(), "stop"}).status, 0);
    bool gone = false;
    for (int i = 0; i < 1000 && !gone; ++i) {
        gone = kill(pid, 0) != 0;
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone);
    struct stat st{};
    EXPECT_NE(stat(pidFile.c_str(), &st), 0);
    EXPECT_NE(lstat((devs.path() + "/sg0").c_str(), &st), 0);

    // A daemon that cannot start says why and fails.
    auto bad = run({TOLVO_SIM_BINARY, "serve", files.path() + "/missing", "--daemon"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err, "tolvo-sim: " + files.path() + "/missing: not a directory\n");
}

std::vector<std::string> namesOf(const nlohmann::json& verbs) {
    std::vector<std::string> names;
    for (const auto& v : verbs) names.push_back(v.at("verb").get<std::string>());
    return names;
}

TEST(SimCtl, HelpListsEveryVerbAndFaultKind) {
    Simulator sim;
    auto help = run({TOLVO_SIM_BINARY, "ctl", sim.dir(), "help"});
    ASSERT_EQ(help.status, 0);
    auto answer = nlohmann::json::parse(help.out);
    EXPECT_EQ(namesOf(answer["verbs"]),
              (std::vector<std::string>{"devices", "inject", "faults", "clear-faults", "commands", "clear-commands",
                                        "advance", "wall-offset", "clock", "freeze", "thaw", "reservations", "model",
                                        "netmod", "save-state", "stop", "help"}));
    EXPECT_EQ(answer["faultKinds"], nlohmann::json::parse(R"(["not-ready", "busy", "conflict", "check", "fail-path",
                                                              "short-reply", "vanish", "ebusy-open"])"));
    auto model = run({TOLVO_SIM_BINARY, "ctl", sim.dir(), "model", "0", "help"});
    ASSERT_EQ(model.status, 0);
    auto verbs = nlohmann::json::parse(model.out)["verbs"];
    EXPECT_EQ(namesOf(verbs),
              (std::vector<std::string>{"refuse-config", "set-clock", "dump-config", "check-config", "dump-regions",
                                        "corrupt-reply", "fail-drive", "downloads", "snapshots", "jobs",
                                        "controller-life", "power-on", "clock-drift", "maintenance", "log-event",
                                        "event-log", "temperature", "ses-set", "ses-state", "ses-page", "help"}));
    EXPECT_EQ(verbs[0]["arguments"], nlohmann::json::parse(R"(["reason", "count"])"));
}

// Every system of the several-systems scenario reports, through lqcl, the
// firmware revision of its INQUIRY data and the model its product names.
TEST(SimCtl, SeveralSystemsReportTheirOwnModelAndRevision) {
    Simulator sim(std::string(LQCL_SOURCE_DIR) + "/sim/scenarios/several-systems.json");
    const struct {
        const char *system, *revision;
        int type;
        const char* model;
    } cases[] = {{"0", "0513", 19, "8200"}, {"1", "0601", 17, "K8112A"}, {"2", "0420", 7, "7102"}};
    for (const auto& c : cases) {
        std::string version;
        for (const char* controller : {"0 Information********************\n\nF/W Version      : ",
                                       "1 Information********************\n\nF/W Version      : "})
            version += std::string("\n\n********************Controller ") + controller + c.revision +
                       "\nF/W Date         : Nov 12 2026\nCont " + (controller[0] == '0' ? "A" : "B") +
                       " Version   : " + std::to_string(0xC0 | c.type);
        expectRuns(sim, {{{"-p", c.system, "-C", "-g", "-z", "raidversion"}, version + "\n", 0},
                         {{"-p", c.system, "-C", "-g", "-z", "prodtype"}, std::string("\nController type is ") + c.model, 0}});
    }
}

}  // namespace
