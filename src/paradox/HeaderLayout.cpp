#include "paradox/HeaderLayout.h"

#include "paradox/ByteView.h"

#include <algorithm>
#include <cstring>

namespace paradox {
namespace {

constexpr std::size_t kFixedPart = 0x58;
constexpr std::size_t kLevel4Extension = 0x78;
constexpr std::uint32_t kHeaderUnit = 0x800;

bool HasExtension(const HeaderContent& c) {
    return c.fileVersion >= 5 && !c.IsIndexFile();
}

std::size_t TableNameLength(const HeaderContent& c) {
    return c.fileVersion >= level::V7 ? 261 : 79;
}

// The variable part as laid out from `start`; offsets of its parts are returned for the
// extension's pointers.
struct VariablePart {
    std::vector<std::uint8_t> bytes;
    std::size_t fieldNumbersAt = 0;
    std::size_t sortNameAt = 0;
    std::size_t indexNameAt = 0;
};

void AppendString(std::vector<std::uint8_t>& out, const std::string& s, std::size_t padTo) {
    const std::size_t n = std::min(s.size(), padTo == 0 ? s.size() : padTo - 1);
    out.insert(out.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
    out.resize(out.size() + (padTo == 0 ? 1 : padTo - n), 0);
}

VariablePart LayVariablePart(const HeaderContent& c) {
    VariablePart part;
    const std::size_t start = HasExtension(c) ? kLevel4Extension : kFixedPart;
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
        return part;
    }
    for (const auto& f : c.fields) {
        AppendString(out, f.name, 0);
    }
    if (!HasExtension(c)) {
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
    return part;
}

std::size_t RealHeaderSize(const HeaderContent& c, const VariablePart& part) {
    return (HasExtension(c) ? kLevel4Extension : kFixedPart) + part.bytes.size();
}

std::uint32_t HeaderSizeFor(const HeaderContent& c, std::size_t realSize) {
    if (c.fileVersion == level::V3_0) {
        return static_cast<std::uint32_t>(realSize);
    }
    return static_cast<std::uint32_t>((realSize + kHeaderUnit - 1) / kHeaderUnit * kHeaderUnit);
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

    PutU16LE(p + 0x00, recordSize);
    PutU16LE(p + 0x02, static_cast<std::uint16_t>(h.size()));
    p[0x04] = static_cast<std::uint8_t>(c.fileType);
    p[0x05] = c.blockSizeCode;
    PutU32LE(p + 0x06, c.numRecords);
    PutU16LE(p + 0x0A, blocks);
    PutU16LE(p + 0x0C, blocks);
    PutU16LE(p + 0x0E, blocks > 0 ? 1 : 0);
    PutU16LE(p + 0x10, blocks);
    PutU16LE(p + 0x12, c.byte12);
    p[0x15] = c.indexFieldNumber;
    PutU16LE(p + 0x1E, c.indexRoot);
    p[0x20] = c.indexLevels;
    PutU16LE(p + 0x21, static_cast<std::uint16_t>(c.fields.size()));
    PutU16LE(p + 0x23, c.keyFieldCount);
    PutU32LE(p + 0x25, dataFile && c.fileVersion >= 5 ? 0xFF00FF00u : 0u);
    p[0x29] = c.sortOrder;
    p[0x2C] = c.byte2C;
    p[0x2D] = c.byte2D;
    p[0x2E] = c.byte2E;
    p[0x2F] = c.byte2F;
    p[0x39] = c.fileVersion;
    PutU16LE(p + 0x3A, blocks);
    if (dataFile) {
        p[0x3E] = 0x1F;
        p[0x3F] = 0x0F;
    }
    PutU32LE(p + 0x49, c.autoIncrement);
    if (c.fileVersion != level::V3_0) {
        PutU16LE(p + 0x51, static_cast<std::uint16_t>(realSize));
    }
    p[0x55] = c.byte55;
    if (HasExtension(c)) {
        p[0x56] = 0x20;
        const auto version2 = static_cast<std::uint16_t>(0x0100 + c.fileVersion);
        PutU16LE(p + 0x58, version2);
        PutU16LE(p + 0x5A, version2);
        PutU32LE(p + 0x60, c.fileUpdateTime);
        PutU16LE(p + 0x64, static_cast<std::uint16_t>(c.fields.size() + 1));
        PutU16LE(p + 0x66, static_cast<std::uint16_t>(part.fieldNumbersAt - kFixedPart));
        if (part.indexNameAt != 0) {
            PutU16LE(p + 0x68, static_cast<std::uint16_t>(part.indexNameAt - kFixedPart));
        }
        PutU16LE(p + 0x6A, c.codePage);
        p[0x6C] = 1;
        p[0x6D] = 1;
        PutU16LE(p + 0x6E, static_cast<std::uint16_t>(part.sortNameAt - kFixedPart));
    }
    std::memcpy(p + (HasExtension(c) ? kLevel4Extension : kFixedPart), part.bytes.data(),
                part.bytes.size());
    return h;
}

} // namespace paradox
