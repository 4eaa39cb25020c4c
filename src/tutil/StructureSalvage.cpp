#include "tutil/StructureSalvage.h"

#include "engine/ErrorCodes.h"
#include "paradox/Family.h"
#include "paradox/MappedFile.h"
#include "paradox/NameCase.h"
#include "paradox/StructureInference.h"
#include "paradox/StructureSources.h"
#include "tutil/MemberBlockSize.h"
#include "tutil/SecondarySpecs.h"
#include "tutil/StructureProof.h"
#include "tutil/UtilityError.h"
#include "tutil/WorkTables.h"

#include <algorithm>
#include <cctype>

namespace tutil {
namespace fs = std::filesystem;
using paradox::FieldClue;

namespace {

// Records looked at when reading field types from the data: enough to see every pattern a
// column has, without reading a large table twice.
constexpr std::size_t kInferenceSample = 4000;
// Records looked at when choosing between record sizes the blocks allow.
constexpr std::size_t kSizeTrialSample = 200;

// Everything the candidates are built from, read once.
struct Evidence {
    TableLocation table;
    paradox::TableFamily family;
    paradox::SurvivingHeader own;
    std::optional<paradox::BlockGeometry> geometry;
    std::optional<paradox::IndexClues> px;
    std::vector<paradox::IndexClues> xs;
    std::vector<std::string> indexProblems; // "ORDERS.X02: why"
};

// The table's own field clues with what the index files add.
struct MergedClues {
    std::vector<FieldClue> fields;
    int keyFields = -1;
    std::vector<std::string> files; // index files that added something
};

std::string FieldName(std::size_t i) {
    return "Field" + std::to_string(i + 1);
}

MergedClues Merge(const Evidence& e) {
    MergedClues m;
    m.fields = e.own.fields;
    m.keyFields = e.px ? e.px->keyFields : e.own.keyFields;
    if (m.keyFields < 0 && e.family.px.empty() && e.own.fileType != 0) {
        m.keyFields = 0; // no primary index and nothing says keyed
    }
    const bool countKnown = !e.own.fields.empty();
    auto add = [&](const paradox::IndexClues& index) {
        bool used = false;
        for (const auto& [number, clue] : index.fields) {
            if (number == 0 || number > 255) {
                continue;
            }
            if (number > m.fields.size()) {
                if (countKnown) {
                    continue; // the header's field count holds; the index names no field of it
                }
                m.fields.resize(number);
            }
            FieldClue& field = m.fields[number - 1];
            if (clue.known) {
                used = used || !field.known || field.typeCode != clue.typeCode ||
                       field.sizeByte != clue.sizeByte;
                field.known = true;
                field.typeCode = clue.typeCode;
                field.sizeByte = clue.sizeByte;
            }
            if (field.name.empty() && !clue.name.empty()) {
                field.name = clue.name;
                used = true;
            }
        }
        if (used) {
            m.files.push_back(index.file);
        }
    };
    if (e.px) {
        add(*e.px);
    }
    for (const auto& x : e.xs) {
        add(x);
    }
    return m;
}

std::uint8_t LowestLevelFor(const std::vector<paradox::FieldSpec>& fields) {
    std::uint8_t version = paradox::level::V4;
    for (const auto& f : fields) {
        if (auto info = paradox::LookupFieldType(f.typeCode); info && info->minLevel > version) {
            version = paradox::level::V5;
        }
    }
    return version;
}

// A schema from a field list, with what the table's own header and its family keep of the
// rest (level, sort order, code page, name, autoincrement).
paradox::TableSchema SchemaFrom(const Evidence& e, std::vector<paradox::FieldSpec> fields,
                                int keyFields) {
    paradox::TableSchema s;
    s.fields = std::move(fields);
    s.keyFieldCount = static_cast<std::uint16_t>(
        keyFields > 0 && static_cast<std::size_t>(keyFields) <= s.fields.size() ? keyFields : 0);
    const paradox::IndexClues* x = e.xs.empty() ? nullptr : &e.xs.front();
    s.fileVersion = e.own.fileVersion != 0 ? e.own.fileVersion
                    : x != nullptr         ? x->fileVersion
                    : e.px                 ? e.px->fileVersion
                                           : LowestLevelFor(s.fields);
    s.fileVersion = std::max(s.fileVersion, LowestLevelFor(s.fields));
    s.blockSizeCode = e.geometry                 ? e.geometry->blockSizeCode
                      : e.own.blockSizeCode != 0 ? e.own.blockSizeCode
                                                 : std::uint8_t{2};
    s.indexBlockSizeCode = MemberBlockSizeCode(e.family.px).value_or(s.blockSizeCode);
    s.sortOrder = e.own.sortOrder;
    if (!e.own.sortOrderName.empty()) {
        s.sortOrderName = e.own.sortOrderName;
        s.codePage = e.own.codePage;
    } else if (x != nullptr && !x->sortOrderName.empty()) {
        s.sortOrder = x->sortOrder;
        s.sortOrderName = x->sortOrderName;
        s.codePage = x->codePage;
    }
    s.tableName = !e.own.tableName.empty() ? e.own.tableName : e.table.stem + ".DB";
    s.autoIncrement = e.own.autoIncrement;
    return s;
}

// The field list when every clue is known and named; else the reason it is not.
std::optional<std::vector<paradox::FieldSpec>> Complete(const std::vector<FieldClue>& clues,
                                                        std::string* why) {
    if (clues.empty()) {
        *why = "field count is not readable";
        return std::nullopt;
    }
    std::vector<paradox::FieldSpec> fields;
    for (std::size_t i = 0; i < clues.size(); ++i) {
        if (!clues[i].known) {
            *why = "no valid type and size for field " + std::to_string(i + 1);
            return std::nullopt;
        }
        if (clues[i].name.empty()) {
            *why = "no readable name for field " + std::to_string(i + 1);
            return std::nullopt;
        }
        fields.push_back({clues[i].name, clues[i].typeCode, clues[i].sizeByte});
    }
    return fields;
}

StructureCandidate OwnHeaderCandidate(const Evidence& e) {
    StructureCandidate c;
    c.source = "the table's own header";
    auto fields = Complete(e.own.fields, &c.reason);
    if (fields && e.own.keyFields < 0 && !e.px) {
        c.reason = "key field count is not valid";
        fields.reset();
    }
    if (fields) {
        c.complete = true;
        c.schema = SchemaFrom(e, std::move(*fields), e.px ? e.px->keyFields : e.own.keyFields);
    }
    return c;
}

StructureCandidate IndexFilesCandidate(const Evidence& e, const MergedClues& merged) {
    StructureCandidate c;
    c.source = "the index files";
    if (!e.px && e.xs.empty()) {
        c.reason = "no readable index file beside the table";
        for (const auto& problem : e.indexProblems) {
            c.reason += "; " + problem;
        }
        return c;
    }
    if (merged.files.empty()) {
        c.reason = "the index files add nothing to the table's own header";
        return c;
    }
    c.source.clear();
    for (const auto& file : merged.files) {
        c.source += (c.source.empty() ? "" : ", ") + file;
    }
    if (!e.own.fields.empty()) {
        c.source += " with the table's own header";
    }
    auto fields = Complete(merged.fields, &c.reason);
    if (fields && merged.keyFields < 0) {
        c.reason = "key field count is not known";
        fields.reset();
    }
    if (fields) {
        c.complete = true;
        c.schema = SchemaFrom(e, std::move(*fields), merged.keyFields);
    }
    return c;
}

StructureCandidate TableCandidate(const Evidence& e, const fs::path& other, bool backup) {
    StructureCandidate c;
    c.source = (backup ? "backup " : "template ") + other.filename().string();
    std::string error;
    auto file = paradox::MappedFile::Open(other, &error);
    if (!file) {
        c.reason = error;
        return c;
    }
    const auto header =
        paradox::ReadCompleteHeader(file->View(), other.filename().string(), &c.reason);
    if (!header) {
        return c;
    }
    c.complete = true;
    c.schema = header->ToSchema();
    // The damaged table's own bookkeeping wins where it survives.
    c.schema.tableName = !e.own.tableName.empty() ? e.own.tableName : e.table.stem + ".DB";
    c.schema.autoIncrement =
        backup ? std::max(e.own.autoIncrement, header->autoIncrement) : e.own.autoIncrement;
    if (e.geometry) {
        c.schema.blockSizeCode = e.geometry->blockSizeCode;
    }
    c.schema.indexBlockSizeCode = MemberBlockSizeCode(e.family.px).value_or(c.schema.blockSizeCode);
    return c;
}

// Backups an earlier rebuild left beside the table (STEM-BACKUP.DB, STEM-BACKUP1.DB, ...),
// newest first.
std::vector<fs::path> EarlierBackups(const TableLocation& table) {
    const std::string prefix = paradox::UpperAscii(table.stem) + "-BACKUP";
    std::vector<std::pair<long, fs::path>> found;
    for (const std::string& name : RegularFileNames(table.dir)) {
        const std::string upper = paradox::UpperAscii(name);
        if (upper.size() < prefix.size() + 3 || upper.compare(0, prefix.size(), prefix) != 0 ||
            upper.compare(upper.size() - 3, 3, ".DB") != 0) {
            continue;
        }
        const std::string digits = upper.substr(prefix.size(), upper.size() - prefix.size() - 3);
        if (digits.size() > 5 || !std::all_of(digits.begin(), digits.end(), [](char ch) {
                return std::isdigit(static_cast<unsigned char>(ch)) != 0;
            })) {
            continue;
        }
        found.emplace_back(digits.empty() ? 0 : std::stol(digits), table.dir / name);
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<fs::path> paths;
    for (auto& [number, path] : found) {
        paths.push_back(std::move(path));
    }
    return paths;
}

// The records of the chain under `recordSize`, every n-th when there are many.
std::vector<const std::uint8_t*>
SampleRecords(paradox::ByteView db, const paradox::BlockGeometry& g, std::uint16_t recordSize) {
    std::vector<const std::uint8_t*> all;
    const std::size_t blockSize = g.blockSizeCode * 0x400u;
    for (std::size_t i = 0; i < g.chain.size(); ++i) {
        const std::int16_t last = g.lastRecordOffsets[i];
        if (last < 0) {
            continue;
        }
        const std::size_t start = g.headerSize + (g.chain[i] - 1u) * blockSize + 6;
        for (std::size_t offset = 0; offset <= static_cast<std::size_t>(last);
             offset += recordSize) {
            if (db.Has(start + offset, recordSize)) {
                all.push_back(db.data() + start + offset);
            }
        }
    }
    if (all.size() <= kInferenceSample) {
        return all;
    }
    std::vector<const std::uint8_t*> sample;
    const std::size_t step = all.size() / kInferenceSample + 1;
    for (std::size_t i = 0; i < all.size(); i += step) {
        sample.push_back(all[i]);
    }
    return sample;
}

// Of the record sizes the blocks allow, the one under which the records split into the
// fewest fields per byte: records read at the wrong size do not line up in columns.
std::optional<std::uint16_t>
InferRecordSize(paradox::ByteView db, const paradox::BlockGeometry& geometry, std::uint16_t hint) {
    const auto sizes = paradox::RecordSizesThatFit(geometry, hint);
    if (sizes.size() <= 1) {
        return sizes.empty() ? std::nullopt : std::optional<std::uint16_t>(sizes.front());
    }
    std::optional<std::uint16_t> best;
    double bestScore = 0;
    for (const std::uint16_t size : sizes) {
        auto records = SampleRecords(db, geometry, size);
        if (records.size() > kSizeTrialSample) {
            records.resize(kSizeTrialSample);
        }
        const auto fields = paradox::InferFields(records, 0, size);
        if (!fields) {
            continue;
        }
        const double score = static_cast<double>(fields->size()) / size;
        if (!best || score < bestScore) {
            best = size;
            bestScore = score;
        }
    }
    return best;
}

StructureCandidate InferredCandidate(const Evidence& e, paradox::ByteView db,
                                     const MergedClues& merged) {
    StructureCandidate c;
    c.source = "inference from the data blocks";
    c.inferred = true;
    if (!e.geometry) {
        c.reason = "no chain of blocks could be found to read the data from";
        return c;
    }
    std::uint32_t knownSum = 0;
    const bool allKnown =
        !merged.fields.empty() && std::all_of(merged.fields.begin(), merged.fields.end(),
                                              [&](const FieldClue& f) { return f.known; });
    for (const auto& f : merged.fields) {
        knownSum += f.known ? paradox::FieldByteLength(f.typeCode, f.sizeByte) : 0;
    }
    // The fields add up to the record size only when the header's field count survived.
    const bool countKnown = !e.own.fields.empty();
    const std::uint16_t hint = countKnown && allKnown && knownSum <= 0xFFFF
                                   ? static_cast<std::uint16_t>(knownSum)
                                   : e.own.recordSize;
    const auto recordSize = InferRecordSize(db, *e.geometry, hint);
    if (!recordSize) {
        c.reason = "the blocks hold no records to read a record size from";
        return c;
    }
    // Clues that still hold at the front and the back fix those fields; the bytes between
    // are read from the data.
    std::size_t front = 0;
    std::uint32_t frontBytes = 0;
    while (front < merged.fields.size() && merged.fields[front].known) {
        frontBytes +=
            paradox::FieldByteLength(merged.fields[front].typeCode, merged.fields[front].sizeByte);
        ++front;
    }
    std::size_t back = merged.fields.size();
    std::uint32_t backBytes = 0;
    while (back > front && merged.fields[back - 1].known) {
        backBytes += paradox::FieldByteLength(merged.fields[back - 1].typeCode,
                                              merged.fields[back - 1].sizeByte);
        --back;
    }
    // Without the header's field count the clues are only the leading fields, not all.
    if (!countKnown) {
        back = merged.fields.size();
        backBytes = 0;
    }
    if (frontBytes + backBytes > *recordSize ||
        (countKnown && front == back && frontBytes != *recordSize)) {
        frontBytes = backBytes = 0; // the clues do not fit: the whole record is read
    }
    const auto records = SampleRecords(db, *e.geometry, *recordSize);
    const auto middle = paradox::InferFields(records, frontBytes, *recordSize - backBytes);
    if (!middle) {
        c.reason = "no split of the " + std::to_string(*recordSize) +
                   "-byte records into fields fits every record";
        return c;
    }
    std::vector<paradox::FieldSpec> fields;
    auto clueField = [&](std::size_t i) {
        const FieldClue& f = merged.fields[i];
        fields.push_back({f.name, f.typeCode, f.sizeByte});
    };
    const bool useClues = frontBytes + backBytes > 0;
    for (std::size_t i = 0; useClues && i < front; ++i) {
        clueField(i);
    }
    fields.insert(fields.end(), middle->begin(), middle->end());
    for (std::size_t i = back; useClues && countKnown && i < merged.fields.size(); ++i) {
        clueField(i);
    }
    std::string madeUp;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].name.empty()) {
            fields[i].name = FieldName(i);
            madeUp += (madeUp.empty() ? "" : ", ") + fields[i].name;
        }
    }
    if (!madeUp.empty()) {
        c.source += " (names made up: " + madeUp + ")";
    }
    c.complete = true;
    const bool keysKnown =
        merged.keyFields >= 0 && static_cast<std::size_t>(merged.keyFields) <= fields.size();
    const int keys = keysKnown ? merged.keyFields : 0;
    if (!keysKnown) {
        c.source += ", no key known: rebuilt without one";
    }
    c.schema = SchemaFrom(e, std::move(fields), keys);
    return c;
}

