#pragma once

#include <filesystem>
#include <sys/types.h>

namespace posix {

// One open file descriptor, closed when the object goes away.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    // Closes now and throws when close(2) reports an error (a delayed write error shows here).
    void Close(const std::filesystem::path& shown);

private:
    int fd_ = -1;
};

// openat(2) of `name` relative to the open folder `dir` (AT_FDCWD for the current folder),
// always with O_CLOEXEC. Throws std::system_error "cannot create <shown>" (with O_CREAT) or
// "cannot open <shown>".
FileDescriptor OpenAt(int dir, const std::filesystem::path& name, int flags, mode_t mode,
                      const std::filesystem::path& shown);
FileDescriptor Open(const std::filesystem::path& path, int flags, mode_t mode = 0);
// Like Open, but gives a closed descriptor with errno set instead of throwing.
FileDescriptor TryOpen(const std::filesystem::path& path, int flags);

// A new file that must not exist yet, never written through a symlink:
// O_CREAT|O_EXCL|O_NOFOLLOW with `access` (O_WRONLY or O_RDWR).
FileDescriptor CreateNewAt(int dir, const std::filesystem::path& name, int access, mode_t mode,
                           const std::filesystem::path& shown);
FileDescriptor CreateNew(const std::filesystem::path& path, int access, mode_t mode);

// An open folder (O_DIRECTORY), following a symlink the caller named.
FileDescriptor OpenDirectory(const std::filesystem::path& dir);

} // namespace posix
