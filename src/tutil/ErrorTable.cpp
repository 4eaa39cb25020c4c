#include "tutil/ErrorTable.h"

#include "engine/Config.h"
#include "engine/ErrorCodes.h"
#include "engine/RebuildFiles.h"
#include "engine/Session.h"
#include "paradox/Family.h"
#include "paradox/RecordBuilder.h"
#include "paradox/TableReader.h"
#include "paradox/TableWriter.h"
#include "tutil/DurableFile.h"
#include "tutil/UtilityError.h"
#include "tutil/WorkTables.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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
                       const std::vector<Phase>& phases, const paradox::WriteOptions& options) {
    const paradox::TableSchema schema = ErrorTableSchema();
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
    const std::string stem = given.stem().string();
    const DirHandle dir = DirHandle::Open(privateDir);
    // One writer of error tables per private directory at a time.
    if (::flock(dir.Fd(), LOCK_EX) != 0) {
        throw std::system_error(errno, std::generic_category(),
                                "cannot lock " + privateDir.string());
    }
    // An earlier one, whatever the case of its name, is replaced under the name it has. The
    // folder is listed only when the name is not there as given (a run writes it per table).
    std::string target = stem + ".DB";
    struct stat info {};
    bool exists = ::fstatat(dir.Fd(), target.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
    if (findings.All().empty()) {
        // Nothing to report: no table is written, and an earlier one of ours goes, so that it
        // cannot speak for this verify. A run over many healthy tables then writes nothing.
        if (exists && IsErrorTable(privateDir / target)) {
            RemoveFileIfPresent(dir, target);
        }
        return {};
    }
    if (!exists) {
        for (const std::string& existing : RegularFileNames(privateDir)) {
            if (engine::SameName(existing, target)) {
                target = existing;
                exists = true;
                break;
            }
        }
    }
    if (exists && !IsErrorTable(privateDir / target)) {
        return {};
    }
    // Scratch: it replaces the earlier one in a single rename, but is never flushed to disk
    // (a crash may lose it; the next verify writes it again). A run over many tables then
    // costs no flush per table.
    const std::string temporary = engine::ErrorTableTempStem(stem);
    RemoveFileIfPresent(dir, temporary + ".DB");
    paradox::WriteOptions options;
    options.sync = false;
    WriteFindingTable(privateDir, temporary, tableName, findings, phases, options);
    RenameFile(dir, temporary + ".DB", dir, target);
    return privateDir / target;
}

fs::path WriteVerifyErrorTable(const TableLocation& table, const std::string& name,
                               const VerifyOutcome& outcome) {
    return WriteErrorTable(name, table.db.filename().string(), outcome.findings,
                           outcome.findingPhases);
}

} // namespace tutil
