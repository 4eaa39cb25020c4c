#pragma once

#include "cli/ErrorTableRows.h"
#include "cli/WorkTableLookup.h"
#include "repair/RepairRun.h"
#include "repair/RunLog.h"

#include <filesystem>
#include <iosfwd>
#include <set>
#include <string>
#include <vector>

namespace cli {

class TerminalProgress;

// What a run did with one table, as its pane lines tell it.
struct TableOutcome {
    std::string name;
    std::vector<std::string> lines; // the pane lines written while this table was worked on
    std::string verdict;            // the last verdict; empty when none was reached
    // Verify in a directory where the utility could not write its error table: the verdict
    // of a verify that writes none.
    std::string verdictWithoutErrorTable;
    bool openFailed = false;             // Check & Repair: the open test failed
    std::string failedIndex;             // ... with this index
    bool reopened = false;               // ... and the table opened after the repair
    bool aborted = false;                // the run ended on this table with "Aborted due to error"
    WorkTablePaths workTables;           // where a successful rebuild left its work tables
    std::vector<ErrorTableRow> findings; // verify with details: the error table's rows
    std::string findingsProblem;         // why they could not be read
};

enum class TableState { Healthy, Repaired, ProblemsLeft, Failed };

// The state of a table after a run of `operation`.
TableState StateOf(repair::TRepairOperation operation, const TableOutcome& outcome);
const char* StateName(TableState state);

// The run's window on a terminal: each pane line goes to `out` as it is appended (unless the
// report is printed instead), the run log gets the lines through AppendLogLine, progress goes
// to the terminal bars, and Ctrl-C is the Cancel button.
class TerminalRunView : public repair::RepairRunView {
public:
    struct Setup {
        repair::TRepairOperation operation = repair::roVerify;
        std::string aliasName;
        std::filesystem::path directory; // the database's directory
        std::vector<std::string> tables;
        std::string privateDirectory; // the session's, where the utility may leave error tables
        bool printLines = true;
        bool details = false;    // each finding and work table under its table's verdict
        bool acceptLoss = false; // rebuilds keep what they can read (rebuild --accept-loss)
    };

    TerminalRunView(Setup setup, platform::TTable& table, repair::RunLog& log, std::ostream& out,
                    TerminalProgress& progress);

    void AppendMessage(const std::string& line) override;
    void ClearMessages() override;
    std::vector<std::string> MessageLines() const override { return pane_; }
    void SetGaugeMax(int maximum) override { gaugeMax_ = maximum; }
    void SetGaugePosition(int position) override;
    int GaugePosition() const override { return gaugePosition_; }
    void ResetProgressBars() override {}
    bool CancelRequested() const override;
    void ClearCancelRequest() override;
    void SetCancelEnabled(bool) override {}
    void ProcessPendingEvents() override {}
    const std::vector<std::string>& TableList() const override { return setup_.tables; }
    platform::TTable& TempTable() override { return table_; }
    std::string DatabaseAliasName() const override { return setup_.aliasName; }
    void AppendLogLine(const std::string& line) override { log_.Append(line); }
    bool AcceptsLoss() const override { return setup_.acceptLoss; }

    const Setup& Settings() const { return setup_; }
    // The tables begun, in run order.
    const std::vector<TableOutcome>& Outcomes() const { return outcomes_; }
    // The run stopped at a Ctrl-C ("Operation cancelled by user.").
    bool Cancelled() const { return cancelled_; }
    // A Ctrl-C came during the run, acted on or not.
    bool Interrupted() const { return interrupted_; }

private:
    void NoteTableLine(TableOutcome& outcome, const std::string& line);
    void VerifyReadOnly(TableOutcome& outcome);
    void PrintDetails(const TableOutcome& outcome);

    Setup setup_;
    platform::TTable& table_;
    repair::RunLog& log_;
    std::ostream& out_;
    TerminalProgress& progress_;
    std::vector<std::string> pane_;
    std::vector<TableOutcome> outcomes_;
    std::set<std::string> tablesBefore_; // .DB names before the table's rebuild
    int gaugeMax_ = 0;
    int gaugePosition_ = 0;
    bool cancelled_ = false;
    bool interrupted_ = false;
};

} // namespace cli
