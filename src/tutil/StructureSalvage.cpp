#include "tutil/StructureSalvage.h"

#include "engine/ErrorCodes.h"
#include "engine/FileNames.h"
#include "paradox/Family.h"
#include "paradox/HeaderLayout.h"
#include "paradox/MappedFile.h"
#include "paradox/NameCase.h"
#include "paradox/PlainBytes.h"
#include "tutil/InferredStructure.h"
#include "tutil/MemberHeader.h"
#include "tutil/SecondarySpecs.h"
#include "tutil/StructureEvidence.h"
#include "tutil/StructureKey.h"
#include "tutil/StructureProof.h"
#include "tutil/UtilityError.h"
#include "tutil/WorkTables.h"

#include <algorithm>
#include <cctype>

namespace tutil {
namespace fs = std::filesystem;
using paradox::FieldClue;

namespace {

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
    // The damaged table's protection, not the other table's.
    c.schema.protection = {};
    c.schema.protection.keyValue = e.keyValue;
    return c;
}

// Backups an earlier rebuild left beside the table (STEM-BACKUP.DB, STEM-BACKUP1.DB, ...),
// newest first.
std::vector<fs::path> EarlierBackups(const TableLocation& table) {
    constexpr int kHighestNumber = 99999;
    std::vector<std::pair<long, fs::path>> found;
    for (const std::string& name : RegularFileNames(table.dir)) {
        const auto work = engine::ParseWorkTableName(name);
        if (!work || work->kind != engine::WorkTableKind::Backup ||
            !paradox::SameName(work->tableStem, table.stem) || work->number > kHighestNumber) {
            continue;
        }
        found.emplace_back(work->number, table.dir / name);
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<fs::path> paths;
    for (auto& [number, path] : found) {
        paths.push_back(std::move(path));
    }
    return paths;
}

// The .DB with every block decrypted under the key and block layout found (a copy capped as
// the reader caps it).
paradox::PlainBytes DecryptedCopy(const fs::path& db, const StructureKey& key) {
    std::string error;
    auto file = paradox::MappedFile::Open(db, &error);
    if (!file) {
        throw UtilityError(engine::err::IoError, error);
    }
    paradox::TableHeader layout;
    layout.encrypted = true;
    layout.encryption1 = key.keyValue;
    layout.headerSize = key.geometry->headerSize;
    layout.blockSizeCode = key.geometry->blockSizeCode;
    return paradox::PlainBytes::ForBlockFile(std::move(*file), layout);
}

// A level-3.0 header ends right after the field names, so a structure of that level fixes
// where block 1 starts: the chain is looked for there (the block size the longest chain bears
// out) rather than at the sizes later levels pad their headers to.
const Evidence& WithLevel30Blocks(const Evidence& e, paradox::ByteView db, StructureCandidate& c,
                                  Evidence& copy) {
    if (c.schema.fileVersion != paradox::level::V3_0) {
        return e;
    }
    paradox::HeaderContent content;
    content.fileType =
        c.schema.Keyed() ? paradox::FileType::KeyedTable : paradox::FileType::UnkeyedTable;
    content.fileVersion = c.schema.fileVersion;
    content.fields = c.schema.fields;
    content.tableName = c.schema.tableName;
    const std::uint32_t headerSize = paradox::HeaderSize(content);
    if (headerSize > 0xFFFF || (e.geometry && e.geometry->headerSize == headerSize)) {
        return e;
    }
    std::optional<paradox::BlockGeometry> best;
    for (const std::uint8_t code :
         {e.own.blockSizeCode, std::uint8_t{1}, std::uint8_t{2}, std::uint8_t{4}, std::uint8_t{16},
          std::uint8_t{8}, std::uint8_t{32}, std::uint8_t{3}}) {
        if (!paradox::IsValidBlockSizeCode(code)) {
            continue;
        }
        auto g =
            paradox::WalkFromBlockOne(db, static_cast<std::uint16_t>(headerSize), code, e.keyValue);
        if (g && (!best || g->chain.size() > best->chain.size())) {
            best = std::move(g);
        }
    }
    if (!best) {
        return e;
    }
    copy = e;
    copy.geometry = std::move(best);
    c.schema.blockSizeCode = copy.geometry->blockSizeCode;
    return copy;
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
    const paradox::ParsedHeader parsed =
        paradox::ParseHeaderWithReason(file->View(), table.db.filename().string(), findings);
    return parsed.header ? !parsed.header->fieldsKnown
                         : parsed.failure != paradox::HeaderFailure::TooShort;
}

SalvagedStructure SalvageStructure(const TableLocation& table, const StructureChoice& choice,
                                   bool proveAll) {
    std::string error;
    auto file = paradox::MappedFile::Open(table.db, &error);
    if (!file) {
        throw UtilityError(engine::err::IoError, error);
    }
    const paradox::ByteView stored = file->View();
    const StructureKey key = FindStructureKey(stored, paradox::ReadSurvivingHeader(stored));
    std::optional<paradox::PlainBytes> plain;
    if (key.keyValue != 0) {
        plain.emplace(DecryptedCopy(table.db, key));
    }
    const paradox::ByteView db = plain ? plain->View() : stored;
    Evidence e = GatherEvidence(table, db);
    e.keyValue = key.keyValue;
    if (key.geometry) {
        e.geometry = key.geometry;
    }
    const MergedClues merged = Merge(e);
    SalvagedStructure result;
    result.keyFinding = key.finding;
    auto& list = result.candidates;
    list.push_back(OwnHeaderCandidate(e));
    list.push_back(IndexFilesCandidate(e, merged));
    for (const fs::path& backup : EarlierBackups(table)) {
        list.push_back(TableCandidate(e, backup, true));
    }
    for (auto& c : list) {
        if (choice.NamesASource() && c.complete) {
            c.reason = "not used when another source is named";
        }
    }
    if (!choice.templateTable.empty()) {
        list.push_back(TableCandidate(e, choice.templateTable, false));
        list.back().named = true;
    }
    StructureCandidate inferred = InferredCandidate(e, db, merged);
    if (!choice.allowInference && inferred.complete) {
        inferred.reason = "not used unless inference is asked for";
    }
    inferred.named = choice.allowInference;
    list.push_back(std::move(inferred));

    if (key.lost) {
        for (auto& c : list) {
            c.reason = key.finding;
            c.complete = false;
        }
        return result;
    }
    for (std::size_t i = 0; i < list.size(); ++i) {
        StructureCandidate& c = list[i];
        if (!c.complete || (c.inferred && !choice.allowInference) ||
            (choice.NamesASource() && !c.named)) {
            continue;
        }
        if (result.used && !proveAll) {
            break;
        }
        c.tried = true;
        if (!FitsIndexFiles(e, c.schema, &c.reason)) {
            continue;
        }
        Evidence level30;
        const paradox::TableHeader header =
            ReadingHeader(WithLevel30Blocks(e, db, c, level30), c.schema);
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
    if (!salvaged.keyFinding.empty()) {
        findings.Add(paradox::FindingCode::EncryptionKeyBad, paradox::Severity::Damage, name, 1, -1,
                     paradox::Detail(paradox::DetailKind::KeySearch).Found(salvaged.keyFinding));
    }
    for (const StructureCandidate& c : salvaged.candidates) {
        if (c.holds) {
            break;
        }
        if (c.tried || (c.complete && !c.inferred && !choice.NamesASource())) {
            findings.Add(paradox::FindingCode::StructureSourceRefused, name, -1, -1,
                         paradox::Detail(paradox::DetailKind::SourceRefused)
                             .Extra(c.source)
                             .Found(c.reason));
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
                 paradox::Detail(paradox::DetailKind::FieldsTakenFrom).Extra(used->source));
    *source = used->source;
    return paradox::TableReader::OpenWithHeader(table.db, salvaged.header, findings);
}

bool ReportStructureSources(const TableLocation& table, paradox::FindingList& findings) {
    StructureChoice choice;
    choice.allowInference = false;
    const SalvagedStructure salvaged = SalvageStructure(table, choice, true);
    const std::string name = table.db.filename().string();
    if (!salvaged.keyFinding.empty()) {
        findings.Add(paradox::FindingCode::EncryptionKeyBad, paradox::Severity::Damage, name, 1, -1,
                     paradox::Detail(paradox::DetailKind::KeySearch).Found(salvaged.keyFinding));
    }
    bool inferable = false;
    for (std::size_t i = 0; i < salvaged.candidates.size(); ++i) {
        const StructureCandidate& c = salvaged.candidates[i];
        if (c.holds) {
            const bool chosen = salvaged.used == i;
            findings.Add(paradox::FindingCode::StructureSourceFits, name, -1, -1,
                         paradox::Detail(chosen ? paradox::DetailKind::SourceChosen
                                                : paradox::DetailKind::SourceFitsLater)
                             .Extra(c.source));
        } else if (c.inferred && c.complete) {
            inferable = true;
            findings.Add(paradox::FindingCode::StructureSourceFits, name, -1, -1,
                         paradox::Detail(salvaged.used ? paradox::DetailKind::SourceInferable
                                                       : paradox::DetailKind::SourceInferableOnly)
                             .Extra(c.source));
        } else {
            findings.Add(paradox::FindingCode::StructureSourceRefused, name, -1, -1,
                         paradox::Detail(paradox::DetailKind::SourceRefused)
                             .Extra(c.source)
                             .Found(c.reason));
        }
    }
    return salvaged.used.has_value() || inferable;
}

} // namespace tutil
