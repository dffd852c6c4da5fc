#include "control/control.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "server/emulator.h"

namespace sim {
namespace {

using nlohmann::json;

json error(const std::string& message) { return json{{"error", message}}; }

bool parseInt(const std::string& s, long long& v) {
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    v = std::strtoll(s.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0';
}

// "sg<N>" or "system:<N>"; throws with a clear message when unknown.
FaultTarget parseTarget(const Emulator& emu, const std::string& word) {
    long long n = 0;
    if (word.rfind("system:", 0) == 0 && parseInt(word.substr(7), n)) {
        if (n < 0 || static_cast<size_t>(n) >= emu.systemCount())
            throw std::invalid_argument("no system " + word.substr(7) + " (the scenario has " +
                                        std::to_string(emu.systemCount()) + ")");
        return FaultTarget{true, static_cast<int>(n)};
    }
    if (word.rfind("sg", 0) == 0 && parseInt(word.substr(2), n)) {
        if (n < 0 || n > kMaxSgNumber || emu.deviceBySg(static_cast<int>(n)) < 0)
            throw std::invalid_argument("no device " + word);
        return FaultTarget{false, static_cast<int>(n)};
    }
    throw std::invalid_argument("expected a target sg<N> or system:<N>, got \"" + word + "\"");
}

json parseJsonArg(const std::vector<std::string>& args, size_t i) {
    if (i >= args.size()) return json::object();
    try {
        return json::parse(args[i]);
    } catch (const json::parse_error& e) {
        throw std::invalid_argument("argument " + std::to_string(i + 1) + " is not valid JSON: " + e.what());
    }
}

void arity(const std::vector<std::string>& args, size_t lo, size_t hi, const char* usage) {
    if (args.size() < lo || args.size() > hi) throw std::invalid_argument(std::string("usage: ") + usage);
}

json clockState(Emulator& emu) {
    auto& c = emu.clock();
    return json{{"nowMs", c.nowMs()},
                {"wallSeconds", c.wallSeconds()},
                {"advancedMs", c.advancedMs()},
                {"wallOffset", c.wallOffsetSeconds()},
                {"frozen", c.frozen()}};
}

json run(Emulator& emu, const std::string& verb, const std::vector<std::string>& args, const ControlHooks& hooks) {
    if (verb == "help") return json{{"usage", controlUsage()}};
    if (verb == "devices") {
        arity(args, 0, 0, "devices");
        return json{{"devices", emu.describeDevices()}};
    }
    if (verb == "inject") {
        arity(args, 2, 3, "inject <sgN|system:N> <kind> [JSON parameters]");
        FaultTarget target = parseTarget(emu, args[0]);
        auto kind = faultKindFromName(args[1]);
        if (!kind)
            throw std::invalid_argument("unknown fault kind \"" + args[1] +
                                        "\" (not-ready, busy, conflict, check, fail-path, short-reply, "
                                        "vanish, ebusy-open)");
        Fault f = makeFault(*kind, target, parseJsonArg(args, 2));
        uint64_t id = emu.faults().add(f);
        return json{{"id", id}};
    }
    if (verb == "faults") {
        arity(args, 0, 0, "faults");
        return json{{"faults", emu.faults().describe()}};
    }
    if (verb == "clear-faults") {
        arity(args, 0, 1, "clear-faults [sgN|system:N|ID]");
        size_t n = 0;
        long long id = 0;
        if (args.empty())
            n = emu.faults().clear();
        else if (parseInt(args[0], id))
            n = emu.faults().removeId(static_cast<uint64_t>(id)) ? 1 : 0;
        else
            n = emu.faults().clear(parseTarget(emu, args[0]));
        return json{{"cleared", n}};
    }
    if (verb == "commands") {
        arity(args, 0, 2, "commands [sgN] [after=SEQ]");
        int sg = -1;
        uint64_t after = 0;
        for (const auto& a : args) {
            long long n = 0;
            if (a.rfind("after=", 0) == 0 && parseInt(a.substr(6), n) && n >= 0) {
                after = static_cast<uint64_t>(n);
            } else {
                FaultTarget t = parseTarget(emu, a);
                if (t.system) throw std::invalid_argument("commands takes a device sg<N>");
                sg = t.index;
            }
        }
        return json{{"commands", emu.log().list(sg, after)}, {"dropped", emu.log().dropped()}};
    }
    if (verb == "clear-commands") {
        arity(args, 0, 0, "clear-commands");
        size_t n = emu.log().size();
        emu.log().clear();
        return json{{"cleared", n}};
    }
    if (verb == "advance") {
        arity(args, 1, 1, "advance <seconds>");
        char* end = nullptr;
        double s = std::strtod(args[0].c_str(), &end);
        if (args[0].empty() || *end != '\0' || !std::isfinite(s) || s < 0 || s > 1e12)
            throw std::invalid_argument("advance takes a number of seconds, 0 or more");
        emu.clock().advanceMs(static_cast<uint64_t>(std::llround(s * 1000.0)));
        return clockState(emu);
    }
    if (verb == "wall-offset") {
        arity(args, 1, 1, "wall-offset <seconds>");
        long long s = 0;
        if (!parseInt(args[0], s) || s < -(1ll << 40) || s > (1ll << 40))
            throw std::invalid_argument("wall-offset takes a whole number of seconds");
        emu.clock().setWallOffsetSeconds(s);
        return clockState(emu);
    }
    if (verb == "clock") {
        arity(args, 0, 0, "clock");
        return clockState(emu);
    }
    if (verb == "freeze" || verb == "thaw") {
        arity(args, 0, 0, verb.c_str());
        if (verb == "freeze") emu.clock().freeze();
        else emu.clock().thaw();
        return clockState(emu);
    }
    if (verb == "reservations") {
        arity(args, 1, 1, "reservations <sgN>");
        FaultTarget t = parseTarget(emu, args[0]);
        if (t.system) throw std::invalid_argument("reservations takes a device sg<N>");
        return emu.describeReservations(static_cast<size_t>(emu.deviceBySg(t.index)));
    }
    if (verb == "model") {
        arity(args, 2, 3, "model <system> <verb> [JSON arguments]");
        long long n = 0;
        if (!parseInt(args[0], n) || n < 0 || static_cast<size_t>(n) >= emu.systemCount())
            throw std::invalid_argument("no system \"" + args[0] + "\" (the scenario has " +
                                        std::to_string(emu.systemCount()) + ")");
        json modelArgs = parseJsonArg(args, 2);
        return emu.model(static_cast<size_t>(n))->control(args[1], modelArgs);
    }
    if (verb == "save-state") {
        arity(args, 0, 0, "save-state");
        if (!hooks.saveState) throw std::invalid_argument("the emulator was started without --state");
        return json{{"saved", hooks.saveState()}};
    }
    if (verb == "netmod") {
        if (!hooks.netmod) throw std::invalid_argument("the scenario has no network module");
        return hooks.netmod(args);
    }
    if (verb == "stop") {
        arity(args, 0, 0, "stop");
        if (hooks.stop) hooks.stop();
        return json{{"stopping", true}};
    }
    throw std::invalid_argument("unknown verb \"" + verb + "\" (try: help)");
}

}  // namespace

const char* controlUsage() {
    return "devices | inject <sgN|system:N> <kind> [JSON] | faults | clear-faults [sgN|system:N|ID] | "
           "commands [sgN] [after=SEQ] | clear-commands | advance <seconds> | wall-offset <seconds> | clock | freeze | thaw | "
           "reservations <sgN> | model <system> <verb> [JSON] | netmod <setting> [MS] | save-state | stop | help";
}

json handleControl(Emulator& emu, const json& request, const ControlHooks& hooks) {
    if (!request.is_object() || !request.contains("verb") || !request["verb"].is_string())
        return error("a request is a JSON object with a string \"verb\"");
    std::vector<std::string> args;
    if (auto it = request.find("args"); it != request.end()) {
        if (!it->is_array()) return error("\"args\" must be an array of strings");
        for (const auto& a : *it) {
            if (!a.is_string()) return error("\"args\" must be an array of strings");
            args.push_back(a.get<std::string>());
        }
    }
    try {
        return run(emu, request["verb"].get<std::string>(), args, hooks);
    } catch (const std::exception& e) {
        return error(e.what());
    }
}

int runControlClient(const std::string& dir, const std::vector<std::string>& words) {
    if (words.empty()) {
        std::fprintf(stderr, "tolvo-sim ctl: missing verb; verbs: %s\n", controlUsage());
        return 2;
    }
    json request{{"verb", words[0]}, {"args", std::vector<std::string>(words.begin() + 1, words.end())}};
    std::string path = dir + "/" + kControlSocketName;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        std::fprintf(stderr, "tolvo-sim ctl: path too long for a socket: %s\n", path.c_str());
        return 2;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        std::fprintf(stderr, "tolvo-sim ctl: cannot reach the emulator at %s: %s\n", path.c_str(),
                     std::strerror(errno));
        if (fd >= 0) ::close(fd);
        return 2;
    }
    std::string text = request.dump() + "\n";
    size_t sent = 0;
    while (sent < text.size()) {
        ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            std::fprintf(stderr, "tolvo-sim ctl: send failed: %s\n", std::strerror(errno));
            ::close(fd);
            return 2;
        }
        sent += static_cast<size_t>(n);
    }
    shutdown(fd, SHUT_WR);
    std::string answer;
    char buf[65536];
    for (;;) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            std::fprintf(stderr, "tolvo-sim ctl: receive failed: %s\n", std::strerror(errno));
            ::close(fd);
            return 2;
        }
        if (n == 0) break;
        answer.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    json parsed;
    try {
        parsed = json::parse(answer);
    } catch (const json::parse_error&) {
        std::fprintf(stderr, "tolvo-sim ctl: the emulator sent no valid answer\n");
        return 2;
    }
    std::printf("%s\n", parsed.dump(2).c_str());
    return parsed.is_object() && parsed.contains("error") ? 1 : 0;
}

}  // namespace sim
