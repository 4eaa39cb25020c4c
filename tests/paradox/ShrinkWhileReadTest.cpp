#include "paradox/BlobFile.h"
#include "paradox/TableReader.h"
#include "support/Corpus.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using paradox::BlobFile;
using paradox::FindingList;
using paradox::TableReader;

// Another program cuts the table and its blob file to nothing after they were opened; reading on
// must neither crash nor pass unnoticed. Run in a child process so that a SIGBUS fails this test
// rather than ending the whole run.
TEST(ShrinkWhileRead, FilesCutUnderTheReaderAreReportedNotACrash) {
    MENDRIX_NEEDS_CORPUS();
    testsupport::TempDir dir;
    const auto corpus = testsupport::CorpusDir() / "leonhad-paradoxdriver/db";
    for (const char* name : {"CUSTOMER.DB", "CUSTOMER.MB"}) {
        std::filesystem::copy_file(corpus / name, dir / name);
    }
    const auto db = dir / "CUSTOMER.DB";
    const auto mb = dir / "CUSTOMER.MB";
    EXPECT_EXIT(
        {
            FindingList findings;
            auto table = TableReader::Open(db, findings);
            auto blobs = BlobFile::Open(mb, findings);
            if (!table || !blobs || table->FileShrank() || blobs->FileShrank()) {
                std::_Exit(2);
            }
            // The blob file first, while the records still point into it; then the table.
            if (::truncate(mb.c_str(), 0) != 0) {
                std::_Exit(3);
            }
            paradox::CheckTableBlobs(*table, blobs.get(), findings);
            if (::truncate(db.c_str(), 0) != 0) {
                std::_Exit(3);
            }
            volatile std::uint64_t sum = 0; // every byte is really read
            table->ForEachRecord([&](const paradox::RecordRef& r) {
                for (std::size_t i = 0; i < table->Header().recordSize; ++i) {
                    sum = sum + r.bytes[i];
                }
            });
            std::_Exit((table->FileShrank() ? 0 : 4) + (blobs->FileShrank() ? 0 : 8));
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
