#include "paradox/HeaderLayout.h"

#include "paradox/ByteView.h"
#include "paradox/HeaderOffsets.h"

#include <algorithm>
#include <cstring>

namespace paradox {
namespace {

constexpr std::uint32_t kHeaderUnit = 0x800;

bool HasExtension(const HeaderContent& c) {
    return c.fileVersion >= 5 && !c.IsIndexFile();
}

std::size_t TableNameLength(const HeaderContent& c) {
    return TableNameField(c.fileVersion);
}

// The variable part as laid out from `start`; offsets of its parts are returned for the
// extension's pointers.
struct VariablePart {
    std::vector<std::uint8_t> bytes;
    std::size_t fieldNumbersAt = 0;
    std::size_t sortNameAt = 0;
    std::size_t indexNameAt = 0;
    std::size_t contentEnd = 0; // see HeaderShape
};

void AppendString(std::vector<std::uint8_t>& out, const std::string& s, std::size_t padTo) {
    const std::size_t n = std::min(s.size(), padTo == 0 ? s.size() : padTo - 1);
    out.insert(out.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
    out.resize(out.size() + (padTo == 0 ? 1 : padTo - n), 0);
}

VariablePart LayVariablePart(const HeaderContent& c) {
    VariablePart part;
    const std::size_t start = HasExtension(c) ? header_at::kExtensionEnd : header_at::kFixedPartEnd;
    auto& out = part.bytes;
    for (const auto& f : c.fields) {
        out.push_back(f.typeCode);
        out.push_back(f.sizeByte);
    }
    out.resize(out.size() + 4, 0); // table name pointer (in memory only)
    if (!c.IsIndexFile()) {
        out.resize(out.size() + 4 * c.fields.size(), 0); // field name pointers
    }
    AppendString(out, c.tableName, TableNameLength(c));
    if (c.IsIndexFile()) {
        part.contentEnd = start + out.size();
        return part;
    }
    for (const auto& f : c.fields) {
        AppendString(out, f.name, 0);
    }
    if (!HasExtension(c)) {
        part.contentEnd = start + out.size();
        if (c.fileVersion == level::V3_5) {
            out.resize(out.size() + 6, 0);
        }
        return part;
    }
    part.fieldNumbersAt = start + out.size();
    for (std::size_t i = 0; i < c.fields.size(); ++i) {
        const std::uint16_t number =
            i < c.fieldNumbers.size() ? c.fieldNumbers[i] : static_cast<std::uint16_t>(i + 1);
        out.push_back(static_cast<std::uint8_t>(number));
        out.push_back(static_cast<std::uint8_t>(number >> 8));
    }
    part.sortNameAt = start + out.size();
    AppendString(out, c.sortOrderName, 0);
    if (!c.indexName.empty()) {
        part.indexNameAt = start + out.size();
        AppendString(out, c.indexName, 0);
    }
    part.contentEnd = start + out.size();
    return part;
}

std::size_t RealHeaderSize(const HeaderContent& c, const VariablePart& part) {
    return (HasExtension(c) ? header_at::kExtensionEnd : header_at::kFixedPartEnd) +
           part.bytes.size();
}

std::uint32_t HeaderSizeFor(const HeaderContent& c, std::size_t realSize) {
    if (c.fileVersion == level::V3_0) {
        return static_cast<std::uint32_t>(realSize);
    }
    return static_cast<std::uint32_t>((realSize + kHeaderUnit - 1) / kHeaderUnit * kHeaderUnit);
}

// A protected file stores its key where plain files keep 0 or the level-4 marker, and the bytes
// after it as the source table had them. Plain files are left as laid out above.
void PutProtection(std::uint8_t* p, const HeaderContent& c) {
    if (c.protection.keyValue == 0) {
        return;
    }
    PutU32LE(p + (HasExtension(c) ? header_at::kEncryption2 : header_at::kEncryption1),
             c.protection.keyValue);
    std::copy(c.protection.bytes3D.begin(), c.protection.bytes3D.end(),
              p + header_at::kAuxPasswords);
}

// The replaced file's bytes where neither its layout nor this one gives them a meaning the
// writer sets; nothing when the two files are not of one kind.
void KeepUnownedBytes(std::vector<std::uint8_t>& h, const HeaderContent& c,
                      const VariablePart& part) {
    const KeptHeader& kept = c.kept;
    if (kept.bytes.empty() || kept.extension != HasExtension(c) ||
        kept.indexFile != c.IsIndexFile()) {
        return;
    }
    const std::size_t nameField = TableNameLength(c);
    const std::vector<bool> owned =
        OwnedHeaderBytes({c.fileType, HasExtension(c), c.fields.size(), nameField,
                          std::min(c.tableName.size() + 1, nameField), part.contentEnd, h.size()});
    const std::size_t n = std::min(h.size(), kept.bytes.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (!owned[i] && kept.bytes[i]) {
            h[i] = *kept.bytes[i];
        }
    }
}

} // namespace

std::uint16_t RecordSizeOf(const std::vector<FieldSpec>& fields) {
    return static_cast<std::uint16_t>(LeadingFieldsLength(fields, fields.size()));
}

std::uint32_t HeaderSize(const HeaderContent& content) {
    return HeaderSizeFor(content, RealHeaderSize(content, LayVariablePart(content)));
}

std::vector<std::uint8_t> BuildHeader(const HeaderContent& c, std::uint16_t recordSize) {
    const VariablePart part = LayVariablePart(c);
    const std::size_t realSize = RealHeaderSize(c, part);
    std::vector<std::uint8_t> h(HeaderSizeFor(c, realSize), 0);
    std::uint8_t* p = h.data();
    const bool dataFile = !c.IsIndexFile();
    const auto blocks = c.fileBlocks;

    PutU16LE(p + header_at::kRecordSize, recordSize);
    PutU16LE(p + header_at::kHeaderSize, static_cast<std::uint16_t>(h.size()));
    p[header_at::kFileType] = static_cast<std::uint8_t>(c.fileType);
    p[header_at::kBlockSizeCode] = c.blockSizeCode;
    PutU32LE(p + header_at::kNumRecords, c.numRecords);
    PutU16LE(p + header_at::kBlocksInUse, blocks);
    PutU16LE(p + header_at::kFileBlocks, blocks);
    PutU16LE(p + header_at::kFirstBlock, blocks > 0 ? 1 : 0);
    PutU16LE(p + header_at::kLastBlock, blocks);
    PutU16LE(p + header_at::kWord12, c.byte12);
    p[header_at::kIndexFieldNumber] = c.indexFieldNumber;
    PutU16LE(p + header_at::kIndexRoot, c.indexRoot);
    p[header_at::kIndexLevels] = c.indexLevels;
    PutU16LE(p + header_at::kNumFields, static_cast<std::uint16_t>(c.fields.size()));
    PutU16LE(p + header_at::kPrimaryKeyFields, c.keyFieldCount);
    PutU32LE(p + header_at::kEncryption1,
             dataFile && c.fileVersion >= 5 ? header_at::kPlainMarker : 0u);
    p[header_at::kSortOrder] = c.sortOrder;
    p[header_at::kIndexSyncCount] = c.byte2C;
    p[header_at::kChangeCount1] = c.byte2D;
    p[header_at::kChangeCount2] = c.byte2E;
    p[header_at::kByte2F] = c.byte2F;
    p[header_at::kFileVersion] = c.fileVersion;
    PutU16LE(p + header_at::kMaxBlocks, blocks);
    if (dataFile) {
        p[header_at::kByte3E] = 0x1F;
        p[header_at::kByte3F] = 0x0F;
    }
    PutProtection(p, c);
    PutU32LE(p + header_at::kAutoIncrement, c.autoIncrement);
    if (c.fileVersion != level::V3_0) {
        PutU16LE(p + header_at::kRealHeaderSize, static_cast<std::uint16_t>(realSize));
    }
    p[header_at::kByte55] = c.byte55;
    if (HasExtension(c)) {
        p[header_at::kByte56] = 0x20;
        const auto version2 = static_cast<std::uint16_t>(0x0100 + c.fileVersion);
        PutU16LE(p + header_at::kFileVersion2, version2);
        PutU16LE(p + header_at::kFileVersion2Copy, version2);
        PutU32LE(p + header_at::kFileUpdateTime, c.fileUpdateTime);
        PutU16LE(p + header_at::kHiFieldId, static_cast<std::uint16_t>(c.fields.size() + 1));
        PutU16LE(p + header_at::kFieldNumbersOffset,
                 static_cast<std::uint16_t>(part.fieldNumbersAt - header_at::kFixedPartEnd));
        if (part.indexNameAt != 0) {
            PutU16LE(p + header_at::kIndexNameOffset,
                     static_cast<std::uint16_t>(part.indexNameAt - header_at::kFixedPartEnd));
        }
        PutU16LE(p + header_at::kCodePage, c.codePage);
        p[header_at::kByte6C] = 1;
        p[header_at::kByte6D] = 1;
        PutU16LE(p + header_at::kSortNameOffset,
                 static_cast<std::uint16_t>(part.sortNameAt - header_at::kFixedPartEnd));
    }
    std::memcpy(p + (HasExtension(c) ? header_at::kExtensionEnd : header_at::kFixedPartEnd),
                part.bytes.data(), part.bytes.size());
    KeepUnownedBytes(h, c, part);
    return h;
}

} // namespace paradox
