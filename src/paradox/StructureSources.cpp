#include "paradox/StructureSources.h"

#include "paradox/Family.h"
#include "paradox/HeaderOffsets.h"

#include <cctype>

namespace paradox {
namespace {

constexpr std::size_t kMaxNameLength = 25;
constexpr std::size_t kMaxSortNameLength = 32;

bool IsKnownLevel(std::uint8_t version) {
    return version >= level::V3_0 && version <= level::V7;
}

bool PrintableName(const std::string& name, std::size_t maxLength) {
    if (name.empty() || name.size() > maxLength) {
        return false;
    }
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return false;
        }
    }
    return true;
}

FieldClue ClueOf(std::uint8_t typeCode, std::uint8_t sizeByte) {
    FieldClue clue;
    clue.typeCode = typeCode;
    clue.sizeByte = sizeByte;
    clue.known = LookupFieldType(typeCode).has_value() && IsValidFieldSize(typeCode, sizeByte);
    return clue;
}

// The names after the descriptors, pointers and table name, each checked on its own; reading
// stops at the first that does not look like a name.
void ReadNames(ByteView header, std::size_t pos, std::vector<FieldClue>& fields) {
    for (FieldClue& field : fields) {
        auto name = header.CString(pos, kMaxNameLength + 1);
        if (!name || !PrintableName(*name, kMaxNameLength)) {
            return;
        }
        field.name = *name;
        pos += name->size() + 1;
    }
}

std::uint16_t BelievableHeaderSize(ByteView db, std::uint8_t version) {
    const auto size = db.U16LE(header_at::kHeaderSize).value_or(0);
    if (size < header_at::kFixedPartEnd || size > db.size()) {
        return 0;
    }
    // From level 3.5 on, headers come in whole 0x800 units.
    const bool unitsOk = size % 0x800 == 0;
    if (version == level::V3_0 || (version == 0 && !unitsOk)) {
        return version == level::V3_0 ? size : 0;
    }
    return unitsOk ? size : 0;
}

} // namespace

SurvivingHeader ReadSurvivingHeader(ByteView db) {
    SurvivingHeader s;
    if (db.size() < header_at::kFixedPartEnd) {
        return s;
    }
    const std::uint8_t version = *db.U8(header_at::kFileVersion);
    if (IsKnownLevel(version)) {
        s.fileVersion = version;
    }
    const std::uint8_t type = *db.U8(header_at::kFileType);
    if (type == static_cast<std::uint8_t>(FileType::KeyedTable) ||
        type == static_cast<std::uint8_t>(FileType::UnkeyedTable)) {
        s.fileType = type;
    }
    const std::uint8_t code = *db.U8(header_at::kBlockSizeCode);
    if (IsValidBlockSizeCode(code)) {
        s.blockSizeCode = code;
    }
    s.headerSize = BelievableHeaderSize(db, s.fileVersion);
    const std::uint32_t blockLimit = s.blockSizeCode != 0 ? s.blockSizeCode * 0x400u : 0x8000u;
    const auto recordSize = *db.U16LE(header_at::kRecordSize);
    if (recordSize > 0 && recordSize <= blockLimit - 6) {
        s.recordSize = recordSize;
    }
    s.numRecords = *db.U32LE(header_at::kNumRecords);
    s.blocksInUse = *db.U16LE(header_at::kBlocksInUse);
    s.fileBlocks = *db.U16LE(header_at::kFileBlocks);
    s.firstBlock = *db.U16LE(header_at::kFirstBlock);
    s.lastBlock = *db.U16LE(header_at::kLastBlock);
    s.firstFreeBlock = *db.U16LE(header_at::kFirstFreeBlock);
    s.sortOrder = *db.U8(header_at::kSortOrder);
    s.autoIncrement = *db.U32LE(header_at::kAutoIncrement);
    if (s.fileVersion == 0) {
        return s; // without the level nothing after the fixed part can be placed
    }
    const bool extension = s.fileVersion >= 5;
    s.encrypted = extension ? db.U32LE(header_at::kEncryption2).value_or(0) != 0
                            : *db.U32LE(header_at::kEncryption1) != 0;
    // The header as far as it can reach; names never run past it.
    const ByteView header =
        db.Sub(0, s.headerSize != 0 ? s.headerSize : std::min<std::size_t>(db.size(), 0x800));
    if (extension) {
        s.codePage = header.U16LE(header_at::kCodePage).value_or(0);
        const std::size_t sortAt =
            header_at::kFixedPartEnd + header.U16LE(header_at::kSortNameOffset).value_or(0);
        auto sortName = header.CString(sortAt, kMaxSortNameLength + 1);
        if (sortAt > header_at::kExtensionEnd && sortName &&
            PrintableName(*sortName, kMaxSortNameLength)) {
            s.sortOrderName = *sortName;
        }
    }
    const auto numFields = *db.S16LE(header_at::kNumFields);
    const auto keyFields = *db.S16LE(header_at::kPrimaryKeyFields);
    if (numFields <= 0 || numFields > 255) {
        if (keyFields >= 0 && keyFields <= 255) {
            s.keyFields = keyFields;
        }
        return s;
    }
    if (keyFields >= 0 && keyFields <= numFields &&
        (s.fileType == 0xFF || (s.fileType == 0) == (keyFields > 0))) {
        s.keyFields = keyFields;
    }
    const auto n = static_cast<std::size_t>(numFields);
    std::size_t pos = extension ? header_at::kExtensionEnd : header_at::kFixedPartEnd;
    if (!header.Has(pos, 2 * n)) {
        return s;
    }
    s.fields.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        s.fields.push_back(ClueOf(*header.U8(pos + 2 * i), *header.U8(pos + 2 * i + 1)));
    }
    pos += 2 * n + 4 + 4 * n;
    const std::size_t tableNameLength = s.fileVersion >= level::V7 ? 261 : 79;
    if (auto name = header.CString(pos, tableNameLength)) {
        s.tableName = *name;
    }
    ReadNames(header, pos + tableNameLength, s.fields);
    return s;
}

