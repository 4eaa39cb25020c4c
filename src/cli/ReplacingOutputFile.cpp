#include "cli/ReplacingOutputFile.h"

#include "tutil/DurableFile.h"

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
    tutil::SyncFile(temporary_);
    tutil::RenameFile(temporary_, target_);
    committed_ = true;
}

} // namespace cli
