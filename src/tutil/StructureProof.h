#pragma once

#include "paradox/Header.h"
#include "paradox/Schema.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace tutil {

// Reads the damaged table under `header` (a candidate structure with the table's block
// layout) and checks that the data bears it out: every chain block's used bytes are whole
// records, every record decodes, keys ascend along the chain of a keyed table (where byte
// order is key order), blob pointers name a 4 KB block and a slot and land inside the .MB
// (`blobFile`; empty when there is none, and then only their shape is checked). True when
// all of it holds; else false with the first contradiction in *why.
bool ProveStructure(const std::filesystem::path& db, const paradox::TableHeader& header,
                    const std::filesystem::path& blobFile, std::string* why);

} // namespace tutil
