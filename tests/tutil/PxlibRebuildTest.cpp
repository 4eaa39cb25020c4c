#include "PxlibDump.h"
#include "paradox/Family.h"
#include "support/Corpus.h"
#include "support/TempDir.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/Verify.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

// pxlib, reading without the .MB (which it cannot take), sees the same values in a healthy
// corpus table before and after our rebuild; a protected one it decrypts with the key the
// rebuilt header keeps.
TEST(PxlibRebuild, HealthyCorpusTablesReadTheSameThroughPxlibAfterARebuild) {
    MENDRIX_NEEDS_CORPUS();
    int compared = 0;
    int protectedCompared = 0;
    for (const auto& path : testsupport::CorpusTables()) {
        SCOPED_TRACE(path.string());
        testsupport::TempDir dir;
        for (const auto& file : paradox::AllFamilyFiles(paradox::FindFamily(path))) {
            fs::copy_file(file, dir / file.filename());
        }
        const fs::path db = dir / path.filename();
        const auto table = tutil::LocateTable(db.string());
        const auto verified = tutil::VerifyTable(table);
        if (verified.status != tutil::VerifyStatus::Healthy) {
            continue;
        }
        const PxlibDumpResult before = PxlibDump(db);
        if (!before.ok) {
            continue; // pxlib cannot read the original either
        }
        tutil::RebuildTable(table, tutil::ReadTableStructure(table),
                            {"T-BACKUP.DB", "T-KEYVIOL.DB", "T-PROBLEM.DB", ""});
        const PxlibDumpResult after = PxlibDump(db);
        ASSERT_TRUE(after.ok) << after.error;
        EXPECT_EQ(after.lines, before.lines);
        ++compared;
        protectedCompared += verified.findings.Has(paradox::FindingCode::Encrypted) ? 1 : 0;
    }
    EXPECT_GT(compared, 100);
    EXPECT_GE(protectedCompared, 1);
    std::cout << compared << " rebuilt corpus tables read the same through pxlib\n";
}

} // namespace
