#include "paradox/Family.h"
#include "paradox/Header.h"
#include "paradox/HeaderOffsets.h"
#include "paradox/LayoutEvidence.h"

#include <algorithm>

namespace paradox {
namespace {

constexpr std::size_t kMaxFieldNameScan = 256;

// The file types an extension allows, or an empty list when the name says nothing.
// The file types a file of this extension may have; the maintained kind last.
std::vector<FileType> TypesForExtension(const std::string& ext) {
    if (ext == "DB") {
        return {FileType::KeyedTable, FileType::UnkeyedTable};
    }
    if (ext == "PX") {
        return {FileType::PrimaryIndex};
    }
    if (IsSecondaryIndexExtension(ext)) {
        const bool composite = ext[1] == 'G';
        if (ext[0] == 'X') {
            return composite ? std::vector{FileType::CompositeData, FileType::CompositeDataMaint}
                             : std::vector{FileType::SecondaryData, FileType::SecondaryDataMaint};
        }
        return {composite ? FileType::CompositeIndex : FileType::SecondaryIndex};
    }
    return {};
}

class HeaderParser {
public:
    HeaderParser(ByteView file, const std::string& fileName, FindingList& findings)
        : file_(file), name_(fileName), findings_(findings) {}

    std::optional<TableHeader> Parse();
    HeaderFailure Failure() const { return failure_; }

private:
    void Damage(FindingCode code, FindingDetail detail) {
        if (FindingInfo(code).StructureUnknown()) {
            h_.fieldsKnown = false;
        }
        findings_.Add(code, Severity::Damage, name_, -1, -1, std::move(detail));
    }
    std::optional<TableHeader> Fail(HeaderFailure failure) {
        failure_ = failure;
        return std::nullopt;
    }
    void Suspicious(FindingCode code, FindingDetail detail) {
        findings_.Add(code, Severity::Suspicious, name_, -1, -1, std::move(detail));
    }
    void ReadFixed();
    bool CheckFileType();
    bool ReadFieldDescriptors(std::size_t& pos);
    void ReadNames(std::size_t& pos);
    void ReadLevel4Tail(std::size_t pos);
    void CheckConsistency();
    void DetectEncryption();

