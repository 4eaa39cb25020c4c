#include "tutil/FieldPlausibility.h"

#include "paradox/Codec.h"

#include <cmath>

namespace tutil {

using paradox::FieldType;

namespace {

// Fewer non-empty values than this say nothing about a field's type.
constexpr std::uint64_t kFewestValues = 3;

// An Alpha value is text ended by NUL bytes; a NUL with other bytes after it ends no text.
bool BytesAfterItsEnd(const std::uint8_t* p, std::size_t n) {
    std::size_t i = 0;
    while (i < n && p[i] != 0) {
        ++i;
    }
    for (; i < n; ++i) {
        if (p[i] != 0) {
            return true;
        }
    }
    return false;
}

// The first byte a number stored in 2, 4 or 8 bytes has when it is small: the sign bit the
// format flips and, for a double, the exponent of values from about 1e-3 to 1e9.
bool NumberLead(const std::uint8_t* p, std::size_t n) {
    if (n == 2 || n == 4) {
        return p[0] == 0x80 || p[0] == 0x7F;
    }
    if (n == 8) {
        return p[0] == 0xBF || p[0] == 0xC0 || p[0] == 0xC1 || p[0] == 0x3F || p[0] == 0x40;
    }
    return false;
}

} // namespace

FieldPlausibility::FieldPlausibility(const paradox::TableSchema& schema) : schema_(schema) {
    const auto offsets = schema.FieldOffsets();
    for (std::size_t i = 0; i < schema.fields.size(); ++i) {
        const auto& field = schema.fields[i];
        switch (field.Type()) {
        case FieldType::Alpha:
        case FieldType::Short:
        case FieldType::Long:
        case FieldType::AutoInc:
        case FieldType::Currency:
        case FieldType::Number:
        case FieldType::Date:
        case FieldType::Time:
        case FieldType::Timestamp:
        case FieldType::Logical:
            tallies_.push_back({i, offsets[i], field.ByteLength(), field.Type()});
            break;
        default:
            break;
        }
    }
}

bool FieldPlausibility::Implausible(const Tally& field, const std::uint8_t* p) {
    static const std::int64_t lastDay = paradox::DayNumberFromCivil(9999, 12, 31);
    static const double lastMillisecond = static_cast<double>(lastDay + 1) * 86400000.0;
    switch (field.type) {
    case FieldType::Alpha:
        return BytesAfterItsEnd(p, field.length) || NumberLead(p, field.length);
    case FieldType::Short:
        // Text read as a number: its bytes lack the flipped sign bit, so it is far below zero.
        return *paradox::DecodeKbeInt(p, 2) < -1000;
    case FieldType::Long:
        return *paradox::DecodeKbeInt(p, 4) < -(std::int64_t{1} << 24);
    case FieldType::AutoInc:
        return *paradox::DecodeKbeInt(p, 4) <= 0;
    case FieldType::Currency:
    case FieldType::Number: {
        const double v = std::fabs(*paradox::DecodeKbeDouble(p));
        return !std::isfinite(v) || (v != 0 && (v < 1e-30 || v > 1e30));
    }
    case FieldType::Date: {
        const std::int64_t day = *paradox::DecodeKbeInt(p, 4);
        return day < 1 || day > lastDay;
    }
    case FieldType::Time: {
        const std::int64_t ms = *paradox::DecodeKbeInt(p, 4);
        return ms < 0 || ms >= 86400000;
    }
    case FieldType::Timestamp: {
        const double ms = *paradox::DecodeKbeDouble(p);
        return !std::isfinite(ms) || ms <= 0 || ms > lastMillisecond;
    }
    case FieldType::Logical:
        return p[0] != 0x80 && p[0] != 0x81;
    default:
        return false;
    }
}

void FieldPlausibility::Add(const std::uint8_t* record) {
    for (Tally& field : tallies_) {
        const std::uint8_t* p = record + field.offset;
        if (paradox::IsAllZero(p, field.length)) {
            continue; // empty (NULL) in every type
        }
        ++field.values;
        if (Implausible(field, p)) {
            ++field.implausible;
        }
    }
}

std::string FieldPlausibility::Contradiction() const {
    for (const Tally& field : tallies_) {
        // Nearly all: a few plain values among them do not save the field.
        if (field.values < kFewestValues || field.implausible * 10 < field.values * 9) {
            continue;
        }
        const std::string what = field.type == FieldType::Alpha
                                     ? " values are not text (bytes after their end, or a "
                                       "number's leading byte)"
                                     : " values are implausible for the field's type";
        return "field " + std::to_string(field.number + 1) + " (" +
               schema_.fields[field.number].name + "): " + std::to_string(field.implausible) +
               " of " + std::to_string(field.values) + what;
    }
    return {};
}

} // namespace tutil
