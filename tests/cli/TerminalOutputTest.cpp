// What the run commands show on a terminal and give other programs: the progress line drawn
// in place, progress as JSON lines, the folder and summary lines, -q and -v.

#include "CliChild.h"
#include "support/Corpus.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

namespace {

namespace fs = std::filesystem;
using clitest::ChildRun;
using clitest::SplitLines;
using Lines = std::vector<std::string>;

constexpr const char* kClearToEnd = "\x1b[K";

// Two tables of the corpus whose progress lines are longer than 40 columns.
fs::path LongNamedTables(const testsupport::TempDir& scratch) {
    const fs::path dir = scratch / "long";
    fs::create_directories(dir);
    for (const char* file : {"ZExtremityTestData.DB", "ZExtremityTestData.PX", "ZExtremityTest.DB",
                             "ZExtremityTest.PX", "ZExtremityTest.MB"}) {
        fs::copy_file(testsupport::CorpusDir() / "obiba-onyx" / file, dir / file);
    }
    return dir;
}

fs::path CopyOfSamples(const testsupport::TempDir& scratch) {
    return testsupport::CopyOfSamples(scratch / "samples");
}

clitest::Environment NoAliases(const testsupport::TempDir& scratch) {
    return {{"MENDRIX_ENGINE_CONFIG", (scratch / "none.ini").string()}};
}

// The lines a terminal shows after `text`: "\r" goes back to the line's start, ESC [K clears
// the rest of the line.
Lines Screen(const std::string& text) {
    Lines lines(1);
    std::size_t column = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::string& line = lines.back();
        if (text.compare(i, 3, kClearToEnd) == 0) {
            line.resize(std::min(line.size(), column));
            i += 2;
        } else if (text[i] == '\r') {
            column = 0;
        } else if (text[i] == '\n') {
            lines.emplace_back();
            column = 0;
        } else {
            line.resize(std::max(line.size(), column + 1), ' ');
            line[column++] = text[i];
        }
    }
    return lines;
}

// Every progress line drawn: what follows a "\r" up to the ESC [K that ends it.
Lines ProgressDraws(const std::string& text) {
    Lines draws;
    for (std::size_t at = text.find('\r'); at != std::string::npos; at = text.find('\r', at + 1)) {
        const std::size_t end = text.find(kClearToEnd, at);
        const std::string drawn = text.substr(at + 1, end - at - 1);
        if (end != std::string::npos && drawn.starts_with('[')) {
            draws.push_back(drawn);
        }
    }
    return draws;
}

TEST(CliTerminal, ProgressLineIsRedrawnInPlaceCutToTheWidthAndClearedAfterItsTable) {
    MENDRIX_NEEDS_CORPUS();
    testsupport::TempDir scratch;
    const fs::path dir = LongNamedTables(scratch);
    const ChildRun run =
        clitest::RunChildOnTerminal({"verify", dir.string()}, 40, NoAliases(scratch));
    EXPECT_EQ(run.exitCode, 0) << run.out;
    const Lines draws = ProgressDraws(run.out);
    std::map<std::string, int> drawsOfTable;
    for (const std::string& draw : draws) {
        EXPECT_LE(draw.size(), 40u) << draw;
        // Cut: the name is long enough that the percent never fits.
        EXPECT_EQ(draw.find('%'), std::string::npos) << draw;
        ++drawsOfTable[draw.substr(0, draw.find(']') + 1)];
    }
    EXPECT_GE(drawsOfTable["[1/2]"], 2) << run.out;
    EXPECT_GE(drawsOfTable["[2/2]"], 2) << run.out;
    const Lines screen = Screen(run.out);
    for (const std::string& line : screen) {
        EXPECT_FALSE(line.starts_with('[')) << "left on screen: " << line;
    }
    // The pane's lines start on lines of their own, nothing of the progress before them.
    for (const char* table : {"ZExtremityTest.DB", "ZExtremityTestData.DB"}) {
        EXPECT_NE(std::find(screen.begin(), screen.end(), table), screen.end()) << table;
    }

    const ChildRun wide =
        clitest::RunChildOnTerminal({"verify", dir.string()}, 200, NoAliases(scratch));
    const Lines wideDraws = ProgressDraws(wide.out);
    ASSERT_FALSE(wideDraws.empty()) << wide.out;
    EXPECT_EQ(wideDraws.front().rfind("[1/2] ZExtremityTest", 0), 0u) << wideDraws.front();
    EXPECT_NE(wideDraws.back().find("verify: "), std::string::npos) << wideDraws.back();
    EXPECT_EQ(wideDraws.back().back(), '%') << wideDraws.back();
}

