#include "TableFixture.h"
#include "paradox/Codec.h"
#include "paradox/RecordBuilder.h"
#include "paradox/TableReader.h"
#include "paradox/TableWriter.h"
#include "support/TempDir.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/Verify.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using paradox::FindingCode;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
using namespace tutilfixture;

constexpr int kRecords = 60;
constexpr std::size_t kNotesSize = 20; // 10-byte leader + tail: longer notes live in the .MB

// NOTES: Id (key), Title, Notes (memo) with a text longer than its leader in every record.
fs::path WriteNotes(const fs::path& dir) {
    const paradox::TableSchema schema = NotesSchema(kNotesSize);
    std::vector<std::vector<std::uint8_t>> records;
    std::vector<std::vector<std::optional<std::vector<std::uint8_t>>>> blobs;
    paradox::RecordBuilder row(schema);
    for (int i = 1; i <= kRecords; ++i) {
        row.Clear().SetInt(0, i).SetText(1, "title " + std::to_string(i));
        row.SetBlobText(2, "note number " + std::to_string(i) + std::string(50 + i * 40, 'x'));
        records.push_back(row.Bytes());
        blobs.push_back(row.Blobs());
    }
    paradox::WriteTable(dir, "NOTES", schema, records, blobs);
    return dir / "NOTES.DB";
}

// The values of `records` with the memo of the given record positions lost (NULL).
std::vector<std::string> WithNotesLost(std::vector<std::string> records,
                                       const std::vector<int>& lost) {
    for (const int i : lost) {
        auto& record = records[static_cast<std::size_t>(i)];
        record = record.substr(0, record.rfind('[')) + "[]";
    }
    return records;
}

std::uint64_t Rows(const fs::path& db) {
    paradox::FindingList findings;
    auto reader = paradox::TableReader::Open(db, findings);
    return reader ? reader->RecordCount() : 0;
}

struct BlobDamage {
    std::string name;
    FindingCode code;
    std::function<void(const fs::path& dir)> apply;
    std::vector<int> lost;
};

TEST(BlobDamage, LostBlobsGoToTheProblemTableAndTheRecordsStay) {
    const std::vector<BlobDamage> kinds = {
        {"MissingBlobFile", FindingCode::BlobFileMissing,
         [](const fs::path& dir) { fs::remove(dir / "NOTES.MB"); },
         [] {
             std::vector<int> all;
             for (int i = 0; i < kRecords; ++i) {
                 all.push_back(i);
             }
             return all;
         }()},
        {"DamagedBlobPointer",
         FindingCode::BlobPointerBad,
         [](const fs::path& dir) {
             std::string db = ReadFileBytes(dir / "NOTES.DB");
             const Layout l = ReadLayout(db);
             // Record 3 of block 1: point its memo 64 MB past the start of the .MB.
             const std::size_t tail = l.BlockOffset(1) + 6 + 3 * l.recordSize + 24 + 10;
             db[tail] = static_cast<char>(0xFF);
             db[tail + 1] = 0;
             db[tail + 2] = 0;
             db[tail + 3] = 0x04;
             WriteFileBytes(dir / "NOTES.DB", db);
         },
         {3}},
    };
    for (const auto& damage : kinds) {
        SCOPED_TRACE(damage.name);
        TempDir dir;
        const fs::path db = WriteNotes(dir.path());
        const auto original = RecordValues(db);
        ASSERT_EQ(original.size(), static_cast<std::size_t>(kRecords));
        const auto table = tutil::LocateTable(db.string());
        const auto schema = tutil::ReadTableStructure(table);
        damage.apply(dir.path());
        const std::string damagedDb = ReadFileBytes(db);

        const auto before = tutil::VerifyTable(table);
        EXPECT_EQ(before.status, tutil::VerifyStatus::Repairable);
        EXPECT_TRUE(before.findings.Has(damage.code));

        const auto outcome = tutil::RebuildTable(
            table, schema,
            {"NOTES-BACKUP.DB", "NOTES-KEYVIOL.DB", "NOTES-PROBLEM.DB", "Rebuild.DB"});
        EXPECT_EQ(outcome.recordsWritten, static_cast<std::uint64_t>(kRecords));
        EXPECT_EQ(outcome.problems, damage.lost.size());
        EXPECT_EQ(Rows(dir / "NOTES-PROBLEM.DB"), damage.lost.size());
        EXPECT_EQ(ReadFileBytes(dir / "NOTES-BACKUP.DB"), damagedDb);
        EXPECT_EQ(RecordValues(db), WithNotesLost(original, damage.lost));
        const auto after = tutil::VerifyTable(table);
        EXPECT_EQ(after.status, tutil::VerifyStatus::Healthy);
        ExpectOpensOnEveryIndex(db, 2);
    }
}

