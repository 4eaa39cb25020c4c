// The .MB the writer produces, read with the format's rules alone: the header block, small
// blobs in suballocated blocks (slots from 63 down, data from 0x150), large ones in blocks of
// their own, leaders holding the first bytes, Graphic data with its 8-byte prefix.

#include "paradox/ByteView.h"
#include "paradox/Codec.h"
#include "paradox/TableWriter.h"
#include "support/TempDir.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

using paradox::ByteView;
using paradox::FieldType;
using Bytes = std::vector<std::uint8_t>;

paradox::TableSchema BlobSchema() {
    paradox::TableSchema s;
    s.fileVersion = paradox::level::V5;
    s.fields = {{"Id", static_cast<std::uint8_t>(FieldType::Short), 2},
                {"Text", static_cast<std::uint8_t>(FieldType::Memo), 20},
                {"Picture", static_cast<std::uint8_t>(FieldType::Graphic), 14}};
    return s;
}

Bytes Pattern(std::size_t size, std::uint8_t seed) {
    Bytes v(size);
    for (std::size_t i = 0; i < size; ++i) {
        v[i] = static_cast<std::uint8_t>(seed + i * 7);
    }
    return v;
}

struct Stored {
    std::uint8_t blockType;
    Bytes data; // as stored in the .MB
};

// Follows a record tail into the .MB by the format's rules.
Stored Follow(ByteView mb, const paradox::BlobRef& ref) {
    const std::uint8_t type = mb.U8(ref.offset).value_or(0xEE);
    if (ref.index == 0xFF) {
        const auto length = mb.U32LE(ref.offset + 3).value_or(0);
        const auto chunks = mb.U16LE(ref.offset + 1).value_or(0);
        EXPECT_EQ(chunks, (9 + length + 4095) / 4096);
        EXPECT_EQ(mb.U16LE(ref.offset + 7), ref.modNumber);
        const ByteView data = mb.Sub(ref.offset + 9, length);
        return {type, Bytes(data.data(), data.data() + data.size())};
    }
    const std::size_t slot = ref.offset + 12 + 5u * ref.index;
    const auto start = mb.U8(slot).value_or(0) * 16u;
    const auto units = mb.U8(slot + 1).value_or(0);
    const auto last = mb.U8(slot + 4).value_or(0);
    EXPECT_EQ(mb.U16LE(slot + 2), ref.modNumber);
    const std::uint32_t length = (units - 1u) * 16u + last;
    const ByteView data = mb.Sub(ref.offset + start, length);
    return {type, Bytes(data.data(), data.data() + data.size())};
}

