// Secondary index records sorted in runs through a temporary file (a memory limit far below
// the index's size) give byte for byte the files the in-memory sort gives, for keyed and
// unkeyed tables, single, composite and descending indexes, and leave no file behind.

#include "paradox/RecordBuilder.h"
#include "paradox/TableWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

namespace {

namespace fs = std::filesystem;
using paradox::SecondaryIndexSpec;
using paradox::TableSchema;

TableSchema Schema(bool keyed) {
    TableSchema schema;
    schema.fileVersion = paradox::level::V7;
    schema.blockSizeCode = 2;
    schema.indexBlockSizeCode = 1;
    schema.tableName = "RUNS.DB";
    schema.fields = {{"Id", 0x04, 4}, {"Name", 0x01, 12}, {"Day", 0x02, 4}, {"Score", 0x06, 8}};
    schema.keyFieldCount = keyed ? 1 : 0;
    SecondaryIndexSpec byName;
    byName.extension = "X02";
    byName.fieldNumbers = {2};
    byName.blockSizeCode = 1;
    SecondaryIndexSpec composite;
    composite.extension = "XG0";
    composite.name = "DayScore";
    composite.composite = true;
    composite.fieldNumbers = {3, 0x8000 | 4}; // Score descending
    composite.blockSizeCode = 2;
    schema.secondaryIndexes = {byName, composite};
    return schema;
}

// Writes RUNS with `count` records whose index values repeat and come in no order.
void WriteRuns(const fs::path& dir, bool keyed, std::size_t count, std::size_t sortMemory) {
    const TableSchema schema = Schema(keyed);
    paradox::WriteOptions options;
    options.sync = false;
    options.fileUpdateTime = 1700000000;
    options.secondarySortMemory = sortMemory;
    paradox::TableWriter writer(dir, "RUNS", schema, options);
    paradox::RecordBuilder row(schema);
    for (std::size_t i = 1; i <= count; ++i) {
        row.Clear()
            .SetInt(0, static_cast<std::int64_t>(i))
            .SetText(1, "name " + std::to_string((i * 7919) % 97))
            .SetDayNumber(2, static_cast<std::int32_t>(730000 + (i * 31) % 11))
            .SetDouble(3, static_cast<double>((i * 13) % 17) - 8.0);
        if (i % 23 == 0) {
            row.Null(1);
        }
        writer.Append(row.Bytes(), row.Blobs());
    }
    writer.Finish();
}

std::set<std::string> Names(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

void ExpectSameFamilies(bool keyed) {
    testsupport::TempDir inMemory;
    testsupport::TempDir oneRecordRuns;
    testsupport::TempDir someRuns;
    constexpr std::size_t kRecords = 3000;
    WriteRuns(inMemory.path(), keyed, kRecords, 0);
    WriteRuns(oneRecordRuns.path(), keyed, kRecords, 1);
    WriteRuns(someRuns.path(), keyed, kRecords, 7000);
    const auto names = Names(inMemory.path());
    std::set<std::string> family = {"RUNS.DB", "RUNS.X02", "RUNS.Y02", "RUNS.XG0", "RUNS.YG0"};
    if (keyed) {
        family.insert("RUNS.PX");
    }
    EXPECT_EQ(names, family);
    EXPECT_EQ(Names(oneRecordRuns.path()), names) << "no run file left behind";
    EXPECT_EQ(Names(someRuns.path()), names);
    for (const auto& name : names) {
        const std::string expected = testsupport::ReadFileBytes(inMemory / name);
        EXPECT_TRUE(testsupport::ReadFileBytes(oneRecordRuns / name) == expected) << name;
        EXPECT_TRUE(testsupport::ReadFileBytes(someRuns / name) == expected) << name;
    }
}

TEST(WriterSortRuns, KeyedTableIndexesMatchTheInMemorySort) {
    ExpectSameFamilies(true);
}

TEST(WriterSortRuns, UnkeyedTableIndexesMatchTheInMemorySort) {
    ExpectSameFamilies(false);
}

} // namespace
