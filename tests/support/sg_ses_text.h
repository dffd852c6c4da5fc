// Reading what sg3_utils' sg_ses prints for an enclosure status page, and the
// hexadecimal page files it reads (--inhex), so that our decoder can be checked
// against that independent one.
#pragma once

#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/process.h"

namespace testsupport {

// One element of sg_ses's "status descriptor list".
struct SgSesElement {
    int typeIndex = -1;             // [ti=N]
    int element = -1;               // -1 for the overall descriptor
    int status = -1;                // SES status code
    std::optional<int> temperature; // "Temperature=N C"; nullopt for none or <reserved>
    std::map<std::string, int> flags;  // "Name=0/1" fields
};

inline int sgSesStatusCode(const std::string& name) {
    static const char* const names[] = {"Unsupported", "OK", "Critical", "Noncritical", "Unrecoverable",
                                        "Not installed", "Unknown", "Not available", "No access allowed"};
    for (int i = 0; i < 9; ++i)
        if (name == names[i]) return i;
    return -1;
}

inline std::vector<SgSesElement> parseSgSesStatus(const std::string& text) {
    std::vector<SgSesElement> out;
    std::istringstream in(text);
    std::string line;
    int ti = -1;
    while (std::getline(in, line)) {
        if (auto p = line.find("[ti="); p != std::string::npos) {
            ti = std::stoi(line.substr(p + 4));
            continue;
        }
        if (line.find("Overall descriptor:") != std::string::npos) {
            out.push_back({ti, -1, -1, std::nullopt, {}});
            continue;
        }
        if (auto p = line.find("Element "); p != std::string::npos && line.find(" descriptor:") != std::string::npos &&
                                            line.find("Element type") == std::string::npos) {
            out.push_back({ti, std::stoi(line.substr(p + 8)), -1, std::nullopt, {}});
            continue;
        }
        if (out.empty()) continue;
        SgSesElement& e = out.back();
        if (auto p = line.find("status: "); p != std::string::npos) e.status = sgSesStatusCode(line.substr(p + 8));
        if (auto p = line.find("Temperature="); p != std::string::npos) e.temperature = std::stoi(line.substr(p + 12));
        // "Name=0, Other name=1" fields.
        std::istringstream fields(line.substr(0, line.find("status:")));
        std::string field;
        while (std::getline(fields, field, ',')) {
            const auto eq = field.find('=');
            if (eq == std::string::npos || eq + 1 >= field.size()) continue;
            std::string name = field.substr(0, eq);
            name.erase(0, name.find_first_not_of(" :"));
            if (auto colon = name.rfind(": "); colon != std::string::npos) name = name.substr(colon + 2);
            const char v = field[eq + 1];
            if (v == '0' || v == '1') e.flags[name] = v - '0';
        }
    }
    return out;
}

// The pages of a hexadecimal page file ('#' starts a comment), split by their
// page length fields.
inline std::vector<std::vector<uint8_t>> readHexPages(const std::string& path) {
    std::ifstream f(path);
    std::vector<uint8_t> bytes;
    std::string line;
    while (std::getline(f, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::string w;
        while (words >> w) bytes.push_back(static_cast<uint8_t>(std::stoul(w, nullptr, 16)));
    }
    std::vector<std::vector<uint8_t>> pages;
    for (size_t off = 0; off + 4 <= bytes.size();) {
        const size_t n = std::min(bytes.size() - off, 4 + size_t{static_cast<size_t>(bytes[off + 2] << 8 | bytes[off + 3])});
        pages.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(off),
                           bytes.begin() + static_cast<std::ptrdiff_t>(off + n));
        off += n;
    }
    return pages;
}

// The status our decoder gives an element that sg_ses decoded: the SES status
// code, except the temperature sensor and alarm rules of the program's scale,
// restated here from sg_ses's own names for the bits.
inline int expectedProgramStatus(const SgSesElement& e, uint8_t type) {
    auto f = [&](const char* name) {
        auto it = e.flags.find(name);
        return it != e.flags.end() && it->second == 1;
    };
    if (type == 0x04) {
        if (f("Fail") || f("OT failure") || f("UT failure")) return 4;
        if (f("UT warning")) return 2;
    }
    if (type == 0x06) {
        if (f("Fail") || f("Unrecov") || f("Crit") || f("Non-crit") || f("Info") || f("Remind")) return 9;
        if (f("Request mute")) return 10;
        if (f("Mute")) return 7;
    }
    return e.status;
}

}  // namespace testsupport
