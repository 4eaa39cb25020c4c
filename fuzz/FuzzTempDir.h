#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace fuzzpack {

// A directory of this process, made on first use and removed when the process ends normally;
// every input of a fuzz run is written into it again.
class ProcessTempDir {
public:
    explicit ProcessTempDir(const std::string& prefix) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
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
