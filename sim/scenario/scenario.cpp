#include "scenario/scenario.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

namespace sim {
namespace {

using nlohmann::json;

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw ScenarioError(where.empty() ? what : where + ": " + what);
}

std::string at(const std::string& base, const std::string& key) {
    return base.empty() ? key : base + "." + key;
}
std::string at(const std::string& base, size_t index) {
    return base + "[" + std::to_string(index) + "]";
}

void onlyKeys(const json& obj, const std::string& where, const std::set<std::string>& allowed) {
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        if (!allowed.count(it.key())) fail(at(where, it.key()), "unknown key");
    }
}

int64_t integer(const json& obj, const std::string& key, const std::string& where, int64_t lo,
                int64_t hi, int64_t dflt, bool required = false) {
    auto it = obj.find(key);
    if (it == obj.end()) {
        if (required) fail(at(where, key), "missing");
        return dflt;
    }
    if (!it->is_number_integer())
        fail(at(where, key), "expected an integer from " + std::to_string(lo) + " to " +
                                 std::to_string(hi));
    int64_t v = it->is_number_unsigned() && it->get<uint64_t>() > static_cast<uint64_t>(INT64_MAX)
                    ? INT64_MAX
                    : it->get<int64_t>();
    if (v < lo || v > hi)
        fail(at(where, key), "expected an integer from " + std::to_string(lo) + " to " +
                                 std::to_string(hi) + ", got " + it->dump());
    return v;
}

std::string text(const json& obj, const std::string& key, const std::string& where, size_t maxLen,
                 const std::string& dflt, bool required = false) {
    auto it = obj.find(key);
    if (it == obj.end()) {
        if (required) fail(at(where, key), "missing");
        return dflt;
    }
    if (!it->is_string()) fail(at(where, key), "expected a string");
    std::string s = it->get<std::string>();
    if (s.size() > maxLen)
        fail(at(where, key), "longer than " + std::to_string(maxLen) + " characters");
    for (unsigned char c : s)
        if (c < 0x20 || c > 0x7E) fail(at(where, key), "only printable ASCII characters are allowed");
    return s;
}

uint64_t wwn(const json& obj, const std::string& key, const std::string& where, uint64_t dflt) {
    auto it = obj.find(key);
    if (it == obj.end()) return dflt;
    std::vector<uint8_t> bytes;
    if (!it->is_string() || it->get<std::string>().size() != 16 ||
        !fromHex(it->get<std::string>(), bytes))
        fail(at(where, key), "expected 16 hexadecimal digits");
    uint64_t v = 0;
    for (uint8_t b : bytes) v = (v << 8) | b;
    return v;
}

std::vector<uint8_t> descriptor(const json& d, const std::string& where) {
    if (!d.is_object()) fail(where, "expected an object");
    if (d.contains("raw")) {
        onlyKeys(d, where, {"raw"});
        std::vector<uint8_t> bytes;
        if (!d["raw"].is_string() || !fromHex(d["raw"].get<std::string>(), bytes))
            fail(at(where, "raw"), "expected an even number of hexadecimal digits");
        return bytes;
    }
    onlyKeys(d, where, {"protocol", "codeSet", "piv", "association", "type", "hex", "text"});
    int64_t protocol = integer(d, "protocol", where, 0, 15, 0);
    int64_t codeSet = integer(d, "codeSet", where, 0, 15, 1);
    int64_t association = integer(d, "association", where, 0, 3, 0);
    int64_t type = integer(d, "type", where, 0, 15, 0, true);
    bool piv = false;
    if (d.contains("piv")) {
        if (!d["piv"].is_boolean()) fail(at(where, "piv"), "expected true or false");
        piv = d["piv"].get<bool>();
    }
    std::vector<uint8_t> id;
    if (d.contains("hex") == d.contains("text")) fail(where, "give exactly one of \"hex\" and \"text\"");
    if (d.contains("hex")) {
        if (!d["hex"].is_string() || !fromHex(d["hex"].get<std::string>(), id))
            fail(at(where, "hex"), "expected an even number of hexadecimal digits");
    } else {
        std::string s = text(d, "text", where, 255, "");
        id.assign(s.begin(), s.end());
    }
    if (id.size() > 255) fail(where, "identifier longer than 255 bytes");
    std::vector<uint8_t> out = {
        static_cast<uint8_t>((protocol << 4) | codeSet),
        static_cast<uint8_t>((piv ? 0x80 : 0) | (association << 4) | type), 0,
        static_cast<uint8_t>(id.size())};
    out.insert(out.end(), id.begin(), id.end());
    return out;
}

void identity(const json& obj, const std::string& where, UnitIdentity& u, bool tolvo) {
    u.vendor = text(obj, "vendor", where, 8, tolvo ? "TOLVO" : "", !tolvo);
    u.product = text(obj, "product", where, 16, tolvo ? "TOLVO RAID 7000" : "", !tolvo);
    u.revision = text(obj, "revision", where, 4, tolvo ? "0513" : "0001");
    u.capacityBlocks = static_cast<uint64_t>(
        integer(obj, "capacityBlocks", where, 1, INT64_MAX, 2097152));
    u.blockSize = static_cast<uint32_t>(integer(obj, "blockSize", where, 1, 0xFFFFFFFFll, 512));
    if (auto it = obj.find("identifiers"); it != obj.end()) {
        std::string w = at(where, "identifiers");
        if (!it->is_array()) fail(w, "expected an array");
        for (size_t i = 0; i < it->size(); ++i) u.extraDescriptors.push_back(descriptor((*it)[i], at(w, i)));
    }
}

