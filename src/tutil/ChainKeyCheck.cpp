#include "tutil/ChainKeyCheck.h"

#include <cstring>
#include <string>

namespace tutil {

using paradox::FindingCode;
using paradox::Severity;

ChainKeyCheck::ChainKeyCheck(const paradox::TableSchema& schema) : keys_(schema) {}

void ChainKeyCheck::Check(const std::uint8_t* previous, const std::uint8_t* current,
                          std::int64_t block, std::int64_t slot,
                          paradox::FindingLimiter& report) const {
    if (std::memcmp(previous, current, keys_.Length()) == 0) {
        report.Add(FindingCode::DuplicateKey, Severity::Damage, block, slot,
                   "same key as the record before it");
        return;
    }
    if (keys_.OrderKnown()) {
        if (keys_.Compare(previous, current) > 0) {
            report.Add(FindingCode::KeyOrder, Severity::Damage, block, slot,
                       "key lower than the record before it");
        }
        return;
    }
    if (keys_.CompareFolded(previous, current) > 0) {
        report.Add(FindingCode::KeyOrder, Severity::Suspicious, block, slot,
                   "key lower than the record before it even ignoring case (sort order " +
                       keys_.GetCollation().Name() + " has no collation table here)");
    }
}

} // namespace tutil
