// The out-of-band credentials: user name, password and IP address of the
// network module, handed over once by the front end and kept for the process.
#pragma once

#include <string>

void setOutOfBandParameters(const std::string& user, const std::string& password, const std::string& address);
const std::string& outOfBandUser();
const std::string& outOfBandPassword();
const std::string& outOfBandAddress();
