#pragma once

#include "engine/IndexCatalog.h"
#include "engine/TableLock.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace engine {

// A table the engine has opened: its lock is held until the object goes away.
class OpenedTable {
public:
    OpenedTable(std::filesystem::path db, std::unique_ptr<TableLock> lock, IndexDefinition index)
        : db_(std::move(db)), lock_(std::move(lock)), index_(std::move(index)) {}

    const std::filesystem::path& Path() const { return db_; }
    // The index the table was opened on (an empty name when none).
    const IndexDefinition& Index() const { return index_; }
    bool Exclusive() const { return lock_->LockMode() == TableLock::Mode::Exclusive; }

private:
    std::filesystem::path db_;
    std::unique_ptr<TableLock> lock_;
    IndexDefinition index_;
};

// The path of a table file: directory + "/" + name, joined as they come (the name alone for
// an empty directory). A name without an extension gets ".DB"; when no file has exactly that
// name, a file whose name differs only in case is taken. The file need not exist.
std::filesystem::path FindTableFile(const std::string& directory, const std::string& tableName);

// The path of a table of a database directory, as FindTableFile gives it, for the engine's
// own opens: err::TableNameMissing for no name, err::PathTooLong beyond 260 characters.
std::uint16_t LocateTable(const std::string& directory, const std::string& tableName,
                          std::filesystem::path& out);

// Opens a table on an index (by name or file extension; empty = the primary index of a keyed
// table, none for an unkeyed one). The open is a real test of the table at a cost that does
// not grow with its data:
//  - not in use: no lock file of another Paradox program beside it, and our own lock
//    (exclusive or shared) on the .DB can be taken;
//  - no rebuild of the table was interrupted half way (its journal is not beside it);
//  - the header is sound, the file holds the blocks it counts, the start of the block chain
//    (a bounded number of blocks) and its tail agree with the header;
//  - a keyed table's .PX, and the chosen secondary index's X and Y files, exist and agree
//    with the table: headers, key fields, counts, root block, bookkeeping bytes;
//  - the .MB exists and has a sound header block when the table has blob fields.
std::uint16_t OpenTable(const std::filesystem::path& db, std::string_view indexName, bool exclusive,
                        std::unique_ptr<OpenedTable>& out);

} // namespace engine
