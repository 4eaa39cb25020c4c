#include "cli/DatabaseSelection.h"

#include "platform/Database.h"
#include "platform/Session.h"

namespace cli {

SelectedDatabase SelectDatabase(platform::TSession& session, platform::TDatabase& database,
                                const RunTarget& target) {
    SelectedDatabase selected;
    database.SetConnected(false);
    {
        const platform::SessionScopeOnly sessionOnly(session);
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