std::optional<IndexClues> ReadPrimaryIndexClues(ByteView px, const std::string& fileName,
                                                std::string* why) {
    FindingList findings;
    const auto header = ParseHeader(px, fileName, findings);
    if (!header || !header->Is(FileType::PrimaryIndex)) {
        *why = "not a primary index header";
        return std::nullopt;
    }
    if (!header->fieldsKnown) {
        *why = "its key field descriptors are damaged";
        return std::nullopt;
    }
    IndexClues clues;
    clues.file = fileName;
    clues.keyFields = static_cast<std::uint16_t>(header->fields.size());
    clues.fileVersion = header->fileVersion;
    clues.sortOrder = header->sortOrder;
    for (std::size_t i = 0; i < header->fields.size(); ++i) {
        clues.fields.emplace_back(static_cast<std::uint16_t>(i + 1),
                                  ClueOf(header->fields[i].typeCode, header->fields[i].sizeByte));
    }
    return clues;
}

std::optional<IndexClues> ReadSecondaryIndexClues(ByteView x, const std::string& fileName,
                                                  int tableKeyFields, std::string* why) {
    FindingList findings;
    const auto header = ParseHeader(x, fileName, findings);
    if (!header || !header->IsSecondaryData()) {
        *why = "not a secondary index header";
        return std::nullopt;
    }
    if (!header->fieldsKnown) {
        *why = "its field descriptors are damaged";
        return std::nullopt;
    }
    const std::size_t count = header->fields.size();
    // How many leading X fields are indexed table fields: the rest are the table's key fields
    // and a block number (keyed table) or record number, block number and offset (unkeyed).
    std::size_t indexed = 0;
    if (tableKeyFields > 0 && count > static_cast<std::size_t>(tableKeyFields) + 1) {
        indexed = count - static_cast<std::size_t>(tableKeyFields) - 1;
    } else if (tableKeyFields == 0 && count > 3) {
        indexed = count - 3;
    } else if (tableKeyFields < 0 && !header->fieldNumbers.empty()) {
        // Entries past the indexed fields number the X record's own positions.
        indexed = count;
        while (indexed > 0 && header->fieldNumbers[indexed - 1] == indexed) {
            --indexed;
        }
    }
    std::vector<std::uint16_t> numbers;
    if (!header->fieldNumbers.empty()) {
        for (std::size_t i = 0; i < indexed && i < header->fieldNumbers.size(); ++i) {
            numbers.push_back(static_cast<std::uint16_t>(header->fieldNumbers[i] & 0x7FFFu));
        }
    } else {
        // Levels before 5 store no numbers: a single-field index is named after its field.
        const std::string extension = UpperExtension(fileName);
        if (extension.size() == 3 && extension[0] == 'X' && std::isdigit(extension[1]) &&
            std::isdigit(extension[2])) {
            numbers.push_back(
                static_cast<std::uint16_t>((extension[1] - '0') * 10 + (extension[2] - '0')));
            indexed = 1;
        }
    }
    if (numbers.empty() || numbers.size() != indexed) {
        *why = "the fields it indexes cannot be told from its header";
        return std::nullopt;
    }
    IndexClues clues;
    clues.file = fileName;
    clues.fileVersion = header->fileVersion;
    clues.sortOrder = header->sortOrder;
    clues.sortOrderName = header->sortOrderName;
    clues.codePage = header->codePage;
    auto add = [&](std::uint16_t tableField, std::size_t xField) {
        const FieldSpec& f = header->fields[xField];
        FieldClue clue = ClueOf(f.typeCode, f.sizeByte);
        if (PrintableName(f.name, kMaxNameLength)) {
            clue.name = f.name;
        }
        clues.fields.emplace_back(tableField, clue);
    };
    for (std::size_t i = 0; i < indexed; ++i) {
        if (numbers[i] == 0) {
            *why = "its header names field 0";
            return std::nullopt;
        }
        add(numbers[i], i);
    }
    for (int k = 0; k < tableKeyFields && indexed + static_cast<std::size_t>(k) < count; ++k) {
        add(static_cast<std::uint16_t>(k + 1), indexed + static_cast<std::size_t>(k));
    }
    return clues;
}

std::optional<TableHeader> ReadCompleteHeader(ByteView db, const std::string& fileName,
                                              std::string* why) {
    FindingList findings;
    auto header = ParseHeader(db, fileName, findings);
    if (!header || !header->IsTable()) {
        *why = "not a table header";
        return std::nullopt;
    }
    if (!header->fieldsKnown) {
        *why = "its own field descriptors are damaged";
        return std::nullopt;
    }
    if (header->encrypted) {
        *why = "it is encrypted";
        return std::nullopt;
    }
    return header;
}

} // namespace paradox
