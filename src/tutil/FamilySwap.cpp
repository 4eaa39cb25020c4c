#include "tutil/FamilySwap.h"

#include "engine/ErrorCodes.h"
#include "engine/RebuildFiles.h"
#include "paradox/NameCase.h"
#include "tutil/DurableFile.h"
#include "tutil/UtilityError.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace tutil {
namespace fs = std::filesystem;
namespace {

constexpr const char* kJournalMagic = "mendrix-swap 2";
constexpr std::size_t kJournalLimit = 1 << 20;

bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\t\n\r") == std::string::npos &&
           name.find('\0') == std::string::npos && !engine::IsRebuildFileName(name);
}

// The upper-case extension when `name` is a file of family `stem` (any case), else "".
std::string MemberExtension(const std::string& name, const std::string& stem) {
    if (name.size() <= stem.size() + 1 || name[stem.size()] != '.' ||
        paradox::UpperAscii(name.substr(0, stem.size())) != paradox::UpperAscii(stem)) {
        return {};
    }
    const std::string extension = paradox::UpperAscii(name.substr(stem.size() + 1));
    return extension.find('.') == std::string::npos ? extension : std::string();
}

// Why the plan breaks the rules for table `stem`; empty when it keeps them.
std::string PlanProblem(const SwapPlan& plan, const std::string& stem) {
    if (plan.table.substr(0, stem.size()) != stem || MemberExtension(plan.table, stem) != "DB") {
        return "it is not for this table";
    }
    std::set<std::string> targets;
    for (const auto& [from, to] : plan.moves) {
        if (!IsPlainName(from) || !IsPlainName(to)) {
            return "unusable file name " + from + " / " + to;
        }
        const std::string extension = MemberExtension(from, stem);
        if (from.substr(0, stem.size()) != stem || extension.empty() ||
            MemberExtension(to, stem) != extension || (extension == "DB" && to != plan.table)) {
            return "it moves a file outside the table's family: " + from + " / " + to;
        }
        if (!targets.insert(paradox::UpperAscii(to)).second) {
            return "it names " + to + " twice";
        }
    }
    for (const auto& name : plan.additions) {
        if (!IsPlainName(name) || !MemberExtension(name, stem).empty()) {
            return "it adds a file it may not: " + name;
        }
        if (!targets.insert(paradox::UpperAscii(name)).second) {
            return "it names " + name + " twice";
        }
    }
    for (const auto& name : plan.removals) {
        const std::string extension = MemberExtension(name, stem);
        if (!IsPlainName(name) || extension.empty() || extension == "DB") {
            return "it removes a file outside the table's family: " + name;
        }
        if (!targets.insert(paradox::UpperAscii(name)).second) {
            return "it both replaces and removes " + name;
        }
    }
    return {};
}

std::string Checksum(std::string_view text) {
    return engine::HashText(text);
}

[[noreturn]] void Refuse(const fs::path& journal, const std::string& why) {
    throw UtilityError(engine::err::UtilityJournalRefused,
                       journal.string() + " is not a journal this program wrote for the table (" +
                           why + "); move it away");
}

// The journal's bytes; it must be a regular file of a sane size (never a FIFO or a symlink).
bool ReadJournal(const DirHandle& dir, const std::string& name, std::string& text) {
    const int fd = ::openat(dir.Fd(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return false;
        }
        Refuse(dir.Path() / name, std::string("cannot open it: ") + std::strerror(errno));
    }
    struct stat info {};
    std::string why;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        why = "not a regular file";
    } else if (static_cast<std::uint64_t>(info.st_size) > kJournalLimit) {
        why = "too large";
    } else {
        text.resize(static_cast<std::size_t>(info.st_size));
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::read(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                why = "cannot read it";
                break;
            }
            done += static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    if (!why.empty()) {
        Refuse(dir.Path() / name, why);
    }
    return true;
}

bool Exists(const DirHandle& dir, const std::string& name, struct stat* info = nullptr) {
    struct stat local {};
    return ::fstatat(dir.Fd(), name.c_str(), info != nullptr ? info : &local,
                     AT_SYMLINK_NOFOLLOW) == 0;
}

