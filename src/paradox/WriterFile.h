#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace paradox {

// A file being written by the table writer: created (or truncated) on construction,
// written at explicit offsets with writes at increasing offsets collected into one buffer,
// closed on destruction. Every failure throws std::runtime_error naming the file and the
// system's reason.
class WriterFile {
public:
    explicit WriterFile(std::filesystem::path path);
    ~WriterFile();
    WriterFile(const WriterFile&) = delete;
    WriterFile& operator=(const WriterFile&) = delete;

    void WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    // Writes the buffer and, when `sync`, flushes the file to disk.
    void Flush(bool sync);
    const std::filesystem::path& Path() const { return path_; }

private:
    void WriteBuffer();
    void WriteDirect(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    [[noreturn]] void Fail(const char* what, int error) const;

    std::filesystem::path path_;
    int fd_ = -1;
    std::uint64_t bufferOffset_ = 0;
    std::vector<std::uint8_t> buffer_;
};

// Flushes a directory's entry list to disk (after files were created in it).
void SyncDirectory(const std::filesystem::path& dir);

} // namespace paradox
