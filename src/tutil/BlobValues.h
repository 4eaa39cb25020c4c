#pragma once

#include "paradox/Finding.h"
#include "paradox/Schema.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tutil {

// Reads the blob values of records for a rebuild: from the record's leader when the whole
// value is there, else from the table's .MB (decrypted with schema.protection's key).
class BlobValues {
public:
    BlobValues(const paradox::TableSchema& schema, const std::filesystem::path& mb,
               paradox::FindingList& findings);
    ~BlobValues();
    BlobValues(const BlobValues&) = delete;
    BlobValues& operator=(const BlobValues&) = delete;

    // One entry per blob field (nullopt = NULL), as the writer takes them. A value that cannot
    // be read becomes NULL and its field number and reason are added to *lost.
    std::vector<std::optional<std::vector<std::uint8_t>>>
    Read(const std::uint8_t* record, const std::string& where,
         std::vector<paradox::FindingDetail>* lost) const;

    // Another program shrank the .MB while it was read (see paradox::BlobFile::FileShrank).
    bool FileShrank() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace tutil
