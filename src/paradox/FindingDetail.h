#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace paradox {

enum class FindingCode : std::uint16_t;

// What exactly a finding saw, one kind per wording. Each kind has one form of words (in
// FindingDetail.cpp) with slots for the values a finding carries, so a detail reads the same
// wherever it is raised and its values stay readable by programs.
enum class DetailKind : std::uint16_t {
    None,
    Text,          // words from outside the problem table: an error table read back, a system error
    MoreNotListed, // the cap of a finding list: {found} more findings of the code
    // header
    FileBytes,
    TypeByte,
    TypeByteForName,
    VersionByte,
    FieldCount,
    DescriptorsPastHeader,
    FieldTypeUnknown,
    FieldSizeBad,
    FieldTypeAboveLevel,
    TableNamePastHeader,
    FieldNameUnterminated,
    FieldNumbersBeforeNames,
    FieldNumbersPastHeader,
    SortNameMisplaced,
    SortNameUnterminated,
    IndexNameMisplaced,
    IndexNameUnterminated,
    BlockSizeCode,
    KeyFieldsOfFields,
    KeyedWithoutKeyFields,
    UnkeyedWithKeyFields,
    RecordSizeOfFields,
    RecordSizeOverBlock,
    HeaderSizeBeforeContents,
    HeaderSizePastFile,
    UsedHeaderSize,
    ModifiedFlags,
    EncryptionMarker,
    PasswordChecksum,
    // table blocks
    LastRecordOffset,
    LastRecordOffsetNotMultiple,
    LastRecordOffsetPastEnd,
    FileEndsInBlock,
    NextBlockPastFile,
    NextBlockInChain,
    BackLink,
    ChainEnd,
    ChainBlocks,
    BlocksHoldRecords,
    FileHoldsBlocks,
    FileHoldsBlocksCutPiece,
    BlocksInUseOverFile,
    FirstLastBlockOverFile,
    FirstBlock,
    NoBlocksButRecords,
    RecordsOverCapacity,
    LastBlockNotChainEnd,
    BytesAfterLastBlock,
    BlocksFoundInChainAndFree,
    NotReachable,
    FreeBlockOutsideFile,
    FreeBlockInChain,
    FreeBlockTwice,
    StoredKeyNoKey,
    StoredKeyFoundBySearch,
    // indexes
    IndexEntriesClaimed,
    IndexChildOutsideFile,
    IndexBlockTwice,
    IndexBlockEmpty,
    IndexKeyDiffersFromBlock,
    IndexPointsOutsideChain,
    IndexEntryChainPosition,
    IndexKeyDiffersFromRecord,
    LeafEntriesForBlocks,
    IndexEmptyTableHolds,
    TreeEntriesHeaderSays,
    FileTypeNotIndex,
    KeyFieldCounts,
    KeyFieldTypes,
    IndexLevels,
    RootBlockOf,
    IndexEmptyTableHas,
    IndexEntriesTableEmpty,
    IndexEntriesForBlocks,
    IndexEntriesInLevels,
    Collation,
    IndexChangeByte,
    StatisticHeld,
    StatisticUnreadable,
    StatisticSum,
    RootPastFile,
    RootEntriesPastEnd,
    RootEntryDataBlock,
    ValueDiffers,
    NoRecordHasKey,
    PrimaryChangeByteCopied,
    TableFieldOutsideRecord,
    IndexFileMissing,
    FileType,
    NotSecondaryData,
    FieldsCannotIndex,
    IndexedFieldNotInTable,
    FieldDiffersFromTable,
    IndexRecordsTableHas,
    TableHasNoKey,
    EntryOutOfOrder,
    EntryOutOfOrderFolded,
    // records
    SameKeyAsBefore,
    LogicalByte,
    DayNumber,
    TimeOfDay,
    // block layout found from the data
    HeaderSizeFromChain,
    BlockSizeFromChain,
    KeyFoundOverBlock1,
    // verify and rebuild
    KeyLowerThanBefore,
    KeyLowerFolded,
    FieldValueBad,
    BlobUnreadable,
    BlobUnreadableBecause,
    BlobUnreadableKept,
    BlobUnreadableBecauseKept,
    RecordsLost,
    IndexLeftOut,
    BlobFileLeftOut,
    MovedTo,
    LeftAlone,
    LeftOutOfFamily,
    StructureContradiction,
    SourceRefused,
    FieldsTakenFrom,
    SourceChosen,
    SourceFitsLater,
    SourceInferable,
    SourceInferableOnly,
    KeySearch,
    PrimaryIndexMissing,
    PrimaryIndexUnkeyed,
    NotATable,
    BlockOnlyZeros,
    SlotsNotTakenOver,
    RecordsRecovered,
    ChangedWhileRead,
    RecordsReadHeaderSays,
    SwapCompleted,
    SwapRolledBack,
    // blob files
    BlobStoredPlain,
    BlobOffsetNotBlock,
    BlobNotSingle,
    BlobBlockNotInFile,
    BlobLengthInFile,
    BlobPastBlock,
    BlobNotSuballocated,
    BlobSlotEmpty,
    BlobLengthInSlot,
    BlobSlotPastBlock,
    BlobSlotIndex,
    BlobModNumber,
    BlobLeader,
    BlobBeyondLeader,
    BlobInMissingFile,
    BlobFitsLeader,
    BlobSharedAt,
    BlobsLiveInMissingFile,
    BlobFileNotWholeBlocks,
    BlobTooLongForBlock,
    BlobSuballocatedUnits,
    BlobSlotMalformed,
    BlobSlotDataPastBlock,
    BlobFileEndsInBlockHeader,
    BlobNoHeaderBlock,
    BlobHeaderBlockType,
    BlobUnknownType,
    BlobUnknownTypeRun,
    BlobZeroUnits,
    BlobZeroUnitsRun,
    BlobUnitsPastEnd,
    BlobUnitsPastEndRun,
};