PathConfig path(const json& p, const std::string& where, int defaultTarget, bool device) {
    if (!p.is_object()) fail(where, "expected an object");
    PathConfig c;
    c.sg = static_cast<int>(integer(p, "sg", where, 0, kMaxSgNumber, 0, true));
    c.host = static_cast<int>(integer(p, "host", where, 0, INT32_MAX, 0));
    c.channel = static_cast<int>(integer(p, "channel", where, 0, INT32_MAX, 0));
    c.target = static_cast<int>(integer(p, "target", where, 0, INT32_MAX, defaultTarget));
    c.lun = static_cast<int>(integer(p, "lun", where, 0, INT32_MAX, 0));
    uint64_t base = device ? 0x5000C50000000000ull : 0x2100001B32000000ull;
    c.portWwn = wwn(p, "portWwn", where, base + static_cast<uint64_t>(c.sg));
    c.initiatorWwn = wwn(p, "initiatorWwn", where, 0x10000000C9000000ull + static_cast<uint64_t>(c.sg));
    return c;
}

}  // namespace

const std::vector<std::string>& serverSystemKeys() {
    static const std::vector<std::string> keys = {"vendor", "product", "revision", "capacityBlocks",
                                                  "blockSize", "paths", "identifiers", "network"};
    return keys;
}

Scenario parseScenario(const json& doc) {
    if (!doc.is_object()) fail("", "the scenario must be a JSON object");
    onlyKeys(doc, "", {"systems", "devices", "description"});
    Scenario sc;
    std::set<int> sgSeen;
    auto claim = [&](int sg, const std::string& where) {
        if (!sgSeen.insert(sg).second) fail(at(where, "sg"), "sg" + std::to_string(sg) + " is used twice");
        if (sgSeen.size() > kMaxDevices)
            fail(where, "more than " + std::to_string(kMaxDevices) + " devices");
    };
    if (auto it = doc.find("description"); it != doc.end() && !it->is_string())
        fail("description", "expected a string");
    if (auto it = doc.find("systems"); it != doc.end()) {
        if (!it->is_array()) fail("systems", "expected an array");
        for (size_t i = 0; i < it->size(); ++i) {
            const json& s = (*it)[i];
            std::string where = at("systems", i);
            if (!s.is_object()) fail(where, "expected an object");
            SystemConfig sys;
            sys.object = s;
            identity(s, where, sys.unit, true);
            auto p = s.find("paths");
            if (p == s.end()) fail(at(where, "paths"), "missing");
            if (!p->is_array() || p->empty()) fail(at(where, "paths"), "expected a non-empty array");
            for (size_t k = 0; k < p->size(); ++k) {
                std::string pw = at(at(where, "paths"), k);
                if ((*p)[k].is_object())
                    onlyKeys((*p)[k], pw, {"sg", "host", "channel", "target", "lun", "portWwn", "initiatorWwn"});
                sys.paths.push_back(path((*p)[k], pw, static_cast<int>(k), false));
                claim(sys.paths.back().sg, pw);
            }
            sys.unit.multiPort = sys.paths.size() > 1;
            sc.systems.push_back(std::move(sys));
        }
    }
    if (auto it = doc.find("devices"); it != doc.end()) {
        if (!it->is_array()) fail("devices", "expected an array");
        for (size_t i = 0; i < it->size(); ++i) {
            const json& d = (*it)[i];
            std::string where = at("devices", i);
            if (!d.is_object()) fail(where, "expected an object");
            onlyKeys(d, where, {"sg", "vendor", "product", "revision", "type", "host", "channel", "target",
                                "lun", "portWwn", "initiatorWwn", "capacityBlocks", "blockSize", "identifiers"});
            DeviceConfig dev;
            dev.object = d;
            identity(d, where, dev.unit, false);
            dev.unit.peripheralType = static_cast<uint8_t>(integer(d, "type", where, 0, 31, 0));
            dev.path = path(d, where, 0, true);
            claim(dev.path.sg, where);
            sc.devices.push_back(std::move(dev));
        }
    }
    return sc;
}

Scenario parseScenarioText(const std::string& textIn) {
    json doc;
    try {
        doc = json::parse(textIn);
    } catch (const json::parse_error& e) {
        throw ScenarioError(std::string("not valid JSON: ") + e.what());
    }
    return parseScenario(doc);
}

std::string readScenarioFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ScenarioError(std::string("cannot read: ") + std::strerror(errno));
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) throw ScenarioError("cannot read the file");
    return ss.str();
}

std::string toHex(const uint8_t* p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s(2 * n, '0');
    for (size_t i = 0; i < n; ++i) {
        s[2 * i] = digits[p[i] >> 4];
        s[2 * i + 1] = digits[p[i] & 15];
    }
    return s;
}

bool fromHex(const std::string& s, std::vector<uint8_t>& out) {
    if (s.size() % 2 != 0) return false;
    auto nib = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    out.clear();
    out.reserve(s.size() / 2);
    for (size_t i = 0; i < s.size(); i += 2) {
        int hi = nib(s[i]), lo = nib(s[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
    return true;
}

std::string wwnHex(uint64_t w) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(w));
    return buf;
}

}  // namespace sim
