#include "cli/run/FindingOutput.h"

#include <map>
#include <ostream>

namespace cli {

void PrintFindings(const paradox::FindingList& findings, std::ostream& err, std::size_t perCode) {
    std::map<paradox::FindingCode, std::size_t> seen;
    for (const auto& finding : findings.All()) {
        if (++seen[finding.code] <= perCode) {
            err << finding.Describe() << '\n';
        }
    }
    for (const auto& [code, count] : seen) {
        if (count > perCode) {
            err << "... " << (count - perCode) << " more: " << paradox::FindingText(code) << '\n';
        }
    }
}

} // namespace cli
