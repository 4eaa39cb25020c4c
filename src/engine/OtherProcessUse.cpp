#include "engine/OtherProcessUse.h"

#include "engine/testing/ProcessTable.h"
#include "posix/FileDescriptor.h"

#include <cctype>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace engine {
namespace {

namespace fs = std::filesystem;

constexpr const char* kProcessTable = "/proc";

std::mutex processTableMutex;
std::string processTable = kProcessTable; // only tests change it

std::string ProcessTable() {
    const std::lock_guard<std::mutex> lock(processTableMutex);
    return processTable;
}

void SetProcessTable(std::string folder) {
    const std::lock_guard<std::mutex> lock(processTableMutex);
    processTable = std::move(folder);
}

struct CloseDir {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirStream = std::unique_ptr<DIR, CloseDir>;

bool AllDigits(const char* name) {
    if (*name == '\0') {
        return false;
    }
    for (; *name != '\0'; ++name) {
        if (std::isdigit(static_cast<unsigned char>(*name)) == 0) {
            return false;
        }
    }
    return true;
}

// A conflicting record lock on the open file. F_GETLK never reports this process's own
// fcntl/lockf locks, but does report every open-file-description lock and other processes'
// locks; it needs no write access, even to probe for a write lock.
std::string RecordLockOn(int fd, const fs::path& file, TableLock::Mode mode) {
    struct flock probe {};
    probe.l_type = mode == TableLock::Mode::Exclusive ? F_WRLCK : F_RDLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 0; // to the end, however far the file grows
    if (::fcntl(fd, F_GETLK, &probe) != 0 || probe.l_type == F_UNLCK) {
        return {};
    }
    const std::string holder =
        probe.l_pid > 0 ? "process " + std::to_string(probe.l_pid) : std::string("another process");
    return file.filename().string() + " is locked by " + holder;
}

struct FileId {
    dev_t device;
    ino_t inode;
    fs::path file;
};

// A process's folder of open files, or none when it is gone or another user's.
DirStream DescriptorsOf(int processTable, const char* process) {
    const std::string fdFolder = std::string(process) + "/fd";
    const int fd = ::openat(processTable, fdFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    DIR* stream = ::fdopendir(fd);
    if (stream == nullptr) {
        ::close(fd);
    }
    return DirStream(stream);
}

// The first open of one of `ids` by a process other than this one, from the descriptors
// listed under /proc/<pid>/fd.
std::string OpenedElsewhere(const std::vector<FileId>& ids) {
    const DirStream processes(::opendir(ProcessTable().c_str()));
    if (!processes) {
        return {};
    }
    const std::string self = std::to_string(::getpid());
    while (const dirent* process = ::readdir(processes.get())) {
        if (!AllDigits(process->d_name) || self == process->d_name) {
            continue;
        }
        const DirStream descriptors = DescriptorsOf(::dirfd(processes.get()), process->d_name);
        if (!descriptors) {
            continue;
        }
        const int folder = ::dirfd(descriptors.get());
        while (const dirent* descriptor = ::readdir(descriptors.get())) {
            struct stat info {};
            if (!AllDigits(descriptor->d_name) ||
                ::fstatat(folder, descriptor->d_name, &info, 0) != 0) {
                continue;
            }
            for (const FileId& id : ids) {
                if (info.st_dev == id.device && info.st_ino == id.inode) {
                    return id.file.filename().string() + " is open in process " + process->d_name;
                }
            }
        }
    }
    return {};
}

} // namespace

std::string UseByOtherProcesses(const std::vector<fs::path>& files, TableLock::Mode mode) {
    std::vector<FileId> ids;
    for (const fs::path& file : files) {
        const posix::FileDescriptor fd =
            posix::TryOpen(file, O_RDONLY | O_NOCTTY | O_NONBLOCK); // a FIFO must not hold us
        struct stat info {};
        if (!fd.IsOpen() || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
            continue;
        }
        if (std::string lock = RecordLockOn(fd.Get(), file, mode); !lock.empty()) {
            return lock;
        }
        ids.push_back({info.st_dev, info.st_ino, file});
    }
    if (mode == TableLock::Mode::Exclusive && !ids.empty()) {
        return OpenedElsewhere(ids);
    }
    return {};
}

namespace testing {

ScopedProcessTable::ScopedProcessTable(const fs::path& folder) {
    SetProcessTable(folder.string());
}

ScopedProcessTable::~ScopedProcessTable() {
    SetProcessTable(kProcessTable);
}

} // namespace testing
} // namespace engine
