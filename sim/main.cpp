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
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <tclap/CmdLine.h>

#include "control/client.h"
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
                 sim::controlUsage().c_str());
}

bool fileHasContent(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

// Writes a whole file through a temporary beside it: no symbolic link is
// followed, the data is on disk before the rename, and the rename is flushed.
void writeFileSafely(const std::string& path, const std::string& text) {
    const std::string tmp = path + ".tmp";
    ::unlink(tmp.c_str());  // whatever was there, a link included, is not written through
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error(tmp + ": " + std::strerror(errno));
    struct stat st{};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!ok) errno = EINVAL;
    for (size_t done = 0; ok && done < text.size();) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    int e = errno;
    ::close(fd);
    if (!ok) {
        ::unlink(tmp.c_str());
        throw std::runtime_error(tmp + ": write failed: " + std::strerror(e));
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        e = errno;
        ::unlink(tmp.c_str());
        throw std::runtime_error(path + ": " + std::strerror(e));
    }
    std::string dir = path.find('/') == std::string::npos ? "." : path.substr(0, path.rfind('/') + 1);
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        ::close(dfd);
    }
}

std::string writeState(const sim::Emulator& emu, const std::string& path) {
    writeFileSafely(path, emu.saveState().dump(2) + "\n");
    return path;
}

void raiseDescriptorLimit() {
    rlimit rl{};
    if (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max;
        setrlimit(RLIMIT_NOFILE, &rl);
    }
}

struct ServeOptions {
    std::string dir, scenarioFile, stateFile, pidFile;
    bool daemonize = false;
};

// Returns an exit status when the command line ends the program (help,
// version, a usage error), else nothing.
std::optional<int> parseServe(int argc, char** argv, ServeOptions& o) {
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
        o.dir = dirArg.getValue();
        o.scenarioFile = scenarioArg.getValue();
        o.stateFile = stateArg.getValue();
        o.pidFile = pidArg.getValue();
        o.daemonize = daemonArg.getValue();
    } catch (const TCLAP::ArgException& e) {
        std::fprintf(stderr, "tolvo-sim serve: %s\n", e.error().c_str());
        usage(stderr);
        return 2;
    } catch (const TCLAP::ExitException& e) {
        return e.getExitStatus();
    }
    return std::nullopt;
}

// The state file when it has content, else the scenario file, else the built-in default.
// The network modules the scenario puts in front of its systems go to `modules`.
std::unique_ptr<sim::Emulator> loadEmulator(const ServeOptions& o, std::vector<sim::ModuleConfig>& modules) {
    std::string source = "(built-in default)";
    try {
        std::string text;
        if (!o.stateFile.empty() && fileHasContent(o.stateFile)) {
            source = o.stateFile;
            text = sim::readScenarioFile(o.stateFile);
        } else if (!o.scenarioFile.empty()) {
            source = o.scenarioFile;
            text = sim::readScenarioFile(o.scenarioFile);
        } else {
            text = sim::embeddedDefaultScenario();
        }
        sim::Scenario scenario = sim::parseScenarioText(text);
        modules = sim::parseNetworkModules(scenario);
        return std::make_unique<sim::Emulator>(std::move(scenario), sim::makeSystemModel);
    } catch (const sim::ScenarioError& e) {
        std::fprintf(stderr, "tolvo-sim: scenario %s: %s\n", source.c_str(), e.what());
        return nullptr;
    }
}

