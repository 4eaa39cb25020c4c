#pragma once

#include "tutil/StructureEvidence.h"
#include "tutil/StructureSalvage.h"

namespace tutil {

// The structure read from the data blocks (the .DB bytes `db`): the record size from the
// blocks' last-record offsets, fields the surviving clues still fix kept, every other field's
// type from its column's byte patterns, names that survive nowhere made up as Field1, ...
// and said so in the source.
StructureCandidate InferredCandidate(const Evidence& e, paradox::ByteView db,
                                     const MergedClues& merged);

} // namespace tutil
