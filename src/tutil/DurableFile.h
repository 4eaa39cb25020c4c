#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tutil {

// File operations whose result is on disk when they return. Each throws
// std::system_error naming the file when the system refuses.

// Copies `from` to `to` byte for byte (replacing `to`) and flushes `to`.
void CopyFileDurably(const std::filesystem::path& from, const std::filesystem::path& to);
// The whole of a small regular file (at most `limit` bytes); a FIFO, device, symlink or a
// larger file is refused without waiting on it.
std::string ReadRegularFile(const std::filesystem::path& file, std::size_t limit);
// Writes `bytes` as the whole of `to` (replacing it) and flushes it.
void WriteFileDurably(const std::filesystem::path& to, std::string_view bytes);
void SyncFile(const std::filesystem::path& file);
// Flushes a directory so that names created, renamed or removed in it are on disk.
void SyncDirectory(const std::filesystem::path& dir);
// rename(2); replaces `to` atomically.
void RenameFile(const std::filesystem::path& from, const std::filesystem::path& to);
// Removes a file if it exists.
void RemoveFileIfPresent(const std::filesystem::path& file);

// A step at which a crash would leave files half done. Every durable operation above passes
// through it; tests arm it to kill the process at the n-th step.
void CrashPoint();

namespace testing {
// Kill the process (SIGKILL) when the n-th crash point is reached; 0 disarms.
void ArmCrashAt(std::uint64_t n);
// Crash points passed since the process started.
std::uint64_t CrashPointsPassed();
// Fuzzing only: leave out every flush to disk (files are still written in full).
void SkipFlushes(bool skip);
bool FlushesSkipped();
} // namespace testing

} // namespace tutil
