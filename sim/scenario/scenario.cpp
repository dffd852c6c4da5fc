#include "scenario/scenario.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

namespace sim {
namespace {

using nlohmann::json;

std::vector<uint8_t> hexBytes(const ScenarioObject& o, const std::string& key) {
    std::vector<uint8_t> bytes;
    const json* v = o.find(key);
    if (!v || !v->is_string() || !fromHex(v->get_ref<const std::string&>(), bytes))
        o.fail(key, "expected an even number of hexadecimal digits");
    return bytes;
}

std::vector<uint8_t> descriptor(const ScenarioObject& d) {
    if (d.has("raw")) return hexBytes(d, "raw");
    int64_t protocol = d.integer("protocol", 0, 15, 0);
    int64_t codeSet = d.integer("codeSet", 0, 15, 1);
    int64_t association = d.integer("association", 0, 3, 0);
    int64_t type = d.integer("type", 0, 15);
    bool piv = d.flag("piv", false);
    std::vector<uint8_t> id;
    if (d.has("hex") == d.has("text")) d.failHere("give exactly one of \"hex\" and \"text\"");
    if (d.has("hex")) {
        id = hexBytes(d, "hex");
    } else {
        std::string s = d.text("text", "", 255);
        id.assign(s.begin(), s.end());
    }
    if (id.size() > 255) d.failHere("identifier longer than 255 bytes");
    std::vector<uint8_t> out = {static_cast<uint8_t>((protocol << 4) | codeSet),
                                static_cast<uint8_t>((piv ? 0x80 : 0) | (association << 4) | type), 0,
                                static_cast<uint8_t>(id.size())};
    out.insert(out.end(), id.begin(), id.end());
    return out;
}

void identity(const ScenarioObject& o, UnitIdentity& u, bool tolvo) {
    auto dflt = [tolvo](const char* v) { return tolvo ? std::optional<std::string>(v) : std::nullopt; };
    u.vendor = o.text("vendor", dflt("TOLVO"), 8);
    u.product = o.text("product", dflt("TOLVO RAID 8200"), 16);
    u.revision = o.text("revision", tolvo ? "0513" : "0001", 4);
    u.capacityBlocks = static_cast<uint64_t>(o.integer("capacityBlocks", 1, INT64_MAX, 2097152));
    u.blockSize = static_cast<uint32_t>(o.integer("blockSize", 1, 0xFFFFFFFFll, 512));
    for (const ScenarioObject& d : o.objects("identifiers")) u.extraDescriptors.push_back(descriptor(d));
}

PathConfig path(const ScenarioObject& p, int defaultTarget, bool device) {
    PathConfig c;
    c.sg = static_cast<int>(p.integer("sg", 0, kMaxSgNumber));
    c.host = static_cast<int>(p.integer("host", 0, INT32_MAX, 0));
    c.channel = static_cast<int>(p.integer("channel", 0, INT32_MAX, 0));
    c.target = static_cast<int>(p.integer("target", 0, INT32_MAX, defaultTarget));
    c.lun = static_cast<int>(p.integer("lun", 0, INT32_MAX, 0));
    uint64_t base = device ? 0x5000C50000000000ull : 0x2100001B32000000ull;
    c.portWwn = p.wwn("portWwn", base + static_cast<uint64_t>(c.sg));
    c.initiatorWwn = p.wwn("initiatorWwn", 0x10000000C9000000ull + static_cast<uint64_t>(c.sg));
    return c;
}

class SgClaims {
public:
    void claim(int sg, const std::string& where) {
        if (!seen_.insert(sg).second) throw ScenarioError(keyPath(where, "sg"), "sg" + std::to_string(sg) + " is used twice");
        if (seen_.size() > kMaxDevices) throw ScenarioError(where, "more than " + std::to_string(kMaxDevices) + " devices");
    }

private:
    std::set<int> seen_;
};

SystemConfig system(const ScenarioObject& s, SgClaims& sgs) {
    SystemConfig sys;
    sys.object = s.value();
    identity(s, sys.unit, true);
    if (!s.has("paths")) s.fail("paths", "missing");
    std::vector<ScenarioObject> paths = s.objects("paths");
    if (paths.empty()) s.fail("paths", "expected a non-empty array");
    for (size_t k = 0; k < paths.size(); ++k) {
        sys.paths.push_back(path(paths[k], static_cast<int>(k), false));
        sgs.claim(sys.paths.back().sg, paths[k].path());
    }
    sys.unit.multiPort = sys.paths.size() > 1;
    s.leaveOpen();  // the other keys are the firmware model's, which checks them
    return sys;
}

DeviceConfig device(const ScenarioObject& d, SgClaims& sgs) {
    DeviceConfig dev;
    dev.object = d.value();
    identity(d, dev.unit, false);
    dev.unit.peripheralType = static_cast<uint8_t>(d.integer("type", 0, 31, 0));
    dev.path = path(d, 0, true);
    sgs.claim(dev.path.sg, d.path());
    return dev;
}

}  // namespace

const std::vector<std::string>& serverSystemKeys() {
    static const std::vector<std::string> keys = {"vendor", "product", "revision", "capacityBlocks",
                                                  "blockSize", "paths", "identifiers", "network"};
    return keys;
}

Scenario parseScenario(const json& doc) {
    if (!doc.is_object()) throw ScenarioError("the scenario must be a JSON object");
    ScenarioObject top(doc, "");
    Scenario sc;
    SgClaims sgs;
    top.text("description", "");
    for (const ScenarioObject& s : top.objects("systems")) sc.systems.push_back(system(s, sgs));
    for (const ScenarioObject& d : top.objects("devices")) sc.devices.push_back(device(d, sgs));
    top.finish();
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

}  // namespace sim
