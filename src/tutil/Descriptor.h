#pragma once

#include "paradox/Schema.h"
#include "tutil/TblDesc.h"

#include <optional>
#include <string>

namespace tutil {

// The counts a descriptor for this structure needs. Validity checks, security records and
// referential integrity are not read from the family, so those counts are 0.
DescCounts CountsFor(const paradox::TableSchema& schema);

// Fills the caller's descriptor arrays from a table structure. The caller's counts and
// blocks must match CountsFor(schema) exactly; otherwise nothing is written into the arrays
// and the reason is returned in *error.
bool FillDescriptor(const paradox::TableSchema& schema, const std::string& stem, CRTblDesc& desc,
                    std::string* error);

// The structure a filled descriptor describes, or nullopt with the reason when the
// descriptor is inconsistent (counts, field numbers, sizes, types).
std::optional<paradox::TableSchema> SchemaFromDescriptor(const CRTblDesc& desc, std::string* error);

} // namespace tutil
