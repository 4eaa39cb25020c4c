#pragma once

#include "paradox/Finding.h"
#include "paradox/Schema.h"
#include "tutil/StructureSalvage.h"
#include "tutil/TableLocation.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tutil {

// Names of the work tables of a rebuild, as the caller gave them (with or without ".DB").
// The backup, key-violation and problem tables go into the table's folder and never replace
// anything: when a file of the name exists, the next free numbered name is used (ORDERS-BACKUP
// gives ORDERS-BACKUP1, ORDERS-BACKUP2, ...). The error table goes into the private directory
// of the engine's session (see WriteErrorTable).
struct RebuildNames {
    std::string backup;
    std::string keyViolations;
    std::string problems;
    std::string errorTable; // findings of the rebuild; empty for none
};

// What a rebuild may do when the new table cannot hold everything the old one held.
struct RebuildPolicy {
    // false: refuse (UtilityError UtilityWouldLoseData, nothing changed). true: keep what can
    // be read, the rest stays in the byte backup, and the outcome says what was lost.
    bool acceptLoss = false;
};

struct RebuildOutcome {
    std::uint64_t recordsRead = 0;        // records found in the damaged table
    std::uint64_t recordsWritten = 0;     // records in the rebuilt table
    std::uint64_t keyViolations = 0;      // records moved to the key-violation table
    std::uint64_t problems = 0;           // rows written to the problem table
    std::vector<std::string> lostIndexes; // index files that could not be rebuilt (ORDERS.X02)
    std::uint64_t recordsLost = 0;        // records neither rebuilt nor set aside
    std::string lossEvidence;    // "15 of at most 20 records (the header counts 20, ...)" when lost
    std::string blobFileLeftOut; // a blob file holding blobs the new table has no field for
    paradox::FindingList findings; // what the rebuild met
    // Where the fields came from when the table's own header could not describe them
    // ("ORDERS.PX, ORDERS.X02", "backup ORDERS-BACKUP.DB"...); empty when it could.
    std::string structureSource;
    // The key the new table is protected with when the header's stored key did not read the
    // blocks and the key was found again from the data; none otherwise.
    std::optional<std::uint32_t> recoveredKey;
    // The .DB files written, empty for a table that was not needed.
    std::filesystem::path backupTable, keyViolationTable, problemTable, errorTable;
};

// Rebuilds the table into `schema`: backs the family up byte for byte, recovers every
// readable record, writes the new family beside it and swaps it in as one step.
// UtilityError when it cannot be done; the table is then unchanged. A secondary index whose
// file cannot be read is not reproduced: the rebuild goes on and names it in lostIndexes.
// When the table's header does not describe its fields, they are taken from the first source
// `structure` allows that the data bears out (see SalvageStructure); none: UtilityError
// saying why each failed, and the table is unchanged.
//
// Every record the evidence says the table held (see EstimateRecordCeiling) must be in the new
// table, the key-violation table or the problem table; a blob file that holds blobs must stay
// with a table that has a blob field; an index file that cannot be read must be reproducible
// from its name (.Xnn). Otherwise the rebuild refuses, unless `policy` accepts the loss: it then
// goes on and the outcome says what was lost (IncompleteRebuildText).
RebuildOutcome RebuildTable(const TableLocation& table, const paradox::TableSchema& schema,
                            const RebuildNames& names, const StructureChoice& structure = {},
                            const RebuildPolicy& policy = {});

// What a finished rebuild could not keep, for the operator ("15 of at most 20 records lost
// (...); ORDERS.X02 left out; ..."); empty when it kept everything.
std::string IncompleteRebuildText(const RebuildOutcome& outcome);

} // namespace tutil
