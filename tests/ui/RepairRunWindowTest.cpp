// The repair window's runs: the run buttons and Cancel wired to the run over all tables, the
// bars and gauge as a person sees them, and whole runs on the sample database and on damaged
// copies of real tables, checked line by line in the pane and the run log.
#include "UiTestSupport.h"
#include "repair/DBRepair.h"
#include "repair/RepairRun.h"
#include "support/Corpus.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QEvent>
#include <QProgressBar>
#include <array>
#include <cstdio>
#include <functional>
#include <gmock/gmock.h>
#include <regex>

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAreArray;
using uitest::UiTest;

const std::regex kStamp(R"(\d{1,2}/\d{1,2}/\d{4} \d{1,2}:\d{2}:\d{2}[ap])");

// In full: the pane shows a line wider than itself shortened.
std::vector<std::string> PaneLines(const ui::TfDBRepairInfo& w) {
    return w.PaneLines();
}

// A start or end line: the text followed directly by a time stamp.
bool IsStamped(const std::string& line, const std::string& text) {
    return line.rfind(text, 0) == 0 && std::regex_match(line.substr(text.size()), kStamp);
}

// The pane of a run, its start and end lines checked and taken off.
std::vector<std::string> RunBody(const ui::TfDBRepairInfo& w, repair::TRepairOperation op) {
    auto lines = PaneLines(w);
    EXPECT_GE(lines.size(), 2u);
    if (lines.size() < 2) {
        return lines;
    }
    EXPECT_TRUE(IsStamped(lines.front(), repair::StartText(op))) << lines.front();
    EXPECT_TRUE(IsStamped(lines.back(), repair::EndText(op))) << lines.back();
    return {lines.begin() + 1, lines.end() - 1};
}

std::vector<std::string> Tail(const std::vector<std::string>& log, std::size_t n) {
    return {log.end() - static_cast<long>(std::min(n, log.size())), log.end()};
}

using qttest::PumpingToolkit;

// Counts the paint events a widget receives and the largest value it was painted with.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QProgressBar& bar) : bar_(bar) { bar_.installEventFilter(this); }
    ~PaintWatch() override { bar_.removeEventFilter(this); }
    int paints = 0;
    int largestPainted = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
            largestPainted = std::max(largestPainted, bar_.value());
        }
        return false;
    }

private:
    QProgressBar& bar_;
};

class RepairRuns : public UiTest {
protected:
    // Every sample table in a directory of its own, offered as the only alias.
    fs::path UseSamples() {
        const fs::path dir = TableDir(
            "samples", {"CUSTOMER", "EVENTS", "INVOICE", "ORDERS", "PARTS", "PHOTOS", "STOCK"});
        WriteConfig("[SAMPLES]\nPATH=" + dir.string() + "\n");
        return dir;
    }
};

// ---- The sample database, end to end --------------------------------------------------------

