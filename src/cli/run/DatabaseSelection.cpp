#include "cli/run/DatabaseSelection.h"

namespace cli {

SelectedDatabase SelectDatabase(platform::TSession& session, platform::TDatabase& database,
                                const RunTarget& target) {
    repair::DatabaseChoice choice;
    choice.byDirectory = target.aliasName.empty();
    choice.aliasName = target.aliasName;
    choice.directory = target.directory;
    if (target.tableFiles) {
        choice.onlyTables = target.tables;
    }
    return repair::SelectDatabase(session, database, choice);
}

} // namespace cli
