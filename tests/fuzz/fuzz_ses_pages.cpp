// SES pages as an enclosure returns them: the input is read as each of the
// configuration, enclosure status, threshold in and element descriptor pages
// of one model, which is then displayed, and through the reports that read
// pages directly (older enclosures, identity, raw page).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ses/ses_display.h"
#include "ses/ses_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The input may hold a configuration page followed by other pages: split
    // at the first page's length as a reader of several pages would.
    std::vector<uint8_t> first(data, data + size);
    std::vector<uint8_t> rest;
    if (size >= 4) {
        const size_t n = 4 + (size_t{data[2]} << 8 | data[3]);
        if (n < size) {
            first.assign(data, data + n);
            rest.assign(data + n, data + size);
        }
    }
    const std::vector<uint8_t>& second = rest.empty() ? first : rest;
    auto model = std::make_unique<ses::SESModel>();
    ses::processConfigPage_SES2(*model, first.data(), first.size());
    ses::processStatusPage_SES2(*model, second.data(), second.size());
    ses::processThresholdInPage_SES2(*model, second.data(), second.size());
    ses::processElementDescriptorPage_SES2(*model, second.data(), second.size());
    std::string out;
    ses::displaySESInfo(*model, out);
    ses::appendLegacySESInfo(out, first.data(), first.size(), second.data(), second.size(), size & 1);
    ses::appendEnclosureIdentity(out, 1, first.data(), first.size(), false);
    ses::appendRawPage(out, second.data(), second.size());
    return 0;
}
