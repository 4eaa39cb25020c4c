#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace tutil {

// Replacing a table family (and its work tables) as one step.
//
// Everything new is first written and flushed in a staging folder beside the table. The
// swap then writes a journal listing every rename from the staging folder into the table's
// folder and every old file to remove; once the journal is on disk the swap counts as done
// and is completed by whoever comes next (RecoverInterruptedSwap), however often the
// process dies on the way. Before the journal exists, nothing in the table's folder has
// changed and the staging folder is simply thrown away. So after recovery the folder holds
// either the whole old family or the whole new one.

struct SwapPlan {
    std::vector<std::pair<std::string, std::string>> moves; // staged name -> final name
    std::vector<std::string> removals;                      // final names to delete
};

// The staging folder of table `stem` in `dir` (created by PrepareStaging).
std::filesystem::path StagingDir(const std::filesystem::path& dir, const std::string& stem);
std::filesystem::path JournalPath(const std::filesystem::path& dir, const std::string& stem);

// Finishes or discards an earlier interrupted swap, then makes an empty staging folder.
std::filesystem::path PrepareStaging(const std::filesystem::path& dir, const std::string& stem);

// Makes the plan durable, carries it out and removes the staging folder.
// std::invalid_argument for names that are not plain file names.
void CommitSwap(const std::filesystem::path& dir, const std::string& stem, const SwapPlan& plan);

// Completes a swap whose journal is on disk, or discards a staging folder without one.
// Returns true when there was anything to finish or discard. std::runtime_error when a
// journal exists but cannot be understood (then nothing is touched).
bool RecoverInterruptedSwap(const std::filesystem::path& dir, const std::string& stem);

// Serialised journal text and its parser (exposed for tests).
std::string JournalText(const SwapPlan& plan);
bool ParseJournal(const std::string& text, SwapPlan& plan);

} // namespace tutil