TEST(CliTerminal, ProgressAsJsonLinesForOtherPrograms) {
    MENDRIX_NEEDS_CORPUS();
    testsupport::TempDir scratch;
    const fs::path dir = LongNamedTables(scratch);
    const ChildRun quiet = clitest::RunChild({"verify", dir.string()}, NoAliases(scratch));
    EXPECT_EQ(quiet.err, "") << "no progress where standard error is no terminal";
    const ChildRun run =
        clitest::RunChild({"verify", "--progress=json", dir.string()}, NoAliases(scratch));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const Lines lines = SplitLines(run.err);
    ASSERT_GE(lines.size(), 2u) << run.err;
    std::set<std::pair<std::string, int>> tables;
    const std::set<std::string> phases{"header", "indexes", "data", "rebuild"};
    std::string previous;
    for (const std::string& line : lines) {
        EXPECT_NE(line, previous) << "one line a step";
        previous = line;
        const auto step = nlohmann::json::parse(line);
        ASSERT_EQ(step.size(), 5u) << line;
        EXPECT_EQ(step.at("count"), 2) << line;
        EXPECT_GE(step.at("index"), 1) << line;
        EXPECT_LE(step.at("index"), 2) << line;
        EXPECT_TRUE(phases.contains(step.at("phase"))) << line;
        EXPECT_GE(step.at("percent"), 0) << line;
        EXPECT_LE(step.at("percent"), 100) << line;
        tables.emplace(step.at("table"), step.at("index"));
    }
    EXPECT_EQ(tables, (std::set<std::pair<std::string, int>>{{"ZExtremityTest.DB", 1},
                                                             {"ZExtremityTestData.DB", 2}}));
    // On a terminal too: JSON lines, no line drawn in place.
    const ChildRun onTerminal = clitest::RunChildOnTerminal(
        {"verify", "--progress", "json", dir.string()}, 80, NoAliases(scratch));
    EXPECT_TRUE(ProgressDraws(onTerminal.out).empty()) << onTerminal.out;
    EXPECT_NE(onTerminal.out.find("{\"table\":\"ZExtremityTest.DB\",\"index\":1,\"count\":2,"),
              std::string::npos)
        << onTerminal.out;
}

// The lines with their time stamps ("12/8/2026 2:50p") taken out.
Lines WithoutClock(Lines lines) {
    static const std::regex clock(R"( [0-9]{1,2}/[0-9]{1,2}/[0-9]{4} [0-9:]+[ap]?$)");
    for (std::string& line : lines) {
        line = std::regex_replace(line, clock, "");
    }
    return lines;
}

// The summary line the report's states make, of a run over `total` tables.
std::string SummaryOf(const nlohmann::json& tables, std::size_t total) {
    std::map<std::string, int> counts;
    for (const auto& table : tables) {
        ++counts[table.at("state").get<std::string>()];
    }
    std::string line = std::to_string(total) + (total == 1 ? " table: " : " tables: ") +
                       std::to_string(counts["healthy"]) + " healthy, " +
                       std::to_string(counts["repaired"]) + " repaired, " +
                       std::to_string(counts["problems"]) + " with problems";
    if (counts["failed"] != 0) {
        line += ", " + std::to_string(counts["failed"]) + " failed";
    }
    if (counts["skipped"] != 0) {
        line += ", " + std::to_string(counts["skipped"]) + " skipped";
    }
    if (total != tables.size()) {
        line += ", " + std::to_string(total - tables.size()) + " not begun";
    }
    return line;
}

