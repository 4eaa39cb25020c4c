#include "tutil/FamilySwap.h"

#include "engine/RebuildFiles.h"
#include "tutil/DurableFile.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace tutil {
namespace fs = std::filesystem;
namespace {

constexpr const char* kJournalMagic = "mendrix-swap 1";

bool IsPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\t\n\r") == std::string::npos &&
           name.find('\0') == std::string::npos;
}

void CheckPlan(const SwapPlan& plan) {
    for (const auto& [from, to] : plan.moves) {
        if (!IsPlainName(from) || !IsPlainName(to)) {
            throw std::invalid_argument("file name unusable in a swap: " + from + " / " + to);
        }
    }
    for (const auto& name : plan.removals) {
        if (!IsPlainName(name)) {
            throw std::invalid_argument("file name unusable in a swap: " + name);
        }
        for (const auto& move : plan.moves) {
            if (move.second == name) {
                throw std::invalid_argument("swap both replaces and removes " + name);
            }
        }
    }
}

void RemoveTree(const fs::path& dir) {
    std::error_code ec;
    fs::remove_all(dir, ec);
    if (ec) {
        throw std::system_error(ec, "cannot remove " + dir.string());
    }
}

void ApplyPlan(const fs::path& dir, const fs::path& staging, const SwapPlan& plan) {
    for (const auto& [from, to] : plan.moves) {
        const fs::path source = staging / from;
        // A staged file that is gone was moved by an earlier, interrupted attempt.
        if (fs::exists(fs::symlink_status(source))) {
            RenameFile(source, dir / to);
        }
    }
    for (const auto& name : plan.removals) {
        RemoveFileIfPresent(dir / name);
    }
    SyncDirectory(dir);
}

} // namespace

fs::path StagingDir(const fs::path& dir, const std::string& stem) {
    return engine::RebuildStagingDir(dir, stem);
}

fs::path JournalPath(const fs::path& dir, const std::string& stem) {
    return engine::RebuildJournalPath(dir, stem);
}

std::string JournalText(const SwapPlan& plan) {
    std::string text = std::string(kJournalMagic) + "\n";
    for (const auto& [from, to] : plan.moves) {
        text += "M\t" + from + "\t" + to + "\n";
    }
    for (const auto& name : plan.removals) {
        text += "R\t" + name + "\n";
    }
    text += "END\n";
    return text;
}

bool ParseJournal(const std::string& text, SwapPlan& plan) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kJournalMagic) {
        return false;
    }
    SwapPlan parsed;
    bool ended = false;
    while (std::getline(in, line)) {
        if (ended) {
            return false;
        }
        if (line == "END") {
            ended = true;
        } else if (line.rfind("M\t", 0) == 0) {
            const auto tab = line.find('\t', 2);
            if (tab == std::string::npos) {
                return false;
            }
            parsed.moves.emplace_back(line.substr(2, tab - 2), line.substr(tab + 1));
        } else if (line.rfind("R\t", 0) == 0) {
            parsed.removals.push_back(line.substr(2));
        } else {
            return false;
        }
    }
    if (!ended) {
        return false;
    }
    try {
        CheckPlan(parsed);
    } catch (const std::invalid_argument&) {
        return false;
    }
    plan = std::move(parsed);
    return true;
}

bool RecoverInterruptedSwap(const fs::path& dir, const std::string& stem) {
    const fs::path journal = JournalPath(dir, stem);
    const fs::path staging = StagingDir(dir, stem);
    const fs::path journalTemp = journal.string() + ".tmp";
    bool found = false;
    if (fs::exists(fs::symlink_status(journal))) {
        constexpr std::size_t kJournalLimit = 1 << 20;
        const std::string text = ReadRegularFile(journal, kJournalLimit);
        SwapPlan plan;
        if (!ParseJournal(text, plan)) {
            throw std::runtime_error("unreadable rebuild journal " + journal.string());
        }
        ApplyPlan(dir, staging, plan);
        RemoveFileIfPresent(journal);
        SyncDirectory(dir);
        found = true;
    }
    if (fs::exists(fs::symlink_status(journalTemp))) {
        RemoveFileIfPresent(journalTemp);
        found = true;
    }
    if (fs::exists(fs::symlink_status(staging))) {
        RemoveTree(staging);
        SyncDirectory(dir);
        found = true;
    }
    return found;
}

fs::path PrepareStaging(const fs::path& dir, const std::string& stem) {
    RecoverInterruptedSwap(dir, stem);
    const fs::path staging = StagingDir(dir, stem);
    fs::create_directory(staging);
    SyncDirectory(dir);
    return staging;
}

void CommitSwap(const fs::path& dir, const std::string& stem, const SwapPlan& plan) {
    CheckPlan(plan);
    const fs::path staging = StagingDir(dir, stem);
    SyncDirectory(staging);
    const fs::path journal = JournalPath(dir, stem);
    const fs::path journalTemp = journal.string() + ".tmp";
    WriteFileDurably(journalTemp, JournalText(plan));
    RenameFile(journalTemp, journal);
    SyncDirectory(dir); // the point of no return
    ApplyPlan(dir, staging, plan);
    RemoveFileIfPresent(journal);
    RemoveTree(staging);
    SyncDirectory(dir);
}

} // namespace tutil
