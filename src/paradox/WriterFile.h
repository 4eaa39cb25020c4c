#pragma once

#include "paradox/MappedFile.h"
#include "paradox/WriterCipher.h"
#include "posix/FileDescriptor.h"
#include "posix/WriteBehind.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace paradox {

// A file being written by the table writer: created (or truncated) on construction,
// written at explicit offsets with writes at increasing offsets collected into one buffer
// (once a buffer was filled, buffers are written on a thread of their own: see
// posix::WriteBehind), closed on destruction. Every failure throws std::system_error naming
// the file, with the system's error number, at the latest from Flush.
class WriterFile {
public:
    explicit WriterFile(std::filesystem::path path);
    WriterFile(const WriterFile&) = delete;
    WriterFile& operator=(const WriterFile&) = delete;

    // Every later write goes through `cipher` (a protected table's files are encrypted).
    void Encrypt(WriterCipher cipher) { cipher_ = std::move(cipher); }
    // The file this one replaces (read only): where a buffer repeats its bytes at the same
    // offset, the kernel copies them from there instead (see posix::WriteAllAtFrom). Nothing
    // changes where it cannot be opened. Called before the first write.
    void Replaces(const std::filesystem::path& previous);
    void WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    // Writes the buffer and, when `sync`, flushes the file to disk.
    void Flush(bool sync);
    const std::filesystem::path& Path() const { return path_; }

private:
    void WriteBuffer();
    void WriteBackWritten(std::uint64_t end);

    std::filesystem::path path_;
    posix::FileDescriptor fd_;
    std::uint64_t bufferOffset_ = 0;
    std::vector<std::uint8_t> buffer_;
    WriterCipher cipher_;
    std::uint64_t writtenBackTo_ = 0; // the file's bytes before this were handed to the disk
    std::optional<MappedFile> previous_;
    posix::FileDescriptor previousFd_;
    posix::SameOffsetSource source_;             // previous_ and previousFd_, when open
    std::uint64_t comparedUpTo_ = 0;             // previous_'s pages were last dropped here
    std::unique_ptr<posix::WriteBehind> behind_; // after fd_: gone (its writes done) before it
};

} // namespace paradox