TEST(BlobDamage, HealthyBlobTableRebuildsWithEveryBlob) {
    TempDir dir;
    const fs::path db = WriteNotes(dir.path());
    const auto original = RecordValues(db);
    const auto table = tutil::LocateTable(db.string());
    EXPECT_EQ(tutil::VerifyTable(table).status, tutil::VerifyStatus::Healthy);
    tutil::RebuildTable(table, tutil::ReadTableStructure(table),
                        {"NOTES-BACKUP.DB", "NOTES-KEYVIOL.DB", "NOTES-PROBLEM.DB", ""});
    EXPECT_EQ(RecordValues(db), original);
    EXPECT_TRUE(fs::exists(dir / "NOTES.MB"));
    EXPECT_TRUE(fs::exists(dir / "NOTES-BACKUP.MB"));
    EXPECT_FALSE(fs::exists(dir / "NOTES-PROBLEM.DB"));
    ExpectOpensOnEveryIndex(db, 2);
}

TEST(BlobDamage, GarbageInTheMiddleOfTheBlobFileCostsOnlyTheBlobsItHits) {
    constexpr int kMemos = 3000;
    TempDir dir;
    paradox::TableSchema schema;
    schema.fileVersion = paradox::level::V7;
    schema.tableName = "MEMOS.DB";
    schema.fields = {{"Id", 0x04, 4}, {"Memo", 0x0C, 20}};
    schema.keyFieldCount = 1;
    std::vector<std::vector<std::uint8_t>> records;
    std::vector<std::vector<std::optional<std::vector<std::uint8_t>>>> blobs;
    paradox::RecordBuilder row(schema);
    for (int i = 1; i <= kMemos; ++i) {
        // Short memos share suballocated blocks, long ones have blocks of their own.
        const std::size_t length = i % 7 == 0 ? 4000 + (i * 131) % 9000 : 30 + (i * 37) % 900;
        row.Clear().SetInt(0, i).SetBlobText(
            1, "memo " + std::to_string(i) + " " +
                   std::string(length, static_cast<char>('a' + i % 26)));
        records.push_back(row.Bytes());
        blobs.push_back(row.Blobs());
    }
    paradox::WriteTable(dir.path(), "MEMOS", schema, records, blobs);
    const fs::path db = dir / "MEMOS.DB";
    const auto original = RecordValues(db);
    ASSERT_EQ(original.size(), static_cast<std::size_t>(kMemos));

    // 4 KB of garbage from an odd place in the middle: it hits two blocks at most.
    std::string mb = ReadFileBytes(dir / "MEMOS.MB");
    const std::size_t from = mb.size() / 2 + 1000;
    for (std::size_t i = 0; i < 4096; ++i) {
        mb[from + i] = static_cast<char>((i * 151 + 89) & 0xFF);
    }
    WriteFileBytes(dir / "MEMOS.MB", mb);

    // Which records' blob blocks the garbage overlaps, from the pointers in the records.
    std::vector<bool> hit;
    {
        paradox::FindingList ignored;
        auto reader = paradox::TableReader::Open(db, ignored);
        ASSERT_TRUE(reader);
        reader->ForEachRecord([&](const paradox::RecordRef& r) {
            const auto ref = paradox::DecodeBlobRef(r.bytes + reader->FieldOffsets()[1], 20);
            std::size_t units = 1;
            if (ref->index == 0xFF) {
                units = static_cast<std::uint8_t>(mb[ref->offset + 1]) |
                        static_cast<std::uint8_t>(mb[ref->offset + 2]) << 8;
            }
            const std::size_t end = ref->offset + units * 4096;
            hit.push_back(ref->InBlobFile() && ref->offset < from + 4096 && end > from);
        });
    }
    ASSERT_EQ(hit.size(), original.size());
    const auto touched = static_cast<std::size_t>(std::count(hit.begin(), hit.end(), true));
    ASSERT_GT(touched, 0u);
    ASSERT_LT(touched, 100u);

    const auto table = tutil::LocateTable(db.string());
    const auto outcome =
        tutil::RebuildTable(table, tutil::ReadTableStructure(table),
                            {"MEMOS-BACKUP.DB", "MEMOS-KEYVIOL.DB", "MEMOS-PROBLEM.DB", ""});
    EXPECT_EQ(outcome.recordsWritten, static_cast<std::uint64_t>(kMemos));
    const auto rebuilt = RecordValues(db);
    ASSERT_EQ(rebuilt.size(), original.size());
    // A hit blob is lost (NULL, with a problem row) when its block no longer checks out; one
    // whose block header survived comes back with the garbage in it, as any reader would give
    // it (the file has no checksum).
    const auto lostForm = WithNotesLost(original, [&] {
        std::vector<int> all;
        for (int i = 0; i < kMemos; ++i) {
            all.push_back(i);
        }
        return all;
    }());
    std::size_t lost = 0;
    for (std::size_t i = 0; i < original.size(); ++i) {
        if (!hit[i]) {
            EXPECT_EQ(rebuilt[i], original[i]) << "record " << i + 1;
        } else if (rebuilt[i] == lostForm[i]) {
            ++lost;
        }
    }
    EXPECT_EQ(outcome.problems, lost);
    EXPECT_EQ(ReadFileBytes(dir / "MEMOS-BACKUP.MB"), mb);
}