TEST_F(RepairRuns, SampleDatabaseIsRepairedThenCleanAndVerifyAndRebuildAllWork) {
    const fs::path dir = UseSamples();
    auto& w = OpenWindow();
    const std::vector<std::string> tables = {"CUSTOMER.DB", "EVENTS.DB", "INVOICE.DB", "ORDERS.DB",
                                             "PARTS.DB",    "PHOTOS.DB", "STOCK.DB"};
    ASSERT_EQ(w.TableList, tables);
    const std::size_t selectionLines = frame->log.size();

    w.btnChkAndRepair.click();
    std::vector<std::string> expected;
    for (const auto& table : tables) {
        expected.push_back("Checking " + table);
        if (table == "INVOICE.DB" || table == "STOCK.DB") {
            // INVOICE's index is out of date; STOCK's structure does not match its file, so
            // no index of it was made active, and none of the table before is named.
            expected.push_back(std::string("Error opening table with index: ") +
                               (table == "INVOICE.DB" ? "Primary" : "") + " ...attempting repair.");
            expected.push_back(repair::verdict::kRebuildSuccessful);
            expected.push_back("Table opened successfully after repair.");
        }
    }
    EXPECT_THAT(RunBody(w, repair::roCheckAndRepair), ElementsAreArray(expected));
    EXPECT_THAT(Tail(frame->log, frame->log.size() - selectionLines),
                ElementsAreArray(PaneLines(w)))
        << "every pane line reaches the run log, in order";
    EXPECT_TRUE(toolkit.boxes.empty());
    for (const auto& table : tables) {
        const std::string stem = table.substr(0, table.size() - 3);
        EXPECT_EQ(fs::exists(dir / (stem + "-BACKUP.DB")),
                  table == "INVOICE.DB" || table == "STOCK.DB")
            << table;
    }
    EXPECT_EQ(w.GaugeMaximum(), 7);
    EXPECT_EQ(w.ggWorking.maximum(), 7);
    EXPECT_EQ(w.ggWorking.value(), 7);
    EXPECT_FALSE(w.btnCancel.isEnabled());
    EXPECT_FALSE(w.RunInProgress());
    EXPECT_TRUE(w.btnChkAndRepair.isEnabled());

    w.btnChkAndRepair.click();
    expected.clear();
    for (const auto& table : tables) {
        expected.push_back("Checking " + table);
    }
    EXPECT_THAT(RunBody(w, repair::roCheckAndRepair), ElementsAreArray(expected))
        << "nothing left to repair";

    w.btnVerify.click();
    expected.clear();
    for (const auto& table : tables) {
        expected.push_back(table);
        expected.push_back(repair::verdict::kNoErrors);
    }
    EXPECT_THAT(RunBody(w, repair::roVerify), ElementsAreArray(expected));
    EXPECT_EQ(w.pbData.value(), 100) << "the last table's bars stay as it left them";

    w.btnRebuild.click();
    expected.clear();
    for (const auto& table : tables) {
        expected.push_back(table);
        expected.push_back(repair::verdict::kRebuildSuccessful);
    }
    EXPECT_THAT(RunBody(w, repair::roRebuild), ElementsAreArray(expected));
    EXPECT_EQ(w.pbRebuild.value(), 100);
    EXPECT_THAT(Tail(frame->log, PaneLines(w).size()), ElementsAreArray(PaneLines(w)));
    EXPECT_TRUE(toolkit.boxes.empty());
}

// The batch program runs the very same routine: on an equal copy of the same tables it prints
// the window's pane lines, time stamps aside.
TEST_F(RepairRuns, BatchProgramPrintsTheWindowsLines) {
    const fs::path cli = testsupport::BinDir() / "mendrix-cli";
    ASSERT_TRUE(fs::exists(cli));
    const std::vector<std::string> stems = {"CUSTOMER", "INVOICE", "STOCK"};
    const fs::path windowDir = TableDir("window", stems);
    const fs::path cliDir = TableDir("batch", stems);
    WriteConfig("[SAMPLES]\nPATH=" + windowDir.string() + "\n");
    auto& w = OpenWindow();
    const auto unstamped = [](std::vector<std::string> lines) {
        for (auto& line : lines) {
            line = std::regex_replace(line, kStamp, "<time>");
        }
        return lines;
    };
    for (const auto& [button, command] :
         {std::pair{&w.btnVerify, "verify"}, std::pair{&w.btnChkAndRepair, "check"},
          std::pair{&w.btnRebuild, "rebuild"}}) {
        SCOPED_TRACE(command);
        button->click();
        const std::string line = "XDG_STATE_HOME='" + Dir("state").string() + "' '" + cli.string() +
                                 "' " + command + " '" + cliDir.string() + "' 2>/dev/null";
        std::FILE* pipe = ::popen(line.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::vector<std::string> printed;
        std::array<char, 4096> buffer{};
        while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) {
            std::string text = buffer.data();
            if (!text.empty() && text.back() == '\n') {
                text.pop_back();
            }
            printed.push_back(text);
        }
        ::pclose(pipe);
        // The batch program's own lines come first (the folder) and last (the summary).
        ASSERT_GE(printed.size(), 4u + stems.size());
        EXPECT_EQ(printed.front(), "Database: " + cliDir.string());
        EXPECT_EQ(unstamped({printed.begin() + 1, printed.end() - 1}), unstamped(PaneLines(w)));
    }
}

// ---- Damaged copies of real tables -------------------------------------------------------------

void CopyFamily(const fs::path& from, const std::string& stem, const fs::path& to) {
    for (const auto& entry : fs::directory_iterator(from)) {
        if (entry.path().stem() == stem) {
            fs::copy_file(entry.path(), to / entry.path().filename());
        }
    }
}

void EditBytes(const fs::path& file, const std::function<void(std::string&)>& edit) {
    std::string bytes = testsupport::ReadFileBytes(file);
    edit(bytes);
    testsupport::WriteFileBytes(file, bytes);
}

