#include "TableFixture.h"

#include "engine/IndexCatalog.h"
#include "engine/TableOpen.h"
#include "paradox/BlobFile.h"
#include "paradox/Family.h"
#include "paradox/RecordBuilder.h"
#include "paradox/TableReader.h"
#include "paradox/TableWriter.h"
#include "support/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace tutilfixture {

namespace fs = std::filesystem;

paradox::TableSchema OrdersSchema(bool keyed, bool secondary) {
    paradox::TableSchema schema;
    schema.fileVersion = paradox::level::V5;
    schema.blockSizeCode = 1;
    schema.indexBlockSizeCode = 1;
    schema.tableName = "ORDERS.DB";
    schema.fields = {
        {"Id", 0x04, 4}, {"Name", 0x01, 40}, {"Amount", 0x06, 8}, {"Shipped", 0x09, 1}};
    schema.keyFieldCount = keyed ? 1 : 0;
    if (secondary) {
        paradox::SecondaryIndexSpec byName;
        byName.extension = "X02";
        byName.name = "Name";
        byName.fieldNumbers = {2};
        byName.blockSizeCode = 1;
        schema.secondaryIndexes.push_back(byName);
    }
    return schema;
}

paradox::TableSchema NotesSchema(std::uint8_t notesSize) {
    paradox::TableSchema schema;
    schema.fileVersion = paradox::level::V7;
    schema.tableName = "NOTES.DB";
    schema.fields = {{"Id", 0x04, 4}, {"Title", 0x01, 20}, {"Notes", 0x0C, notesSize}};
    schema.keyFieldCount = 1;
    paradox::SecondaryIndexSpec byTitle;
    byTitle.extension = "X02";
    byTitle.name = "Title";
    byTitle.fieldNumbers = {2};
    schema.secondaryIndexes.push_back(byTitle);
    return schema;
}

fs::path WriteOrders(const fs::path& dir, int count, bool keyed, bool secondary,
                     std::uint32_t keyValue) {
    auto schema = OrdersSchema(keyed, secondary);
    schema.protection.keyValue = keyValue;
    std::vector<std::vector<std::uint8_t>> records;
    paradox::RecordBuilder row(schema);
    for (int id = 1; id <= count; ++id) {
        row.Clear();
        row.SetInt(0, id);
        row.SetText(1, "customer " + std::to_string((id * 7919) % 1000));
        row.SetDouble(2, id * 1.25);
        row.SetLogical(3, id % 2 == 0);
        records.push_back(row.Bytes());
    }
    paradox::WriteTable(dir, "ORDERS", schema, records);
    return dir / "ORDERS.DB";
}

std::vector<std::string> ChainRecords(const fs::path& db) {
    paradox::FindingList findings;
    auto reader = paradox::TableReader::Open(db, findings);
    std::vector<std::string> records;
    if (!reader) {
        ADD_FAILURE() << "cannot open " << db;
        return records;
    }
    const std::size_t size = reader->Header().recordSize;
    reader->ForEachRecord([&](const paradox::RecordRef& r) {
        records.emplace_back(reinterpret_cast<const char*>(r.bytes), size);
    });
    return records;
}

std::vector<std::string> RecordValues(const fs::path& db) {
    paradox::FindingList findings;
    auto reader = paradox::TableReader::Open(db, findings);
    std::vector<std::string> records;
    if (!reader) {
        ADD_FAILURE() << "cannot open " << db;
        return records;
    }
    const auto family = paradox::FindFamily(db);
    auto blobs = family.mb.empty() ? nullptr
                                   : paradox::BlobFile::Open(family.mb, findings,
                                                             reader->Header().CipherKeyValue());
    const auto& fields = reader->Schema().fields;
    reader->ForEachRecord([&](const paradox::RecordRef& r) {
        std::string text;
        std::uint32_t offset = 0;
        for (const auto& field : fields) {
            const std::uint8_t* p = r.bytes + offset;
            if (paradox::IsBlobType(field.typeCode)) {
                std::vector<std::uint8_t> data;
                paradox::FindingList ignored;
                if (paradox::ReadBlobField(p, field.ByteLength(), field.typeCode, blobs.get(), data,
                                           ignored, "")) {
                    text += "[" + std::string(data.begin(), data.end()) + "]";
                } else {
                    text += "[unreadable]";
                }
            } else {
                text.append(reinterpret_cast<const char*>(p), field.ByteLength());
            }
            offset += field.ByteLength();
        }
        records.push_back(std::move(text));
    });
    return records;
}

void ExpectOpensOnEveryIndex(const fs::path& db, std::size_t expected) {
    std::vector<engine::IndexDefinition> indexes;
    ASSERT_EQ(engine::ReadIndexDefinitions(db, indexes), 0);
    EXPECT_EQ(indexes.size(), expected);
    for (const auto& index : indexes) {
        std::unique_ptr<engine::OpenedTable> opened;
        EXPECT_EQ(engine::OpenTable(db, index.name, true, opened), 0) << index.name;
    }
}

std::uint16_t GetU16(const std::string& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes.at(offset)) |
                                      (static_cast<std::uint8_t>(bytes.at(offset + 1)) << 8));
}

void PutU16(std::string& bytes, std::size_t offset, std::uint16_t value) {
    bytes.at(offset) = static_cast<char>(value & 0xFF);
    bytes.at(offset + 1) = static_cast<char>(value >> 8);
}

Layout ReadLayout(const std::string& db) {
    Layout layout;
    layout.recordSize = GetU16(db, 0);
    layout.headerSize = GetU16(db, 2);
    layout.blockSize = static_cast<std::uint8_t>(db.at(5)) * 1024u;
    return layout;
}

fs::path CopyFamily(const fs::path& db, const fs::path& dir) {
    for (const auto& file : paradox::AllFamilyFiles(paradox::FindFamily(db))) {
        fs::copy_file(file, dir / file.filename());
        fs::permissions(dir / file.filename(), fs::perms::owner_write, fs::perm_options::add);
    }
    return dir / db.filename();
}

void WipeBlock(std::string& dbBytes, std::uint32_t block) {
    const Layout layout = ReadLayout(dbBytes);
    std::fill_n(dbBytes.begin() + static_cast<std::ptrdiff_t>(layout.BlockOffset(block)),
                layout.blockSize, '\0');
}

std::vector<std::pair<std::string, std::string>> FolderFiles(const fs::path& dir) {
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.is_regular_file()) {
            files.emplace_back(entry.path().filename().string(),
                               testsupport::ReadFileBytes(entry.path()));
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::map<std::string, std::string> FolderByName(const fs::path& dir) {
    const auto files = FolderFiles(dir);
    return {files.begin(), files.end()};
}

} // namespace tutilfixture
