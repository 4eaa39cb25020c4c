#pragma once

#include "paradox/Finding.h"
#include "paradox/Header.h"
#include "paradox/Schema.h"
#include "paradox/SecondaryIndexProof.h"
#include "paradox/TableReader.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace paradox {

// Checks a secondary index: the X file as a table of its own, the Y file as the index of the
// X file, the X header against the table, and for a maintained index every X record against
// the table record it points at. A non-maintained index that is merely stale is not damage.
// yFile may be empty when the Y file is missing (reported).
// `deferred`, when given, is the plan PlanSecondaryProof made for this X file: when the X file
// is what the plan expected, the X side of the proof goes into it and the record-by-record
// comparison is left out; the caller takes the table's side and, unless the plan Agrees(),
// checks again without a plan.
// Returns the X file as opened here, for other checks of its records; nullptr when it could
// not be opened.
std::unique_ptr<TableReader> CheckSecondaryIndex(const TableReader& table,
                                                 const std::filesystem::path& xFile,
                                                 const std::filesystem::path& yFile,
                                                 FindingList& findings,
                                                 SecondaryProof* deferred = nullptr);

// The proof that a maintained X file's records agree with the table, planned from the X
// header alone, so that its table side can be taken with another pass over the table's
// records before or while the index is checked; nullptr when the X file's records are not
// compared with the table.
std::unique_ptr<SecondaryProof> PlanSecondaryProof(const TableReader& table,
                                                   const std::filesystem::path& xFile);

// The definition of a secondary index as stored in its X file's header, so that a rebuild
// can reproduce it. `extension` is the X file's extension ("X02", "XG0", any case).
SecondaryIndexSpec ReadSecondaryIndexSpec(const TableHeader& xHeader, const std::string& extension,
                                          const TableSchema& table);

// Number of leading X fields that are the indexed table fields (the rest are the table's key
// fields and the block number, or the record number, block number and offset of an unkeyed
// table).
// The table fields (1-based, top bit: descending) the first `secondary` fields of an X file
// index: level 4+ headers list them in the field-number array, older ones index the single
// field header byte 0x15 names.
std::vector<std::uint16_t> IndexedTableFields(const TableHeader& xHeader, std::size_t secondary);

// Why an X file's indexed fields (then, of a keyed table, its key fields) are not the
// table's: a field number the table lacks, or a field of another type or size. Empty when
// they are. The open and verify both judge an X file by it.
FindingDetail ForeignFieldProblem(const TableHeader& xHeader, const TableHeader& table,
                                  const std::vector<std::uint16_t>& indexed);

std::size_t SecondaryFieldCount(const TableHeader& xHeader, const TableHeader& table);

// Key fields of a keyed table as far as its field list has them (the header's count may be
// negative or larger than the field list).
std::size_t KeyFieldsPresent(const TableHeader& table);

// A fault of an X file's header against its table.
struct SecondaryHeaderFault {
    FindingCode code{};
    FindingDetail detail;
};

// What an X file's header says against its table's header: whether it is secondary index
// data, whether its fields can index the table and are the table's, its sort order and, for a
// maintained index, its record count. The open and verify both judge an X header by it.
struct SecondaryHeaderJudgement {
    std::vector<SecondaryHeaderFault> faults;
    bool fieldsReadable = false; // its type and field count let its fields be matched at all
    bool foreign = false;        // its fields are not the table's
    std::vector<std::uint16_t> indexed;
};
SecondaryHeaderJudgement JudgeSecondaryHeader(const TableHeader& xHeader, const TableHeader& table);

} // namespace paradox
