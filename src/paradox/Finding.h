#pragma once

#include "paradox/FindingDetail.h"

#include <cassert>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace paradox {

// Coded problems a reader, verifier or rebuild can meet; each has one row of the problem table
// (FindingInfo, in FindingTable.cpp). Codes are stable: they are written into error tables.
enum class FindingCode : std::uint16_t {
    // 1xx: file and header
    FileMissing = 101,
    FileUnreadable = 102,
    FileTooShort = 103,
    BadFileType = 104,
    BadFileVersion = 105,
    BadBlockSize = 106,
    BadHeaderSize = 107,
    BadFieldCount = 108,
    BadKeyFieldCount = 109,
    UnknownFieldType = 110,
    BadFieldSize = 111,
    RecordSizeMismatch = 112,
    HeaderVariablePartBad = 113,
    FieldTypeAboveLevel = 114,
    RebuildFlagSet = 115,
    EncryptionMarkerOdd = 116,
    Encrypted = 117,
    BadCodePage = 118,
    FamilyMemberAmbiguous = 119,
    EncryptionKeyBad = 120,
    StructureSalvaged = 121,
    StructureSourceRefused = 122,
    StructureSourceFits = 123,
    StructureContradicted = 124,
    // 2xx: data blocks
    FileTruncated = 201,
    ExtraBytesAtEnd = 202,
    ChainBadFirst = 203,
    ChainPointerOutOfRange = 204,
    ChainCycle = 205,
    ChainPrevMismatch = 206,
    ChainTailMismatch = 207,
    ChainLengthMismatch = 208,
    BadLastRecordOffset = 209,
    RecordCountMismatch = 210,
    FreeListBad = 211,
    BlockCountMismatch = 212,
    OrphanBlock = 213,
    KeyOrder = 214,
    DuplicateKey = 215,
    BadValue = 216,
    // 3xx: primary and secondary indexes
    IndexMissing = 301,
    IndexHeaderBad = 302,
    IndexTreeBad = 303,
    IndexKeyFieldsMismatch = 304,
    IndexBlocksMismatch = 305,
    IndexKeyMismatch = 306,
    IndexStatisticMismatch = 307,
    IndexCountMismatch = 308,
    IndexOutOfDate = 309,
    IndexOfAnotherTable = 310,
    SecondaryIndexBad = 311,
    IndexUnexpected = 312,
    // 4xx: blobs
    BlobFileMissing = 401,
    BlobFileBad = 402,
    BlobPointerBad = 403,
    BlobLengthMismatch = 404,
    BlobModNumberMismatch = 405,
    BlobLeaderMismatch = 406,
    BlobShared = 407,
    // 5xx: rebuild
    RecordUnreadable = 501,
    BlockLost = 502,
    KeyViolation = 503,
    BlobLost = 504,
    IndexLost = 505,
    InterruptedRebuildFinished = 506,
};

// "0x1F0F": how offsets and raw values are written in finding details.
std::string HexNumber(std::uint64_t value);

enum class Severity : std::uint8_t {
    Suspicious, // worth a look, not damage (stale index bookkeeping, orphan blocks)
    Damage,     // definite structural damage
};

// The verify phase a finding belongs to, also the phase of the progress records; a rebuild
// stamps its own findings Rebuild.
enum class Phase : std::uint8_t { Header = 0, Indexes = 1, Data = 2, Rebuild = 8 };

// What a damage finding of a code does to the status of a verify (a suspicious finding changes
// nothing; any other damage calls for a rebuild).
enum class VerifyEffect : std::uint8_t {
    None,                 // no effect of its own: a rebuild repairs it
    Incomplete,           // the verify could not see all of the file
    IncompleteIfDataLost, // incomplete when the finding says records could not be read
    Unread,               // the file could not be read: incomplete even with no header read
    ManualRebuild,        // the table's fields cannot be known from its header
};

// Whether a finding of a code stops the engine from opening the table.
enum class OpenStop : std::uint8_t {
    IfDamage, // only as damage
    Always,   // also when only suspicious
};

// Which of the engine's open errors a finding that stops an open maps to; the engine keeps
// the error numbers.
enum class OpenErrorKind : std::uint8_t {
    FileDamage,   // the damage error of the file the finding is in
    Truncation,   // a table cut short has an error of its own; any other file is damaged
    AnotherTable, // the index belongs to another table
    OutOfDate,    // the index may be out of date
};

