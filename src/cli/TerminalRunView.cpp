#include "cli/TerminalRunView.h"

#include "cli/CancelSignal.h"
#include "cli/QuietVerify.h"
#include "cli/TerminalProgress.h"
#include "paradox/Finding.h"
#include "platform/DBErrors.h"
#include "repair/DBRepair.h"

#include <ostream>

namespace cli {
namespace {

constexpr const char* kCancelledLine = "Operation cancelled by user.";
constexpr const char* kAbortedLine = "Aborted due to error";
constexpr const char* kReopenedLine = "Table opened successfully after repair.";
constexpr const char* kOpenFailedPrefix = "Error opening table with index: ";
constexpr const char* kOpenFailedSuffix = " ...attempting repair.";
constexpr const char* kVerifyErrorTable = "VERIFY.DB";

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool IsVerdict(const std::string& line) {
    return StartsWith(line, "Verification ") || StartsWith(line, "Rebuild was ");
}

bool RebuildSucceeded(const std::string& verdict) {
    return verdict == repair::verdict::kRebuildSuccessful;
}

} // namespace

TableState StateOf(repair::TRepairOperation operation, const TableOutcome& outcome) {
    if (outcome.aborted) {
        return TableState::Failed;
    }
    switch (operation) {
    case repair::roVerify: {
        const std::string& verdict = outcome.verdictWithoutErrorTable.empty()
                                         ? outcome.verdict
                                         : outcome.verdictWithoutErrorTable;
        if (verdict == repair::verdict::kNoErrors) {
            return TableState::Healthy;
        }
        return StartsWith(verdict, repair::verdict::kVerifyUnsuccessful) || verdict.empty()
                   ? TableState::Failed
                   : TableState::ProblemsLeft;
    }
    case repair::roRebuild:
        return RebuildSucceeded(outcome.verdict) ? TableState::Repaired : TableState::ProblemsLeft;
    case repair::roCheckAndRepair:
        break;
    }
    if (!outcome.openFailed) {
        return TableState::Healthy;
    }
    return outcome.reopened && RebuildSucceeded(outcome.verdict) ? TableState::Repaired
                                                                 : TableState::ProblemsLeft;
}

const char* StateName(TableState state) {
    switch (state) {
    case TableState::Healthy:
        return "healthy";
    case TableState::Repaired:
        return "repaired";
    case TableState::ProblemsLeft:
        return "problems left";
    case TableState::Failed:
        break;
    }
    return "failed";
}

TerminalRunView::TerminalRunView(Setup setup, platform::TTable& table, repair::RunLog& log,
                                 std::ostream& out, TerminalProgress& progress)
    : setup_(std::move(setup)), table_(table), log_(log), out_(out), progress_(progress) {}

void TerminalRunView::ClearMessages() {
    pane_.clear();
}

void TerminalRunView::SetGaugePosition(int position) {
    gaugePosition_ = position;
    if (position < 1 || static_cast<std::size_t>(position) > setup_.tables.size()) {
        return;
    }
    TableOutcome outcome;
    outcome.name = setup_.tables[static_cast<std::size_t>(position) - 1];
    outcomes_.push_back(std::move(outcome));
    progress_.BeginTable(outcomes_.back().name);
    if (setup_.operation == repair::roRebuild) {
        tablesBefore_ = TableFileNames(setup_.directory);
    }
}

bool TerminalRunView::CancelRequested() const {
    return InterruptRequested();
}

void TerminalRunView::ClearCancelRequest() {
    if (InterruptRequested()) {
        interrupted_ = true;
        ClearInterruptRequest();
    }
}

void TerminalRunView::AppendMessage(const std::string& line) {
    pane_.push_back(line);
    if (setup_.printLines) {
        progress_.EndLine();
        out_ << line << '\n' << std::flush;
    }
    if (line == kCancelledLine) {
        cancelled_ = true;
        interrupted_ = true;
        return;
    }
    if (StartsWith(line, repair::EndText(setup_.operation))) {
        return; // the run's end line, after the last table
    }
    if (!outcomes_.empty() && static_cast<std::size_t>(gaugePosition_) == outcomes_.size()) {
        NoteTableLine(outcomes_.back(), line);
    }
}

void TerminalRunView::NoteTableLine(TableOutcome& outcome, const std::string& line) {
    outcome.lines.push_back(line);
    if (line == kAbortedLine) {
        outcome.aborted = true;
        return;
    }
    if (line == kReopenedLine) {
        outcome.reopened = true;
        return;
    }
    if (StartsWith(line, kOpenFailedPrefix)) {
        outcome.openFailed = true;
        std::string index = line.substr(std::string(kOpenFailedPrefix).size());
        const std::string suffix = kOpenFailedSuffix;
        if (index.size() >= suffix.size() &&
            index.compare(index.size() - suffix.size(), suffix.size(), suffix) == 0) {
            index.resize(index.size() - suffix.size());
        }
        outcome.failedIndex = index;
        tablesBefore_ = TableFileNames(setup_.directory);
        return;
    }
    if (!IsVerdict(line) && !line.empty()) { // an empty line is the verdict of none
        return;
    }
    outcome.verdict = line;
    progress_.EndLine();
    if (setup_.operation == repair::roVerify &&
        StartsWith(line, repair::verdict::kVerifyUnsuccessful) &&
        !DirectoryWritable(setup_.directory.string())) {
        VerifyReadOnly(outcome);
    } else if (setup_.operation == repair::roVerify && setup_.details &&
               !StartsWith(line, repair::verdict::kVerifyUnsuccessful)) {
        // A verify that failed wrote no error table; an older one must not speak for it. One
        // that found nothing writes none and removes the one before.
        const auto errorTable = ErrorTableIn(setup_.privateDirectory, kVerifyErrorTable);
        if (setup_.privateDirectory.empty()) {
            outcome.findingsProblem = "no private directory, so the verify kept no error table";
        } else if (!errorTable.empty()) {
            outcome.findings =
                ReadErrorTableRows(errorTable, outcome.name, outcome.findingsProblem);
        }
    }
    if (RebuildSucceeded(line)) {
        outcome.workTables = FindWorkTables(setup_.directory, outcome.name, tablesBefore_);
    }
    if (setup_.printLines && setup_.details) {
        PrintDetails(outcome);
    }
}

void TerminalRunView::VerifyReadOnly(TableOutcome& outcome) {
    try {
        outcome.verdictWithoutErrorTable =
            VerifyWithoutErrorTable(repair::JoinTablePath(setup_.directory.string(), outcome.name));
    } catch (const platform::EDBEngineError& e) {
        outcome.verdictWithoutErrorTable =
            std::string(repair::verdict::kVerifyUnsuccessful) + " " + e.what();
    }
    outcome.findingsProblem =
        "the error table cannot be written in the read-only directory " + setup_.directory.string();
    if (setup_.printLines) {
        out_ << "  (" << outcome.findingsProblem
             << "; without it: " << outcome.verdictWithoutErrorTable << ")\n"
             << std::flush;
    }
}

void TerminalRunView::PrintDetails(const TableOutcome& outcome) {
    for (const ErrorTableRow& row : outcome.findings) {
        out_ << "  [" << (row.code ? std::to_string(*row.code) : std::string("?")) << "] "
             << paradox::FindingLine(row.file, row.block.value_or(-1), row.record.value_or(-1),
                                     row.text)
             << '\n';
    }
    if (!outcome.findingsProblem.empty() && outcome.verdictWithoutErrorTable.empty()) {
        out_ << "  (" << outcome.findingsProblem << ")\n";
    }
    const std::pair<const char*, const std::filesystem::path*> work[] = {
        {"backup", &outcome.workTables.backup},
        {"key violations", &outcome.workTables.keyViolations},
        {"problems", &outcome.workTables.problems}};
    for (const auto& [label, path] : work) {
        if (!path->empty()) {
            out_ << "  " << label << ": " << path->string() << '\n';
        }
    }
    out_ << std::flush;
}

} // namespace cli
