#include "paradox/RecordChecks.h"

#include "paradox/Codec.h"
#include "paradox/FieldType.h"
#include "paradox/FindingLimiter.h"

#include <cstring>
#include <string>

namespace paradox {
namespace {

constexpr std::int64_t kLastTime = 86399999;

// -1, 0, 1 comparing two keys field by field; Alpha fields compare the text before the NUL.
int CompareKeys(const TableReader& table, std::size_t keyFields, const std::uint8_t* a,
                const std::uint8_t* b) {
    const auto& fields = table.Schema().fields;
    for (std::size_t i = 0; i < keyFields; ++i) {
        const std::size_t offset = table.FieldOffsets()[i];
        const std::size_t length = fields[i].ByteLength();
        const std::uint8_t* x = a + offset;
        const std::uint8_t* y = b + offset;
        int order = 0;
        if (fields[i].typeCode == static_cast<std::uint8_t>(FieldType::Alpha)) {
            const std::size_t lx = strnlen(reinterpret_cast<const char*>(x), length);
            const std::size_t ly = strnlen(reinterpret_cast<const char*>(y), length);
            order = std::memcmp(x, y, std::min(lx, ly));
            if (order == 0) {
                order = lx < ly ? -1 : lx > ly ? 1 : 0;
            }
        } else {
            order = std::memcmp(x, y, length);
        }
        if (order != 0) {
            return order < 0 ? -1 : 1;
        }
    }
    return 0;
}

} // namespace

void CheckKeyOrder(const TableReader& table, FindingList& findings) {
    const TableHeader& header = table.Header();
    if (!header.Keyed() || header.primaryKeyFields <= 0) {
        return;
    }
    const auto keyFields = static_cast<std::size_t>(header.primaryKeyFields);
    bool orderKnown = true;
    for (std::size_t i = 0; i < keyFields; ++i) {
        if (!table.FieldInRecord(i)) {
            return;
        }
        orderKnown = orderKnown && table.Schema().fields[i].typeCode !=
                                       static_cast<std::uint8_t>(FieldType::Alpha);
    }
    FindingLimiter report(findings, table.FileName());
    const std::uint8_t* previous = nullptr;
    table.ForEachRecord([&](const RecordRef& record) {
        if (previous != nullptr) {
            const int order = CompareKeys(table, keyFields, previous, record.bytes);
            if (order == 0) {
                report.Add(FindingCode::DuplicateKey, Severity::Damage, record.block, record.slot,
                           Detail(DetailKind::SameKeyAsBefore));
            } else if (order > 0 && orderKnown) {
                report.Add(FindingCode::KeyOrder, Severity::Damage, record.block, record.slot,
                           Detail(DetailKind::KeyLowerThanBefore));
            }
        }
        previous = record.bytes;
    });
}

void CheckRecordValues(const TableReader& table, FindingList& findings) {
    const auto& fields = table.Schema().fields;
    const std::int64_t lastDay = DayNumberFromCivil(9999, 12, 31);
    // Tables of level 5 and later accept dates back to 9999 BC (year -9998 counted with a
    // year 0).
    const std::int64_t firstDay = DayNumberFromCivil(-9998, 1, 1);
    FindingLimiter report(findings, table.FileName());
    table.ForEachRecord([&](const RecordRef& record) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (!table.FieldInRecord(i)) {
                continue;
            }
            const std::uint8_t* p = record.bytes + table.FieldOffsets()[i];
            FindingDetail problem;
            switch (fields[i].typeCode) {
            case static_cast<std::uint8_t>(FieldType::Logical):
                if (p[0] != 0 && p[0] != 0x80 && p[0] != 0x81) {
                    problem = Detail(DetailKind::LogicalByte).Found(p[0]);
                }
                break;
            case static_cast<std::uint8_t>(FieldType::Date): {
                const auto day = DecodeKbeInt(p, 4);
                if (day && (*day < firstDay || *day > lastDay)) {
                    problem = Detail(DetailKind::DayNumber).Found(*day);
                }
                break;
            }
            case static_cast<std::uint8_t>(FieldType::Time): {
                const auto ms = DecodeKbeInt(p, 4);
                if (ms && (*ms < 0 || *ms > kLastTime)) {
                    problem = Detail(DetailKind::TimeOfDay).Found(*ms);
                }
                break;
            }
            default:
                break;
            }
            if (!problem.Empty()) {
                report.Add(FindingCode::BadValue, Severity::Suspicious, record.block, record.slot,
                           std::move(problem).Field(fields[i].name));
            }
        }
    });
}

} // namespace paradox