// The header to read the damaged .DB with under a candidate: its fields, the block layout
// found, and chain bookkeeping taken from the blocks where the stored one cannot be used.
paradox::TableHeader ReadingHeader(const Evidence& e, const paradox::TableSchema& schema) {
    paradox::TableHeader h;
    h.fields = schema.fields;
    h.numFields = static_cast<std::int16_t>(schema.fields.size());
    h.primaryKeyFields = static_cast<std::int16_t>(schema.keyFieldCount);
    h.fileType = static_cast<std::uint8_t>(schema.Keyed() ? paradox::FileType::KeyedTable
                                                          : paradox::FileType::UnkeyedTable);
    h.recordSize = static_cast<std::uint16_t>(schema.RecordSize());
    h.fileVersion = schema.fileVersion;
    h.hasExtension = h.fileVersion >= 5;
    h.sortOrder = schema.sortOrder;
    h.sortOrderName = schema.sortOrderName;
    h.codePage = schema.codePage;
    h.tableName = schema.tableName;
    h.autoIncrement = schema.autoIncrement;
    h.encryption1 = h.hasExtension ? 0xFF00FF00u : 0;
    const paradox::SurvivingHeader& own = e.own;
    h.headerSize = e.geometry ? e.geometry->headerSize : own.headerSize;
    h.blockSizeCode = e.geometry ? e.geometry->blockSizeCode : own.blockSizeCode;
    h.numRecords = own.numRecords;
    h.blocksInUse = own.blocksInUse;
    h.fileBlocks = own.fileBlocks;
    h.firstBlock = own.firstBlock;
    h.lastBlock = own.lastBlock;
    h.firstFreeBlock = own.firstFreeBlock;
    if (e.geometry && !e.geometry->chain.empty()) {
        const auto& g = *e.geometry;
        const bool storedFits =
            own.fileBlocks >= g.chain.size() && own.fileBlocks <= g.blocksPresent;
        h.fileBlocks = storedFits ? own.fileBlocks : static_cast<std::uint16_t>(g.blocksPresent);
        h.firstBlock = 1;
        h.lastBlock = g.chain.back();
        h.blocksInUse = static_cast<std::uint16_t>(g.chain.size());
        std::uint32_t records = 0;
        for (const std::int16_t last : g.lastRecordOffsets) {
            records += last >= 0 && h.recordSize > 0 ? last / h.recordSize + 1u : 0u;
        }
        h.numRecords = records;
        if (h.firstFreeBlock > h.fileBlocks) {
            h.firstFreeBlock = 0;
        }
    }
    h.maxBlocks = h.fileBlocks;
    return h;
}