// A value a detail names: a number or words (a type, a name); none when not set.
using DetailValue = std::variant<std::monostate, std::int64_t, std::string>;

struct FindingDetail {
    DetailKind kind = DetailKind::None;
    DetailValue found;    // what was read
    DetailValue expected; // what it should have been, or what another part says
    DetailValue field;    // the field it is about (its number or name)
    DetailValue block;    // another block it names (the finding's own block is its place)
    DetailValue entry;    // an entry or slot of a block it names
    DetailValue extra;    // one more value a form needs (a limit, a second count)

    bool Empty() const { return kind == DetailKind::None; }
    // The detail in words; empty for none.
    std::string Render() const;
    // The code a finding with this detail has; none for kinds any code may carry.
    std::optional<FindingCode> Code() const;

    template <class V> FindingDetail Found(V&& value) && {
        return Set(found, std::forward<V>(value));
    }
    template <class V> FindingDetail Expected(V&& value) && {
        return Set(expected, std::forward<V>(value));
    }
    template <class V> FindingDetail Field(V&& value) && {
        return Set(field, std::forward<V>(value));
    }
    template <class V> FindingDetail Block(V&& value) && {
        return Set(block, std::forward<V>(value));
    }
    template <class V> FindingDetail Entry(V&& value) && {
        return Set(entry, std::forward<V>(value));
    }
    template <class V> FindingDetail Extra(V&& value) && {
        return Set(extra, std::forward<V>(value));
    }

private:
    // Sizes and counts read from disk are far below 2^63.
    template <class V> FindingDetail Set(DetailValue& slot, V&& value) {
        if constexpr (std::is_integral_v<std::remove_cvref_t<V>>) {
            slot = static_cast<std::int64_t>(value);
        } else {
            slot = std::string(std::forward<V>(value));
        }
        return std::move(*this);
    }
};

inline FindingDetail Detail(DetailKind kind) {
    return FindingDetail{kind, {}, {}, {}, {}, {}, {}};
}
// Words from outside the problem table (a system error, an error table read back).
inline FindingDetail DetailText(std::string text) {
    return FindingDetail{DetailKind::Text, std::move(text), {}, {}, {}, {}, {}};
}

// The form of words of a kind, with its slots ("{found} entries claimed, {expected} fit"), and
// the code whose findings use it.
struct DetailForm {
    std::string_view words;
    std::optional<FindingCode> code;
};
DetailForm FormOf(DetailKind kind);

// Every kind but None, in declaration order.
std::vector<DetailKind> AllDetailKinds();

} // namespace paradox
