// The rebuild's use of the writer on real tables: every readable corpus table is copied
// through the writer (structure from its headers, records in chain order, blobs, secondary
// index definitions) and the copy must dump identically, keep the structure, and pass every
// check of the library.

#include "PxlibOracle.h"
#include "paradox/BlobFile.h"
#include "paradox/Family.h"
#include "paradox/PrimaryIndex.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableReader.h"
#include "paradox/TableWriter.h"
#include "paradox/ValueText.h"
#include "support/Corpus.h"
#include "support/DescribeFindings.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <map>

namespace {

using paradox::FindingList;
using paradox::TableReader;

using testsupport::Describe;

std::string Dump(const TableReader& table, const paradox::BlobFile* blobs) {
    std::string out;
    table.ForEachRecord(
        [&](const paradox::RecordRef& r) { paradox::AppendRecordLine(out, table, r, blobs); });
    return out;
}

struct Source {
    paradox::TableSchema schema;
    std::vector<std::vector<std::uint8_t>> records;
    std::vector<std::vector<std::optional<std::vector<std::uint8_t>>>> blobs;
    std::string dump;
};

// Everything a rebuild takes from a healthy table; false when the table cannot be read
// completely (encrypted, damaged, blobs missing).
bool ReadSource(const std::filesystem::path& db, Source& source) {
    FindingList findings;
    auto table = TableReader::Open(db, findings);
    if (!table || table->Encrypted() || findings.HasDamage()) {
        return false;
    }
    const paradox::TableFamily family = paradox::FindFamily(db);
    std::unique_ptr<paradox::BlobFile> blobs;
    if (!family.mb.empty()) {
        blobs = paradox::BlobFile::Open(family.mb, findings);
    }
    source.schema = table->Header().ToSchema();
    if (!family.px.empty()) {
        if (auto px = TableReader::Open(family.px, findings)) {
            source.schema.indexBlockSizeCode = px->Header().blockSizeCode;
        }
    }
    for (const auto& file : family.secondaries) {
        const std::string extension = paradox::UpperExtension(file);
        if (extension[0] != 'X') {
            continue;
        }
        if (auto x = TableReader::Open(file, findings)) {
            paradox::SecondaryIndexSpec spec =
                paradox::ReadSecondaryIndexSpec(x->Header(), extension, source.schema);
            // The Y file may use another block size than its X file.
            std::string y = file.filename().string();
            y[y.size() - extension.size()] = y[y.size() - extension.size()] == 'x' ? 'y' : 'Y';
            if (auto yFile = TableReader::Open(file.parent_path() / y, findings)) {
                spec.indexBlockSizeCode = yFile->Header().blockSizeCode;
            }
            source.schema.secondaryIndexes.push_back(std::move(spec));
        }
    }
    const auto& offsets = table->FieldOffsets();
    bool complete = true;
    table->ForEachRecord([&](const paradox::RecordRef& r) {
        source.records.emplace_back(r.bytes, r.bytes + table->Header().recordSize);
        std::vector<std::optional<std::vector<std::uint8_t>>> values;
        for (std::size_t f = 0; f < source.schema.fields.size(); ++f) {
            const auto& field = source.schema.fields[f];
            if (!paradox::IsBlobType(field.typeCode)) {
                continue;
            }
            std::vector<std::uint8_t> data;
            FindingList blobFindings;
            complete = complete && paradox::ReadBlobField(r.bytes + offsets[f], field.ByteLength(),
                                                          field.typeCode, blobs.get(), data,
                                                          blobFindings, field.name);
            values.push_back(data.empty() ? std::nullopt : std::optional(std::move(data)));
        }
        source.blobs.push_back(std::move(values));
    });
    if (!source.schema.HasBlobs()) {
        source.blobs.clear();
    }
    source.dump = Dump(*table, blobs.get());
    return complete;
}

TEST(WriterCorpusRewrite, EveryReadableTableCopiesFaithfully) {
    MENDRIX_NEEDS_CORPUS();
    std::map<std::string, int> outcome;
    for (const auto& db : testsupport::CorpusTables()) {
        SCOPED_TRACE(db.string());
        Source source;
        if (!ReadSource(db, source)) {
            ++outcome["not readable in full"];
            std::printf("corpus rewrite: skipped %s\n",
                        db.lexically_relative(testsupport::CorpusDir()).c_str());
            continue;
        }
        const std::string problem = paradox::WritableSchemaProblem(source.schema);
        EXPECT_EQ(problem, "");
        if (!problem.empty()) {
            continue;
        }
        testsupport::TempDir dir;
        paradox::WriteOptions options;
        options.sync = false;
        options.byteOrderKeys = false; // keep the chain order the table's collation gave it
        paradox::WriteTable(dir.path(), "COPY", source.schema, source.records, source.blobs,
                            options);
        ++outcome["copied"];
        if (source.schema.Keyed()) {
            // Every corpus table, whatever its sort order, keeps its keys in byte order, so the
            // writer's default check accepts real tables as they are.
            testsupport::TempDir strict;
            paradox::TableWriter writer(strict.path(), "STRICT", source.schema, {.sync = false});
            const std::vector<std::optional<std::vector<std::uint8_t>>> none;
            try {
                for (std::size_t i = 0; i < source.records.size(); ++i) {
                    writer.Append(source.records[i], source.blobs.empty() ? none : source.blobs[i]);
                }
            } catch (const std::invalid_argument&) {
                ++outcome["keyed, chain not in byte order of keys"];
            }
        }
        outcome["records copied"] += static_cast<int>(source.records.size());
        outcome["secondary indexes copied"] +=
            static_cast<int>(source.schema.secondaryIndexes.size());
        outcome["with blobs"] += source.schema.HasBlobs() ? 1 : 0;

        FindingList findings;
        auto copy = TableReader::Open(dir / "COPY.DB", findings);
        ASSERT_TRUE(copy);
        std::unique_ptr<paradox::BlobFile> blobs;
        if (source.schema.HasBlobs()) {
            blobs = paradox::BlobFile::Open(dir / "COPY.MB", findings);
            ASSERT_TRUE(blobs);
            blobs->CheckStructure(findings);
            paradox::CheckTableBlobs(*copy, blobs.get(), findings);
        }
        EXPECT_EQ(Dump(*copy, blobs.get()), source.dump);

        // pxlib reads the copy exactly as it reads the original.
        const pxoracle::Dump original = pxoracle::ReadWithPxlib(db);
        const pxoracle::Dump copied = pxoracle::ReadWithPxlib(dir / "COPY.DB");
        EXPECT_EQ(copied.error, original.error);
        EXPECT_EQ(copied.records, original.records);
        EXPECT_TRUE(copied.rows == original.rows);
        if (original.error.empty() && original.records == static_cast<int>(source.records.size())) {
            ++outcome["pxlib reads original and copy alike"];
        }

        const paradox::TableSchema back = copy->Header().ToSchema();
        EXPECT_EQ(back.fileVersion, source.schema.fileVersion);
        EXPECT_EQ(back.blockSizeCode, source.schema.blockSizeCode);
        EXPECT_EQ(back.keyFieldCount, source.schema.keyFieldCount);
        EXPECT_EQ(back.sortOrder, source.schema.sortOrder);
        EXPECT_EQ(back.sortOrderName, source.schema.sortOrderName);
        EXPECT_EQ(back.codePage, source.schema.codePage);
        EXPECT_EQ(back.tableName, source.schema.tableName);
        EXPECT_EQ(back.autoIncrement, source.schema.autoIncrement);
        ASSERT_EQ(back.fields.size(), source.schema.fields.size());
        for (std::size_t i = 0; i < back.fields.size(); ++i) {
            EXPECT_EQ(back.fields[i].name, source.schema.fields[i].name);
            EXPECT_EQ(back.fields[i].typeCode, source.schema.fields[i].typeCode);
            EXPECT_EQ(back.fields[i].sizeByte, source.schema.fields[i].sizeByte);
        }
        if (source.schema.Keyed()) {
            paradox::CheckPrimaryIndex(*copy, dir / "COPY.PX", findings);
            auto px = TableReader::Open(dir / "COPY.PX", findings);
            ASSERT_TRUE(px);
            EXPECT_EQ(px->Header().blockSizeCode, source.schema.indexBlockSizeCode);
        }
        for (const auto& spec : source.schema.secondaryIndexes) {
            std::string y = spec.extension;
            y[0] = 'Y';
            const auto xPath = dir / ("COPY." + spec.extension);
            paradox::CheckSecondaryIndex(*copy, xPath, dir / ("COPY." + y), findings);
            auto x = TableReader::Open(xPath, findings);
            ASSERT_TRUE(x);
            const auto again =
                paradox::ReadSecondaryIndexSpec(x->Header(), spec.extension, source.schema);
            EXPECT_EQ(again.fieldNumbers, spec.fieldNumbers);
            EXPECT_EQ(again.composite, spec.composite);
            EXPECT_EQ(again.maintained, spec.maintained);
            EXPECT_EQ(again.name, spec.name);
            EXPECT_EQ(again.blockSizeCode, spec.blockSizeCode);
            if (auto yCopy = TableReader::Open(dir / ("COPY." + y), findings)) {
                EXPECT_EQ(yCopy->Header().blockSizeCode, spec.indexBlockSizeCode);
            }
        }
        EXPECT_TRUE(findings.Empty()) << Describe(findings);
    }
    for (const auto& [what, count] : outcome) {
        std::printf("corpus rewrite: %s: %d\n", what.c_str(), count);
    }
    EXPECT_GT(outcome["copied"], 150);
    EXPECT_EQ(outcome["keyed, chain not in byte order of keys"], 0);
}

} // namespace
