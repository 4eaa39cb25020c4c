#include "ui/DirectoryListBox.h"

#include "ui/UiResources.h"

#include <QIcon>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>
#include <stdexcept>
#include <system_error>

namespace ui {
namespace {

constexpr int kIndentPerLevel = 8;
constexpr int kDepthRole = Qt::UserRole + 1;

// Draws each entry moved right by its depth, at the list's fixed entry height.
class IndentedEntryDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem indented(option);
        indented.rect.setLeft(option.rect.left() +
                              index.data(kDepthRole).toInt() * kIndentPerLevel);
        QStyledItemDelegate::paint(painter, indented, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QSize natural = QStyledItemDelegate::sizeHint(option, index);
        return {natural.width() + index.data(kDepthRole).toInt() * kIndentPerLevel,
                DirectoryListBox::kEntryHeight};
    }
};

std::filesystem::path CurrentDirectory() {
    std::error_code error;
    auto current = std::filesystem::current_path(error);
    if (error) {
        return std::filesystem::path("/");
    }
    return current;
}

// Subdirectories of a directory, by name; entries that cannot be read are left out.
std::vector<std::filesystem::path> Subdirectories(const std::filesystem::path& directory) {
    std::vector<std::filesystem::path> found;
    std::error_code error;
    std::filesystem::directory_iterator it(directory, error);
    const std::filesystem::directory_iterator end;
    while (!error && it != end) {
        std::error_code kindError;
        if (it->is_directory(kindError) && !kindError) {
            found.push_back(it->path());
        }
        it.increment(error);
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        const QString left = QString::fromStdString(a.filename().string());
        const QString right = QString::fromStdString(b.filename().string());
        const int byLetters = left.compare(right, Qt::CaseInsensitive);
        return byLetters != 0 ? byLetters < 0 : left < right;
    });
    return found;
}

} // namespace

DirectoryListBox::DirectoryListBox(QWidget* parent) : QListWidget(parent) {
    LoadUiResources();
    setItemDelegate(new IndentedEntryDelegate(this)); // Qt parent ownership
    setUniformItemSizes(true);
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    directory_ = CurrentDirectory();
    Rebuild();
}

void DirectoryListBox::OpenEntry(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= entries_.size()) {
        return;
    }
    const std::filesystem::path target = entries_[static_cast<std::size_t>(row)];
    std::error_code error;
    std::filesystem::current_path(target, error);
    if (error) {
        throw std::runtime_error("Cannot open the directory " + target.string() + ": " +
                                 error.message());
    }
    directory_ = CurrentDirectory();
    Rebuild();
}

bool DirectoryListBox::ShowDirectory(const std::filesystem::path& directory) {
    std::error_code error;
    if (directory.empty() || !std::filesystem::is_directory(directory, error)) {
        return false;
    }
    const auto full = std::filesystem::canonical(directory, error);
    if (error) {
        return false;
    }
    directory_ = full;
    Rebuild();
    return true;
}

void DirectoryListBox::Rebuild() {
    clear();
    entries_.clear();
    const QIcon openedIcon(QStringLiteral(":/ui/folder-open.png"));
    const QIcon currentIcon(QStringLiteral(":/ui/folder-current.png"));
    const QIcon closedIcon(QStringLiteral(":/ui/folder-closed.png"));

    auto add = [this](const std::filesystem::path& directory, const QString& text,
                      const QIcon& icon, int depth) {
        auto* item = new QListWidgetItem(icon, text, this); // the list owns its items
        item->setData(kDepthRole, depth);
        item->setToolTip(QString::fromStdString(directory.string()));
        entries_.push_back(directory);
    };

    // The root, then each directory down to the open one.
    std::filesystem::path walked = directory_.root_path();
    int depth = 0;
    int openRow = 0;
    const bool atRoot = directory_ == walked;
    add(walked, QString::fromStdString(walked.string()), atRoot ? currentIcon : openedIcon, depth);
    for (const auto& part : directory_.relative_path()) {
        if (part.empty()) {
            continue;
        }
        walked /= part;
        ++depth;
        const bool isOpen = walked == directory_;
        add(walked, QString::fromStdString(part.string()), isOpen ? currentIcon : openedIcon,
            depth);
    }
    openRow = count() - 1;
    for (const auto& sub : Subdirectories(directory_)) {
        add(sub, QString::fromStdString(sub.filename().string()), closedIcon, depth + 1);
    }
    setCurrentRow(openRow);
}

} // namespace ui
