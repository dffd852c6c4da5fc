#include "control/control.h"

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

json clockState(Emulator& emu) {
    auto& c = emu.clock();
    return json{{"nowMs", c.nowMs()},
                {"wallSeconds", c.wallSeconds()},
                {"advancedMs", c.advancedMs()},
                {"wallOffset", c.wallOffsetSeconds()},
                {"frozen", c.frozen()}};
}

struct Context {
    Emulator& emu;
    const ControlHooks& hooks;
};

struct Verb {
    const char* name;
    size_t minArgs, maxArgs;
    const char* usage;  // after the name
    json (*run)(Context&, const std::vector<std::string>& args);
};

const std::vector<Verb>& verbs() {
    using Args = const std::vector<std::string>&;
    static const std::vector<Verb> table = {
        {"devices", 0, 0, "", [](Context& c, Args) { return json{{"devices", c.emu.describeDevices()}}; }},
        {"inject", 2, 3, "<sgN|system:N> <kind> [JSON parameters]", [](Context& c, Args args) {
             FaultTarget target = parseTarget(c.emu, args[0]);
             auto kind = faultKindFromName(args[1]);
             if (!kind) {
                 std::string known;
                 for (const auto& name : faultKindNames()) known += (known.empty() ? "" : ", ") + name;
                 throw std::invalid_argument("unknown fault kind \"" + args[1] + "\" (" + known + ")");
             }
             Fault f = makeFault(*kind, target, parseJsonArg(args, 2));
             return json{{"id", c.emu.faults().add(f)}};
         }},
        {"faults", 0, 0, "", [](Context& c, Args) { return json{{"faults", c.emu.faults().describe()}}; }},
        {"clear-faults", 0, 1, "[sgN|system:N|ID]", [](Context& c, Args args) {
             size_t n = 0;
             long long id = 0;
             if (args.empty())
                 n = c.emu.faults().clear();
             else if (parseInt(args[0], id))
                 n = c.emu.faults().removeId(static_cast<uint64_t>(id)) ? 1 : 0;
             else
                 n = c.emu.faults().clear(parseTarget(c.emu, args[0]));
             return json{{"cleared", n}};
         }},
        {"commands", 0, 2, "[sgN] [after=SEQ]", [](Context& c, Args args) {
             int sg = -1;
             uint64_t after = 0;
             for (const auto& a : args) {
                 long long n = 0;
                 if (a.rfind("after=", 0) == 0 && parseInt(a.substr(6), n) && n >= 0) {
                     after = static_cast<uint64_t>(n);
                 } else {
                     FaultTarget t = parseTarget(c.emu, a);
                     if (t.system) throw std::invalid_argument("commands takes a device sg<N>");
                     sg = t.index;
                 }
             }
             return json{{"commands", c.emu.log().list(sg, after)}, {"dropped", c.emu.log().dropped()}};
         }},
        {"clear-commands", 0, 0, "", [](Context& c, Args) {
             size_t n = c.emu.log().size();
             c.emu.log().clear();
             return json{{"cleared", n}};
         }},
        {"advance", 1, 1, "<seconds>", [](Context& c, Args args) {
             char* end = nullptr;
             double s = std::strtod(args[0].c_str(), &end);
             if (args[0].empty() || *end != '\0' || !std::isfinite(s) || s < 0 || s > 1e12)
                 throw std::invalid_argument("advance takes a number of seconds, 0 or more");
             c.emu.clock().advanceMs(static_cast<uint64_t>(std::llround(s * 1000.0)));
             return clockState(c.emu);
         }},
        {"wall-offset", 1, 1, "<seconds>", [](Context& c, Args args) {
             long long s = 0;
             if (!parseInt(args[0], s) || s < -(1ll << 40) || s > (1ll << 40))
                 throw std::invalid_argument("wall-offset takes a whole number of seconds");
             c.emu.clock().setWallOffsetSeconds(s);
             return clockState(c.emu);
         }},
        {"clock", 0, 0, "", [](Context& c, Args) { return clockState(c.emu); }},
        {"freeze", 0, 0, "", [](Context& c, Args) {
             c.emu.clock().freeze();
             return clockState(c.emu);
         }},
        {"thaw", 0, 0, "", [](Context& c, Args) {
             c.emu.clock().thaw();
             return clockState(c.emu);
         }},
        {"reservations", 1, 1, "<sgN>", [](Context& c, Args args) {
             FaultTarget t = parseTarget(c.emu, args[0]);
             if (t.system) throw std::invalid_argument("reservations takes a device sg<N>");
             return c.emu.describeReservations(static_cast<size_t>(c.emu.deviceBySg(t.index)));
         }},
        {"model", 2, 3, "<system> <verb> [JSON arguments]", [](Context& c, Args args) {
             long long n = 0;
             if (!parseInt(args[0], n) || n < 0 || static_cast<size_t>(n) >= c.emu.systemCount())
                 throw std::invalid_argument("no system \"" + args[0] + "\" (the scenario has " +
                                             std::to_string(c.emu.systemCount()) + ")");
             return c.emu.model(static_cast<size_t>(n))->control(args[1], parseJsonArg(args, 2));
         }},
        {"netmod", 0, 2, "[<setting> [MS]]", [](Context& c, Args args) {
             if (!c.hooks.netmod) throw std::invalid_argument("the scenario has no network module");
             return c.hooks.netmod(args);
         }},
        {"save-state", 0, 0, "", [](Context& c, Args) {
             if (!c.hooks.saveState) throw std::invalid_argument("the emulator was started without --state");
             return json{{"saved", c.hooks.saveState()}};
         }},
        {"stop", 0, 0, "", [](Context& c, Args) {
             if (c.hooks.stop) c.hooks.stop();
             return json{{"stopping", true}};
         }},
        {"help", 0, 0, "", [](Context&, Args) {
             json list = json::array();
             for (const Verb& v : verbs()) list.push_back({{"verb", v.name}, {"arguments", v.usage}});
             return json{{"usage", controlUsage()},
                         {"verbs", list},
                         {"faultKinds", faultKindNames()},
                         {"model", "model <system> help lists the verbs of a system's firmware model"}};
         }},
    };
    return table;
}

json run(Emulator& emu, const std::string& verb, const std::vector<std::string>& args, const ControlHooks& hooks) {
    for (const Verb& v : verbs()) {
        if (verb != v.name) continue;
        if (args.size() < v.minArgs || args.size() > v.maxArgs)
            throw std::invalid_argument(std::string("usage: ") + v.name + (*v.usage ? " " : "") + v.usage);
        Context c{emu, hooks};
        return v.run(c, args);
    }
    throw std::invalid_argument("unknown verb \"" + verb + "\" (try: help)");
}

}  // namespace

std::string controlUsage() {
    std::string s;
    for (const Verb& v : verbs()) s += (s.empty() ? "" : " | ") + std::string(v.name) + (*v.usage ? " " : "") + v.usage;
    return s;
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

}  // namespace sim
