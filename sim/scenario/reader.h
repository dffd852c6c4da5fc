// The one reader of scenario files (and of the state files written in the same
// form): typed values with their ranges and defaults, one rule for WWNs and
// hexadecimal, and a refusal of every key that no part of the emulator reads,
// named by its path ("systems[0].arrrays: unknown key").
//
// A ScenarioObject remembers which keys were taken. Objects reached from it
// (object(), section(), objects(), child()) share that record, so that one
// finish() on the outermost object checks the whole tree:
//
//   ScenarioObject sys(json, "");
//   auto level = sys.integer("level", 0, 50, 5);
//   for (ScenarioObject a : sys.objects("arrays")) { ... a.text("name", "") ... }
//   sys.finish();   // throws for any key nobody took
//
// A new scenario key needs nothing but the read of it.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace sim {

class ScenarioError : public std::runtime_error {
public:
    explicit ScenarioError(const std::string& what) : std::runtime_error(what), detail_(what) {}
    ScenarioError(const std::string& path, const std::string& what)
        : std::runtime_error(path.empty() ? what : path + ": " + what), path_(path), detail_(what) {}
    const std::string& path() const { return path_; }
    const std::string& detail() const { return detail_; }
    // The same fault in an object that sits at `prefix` of a bigger document.
    ScenarioError under(const std::string& prefix) const;

private:
    std::string path_;
    std::string detail_;
};

// Paths: "a.b", "a[3]".
std::string keyPath(const std::string& base, const std::string& key);
std::string indexPath(const std::string& base, size_t index);

// Hexadecimal, as scenario, state and control texts write it: digits in either
// case, two per byte; written in small letters.
std::string toHex(const uint8_t* p, size_t n);
bool fromHex(std::string_view s, std::vector<uint8_t>& out);
// A WWN is exactly 16 hexadecimal digits.
std::string wwnHex(uint64_t wwn);
uint64_t wwnValue(const nlohmann::json& v, const std::string& path);

class ScenarioObject {
public:
    // A reader over the object `j` at `path` ("" for the document itself);
    // `j` must outlive the reader. Throws ScenarioError when `j` is not an object.
    ScenarioObject(const nlohmann::json& j, std::string path);

    const std::string& path() const;
    const nlohmann::json& value() const;
    bool has(const std::string& key) const;
    // Takes a key without reading it (a key that another reader handles).
    void skip(const std::string& key) const;
    // Leaves the keys of this object unchecked (they belong to another reader).
    void leaveOpen() const;
    // The value of a key, taken; null when absent.
    const nlohmann::json* find(const std::string& key) const;

    static constexpr int64_t kNoDefault = std::numeric_limits<int64_t>::min();
    // An integer in [lo, hi]; `dflt` when absent, or missing when kNoDefault.
    int64_t integer(const std::string& key, int64_t lo, int64_t hi, int64_t dflt = kNoDefault) const;
    // Printable ASCII text of at most maxLen characters; missing when !dflt.
    std::string text(const std::string& key, std::optional<std::string> dflt = std::nullopt,
                     size_t maxLen = std::numeric_limits<size_t>::max()) const;
    bool flag(const std::string& key, bool dflt) const;
    // A WWN; missing when !dflt.
    uint64_t wwn(const std::string& key, std::optional<uint64_t> dflt = std::nullopt) const;
    // One of `choices` (a text), returned as its index.
    size_t choice(const std::string& key, const std::vector<std::string>& choices, size_t dflt) const;

    // A nested object; nullopt when absent.
    std::optional<ScenarioObject> object(const std::string& key) const;
    // A nested object, or an empty one when absent.
    ScenarioObject section(const std::string& key) const;
    // The elements of an array of objects (empty when absent).
    std::vector<ScenarioObject> objects(const std::string& key,
                                        size_t max = std::numeric_limits<size_t>::max()) const;
    // The elements of an array of any values, with their paths (empty when absent).
    struct Element {
        const nlohmann::json& value;
        std::string path;
    };
    std::vector<Element> values(const std::string& key, size_t max = std::numeric_limits<size_t>::max()) const;
    // A reader over an element that is an object.
    ScenarioObject child(const Element& e) const;

    [[noreturn]] void fail(const std::string& key, const std::string& what) const;
    [[noreturn]] void failHere(const std::string& what) const;

    // Refuses the first key that no reader took, in this object or any object
    // reached from it.
    void finish() const;

private:
    struct Node {
        const nlohmann::json* j;
        std::string path;
        mutable std::set<std::string> taken;
        mutable bool open = false;
    };
    struct Tree {
        std::vector<std::unique_ptr<Node>> nodes;
    };
    ScenarioObject(std::shared_ptr<Tree> tree, const nlohmann::json& j, std::string path);
    const nlohmann::json& arrayAt(const std::string& key, size_t max, bool& present) const;

    std::shared_ptr<Tree> tree_;
    Node* node_;
};

}  // namespace sim
