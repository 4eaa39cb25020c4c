#pragma once

#include "paradox/TableReader.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace paradox {

// The quick proof that every record of a secondary index's X file agrees with the table: when
// each table block's keys rise strictly (one record per key and block), every X record names
// a chain block, and the X records, as (block, indexed values, key), are the same multiset as
// the table records, then each X record finds its own record in its block with the same bytes.
// `source`: the table field of each indexed X field; `position`: the chain position of each
// block number, -1 for a block outside the chain. False means "look record by record".
bool SecondaryAgreesAsAWhole(const TableReader& x, const TableReader& table,
                             const std::vector<std::size_t>& source, std::size_t secondary,
                             std::size_t keyLength, std::uint32_t blockNumberOffset,
                             const std::vector<std::int32_t>& position);

} // namespace paradox
