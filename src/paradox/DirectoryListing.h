#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace paradox {

// The names in one folder, read at one moment, with look-ups that ignore the case of names.
class DirectoryListing {
public:
    struct Entry {
        std::string name;
        bool regular = false; // a regular file, or a link to one
    };

    explicit DirectoryListing(std::vector<Entry> entries);

    const std::vector<Entry>& Entries() const { return entries_; }

    // Names of regular files that are `stem` + "." + an extension without dots, the stem
    // compared without regard to case, in listing order.
    std::vector<std::string> RegularNamesWithStem(std::string_view stem) const;

    // An entry (of any kind) named `name` without regard to case, exactly `name` when there is
    // one; empty when none.
    std::string FindIgnoringCase(std::string_view name) const;

private:
    std::vector<Entry> entries_;
    std::unordered_multimap<std::string, std::size_t> byUpperStem_;
    std::unordered_multimap<std::string, std::size_t> byUpperName_;
};

// The listing of `dir` ("." for an empty path); a listing that cannot be read is empty and
// sets `error`. A folder is read once and the listing reused for as long as the folder shows
// no change: same device and inode, same modification and change times, those times older
// than the listing by more than the file system's time resolution (so a change in the same
// clock tick is never missed), and the folder on a local file system (a network file system's
// times may be stale). Every file created, renamed or removed in the folder, by this process
// or another, therefore brings a fresh read.
std::shared_ptr<const DirectoryListing> ListDirectory(const std::filesystem::path& dir,
                                                      std::error_code& error);
std::shared_ptr<const DirectoryListing> ListDirectory(const std::filesystem::path& dir);

} // namespace paradox
