#pragma once

// The table descriptor handed between the caller and the utility library, and its element
// records. These are plain C layouts with fixed element sizes; the caller sizes each array
// from the counts the library reports and the library never writes past those counts.

#include <cstddef>
#include <cstdint>

namespace tutil {

inline constexpr std::size_t kTableNameSize = 261; // 260 characters and a terminating zero
inline constexpr std::size_t kTableTypeSize = 32;
inline constexpr std::size_t kFieldNameSize = 32;
inline constexpr std::size_t kOptionalDataUnit = 128; // bytes per unit of the 7th count

#pragma pack(push, 1)

// One field of the table (also used for optional parameters, whose value lives in the
// optional data block at `offset`, `length` bytes).
struct FLDDesc {
    std::uint16_t fieldNumber; // 1-based
    char name[kFieldNameSize]; // zero-terminated
    std::uint8_t physicalType; // type code as stored in the table header
    std::uint8_t sizeByte;     // size byte as stored (length, or BCD scale)
    std::uint16_t logicalType; // same code widened; kept for callers that read it
    std::uint16_t units1;      // length in characters or digits
    std::uint16_t units2;      // decimals (BCD)
    std::uint16_t offset;      // byte offset in the record (optional params: in optional data)
    std::uint16_t length;      // bytes in the record (optional params: bytes of the value)
    std::uint16_t nullOffset;
    std::uint16_t validityCheck;
    std::uint16_t rights;
    std::uint8_t reserved[10];
};

inline constexpr std::size_t kMaxIndexFields = 16;

// One index: the primary index (primary = 1) or a secondary index.
struct IDXDesc {
    char name[kTableNameSize];    // file name of the index (ORDERS.PX, ORDERS.XG0)
    char tagName[kTableTypeSize]; // label of a composite index, else the field's name
    char format[kTableTypeSize];
    std::uint8_t primary;
    std::uint8_t unique;
    std::uint8_t descending;
    std::uint8_t maintained;
    std::uint8_t composite;
    std::uint8_t caseInsensitive;
    std::uint8_t outOfDate;
    std::uint8_t blockSizeCode; // block size of the index files, in KB
    std::uint16_t indexId;
    std::uint16_t fieldCount;
    std::uint16_t keyLength;
    std::uint16_t fieldNumbers[kMaxIndexFields]; // 1-based table field numbers
    std::uint8_t descendingFields[kMaxIndexFields];
    char extension[8]; // "PX", "X02", "XG0"
    char keyExpression[220];
    std::uint8_t reserved[278];
};

// One security (password / rights) record.
struct SECDesc {
    std::uint16_t number;
    std::uint16_t kind;
    std::uint16_t tableRights;
    char password[kTableTypeSize];
    std::uint8_t fieldRights[256];
    std::uint8_t reserved[770];
};

// One validity check of a field.
struct VCHKDesc {
    std::uint16_t fieldNumber;
    std::uint8_t required;
    std::uint8_t hasMinimum;
    std::uint8_t hasMaximum;
    std::uint8_t hasDefault;
    std::uint8_t minimum[255];
    std::uint8_t maximum[255];
    std::uint8_t defaultValue[255];
    char picture[176];
    char lookupTable[kTableNameSize];
    std::uint8_t lookupKind;
    std::uint8_t reserved[10];
};

// One referential integrity link.
struct RINTDesc {
    std::uint16_t number;
    char name[kTableTypeSize];
    std::uint8_t kind; // master or dependent
    char otherTable[kTableNameSize];
    std::uint8_t modifyRule;
    std::uint8_t deleteRule;
    std::uint16_t fieldCount;
    std::uint16_t thisFields[kMaxIndexFields];
    std::uint16_t otherFields[kMaxIndexFields];
    std::uint8_t reserved[9];
};

#pragma pack(pop)

static_assert(sizeof(FLDDesc) == 62);
static_assert(sizeof(IDXDesc) == 893);
static_assert(sizeof(SECDesc) == 1064);
static_assert(sizeof(VCHKDesc) == 1219);
static_assert(sizeof(RINTDesc) == 373);

// The table descriptor. The caller fills the names, the counts and the array pointers;
// the library fills the arrays.
struct CRTblDesc {
    char tableName[kTableNameSize];
    char tableType[kTableTypeSize];
    char errorTableName[kTableNameSize];
    char userName[kTableTypeSize];
    char password[kTableTypeSize];
    std::uint8_t isProtected;
    std::uint8_t pack;
    std::uint16_t fieldCount;
    FLDDesc* fields;
    void* fieldOperations; // per-field operation list; unused, null
    std::uint16_t indexCount;
    IDXDesc* indexes;
    void* indexOperations;
    std::uint16_t securityCount;
    SECDesc* security;
    void* securityOperations;
    std::uint16_t validityCount;
    VCHKDesc* validityChecks;
    void* validityOperations;
    std::uint16_t refIntegrityCount;
    RINTDesc* refIntegrity;
    void* refIntegrityOperations;
    std::uint16_t optionalParamCount;
    FLDDesc* optionalParams;
    std::uint8_t* optionalData; // 128 bytes per unit of the 7th count
};

// The seven counts of a table's descriptor, in the order they are reported.
struct DescCounts {
    std::uint16_t fields = 0;
    std::uint16_t indexes = 0;
    std::uint16_t security = 0;
    std::uint16_t validityChecks = 0;
    std::uint16_t refIntegrity = 0;
    std::uint16_t optionalParams = 0;
    std::uint16_t optionalDataUnits = 0;
};

} // namespace tutil
