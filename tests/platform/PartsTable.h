#pragma once

#include <filesystem>

namespace platformtest {

// PARTS: a keyed table with a secondary index on Title, `count` records, written by our writer
// into `dir`. Returns its .DB.
std::filesystem::path WriteParts(const std::filesystem::path& dir, int count);

} // namespace platformtest
