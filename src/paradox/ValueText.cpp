#include "paradox/ValueText.h"

#include "paradox/BlobFile.h"
#include "paradox/Codec.h"
#include "paradox/FieldType.h"
#include "paradox/Finding.h"
#include "paradox/TableReader.h"

#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <vector>

namespace paradox {
namespace {

constexpr std::int64_t kMillisPerDay = 86400000;

// `value` in decimal, with leading zeros up to `width` digits (printf's %0*llu, without the
// cost of parsing a format for every date of an export).
void AppendPadded(std::string& out, std::uint64_t value, std::size_t width) {
    char text[24];
    const char* end = std::to_chars(text, text + sizeof text, value).ptr;
    const auto digits = static_cast<std::size_t>(end - text);
    if (digits < width) {
        out.append(width - digits, '0');
    }
    out.append(text, digits);
}

void AppendAlpha(std::string& out, const std::uint8_t* p, std::size_t length) {
    for (std::size_t i = 0; i < length && p[i] != 0; ++i) {
        switch (p[i]) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += static_cast<char>(p[i]);
            break;
        }
    }
}

void AppendBlob(std::string& out, const FieldSpec& spec, const std::uint8_t* field,
                const BlobFile* blobs, FindingList* findings, const std::string& where) {
    const std::uint16_t length = spec.ByteLength();
    const auto ref = DecodeBlobRef(field, length);
    if (!ref) {
        out += "\\E";
        return;
    }
    if (ref->length == 0) {
        out += "\\N";
        return;
    }
    std::vector<std::uint8_t> data;
    FindingList local;
    const std::string place = where.empty() ? spec.name : where + " field " + spec.name;
    if (ReadBlobField(field, length, spec.typeCode, blobs, data, findings ? *findings : local,
                      place)) {
        AppendHex(out, data.data(), data.size());
    } else {
        out += "<blob len=" + std::to_string(ref->length) + ">";
    }
}

} // namespace

void AppendHex(std::string& out, const std::uint8_t* bytes, std::size_t size) {
    static const char* digits = "0123456789abcdef";
    out.reserve(out.size() + 2 * size);
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0xF];
    }
}

void AppendDateText(std::string& out, std::int64_t dayNumber) {
    const CivilDate date = CivilFromDayNumber(dayNumber);
    // ISO 8601 counts a year 0 (the day before 0001-01-01 is 0000-12-31) and writes a year
    // outside 0..9999 in the expanded form, signed and of at least four digits: -0002, +10000.
    const std::int64_t year = date.year;
    if (year < 0) {
        out += '-';
    } else if (year > 9999) {
        out += '+';
    }
    AppendPadded(out, static_cast<std::uint64_t>(year < 0 ? -year : year), 4);
    out += '-';
    AppendPadded(out, date.month, 2);
    out += '-';
    AppendPadded(out, date.day, 2);
}

void AppendTimeText(std::string& out, std::int64_t ms) {
    if (ms < 0) {
        out += '-';
        ms = -ms;
    }
    const auto magnitude = static_cast<std::uint64_t>(ms);
    AppendPadded(out, magnitude / 3600000, 2);
    out += ':';
    AppendPadded(out, magnitude / 60000 % 60, 2);
    out += ':';
    AppendPadded(out, magnitude / 1000 % 60, 2);
    out += '.';
    AppendPadded(out, magnitude % 1000, 3);
}

void AppendDoubleText(std::string& out, double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    out += text;
}

void AppendTimestampText(std::string& out, double ms) {
    if (!std::isfinite(ms) || std::fabs(ms) > 9e15) {
        AppendDoubleText(out, ms);
        return;
    }
    const long long t = std::llround(ms);
    long long day = t / kMillisPerDay;
    if (t % kMillisPerDay < 0) {
        --day;
    }
    AppendDateText(out, day);
    out += 'T';
    AppendTimeText(out, t - day * kMillisPerDay);
}

