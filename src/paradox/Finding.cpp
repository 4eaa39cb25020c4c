#include "paradox/Finding.h"

#include <algorithm>

namespace paradox {

std::string_view FindingText(FindingCode code) {
    switch (code) {
    case FindingCode::FileMissing:
        return "File is missing";
    case FindingCode::FileUnreadable:
        return "File cannot be read";
    case FindingCode::FileTooShort:
        return "File is too short to hold a header";
    case FindingCode::BadFileType:
        return "File type byte is wrong for this file";
    case FindingCode::BadFileVersion:
        return "File version byte is not a known table level";
    case FindingCode::BadBlockSize:
        return "Block size code is not valid";
    case FindingCode::BadHeaderSize:
        return "Header size is not valid";
    case FindingCode::BadFieldCount:
        return "Field count is not valid";
    case FindingCode::BadKeyFieldCount:
        return "Key field count is not valid";
    case FindingCode::UnknownFieldType:
        return "Field descriptor has an unknown type";
    case FindingCode::BadFieldSize:
        return "Field descriptor has a size its type does not allow";
    case FindingCode::RecordSizeMismatch:
        return "Record size differs from the sum of the field sizes";
    case FindingCode::HeaderVariablePartBad:
        return "Header names, field numbers or sort order are damaged";
    case FindingCode::FieldTypeAboveLevel:
        return "Field type is newer than the table level";
    case FindingCode::RebuildFlagSet:
        return "Table was not closed properly";
    case FindingCode::EncryptionMarkerOdd:
        return "Encryption marker has an unexpected value";
    case FindingCode::Encrypted:
        return "Table is encrypted";
    case FindingCode::BadCodePage:
        return "Code page is not valid";
    case FindingCode::FamilyMemberAmbiguous:
        return "File name fits more than one table (the names differ only in case)";
    case FindingCode::FileTruncated:
        return "File ends before its last block";
    case FindingCode::ExtraBytesAtEnd:
        return "File has bytes after its last block";
    case FindingCode::ChainBadFirst:
        return "First block of the chain is wrong";
    case FindingCode::ChainPointerOutOfRange:
        return "Block chain points outside the file";
    case FindingCode::ChainCycle:
        return "Block chain has a cycle";
    case FindingCode::ChainPrevMismatch:
        return "Block chain back link is wrong";
    case FindingCode::ChainTailMismatch:
        return "Block chain does not end at the last block";
    case FindingCode::ChainLengthMismatch:
        return "Block count in the header differs from the chain";
    case FindingCode::BadLastRecordOffset:
        return "Block's last record offset is out of range";
    case FindingCode::RecordCountMismatch:
        return "Record count in the header differs from the blocks";
    case FindingCode::FreeListBad:
        return "Free block list is damaged";
    case FindingCode::BlockCountMismatch:
        return "File block count differs from the blocks found";
    case FindingCode::OrphanBlock:
        return "Block is neither in the chain nor free";
    case FindingCode::KeyOrder:
        return "Records are out of key order";
    case FindingCode::DuplicateKey:
        return "Key value appears more than once";
    case FindingCode::BadValue:
        return "Field value is out of range";
    case FindingCode::IndexMissing:
        return "Index file is missing";
    case FindingCode::IndexHeaderBad:
        return "Index header is damaged";
    case FindingCode::IndexTreeBad:
        return "Index tree is damaged";
    case FindingCode::IndexKeyFieldsMismatch:
        return "Index key fields differ from the table";
    case FindingCode::IndexBlocksMismatch:
        return "Index does not point at the table's blocks";
    case FindingCode::IndexKeyMismatch:
        return "Index key differs from the record it points at";
    case FindingCode::IndexStatisticMismatch:
        return "Index record count differs from the block";
    case FindingCode::IndexCountMismatch:
        return "Index entry count is wrong";
    case FindingCode::IndexOutOfDate:
        return "Index is possibly out of date";
    case FindingCode::IndexOfAnotherTable:
        return "Index belongs to another table";
    case FindingCode::SecondaryIndexBad:
        return "Secondary index does not match the table";
    case FindingCode::IndexUnexpected:
        return "Index file exists for a table without a key";
    case FindingCode::BlobFileMissing:
        return "Blob file is missing";
    case FindingCode::BlobFileBad:
        return "Blob file is damaged";
    case FindingCode::BlobPointerBad:
        return "Blob pointer is broken";
    case FindingCode::BlobLengthMismatch:
        return "Blob length differs from the blob file";
    case FindingCode::BlobModNumberMismatch:
        return "Blob modification number differs";
    case FindingCode::BlobLeaderMismatch:
        return "Blob leader differs from the blob";
    case FindingCode::BlobShared:
        return "Two records point at the same blob";
    case FindingCode::RecordUnreadable:
        return "Record could not be read";
    case FindingCode::BlockLost:
        return "Block could not be recovered";
    case FindingCode::KeyViolation:
        return "Record's key is already taken";
    case FindingCode::BlobLost:
        return "Blob could not be recovered";
    case FindingCode::IndexLost:
        return "Index could not be rebuilt";
    }
    return "Unknown problem";
}

std::string HexNumber(std::uint64_t value) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    do {
        out.insert(out.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + out;
}

std::string Finding::Describe() const {
    std::string out = file;
    if (block >= 0) {
        out += " block " + std::to_string(block);
    }
    if (record >= 0) {
        out += " record " + std::to_string(record);
    }
    out += ": ";
    out += FindingText(code);
    if (!detail.empty()) {
        out += " (" + detail + ")";
    }
    if (dataLost) {
        out += " [data lost]";
    }
    return out;
}

bool FindingList::HasDamage() const {
    return std::any_of(findings_.begin(), findings_.end(),
                       [](const Finding& f) { return f.severity == Severity::Damage; });
}

bool FindingList::HasDataLoss() const {
    return std::any_of(findings_.begin(), findings_.end(),
                       [](const Finding& f) { return f.dataLost; });
}

bool FindingList::Has(FindingCode code) const {
    return std::any_of(findings_.begin(), findings_.end(),
                       [code](const Finding& f) { return f.code == code; });
}

} // namespace paradox
