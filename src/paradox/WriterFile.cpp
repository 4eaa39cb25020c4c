#include "paradox/WriterFile.h"

#include "posix/Durability.h"
#include "posix/FileIo.h"

#include <fcntl.h>
#include <string>
#include <system_error>

namespace paradox {
namespace {
constexpr std::size_t kBufferLimit = std::size_t{1} << 20;
// Written data goes to the disk in steps of this size while the table is being written, so
// the disk works alongside the writer instead of all of it waiting for the final flush.
constexpr std::uint64_t kWriteBackStep = std::uint64_t{8} << 20;
constexpr std::uint64_t kDropStep = std::uint64_t{64} << 20;
} // namespace

WriterFile::WriterFile(std::filesystem::path path)
    : path_(std::move(path)), fd_(posix::CreateNew(path_, O_WRONLY, 0644)) {}

void WriterFile::Replaces(const std::filesystem::path& previous) {
    try {
        previousFd_ = posix::OpenAt(AT_FDCWD, previous,
                                    O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW, 0, previous);
    } catch (const std::system_error&) {
        return;
    }
    // Compared and copied from one open file: a name replaced in between cannot mix the two.
    std::string error;
    previous_ = MappedFile::Map(previousFd_.Get(), previous, &error);
    if (!previous_) {
        previousFd_ = posix::FileDescriptor();
        return;
    }
    const ByteView view = previous_->View();
    source_ = {previousFd_.Get(), {view.data(), view.size()}};
}

void WriterFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    bytes = cipher_.Apply(offset, bytes, path_);
    if (!buffer_.empty() && offset != bufferOffset_ + buffer_.size()) {
        WriteBuffer();
    }
    if (bytes.size() >= kBufferLimit) {
        // Large pieces (big blobs) go straight to the file rather than through a copy, after
        // what was handed over before them.
        WriteBuffer();
        if (behind_) {
            behind_->Drain();
        }
        posix::WriteAllAtFrom(fd_.Get(), offset, bytes, source_, path_);
        WriteBackWritten(offset + bytes.size());
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
    // The pages of the replaced file that were compared go back to the kernel now and then, so
    // that its mapping does not grow with the file (a page dropped while it is being compared
    // is read again from the file).
    if (previous_ && bufferOffset_ >= comparedUpTo_ + kDropStep) {
        previous_->DropResidentPages();
        comparedUpTo_ = bufferOffset_;
    }
    // A large file is written on a thread of its own while the next buffer is filled.
    if (!behind_ && buffer_.size() >= kBufferLimit) {
        behind_ = std::make_unique<posix::WriteBehind>(fd_.Get(), path_, source_);
    }
    if (behind_) {
        if (!buffer_.empty()) {
            buffer_ = behind_->Write(bufferOffset_, std::move(buffer_));
        }
        return;
    }
    posix::WriteAllAtFrom(fd_.Get(), bufferOffset_, buffer_, source_, path_);
    WriteBackWritten(bufferOffset_ + buffer_.size());
    buffer_.clear();
}

// The writers fill their files from the front, with few writes further back (headers, block
// links): the range up to the furthest end written so far is handed over once it is large.
void WriterFile::WriteBackWritten(std::uint64_t end) {
    if (end >= writtenBackTo_ + kWriteBackStep) {
        posix::StartWriteBack(fd_.Get(), writtenBackTo_, end - writtenBackTo_);
        writtenBackTo_ = end;
    }
}

void WriterFile::Flush(bool sync) {
    WriteBuffer();
    if (behind_) {
        behind_->Drain();
    }
    if (sync) {
        posix::Sync(fd_.Get(), path_);
    }
}

} // namespace paradox
