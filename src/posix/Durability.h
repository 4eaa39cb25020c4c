#pragma once

#include <cstdint>
#include <filesystem>
#include <sys/types.h>

namespace posix {

// fsync(2) of an open file or folder; std::system_error "cannot flush <shown>".
void Sync(int fd, const std::filesystem::path& shown);
// Hands the dirty pages of a written range to the disk without waiting for them, so that a
// later Sync finds little left to write. Failures are left for that Sync to report.
void StartWriteBack(int fd, std::uint64_t offset, std::uint64_t length);
// Flushes the entry list of the open folder `dirFd` (after names in it were created, renamed
// or removed): the one way the program makes a folder's names durable.
void SyncDirectory(int dirFd, const std::filesystem::path& shown);

// rename(2) / renameat(2): replaces `to` atomically; std::system_error "cannot rename <from>".
void Rename(const std::filesystem::path& from, const std::filesystem::path& to);
void RenameAt(int fromDir, const std::filesystem::path& from, int toDir,
              const std::filesystem::path& to, const std::filesystem::path& shown);
// Like RenameAt but fails with EEXIST when `to` exists.
void RenameAtNoReplace(int fromDir, const std::filesystem::path& from, int toDir,
                       const std::filesystem::path& to, const std::filesystem::path& shownFrom,
                       const std::filesystem::path& shownTo);
// unlinkat(2) with `flags` (0, or AT_REMOVEDIR for an empty folder); false when the name did not
// exist; std::system_error "cannot remove <shown>" for any other failure.
bool RemoveAt(int dir, const std::filesystem::path& name, int flags,
              const std::filesystem::path& shown);
// mkdirat(2); std::system_error "cannot create <shown>".
void MakeFolderAt(int dir, const std::filesystem::path& name, mode_t mode,
                  const std::filesystem::path& shown);
// MakeFolderAt for callers that decide on the failure themselves: 0, or its errno (EEXIST when
// the name is taken).
int TryMakeFolderAt(int dir, const std::filesystem::path& name, mode_t mode,
                    const std::filesystem::path& shown);

} // namespace posix
