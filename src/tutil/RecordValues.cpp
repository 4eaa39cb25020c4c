#include "tutil/RecordValues.h"

#include "paradox/Codec.h"

#include <cmath>

namespace tutil {

using paradox::FieldType;

ValueChecker::ValueChecker(const paradox::TableSchema& schema) : schema_(schema) {
    const auto offsets = schema.FieldOffsets();
    for (std::size_t i = 0; i < schema.fields.size(); ++i) {
        switch (schema.fields[i].Type()) {
        case FieldType::Logical:
        case FieldType::Date:
        case FieldType::Time:
        case FieldType::Timestamp:
            fields_.push_back({i, offsets[i], schema.fields[i].Type()});
            break;
        default:
            break;
        }
    }
}

bool ValueChecker::Check(const std::uint8_t* record, paradox::FindingDetail* problem) const {
    static const std::int64_t lastDay = paradox::DayNumberFromCivil(9999, 12, 31);
    for (const Field& field : fields_) {
        const std::uint8_t* p = record + field.offset;
        const char* why = nullptr;
        switch (field.type) {
        case FieldType::Logical:
            if (p[0] != 0 && p[0] != 0x80 && p[0] != 0x81) {
                why = "logical value is neither true nor false";
            }
            break;
        case FieldType::Date: {
            const auto day = paradox::DecodeKbeInt(p, 4);
            if (day && *day > lastDay) {
                why = "date beyond the year 9999";
            }
            break;
        }
        case FieldType::Time: {
            const auto ms = paradox::DecodeKbeInt(p, 4);
            if (ms && (*ms < 0 || *ms >= 86400000)) {
                why = "time outside a day";
            }
            break;
        }
        case FieldType::Timestamp: {
            const auto ms = paradox::DecodeKbeDouble(p);
            if (ms && !std::isfinite(*ms)) {
                why = "timestamp is not a number";
            }
            break;
        }
        default:
            break;
        }
        if (why != nullptr) {
            if (problem) {
                *problem = paradox::Detail(paradox::DetailKind::FieldValueBad)
                               .Field(field.number + 1)
                               .Extra(schema_.fields[field.number].name)
                               .Found(why);
            }
            return false;
        }
    }
    return true;
}

} // namespace tutil
