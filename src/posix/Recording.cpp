#include "posix/testing/Recording.h"

#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace posix {
namespace detail {

std::atomic<bool> recording{false};

namespace {

struct Recorded {
    std::mutex mutex;
    std::vector<RecordedOperation> operations;
};

Recorded& State() {
    static Recorded state;
    return state;
}

} // namespace

void Record(RecordedOperation operation) {
    Recorded& state = State();
    const std::lock_guard lock(state.mutex);
    if (recording.load(std::memory_order_relaxed)) {
        state.operations.push_back(std::move(operation));
    }
}

std::uint64_t InodeOf(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 ? info.st_ino : 0;
}

std::uint64_t InodeAt(int dir, const std::filesystem::path& name) {
    struct stat info {};
    return ::fstatat(dir, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 ? info.st_ino : 0;
}

std::uint64_t ParentInodeAt(int dir, const std::filesystem::path& name) {
    const std::filesystem::path parent = name.parent_path();
    struct stat info {};
    const int found =
        parent.empty() ? ::fstat(dir, &info) : ::fstatat(dir, parent.c_str(), &info, 0);
    return found == 0 ? info.st_ino : 0;
}

std::filesystem::path ShownPath(int fd) {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), ec);
}

std::filesystem::path ShownPathAt(int dir, const std::filesystem::path& name) {
    std::error_code ec;
    std::filesystem::path folder = name.parent_path();
    if (!name.is_absolute()) {
        folder =
            dir == AT_FDCWD ? std::filesystem::current_path(ec) / folder : ShownPath(dir) / folder;
    }
    return std::filesystem::weakly_canonical(folder, ec) / name.filename();
}

RecordedOperation OnDescriptor(RecordedKind kind, int fd) {
    RecordedOperation operation;
    operation.kind = kind;
    operation.inode = InodeOf(fd);
    operation.shown = ShownPath(fd);
    return operation;
}

RecordedOperation OnName(RecordedKind kind, int dir, const std::filesystem::path& name) {
    RecordedOperation operation;
    operation.kind = kind;
    operation.inode = InodeAt(dir, name);
    operation.folder = ParentInodeAt(dir, name);
    operation.name = name.filename().string();
    operation.shown = ShownPathAt(dir, name);
    return operation;
}

void RecordWrite(int fd, std::uint64_t offset, const std::uint8_t* bytes, std::uint64_t length) {
    RecordedOperation write = OnDescriptor(RecordedKind::Write, fd);
    write.offset = offset;
    write.bytes.assign(bytes, bytes + length);
    Record(std::move(write));
}

void RecordCopiedRange(int from, std::uint64_t fromOffset, int to, std::uint64_t toOffset,
                       std::uint64_t length) {
    std::vector<std::uint8_t> bytes(length);
    std::uint64_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(from, bytes.data() + done, length - done,
                                  static_cast<off_t>(fromOffset + done));
        if (n <= 0) {
            break;
        }
        done += static_cast<std::uint64_t>(n);
    }
    bytes.resize(done); // shorter only when the source shrank meanwhile
    RecordWrite(to, toOffset, bytes.data(), bytes.size());
}

std::uint64_t NextWriteOffset(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0 && (flags & O_APPEND) != 0) {
        struct stat info {};
        return ::fstat(fd, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    }
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    return at < 0 ? 0 : static_cast<std::uint64_t>(at);
}

} // namespace detail

namespace testing {
void StartRecording() {
    detail::Recorded& state = detail::State();
    const std::lock_guard lock(state.mutex);
    state.operations.clear();
    detail::recording.store(true, std::memory_order_relaxed);
}

std::vector<RecordedOperation> StopRecording() {
    detail::Recorded& state = detail::State();
    const std::lock_guard lock(state.mutex);
    detail::recording.store(false, std::memory_order_relaxed);
    return std::exchange(state.operations, {});
}
} // namespace testing
} // namespace posix
