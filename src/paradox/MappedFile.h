#pragma once

#include "paradox/ByteView.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace paradox {

// A whole file mapped read-only into memory, unmapped when the object goes away.
// Empty files are valid and give an empty view. When another program shrinks the file while it
// is mapped, reads past the new end give zeros instead of killing the process, and
// ShrankWhileMapped() turns true: what was read is then not to be trusted.
class MappedFile {
public:
    static std::optional<MappedFile> Open(const std::filesystem::path& path, std::string* error);
    // The file open on `fd` (which stays the caller's); `path` only names it in `error`.
    static std::optional<MappedFile> Map(int fd, const std::filesystem::path& path,
                                         std::string* error);

    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();

    ByteView View() const { return ByteView(data_, size_); }
    std::uint64_t Size() const { return size_; }
    bool ShrankWhileMapped() const;
    // Hands the pages read so far back to the kernel: they stop counting as this process's
    // memory, and a later read maps them again from the file. A long sequential read calls
    // it now and then so that its resident memory stays flat whatever the file's size.
    void DropResidentPages() const;

private:
    MappedFile(const std::uint8_t* data, std::size_t size, int guardSlot = -1)
        : data_(data), size_(size), guardSlot_(guardSlot) {}
    void Release();

    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    int guardSlot_ = -1; // in the table the SIGBUS handler reads; -1 for none
};

} // namespace paradox
