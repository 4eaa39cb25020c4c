#include "cli/DatabaseSelection.h"

#include "platform/Database.h"
#include "platform/Session.h"

namespace cli {
namespace {

// Only the program's own session alias is changed: a configured alias of the name stays.
class SessionScopeOnly {
public:
    explicit SessionScopeOnly(platform::TSession& session) : session_(session) {
        session_.SetConfigMode(platform::cfmSession);
    }
    ~SessionScopeOnly() { session_.SetConfigMode(platform::cmAll); }
    SessionScopeOnly(const SessionScopeOnly&) = delete;
    SessionScopeOnly& operator=(const SessionScopeOnly&) = delete;

private:
    platform::TSession& session_;
};

} // namespace

SelectedDatabase SelectDatabase(platform::TSession& session, platform::TDatabase& database,
                                const RunTarget& target) {
    SelectedDatabase selected;
    database.SetConnected(false);
    {
        const SessionScopeOnly sessionOnly(session);
        if (session.IsAlias(kDirectoryAlias)) {
            session.DeleteAlias(kDirectoryAlias);
        }
        if (target.aliasName.empty()) {
            session.AddStandardAlias(kDirectoryAlias, target.directory.string(), "PARADOX");
        }
    }
    if (target.aliasName.empty()) {
        database.SetAliasName(kDirectoryAlias);
        selected.selectionLine = "DB path set to: " + target.directory.string();
    } else {
        database.SetAliasName(target.aliasName);
        selected.selectionLine = "Alias set to: " + target.aliasName;
    }
    database.SetConnected(true);
    selected.aliasName = database.AliasName();
    selected.directory = database.Directory();
    if (target.tableFiles) {
        selected.tables = target.tables;
    } else {
        session.GetTableNames(database.DatabaseName(), "*.*", true, false, selected.tables);
    }
    return selected;
}

} // namespace cli
