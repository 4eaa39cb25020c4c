#include "repair/RunLog.h"

#include <system_error>

namespace repair {

void RunLog::Load(const std::filesystem::path& file) {
    LogLines read = ReadLogFile(file);
    lines_.insert(lines_.begin(), read.begin(), read.end());
    linesInFile_ = read.size();
}

void RunLog::Save(const std::filesystem::path& file) {
    const LogFileLock lock(file);
    LogLines merged;
    std::error_code ignored;
    if (std::filesystem::exists(std::filesystem::symlink_status(file, ignored))) {
        merged = ReadLogFile(file);
        merged.insert(merged.end(), lines_.begin() + static_cast<std::ptrdiff_t>(linesInFile_),
                      lines_.end());
    } else {
        merged = lines_;
    }
    WriteLogFileAtomically(file, merged);
    linesInFile_ = lines_.size();
}

} // namespace repair
