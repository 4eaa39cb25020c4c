#pragma once

#include "cli/export/DescriptorOutputBuffer.h"
#include "posix/FileDescriptor.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// Why `target` cannot be an output file; empty when it can. A regular file (or none) is
// replaced, a character device or a FIFO is written in place; a symbolic link is refused
// whatever it leads to (the user names the file itself), and so is anything else.
std::string UnusableOutputFile(const std::filesystem::path& target);

// An output file written under a temporary name beside its final one and renamed over it only
// when complete, so that a failed run never leaves half a file where the old one was. A
// character device or a FIFO is not replaced: it is opened and written as it stands.
class ReplacingOutputFile {
public:
    // Throws std::runtime_error when the target is unusable (UnusableOutputFile) or the file
    // cannot be created or opened.
    explicit ReplacingOutputFile(std::filesystem::path target);
    ~ReplacingOutputFile(); // removes the temporary file unless committed
    ReplacingOutputFile(const ReplacingOutputFile&) = delete;
    ReplacingOutputFile& operator=(const ReplacingOutputFile&) = delete;

    std::ostream& Stream() { return inPlace_ ? *inPlace_ : stream_; }
    // Flushes the file to disk and renames it to the target (or, written in place, flushes and
    // closes it); throws when that fails.
    void Commit();

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::vector<char> streamBuffer_; // before stream_, which writes through it
    std::ofstream stream_;
    posix::FileDescriptor special_; // a device or FIFO written in place
    std::optional<DescriptorOutputBuffer> specialBuffer_;
    std::optional<std::ostream> inPlace_;
    bool committed_ = false;
};

} // namespace cli
