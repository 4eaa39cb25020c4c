#include "tutil/FamilySwap.h"

#include "engine/ErrorCodes.h"
#include "engine/RebuildFiles.h"
#include "paradox/NameCase.h"
#include "tutil/DurableFile.h"
#include "tutil/UtilityError.h"
#include "tutil/WorkTables.h"

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
        const std::string target = AdditionTarget(plan, name);
        if (!IsPlainName(name) || !MemberExtension(name, stem).empty() || !IsPlainName(target) ||
            !MemberExtension(target, stem).empty() ||
            paradox::UpperAscii(fs::path(target).extension().string()) !=
                paradox::UpperAscii(fs::path(name).extension().string())) {
            return "it adds a file it may not: " + name + " / " + target;
        }
        if (!targets.insert(paradox::UpperAscii(target)).second) {
            return "it names " + target + " twice";
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
        checkStaged(name, AdditionTarget(plan, name));
    }
    for (const auto& name : plan.removals) {
        checkOwner(name);
    }
}

[[noreturn]] void ThrowObstacle(const DirHandle& dir, const std::string& name,
                                const std::string& what) {
    throw UtilityError(engine::err::UtilityRebuildFailed,
                       (dir.Path() / name).string() + " is " + what +
                           "; move it away, then verify or rebuild the table again");
}

// A file to replace or remove must be a regular file, a link or gone, never a folder (it may
// hold files) or a device. A FIFO or socket holds no data: an index name one took is replaced.
void CheckTargets(const DirHandle& dir, const DirHandle* staging, const SwapPlan& plan) {
    auto check = [&](const std::string& name, const std::string& role) {
        struct stat info {};
        if (Exists(dir, name, &info) &&
            (S_ISDIR(info.st_mode) || S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))) {
            ThrowObstacle(dir, name,
                          std::string(S_ISDIR(info.st_mode) ? "a folder" : "a device") + " where " +
                              role);
        }
    };
    for (const auto& [from, to] : plan.moves) {
        if (staging == nullptr || Exists(*staging, from)) {
            check(to, "the rebuilt " + to + " must go");
        }
    }
    for (const auto& name : plan.removals) {
        check(name, "the old " + name + " was to be removed");
    }
}

// The additions in groups of one work table each (same stem), in the plan's order.
std::vector<std::vector<std::string>> AdditionGroups(const SwapPlan& plan) {
    std::vector<std::vector<std::string>> groups;
    std::vector<std::string> stems;
    for (const auto& name : plan.additions) {
        const std::string groupStem = fs::path(name).stem().string();
        const auto at = std::find(stems.begin(), stems.end(), groupStem);
        if (at == stems.end()) {
            stems.push_back(groupStem);
            groups.push_back({name});
        } else {
            groups[static_cast<std::size_t>(at - stems.begin())].push_back(name);
        }
    }
    return groups;
}

// The stem a group of additions lands under.
std::string TargetStem(const SwapPlan& plan, const std::vector<std::string>& group) {
    return fs::path(AdditionTarget(plan, group.front())).stem().string();
}

// Gives `group` (all still staged) the first free stem when a file of the folder uses its own.
// Returns whether it moved to another stem.
bool PlaceGroup(const DirHandle& dir, SwapPlan& plan, const std::vector<std::string>& group,
                const std::string& tableStem) {
    const std::string current = TargetStem(plan, group);
    std::vector<std::string> taken = {tableStem};
    for (const auto& other : AdditionGroups(plan)) {
        if (other != group) {
            taken.push_back(TargetStem(plan, other));
        }
    }
    const std::string chosen = FreeWorkTableStem(dir.Path(), current, taken);
    if (chosen == current) {
        return false;
    }
    const std::string stagedStem = fs::path(group.front()).stem().string();
    for (const auto& name : group) {
        plan.placedAs[name] = chosen + name.substr(stagedStem.size());
    }
    return true;
}

// Replaces the journal with one for `plan` (as one rename, so either version is whole).
void WriteJournal(const DirHandle& dir, const std::string& stem, const SwapPlan& plan) {
    const std::string journal = engine::RebuildJournalName(stem);
    const std::string journalTemp = engine::RebuildJournalTempName(stem);
    RemoveFileIfPresent(dir, journalTemp);
    WriteFileDurably(dir, journalTemp, JournalText(plan));
    RenameFile(dir, journalTemp, dir, journal);
    SyncDirectory(dir);
}

