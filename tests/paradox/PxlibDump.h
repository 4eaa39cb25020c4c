#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The canonical dump text of a table's records as pxlib (an independent reader) sees them,
// produced in a forked child that is killed after `timeoutSeconds` (pxlib loops on some
// damaged chains and aborts on some inputs). Blob fields, which pxlib cannot read without the
// .MB it crashes on, are given as "<blob>". nullopt when pxlib failed, with `error` set.
struct PxlibDumpResult {
    std::vector<std::string> lines; // one per record, without the LF
    std::string error;
    bool ok = false;
};
PxlibDumpResult PxlibDump(const std::filesystem::path& db, int timeoutSeconds = 30);

// The same placeholder applied to one of our dump lines, for blob field positions.
std::string MaskBlobColumns(const std::string& line, const std::vector<bool>& isBlob);