// Checks the files against the journal before anything is touched.
void CheckFiles(const DirHandle& dir, const DirHandle* staging, const std::string& stem,
                const SwapPlan& plan, const fs::path& journal) {
    auto checkStaged = [&](const std::string& from, const std::string& to) {
        struct stat info {};
        if (staging != nullptr && Exists(*staging, from, &info)) {
            const auto size = plan.stagedSizes.find(from);
            if (!S_ISREG(info.st_mode) || size == plan.stagedSizes.end() ||
                size->second != static_cast<std::uint64_t>(info.st_size)) {
                Refuse(journal, "the staged file " + from + " is not the one it was written for");
            }
        } else if (!Exists(dir, to)) {
            Refuse(journal, "neither the staged nor the final " + to + " exists");
        }
    };
    // A name of the family in another case is not ours when a table of that exact stem exists.
    auto checkOwner = [&](const std::string& name) {
        const std::string nameStem = name.substr(0, stem.size());
        if (nameStem == stem) {
            return;
        }
        for (const char* db : {".DB", ".db", ".Db", ".dB"}) {
            if (Exists(dir, nameStem + db)) {
                Refuse(journal, name + " belongs to the table " + nameStem + db);
            }
        }
    };
    for (const auto& [from, to] : plan.moves) {
        checkStaged(from, to);
        checkOwner(to);
    }
    for (const auto& name : plan.additions) {
        checkStaged(name, name);
    }
    for (const auto& name : plan.removals) {
        checkOwner(name);
    }
}

void ApplyPlan(const DirHandle& dir, const DirHandle* staging, const SwapPlan& plan) {
    // A staged file that is gone was moved by an earlier, interrupted attempt.
    for (const auto& [from, to] : plan.moves) {
        if (staging != nullptr && Exists(*staging, from)) {
            RenameFile(*staging, from, dir, to);
        }
    }
    for (const auto& name : plan.additions) {
        if (staging != nullptr && Exists(*staging, name)) {
            RenameFileNoReplace(*staging, name, dir, name);
        }
    }
    for (const auto& name : plan.removals) {
        RemoveFileIfPresent(dir, name);
    }
    SyncDirectory(dir);
}

std::optional<DirHandle> OpenStaging(const DirHandle& dir, const std::string& stem,
                                     const fs::path& journal) {
    const std::string name = engine::RebuildStagingName(stem);
    struct stat info {};
    if (!Exists(dir, name, &info)) {
        return std::nullopt;
    }
    if (!S_ISDIR(info.st_mode)) {
        Refuse(journal, "its staging folder " + name + " is not a folder");
    }
    return DirHandle::OpenChild(dir, name);
}

} // namespace

std::string JournalText(const SwapPlan& plan) {
    auto size = [&](const std::string& name) {
        const auto found = plan.stagedSizes.find(name);
        return std::to_string(found == plan.stagedSizes.end() ? 0 : found->second);
    };
    std::string text = std::string(kJournalMagic) + "\nT\t" + plan.table + "\n";
    for (const auto& [from, to] : plan.moves) {
        text += "M\t" + from + "\t" + to + "\t" + size(from) + "\n";
    }
    for (const auto& name : plan.additions) {
        text += "N\t" + name + "\t" + size(name) + "\n";
    }
    for (const auto& name : plan.removals) {
        text += "R\t" + name + "\n";
    }
    text += "C\t" + Checksum(text) + "\nEND\n";
    return text;
}

bool ParseJournal(const std::string& text, const std::string& stem, SwapPlan& plan) {
    const auto checksumAt = text.rfind("C\t");
    if (checksumAt == std::string::npos || checksumAt == 0 || text[checksumAt - 1] != '\n' ||
        text.compare(checksumAt, std::string::npos,
                     "C\t" + Checksum(std::string_view(text).substr(0, checksumAt)) + "\nEND\n") !=
            0) {
        return false;
    }
    std::istringstream in(text.substr(0, checksumAt));
    std::string line;
    if (!std::getline(in, line) || line != kJournalMagic) {
        return false;
    }
    SwapPlan parsed;
    auto fields = [](const std::string& l) {
        std::vector<std::string> parts;
        std::size_t start = 2;
        for (std::size_t tab; (tab = l.find('\t', start)) != std::string::npos; start = tab + 1) {
            parts.push_back(l.substr(start, tab - start));
        }
        parts.push_back(l.substr(start));
        return parts;
    };
    auto sizeOf = [](const std::string& digits, std::uint64_t& size) {
        if (digits.empty() || digits.size() > 19 ||
            !std::all_of(digits.begin(), digits.end(),
                         [](unsigned char c) { return std::isdigit(c) != 0; })) {
            return false;
        }
        size = std::stoull(digits);
        return true;
    };
    while (std::getline(in, line)) {
        if (line.size() < 2 || line[1] != '\t') {
            return false;
        }
        const auto parts = fields(line);
        std::uint64_t size = 0;
        if (line[0] == 'T' && parts.size() == 1 && parsed.table.empty()) {
            parsed.table = parts[0];
        } else if (line[0] == 'M' && parts.size() == 3 && sizeOf(parts[2], size)) {
            parsed.moves.emplace_back(parts[0], parts[1]);
            parsed.stagedSizes[parts[0]] = size;
        } else if (line[0] == 'N' && parts.size() == 2 && sizeOf(parts[1], size)) {
            parsed.additions.push_back(parts[0]);
            parsed.stagedSizes[parts[0]] = size;
        } else if (line[0] == 'R' && parts.size() == 1) {
            parsed.removals.push_back(parts[0]);
        } else {
            return false;
        }
    }
    if (!PlanProblem(parsed, stem).empty()) {
        return false;
    }
    plan = std::move(parsed);
    return true;
}

