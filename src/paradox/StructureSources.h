#pragma once

#include "paradox/ByteView.h"
#include "paradox/Header.h"
#include "paradox/Schema.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace paradox {

// What one file says about one field of a table: type and size when they are believable,
// the name when one is stored.
struct FieldClue {
    bool known = false; // type code defined and size byte legal for it
    std::uint8_t typeCode = 0;
    std::uint8_t sizeByte = 0;
    std::string name; // empty when the file stores none that can be read
};

// The parts of a damaged table header that still hold up, each judged on its own. Values that
// fail their check are zero (or empty), never guessed.
struct SurvivingHeader {
    std::uint16_t headerSize = 0;   // >= 0x58, inside the file, 0x800 multiple from level 3.5
    std::uint8_t blockSizeCode = 0; // a valid code
    std::uint8_t fileVersion = 0;   // a known level
    std::uint8_t fileType = 0xFF;   // 0 keyed or 2 unkeyed, 0xFF unknown
    std::uint16_t recordSize = 0;   // fits a block
    std::int16_t keyFields = -1;    // -1 unknown
    std::vector<FieldClue> fields;  // empty when the field count is not believable
    std::string sortOrderName;
    std::uint8_t sortOrder = 0;
    std::uint16_t codePage = 0;
    std::string tableName;
    std::uint32_t autoIncrement = 0;
    // The chain bookkeeping of the fixed part, as stored (checked against the blocks later).
    std::uint32_t numRecords = 0;
    std::uint16_t fileBlocks = 0, blocksInUse = 0, firstBlock = 0, lastBlock = 0;
    std::uint16_t firstFreeBlock = 0;
    bool encrypted = false;
};
SurvivingHeader ReadSurvivingHeader(ByteView db);

// Fields an index file describes, by their 1-based field number in the table.
struct IndexClues {
    std::string file;
    std::uint16_t keyFields = 0; // .PX only: the table's key field count
    std::vector<std::pair<std::uint16_t, FieldClue>> fields;
    std::uint8_t fileVersion = 0;
    std::string sortOrderName;
    std::uint8_t sortOrder = 0;
    std::uint16_t codePage = 0;
};

// The key fields a primary index's header declares (types and sizes, no names); nullopt with
// the reason when the header is not a usable .PX header.
std::optional<IndexClues> ReadPrimaryIndexClues(ByteView px, const std::string& fileName,
                                                std::string* why);

// The fields of a secondary index's X file, placed at their table field numbers: the indexed
// fields (from the field-number array, or from the extension of a single-field .Xnn), then
// the table's key fields that follow them when `tableKeyFields` (>= 0) is known. Names come
// with them: an X file stores the table's field names.
std::optional<IndexClues> ReadSecondaryIndexClues(ByteView x, const std::string& fileName,
                                                  int tableKeyFields, std::string* why);

// The complete structure of a healthy table (a backup or a template); nullopt with the reason
// when its header does not describe its fields fully.
std::optional<TableHeader> ReadCompleteHeader(ByteView db, const std::string& fileName,
                                              std::string* why);

} // namespace paradox
