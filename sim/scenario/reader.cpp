#include "scenario/reader.h"

#include <cstdio>

namespace sim {

using nlohmann::json;

ScenarioError ScenarioError::under(const std::string& prefix) const {
    std::string p = path_.empty() ? prefix : path_[0] == '[' ? prefix + path_ : keyPath(prefix, path_);
    return ScenarioError(p, detail_);
}

std::string keyPath(const std::string& base, const std::string& key) { return base.empty() ? key : base + "." + key; }

std::string indexPath(const std::string& base, size_t index) { return base + "[" + std::to_string(index) + "]"; }

std::string toHex(const uint8_t* p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s(2 * n, '0');
    for (size_t i = 0; i < n; ++i) {
        s[2 * i] = digits[p[i] >> 4];
        s[2 * i + 1] = digits[p[i] & 15];
    }
    return s;
}

bool fromHex(std::string_view s, std::vector<uint8_t>& out) {
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

uint64_t wwnValue(const json& v, const std::string& path) {
    std::vector<uint8_t> bytes;
    if (!v.is_string() || v.get_ref<const std::string&>().size() != 16 ||
        !fromHex(v.get_ref<const std::string&>(), bytes))
        throw ScenarioError(path, "expected 16 hexadecimal digits");
    uint64_t w = 0;
    for (uint8_t b : bytes) w = (w << 8) | b;
    return w;
}

ScenarioObject::ScenarioObject(const json& j, std::string path)
    : ScenarioObject(std::make_shared<Tree>(), j, std::move(path)) {}

ScenarioObject::ScenarioObject(std::shared_ptr<Tree> tree, const json& j, std::string path) : tree_(std::move(tree)) {
    if (!j.is_object()) throw ScenarioError(path, "expected an object");
    tree_->nodes.push_back(std::make_unique<Node>(Node{&j, std::move(path), {}, false}));
    node_ = tree_->nodes.back().get();
}

const std::string& ScenarioObject::path() const { return node_->path; }
const json& ScenarioObject::value() const { return *node_->j; }
bool ScenarioObject::has(const std::string& key) const { return node_->j->contains(key); }
void ScenarioObject::skip(const std::string& key) const { node_->taken.insert(key); }
void ScenarioObject::leaveOpen() const { node_->open = true; }

const json* ScenarioObject::find(const std::string& key) const {
    auto it = node_->j->find(key);
    if (it == node_->j->end()) return nullptr;
    node_->taken.insert(key);
    return &*it;
}

void ScenarioObject::fail(const std::string& key, const std::string& what) const {
    throw ScenarioError(keyPath(node_->path, key), what);
}

void ScenarioObject::failHere(const std::string& what) const { throw ScenarioError(node_->path, what); }

int64_t ScenarioObject::integer(const std::string& key, int64_t lo, int64_t hi, int64_t dflt) const {
    const json* v = find(key);
    if (!v) {
        if (dflt == kNoDefault) fail(key, "missing");
        return dflt;
    }
    std::string range = "expected an integer from " + std::to_string(lo) + " to " + std::to_string(hi);
    if (!v->is_number_integer()) fail(key, range);
    int64_t x = v->is_number_unsigned() && v->get<uint64_t>() > static_cast<uint64_t>(INT64_MAX)
                    ? INT64_MAX
                    : v->get<int64_t>();
    if (x < lo || x > hi) fail(key, range + ", got " + v->dump());
    return x;
}

std::string ScenarioObject::text(const std::string& key, std::optional<std::string> dflt, size_t maxLen) const {
    const json* v = find(key);
    if (!v) {
        if (!dflt) fail(key, "missing");
        return *dflt;
    }
    if (!v->is_string()) fail(key, "expected a string");
    const std::string& s = v->get_ref<const std::string&>();
    if (s.size() > maxLen) fail(key, "longer than " + std::to_string(maxLen) + " characters");
    for (unsigned char c : s)
        if (c < 0x20 || c > 0x7E) fail(key, "only printable ASCII characters are allowed");
    return s;
}

bool ScenarioObject::flag(const std::string& key, bool dflt) const {
    const json* v = find(key);
    if (!v) return dflt;
    if (!v->is_boolean()) fail(key, "expected true or false");
    return v->get<bool>();
}

uint64_t ScenarioObject::wwn(const std::string& key, std::optional<uint64_t> dflt) const {
    const json* v = find(key);
    if (!v) {
        if (!dflt) fail(key, "missing");
        return *dflt;
    }
    return wwnValue(*v, keyPath(node_->path, key));
}

size_t ScenarioObject::choice(const std::string& key, const std::vector<std::string>& choices, size_t dflt) const {
    if (!has(key)) return dflt;
    std::string s = text(key);
    for (size_t i = 0; i < choices.size(); ++i)
        if (s == choices[i]) return i;
    std::string list;
    for (size_t i = 0; i < choices.size(); ++i)
        list += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + choices[i];
    fail(key, "expected " + list + ", got \"" + s + "\"");
}

std::optional<ScenarioObject> ScenarioObject::object(const std::string& key) const {
    const json* v = find(key);
    if (!v) return std::nullopt;
    return ScenarioObject(tree_, *v, keyPath(node_->path, key));
}

ScenarioObject ScenarioObject::section(const std::string& key) const {
    static const nlohmann::json empty = nlohmann::json::object();
    if (auto o = object(key)) return *o;
    return ScenarioObject(tree_, empty, keyPath(node_->path, key));
}

const json& ScenarioObject::arrayAt(const std::string& key, size_t max, bool& present) const {
    static const nlohmann::json empty = nlohmann::json::array();
    const json* v = find(key);
    present = v != nullptr;
    if (!v) return empty;
    if (!v->is_array()) fail(key, "expected an array");
    if (v->size() > max) fail(key, "expected at most " + std::to_string(max) + " elements");
    return *v;
}

std::vector<ScenarioObject::Element> ScenarioObject::values(const std::string& key, size_t max) const {
    bool present = false;
    const json& a = arrayAt(key, max, present);
    std::vector<Element> out;
    std::string base = keyPath(node_->path, key);
    for (size_t i = 0; i < a.size(); ++i) out.push_back(Element{a[i], indexPath(base, i)});
    return out;
}

std::vector<ScenarioObject> ScenarioObject::objects(const std::string& key, size_t max) const {
    std::vector<ScenarioObject> out;
    for (const Element& e : values(key, max)) out.push_back(child(e));
    return out;
}

ScenarioObject ScenarioObject::child(const Element& e) const { return ScenarioObject(tree_, e.value, e.path); }

void ScenarioObject::finish() const {
    for (const auto& n : tree_->nodes) {
        if (n->open) continue;
        for (auto it = n->j->begin(); it != n->j->end(); ++it)
            if (!n->taken.count(it.key())) throw ScenarioError(keyPath(n->path, it.key()), "unknown key");
    }
}

}  // namespace sim