// The primary index, where there is a readable one, has the table's key fields.
bool KeyFitsPrimaryIndex(const Evidence& e, const paradox::TableSchema& schema, std::string* why) {
    if (!e.px) {
        return true;
    }
    bool fits = schema.keyFieldCount == e.px->keyFields;
    for (std::size_t i = 0; fits && i < e.px->fields.size(); ++i) {
        const FieldClue& key = e.px->fields[i].second;
        fits = i < schema.fields.size() && schema.fields[i].typeCode == key.typeCode &&
               schema.fields[i].sizeByte == key.sizeByte;
    }
    if (!fits) {
        *why = "its key fields differ from those of " + e.px->file;
    }
    return fits;
}

Evidence GatherEvidence(const TableLocation& table, paradox::ByteView db) {
    Evidence e;
    e.table = table;
    e.family = paradox::FindFamily(table.db);
    e.own = paradox::ReadSurvivingHeader(db);
    e.geometry = paradox::FindBlockGeometry(db, e.own.headerSize, e.own.blockSizeCode);
    auto readMember = [&](const fs::path& path, auto read) {
        std::string error;
        auto file = paradox::MappedFile::Open(path, &error);
        if (!file) {
            e.indexProblems.push_back(path.filename().string() + ": " + error);
            return;
        }
        std::string why;
        if (!read(file->View(), path.filename().string(), &why)) {
            e.indexProblems.push_back(path.filename().string() + ": " + why);
        }
    };
    if (!e.family.px.empty()) {
        readMember(e.family.px,
                   [&](paradox::ByteView v, const std::string& name, std::string* why) {
                       e.px = paradox::ReadPrimaryIndexClues(v, name, why);
                       return e.px.has_value();
                   });
    }
    const int keyFields = e.px ? e.px->keyFields : e.own.keyFields;
    for (const auto& path : e.family.secondaries) {
        if (paradox::UpperExtension(path)[0] != 'X') {
            continue;
        }
        readMember(path, [&](paradox::ByteView v, const std::string& name, std::string* why) {
            auto clues = paradox::ReadSecondaryIndexClues(v, name, keyFields, why);
            if (clues) {
                e.xs.push_back(std::move(*clues));
            }
            return clues.has_value();
        });
    }
    return e;
}

} // namespace

