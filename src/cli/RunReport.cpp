#include "cli/RunReport.h"

#include "cli/ExitCodes.h"
#include "repair/DBRepair.h"

#include <nlohmann/json.hpp>

namespace cli {
namespace {

using Json = nlohmann::ordered_json;

TableState StateIn(const RunSummary& summary, const TableOutcome& outcome) {
    return summary.dryRun ? DryRunState(outcome) : StateOf(summary.operation, outcome);
}

Json PathOrNull(const std::filesystem::path& path) {
    return path.empty() ? Json(nullptr) : Json(path.string());
}

Json NumberOrNull(const std::optional<std::int64_t>& number) {
    return number ? Json(*number) : Json(nullptr);
}

Json TableJson(const RunSummary& summary, const TableOutcome& outcome) {
    Json table;
    table["name"] = outcome.name;
    table["state"] = StateName(StateIn(summary, outcome));
    table["verdict"] = outcome.verdict;
    if (!outcome.verdictWithoutErrorTable.empty()) {
        table["verdictWithoutErrorTable"] = outcome.verdictWithoutErrorTable;
    }
    if (summary.operation == repair::roCheckAndRepair) {
        table["openFailed"] = outcome.openFailed;
        table["failedIndex"] = outcome.openFailed ? Json(outcome.failedIndex) : Json(nullptr);
    }
    if (summary.dryRun) {
        table["wouldRebuild"] = outcome.openFailed;
    } else if (summary.operation != repair::roVerify) {
        table["rebuilt"] = outcome.verdict == repair::verdict::kRebuildSuccessful;
        table["backupTable"] = PathOrNull(outcome.workTables.backup);
        table["keyViolationTable"] = PathOrNull(outcome.workTables.keyViolations);
        table["problemTable"] = PathOrNull(outcome.workTables.problems);
    }
    if (summary.details) {
        Json findings = Json::array();
        for (const ErrorTableRow& row : outcome.findings) {
            findings.push_back({{"code", NumberOrNull(row.code)},
                                {"file", row.file},
                                {"block", NumberOrNull(row.block)},
                                {"record", NumberOrNull(row.record)},
                                {"text", row.text}});
        }
        table["findings"] = std::move(findings);
        if (!outcome.findingsProblem.empty()) {
            table["findingsProblem"] = outcome.findingsProblem;
        }
    }
    table["lines"] = outcome.lines;
    return table;
}

} // namespace

TableState DryRunState(const TableOutcome& outcome) {
    if (outcome.openFailed) {
        return TableState::ProblemsLeft;
    }
    return StateOf(repair::roVerify, outcome);
}

int ExitCodeOf(const RunSummary& summary) {
    int code = kExitHealthy;
    bool cancelled = !summary.skippedTargets.empty();
    for (const RunRecord& run : summary.runs) {
        if (!run.failure.empty()) {
            code |= kExitOperational;
        }
        cancelled = cancelled || run.cancelled;
        for (const TableOutcome& outcome : run.tables) {
            switch (StateIn(summary, outcome)) {
            case TableState::Healthy:
                break;
            case TableState::Repaired:
                code |= kExitRepaired;
                break;
            case TableState::ProblemsLeft:
                code |= kExitProblemsLeft;
                break;
            case TableState::Failed:
                code |= kExitOperational;
                break;
            }
        }
    }
    if (!summary.logProblem.empty()) {
        code |= kExitOperational;
    }
    return cancelled ? code | kExitCancelled : code;
}

std::string ReportJson(const RunSummary& summary, int exitCode) {
    Json report;
    report["command"] = summary.command;
    report["dryRun"] = summary.dryRun;
    report["exitCode"] = exitCode;
    report["cancelled"] = (exitCode & kExitCancelled) != 0;
    Json runs = Json::array();
    for (const RunRecord& run : summary.runs) {
        Json entry;
        entry["target"] = run.given;
        entry["alias"] = run.database.aliasName;
        entry["directory"] = run.database.directory.string();
        entry["completed"] = run.completed;
        entry["cancelled"] = run.cancelled;
        entry["failure"] = run.failure.empty() ? Json(nullptr) : Json(run.failure);
        Json tables = Json::array();
        for (const TableOutcome& outcome : run.tables) {
            tables.push_back(TableJson(summary, outcome));
        }
        entry["tables"] = std::move(tables);
        entry["lines"] = run.lines;
        runs.push_back(std::move(entry));
    }
    report["runs"] = std::move(runs);
    report["skippedTargets"] = summary.skippedTargets;
    report["runLog"] = summary.logFile.empty() ? Json(nullptr) : Json(summary.logFile);
    if (!summary.logProblem.empty()) {
        report["runLogProblem"] = summary.logProblem;
    }
    // Names and messages are 8-bit text of the tables' code pages; what is not UTF-8 is replaced.
    return report.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

} // namespace cli
