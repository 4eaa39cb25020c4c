#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace sampledb {

// Writes the sample database into `dir` (created when missing): healthy tables of every
// level from 3.0 to 7 with keys, secondary indexes, memo and graphic blobs, and two damaged
// tables that an open refuses and a rebuild repairs:
//   INVOICE.DB  its .PX counts the wrong number of records in a data block (index out of date)
//   STOCK.DB    its header counts three records more than its blocks hold
// Existing files of these names are replaced. Throws std::exception on failure.
void WriteSampleDatabase(const std::filesystem::path& dir);

// Names of every file WriteSampleDatabase writes.
std::vector<std::string> SampleFiles();

} // namespace sampledb