    ByteView file_;
    // The header as far as its declared size and the file allow; strings never reach past it.
    ByteView header_;
    const std::string& name_;
    FindingList& findings_;
    HeaderFailure failure_ = HeaderFailure::None;
    TableHeader h_;
};

void HeaderParser::ReadFixed() {
    ByteView v = file_;
    h_.recordSize = *v.U16LE(header_at::kRecordSize);
    h_.headerSize = *v.U16LE(header_at::kHeaderSize);
    h_.fileType = *v.U8(header_at::kFileType);
    h_.blockSizeCode = *v.U8(header_at::kBlockSizeCode);
    h_.numRecords = *v.U32LE(header_at::kNumRecords);
    h_.blocksInUse = *v.U16LE(header_at::kBlocksInUse);
    h_.fileBlocks = *v.U16LE(header_at::kFileBlocks);
    h_.firstBlock = *v.U16LE(header_at::kFirstBlock);
    h_.lastBlock = *v.U16LE(header_at::kLastBlock);
    h_.word12 = *v.U16LE(header_at::kWord12);
    h_.modifiedFlags1 = *v.U8(header_at::kModifiedFlags1);
    h_.indexFieldNumber = *v.U8(header_at::kIndexFieldNumber);
    h_.indexRoot = *v.U16LE(header_at::kIndexRoot);
    h_.indexLevels = *v.U8(header_at::kIndexLevels);
    h_.numFields = *v.S16LE(header_at::kNumFields);
    h_.primaryKeyFields = *v.S16LE(header_at::kPrimaryKeyFields);
    h_.encryption1 = *v.U32LE(header_at::kEncryption1);
    h_.sortOrder = *v.U8(header_at::kSortOrder);
    h_.modifiedFlags2 = *v.U8(header_at::kModifiedFlags2);
    h_.indexSyncCount = *v.U8(header_at::kIndexSyncCount);
    h_.changeCount1 = *v.U8(header_at::kChangeCount1);
    h_.changeCount2 = *v.U8(header_at::kChangeCount2);
    h_.byte2F = *v.U8(header_at::kByte2F);
    h_.writeProtected = *v.U8(header_at::kWriteProtected);
    h_.fileVersion = *v.U8(header_at::kFileVersion);
    h_.maxBlocks = *v.U16LE(header_at::kMaxBlocks);
    h_.auxPasswords = *v.U8(header_at::kAuxPasswords);
    h_.autoIncrement = *v.U32LE(header_at::kAutoIncrement);
    h_.firstFreeBlock = *v.U16LE(header_at::kFirstFreeBlock);
    h_.realHeaderSize = *v.U16LE(header_at::kRealHeaderSize);
    h_.byte55 = *v.U8(header_at::kByte55);
}

bool HeaderParser::CheckFileType() {
    const auto allowed = TypesForExtension(UpperExtension(name_));
    const bool matches =
        allowed.empty() || std::find(allowed.begin(), allowed.end(), h_.Type()) != allowed.end();
    if (h_.IsKnownType() && matches) {
        return true;
    }
    Damage(FindingCode::BadFileType,
           Detail(allowed.empty() ? DetailKind::TypeByte : DetailKind::TypeByteForName)
               .Found(h_.fileType));
    if (allowed.empty()) {
        return false;
    }
    // Go on with the layout the name implies.
    FileType assumed = allowed.back(); // the maintained kind
    if (allowed.size() == 1) {
        assumed = allowed.front();
    } else if (allowed.front() == FileType::KeyedTable) {
        assumed = h_.primaryKeyFields > 0 ? FileType::KeyedTable : FileType::UnkeyedTable;
    }
    h_.fileType = static_cast<std::uint8_t>(assumed);
    return true;
}

bool HeaderParser::ReadFieldDescriptors(std::size_t& pos) {
    if (h_.numFields <= 0 || h_.numFields > 255) {
        Damage(FindingCode::BadFieldCount, Detail(DetailKind::FieldCount).Found(h_.numFields));
        return false;
    }
    const auto n = static_cast<std::size_t>(h_.numFields);
    if (!header_.Has(pos, 2 * n)) {
        Damage(FindingCode::HeaderVariablePartBad,
               Detail(DetailKind::DescriptorsPastHeader).Found(pos + 2 * n));
        return false;
    }
    h_.fields.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        FieldSpec& field = h_.fields[i];
        field.typeCode = *header_.U8(pos + 2 * i);
        field.sizeByte = *header_.U8(pos + 2 * i + 1);
        auto info = LookupFieldType(field.typeCode);
        if (!info) {
            Damage(FindingCode::UnknownFieldType,
                   Detail(DetailKind::FieldTypeUnknown).Field(i + 1).Found(field.typeCode));
            continue;
        }
        if (!IsValidFieldSize(field.typeCode, field.sizeByte)) {
            Damage(FindingCode::BadFieldSize, Detail(DetailKind::FieldSizeBad)
                                                  .Field(i + 1)
                                                  .Extra(info->name)
                                                  .Found(field.sizeByte));
        }
        // Index files of unkeyed tables carry a Long record number at any level.
        if (info->minLevel > h_.fileVersion && h_.IsTable()) {
            Suspicious(FindingCode::FieldTypeAboveLevel, Detail(DetailKind::FieldTypeAboveLevel)
                                                             .Field(i + 1)
                                                             .Found(info->name)
                                                             .Expected(h_.fileVersion));
        }
    }
    pos += 2 * n;
    return true;
}

void HeaderParser::ReadNames(std::size_t& pos) {
    const auto n = h_.fields.size();
    pos += 4; // table name pointer (in-memory, meaningless on disk)
    if (!h_.IsPrimaryStyleIndex()) {
        pos += 4 * n; // field name pointers
    }
    const std::size_t tableNameLength = h_.fileVersion >= level::V7 ? 261 : 79;
    ByteView tableName = header_.Sub(pos, tableNameLength);
    if (tableName.size() != tableNameLength) {
        Damage(FindingCode::HeaderVariablePartBad, Detail(DetailKind::TableNamePastHeader));
        h_.parsedEnd = header_.size();
        pos = header_.size();
        return;
    }
    auto name = tableName.CString(0, tableNameLength);
    h_.tableName =
        name ? *name
             : std::string(reinterpret_cast<const char*>(tableName.data()), tableName.size());
    pos += tableNameLength;
    if (h_.IsPrimaryStyleIndex()) {
        h_.parsedEnd = pos;
        return;
    }
    for (std::size_t i = 0; i < n; ++i) {
        auto fieldName = header_.CString(pos, kMaxFieldNameScan);
        if (!fieldName) {
            Damage(FindingCode::HeaderVariablePartBad,
                   Detail(DetailKind::FieldNameUnterminated).Field(i + 1));
            for (std::size_t j = i; j < n; ++j) {
                h_.fields[j].name = "Field" + std::to_string(j + 1);
            }
            pos = header_.size();
            h_.parsedEnd = pos;
            return;
        }
        h_.fields[i].name = *fieldName;
        pos += fieldName->size() + 1;
    }
    h_.parsedEnd = pos;
}

void HeaderParser::ReadLevel4Tail(std::size_t namesEnd) {
    const auto n = h_.fields.size();
    // The offsets in the extension are authoritative; the names' end is only a cross-check
    // (encrypted tables may keep crypt info between the names and the field numbers).
    std::size_t pos = header_at::kFixedPartEnd + h_.fieldNumbersOffset;
    if (h_.fieldNumbersOffset == 0 || pos < namesEnd) {
        Damage(FindingCode::HeaderVariablePartBad,
               Detail(DetailKind::FieldNumbersBeforeNames).Found(pos).Expected(namesEnd));
        pos = namesEnd;
    }
    if (!header_.Has(pos, 2 * n)) {
        Damage(FindingCode::HeaderVariablePartBad, Detail(DetailKind::FieldNumbersPastHeader));
        h_.parsedEnd = header_.size();
        return;
    }
    h_.fieldNumbers.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        h_.fieldNumbers[i] = *header_.U16LE(pos + 2 * i);
    }
    pos += 2 * n;
    if (header_at::kFixedPartEnd + h_.sortNameOffset != pos) {
        Damage(FindingCode::HeaderVariablePartBad,
               Detail(DetailKind::SortNameMisplaced)
                   .Expected(pos)
                   .Found(header_at::kFixedPartEnd + h_.sortNameOffset));
        if (h_.sortNameOffset != 0 &&
            header_.Has(header_at::kFixedPartEnd + h_.sortNameOffset, 1)) {
            pos = header_at::kFixedPartEnd + h_.sortNameOffset;
        }
    }
    auto sortName = header_.CString(pos, kMaxFieldNameScan);
    if (!sortName) {
        Damage(FindingCode::HeaderVariablePartBad, Detail(DetailKind::SortNameUnterminated));
        h_.parsedEnd = header_.size();
        return;
    }
    h_.sortOrderName = *sortName;
    pos += sortName->size() + 1;
    if (h_.IsCompositeData()) {
        if (header_at::kFixedPartEnd + h_.indexNameOffset != pos) {
            Damage(FindingCode::HeaderVariablePartBad,
                   Detail(DetailKind::IndexNameMisplaced)
                       .Expected(pos)
                       .Found(header_at::kFixedPartEnd + h_.indexNameOffset));
            if (h_.indexNameOffset != 0 &&
                header_.Has(header_at::kFixedPartEnd + h_.indexNameOffset, 1)) {
                pos = header_at::kFixedPartEnd + h_.indexNameOffset;
            }
        }
        auto indexName = header_.CString(pos, kMaxFieldNameScan);
        if (!indexName) {
            Damage(FindingCode::HeaderVariablePartBad, Detail(DetailKind::IndexNameUnterminated));
            h_.parsedEnd = header_.size();
            return;
        }
        h_.indexName = *indexName;
        pos += indexName->size() + 1;
    }
    h_.parsedEnd = pos;
}

