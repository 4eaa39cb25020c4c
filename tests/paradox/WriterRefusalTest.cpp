// What the writer refuses, and how it reports failures: schemas a level cannot hold,
// encrypted tables, records out of key order, wrong record sizes, unwritable places.

#include "WriterTestData.h"
#include "paradox/TableWriter.h"
#include "support/TempDir.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

using namespace writertest;

TableSchema Level5() {
    return MixSchema(Mix::Level5, paradox::level::V5, 2, 2);
}

TEST(WriterRefusal, SchemasTheLevelCannotHold) {
    struct Case {
        const char* what;
        std::function<void(TableSchema&)> change;
    };
    const std::vector<Case> cases{
        {"encrypted", [](TableSchema& s) { s.encrypted = true; }},
        {"unknown level", [](TableSchema& s) { s.fileVersion = 13; }},
        {"Long at level 4", [](TableSchema& s) { s.fileVersion = paradox::level::V4; }},
        {"16 KB blocks below level 7", [](TableSchema& s) { s.blockSizeCode = 16; }},
        {"block size code 3", [](TableSchema& s) { s.blockSizeCode = 3; }},
        {"index block size code 5", [](TableSchema& s) { s.indexBlockSizeCode = 5; }},
        {"no fields", [](TableSchema& s) { s.fields.clear(), s.keyFieldCount = 0; }},
        {"unknown type", [](TableSchema& s) { s.fields[1].typeCode = 0x07; }},
        {"Alpha of length 0", [](TableSchema& s) { s.fields[1].sizeByte = 0; }},
        {"BCD scale 33", [](TableSchema& s) { s.fields[7].sizeByte = 33; }},
        {"unnamed field", [](TableSchema& s) { s.fields[2].name.clear(); }},
        {"more key fields than fields", [](TableSchema& s) { s.keyFieldCount = 14; }},
        {"record larger than a block",
         [](TableSchema& s) {
             s.blockSizeCode = 1;
             for (int i = 0; i < 5; ++i) {
                 s.fields.push_back(
                     Field(("Wide" + std::to_string(i)).c_str(), FieldType::Alpha, 200));
             }
         }},
        {"key too long for the index block",
         [](TableSchema& s) {
             s.fields.insert(s.fields.begin(), {Field("K1", FieldType::Alpha, 255),
                                                Field("K2", FieldType::Alpha, 255)});
             s.blockSizeCode = 4;
             s.indexBlockSizeCode = 1;
             s.keyFieldCount = 3;
         }},
        {"secondary index on a blob",
         [](TableSchema& s) {
             s.fields.push_back(Field("Notes", FieldType::Memo, 20));
             s.secondaryIndexes.push_back({"X14", "", {14}, true, false, 2});
         }},
        {"descending field below level 7",
         [](TableSchema& s) {
             s.secondaryIndexes.push_back({"XG0", "D", {0x8003}, true, true, 2});
         }},
        {"secondary index field out of range",
         [](TableSchema& s) {
             s.secondaryIndexes.push_back({"X20", "", {20}, true, false, 2});
         }},
        {"two indexes with one name",
         [](TableSchema& s) {
             s.secondaryIndexes.push_back({"X03", "", {3}, true, false, 2});
             s.secondaryIndexes.push_back({"X03", "", {3}, true, false, 2});
         }},
    };
    testsupport::TempDir dir;
    for (const auto& c : cases) {
        TableSchema schema = Level5();
        c.change(schema);
        EXPECT_FALSE(paradox::WritableSchemaProblem(schema).empty()) << c.what;
        EXPECT_THROW(paradox::TableWriter(dir.path(), "BAD", schema), std::invalid_argument)
            << c.what;
        EXPECT_FALSE(std::filesystem::exists(dir / "BAD.DB")) << c.what;
    }
    EXPECT_EQ(paradox::WritableSchemaProblem(Level5()), "");
}

TEST(WriterRefusal, KeyedRecordsMustComeInKeyOrderWithoutDuplicates) {
    const TableSchema schema = Level5();
    testsupport::TempDir dir;
    paradox::TableWriter writer(dir.path(), "ORDER", schema, {.sync = false});
    paradox::RecordBuilder b(schema);
    writer.Append(b.Clear().SetInt(0, 10).Bytes());
    writer.Append(b.Clear().SetInt(0, 20).Bytes());
    EXPECT_THROW(writer.Append(b.Clear().SetInt(0, 20).Bytes()), std::invalid_argument);
    EXPECT_THROW(writer.Append(b.Clear().SetInt(0, -5).Bytes()), std::invalid_argument);
    writer.Append(b.Clear().SetInt(0, 30).Bytes());
    writer.Finish();
    EXPECT_EQ(writer.RecordCount(), 3u);
    EXPECT_THROW(writer.Append(b.Clear().SetInt(0, 40).Bytes()), std::logic_error);
    EXPECT_THROW(writer.Finish(), std::logic_error);
}

TEST(WriterRefusal, RecordAndBlobShapesMustMatchTheSchema) {
    TableSchema schema = MixSchema(Mix::Blobs, paradox::level::V7, 2, 2);
    testsupport::TempDir dir;
    paradox::TableWriter writer(dir.path(), "SHAPE", schema, {.sync = false});
    paradox::RecordBuilder b(schema);
    std::vector<std::uint8_t> shortRecord(schema.RecordSize() - 1, 0);
    EXPECT_THROW(writer.Append(shortRecord), std::invalid_argument);
    const Blobs oneTooFew(4);
    EXPECT_THROW(writer.Append(b.Clear().SetText(0, "A").Bytes(), oneTooFew),
                 std::invalid_argument);
    writer.Append(b.Clear().SetText(0, "A").Bytes()); // no blobs given: all NULL
    writer.Finish();
}

TEST(WriterRefusal, SortedWriteOfDuplicateKeysFails) {
    const TableSchema schema = Level5();
    paradox::RecordBuilder b(schema);
    const std::vector<std::vector<std::uint8_t>> records{b.Clear().SetInt(0, 1).Bytes(),
                                                         b.Clear().SetInt(0, 1).Bytes()};
    testsupport::TempDir dir;
    EXPECT_THROW(paradox::WriteTable(dir.path(), "DUP", schema, records), std::invalid_argument);
}

TEST(WriterRefusal, UnwritablePlaceNamesTheFileAndTheReason) {
    testsupport::TempDir dir;
    try {
        paradox::TableWriter writer(dir / "missing-folder", "T", Level5());
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("missing-folder/T.DB"), std::string::npos) << text;
        EXPECT_NE(text.find("No such file or directory"), std::string::npos) << text;
    }
}

TEST(WriterRefusal, FullDiskIsReportedNotIgnored) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    // A family whose .DB is a link to a device that is always full.
    testsupport::TempDir dir;
    std::filesystem::create_symlink("/dev/full", dir / "FULL.DB");
    GeneratedTable table = Generate(Mix::Level5, paradox::level::V7, 2, 2, 50);
    try {
        paradox::WriteTable(dir.path(), "FULL", table.schema, table.records, table.blobs);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("FULL.DB"), std::string::npos) << text;
        EXPECT_NE(text.find("No space left on device"), std::string::npos) << text;
    }
}

} // namespace
