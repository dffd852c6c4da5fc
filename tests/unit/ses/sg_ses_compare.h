// Compares what our SES decoder read with what sg_ses printed for the same
// enclosure status page: every element's status (on the program's scale) and
// temperature, and the overall statuses when asked. Returns the number of
// elements compared.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "ses/ses_model.h"
#include "support/sg_ses_text.h"

namespace sestest {

inline unsigned compareWithSgSes(const ses::SESModel& m, const std::string& sgSesStatus, bool overall) {
    unsigned compared = 0;
    for (const auto& e : testsupport::parseSgSesStatus(sgSesStatus)) {
        if (e.typeIndex < 0 || static_cast<unsigned>(e.typeIndex) >= m.typeCount) {
            ADD_FAILURE() << "type index " << e.typeIndex << " not decoded";
            continue;
        }
        const ses::SESTypeRecord& r = m.types[e.typeIndex];
        if (e.element < 0) {
            if (overall) {
                EXPECT_EQ(r.overallStatus, testsupport::expectedProgramStatus(e, r.type)) << "ti " << e.typeIndex;
            }
            continue;
        }
        if (e.element >= r.count) {
            ADD_FAILURE() << "ti " << e.typeIndex << " element " << e.element << " not decoded";
            continue;
        }
        const ses::SESElement& x = r.elements[e.element];
        EXPECT_EQ(x.status, testsupport::expectedProgramStatus(e, r.type)) << "ti " << e.typeIndex << " e " << e.element;
        if (e.temperature) {
            EXPECT_EQ(x.temperature, *e.temperature) << "ti " << e.typeIndex << " e " << e.element;
        }
        ++compared;
    }
    return compared;
}

}  // namespace sestest
