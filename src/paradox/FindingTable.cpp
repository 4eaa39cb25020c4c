#include "paradox/Finding.h"

#include <optional>

namespace paradox {
namespace {

struct ReaderDecides {};
constexpr ReaderDecides kByReader{};

constexpr void Set(FindingRow& row, ReaderDecides) {
    row.severityByReader = true;
}
constexpr void Set(FindingRow& row, VerifyEffect effect) {
    row.verifyEffect = effect;
}
constexpr void Set(FindingRow& row, OpenStop stop) {
    row.stopsOpen = stop;
}
constexpr void Set(FindingRow& row, OpenErrorKind error) {
    row.openError = error;
}
constexpr void Set(FindingRow& row, RebuildAction action) {
    row.rebuildAction = action;
}

// A row whose other columns are the usual ones unless given: no verify effect of its own,
// stops an open only as damage, with the damage error of its file, and a rebuild writes the
// family without it.
template <class... Column>
constexpr FindingRow Row(std::string_view text, Severity severity, Phase phase, Column... columns) {
    FindingRow row{text,
                   severity,
                   false,
                   phase,
                   VerifyEffect::None,
                   OpenStop::IfDamage,
                   OpenErrorKind::FileDamage,
                   RebuildAction::Rewritten};
    (Set(row, columns), ...);
    return row;
}

// The problem table: one row per code. A switch, so that a code without a row does not build.
// Severity is the default; kByReader marks the codes some reader gives the other severity
// where it knows better (a blob pointer into a missing block is damage, one naming no block
// at all only suspicious).
std::optional<FindingRow> KnownRow(FindingCode code) {
    using C = FindingCode;
    using E = VerifyEffect;
    using K = OpenErrorKind;
    using A = RebuildAction;
    constexpr Severity D = Severity::Damage;
    constexpr Severity S = Severity::Suspicious;
    switch (code) {
    case C::FileMissing:
        return Row("File is missing", D, Phase::Header, A::Refused);
    case C::FileUnreadable:
        return Row("File cannot be read", D, Phase::Header, E::Unread, A::Refused);
    case C::FileTooShort:
        return Row("File is too short to hold a header", D, Phase::Header, E::Incomplete,
                   A::Refused);
    case C::BadFileType:
        return Row("File type byte is wrong for this file", D, Phase::Header);
    case C::BadFileVersion:
        return Row("File version byte is not a known table level", D, Phase::Header,
                   A::StructureFromSource);
    case C::BadBlockSize:
        return Row("Block size code is not valid", D, Phase::Header, A::StructureFromSource);
    case C::BadHeaderSize:
        return Row("Header size is not valid", D, Phase::Header, A::StructureFromSource);
    case C::BadFieldCount:
        return Row("Field count is not valid", D, Phase::Header, E::ManualRebuild,
                   A::StructureFromSource);
    case C::BadKeyFieldCount:
        return Row("Key field count is not valid", D, Phase::Header, E::ManualRebuild,
                   A::StructureFromSource);
    case C::UnknownFieldType:
        return Row("Field descriptor has an unknown type", D, Phase::Header, E::ManualRebuild,
                   A::StructureFromSource);
    case C::BadFieldSize:
        return Row("Field descriptor has a size its type does not allow", D, Phase::Header,
                   E::ManualRebuild, A::StructureFromSource);
    case C::RecordSizeMismatch:
        return Row("Record size differs from the sum of the field sizes", D, Phase::Header,
                   E::ManualRebuild, A::StructureFromSource);
    case C::HeaderVariablePartBad:
        return Row("Header names, field numbers or sort order are damaged", D, Phase::Header,
                   E::ManualRebuild, A::StructureFromSource);
    case C::FieldTypeAboveLevel:
        // The writer refuses a field its level does not allow.
        return Row("Field type is newer than the table level", S, Phase::Header, A::Refused);
    case C::RebuildFlagSet:
        return Row("Table was not closed properly", S, Phase::Header);
    case C::EncryptionMarkerOdd:
        return Row("Encryption marker has an unexpected value", S, Phase::Header);
    case C::Encrypted:
        return Row("Table is encrypted", S, Phase::Header, A::NothingToDo);
    case C::EncryptionKeyBad:
        return Row("Encryption key does not fit the data", D, Phase::Header);
    case C::StructureSalvaged:
        return Row("Table structure was taken from another source", S, Phase::Header,
                   A::NothingToDo);
    case C::StructureSourceRefused:
        return Row("Structure source does not fit the table", S, Phase::Header, A::NothingToDo);
    case C::StructureSourceFits:
        return Row("Structure source fits the table", S, Phase::Header, A::NothingToDo);
    case C::StructureContradicted:
        return Row("Field types or sizes in the header do not fit the data", D, Phase::Header,
                   E::ManualRebuild, A::StructureFromSource);
    case C::BadCodePage:
        return Row("Code page is not valid", D, Phase::Header, A::NothingToDo); // kept as read
    case C::FamilyMemberAmbiguous:
        return Row("File name fits more than one table (the names differ only in case)", S,
                   Phase::Header, A::NothingToDo);
    case C::FileTruncated:
        return Row("File ends before its last block", D, Phase::Data, E::IncompleteIfDataLost,
                   K::Truncation, A::BlockDropped);
    case C::ExtraBytesAtEnd:
        return Row("File has bytes after its last block", S, Phase::Data);
    case C::ChainBadFirst:
        return Row("First block of the chain is wrong", D, Phase::Data);
    case C::ChainPointerOutOfRange:
        return Row("Block chain points outside the file", D, Phase::Data);
    case C::ChainCycle:
        return Row("Block chain has a cycle", D, Phase::Data);
    case C::ChainPrevMismatch:
        return Row("Block chain back link is wrong", D, Phase::Data);
    case C::ChainTailMismatch:
        return Row("Block chain does not end at the last block", D, Phase::Data);
    case C::ChainLengthMismatch:
        return Row("Block count in the header differs from the chain", D, Phase::Data);
    case C::BadLastRecordOffset:
        return Row("Block's last record offset is out of range", D, Phase::Data);
    case C::RecordCountMismatch:
        return Row("Record count in the header differs from the blocks", D, Phase::Data);
    case C::FreeListBad:
        return Row("Free block list is damaged", D, Phase::Data);
    case C::BlockCountMismatch:
        return Row("File block count differs from the blocks found", D, Phase::Data);
    case C::OrphanBlock:
        return Row("Block is neither in the chain nor free", S, Phase::Data, kByReader,
                   A::RecordsRecovered);
    case C::KeyOrder:
        return Row("Records are out of key order", D, Phase::Data, kByReader, A::PutInKeyOrder);
    case C::DuplicateKey:
        return Row("Key value appears more than once", D, Phase::Data, A::RecordsSetAside);
    case C::BadValue:
        return Row("Field value is out of range", D, Phase::Data, kByReader, A::RecordsSetAside);
    case C::IndexMissing:
        return Row("Index file is missing", D, Phase::Indexes);
    case C::IndexHeaderBad:
        return Row("Index header is damaged", D, Phase::Indexes);
    case C::IndexTreeBad:
        return Row("Index tree is damaged", D, Phase::Indexes);
    case C::IndexKeyFieldsMismatch:
        return Row("Index key fields differ from the table", D, Phase::Indexes, K::AnotherTable);
    case C::IndexBlocksMismatch:
        return Row("Index does not point at the table's blocks", D, Phase::Indexes);
    case C::IndexKeyMismatch:
        return Row("Index key differs from the record it points at", D, Phase::Indexes);
    case C::IndexStatisticMismatch:
        return Row("Index record count differs from the block", D, Phase::Indexes, K::OutOfDate);
    case C::IndexCountMismatch:
        return Row("Index entry count is wrong", D, Phase::Indexes, K::OutOfDate);
    case C::IndexOutOfDate:
        return Row("Index is possibly out of date", S, Phase::Indexes, OpenStop::Always,
                   K::OutOfDate);
    case C::IndexOfAnotherTable:
        return Row("Index belongs to another table", D, Phase::Indexes, K::AnotherTable);
    case C::SecondaryIndexBad:
        return Row("Secondary index does not match the table", D, Phase::Indexes, kByReader);
    case C::IndexUnexpected:
        return Row("Index file exists for a table without a key", S, Phase::Indexes);
    case C::BlobFileMissing:
        return Row("Blob file is missing", D, Phase::Data, A::BlobDropped);
    case C::BlobFileBad:
        return Row("Blob file is damaged", D, Phase::Data, kByReader);
    case C::BlobPointerBad:
        return Row("Blob pointer is broken", D, Phase::Data, kByReader, A::BlobDropped);
    case C::BlobLengthMismatch:
        return Row("Blob length differs from the blob file", D, Phase::Data, A::BlobDropped);
    case C::BlobModNumberMismatch:
        return Row("Blob modification number differs", S, Phase::Data);
    case C::BlobLeaderMismatch:
        return Row("Blob leader differs from the blob", S, Phase::Data);
    case C::BlobShared:
        return Row("Two records point at the same blob", S, Phase::Data);
    case C::RecordUnreadable:
        return Row("Record could not be read", D, Phase::Rebuild, A::RecordsSetAside);
    case C::BlockLost:
        return Row("Block could not be recovered", D, Phase::Rebuild, A::BlockDropped);
    case C::KeyViolation:
        return Row("Record's key is already taken", D, Phase::Rebuild, A::RecordsSetAside);
    case C::BlobLost:
        return Row("Blob could not be recovered", D, Phase::Rebuild, A::BlobDropped);
    case C::IndexLost:
        return Row("Index could not be rebuilt", D, Phase::Rebuild, A::IndexDropped);
    case C::InterruptedRebuildFinished:
        // The next run finished or rolled back a rebuild cut short; the table is whole again.
        return Row("An interrupted rebuild was finished", S, Phase::Header, A::NothingToDo);
    }
    return std::nullopt;
}

} // namespace

FindingRow FindingInfo(FindingCode code) {
    return KnownRow(code).value_or(Row("Unknown problem", Severity::Damage, Phase::Data));
}

std::vector<FindingCode> AllFindingCodes() {
    std::vector<FindingCode> codes;
    for (std::uint32_t number = 0; number <= 0xFFFF; ++number) {
        const auto code = static_cast<FindingCode>(number);
        if (KnownRow(code)) {
            codes.push_back(code);
        }
    }
    return codes;
}

} // namespace paradox
