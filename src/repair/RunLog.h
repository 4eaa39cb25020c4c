#pragma once

#include "repair/LogFile.h"

#include <cstddef>
#include <filesystem>
#include <string>

namespace repair {

// The in-memory run log of one program run: the lines read from the log file at start-up
// followed by the lines this run appended. Lines are only ever added at the end.
class RunLog {
public:
    const LogLines& Lines() const { return lines_; }

    void Append(std::string line) { lines_.push_back(std::move(line)); }

    // Takes the file's lines as the start of the log. Throws LogFileError when the file
    // cannot be read; the log is then left as it was.
    void Load(const std::filesystem::path& file);

    // Writes the log to the file. Another copy of the program may have saved lines to the
    // same file since this one read it, so under the file's lock the file is read again and
    // only the lines this run added since its last load or save are written after what is
    // there. Nothing is lost or written twice. When the file is gone, the whole log is
    // written. Throws LogFileError; the file is then untouched.
    void Save(const std::filesystem::path& file);

private:
    LogLines lines_;
    std::size_t linesInFile_ = 0; // how many leading lines_ the file already holds
};

} // namespace repair
