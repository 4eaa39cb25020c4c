#pragma once

#include "cli/export/CsvWriter.h"
#include "cli/export/ExportValue.h"

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

// Records as CSV rows (under a header row of field names when Header() is called). NULL is
// written as `nullText`; a value that reads as that text is quoted, so that readers which
// tell quoted from unquoted cells keep it apart from NULL. A binary value goes to a file of its
// own, <record>-<field>.bin in `blobFolder` (record and field counted from 1), and its cell
// holds that file's name as `blobFolderName`/<record>-<field>.bin, relative to the CSV file.
// The folder is made when the first binary value comes and removed again, with what went into
// it, unless Keep() is called: a failed export leaves no folder of half its files.
class CsvExport {
public:
    CsvExport(std::ostream& out, std::filesystem::path blobFolder, std::string blobFolderName,
              CsvDialect dialect = {}, std::string nullText = {});
    ~CsvExport();
    CsvExport(const CsvExport&) = delete;
    CsvExport& operator=(const CsvExport&) = delete;

    void Header(const std::vector<std::string>& fieldNames);
    // Throws std::runtime_error (or std::filesystem::filesystem_error) when a file cannot be
    // written.
    void Record(std::uint64_t number, const std::vector<ExportValue>& values);
    // The export is complete: the folder of binary values stays.
    void Keep() { keep_ = true; }

private:
    std::string WriteBlobFile(std::uint64_t record, std::size_t field,
                              const std::vector<std::uint8_t>& bytes);

    CsvWriter csv_;
    std::filesystem::path blobFolder_;
    std::string blobFolderName_;
    std::string nullText_;
    bool blobFolderChecked_ = false;
    bool blobFolderCreated_ = false; // by this export, so it may remove it again
    bool keep_ = false;
    std::string cell_;
};

// A double in the shortest text that reads back as the same value ("0.1", "1e+300", "nan").
void AppendShortestDouble(std::string& out, double value);

} // namespace cli
