#pragma once

#include "paradox/Finding.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The open test of a Check & Repair: the table opened once with each of its indexes.
struct OpenTestResult {
    bool tried = false;
    bool failed = false;
    std::string index;   // the index that failed; empty when the table failed before any index
    std::string failure; // the engine's message for the failure
};

// What a verify of the table learned.
struct VerifyResult {
    bool ran = false;
    std::uint16_t result = 0;            // engine code of the call, 0 when it ran to its end
    std::optional<std::uint32_t> status; // 0 to 4 (see TUVerifyTable); none when the call failed
    std::string verdict;                 // the verdict line the repair engine gave for it
    std::vector<paradox::Finding> findings;
    std::filesystem::path errorTable; // the error table written for it; empty for none
};

// What a rebuild of the table did.
struct RebuildResult {
    bool ran = false;         // the library was asked to rebuild
    std::uint16_t result = 0; // engine code, 0 when rebuilt with everything kept
    bool replaced = false;    // the table was replaced (also with losses, when accepted)
    std::string verdict;      // the verdict line the repair engine gave for it
    std::uint64_t recordsRead = 0;
    std::uint64_t recordsWritten = 0;
    std::uint64_t keyViolations = 0; // records set aside in the key-violation table
    std::uint64_t problems = 0;      // rows set aside in the problem table
    std::uint64_t recordsLost = 0;
    // The .DB files this rebuild wrote, named by the library that wrote them; empty for none.
    std::filesystem::path backupTable, keyViolationTable, problemTable;
    std::string structureSource; // where the fields came from; empty for the table's own header
    std::optional<std::uint32_t> recoveredKey; // the key found again for a damaged stored key
};

// Everything a run learned about one table, in the order of the run's steps.
struct TableResult {
    std::string name; // as the table list names it
    OpenTestResult open;
    VerifyResult verify;
    RebuildResult rebuild;
    bool reopened = false;          // Check & Repair: the table opened after its repair
    bool aborted = false;           // the run ended on this table ("Aborted due to error")
    bool foreign = false;           // not a Paradox table: skipped, nothing done to it
    std::string verdict;            // the last verdict line written for it; empty when none was
    std::vector<std::string> lines; // the pane lines written while it was worked on
    std::chrono::system_clock::time_point started, finished;
};

} // namespace platform
