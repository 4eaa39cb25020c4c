#include "paradox/MappedFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace paradox {
namespace {

// Closes a file descriptor on every path out of Open.
class FdCloser {
public:
    explicit FdCloser(int fd) : fd_(fd) {}
    ~FdCloser() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;

private:
    int fd_;
};

void SetError(std::string* error, const std::filesystem::path& path, const char* what) {
    if (error != nullptr) {
        *error = path.string() + ": " + what + ": " + std::strerror(errno);
    }
}

} // namespace

std::optional<MappedFile> MappedFile::Open(const std::filesystem::path& path, std::string* error) {
    // O_NONBLOCK: a FIFO or device planted under a table's name must not hold the open until
    // some writer appears; it is refused below as not a regular file.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        SetError(error, path, "cannot open");
        return std::nullopt;
    }
    FdCloser closer(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        SetError(error, path, "cannot stat");
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) {
        errno = EINVAL;
        SetError(error, path, "not a regular file");
        return std::nullopt;
    }
    auto size = static_cast<std::size_t>(info.st_size);
    if (size == 0) {
        return MappedFile(nullptr, 0);
    }
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (map == MAP_FAILED) {
        SetError(error, path, "cannot map");
        return std::nullopt;
    }
    return MappedFile(static_cast<const std::uint8_t*>(map), size);
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

MappedFile::~MappedFile() {
    Release();
}

void MappedFile::Release() {
    if (data_ != nullptr) {
        ::munmap(const_cast<std::uint8_t*>(data_), size_);
        data_ = nullptr;
        size_ = 0;
    }
}

} // namespace paradox
