#include "paradox/FieldType.h"

#include <array>

namespace paradox {
namespace {

constexpr std::array<FieldTypeInfo, 17> kTypes{{
    {FieldType::Alpha, 'A', "Alpha", level::V3_0, false, true, 0},
    {FieldType::Date, 'D', "Date", level::V3_0, false, false, 4},
    {FieldType::Short, 'S', "Short", level::V3_0, false, false, 2},
    {FieldType::Long, 'I', "Long", 0x0A, false, false, 4},
    {FieldType::Currency, '$', "Currency", level::V3_0, false, false, 8},
    {FieldType::Number, 'N', "Number", level::V3_0, false, false, 8},
    {FieldType::Logical, 'L', "Logical", 0x0A, false, false, 1},
    {FieldType::Memo, 'M', "Memo", 0x05, true, true, 0},
    {FieldType::Blob, 'B', "Binary", 0x05, true, true, 0},
    {FieldType::FmtMemo, 'F', "FmtMemo", 0x05, true, true, 0},
    {FieldType::Ole, 'O', "OLE", 0x05, true, true, 0},
    {FieldType::Graphic, 'G', "Graphic", 0x05, true, true, 0},
    {FieldType::Time, 'T', "Time", 0x0A, false, false, 4},
    {FieldType::Timestamp, '@', "Timestamp", 0x0A, false, false, 8},
    {FieldType::AutoInc, '+', "AutoInc", 0x0A, false, false, 4},
    {FieldType::Bcd, '#', "BCD", 0x0A, false, false, 17},
    {FieldType::Bytes, 'Y', "Bytes", 0x0A, false, true, 0},
}};

} // namespace

std::optional<FieldTypeInfo> LookupFieldType(std::uint8_t code) {
    for (const auto& info : kTypes) {
        if (static_cast<std::uint8_t>(info.type) == code) {
            return info;
        }
    }
    return std::nullopt;
}

std::uint16_t FieldByteLength(std::uint8_t code, std::uint8_t sizeByte) {
    auto info = LookupFieldType(code);
    if (!info) {
        return 0;
    }
    return info->sizeIsLength ? sizeByte : info->fixedSize;
}

bool IsValidFieldSize(std::uint8_t code, std::uint8_t sizeByte) {
    auto info = LookupFieldType(code);
    if (!info) {
        return false;
    }
    switch (info->type) {
    case FieldType::Alpha:
    case FieldType::Bytes:
        return sizeByte >= 1;
    case FieldType::Bcd:
        return sizeByte <= 32;
    case FieldType::Memo:
        return sizeByte >= 11 && sizeByte <= 250;
    case FieldType::Blob:
    case FieldType::FmtMemo:
    case FieldType::Ole:
    case FieldType::Graphic:
        return sizeByte >= 10 && sizeByte <= 250;
    default:
        return sizeByte == info->fixedSize;
    }
}

std::string FieldTypeText(std::uint8_t code, std::uint8_t sizeByte) {
    const auto info = LookupFieldType(code);
    if (!info) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        return std::string("type 0x") + kDigits[code >> 4] + kDigits[code & 0x0F];
    }
    std::string text(info->name);
    if (info->sizeIsLength || info->fixedSize == 0 || info->type == FieldType::Bcd) {
        text += " " + std::to_string(sizeByte);
    }
    return text;
}

} // namespace paradox
