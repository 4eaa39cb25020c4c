#pragma once

// The states a power cut can leave a folder in, built from a recording of the file layer's
// operations (posix/testing/Recording.h) under the persistence model of docs/crash-states.md:
// unflushed file data is kept or lost per 4 KB page, a size change is kept or lost, names made,
// renamed or removed since their folder's last flush are kept as an ordered prefix per folder,
// and whatever was flushed stays.

#include "posix/testing/Recording.h"

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace crashstates {

constexpr std::uint64_t kPageSize = 4096;

// A folder tree as files and folders by relative path; a folder has no bytes.
using FolderImage = std::map<std::string, std::optional<std::vector<std::uint8_t>>>;

// Reads the tree below `root`.
FolderImage ReadFolder(const std::filesystem::path& root);
// Writes `image` into the empty folder `root`.
void WriteFolder(const FolderImage& image, const std::filesystem::path& root);

class CrashModel {
public:
    // The folder `root` as it is now, everything on it taken as flushed.
    explicit CrashModel(const std::filesystem::path& root);

    // Replays one operation made after the model was taken. An operation on something
    // outside the folder is not replayed: it is listed in Outside().
    void Apply(const posix::RecordedOperation& operation);
    const std::vector<std::string>& Outside() const { return outside_; }

    // How many crash states the choices allow now (capped at `cap`); all of them; one drawn
    // at random (each choice alike); and the two ends: only what was flushed, everything kept.
    std::uint64_t StateCount(std::uint64_t cap) const;
    std::vector<FolderImage> AllStates() const;
    FolderImage RandomState(std::mt19937_64& random) const;
    FolderImage FlushedState() const;
    FolderImage KeptState() const;

private:
    struct Node {
        bool folder = false;
        std::vector<std::uint8_t> flushed;
        std::vector<std::uint8_t> current;
        std::vector<std::uint64_t> dirtyPages; // sorted, written since the last flush
    };
    using Names = std::map<std::pair<int, std::string>, int>;
    struct NameChange {
        posix::RecordedKind kind;
        int folder = 0;
        std::string name;
        int toFolder = 0;
        std::string toName;
        int node = 0;
    };

    int Known(std::uint64_t inode) const;
    bool Inside(const posix::RecordedOperation& operation, std::initializer_list<std::uint64_t>);
    void Write(Node& node, std::uint64_t offset, const std::vector<std::uint8_t>& bytes);
    void Resize(Node& node, std::uint64_t size);
    void FlushFolder(int folder);
    static void ApplyChange(Names& names, const NameChange& change);
    std::vector<int> FoldersWithChanges() const;
    std::vector<int> WrittenFiles() const;
    // Builds a state from the choices in order: per folder with pending changes how many of
    // them survive, per written file its size and then each dirty page.
    FolderImage Build(const std::vector<std::uint64_t>& choices) const;
    std::vector<std::uint64_t> ChoiceSizes() const;

    std::vector<Node> nodes_;
    std::map<std::uint64_t, int> byInode_;
    Names flushedNames_;
    Names currentNames_;
    std::vector<NameChange> pending_;
    std::vector<std::string> outside_;
};

} // namespace crashstates
