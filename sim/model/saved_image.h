// A scenario that serves the system a saved configuration file describes.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace sim {

// Reads a saved configuration (the raw image) and returns a scenario of one
// system with the image's drives, arrays, logical drives, maps and spares.
// Throws std::runtime_error saying what is wrong when the file is not a whole,
// consistent image.
nlohmann::json scenarioFromSavedImage(const std::string& path);

}  // namespace sim
