#include "TableFixture.h"
#include "engine/IndexCatalog.h"
#include "paradox/Family.h"
#include "paradox/TableReader.h"
#include "support/Corpus.h"
#include "support/TempDir.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/UtilityError.h"
#include "tutil/Verify.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using paradox::FindingCode;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
using namespace tutilfixture;

// The chain of a healthy table: blocks in order and the index of each block's first record.
struct Chain {
    std::vector<std::uint16_t> blocks;
    std::vector<int> firstRecord;
    std::vector<int> counts;
};

Chain ReadChain(const fs::path& db) {
    paradox::FindingList findings;
    auto reader = paradox::TableReader::Open(db, findings);
    Chain chain;
    int next = 0;
    for (std::size_t i = 0; i < reader->ChainBlocks().size(); ++i) {
        chain.blocks.push_back(reader->ChainBlocks()[i]);
        chain.firstRecord.push_back(next);
        chain.counts.push_back(reader->ChainCounts()[i]);
        next += reader->ChainCounts()[i];
    }
    return chain;
}

struct CorpusDamage {
    std::string name;
    FindingCode code;
    // Edits the .DB bytes; returns the chain positions of records that cannot come back.
    std::function<std::vector<int>(std::string&, const Layout&, const Chain&)> apply;
    std::uint64_t keyViolations = 0;
};

std::vector<CorpusDamage> Kinds() {
    return {
        {"WrongRecordCount", FindingCode::RecordCountMismatch,
         [](std::string& db, const Layout&, const Chain&) {
             PutU16(db, 6, static_cast<std::uint16_t>(GetU16(db, 6) + 11));
             return std::vector<int>{};
         }},
        {"WrongBlockCount", FindingCode::BlockCountMismatch,
         [](std::string& db, const Layout&, const Chain&) {
             PutU16(db, 0x0C, static_cast<std::uint16_t>(GetU16(db, 0x0C) + 1));
             return std::vector<int>{};
         }},
        {"BrokenNextLink", FindingCode::ChainLengthMismatch,
         [](std::string& db, const Layout& l, const Chain& c) {
             PutU16(db, l.BlockOffset(c.blocks[2]), 0);
             return std::vector<int>{};
         }},
        {"ChainCycle", FindingCode::ChainCycle,
         [](std::string& db, const Layout& l, const Chain& c) {
             PutU16(db, l.BlockOffset(c.blocks[4]), c.blocks[1]);
             return std::vector<int>{};
         }},
        {"ZeroedBlock", FindingCode::ChainPrevMismatch,
         [](std::string& db, const Layout& l, const Chain& c) {
             std::fill_n(db.begin() + static_cast<long>(l.BlockOffset(c.blocks[3])), l.blockSize,
                         '\0');
             std::vector<int> lost;
             for (int i = 0; i < c.counts[3]; ++i) {
                 lost.push_back(c.firstRecord[3] + i);
             }
             return lost;
         }},
        {"LastRecordOffsetOutOfRange", FindingCode::BadLastRecordOffset,
         [](std::string& db, const Layout& l, const Chain& c) {
             PutU16(db, l.BlockOffset(c.blocks[1]) + 4, 0x7000);
             return std::vector<int>{};
         }},
        {"DuplicateKey", FindingCode::DuplicateKey,
         [](std::string& db, const Layout& l, const Chain& c) {
             const std::size_t first = l.BlockOffset(c.blocks[0]) + 6;
             const std::size_t keyLength = 4; // an autoincrement or long key
             db.replace(first + l.recordSize, keyLength, db.substr(first, keyLength));
             return std::vector<int>{1};
         },
         1},
    };
}

// Damage kinds applied to real tables written by other software: each is reported, and the
// rebuild gives every record back except those of destroyed blocks (it refuses to lose them
// unless told to), opens on every index and verifies clean, with a backup byte-identical to
// the damaged family.
TEST(CorpusDamage, RealTablesAreRepairedWithoutLosingRecords) {
    MENDRIX_NEEDS_CORPUS();
    const fs::path source = testsupport::CorpusDir() / "MedilinkPS-Paradox-Reader" / "zakazky.db";
    for (const auto& damage : Kinds()) {
        SCOPED_TRACE(damage.name);
        TempDir dir;
        for (const auto& file : paradox::AllFamilyFiles(paradox::FindFamily(source))) {
            fs::copy_file(file, dir / file.filename());
        }
        const fs::path db = dir / "zakazky.db";
        const auto table = tutil::LocateTable(db.string());
        ASSERT_EQ(tutil::VerifyTable(table).status, tutil::VerifyStatus::Healthy);
        const auto schema = tutil::ReadTableStructure(table);
        std::vector<engine::IndexDefinition> indexes;
        ASSERT_EQ(engine::ReadIndexDefinitions(db, indexes), 0);
        const auto original = RecordValues(db);
        const Chain chain = ReadChain(db);
        ASSERT_GT(chain.blocks.size(), 5u);

        std::string bytes = ReadFileBytes(db);
        const std::vector<int> lost = damage.apply(bytes, ReadLayout(bytes), chain);
        WriteFileBytes(db, bytes);

        const auto before = tutil::VerifyTable(table);
        EXPECT_NE(before.status, tutil::VerifyStatus::Healthy);
        EXPECT_TRUE(before.findings.Has(damage.code));
        const tutil::RebuildNames names{"Z-BACKUP.DB", "Z-KEYVIOL.DB", "Z-PROBLEM.DB",
                                        "Rebuild.DB"};
        // Records that neither come back nor are set aside: refused, unless the loss is
        // accepted.
        tutil::RebuildPolicy policy;
        policy.acceptLoss = lost.size() > damage.keyViolations;
        if (policy.acceptLoss) {
            const auto damaged = FolderByName(dir.path());
            EXPECT_THROW(tutil::RebuildTable(table, schema, names), tutil::UtilityError);
            EXPECT_EQ(FolderByName(dir.path()), damaged);
        }
        const auto outcome = tutil::RebuildTable(table, schema, names, {}, policy);
        EXPECT_EQ(outcome.keyViolations, damage.keyViolations);
        EXPECT_EQ(ReadFileBytes(dir / "Z-BACKUP.db"), bytes);

        std::vector<std::string> expected;
        for (int i = 0; i < static_cast<int>(original.size()); ++i) {
            if (std::find(lost.begin(), lost.end(), i) == lost.end()) {
                expected.push_back(original[static_cast<std::size_t>(i)]);
            }
        }
        EXPECT_EQ(RecordValues(db), expected);
        EXPECT_EQ(tutil::VerifyTable(table).status, tutil::VerifyStatus::Healthy);
        ExpectOpensOnEveryIndex(db, indexes.size());
    }
}

} // namespace