// The start-up report: a daemon's parent waits on a pipe for "ok" or the
// failure text; in the foreground, "ready DIR" goes to standard output.
class StartReport {
public:
    // In daemon mode forks: returns the parent's exit status in the parent,
    // nothing in the serving child (and in the foreground).
    std::optional<int> begin(const ServeOptions& o) {
        daemon_ = o.daemonize;
        dir_ = o.dir;
        if (!daemon_) return std::nullopt;
        if (pipe2(pipe_, O_CLOEXEC) != 0) {
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
            ::close(pipe_[1]);
            std::string msg;
            char buf[512];
            ssize_t n;
            while ((n = ::read(pipe_[0], buf, sizeof buf)) > 0) msg.append(buf, static_cast<size_t>(n));
            if (msg == "ok") {
                std::printf("ready %s\n", dir_.c_str());
                return 0;
            }
            std::fprintf(stderr, "%s", msg.empty() ? "tolvo-sim: the server ended before it was ready\n" : msg.c_str());
            return 1;
        }
        ::close(pipe_[0]);
        setsid();
        return std::nullopt;
    }
    int fail(const std::string& message) {
        std::string line = "tolvo-sim: " + message + "\n";
        if (daemon_) {
            ssize_t w = ::write(pipe_[1], line.data(), line.size());
            (void)w;
        } else {
            std::fprintf(stderr, "%s", line.c_str());
        }
        return 1;
    }
    void ready() {
        if (!daemon_) {
            std::printf("ready %s\n", dir_.c_str());
            std::fflush(stdout);
            return;
        }
        int devnull = ::open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, 0);
            dup2(devnull, 1);
            dup2(devnull, 2);
            if (devnull > 2) ::close(devnull);
        }
        ssize_t w = ::write(pipe_[1], "ok", 2);
        (void)w;
        ::close(pipe_[1]);
    }

private:
    bool daemon_ = false;
    std::string dir_;
    int pipe_[2] = {-1, -1};
};

int serve(int argc, char** argv) {
    ServeOptions o;
    if (auto status = parseServe(argc, argv, o)) return *status;
    std::vector<sim::ModuleConfig> modules;
    std::unique_ptr<sim::Emulator> emu = loadEmulator(o, modules);
    if (!emu) return 2;

    raiseDescriptorLimit();
    signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);

    StartReport report;
    if (auto status = report.begin(o)) return *status;

    sim::ControlHooks hooks;
    if (!o.stateFile.empty()) hooks.saveState = [&] { return writeState(*emu, o.stateFile); };
    sim::NetworkModules network(*emu, std::move(modules));
    if (network.size() > 0) hooks.netmod = [&](const std::vector<std::string>& args) { return network.control(args); };
    sim::SocketServer server(*emu, o.dir, [&](const nlohmann::json& request) {
        return sim::handleControl(*emu, request, hooks);
    });
    hooks.stop = [&] { server.stop(); };
    try {
        server.bindAll();
        network.start();
        if (!o.pidFile.empty()) writeFileSafely(o.pidFile, std::to_string(getpid()) + "\n");
    } catch (const std::exception& e) {
        return report.fail(e.what());
    }
    report.ready();

    int status = 0;
    try {
        server.run({SIGTERM, SIGINT});
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tolvo-sim: %s\n", e.what());
        status = 1;
    }
    network.stop();
    if (!o.stateFile.empty()) {
        try {
            writeState(*emu, o.stateFile);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tolvo-sim: saving the state: %s\n", e.what());
            status = 1;
        }
    }
    if (!o.pidFile.empty()) ::unlink(o.pidFile.c_str());
    return status;
}

// `tolvo-sim ctl DIR VERB ARGS...`: prints the answer; 0, 1 when it carries
// an error, 2 when the emulator cannot be reached.
int control(const std::string& dir, const std::vector<std::string>& words) {
    if (words.empty()) {
        std::fprintf(stderr, "tolvo-sim ctl: missing verb; verbs: %s\n", sim::controlUsage().c_str());
        return 2;
    }
    try {
        nlohmann::json answer = sim::controlRequest(dir, words[0], {words.begin() + 1, words.end()});
        std::printf("%s\n", answer.dump(2).c_str());
        return answer.is_object() && answer.contains("error") ? 1 : 0;
    } catch (const sim::ControlUnreachable& e) {
        std::fprintf(stderr, "tolvo-sim ctl: %s\n", e.what());
        return 2;
    }
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
        return control(argv[2], std::vector<std::string>(argv + 3, argv + argc));
    }
    usage(stderr);
    return 2;
}
