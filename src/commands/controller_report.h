// Report texts of the controller library, built from the controller
// information record. Pure: they only append to the shared output text.
#pragma once

#include <cstdint>
#include <string>

#include "wire/controller.h"

namespace commands {

// Model name of a product type ("unknown" for types without one).
const char* productTypeName(uint32_t type);
// "January" ... "December", "Error" for any other value.
const char* monthName(uint8_t month);
// "Verify", "ReWrite", "Verify/ReWrite", else the mode as "%#x".
std::string parityModeText(uint8_t mode);

// The common section of the controller information report (command path and
// background jobs).
void appendCommonSection(const wire::ALL_CONTROLLER_INFO_AND_FAIL_STRUCT& info);
// One controller record; `productType` chooses the sections (9 and 17 have no
// voltage readings, 9 no temperatures, 13 and 17 special battery texts).
void appendControllerRecord(const wire::CONTROLLER_INFO_STRUCT& record, uint32_t productType);

}  // namespace commands
