#include "paradox/SecondaryIndex.h"

#include <algorithm>
#include <string>
#include <utility>

namespace paradox {

std::vector<std::uint16_t> IndexedTableFields(const TableHeader& x, std::size_t secondary) {
    if (!x.fieldNumbers.empty()) {
        const std::size_t n = std::min(secondary, x.fieldNumbers.size());
        return {x.fieldNumbers.begin(), x.fieldNumbers.begin() + static_cast<std::ptrdiff_t>(n)};
    }
    if (secondary == 1 && x.indexFieldNumber != 0) {
        return {x.indexFieldNumber};
    }
    return {};
}

std::size_t KeyFieldsPresent(const TableHeader& t) {
    if (!t.Keyed() || t.primaryKeyFields <= 0) {
        return 0;
    }
    return std::min(static_cast<std::size_t>(t.primaryKeyFields), t.fields.size());
}

FindingDetail ForeignFieldProblem(const TableHeader& x, const TableHeader& table,
                                  const std::vector<std::uint16_t>& indexed) {
    const std::size_t secondary = indexed.size();
    const std::size_t keys = KeyFieldsPresent(table);
    if (secondary + keys > x.fields.size()) {
        return Detail(DetailKind::FieldsCannotIndex).Found(x.fields.size());
    }
    for (std::size_t i = 0; i < secondary + keys; ++i) {
        std::size_t field = i - secondary;
        if (i < secondary) {
            const std::uint16_t number = indexed[i] & ~kDescending;
            if (number == 0 || number > table.fields.size()) {
                return Detail(DetailKind::IndexedFieldNotInTable).Field(number);
            }
            field = number - 1u;
        }
        if (x.fields[i].typeCode != table.fields[field].typeCode ||
            x.fields[i].sizeByte != table.fields[field].sizeByte) {
            return Detail(DetailKind::FieldDiffersFromTable).Field(i + 1).Extra(field + 1);
        }
    }
    return {};
}

std::size_t SecondaryFieldCount(const TableHeader& x, const TableHeader& table) {
    // Keyed: the table's key fields and Blk Num follow. Unkeyed: Tup No, Blk Num, Tup Offset.
    const std::size_t trailing =
        table.Keyed() ? static_cast<std::size_t>(std::max<int>(0, table.primaryKeyFields)) + 1 : 3;
    return x.fields.size() > trailing ? x.fields.size() - trailing : 0;
}

SecondaryHeaderJudgement JudgeSecondaryHeader(const TableHeader& x, const TableHeader& table) {
    SecondaryHeaderJudgement judged;
    auto fault = [&](FindingCode code, FindingDetail detail) {
        judged.faults.push_back({code, std::move(detail)});
    };
    if (!x.IsSecondaryData()) {
        fault(FindingCode::SecondaryIndexBad,
              Detail(DetailKind::NotSecondaryData).Found(x.fileType));
        return judged;
    }
    const std::size_t secondary = SecondaryFieldCount(x, table);
    judged.indexed = IndexedTableFields(x, secondary);
    if (secondary == 0 || judged.indexed.size() != secondary) {
        fault(FindingCode::SecondaryIndexBad,
              Detail(DetailKind::FieldsCannotIndex).Found(x.fields.size()));
        return judged;
    }
    judged.fieldsReadable = true;
    if (FindingDetail problem = ForeignFieldProblem(x, table, judged.indexed); !problem.Empty()) {
        judged.foreign = true;
        fault(FindingCode::IndexOfAnotherTable, std::move(problem));
    }
    if (x.sortOrder != table.sortOrder) {
        fault(FindingCode::IndexOfAnotherTable,
              Detail(DetailKind::Collation).Found(x.sortOrder).Expected(table.sortOrder));
    }
    if (x.IsMaintainedData() && x.numRecords != table.numRecords) {
        fault(FindingCode::IndexCountMismatch, Detail(DetailKind::IndexRecordsTableHas)
                                                   .Found(x.numRecords)
                                                   .Expected(table.numRecords));
    }
    return judged;
}

} // namespace paradox
