#include "paradox/Header.h"

#include "paradox/Family.h"
#include "paradox/MappedFile.h"
#include "support/Corpus.h"
#include "support/DescribeFindings.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using paradox::FindingCode;
using paradox::FindingList;

std::optional<paradox::TableHeader> ParseFile(const std::filesystem::path& path,
                                              FindingList& findings) {
    std::string error;
    auto file = paradox::MappedFile::Open(path, &error);
    EXPECT_TRUE(file) << error;
    if (!file) {
        return std::nullopt;
    }
    return paradox::ParseHeader(file->View(), path.filename().string(), findings);
}

using testsupport::Describe;

bool IsEncryptedCorpusTable(const std::filesystem::path& path) {
    return path.parent_path().filename() == "encrypt";
}

TEST(Header, EveryCorpusFamilyMemberParsesWithoutDamage) {
    MENDRIX_NEEDS_CORPUS();
    int parsed = 0;
    for (const auto& db : testsupport::CorpusTables()) {
        auto family = paradox::FindFamily(db);
        std::vector<std::filesystem::path> files{db};
        if (!family.px.empty()) {
            files.push_back(family.px);
        }
        files.insert(files.end(), family.secondaries.begin(), family.secondaries.end());
        for (const auto& file : files) {
            FindingList findings;
            auto header = ParseFile(file, findings);
            ASSERT_TRUE(header) << file << "\n" << Describe(findings);
            EXPECT_FALSE(findings.HasDamage()) << file << "\n" << Describe(findings);
            if (IsEncryptedCorpusTable(db) && file == db) {
                EXPECT_TRUE(header->encrypted) << file;
                EXPECT_TRUE(findings.Has(FindingCode::Encrypted)) << file;
            } else {
                EXPECT_TRUE(findings.Empty()) << file << "\n" << Describe(findings);
            }
            ++parsed;
        }
    }
    EXPECT_GT(parsed, 300);
}

} // namespace

