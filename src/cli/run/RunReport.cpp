#include "cli/run/RunReport.h"

#include "cli/ExitCodes.h"
#include "repair/DBRepair.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <nlohmann/json.hpp>
#include <utility>
#include <variant>

namespace cli {
namespace {

using Json = nlohmann::ordered_json;

TableState StateIn(const RunSummary& summary, const TableOutcome& outcome) {
    return summary.dryRun ? DryRunState(outcome) : StateOf(summary.operation, outcome);
}

Json PathOrNull(const std::filesystem::path& path) {
    return path.empty() ? Json(nullptr) : Json(path.string());
}

// A place in a file: null when the finding is not about one.
Json PlaceOrNull(std::int64_t place) {
    return place >= 0 ? Json(place) : Json(nullptr);
}

// The values a finding's detail names, for programs; words from outside the problem table
// (a system error, a cap's count) are in "text" only.
Json DetailJson(const paradox::FindingDetail& detail) {
    Json values = Json::object();
    if (detail.kind == paradox::DetailKind::Text ||
        detail.kind == paradox::DetailKind::MoreNotListed) {
        return values;
    }
    for (const auto& [name, value] :
         {std::pair{"found", &detail.found}, std::pair{"expected", &detail.expected},
          std::pair{"field", &detail.field}, std::pair{"block", &detail.block},
          std::pair{"entry", &detail.entry}}) {
        if (const auto* number = std::get_if<std::int64_t>(value)) {
            values[name] = *number;
        } else if (const auto* words = std::get_if<std::string>(value)) {
            values[name] = *words;
        }
    }
    return values;
}

Json FindingsJson(const platform::TableResult& result) {
    Json findings = Json::array();
    for (const paradox::Finding& finding : result.verify.findings) {
        Json entry = {{"code", static_cast<int>(finding.code)},
                      {"file", finding.file},
                      {"block", PlaceOrNull(finding.block)},
                      {"record", PlaceOrNull(finding.record)},
                      {"text", finding.Text()}};
        if (Json detail = DetailJson(finding.detail); !detail.empty()) {
            entry["detail"] = std::move(detail);
        }
        findings.push_back(std::move(entry));
    }
    return findings;
}

Json TableJson(const RunSummary& summary, const TableOutcome& outcome) {
    const platform::TableResult& result = outcome.result;
    Json table;
    table["name"] = result.name;
    table["state"] = StateName(StateIn(summary, outcome));
    table["verdict"] = result.verdict;
    if (outcome.verifyWithoutErrorTable) {
        table["verdictWithoutErrorTable"] = outcome.verifyWithoutErrorTable->verdict;
    }
    if (summary.operation == repair::roCheckAndRepair) {
        table["openFailed"] = result.open.failed;
        table["failedIndex"] = result.open.failed ? Json(result.open.index) : Json(nullptr);
    }
    if (summary.dryRun) {
        table["wouldRebuild"] = result.open.failed;
    } else if (summary.operation != repair::roVerify) {
        const bool rebuilt = Rebuilt(result);
        table["rebuilt"] = rebuilt;
        const auto written = [&](const std::filesystem::path& path) {
            return PathOrNull(rebuilt ? path : std::filesystem::path());
        };
        table["backupTable"] = written(result.rebuild.backupTable);
        table["keyViolationTable"] = written(result.rebuild.keyViolationTable);
        table["problemTable"] = written(result.rebuild.problemTable);
    }
    if (summary.details) {
        table["findings"] = FindingsJson(result);
        if (!outcome.findingsProblem.empty()) {
            table["findingsProblem"] = outcome.findingsProblem;
        }
    }
    table["lines"] = result.lines;
    return table;
}

} // namespace

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
            case TableState::Skipped:
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

std::string WouldRebuildLine(const std::vector<RunRecord>& runs) {
    std::string names;
    for (const RunRecord& run : runs) {
        for (const TableOutcome& outcome : run.tables) {
            if (outcome.result.open.failed) {
                names += (names.empty() ? "" : ", ") +
                         (run.database.directory / outcome.result.name).string();
            }
        }
    }
    return names.empty() ? "Check & Repair would rebuild no table."
                         : "Check & Repair would rebuild: " + names;
}

std::string RunSummaryLine(const RunSummary& summary, const RunRecord& run) {
    std::array<std::size_t, 5> counts{}; // by TableState
    for (const TableOutcome& outcome : run.tables) {
        ++counts.at(static_cast<std::size_t>(StateIn(summary, outcome)));
    }
    const std::size_t total = std::max(run.database.tables.size(), run.tables.size());
    const std::size_t notBegun = total - run.tables.size();
    std::string line =
        std::to_string(total) + (total == 1 ? " table: " : " tables: ") +
        std::to_string(counts[static_cast<std::size_t>(TableState::Healthy)]) + " healthy, " +
        std::to_string(counts[static_cast<std::size_t>(TableState::Repaired)]) + " repaired, " +
        std::to_string(counts[static_cast<std::size_t>(TableState::ProblemsLeft)]) +
        " with problems";
    if (const std::size_t failed = counts[static_cast<std::size_t>(TableState::Failed)];
        failed != 0) {
        line += ", " + std::to_string(failed) + " failed";
    }
    if (const std::size_t foreign = counts[static_cast<std::size_t>(TableState::Skipped)];
        foreign != 0) {
        line += ", " + std::to_string(foreign) + " skipped";
    }
    if (notBegun != 0) {
        line += ", " + std::to_string(notBegun) + " not begun";
    }
    return line;
}

std::string NotRunLine(const std::vector<std::string>& skippedTargets) {
    std::string line = "Cancelled before: ";
    for (std::size_t i = 0; i < skippedTargets.size(); ++i) {
        line += (i == 0 ? "" : ", ") + skippedTargets[i];
    }
    return line;
}

std::string IsoTime(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    std::array<char, 32> text{};
    const std::size_t size = std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%SZ", &utc);
    return std::string(text.data(), size);
}

std::string ReportJson(const RunSummary& summary, int exitCode) {
    Json report;
    report["formatVersion"] = kReportFormatVersion;
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
        entry["startTime"] = IsoTime(run.started);
        entry["endTime"] = IsoTime(run.ended);
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
