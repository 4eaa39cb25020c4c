#pragma once

// Tests only: no program code starts a recording. While one runs, the file layer notes every
// change it makes to files and folders (after it succeeded), in the order they happened, so
// that a test can replay them and build the states a power cut could leave behind. When no
// recording runs, each operation pays one relaxed atomic load.
//
// Files and folders are named by inode number: a file keeps its number across renames, and
// writes through a descriptor whose name was removed still reach the right file.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace posix {

enum class RecordedKind {
    Create,     // new regular file `name` in folder `folder`, inode `inode`
    MakeFolder, // new folder `name` in `folder`, inode `inode`
    Write,      // `bytes` at `offset` of file `inode`
    Truncate,   // file `inode` cut or extended to `offset` bytes
    SyncFile,   // fsync of file `inode`
    SyncFolder, // fsync of folder `inode`
    WriteBack,  // sync_file_range(WRITE) of file `inode`: starts writing, promises nothing
    Rename,     // `folder`/`name` -> `toFolder`/`toName` (file or folder `inode`)
    Remove,     // `folder`/`name` unlinked (file or empty folder `inode`)
};

struct RecordedOperation {
    RecordedKind kind = RecordedKind::Write;
    std::uint64_t inode = 0;
    std::uint64_t folder = 0;
    std::string name;
    std::uint64_t toFolder = 0;
    std::string toName;
    std::uint64_t offset = 0;
    std::vector<std::uint8_t> bytes;
    std::filesystem::path shown; // for messages: a path of the file when it was recorded
};

namespace detail {
extern std::atomic<bool> recording;
inline bool Recording() {
    return recording.load(std::memory_order_relaxed);
}
void Record(RecordedOperation operation);
// An operation on the open file or folder `fd`.
RecordedOperation OnDescriptor(RecordedKind kind, int fd);
// An operation on `name` relative to folder `dir` (its inode looked up now: 0 when missing).
RecordedOperation OnName(RecordedKind kind, int dir, const std::filesystem::path& name);
// The inode of an open descriptor, or of `name` relative to folder `dir` (0 when missing).
std::uint64_t InodeOf(int fd);
std::uint64_t InodeAt(int dir, const std::filesystem::path& name);
// The inode of the folder that holds `name` relative to `dir`, and the last part of the name.
std::uint64_t ParentInodeAt(int dir, const std::filesystem::path& name);
// A path of the open descriptor, and of `name` relative to folder `dir`, with the folders
// resolved (so that a name reached through /proc/self/fd shows where it really is).
std::filesystem::path ShownPath(int fd);
std::filesystem::path ShownPathAt(int dir, const std::filesystem::path& name);
// Records the write of bytes `bytes` at `offset` of `fd`.
void RecordWrite(int fd, std::uint64_t offset, const std::uint8_t* bytes, std::uint64_t length);
// Records a copy of `length` bytes from `from` at `fromOffset` to `to` at `toOffset` as a write,
// reading them back from the source.
void RecordCopiedRange(int from, std::uint64_t fromOffset, int to, std::uint64_t toOffset,
                       std::uint64_t length);
// Where a write without an offset of `fd` goes: its end when opened to append, else its position.
std::uint64_t NextWriteOffset(int fd);
} // namespace detail

namespace testing {
// Starts a recording (dropping any earlier one).
void StartRecording();
// Ends the recording and hands over what it saw.
std::vector<RecordedOperation> StopRecording();
} // namespace testing
} // namespace posix
