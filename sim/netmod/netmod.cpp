#include "netmod/netmod.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <set>
#include <stdexcept>

#include <httplib.h>

#include "scsi/sg_wire.h"
#include "server/emulator.h"
#include "support/base64.h"

namespace sim {

namespace {

using nlohmann::json;

constexpr const char* kGateway = "/cgi-bin/cgiloader.cgi";
constexpr const char* kPingSetting = "/proc/sys/net/ipv4/icmp_echo_ignore_all";

bool parseAddress(const std::string& text, in_addr* out) { return inet_pton(AF_INET, text.c_str(), out) == 1; }

void putAddress(std::vector<uint8_t>& rec, size_t at, const std::string& text) {
    in_addr a{};
    if (!text.empty() && parseAddress(text, &a)) std::memcpy(&rec[at], &a, 4);
}

// Field values of the gateway form, as decimal numbers.
bool number(const std::map<std::string, std::string>& f, const std::string& key, uint64_t max, uint32_t* out,
            std::string& why) {
    auto it = f.find(key);
    if (it == f.end()) {
        why = "missing field " + key;
        return false;
    }
    const std::string& v = it->second;
    if (v.empty() || v.size() > 10 || v.find_first_not_of("0123456789") != std::string::npos ||
        std::stoull(v) > max) {
        why = "field " + key + " is not a number up to " + std::to_string(max);
        return false;
    }
    *out = static_cast<uint32_t>(std::stoull(v));
    return true;
}

std::string dispositionValue(std::string_view headers, std::string_view key) {
    const std::string needle = std::string(key) + "=\"";
    size_t at = headers.find(needle);
    if (at == std::string_view::npos) return {};
    at += needle.size();
    size_t end = headers.find('"', at);
    if (end == std::string_view::npos) return {};
    return std::string(headers.substr(at, end - at));
}

void putLe32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

bool ownNetworkNamespace() {
    struct stat self{}, init{};
    if (stat("/proc/self/ns/net", &self) != 0 || stat("/proc/1/ns/net", &init) != 0) return false;
    return self.st_ino != init.st_ino;
}

}  // namespace

const std::vector<std::string>& defaultModuleCredentials() {
    static const std::vector<std::string> creds = {"admin:netburner", "admin:tolvo1"};
    return creds;
}

std::vector<ModuleConfig> parseNetworkModules(const Scenario& scenario) {
    std::vector<ModuleConfig> out;
    for (size_t i = 0; i < scenario.systems.size(); ++i) {
        const json& sys = scenario.systems[i].object;
        auto it = sys.find("network");
        if (it == sys.end()) continue;
        ScenarioObject system(sys, "systems[" + std::to_string(i) + "]");
        system.leaveOpen();  // its other keys are the device side's and the model's
        // One module, or several in front of the same system (one per controller).
        std::vector<ScenarioObject> list;
        if (it->is_array()) {
            list = system.objects("network");
            if (list.empty()) system.fail("network", "expected at least one module");
        } else {
            list.push_back(system.section("network"));
        }
        for (const ScenarioObject& n : list) {
            auto address = [&](const char* key, const std::string& dflt) {
                std::string v = n.text(key, dflt);
                in_addr a{};
                if (!v.empty() && !parseAddress(v, &a)) n.fail(key, "expected a dotted IPv4 address");
                return v;
            };
            ModuleConfig m;
            m.system = static_cast<int>(i);
            m.sg = scenario.systems[i].paths.front().sg;
            m.address = address("address", "");
            if (m.address.empty()) n.fail("address", "expected a dotted IPv4 address");
            m.port = static_cast<int>(n.integer("port", 1, 65535, m.port));
            m.user = n.text("user", m.user);
            m.password = n.text("password", m.password);
            std::vector<uint8_t> mac;
            if (!fromHex(n.text("mac", std::string("0090C2000000")), mac) || mac.size() != 6)
                n.fail("mac", "expected 12 hexadecimal digits");
            std::copy(mac.begin(), mac.end(), m.mac.begin());
            m.service = n.choice("kind", {"service", "netburner"}, 0) == 0;
            m.staticAddress = address("staticAddress", m.address);
            m.dhcpAddress = address("dhcpAddress", "");
            m.marker = static_cast<uint8_t>(n.integer("marker", 0, 255, m.marker));
            m.version = n.text("version", m.version);
            m.prefs = {{"DhcpSelection", "false"}, {"MulticastPort", "4000"}, {"IpAddress", m.address},
                       {"HostName", "tolvo-module"}, {"IpMask", "255.255.255.0"}, {"IpGateway", "0.0.0.0"},
                       {"DnsServer", "0.0.0.0"}};
            ScenarioObject prefs = n.section("prefs");
            for (auto& [key, value] : m.prefs) value = prefs.text(key, value);
            for (const ModuleConfig& o : out)
                if (o.address == m.address && o.port == m.port) n.fail("address", "used by another module");
            out.push_back(std::move(m));
        }
        system.finish();
    }
    return out;
}

std::vector<uint8_t> discoveryRecord(const ModuleConfig& m) {
    std::vector<uint8_t> rec(kDiscoveryRecord, 0);
    putAddress(rec, 4, m.staticAddress);
    std::copy(m.mac.begin(), m.mac.end(), rec.begin() + 107);
    rec[125] = m.marker;
    putAddress(rec, 126, m.dhcpAddress);
    return rec;
}

std::vector<uint8_t> gatewayRequest(const std::string& body, std::string& why, uint32_t* replyRoom) {
    const size_t eol = body.find("\r\n");
    if (eol == std::string::npos || eol < 3 || body[0] != '-') {
        why = "the form does not start with a part delimiter";
        return {};
    }
    const std::string delimiter = "\r\n" + body.substr(0, eol);
    std::map<std::string, std::string> fields;
    std::string_view file;
    bool haveFile = false;
    size_t pos = eol + 2;
    while (pos < body.size() && !haveFile) {
        const size_t headEnd = body.find("\r\n\r\n", pos);
        if (headEnd == std::string::npos) break;
        const std::string_view head(body.data() + pos, headEnd - pos);
        const std::string name = dispositionValue(head, "name");
        const size_t content = headEnd + 4;
        if (head.find("filename=\"") != std::string_view::npos) {
            file = std::string_view(body).substr(content);
            haveFile = true;
            break;
        }
        const size_t end = body.find(delimiter, content);
        if (end == std::string::npos) break;
        fields[name] = body.substr(content, end - content);
        pos = end + delimiter.size() + 2;
    }
    uint32_t cdb[16] = {};
    uint32_t length = 0, cdbLength = 0, direction = 0;
    for (int i = 0; i < 16; ++i)
        if (!number(fields, "CDB" + std::to_string(i), 255, &cdb[i], why)) return {};
    if (!number(fields, "BufferLength", 0x1000000, &length, why) || !number(fields, "CDBlength", 16, &cdbLength, why) ||
        !number(fields, "CDBdirection", 1, &direction, why))
        return {};
    if (!haveFile) {
        why = "no uploaded file";
        return {};
    }
    const size_t upload = direction == 0 ? 1 + static_cast<size_t>(length) : 1;
    if (file.size() < upload) {
        why = "the uploaded file is shorter than the command needs";
        return {};
    }
    const size_t cdbSize = sg::cdbLengthFor(static_cast<uint8_t>(cdb[0]), false);
    const size_t dataOut = direction == 0 ? length : 0;
    std::vector<uint8_t> msg(sg::kHeaderSize);
    sg::Header h;
    h.packLen = static_cast<int32_t>(sg::kHeaderSize + cdbSize + dataOut);
    h.replyLen = static_cast<int32_t>(sg::kHeaderSize + (direction == 1 ? length : 0));
    h.packId = 9292;
    sg::encodeHeader(h, msg.data());
    for (size_t i = 0; i < cdbSize; ++i) msg.push_back(static_cast<uint8_t>(cdb[i]));
    msg.insert(msg.end(), file.begin() + 1, file.begin() + 1 + static_cast<long>(dataOut));
    *replyRoom = direction == 1 ? length : 0;
    return msg;
}

std::string gatewayReply(const std::vector<uint8_t>& sgReply) {
    uint32_t status = 255;
    uint8_t key = 0, asc = 0, ascq = 0;
    std::string data;
    if (auto h = sg::decodeHeader(sgReply)) {
        const bool transportOk = h->hostStatus == sg::kDidOk && h->result == 0 &&
                                 (h->driverStatus == 0 || h->driverStatus == sg::kDriverSense);
        if (transportOk) {
            switch (h->targetStatus) {
            case sg::kMaskedGood: status = 0; break;
            case sg::kMaskedCheckCondition: status = 2; break;
            case sg::kMaskedBusy: status = 8; break;
            case sg::kMaskedReservationConflict: status = 24; break;
            default: status = 255;
            }
        }
        key = h->sense[2] & 0x0F;
        asc = h->sense[12];
        ascq = h->sense[13];
        if (sgReply.size() > sg::kHeaderSize) data.assign(sgReply.begin() + sg::kHeaderSize, sgReply.end());
    }
    std::string out;
    putLe32(out, status);
    out += '\0';
    putLe32(out, static_cast<uint32_t>(data.size()));
    out += '\0';
    out += static_cast<char>(key);
    out += static_cast<char>(asc);
    out += static_cast<char>(ascq);
    out += data;
    return out;
}

struct NetworkModules::Server {
    httplib::Server http;
};

NetworkModules::NetworkModules(Emulator& emu, std::vector<ModuleConfig> modules)
    : emu_(emu), modules_(std::move(modules)) {}

NetworkModules::~NetworkModules() { stop(); }

NetworkModules::Behaviour NetworkModules::behaviour() const {
    std::lock_guard<std::mutex> hold(lock_);
    return behaviour_;
}

namespace {

bool authorized(const httplib::Request& req, const ModuleConfig& m, bool defaults) {
    const std::string h = req.get_header_value("Authorization");
    if (h.rfind("Basic ", 0) != 0) return false;
    const std::string given = lqcl::b64Decode(h.substr(6));
    if (given == m.user + ":" + m.password) return true;
    if (defaults)
        for (const std::string& c : defaultModuleCredentials())
            if (given == c) return true;
    return false;
}

void refuse(httplib::Response& res) {
    res.status = 401;
    res.set_header("WWW-Authenticate", "Basic realm=\"Tolvo network module\"");
    res.set_content("Unauthorized\n", "text/html");
}

// Sends `body` as the behaviour asks: plain, chunked, cut short or malformed.
void answer(httplib::Response& res, std::string body, const NetworkModules::Behaviour& b, const char* type) {
    if (b.mode == "close-early") {
        res.set_content_provider(body.size() + 1, type, [](size_t, size_t, httplib::DataSink&) { return false; });
        return;
    }
    if (b.mode == "malformed") body = "Error\n";
    if (!b.chunked) {
        res.set_content(body, type);
        return;
    }
    auto shared = std::make_shared<std::string>(std::move(body));
    res.set_chunked_content_provider(type, [shared](size_t offset, httplib::DataSink& sink) {
        if (offset >= shared->size()) {
            sink.done();
            return true;
        }
        // Several chunks: the first of at most 5 bytes, then the rest.
        size_t n = offset == 0 ? std::min<size_t>(5, shared->size()) : shared->size() - offset;
        return sink.write(shared->data() + offset, n);
    });
}

}  // namespace

void NetworkModules::start() {
    for (size_t i = 0; i < modules_.size(); ++i) {
        auto s = std::make_unique<Server>();
        const ModuleConfig* m = &modules_[i];
        httplib::Server& http = s->http;
        http.set_payload_max_length(64u << 20);
        http.set_read_timeout(30, 0);
        http.set_keep_alive_max_count(1);
        // The gateway reads its forms itself: keep the library's form reader away.
        http.set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
            auto& r = const_cast<httplib::Request&>(req);
            auto it = r.headers.find("Content-Type");
            if (it != r.headers.end() && it->second.rfind("multipart/form-data", 0) == 0) {
                std::string type = it->second;
                r.headers.erase(it);
                r.headers.emplace("Content-Type", "application/octet-stream");
                r.headers.emplace("X-Form-Type", type);
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
        http.Post(kGateway, [this, m](const httplib::Request& req, httplib::Response& res) {
            const Behaviour b = behaviour();
            if (b.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(b.delayMs));
            if (b.mode == "unauthorized" || !authorized(req, *m, false)) return refuse(res);
            std::string why;
            uint32_t room = 0;
            std::vector<uint8_t> msg = gatewayRequest(req.body, why, &room);
            if (msg.empty()) {
                res.status = 400;
                res.set_content("Bad request: " + why + "\n", "text/html");
                return;
            }
            std::vector<uint8_t> reply;
            {
                std::lock_guard<std::mutex> hold(emu_.mutex());
                const int dev = emu_.deviceBySg(m->sg);
                if (dev >= 0) reply = emu_.command(static_cast<size_t>(dev), msg);
            }
            answer(res, gatewayReply(reply), b, "binary");
        });
        http.Get(kGateway, [this, m](const httplib::Request& req, httplib::Response& res) {
            const Behaviour b = behaviour();
            if (b.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(b.delayMs));
            const std::string method = req.get_param_value("method");
            const bool about = method == "GetAboutPage";
            if (b.mode == "unauthorized" || !authorized(req, *m, about)) return refuse(res);
            if (req.get_param_value("module") != "server") {
                res.status = 400;
                res.set_content("Bad request: unknown module\n", "text/html");
                return;
            }
            std::string body;
            if (about) {
                body = "<html><body>Tolvo network module, firmware " + m->version + "</body></html>\n";
            } else if (method == "GetPrefsConfig") {
                std::lock_guard<std::mutex> hold(lock_);
                body = "PrefsConfig";
                for (const auto& [k, v] : m->prefs) body += "=" + k + ": " + v;
            } else if (method == "SetPrefsConfig") {
                std::lock_guard<std::mutex> hold(lock_);
                auto& prefs = const_cast<ModuleConfig*>(m)->prefs;
                for (const char* k : {"DhcpSelection", "MulticastPort", "IpAddress", "HostName", "IpMask", "IpGateway",
                                      "DnsServer"})
                    if (req.has_param(k)) prefs[k] = req.get_param_value(k);
                body = "OK\n";
            } else {
                res.status = 400;
                res.set_content("Bad request: unknown method\n", "text/html");
                return;
            }
            answer(res, body, b, "text/html");
        });
        if (!http.bind_to_port(m->address, m->port))
            throw std::runtime_error("network module of system " + std::to_string(m->system) + ": cannot listen on " +
                                     m->address + ":" + std::to_string(m->port));
        servers_.push_back(std::move(s));
    }
    if (modules_.empty()) return;
    // Discovery responders on both ports, for every module.
    const uint16_t ports[2] = {kNetBurnerDiscoveryPort, kServiceDiscoveryPort};
    for (int k = 0; k < 2; ++k) {
        udp_[k] = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        int on = 1;
        setsockopt(udp_[k], SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        setsockopt(udp_[k], SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(ports[k]);
        if (udp_[k] < 0 || ::bind(udp_[k], reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0)
            throw std::runtime_error("network module discovery: cannot bind UDP port " + std::to_string(ports[k]) +
                                     ": " + std::strerror(errno));
    }
    wake_ = eventfd(0, EFD_CLOEXEC);
    for (auto& s : servers_) {
        httplib::Server* http = &s->http;
        threads_.emplace_back([http] { http->listen_after_bind(); });
    }
    threads_.emplace_back([this] { serveDiscovery(); });
}

void NetworkModules::serveDiscovery() {
    for (;;) {
        pollfd p[3] = {{udp_[0], POLLIN, 0}, {udp_[1], POLLIN, 0}, {wake_, POLLIN, 0}};
        if (::poll(p, 3, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p[2].revents) return;
        for (int k = 0; k < 2; ++k) {
            if (!(p[k].revents & POLLIN)) continue;
            uint8_t in[kDiscoveryDatagram];
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            ssize_t n = ::recvfrom(udp_[k], in, sizeof in, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n < 4) continue;
            const bool service = k == 1;
            if (std::memcmp(in, service ? "EQMA" : "BURN", 4) != 0) continue;
            for (const ModuleConfig& m : modules_) {
                if (m.service != service) continue;
                std::vector<uint8_t> out(service ? std::vector<uint8_t>{'E', 'Q', 'M', 'B', 'R'}
                                                 : std::vector<uint8_t>{'N', 'E', 'T', 'B', 'R'});
                std::vector<uint8_t> rec = discoveryRecord(m);
                out.insert(out.end(), rec.begin(), rec.end());
                ::sendto(udp_[k], out.data(), out.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
            }
        }
    }
}

void NetworkModules::stop() {
    for (auto& s : servers_) s->http.stop();
    if (wake_ >= 0) {
        uint64_t one = 1;
        ssize_t w = ::write(wake_, &one, sizeof one);
        (void)w;
    }
    for (auto& t : threads_)
        if (t.joinable()) t.join();
    threads_.clear();
    servers_.clear();
    for (int& fd : udp_)
        if (fd >= 0) ::close(fd), fd = -1;
    if (wake_ >= 0) ::close(wake_), wake_ = -1;
    if (!savedPingSetting_.empty()) {
        std::ofstream(kPingSetting) << savedPingSetting_;
        savedPingSetting_.clear();
    }
}

nlohmann::json NetworkModules::control(const std::vector<std::string>& args) {
    if (modules_.empty()) throw std::invalid_argument("the scenario has no network module");
    std::lock_guard<std::mutex> hold(lock_);
    if (!args.empty()) {
        const std::string& what = args[0];
        const size_t want = what == "slow" ? 2 : 1;
        if (args.size() != want) throw std::invalid_argument("netmod " + what + ": wrong number of arguments");
        if (what == "normal" || what == "unauthorized" || what == "close-early" || what == "malformed") {
            behaviour_.mode = what;
            if (what == "normal") behaviour_.delayMs = 0;
        } else if (what == "slow") {
            const std::string& ms = args[1];
            if (ms.empty() || ms.size() > 6 || ms.find_first_not_of("0123456789") != std::string::npos)
                throw std::invalid_argument("netmod slow: expected milliseconds, got \"" + ms + "\"");
            behaviour_.delayMs = std::stoi(ms);
        } else if (what == "chunked" || what == "plain") {
            behaviour_.chunked = what == "chunked";
        } else if (what == "drop-pings" || what == "answer-pings") {
            const bool drop = what == "drop-pings";
            // The echo setting belongs to the whole network namespace: only
            // touched when the emulator has a namespace of its own.
            if (!ownNetworkNamespace())
                throw std::invalid_argument("netmod " + what + ": the emulator must run in a network namespace of its own");
            if (drop && savedPingSetting_.empty()) std::getline(std::ifstream(kPingSetting), savedPingSetting_);
            std::ofstream out(kPingSetting);
            out << (drop ? "1" : (savedPingSetting_.empty() ? "0" : savedPingSetting_));
            if (!out) throw std::invalid_argument("netmod " + what + ": cannot write " + std::string(kPingSetting));
            if (!drop) savedPingSetting_.clear();
            behaviour_.dropPings = drop;
        } else if (what != "status") {
            throw std::invalid_argument("netmod: unknown setting \"" + what +
                                        "\" (normal, unauthorized, close-early, malformed, slow MS, chunked, plain, "
                                        "drop-pings, answer-pings, status)");
        }
    }
    json mods = json::array();
    for (const ModuleConfig& m : modules_)
        mods.push_back({{"system", m.system}, {"address", m.address}, {"port", m.port},
                        {"kind", m.service ? "service" : "netburner"}});
    return json{{"mode", behaviour_.mode}, {"delayMs", behaviour_.delayMs}, {"chunked", behaviour_.chunked},
                {"dropPings", behaviour_.dropPings}, {"modules", mods}};
}

}  // namespace sim
