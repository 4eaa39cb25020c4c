#include "cli/ReplacingOutputFile.h"

#include "posix/Durability.h"
#include "posix/FileDescriptor.h"

#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace cli {

ReplacingOutputFile::ReplacingOutputFile(std::filesystem::path target)
    : target_(std::move(target)),
      temporary_(target_.string() + ".partial-" + std::to_string(::getpid())) {
    stream_.open(temporary_, std::ios::binary | std::ios::trunc);
    if (!stream_) {
        throw std::runtime_error("cannot create " + temporary_.string());
    }
}

ReplacingOutputFile::~ReplacingOutputFile() {
    if (!committed_) {
        stream_.close();
        std::error_code ignored;
        std::filesystem::remove(temporary_, ignored);
    }
}

void ReplacingOutputFile::Commit() {
    stream_.close();
    if (!stream_) {
        throw std::runtime_error("cannot write " + temporary_.string());
    }
    posix::Sync(posix::Open(temporary_, O_RDONLY).Get(), temporary_);
    posix::RenameAt(AT_FDCWD, temporary_, AT_FDCWD, target_, target_);
    posix::SyncDirectory(target_.has_parent_path() ? target_.parent_path() : ".");
    committed_ = true;
}

} // namespace cli
