#include "engine/InstalledData.h"

#include <cstdlib>
#include <string>
#include <system_error>
#include <utility>

namespace engine {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSamplesFolder = "samples";

// A folder being filled; removed with what it holds unless it was moved into place.
class StagingFolder {
public:
    explicit StagingFolder(fs::path path) : path_(std::move(path)) {}
    ~StagingFolder() {
        if (!path_.empty()) {
            std::error_code ignored;
            fs::remove_all(path_, ignored);
        }
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    const fs::path& Path() const { return path_; }
    // Renames it to `target`; false when that fails (another process may have been first).
    bool MoveTo(const fs::path& target) {
        std::error_code error;
        fs::rename(path_, target, error);
        if (error) {
            return false;
        }
        path_.clear();
        return true;
    }

private:
    fs::path path_;
};

// Copies the files of `from` into a folder of its own beside `target` and renames that folder
// to `target`, so that `target` never holds half a database. True when `target` exists after.
bool CopyOnce(const fs::path& from, const fs::path& target) {
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    std::string pattern = (target.parent_path() / ".samples-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        return false;
    }
    StagingFolder staging{fs::path(pattern)};
    try {
        for (const auto& entry : fs::directory_iterator(from)) {
            if (!entry.is_regular_file()) {
                continue;
            }
            const fs::path copy = staging.Path() / entry.path().filename();
            fs::copy_file(entry.path(), copy);
            fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write,
                            fs::perm_options::add);
        }
    } catch (const fs::filesystem_error&) {
        return false;
    }
    return staging.MoveTo(target) || fs::is_directory(target, error);
}

} // namespace

fs::path InstalledDataDirectory(const fs::path& programDirectory) {
    return (programDirectory / MENDRIX_DATA_FROM_BIN).lexically_normal();
}

fs::path UserDataFolder() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
        return fs::path(xdg) / "mendrix";
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
        return fs::path(home) / ".local" / "share" / "mendrix";
    }
    return {};
}

fs::path SampleDatabaseFor(const fs::path& programDirectory, const fs::path& userFolder) {
    const fs::path beside = programDirectory / kSamplesFolder;
    std::error_code error;
    if (fs::is_directory(beside, error)) {
        return beside;
    }
    const fs::path installed = InstalledDataDirectory(programDirectory) / kSamplesFolder;
    if (!fs::is_directory(installed, error)) {
        return beside;
    }
    if (userFolder.empty()) {
        return installed;
    }
    const fs::path copy = userFolder / kSamplesFolder;
    if (fs::is_directory(copy, error) || CopyOnce(installed, copy)) {
        return copy;
    }
    return installed;
}

} // namespace engine
