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
            if (::truncate(db.c_str(), 0) != 0 || ::truncate(mb.c_str(), 0) != 0) {
                std::_Exit(3);
            }
            std::uint64_t sum = 0;
            table->ForEachRecord([&](const paradox::RecordRef& r) {
                for (std::size_t i = 0; i < table->Header().recordSize; ++i) {
                    sum += r.bytes[i];
                }
            });
            paradox::CheckTableBlobs(*table, blobs.get(), findings);
            std::_Exit(table->FileShrank() && blobs->FileShrank() && sum != 1 ? 0 : 4);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
