#pragma once

#include "paradox/Finding.h"

#include <string>

namespace testsupport {

// Every finding on a line of its own led by its code and severity ("[203 D] "), as golden
// files keep them. (Header only: the support library itself does not link the format library.)
inline std::string DescribeCoded(const paradox::FindingList& findings) {
    std::string text;
    for (const auto& finding : findings.All()) {
        text += "[" + std::to_string(static_cast<unsigned>(finding.code)) +
                (finding.severity == paradox::Severity::Damage ? " D] " : " S] ") +
                finding.Describe() + "\n";
    }
    return text;
}

} // namespace testsupport
