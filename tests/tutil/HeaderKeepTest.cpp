#include "TableFixture.h"
#include "paradox/Family.h"
#include "paradox/Header.h"
#include "paradox/HeaderOwnership.h"
#include "support/Corpus.h"
#include "support/TempDir.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;

const tutil::RebuildNames kNames{"T-BACKUP.DB", "T-KEYVIOL.DB", "T-PROBLEM.DB", ""};

bool HasBlockLayout(const fs::path& file) {
    const std::string ext = paradox::UpperExtension(file);
    return ext == "DB" || ext == "PX" || paradox::IsSecondaryIndexExtension(ext);
}

// The bytes of every file of the folder with a block layout (.DB, .PX, .Xnn...), by name.
std::map<std::string, std::string> BlockFiles(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& [name, bytes] : tutilfixture::FolderFiles(dir)) {
        if (HasBlockLayout(name)) {
            files[name] = bytes;
        }
    }
    return files;
}

std::optional<paradox::TableHeader> Parse(const std::string& name, const std::string& bytes) {
    paradox::FindingList ignored;
    return paradox::ParseHeader({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()},
                                name, ignored);
}

std::string Hex(std::size_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%zX", value);
    return text;
}

// Every corpus table that rebuilds (every level, protected tables too) keeps, in the .DB and in
// each index file it had, every header byte the writer owns neither in the old file's layout
// nor in the new one.
TEST(HeaderKeep, RebuildKeepsEveryHeaderByteTheWriterDoesNotOwn) {
    MENDRIX_NEEDS_CORPUS();
    std::set<int> levels;
    int rebuiltProtected = 0;
    std::size_t compared = 0;
    for (const fs::path& path : testsupport::CorpusTables()) {
        testsupport::TempDir dir;
        const fs::path db = tutilfixture::CopyFamily(path, dir.path());
        const auto table = tutil::LocateTable(db.string());
        const auto before = BlockFiles(dir.path());
        try {
            tutil::RebuildTable(table, tutil::ReadTableStructure(table), kNames);
        } catch (const std::exception&) {
            continue; // damaged beyond what a plain rebuild takes; the corpus tests cover it
        }
        const auto after = BlockFiles(dir.path());
        const std::string tableName = fs::relative(path, testsupport::CorpusDir()).string();
        for (const auto& [name, bytes] : before) {
            const auto rebuilt = after.find(name);
            ASSERT_NE(rebuilt, after.end()) << tableName << ": " << name << " is gone";
            const auto oldHeader = Parse(name, bytes);
            const auto newHeader = Parse(name, rebuilt->second);
            ASSERT_TRUE(oldHeader && newHeader) << tableName << ": " << name;
            if (oldHeader->IsTable()) {
                levels.insert(oldHeader->fileVersion);
                rebuiltProtected += oldHeader->CipherKeyValue() != 0 ? 1 : 0;
            }
            const auto old = paradox::KeepableHeaderBytes(*oldHeader);
            const auto now = paradox::KeepableHeaderBytes(*newHeader);
            const std::size_t n = std::min(old.bytes.size(), now.bytes.size());
            for (std::size_t i = 0; i < n; ++i) {
                if (!old.bytes[i] || !now.bytes[i]) {
                    continue;
                }
                ++compared;
                EXPECT_EQ(*now.bytes[i], *old.bytes[i])
                    << tableName << ": " << name << " header byte " << Hex(i) << " changed";
            }
        }
    }
    EXPECT_EQ(levels, (std::set<int>{3, 4, 9, 11, 12}));
    EXPECT_GE(rebuiltProtected, 1);
    EXPECT_GT(compared, 10000u);
}

// The tables that take part in referential integrity keep the header bytes that say so, and
// their .VAL files (which define the links) stay byte for byte as they were.
TEST(HeaderKeep, ReferentialIntegrityTablesKeepTheirBytesAndValFiles) {
    MENDRIX_NEEDS_CORPUS();
    const fs::path joins = testsupport::CorpusDir() / "leonhad-paradoxdriver" / "joins";
    for (const char* name :
         {"primary.db", "multiple.db", "to_multiple.db", "C.DB", "fk1.db", "fk2.db"}) {
        SCOPED_TRACE(name);
        testsupport::TempDir dir;
        const fs::path db = tutilfixture::CopyFamily(joins / name, dir.path());
        const fs::path val = paradox::FindFamily(db).others.at(0);
        ASSERT_EQ(paradox::UpperExtension(val), "VAL");
        const std::string dbBefore = testsupport::ReadFileBytes(db);
        const std::string valBefore = testsupport::ReadFileBytes(val);
        const auto table = tutil::LocateTable(db.string());
        tutil::RebuildTable(table, tutil::ReadTableStructure(table), kNames);
        const std::string dbAfter = testsupport::ReadFileBytes(db);
        for (const std::size_t offset : {0x55, 0x64, 0x65, 0x6C}) {
            EXPECT_EQ(dbAfter.at(offset), dbBefore.at(offset)) << "header byte " << Hex(offset);
        }
        EXPECT_EQ(testsupport::ReadFileBytes(val), valBefore);
    }
}

// A member a rebuild adds to a family named in lower case is named in lower case too.
TEST(HeaderKeep, NewMemberFollowsTheCaseOfTheFamily) {
    MENDRIX_NEEDS_CORPUS();
    testsupport::TempDir dir;
    const fs::path db = tutilfixture::CopyFamily(
        testsupport::CorpusDir() / "celebithil-Rparadox" / "biolife.db", dir.path());
    ASSERT_TRUE(paradox::FindFamily(db).px.empty()); // keyed, but without its .PX
    const auto table = tutil::LocateTable(db.string());
    tutil::RebuildTable(table, tutil::ReadTableStructure(table), kNames);
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        names.insert(entry.path().filename().string());
    }
    EXPECT_TRUE(names.count("biolife.px")) << ::testing::PrintToString(names);
    EXPECT_FALSE(names.count("biolife.PX"));
    EXPECT_TRUE(names.count("biolife.db") && names.count("biolife.mb"));
}

} // namespace
