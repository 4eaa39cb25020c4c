#include "tutil/StructureEvidence.h"

#include "paradox/HeaderOffsets.h"
#include "paradox/MappedFile.h"
#include "tutil/MemberHeader.h"

#include <algorithm>

namespace tutil {
namespace fs = std::filesystem;
using paradox::FieldClue;

namespace {

std::uint8_t LowestLevelFor(const std::vector<paradox::FieldSpec>& fields) {
    std::uint8_t version = paradox::level::V4;
    for (const auto& f : fields) {
        if (auto info = paradox::LookupFieldType(f.typeCode); info && info->minLevel > version) {
            version = paradox::level::V5;
        }
    }
    return version;
}

} // namespace

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
    s.protection.keyValue = e.keyValue;
    return s;
}

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
    h.encryption1 = h.hasExtension ? paradox::header_at::kPlainMarker : 0;
    if (e.keyValue != 0) {
        h.encrypted = true;
        (h.hasExtension ? h.encryption2 : h.encryption1) = e.keyValue;
        h.raw = e.storedHeader;
    }
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

bool FitsIndexFiles(const Evidence& e, const paradox::TableSchema& schema, std::string* why) {
    if (e.px) {
        bool fits = schema.keyFieldCount == e.px->keyFields;
        for (std::size_t i = 0; fits && i < e.px->fields.size(); ++i) {
            const FieldClue& key = e.px->fields[i].second;
            fits = i < schema.fields.size() && schema.fields[i].typeCode == key.typeCode &&
                   schema.fields[i].sizeByte == key.sizeByte;
        }
        if (!fits) {
            *why = "its key fields differ from those of " + e.px->file;
            return false;
        }
    }
    // A field an index file describes keeps that type and size: a structure that only has
    // the same record size (fields in another order, say) still decodes every record.
    for (const auto& x : e.xs) {
        for (const auto& [number, clue] : x.fields) {
            if (!clue.known || number == 0) {
                continue;
            }
            const bool fits = number <= schema.fields.size() &&
                              schema.fields[number - 1].typeCode == clue.typeCode &&
                              schema.fields[number - 1].sizeByte == clue.sizeByte;
            if (!fits) {
                *why = "its field " + std::to_string(number) + " differs from the one " + x.file +
                       " indexes";
                return false;
            }
        }
    }
    return true;
}

Evidence GatherEvidence(const TableLocation& table, paradox::ByteView db) {
    Evidence e;
    e.table = table;
    e.family = paradox::FindFamily(table.db);
    e.own = paradox::ReadSurvivingHeader(db);
    e.geometry = paradox::FindBlockGeometry(db, e.own.headerSize, e.own.blockSizeCode);
    const std::size_t headerSize = e.geometry ? e.geometry->headerSize : e.own.headerSize;
    const paradox::ByteView header = db.SubClipped(0, headerSize);
    e.storedHeader.assign(header.data(), header.data() + header.size());
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

} // namespace tutil