bool IsNameTaken(const std::system_error& error) {
    return error.code() == std::errc::file_exists;
}

// Carries out a plan whose journal is on disk; a work table whose name another process took
// meanwhile goes under a free one (the journal rewritten first). `plan` ends as carried out.
void ApplyPlan(const DirHandle& dir, const DirHandle* staging, const std::string& stem,
               SwapPlan& plan) {
    CheckTargets(dir, staging, plan);
    // A staged file that is gone was moved by an earlier, interrupted attempt.
    for (const auto& [from, to] : plan.moves) {
        if (staging != nullptr && Exists(*staging, from)) {
            RenameFile(*staging, from, dir, to);
        }
    }
    for (const auto& group : AdditionGroups(plan)) {
        auto allStaged = [&] {
            return staging != nullptr &&
                   std::all_of(group.begin(), group.end(),
                               [&](const std::string& name) { return Exists(*staging, name); });
        };
        for (int attempt = 0;; ++attempt) {
            try {
                if (allStaged() && PlaceGroup(dir, plan, group, stem)) {
                    WriteJournal(dir, stem, plan);
                }
                for (const auto& name : group) {
                    if (staging != nullptr && Exists(*staging, name)) {
                        RenameFileNoReplace(*staging, name, dir, AdditionTarget(plan, name));
                    }
                }
                break;
            } catch (const std::system_error& error) {
                // Taken between the look and the rename: look again, unless part of the
                // work table already landed under its name.
                if (!IsNameTaken(error) || attempt >= 3 || !allStaged()) {
                    throw;
                }
            }
        }
    }
    for (const auto& name : plan.removals) {
        RemoveFileIfPresent(dir, name);
    }
    SyncDirectory(dir);
}

std::string NameList(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text.empty() ? "none" : text;
}

// What a swap stopped after its journal was written has done and has left to do.
std::string SwapState(const DirHandle& dir, const DirHandle* staging, const std::string& stem,
                      const SwapPlan& plan) {
    std::vector<std::string> placed;
    std::vector<std::string> waiting;
    auto sort = [&](const std::string& from, const std::string& to) {
        if (staging != nullptr && Exists(*staging, from)) {
            waiting.push_back(from);
        } else {
            placed.push_back(to);
        }
    };
    for (const auto& [from, to] : plan.moves) {
        sort(from, to);
    }
    for (const auto& name : plan.additions) {
        sort(name, AdditionTarget(plan, name));
    }
    return "in place: " + NameList(placed) + "; waiting in " +
           (dir.Path() / engine::RebuildStagingName(stem)).string() + ": " + NameList(waiting);
}

// Says where a swap past its point of no return stopped; the files stay for the next run.
[[noreturn]] void ThrowStopped(const DirHandle& dir, const DirHandle* staging,
                               const std::string& stem, const SwapPlan& plan,
                               const std::string& how, const std::exception& cause) {
    throw UtilityError(engine::err::UtilityRebuildFailed,
                       how + ": " + cause.what() + " (" + SwapState(dir, staging, stem, plan) +
                           "); nothing was deleted, the backup included; the next verify or "
                           "rebuild of the table completes the swap");
}

