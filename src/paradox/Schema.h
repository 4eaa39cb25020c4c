#pragma once

#include "paradox/FieldType.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace paradox {

// One field of a table as its header declares it.
struct FieldSpec {
    std::string name;
    std::uint8_t typeCode = 0; // FieldType value as stored (may be unknown when read from disk)
    std::uint8_t sizeByte = 0; // length for Alpha/Bytes/blobs, scale for BCD, size otherwise
    std::uint16_t ByteLength() const { return FieldByteLength(typeCode, sizeByte); }
    FieldType Type() const { return static_cast<FieldType>(typeCode); }
};

// Where each field starts in a record: the lengths of the fields before it, added up.
std::vector<std::uint32_t> FieldOffsetsOf(const std::vector<FieldSpec>& fields);
// The bytes the first `count` fields take in a record (all of them when there are fewer).
std::uint32_t LeadingFieldsLength(const std::vector<FieldSpec>& fields, std::size_t count);

// The top bit of an indexed field number: the field is indexed descending.
inline constexpr std::uint16_t kDescending = 0x8000;

// A secondary index as defined by its .Xnn/.XGn file.
struct SecondaryIndexSpec {
    std::string extension; // "X02", "XG0" (upper case, without the dot)
    std::string name;      // label of a composite (.XGn) index, else the field name
    std::vector<std::uint16_t> fieldNumbers; // 1-based table field numbers; bit 15 = descending
    bool maintained = true;                  // file type 5/8 (maintained) or 3/6
    bool composite = false;                  // .XGn/.YGn rather than .Xnn/.Ynn
    std::uint8_t blockSizeCode = 2;          // block size of the X and Y files, in KB
    std::uint8_t indexBlockSizeCode = 0;     // block size of the Y file when it differs; 0 = same
    bool caseInsensitive = false; // Alpha values stored upper-cased (.XGn header 0x55 bit 0)
    // Of a protected table: the key values of the X and Y files this index replaces (0 = stored
    // plain); nullopt when there is no such file or its header cannot be read.
    std::optional<std::uint32_t> xKeyValue = std::nullopt;
    std::optional<std::uint32_t> yKeyValue = std::nullopt;
};

// A password-protected table's protection, as its header holds it. No password is needed to
// read or write such a table: the stored value itself keys the block cipher.
struct TableProtection {
    // The stored password checksum (0 = not protected); its low 16 bits key the cipher.
    std::uint32_t keyValue = 0;
    // Header bytes 0x3D..0x47 (auxiliary password count, two bytes, two in-memory pointers),
    // kept as the source table had them; all zero for a table protected from scratch.
    std::array<std::uint8_t, 11> bytes3D{};
    // The key value of the .PX this table's primary index replaces (0 = stored plain); nullopt
    // when there is no such file or its header cannot be read.
    std::optional<std::uint32_t> primaryIndexKeyValue = std::nullopt;
};

// The key an index file of a table with `table`'s protection is written with: none for a plain
// table; else the key of the file it replaces, so a plain index stays plain. Where there is no
// such file, the table's own key: nothing shows what the original software writes then, and
// the table's key never leaves an index readable by anyone who could not read the table.
std::uint32_t IndexKeyValue(const TableProtection& table, std::optional<std::uint32_t> replaced);

// Everything needed to write a table family that reproduces a table's structure exactly.
struct TableSchema {
    std::uint8_t fileVersion = level::V7; // header byte 0x39: 3, 4, 5..9, 10..11, 12
    std::uint8_t blockSizeCode = 2;       // .DB block size in KB (1, 2, 3, 4, 8, 16, 32)
    std::uint8_t indexBlockSizeCode = 2;  // .PX block size in KB
    std::vector<FieldSpec> fields;
    std::uint16_t keyFieldCount = 0;     // leading fields forming the primary key; 0 = unkeyed
    std::uint8_t sortOrder = 0;          // header byte 0x29
    std::string sortOrderName = "ascii"; // collation name paired with sortOrder (level 4+)
    std::uint16_t codePage = 437;        // header 0x6A (level 4+)
    std::string tableName;               // name stored in the header, e.g. "ORDERS.DB"
    std::uint32_t autoIncrement = 0;     // last value handed out (header 0x49)
    std::vector<SecondaryIndexSpec> secondaryIndexes;
    // The writer encrypts the .DB and .MB when keyValue is non-zero, each index by IndexKeyValue.
    TableProtection protection;

    std::uint32_t RecordSize() const { return LeadingFieldsLength(fields, fields.size()); }
    std::vector<std::uint32_t> FieldOffsets() const { return FieldOffsetsOf(fields); }
    // The bytes of the primary key at the front of each record.
    std::uint32_t KeyLength() const { return LeadingFieldsLength(fields, keyFieldCount); }
    bool Keyed() const { return keyFieldCount > 0; }
    bool Encrypted() const { return protection.keyValue != 0; }
    bool HasBlobs() const {
        for (const auto& f : fields) {
            if (IsBlobType(f.typeCode)) {
                return true;
            }
        }
        return false;
    }
};

} // namespace paradox
