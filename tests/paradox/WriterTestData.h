#pragma once

// Generated tables for the writer's tests: a schema, records with deterministic values, and
// the text each value must read back as (see ValueText below).

#include "paradox/Codec.h"
#include "paradox/RecordBuilder.h"
#include "paradox/Schema.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace writertest {

using paradox::FieldSpec;
using paradox::FieldType;
using paradox::TableSchema;
using Blobs = std::vector<std::optional<std::vector<std::uint8_t>>>;

// Field sets; each is written at every level that defines its types.
enum class Mix {
    Classic, // types of level 3.0: key Alpha(120), Short, Date, Number, Currency, Alpha
    Level5,  // key Long plus every non-blob type of level 5
    Blobs,   // key Alpha plus Memo, Binary, Formatted memo, OLE, Graphic
    Unkeyed, // Classic without a key
};

inline FieldSpec Field(const char* name, FieldType type, std::uint8_t size) {
    return {name, static_cast<std::uint8_t>(type), size};
}

inline TableSchema MixSchema(Mix mix, std::uint8_t fileVersion, std::uint8_t blockSizeCode,
                             std::uint8_t indexBlockSizeCode) {
    TableSchema s;
    s.fileVersion = fileVersion;
    s.blockSizeCode = blockSizeCode;
    s.indexBlockSizeCode = indexBlockSizeCode;
    switch (mix) {
    case Mix::Classic:
    case Mix::Unkeyed:
        s.fields = {Field("Code", FieldType::Alpha, 120),   Field("Qty", FieldType::Short, 2),
                    Field("Born", FieldType::Date, 4),      Field("Ratio", FieldType::Number, 8),
                    Field("Price", FieldType::Currency, 8), Field("Note", FieldType::Alpha, 30)};
        s.keyFieldCount = mix == Mix::Classic ? 1 : 0;
        break;
    case Mix::Level5:
        s.fields = {Field("Id", FieldType::Long, 4),      Field("Name", FieldType::Alpha, 24),
                    Field("Count", FieldType::Long, 4),   Field("Flag", FieldType::Logical, 1),
                    Field("At", FieldType::Time, 4),      Field("Stamp", FieldType::Timestamp, 8),
                    Field("Seq", FieldType::AutoInc, 4),  Field("Amount", FieldType::Bcd, 2),
                    Field("Raw", FieldType::Bytes, 6),    Field("Value", FieldType::Number, 8),
                    Field("Day", FieldType::Date, 4),     Field("Small", FieldType::Short, 2),
                    Field("Cash", FieldType::Currency, 8)};
        s.keyFieldCount = 1;
        break;
    case Mix::Blobs:
        s.fields = {Field("Id", FieldType::Alpha, 10),   Field("Text", FieldType::Memo, 30),
                    Field("Data", FieldType::Blob, 10),  Field("Styled", FieldType::FmtMemo, 20),
                    Field("Object", FieldType::Ole, 15), Field("Picture", FieldType::Graphic, 40)};
        s.keyFieldCount = 1;
        break;
    }
    return s;
}

// One value's expected text: "\N" for NULL; integers, dates (day number), times (ms) and
// logicals (0/1) in decimal; doubles with %.17g; BCD as decimal text; Alpha as stored; Bytes
// and blobs in lower-case hex.
inline std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