std::uint16_t U16(const std::string& b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b.at(at)) |
                                      (static_cast<unsigned char>(b.at(at + 1)) << 8));
}

void PutU16(std::string& b, std::size_t at, std::uint16_t v) {
    b.at(at) = static_cast<char>(v & 0xFF);
    b.at(at + 1) = static_cast<char>(v >> 8);
}

TEST_F(RepairRuns, DamagedRealTablesAreFoundRebuiltAndOpenAgain) {
    MENDRIX_NEEDS_CORPUS();
    const fs::path dir = Dir("real");
    fs::create_directories(dir);
    const fs::path corpus = testsupport::CorpusDir();
    CopyFamily(corpus / "MedilinkPS-Paradox-Reader", "zakazky", dir);
    CopyFamily(corpus / "celebithil-Rparadox", "country", dir);
    CopyFamily(corpus / "leonhad-paradoxdriver" / "db", "ORDERS", dir);
    const auto recordCount = [&dir](const char* name) {
        return U16(testsupport::ReadFileBytes(dir / name), 6);
    };
    const std::uint16_t zakazkyRecords = recordCount("zakazky.db");
    const std::uint16_t ordersRecords = recordCount("ORDERS.DB");
    // The header counts three records more than the blocks hold.
    EditBytes(dir / "zakazky.db",
              [](std::string& b) { PutU16(b, 6, static_cast<std::uint16_t>(U16(b, 6) + 3)); });
    // The first data block's link to the next one is broken: the chain ends after it.
    EditBytes(dir / "ORDERS.DB", [](std::string& b) {
        const std::size_t headerSize = U16(b, 2);
        PutU16(b, headerSize, 0);
    });
    WriteConfig("[REAL]\nPATH=" + dir.string() + "\n");
    auto& w = OpenWindow();
    ASSERT_EQ(w.TableList.size(), 3u);

    w.btnChkAndRepair.click();
    std::vector<std::string> expected;
    for (const auto& table : w.TableList) {
        expected.push_back("Checking " + table);
        // country.db is keyed but came without its primary index; the damage of the two
        // others is found while their structure is read.
        expected.push_back(std::string("Error opening table with index: ") +
                           (table == "country.db" ? "Primary" : "") + " ...attempting repair.");
        expected.push_back(repair::verdict::kRebuildSuccessful);
        expected.push_back("Table opened successfully after repair.");
    }
    EXPECT_THAT(RunBody(w, repair::roCheckAndRepair), ElementsAreArray(expected));
    EXPECT_THAT(Tail(frame->log, PaneLines(w).size()), ElementsAreArray(PaneLines(w)));
    EXPECT_TRUE(toolkit.boxes.empty());
    EXPECT_TRUE(fs::exists(dir / "zakazky-BACKUP.db"));
    EXPECT_TRUE(fs::exists(dir / "country.px")); // a new member takes the case of country.db
    EXPECT_TRUE(fs::exists(dir / "ORDERS-BACKUP.DB"));
    EXPECT_EQ(recordCount("zakazky.db"), zakazkyRecords);
    EXPECT_EQ(recordCount("ORDERS.DB"), ordersRecords) << "no record lost with the broken link";

    w.btnChkAndRepair.click();
    expected.clear();
    for (const auto& table : w.TableList) {
        expected.push_back("Checking " + table);
    }
    EXPECT_THAT(RunBody(w, repair::roCheckAndRepair), ElementsAreArray(expected))
        << "the rebuilt tables open with every index";
}

// ---- The window's part in a run ----------------------------------------------------------------

TEST_F(RepairRuns, CancelButtonStopsBeforeTheNextTableAndNoSecondRunStartsInside) {
    UseSamples();
    auto& w = OpenWindow();
    PumpingToolkit pumping;
    const platform::ScopedToolkit installed(pumping);
    bool cancelWasEnabled = false;
    std::string paneAtSecondClick;
    pumping.onPump = [&](int pump) {
        // Pump 1 comes before the engine exists; pump 2 inside the first table.
        if (pump == 2) {
            cancelWasEnabled = w.btnCancel.isEnabled();
            w.btnCancel.click();
            EXPECT_FALSE(w.btnCancel.isEnabled()) << "disabled when clicked";
            EXPECT_TRUE(w.CancelRequested);
            paneAtSecondClick = w.memoMessage.toPlainText().toStdString();
            w.btnVerifyClick();
            w.btnRebuild.click();
            EXPECT_EQ(w.memoMessage.toPlainText().toStdString(), paneAtSecondClick)
                << "no run starts under a run";
        }
    };
    w.btnVerify.click();
    EXPECT_TRUE(cancelWasEnabled);
    EXPECT_THAT(RunBody(w, repair::roVerify),
                ElementsAreArray(std::vector<std::string>{"CUSTOMER.DB", repair::verdict::kNoErrors,
                                                          "Operation cancelled by user."}))
        << "the click came inside the first table: it is finished, the next is not begun";
    EXPECT_EQ(w.ggWorking.value(), 1);
    EXPECT_FALSE(w.CancelRequested);
    EXPECT_FALSE(w.btnCancel.isEnabled());
}

