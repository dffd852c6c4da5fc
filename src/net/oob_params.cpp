#include "net/oob_params.h"

namespace {
std::string g_user;
std::string g_password;
std::string g_address;
}  // namespace

void setOutOfBandParameters(const std::string& user, const std::string& password, const std::string& address) {
    g_user = user;
    g_password = password;
    g_address = address;
}

const std::string& outOfBandUser() { return g_user; }
const std::string& outOfBandPassword() { return g_password; }
const std::string& outOfBandAddress() { return g_address; }
