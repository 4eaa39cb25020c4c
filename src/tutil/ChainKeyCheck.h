#pragma once

#include "paradox/FindingLimiter.h"
#include "paradox/KeyCompare.h"
#include "paradox/Schema.h"

#include <cstdint>

namespace tutil {

// Judges each record's primary key against the key of the record before it in the chain:
// equal keys are duplicates; a lower key is out of order under the table's collation, or,
// under a sort order we have no table for, suspicious when it is lower even ignoring case.
class ChainKeyCheck {
public:
    explicit ChainKeyCheck(const paradox::TableSchema& schema);

    bool Active() const { return keys_.Length() > 0; }
    void Check(const std::uint8_t* previous, const std::uint8_t* current, std::int64_t block,
               std::int64_t slot, paradox::FindingLimiter& report) const;

private:
    paradox::KeyComparator keys_;
};

} // namespace tutil
