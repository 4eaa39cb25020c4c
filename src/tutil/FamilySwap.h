#pragma once

#include "paradox/FindingDetail.h"
#include "tutil/DirHandle.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tutil {

// Replacing a table family (and adding its work tables) as one step.
//
// Everything new is first written and flushed in a staging folder beside the table. The
// swap then writes a journal listing every rename from the staging folder into the table's
// folder and every old file to remove; once the journal is on disk the swap counts as done
// and is completed by whoever comes next (RecoverInterruptedSwap), however often the
// process dies on the way. Before the journal exists, nothing in the table's folder has
// changed and the staging folder is simply thrown away. So after recovery the folder holds
// either the whole old family or the whole new one.
//
// Before the journal is written every target is checked: a file to replace must be a regular
// file (or absent), a new file's name must be free. A new file whose name was taken (also by
// another process after that check) lands under the next free numbered name, the files of one
// work table together under one stem; the journal is rewritten to say so before anything lands
// there. A swap stopped after its journal was written leaves the journal and the staging folder
// for recovery and throws UtilityError(UtilityRebuildFailed) saying which files are in place,
// which wait and why; recovery that cannot finish (a folder where a file must go) leaves
// everything as it is and says the same.
//
// A journal is carried out only when it is plainly one of ours for this table: its checksum
// holds, it names only files of the table's family (and new files that replace nothing), and
// the staged files still have the sizes it recorded. Otherwise nothing is touched and
// UtilityError(UtilityJournalRefused) says which journal to move away.

struct SwapPlan {
    std::string table;                                      // the table's .DB file name
    std::vector<std::pair<std::string, std::string>> moves; // staged name -> final name
    std::vector<std::string> additions; // staged names that become new files (see placedAs)
    std::vector<std::string> removals;  // final names to delete
    std::map<std::string, std::uint64_t> stagedSizes; // filled by CommitSwap
    // New files that take another name than their staged one because theirs was taken: staged
    // name -> the name they land under. Filled by the swap.
    std::map<std::string, std::string> placedAs;
    // Staged name -> file of the table's folder whose owner, group and permissions it takes.
    // Without an entry a move takes those of the file it replaces, anything else the table's.
    std::map<std::string, std::string> ownerFrom;
};

// The name the new file `staged` of the plan lands under in the table's folder.
std::string AdditionTarget(const SwapPlan& plan, const std::string& staged);

// Finishes or discards an earlier interrupted swap of table `stem` in `dir`, then makes an
// empty staging folder (mode 0700) and returns it open.
DirHandle PrepareStaging(const DirHandle& dir, const std::string& stem);

// Makes the plan durable, carries it out and removes the staging folder; returns the plan as it
// was carried out (placedAs filled). std::invalid_argument for a plan that does not keep to the
// rules above; UtilityError when a target is in the way (nothing changed then).
SwapPlan CommitSwap(const DirHandle& dir, const DirHandle& staging, const std::string& stem,
                    const SwapPlan& plan);

// Whether the swap of table `stem` has its journal on disk (then recovery owns the staging folder).
bool SwapCommitted(const DirHandle& dir, const std::string& stem);

// Whether a swap of table `stem` left anything behind (journal, its temporary, staging).
bool HasSwapLeftovers(const std::filesystem::path& dir, const std::string& stem);

// Completes a swap whose journal is on disk, or discards a staging folder without one.
// Returns true when there was anything to finish or discard; `done`, when given, then says
// which it was.
bool RecoverInterruptedSwap(const std::filesystem::path& dir, const std::string& stem,
                            paradox::FindingDetail* done = nullptr);
bool RecoverInterruptedSwap(const DirHandle& dir, const std::string& stem,
                            paradox::FindingDetail* done = nullptr);

// Serialised journal text and its parser for table `stem` (exposed for tests). The parser
// checks the checksum and the names, not the files.
std::string JournalText(const SwapPlan& plan);
bool ParseJournal(const std::string& text, const std::string& stem, SwapPlan& plan);

} // namespace tutil