// New files take the owner and permissions of what they stand for, never more open ones
// than those of the table's own files.
void KeepOwners(const DirHandle& dir, const DirHandle& staging, const SwapPlan& plan) {
    auto keep = [&](const std::string& staged, const std::string& standsFor) {
        const auto given = plan.ownerFrom.find(staged);
        struct stat original {};
        if ((given != plan.ownerFrom.end() && Exists(dir, given->second, &original)) ||
            (given == plan.ownerFrom.end() && Exists(dir, standsFor, &original) &&
             S_ISREG(original.st_mode)) ||
            Exists(dir, plan.table, &original)) {
            if (S_ISREG(original.st_mode)) {
                TakeOwnerAndMode(staging, staged, original);
            }
        }
    };
    for (const auto& [from, to] : plan.moves) {
        keep(from, to);
    }
    for (const auto& name : plan.additions) {
        keep(name, plan.table);
    }
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

std::string AdditionTarget(const SwapPlan& plan, const std::string& staged) {
    const auto placed = plan.placedAs.find(staged);
    return placed == plan.placedAs.end() ? staged : placed->second;
}

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
        const std::string target = AdditionTarget(plan, name);
        text += "N\t" + name + "\t" + size(name) + (target == name ? "" : "\t" + target) + "\n";
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
        } else if (line[0] == 'N' && (parts.size() == 2 || parts.size() == 3) &&
                   sizeOf(parts[1], size)) {
            parsed.additions.push_back(parts[0]);
            parsed.stagedSizes[parts[0]] = size;
            if (parts.size() == 3) {
                parsed.placedAs[parts[0]] = parts[2];
            }
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

bool RecoverInterruptedSwap(const fs::path& dir, const std::string& stem,
                            paradox::FindingDetail* done) {
    return RecoverInterruptedSwap(DirHandle::Open(dir), stem, done);
}

bool RecoverInterruptedSwap(const DirHandle& dir, const std::string& stem,
                            paradox::FindingDetail* done) {
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
        const DirHandle* stagingDir = staging ? &*staging : nullptr;
        CheckFiles(dir, stagingDir, stem, plan, journal);
        try {
            ApplyPlan(dir, stagingDir, stem, plan);
        } catch (const std::exception& error) {
            ThrowStopped(dir, stagingDir, stem, plan,
                         "the interrupted rebuild of " + (dir.Path() / plan.table).string() +
                             " cannot be completed yet",
                         error);
        }
        RemoveFileIfPresent(dir, journalName);
        SyncDirectory(dir);
        found = true;
        if (done != nullptr) {
            *done = paradox::Detail(paradox::DetailKind::SwapCompleted).Extra(journalName);
        }
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
    if (found && done != nullptr && done->Empty()) {
        *done = paradox::Detail(paradox::DetailKind::SwapRolledBack).Extra(stagingName);
    }
    return found;
}

DirHandle PrepareStaging(const DirHandle& dir, const std::string& stem) {
    RecoverInterruptedSwap(dir, stem);
    const std::string name = engine::RebuildStagingName(stem);
    MakeFolder(dir, name, 0700);
    SyncDirectory(dir);
    return DirHandle::OpenChild(dir, name);
}

bool SwapCommitted(const DirHandle& dir, const std::string& stem) {
    return Exists(dir, engine::RebuildJournalName(stem));
}

SwapPlan CommitSwap(const DirHandle& dir, const DirHandle& staging, const std::string& stem,
                    const SwapPlan& plan) {
    if (const std::string problem = PlanProblem(plan, stem); !problem.empty()) {
        throw std::invalid_argument("swap refused: " + problem);
    }
    SwapPlan recorded = plan;
    auto recordSize = [&](const std::string& name) {
        struct stat info {};
        if (!Exists(staging, name, &info) || !S_ISREG(info.st_mode)) {
            throw std::invalid_argument("swap refused: no staged file " + name);
        }
        recorded.stagedSizes[name] = static_cast<std::uint64_t>(info.st_size);
    };
    for (const auto& [from, to] : plan.moves) {
        recordSize(from);
    }
    for (const auto& name : plan.additions) {
        recordSize(name);
    }
    // Everything that could stop the swap halfway is looked at while it can still be dropped.
    CheckTargets(dir, &staging, recorded);
    for (const auto& group : AdditionGroups(recorded)) {
        PlaceGroup(dir, recorded, group, stem);
    }
    KeepOwners(dir, staging, recorded);
    SyncDirectory(staging);
    const std::string journal = engine::RebuildJournalName(stem);
    const std::string journalTemp = engine::RebuildJournalTempName(stem);
    WriteFileDurably(dir, journalTemp, JournalText(recorded));
    RenameFile(dir, journalTemp, dir, journal);
    try {
        SyncDirectory(dir); // the point of no return
        ApplyPlan(dir, &staging, stem, recorded);
    } catch (const std::exception& error) {
        ThrowStopped(dir, &staging, stem, recorded,
                     "the rebuild of " + (dir.Path() / plan.table).string() +
                         " was committed but its swap stopped",
                     error);
    }
    try {
        RemoveFileIfPresent(dir, journal);
        RemoveOpenFolder(dir, engine::RebuildStagingName(stem), staging);
        SyncDirectory(dir);
    } catch (const std::system_error&) {
        // The new family is in place; the next run clears what is left.
    }
    return recorded;
}

} // namespace tutil
