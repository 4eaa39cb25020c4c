#include "tutil/Descriptor.h"

#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

using paradox::FieldSpec;
using paradox::TableSchema;

TableSchema KeyedSchemaWithSecondary() {
    TableSchema schema;
    schema.fileVersion = paradox::level::V5;
    schema.blockSizeCode = 4;
    schema.indexBlockSizeCode = 2;
    schema.fields = {{"Id", 0x04, 4}, {"Name", 0x01, 20}, {"Amount", 0x17, 2}, {"Note", 0x0C, 11}};
    schema.keyFieldCount = 1;
    schema.sortOrder = 0x4C;
    schema.sortOrderName = "DBWINUS0";
    schema.codePage = 1252;
    schema.tableName = "ORDERS.DB";
    schema.autoIncrement = 77;
    paradox::SecondaryIndexSpec byName;
    byName.extension = "XG0";
    byName.name = "ByName";
    byName.fieldNumbers = {2, 0x8003};
    byName.composite = true;
    byName.blockSizeCode = 4;
    schema.secondaryIndexes.push_back(byName);
    return schema;
}

// A descriptor with caller-owned arrays sized by the counts, as the repair engine prepares it.
struct PreparedDesc {
    explicit PreparedDesc(const tutil::DescCounts& c)
        : fields(c.fields), indexes(c.indexes), params(c.optionalParams),
          data(std::size_t{c.optionalDataUnits} * tutil::kOptionalDataUnit) {
        std::memset(&desc, 0, sizeof desc);
        desc.fieldCount = c.fields;
        desc.fields = fields.empty() ? nullptr : fields.data();
        desc.indexCount = c.indexes;
        desc.indexes = indexes.empty() ? nullptr : indexes.data();
        desc.optionalParamCount = c.optionalParams;
        desc.optionalParams = params.empty() ? nullptr : params.data();
        desc.optionalData = data.empty() ? nullptr : data.data();
    }
    tutil::CRTblDesc desc;
    std::vector<tutil::FLDDesc> fields;
    std::vector<tutil::IDXDesc> indexes;
    std::vector<tutil::FLDDesc> params;
    std::vector<std::uint8_t> data;
};

TEST(Descriptor, RoundTripKeepsEveryPartOfTheStructure) {
    const TableSchema schema = KeyedSchemaWithSecondary();
    const tutil::DescCounts counts = tutil::CountsFor(schema);
    EXPECT_EQ(counts.fields, 4);
    EXPECT_EQ(counts.indexes, 2);
    EXPECT_EQ(counts.security, 0);
    EXPECT_EQ(counts.validityChecks, 0);
    EXPECT_EQ(counts.refIntegrity, 0);
    PreparedDesc prepared(counts);
    std::string error;
    ASSERT_TRUE(tutil::FillDescriptor(schema, "ORDERS", prepared.desc, &error)) << error;
    EXPECT_STREQ(prepared.desc.indexes[0].name, "ORDERS.PX");
    EXPECT_EQ(prepared.desc.indexes[0].primary, 1);
    EXPECT_STREQ(prepared.desc.indexes[1].name, "ORDERS.XG0");
    EXPECT_EQ(prepared.desc.fields[2].units2, 2); // BCD decimals
    EXPECT_EQ(prepared.desc.fields[3].offset, 4 + 20 + 17);

    const auto back = tutil::SchemaFromDescriptor(prepared.desc, &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->fileVersion, schema.fileVersion);
    EXPECT_EQ(back->blockSizeCode, schema.blockSizeCode);
    EXPECT_EQ(back->indexBlockSizeCode, schema.indexBlockSizeCode);
    EXPECT_EQ(back->keyFieldCount, 1);
    EXPECT_EQ(back->sortOrder, schema.sortOrder);
    EXPECT_EQ(back->sortOrderName, schema.sortOrderName);
    EXPECT_EQ(back->codePage, schema.codePage);
    EXPECT_EQ(back->tableName, schema.tableName);
    EXPECT_EQ(back->autoIncrement, schema.autoIncrement);
    ASSERT_EQ(back->fields.size(), schema.fields.size());
    for (std::size_t i = 0; i < schema.fields.size(); ++i) {
        EXPECT_EQ(back->fields[i].name, schema.fields[i].name);
        EXPECT_EQ(back->fields[i].typeCode, schema.fields[i].typeCode);
        EXPECT_EQ(back->fields[i].sizeByte, schema.fields[i].sizeByte);
    }
    ASSERT_EQ(back->secondaryIndexes.size(), 1u);
    const auto& index = back->secondaryIndexes[0];
    EXPECT_EQ(index.extension, "XG0");
    EXPECT_EQ(index.name, "ByName");
    EXPECT_EQ(index.fieldNumbers, (std::vector<std::uint16_t>{2, 0x8003}));
    EXPECT_TRUE(index.composite);
    EXPECT_EQ(index.blockSizeCode, 4);
}

TEST(Descriptor, FillRefusesCountsOrBlocksThatDoNotMatch) {
    const TableSchema schema = KeyedSchemaWithSecondary();
    tutil::DescCounts fewer = tutil::CountsFor(schema);
    fewer.fields = 3;
    PreparedDesc tooSmall(fewer);
    std::string error;
    EXPECT_FALSE(tutil::FillDescriptor(schema, "ORDERS", tooSmall.desc, &error));
    EXPECT_FALSE(error.empty());

    PreparedDesc noArray(tutil::CountsFor(schema));
    noArray.desc.indexes = nullptr;
    EXPECT_FALSE(tutil::FillDescriptor(schema, "ORDERS", noArray.desc, &error));

    PreparedDesc security(tutil::CountsFor(schema));
    security.desc.securityCount = 1;
    EXPECT_FALSE(tutil::FillDescriptor(schema, "ORDERS", security.desc, &error));
}

TEST(Descriptor, DecodeRefusesInconsistentDescriptors) {
    const TableSchema schema = KeyedSchemaWithSecondary();
    PreparedDesc prepared(tutil::CountsFor(schema));
    ASSERT_TRUE(tutil::FillDescriptor(schema, "ORDERS", prepared.desc, nullptr));
    std::string error;

    prepared.desc.fields[1].physicalType = 0x42; // no such type
    EXPECT_FALSE(tutil::SchemaFromDescriptor(prepared.desc, &error));
    prepared.desc.fields[1].physicalType = 0x01;

    prepared.desc.indexes[1].fieldNumbers[0] = 9; // past the last field
    EXPECT_FALSE(tutil::SchemaFromDescriptor(prepared.desc, &error));
    prepared.desc.indexes[1].fieldNumbers[0] = 2;

    prepared.desc.optionalParams[0].length = 2000; // value outside the data block
    EXPECT_FALSE(tutil::SchemaFromDescriptor(prepared.desc, &error));
    prepared.desc.optionalParams[0].length = 2;

    EXPECT_TRUE(tutil::SchemaFromDescriptor(prepared.desc, &error)) << error;
}

TEST(Descriptor, UnkeyedTableHasNoPrimaryIndexDescriptor) {
    TableSchema schema;
    schema.fields = {{"Text", 0x01, 10}};
    const auto counts = tutil::CountsFor(schema);
    EXPECT_EQ(counts.indexes, 0);
    PreparedDesc prepared(counts);
    ASSERT_TRUE(tutil::FillDescriptor(schema, "LOG", prepared.desc, nullptr));
    const auto back = tutil::SchemaFromDescriptor(prepared.desc, nullptr);
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->Keyed());
}

} // namespace
