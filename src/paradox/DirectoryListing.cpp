#include "paradox/DirectoryListing.h"

#include "paradox/NameCase.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <mutex>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <system_error>

namespace paradox {
namespace {

// The part of a name before its last dot, or nothing when it has no dot.
std::string_view StemOf(std::string_view name) {
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(0, dot);
}

std::int64_t Nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

// File systems whose folder times a client may see late (attribute caches of network file
// systems, user-space file systems that may not keep them at all).
bool IsLocalFileSystem(const char* dir) {
    struct statfs info {};
    if (::statfs(dir, &info) != 0) {
        return false;
    }
    switch (static_cast<unsigned long>(info.f_type)) {
    case 0x6969UL:     // NFS
    case 0x517BUL:     // SMB
    case 0xFF534D42UL: // CIFS
    case 0xFE534D42UL: // SMB2
    case 0x65735546UL: // FUSE
    case 0x73757245UL: // Coda
    case 0x5346414FUL: // AFS
    case 0x00C36400UL: // Ceph
    case 0x01021997UL: // 9P
        return false;
    default:
        return true;
    }
}

struct FolderState {
    dev_t device = 0;
    ino_t inode = 0;
    std::int64_t modified = 0;
    std::int64_t changed = 0;

    bool operator==(const FolderState&) const = default;
};

bool ReadFolderState(const char* dir, FolderState& state) {
    struct stat info {};
    if (::stat(dir, &info) != 0) {
        return false;
    }
    state = {info.st_dev, info.st_ino, Nanoseconds(info.st_mtim), Nanoseconds(info.st_ctim)};
    return true;
}

std::int64_t NowNanoseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return Nanoseconds(now);
}

// How much older than the listing the folder's times must be for a later change to be sure to
// show: a clock tick where times have nanoseconds, two seconds (FAT) where they are whole.
std::int64_t TimeResolution(const FolderState& state) {
    constexpr std::int64_t kSecond = 1'000'000'000;
    const bool wholeSeconds = state.modified % kSecond == 0 && state.changed % kSecond == 0;
    return wholeSeconds ? 2 * kSecond : kSecond / 20;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

std::vector<DirectoryListing::Entry> ReadEntries(const char* path, std::error_code& error) {
    std::vector<DirectoryListing::Entry> entries;
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(path));
    if (!dir) {
        error.assign(errno, std::generic_category());
        return entries;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat info {};
            regular = ::fstatat(::dirfd(dir.get()), entry->d_name, &info, 0) == 0 &&
                      S_ISREG(info.st_mode);
        }
        entries.push_back({std::string(name), regular});
        errno = 0;
    }
    if (errno != 0) {
        error.assign(errno, std::generic_category());
    }
    return entries;
}

struct CachedListing {
    FolderState state;
    bool reusable = false;
    std::shared_ptr<const DirectoryListing> listing;
};

class ListingCache {
public:
    std::shared_ptr<const DirectoryListing> Get(const std::string& dir, std::error_code& error) {
        FolderState before;
        const bool haveState = ReadFolderState(dir.c_str(), before);
        {
            const std::lock_guard lock(mutex_);
            if (const auto it = cache_.find(dir); haveState && it != cache_.end() &&
                                                  it->second.reusable &&
                                                  it->second.state == before) {
                return it->second.listing;
            }
        }
        const std::int64_t listedAt = NowNanoseconds();
        auto listing = std::make_shared<const DirectoryListing>(ReadEntries(dir.c_str(), error));
        FolderState after;
        const bool reusable =
            !error && haveState && ReadFolderState(dir.c_str(), after) && after == before &&
            std::max(before.modified, before.changed) + TimeResolution(before) < listedAt &&
            IsLocalFileSystem(dir.c_str());
        const std::lock_guard lock(mutex_);
        // A listing that may not be served again is not kept: a folder that changes while it
        // is listed (a staging folder, say) holds no memory here.
        if (!reusable) {
            cache_.erase(dir);
            return listing;
        }
        if (cache_.size() >= kMaxFolders) {
            cache_.clear();
        }
        cache_[dir] = CachedListing{before, reusable, listing};
        return listing;
    }

private:
    static constexpr std::size_t kMaxFolders = 64;
    std::mutex mutex_;
    std::unordered_map<std::string, CachedListing> cache_;
};

ListingCache& Cache() {
    static ListingCache cache;
    return cache;
}

} // namespace

DirectoryListing::DirectoryListing(std::vector<Entry> entries) : entries_(std::move(entries)) {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const std::string& name = entries_[i].name;
        byUpperName_.emplace(UpperAscii(name), i);
        if (entries_[i].regular && !StemOf(name).empty()) {
            byUpperStem_.emplace(UpperAscii(StemOf(name)), i);
        }
    }
}

std::vector<std::string> DirectoryListing::RegularNamesWithStem(std::string_view stem) const {
    std::vector<std::size_t> found;
    const auto [first, last] = byUpperStem_.equal_range(UpperAscii(stem));
    for (auto it = first; it != last; ++it) {
        found.push_back(it->second);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (const std::size_t index : found) {
        names.push_back(entries_[index].name);
    }
    return names;
}

std::string DirectoryListing::FindIgnoringCase(std::string_view name) const {
    std::string match;
    std::size_t matchIndex = entries_.size();
    const auto [first, last] = byUpperName_.equal_range(UpperAscii(name));
    for (auto it = first; it != last; ++it) {
        if (entries_[it->second].name == name) {
            return entries_[it->second].name;
        }
        if (it->second < matchIndex) {
            matchIndex = it->second;
            match = entries_[it->second].name;
        }
    }
    return match;
}

std::shared_ptr<const DirectoryListing> ListDirectory(const std::filesystem::path& dir,
                                                      std::error_code& error) {
    error.clear();
    return Cache().Get(dir.empty() ? std::string(".") : dir.string(), error);
}

std::shared_ptr<const DirectoryListing> ListDirectory(const std::filesystem::path& dir) {
    std::error_code ignored;
    return ListDirectory(dir, ignored);
}

} // namespace paradox
