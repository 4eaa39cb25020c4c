#include "ui/FindingsWindow.h"

#include "platform/Toolkit.h"
#include "ui/Fonts.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QUrl>
#include <QVBoxLayout>
#include <string>

namespace ui {
namespace {

QString Text(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

QString NumberOrBlank(std::int64_t value) {
    return value < 0 ? QString() : QString::number(value);
}

QString OpenTestSummary(const platform::OpenTestResult& open) {
    if (!open.tried) {
        return QStringLiteral("Open test: not run.");
    }
    if (!open.failed) {
        return QStringLiteral("Open test: opened with every index.");
    }
    const QString where = open.index.empty() ? QStringLiteral("before any index")
                                             : QStringLiteral("with index ") + Text(open.index);
    return QStringLiteral("Open test: failed %1 (%2).").arg(where, Text(open.failure));
}

QString RebuildSummary(const platform::RebuildResult& rebuild) {
    if (!rebuild.ran) {
        // A rebuild refused before the library was asked has only its verdict.
        return rebuild.verdict.empty() ? QStringLiteral("Rebuild: not run.")
                                       : QStringLiteral("Rebuild: not carried out (see the "
                                                        "verdict above).");
    }
    const std::string source =
        rebuild.structureSource.empty() ? "the table's own header" : rebuild.structureSource;
    return QStringLiteral("Rebuild: %1. Records read %2, written %3, set aside %4 (key "
                          "violations %5, problems %6), lost %7.\nStructure from: %8.")
        .arg(rebuild.replaced ? QStringLiteral("table replaced")
                              : QStringLiteral("table left as it was"))
        .arg(rebuild.recordsRead)
        .arg(rebuild.recordsWritten)
        .arg(rebuild.keyViolations + rebuild.problems)
        .arg(rebuild.keyViolations)
        .arg(rebuild.problems)
        .arg(rebuild.recordsLost)
        .arg(Text(source));
}

QString WrittenTables(const platform::TableResult& result) {
    QStringList lines;
    const auto add = [&lines](const char* what, const std::filesystem::path& path) {
        if (!path.empty()) {
            lines << QString::fromLatin1(what) + Text(path.string());
        }
    };
    add("Error table: ", result.verify.errorTable);
    add("Backup: ", result.rebuild.backupTable);
    add("Key violations: ", result.rebuild.keyViolationTable);
    add("Problems: ", result.rebuild.problemTable);
    return lines.isEmpty() ? QStringLiteral("No table written.") : lines.join(QChar('\n'));
}

} // namespace

FindingsWindow::FindingsWindow(QWidget* parent, std::shared_ptr<const RunRecord> run, int selected)
    : QDialog(parent), run_(std::move(run)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("fFindings"));
    setWindowTitle(QStringLiteral("Run Findings"));
    setFont(WindowFont());
    BuildLayout();
    if (run_ != nullptr) {
        for (const RecordedTable& table : *run_) {
            lbTables.addItem(Text(table.result.name));
        }
    }
    connect(&lbTables, &QListWidget::currentRowChanged, this, [this](int row) { ShowTable(row); });
    connect(&btnOpenFolder, &QPushButton::clicked, this,
            [this] { platform::RunGuarded([this] { btnOpenFolderClick(); }); });
    connect(&btnClose, &QPushButton::clicked, this, &QDialog::close);
    lbTables.setCurrentRow(selected);
    ShowTable(selected);
}

void FindingsWindow::BuildLayout() {
    lbTables.setObjectName(QStringLiteral("lbTables"));
    lbTables.setFixedWidth(120);
    memoLines.setObjectName(QStringLiteral("memoLines"));
    memoLines.setReadOnly(true);
    memoLines.setMaximumHeight(90);
    tvFindings.setObjectName(QStringLiteral("tvFindings"));
    tvFindings.setRootIsDecorated(false);
    tvFindings.setColumnCount(kFindingColumns);
    tvFindings.setHeaderLabels({QStringLiteral("Code"), QStringLiteral("File"),
                                QStringLiteral("Block"), QStringLiteral("Record"),
                                QStringLiteral("Text")});
    tvFindings.header()->setStretchLastSection(true);
    for (QLabel* label : {&lblRebuild, &lblFiles}) {
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    lblRebuild.setObjectName(QStringLiteral("lblRebuild"));
    lblFiles.setObjectName(QStringLiteral("lblFiles"));
    btnOpenFolder.setObjectName(QStringLiteral("btnOpenFolder"));
    btnOpenFolder.setText(QStringLiteral("Open &Folder"));
    btnClose.setObjectName(QStringLiteral("btnClose"));
    btnClose.setText(QStringLiteral("Close"));

    auto* details = new QVBoxLayout; // owned by the layout it is added to
    details->addWidget(&memoLines);
    details->addWidget(&tvFindings, 1);
    details->addWidget(&lblRebuild);
    details->addWidget(&lblFiles);
    auto* panes = new QHBoxLayout; // owned by the layout it is added to
    panes->addWidget(&lbTables);
    panes->addLayout(details, 1);
    auto* buttons = new QHBoxLayout; // owned by the layout it is added to
    buttons->addWidget(&btnOpenFolder);
    buttons->addStretch(1);
    buttons->addWidget(&btnClose);
    auto* whole = new QVBoxLayout(this); // owned by the dialog
    whole->addLayout(panes, 1);
    whole->addLayout(buttons);
    resize(640, 440);
}

const RecordedTable* FindingsWindow::Shown() const {
    if (run_ == nullptr || shown_ < 0 || static_cast<std::size_t>(shown_) >= run_->size()) {
        return nullptr;
    }
    return &(*run_)[static_cast<std::size_t>(shown_)];
}

void FindingsWindow::ShowTable(int index) {
    shown_ = index;
    memoLines.clear();
    tvFindings.clear();
    const RecordedTable* table = Shown();
    if (table == nullptr) {
        lblRebuild.clear();
        lblFiles.clear();
        btnOpenFolder.setEnabled(false);
        return;
    }
    const platform::TableResult& result = table->result;
    for (const std::string& line : result.lines) {
        memoLines.appendPlainText(Text(line));
    }
    memoLines.moveCursor(QTextCursor::Start);
    for (const paradox::Finding& finding : result.verify.findings) {
        auto* row = new QTreeWidgetItem(&tvFindings); // the tree owns its rows
        row->setText(colCode, QString::number(static_cast<unsigned>(finding.code)));
        row->setText(colFile, Text(finding.file));
        row->setText(colBlock, NumberOrBlank(finding.block));
        row->setText(colRecord, NumberOrBlank(finding.record));
        row->setText(colText, Text(finding.Text() + (finding.dataLost ? " [data lost]" : "")));
        row->setToolTip(colText, row->text(colText));
    }
    if (!result.verify.ran) {
        auto* row = new QTreeWidgetItem(&tvFindings); // the tree owns its rows
        row->setText(colText, QStringLiteral("No verify ran for this table."));
    }
    for (int column = colCode; column < colText; ++column) {
        tvFindings.resizeColumnToContents(column);
    }
    lblRebuild.setText(OpenTestSummary(result.open) + QChar('\n') + RebuildSummary(result.rebuild));
    lblFiles.setText(WrittenTables(result));
    std::error_code error;
    btnOpenFolder.setEnabled(!table->folder.empty() &&
                             std::filesystem::is_directory(table->folder, error));
}

void FindingsWindow::btnOpenFolderClick() {
    const RecordedTable* table = Shown();
    if (table == nullptr) {
        return;
    }
    const QUrl url = QUrl::fromLocalFile(Text(table->folder.string()));
    platform::CurrentToolkit().OpenUrl(url.toString(QUrl::FullyEncoded).toStdString());
}

} // namespace ui