void HeaderParser::CheckConsistency() {
    if (!IsValidBlockSizeCode(h_.blockSizeCode)) {
        Damage(FindingCode::BadBlockSize,
               Detail(DetailKind::BlockSizeCode).Found(h_.blockSizeCode));
    }
    if (h_.primaryKeyFields < 0 || h_.primaryKeyFields > h_.numFields) {
        Damage(
            FindingCode::BadKeyFieldCount,
            Detail(DetailKind::KeyFieldsOfFields).Found(h_.primaryKeyFields).Extra(h_.numFields));
    } else if (h_.Keyed() && h_.primaryKeyFields == 0) {
        Damage(FindingCode::BadKeyFieldCount, Detail(DetailKind::KeyedWithoutKeyFields));
    } else if (h_.Is(FileType::UnkeyedTable) && h_.primaryKeyFields != 0) {
        Damage(FindingCode::BadKeyFieldCount,
               Detail(DetailKind::UnkeyedWithKeyFields).Found(h_.primaryKeyFields));
    }
    bool allTypesKnown = std::all_of(h_.fields.begin(), h_.fields.end(), [](const FieldSpec& f) {
        return LookupFieldType(f.typeCode).has_value();
    });
    const std::uint32_t expected = h_.FieldBytes() + (h_.IsPrimaryStyleIndex() ? 6 : 0);
    if (allTypesKnown && expected != h_.recordSize) {
        Damage(FindingCode::RecordSizeMismatch,
               Detail(DetailKind::RecordSizeOfFields).Found(h_.recordSize).Expected(expected));
    }
    if (h_.recordSize == 0 ||
        (IsValidBlockSizeCode(h_.blockSizeCode) && h_.recordSize > h_.BlockSize() - 6)) {
        Damage(FindingCode::RecordSizeMismatch,
               Detail(DetailKind::RecordSizeOverBlock).Found(h_.recordSize).Extra(h_.BlockSize()));
    }
    if (h_.headerSize < h_.parsedEnd) {
        Damage(FindingCode::BadHeaderSize, Detail(DetailKind::HeaderSizeBeforeContents)
                                               .Found(h_.headerSize)
                                               .Expected(h_.parsedEnd));
    } else if (h_.headerSize > file_.size()) {
        Damage(FindingCode::BadHeaderSize,
               Detail(DetailKind::HeaderSizePastFile).Found(h_.headerSize).Extra(file_.size()));
    }
    // Level 3.0 tables record no used size.
    if (h_.fileVersion >= level::V3_5 || h_.IsPrimaryStyleIndex()) {
        const std::size_t used = h_.parsedEnd;
        // 3.5 tables keep a few unexplained bytes after the names (5 or 6 seen).
        const bool level35Table = !h_.hasExtension && !h_.IsPrimaryStyleIndex();
        const bool indexOf30 = h_.fileVersion == level::V3_0 && h_.realHeaderSize == 0;
        const bool bad = level35Table ? h_.realHeaderSize < used || h_.realHeaderSize > used + 16
                                      : !indexOf30 && h_.realHeaderSize != used;
        if (bad) {
            Damage(FindingCode::HeaderVariablePartBad,
                   Detail(DetailKind::UsedHeaderSize).Found(h_.realHeaderSize).Expected(used));
        }
    }
    if (h_.modifiedFlags1 != 0 || h_.modifiedFlags2 != 0) {
        Suspicious(
            FindingCode::RebuildFlagSet,
            Detail(DetailKind::ModifiedFlags).Found(h_.modifiedFlags1).Extra(h_.modifiedFlags2));
    }
    if (h_.hasExtension && h_.encryption1 != header_at::kPlainMarker) {
        Suspicious(FindingCode::EncryptionMarkerOdd,
                   Detail(DetailKind::EncryptionMarker).Found(h_.encryption1));
    }
}

