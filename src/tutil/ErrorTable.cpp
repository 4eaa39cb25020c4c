#include "tutil/ErrorTable.h"

#include "engine/ErrorCodes.h"
#include "paradox/RecordBuilder.h"
#include "paradox/TableWriter.h"
#include "tutil/DurableFile.h"
#include "tutil/FamilySwap.h"
#include "tutil/UtilityError.h"
#include "tutil/WorkTables.h"

#include <algorithm>
#include <cctype>

namespace tutil {

using paradox::FieldSpec;
using paradox::FieldType;

namespace {
bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::toupper(x) == std::toupper(y);
           });
}

constexpr std::uint8_t kText = static_cast<std::uint8_t>(FieldType::Alpha);
constexpr std::uint8_t kShort = static_cast<std::uint8_t>(FieldType::Short);
constexpr std::uint8_t kLong = static_cast<std::uint8_t>(FieldType::Long);
enum Column : std::size_t { kTable, kFile, kPhase, kBlock, kRecord, kCode, kDescription };

std::string Clip(std::string text, std::size_t length) {
    if (text.size() > length) {
        text.resize(length);
    }
    // A NUL would end the stored text early; keep what precedes it.
    return text.substr(0, text.find('\0'));
}
} // namespace

paradox::TableSchema ErrorTableSchema() {
    paradox::TableSchema schema;
    schema.fileVersion = paradox::level::V5;
    schema.blockSizeCode = 2;
    schema.tableName = "ERRORS";
    schema.fields = {FieldSpec{"Table", kText, 64}, FieldSpec{"File", kText, 64},
                     FieldSpec{"Phase", kShort, 2}, FieldSpec{"Block", kLong, 4},
                     FieldSpec{"Record", kLong, 4}, FieldSpec{"Code", kShort, 2},
                     FieldSpec{"Text", kText, 255}};
    return schema;
}

void WriteFindingTable(const std::filesystem::path& dir, const std::string& stem,
                       const std::string& tableName, const paradox::FindingList& findings,
                       const std::vector<Phase>& phases) {
    const paradox::TableSchema schema = ErrorTableSchema();
    paradox::WriteOptions options;
    options.sync = !testing::FlushesSkipped();
    paradox::TableWriter writer(dir, stem, schema, options);
    paradox::RecordBuilder row(schema);
    const auto& all = findings.All();
    for (std::size_t i = 0; i < all.size(); ++i) {
        const paradox::Finding& f = all[i];
        row.Clear();
        row.SetText(kTable, Clip(tableName, 64));
        row.SetText(kFile, Clip(f.file, 64));
        row.SetInt(kPhase, i < phases.size() ? static_cast<int>(phases[i]) : 0);
        if (f.block >= 0 && f.block <= INT32_MAX) {
            row.SetInt(kBlock, f.block);
        }
        if (f.record >= 0 && f.record <= INT32_MAX) {
            row.SetInt(kRecord, f.record);
        }
        row.SetInt(kCode, static_cast<int>(f.code));
        std::string text(paradox::FindingText(f.code));
        if (!f.detail.empty()) {
            text += " (" + f.detail + ")";
        }
        row.SetText(kDescription, Clip(text, 255));
        writer.Append(row.Bytes());
    }
    writer.Finish();
}

void WriteVerifyErrorTable(const TableLocation& table, const std::string& name,
                           const VerifyOutcome& outcome) {
    if (name.empty()) {
        return;
    }
    const std::string stem = WorkTableStem(table, name);
    if (SameNameIgnoringCase(stem, table.stem)) {
        throw UtilityError(engine::err::InvalidArgument,
                           "the error table would replace the table itself: " + name);
    }
    const auto staging = PrepareStaging(table.dir, table.stem);
    WriteFindingTable(staging, stem, table.db.filename().string(), outcome.findings,
                      outcome.findingPhases);
    SwapPlan plan;
    PlanFamilyReplacement(plan, table.dir, staging, stem, false);
    CommitSwap(table.dir, table.stem, plan);
}

} // namespace tutil
