#include "cli/export/SqliteExport.h"

#include "posix/Durability.h"
#include "posix/FileDescriptor.h"

#include <fcntl.h>
#include <unistd.h>

namespace cli {
namespace {

constexpr std::uint64_t kProgressEvery = 4096;

std::string InsertSql(const SqlTableNames& names) {
    std::string sql = "INSERT INTO " + QuotedName(SqlDialect::Sqlite, names.table) + " VALUES (";
    for (std::size_t i = 0; i < names.columns.size(); ++i) {
        sql += i == 0 ? "?" : ", ?";
    }
    return sql + ")";
}

} // namespace

SqliteExport::SqliteExport(std::filesystem::path target)
    : target_(std::move(target)),
      temporary_(target_.string() + ".partial-" + std::to_string(::getpid())) {
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
    db_.emplace(temporary_);
    // Nothing reads the file before it is complete, and a file cut short by a crash is never
    // renamed into place: no journal, no waiting for the disk until the end.
    db_->Execute("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; PRAGMA encoding = 'UTF-8';");
}

SqliteExport::~SqliteExport() {
    if (!committed_) {
        db_.reset();
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
    }
}

SqliteExport::TableResult SqliteExport::Add(ExportTable& table, const SqlTableNames& names,
                                            const paradox::TableSchema& schema,
                                            const std::function<void(std::uint64_t)>& progress) {
    TableResult result;
    db_->Execute(CreateTableSql(SqlDialect::Sqlite, names, schema));
    db_->Execute("BEGIN");
    std::optional<SqliteStatement> insert(db_->Prepare(InsertSql(names)));
    result.counts = table.ForEachRecord([&](std::uint64_t number, const auto& values) {
        for (int attempt = 0;; ++attempt) {
            for (std::size_t i = 0; i < values.size() && i < names.columns.size(); ++i) {
                insert->Bind(static_cast<int>(i + 1), values[i]);
            }
            try {
                insert->Run();
                break;
            } catch (const SqliteError& e) {
                if (!e.ConstraintFailed() || !result.keyHeld || attempt != 0) {
                    throw;
                }
                // A key value repeats (damage, or a collation SQLite does not share): every
                // record is kept, in a table whose key is a plain index.
                insert.reset();
                DropPrimaryKey(names, schema);
                result.keyHeld = false;
                insert.emplace(db_->Prepare(InsertSql(names)));
            }
        }
        if (number % kProgressEvery == 0) {
            progress(number);
        }
    });
    insert.reset();
    for (const auto& statement :
         CreateIndexSql(SqlDialect::Sqlite, names, schema, !result.keyHeld)) {
        db_->Execute(statement);
    }
    db_->Execute("COMMIT");
    return result;
}

void SqliteExport::DropPrimaryKey(const SqlTableNames& names, const paradox::TableSchema& schema) {
    SqlTableNames loose = names;
    loose.table = names.table + "#nokey";
    const std::string table = QuotedName(SqlDialect::Sqlite, names.table);
    const std::string copy = QuotedName(SqlDialect::Sqlite, loose.table);
    db_->Execute(CreateTableSql(SqlDialect::Sqlite, loose, schema, false));
    db_->Execute("INSERT INTO " + copy + " SELECT * FROM " + table + "; DROP TABLE " + table +
                 "; ALTER TABLE " + copy + " RENAME TO " + table + ";");
}

std::string SqliteExport::Commit() {
    const std::string answer = db_->IntegrityCheck();
    if (answer != "ok") {
        return answer;
    }
    db_->Close();
    db_.reset();
    posix::Sync(posix::Open(temporary_, O_RDONLY).Get(), temporary_);
    posix::RenameAt(AT_FDCWD, temporary_, AT_FDCWD, target_, target_);
    const std::filesystem::path folder = target_.has_parent_path() ? target_.parent_path() : ".";
    posix::SyncDirectory(posix::OpenDirectory(folder).Get(), folder);
    committed_ = true;
    return answer;
}

} // namespace cli
