// tolvo-sim: an emulator of Tolvo RAID systems on simulated SCSI generic nodes.
//
//   tolvo-sim serve DIR [SCENARIO.json] [--state FILE] [--daemon] [--pidfile FILE]
//   tolvo-sim ctl DIR VERB [ARGS...]
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <tclap/CmdLine.h>

#include "control/control.h"
#include "netmod/netmod.h"
#include "core/model_api.h"
#include "model/firmware_image.h"
#include "model/saved_image.h"
#include "scenario/scenario.h"
#include "server/emulator.h"
#include "server/socket_server.h"

namespace {

constexpr const char* kVersion = "1.0";

void usage(FILE* to) {
    std::fprintf(to,
                 "usage: tolvo-sim serve DIR [SCENARIO.json] [--state FILE] [--daemon] [--pidfile FILE]\n"
                 "       tolvo-sim ctl DIR VERB [ARGS...]\n"
                 "       tolvo-sim firmware-image OUT controller|driveio MAJOR.MINOR BUILD SIZE [DATE]\n"
                 "       tolvo-sim scenario-from-image SAVED-CONFIGURATION-FILE\n"
                 "Control verbs: %s\n",
                 sim::controlUsage());
}

bool fileHasContent(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

std::string writeState(const sim::Emulator& emu, const std::string& path) {
    std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) throw std::runtime_error(tmp + ": " + std::strerror(errno));
        out << emu.saveState().dump(2) << "\n";
        out.flush();
        if (!out) throw std::runtime_error(tmp + ": write failed");
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) throw std::runtime_error(path + ": " + std::strerror(errno));
    return path;
}

void raiseDescriptorLimit() {
    rlimit rl{};
    if (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max;
        setrlimit(RLIMIT_NOFILE, &rl);
    }
}

