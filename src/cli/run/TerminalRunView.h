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
// its end with every line, adds nothing more), progress goes to the terminal bars, and Ctrl-C
// is the Cancel button.
class TerminalRunView : public repair::RepairRunView {
public:
    struct Setup {
        repair::TRepairOperation operation = repair::roVerify;
        std::string aliasName;
        std::filesystem::path directory; // the database's directory
        std::vector<std::string> tables;
        bool printLines = true;
        bool details = false;    // each finding and work table under its table's verdict
        bool acceptLoss = false; // rebuilds keep what they can read (rebuild --accept-loss)
    };

    TerminalRunView(Setup setup, platform::TTable& table, RunLogFile& log, std::ostream& out,
                    TerminalProgress& progress);

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
    void VerdictWritten(const platform::TableResult& soFar) override;
    void TableFinished(const platform::TableResult& result) override;
    void RunCancelled() override;

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

    Setup setup_;
    platform::TTable& table_;
    RunLogFile& log_;
    std::ostream& out_;
    TerminalProgress& progress_;
    std::vector<std::string> pane_;
    std::vector<TableOutcome> outcomes_;
    TableOutcome current_; // what the batch program added to the table in progress
    int gaugePosition_ = 0;
    bool cancelled_ = false;
    bool interrupted_ = false;
};

} // namespace cli
