#include "posix/Durability.h"

#include "posix/FileDescriptor.h"
#include "posix/SystemError.h"
#include "posix/testing/OperationHook.h"
#include "posix/testing/Recording.h"
#include "posix/testing/SkipFlushes.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace posix {

namespace detail {
std::atomic<bool> flushesSkipped{false};
} // namespace detail

namespace {

// Throws "<what> <shown>" when a test's hook makes this operation fail.
void BeforeOperation(Operation operation, const char* what, const std::filesystem::path& shown) {
    if (const int error = detail::BeforeOperation(operation); error != 0) {
        ThrowSystemError(error, what, shown);
    }
}

// What a rename or removal of `name` in `dir` touches, noted before it happens.
RecordedOperation NamedOperation(RecordedKind kind, int dir, const std::filesystem::path& name) {
    return detail::Recording() ? detail::OnName(kind, dir, name) : RecordedOperation{};
}

void RecordRename(RecordedOperation rename, int toDir, const std::filesystem::path& to) {
    if (detail::Recording()) {
        rename.toFolder = detail::ParentInodeAt(toDir, to);
        rename.toName = to.filename().string();
        rename.shown += " -> " + detail::ShownPathAt(toDir, to).string();
        detail::Record(std::move(rename));
    }
}

} // namespace

void Sync(int fd, const std::filesystem::path& shown) {
    BeforeOperation(Operation::Sync, "cannot flush", shown);
    if (!testing::FlushesSkipped() && ::fsync(fd) != 0) {
        ThrowSystemError(errno, "cannot flush", shown);
    }
    if (detail::Recording() && !testing::FlushesSkipped()) {
        struct stat info {};
        const bool folder = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
        detail::Record(
            detail::OnDescriptor(folder ? RecordedKind::SyncFolder : RecordedKind::SyncFile, fd));
    }
}

void StartWriteBack(int fd, std::uint64_t offset, std::uint64_t length) {
    if (!testing::FlushesSkipped() && length > 0) {
        ::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(length),
                          SYNC_FILE_RANGE_WRITE);
        if (detail::Recording()) {
            RecordedOperation writeBack = detail::OnDescriptor(RecordedKind::WriteBack, fd);
            writeBack.offset = offset;
            detail::Record(std::move(writeBack));
        }
    }
}

void SyncDirectory(int dirFd, const std::filesystem::path& shown) {
    Sync(dirFd, shown);
}

void Rename(const std::filesystem::path& from, const std::filesystem::path& to) {
    RenameAt(AT_FDCWD, from, AT_FDCWD, to, from);
}

void RenameAt(int fromDir, const std::filesystem::path& from, int toDir,
              const std::filesystem::path& to, const std::filesystem::path& shown) {
    BeforeOperation(Operation::Rename, "cannot rename", shown);
    RecordedOperation rename = NamedOperation(RecordedKind::Rename, fromDir, from);
    if (::renameat(fromDir, from.c_str(), toDir, to.c_str()) != 0) {
        ThrowSystemError(errno, "cannot rename", shown);
    }
    RecordRename(std::move(rename), toDir, to);
}

void RenameAtNoReplace(int fromDir, const std::filesystem::path& from, int toDir,
                       const std::filesystem::path& to, const std::filesystem::path& shownFrom,
                       const std::filesystem::path& shownTo) {
    BeforeOperation(Operation::Rename, "cannot rename", shownFrom);
    RecordedOperation rename = NamedOperation(RecordedKind::Rename, fromDir, from);
    if (::renameat2(fromDir, from.c_str(), toDir, to.c_str(), RENAME_NOREPLACE) == 0) {
        RecordRename(std::move(rename), toDir, to);
        return;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        ThrowSystemError(errno, "cannot rename", shownFrom);
    }
    // A file system without the flag: look first. Callers hold a lock that keeps other
    // writers of these names away.
    struct stat existing {};
    if (::fstatat(toDir, to.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        ThrowSystemError(EEXIST, "cannot rename onto existing", shownTo);
    }
    if (::renameat(fromDir, from.c_str(), toDir, to.c_str()) != 0) {
        ThrowSystemError(errno, "cannot rename", shownFrom);
    }
    RecordRename(std::move(rename), toDir, to);
}

bool RemoveAt(int dir, const std::filesystem::path& name, int flags,
              const std::filesystem::path& shown) {
    BeforeOperation(Operation::Remove, "cannot remove", shown);
    RecordedOperation removal = NamedOperation(RecordedKind::Remove, dir, name);
    if (::unlinkat(dir, name.c_str(), flags) == 0) {
        if (detail::Recording()) {
            detail::Record(std::move(removal));
        }
        return true;
    }
    if (errno != ENOENT) {
        ThrowSystemError(errno, "cannot remove", shown);
    }
    return false;
}

void MakeFolderAt(int dir, const std::filesystem::path& name, mode_t mode,
                  const std::filesystem::path& shown) {
    BeforeOperation(Operation::MakeFolder, "cannot create", shown);
    if (::mkdirat(dir, name.c_str(), mode) != 0) {
        ThrowSystemError(errno, "cannot create", shown);
    }
    if (detail::Recording()) {
        detail::Record(detail::OnName(RecordedKind::MakeFolder, dir, name));
    }
}

int TryMakeFolderAt(int dir, const std::filesystem::path& name, mode_t mode,
                    const std::filesystem::path& shown) {
    try {
        MakeFolderAt(dir, name, mode, shown);
        return 0;
    } catch (const std::system_error& error) {
        return error.code().value();
    }
}

} // namespace posix
