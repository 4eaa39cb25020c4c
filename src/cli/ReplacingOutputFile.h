#pragma once

#include <filesystem>
#include <fstream>

namespace cli {

// An output file written under a temporary name beside its final one and renamed over it only
// when complete, so that a failed run never leaves half a file where the old one was.
class ReplacingOutputFile {
public:
    // Throws std::runtime_error when the temporary file cannot be created.
    explicit ReplacingOutputFile(std::filesystem::path target);
    ~ReplacingOutputFile(); // removes the temporary file unless committed
    ReplacingOutputFile(const ReplacingOutputFile&) = delete;
    ReplacingOutputFile& operator=(const ReplacingOutputFile&) = delete;

    std::ostream& Stream() { return stream_; }
    // Flushes the file to disk and renames it to the target; throws when that fails.
    void Commit();

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::ofstream stream_;
    bool committed_ = false;
};

} // namespace cli
