#include "posix/FileIo.h"

#include "posix/SystemError.h"
#include "posix/testing/OperationHook.h"
#include "posix/testing/Recording.h"

#include <cerrno>
#include <cstring>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace posix {
namespace {

constexpr const char* kWrite = "cannot write";

void BeforeWrite(const std::filesystem::path& shown) {
    if (const int error = detail::BeforeOperation(Operation::Write); error != 0) {
        ThrowSystemError(error, kWrite, shown);
    }
}

// Calls `transfer(done)` until `size` bytes went through; it returns what read(2) or
// write(2) would.
template <typename Transfer>
void TransferAll(std::size_t size, const char* what, const std::filesystem::path& shown,
                 Transfer transfer) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = transfer(done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ThrowSystemError(n < 0 ? errno : EIO, what, shown);
        }
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

void WriteAll(int fd, std::span<const std::uint8_t> bytes, const std::filesystem::path& shown) {
    BeforeWrite(shown);
    const std::uint64_t offset = detail::Recording() ? detail::NextWriteOffset(fd) : 0;
    TransferAll(bytes.size(), kWrite, shown, [&](std::size_t done) {
        return ::write(fd, bytes.data() + done, bytes.size() - done);
    });
    if (detail::Recording()) {
        detail::RecordWrite(fd, offset, bytes.data(), bytes.size());
    }
}

void WriteAllAt(int fd, std::uint64_t offset, std::span<const std::uint8_t> bytes,
                const std::filesystem::path& shown) {
    BeforeWrite(shown);
    TransferAll(bytes.size(), kWrite, shown, [&](std::size_t done) {
        return ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                        static_cast<off_t>(offset + done));
    });
    if (detail::Recording()) {
        detail::RecordWrite(fd, offset, bytes.data(), bytes.size());
    }
}

ssize_t CopyFileRange(int from, int to, std::uint64_t length, const std::filesystem::path& shown) {
    BeforeWrite(shown);
    const bool recording = detail::Recording();
    const std::uint64_t fromOffset = recording ? detail::NextWriteOffset(from) : 0;
    const std::uint64_t toOffset = recording ? detail::NextWriteOffset(to) : 0;
    const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, length, 0);
    if (recording && n > 0) {
        detail::RecordCopiedRange(from, fromOffset, to, toOffset, static_cast<std::uint64_t>(n));
    }
    return n;
}

void WriteAllAtFrom(int fd, std::uint64_t offset, std::span<const std::uint8_t> bytes,
                    const SameOffsetSource& source, const std::filesystem::path& shown) {
    constexpr std::uint64_t kBlock = 4096;
    const std::uint64_t end = offset + bytes.size();
    const std::uint64_t first = (offset + kBlock - 1) / kBlock * kBlock;
    const std::uint64_t last = end / kBlock * kBlock;
    const bool same = source.fd >= 0 && first < last && end <= source.bytes.size() &&
                      std::memcmp(source.bytes.data() + offset, bytes.data(), bytes.size()) == 0;
    if (!same) {
        WriteAllAt(fd, offset, bytes, shown);
        return;
    }
    if (first > offset) {
        WriteAllAt(fd, offset, bytes.first(first - offset), shown);
    }
    std::uint64_t copied = first;
    while (copied < last) {
        BeforeWrite(shown);
        auto from = static_cast<off_t>(copied);
        auto to = static_cast<off_t>(copied);
        const ssize_t n = ::copy_file_range(source.fd, &from, fd, &to, last - copied, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break; // the rest is written
        }
        if (detail::Recording()) {
            detail::RecordCopiedRange(source.fd, copied, fd, copied, static_cast<std::uint64_t>(n));
        }
        copied += static_cast<std::uint64_t>(n);
    }
    if (copied < end) {
        WriteAllAt(fd, copied, bytes.subspan(copied - offset), shown);
    }
}

bool CloneFile(int from, int to, const std::filesystem::path& shown) {
    BeforeWrite(shown);
    if (::ioctl(to, FICLONE, from) == 0) {
        if (detail::Recording()) {
            struct stat info {};
            if (::fstat(from, &info) == 0 && info.st_size > 0) {
                detail::RecordCopiedRange(from, 0, to, 0, static_cast<std::uint64_t>(info.st_size));
            }
        }
        return true;
    }
    // A clone that failed part way may have left blocks behind.
    if (::ftruncate(to, 0) != 0) {
        ThrowSystemError(errno, "cannot empty", shown);
    }
    return false;
}

void ReadAllAt(int fd, std::uint64_t offset, std::span<std::uint8_t> out,
               const std::filesystem::path& shown) {
    TransferAll(out.size(), "cannot read", shown, [&](std::size_t done) {
        return ::pread(fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    });
}

} // namespace posix
