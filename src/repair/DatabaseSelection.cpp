#include "repair/DatabaseSelection.h"

#include "platform/Database.h"
#include "platform/Session.h"
#include "platform/Toolkit.h"

namespace repair {
namespace {

constexpr const char* kParadoxDriver = "PARADOX";

void ListTables(const platform::TSession& session, const platform::TDatabase& database,
                const DatabaseChoice& choice, SelectedDatabase& selected) {
    if (choice.onlyTables) {
        selected.tables = *choice.onlyTables;
    } else {
        session.GetTableNames(database.DatabaseName(), "*.*", true, false, selected.tables);
    }
}

} // namespace

SelectedDatabase SelectDatabase(platform::TSession& session, platform::TDatabase& database,
                                const DatabaseChoice& choice) {
    SelectedDatabase selected;
    const bool byAlias = !choice.byDirectory;
    database.SetConnected(false);
    {
        // Only the session's own alias: a configured alias of the same name stays.
        const platform::SessionScopeOnly sessionOnly(session);
        if (session.IsAlias(kDirectoryAlias)) {
            session.DeleteAlias(kDirectoryAlias);
            if (!byAlias) {
                platform::CurrentToolkit().ProcessPendingEvents();
            }
        }
        if (!byAlias) {
            session.AddStandardAlias(kDirectoryAlias, choice.directory.string(), kParadoxDriver);
        }
    }
    // The tables of an alias are listed before it is connected, those of a directory after.
    if (byAlias) {
        database.SetAliasName(choice.aliasName);
        ListTables(session, database, choice, selected);
        database.SetConnected(true);
    } else {
        database.SetAliasName(kDirectoryAlias);
        database.SetConnected(true);
        ListTables(session, database, choice, selected);
    }
    selected.aliasName = database.AliasName();
    selected.directory = database.Directory();
    selected.selectionLine = byAlias ? "Alias set to: " + selected.aliasName
                                     : "DB path set to: " + selected.directory.string();
    return selected;
}

} // namespace repair
