// What a run learned, as the repair window shows it: lines too long for the message pane
// shortened there but kept whole for the run log, and the findings window a double click on a
// table's lines opens.
#include "UiTestSupport.h"
#include "repair/RepairRun.h"
#include "support/TempDir.h"
#include "ui/FindingsWindow.h"

#include <QAbstractTextDocumentLayout>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QUrl>
#include <algorithm>
#include <gmock/gmock.h>
#include <random>

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using uitest::UiTest;

// A table file of random bytes but for a table's file type and block size: its verdict is far
// wider than the pane (wholly random bytes are another program's file, which a run skips).
void WriteRandomTable(const fs::path& file) {
    std::mt19937 random(586);
    std::string bytes(4096, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(random() & 0xFF);
    }
    bytes[4] = 0; // a keyed .DB
    bytes[5] = 2; // 2 KB blocks
    testsupport::WriteFileBytes(file, bytes);
}

int LineOf(const ui::TfDBRepairInfo& w, const std::string& text) {
    const auto& lines = w.PaneLines();
    const auto found = std::find(lines.begin(), lines.end(), text);
    return found == lines.end() ? -1 : static_cast<int>(found - lines.begin());
}

void DoubleClickLine(ui::TfDBRepairInfo& w, int line) {
    const QTextCursor cursor(w.memoMessage.document()->findBlockByNumber(line));
    w.memoMessage.setTextCursor(cursor);
    w.memoMessage.ensureCursorVisible();
    QTest::mouseDClick(w.memoMessage.viewport(), Qt::LeftButton, {},
                       w.memoMessage.cursorRect(cursor).center());
}

std::string Str(const QString& text) {
    return text.toStdString();
}

using RunFindings = UiTest;

TEST_F(RunFindings, LongLinesShowShortenedOnOneLineAndReachTheLogWhole) {
    const fs::path dir = Dir("random");
    fs::create_directories(dir);
    WriteRandomTable(dir / "X.DB");
    WriteConfig("[RANDOM]\nPATH=" + dir.string() + "\n");
    auto& w = OpenWindow();
    ASSERT_EQ(w.TableList, std::vector<std::string>{"X.DB"});
    const std::size_t before = frame->log.size();

    w.btnRebuild.click();
    const std::vector<std::string> full = w.PaneLines();
    ASSERT_EQ(full.size(), 4u) << "start, table, verdict, end";
    EXPECT_EQ(
        std::vector<std::string>(frame->log.begin() + static_cast<long>(before), frame->log.end()),
        full)
        << "the run log gets every line whole";
    QTextDocument& document = *w.memoMessage.document();
    ASSERT_EQ(document.blockCount(), 4);
    int shortened = 0;
    for (int i = 0; i < document.blockCount(); ++i) {
        const QTextBlock block = document.findBlockByNumber(i);
        document.documentLayout()->blockBoundingRect(block); // lays the block out
        EXPECT_EQ(block.layout()->lineCount(), 1) << full[static_cast<std::size_t>(i)];
        const std::string shown = Str(block.text());
        if (shown != full[static_cast<std::size_t>(i)]) {
            ++shortened;
            ASSERT_TRUE(block.text().endsWith(QChar(0x2026))) << shown;
            EXPECT_EQ(full[static_cast<std::size_t>(i)].rfind(Str(block.text().chopped(1)), 0), 0u)
                << shown;
        }
    }
    EXPECT_EQ(shortened, 1) << "only the verdict is wider than the pane: " << full[2];
}

TEST_F(RunFindings, DoubleClickOnATablesLinesOpensItsFindingsRebuildAndFolder) {
    const fs::path dir = TableDir("mixed", {"INVOICE"});
    WriteRandomTable(dir / "X.DB");
    WriteConfig("[MIXED]\nPATH=" + dir.string() + "\n");
    auto& w = OpenWindow();
    ASSERT_EQ(w.TableList, (std::vector<std::string>{"INVOICE.DB", "X.DB"}));

    w.btnVerify.click();
    DoubleClickLine(w, 0);
    EXPECT_EQ(w.findChild<ui::FindingsWindow*>(), nullptr) << "the start line is no table's";
    const int verdictLine = LineOf(w, "X.DB") + 1;
    ASSERT_GT(verdictLine, 0);
    DoubleClickLine(w, verdictLine);
    auto* findings = w.findChild<ui::FindingsWindow*>();
    ASSERT_NE(findings, nullptr);
    EXPECT_TRUE(findings->isVisible());
    EXPECT_EQ(findings->lbTables.count(), 2);
    EXPECT_EQ(findings->lbTables.currentRow(), 1);
    EXPECT_EQ(Str(findings->memoLines.toPlainText()),
              "X.DB\n" + w.PaneLines()[static_cast<std::size_t>(verdictLine)])
        << "the verdict in full";
    const auto& found = w.PaneRun()->at(1).result.verify.findings;
    ASSERT_FALSE(found.empty());
    ASSERT_EQ(findings->tvFindings.topLevelItemCount(), static_cast<int>(found.size()));
    for (std::size_t i = 0; i < found.size(); ++i) {
        const QTreeWidgetItem& row = *findings->tvFindings.topLevelItem(static_cast<int>(i));
        EXPECT_EQ(row.text(ui::FindingsWindow::colCode).toUInt(),
                  static_cast<unsigned>(found[i].code));
        EXPECT_EQ(Str(row.text(ui::FindingsWindow::colFile)), found[i].file);
        EXPECT_EQ(row.text(ui::FindingsWindow::colBlock).isEmpty(), found[i].block < 0);
        EXPECT_THAT(Str(row.text(ui::FindingsWindow::colText)), HasSubstr(found[i].Text()));
    }
    EXPECT_THAT(Str(findings->lblRebuild.text()), HasSubstr("Rebuild: not run."));
    findings->close();
    uitest::DrainEvents();
    EXPECT_EQ(w.findChild<ui::FindingsWindow*>(), nullptr) << "freed when closed";

    w.btnRebuild.click();
    DoubleClickLine(w, LineOf(w, "INVOICE.DB"));
    findings = w.findChild<ui::FindingsWindow*>();
    ASSERT_NE(findings, nullptr);
    EXPECT_EQ(findings->lbTables.currentRow(), 0);
    const platform::RebuildResult& rebuild = w.PaneRun()->at(0).result.rebuild;
    ASSERT_TRUE(rebuild.replaced);
    EXPECT_THAT(Str(findings->lblRebuild.text()),
                HasSubstr("Records read " + std::to_string(rebuild.recordsRead) + ", written " +
                          std::to_string(rebuild.recordsWritten)));
    ASSERT_FALSE(rebuild.backupTable.empty());
    EXPECT_TRUE(fs::exists(rebuild.backupTable));
    EXPECT_THAT(Str(findings->lblFiles.text()),
                HasSubstr("Backup: " + rebuild.backupTable.string()));
    ASSERT_TRUE(findings->btnOpenFolder.isEnabled());
    findings->btnOpenFolder.click();
    ASSERT_EQ(toolkit.openedUrls.size(), 1u);
    const QUrl opened(QString::fromStdString(toolkit.openedUrls[0]));
    EXPECT_EQ(Str(opened.scheme()), "file");
    EXPECT_TRUE(fs::equivalent(Str(opened.toLocalFile()), dir)) << toolkit.openedUrls[0];

    fs::remove_all(dir);
    findings->ShowTable(0);
    EXPECT_FALSE(findings->btnOpenFolder.isEnabled()) << "no folder to open";
    EXPECT_TRUE(toolkit.boxes.empty());
}

} // namespace
