#pragma once

// The writer's tests: every blob field of a written table reads back through its .MB as the
// generated table holds it.

#include "WriterTestData.h"
#include "paradox/BlobFile.h"
#include "paradox/TableReader.h"

#include <gtest/gtest.h>

namespace writertest {

inline void ExpectBlobsAsGenerated(const paradox::TableReader& db, paradox::BlobFile* mb,
                                   const GeneratedTable& table, paradox::FindingList& findings) {
    const auto offsets = table.schema.FieldOffsets();
    std::size_t r = 0;
    db.ForEachRecord([&](const paradox::RecordRef& rec) {
        std::size_t blob = 0;
        for (std::size_t f = 0; f < offsets.size(); ++f) {
            const auto& field = table.schema.fields[f];
            if (!paradox::IsBlobType(field.typeCode)) {
                continue;
            }
            std::vector<std::uint8_t> data;
            EXPECT_TRUE(paradox::ReadBlobField(rec.bytes + offsets[f], field.ByteLength(),
                                               field.typeCode, mb, data, findings, field.name));
            EXPECT_EQ(data, table.blobs[r][blob++].value_or(std::vector<std::uint8_t>{}))
                << "record " << r << " field " << field.name;
        }
        ++r;
    });
}

} // namespace writertest
