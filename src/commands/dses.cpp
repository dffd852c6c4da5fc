#include "commands/dses.h"

#include <cstdio>
#include <memory>
#include <new>

#include "commands/buffers.h"
#include "commands/global.h"
#include "lapi/enclosure.h"
#include "ses/ses_display.h"
#include "ses/ses_model.h"

namespace {

constexpr uint32_t kMaxEnclosure = 10;

bool validEnclosure(uint32_t enclosure) { return enclosure >= 1 && enclosure <= kMaxEnclosure; }

bool hexadecimalReports() { return Global::fMode == 1; }

uint32_t memoryFailure() {
    Global::append("Error: Memory allocation Failure!\n");
    return Global::report(CMD_ERR_MEMORY);
}

}  // namespace

uint32_t DSES::productType(uint32_t& type) {
    type = 0;
    const uint32_t status = m_controller.getProductType(type);
    if (status == 0) m_productType = static_cast<uint8_t>(type);
    return status;
}

uint32_t DSES::readPage(uint8_t page, uint8_t lengthByte, uint32_t enclosureIndex, uint8_t* buffer,
                        uint16_t allocation) {
    SES_PAGE_REQUEST request;
    request.page = page;
    request.buffer = buffer;
    request.length = lengthByte;
    request.enclosure = static_cast<uint8_t>(enclosureIndex);
    request.productType = m_productType;
    request.allocationLength = allocation;
    return LAPIGetEnclosureSESPage(m_index, &request);
}

uint32_t DSES::legacyPage(commands::Buffer& page) {
    page = commands::allocateBuffer(kLegacyPageSize);
    if (!page) return memoryFailure();
    uint32_t type = 0;
    return productType(type);
}

uint32_t DSES::getRevisionLevelOfEnclosure(uint32_t enclosure) {
    if (!validEnclosure(enclosure)) return Global::report(CMD_ERR_INVALID_ENCLOSURE_INDEX);
    commands::Buffer page;
    uint32_t status = legacyPage(page);
    if (status != 0) return status;
    status = readPage(ses::kPageConfiguration, 0, enclosure - 1, page.get(), kLegacyPageSize);
    if (status == 0) ses::appendEnclosureIdentity(Global::string, enclosure, page.get(), kLegacyPageSize, hexadecimalReports());
    return Global::report(status);
}

uint32_t DSES::getSESInfo(uint32_t enclosure) {
    uint32_t type = 0;
    const uint32_t status = productType(type);
    if (status != 0) return status;
    if (type < kFirstDirectProductType) return getSESInfo1(enclosure);
    return getSESInfo2(0);
}

uint32_t DSES::getSESInfo2(uint32_t enclosureIndex) {
    commands::Buffer pages[4];
    for (auto& p : pages) {
        p = commands::allocateBuffer(kPageSize);
        if (!p) return static_cast<uint32_t>(-1);
    }
    std::unique_ptr<ses::SESModel> model(new (std::nothrow) ses::SESModel);
    if (!model) return static_cast<uint32_t>(-1);

    using Decoder = void (*)(ses::SESModel&, const uint8_t*, size_t);
    const struct {
        uint8_t page;
        Decoder decode;
    } chain[4] = {
        {ses::kPageConfiguration, ses::processConfigPage_SES2},
        {ses::kPageEnclosureStatus, ses::processStatusPage_SES2},
        {ses::kPageThresholdIn, ses::processThresholdInPage_SES2},
        {ses::kPageElementDescriptor, ses::processElementDescriptorPage_SES2},
    };
    uint32_t status = 0;
    for (int i = 0; i < 4; ++i) {
        uint8_t* buffer = pages[i].get();
        status = readPage(chain[i].page, 0, enclosureIndex, buffer, kPageSize);
        if (status != 0 || (buffer[2] == 0 && buffer[3] == 0)) break;
        chain[i].decode(*model, buffer, kPageSize);
    }

    std::string report;
    ses::displaySESInfo(*model, report);
    std::fputs(report.c_str(), stdout);
    return Global::report(status);
}

uint32_t DSES::getSESInfo1(uint32_t enclosure) {
    commands::Buffer config = commands::allocateBuffer(kLegacyPageSize);
    commands::Buffer status = commands::allocateBuffer(kLegacyPageSize);
    if (!config || !status) return memoryFailure();
    if (!validEnclosure(enclosure)) return Global::report(CMD_ERR_INVALID_ENCLOSURE_INDEX);
    uint32_t result = readPage(ses::kPageConfiguration, 0, enclosure - 1, config.get(), kLegacyPageSize);
    if (result == 0) result = readPage(ses::kPageEnclosureStatus, 1, enclosure - 1, status.get(), kLegacyPageSize);
    if (result == 0)
        ses::appendLegacySESInfo(Global::string, config.get(), kLegacyPageSize, status.get(), kLegacyPageSize, hexadecimalReports());
    return Global::report(result);
}

uint32_t DSES::getRawPage(uint32_t enclosure) {
    commands::Buffer page;
    uint32_t status = legacyPage(page);
    if (status != 0) return status;
    status = readPage(ses::kPageEnclosureStatus, 1, enclosure - 1, page.get(), kLegacyPageSize);
    if (status == 0) ses::appendRawPage(Global::string, page.get(), kLegacyPageSize);
    return Global::report(status);
}

uint32_t DSES::getAllInformation(uint32_t enclosure) {
    uint32_t status = getRevisionLevelOfEnclosure(enclosure);
    if (status == 0) status = getSESInfo(enclosure);
    return Global::report(status);
}
