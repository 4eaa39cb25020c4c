#include "tutil/ChainKeyCheck.h"

#include "paradox/Codec.h"

#include <cstring>
#include <string>

namespace tutil {

using paradox::FindingCode;
using paradox::Severity;

ChainKeyCheck::ChainKeyCheck(const paradox::TableSchema& schema) : keys_(schema) {}

void ChainKeyCheck::Check(const std::uint8_t* previous, const std::uint8_t* current,
                          std::int64_t block, std::int64_t slot,
                          paradox::FindingLimiter& report) const {
    if (keys_.ByteOrder()) {
        // One comparison tells both: equal bytes, or the lower key second.
        const int order = paradox::CompareKeyBytes(previous, current, keys_.Length());
        if (order == 0) {
            report.Add(FindingCode::DuplicateKey, Severity::Damage, block, slot,
                       paradox::Detail(paradox::DetailKind::SameKeyAsBefore));
        } else if (order > 0) {
            report.Add(FindingCode::KeyOrder, Severity::Damage, block, slot,
                       paradox::Detail(paradox::DetailKind::KeyLowerThanBefore));
        }
        return;
    }
    if (std::memcmp(previous, current, keys_.Length()) == 0) {
        report.Add(FindingCode::DuplicateKey, Severity::Damage, block, slot,
                   paradox::Detail(paradox::DetailKind::SameKeyAsBefore));
        return;
    }
    if (keys_.OrderKnown()) {
        if (keys_.Compare(previous, current) > 0) {
            report.Add(FindingCode::KeyOrder, Severity::Damage, block, slot,
                       paradox::Detail(paradox::DetailKind::KeyLowerThanBefore));
        }
        return;
    }
    if (keys_.CompareFolded(previous, current) > 0) {
        report.Add(FindingCode::KeyOrder, Severity::Suspicious, block, slot,
                   paradox::Detail(paradox::DetailKind::KeyLowerFolded)
                       .Extra(keys_.GetCollation().Name()));
    }
}

} // namespace tutil