bool HasSwapLeftovers(const fs::path& dir, const std::string& stem) {
    std::error_code ec;
    for (const std::string& name :
         {engine::RebuildJournalName(stem), engine::RebuildJournalTempName(stem),
          engine::RebuildStagingName(stem)}) {
        if (fs::exists(fs::symlink_status(dir / name, ec))) {
            return true;
        }
    }
    return false;
}

bool RecoverInterruptedSwap(const fs::path& dir, const std::string& stem) {
    return RecoverInterruptedSwap(DirHandle::Open(dir), stem);
}

bool RecoverInterruptedSwap(const DirHandle& dir, const std::string& stem) {
    const std::string journalName = engine::RebuildJournalName(stem);
    const fs::path journal = dir.Path() / journalName;
    bool found = false;
    std::string text;
    if (ReadJournal(dir, journalName, text)) {
        SwapPlan plan;
        if (!ParseJournal(text, stem, plan)) {
            Refuse(journal, "its text or checksum is not right");
        }
        const std::optional<DirHandle> staging = OpenStaging(dir, stem, journal);
        CheckFiles(dir, staging ? &*staging : nullptr, stem, plan, journal);
        ApplyPlan(dir, staging ? &*staging : nullptr, plan);
        RemoveFileIfPresent(dir, journalName);
        SyncDirectory(dir);
        found = true;
    }
    const std::string journalTemp = engine::RebuildJournalTempName(stem);
    if (Exists(dir, journalTemp)) {
        RemoveFileIfPresent(dir, journalTemp);
        found = true;
    }
    const std::string stagingName = engine::RebuildStagingName(stem);
    struct stat info {};
    if (Exists(dir, stagingName, &info)) {
        if (!S_ISDIR(info.st_mode)) {
            throw UtilityError(engine::err::UtilityJournalRefused,
                               (dir.Path() / stagingName).string() +
                                   " is not a staging folder of this program; " +
                                   engine::DescribeError(engine::err::UtilityJournalRefused));
        }
        RemoveFolderIfPresent(dir, stagingName);
        SyncDirectory(dir);
        found = true;
    }
    return found;
}

DirHandle PrepareStaging(const DirHandle& dir, const std::string& stem) {
    RecoverInterruptedSwap(dir, stem);
    const std::string name = engine::RebuildStagingName(stem);
    if (::mkdirat(dir.Fd(), name.c_str(), 0700) != 0) {
        throw std::system_error(errno, std::generic_category(),
                                "cannot create " + (dir.Path() / name).string());
    }
    SyncDirectory(dir);
    return DirHandle::OpenChild(dir, name);
}

void CommitSwap(const DirHandle& dir, const DirHandle& staging, const std::string& stem,
                const SwapPlan& plan) {
    if (const std::string problem = PlanProblem(plan, stem); !problem.empty()) {
        throw std::invalid_argument("swap refused: " + problem);
    }
    SwapPlan recorded = plan;
    for (const auto& [from, to] : plan.moves) {
        struct stat info {};
        if (!Exists(staging, from, &info) || !S_ISREG(info.st_mode)) {
            throw std::invalid_argument("swap refused: no staged file " + from);
        }
        recorded.stagedSizes[from] = static_cast<std::uint64_t>(info.st_size);
    }
    for (const auto& name : plan.additions) {
        struct stat info {};
        if (!Exists(staging, name, &info) || !S_ISREG(info.st_mode)) {
            throw std::invalid_argument("swap refused: no staged file " + name);
        }
        recorded.stagedSizes[name] = static_cast<std::uint64_t>(info.st_size);
    }
    SyncDirectory(staging);
    const std::string journal = engine::RebuildJournalName(stem);
    const std::string journalTemp = engine::RebuildJournalTempName(stem);
    WriteFileDurably(dir, journalTemp, JournalText(recorded));
    RenameFile(dir, journalTemp, dir, journal);
    SyncDirectory(dir); // the point of no return
    ApplyPlan(dir, &staging, recorded);
    RemoveFileIfPresent(dir, journal);
    RemoveOpenFolder(dir, engine::RebuildStagingName(stem), staging);
    SyncDirectory(dir);
}

} // namespace tutil
