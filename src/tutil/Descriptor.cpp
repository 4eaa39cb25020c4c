#include "tutil/Descriptor.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <string_view>

namespace tutil {
namespace {

using paradox::FieldSpec;
using paradox::SecondaryIndexSpec;
using paradox::TableSchema;

// Everything the structure needs beyond fields and indexes travels as optional parameters:
// one field descriptor naming the setting, its value as text in one unit of optional data.
enum Param : std::uint16_t {
    kLevel,
    kBlockSize,
    kIndexBlockSize,
    kSortOrder,
    kSortOrderName,
    kCodePage,
    kTableName,
    kAutoIncrement,
    kParamCount
};
constexpr std::array<std::string_view, kParamCount> kParamNames = {
    "LEVEL",           "BLOCK SIZE", "INDEX BLOCK SIZE", "SORT ORDER",
    "SORT ORDER NAME", "CODE PAGE",  "TABLE NAME",       "AUTOINCREMENT"};

template <std::size_t N> void CopyText(char (&out)[N], std::string_view text) {
    std::memset(out, 0, N);
    std::memcpy(out, text.data(), std::min(text.size(), N - 1));
}

template <std::size_t N> std::string ReadText(const char (&in)[N]) {
    const void* nul = std::memchr(in, 0, N);
    const std::size_t length =
        nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - in) : N;
    return std::string(in, length);
}

std::string ParamValue(const TableSchema& schema, Param param) {
    switch (param) {
    case kLevel:
        return std::to_string(schema.fileVersion);
    case kBlockSize:
        return std::to_string(schema.blockSizeCode);
    case kIndexBlockSize:
        return std::to_string(schema.indexBlockSizeCode);
    case kSortOrder:
        return std::to_string(schema.sortOrder);
    case kSortOrderName:
        return schema.sortOrderName;
    case kCodePage:
        return std::to_string(schema.codePage);
    case kTableName:
        return schema.tableName;
    case kAutoIncrement:
        return std::to_string(schema.autoIncrement);
    case kParamCount:
        break;
    }
    return {};
}

template <class T> bool ParseNumber(std::string_view text, T& out) {
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() ||
        value > static_cast<std::uint64_t>(static_cast<T>(~T{}))) {
        return false;
    }
    out = static_cast<T>(value);
    return true;
}

bool Fail(std::string* error, std::string text) {
    if (error) {
        *error = std::move(text);
    }
    return false;
}

void FillField(FLDDesc& d, std::uint16_t number, const FieldSpec& field, std::uint16_t offset) {
    std::memset(&d, 0, sizeof d);
    d.fieldNumber = number;
    CopyText(d.name, field.name);
    d.physicalType = field.typeCode;
    d.sizeByte = field.sizeByte;
    d.logicalType = field.typeCode;
    const bool bcd = field.typeCode == static_cast<std::uint8_t>(paradox::FieldType::Bcd);
    d.units1 = bcd ? 32 : field.sizeByte;
    d.units2 = bcd ? field.sizeByte : 0;
    d.offset = offset;
    d.length = field.ByteLength();
}

void FillPrimaryIndex(IDXDesc& d, const TableSchema& schema, const std::string& stem) {
    std::memset(&d, 0, sizeof d);
    CopyText(d.name, stem + ".PX");
    CopyText(d.extension, "PX");
    d.primary = 1;
    d.unique = 1;
    d.maintained = 1;
    d.blockSizeCode = schema.indexBlockSizeCode;
    d.fieldCount = schema.keyFieldCount;
    const std::size_t keyFields = std::min<std::size_t>(schema.keyFieldCount, kMaxIndexFields);
    for (std::size_t i = 0; i < keyFields; ++i) {
        d.fieldNumbers[i] = static_cast<std::uint16_t>(i + 1);
    }
    d.keyLength =
        static_cast<std::uint16_t>(paradox::LeadingFieldsLength(schema.fields, keyFields));
}

