#pragma once

#include "posix/FileDescriptor.h"

#include <filesystem>
#include <string>

namespace tutil {

// An open folder (O_DIRECTORY), closed on scope exit. Files are then created, renamed and
// removed relative to it, so a name in the path swapped for a symlink meanwhile changes
// nothing. std::system_error naming the folder when it cannot be opened.
class DirHandle {
public:
    // The folder the caller named (a symlink the caller named is followed).
    static DirHandle Open(const std::filesystem::path& dir);
    // Folder `name` inside `parent`; never a symlink (ELOOP/ENOTDIR then).
    static DirHandle OpenChild(const DirHandle& parent, const std::string& name);

    int Fd() const { return fd_.Get(); }
    const std::filesystem::path& Path() const { return path_; }
    // A path that reaches this very folder (through /proc/self/fd) for code that only takes
    // paths; the folder's own path where /proc is not mounted.
    std::filesystem::path PinnedPath() const;

private:
    DirHandle(posix::FileDescriptor fd, std::filesystem::path path)
        : fd_(std::move(fd)), path_(std::move(path)) {}
    posix::FileDescriptor fd_;
    std::filesystem::path path_;
};

} // namespace tutil
