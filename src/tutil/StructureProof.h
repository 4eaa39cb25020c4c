#pragma once

#include "paradox/Header.h"
#include "paradox/Schema.h"
#include "paradox/TableReader.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace tutil {

// Reads the damaged table under `header` (a candidate structure with the table's block
// layout) and checks that the data bears it out: every chain block's used bytes are whole
// records, every record decodes, keys ascend along the chain of a keyed table (where byte
// order is key order), blob pointers name a 4 KB block and a slot and land inside the .MB
// (`blobFile`; empty when there is none, and then only their shape is checked), and nothing
// StructureContradiction finds. True when all of it holds; else false with the first
// contradiction in *why.
bool ProveStructure(const std::filesystem::path& db, const paradox::TableHeader& header,
                    const std::filesystem::path& blobFile, std::string* why);

// What the data of a table whose header could be read says against its fields, whatever
// else is damaged: a field whose values are nearly all implausible for its type (see
// FieldPlausibility), or blobs stored in `blobFile` (empty: none) while no field refers to
// blobs. Empty when nothing does. One pass over the records.
std::string StructureContradiction(const paradox::TableReader& reader,
                                   const std::filesystem::path& blobFile);

} // namespace tutil
