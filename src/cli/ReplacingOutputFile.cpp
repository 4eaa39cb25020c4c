#include "cli/ReplacingOutputFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace cli {
namespace {

// Flushes a file or folder to disk; std::system_error naming it when the system refuses.
void SyncPath(const std::filesystem::path& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(), "cannot open " + path.string());
    }
    const int synced = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (synced != 0) {
        throw std::system_error(error, std::generic_category(), "cannot flush " + path.string());
    }
}

} // namespace

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
    SyncPath(temporary_, O_RDONLY);
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        throw std::system_error(errno, std::generic_category(),
                                "cannot replace " + target_.string());
    }
    const std::filesystem::path folder = target_.has_parent_path() ? target_.parent_path() : ".";
    SyncPath(folder, O_RDONLY | O_DIRECTORY);
    committed_ = true;
}

} // namespace cli
