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

// The writer creates every file new: a name that exists, or a symlink planted at it, is
// refused and never written through.
TEST(WriterRefusal, ExistingNameOrPlantedSymlinkIsNeverWrittenThrough) {
    testsupport::TempDir dir;
    testsupport::WriteFileBytes(dir / "target", "precious");
    std::filesystem::create_symlink(dir / "target", dir / "LINK.DB");
    testsupport::WriteFileBytes(dir / "OLD.DB", "earlier");
    GeneratedTable table = Generate(Mix::Level5, paradox::level::V7, 2, 2, 50);
    for (const char* stem : {"LINK", "OLD"}) {
        try {
            paradox::WriteTable(dir.path(), stem, table.schema, table.records, table.blobs);
            ADD_FAILURE() << "no error for " << stem;
        } catch (const std::runtime_error& e) {
            const std::string text = e.what();
            EXPECT_NE(text.find(std::string(stem) + ".DB"), std::string::npos) << text;
        }
    }
    EXPECT_EQ(testsupport::ReadFileBytes(dir / "target"), "precious");
    EXPECT_EQ(testsupport::ReadFileBytes(dir / "OLD.DB"), "earlier");
}

} // namespace

namespace {

TEST(WriterRefusal, RecordBuilderRefusesValuesItsFieldsCannotHold) {
    const TableSchema schema = Level5(); // Id Long, Name Alpha 24, ..., Small Short
    paradox::RecordBuilder b(schema);
    EXPECT_THROW(b.SetText(1, std::string(25, 'x')), std::invalid_argument);
    EXPECT_THROW(b.SetText(0, "1"), std::invalid_argument);   // Long field
    EXPECT_THROW(b.SetInt(11, 40000), std::invalid_argument); // Short field
    EXPECT_THROW(b.SetInt(0, 1LL << 31), std::invalid_argument);
    EXPECT_THROW(b.SetBcd(7, "1.234"), std::invalid_argument); // two decimals
    EXPECT_THROW(b.SetBcd(7, "12a"), std::invalid_argument);
    EXPECT_THROW(b.Null(13), std::invalid_argument);
    const std::uint8_t seven[7] = {1, 2, 3, 4, 5, 6, 7};
    EXPECT_THROW(b.SetBytes(8, seven), std::invalid_argument);
    EXPECT_THROW(b.SetBlobText(1, "not a blob field"), std::invalid_argument);
    // Nothing refused was written: the record is still all NULL.
    EXPECT_TRUE(paradox::IsAllZero(b.Bytes().data(), b.Bytes().size()));
    // The smallest integer of a width would be stored as all zero bytes, i.e. NULL.
    EXPECT_THROW(b.SetInt(11, -32768), std::invalid_argument);
    EXPECT_THROW(b.SetInt(0, -2147483648LL), std::invalid_argument);
    EXPECT_THROW(b.SetDayNumber(10, -2147483647 - 1), std::invalid_argument);
    // Extremes that fit.
    b.SetInt(11, -32767).SetInt(0, -2147483647LL).SetText(1, std::string(24, 'y'));
    EXPECT_EQ(paradox::DecodeKbeInt(b.Bytes().data(), 4), -2147483647LL);
    EXPECT_EQ(paradox::DecodeKbeInt(b.Bytes().data() + 84, 2), -32767);
}

} // namespace
