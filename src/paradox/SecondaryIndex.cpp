#include "paradox/SecondaryIndex.h"

#include "paradox/Codec.h"
#include "paradox/Family.h"
#include "paradox/FindingLimiter.h"
#include "paradox/IndexTree.h"
#include "paradox/MappedFile.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>
#include <unordered_map>

namespace paradox {
namespace {

constexpr std::uint16_t kDescending = 0x8000;

// Alpha values of a case-insensitive index are stored folded to upper case, and letters
// outside ASCII are folded by the table's collation, which is not known here: such bytes
// match any byte outside ASCII. Bytes after the terminating NUL are not part of the value.
bool SameAlpha(const std::uint8_t* indexed, const std::uint8_t* stored, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t a = indexed[i];
        const std::uint8_t b = stored[i];
        if (a == 0 || b == 0) {
            return a == b;
        }
        if (a >= 0x80 && b >= 0x80) {
            continue;
        }
        if (std::toupper(a) != std::toupper(b)) {
            return false;
        }
    }
    return true;
}

bool SameValue(const FieldSpec& field, const std::uint8_t* indexed, const std::uint8_t* stored) {
    if (field.typeCode == static_cast<std::uint8_t>(FieldType::Alpha)) {
        return SameAlpha(indexed, stored, field.ByteLength());
    }
    return std::memcmp(indexed, stored, field.ByteLength()) == 0;
}

// The table fields an X file indexes. Level 4+ headers list them in the field-number array;
// older ones index a single field named by header byte 0x15.
std::vector<std::uint16_t> IndexedFields(const TableHeader& x, std::size_t secondary) {
    if (!x.fieldNumbers.empty()) {
        const std::size_t n = std::min(secondary, x.fieldNumbers.size());
        return {x.fieldNumbers.begin(), x.fieldNumbers.begin() + static_cast<std::ptrdiff_t>(n)};
    }
    if (secondary == 1 && x.indexFieldNumber != 0) {
        return {x.indexFieldNumber};
    }
    return {};
}

bool Maintained(const TableHeader& x) {
    return x.fileType == static_cast<std::uint8_t>(FileType::SecondaryDataMaint) ||
           x.fileType == static_cast<std::uint8_t>(FileType::CompositeDataMaint);
}

// Key fields of a keyed table as far as the field list has them (the header's count may be
// negative or larger than the field list).
std::size_t KeyFieldsPresent(const TableHeader& t) {
    if (!t.Keyed() || t.primaryKeyFields <= 0) {
        return 0;
    }
    return std::min(static_cast<std::size_t>(t.primaryKeyFields), t.fields.size());
}

// Where each X field comes from in a table record: the indexed fields, then (keyed tables)
// the key fields. Returns false when the X header does not describe fields of this table.
bool MapFields(const TableHeader& x, const TableReader& table,
               const std::vector<std::uint16_t>& indexed, std::vector<std::size_t>& source,
               std::string& problem) {
    const std::size_t secondary = indexed.size();
    const TableHeader& t = table.Header();
    const std::size_t keys = KeyFieldsPresent(t);
    for (std::size_t i = 0; i < secondary + keys; ++i) {
        std::size_t field = 0;
        if (i < secondary) {
            const std::uint16_t number = indexed[i] & ~kDescending;
            if (number == 0 || number > t.fields.size()) {
                problem = "indexed field number " + std::to_string(number) + " not in the table";
                return false;
            }
            field = number - 1u;
        } else {
            field = i - secondary;
        }
        if (!table.FieldInRecord(field)) {
            problem = "table field " + std::to_string(field + 1) + " lies outside its record";
            return false;
        }
        if (x.fields[i].typeCode != t.fields[field].typeCode ||
            x.fields[i].sizeByte != t.fields[field].sizeByte) {
            problem = "field " + std::to_string(i + 1) + " differs from table field " +
                      std::to_string(field + 1);
            return false;
        }
        source.push_back(field);
    }
    return true;
}

// Every record of a maintained X file names the table block holding its record; that block
// must hold a record with the same key and the same indexed values.
void CheckRecordsAgainstTable(const TableReader& x, const TableReader& table,
                              const std::vector<std::size_t>& source, std::size_t secondary,
                              FindingList& findings) {
    FindingLimiter report(findings, x.FileName());
    const TableHeader& t = table.Header();
    const std::size_t keys = KeyFieldsPresent(t);
    std::size_t keyLength = 0;
    for (std::size_t i = 0; i < keys; ++i) {
        keyLength += t.fields[i].ByteLength();
    }
    std::vector<std::int32_t> position(table.BlocksPresent() + 1, -1);
    for (std::size_t i = 0; i < table.ChainBlocks().size(); ++i) {
        position[table.ChainBlocks()[i]] = static_cast<std::int32_t>(i);
    }
    std::vector<std::uint32_t> xOffsets;
    std::uint32_t offset = 0;
    for (const auto& field : x.Header().fields) {
        xOffsets.push_back(offset);
        offset += field.ByteLength();
    }
    const std::size_t blockNumberField = secondary + keys;
    if (blockNumberField >= xOffsets.size()) {
        return;
    }
    const std::uint32_t recordSize = t.recordSize;
    std::unordered_map<std::string_view, const std::uint8_t*> byKey;
    x.ForEachRecord([&](const RecordRef& record) {
        const auto block = DecodeKbeInt(record.bytes + xOffsets[blockNumberField], 2);
        const std::int64_t number = block.value_or(0);
        const std::int32_t at = number > 0 && static_cast<std::uint64_t>(number) < position.size()
                                    ? position[static_cast<std::size_t>(number)]
                                    : -1;
        if (at < 0) {
            report.Add(FindingCode::SecondaryIndexBad, Severity::Damage, record.block, record.slot,
                       "points at block " + std::to_string(number) +
                           ", which is not in the table's chain");
            return;
        }
        const std::uint8_t* keyInX = record.bytes + xOffsets[secondary];
        const std::uint8_t* rows = table.BlockBytes(static_cast<std::uint32_t>(number)).data() + 6;
        const std::uint16_t count = table.ChainCounts()[static_cast<std::size_t>(at)];
        const std::uint8_t* match = nullptr;
        for (std::uint16_t slot = 0; slot < count && match == nullptr; ++slot) {
            const std::uint8_t* row = rows + slot * recordSize;
            if (std::memcmp(row, keyInX, keyLength) == 0) {
                match = row;
            }
        }
        if (match == nullptr) {
            // The block number is a hint: tables written by the original software carry a few
            // that went stale when blocks split. Only a key missing from the table is damage.
            if (byKey.empty()) {
                table.ForEachRecord([&](const RecordRef& row) {
                    byKey.emplace(
                        std::string_view(reinterpret_cast<const char*>(row.bytes), keyLength),
                        row.bytes);
                });
            }
            auto found =
                byKey.find(std::string_view(reinterpret_cast<const char*>(keyInX), keyLength));
            if (found == byKey.end()) {
                report.Add(FindingCode::SecondaryIndexBad, Severity::Damage, record.block,
                           record.slot, "no table record has this key");
                return;
            }
            match = found->second;
        }
        for (std::size_t i = 0; i < secondary; ++i) {
            const std::size_t field = source[i];
            if (!SameValue(t.fields[field], record.bytes + xOffsets[i],
                           match + table.FieldOffsets()[field])) {
                report.Add(FindingCode::SecondaryIndexBad, Severity::Damage, record.block,
                           record.slot,
                           "value of " + t.fields[field].name + " differs from the table");
                return;
            }
        }
    });
}

// A maintained X file copies the change byte of the table's primary index (X 0x2F = PX 0x2C
// in every file written by the original software); a difference hints at a stale index.
void CheckPrimaryIndexLink(const TableReader& table, const TableHeader& x, const std::string& name,
                           FindingList& findings) {
    if (!Maintained(x) || !table.Header().Keyed()) {
        return;
    }
    const auto px = FindFamily(table.Path()).px;
    if (px.empty()) {
        return;
    }
    std::string error;
    const auto file = MappedFile::Open(px, &error);
    if (!file) {
        return;
    }
    FindingList ignored; // the primary index's own check reports its header
    const auto header = ParseHeader(file->View(), px.filename().string(), ignored);
    if (header && header->indexSyncCount != x.byte2F) {
        findings.Add(FindingCode::IndexOutOfDate, Severity::Suspicious, name, -1, -1,
                     "primary index change byte " + std::to_string(header->indexSyncCount) +
                         ", this index copied " + std::to_string(x.byte2F));
    }
}

} // namespace