std::string SalvagedStructure::WhyNoneHeld() const {
    std::string text;
    for (const auto& c : candidates) {
        if (c.holds) {
            continue;
        }
        text += (text.empty() ? "" : "; ") + c.source + ": " +
                (c.reason.empty() ? std::string("not tried") : c.reason);
    }
    return text;
}

bool StructureUnknown(const TableLocation& table) {
    std::string error;
    auto file = paradox::MappedFile::Open(table.db, &error);
    if (!file) {
        return false;
    }
    paradox::FindingList findings;
    const auto header = paradox::ParseHeader(file->View(), table.db.filename().string(), findings);
    return findings.LeavesStructureUnknown() ||
           (!header && !findings.Has(paradox::FindingCode::FileTooShort));
}

SalvagedStructure SalvageStructure(const TableLocation& table, const StructureChoice& choice,
                                   bool proveAll) {
    std::string error;
    auto file = paradox::MappedFile::Open(table.db, &error);
    if (!file) {
        throw UtilityError(engine::err::IoError, error);
    }
    const paradox::ByteView db = file->View();
    const Evidence e = GatherEvidence(table, db);
    const MergedClues merged = Merge(e);
    SalvagedStructure result;
    auto& list = result.candidates;
    list.push_back(OwnHeaderCandidate(e));
    list.push_back(IndexFilesCandidate(e, merged));
    for (const fs::path& backup : EarlierBackups(table)) {
        list.push_back(TableCandidate(e, backup, true));
    }
    if (!choice.templateTable.empty()) {
        list.push_back(TableCandidate(e, choice.templateTable, false));
    }
    StructureCandidate inferred = InferredCandidate(e, db, merged);
    if (!choice.allowInference && inferred.complete) {
        inferred.reason = "not used unless inference is asked for";
    }
    list.push_back(std::move(inferred));

    if (e.own.encrypted) {
        for (auto& c : list) {
            c.reason = "the table is encrypted";
            c.complete = false;
        }
        return result;
    }
    for (std::size_t i = 0; i < list.size(); ++i) {
        StructureCandidate& c = list[i];
        if (!c.complete || (c.inferred && !choice.allowInference)) {
            continue;
        }
        if (result.used && !proveAll) {
            break;
        }
        c.tried = true;
        if (!KeyFitsPrimaryIndex(e, c.schema, &c.reason)) {
            continue;
        }
        const paradox::TableHeader header = ReadingHeader(e, c.schema);
        c.holds = ProveStructure(table.db, header, e.family.mb, &c.reason);
        if (c.holds && !result.used) {
            result.used = i;
            result.header = header;
        }
    }
    if (result.used) {
        result.schema = list[*result.used].schema;
        result.schema.secondaryIndexes = ReadSecondaryIndexSpecs(table, result.schema);
    }
    return result;
}

