#include "commands/controller.h"

#include <cstdio>
#include <cstring>

#include "commands/controller_report.h"
#include "commands/global.h"
#include "lapi/reads.h"
#include "net/http.h"

commandController::commandController() : m_info(commands::allocateBuffer(kInfoSize)) {
    if (!m_info) commands::allocationFailure("Error: Memory allocation failure\n", true);
}


uint32_t commandController::readInformation() {
    std::memset(m_info.get(), 0, kInfoSize);
    return LAPIGetControllerInfoAndDriveFailureInfo(m_index, m_info.get());
}

wire::ALL_CONTROLLER_INFO_AND_FAIL_STRUCT commandController::information() const {
    wire::ALL_CONTROLLER_INFO_AND_FAIL_STRUCT info;
    static_assert(sizeof info == kInfoSize);
    std::memcpy(&info, m_info.get(), sizeof info);
    return info;
}

uint32_t commandController::getProductType(uint32_t& type) {
    uint32_t status = readInformation();
    if (status == 0) {
        auto info = information();
        const auto& record = wire::activeController(info);
        if ((record.controllerType & wire::kControllerTypeValid) != wire::kControllerTypeValid)
            Global::append("Controller type is not valid \n");
        else
            type = record.controllerType & wire::kProductTypeMask;
    }
    return Global::report(status);
}

uint32_t commandController::displayProductType() {
    uint32_t type = 0;
    uint32_t status = getProductType(type);
    if (status == 0) Global::append("\nController type is %s", commands::productTypeName(type));
    return Global::report(status);
}

uint32_t commandController::getRAIDFirmwareRevision() {
    uint32_t status = readInformation();
    if (status != 0) return Global::report(status);
    auto info = information();
    bool valid0 = info.controllerValid[0] == wire::kFlagYes;
    bool valid1 = info.controllerValid[1] == wire::kFlagYes;
    if (!valid0 && !valid1) {
        Global::append("\nError: Both controllers are not valid");
        Global::append("\n");
        return Global::report(CMD_ERR_INVALID_CONTROLLER_INDEX);
    }
    auto revision = [](const wire::CONTROLLER_INFO_STRUCT& r, const char* versionLabel) {
        Global::append("\nF/W Version      : %.4s", std::string(r.fwBuild, sizeof r.fwBuild).c_str());
        Global::append("\nF/W Date         : %.16s", std::string(r.fwCompileDate, sizeof r.fwCompileDate).c_str());
        Global::append("%s", versionLabel);
        Global::format(r.controllerType);
    };
    if (valid0) {
        Global::string.clear();
        Global::append("\n\n********************Controller 0 Information********************\n");
        revision(info.controller[0], "\nCont A Version   : ");
    }
    if (valid1) {
        Global::append("\n\n********************Controller 1 Information********************\n");
        revision(info.controller[1], "\nCont B Version   : ");
    }
    Global::append("\n");
    return Global::report(0);
}

uint32_t commandController::printCntrlInfo(const wire::CONTROLLER_INFO_STRUCT& record) {
    uint32_t type = 0;
    uint32_t status = getProductType(type);
    if (status == 0) status = displayProductType();
    if (status != 0) {
        Global::append("Unable to retrieve controller information.\n");
        return Global::report(status);
    }
    Global::string.clear();
    commands::appendControllerRecord(record, type);
    return Global::report(0);
}

uint32_t commandController::getControllerInfoAndDriveFailureInfo() {
    uint32_t status = readInformation();
    if (status != 0) return Global::report(status);
    auto info = information();
    commands::appendCommonSection(info);
    for (int c = 0; c < 2; ++c) {
        if (info.controllerValid[c] != wire::kFlagYes) continue;
        Global::append("\n\n********************Controller %d Information********************\n", c);
        Global::print();
        status = printCntrlInfo(info.controller[c]);
    }
    return Global::report(status);
}

uint32_t commandController::getAllControllerInfo() {
    uint32_t status = displayProductType();
    if (status == 0) status = getRAIDFirmwareRevision();
    if (status == 0) status = getControllerInfoAndDriveFailureInfo();
    return Global::report(status);
}

uint32_t commandController::displayDiagDump() {
    uint32_t status = LAPIDisplayDiagDump(m_index);
    if (status == 0) Global::append("\nDisplay Diag Dump successful\n");
    return Global::report(status);
}

namespace {

constexpr const char* kOutOfBandOnly = "\nYou need to select Out of Band mode to access this function!\n";

// A value of the query: characters that would end the value, the query or the
// request line are sent as "%XX"; everything else goes as typed.
std::string queryValue(const std::string& v) {
    std::string out;
    for (unsigned char c : v) {
        if (c <= ' ' || c >= 0x7F || c == '&' || c == '=' || c == '#' || c == '%' || c == '?' || c == '+') {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace

uint32_t commandController::getPrefsConfig() {
    // The network module's settings are only reachable out-of-band.
    if (!m_outOfBand) {
        Global::append("%s", kOutOfBandOnly);
        return Global::report(CMD_ERR_INVALID_OUT_OF_BAND_REQUEST);
    }
    char* response = nullptr;
    int length = 0;
    if (httpIssueGetRequest("module=server&method=GetPrefsConfig&OutOfBand=1&", &response, &length) != 1 ||
        response == nullptr) {
        Global::append("Failed.\n");
        Global::append("Error: HTTP response has invalid format.\n");
        Global::append("       Check that the httpd is running.\n");
        Global::append("       Check that the user and password are correct.\n");
        Global::append("       Check that the Vistrel server running.\n");
        Global::append("       Check that the method and type are correct for your device.\n");
        Global::append("\n");
        return Global::report(CMD_ERR_INVALID_OUT_OF_BAND_REQUEST);
    }
    // Every piece after an '=' on a line of its own; the text before the first is dropped.
    const std::string text(response, static_cast<size_t>(length));
    for (size_t eq = text.find('='); eq != std::string::npos;) {
        const size_t next = text.find('=', eq + 1);
        Global::append("%s\n", text.substr(eq + 1, next == std::string::npos ? std::string::npos : next - eq - 1).c_str());
        eq = next;
    }
    Global::append("Successful.\n");
    return Global::report(0);
}

uint32_t commandController::setPrefsConfig(const std::string& multicastPort, const std::string& ipAddress,
                                           const std::string& hostName, const std::string& ipMask,
                                           const std::string& ipGateway, const std::string& dnsServer) {
    if (!m_outOfBand) {
        Global::append("%s", kOutOfBandOnly);
        return Global::report(CMD_ERR_INVALID_OUT_OF_BAND_REQUEST);
    }
    const std::string query =
        "module=server&method=SetPrefsConfig&DhcpSelection=false&OutOfBand=1&MulticastPort=" +
        queryValue(multicastPort) + "&IpAddress=" + queryValue(ipAddress) + "&HostName=" + queryValue(hostName) +
        "&IpMask=" + queryValue(ipMask) + "&IpGateway=" + queryValue(ipGateway) + "&DnsServer=" +
        queryValue(dnsServer) +
        "&DirectIpEntry=&DirectIpValue0=&DirectIpValue1=&DirectIpValue2=&DirectIpValue3=&DirectIpValue4="
        "&DirectIpValue5=&DirectIpValue6=&DirectIpValue8=&DirectIpValue9=&";
    char* response = nullptr;
    int length = 0;
    if (httpIssueGetRequest(query.c_str(), &response, &length) != 1) {
        Global::append("Failed.\n");
        return Global::report(CMD_ERR_INVALID_OUT_OF_BAND_REQUEST);
    }
    Global::append("Successful.\n");
    return Global::report(0);
}