void FillSecondaryIndex(IDXDesc& d, const SecondaryIndexSpec& spec, std::uint16_t id,
                        const std::string& stem) {
    std::memset(&d, 0, sizeof d);
    CopyText(d.name, stem + "." + spec.extension);
    CopyText(d.tagName, spec.name);
    CopyText(d.extension, spec.extension);
    d.maintained = spec.maintained ? 1 : 0;
    d.composite = spec.composite ? 1 : 0;
    d.caseInsensitive = spec.caseInsensitive ? 1 : 0;
    d.blockSizeCode = spec.blockSizeCode;
    d.indexId = id;
    d.fieldCount = static_cast<std::uint16_t>(spec.fieldNumbers.size());
    for (std::size_t i = 0; i < spec.fieldNumbers.size(); ++i) {
        d.fieldNumbers[i] = static_cast<std::uint16_t>(spec.fieldNumbers[i] & 0x7FFF);
        d.descendingFields[i] = (spec.fieldNumbers[i] & 0x8000) ? 1 : 0;
        if (d.descendingFields[i]) {
            d.descending = 1;
        }
    }
}

} // namespace

DescCounts CountsFor(const TableSchema& schema) {
    DescCounts counts;
    counts.fields = static_cast<std::uint16_t>(schema.fields.size());
    counts.indexes =
        static_cast<std::uint16_t>((schema.Keyed() ? 1 : 0) + schema.secondaryIndexes.size());
    counts.optionalParams = kParamCount;
    counts.optionalDataUnits = kParamCount;
    return counts;
}

bool FillDescriptor(const TableSchema& schema, const std::string& stem, CRTblDesc& desc,
                    std::string* error) {
    const DescCounts want = CountsFor(schema);
    if (desc.fieldCount != want.fields || desc.indexCount != want.indexes ||
        desc.securityCount != 0 || desc.validityCount != 0 || desc.refIntegrityCount != 0 ||
        desc.optionalParamCount != want.optionalParams) {
        return Fail(error, "descriptor counts do not match the table");
    }
    if ((want.fields && !desc.fields) || (want.indexes && !desc.indexes) ||
        (want.optionalParams && (!desc.optionalParams || !desc.optionalData))) {
        return Fail(error, "descriptor array missing");
    }
    if (schema.keyFieldCount > kMaxIndexFields) {
        return Fail(error, "primary key has more fields than a descriptor holds");
    }
    for (const auto& spec : schema.secondaryIndexes) {
        if (spec.fieldNumbers.size() > kMaxIndexFields) {
            return Fail(error, "secondary index has more fields than a descriptor holds");
        }
    }

    const std::vector<std::uint32_t> offsets = schema.FieldOffsets();
    for (std::uint16_t i = 0; i < want.fields; ++i) {
        FillField(desc.fields[i], static_cast<std::uint16_t>(i + 1), schema.fields[i],
                  static_cast<std::uint16_t>(offsets[i]));
    }
    std::uint16_t next = 0;
    if (schema.Keyed()) {
        FillPrimaryIndex(desc.indexes[next++], schema, stem);
    }
    for (const auto& spec : schema.secondaryIndexes) {
        FillSecondaryIndex(desc.indexes[next], spec, next, stem);
        ++next;
    }
    std::memset(desc.optionalData, 0, std::size_t{want.optionalDataUnits} * kOptionalDataUnit);
    for (std::uint16_t p = 0; p < kParamCount; ++p) {
        FLDDesc& d = desc.optionalParams[p];
        std::memset(&d, 0, sizeof d);
        d.fieldNumber = static_cast<std::uint16_t>(p + 1);
        CopyText(d.name, kParamNames[p]);
        d.physicalType = static_cast<std::uint8_t>(paradox::FieldType::Alpha);
        const std::string value = ParamValue(schema, static_cast<Param>(p));
        const std::size_t length = std::min(value.size(), kOptionalDataUnit - 1);
        d.offset = static_cast<std::uint16_t>(p * kOptionalDataUnit);
        d.length = static_cast<std::uint16_t>(length);
        d.units1 = d.length;
        std::memcpy(desc.optionalData + d.offset, value.data(), length);
    }
    return true;
}

