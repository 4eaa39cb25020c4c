#include "paradox/FindingDetail.h"

#include "paradox/Finding.h"

namespace paradox {

DetailForm FormOf(DetailKind kind) {
    using K = DetailKind;
    using C = FindingCode;
    // A switch, so that a kind without its words does not build.
    switch (kind) {
    case K::None:
        return {"", std::nullopt};
    case K::Text:
        return {"{found}", std::nullopt};
    case K::MoreNotListed:
        return {"{found} more like this not listed", std::nullopt};
    // header
    case K::FileBytes:
        return {"{found} bytes", C::FileTooShort};
    case K::TypeByte:
        return {"type byte {found}", C::BadFileType};
    case K::TypeByteForName:
        return {"type byte {found} does not fit the file name", C::BadFileType};
    case K::VersionByte:
        return {"version byte {found}", C::BadFileVersion};
    case K::FieldCount:
        return {"{found} fields", C::BadFieldCount};
    case K::DescriptorsPastHeader:
        return {"field descriptors end past the header at {found:x}", C::HeaderVariablePartBad};
    case K::FieldTypeUnknown:
        return {"field {field} type {found:x}", C::UnknownFieldType};
    case K::FieldSizeBad:
        return {"field {field} {extra} size {found}", C::BadFieldSize};
    case K::FieldTypeAboveLevel:
        return {"field {field} {found} in a file of version {expected}", C::FieldTypeAboveLevel};
    case K::TableNamePastHeader:
        return {"table name runs past the header", C::HeaderVariablePartBad};
    case K::FieldNameUnterminated:
        return {"name of field {field} is not terminated in the header", C::HeaderVariablePartBad};
    case K::FieldNumbersBeforeNames:
        return {"field number array offset {found:x} before the end of the names at {expected:x}",
                C::HeaderVariablePartBad};
    case K::FieldNumbersPastHeader:
        return {"field number array runs past the header", C::HeaderVariablePartBad};
    case K::SortNameMisplaced:
        return {"sort order name expected at {expected:x}, header says {found:x}",
                C::HeaderVariablePartBad};
    case K::SortNameUnterminated:
        return {"sort order name is not terminated", C::HeaderVariablePartBad};
    case K::IndexNameMisplaced:
        return {"index name expected at {expected:x}, header says {found:x}",
                C::HeaderVariablePartBad};
    case K::IndexNameUnterminated:
        return {"index name is not terminated", C::HeaderVariablePartBad};
    case K::BlockSizeCode:
        return {"code {found}", C::BadBlockSize};
    case K::KeyFieldsOfFields:
        return {"{found} key fields of {extra}", C::BadKeyFieldCount};
    case K::KeyedWithoutKeyFields:
        return {"keyed table with no key fields", C::BadKeyFieldCount};
    case K::UnkeyedWithKeyFields:
        return {"unkeyed table with {found} key fields", C::BadKeyFieldCount};
    case K::RecordSizeOfFields:
        return {"record size {found}, fields need {expected}", C::RecordSizeMismatch};
    case K::RecordSizeOverBlock:
        return {"record size {found} does not fit a block of {extra}", C::RecordSizeMismatch};
    case K::HeaderSizeBeforeContents:
        return {"header size {found:x} but its contents end at {expected:x}", C::BadHeaderSize};
    case K::HeaderSizePastFile:
        return {"header size {found:x} beyond the end of the file at {extra:x}", C::BadHeaderSize};
    case K::UsedHeaderSize:
        return {"used header size {found:x} but contents end at {expected:x}",
                C::HeaderVariablePartBad};
    case K::ModifiedFlags:
        return {"modified flags {found:x} {extra:x}", C::RebuildFlagSet};
    case K::EncryptionMarker:
        return {"marker {found:x}", C::EncryptionMarkerOdd};
    case K::PasswordChecksum:
        return {"password checksum {found:x}; blocks are decrypted with it, no password needed",
                C::Encrypted};
    // table blocks
    case K::LastRecordOffset:
        return {"last record offset {found}", std::nullopt};
    case K::LastRecordOffsetNotMultiple:
        return {"last record offset {found} is not a multiple of {extra}", C::BadLastRecordOffset};
    case K::LastRecordOffsetPastEnd:
        return {"last record offset {found} past the block end; reading {extra} records",
                C::BadLastRecordOffset};
    case K::FileEndsInBlock:
        return {"file ends after {found} of {expected} records", C::FileTruncated};
    case K::NextBlockPastFile:
        return {"next block {block} but the file holds {extra}", C::ChainPointerOutOfRange};
    case K::NextBlockInChain:
        return {"next block {block} is already in the chain", C::ChainCycle};
    case K::BackLink:
        return {"back link {found}, expected {expected}", C::ChainPrevMismatch};
    case K::ChainEnd:
        return {"chain ends at block {found}, header says {expected}", C::ChainTailMismatch};
    case K::ChainBlocks:
        return {"chain has {found} blocks, header says {expected}", C::ChainLengthMismatch};
    case K::BlocksHoldRecords:
        return {"blocks hold {found} records, header says {expected}", C::RecordCountMismatch};
    case K::FileHoldsBlocks:
        return {"file holds {found} of {expected} blocks", C::FileTruncated};
    case K::FileHoldsBlocksCutPiece:
        return {"file holds {found} of {expected} blocks, and a part of the next one too short to "
                "decrypt",
                C::FileTruncated};
    case K::BlocksInUseOverFile:
        return {"{found} blocks in use but the file has {extra}", C::BlockCountMismatch};
    case K::FirstLastBlockOverFile:
        return {"first block {found}, last block {block} of {extra}", C::ChainPointerOutOfRange};
    case K::FirstBlock:
        return {"first block {found}", C::ChainBadFirst};
    case K::NoBlocksButRecords:
        return {"no blocks in use but {found} records, first block {block}", C::ChainBadFirst};
    case K::RecordsOverCapacity:
        return {"{found} records cannot fit in {extra} blocks", C::RecordCountMismatch};
    case K::LastBlockNotChainEnd:
        return {"the header's last block does not end the chain", C::ChainTailMismatch};
    case K::BytesAfterLastBlock:
        return {"{found} bytes after block {block}", C::ExtraBytesAtEnd};
    case K::BlocksFoundInChainAndFree:
        return {"header says {expected} blocks, found {found} in the chain and {extra} free",
                C::BlockCountMismatch};
    case K::NotReachable:
        return {"not reachable from the header", C::OrphanBlock};
    case K::FreeBlockOutsideFile:
        return {"points at block {block} outside the file", C::FreeListBad};
    case K::FreeBlockInChain:
        return {"block {block} is also in the data chain", C::FreeListBad};
    case K::FreeBlockTwice:
        return {"block {block} is listed twice (cycle)", C::FreeListBad};
    case K::StoredKeyNoKey:
        return {"stored key {found:x} does not decrypt block 1 to a valid block header, and no "
                "other key does, and the stored key fits no other block either: the key is "
                "damaged and the blocks cannot be read",
                C::EncryptionKeyBad};
    case K::StoredKeyFoundBySearch:
        return {"stored key {found:x} does not decrypt block 1; read with low half {extra:x}, "
                "found by search",
                C::EncryptionKeyBad};
    // indexes
    case K::IndexEntriesClaimed:
        return {"{found} entries claimed, {expected} fit", C::IndexTreeBad};
    case K::IndexChildOutsideFile:
        return {"child block {block} outside the index file", C::IndexTreeBad};
    case K::IndexBlockTwice:
        return {"block {block} is reached twice (loop)", C::IndexTreeBad};
    case K::IndexBlockEmpty:
        return {"index block without entries", C::IndexTreeBad};
    case K::IndexKeyDiffersFromBlock:
        return {"key differs from the first key of block {block}", C::IndexKeyMismatch};
    case K::IndexPointsOutsideChain:
        return {"points at block {block}, which is not in the table's chain", std::nullopt};
    case K::IndexEntryChainPosition:
        return {"entry {entry} points at block {block}, chain position {found}",
                C::IndexBlocksMismatch};
    case K::IndexKeyDiffersFromRecord:
        return {"key differs from the first record of block {block}", C::IndexKeyMismatch};
    case K::LeafEntriesForBlocks:
        return {"{found} leaf entries for {expected} table blocks", C::IndexBlocksMismatch};
    case K::IndexEmptyTableHolds:
        return {"index is empty but the table holds {expected} records", C::IndexTreeBad};
    case K::TreeEntriesHeaderSays:
        return {"tree holds {found} entries, header says {expected}", C::IndexCountMismatch};
    case K::FileTypeNotIndex:
        return {"file type {found} is not an index", C::IndexHeaderBad};
    case K::KeyFieldCounts:
        return {"{found} key fields in the index, {expected} leading key fields in the table",
                C::IndexKeyFieldsMismatch};
    case K::KeyFieldTypes:
        return {"key field {field} is {found} in the index, {expected} in the table",
                C::IndexKeyFieldsMismatch};
    case K::IndexLevels:
        return {"{found} levels is not plausible", C::IndexHeaderBad};
    case K::RootBlockOf:
        return {"root block {block} of {extra}", C::IndexHeaderBad};
    case K::IndexEmptyTableHas:
        return {"index is empty, table has {expected} records", C::IndexCountMismatch};
    case K::IndexEntriesTableEmpty:
        return {"index has entries, table is empty", C::IndexCountMismatch};
    case K::IndexEntriesForBlocks:
        return {"{found} entries for {expected} table blocks", C::IndexCountMismatch};
    case K::IndexEntriesInLevels:
        return {"{found} entries in {extra} levels for {expected} table blocks",
                C::IndexCountMismatch};
    case K::Collation:
        return {"collation {found}, table has {expected}", C::IndexOfAnotherTable};
    case K::IndexChangeByte:
        return {"index change byte {found}, table change byte {expected}", C::IndexOutOfDate};
    case K::StatisticHeld:
        return {"entry says {found} records, block {block} holds {expected}",
                C::IndexStatisticMismatch};
    case K::StatisticUnreadable:
        return {"entry says {found} records, block {block} cannot be read",
                C::IndexStatisticMismatch};
    case K::StatisticSum:
        return {"index statistics add up to {found}, table says {expected}", C::IndexCountMismatch};
    case K::RootPastFile:
        return {"root block is past the end of the file", C::IndexTreeBad};
    case K::RootEntriesPastEnd:
        return {"root block entries past the end", C::FileTruncated};
    case K::RootEntryDataBlock:
        return {"entry {entry} points at data block {block} of {extra}", C::IndexTreeBad};
    case K::ValueDiffers:
        return {"value of {field} differs from the table", C::SecondaryIndexBad};
    case K::NoRecordHasKey:
        return {"no table record has this key", C::SecondaryIndexBad};
    case K::PrimaryChangeByteCopied:
        return {"primary index change byte {found}, this index copied {expected}",
                C::IndexOutOfDate};
    case K::TableFieldOutsideRecord:
        return {"table field {field} lies outside its record", C::SecondaryIndexBad};
    case K::IndexFileMissing:
        return {"the index file of {extra} is missing", C::IndexMissing};
    case K::FileType:
        return {"file type {found}", C::IndexHeaderBad};
    case K::NotSecondaryData:
        return {"file type {found} is not secondary index data", C::SecondaryIndexBad};
    case K::FieldsCannotIndex:
        return {"{found} fields cannot index this table", std::nullopt};
    case K::IndexedFieldNotInTable:
        return {"indexed field number {field} not in the table", C::IndexOfAnotherTable};
    case K::FieldDiffersFromTable:
        return {"field {field} differs from table field {extra}", C::IndexOfAnotherTable};
    case K::IndexRecordsTableHas:
        return {"{found} index records, the table has {expected}", C::IndexCountMismatch};
    case K::TableHasNoKey:
        return {"the table has no key", C::IndexUnexpected};
    case K::EntryOutOfOrder:
        return {"entry out of order (lower than the entry before it)", C::SecondaryIndexBad};
    case K::EntryOutOfOrderFolded:
        return {"entry out of order even ignoring case (sort order {extra} has no collation "
                "table here)",
                C::SecondaryIndexBad};
    // records
    case K::SameKeyAsBefore:
        return {"same key as the record before it", C::DuplicateKey};
    case K::LogicalByte:
        return {"{field}: logical byte {found}", C::BadValue};
    case K::DayNumber:
        return {"{field}: day number {found}", C::BadValue};
    case K::TimeOfDay:
        return {"{field}: {found} ms after midnight", C::BadValue};
    // block layout found from the data
    case K::HeaderSizeFromChain:
        return {"header size {found:x} does not fit the file; a chain of {extra} blocks from block "
                "1 starts at {expected:x}, the blocks are read from there",
                C::BadHeaderSize};
    case K::BlockSizeFromChain:
        return {"block size code {found} does not fit the blocks; a chain of {extra} blocks from "
                "block 1 has blocks of {expected} bytes, the blocks are read with that size",
                C::BadBlockSize};
    case K::KeyFoundOverBlock1:
        return {"the header keeps no key but the blocks are encrypted; read with low half "
                "{found:x}, found by search over block 1; the high half of the password checksum "
                "cannot be restored without the password, so the table is keyed with the low "
                "half only",
                C::EncryptionKeyBad};
    // verify and rebuild
    case K::KeyLowerThanBefore:
        return {"key lower than the record before it", C::KeyOrder};
    case K::KeyLowerFolded:
        return {"key lower than the record before it even ignoring case (sort order {extra} has "
                "no collation table here)",
                C::KeyOrder};
    case K::FieldValueBad:
        return {"field {field} ({extra}): {found}", std::nullopt};
    case K::BlobUnreadable:
        return {"field {field} ({extra}): blob data cannot be read", C::BlobLost};
    case K::BlobUnreadableBecause:
        return {"field {field} ({extra}): blob data cannot be read: {found}", C::BlobLost};
    case K::BlobUnreadableKept:
        return {"field {field} ({extra}): blob data cannot be read; record kept without it",
                C::BlobLost};
    case K::BlobUnreadableBecauseKept:
        return {"field {field} ({extra}): blob data cannot be read: {found}; record kept without "
                "it",
                C::BlobLost};
    case K::RecordsLost:
        return {"{found} of at most {expected} records ({extra}) could not be read; the backup "
                "keeps them",
                C::BlockLost};
    case K::IndexLeftOut:
        return {"{found}; the table was rebuilt without it", C::IndexLost};
    case K::BlobFileLeftOut:
        return {"holds blobs no field of the table refers to; left out of the rebuilt table, the "
                "backup keeps it",
                C::BlobLost};
    case K::MovedTo:
        return {"moved to {extra}", C::KeyViolation};
    case K::LeftAlone:
        return {"left alone", C::FamilyMemberAmbiguous};
    case K::LeftOutOfFamily:
        return {"left out of {extra}'s files", C::FamilyMemberAmbiguous};
    case K::StructureContradiction:
        return {"{found}", C::StructureContradicted};
    case K::SourceRefused:
        return {"{extra}: {found}", C::StructureSourceRefused};
    case K::FieldsTakenFrom:
        return {"fields taken from {extra}", C::StructureSalvaged};
    case K::SourceChosen:
        return {"{extra}: a rebuild would take the fields from it", C::StructureSourceFits};
    case K::SourceFitsLater:
        return {"{extra}: fits, but an earlier source comes first", C::StructureSourceFits};
    case K::SourceInferable:
        return {"{extra}: available when inference is asked for", C::StructureSourceFits};
    case K::SourceInferableOnly:
        return {"{extra}: available when inference is asked for; no source found in files fits",
                C::StructureSourceFits};
    case K::KeySearch:
        return {"{found}", C::EncryptionKeyBad};
    case K::PrimaryIndexMissing:
        return {"keyed table without its primary index", C::IndexMissing};
    case K::PrimaryIndexUnkeyed:
        return {"primary index of an unkeyed table", C::IndexUnexpected};
    case K::NotATable:
        return {"not a table", C::BadFileType};
    case K::BlockOnlyZeros:
        return {"block holds only zeros; its records are lost", C::BlockLost};
    case K::SlotsNotTakenOver:
        return {"{found} slots after the last record are not taken over", C::BadLastRecordOffset};
    case K::RecordsRecovered:
        return {"outside the chain; {found} records recovered", C::OrphanBlock};
    case K::ChangedWhileRead:
        return {"changed size while it was read; what was printed is not reliable",
                C::FileTruncated};
    case K::RecordsReadHeaderSays:
        return {"{found} records read, header says {expected}", C::RecordCountMismatch};
    case K::SwapCompleted:
        return {"completed from its journal {extra}: the rebuilt files are in place",
                C::InterruptedRebuildFinished};
    case K::SwapRolledBack:
        return {"rolled back before its journal was written: its staging folder {extra} was "
                "removed, the table's files are as they were",
                C::InterruptedRebuildFinished};
    // blob files
    case K::BlobStoredPlain:
        return {"stored unencrypted although its table is encrypted; read as stored",
                C::BlobFileBad};
    case K::BlobOffsetNotBlock:
        return {"{field}: offset {block:x} is not a block", C::BlobPointerBad};
    case K::BlobNotSingle:
        return {"{field}: block at {block:x} does not hold a single blob", C::BlobPointerBad};
    case K::BlobBlockNotInFile:
        return {"{field}: block at {block:x} of {extra} units is not in the file",
                C::BlobPointerBad};
    case K::BlobLengthInFile:
        return {"{field}: record says {expected} bytes, blob file {found}", C::BlobLengthMismatch};
    case K::BlobPastBlock:
        return {"{field}: blob runs past its block", C::BlobLengthMismatch};
    case K::BlobNotSuballocated:
        return {"{field}: block at {block:x} is not suballocated", C::BlobPointerBad};
    case K::BlobSlotEmpty:
        return {"{field}: slot {entry} is empty", C::BlobPointerBad};
    case K::BlobLengthInSlot:
        return {"{field}: record says {expected} bytes, slot {found}", C::BlobLengthMismatch};
    case K::BlobSlotPastBlock:
        return {"{field}: slot data runs past its block", C::BlobPointerBad};
    case K::BlobSlotIndex:
        return {"{field}: slot index {entry}", C::BlobPointerBad};
    case K::BlobModNumber:
        return {"{field}: record {expected}, blob file {found}", C::BlobModNumberMismatch};
    case K::BlobLeader:
        return {"{field}", C::BlobLeaderMismatch};
    case K::BlobBeyondLeader:
        return {"{field}: {found} bytes claimed, leader holds {extra} and no blob file block is "
                "named",
                C::BlobPointerBad};
    case K::BlobInMissingFile:
        return {"{field}: {found} bytes live in the missing blob file", C::BlobFileMissing};
    case K::BlobFitsLeader:
        return {"{field}: fits its leader but points into {extra}", C::BlobPointerBad};
    case K::BlobSharedAt:
        return {"{field}: blob at {block:x} slot {entry}", C::BlobShared};
    case K::BlobsLiveInMissingFile:
        return {"{found} blobs of {extra} live in it", C::BlobFileMissing};
    case K::BlobFileNotWholeBlocks:
        return {"{found} bytes is not a whole number of 4096-byte blocks", C::BlobFileBad};
    case K::BlobTooLongForBlock:
        return {"at {block:x}: blob of {found} bytes in {extra} units", C::BlobFileBad};
    case K::BlobSuballocatedUnits:
        return {"at {block:x}: suballocated block of {found} units", C::BlobFileBad};
    case K::BlobSlotMalformed:
        return {"at {block:x}: slot {entry} is malformed", C::BlobFileBad};
    case K::BlobSlotDataPastBlock:
        return {"at {block:x}: slot {entry} data runs past the block", C::BlobFileBad};
    case K::BlobFileEndsInBlockHeader:
        return {"at {block:x}: file ends inside a block header", C::BlobFileBad};
    case K::BlobNoHeaderBlock:
        return {"at {block:x}: file of {found} bytes has no header block", C::BlobFileBad};
    case K::BlobHeaderBlockType:
        return {"at {block:x}: header block has type {found} and {extra} units", C::BlobFileBad};
    case K::BlobUnknownType:
        return {"at {block:x}: unknown block type {found}", C::BlobFileBad};
    case K::BlobUnknownTypeRun:
        return {"at {block:x}: unknown block type {found} (and {extra} more units start no block)",
                C::BlobFileBad};
    case K::BlobZeroUnits:
        return {"at {block:x}: block of 0 units", C::BlobFileBad};
    case K::BlobZeroUnitsRun:
        return {"at {block:x}: block of 0 units (and {extra} more units start no block)",
                C::BlobFileBad};
    case K::BlobUnitsPastEnd:
        return {"at {block:x}: block of {found} units runs past the end", C::BlobFileBad};
    case K::BlobUnitsPastEndRun:
        return {"at {block:x}: block of {found} units runs past the end (and {extra} more units "
                "start no block)",
                C::BlobFileBad};
    }
    return {"", std::nullopt};
}

std::vector<DetailKind> AllDetailKinds() {
    // Kinds are numbered from None upwards without gaps; each has words.
    std::vector<DetailKind> kinds;
    for (std::uint16_t k = 1; !FormOf(static_cast<DetailKind>(k)).words.empty(); ++k) {
        kinds.push_back(static_cast<DetailKind>(k));
    }
    return kinds;
}

namespace {

const DetailValue* Slot(const FindingDetail& detail, std::string_view name) {
    if (name == "found") {
        return &detail.found;
    }
    if (name == "expected") {
        return &detail.expected;
    }
    if (name == "field") {
        return &detail.field;
    }
    if (name == "block") {
        return &detail.block;
    }
    if (name == "entry") {
        return &detail.entry;
    }
    if (name == "extra") {
        return &detail.extra;
    }
    return nullptr;
}

std::string ValueText(const DetailValue& value, bool hex) {
    if (const auto* number = std::get_if<std::int64_t>(&value)) {
        return hex && *number >= 0 ? HexNumber(static_cast<std::uint64_t>(*number))
                                   : std::to_string(*number);
    }
    if (const auto* words = std::get_if<std::string>(&value)) {
        return *words;
    }
    return "?";
}

} // namespace

std::string FindingDetail::Render() const {
    const std::string_view words = FormOf(kind).words;
    std::string out;
    std::size_t at = 0;
    while (at < words.size()) {
        const std::size_t open = words.find('{', at);
        const std::size_t close = open == std::string_view::npos ? open : words.find('}', open);
        if (close == std::string_view::npos) {
            out += words.substr(at);
            break;
        }
        out += words.substr(at, open - at);
        std::string_view name = words.substr(open + 1, close - open - 1);
        const bool hex = name.ends_with(":x");
        if (hex) {
            name.remove_suffix(2);
        }
        const DetailValue* value = Slot(*this, name);
        out += value != nullptr ? ValueText(*value, hex)
                                : std::string(words.substr(open, close - open + 1));
        at = close + 1;
    }
    return out;
}

std::optional<FindingCode> FindingDetail::Code() const {
    return FormOf(kind).code;
}

} // namespace paradox
