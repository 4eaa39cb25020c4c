#pragma once

#include "tutil/DirHandle.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace tutil {

// File operations whose result is on disk when they return, relative to open folders. Every
// file they create is new (O_CREAT|O_EXCL|O_NOFOLLOW): an existing name or a planted symlink
// makes them fail instead of writing through it. Each throws std::system_error naming the
// file when the system refuses.

// Copies the regular file `from` (never through a symlink) to the new file `to` in `dir`
// byte for byte and flushes it. Where the file system can, the copy shares the blocks of
// `from` instead (copy on write).
void CopyFileDurably(const std::filesystem::path& from, const DirHandle& dir,
                     const std::string& to);
// Writes `bytes` as the new file `to` in `dir` and flushes it.
void WriteFileDurably(const DirHandle& dir, const std::string& to, std::string_view bytes);
// posix::SyncDirectory of the open folder, as a durable step (a crash point follows it).
void SyncDirectory(const DirHandle& dir);
// renameat(2); replaces `to` atomically.
void RenameFile(const DirHandle& fromDir, const std::string& from, const DirHandle& toDir,
                const std::string& to);
// Like RenameFile, but fails with EEXIST when `to` exists.
void RenameFileNoReplace(const DirHandle& fromDir, const std::string& from, const DirHandle& toDir,
                         const std::string& to);
// Removes a file (or a symlink itself) if it exists.
void RemoveFileIfPresent(const DirHandle& dir, const std::string& name);
// mkdirat(2) of a new folder.
void MakeFolder(const DirHandle& dir, const std::string& name, mode_t mode);
// Gives the regular file `name` in `dir` the owner, group and permission bits of `original`
// (through its open descriptor, then flushed). Where the process may not give it the owner or
// group, the group's rights are dropped, so it never grants more than the original did.
void TakeOwnerAndMode(const DirHandle& dir, const std::string& name, const struct stat& original);
// Removes folder `name` in `dir` and the files in it; nothing when it does not exist. A
// symlink in its place is refused (std::system_error, ENOTDIR or ELOOP).
void RemoveFolderIfPresent(const DirHandle& dir, const std::string& name);

// Removes the files in an open folder.
void EmptyFolder(const DirHandle& folder);
// Empties the open `folder` and removes its name `name` in `dir`, but only while that name
// still leads to this very folder.
void RemoveOpenFolder(const DirHandle& dir, const std::string& name, const DirHandle& folder);

// A step at which a crash would leave files half done. Every durable operation above passes
// through it; tests arm it to kill the process at the n-th step.
void CrashPoint();

namespace testing {
// Kill the process (SIGKILL) when the n-th crash point is reached; 0 disarms.
void ArmCrashAt(std::uint64_t n);
// Crash points passed since the process started.
std::uint64_t CrashPointsPassed();
} // namespace testing

} // namespace tutil
