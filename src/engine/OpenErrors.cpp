#include "engine/OpenErrors.h"

#include "engine/ErrorCodes.h"
#include "engine/Failure.h"

namespace engine {

std::uint16_t OpenError(paradox::FindingCode code, std::uint16_t fileDamage) {
    using C = paradox::FindingCode;
    switch (code) {
    case C::IndexKeyFieldsMismatch:
    case C::IndexOfAnotherTable:
        return err::IndexOfAnotherTable;
    case C::IndexStatisticMismatch:
    case C::IndexCountMismatch:
    case C::IndexOutOfDate:
        return err::IndexOutOfDate;
    case C::FileTruncated:
        // A table cut short has an error of its own; a cut-short index is a damaged index.
        return fileDamage == err::TableCorrupt ? err::TableTruncated : fileDamage;
    // Every other code is damage of its file. They are listed, not defaulted, so that a new
    // code gets its open error on purpose.
    case C::FileMissing:
    case C::FileUnreadable:
    case C::FileTooShort:
    case C::BadFileType:
    case C::BadFileVersion:
    case C::BadBlockSize:
    case C::BadHeaderSize:
    case C::BadFieldCount:
    case C::BadKeyFieldCount:
    case C::UnknownFieldType:
    case C::BadFieldSize:
    case C::RecordSizeMismatch:
    case C::HeaderVariablePartBad:
    case C::FieldTypeAboveLevel:
    case C::RebuildFlagSet:
    case C::EncryptionMarkerOdd:
    case C::Encrypted:
    case C::EncryptionKeyBad:
    case C::StructureSalvaged:
    case C::StructureSourceRefused:
    case C::StructureSourceFits:
    case C::StructureContradicted:
    case C::BadCodePage:
    case C::FamilyMemberAmbiguous:
    case C::ExtraBytesAtEnd:
    case C::ChainBadFirst:
    case C::ChainPointerOutOfRange:
    case C::ChainCycle:
    case C::ChainPrevMismatch:
    case C::ChainTailMismatch:
    case C::ChainLengthMismatch:
    case C::BadLastRecordOffset:
    case C::RecordCountMismatch:
    case C::FreeListBad:
    case C::BlockCountMismatch:
    case C::OrphanBlock:
    case C::KeyOrder:
    case C::DuplicateKey:
    case C::BadValue:
    case C::IndexMissing:
    case C::IndexHeaderBad:
    case C::IndexTreeBad:
    case C::IndexBlocksMismatch:
    case C::IndexKeyMismatch:
    case C::SecondaryIndexBad:
    case C::IndexUnexpected:
    case C::BlobFileMissing:
    case C::BlobFileBad:
    case C::BlobPointerBad:
    case C::BlobLengthMismatch:
    case C::BlobModNumberMismatch:
    case C::BlobLeaderMismatch:
    case C::BlobShared:
    case C::RecordUnreadable:
    case C::BlockLost:
    case C::KeyViolation:
    case C::BlobLost:
    case C::IndexLost:
        return fileDamage;
    }
    return fileDamage;
}

bool StopsOpen(const paradox::Finding& finding) {
    return finding.severity == paradox::Severity::Damage ||
           finding.code == paradox::FindingCode::IndexOutOfDate;
}

const paradox::Finding* FirstStop(const paradox::FindingList& findings) {
    for (const auto& finding : findings.All()) {
        if (StopsOpen(finding)) {
            return &finding;
        }
    }
    return nullptr;
}

std::uint16_t FailOnFindings(const paradox::FindingList& findings, std::uint16_t fileDamage) {
    const paradox::Finding* stop = FirstStop(findings);
    if (stop == nullptr) {
        return err::Ok;
    }
    return Fail(OpenError(stop->code, fileDamage), stop->Describe());
}

} // namespace engine