TEST(WriterBlobFile, BlobsLandWhereTheirSizeSaysAndReadBackByTheFormatsRules) {
    // Sizes: NULL, inline in the leader, exactly the leader, suballocated, at the threshold,
    // single block, several chunks, larger than the writer's buffer.
    const std::vector<std::size_t> sizes{0, 3, 10, 11, 200, 2048, 2049, 5000, 70000, 1500000};
    const paradox::TableSchema schema = BlobSchema();
    std::vector<Bytes> records;
    std::vector<std::vector<std::optional<Bytes>>> blobs;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        Bytes record(schema.RecordSize(), 0);
        paradox::EncodeKbeInt(static_cast<std::int64_t>(i), record.data(), 2);
        records.push_back(record);
        std::optional<Bytes> memo, picture;
        if (sizes[i] > 0) {
            memo = Pattern(sizes[i], static_cast<std::uint8_t>(i));
            picture = Pattern(sizes[i], static_cast<std::uint8_t>(100 + i));
        }
        blobs.push_back({memo, picture});
    }
    testsupport::TempDir dir;
    paradox::WriteTable(dir.path(), "BLOBS", schema, records, blobs);

    const std::string mbText = testsupport::ReadFileBytes(dir / "BLOBS.MB");
    const ByteView mb(reinterpret_cast<const std::uint8_t*>(mbText.data()), mbText.size());
    ASSERT_EQ(mb.size() % 4096, 0u);
    // Header block as every known writer leaves it.
    EXPECT_EQ(mb.U8(0), 0);
    EXPECT_EQ(mb.U16LE(1), 1);
    const std::uint8_t constant[] = {0x82, 0x73, 0x02, 0x00, 0x29};
    EXPECT_EQ(std::memcmp(mb.data() + 5, constant, 5), 0);
    EXPECT_EQ(mb.U16LE(0x0B), 0x1000);
    EXPECT_EQ(mb.U16LE(0x0D), 0x1000);
    EXPECT_EQ(mb.U8(0x10), 0x10);
    EXPECT_EQ(mb.U16LE(0x11), 0x40);
    EXPECT_EQ(mb.U16LE(0x13), 0x800);
    EXPECT_EQ(mb.U16LE(0x29), 0x2A1);
    // The blocks tile the file exactly.
    std::uint64_t at = 0;
    int blocks = 0;
    while (at < mb.size()) {
        const auto chunks = mb.U16LE(at + 1).value_or(0);
        ASSERT_GT(chunks, 0);
        ASSERT_TRUE(mb.U8(at) == (at == 0 ? 0 : 2) || mb.U8(at) == 3);
        at += chunks * 4096ull;
        ++blocks;
    }
    EXPECT_EQ(at, mb.size());

    const std::string dbText = testsupport::ReadFileBytes(dir / "BLOBS.DB");
    const ByteView db(reinterpret_cast<const std::uint8_t*>(dbText.data()), dbText.size());
    const std::size_t recordSize = schema.RecordSize();
    const std::size_t headerSize = db.U16LE(2).value_or(0);
    int suballocated = 0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        SCOPED_TRACE(sizes[i]);
        const std::uint8_t* record = db.data() + headerSize + 6 + i * recordSize;
        for (int f = 0; f < 2; ++f) {
            const std::size_t offset = f == 0 ? 2 : 22;
            const std::size_t length = f == 0 ? 20 : 14;
            const std::size_t leader = length - 10;
            const auto ref = paradox::DecodeBlobRef(record + offset, length);
            ASSERT_TRUE(ref);
            const Bytes expected = blobs[i][static_cast<std::size_t>(f)].value_or(Bytes{});
            if (expected.empty()) {
                EXPECT_TRUE(paradox::IsAllZero(record + offset, length));
                continue;
            }
            // The leader holds the first bytes of the value (Graphic: of the image).
            const std::size_t shown = std::min(leader, expected.size());
            EXPECT_EQ(std::memcmp(record + offset, expected.data(), shown), 0);
            EXPECT_TRUE(paradox::IsAllZero(record + offset + shown, leader - shown));
            if (expected.size() <= leader) {
                EXPECT_FALSE(ref->InBlobFile());
                EXPECT_EQ(ref->length, expected.size());
                continue;
            }
            Bytes stored = expected;
            if (f == 1) {
                Bytes prefix{0x01, 0x00, 0x00, 0x01, 0, 0, 0, 0};
                paradox::PutU32LE(prefix.data() + 4, static_cast<std::uint32_t>(expected.size()));
                stored.insert(stored.begin(), prefix.begin(), prefix.end());
            }
            EXPECT_EQ(ref->length, stored.size());
            EXPECT_EQ(ref->offset % 4096, 0u);
            const Stored found = Follow(mb, *ref);
            EXPECT_EQ(found.data, stored);
            if (stored.size() <= 2048) {
                EXPECT_EQ(found.blockType, 3);
                EXPECT_LE(ref->index, 63);
                ++suballocated;
            } else {
                EXPECT_EQ(found.blockType, 2);
                EXPECT_EQ(ref->index, 0xFF);
            }
        }
    }
    EXPECT_GE(suballocated, 4);
}

TEST(WriterBlobFile, SuballocatedBlocksFillFromSlot63Down) {
    paradox::TableSchema schema = BlobSchema();
    std::vector<Bytes> records;
    std::vector<std::vector<std::optional<Bytes>>> blobs;
    // 100 memos of 40 bytes (3 units each): 64 slots fill the first block, the rest go on.
    for (int i = 0; i < 100; ++i) {
        Bytes record(schema.RecordSize(), 0);
        paradox::EncodeKbeInt(i, record.data(), 2);
        records.push_back(record);
        blobs.push_back({Pattern(40, static_cast<std::uint8_t>(i)), std::nullopt});
    }
    testsupport::TempDir dir;
    paradox::WriteTable(dir.path(), "SLOTS", schema, records, blobs);
    const std::string mbText = testsupport::ReadFileBytes(dir / "SLOTS.MB");
    const ByteView mb(reinterpret_cast<const std::uint8_t*>(mbText.data()), mbText.size());
    ASSERT_EQ(mb.size(), 3u * 4096);
    ASSERT_EQ(mb.U8(4096), 3);
    for (int slot = 63, unit = 0x15; slot >= 0; --slot, unit += 3) {
        const std::size_t at = 4096 + 12 + 5u * static_cast<unsigned>(slot);
        EXPECT_EQ(mb.U8(at), unit) << "slot " << slot;
        EXPECT_EQ(mb.U8(at + 1), 3);
        EXPECT_EQ(mb.U8(at + 4), 8); // 40 = 2 * 16 + 8
    }
    // The second suballocated block holds the remaining 36, again from slot 63.
    EXPECT_EQ(mb.U8(2 * 4096), 3);
    EXPECT_EQ(mb.U8(2 * 4096 + 12 + 5 * 63), 0x15);
    EXPECT_EQ(mb.U8(2 * 4096 + 12 + 5 * 28), 0x15 + 35 * 3);
    EXPECT_EQ(mb.U8(2 * 4096 + 12 + 5 * 27), 0);
}

} // namespace
