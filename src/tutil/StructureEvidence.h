#pragma once

#include "paradox/Family.h"
#include "paradox/Header.h"
#include "paradox/Schema.h"
#include "paradox/StructureInference.h"
#include "paradox/StructureSources.h"
#include "tutil/TableLocation.h"

#include <optional>
#include <string>
#include <vector>

namespace tutil {

// Everything the candidates are built from, read once.
struct Evidence {
    TableLocation table;
    paradox::TableFamily family;
    paradox::SurvivingHeader own;
    std::optional<paradox::BlockGeometry> geometry;
    std::optional<paradox::IndexClues> px;
    std::vector<paradox::IndexClues> xs;
    std::vector<std::string> indexProblems; // "ORDERS.X02: why"
    // The key the blocks were decrypted with for the evidence (0: read as stored); the table
    // read under any candidate, and the family rebuilt from it, keep it.
    std::uint32_t keyValue = 0;
    // The damaged header as stored, for the protection bytes a rebuild keeps beside the key.
    std::vector<std::uint8_t> storedHeader;
};

// The table's own field clues with what the index files add.
struct MergedClues {
    std::vector<paradox::FieldClue> fields;
    int keyFields = -1;
    std::vector<std::string> files; // index files that added something
};

// What the table's own header and its index files say, read once from the .DB bytes `db`.
Evidence GatherEvidence(const TableLocation& table, paradox::ByteView db);

// The table's own field clues, each index file's laid over them (the index files win on type
// and size, names fill gaps).
MergedClues Merge(const Evidence& e);

// A schema from a field list, with what the table's own header and its family keep of the
// rest (level, sort order, code page, name, autoincrement).
paradox::TableSchema SchemaFrom(const Evidence& e, std::vector<paradox::FieldSpec> fields,
                                int keyFields);

// The header to read the damaged .DB with under a candidate: its fields, the block layout
// found, and chain bookkeeping taken from the blocks where the stored one cannot be used.
paradox::TableHeader ReadingHeader(const Evidence& e, const paradox::TableSchema& schema);

// The structure agrees with the readable index files: the primary index's key fields and the
// type and size of every field a secondary index describes; else false with the reason.
bool FitsIndexFiles(const Evidence& e, const paradox::TableSchema& schema, std::string* why);

} // namespace tutil
