#pragma once

#include "paradox/ByteView.h"
#include "paradox/FieldType.h"
#include "paradox/Finding.h"
#include "paradox/Schema.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace paradox {

// Bits of an .XGn header's byte 0x55 (TableHeader::byte55).
inline constexpr std::uint8_t kXgCaseInsensitive = 0x01;
inline constexpr std::uint8_t kXgDescending = 0x10;

// Blocks are numbered by 16-bit words from 1: no file holds more than this many that can be
// reached.
inline constexpr std::uint32_t kMaxBlockCount = 65535;

// The header of any family member with a block layout (.DB, .PX, .Xnn/.XGn, .Ynn/.YGn),
// as stored. Nothing here has been validated beyond what ParseHeader reports as findings.
struct TableHeader {
    // Fixed part, 0x00..0x57.
    std::uint16_t recordSize = 0;      // 0x00
    std::uint16_t headerSize = 0;      // 0x02
    std::uint8_t fileType = 0;         // 0x04
    std::uint8_t blockSizeCode = 0;    // 0x05
    std::uint32_t numRecords = 0;      // 0x06
    std::uint16_t blocksInUse = 0;     // 0x0A
    std::uint16_t fileBlocks = 0;      // 0x0C
    std::uint16_t firstBlock = 0;      // 0x0E
    std::uint16_t lastBlock = 0;       // 0x10
    std::uint16_t word12 = 0;          // 0x12, meaning unknown
    std::uint8_t modifiedFlags1 = 0;   // 0x14
    std::uint8_t indexFieldNumber = 0; // 0x15
    std::uint16_t indexRoot = 0;       // 0x1E
    std::uint8_t indexLevels = 0;      // 0x20
    std::int16_t numFields = 0;        // 0x21
    std::int16_t primaryKeyFields = 0; // 0x23
    std::uint32_t encryption1 = 0;     // 0x25
    std::uint8_t sortOrder = 0;        // 0x29
    std::uint8_t modifiedFlags2 = 0;   // 0x2A
    std::uint8_t indexSyncCount = 0;   // 0x2C
    std::uint8_t changeCount1 = 0;     // 0x2D
    std::uint8_t changeCount2 = 0;     // 0x2E
    std::uint8_t byte2F = 0;           // 0x2F
    std::uint8_t writeProtected = 0;   // 0x38
    std::uint8_t fileVersion = 0;      // 0x39
    std::uint16_t maxBlocks = 0;       // 0x3A
    std::uint8_t auxPasswords = 0;     // 0x3D
    std::uint32_t autoIncrement = 0;   // 0x49
    std::uint16_t firstFreeBlock = 0;  // 0x4D
    std::uint16_t realHeaderSize = 0;  // 0x51
    std::uint8_t byte55 = 0;           // 0x55
    // .XGn header 0x55: bit 0 = case-insensitive index (Alpha values stored upper-cased),
    // bit 4 = a field sorts descending. Seen: 0x01 on every .XGn whose stored values are the
    // table's upper-cased, 0x00 on composite indexes without Alpha fields.

    // Level 4+ .DB and .Xnn/.XGn only (0x58..0x77); zero elsewhere.
    bool hasExtension = false;
    std::uint16_t fileVersion2 = 0;       // 0x58
    std::uint32_t encryption2 = 0;        // 0x5C
    std::uint32_t fileUpdateTime = 0;     // 0x60
    std::uint16_t hiFieldID = 0;          // 0x64
    std::uint16_t fieldNumbersOffset = 0; // 0x66
    std::uint16_t indexNameOffset = 0;    // 0x68
    std::uint16_t codePage = 0;           // 0x6A
    std::uint16_t sortNameOffset = 0;     // 0x6E
    std::uint16_t changeCount4 = 0;       // 0x70

    // Variable part.
    std::vector<FieldSpec> fields;
    std::string tableName;
    std::string sortOrderName;
    std::string indexName;                   // .XGn only
    std::vector<std::uint16_t> fieldNumbers; // level 4+ .DB/.X; bit 15 = descending
    bool encrypted = false;
    // The field descriptors, names and sizes read sound: the table's fields are known from its
    // header. False when a fault of them leaves the structure to a salvage.
    bool fieldsKnown = true;

    // Offset of the end of the parsed variable part (what realHeaderSize should say).
    std::size_t parsedEnd = 0;
    // The header bytes as stored (headerSize bytes, clipped at the end of the file), so a
    // rebuild can keep what it does not understand.
    std::vector<std::uint8_t> raw;

    // The stored password checksum that keys the block cipher; 0 for a plain file.
    std::uint32_t CipherKeyValue() const { return hasExtension ? encryption2 : encryption1; }
    std::uint32_t BlockSize() const { return static_cast<std::uint32_t>(blockSizeCode) * 0x400; }
    FileType Type() const { return static_cast<FileType>(fileType); }
    bool Is(FileType type) const { return fileType == static_cast<std::uint8_t>(type); }
    bool IsKnownType() const {
        return fileType <= static_cast<std::uint8_t>(FileType::CompositeDataMaint);
    }
    bool IsTable() const { return Is(FileType::KeyedTable) || Is(FileType::UnkeyedTable); }
    bool IsPrimaryStyleIndex() const {
        return Is(FileType::PrimaryIndex) || Is(FileType::SecondaryIndex) ||
               Is(FileType::CompositeIndex);
    }
    bool IsSecondaryData() const {
        return Is(FileType::SecondaryData) || Is(FileType::SecondaryDataMaint) || IsCompositeData();
    }
    // The data file of a composite (.XGn) index, maintained or not.
    bool IsCompositeData() const {
        return Is(FileType::CompositeData) || Is(FileType::CompositeDataMaint);
    }
    // The data file of a secondary index kept up to date with its table.
    bool IsMaintainedData() const {
        return Is(FileType::SecondaryDataMaint) || Is(FileType::CompositeDataMaint);
    }
    bool Keyed() const { return Is(FileType::KeyedTable); }
    // Records a block of this file can hold per its layout: floor((blockSize - 6) / recordSize).
    std::uint32_t RecordsPerBlock() const {
        return recordSize == 0 || BlockSize() < 6 ? 0 : (BlockSize() - 6) / recordSize;
    }
    // Sum of the declared field byte lengths.
    std::uint32_t FieldBytes() const;
    // The key (as read, or as recovered by the reader) and the bytes kept with it.
    TableProtection Protection() const;
    TableSchema ToSchema() const;
};

bool IsValidBlockSizeCode(std::uint8_t code);

// Parses the header of `file` (the whole file's bytes). Reports every fault of the header as
// a finding against `fileName` and returns nullopt only when the layout cannot be understood
// at all (too short, unknown file type or level, no usable field descriptors).
std::optional<TableHeader> ParseHeader(ByteView file, const std::string& fileName,
                                       FindingList& findings);

// Why a header could not be understood at all.
enum class HeaderFailure : std::uint8_t {
    None,
    TooShort,         // the file cannot hold a header
    NotAParadoxFile,  // a file type or level no Paradox file has
    FieldsUnreadable, // the fixed part read, but no usable field descriptors follow it
};

struct ParsedHeader {
    std::optional<TableHeader> header;
    HeaderFailure failure = HeaderFailure::None; // None exactly when `header` is set
};

// ParseHeader, with the reason when it returns no header.
ParsedHeader ParseHeaderWithReason(ByteView file, const std::string& fileName,
                                   FindingList& findings);

} // namespace paradox
