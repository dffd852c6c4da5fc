#include <string>

#include "default_scenario_data.h"
#include "scenario/scenario.h"

namespace sim {

const std::string& embeddedDefaultScenario() {
    static const std::string text(reinterpret_cast<const char*>(kDefaultScenarioJson),
                                  kDefaultScenarioJsonSize);
    return text;
}

}  // namespace sim
