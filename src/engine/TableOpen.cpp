#include "engine/TableOpen.h"

#include "engine/Config.h"
#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/FaultHook.h"
#include "engine/Limits.h"
#include "engine/OpenErrors.h"
#include "engine/OtherProcessUse.h"
#include "engine/RebuildFiles.h"
#include "engine/TableHeaderCheck.h"
#include "paradox/BlobFile.h"
#include "paradox/DirectoryListing.h"
#include "paradox/OpenChecks.h"
#include "paradox/PrimaryIndex.h"

#include <system_error>

namespace engine {
namespace {

using paradox::FindingList;
using paradox::MappedFile;
using paradox::TableHeader;

// An index file pair: `index` (a .PX, or a .Ynn/.YGn) against its data file.
std::uint16_t CheckIndexFile(const std::filesystem::path& indexPath, const TableHeader& data,
                             const MappedFile& dataFile, std::optional<MappedFile>& indexFile,
                             std::optional<TableHeader>& index) {
    if (auto result =
            ReadCheckedHeader(indexPath, err::IndexMissing, err::IndexCorrupt, indexFile, index);
        result != err::Ok) {
        return result;
    }
    FindingList findings;
    paradox::CheckIndexHeader(data, *index, indexPath.filename().string(), findings);
    if (FirstStop(findings) == nullptr) {
        paradox::CheckIndexRoot(data, dataFile.View(), *index, indexFile->View(),
                                indexPath.filename().string(), findings);
    }
    return FailOnFindings(findings, err::IndexCorrupt);
}

std::uint16_t CheckPrimary(const paradox::TableFamily& family, const TableHeader& table,
                           const MappedFile& tableFile) {
    if (family.px.empty()) {
        return Fail(err::IndexMissing,
                    "keyed table " + family.db.string() + " has no primary index (.PX)");
    }
    std::optional<MappedFile> pxFile;
    std::optional<TableHeader> px;
    return CheckIndexFile(family.px, table, tableFile, pxFile, px);
}

std::uint16_t CheckSecondary(const IndexDefinition& index, const TableHeader& table) {
    std::optional<MappedFile> xFile;
    std::optional<TableHeader> x;
    if (auto result = ReadCheckedHeader(index.file, err::IndexMissing, err::IndexCorrupt, xFile, x);
        result != err::Ok) {
        return result;
    }
    FindingList findings;
    paradox::CheckSecondaryHeader(table, *x, index.file.filename().string(), findings);
    if (auto result = FailOnFindings(findings, err::IndexCorrupt); result != err::Ok) {
        return result;
    }
    if (index.treeFile.empty()) {
        return Fail(err::IndexMissing, "index " + index.name + " of " + table.tableName +
                                           " has no Y file beside " + index.file.string());
    }
    std::optional<MappedFile> yFile;
    std::optional<TableHeader> y;
    return CheckIndexFile(index.treeFile, *x, *xFile, yFile, y);
}

std::uint16_t CheckBlobFile(const paradox::TableFamily& family, const TableHeader& table) {
    if (family.mb.empty()) {
        return Fail(err::BlobFileMissing,
                    "table " + family.db.string() + " has blob fields but no blob file (.MB)");
    }
    std::string error;
    auto mb = MappedFile::Open(family.mb, &error);
    if (!mb) {
        return Fail(err::IoError, family.mb.string() + ": " + error);
    }
    FindingList findings;
    paradox::CheckBlobFileHeader(mb->View(), table.CipherKeyValue(), family.mb.filename().string(),
                                 findings);
    return FailOnFindings(findings, err::BlobFileCorrupt);
}

// A header without blob fields beside a blob file that stores blobs lies about its fields:
// some field that refers to them was given another type.
std::uint16_t CheckNoBlobsStored(const paradox::TableFamily& family, const TableHeader& table) {
    if (family.mb.empty()) {
        return err::Ok;
    }
    FindingList ignored; // the blob file's own damage is the verify's to report
    const auto blobs = paradox::BlobFile::Open(family.mb, ignored, table.CipherKeyValue());
    if (!blobs || blobs->StoredBlobCount() == 0) {
        return err::Ok;
    }
    return Fail(err::HeaderCorrupt, "header of " + family.db.string() + " has no blob field, but " +
                                        blobs->FileName() + " holds " +
                                        std::to_string(blobs->StoredBlobCount()) + " blobs");
}

std::string IndexNames(const std::vector<IndexDefinition>& indexes) {
    std::string names;
    for (const auto& def : indexes) {
        names += (names.empty() ? "" : ", ") + def.name;
    }
    return names.empty() ? "none" : names;
}

} // namespace

std::filesystem::path FindTableFile(const std::string& directory, const std::string& tableName) {
    std::string name = tableName;
    if (std::filesystem::path(name).extension().empty()) {
        name += ".DB";
    }
    // An empty directory is the current folder, and the name is then taken as it is.
    const std::string prefix = directory.empty() ? std::string() : directory + "/";
    const std::string joined = prefix + name;
    std::error_code ec;
    if (!std::filesystem::exists(joined, ec)) {
        const auto listing = paradox::ListDirectory(directory.empty() ? "." : directory);
        if (const std::string found = listing->FindIgnoringCase(name); !found.empty()) {
            return prefix + found;
        }
    }
    return joined;
}

std::uint16_t LocateTable(const std::string& directory, const std::string& tableName,
                          std::filesystem::path& out) {
    if (tableName.empty()) {
        return Fail(err::TableNameMissing, "database directory " + directory);
    }
    const std::filesystem::path found = FindTableFile(directory, tableName);
    if (const std::string joined = found.string(); joined.size() > kMaxPathLength) {
        return Fail(err::PathTooLong, std::to_string(joined.size()) + " characters, at most " +
                                          std::to_string(kMaxPathLength) + ": " + joined);
    }
    out = found;
    return err::Ok;
}

std::uint16_t OpenTable(const std::filesystem::path& db, std::string_view indexName, bool exclusive,
                        std::unique_ptr<OpenedTable>& out) {
    out.reset();
    if (auto fault = TakeFault(op::OpenTable); fault != err::Ok) {
        return fault;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(db, ec)) {
        return Fail(err::TableMissing, db.string());
    }
    if (const std::string lockFile = ForeignLockFile(db); !lockFile.empty()) {
        return Fail(err::TableInUse, db.string() +
                                         " may be open in another program: its lock file " +
                                         lockFile + " is in the directory");
    }
    std::unique_ptr<TableLock> lock;
    const auto mode = exclusive ? TableLock::Mode::Exclusive : TableLock::Mode::Shared;
    if (auto result = TableLock::Acquire(db, mode, lock); result != err::Ok) {
        return result;
    }
    if (const std::string use = UseByOtherProcesses({db}, mode); !use.empty()) {
        return Fail(err::TableInUse, db.string() + " is in use (" + use + ")");
    }
    // Checked under our lock, so no rebuild is running: a journal means one died mid-swap and
    // the folder may hold a mixture of the old and the new family.
    if (const auto journal = RebuildJournalPath(db.parent_path(), db.stem().string());
        std::filesystem::exists(std::filesystem::symlink_status(journal, ec))) {
        return Fail(err::RebuildInterrupted,
                    db.string() + ": a rebuild of this table was interrupted (its journal " +
                        journal.filename().string() +
                        " is beside it); rebuild the table to complete it");
    }
    std::optional<MappedFile> file;
    std::optional<TableHeader> header;
    if (auto result = ReadTableHeader(db, file, header); result != err::Ok) {
        return result;
    }
    if (auto result = CheckTableFile(db, *file, *header); result != err::Ok) {
        return result;
    }
    const auto family = paradox::FindFamily(db);
    IndexDefinition chosen;
    if (!indexName.empty()) {
        // Names of secondary indexes are in their X files' headers: all are read to find one.
        const auto indexes = ListIndexes(*header, family);
        const IndexDefinition* found = FindIndex(indexes, indexName);
        if (found == nullptr) {
            return Fail(err::UnknownIndex, "\"" + std::string(indexName) + "\" on " + db.string() +
                                               " (its indexes: " + IndexNames(indexes) + ")");
        }
        chosen = *found;
    } else if (header->Keyed()) {
        chosen = PrimaryIndexDefinition(*header, family);
    }
    if (header->Keyed()) {
        if (auto result = CheckPrimary(family, *header, *file); result != err::Ok) {
            return result;
        }
    }
    if (!chosen.name.empty() && !chosen.primary) {
        if (auto result = CheckSecondary(chosen, *header); result != err::Ok) {
            return result;
        }
    }
    if (header->ToSchema().HasBlobs()) {
        if (auto result = CheckBlobFile(family, *header); result != err::Ok) {
            return result;
        }
    } else if (auto result = CheckNoBlobsStored(family, *header); result != err::Ok) {
        return result;
    }
    out = std::make_unique<OpenedTable>(db, std::move(lock), std::move(chosen));
    return err::Ok;
}

} // namespace engine
