#include "cli/ErrorTableRows.h"

#include "paradox/Codec.h"
#include "paradox/Finding.h"
#include "paradox/NameCase.h"
#include "paradox/TableReader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <system_error>

namespace cli {
namespace {

namespace fs = std::filesystem;

// The columns of the error table by name; a column the file lacks stays unset.
struct Columns {
    explicit Columns(const paradox::TableReader& table) {
        const auto& fields = table.Schema().fields;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (!table.FieldInRecord(i)) {
                continue;
            }
            const std::string& name = fields[i].name;
            for (auto& [label, slot] :
                 {std::pair<const char*, std::optional<std::size_t>*>{"Table", &tableColumn},
                  {"File", &file},
                  {"Block", &block},
                  {"Record", &record},
                  {"Code", &code},
                  {"Text", &text}}) {
                if (paradox::SameName(name, label)) {
                    *slot = i;
                }
            }
        }
    }
    std::optional<std::size_t> tableColumn, file, block, record, code, text;
};

std::string TextAt(const paradox::TableReader& table, const paradox::RecordRef& record,
                   std::optional<std::size_t> column) {
    if (!column) {
        return {};
    }
    const auto* field = record.bytes + table.FieldOffsets()[*column];
    const std::size_t length = table.Schema().fields[*column].ByteLength();
    const void* end = std::memchr(field, 0, length);
    const std::size_t used =
        end == nullptr ? length
                       : static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - field);
    return std::string(reinterpret_cast<const char*>(field), used);
}

std::optional<std::int64_t> NumberAt(const paradox::TableReader& table,
                                     const paradox::RecordRef& record,
                                     std::optional<std::size_t> column) {
    if (!column) {
        return std::nullopt;
    }
    const std::size_t length = table.Schema().fields[*column].ByteLength();
    if (length != 2 && length != 4) {
        return std::nullopt;
    }
    return paradox::DecodeKbeInt(record.bytes + table.FieldOffsets()[*column], length);
}

} // namespace

std::vector<ErrorTableRow> ReadErrorTableRows(const fs::path& errorTable,
                                              const std::string& tableName, std::string& problem) {
    std::vector<ErrorTableRow> rows;
    paradox::FindingList findings;
    const auto table = paradox::TableReader::Open(errorTable, findings);
    if (!table) {
        problem = "the error table " + errorTable.string() + " cannot be read";
        if (!findings.All().empty()) {
            problem += ": " + findings.All().front().Describe();
        }
        return rows;
    }
    const Columns columns(*table);
    if (!columns.code || !columns.text) {
        problem = "the error table " + errorTable.string() + " has no Code or Text column";
        return rows;
    }
    table->ForEachRecord([&](const paradox::RecordRef& record) {
        ErrorTableRow row;
        row.table = TextAt(*table, record, columns.tableColumn);
        if (columns.tableColumn && !paradox::SameName(row.table, tableName)) {
            return;
        }
        row.file = TextAt(*table, record, columns.file);
        row.block = NumberAt(*table, record, columns.block);
        row.record = NumberAt(*table, record, columns.record);
        row.code = NumberAt(*table, record, columns.code);
        row.text = TextAt(*table, record, columns.text);
        rows.push_back(std::move(row));
    });
    return rows;
}

fs::path ErrorTableIn(const std::string& privateDirectory, const std::string& name) {
    std::error_code ec;
    const fs::path table = fs::path(privateDirectory) / name;
    return !privateDirectory.empty() && fs::is_regular_file(table, ec) ? table : fs::path();
}

} // namespace cli
