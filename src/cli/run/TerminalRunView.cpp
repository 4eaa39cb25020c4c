#include "cli/run/TerminalRunView.h"

#include "cli/run/CancelSignal.h"
#include "cli/run/QuietVerify.h"
#include "cli/run/TerminalProgress.h"
#include "engine/ErrorCodes.h"
#include "paradox/Finding.h"
#include "platform/DBErrors.h"
#include "repair/DBRepair.h"

#include <ostream>

namespace cli {
namespace {

bool VerifyCallFailed(const platform::VerifyResult& verify) {
    return verify.ran && !verify.status.has_value();
}

// A verify's state: no errors, problems found (statuses 1 to 4), or no verdict at all.
TableState VerifyState(const platform::VerifyResult& verify) {
    constexpr std::uint32_t kHighestStatus = 4;
    if (!verify.status || *verify.status > kHighestStatus) {
        return TableState::Failed; // the call failed, or the table was never verified
    }
    return *verify.status == 0 ? TableState::Healthy : TableState::ProblemsLeft;
}

// A rebuild stopped by something outside the table: another process holds it, or its folder
// cannot be written. The table was not replaced; these are not problems of the table.
bool RebuildCouldNotStart(const platform::RebuildResult& rebuild) {
    namespace err = engine::err;
    if (!rebuild.ran || rebuild.replaced) {
        return false;
    }
    for (std::uint16_t code : {err::TableInUse, err::TableActive, err::NoPermission,
                               err::ReadOnlyFileSystem, err::DiskFull}) {
        if (rebuild.result == code) {
            return true;
        }
    }
    return false;
}

} // namespace

bool Rebuilt(const platform::TableResult& result) {
    return result.rebuild.ran && result.rebuild.result == 0;
}

TableState StateOf(repair::TRepairOperation operation, const TableOutcome& outcome) {
    const platform::TableResult& result = outcome.result;
    if (result.foreign) {
        return TableState::Skipped;
    }
    if (result.aborted) {
        return TableState::Failed;
    }
    switch (operation) {
    case repair::roVerify:
        return VerifyState(outcome.verifyWithoutErrorTable ? *outcome.verifyWithoutErrorTable
                                                           : result.verify);
    case repair::roRebuild:
        if (RebuildCouldNotStart(result.rebuild)) {
            return TableState::Failed;
        }
        return Rebuilt(result) ? TableState::Repaired : TableState::ProblemsLeft;
    case repair::roCheckAndRepair:
        break;
    }
    if (!result.open.failed) {
        return TableState::Healthy;
    }
    return result.reopened && Rebuilt(result) ? TableState::Repaired : TableState::ProblemsLeft;
}

TableState DryRunState(const TableOutcome& outcome) {
    if (outcome.result.foreign) {
        return TableState::Skipped;
    }
    if (outcome.result.open.failed) {
        return TableState::ProblemsLeft;
    }
    return StateOf(repair::roVerify, outcome);
}

const char* StateName(TableState state) {
    switch (state) {
    case TableState::Healthy:
        return "healthy";
    case TableState::Repaired:
        return "repaired";
    case TableState::ProblemsLeft:
        return "problems";
    case TableState::Skipped:
        return "skipped";
    case TableState::Failed:
        break;
    }
    return "failed";
}

std::vector<std::pair<const char*, std::filesystem::path>>
WorkTablesOf(const platform::TableResult& result) {
    std::vector<std::pair<const char*, std::filesystem::path>> tables;
    if (!Rebuilt(result)) {
        return tables;
    }
    for (const auto& [label, path] :
         {std::pair{"backup", &result.rebuild.backupTable},
          std::pair{"key violations", &result.rebuild.keyViolationTable},
          std::pair{"problems", &result.rebuild.problemTable}}) {
        if (!path->empty()) {
            tables.emplace_back(label, *path);
        }
    }
    return tables;
}

std::vector<std::string> FindingLines(const platform::TableResult& result) {
    std::vector<std::string> lines;
    for (const paradox::Finding& finding : result.verify.findings) {
        lines.push_back(
            "  [" + std::to_string(static_cast<int>(finding.code)) + "] " +
            paradox::FindingLine(finding.file, finding.block, finding.record, finding.Text()));
    }
    return lines;
}

TerminalRunView::TerminalRunView(Setup setup, platform::TTable& table, RunLogFile& log,
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
    current_ = TableOutcome{};
    held_.clear();
    const std::string& table = setup_.tables[static_cast<std::size_t>(position) - 1];
    progress_.BeginTable(table, static_cast<std::size_t>(position), setup_.tables.size());
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

void TerminalRunView::RunCancelled() {
    cancelled_ = true;
    interrupted_ = true;
    // Quiet, the line that says so is shown all the same.
    for (const std::string& line : held_) {
        PrintNow(line);
    }
    held_.clear();
}

void TerminalRunView::Heading(const std::string& line, bool inPane) {
    heading_ = line;
    if (inPane) {
        pane_.push_back(line);
    }
    if (setup_.printLines && !setup_.quiet) {
        PrintHeading();
        out_ << std::flush;
    }
}

void TerminalRunView::AppendMessage(const std::string& line) {
    pane_.push_back(line);
    log_.Append(line);
    Print(line);
}

void TerminalRunView::Print(const std::string& line) {
    if (!setup_.printLines) {
        return;
    }
    if (setup_.quiet) {
        held_.push_back(line);
    } else {
        PrintNow(line);
    }
}

void TerminalRunView::PrintHeading() {
    progress_.ClearLine();
    if (!heading_.empty()) {
        out_ << heading_ << '\n';
        heading_.clear();
    }
}

void TerminalRunView::PrintNow(const std::string& line) {
    PrintHeading();
    out_ << line << '\n' << std::flush;
}

void TerminalRunView::VerdictWritten(const platform::TableResult& soFar) {
    if (setup_.operation == repair::roVerify && VerifyCallFailed(soFar.verify) &&
        !DirectoryWritable(setup_.directory.string())) {
        VerifyReadOnly(soFar);
    }
    if (setup_.printLines && setup_.details) {
        PrintDetails(soFar);
    }
}

void TerminalRunView::TableBegun(std::size_t index) {
    // With several tables in hand, the run stops after the last one begun.
    lastBegun_ = index;
    SetTableInHand(setup_.tables.at(index));
}

void TerminalRunView::TableFinished(const platform::TableResult& result) {
    progress_.EndTable();
    if (static_cast<std::size_t>(gaugePosition_) == lastBegun_ + 1) {
        SetTableInHand("");
    }
    current_.result = result;
    const TableState state =
        setup_.dryRun ? DryRunState(current_) : StateOf(setup_.operation, current_);
    if (state != TableState::Healthy) {
        for (const std::string& line : held_) {
            PrintNow(line);
        }
    }
    held_.clear();
    outcomes_.push_back(std::move(current_));
    current_ = TableOutcome{};
}

void TerminalRunView::VerifyReadOnly(const platform::TableResult& soFar) {
    platform::VerifyResult& verify = current_.verifyWithoutErrorTable.emplace();
    try {
        verify =
            VerifyWithoutErrorTable(repair::JoinTablePath(setup_.directory.string(), soFar.name));
    } catch (const platform::EDBEngineError& e) {
        verify.verdict = std::string(repair::verdict::kVerifyUnsuccessful) + " " + e.what();
    }
    current_.findingsProblem =
        "the error table cannot be written in the read-only directory " + setup_.directory.string();
    Print("  (" + current_.findingsProblem + "; without it: " + verify.verdict + ")");
}

void TerminalRunView::PrintDetails(const platform::TableResult& soFar) {
    for (const std::string& line : FindingLines(soFar)) {
        Print(line);
    }
    for (const auto& [label, path] : WorkTablesOf(soFar)) {
        Print("  " + std::string(label) + ": " + path.string());
    }
}

} // namespace cli
