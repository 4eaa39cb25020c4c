#pragma once

#include "paradox/Schema.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tutilfixture {

// A keyed table ORDERS (Id long key, Name alpha, Amount number, Shipped logical) with a
// secondary index on Name, written by our writer with `count` records, ids 1..count; a
// non-zero `keyValue` writes it password protected with that stored key.
paradox::TableSchema OrdersSchema(bool keyed = true, bool secondary = true);
std::filesystem::path WriteOrders(const std::filesystem::path& dir, int count, bool keyed = true,
                                  bool secondary = true, std::uint32_t keyValue = 0);

// NOTES (Id long key, Title alpha with a secondary index, Notes memo of `notesSize` bytes in
// the record), level 7.
paradox::TableSchema NotesSchema(std::uint8_t notesSize = 20);

// Every record of the table's chain as raw bytes, in chain order.
std::vector<std::string> ChainRecords(const std::filesystem::path& db);

// Every record in chain order as its values: the bytes of the ordinary fields and the data of
// each blob field (so records compare equal when only blob storage places differ).
std::vector<std::string> RecordValues(const std::filesystem::path& db);

// The table opens exclusively on each of its indexes (expected in number) through the engine.
void ExpectOpensOnEveryIndex(const std::filesystem::path& db, std::size_t expected);

// The .DB's layout facts a damage routine needs.
struct Layout {
    std::uint32_t headerSize = 0;
    std::uint32_t blockSize = 0;
    std::uint32_t recordSize = 0;
    std::size_t BlockOffset(std::uint32_t block) const {
        return headerSize + std::size_t{block - 1} * blockSize;
    }
};
Layout ReadLayout(const std::string& dbBytes);

void PutU16(std::string& bytes, std::size_t offset, std::uint16_t value);
// Zeroes data block `block` of the .DB bytes: its records can no longer be read.
void WipeBlock(std::string& dbBytes, std::uint32_t block);
std::uint16_t GetU16(const std::string& bytes, std::size_t offset);

// Copies the family of table `db` into `dir` (writable there); returns the copy's .DB.
std::filesystem::path CopyFamily(const std::filesystem::path& db, const std::filesystem::path& dir);

// Every file of the folder with its bytes.
std::vector<std::pair<std::string, std::string>> FolderFiles(const std::filesystem::path& dir);
// The same, by file name.
std::map<std::string, std::string> FolderByName(const std::filesystem::path& dir);

} // namespace tutilfixture
