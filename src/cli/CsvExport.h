#pragma once

#include "cli/CsvWriter.h"
#include "cli/ExportValue.h"

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

// Records as CSV rows under a header row of field names. A binary value goes to a file of its
// own, <record>-<field>.bin in `blobFolder` (record and field counted from 1), and its cell
// holds that file's name as `blobFolderName`/<record>-<field>.bin, relative to the CSV file.
class CsvExport {
public:
    CsvExport(std::ostream& out, std::filesystem::path blobFolder, std::string blobFolderName);

    void Header(const std::vector<std::string>& fieldNames);
    // Throws std::runtime_error (or std::filesystem::filesystem_error) when a file cannot be
    // written.
    void Record(std::uint64_t number, const std::vector<ExportValue>& values);

private:
    std::string WriteBlobFile(std::uint64_t record, std::size_t field,
                              const std::vector<std::uint8_t>& bytes);

    CsvWriter csv_;
    std::filesystem::path blobFolder_;
    std::string blobFolderName_;
    bool blobFolderMade_ = false;
    std::string cell_;
};

// A double in the shortest text that reads back as the same value ("0.1", "1e+300", "nan").
void AppendShortestDouble(std::string& out, double value);

} // namespace cli