TEST_F(RepairRuns, BarsPaintWhileTheLibraryWorksAndAnEmptyListLeavesTheGaugeStill) {
    UseSamples();
    auto& w = OpenWindow();
    uitest::DrainEvents();
    {
        // The recording toolkit lets no Qt event through: only an immediate paint shows.
        PaintWatch data(w.pbData);
        PaintWatch rebuild(w.pbRebuild);
        w.btnRebuild.click();
        EXPECT_GT(data.paints, 0);
        EXPECT_EQ(data.largestPainted, 100);
        EXPECT_GT(rebuild.paints, 0);
        EXPECT_GT(rebuild.largestPainted, 0);
    }

    w.rbPath.click();
    const fs::path empty = Dir("empty");
    fs::create_directories(empty);
    w.ePath.setText(QString::fromStdString(empty.string()));
    w.SelectPath();
    ASSERT_TRUE(w.TableList.empty());
    w.btnChkAndRepair.click();
    EXPECT_EQ(w.GaugeMaximum(), 0);
    EXPECT_EQ(w.ggWorking.value(), 0);
    EXPECT_GT(w.ggWorking.maximum(), w.ggWorking.minimum()) << "no busy animation";
    EXPECT_EQ(RunBody(w, repair::roCheckAndRepair).size(), 0u);
}

TEST_F(RepairRuns, TableInUseEndsRebuildAllWithWarningThenErrorBoxAfterTheLog) {
    const fs::path dir = UseSamples();
    testsupport::WriteFileBytes(dir / "PARADOX.LCK", "held by another program");
    auto& w = OpenWindow();
    const std::size_t selectionLines = frame->log.size();
    w.btnRebuild.click();

    const auto lines = PaneLines(w);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(IsStamped(lines[0], repair::StartText(repair::roRebuild))) << lines[0];
    EXPECT_EQ(lines[1], "CUSTOMER.DB");
    EXPECT_EQ(lines[2], "Aborted due to error");
    EXPECT_THAT(Tail(frame->log, frame->log.size() - selectionLines), ElementsAreArray(lines));
    ASSERT_EQ(toolkit.boxes.size(), 2u);
    EXPECT_EQ(toolkit.boxes[0].icon, platform::BoxIcon::Warning);
    EXPECT_EQ(toolkit.boxes[0].caption, "Warning");
    EXPECT_EQ(toolkit.boxes[0].text, repair::CannotRebuildWarning("CUSTOMER.DB"));
    EXPECT_EQ(toolkit.boxes[1].icon, platform::BoxIcon::Error);
    EXPECT_EQ(toolkit.boxes[1].caption, "Mendrix");
    EXPECT_THAT(toolkit.boxes[1].text, ::testing::HasSubstr("PARADOX.LCK"))
        << "the engine's own description of the fault";
    EXPECT_EQ(lines[3], toolkit.boxes[1].text) << "the pane and the log say why, as the box does";
    EXPECT_FALSE(w.RunInProgress());
    EXPECT_FALSE(w.btnCancel.isEnabled());
    EXPECT_FALSE(w.CancelRequested);
    EXPECT_FALSE(w.TempTable.Active());
    EXPECT_TRUE(fs::exists(dir / "CUSTOMER.DB"));
    EXPECT_FALSE(fs::exists(dir / "CUSTOMER-BACKUP.DB")) << "the table in use is left alone";

    // The window stays usable: once the other program is gone, the same run completes.
    fs::remove(dir / "PARADOX.LCK");
    w.btnRebuild.click();
    EXPECT_EQ(RunBody(w, repair::roRebuild).size(), 14u);
    EXPECT_EQ(toolkit.boxes.size(), 2u);
}

} // namespace
