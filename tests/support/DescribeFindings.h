#pragma once

#include "paradox/Finding.h"

#include <string>

namespace testsupport {

// Every finding described on a line of its own, for the message of a failed expectation.
// (Header only: the support library itself does not link the format library.)
inline std::string Describe(const paradox::FindingList& findings) {
    std::string text;
    for (const auto& finding : findings.All()) {
        text += finding.Describe() + "\n";
    }
    return text;
}

} // namespace testsupport
