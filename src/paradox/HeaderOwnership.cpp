#include "paradox/HeaderOwnership.h"

#include "paradox/Header.h"
#include "paradox/HeaderOffsets.h"

#include <algorithm>
#include <array>

namespace paradox {
namespace {

namespace at = header_at;

// The kinds of file a field belongs to the writer in.
enum Kind : std::uint8_t {
    kTable = 1,         // .DB
    kSecondaryData = 2, // .Xnn/.XGn
    kIndex = 4,         // .PX/.Ynn/.YGn
    kAll = kTable | kSecondaryData | kIndex,
};

struct OwnedField {
    std::size_t offset;
    std::size_t size;
    std::uint8_t kinds;
};

// The fixed part. Bytes 0x16..0x1D, 0x2B, 0x30..0x38, 0x3C, 0x48, 0x50, 0x53..0x57 are not
// here: in-memory pointers, write protection and unexplained bytes, among them 0x55 of a
// .DB (referential integrity).
constexpr std::array kFixedPart{
    OwnedField{at::kRecordSize, 2, kAll}, OwnedField{at::kHeaderSize, 2, kAll},
    OwnedField{at::kFileType, 1, kAll}, OwnedField{at::kBlockSizeCode, 1, kAll},
    OwnedField{at::kNumRecords, 4, kAll}, OwnedField{at::kBlocksInUse, 2, kAll},
    OwnedField{at::kFileBlocks, 2, kAll}, OwnedField{at::kFirstBlock, 2, kAll},
    OwnedField{at::kLastBlock, 2, kAll},
    OwnedField{at::kWord12, 2, kAll}, // tied between the family's files
    OwnedField{at::kModifiedFlags1, 1, kAll}, OwnedField{at::kIndexFieldNumber, 1, kAll},
    OwnedField{at::kIndexRoot, 2, kAll}, OwnedField{at::kIndexLevels, 1, kAll},
    OwnedField{at::kNumFields, 2, kAll}, OwnedField{at::kPrimaryKeyFields, 2, kAll},
    OwnedField{at::kEncryption1, 4, kAll}, OwnedField{at::kSortOrder, 1, kAll},
    OwnedField{at::kModifiedFlags2, 1, kAll},
    // The change counts a family's files copy from each other (.PX 0x2C = .DB 0x2D, .Xnn
    // 0x2E = .DB 0x2E, .Xnn 0x2F = .PX 0x2C, .Ynn 0x2C = .Xnn 0x2D).
    OwnedField{at::kIndexSyncCount, 1, kSecondaryData | kIndex},
    OwnedField{at::kChangeCount1, 1, kTable | kSecondaryData},
    OwnedField{at::kChangeCount2, 1, kTable | kSecondaryData},
    OwnedField{at::kByte2F, 1, kSecondaryData}, OwnedField{at::kFileVersion, 1, kAll},
    OwnedField{at::kMaxBlocks, 2, kAll},
    // Auxiliary password count, 0x3E..0x3F and the crypt info pointers: the encryption fields.
    OwnedField{at::kAuxPasswords, 0x48 - at::kAuxPasswords, kAll},
    OwnedField{at::kAutoIncrement, 4, kTable}, OwnedField{at::kFirstFreeBlock, 2, kAll},
    OwnedField{0x4F, 1, kAll}, // index update required
    OwnedField{at::kRealHeaderSize, 2, kAll},
    OwnedField{at::kByte55, 1, kSecondaryData}, // case and direction of a composite index
};

// The level-4 extension. 0x64 (highest field id), 0x6C, 0x6D and 0x70..0x77 are not here.
constexpr std::array kExtension{
    OwnedField{at::kFileVersion2, 4, kAll},    OwnedField{at::kEncryption2, 4, kAll},
    OwnedField{at::kFileUpdateTime, 4, kAll},  OwnedField{at::kFieldNumbersOffset, 2, kAll},
    OwnedField{at::kIndexNameOffset, 2, kAll}, OwnedField{at::kCodePage, 2, kAll},
    OwnedField{at::kSortNameOffset, 2, kAll},
};

Kind KindOf(FileType type) {
    switch (type) {
    case FileType::KeyedTable:
    case FileType::UnkeyedTable:
        return kTable;
    case FileType::PrimaryIndex:
    case FileType::SecondaryIndex:
    case FileType::CompositeIndex:
        return kIndex;
    default:
        return kSecondaryData;
    }
}

void Own(std::vector<bool>& owned, std::size_t from, std::size_t to) {
    to = std::min(to, owned.size());
    for (std::size_t i = from; i < to; ++i) {
        owned[i] = true;
    }
}

} // namespace

std::size_t TableNameField(std::uint8_t fileVersion) {
    return fileVersion >= level::V7 ? 261 : 79;
}

std::vector<bool> OwnedHeaderBytes(const HeaderShape& shape) {
    std::vector<bool> owned(shape.size, false);
    const Kind kind = KindOf(shape.fileType);
    auto ownFields = [&](const auto& fields) {
        for (const OwnedField& f : fields) {
            if ((f.kinds & kind) != 0) {
                Own(owned, f.offset, f.offset + f.size);
            }
        }
    };
    ownFields(kFixedPart);
    if (shape.extension) {
        ownFields(kExtension);
    }
    // Variable part: the field descriptors, then (past the in-memory pointers to the table name
    // and, in data files, to each field name) everything up to the end of the names.
    const std::size_t start = shape.extension ? at::kExtensionEnd : at::kFixedPartEnd;
    const std::size_t pointersAt = start + 2 * shape.fieldCount;
    Own(owned, start, pointersAt);
    const std::size_t nameAt = pointersAt + 4 + (kind == kIndex ? 0 : 4 * shape.fieldCount);
    Own(owned, nameAt, nameAt + std::min(shape.tableNameUsed, shape.tableNameField));
    Own(owned, nameAt + shape.tableNameField, shape.contentEnd);
    return owned;
}

KeptHeader KeepableHeaderBytes(const TableHeader& source) {
    KeptHeader kept;
    kept.extension = source.hasExtension;
    kept.indexFile = source.IsPrimaryStyleIndex();
    const std::vector<bool> owned =
        OwnedHeaderBytes({source.Type(), source.hasExtension, source.fields.size(),
                          TableNameField(source.fileVersion), source.tableName.size() + 1,
                          source.parsedEnd, source.raw.size()});
    kept.bytes.resize(source.raw.size());
    for (std::size_t i = 0; i < source.raw.size(); ++i) {
        if (!owned[i]) {
            kept.bytes[i] = source.raw[i];
        }
    }
    return kept;
}

} // namespace paradox