std::unique_ptr<paradox::TableReader> OpenUnderSalvagedStructure(const TableLocation& table,
                                                                 const StructureChoice& choice,
                                                                 paradox::FindingList& findings,
                                                                 std::string* source) {
    const SalvagedStructure salvaged = SalvageStructure(table, choice);
    const std::string name = table.db.filename().string();
    for (const StructureCandidate& c : salvaged.candidates) {
        if (c.holds) {
            break;
        }
        if (c.tried || (c.complete && !c.inferred)) {
            findings.Add(paradox::FindingCode::StructureSourceRefused, name, -1, -1,
                         c.source + ": " + c.reason);
        }
    }
    const StructureCandidate* used = salvaged.Used();
    if (used == nullptr) {
        throw UtilityError(
            engine::err::HeaderCorrupt,
            "the field descriptors of " + table.db.string() +
                " are damaged and no structure source fits it: " + salvaged.WhyNoneHeld());
    }
    findings.Add(paradox::FindingCode::StructureSalvaged, name, -1, -1,
                 "fields taken from " + used->source);
    *source = used->source;
    return paradox::TableReader::OpenWithHeader(table.db, salvaged.header, findings);
}

bool ReportStructureSources(const TableLocation& table, paradox::FindingList& findings) {
    StructureChoice choice;
    choice.allowInference = false;
    const SalvagedStructure salvaged = SalvageStructure(table, choice, true);
    const std::string name = table.db.filename().string();
    bool inferable = false;
    for (std::size_t i = 0; i < salvaged.candidates.size(); ++i) {
        const StructureCandidate& c = salvaged.candidates[i];
        if (c.holds) {
            const bool chosen = salvaged.used == i;
            findings.Add(paradox::FindingCode::StructureSourceFits, name, -1, -1,
                         c.source + (chosen ? ": a rebuild would take the fields from it"
                                            : ": fits, but an earlier source comes first"));
        } else if (c.inferred && c.complete) {
            inferable = true;
            findings.Add(paradox::FindingCode::StructureSourceFits, name, -1, -1,
                         c.source + ": available when inference is asked for" +
                             (salvaged.used ? "" : "; no source found in files fits"));
        } else {
            findings.Add(paradox::FindingCode::StructureSourceRefused, name, -1, -1,
                         c.source + ": " + c.reason);
        }
    }
    return salvaged.used.has_value() || inferable;
}

} // namespace tutil
