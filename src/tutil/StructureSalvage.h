#pragma once

#include "paradox/Finding.h"
#include "paradox/Header.h"
#include "paradox/Schema.h"
#include "paradox/TableReader.h"
#include "tutil/TableLocation.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tutil {

// Where a rebuild may take a table's structure from when the table's own header cannot
// describe its fields. The family's own files and earlier backups are always looked at; a
// template only when named; inference from the data only when allowed, because its field
// names are made up and its types are a reading of the bytes.
// A source the operator names is the only one tried: it is used, or the rebuild is refused
// with its reason, even where the table's own header can be read.
struct StructureChoice {
    std::filesystem::path templateTable; // another table of the same structure; empty = none
    bool allowInference = false;

    bool NamesASource() const { return !templateTable.empty() || allowInference; }
};

// One source of a structure and what became of it.
struct StructureCandidate {
    std::string source;    // "ORDERS.PX, ORDERS.X02 with the table's own header", ...
    bool inferred = false; // read from the data rather than found in a file
    bool named = false;    // the operator named it (a template, or inference when allowed)
    bool complete = false; // it gave every field
    bool tried = false;    // proved against the data
    bool holds = false;    // the proof held
    std::string reason;    // why it is incomplete or failed the proof
    paradox::TableSchema schema;
};

// The structure for a table whose header does not describe its fields: every candidate in
// order, the first that held (if any), and the header to read the damaged file with.
struct SalvagedStructure {
    std::vector<StructureCandidate> candidates;
    std::optional<std::size_t> used;
    paradox::TableHeader header; // fields and block layout for reading the damaged .DB
    paradox::TableSchema schema; // the structure of the new family, secondary indexes included
    // How the key of a protected table was found when the header's own did not serve.
    std::string keyFinding;

    const StructureCandidate* Used() const { return used ? &candidates[*used] : nullptr; }
    // "source: reason; source: reason": why each candidate was not used.
    std::string WhyNoneHeld() const;
};

// Whether the table's own header leaves its fields unknown (a verify status 3 table).
bool StructureUnknown(const TableLocation& table);

// Gathers the candidates in order (own header, index files, backups of earlier rebuilds, the
// template, inference) and proves each against the data until one holds (only the named ones
// when `choice` names a source; the others are listed untried): the record size
// divides every chain block's used bytes, every record decodes, keys ascend along the chain
// of a keyed table, blob pointers land inside the .MB. Candidates after the one used are
// listed untried. A protected table's blocks are decrypted first, with the key
// FindStructureKey finds; the header to read with and the new family keep it. Changes nothing
// on disk. With `proveAll`, every complete candidate is proved (for reports) and the first
// that held is still the one used.
SalvagedStructure SalvageStructure(const TableLocation& table, const StructureChoice& choice,
                                   bool proveAll = false);

// The damaged table opened under the structure SalvageStructure finds, with a finding for the
// source used and one for each source tried before it; *source names the one used.
// UtilityError(HeaderCorrupt) with each candidate's reason when none holds.
std::unique_ptr<paradox::TableReader> OpenUnderSalvagedStructure(const TableLocation& table,
                                                                 const StructureChoice& choice,
                                                                 paradox::FindingList& findings,
                                                                 std::string* source);

// Findings for a table whose header does not describe its fields: each source, whether it is
// there and fits the data, and which one a rebuild would use (inference only on request).
// True when a source found in files fits or the data can be read for one.
bool ReportStructureSources(const TableLocation& table, paradox::FindingList& findings);

} // namespace tutil
