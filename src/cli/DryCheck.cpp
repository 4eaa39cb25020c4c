#include "cli/DryCheck.h"

#include "cli/CancelSignal.h"
#include "cli/QuietVerify.h"
#include "cli/TerminalProgress.h"
#include "platform/DBErrors.h"
#include "platform/StructureRebuild.h"
#include "platform/Table.h"
#include "repair/DBRepair.h"
#include "repair/RepairRun.h"

#include <ostream>

namespace cli {
namespace {

// The open test of a Check & Repair: empty when the table opened with each of its indexes,
// else what failed.
std::string OpenTest(platform::TTable& table, const std::string& tableName,
                     std::string& failedIndex) {
    try {
        table.Close();
        table.SetTableName(tableName);
        repair::OpenOnEveryIndex(table);
    } catch (const platform::EDBEngineError& e) {
        failedIndex = table.IndexName();
        table.Close();
        return e.what();
    }
    return {};
}

} // namespace

void DryCheck(platform::TTable& table, const SelectedDatabase& database, RunRecord& record,
              std::ostream& out, TerminalProgress& progress, bool printLines) {
    auto say = [&](const std::string& line) {
        record.lines.push_back(line);
        if (!record.tables.empty()) {
            record.tables.back().lines.push_back(line);
        }
        if (printLines) {
            progress.EndLine();
            out << line << '\n' << std::flush;
        }
    };
    say("Check & Repair dry run: " + database.directory.string());
    for (const std::string& name : database.tables) {
        if (InterruptRequested()) {
            ClearInterruptRequest();
            record.cancelled = true;
            say("Operation cancelled by user.");
            break;
        }
        progress.BeginTable(name);
        TableOutcome outcome;
        outcome.name = name;
        record.tables.push_back(outcome);
        TableOutcome& current = record.tables.back();
        say("Checking " + name);
        const std::string openFailure = OpenTest(table, name, current.failedIndex);
        current.openFailed = !openFailure.empty();
        current.verdict =
            VerifyWithoutErrorTable(repair::JoinTablePath(database.directory.string(), name));
        progress.EndLine();
        if (current.openFailed) {
            // A table whose structure does not read fails before any index is tried.
            const std::string where = current.failedIndex.empty()
                                          ? std::string("Does not open")
                                          : "Does not open with index: " + current.failedIndex;
            say(where + " (" + openFailure + "); Check & Repair would rebuild it.");
        }
        say(current.verdict);
        if (current.verdict == repair::verdict::kRebuildManually) {
            // Where a rebuild could take the lost fields from, before anything is written.
            for (const std::string& line : platform::StructureSourceLines(
                     repair::JoinTablePath(database.directory.string(), name))) {
                say("  " + line);
            }
        }
    }
    record.completed = !record.cancelled;
}

std::string WouldRebuildLine(const std::vector<RunRecord>& runs) {
    std::string names;
    for (const RunRecord& run : runs) {
        for (const TableOutcome& outcome : run.tables) {
            if (outcome.openFailed) {
                names +=
                    (names.empty() ? "" : ", ") + (run.database.directory / outcome.name).string();
            }
        }
    }
    return names.empty() ? "Check & Repair would rebuild no table."
                         : "Check & Repair would rebuild: " + names;
}

} // namespace cli