inline std::string DoubleText(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

struct GeneratedTable {
    TableSchema schema;
    std::vector<std::vector<std::uint8_t>> records;
    std::vector<Blobs> blobs;                    // empty when the schema has no blob fields
    std::vector<std::vector<std::string>> texts; // per record, per field
};

inline std::vector<std::uint8_t> BlobBytes(std::mt19937& rng, std::size_t size) {
    std::vector<std::uint8_t> v(size);
    for (auto& b : v) {
        b = static_cast<std::uint8_t>(rng());
    }
    return v;
}

// `count` records; keys are unique and come in a shuffled order (WriteTable sorts them).
inline GeneratedTable Generate(Mix mix, std::uint8_t fileVersion, std::uint8_t blockSizeCode,
                               std::uint8_t indexBlockSizeCode, std::uint32_t count,
                               std::uint32_t seed = 7) {
    GeneratedTable t;
    t.schema = MixSchema(mix, fileVersion, blockSizeCode, indexBlockSizeCode);
    std::mt19937 rng(seed);
    std::vector<std::uint32_t> order(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        order[i] = i;
    }
    std::shuffle(order.begin(), order.end(), rng);
    paradox::RecordBuilder b(t.schema);
    for (std::uint32_t n : order) {
        b.Clear();
        std::vector<std::string> texts;
        const bool sparse = n % 7 == 3; // some records with NULL fields
        auto text = [&](std::string s) { texts.push_back(std::move(s)); };
        switch (mix) {
        case Mix::Classic:
        case Mix::Unkeyed: {
            char code[32];
            std::snprintf(code, sizeof code, "K%08u", n);
            b.SetText(0, code);
            text(code);
            if (sparse) {
                text("\\N"), text("\\N"), text("\\N"), text("\\N"), text("\\N");
                break;
            }
            const auto qty = static_cast<std::int64_t>(rng() % 60000) - 30000;
            b.SetInt(1, qty);
            text(std::to_string(qty));
            const auto day = static_cast<std::int32_t>(700000 + rng() % 40000);
            b.SetDayNumber(2, day);
            text(std::to_string(day));
            const double ratio = (static_cast<double>(rng()) - 2147483648.0) / 1024.0;
            b.SetDouble(3, ratio);
            text(DoubleText(ratio));
            const double price = static_cast<double>(rng() % 100000) / 100.0;
            b.SetDouble(4, price);
            text(DoubleText(price));
            const std::string note = "note " + std::to_string(rng() % 100000);
            b.SetText(5, note);
            text(note);
            break;
        }
        case Mix::Level5: {
            const auto id = static_cast<std::int64_t>(n) * 3 - 1000;
            b.SetInt(0, id);
            text(std::to_string(id));
            if (sparse) {
                for (int i = 1; i < 13; ++i) {
                    text("\\N");
                }
                break;
            }
            const std::string name = "name-" + std::to_string(rng() % 1000000);
            b.SetText(1, name);
            text(name);
            const auto c = static_cast<std::int64_t>(rng() % 2000000000) - 1000000000;
            b.SetInt(2, c);
            text(std::to_string(c));
            const bool flag = rng() % 2 == 0;
            b.SetLogical(3, flag);
            text(flag ? "1" : "0");
            const auto at = static_cast<std::int32_t>(rng() % 86400000);
            b.SetTime(4, at);
            text(std::to_string(at));
            const double stamp = 63716202001000.0 + static_cast<double>(rng() % 1000000) * 1000.0;
            b.SetTimestamp(5, stamp);
            text(DoubleText(stamp));
            b.SetInt(6, n + 1);
            text(std::to_string(n + 1));
            const auto cents = static_cast<long>(rng() % 2000000) - 1000000;
            char amount[40];
            std::snprintf(amount, sizeof amount, "%s%ld.%02ld", cents < 0 ? "-" : "",
                          std::labs(cents) / 100, std::labs(cents) % 100);
            b.SetBcd(7, amount);
            text(amount);
            std::vector<std::uint8_t> raw = BlobBytes(rng, 6);
            raw[0] |= 1; // never all zero
            b.SetBytes(8, raw);
            text(Hex(raw));
            const double value = -static_cast<double>(rng()) / 3.0;
            b.SetDouble(9, value);
            text(DoubleText(value));
            const auto day = static_cast<std::int32_t>(1 + rng() % 3000000);
            b.SetDayNumber(10, day);
            text(std::to_string(day));
            const auto small = static_cast<std::int64_t>(rng() % 65535) - 32767;
            b.SetInt(11, small);
            text(std::to_string(small));
            b.SetDouble(12, 0.0);
            text("0");
            break;
        }
        case Mix::Blobs: {
            char id[16];
            std::snprintf(id, sizeof id, "B%07u", n);
            b.SetText(0, id);
            text(id);
            // Sizes that land inline, in suballocated slots and in blocks of their own.
            static const std::size_t sizes[] = {0,   5,    19,   20,   21,   100,
                                                700, 2040, 2100, 9000, 30000};
            for (std::size_t f = 1; f < 6; ++f) {
                const std::size_t size = sizes[(n * 5 + f * 3 + rng() % 3) % std::size(sizes)];
                if (size == 0 || sparse) {
                    text("\\N");
                    continue;
                }
                const std::vector<std::uint8_t> data = BlobBytes(rng, size);
                b.SetBlob(f, data);
                text(Hex(data));
            }
            break;
        }
        }
        t.records.push_back(b.Bytes());
        if (t.schema.HasBlobs()) {
            t.blobs.push_back(b.Blobs());
        }
        t.texts.push_back(std::move(texts));
    }
    return t;
}

// Records and texts sorted by key, as a keyed table holds them.
inline void SortByKey(GeneratedTable& t) {
    if (!t.schema.Keyed()) {
        return;
    }
    std::uint32_t keyLength = 0;
    for (std::size_t i = 0; i < t.schema.keyFieldCount; ++i) {
        keyLength += t.schema.fields[i].ByteLength();
    }
    std::vector<std::size_t> order(t.records.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return std::memcmp(t.records[a].data(), t.records[b].data(), keyLength) < 0;
    });
    GeneratedTable sorted;
    sorted.schema = t.schema;
    for (std::size_t i : order) {
        sorted.records.push_back(t.records[i]);
        if (!t.blobs.empty()) {
            sorted.blobs.push_back(t.blobs[i]);
        }
        sorted.texts.push_back(t.texts[i]);
    }
    t = std::move(sorted);
}

} // namespace writertest
