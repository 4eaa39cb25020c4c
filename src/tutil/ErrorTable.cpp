#include "tutil/ErrorTable.h"

#include "engine/Config.h"
#include "engine/ErrorCodes.h"
#include "engine/Session.h"
#include "paradox/Family.h"
#include "paradox/RecordBuilder.h"
#include "paradox/TableReader.h"
#include "paradox/TableWriter.h"
#include "tutil/DurableFile.h"
#include "tutil/FamilySwap.h"
#include "tutil/UtilityError.h"
#include "tutil/WorkTables.h"

#include <cerrno>
#include <sys/file.h>
#include <system_error>

namespace tutil {

using paradox::FieldSpec;
using paradox::FieldType;

namespace fs = std::filesystem;

namespace {
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

bool IsErrorTable(const fs::path& db) {
    paradox::FindingList ignored;
    const auto reader = paradox::TableReader::Open(db, ignored);
    if (!reader) {
        return false;
    }
    const auto expected = ErrorTableSchema().fields;
    const auto& fields = reader->Schema().fields;
    if (fields.size() != expected.size()) {
        return false;
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].name != expected[i].name || fields[i].typeCode != expected[i].typeCode ||
            fields[i].sizeByte != expected[i].sizeByte) {
            return false;
        }
    }
    return true;
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
    paradox::TableWriter writer(dir, stem, schema, paradox::WriteOptions{});
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
        row.SetText(kDescription, Clip(f.Text(), 255));
        writer.Append(row.Bytes());
    }
    writer.Finish();
}

fs::path ErrorTableDir() {
    std::shared_ptr<engine::Session> session;
    if (engine::CurrentSession(session) != engine::err::Ok || !session) {
        return {};
    }
    return session->PrivateDir();
}

fs::path WriteErrorTable(const std::string& name, const std::string& tableName,
                         const paradox::FindingList& findings, const std::vector<Phase>& phases) {
    if (name.empty()) {
        return {};
    }
    const fs::path given(name);
    if (given.has_parent_path() || given.stem().empty() || given.filename() != given) {
        throw UtilityError(engine::err::InvalidArgument,
                           "an error table name takes no folder: " + name);
    }
    const fs::path privateDir = ErrorTableDir();
    if (privateDir.empty()) {
        return {};
    }
    std::string stem = given.stem().string();
    const DirHandle dir = DirHandle::Open(privateDir);
    // One writer of error tables per private directory at a time.
    if (::flock(dir.Fd(), LOCK_EX) != 0) {
        throw std::system_error(errno, std::generic_category(),
                                "cannot lock " + privateDir.string());
    }
    // An earlier one, whatever the case of its name, is replaced under the name it has.
    for (const std::string& existing : RegularFileNames(privateDir)) {
        if (engine::SameName(existing, stem + ".DB") && existing != stem + ".DB") {
            stem = fs::path(existing).stem().string();
        }
    }
    for (const std::string& existing : FamilyFileNames(privateDir, stem)) {
        if (paradox::UpperExtension(existing) == "DB" && !IsErrorTable(privateDir / existing)) {
            return {};
        }
    }
    const DirHandle staging = PrepareStaging(dir, stem);
    WriteFindingTable(staging.PinnedPath(), stem, tableName, findings, phases);
    SwapPlan plan;
    plan.table = stem + ".DB";
    PlanFamilyReplacement(plan, privateDir, staging.PinnedPath(), stem, false);
    for (const auto& [from, to] : plan.moves) {
        if (paradox::UpperExtension(to) == "DB") {
            plan.table = to; // an earlier one's extension may be in another case
        }
    }
    CommitSwap(dir, staging, stem, plan);
    return privateDir / plan.table;
}

fs::path WriteVerifyErrorTable(const TableLocation& table, const std::string& name,
                               const VerifyOutcome& outcome) {
    return WriteErrorTable(name, table.db.filename().string(), outcome.findings,
                           outcome.findingPhases);
}

} // namespace tutil