void AppendFieldText(std::string& out, const FieldSpec& spec, const std::uint8_t* field,
                     const BlobFile* blobs, FindingList* findings, const std::string& where) {
    const std::size_t length = spec.ByteLength();
    switch (spec.typeCode) {
    case static_cast<std::uint8_t>(FieldType::Alpha):
        if (field[0] == 0) {
            out += "\\N";
        } else {
            AppendAlpha(out, field, length);
        }
        return;
    case static_cast<std::uint8_t>(FieldType::Short):
    case static_cast<std::uint8_t>(FieldType::Long):
    case static_cast<std::uint8_t>(FieldType::AutoInc): {
        const auto value = DecodeKbeInt(field, length);
        out += value ? std::to_string(*value) : "\\N";
        return;
    }
    case static_cast<std::uint8_t>(FieldType::Number):
    case static_cast<std::uint8_t>(FieldType::Currency): {
        const auto value = DecodeKbeDouble(field);
        if (value) {
            AppendDoubleText(out, *value);
        } else {
            out += "\\N";
        }
        return;
    }
    case static_cast<std::uint8_t>(FieldType::Date): {
        const auto value = DecodeKbeInt(field, 4);
        if (value) {
            AppendDateText(out, *value);
        } else {
            out += "\\N";
        }
        return;
    }
    case static_cast<std::uint8_t>(FieldType::Time): {
        const auto value = DecodeKbeInt(field, 4);
        if (value) {
            AppendTimeText(out, *value);
        } else {
            out += "\\N";
        }
        return;
    }
    case static_cast<std::uint8_t>(FieldType::Timestamp): {
        const auto value = DecodeKbeDouble(field);
        if (value) {
            AppendTimestampText(out, *value);
        } else {
            out += "\\N";
        }
        return;
    }
    case static_cast<std::uint8_t>(FieldType::Logical):
        out += field[0] == 0 ? "\\N" : field[0] == 0x80 ? "false" : "true";
        return;
    case static_cast<std::uint8_t>(FieldType::Bcd): {
        const auto value = DecodeBcd(field, spec.sizeByte);
        out += value ? *value : "\\N";
        return;
    }
    case static_cast<std::uint8_t>(FieldType::Bytes):
        if (IsAllZero(field, length)) {
            out += "\\N";
        } else {
            AppendHex(out, field, length);
        }
        return;
    case static_cast<std::uint8_t>(FieldType::Memo):
    case static_cast<std::uint8_t>(FieldType::Blob):
    case static_cast<std::uint8_t>(FieldType::FmtMemo):
    case static_cast<std::uint8_t>(FieldType::Ole):
    case static_cast<std::uint8_t>(FieldType::Graphic):
        AppendBlob(out, spec, field, blobs, findings, where);
        return;
    default:
        out += "\\E";
        return;
    }
}

void AppendRecordLine(std::string& out, const TableReader& table, const RecordRef& record,
                      const BlobFile* blobs, FindingList* findings) {
    const auto& fields = table.Schema().fields;
    std::string where; // names the record in blob findings; built only when needed
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            out += '\t';
        }
        if (findings != nullptr && where.empty() && IsBlobType(fields[i].typeCode)) {
            where = FindingPlace(table.FileName(), record.block, record.slot);
        }
        if (table.FieldInRecord(i)) {
            AppendFieldText(out, fields[i], record.bytes + table.FieldOffsets()[i], blobs, findings,
                            where);
        } else {
            out += "\\E";
        }
    }
    out += '\n';
}

void AppendInfo(std::string& out, const TableHeader& h) {
    auto line = [&](const char* key, const std::string& value) {
        out += key;
        out += ": ";
        out += value;
        out += '\n';
    };
    char hex[16];
    line("file type", std::to_string(h.fileType));
    line("file version", std::to_string(h.fileVersion));
    line("record size", std::to_string(h.recordSize));
    line("header size", std::to_string(h.headerSize));
    line("block size", std::to_string(h.BlockSize()));
    line("fields", std::to_string(h.fields.size()));
    line("records", std::to_string(h.numRecords));
    line("blocks in use", std::to_string(h.blocksInUse));
    line("file blocks", std::to_string(h.fileBlocks));
    line("first block", std::to_string(h.firstBlock));
    line("last block", std::to_string(h.lastBlock));
    line("key fields", std::to_string(h.primaryKeyFields));
    line("autoincrement", std::to_string(h.autoIncrement));
    std::snprintf(hex, sizeof hex, "0x%02x", h.sortOrder);
    line("sort order", h.sortOrderName.empty() ? std::string(hex) : hex + (" " + h.sortOrderName));
    line("code page", std::to_string(h.codePage));
    line("encrypted", h.encrypted ? "yes" : "no");
    for (std::size_t i = 0; i < h.fields.size(); ++i) {
        const FieldSpec& f = h.fields[i];
        std::snprintf(hex, sizeof hex, "0x%02x", f.typeCode);
        out += "field " + std::to_string(i + 1) + ": " + f.name + " type=" + hex;
        if (f.typeCode == static_cast<std::uint8_t>(FieldType::Bcd)) {
            out += " len=17 dec=" + std::to_string(f.sizeByte);
        } else {
            out += " len=" + std::to_string(f.ByteLength() != 0 ? f.ByteLength() : f.sizeByte);
        }
        out += '\n';
    }
}

} // namespace paradox
