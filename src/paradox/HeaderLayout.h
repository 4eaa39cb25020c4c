#pragma once

#include "paradox/FieldType.h"
#include "paradox/HeaderOwnership.h"
#include "paradox/Schema.h"

#include <cstdint>
#include <string>
#include <vector>

namespace paradox {

// Everything that goes into the header of one file of a family (.DB, .PX, .Xnn, .Ynn...).
// Index files (.PX, .Ynn, .YGn) take the short header: key fields and table name only.
struct HeaderContent {
    FileType fileType = FileType::UnkeyedTable;
    std::uint8_t fileVersion = level::V7;
    std::uint8_t blockSizeCode = 2;
    std::vector<FieldSpec> fields;     // data files: all fields; index files: key fields
    std::uint16_t keyFieldCount = 0;   // 0x23 (data files)
    std::uint8_t indexFieldNumber = 0; // 0x15 (X files)
    std::uint8_t sortOrder = 0;
    std::string sortOrderName = "ascii";
    std::uint16_t codePage = 437;
    std::string tableName;
    std::vector<std::uint16_t> fieldNumbers; // level 4+ data files; empty = 1..n
    std::string indexName;                   // .XGn only
    std::uint8_t byte55 = 0;
    std::uint16_t byte12 = 0;
    std::uint8_t byte2C = 0, byte2D = 0, byte2E = 0, byte2F = 0;
    std::uint32_t autoIncrement = 0;
    std::uint32_t fileUpdateTime = 0;
    // Non-zero key: the stored value goes to 0x25 (0x5C from level 4 on, files with the
    // extension) and the file's blocks are encrypted with it (see WriterCipher.h).
    TableProtection protection;
    // The header of the file this one replaces, as read: every byte the writer owns in neither
    // layout is kept (see HeaderOwnership.h). Empty: the header is laid out from scratch.
    KeptHeader kept = {};

    // Counts known once the blocks are written.
    std::uint32_t numRecords = 0;
    std::uint16_t fileBlocks = 0; // all in the chain: blocksInUse, lastBlock follow from it
    std::uint16_t indexRoot = 0;
    std::uint8_t indexLevels = 0;

    bool IsIndexFile() const {
        return fileType == FileType::PrimaryIndex || fileType == FileType::SecondaryIndex ||
               fileType == FileType::CompositeIndex;
    }
};

std::uint16_t RecordSizeOf(const std::vector<FieldSpec>& fields);

// Bytes of the header area; data block 1 starts there.
std::uint32_t HeaderSize(const HeaderContent& content);

// The complete header area (HeaderSize bytes, zero padded).
std::vector<std::uint8_t> BuildHeader(const HeaderContent& content, std::uint16_t recordSize);

} // namespace paradox
