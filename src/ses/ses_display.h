// The printed forms of the enclosure pages: the SES-2 report of the decoded
// model, the report of older enclosures straight from their configuration and
// status pages, the enclosure identity and the raw status page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ses/ses_model.h"

namespace ses {

// The SES-2 report of every subenclosure of the model.
void displaySESInfo(const SESModel& model, std::string& out);

// Power supplies, fans, temperature sensors, door locks and alarms of an older
// enclosure; counts in hexadecimal when `hex` is set.
void appendLegacySESInfo(std::string& out, const uint8_t* config, size_t configSize, const uint8_t* status,
                         size_t statusSize, bool hex);

// Identity of enclosure `number` from its configuration page.
void appendEnclosureIdentity(std::string& out, uint32_t number, const uint8_t* config, size_t configSize, bool hex);

// A page as hexadecimal bytes, then as characters.
void appendRawPage(std::string& out, const uint8_t* page, size_t size);

// A number as "0x%X" when `hex` is set, else as a signed decimal.
void appendNumber(std::string& out, int64_t value, bool hex);

}  // namespace ses