namespace {

std::filesystem::path CorpusFile(const std::string& relative) {
    return testsupport::CorpusDir() / relative;
}

// A damaged copy of a corpus file: `edit` changes the bytes before they are parsed.
template <class Edit>
paradox::ParsedHeader ParseEdited(const std::string& relative, Edit edit, FindingList& findings) {
    std::string bytes = testsupport::ReadFileBytes(CorpusFile(relative));
    edit(bytes);
    const paradox::ByteView view(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return paradox::ParseHeaderWithReason(view, CorpusFile(relative).filename().string(), findings);
}

TEST(Header, ReadsTheFieldsOfEachLevel) {
    MENDRIX_NEEDS_CORPUS();
    FindingList findings;
    auto v7 = ParseFile(CorpusFile("leonhad-paradoxdriver/db/ORDERS.DB"), findings);
    ASSERT_TRUE(v7);
    EXPECT_EQ(v7->fileVersion, 12);
    EXPECT_EQ(v7->fields.size(), 11u);
    EXPECT_EQ(v7->recordSize, 71);
    EXPECT_EQ(v7->numRecords, 224u);
    EXPECT_EQ(v7->primaryKeyFields, 1);
    EXPECT_EQ(v7->codePage, 437);
    EXPECT_EQ(v7->BlockSize(), 2048u);
    EXPECT_EQ(v7->fieldNumbers.size(), 11u);
    EXPECT_EQ(v7->fieldNumbers.front(), 1);
    EXPECT_FALSE(v7->sortOrderName.empty());

    auto v30 = ParseFile(CorpusFile("leonhad-paradoxdriver/areas/AREACODE.DB"), findings);
    ASSERT_TRUE(v30);
    EXPECT_EQ(v30->fileVersion, 3);
    EXPECT_EQ(v30->headerSize, 0xEA);
    EXPECT_EQ(v30->headerSize, v30->parsedEnd);
    EXPECT_TRUE(v30->fieldNumbers.empty());

    auto composite = ParseFile(CorpusFile("leonhad-paradoxdriver/db/AREACODES.XG0"), findings);
    ASSERT_TRUE(composite);
    EXPECT_FALSE(composite->indexName.empty());
    auto px = ParseFile(CorpusFile("leonhad-paradoxdriver/db/ORDERS.PX"), findings);
    ASSERT_TRUE(px);
    EXPECT_EQ(px->fileType, 1);
    EXPECT_EQ(px->recordSize, v7->fields[0].ByteLength() + 6);
    EXPECT_TRUE(findings.Empty());

    auto schema = v7->ToSchema();
    EXPECT_EQ(schema.keyFieldCount, 1);
    EXPECT_EQ(schema.RecordSize(), 71u);
    EXPECT_EQ(schema.codePage, 437);
}

// Each damage gives its finding, and the parser says as a fact whether the header was
// understood and whether it describes the table's fields.
TEST(Header, DamageIsReportedNotTrusted) {
    MENDRIX_NEEDS_CORPUS();
    const std::string table = "leonhad-paradoxdriver/db/ORDERS.DB";
    using F = paradox::HeaderFailure;
    struct Case {
        const char* what;
        void (*edit)(std::string&);
        FindingCode expected;
        F failure;
        bool fieldsKnown;
    };
    const Case cases[] = {
        {"truncated", [](std::string& b) { b.resize(0x40); }, FindingCode::FileTooShort,
         F::TooShort, false},
        {"bad version", [](std::string& b) { b[0x39] = 40; }, FindingCode::BadFileVersion,
         F::NotAParadoxFile, false},
        {"no fields", [](std::string& b) { b[0x21] = 0; }, FindingCode::BadFieldCount,
         F::FieldsUnreadable, false},
        {"huge field count",
         [](std::string& b) {
             b[0x21] = 0;
             b[0x22] = 0x7F;
         },
         FindingCode::BadFieldCount, F::FieldsUnreadable, false},
        {"block size", [](std::string& b) { b[0x05] = 5; }, FindingCode::BadBlockSize, F::None,
         true},
        {"file type", [](std::string& b) { b[0x04] = 1; }, FindingCode::BadFileType, F::None, true},
        {"unknown type", [](std::string& b) { b[0x78] = 0x07; }, FindingCode::UnknownFieldType,
         F::None, false},
        {"record size", [](std::string& b) { b[0x00] = 70; }, FindingCode::RecordSizeMismatch,
         F::None, false},
        {"key count", [](std::string& b) { b[0x23] = 40; }, FindingCode::BadKeyFieldCount, F::None,
         false},
        {"header past file", [](std::string& b) { b.resize(0x7F0); }, FindingCode::BadHeaderSize,
         F::None, true},
        {"sort name offset", [](std::string& b) { b[0x6E] = static_cast<char>(b[0x6E] + 1); },
         FindingCode::HeaderVariablePartBad, F::None, false},
        {"names unterminated",
         [](std::string& b) {
             for (std::size_t i = 0x78 + 11 * 6 + 4 + 261; i < b.size(); ++i) {
                 b[i] = 'x';
             }
         },
         FindingCode::HeaderVariablePartBad, F::None, false},
        {"rebuild flag", [](std::string& b) { b[0x14] = 1; }, FindingCode::RebuildFlagSet, F::None,
         true},
    };
    for (const auto& c : cases) {
        FindingList findings;
        const paradox::ParsedHeader parsed = ParseEdited(table, c.edit, findings);
        EXPECT_EQ(parsed.header.has_value(), c.failure == F::None) << c.what << "\n"
                                                                   << Describe(findings);
        EXPECT_EQ(parsed.failure, c.failure) << c.what;
        if (parsed.header) {
            EXPECT_EQ(parsed.header->fieldsKnown, c.fieldsKnown) << c.what;
        }
        EXPECT_TRUE(findings.Has(c.expected)) << c.what << "\n" << Describe(findings);
    }
}

TEST(Family, MembersAreFoundWhateverTheirCase) {
    testsupport::TempDir dir;
    for (const char* name : {"Orders.DB", "orders.px", "ORDERS.mb", "orders.X02", "ORDERS.Y02",
                             "orders.xg0", "ORDERS.VAL", "ORDERSX.DB", "other.px"}) {
        testsupport::WriteFileBytes(dir / name, "x");
    }
    auto family = paradox::FindFamily(dir / "Orders.DB");
    EXPECT_EQ(family.px.filename(), "orders.px");
    EXPECT_EQ(family.mb.filename(), "ORDERS.mb");
    ASSERT_EQ(family.secondaries.size(), 3u);
    EXPECT_EQ(family.secondaries[0].filename(), "orders.X02");
    EXPECT_EQ(family.secondaries[1].filename(), "orders.xg0");
    EXPECT_EQ(family.secondaries[2].filename(), "ORDERS.Y02");
    ASSERT_EQ(family.others.size(), 1u);
    EXPECT_EQ(family.others[0].filename(), "ORDERS.VAL");
    EXPECT_EQ(paradox::AllFamilyFiles(family).size(), 7u);
    // X files find their Y file whatever its case; an X without one, or a Y, pairs with nothing.
    EXPECT_EQ(paradox::PairedTreeFile(family, family.secondaries[0]).filename(), "ORDERS.Y02");
    EXPECT_TRUE(paradox::PairedTreeFile(family, family.secondaries[1]).empty());
    EXPECT_TRUE(paradox::PairedTreeFile(family, family.secondaries[2]).empty());

    auto lonely = paradox::FindFamily(dir / "ORDERSX.DB");
    EXPECT_TRUE(lonely.px.empty());
    EXPECT_EQ(paradox::AllFamilyFiles(lonely).size(), 1u);
}

TEST(MappedFile, MapsEmptyAndMissingFiles) {
    testsupport::TempDir dir;
    testsupport::WriteFileBytes(dir / "empty.db", "");
    testsupport::WriteFileBytes(dir / "three.db", "abc");
    std::string error;
    auto empty = paradox::MappedFile::Open(dir / "empty.db", &error);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->Size(), 0u);
    auto three = paradox::MappedFile::Open(dir / "three.db", &error);
    ASSERT_TRUE(three);
    EXPECT_EQ(three->View().U8(2), 'c');
    auto moved = std::move(*three);
    EXPECT_EQ(moved.Size(), 3u);
    EXPECT_FALSE(paradox::MappedFile::Open(dir / "missing.db", &error));
    EXPECT_NE(error.find("missing.db"), std::string::npos);
    EXPECT_FALSE(paradox::MappedFile::Open(dir.path(), &error));
}

} // namespace