int serve(int argc, char** argv) {
    std::string dir, scenarioFile, stateFile, pidFile;
    bool daemonize = false;
    // The parser would take an unknown option for the scenario file name.
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--") break;
        bool known = a == "--state" || a == "--pidfile" || a == "--daemon" || a == "--help" || a == "-h" ||
                     a == "--version" || a.rfind("--state=", 0) == 0 || a.rfind("--pidfile=", 0) == 0;
        if (a.size() > 1 && a[0] == '-' && !known) {
            std::fprintf(stderr, "tolvo-sim serve: unknown option %s\n", a.c_str());
            usage(stderr);
            return 2;
        }
        if (a == "--state" || a == "--pidfile") ++i;
    }
    try {
        TCLAP::CmdLine cmd("Serve simulated Tolvo RAID systems on sg nodes in DIR", ' ', kVersion);
        TCLAP::UnlabeledValueArg<std::string> dirArg("dir", "device directory that receives the sg<N> sockets",
                                                     true, "", "DIR", cmd);
        TCLAP::UnlabeledValueArg<std::string> scenarioArg(
            "scenario", "scenario file (default: the built-in default scenario)", false, "", "SCENARIO.json", cmd);
        TCLAP::ValueArg<std::string> stateArg("", "state", "load the state from FILE when it exists; save it there on exit",
                                              false, "", "FILE", cmd);
        TCLAP::SwitchArg daemonArg("", "daemon", "detach once the sockets accept connections", cmd);
        TCLAP::ValueArg<std::string> pidArg("", "pidfile", "write the serving process id to FILE", false, "", "FILE",
                                            cmd);
        cmd.setExceptionHandling(false);
        cmd.parse(argc, argv);
        dir = dirArg.getValue();
        scenarioFile = scenarioArg.getValue();
        stateFile = stateArg.getValue();
        pidFile = pidArg.getValue();
        daemonize = daemonArg.getValue();
    } catch (const TCLAP::ArgException& e) {
        std::fprintf(stderr, "tolvo-sim serve: %s\n", e.error().c_str());
        usage(stderr);
        return 2;
    } catch (const TCLAP::ExitException& e) {
        return e.getExitStatus();
    }

    std::string source = "(built-in default)";
    std::unique_ptr<sim::Emulator> emu;
    std::vector<sim::ModuleConfig> modules;
    try {
        std::string text;
        if (!stateFile.empty() && fileHasContent(stateFile)) {
            source = stateFile;
            text = sim::readScenarioFile(stateFile);
        } else if (!scenarioFile.empty()) {
            source = scenarioFile;
            text = sim::readScenarioFile(scenarioFile);
        } else {
            text = sim::embeddedDefaultScenario();
        }
        sim::Scenario scenario = sim::parseScenarioText(text);
        modules = sim::parseNetworkModules(scenario);
        emu = std::make_unique<sim::Emulator>(std::move(scenario), sim::makeSystemModel);
    } catch (const sim::ScenarioError& e) {
        std::fprintf(stderr, "tolvo-sim: scenario %s: %s\n", source.c_str(), e.what());
        return 2;
    }

    raiseDescriptorLimit();
    signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);

    int readyPipe[2] = {-1, -1};
    if (daemonize) {
        if (pipe2(readyPipe, O_CLOEXEC) != 0) {
            std::fprintf(stderr, "tolvo-sim: pipe: %s\n", std::strerror(errno));
            return 1;
        }
        std::fflush(stdout);
        pid_t pid = fork();
        if (pid < 0) {
            std::fprintf(stderr, "tolvo-sim: fork: %s\n", std::strerror(errno));
            return 1;
        }
        if (pid > 0) {
            ::close(readyPipe[1]);
            std::string msg;
            char buf[512];
            ssize_t n;
            while ((n = ::read(readyPipe[0], buf, sizeof buf)) > 0) msg.append(buf, static_cast<size_t>(n));
            if (msg == "ok") {
                std::printf("ready %s\n", dir.c_str());
                return 0;
            }
            std::fprintf(stderr, "%s", msg.empty() ? "tolvo-sim: the server ended before it was ready\n" : msg.c_str());
            return 1;
        }
        ::close(readyPipe[0]);
        setsid();
    }
    auto failStart = [&](const std::string& message) {
        std::string line = "tolvo-sim: " + message + "\n";
        if (daemonize) {
            ssize_t w = ::write(readyPipe[1], line.data(), line.size());
            (void)w;
        } else {
            std::fprintf(stderr, "%s", line.c_str());
        }
        return 1;
    };

    sim::ControlHooks hooks;
    if (!stateFile.empty()) hooks.saveState = [&] { return writeState(*emu, stateFile); };
    sim::NetworkModules network(*emu, std::move(modules));
    if (network.size() > 0) hooks.netmod = [&](const std::vector<std::string>& args) { return network.control(args); };
    sim::SocketServer server(*emu, dir, hooks);
    try {
        server.bindAll();
        network.start();
    } catch (const std::exception& e) {
        return failStart(e.what());
    }
    if (!pidFile.empty()) {
        std::ofstream pf(pidFile, std::ios::trunc);
        pf << getpid() << "\n";
        if (!pf) return failStart(pidFile + ": cannot write the process id");
    }
    if (daemonize) {
        int devnull = ::open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, 0);
            dup2(devnull, 1);
            dup2(devnull, 2);
            if (devnull > 2) ::close(devnull);
        }
        ssize_t w = ::write(readyPipe[1], "ok", 2);
        (void)w;
        ::close(readyPipe[1]);
    } else {
        std::printf("ready %s\n", dir.c_str());
        std::fflush(stdout);
    }

    int status = 0;
    try {
        server.run({SIGTERM, SIGINT});
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tolvo-sim: %s\n", e.what());
        status = 1;
    }
    network.stop();
    if (!stateFile.empty()) {
        try {
            writeState(*emu, stateFile);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tolvo-sim: saving the state: %s\n", e.what());
            status = 1;
        }
    }
    if (!pidFile.empty()) ::unlink(pidFile.c_str());
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        usage(stdout);
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tolvo-sim %s\n", kVersion);
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "serve") == 0) return serve(argc - 1, argv + 1);
    if (argc >= 2 && std::strcmp(argv[1], "firmware-image") == 0)
        return sim::model::firmwareImageCommand(argc - 1, argv + 1);
    if (argc >= 2 && std::strcmp(argv[1], "scenario-from-image") == 0) {
        if (argc != 3) {
            usage(stderr);
            return 2;
        }
        try {
            std::printf("%s\n", sim::scenarioFromSavedImage(argv[2]).dump(2).c_str());
            return 0;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tolvo-sim: %s\n", e.what());
            return 2;
        }
    }
    if (argc >= 2 && std::strcmp(argv[1], "ctl") == 0) {
        if (argc < 4) {
            usage(stderr);
            return 2;
        }
        return sim::runControlClient(argv[2], std::vector<std::string>(argv + 3, argv + argc));
    }
    usage(stderr);
    return 2;
}
