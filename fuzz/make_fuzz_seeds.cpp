// Makes the seed inputs of the fuzz targets: every corpus family small enough to pack (but
// mtdemo/, see below), and a few families written by our own writer for what the corpus
// lacks (block sizes 4, 8 and 32 KB, secondary indexes at every level, every blob type).
//
//   make_fuzz_seeds CORPUS_DIR OUT_DIR [MAX_BYTES]

#include "FamilyPack.h"
#include "paradox/Family.h"
#include "paradox/RecordBuilder.h"
#include "paradox/Schema.h"
#include "paradox/TableWriter.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using paradox::FieldSpec;
using paradox::FieldType;

namespace {

std::vector<std::uint8_t> ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Packs the family of `db`; empty when it is larger than maxBytes.
std::vector<std::uint8_t> PackFamily(const fs::path& db, std::size_t maxBytes) {
    const paradox::TableFamily family = paradox::FindFamily(db);
    std::vector<std::uint8_t> packed;
    const auto add = [&](char kind, std::uint8_t selector, const fs::path& file) {
        const auto bytes = ReadAll(file);
        fuzzpack::AppendMember(packed, kind, selector, bytes);
    };
    add('D', 0, family.db);
    if (!family.px.empty()) {
        add('P', 0, family.px);
    }
    if (!family.mb.empty()) {
        add('M', 0, family.mb);
    }
    for (const auto& index : family.secondaries) {
        const std::string ext = paradox::UpperExtension(index);
        const int selector = fuzzpack::SelectorForExtension(ext);
        if (selector >= 0) {
            add(ext[0], static_cast<std::uint8_t>(selector), index);
        }
    }
    if (packed.size() > maxBytes) {
        packed.clear();
    }
    return packed;
}

bool WriteSeed(const fs::path& out, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

std::string SeedName(const fs::path& corpus, const fs::path& db) {
    std::string name = fs::relative(db, corpus).string();
    std::replace(name.begin(), name.end(), '/', '_');
    return "corpus_" + name + ".fam";
}

FieldSpec Field(const char* name, FieldType type, std::uint8_t size) {
    return {name, static_cast<std::uint8_t>(type), size};
}

struct WrittenSeed {
    std::string name;
    paradox::TableSchema schema;
    int records;
};

std::vector<WrittenSeed> WrittenSeeds() {
    std::vector<WrittenSeed> seeds;
    for (std::uint8_t version : {paradox::level::V3_0, paradox::level::V4, paradox::level::V7}) {
        for (std::uint8_t block : {std::uint8_t{1}, std::uint8_t{4}, std::uint8_t{8}}) {
            paradox::TableSchema s;
            s.fileVersion = version;
            s.blockSizeCode = block;
            s.indexBlockSizeCode = 1;
            s.fields = {Field("Code", FieldType::Alpha, 12), Field("Qty", FieldType::Short, 2),
                        Field("Born", FieldType::Date, 4), Field("Price", FieldType::Currency, 8),
                        version == paradox::level::V3_0 ? Field("Note", FieldType::Alpha, 20)
                                                        : Field("Note", FieldType::Memo, 20)};
            s.keyFieldCount = 1;
            paradox::SecondaryIndexSpec byQty;
            byQty.extension = "X02";
            byQty.name = "Qty";
            byQty.fieldNumbers = {2};
            byQty.blockSizeCode = 1;
            s.secondaryIndexes = {byQty};
            seeds.push_back(
                {"written_v" + std::to_string(version) + "_b" + std::to_string(block) + ".fam", s,
                 block == 1 ? 60 : 30});
        }
    }
    paradox::TableSchema wide;
    wide.fileVersion = paradox::level::V7;
    wide.blockSizeCode = 32;
    wide.indexBlockSizeCode = 1;
    wide.fields = {
        Field("Id", FieldType::AutoInc, 4),      Field("At", FieldType::Time, 4),
        Field("Stamp", FieldType::Timestamp, 8), Field("Amount", FieldType::Bcd, 2),
        Field("Raw", FieldType::Bytes, 6),       Field("Flag", FieldType::Logical, 1),
        Field("Data", FieldType::Blob, 10),      Field("Styled", FieldType::FmtMemo, 20),
        Field("Object", FieldType::Ole, 15),     Field("Picture", FieldType::Graphic, 12)};
    wide.keyFieldCount = 1;
    paradox::SecondaryIndexSpec composite;
    composite.extension = "XG0";
    composite.name = "ByTime";
    composite.fieldNumbers = {2, 4};
    composite.composite = true;
    composite.blockSizeCode = 1;
    wide.secondaryIndexes = {composite};
    seeds.push_back({"written_v12_b32_types.fam", wide, 10});
    return seeds;
}

// Deterministic values; every fifth record leaves its fields NULL.
void AppendRecords(paradox::TableWriter& writer, const paradox::TableSchema& schema, int count) {
    paradox::RecordBuilder builder(schema);
    for (int i = 0; i < count; ++i) {
        builder.Clear();
        for (std::size_t f = 0; f < schema.fields.size(); ++f) {
            if (f > 0 && i % 5 == 4) {
                continue;
            }
            const std::string text = "v" + std::to_string(1000 + i) + "-" + std::to_string(f);
            switch (schema.fields[f].Type()) {
            case FieldType::Alpha:
                builder.SetText(f, text);
                break;
            case FieldType::Short:
                builder.SetInt(f, (i * 37) % 2000 - 1000);
                break;
            case FieldType::AutoInc:
                builder.SetInt(f, i + 1);
                break;
            case FieldType::Date:
                builder.SetDate(f, 1990 + i % 30, 1 + i % 12, 1 + i % 28);
                break;
            case FieldType::Currency:
                builder.SetDouble(f, i * 1.25 - 10);
                break;
            case FieldType::Time:
                builder.SetTime(f, (i * 7919) % 86400000);
                break;
            case FieldType::Timestamp:
                builder.SetTimestamp(f, 63000000000000.0 + i * 1000.0);
                break;
            case FieldType::Bcd:
                builder.SetBcd(f, std::to_string(i - 15) + ".25");
                break;
            case FieldType::Bytes: {
                const std::uint8_t raw[3] = {static_cast<std::uint8_t>(i), 0xAB, 0x01};
                builder.SetBytes(f, raw);
                break;
            }
            case FieldType::Logical:
                builder.SetLogical(f, i % 2 == 0);
                break;
            default:
                if (paradox::IsBlobType(schema.fields[f].typeCode)) {
                    // Short blobs fit the leader, longer ones go to suballocated blocks of
                    // the .MB, and now and then one needs a block of its own.
                    const std::size_t length =
                        i % 17 == 3 && schema.fields[f].Type() == FieldType::Memo
                            ? 5000
                            : static_cast<std::size_t>(i % 3) * 300 +
                                  static_cast<std::size_t>(i % 7);
                    builder.SetBlobText(f, std::string(length, static_cast<char>('a' + i % 26)));
                }
                break;
            }
        }
        writer.Append(builder.Bytes(), builder.Blobs());
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_fuzz_seeds CORPUS_DIR OUT_DIR [MAX_BYTES]\n");
        return 2;
    }
    const fs::path corpus = argv[1];
    const fs::path out = argv[2];
    const std::size_t maxBytes = argc > 3 ? std::stoul(argv[3]) : 65536;
    fs::create_directories(out);
    int written = 0;
    int skipped = 0;

    std::vector<fs::path> tables;
    for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::toupper);
        // mtdemo/ carries its author's notice against use in published works: not copied.
        const bool restricted = entry.path().string().find("/mtdemo/") != std::string::npos;
        if (entry.is_regular_file() && ext == ".DB" && !restricted) {
            tables.push_back(entry.path());
        }
    }
    std::sort(tables.begin(), tables.end());
    for (const auto& db : tables) {
        const auto packed = PackFamily(db, maxBytes);
        if (packed.empty()) {
            ++skipped;
            continue;
        }
        written += WriteSeed(out / SeedName(corpus, db), packed) ? 1 : 0;
    }

    const fs::path work = fs::temp_directory_path() / "mendrix-fuzz-seeds";
    for (const auto& seed : WrittenSeeds()) {
        fs::remove_all(work);
        fs::create_directories(work);
        paradox::WriteOptions options;
        options.sync = false;
        {
            paradox::TableWriter writer(work, "SEED", seed.schema, options);
            AppendRecords(writer, seed.schema, seed.records);
            writer.Finish();
        }
        const auto packed = PackFamily(work / "SEED.DB", maxBytes);
        if (packed.empty()) {
            ++skipped;
            continue;
        }
        written += WriteSeed(out / seed.name, packed) ? 1 : 0;
    }
    fs::remove_all(work);
    std::printf("%d seeds written, %d families too large\n", written, skipped);
    return 0;
}