TEST(BlobDamage, ABlobTwoRecordsPointAtIsReportedAtTheSecond) {
    TempDir dir;
    paradox::TableSchema schema;
    schema.fileVersion = paradox::level::V7;
    schema.tableName = "MEMOS.DB";
    schema.fields = {{"Id", 0x04, 4}, {"Memo", 0x0C, 20}};
    schema.keyFieldCount = 1;
    std::vector<std::vector<std::uint8_t>> records;
    std::vector<std::vector<std::optional<std::vector<std::uint8_t>>>> blobs;
    paradox::RecordBuilder row(schema);
    for (int i = 1; i <= 40; ++i) {
        // Every seventh memo has a block of its own, the others share suballocated blocks.
        row.Clear().SetInt(0, i).SetBlobText(1, "memo " + std::to_string(i) +
                                                    std::string(i % 7 == 0 ? 5000 : 100, 'm'));
        records.push_back(row.Bytes());
        blobs.push_back(row.Blobs());
    }
    paradox::WriteTable(dir.path(), "MEMOS", schema, records, blobs);
    const fs::path db = dir / "MEMOS.DB";
    std::string bytes = ReadFileBytes(db);
    const Layout l = ReadLayout(bytes);
    ASSERT_GE((l.blockSize - 6) / l.recordSize, 40u);
    auto tail = [&](std::size_t slot) { return l.BlockOffset(1) + 6 + slot * l.recordSize + 14; };
    auto copyTail = [&](std::size_t from, std::size_t to) {
        bytes.replace(tail(to), 10, bytes.substr(tail(from), 10));
    };
    auto pointAt = [&](std::size_t slot, std::uint32_t offset) {
        for (std::size_t i = 0; i < 4; ++i) {
            bytes[tail(slot) + i] = static_cast<char>(((offset | 0xFF) >> (8 * i)) & 0xFF);
        }
    };
    copyTail(6, 10);     // a single-blob block (memo 7)
    copyTail(1, 20);     // a slot of a suballocated block (memo 2)
    copyTail(2, 21);     // another slot of the same block (memo 3)
    pointAt(30, 0x1100); // no block starts there
    pointAt(31, 0x1100);
    pointAt(32, 0x4000000); // past the end of the file
    pointAt(33, 0x4000000);
    WriteFileBytes(db, bytes);

    const auto verified = tutil::VerifyTable(tutil::LocateTable(db.string()));
    std::vector<std::int64_t> sharedAt;
    std::vector<std::string> shared;
    for (const auto& f : verified.findings.All()) {
        if (f.code == FindingCode::BlobShared) {
            sharedAt.push_back(f.record);
            shared.push_back(f.detail.Render());
        }
    }
    EXPECT_EQ(sharedAt, (std::vector<std::int64_t>{10, 20, 21, 31, 33}));
    ASSERT_EQ(shared.size(), 5u);
    EXPECT_EQ(shared[3], "Memo: blob at 0x1100 slot 255");
    EXPECT_TRUE(verified.findings.Has(FindingCode::BlobPointerBad));
}

} // namespace
