#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace fuzzpack {

// Where the temporary directory goes: TMPDIR when set, else the memory file system when there
// is one. Every input is written, rebuilt and removed there, and on a disk file system the
// creates and unlinks of one input can cost more than all the work on its bytes.
inline std::filesystem::path TempRoot() {
    const char* chosen = std::getenv("TMPDIR");
    if ((chosen == nullptr || *chosen == '\0') && ::access("/dev/shm", W_OK | X_OK) == 0) {
        return "/dev/shm";
    }
    return std::filesystem::temp_directory_path();
}

// A directory of this process, made on first use and removed when the process ends normally;
// every input of a fuzz run is written into it again.
class ProcessTempDir {
public:
    explicit ProcessTempDir(const std::string& prefix) {
        std::string pattern = (TempRoot() / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        path_ = pattern;
    }
    ~ProcessTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ProcessTempDir(const ProcessTempDir&) = delete;
    ProcessTempDir& operator=(const ProcessTempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace fuzzpack
