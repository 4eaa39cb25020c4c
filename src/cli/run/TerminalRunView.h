#pragma once

#include "cli/run/RunLogFile.h"
#include "platform/TableResult.h"
#include "repair/RepairRun.h"

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace cli {

class TerminalProgress;

// What a run did with one table: the run's result for it, and what the batch program added.
struct TableOutcome {
    platform::TableResult result;
    // Verify in a directory where the utility could not write its error table: a verify that
    // writes none, and why the run's own failed.
    std::optional<platform::VerifyResult> verifyWithoutErrorTable;
    std::string findingsProblem;
};

enum class TableState { Healthy, Repaired, ProblemsLeft, Failed, Skipped };

// The state of a table after a run of `operation`.
TableState StateOf(repair::TRepairOperation operation, const TableOutcome& outcome);
// A table's state in a dry check: a table that fails the open test would be rebuilt (its
// problems are left), otherwise the verify's verdict decides.
TableState DryRunState(const TableOutcome& outcome);
// One word: "healthy", "repaired", "problems", "failed".
const char* StateName(TableState state);

// Whether the table's rebuild replaced it with everything kept.
bool Rebuilt(const platform::TableResult& result);

// The work tables a successful rebuild wrote, labelled ("backup", "key violations",
// "problems"); none for a table not rebuilt, or a kind it did not write.
std::vector<std::pair<const char*, std::filesystem::path>>
WorkTablesOf(const platform::TableResult& result);

// The findings of the table's verify, one line each in the shape "  [code] FILE block B
// record R: text".
std::vector<std::string> FindingLines(const platform::TableResult& result);

// The run's window on a terminal: each pane line goes to `out` as it is appended (unless the
// report is printed instead) and to the run log at once (AppendLogLine, which the run calls at
// its end with every line, adds nothing more), progress goes to the progress line, and Ctrl-C
// is the Cancel button. Quiet, only the lines of the tables that are not healthy are printed,
// each table's once it has ended, and a cancellation's.
class TerminalRunView : public repair::RepairRunView {
public:
    struct Setup {
        repair::TRepairOperation operation = repair::roVerify;
        std::string aliasName;
        std::filesystem::path directory; // the database's directory
        std::vector<std::string> tables;
        bool dryRun = false;
        bool printLines = true;
        bool quiet = false;      // only the lines of tables that are not healthy
        bool details = false;    // each finding and work table under its table's verdict
        bool acceptLoss = false; // rebuilds keep what they can read (rebuild --accept-loss)
        unsigned jobs = 1;       // tables worked on at once
    };

    TerminalRunView(Setup setup, platform::TTable& table, RunLogFile& log, std::ostream& out,
                    TerminalProgress& progress);

    // The line before the run's own, naming its folder: printed first, and quiet before the
    // first table printed. In the pane too when `inPane` (the dry run's first line).
    void Heading(const std::string& line, bool inPane);

    void AppendMessage(const std::string& line) override;
    void ClearMessages() override;
    std::vector<std::string> MessageLines() const override { return pane_; }
    void SetGaugeMax(int) override {}
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
    void AppendLogLine(const std::string&) override {}
    bool AcceptsLoss() const override { return setup_.acceptLoss; }
    void TableBegun(std::size_t index) override;
    void VerdictWritten(const platform::TableResult& soFar) override;
    void TableFinished(const platform::TableResult& result) override;
    void RunCancelled() override;
    unsigned TablesAtOnce() const override { return setup_.jobs; }

    const Setup& Settings() const { return setup_; }
    // The tables begun, in run order.
    const std::vector<TableOutcome>& Outcomes() const { return outcomes_; }
    // The run stopped at a Ctrl-C ("Operation cancelled by user.").
    bool Cancelled() const { return cancelled_; }
    // A Ctrl-C came during the run, acted on or not.
    bool Interrupted() const { return interrupted_; }

private:
    void VerifyReadOnly(const platform::TableResult& soFar);
    void PrintDetails(const platform::TableResult& soFar);
    // A line of output: printed, or quiet held until its table's state is known.
    void Print(const std::string& line);
    void PrintNow(const std::string& line);
    void PrintHeading();

    Setup setup_;
    platform::TTable& table_;
    RunLogFile& log_;
    std::ostream& out_;
    TerminalProgress& progress_;
    std::vector<std::string> pane_;
    std::vector<TableOutcome> outcomes_;
    TableOutcome current_; // what the batch program added to the table in progress
    std::string heading_;  // not printed yet
    // Quiet: the lines since the last table ended, shown when the table is not healthy or the
    // run is cancelled.
    std::vector<std::string> held_;
    int gaugePosition_ = 0;
    std::size_t lastBegun_ = 0; // the table a cancel's message names, while it is in hand
    bool cancelled_ = false;
    bool interrupted_ = false;
};

} // namespace cli