std::size_t SecondaryFieldCount(const TableHeader& x, const TableHeader& table) {
    // Keyed: the table's key fields and Blk Num follow. Unkeyed: Tup No, Blk Num, Tup Offset.
    const std::size_t trailing =
        table.Keyed() ? static_cast<std::size_t>(std::max<int>(0, table.primaryKeyFields)) + 1 : 3;
    return x.fields.size() > trailing ? x.fields.size() - trailing : 0;
}

SecondaryIndexSpec ReadSecondaryIndexSpec(const TableHeader& x, const std::string& extension,
                                          const TableSchema& table) {
    SecondaryIndexSpec spec;
    spec.extension = extension;
    std::transform(spec.extension.begin(), spec.extension.end(), spec.extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    spec.composite = x.fileType == 6 || x.fileType == 7 || x.fileType == 8;
    spec.maintained = Maintained(x);
    spec.blockSizeCode = x.blockSizeCode;
    const std::size_t trailing = table.Keyed() ? table.keyFieldCount + 1u : 3u;
    const std::size_t secondary = x.fields.size() > trailing ? x.fields.size() - trailing : 0;
    spec.fieldNumbers = IndexedFields(x, secondary);
    if (!x.indexName.empty()) {
        spec.name = x.indexName;
    } else if (!spec.fieldNumbers.empty()) {
        const std::size_t field = (spec.fieldNumbers.front() & ~kDescending) - 1u;
        if (field < table.fields.size()) {
            spec.name = table.fields[field].name;
        }
    }
    return spec;
}

void CheckSecondaryIndex(const TableReader& table, const std::filesystem::path& xFile,
                         const std::filesystem::path& yFile, FindingList& findings) {
    auto x = TableReader::Open(xFile, findings);
    if (!x) {
        return;
    }
    const TableHeader& xh = x->Header();
    const std::string name = x->FileName();
    auto bad = [&](std::string detail) {
        findings.Add(FindingCode::SecondaryIndexBad, Severity::Damage, name, -1, -1,
                     std::move(detail));
    };
    if (!xh.IsSecondaryData()) {
        bad("file type " + std::to_string(xh.fileType) + " is not secondary index data");
        return;
    }
    const std::size_t secondary = SecondaryFieldCount(xh, table.Header());
    const auto indexed = IndexedFields(xh, secondary);
    if (secondary == 0 || indexed.size() != secondary) {
        bad(std::to_string(xh.fields.size()) + " fields cannot index this table");
        return;
    }
    std::vector<std::size_t> source;
    std::string problem;
    const bool fieldsMatch = MapFields(xh, table, indexed, source, problem);
    if (!fieldsMatch) {
        bad(problem);
    }
    const bool maintained = Maintained(xh);
    CheckPrimaryIndexLink(table, xh, name, findings);
    if (maintained && xh.numRecords != table.Header().numRecords) {
        bad(std::to_string(xh.numRecords) + " entries for " +
            std::to_string(table.Header().numRecords) + " table records");
    }
    if (yFile.empty()) {
        findings.Add(FindingCode::IndexMissing, Severity::Damage, name, -1, -1,
                     "the index file of " + name + " is missing");
    } else if (auto y = TableReader::Open(yFile, findings)) {
        const std::uint8_t expectedType = xh.fileType == 6 || xh.fileType == 8 ? 7 : 4;
        if (y->Header().fileType != expectedType) {
            findings.Add(FindingCode::IndexHeaderBad, Severity::Damage, y->FileName(), -1, -1,
                         "file type " + std::to_string(y->Header().fileType));
        } else {
            const std::size_t before = findings.All().size();
            CheckIndexAgainstData(xh, y->Header(), y->FileName(), findings);
            const bool keysUsable = std::none_of(
                findings.All().begin() + static_cast<std::ptrdiff_t>(before), findings.All().end(),
                [](const Finding& f) { return f.code == FindingCode::IndexKeyFieldsMismatch; });
            if (keysUsable) {
                CheckIndexTree(*x, *y, findings);
            }
        }
    }
    if (maintained && fieldsMatch && table.Header().Keyed() && !table.Encrypted() &&
        !x->Encrypted() && xh.FieldBytes() <= xh.recordSize) {
        CheckRecordsAgainstTable(*x, table, source, secondary, findings);
    }
}

} // namespace paradox
