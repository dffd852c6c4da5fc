// Scenario files: which RAID systems and other devices the emulator serves, on
// which simulated sg nodes. The emulator reads the top level, the devices and
// the per-system keys of the device side (identity, capacity, paths, extra
// identification descriptors); every other key of a system object belongs to
// the firmware model and is handed to it untouched.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "scenario/reader.h"
#include "scsi/standard_commands.h"

namespace sim {

struct PathConfig {
    int sg = 0;
    int host = 0;
    int channel = 0;
    int target = 0;
    int lun = 0;
    uint64_t portWwn = 0;
    uint64_t initiatorWwn = 0;
};

struct SystemConfig {
    UnitIdentity unit;
    std::vector<PathConfig> paths;
    nlohmann::json object;  // the whole system object, as the model receives it
};

struct DeviceConfig {
    UnitIdentity unit;
    PathConfig path;
    nlohmann::json object;
};

struct Scenario {
    std::vector<SystemConfig> systems;
    std::vector<DeviceConfig> devices;
};

inline constexpr size_t kMaxDevices = 2048;
inline constexpr int kMaxSgNumber = 65535;

// The keys of a system object that the device side reads (the rest is the model's).
const std::vector<std::string>& serverSystemKeys();

// Validates and decodes a scenario; throws ScenarioError naming the offending
// key (for example "systems[0].paths[1].portWwn: expected 16 hexadecimal digits").
Scenario parseScenario(const nlohmann::json& doc);
// Parses JSON text first (syntax errors become ScenarioError too).
Scenario parseScenarioText(const std::string& text);
// Reads a file; a file that cannot be read is a ScenarioError as well.
std::string readScenarioFile(const std::string& path);

// The default scenario compiled into the emulator.
const std::string& embeddedDefaultScenario();

}  // namespace sim
