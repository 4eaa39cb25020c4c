#include "tutil/StructureProof.h"

#include "TableFixture.h"
#include "engine/ErrorCodes.h"
#include "engine/TableOpen.h"
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
using tutilfixture::CopyFamily;

fs::path Corpus(const std::string& path) {
    return testsupport::CorpusDir() / path;
}

std::size_t DescriptorsAt(const std::string& db) {
    return static_cast<std::uint8_t>(db.at(0x39)) >= 5 ? 0x78 : 0x58;
}

// The header bytes with the size bytes of the Alpha fields `field` and `field + 1` (0-based)
// swapped: the record size stays, the boundary between them moves.
std::string SwapAlphaSizes(std::string db, std::size_t field) {
    const std::size_t at = DescriptorsAt(db) + 2 * field;
    EXPECT_EQ(db.at(at), '\x01');
    EXPECT_EQ(db.at(at + 2), '\x01');
    EXPECT_NE(db.at(at + 1), db.at(at + 3));
    std::swap(db.at(at + 1), db.at(at + 3));
    return db;
}

// The field's type byte in the header replaced by `type` (the size byte stays).
std::string WithFieldType(std::string db, std::size_t field, std::uint8_t type) {
    db.at(DescriptorsAt(db) + 2 * field) = static_cast<char>(type);
    return db;
}

std::string ContradictionIn(const tutil::VerifyOutcome& outcome) {
    for (const auto& f : outcome.findings.All()) {
        if (f.code == FindingCode::StructureContradicted) {
            return f.detail.Render();
        }
    }
    return {};
}

// Every corpus table, healthy or not, bears out its own header: nothing contradicts its
// fields, and the proof of an unencrypted table's own structure holds.
TEST(StructureProof, EveryCorpusTableBearsOutItsOwnHeader) {
    MENDRIX_NEEDS_CORPUS();
    int proved = 0;
    for (const fs::path& db : testsupport::CorpusTables()) {
        SCOPED_TRACE(db.string());
        paradox::FindingList findings;
        const auto reader = paradox::TableReader::Open(db, findings);
        if (!reader || !reader->Header().fieldsKnown) {
            continue;
        }
        const fs::path mb = paradox::FindFamily(db).mb;
        EXPECT_EQ(tutil::StructureContradiction(*reader, mb), "");
        if (!reader->Encrypted()) {
            std::string why;
            EXPECT_TRUE(tutil::ProveStructure(db, reader->Header(), mb, &why)) << why;
            ++proved;
        }
    }
    EXPECT_GT(proved, 150);
}

// Fields read under a type or size they do not have: the proof refuses each with the field
// and why, and the verify reports it instead of finding no errors.
TEST(StructureProof, RejectsFieldsTheDataDoesNotBearOut) {
    MENDRIX_NEEDS_CORPUS();
    struct Lie {
        std::string table;
        std::function<std::string(const std::string&)> apply;
        std::string field; // "field 2 (...)" as the reason names it
    };
    const std::vector<Lie> lies = {
        {"celebithil-Rparadox/of_cp866.db",
         [](const std::string& db) { return SwapAlphaSizes(db, 2); }, "field 3 "},
        {"leonhad-paradoxdriver/db/CONTACTS.DB",
         [](const std::string& db) { return SwapAlphaSizes(db, 1); }, "field 2 "},
        // A Long, a Number and a Date read as Alpha.
        {"MedilinkPS-Paradox-Reader/zakazky.db",
         [](const std::string& db) { return WithFieldType(db, 1, 0x01); }, "field 2 "},
        {"leonhad-paradoxdriver/db/ORDERS.DB",
         [](const std::string& db) { return WithFieldType(db, 1, 0x01); }, "field 2 "},
        {"leonhad-paradoxdriver/db/ORDERS.DB",
         [](const std::string& db) { return WithFieldType(db, 2, 0x01); }, "field 3 "},
    };
    for (const Lie& lie : lies) {
        SCOPED_TRACE(lie.table);
        TempDir dir;
        const fs::path db = CopyFamily(Corpus(lie.table), dir.path());
        const auto table = tutil::LocateTable(db.string());
        ASSERT_EQ(tutil::VerifyTable(table).status, tutil::VerifyStatus::Healthy);
        const std::string healthy = ReadFileBytes(db);
        WriteFileBytes(db, lie.apply(healthy));

        paradox::FindingList findings;
        const auto reader = paradox::TableReader::Open(db, findings);
        ASSERT_TRUE(reader);
        ASSERT_TRUE(reader->Header().fieldsKnown) << "the lie must still parse";
        std::string why;
        EXPECT_FALSE(tutil::ProveStructure(db, reader->Header(), {}, &why));
        EXPECT_NE(why.find("the data does not bear it out: " + lie.field), std::string::npos)
            << why;

        const auto verified = tutil::VerifyTable(table);
        EXPECT_EQ(verified.status, tutil::VerifyStatus::ManualRebuild);
        EXPECT_NE(ContradictionIn(verified).find(lie.field), std::string::npos)
            << ContradictionIn(verified);
    }
}

