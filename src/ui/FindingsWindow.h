#pragma once

#include "ui/RunRecord.h"

#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <memory>

namespace ui {

// A read-only view of what a run learned: its tables in a list, and for the chosen one its
// pane lines in full, each verify finding (code, file, block, record, text), what the rebuild
// did and the tables it wrote, and a button that opens the table's folder in the desktop's file
// manager. Modeless; it holds the run's record itself, so it outlives the window that ran it.
class FindingsWindow : public QDialog {
    Q_OBJECT

public:
    enum FindingColumn { colCode, colFile, colBlock, colRecord, colText, kFindingColumns };

    FindingsWindow(QWidget* parent, std::shared_ptr<const RunRecord> run, int selected);

    // Shows the table at this place of the run (nothing for a place outside it).
    void ShowTable(int index);
    void btnOpenFolderClick();

    QListWidget lbTables{this};
    QPlainTextEdit memoLines{this};
    QTreeWidget tvFindings{this};
    QLabel lblRebuild{this};
    QLabel lblFiles{this};
    QPushButton btnOpenFolder{this};
    QPushButton btnClose{this};

private:
    void BuildLayout();
    const RecordedTable* Shown() const;

    std::shared_ptr<const RunRecord> run_;
    int shown_ = -1;
};

} // namespace ui
