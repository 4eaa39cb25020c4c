#pragma once

#include <QListWidget>
#include <filesystem>
#include <vector>

namespace ui {

// A list of directories on one tree: the root, each directory on the path down to the open
// directory, the open directory, then its subdirectories in name order, each entry indented
// by its depth and shown with a folder picture. It starts at the process's current
// directory. Opening an entry makes its directory the open one and the process's current
// directory; moving the highlight opens nothing.
class DirectoryListBox : public QListWidget {
    Q_OBJECT

public:
    static constexpr int kEntryHeight = 16;

    explicit DirectoryListBox(QWidget* parent = nullptr);

    // The open directory: a full path without a trailing separator, except the root "/".
    const std::filesystem::path& Directory() const { return directory_; }

    // Opens the entry of a row and rebuilds the list. When the directory cannot be made
    // current the open directory stays as it was and std::runtime_error carries the
    // system's reason.
    void OpenEntry(int row);

    // Makes an existing directory the open one, leaving the process's current directory as
    // it is; false (and nothing changes) when the path names no directory.
    bool ShowDirectory(const std::filesystem::path& directory);

    // Reads the open directory's subdirectories again and highlights the open directory.
    void Rebuild();

private:
    std::filesystem::path directory_;
    std::vector<std::filesystem::path> entries_; // one per row
};

} // namespace ui
