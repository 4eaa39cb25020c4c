#include "paradox/WriterFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <system_error>
#include <unistd.h>

namespace paradox {
namespace {
constexpr std::size_t kBufferLimit = std::size_t{1} << 20;
}

WriterFile::WriterFile(std::filesystem::path path) : path_(std::move(path)) {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        Fail("cannot create", errno);
    }
}

WriterFile::~WriterFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void WriterFile::Fail(const char* what, int error) const {
    // The error number travels with the exception: callers tell a full disk from the rest.
    throw std::system_error(error, std::generic_category(),
                            std::string(what) + " " + path_.string());
}

void WriterFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    if (!buffer_.empty() && offset != bufferOffset_ + buffer_.size()) {
        WriteBuffer();
    }
    if (bytes.size() >= kBufferLimit) {
        // Large pieces (big blobs) go straight to the file rather than through a copy.
        WriteBuffer();
        WriteDirect(offset, bytes);
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

void WriterFile::WriteDirect(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            Fail("cannot write", n < 0 ? errno : EIO);
        }
        done += static_cast<std::size_t>(n);
    }
}

void WriterFile::WriteBuffer() {
    WriteDirect(bufferOffset_, buffer_);
    buffer_.clear();
}

void WriterFile::Flush(bool sync) {
    WriteBuffer();
    if (sync && ::fsync(fd_) != 0) {
        Fail("cannot flush", errno);
    }
}

void SyncDirectory(const std::filesystem::path& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(),
                                "cannot open directory " + dir.string());
    }
    const int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (result != 0) {
        throw std::system_error(error, std::generic_category(),
                                "cannot flush directory " + dir.string());
    }
}

} // namespace paradox