std::optional<TableSchema> SchemaFromDescriptor(const CRTblDesc& desc, std::string* error) {
    auto fail = [&](std::string text) -> std::optional<TableSchema> {
        Fail(error, std::move(text));
        return std::nullopt;
    };
    if (desc.fieldCount == 0 || desc.fieldCount > 255 || !desc.fields) {
        return fail("descriptor has no usable field list");
    }
    TableSchema schema;
    for (std::uint16_t i = 0; i < desc.fieldCount; ++i) {
        const FLDDesc& d = desc.fields[i];
        if (d.fieldNumber != i + 1) {
            return fail("field descriptors out of order");
        }
        if (!paradox::LookupFieldType(d.physicalType) ||
            !paradox::IsValidFieldSize(d.physicalType, d.sizeByte)) {
            return fail("field " + std::to_string(i + 1) + " has an unknown type or size");
        }
        schema.fields.push_back({ReadText(d.name), d.physicalType, d.sizeByte});
    }
    if (desc.indexCount && !desc.indexes) {
        return fail("index descriptor array missing");
    }
    for (std::uint16_t i = 0; i < desc.indexCount; ++i) {
        const IDXDesc& d = desc.indexes[i];
        if (d.fieldCount == 0 || d.fieldCount > kMaxIndexFields) {
            return fail("index " + std::to_string(i + 1) + " has a bad field count");
        }
        for (std::uint16_t f = 0; f < d.fieldCount; ++f) {
            if (d.fieldNumbers[f] == 0 || d.fieldNumbers[f] > desc.fieldCount) {
                return fail("index " + std::to_string(i + 1) +
                            " names a field that does not exist");
            }
        }
        if (d.primary) {
            if (i != 0 || schema.keyFieldCount != 0) {
                return fail("primary index must be the first index");
            }
            for (std::uint16_t f = 0; f < d.fieldCount; ++f) {
                if (d.fieldNumbers[f] != f + 1) {
                    return fail("primary key must be the leading fields");
                }
            }
            schema.keyFieldCount = d.fieldCount;
            schema.indexBlockSizeCode = d.blockSizeCode;
            continue;
        }
        SecondaryIndexSpec spec;
        spec.extension = ReadText(d.extension);
        spec.name = ReadText(d.tagName);
        spec.maintained = d.maintained != 0;
        spec.composite = d.composite != 0;
        spec.caseInsensitive = d.caseInsensitive != 0;
        spec.blockSizeCode = d.blockSizeCode;
        for (std::uint16_t f = 0; f < d.fieldCount; ++f) {
            spec.fieldNumbers.push_back(static_cast<std::uint16_t>(
                d.fieldNumbers[f] | (d.descendingFields[f] ? 0x8000 : 0)));
        }
        if (spec.extension.empty() || spec.extension.size() > 3) {
            return fail("index " + std::to_string(i + 1) + " has no file extension");
        }
        schema.secondaryIndexes.push_back(std::move(spec));
    }
    if (desc.optionalParamCount && (!desc.optionalParams || !desc.optionalData)) {
        return fail("optional parameter array missing");
    }
    for (std::uint16_t p = 0; p < desc.optionalParamCount; ++p) {
        const FLDDesc& d = desc.optionalParams[p];
        if (std::size_t{d.offset} + d.length >
            std::size_t{desc.optionalParamCount} * kOptionalDataUnit) {
            return fail("optional parameter value lies outside the optional data");
        }
        const std::string_view value(reinterpret_cast<const char*>(desc.optionalData) + d.offset,
                                     d.length);
        const std::string name = ReadText(d.name);
        bool ok = true;
        if (name == kParamNames[kLevel]) {
            ok = ParseNumber(value, schema.fileVersion);
        } else if (name == kParamNames[kBlockSize]) {
            ok = ParseNumber(value, schema.blockSizeCode);
        } else if (name == kParamNames[kIndexBlockSize]) {
            ok = ParseNumber(value, schema.indexBlockSizeCode);
        } else if (name == kParamNames[kSortOrder]) {
            ok = ParseNumber(value, schema.sortOrder);
        } else if (name == kParamNames[kSortOrderName]) {
            schema.sortOrderName = std::string(value);
        } else if (name == kParamNames[kCodePage]) {
            ok = ParseNumber(value, schema.codePage);
        } else if (name == kParamNames[kTableName]) {
            schema.tableName = std::string(value);
        } else if (name == kParamNames[kAutoIncrement]) {
            ok = ParseNumber(value, schema.autoIncrement);
        }
        if (!ok) {
            return fail("optional parameter " + name + " has a bad value");
        }
    }
    if (schema.RecordSize() == 0) {
        return fail("descriptor gives an empty record");
    }
    return schema;
}

} // namespace tutil