void HeaderParser::DetectEncryption() {
    h_.encrypted = h_.CipherKeyValue() != 0;
    if (h_.encrypted) {
        findings_.Add(FindingCode::Encrypted, Severity::Suspicious, name_, -1, -1,
                      Detail(DetailKind::PasswordChecksum).Found(h_.CipherKeyValue()));
    }
}

std::optional<TableHeader> HeaderParser::Parse() {
    if (file_.size() < header_at::kFixedPartEnd) {
        Damage(FindingCode::FileTooShort, Detail(DetailKind::FileBytes).Found(file_.size()));
        return Fail(HeaderFailure::TooShort);
    }
    ReadFixed();
    if (!CheckFileType()) {
        return Fail(HeaderFailure::NotAParadoxFile);
    }
    if (h_.fileVersion < 3 || h_.fileVersion > 12) {
        Damage(FindingCode::BadFileVersion, Detail(DetailKind::VersionByte).Found(h_.fileVersion));
        return Fail(HeaderFailure::NotAParadoxFile);
    }
    h_.hasExtension = h_.fileVersion >= 5 && !h_.IsPrimaryStyleIndex();
    if (h_.hasExtension) {
        if (file_.size() < header_at::kExtensionEnd) {
            Damage(FindingCode::FileTooShort, Detail(DetailKind::FileBytes).Found(file_.size()));
            return Fail(HeaderFailure::TooShort);
        }
        h_.fileVersion2 = *file_.U16LE(header_at::kFileVersion2);
        h_.encryption2 = *file_.U32LE(header_at::kEncryption2);
        h_.fileUpdateTime = *file_.U32LE(header_at::kFileUpdateTime);
        h_.hiFieldID = *file_.U16LE(header_at::kHiFieldId);
        h_.fieldNumbersOffset = *file_.U16LE(header_at::kFieldNumbersOffset);
        h_.indexNameOffset = *file_.U16LE(header_at::kIndexNameOffset);
        h_.codePage = *file_.U16LE(header_at::kCodePage);
        h_.sortNameOffset = *file_.U16LE(header_at::kSortNameOffset);
        h_.changeCount4 = *file_.U16LE(header_at::kChangeCount4);
    }
    // Level 3.0 headers end right after the names, so their size is checked, not used, as a
    // limit; later levels keep everything inside headerSize.
    std::size_t limit = file_.size();
    if (h_.fileVersion > level::V3_0 && h_.headerSize >= header_at::kFixedPartEnd) {
        limit = std::min<std::size_t>(limit, h_.headerSize);
    }
    header_ = file_.Sub(0, limit);
    h_.raw.assign(file_.data(), file_.data() + std::min<std::size_t>(file_.size(), h_.headerSize));

    std::size_t pos = h_.hasExtension ? header_at::kExtensionEnd : header_at::kFixedPartEnd;
    if (!ReadFieldDescriptors(pos)) {
        return Fail(HeaderFailure::FieldsUnreadable);
    }
    ReadNames(pos);
    if (h_.hasExtension && pos < header_.size()) {
        ReadLevel4Tail(pos);
    }
    CheckConsistency();
    DetectEncryption();
    // Header size, block size and key are taken only as far as the blocks bear them out; a
    // header that cannot describe its fields is left to the structure salvage.
    if (h_.fieldsKnown) {
        SettleBlockLayout(h_, file_, name_, findings_);
    }
    return std::move(h_);
}

} // namespace

std::optional<TableHeader> ParseHeader(ByteView file, const std::string& fileName,
                                       FindingList& findings) {
    return HeaderParser(file, fileName, findings).Parse();
}

ParsedHeader ParseHeaderWithReason(ByteView file, const std::string& fileName,
                                   FindingList& findings) {
    HeaderParser parser(file, fileName, findings);
    ParsedHeader parsed;
    parsed.header = parser.Parse();
    parsed.failure = parser.Failure();
    return parsed;
}

} // namespace paradox
