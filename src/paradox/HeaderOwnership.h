#pragma once

#include "paradox/FieldType.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace paradox {

struct TableHeader;

// Which header bytes the table writer owns: the values it derives from what it writes (sizes,
// counts, block numbers, field descriptors and names, key, sort order, code page, update time,
// file type and level, encryption fields, the change counts that tie a family's files together,
// cleared "rebuild required" flags). Every other byte of a file it replaces (in-memory pointer
// garbage, referential-integrity and other unexplained bytes, what an earlier name left after
// the table name, padding) is carried over as read.

// What decides the owned bytes of one header.
struct HeaderShape {
    FileType fileType = FileType::UnkeyedTable;
    bool extension = false; // level 4+ .DB/.Xnn: the 0x58..0x77 part is present
    std::size_t fieldCount = 0;
    std::size_t tableNameField = 79; // bytes of the table name field (261 from level 7 on)
    std::size_t tableNameUsed = 0;   // of them the name and its terminating NUL; the rest is
                                     // whatever an earlier name left there
    std::size_t contentEnd = 0; // end of the table name (.PX/.Ynn), of the field names (level 3
                                // tables) or of the sort order and index names
    std::size_t size = 0;       // header bytes
};

// Bytes of the table name field of a header of this level.
std::size_t TableNameField(std::uint8_t fileVersion);

// One flag per header byte: true where the writer sets the byte.
std::vector<bool> OwnedHeaderBytes(const HeaderShape& shape);

// The header of a file a new one replaces, reduced to the bytes the writer does not own in
// that file's own layout. The writer keeps each of them where it owns nothing in the new
// layout either, when both files are of the same kind.
struct KeptHeader {
    bool extension = false;
    bool indexFile = false;                         // .PX/.Ynn/.YGn
    std::vector<std::optional<std::uint8_t>> bytes; // per offset; nullopt = owned there
};

// From a header as read from its file (TableHeader::raw and what parsing found of its layout).
KeptHeader KeepableHeaderBytes(const TableHeader& source);

} // namespace paradox
