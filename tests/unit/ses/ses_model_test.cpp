#include "ses/ses_model.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/sg_ses_text.h"
#include "unit/ses/sg_ses_compare.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::unique_ptr<ses::SESModel> decode(const Bytes& config, const Bytes& status = {}, const Bytes& descriptors = {}) {
    auto m = std::make_unique<ses::SESModel>();
    ses::processConfigPage_SES2(*m, config.data(), config.size());
    if (!status.empty()) ses::processStatusPage_SES2(*m, status.data(), status.size());
    if (!descriptors.empty()) ses::processElementDescriptorPage_SES2(*m, descriptors.data(), descriptors.size());
    return m;
}

// A configuration page of one enclosure with the given type headers (type, count).
Bytes configPage(const std::vector<std::pair<uint8_t, uint8_t>>& headers, uint16_t declaredLength = 0) {
    Bytes p = {0x01, 0x00, 0x00, 0x00, 0, 0, 0, 1, 0x11, 0x00, static_cast<uint8_t>(headers.size()), 0x24};
    p.resize(8 + 40, ' ');
    for (auto [type, count] : headers) p.insert(p.end(), {type, count, 0, 0});
    const size_t length = declaredLength ? declaredLength : p.size() - 4;
    p[2] = static_cast<uint8_t>(length >> 8);
    p[3] = static_cast<uint8_t>(length);
    return p;
}

// A status page holding the given 4-byte elements.
Bytes statusPage(const std::vector<Bytes>& elements, uint16_t declaredLength = 0) {
    Bytes p = {0x02, 0, 0, 0, 0, 0, 0, 1};
    for (const auto& e : elements) p.insert(p.end(), e.begin(), e.end());
    const size_t length = declaredLength ? declaredLength : p.size() - 4;
    p[2] = static_cast<uint8_t>(length >> 8);
    p[3] = static_cast<uint8_t>(length);
    return p;
}

TEST(SesModel, FixtureDecodesAsSgSesDecodesIt) {
    const std::string dir = std::string(LQCL_SOURCE_DIR) + "/tests/data/ses/";
    auto pages = testsupport::readHexPages(dir + "ses_cf_es.hex");
    ASSERT_EQ(pages.size(), 2u);
    auto m = decode(pages[0], pages[1]);
    ASSERT_EQ(m->subenclosureCount, 1u);
    EXPECT_EQ(std::string(m->subenclosures[0].vendor, 8), "ACME    ");
    EXPECT_EQ(std::string(m->subenclosures[0].product, 16), "TESTENCL        ");

    EXPECT_EQ(sestest::compareWithSgSes(*m, testsupport::readFile(dir + "ses_cf_es.es.out"), true), 20u);
    EXPECT_EQ(ses::getOverallStatusForElement(*m, 0, ses::kTypeTemperature), ses::kStatusNonCritical);
    EXPECT_EQ(ses::getStatusForElement(*m, 0, ses::kTypePowerSupply, 1), ses::kStatusCritical);
    EXPECT_EQ(ses::getStatusForElement(*m, 0, ses::kTypePowerSupply, 2), ses::kStatusNoAccess) << "no third supply";
}

TEST(SesModel, LyingPagesDecodeOnlyWhatIsThere) {
    // Page lengths beyond the bytes received: the decoder stops at the end of the buffer.
    Bytes config = configPage({{0x02, 2}, {0x03, 2}}, 0xFFF0);
    config.resize(8 + 40 + 4);  // the second header is cut off
    auto m = decode(config, statusPage({{0, 0, 0, 0}, {1, 0, 0, 0}}, 0x4000));
    EXPECT_EQ(m->typeCount, 1u);
    EXPECT_EQ(ses::getStatusForElement(*m, 0, ses::kTypePowerSupply, 0), ses::kStatusOk);
    EXPECT_EQ(ses::getStatusForElement(*m, 0, ses::kTypePowerSupply, 1), ses::kStatusUnsupported) << "not sent";

    // More elements than a type record holds, and a type the program does not
    // know: the types after them stay aligned.
    std::vector<Bytes> elements;
    for (int i = 0; i < 71; ++i) elements.push_back({1, 0, 0, 0});   // overall + 70 devices
    for (int i = 0; i < 2; ++i) elements.push_back({1, 0, 0, 0});    // overall + 1 of type 0x90
    elements.push_back({0, 0, 0, 0});
    elements.push_back({4, 0, 0x2D, 0});                              // fan 0: failed
    m = decode(configPage({{0x01, 70}, {0x90, 1}, {0x03, 1}}), statusPage(elements));
    EXPECT_EQ(ses::getNumberOfElements(*m, 0, ses::kTypeDevice), 63u);
    EXPECT_EQ(ses::getStatusForElement(*m, 0, ses::kTypeFan, 0), ses::kStatusFailed);

    // A descriptor whose length runs past the page: its text is what is there.
    Bytes descriptors = {0x07, 0, 0, 16, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 'T', 'P', '=', 'A'};
    m = decode(configPage({{0x07, 1}}), {}, descriptors);
    EXPECT_EQ(std::string(m->types[0].elements[0].text), "TP=A");
}

TEST(SesModel, ElementStatusRulesAndTexts) {
    struct Case {
        Bytes element;
        uint8_t type;
        uint8_t expected;
    } cases[] = {
        {{0x01, 0x00, 0x2D, 0x00}, 0x04, 1},  {{0x01, 0x40, 0x2D, 0x00}, 0x04, 4}, {{0x01, 0x00, 0x2D, 0x08}, 0x04, 4},
        {{0x01, 0x00, 0x2D, 0x02}, 0x04, 4},  {{0x01, 0x00, 0x2D, 0x01}, 0x04, 2}, {{0x03, 0x00, 0x2D, 0x04}, 0x04, 3},
        {{0x01, 0x00, 0x00, 0x10}, 0x06, 9},  {{0x01, 0x40, 0x00, 0x00}, 0x06, 9}, {{0x01, 0x00, 0x00, 0x80}, 0x06, 10},
        {{0x01, 0x00, 0x00, 0x40}, 0x06, 7},  {{0x15, 0x40, 0x00, 0x4B}, 0x03, 5},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ses::getSESElementStatus(c.element.data(), c.type), c.expected) << int(c.type) << " " << int(c.element[3]);

    const struct {
        int c, f;
    } temperatures[] = {{25, 77}, {0, 32}, {-20, -4}, {-5, 23}, {31, 87}, {37, 98}, {100, 212}, {-17, 1}};
    for (auto t : temperatures) EXPECT_EQ(ses::celsiusToFahrenheit(t.c), t.f) << t.c;

    const struct {
        const char* text;
        const char* fru;
        const char* serial;
    } texts[] = {
        {"TP=ABC123;SN=XYZ;", "ABC123", "XYZ"},
        {"TP=ABC123;SN=XYZ", "ABC123", ""},
        {"SN=XYZ;TP=ABC123", "", "XYZ"},
        {"no keys here", "", ""},
        {"TP=;SN=;", "", ""},
    };
    for (const auto& t : texts) {
        EXPECT_EQ(ses::getFRUNumber(t.text, "TP="), t.fru) << t.text;
        EXPECT_EQ(ses::getFRUNumber(t.text, "SN="), t.serial) << t.text;
    }
    EXPECT_STREQ(ses::determineElementType(0x86), "Midplane Interconnect");
    EXPECT_STREQ(ses::determineElementType(0x0A), "Unknown");
    EXPECT_STREQ(ses::elementStatusName(10), "Muted");
}

}  // namespace
