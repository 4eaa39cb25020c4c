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

std::string ForeignFieldProblem(const TableHeader& x, const TableHeader& table,
                                const std::vector<std::uint16_t>& indexed) {
    const std::size_t secondary = indexed.size();
    const std::size_t keys = KeyFieldsPresent(table);
    if (secondary + keys > x.fields.size()) {
        return std::to_string(x.fields.size()) + " fields cannot index this table";
    }
    for (std::size_t i = 0; i < secondary + keys; ++i) {
        std::size_t field = i - secondary;
        if (i < secondary) {
            const std::uint16_t number = indexed[i] & ~kDescending;
            if (number == 0 || number > table.fields.size()) {
                return "indexed field number " + std::to_string(number) + " not in the table";
            }
            field = number - 1u;
        }
        if (x.fields[i].typeCode != table.fields[field].typeCode ||
            x.fields[i].sizeByte != table.fields[field].sizeByte) {
            return "field " + std::to_string(i + 1) + " differs from table field " +
                   std::to_string(field + 1);
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
    auto fault = [&](FindingCode code, std::string detail) {
        judged.faults.push_back({code, std::move(detail)});
    };
    if (!x.IsSecondaryData()) {
        fault(FindingCode::SecondaryIndexBad,
              "file type " + std::to_string(x.fileType) + " is not secondary index data");
        return judged;
    }
    const std::size_t secondary = SecondaryFieldCount(x, table);
    judged.indexed = IndexedTableFields(x, secondary);
    if (secondary == 0 || judged.indexed.size() != secondary) {
        fault(FindingCode::SecondaryIndexBad,
              std::to_string(x.fields.size()) + " fields cannot index this table");
        return judged;
    }
    judged.fieldsReadable = true;
    if (std::string problem = ForeignFieldProblem(x, table, judged.indexed); !problem.empty()) {
        judged.foreign = true;
        fault(FindingCode::IndexOfAnotherTable, std::move(problem));
    }
    if (x.sortOrder != table.sortOrder) {
        fault(FindingCode::IndexOfAnotherTable, "collation " + std::to_string(x.sortOrder) +
                                                    ", table has " +
                                                    std::to_string(table.sortOrder));
    }
    if (x.IsMaintainedData() && x.numRecords != table.numRecords) {
        fault(FindingCode::IndexCountMismatch, std::to_string(x.numRecords) +
                                                   " index records, the table has " +
                                                   std::to_string(table.numRecords));
    }
    return judged;
}

} // namespace paradox
