#include "CrashModel.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <stdexcept>
#include <sys/stat.h>

namespace crashstates {
namespace fs = std::filesystem;
using posix::RecordedKind;

namespace {

std::vector<std::uint8_t> FileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint8_t ByteAt(const std::vector<std::uint8_t>& bytes, std::uint64_t at) {
    return at < bytes.size() ? bytes[at] : 0;
}

} // namespace

FolderImage ReadFolder(const fs::path& root) {
    FolderImage image;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(entry.path(), root).string();
        if (entry.is_directory()) {
            image[name] = std::nullopt;
        } else {
            image[name] = FileBytes(entry.path());
        }
    }
    return image;
}

void WriteFolder(const FolderImage& image, const fs::path& root) {
    for (const auto& [name, bytes] : image) { // a folder's name sorts before its files
        if (!bytes) {
            fs::create_directories(root / name);
            continue;
        }
        std::ofstream out(root / name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes->data()),
                  static_cast<std::streamsize>(bytes->size()));
        if (!out) {
            throw std::runtime_error("cannot write " + (root / name).string());
        }
    }
}

CrashModel::CrashModel(const fs::path& root) {
    auto add = [&](const fs::path& path) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) {
            throw std::runtime_error("cannot look at " + path.string());
        }
        Node node;
        node.folder = S_ISDIR(info.st_mode);
        if (!node.folder) {
            node.flushed = FileBytes(path);
            node.current = node.flushed;
        }
        nodes_.push_back(std::move(node));
        byInode_[info.st_ino] = static_cast<int>(nodes_.size() - 1);
        return static_cast<int>(nodes_.size() - 1);
    };
    add(root); // node 0
    std::map<fs::path, int> folders{{root, 0}};
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const int node = add(entry.path());
        flushedNames_[{folders.at(entry.path().parent_path()), entry.path().filename().string()}] =
            node;
        if (nodes_[static_cast<std::size_t>(node)].folder) {
            folders[entry.path()] = node;
        }
    }
    currentNames_ = flushedNames_;
}

int CrashModel::Known(std::uint64_t inode) const {
    const auto found = byInode_.find(inode);
    return found == byInode_.end() ? -1 : found->second;
}

bool CrashModel::Inside(const posix::RecordedOperation& operation,
                        std::initializer_list<std::uint64_t> inodes) {
    for (const std::uint64_t inode : inodes) {
        if (Known(inode) < 0) {
            outside_.push_back(operation.shown.string());
            return false;
        }
    }
    return true;
}

void CrashModel::Resize(Node& node, std::uint64_t size) {
    const std::uint64_t from = std::min<std::uint64_t>(size, node.current.size()) / kPageSize;
    const std::uint64_t to =
        (std::max<std::uint64_t>(size, node.current.size()) + kPageSize - 1) / kPageSize;
    for (std::uint64_t page = from; page < to; ++page) {
        node.dirtyPages.push_back(page);
    }
    node.current.resize(size);
}

void CrashModel::Write(Node& node, std::uint64_t offset, const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) {
        return;
    }
    const std::uint64_t end = offset + bytes.size();
    if (end > node.current.size()) {
        Resize(node, end);
    }
    std::copy(bytes.begin(), bytes.end(), node.current.begin() + static_cast<long>(offset));
    for (std::uint64_t page = offset / kPageSize; page <= (end - 1) / kPageSize; ++page) {
        node.dirtyPages.push_back(page);
    }
    std::sort(node.dirtyPages.begin(), node.dirtyPages.end());
    node.dirtyPages.erase(std::unique(node.dirtyPages.begin(), node.dirtyPages.end()),
                          node.dirtyPages.end());
}

void CrashModel::ApplyChange(Names& names, const NameChange& change) {
    switch (change.kind) {
    case RecordedKind::Create:
    case RecordedKind::MakeFolder:
        names[{change.folder, change.name}] = change.node;
        break;
    case RecordedKind::Rename:
        names.erase({change.folder, change.name});
        names[{change.toFolder, change.toName}] = change.node;
        break;
    case RecordedKind::Remove:
        names.erase({change.folder, change.name});
        break;
    default:
        break;
    }
}

