#include "paradox/MappedFile.h"

#include "posix/FileDescriptor.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace paradox {
namespace {

// Another program may shrink a file while it is mapped here; touching a page past the new end
// raises SIGBUS. Every mapping is registered in a fixed table that the signal handler can read
// without locks: a fault inside a registered mapping replaces the rest of that mapping with
// zero pages, marks it cut and lets the read go on; the owner then sees ShrankWhileMapped()
// and reports the file instead of trusting what it read. Faults elsewhere go on to the
// handler that was there before (or the default action).
struct GuardSlot {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::size_t> length{0};
    std::atomic<bool> cut{false};
};

constexpr std::size_t kGuardSlots = 1024;
GuardSlot guardSlots[kGuardSlots];
struct sigaction previousBusAction {};
std::uintptr_t pageMask = 0;

void ForwardBusError(int signal, siginfo_t* info, void* context) {
    if ((previousBusAction.sa_flags & SA_SIGINFO) != 0 &&
        previousBusAction.sa_sigaction != nullptr) {
        previousBusAction.sa_sigaction(signal, info, context);
        return;
    }
    if (previousBusAction.sa_handler != SIG_DFL && previousBusAction.sa_handler != SIG_IGN) {
        previousBusAction.sa_handler(signal);
        return;
    }
    // Back to the default action: the faulting access runs again and ends the process as it
    // would have without this handler.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(SIGBUS, &fallback, nullptr);
}

void OnBusError(int signal, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (GuardSlot& slot : guardSlots) {
        const std::uintptr_t begin = slot.begin.load(std::memory_order_acquire);
        const std::size_t length = slot.length.load(std::memory_order_acquire);
        if (begin == 0 || address < begin || address - begin >= length) {
            continue;
        }
        const std::uintptr_t page = address & pageMask;
        void* zeros = ::mmap(reinterpret_cast<void*>(page), begin + length - page, PROT_READ,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros != MAP_FAILED) {
            slot.cut.store(true, std::memory_order_release);
            errno = savedErrno;
            return;
        }
        break;
    }
    errno = savedErrno;
    ForwardBusError(signal, info, context);
}

void InstallBusErrorHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        pageMask = ~(static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE)) - 1);
        struct sigaction action {};
        action.sa_sigaction = &OnBusError;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &previousBusAction);
    });
}

// The slot now guarding [data, data + size), or -1 when every slot is taken (the mapping is
// then read unguarded, as before).
int RegisterMapping(const std::uint8_t* data, std::size_t size) {
    InstallBusErrorHandler();
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    for (std::size_t i = 0; i < kGuardSlots; ++i) {
        std::uintptr_t expected = 0;
        if (guardSlots[i].begin.compare_exchange_strong(expected, begin,
                                                        std::memory_order_acq_rel)) {
            guardSlots[i].cut.store(false, std::memory_order_relaxed);
            guardSlots[i].length.store(size, std::memory_order_release);
            return static_cast<int>(i);
        }
    }
    return -1;
}

void UnregisterMapping(int slot) {
    if (slot >= 0) {
        guardSlots[slot].length.store(0, std::memory_order_release);
        guardSlots[slot].begin.store(0, std::memory_order_release);
    }
}

void SetError(std::string* error, const std::filesystem::path& path, const char* what) {
    if (error != nullptr) {
        *error = path.string() + ": " + what + ": " + std::strerror(errno);
    }
}

} // namespace

std::optional<MappedFile> MappedFile::Open(const std::filesystem::path& path, std::string* error) {
    // O_NONBLOCK: a FIFO or device planted under a table's name must not hold the open until
    // some writer appears; it is refused below as not a regular file.
    const posix::FileDescriptor file = posix::TryOpen(path, O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (!file.IsOpen()) {
        SetError(error, path, "cannot open");
        return std::nullopt;
    }
    return Map(file.Get(), path, error);
}

std::optional<MappedFile> MappedFile::Map(int fd, const std::filesystem::path& path,
                                          std::string* error) {
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
    const auto* data = static_cast<const std::uint8_t*>(map);
    return MappedFile(data, size, RegisterMapping(data, size));
}

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      guardSlot_(std::exchange(other.guardSlot_, -1)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        guardSlot_ = std::exchange(other.guardSlot_, -1);
    }
    return *this;
}

bool MappedFile::ShrankWhileMapped() const {
    return guardSlot_ >= 0 && guardSlots[guardSlot_].cut.load(std::memory_order_acquire);
}

void MappedFile::DropResidentPages() const {
    if (data_ != nullptr) {
        // A private read-only mapping: dropped pages come back from the file unchanged (or as
        // the zeros the bus error handler put past a cut).
        ::madvise(const_cast<std::uint8_t*>(data_), size_, MADV_DONTNEED);
    }
}

MappedFile::~MappedFile() {
    Release();
}

void MappedFile::Release() {
    if (data_ != nullptr) {
        UnregisterMapping(std::exchange(guardSlot_, -1));
        ::munmap(const_cast<std::uint8_t*>(data_), size_);
        data_ = nullptr;
        size_ = 0;
    }
}

} // namespace paradox
