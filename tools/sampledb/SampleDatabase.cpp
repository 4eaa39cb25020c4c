#include "SampleDatabase.h"

#include "paradox/Codec.h"
#include "paradox/Header.h"
#include "paradox/MappedFile.h"
#include "paradox/RecordBuilder.h"
#include "paradox/TableWriter.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace sampledb {
namespace {

using paradox::FieldType;
using Blobs = std::vector<std::optional<std::vector<std::uint8_t>>>;

paradox::FieldSpec Field(std::string name, FieldType type, std::uint8_t size = 0) {
    paradox::FieldSpec field;
    field.name = std::move(name);
    field.typeCode = static_cast<std::uint8_t>(type);
    field.sizeByte =
        size != 0 ? size : static_cast<std::uint8_t>(paradox::FieldByteLength(field.typeCode, 0));
    return field;
}

paradox::TableSchema Schema(const std::string& name, std::uint8_t level, std::uint8_t blockSize,
                            std::vector<paradox::FieldSpec> fields, std::uint16_t keys) {
    paradox::TableSchema schema;
    schema.tableName = name + ".DB";
    schema.fileVersion = level;
    schema.blockSizeCode = blockSize;
    schema.indexBlockSizeCode = blockSize > 4 ? 2 : blockSize;
    schema.fields = std::move(fields);
    schema.keyFieldCount = keys;
    schema.codePage = 1252;
    return schema;
}

// Small deterministic pseudo-random numbers, so that every build writes the same tables.
class Numbers {
public:
    std::uint32_t Next(std::uint32_t bound) {
        state_ = state_ * 1103515245u + 12345u;
        return (state_ >> 8) % bound;
    }

private:
    std::uint32_t state_ = 20241207u;
};

const std::array<const char*, 8> kCities = {"Aarhus", "Bergen", "Cork", "Dijon",
                                            "Essen",  "Faro",   "Graz", "Hamar"};
const std::array<const char*, 6> kItems = {"Bolt M6", "Washer", "Hinge",
                                           "Bracket", "Spring", "Gasket"};

// A 24-bit Windows bitmap of w x h pixels in one colour.
std::vector<std::uint8_t> Bitmap(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    const int rowBytes = (w * 3 + 3) & ~3;
    const std::uint32_t pixels = static_cast<std::uint32_t>(rowBytes * h);
    std::vector<std::uint8_t> bmp(54 + pixels, 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            bmp[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, static_cast<std::uint32_t>(bmp.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(w));
    put32(22, static_cast<std::uint32_t>(h));
    bmp[26] = 1;
    bmp[28] = 24;
    put32(34, pixels);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::size_t at = 54 + static_cast<std::size_t>(y * rowBytes + x * 3);
            bmp[at] = b;
            bmp[at + 1] = g;
            bmp[at + 2] = r;
        }
    }
    return bmp;
}

std::string Text(const char* format, int value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void WriteCustomers(const std::filesystem::path& dir) {
    auto schema = Schema("CUSTOMER", paradox::level::V7, 2,
                         {Field("CustNo", FieldType::Long), Field("Name", FieldType::Alpha, 30),
                          Field("City", FieldType::Alpha, 20), Field("Since", FieldType::Date),
                          Field("Balance", FieldType::Currency),
                          Field("Active", FieldType::Logical), Field("Notes", FieldType::Memo, 40)},
                         1);
    paradox::SecondaryIndexSpec city;
    city.extension = "X03";
    city.name = "City";
    city.fieldNumbers = {3};
    schema.secondaryIndexes.push_back(city);
    Numbers numbers;
    std::vector<std::vector<std::uint8_t>> records;
    std::vector<Blobs> blobs;
    paradox::RecordBuilder builder(schema);
    for (int i = 1; i <= 250; ++i) {
        builder.Clear()
            .SetInt(0, 1000 + i)
            .SetText(1, Text("Customer %03d", i))
            .SetText(2, kCities[numbers.Next(kCities.size())])
            .SetDate(3, 1990 + static_cast<int>(numbers.Next(30)), 1 + numbers.Next(12),
                     1 + numbers.Next(28))
            .SetDouble(4, numbers.Next(100000) / 100.0)
            .SetLogical(5, i % 5 != 0);
        if (i % 3 == 0) {
            std::string notes = Text("Customer %d prefers delivery before noon.", i);
            for (int k = 0; k < i % 7; ++k) {
                notes += " Call ahead; the gate code changes every month.";
            }
            builder.SetBlobText(6, notes);
        }
        records.push_back(builder.Bytes());
        blobs.push_back(builder.Blobs());
    }
    paradox::WriteTable(dir, "CUSTOMER", schema, records, blobs);
}

void WriteOrders(const std::filesystem::path& dir) {
    auto schema = Schema("ORDERS", paradox::level::V5, 4,
                         {Field("OrderNo", FieldType::Long), Field("Line", FieldType::Short),
                          Field("Item", FieldType::Alpha, 25), Field("Qty", FieldType::Short),
                          Field("Price", FieldType::Number), Field("Ordered", FieldType::Timestamp),
                          Field("Total", FieldType::Bcd, 2)},
                         2);
    paradox::SecondaryIndexSpec byItem;
    byItem.extension = "XG0";
    byItem.name = "ByItem";
    byItem.composite = true;
    byItem.fieldNumbers = {3, 4};
    schema.secondaryIndexes.push_back(byItem);
    Numbers numbers;
    std::vector<std::vector<std::uint8_t>> records;
    paradox::RecordBuilder builder(schema);
    const std::int64_t firstDay = paradox::DayNumberFromCivil(2023, 1, 2);
    for (int order = 1; order <= 2000; ++order) {
        const int lines = 1 + static_cast<int>(numbers.Next(4));
        for (int line = 1; line <= lines; ++line) {
            const int qty = 1 + static_cast<int>(numbers.Next(40));
            const int cents = 50 + static_cast<int>(numbers.Next(5000));
            builder.Clear()
                .SetInt(0, order)
                .SetInt(1, line)
                .SetText(2, kItems[numbers.Next(kItems.size())])
                .SetInt(3, qty)
                .SetDouble(4, cents / 100.0)
                .SetTimestamp(5, static_cast<double>(firstDay + order / 6) * 86400000.0 +
                                     numbers.Next(86400) * 1000.0)
                .SetBcd(6, Text("%d", qty * cents / 100) + "." + Text("%02d", qty * cents % 100));
            records.push_back(builder.Bytes());
        }
    }
    paradox::WriteTable(dir, "ORDERS", schema, records);
}

void WriteParts(const std::filesystem::path& dir) {
    auto schema =
        Schema("PARTS", paradox::level::V4, 1,
               {Field("PartNo", FieldType::Alpha, 10), Field("Description", FieldType::Alpha, 40),
                Field("Weight", FieldType::Number), Field("Sketch", FieldType::Graphic, 10),
                Field("Details", FieldType::Memo, 30)},
               1);
    std::vector<std::vector<std::uint8_t>> records;
    std::vector<Blobs> blobs;
    paradox::RecordBuilder builder(schema);
    for (int i = 1; i <= 60; ++i) {
        builder.Clear()
            .SetText(0, Text("P-%04d", i * 7))
            .SetText(1, std::string(kItems[i % kItems.size()]) + Text(", series %d", i))
            .SetDouble(2, i * 0.125);
        if (i % 4 == 1) {
            builder.SetBlob(3, Bitmap(8 + i % 8, 8, static_cast<std::uint8_t>(i * 4), 80, 160));
        }
        if (i % 2 == 0) {
            builder.SetBlobText(4, std::string(20 + i * 30, static_cast<char>('a' + i % 26)));
        }
        records.push_back(builder.Bytes());
        blobs.push_back(builder.Blobs());
    }
    paradox::WriteTable(dir, "PARTS", schema, records, blobs);
}

void WriteEvents(const std::filesystem::path& dir) {
    auto schema = Schema("EVENTS", paradox::level::V3_0, 1,
                         {Field("When", FieldType::Date), Field("What", FieldType::Alpha, 40),
                          Field("Count", FieldType::Short)},
                         0);
    schema.codePage = 437;
    Numbers numbers;
    std::vector<std::vector<std::uint8_t>> records;
    paradox::RecordBuilder builder(schema);
    for (int i = 0; i < 500; ++i) {
        builder.Clear()
            .SetDate(0, 1989 + i / 120, 1 + static_cast<unsigned>(i / 10 % 12),
                     1 + static_cast<unsigned>(i % 28))
            .SetText(1, Text("Stock taking round %d", i))
            .SetInt(2, static_cast<std::int64_t>(numbers.Next(300)));
        records.push_back(builder.Bytes());
    }
    paradox::WriteTable(dir, "EVENTS", schema, records);
}

void WritePhotos(const std::filesystem::path& dir) {
    auto schema = Schema("PHOTOS", paradox::level::V7, 16,
                         {Field("Id", FieldType::AutoInc), Field("Title", FieldType::Alpha, 40),
                          Field("Taken", FieldType::Time), Field("Image", FieldType::Graphic, 20),
                          Field("Raw", FieldType::Bytes, 8)},
                         1);
    schema.autoIncrement = 12;
    std::vector<std::vector<std::uint8_t>> records;
    std::vector<Blobs> blobs;
    paradox::RecordBuilder builder(schema);
    for (int i = 1; i <= 12; ++i) {
        const std::array<std::uint8_t, 8> raw = {1, 2, 3, 4, static_cast<std::uint8_t>(i), 0, 0, 9};
        builder.Clear()
            .SetInt(0, i)
            .SetText(1, Text("Shelf %d", i))
            .SetTime(2, i * 3600 * 1000 / 2)
            .SetBlob(3, Bitmap(16 * i, 12, 200, static_cast<std::uint8_t>(i * 20), 40))
            .SetBytes(4, raw);
        records.push_back(builder.Bytes());
        blobs.push_back(builder.Blobs());
    }
    paradox::WriteTable(dir, "PHOTOS", schema, records, blobs);
}

void Patch(const std::filesystem::path& file, std::uint64_t offset,
           const std::vector<std::uint8_t>& bytes) {
    std::fstream io(file, std::ios::in | std::ios::out | std::ios::binary);
    io.seekp(static_cast<std::streamoff>(offset));
    io.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
    io.flush();
    if (!io) {
        throw std::runtime_error("cannot damage " + file.string());
    }
}

paradox::TableHeader HeaderOf(const std::filesystem::path& file) {
    std::string error;
    auto mapped = paradox::MappedFile::Open(file, &error);
    if (!mapped) {
        throw std::runtime_error(file.string() + ": " + error);
    }
    paradox::FindingList findings;
    auto header = paradox::ParseHeader(mapped->View(), file.string(), findings);
    if (!header) {
        throw std::runtime_error(file.string() + ": no header");
    }
    return *header;
}

void WriteInvoices(const std::filesystem::path& dir) {
    auto schema = Schema("INVOICE", paradox::level::V7, 2,
                         {Field("InvNo", FieldType::Long), Field("Customer", FieldType::Long),
                          Field("Amount", FieldType::Currency), Field("Paid", FieldType::Logical)},
                         1);
    Numbers numbers;
    std::vector<std::vector<std::uint8_t>> records;
    paradox::RecordBuilder builder(schema);
    for (int i = 1; i <= 300; ++i) {
        builder.Clear()
            .SetInt(0, 50000 + i)
            .SetInt(1, 1001 + static_cast<int>(numbers.Next(250)))
            .SetDouble(2, numbers.Next(250000) / 100.0)
            .SetLogical(3, i % 3 != 0);
        records.push_back(builder.Bytes());
    }
    paradox::WriteTable(dir, "INVOICE", schema, records);
    // Damage: the first root entry of the index counts one record too many in its block.
    const auto px = dir / "INVOICE.PX";
    const auto header = HeaderOf(px);
    const std::uint64_t entry =
        header.headerSize + static_cast<std::uint64_t>(header.indexRoot - 1) * header.BlockSize() +
        6;
    const std::uint64_t statistic = entry + header.recordSize - 6 + 2;
    std::ifstream in(px, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(statistic));
    std::array<char, 2> word{};
    in.read(word.data(), 2);
    const auto value = static_cast<std::uint16_t>(
        ((static_cast<std::uint8_t>(word[0]) << 8) | static_cast<std::uint8_t>(word[1])) + 1);
    Patch(px, statistic, {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)});
}

void WriteStock(const std::filesystem::path& dir) {
    auto schema = Schema("STOCK", paradox::level::V5, 2,
                         {Field("Item", FieldType::Alpha, 25), Field("OnHand", FieldType::Long),
                          Field("Counted", FieldType::Date)},
                         0);
    std::vector<std::vector<std::uint8_t>> records;
    paradox::RecordBuilder builder(schema);
    for (int i = 0; i < 90; ++i) {
        builder.Clear()
            .SetText(0, std::string(kItems[i % kItems.size()]) + Text(" #%d", i))
            .SetInt(1, i * 11 % 97)
            .SetDate(2, 2024, 1 + static_cast<unsigned>(i % 12), 1 + static_cast<unsigned>(i % 28));
        records.push_back(builder.Bytes());
    }
    paradox::WriteTable(dir, "STOCK", schema, records);
    // Damage: the header counts three records that no block holds.
    const auto db = dir / "STOCK.DB";
    const std::uint32_t wrong = HeaderOf(db).numRecords + 3;
    Patch(db, 0x06,
          {static_cast<std::uint8_t>(wrong), static_cast<std::uint8_t>(wrong >> 8),
           static_cast<std::uint8_t>(wrong >> 16), static_cast<std::uint8_t>(wrong >> 24)});
}

} // namespace

std::vector<std::string> SampleFiles() {
    return {"CUSTOMER.DB", "CUSTOMER.PX", "CUSTOMER.MB", "CUSTOMER.X03", "CUSTOMER.Y03",
            "ORDERS.DB",   "ORDERS.PX",   "ORDERS.XG0",  "ORDERS.YG0",   "PARTS.DB",
            "PARTS.PX",    "PARTS.MB",    "EVENTS.DB",   "PHOTOS.DB",    "PHOTOS.PX",
            "PHOTOS.MB",   "INVOICE.DB",  "INVOICE.PX",  "STOCK.DB"};
}

void WriteSampleDatabase(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    // The writer creates every file new: the files of an earlier run go first.
    for (const std::string& name : SampleFiles()) {
        std::filesystem::remove(dir / name);
    }
    WriteCustomers(dir);
    WriteOrders(dir);
    WriteParts(dir);
    WriteEvents(dir);
    WritePhotos(dir);
    WriteInvoices(dir);
    WriteStock(dir);
}

} // namespace sampledb