// A flushed folder keeps its changes, and with them every earlier change of another folder
// that one of them depends on through a rename between the two (renames stay in order).
void CrashModel::FlushFolder(int folder) {
    std::set<int> flushed{folder};
    std::vector<bool> keep(pending_.size(), false);
    for (std::size_t i = pending_.size(); i-- > 0;) {
        const NameChange& change = pending_[i];
        const bool touches =
            flushed.contains(change.folder) ||
            (change.kind == RecordedKind::Rename && flushed.contains(change.toFolder));
        if (touches) {
            keep[i] = true;
            flushed.insert(change.folder);
            if (change.kind == RecordedKind::Rename) {
                flushed.insert(change.toFolder);
            }
        }
    }
    std::vector<NameChange> still;
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        if (keep[i]) {
            ApplyChange(flushedNames_, pending_[i]);
        } else {
            still.push_back(std::move(pending_[i]));
        }
    }
    pending_ = std::move(still);
}

void CrashModel::Apply(const posix::RecordedOperation& op) {
    switch (op.kind) {
    case RecordedKind::Create:
    case RecordedKind::MakeFolder: {
        if (!Inside(op, {op.folder})) {
            return;
        }
        Node node;
        node.folder = op.kind == RecordedKind::MakeFolder;
        nodes_.push_back(std::move(node));
        const int created = static_cast<int>(nodes_.size() - 1);
        byInode_[op.inode] = created; // an inode number freed earlier may come back
        const NameChange change{op.kind, Known(op.folder), op.name, 0, {}, created};
        ApplyChange(currentNames_, change);
        pending_.push_back(change);
        break;
    }
    case RecordedKind::Write:
        if (Inside(op, {op.inode})) {
            Write(nodes_[static_cast<std::size_t>(Known(op.inode))], op.offset, op.bytes);
        }
        break;
    case RecordedKind::Truncate:
        if (Inside(op, {op.inode})) {
            Resize(nodes_[static_cast<std::size_t>(Known(op.inode))], op.offset);
        }
        break;
    case RecordedKind::SyncFile:
        if (Inside(op, {op.inode})) {
            Node& node = nodes_[static_cast<std::size_t>(Known(op.inode))];
            node.flushed = node.current;
            node.dirtyPages.clear();
        }
        break;
    case RecordedKind::SyncFolder:
        if (Inside(op, {op.inode})) {
            FlushFolder(Known(op.inode));
        }
        break;
    case RecordedKind::WriteBack:
        break; // starts the disk writing, promises nothing
    case RecordedKind::Rename:
    case RecordedKind::Remove: {
        const bool rename = op.kind == RecordedKind::Rename;
        if (!Inside(op, {op.folder, rename ? op.toFolder : op.folder})) {
            return;
        }
        const auto at = currentNames_.find({Known(op.folder), op.name});
        if (at == currentNames_.end()) {
            outside_.push_back("not in the model: " + op.shown.string());
            return;
        }
        const NameChange change{op.kind,   Known(op.folder),
                                op.name,   rename ? Known(op.toFolder) : 0,
                                op.toName, at->second};
        ApplyChange(currentNames_, change);
        pending_.push_back(change);
        break;
    }
    }
}

std::vector<int> CrashModel::FoldersWithChanges() const {
    std::set<int> folders;
    for (const NameChange& change : pending_) {
        folders.insert(change.folder);
        if (change.kind == RecordedKind::Rename) {
            folders.insert(change.toFolder);
        }
    }
    return {folders.begin(), folders.end()};
}

std::vector<int> CrashModel::WrittenFiles() const {
    std::vector<int> files;
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
        if (!nodes_[i].dirtyPages.empty()) {
            files.push_back(static_cast<int>(i));
        }
    }
    return files;
}

std::vector<std::uint64_t> CrashModel::ChoiceSizes() const {
    std::vector<std::uint64_t> sizes;
    for (const int folder : FoldersWithChanges()) {
        sizes.push_back(
            1 + static_cast<std::uint64_t>(
                    std::count_if(pending_.begin(), pending_.end(), [&](const NameChange& change) {
                        return change.folder == folder ||
                               (change.kind == RecordedKind::Rename && change.toFolder == folder);
                    })));
    }
    for (const int file : WrittenFiles()) {
        const Node& node = nodes_[static_cast<std::size_t>(file)];
        sizes.push_back(node.current.size() == node.flushed.size() ? 1 : 2);
        sizes.insert(sizes.end(), node.dirtyPages.size(), 2);
    }
    return sizes;
}

