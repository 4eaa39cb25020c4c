// The sample database: healthy tables open on every index, the damaged ones are refused and
// open after a rebuild by the table utility library.
#include "SampleDatabase.h"

#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/IndexCatalog.h"
#include "engine/TableList.h"
#include "engine/TableOpen.h"
#include "platform/TUtil32.h"
#include "platform/TblDescBuffers.h"
#include "support/Corpus.h"
#include "support/TempDir.h"

#include <cstring>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace {

namespace err = engine::err;
namespace fs = std::filesystem;

std::uint16_t OpenOnEveryIndex(const fs::path& db, std::string* message) {
    std::vector<engine::IndexDefinition> indexes;
    if (auto code = engine::ReadIndexDefinitions(db, indexes); code != err::Ok) {
        *message = engine::TakeFailureMessage(code);
        return code;
    }
    std::vector<std::string> names{""};
    for (const auto& index : indexes) {
        names.push_back(index.name);
    }
    for (const auto& name : names) {
        std::unique_ptr<engine::OpenedTable> table;
        if (auto code = engine::OpenTable(db, name, true, table); code != err::Ok) {
            *message = engine::TakeFailureMessage(code);
            return code;
        }
    }
    return err::Ok;
}

std::uint16_t Rebuild(const fs::path& db) {
    std::uint16_t session = 0;
    if (auto code = TUInit(&session); code != 0) {
        return code;
    }
    platform::TblDescCounts counts;
    auto code = TUGetCRTblDescCount(session, db.c_str(), &counts.fields, &counts.indexes,
                                    &counts.security, &counts.validityChecks, &counts.refIntegrity,
                                    &counts.optionalParams, &counts.optionalDataUnits);
    CRTblDesc desc{};
    platform::PrepareTblDesc(desc, db.string(), "Rebuild.DB");
    const platform::TblDescBuffers buffers(counts);
    buffers.AttachTo(desc);
    if (code == 0) {
        code = TUFillCRTblDesc(session, &desc, db.c_str(), nullptr);
    }
    const std::string stem = db.stem().string();
    if (code == 0) {
        code =
            TURebuildTable(session, db.c_str(), "PARADOX", (stem + "-BACKUP.DB").c_str(),
                           (stem + "-KEYVIOL.DB").c_str(), (stem + "-PROBLEM.DB").c_str(), &desc);
    }
    TUExit(session);
    return code;
}

TEST(SampleDatabase, HealthyTablesOpenDamagedOnesAreRefusedUntilRebuilt) {
    testsupport::TempDir dir;
    sampledb::WriteSampleDatabase(dir.path());
    std::set<std::string> written;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        written.insert(entry.path().filename().string());
    }
    const auto expectedFiles = sampledb::SampleFiles();
    EXPECT_EQ(written, std::set<std::string>(expectedFiles.begin(), expectedFiles.end()));

    std::vector<std::string> tables;
    ASSERT_EQ(engine::ListTables(dir.path().string(), "*.*", true, false, tables), err::Ok);
    EXPECT_THAT(tables, ::testing::ElementsAre("CUSTOMER.DB", "EVENTS.DB", "INVOICE.DB",
                                               "ORDERS.DB", "PARTS.DB", "PHOTOS.DB", "STOCK.DB"));
    const std::map<std::string, std::uint16_t> damaged = {{"INVOICE.DB", err::IndexOutOfDate},
                                                          {"STOCK.DB", err::TableCorrupt}};
    for (const auto& name : tables) {
        SCOPED_TRACE(name);
        std::string message;
        const auto it = damaged.find(name);
        const auto expected = it == damaged.end() ? err::Ok : it->second;
        EXPECT_EQ(OpenOnEveryIndex(dir / name, &message), expected) << message;
        // A table without indexes is never opened by a test of its indexes: reading its
        // definitions already refuses a file that does not match its header.
        std::vector<engine::IndexDefinition> indexes;
        const auto read = engine::ReadIndexDefinitions(dir / name, indexes);
        EXPECT_EQ(read, name == "STOCK.DB" ? err::TableCorrupt : err::Ok);
        engine::TakeFailureMessage(read);
        if (expected != err::Ok) {
            ASSERT_EQ(Rebuild(dir / name), 0);
            EXPECT_EQ(OpenOnEveryIndex(dir / name, &message), err::Ok) << message;
        }
    }
}

TEST(SampleDatabase, TheBuildWritesItBesideThePrograms) {
    const auto samples = testsupport::BinDir() / "samples";
    for (const auto& file : sampledb::SampleFiles()) {
        EXPECT_TRUE(fs::exists(samples / file)) << file;
    }
}

} // namespace