// What a rebuild does about a finding of a code (it writes the whole family anew from what it
// reads, and keeps the damaged family as a byte-faithful backup).
enum class RebuildAction : std::uint8_t {
    NothingToDo,         // a note; nothing of the table changes for it
    Rewritten,           // the new family is written without it
    RecordsRecovered,    // records of blocks outside the chain are taken back in
    PutInKeyOrder,       // the records are written in key order
    RecordsSetAside,     // the records go to the key-violation or problem table
    BlockDropped,        // records that cannot be read are left out; the backup keeps them
    BlobDropped,         // the record is kept without the blob
    IndexDropped,        // the table is rebuilt without the index; the backup keeps it
    StructureFromSource, // the fields are taken from a source the data bears out, or refused
    Refused,             // the rebuild refuses; the table is left as it is
};

// One row of the problem table: everything fixed about a code.
struct FindingRow {
    std::string_view text;     // "Block chain has a cycle"
    Severity severity;         // what a finding of this code is unless its reader decides
    bool severityByReader;     // some reader gives findings of this code the other severity
    Phase phase;               // the verify phase that reports it
    VerifyEffect verifyEffect; // as damage
    OpenStop stopsOpen;        // whether it stops an open
    OpenErrorKind openError;   // the open error when it does
    RebuildAction rebuildAction;

    // As damage, the table's fields cannot be known from its header.
    bool StructureUnknown() const { return verifyEffect == VerifyEffect::ManualRebuild; }
};

FindingRow FindingInfo(FindingCode code);

// Every code of the problem table, in ascending order.
std::vector<FindingCode> AllFindingCodes();

inline std::string_view FindingText(FindingCode code) {
    return FindingInfo(code).text;
}

// "ORDERS.DB block 3 record 2": where a finding is, block and record left out when negative.
std::string FindingPlace(std::string_view file, std::int64_t block, std::int64_t record);

// "ORDERS.DB block 3 record 2: <text>": the one shape of a finding line, also for findings read
// back from an error table (whose text already holds the detail). With no place, the text alone.
std::string FindingLine(std::string_view file, std::int64_t block, std::int64_t record,
                        std::string_view text);

// The block a finding is about: block 0 is "no block" (a chain start, a free list head), so it
// becomes -1 rather than a number that names nothing.
inline std::int64_t BlockOrNone(std::uint32_t block) {
    return block == 0 ? -1 : static_cast<std::int64_t>(block);
}

struct Finding {
    FindingCode code{};
    Severity severity = Severity::Damage;
    std::string file;         // file name of the family member (ORDERS.PX)
    std::int64_t block = -1;  // 1-based block number, -1 when not about one block
    std::int64_t record = -1; // 0-based record within the block (or table), -1 when none
    FindingDetail detail;     // what exactly was seen, as values with their form of words
    bool dataLost = false;    // records or blob data could not be read because of it

    std::string Text() const;     // "<text> (<detail>)", as an error table stores it
    std::string Describe() const; // FindingLine of Text(), then " [data lost]" when data was lost
};

// Collects findings; readers append and go on.
class FindingList {
public:
    void Add(Finding finding) {
        assert(!finding.detail.Code() || *finding.detail.Code() == finding.code);
        findings_.push_back(std::move(finding));
    }
    // With the code's default severity.
    void Add(FindingCode code, std::string file, std::int64_t block, std::int64_t record,
             FindingDetail detail, bool dataLost = false) {
        Add(code, FindingInfo(code).severity, std::move(file), block, record, std::move(detail),
            dataLost);
    }
    void Add(FindingCode code, Severity severity, std::string file, std::int64_t block,
             std::int64_t record, FindingDetail detail, bool dataLost = false) {
        Add(Finding{code, severity, std::move(file), block, record, std::move(detail), dataLost});
    }
    const std::vector<Finding>& All() const { return findings_; }
    bool Empty() const { return findings_.empty(); }
    bool HasDamage() const;
    bool HasDataLoss() const; // some finding says records or blob data could not be read
    bool Has(FindingCode code) const;
    void Clear() { findings_.clear(); }

private:
    std::vector<Finding> findings_;
};

} // namespace paradox
