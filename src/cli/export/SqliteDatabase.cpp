#include "cli/export/SqliteDatabase.h"

#include <cmath>

namespace cli {
namespace {

[[noreturn]] void Fail(sqlite3* db, int code, const std::string& what) {
    throw SqliteError(what + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(code)),
                      db ? sqlite3_extended_errcode(db) : code);
}

} // namespace

SqliteStatement::SqliteStatement(sqlite3* db, const std::string& sql) : db_(db) {
    sqlite3_stmt* statement = nullptr;
    const int code =
        sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &statement, nullptr);
    statement_.reset(statement);
    if (code != SQLITE_OK) {
        Fail(db, code, "SQLite refused " + sql.substr(0, sql.find('(')));
    }
}

void SqliteStatement::Bind(int index, const ExportValue& value) {
    using Kind = ExportValue::Kind;
    sqlite3_stmt* s = statement_.get();
    int code = SQLITE_OK;
    switch (value.kind) {
    case Kind::Null:
        code = sqlite3_bind_null(s, index);
        break;
    case Kind::Text:
    case Kind::Decimal:
    case Kind::Temporal:
        code = sqlite3_bind_text64(s, index, value.text.data(), value.text.size(), SQLITE_STATIC,
                                   SQLITE_UTF8);
        break;
    case Kind::Integer:
        code = sqlite3_bind_int64(s, index, value.integer);
        break;
    case Kind::Real:
        // SQLite keeps no NaN (it would store NULL); the infinities it keeps.
        code = std::isnan(value.real) ? sqlite3_bind_text(s, index, "NaN", 3, SQLITE_STATIC)
                                      : sqlite3_bind_double(s, index, value.real);
        break;
    case Kind::Boolean:
        code = sqlite3_bind_int(s, index, value.boolean ? 1 : 0);
        break;
    case Kind::Binary:
        code = sqlite3_bind_blob64(s, index, value.bytes.data(), value.bytes.size(), SQLITE_STATIC);
        break;
    }
    if (code != SQLITE_OK) {
        Fail(db_, code, "cannot bind a value");
    }
}

void SqliteStatement::Run() {
    sqlite3_stmt* s = statement_.get();
    int code = SQLITE_ROW;
    while (code == SQLITE_ROW) {
        code = sqlite3_step(s);
    }
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    if (code != SQLITE_DONE) {
        Fail(db_, code, "cannot insert a record");
    }
}

SqliteDatabase::SqliteDatabase(const std::filesystem::path& file) {
    sqlite3* db = nullptr;
    const int code = sqlite3_open_v2(file.c_str(), &db,
                                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE |
                                         SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_EXRESCODE,
                                     nullptr);
    db_.reset(db);
    if (code != SQLITE_OK) {
        Fail(db, code, "cannot open " + file.string());
    }
}

void SqliteDatabase::Execute(const std::string& sql) {
    char* message = nullptr;
    const int code = sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &message);
    const std::string text = message ? message : sqlite3_errstr(code);
    sqlite3_free(message);
    if (code != SQLITE_OK) {
        throw SqliteError(text, sqlite3_extended_errcode(db_.get()));
    }
}

std::string SqliteDatabase::IntegrityCheck() {
    std::string answer;
    auto collect = [](void* out, int columns, char** values, char**) {
        auto& text = *static_cast<std::string*>(out);
        for (int i = 0; i < columns; ++i) {
            text += (text.empty() ? "" : "\n") + std::string(values[i] ? values[i] : "");
        }
        return 0;
    };
    char* message = nullptr;
    const int code = sqlite3_exec(db_.get(), "PRAGMA integrity_check;", collect, &answer, &message);
    const std::string text = message ? message : sqlite3_errstr(code);
    sqlite3_free(message);
    if (code != SQLITE_OK) {
        throw SqliteError("integrity check: " + text, code);
    }
    return answer;
}

void SqliteDatabase::Close() {
    const int code = sqlite3_close(db_.get());
    if (code != SQLITE_OK) {
        Fail(db_.get(), code, "cannot close the database");
    }
    (void)db_.release();
}

} // namespace cli