TEST(CliTerminal, FolderAndSummaryLinesQuietAndVerbose) {
    testsupport::TempDir scratch;
    const fs::path dir = CopyOfSamples(scratch);
    const auto env = NoAliases(scratch);
    const auto report =
        nlohmann::json::parse(clitest::RunChild({"verify", "--json", dir.string()}, env).out);
    const auto& run = report.at("runs").at(0);
    const std::string summary = SummaryOf(run.at("tables"), run.at("tables").size());

    const ChildRun plain = clitest::RunChild({"verify", dir.string()}, env);
    const Lines lines = SplitLines(plain.out);
    ASSERT_EQ(lines.size(), run.at("lines").size() + 2) << plain.out;
    EXPECT_EQ(lines.front(), "Database: " + dir.string());
    EXPECT_EQ(lines.back(), summary);
    EXPECT_EQ(WithoutClock(Lines(lines.begin() + 1, lines.end() - 1)),
              WithoutClock(run.at("lines").get<Lines>()));
    // The run log keeps only the pane's lines.
    const std::string log =
        testsupport::ReadFileBytes(testsupport::BinDir() / "priv" / "1Mendrix.log");
    EXPECT_EQ(log.find("Database: " + dir.string()), std::string::npos);

    Lines problemLines{"Database: " + dir.string()};
    for (const auto& table : run.at("tables")) {
        if (table.at("state") != "healthy") {
            for (const auto& line : table.at("lines")) {
                problemLines.push_back(line);
            }
        }
    }
    ASSERT_GT(problemLines.size(), 1u) << "the samples hold damaged tables";
    problemLines.push_back(summary);
    const ChildRun quiet = clitest::RunChild({"verify", "-q", dir.string()}, env);
    EXPECT_EQ(quiet.exitCode, plain.exitCode);
    EXPECT_EQ(SplitLines(quiet.out), problemLines);

    const ChildRun verbose = clitest::RunChild({"verify", "-v", dir.string()}, env);
    const ChildRun details = clitest::RunChild({"verify", "--details", dir.string()}, env);
    EXPECT_NE(verbose.out.find("\n  ["), std::string::npos) << verbose.out;
    EXPECT_EQ(WithoutClock(SplitLines(verbose.out)), WithoutClock(SplitLines(details.out)));

    const ChildRun one = clitest::RunChild({"verify", (dir / "CUSTOMER.DB").string()}, env);
    EXPECT_EQ(SplitLines(one.out).back().rfind("1 table: ", 0), 0u) << one.out;

    // A table that ends a Check & Repair fails; one table at a time, the one after it is never
    // begun (with several at once, the tables in hand finish as on a Ctrl-C).
    const fs::path junk = scratch / "junk";
    fs::create_directories(junk);
    fs::copy_file(dir / "EVENTS.DB", junk / "EVENTS.DB");
    fs::copy_file(dir / "EVENTS.DB", junk / "ZZLAST.DB");
    // A damaged table, not a foreign file: a real table's first bytes, then junk.
    testsupport::WriteFileBytes(junk / "ZJUNK.DB",
                                testsupport::ReadFileBytes(dir / "EVENTS.DB").substr(0, 6) +
                                    std::string(594, 'z'));
    testsupport::WriteFileBytes(junk / "APP.DB", "SQLite format 3" + std::string(600, '\0'));
    const auto aborted =
        nlohmann::json::parse(clitest::RunChild({"check", "-j", "1", "--json", junk.string()}, env)
                                  .out)["runs"][0]["tables"];
    const std::string abortedSummary = SummaryOf(aborted, 4);
    EXPECT_NE(abortedSummary.find(", 1 failed, 1 skipped, 1 not begun"), std::string::npos)
        << abortedSummary;
    const ChildRun check = clitest::RunChild({"check", "-j", "1", junk.string()}, env);
    EXPECT_EQ(SplitLines(check.out).back(), abortedSummary) << check.out;
}

} // namespace
