#include "paradox/Finding.h"

namespace paradox {

// The problem table. Severity is the default a reader may override where it knows better
// (a blob pointer into a missing block is damage, one naming no block at all only suspicious).
FindingRow FindingInfo(FindingCode code) {
    using C = FindingCode;
    constexpr Severity D = Severity::Damage;
    constexpr Severity S = Severity::Suspicious;
    switch (code) {
    case C::FileMissing:
        return {"File is missing", D, Phase::Header, false};
    case C::FileUnreadable:
        return {"File cannot be read", D, Phase::Header, false};
    case C::FileTooShort:
        return {"File is too short to hold a header", D, Phase::Header, false};
    case C::BadFileType:
        return {"File type byte is wrong for this file", D, Phase::Header, false};
    case C::BadFileVersion:
        return {"File version byte is not a known table level", D, Phase::Header, false};
    case C::BadBlockSize:
        return {"Block size code is not valid", D, Phase::Header, false};
    case C::BadHeaderSize:
        return {"Header size is not valid", D, Phase::Header, false};
    case C::BadFieldCount:
        return {"Field count is not valid", D, Phase::Header, true};
    case C::BadKeyFieldCount:
        return {"Key field count is not valid", D, Phase::Header, true};
    case C::UnknownFieldType:
        return {"Field descriptor has an unknown type", D, Phase::Header, true};
    case C::BadFieldSize:
        return {"Field descriptor has a size its type does not allow", D, Phase::Header, true};
    case C::RecordSizeMismatch:
        return {"Record size differs from the sum of the field sizes", D, Phase::Header, true};
    case C::HeaderVariablePartBad:
        return {"Header names, field numbers or sort order are damaged", D, Phase::Header, true};
    case C::FieldTypeAboveLevel:
        return {"Field type is newer than the table level", S, Phase::Header, false};
    case C::RebuildFlagSet:
        return {"Table was not closed properly", S, Phase::Header, false};
    case C::EncryptionMarkerOdd:
        return {"Encryption marker has an unexpected value", S, Phase::Header, false};
    case C::Encrypted:
        return {"Table is encrypted", S, Phase::Header, false};
    case C::EncryptionKeyBad:
        return {"Encryption key does not fit the data", D, Phase::Header, false};
    case C::StructureSalvaged:
        return {"Table structure was taken from another source", S, Phase::Header, false};
    case C::StructureSourceRefused:
        return {"Structure source does not fit the table", S, Phase::Header, false};
    case C::StructureSourceFits:
        return {"Structure source fits the table", S, Phase::Header, false};
    case C::StructureContradicted:
        return {"Field types or sizes in the header do not fit the data", D, Phase::Header, true};
    case C::BadCodePage:
        return {"Code page is not valid", D, Phase::Header, false};
    case C::FamilyMemberAmbiguous:
        return {"File name fits more than one table (the names differ only in case)", S,
                Phase::Header, false};
    case C::FileTruncated:
        return {"File ends before its last block", D, Phase::Data, false};
    case C::ExtraBytesAtEnd:
        return {"File has bytes after its last block", S, Phase::Data, false};
    case C::ChainBadFirst:
        return {"First block of the chain is wrong", D, Phase::Data, false};
    case C::ChainPointerOutOfRange:
        return {"Block chain points outside the file", D, Phase::Data, false};
    case C::ChainCycle:
        return {"Block chain has a cycle", D, Phase::Data, false};
    case C::ChainPrevMismatch:
        return {"Block chain back link is wrong", D, Phase::Data, false};
    case C::ChainTailMismatch:
        return {"Block chain does not end at the last block", D, Phase::Data, false};
    case C::ChainLengthMismatch:
        return {"Block count in the header differs from the chain", D, Phase::Data, false};
    case C::BadLastRecordOffset:
        return {"Block's last record offset is out of range", D, Phase::Data, false};
    case C::RecordCountMismatch:
        return {"Record count in the header differs from the blocks", D, Phase::Data, false};
    case C::FreeListBad:
        return {"Free block list is damaged", D, Phase::Data, false};
    case C::BlockCountMismatch:
        return {"File block count differs from the blocks found", D, Phase::Data, false};
    case C::OrphanBlock:
        return {"Block is neither in the chain nor free", S, Phase::Data, false};
    case C::KeyOrder:
        return {"Records are out of key order", D, Phase::Data, false};
    case C::DuplicateKey:
        return {"Key value appears more than once", D, Phase::Data, false};
    case C::BadValue:
        return {"Field value is out of range", D, Phase::Data, false};
    case C::IndexMissing:
        return {"Index file is missing", D, Phase::Indexes, false};
    case C::IndexHeaderBad:
        return {"Index header is damaged", D, Phase::Indexes, false};
    case C::IndexTreeBad:
        return {"Index tree is damaged", D, Phase::Indexes, false};
    case C::IndexKeyFieldsMismatch:
        return {"Index key fields differ from the table", D, Phase::Indexes, false};
    case C::IndexBlocksMismatch:
        return {"Index does not point at the table's blocks", D, Phase::Indexes, false};
    case C::IndexKeyMismatch:
        return {"Index key differs from the record it points at", D, Phase::Indexes, false};
    case C::IndexStatisticMismatch:
        return {"Index record count differs from the block", D, Phase::Indexes, false};
    case C::IndexCountMismatch:
        return {"Index entry count is wrong", D, Phase::Indexes, false};
    case C::IndexOutOfDate:
        return {"Index is possibly out of date", S, Phase::Indexes, false};
    case C::IndexOfAnotherTable:
        return {"Index belongs to another table", D, Phase::Indexes, false};
    case C::SecondaryIndexBad:
        return {"Secondary index does not match the table", D, Phase::Indexes, false};
    case C::IndexUnexpected:
        return {"Index file exists for a table without a key", S, Phase::Indexes, false};
    case C::BlobFileMissing:
        return {"Blob file is missing", D, Phase::Data, false};
    case C::BlobFileBad:
        return {"Blob file is damaged", D, Phase::Data, false};
    case C::BlobPointerBad:
        return {"Blob pointer is broken", D, Phase::Data, false};
    case C::BlobLengthMismatch:
        return {"Blob length differs from the blob file", D, Phase::Data, false};
    case C::BlobModNumberMismatch:
        return {"Blob modification number differs", S, Phase::Data, false};
    case C::BlobLeaderMismatch:
        return {"Blob leader differs from the blob", S, Phase::Data, false};
    case C::BlobShared:
        return {"Two records point at the same blob", S, Phase::Data, false};
    case C::RecordUnreadable:
        return {"Record could not be read", D, Phase::Rebuild, false};
    case C::BlockLost:
        return {"Block could not be recovered", D, Phase::Rebuild, false};
    case C::KeyViolation:
        return {"Record's key is already taken", D, Phase::Rebuild, false};
    case C::BlobLost:
        return {"Blob could not be recovered", D, Phase::Rebuild, false};
    case C::IndexLost:
        return {"Index could not be rebuilt", D, Phase::Rebuild, false};
    }
    return {"Unknown problem", D, Phase::Data, false};
}

} // namespace paradox