FolderImage CrashModel::Build(const std::vector<std::uint64_t>& choices) const {
    std::size_t next = 0;
    // Names: per folder, the first `kept` of its pending changes survive; a change that
    // touches a folder whose changes stopped is lost, and stops the other folder's too.
    std::map<int, std::uint64_t> kept;
    for (const int folder : FoldersWithChanges()) {
        kept[folder] = choices[next++];
    }
    std::map<int, std::uint64_t> seen;
    std::set<int> stopped;
    Names names = flushedNames_;
    for (const NameChange& change : pending_) {
        std::vector<int> folders{change.folder};
        if (change.kind == RecordedKind::Rename && change.toFolder != change.folder) {
            folders.push_back(change.toFolder);
        }
        bool survives = true;
        for (const int folder : folders) {
            survives = survives && !stopped.contains(folder) && seen[folder] < kept[folder];
            ++seen[folder];
        }
        if (survives) {
            ApplyChange(names, change);
        } else {
            stopped.insert(folders.begin(), folders.end());
        }
    }
    // Contents: the size flushed or written, and each page written since the flush or not.
    std::map<int, std::vector<std::uint8_t>> contents;
    for (const int file : WrittenFiles()) {
        const Node& node = nodes_[static_cast<std::size_t>(file)];
        const bool sizeKept = node.current.size() == node.flushed.size() || choices[next++] == 1;
        std::vector<std::uint8_t> bytes = node.flushed;
        bytes.resize(sizeKept ? node.current.size() : node.flushed.size(), 0);
        for (const std::uint64_t page : node.dirtyPages) {
            if (choices[next++] == 0) {
                continue;
            }
            for (std::uint64_t at = page * kPageSize;
                 at < std::min<std::uint64_t>(bytes.size(), (page + 1) * kPageSize); ++at) {
                bytes[at] = ByteAt(node.current, at);
            }
        }
        contents[file] = std::move(bytes);
    }
    // The tree from the root down.
    FolderImage image;
    std::vector<std::pair<int, std::string>> folders{{0, ""}};
    while (!folders.empty()) {
        const auto [folder, prefix] = folders.back();
        folders.pop_back();
        for (auto at = names.lower_bound({folder, ""});
             at != names.end() && at->first.first == folder; ++at) {
            const std::string path = prefix + at->first.second;
            const Node& node = nodes_[static_cast<std::size_t>(at->second)];
            if (node.folder) {
                image[path] = std::nullopt;
                folders.emplace_back(at->second, path + "/");
            } else {
                const auto written = contents.find(at->second);
                image[path] = written != contents.end() ? written->second : node.flushed;
            }
        }
    }
    return image;
}

std::uint64_t CrashModel::StateCount(std::uint64_t cap) const {
    std::uint64_t count = 1;
    for (const std::uint64_t size : ChoiceSizes()) {
        if (count > cap / size) {
            return cap + 1;
        }
        count *= size;
    }
    return count;
}

std::vector<FolderImage> CrashModel::AllStates() const {
    const std::vector<std::uint64_t> sizes = ChoiceSizes();
    std::vector<std::uint64_t> choices(sizes.size(), 0);
    std::vector<FolderImage> states;
    for (;;) {
        states.push_back(Build(choices));
        std::size_t i = 0;
        while (i < choices.size() && ++choices[i] == sizes[i]) {
            choices[i++] = 0;
        }
        if (i == choices.size()) {
            return states;
        }
    }
}

FolderImage CrashModel::RandomState(std::mt19937_64& random) const {
    std::vector<std::uint64_t> choices;
    for (const std::uint64_t size : ChoiceSizes()) {
        choices.push_back(std::uniform_int_distribution<std::uint64_t>(0, size - 1)(random));
    }
    return Build(choices);
}

FolderImage CrashModel::FlushedState() const {
    return Build(std::vector<std::uint64_t>(ChoiceSizes().size(), 0));
}

FolderImage CrashModel::KeptState() const {
    std::vector<std::uint64_t> choices = ChoiceSizes();
    for (std::uint64_t& choice : choices) {
        choice -= 1;
    }
    return Build(choices);
}

} // namespace crashstates