// A Memo field's type byte changed to Alpha: the .MB holds blobs no field refers to. The
// verify says so, the table does not open, and a rebuild without another source is refused.
TEST(StructureProof, BlobsNoFieldRefersToAreAContradiction) {
    MENDRIX_NEEDS_CORPUS();
    TempDir dir;
    const fs::path db = CopyFamily(Corpus("leonhad-paradoxdriver/db/HERCULES.DB"), dir.path());
    std::string bytes = ReadFileBytes(db);
    ASSERT_EQ(bytes.at(0x7A), '\x0C');
    bytes[0x7A] = '\x01';
    WriteFileBytes(db, bytes);
    const auto table = tutil::LocateTable(db.string());

    const auto verified = tutil::VerifyTable(table);
    EXPECT_EQ(verified.status, tutil::VerifyStatus::ManualRebuild);
    EXPECT_FALSE(ContradictionIn(verified).empty());
    paradox::FindingList findings;
    const auto reader = paradox::TableReader::Open(db, findings);
    ASSERT_TRUE(reader);
    EXPECT_EQ(tutil::StructureContradiction(*reader, dir / "HERCULES.MB"),
              "HERCULES.MB holds 10 blobs, but no field refers to blobs");

    std::unique_ptr<engine::OpenedTable> opened;
    EXPECT_EQ(engine::OpenTable(db, "", false, opened), engine::err::HeaderCorrupt);

    const auto before = tutilfixture::FolderByName(dir.path());
    EXPECT_THROW(tutil::ReadTableStructure(table), tutil::UtilityError);
    EXPECT_EQ(tutilfixture::FolderByName(dir.path()), before);
}

// A named template is used even where the table's own header still parses but lies, and the
// values come back under the right fields; a template the data does not bear out is refused
// with its reason, and nothing changes.
TEST(StructureProof, ANamedTemplateIsUsedOrRefused) {
    MENDRIX_NEEDS_CORPUS();
    const tutil::RebuildNames names{"T-BACKUP.DB", "T-KEYVIOL.DB", "T-PROBLEM.DB", ""};
    const std::vector<std::pair<std::string, std::size_t>> swaps = {
        {"celebithil-Rparadox/of_cp866.db", 2}, {"leonhad-paradoxdriver/db/CONTACTS.DB", 1}};
    for (const auto& [path, field] : swaps) {
        SCOPED_TRACE(path);
        {
            SCOPED_TRACE("a lying header, the right template");
            TempDir dir, shapeDir;
            const fs::path db = CopyFamily(Corpus(path), dir.path());
            fs::copy_file(db, shapeDir / "SHAPE.DB");
            const auto table = tutil::LocateTable(db.string());
            const auto original = tutil::ReadTableStructure(table);
            const auto values = tutilfixture::RecordValues(db);
            WriteFileBytes(db, SwapAlphaSizes(ReadFileBytes(db), field));

            tutil::StructureChoice choice;
            choice.templateTable = shapeDir / "SHAPE.DB";
            const auto outcome =
                tutil::RebuildTable(table, tutil::ReadTableStructure(table, choice), names, choice);
            EXPECT_EQ(outcome.structureSource, "template SHAPE.DB");
            const auto rebuilt = tutil::ReadTableStructure(table);
            ASSERT_EQ(rebuilt.fields.size(), original.fields.size());
            for (std::size_t i = 0; i < original.fields.size(); ++i) {
                EXPECT_EQ(rebuilt.fields[i].sizeByte, original.fields[i].sizeByte) << i;
            }
            EXPECT_EQ(tutilfixture::RecordValues(db), values);
            EXPECT_EQ(tutil::VerifyTable(table).status, tutil::VerifyStatus::Healthy);
        }
        {
            SCOPED_TRACE("a sound header, a template with two Alpha sizes swapped");
            TempDir dir, shapeDir;
            const fs::path db = CopyFamily(Corpus(path), dir.path());
            const auto table = tutil::LocateTable(db.string());
            WriteFileBytes(shapeDir / "SWAPPED.DB", SwapAlphaSizes(ReadFileBytes(db), field));
            const auto before = tutilfixture::FolderByName(dir.path());
            tutil::StructureChoice choice;
            choice.templateTable = shapeDir / "SWAPPED.DB";
            try {
                tutil::RebuildTable(table, tutil::ReadTableStructure(table, choice), names, choice);
                ADD_FAILURE() << "rebuilt with a template that moves field boundaries";
            } catch (const tutil::UtilityError& e) {
                EXPECT_NE(std::string(e.what()).find(
                              "template SWAPPED.DB: the data does not bear it out: field "),
                          std::string::npos)
                    << e.what();
            }
            EXPECT_EQ(tutilfixture::FolderByName(dir.path()), before);
        }
    }
}

} // namespace
