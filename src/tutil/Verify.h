#pragma once

#include "paradox/Finding.h"
#include "tutil/TableLocation.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tutil {

// Verdict of a verification.
enum class VerifyStatus : std::uint32_t {
    Healthy = 0,       // nothing wrong
    Repairable = 1,    // problems found; a rebuild repairs all of them
    Incomplete = 2,    // verification could not be completed (file ends early, unreadable)
    ManualRebuild = 3, // structure unknown (field descriptors damaged)
    CannotRebuild = 4, // not a Paradox table, or a protected one whose key cannot be found
};

// Progress phases of the general-progress record, the verify phases of the problem table.
using paradox::Phase;

struct VerifyOutcome {
    VerifyStatus status = VerifyStatus::Healthy;
    paradox::FindingList findings;
    std::vector<Phase> findingPhases; // phase of each finding, parallel to findings.All()
};

// Checks the whole family of the table: header, indexes against the table, the data blocks,
// every record's values, key order, blobs. Reports progress for phases 0, 1 and 2.
// UtilityError only when it cannot run at all.
VerifyOutcome VerifyTable(const TableLocation& table);

// A table with at least this many bytes of records (4 MB unless set) has its records and blobs
// checked on a second thread while its indexes are checked, then on both threads in stretches
// of about `SetStretchBytes` bytes of records (8 MB unless set; whole blocks, 2 to 64
// stretches); the findings and progress reports come in the same order either way.
namespace testing {
void SetSecondThreadFrom(std::uint64_t recordBytes);
void SetStretchBytes(std::uint64_t recordBytes);
// The stretches taken from the end of the chain, as a thread that overtook the others might.
void TakeStretchesLastFirst(bool lastFirst);
} // namespace testing

// The status the findings call for.
// `tableFile`: the .DB's file name, whose findings alone can leave the structure unknown.
VerifyStatus StatusFor(const paradox::FindingList& findings, bool headerUnderstood,
                       std::string_view tableFile);

} // namespace tutil
