#include "TableFixture.h"
#include "engine/Callbacks.h"
#include "paradox/RecordBuilder.h"
#include "paradox/TableWriter.h"
#include "support/DescribeFindings.h"
#include "support/TempDir.h"
#include "tutil/Verify.h"

#include <array>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using paradox::FindingCode;
using paradox::Phase;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
using namespace tutilfixture;

constexpr int kRecords = 600;

// NOTES: Id (key), Title (secondary index), Notes (memo, every fourth one in the .MB).
fs::path WriteNotes(const fs::path& dir, int records) {
    const paradox::TableSchema schema = NotesSchema();
    std::vector<std::vector<std::uint8_t>> rows;
    std::vector<std::vector<std::optional<std::vector<std::uint8_t>>>> blobs;
    paradox::RecordBuilder row(schema);
    for (int i = 1; i <= records; ++i) {
        row.Clear().SetInt(0, i).SetText(1, "title " + std::to_string(i * 7 % 97));
        row.SetBlobText(2, i % 4 == 0 ? "a long note " + std::string(100 + i, 'x') : "short");
        rows.push_back(row.Bytes());
        blobs.push_back(row.Blobs());
    }
    paradox::WriteTable(dir, "NOTES", schema, rows, blobs);
    return dir / "NOTES.DB";
}

std::vector<std::pair<std::uint8_t, std::uint16_t>> progressReports;

std::uint32_t RecordProgress(std::uint32_t, std::uint32_t, void* record) {
    const auto* bytes = static_cast<const std::uint8_t*>(record);
    const auto percent = static_cast<std::uint16_t>(bytes[engine::kPercentOffset] |
                                                    bytes[engine::kPercentOffset + 1] << 8);
    progressReports.emplace_back(bytes[engine::kPhaseOffset + 3], percent);
    return 0;
}

struct VerifyRun {
    paradox::FindingList findings;
    std::vector<std::pair<std::uint8_t, std::uint16_t>> progress;
};

VerifyRun VerifyWithThreadsFrom(const fs::path& db, std::uint64_t recordBytes) {
    tutil::testing::SetSecondThreadFrom(recordBytes);
    std::array<std::uint8_t, engine::kProgressRecordSize> buffer{};
    progressReports.clear();
    engine::RegisterCallback(0, engine::kGeneralProgress, 0, engine::kProgressRecordSize,
                             buffer.data(), &RecordProgress);
    VerifyRun run;
    run.findings = tutil::VerifyTable(tutil::LocateTable(db.string())).findings;
    engine::RegisterCallback(0, engine::kGeneralProgress, 0, engine::kProgressRecordSize, nullptr,
                             nullptr);
    tutil::testing::SetSecondThreadFrom(std::uint64_t{4} << 20);
    run.progress = progressReports;
    return run;
}

// The phases in the order their reports came, each once.
std::vector<std::uint8_t> PhaseOrder(const VerifyRun& run) {
    std::vector<std::uint8_t> phases;
    for (const auto& [phase, percent] : run.progress) {
        if (phases.empty() || phases.back() != phase) {
            phases.push_back(phase);
        }
    }
    return phases;
}

TEST(VerifyThreads, TwoThreadsReportWhatOneThreadReportsInTheSameOrder) {
    TempDir dir;
    const fs::path db = WriteNotes(dir.path(), kRecords);
    // Damage in the indexes (a secondary index of another version of the table), in records
    // near the start and near the end of the chain, and in the blob file.
    {
        TempDir other;
        WriteNotes(other.path(), kRecords - 50);
        fs::copy_file(other / "NOTES.X02", dir / "NOTES.X02", fs::copy_options::overwrite_existing);
    }
    std::string bytes = ReadFileBytes(db);
    const Layout l = ReadLayout(bytes);
    const std::size_t perBlock = (l.blockSize - 6) / l.recordSize;
    const std::size_t first = l.BlockOffset(1) + 6;
    bytes.replace(first + 3 * l.recordSize, 4, bytes.substr(first + 2 * l.recordSize, 4));
    const std::size_t blocks = (kRecords + perBlock - 1) / perBlock;
    ASSERT_GE(blocks, 4u);
    const std::size_t late = l.BlockOffset(static_cast<std::uint32_t>(blocks - 1)) + 6;
    const std::string swapped = bytes.substr(late, l.recordSize);
    bytes.replace(late, l.recordSize, bytes.substr(late + l.recordSize, l.recordSize));
    bytes.replace(late + l.recordSize, l.recordSize, swapped);
    WriteFileBytes(db, bytes);
    std::string mb = ReadFileBytes(dir / "NOTES.MB");
    mb.resize(mb.size() * 2 / 3);
    WriteFileBytes(dir / "NOTES.MB", mb);

    const VerifyRun one = VerifyWithThreadsFrom(db, UINT64_MAX);
    const VerifyRun two = VerifyWithThreadsFrom(db, 0);
    EXPECT_EQ(testsupport::Describe(two.findings), testsupport::Describe(one.findings));
    for (const Phase phase : {Phase::Indexes, Phase::Data}) {
        bool found = false;
        for (const auto& f : one.findings.All()) {
            found = found || paradox::FindingInfo(f.code).phase == phase;
        }
        EXPECT_TRUE(found) << "no finding of phase " << static_cast<int>(phase) << "\n"
                           << testsupport::Describe(one.findings);
    }
    EXPECT_TRUE(one.findings.Has(FindingCode::DuplicateKey));
    EXPECT_TRUE(one.findings.Has(FindingCode::KeyOrder));
    bool blobFinding = false;
    for (const auto& f : one.findings.All()) {
        blobFinding = blobFinding ||
                      (f.code >= FindingCode::BlobFileMissing && f.code <= FindingCode::BlobShared);
    }
    EXPECT_TRUE(blobFinding) << testsupport::Describe(one.findings);

    const std::vector<std::uint8_t> phases = {static_cast<std::uint8_t>(Phase::Header),
                                              static_cast<std::uint8_t>(Phase::Indexes),
                                              static_cast<std::uint8_t>(Phase::Data)};
    EXPECT_EQ(PhaseOrder(one), phases);
    EXPECT_EQ(PhaseOrder(two), phases);
    ASSERT_FALSE(two.progress.empty());
    EXPECT_EQ(two.progress.back().second, 100);
}

