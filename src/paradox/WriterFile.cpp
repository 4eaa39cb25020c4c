#include "paradox/WriterFile.h"

#include "posix/Durability.h"
#include "posix/FileIo.h"

#include <fcntl.h>

namespace paradox {
namespace {
constexpr std::size_t kBufferLimit = std::size_t{1} << 20;
}

WriterFile::WriterFile(std::filesystem::path path)
    : path_(std::move(path)), fd_(posix::CreateNew(path_, O_WRONLY, 0644)) {}

void WriterFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    bytes = cipher_.Apply(offset, bytes, path_);
    if (!buffer_.empty() && offset != bufferOffset_ + buffer_.size()) {
        WriteBuffer();
    }
    if (bytes.size() >= kBufferLimit) {
        // Large pieces (big blobs) go straight to the file rather than through a copy.
        WriteBuffer();
        posix::WriteAllAt(fd_.Get(), offset, bytes, path_);
        return;
    }
    if (buffer_.empty()) {
        bufferOffset_ = offset;
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    if (buffer_.size() >= kBufferLimit) {
        WriteBuffer();
    }
}

void WriterFile::WriteBuffer() {
    posix::WriteAllAt(fd_.Get(), bufferOffset_, buffer_, path_);
    buffer_.clear();
}

void WriterFile::Flush(bool sync) {
    WriteBuffer();
    if (sync) {
        posix::Sync(fd_.Get(), path_);
    }
}

} // namespace paradox
