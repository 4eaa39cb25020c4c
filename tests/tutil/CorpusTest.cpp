#include "support/Corpus.h"

#include "TableFixture.h"
#include "paradox/Family.h"
#include "support/TempDir.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/UtilityError.h"
#include "tutil/Verify.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Copies a corpus table's family into a fresh folder.
fs::path CopyFamily(const fs::path& db, const fs::path& dir) {
    for (const auto& file : paradox::AllFamilyFiles(paradox::FindFamily(db))) {
        fs::copy_file(file, dir / file.filename());
    }
    return dir / db.filename();
}

std::string Describe(const paradox::FindingList& findings) {
    std::string text;
    for (const auto& f : findings.All()) {
        if (f.severity == paradox::Severity::Damage) {
            text += "  " + f.Describe() + "\n";
        }
    }
    return text;
}

// Block size code (header byte 5) of each index file of the family, by upper-case extension.
std::map<std::string, int> IndexBlockSizes(const fs::path& db) {
    const auto family = paradox::FindFamily(db);
    std::vector<fs::path> files = family.secondaries;
    if (!family.px.empty()) {
        files.push_back(family.px);
    }
    std::map<std::string, int> sizes;
    for (const auto& file : files) {
        const std::string bytes = testsupport::ReadFileBytes(file);
        if (bytes.size() > 5) {
            sizes[paradox::UpperExtension(file)] = static_cast<unsigned char>(bytes[5]);
        }
    }
    return sizes;
}

// A corpus table with damage of its own (a missing index or blob file) rebuilds into one that
// verifies clean and keeps every record.
void RebuildDamaged(const tutil::TableLocation& table) {
    const auto before = tutilfixture::RecordValues(table.db);
    const auto outcome = tutil::RebuildTable(table, tutil::ReadTableStructure(table),
                                             {"T-BACKUP.DB", "T-KEYVIOL.DB", "T-PROBLEM.DB", ""});
    EXPECT_EQ(outcome.recordsWritten, before.size());
    EXPECT_EQ(tutilfixture::RecordValues(table.db).size(), before.size());
    const auto after = tutil::VerifyTable(table);
    EXPECT_EQ(after.status, tutil::VerifyStatus::Healthy) << Describe(after.findings);
}

// Every corpus table verifies; tables found healthy rebuild to the same records in the same
// order and still verify clean. The few tables the corpus notes as damaged or encrypted are
// listed with their status.
TEST(Corpus, VerifyEveryTableAndRebuildTheHealthyOnes) {
    MENDRIX_NEEDS_CORPUS();
    const auto tables = testsupport::CorpusTables();
    ASSERT_GT(tables.size(), 100u);
    int healthy = 0;
    int rebuilt = 0;
    std::string notHealthy;
    for (const auto& path : tables) {
        SCOPED_TRACE(path.string());
        testsupport::TempDir dir;
        const fs::path db = CopyFamily(path, dir.path());
        const auto table = tutil::LocateTable(db.string());
        const auto outcome = tutil::VerifyTable(table);
        if (outcome.status != tutil::VerifyStatus::Healthy) {
            notHealthy += path.filename().string() + " status " +
                          std::to_string(static_cast<int>(outcome.status)) + "\n" +
                          Describe(outcome.findings);
            if (outcome.status == tutil::VerifyStatus::Repairable) {
                RebuildDamaged(table);
            }
            continue;
        }
        ++healthy;
        if (outcome.findings.Has(paradox::FindingCode::Encrypted)) {
            continue; // read in full, never rewritten (see the encrypted table tests)
        }
        paradox::TableSchema schema;
        try {
            schema = tutil::ReadTableStructure(table);
        } catch (const tutil::UtilityError& e) {
            ADD_FAILURE() << "structure: " << e.what();
            continue;
        }
        const auto before = tutilfixture::RecordValues(db);
        const auto blockSizesBefore = IndexBlockSizes(db);
        try {
            tutil::RebuildTable(table, schema,
                                {"T-BACKUP.DB", "T-KEYVIOL.DB", "T-PROBLEM.DB", "Rebuild.DB"});
        } catch (const std::exception& e) {
            ADD_FAILURE() << "rebuild: " << e.what();
            continue;
        }
        ++rebuilt;
        EXPECT_EQ(tutilfixture::RecordValues(db), before);
        // Index files keep their own block sizes (a .PX or .YGn may differ from its table's).
        EXPECT_EQ(IndexBlockSizes(db), blockSizesBefore);
        const auto after = tutil::VerifyTable(table);
        EXPECT_EQ(after.status, tutil::VerifyStatus::Healthy) << Describe(after.findings);
    }
    std::cout << healthy << " of " << tables.size() << " corpus tables verify clean, " << rebuilt
              << " rebuilt unchanged; the others:\n"
              << notHealthy;
}

} // namespace