// The data pass cut into stretches of one block each, taken by two threads from the end of the
// chain: damage on both sides of the cuts is reported as one pass over the chain reports it. First
// keys repeated in more blocks than the report lists, a key below the last key of the block before
// (on a cut) and a blob file cut short; then also a blob referred to from both sides of a cut.
TEST(VerifyThreads, StretchesJoinedAtTheirCutsReportWhatOnePassReports) {
    TempDir dir;
    const fs::path db = WriteNotes(dir.path(), kRecords);
    std::string bytes = ReadFileBytes(db);
    const Layout l = ReadLayout(bytes);
    const std::size_t perBlock = (l.blockSize - 6) / l.recordSize;
    const std::size_t blocks = kRecords / perBlock; // the full ones
    ASSERT_GE(blocks, 4u);
    auto at = [&](std::size_t block, std::size_t slot) {
        return l.BlockOffset(static_cast<std::uint32_t>(block)) + 6 + slot * l.recordSize;
    };
    for (std::size_t block = 3; block <= blocks; ++block) {
        for (std::size_t slot = 1; slot < perBlock; slot += 4) {
            bytes.replace(at(block, slot), 4, bytes.substr(at(block, slot - 1), 4));
        }
    }
    const std::string last = bytes.substr(at(1, perBlock - 1), l.recordSize);
    bytes.replace(at(1, perBlock - 1), l.recordSize, bytes.substr(at(2, 0), l.recordSize));
    bytes.replace(at(2, 0), l.recordSize, last);
    WriteFileBytes(db, bytes);
    std::string mb = ReadFileBytes(dir / "NOTES.MB");
    mb.resize(mb.size() / 2);
    WriteFileBytes(dir / "NOTES.MB", mb);

    auto compare = [&](const char* what) {
        const VerifyRun one = VerifyWithThreadsFrom(db, UINT64_MAX);
        tutil::testing::SetStretchBytes(1);
        tutil::testing::TakeStretchesLastFirst(true);
        const VerifyRun split = VerifyWithThreadsFrom(db, 0);
        tutil::testing::TakeStretchesLastFirst(false);
        tutil::testing::SetStretchBytes(std::uint64_t{8} << 20);
        EXPECT_EQ(testsupport::Describe(split.findings), testsupport::Describe(one.findings))
            << what;
        return one.findings;
    };
    auto has = [](const paradox::FindingList& findings, FindingCode code, std::int64_t block,
                  std::int64_t record) {
        for (const auto& f : findings.All()) {
            if (f.code == code && f.block == block && f.record == record) {
                return true;
            }
        }
        return false;
    };
    const paradox::FindingList before = compare("repeated keys, key order, short blob file");
    EXPECT_TRUE(has(before, FindingCode::KeyOrder, 2, 0)) << testsupport::Describe(before);
    EXPECT_TRUE(has(before, FindingCode::DuplicateKey, -1, -1)) << testsupport::Describe(before);
    EXPECT_TRUE(has(before, FindingCode::BlobPointerBad, -1, -1)) << testsupport::Describe(before);

    // Record 4 (block 1) keeps its note in the blob file; a record of the last full block now
    // refers to the same blob.
    bytes.replace(at(blocks, 2) + 24, 20, bytes.substr(at(1, 3) + 24, 20));
    WriteFileBytes(db, bytes);
    const paradox::FindingList shared = compare("and a blob shared across a cut");
    EXPECT_TRUE(has(shared, FindingCode::BlobShared, static_cast<std::int64_t>(blocks), 2))
        << testsupport::Describe(shared);
}

} // namespace
