#include "cli/export/ReplacingOutputFile.h"

#include "posix/Durability.h"
#include "posix/FileDescriptor.h"

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {
namespace {

constexpr std::size_t kStreamBufferSize = 1u << 20;

bool WrittenInPlace(mode_t mode) {
    return S_ISCHR(mode) || S_ISFIFO(mode);
}

} // namespace

std::string UnusableOutputFile(const std::filesystem::path& target) {
    struct stat info {};
    if (::lstat(target.c_str(), &info) != 0) {
        return {}; // a new file, or one whose creation says what is wrong
    }
    if (S_ISREG(info.st_mode) || WrittenInPlace(info.st_mode)) {
        return {};
    }
    if (S_ISLNK(info.st_mode)) {
        // Whoever can write the link's folder would choose the file replaced, and the rename
        // would put a new file of ours in place of the one it leads to.
        return target.string() + " is a symbolic link: give the file it leads to instead";
    }
    if (S_ISDIR(info.st_mode)) {
        return target.string() + " is a folder";
    }
    return target.string() + " is neither a regular file, a character device nor a FIFO";
}

ReplacingOutputFile::ReplacingOutputFile(std::filesystem::path target)
    : target_(std::move(target)) {
    if (const std::string problem = UnusableOutputFile(target_); !problem.empty()) {
        throw std::runtime_error(problem);
    }
    struct stat info {};
    if (::lstat(target_.c_str(), &info) == 0 && WrittenInPlace(info.st_mode)) {
        // A FIFO's open waits for its reader, as a shell's redirection does.
        special_ = posix::TryOpen(target_, O_WRONLY | O_NOCTTY | O_NOFOLLOW);
        struct stat opened {};
        if (!special_.IsOpen() || ::fstat(special_.Get(), &opened) != 0 ||
            opened.st_ino != info.st_ino || opened.st_dev != info.st_dev) {
            throw std::runtime_error("cannot open " + target_.string());
        }
        specialBuffer_.emplace(special_.Get());
        inPlace_.emplace(&*specialBuffer_);
        return;
    }
    temporary_ = target_.string() + ".partial-" + std::to_string(::getpid());
    // Written a row at a time: a buffer larger than the default 8 KB saves most of the calls
    // into the kernel.
    streamBuffer_.resize(kStreamBufferSize);
    stream_.rdbuf()->pubsetbuf(streamBuffer_.data(),
                               static_cast<std::streamsize>(streamBuffer_.size()));
    stream_.open(temporary_, std::ios::binary | std::ios::trunc);
    if (!stream_) {
        throw std::runtime_error("cannot create " + temporary_.string());
    }
}

ReplacingOutputFile::~ReplacingOutputFile() {
    if (!committed_ && !inPlace_) {
        stream_.close();
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
    }
}

void ReplacingOutputFile::Commit() {
    if (inPlace_) {
        inPlace_->flush();
        if (!*inPlace_) {
            throw std::runtime_error("cannot write " + target_.string());
        }
        special_.Close(target_);
        committed_ = true;
        return;
    }
    stream_.close();
    if (!stream_) {
        throw std::runtime_error("cannot write " + temporary_.string());
    }
    posix::Sync(posix::Open(temporary_, O_RDONLY).Get(), temporary_);
    posix::RenameAt(AT_FDCWD, temporary_, AT_FDCWD, target_, target_);
    const std::filesystem::path folder = target_.has_parent_path() ? target_.parent_path() : ".";
    posix::SyncDirectory(posix::OpenDirectory(folder).Get(), folder);
    committed_ = true;
}

} // namespace cli
