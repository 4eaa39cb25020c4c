#include "paradox/StructureSources.h"

#include "paradox/FieldType.h"
#include "paradox/RecordBuilder.h"
#include "paradox/StructureInference.h"
#include "support/Corpus.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <random>

namespace {

namespace fs = std::filesystem;
using namespace paradox;

ByteView ViewOf(const std::string& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// Whatever the bytes, the readers of structure sources stay inside them and report only what
// holds: no field count above 255, only legal type/size pairs as known, chains inside the
// blocks present.
void ExpectOnlyBelievableFacts(const std::string& bytes, const std::string& name) {
    const ByteView view = ViewOf(bytes);
    const SurvivingHeader own = ReadSurvivingHeader(view);
    EXPECT_LE(own.fields.size(), 255u);
    for (const FieldClue& clue : own.fields) {
        EXPECT_TRUE(!clue.known || IsValidFieldSize(clue.typeCode, clue.sizeByte));
        EXPECT_LE(clue.name.size(), 25u);
    }
    if (own.headerSize != 0) {
        EXPECT_LE(own.headerSize, bytes.size());
    }
    if (const auto g = FindBlockGeometry(view, own.headerSize, own.blockSizeCode)) {
        for (const std::uint16_t block : g->chain) {
            EXPECT_GE(block, 1u);
            EXPECT_LE(block, g->blocksPresent);
        }
        for (const std::uint16_t size : RecordSizesThatFit(*g, own.recordSize)) {
            EXPECT_LE(size, g->blockSizeCode * 1024u - 6);
        }
    }
    std::string why;
    for (int keys : {-1, 0, 1, 3}) {
        if (const auto x = ReadSecondaryIndexClues(view, name, keys, &why)) {
            for (const auto& [number, clue] : x->fields) {
                EXPECT_GE(number, 1u);
            }
        }
    }
    if (const auto px = ReadPrimaryIndexClues(view, name, &why)) {
        EXPECT_EQ(px->fields.size(), px->keyFields);
    }
    ReadCompleteHeader(view, name, &why);
}

TEST(StructureSources, CutAndScrambledFilesGiveNoCrashAndNoGuess) {
    MENDRIX_NEEDS_CORPUS();
    const fs::path dir = testsupport::CorpusDir() / "MedilinkPS-Paradox-Reader";
    std::mt19937 random(20261207);
    for (const char* name : {"zakazky.db", "zakazky.PX", "zakazky.XG0", "testtab.DB"}) {
        SCOPED_TRACE(name);
        const std::string bytes = testsupport::ReadFileBytes(dir / name);
        ASSERT_GT(bytes.size(), 0x800u);
        for (std::size_t size = 0; size < std::min<std::size_t>(bytes.size(), 0x1400); size += 13) {
            ExpectOnlyBelievableFacts(bytes.substr(0, size), name);
        }
        for (int round = 0; round < 300; ++round) {
            std::string scrambled = bytes.substr(0, std::min<std::size_t>(bytes.size(), 0x3000));
            const int hits = 1 + static_cast<int>(random() % 16);
            for (int i = 0; i < hits; ++i) {
                // Mostly the header, sometimes the first blocks.
                const std::size_t limit = round % 4 == 0 ? scrambled.size() : 0x200;
                scrambled[random() % limit] = static_cast<char>(random() & 0xFF);
            }
            ExpectOnlyBelievableFacts(scrambled, name);
        }
    }
}

// Columns of each type are read back as that type when the bytes leave no doubt: text then
// zeros, key-sortable numbers with plausible exponents, days in the calendar, logicals,
// BCD with its scale.
TEST(StructureSources, FieldTypesAreReadFromTheirColumns) {
    TableSchema schema;
    schema.fields = {{"", 0x04, 4}, {"", 0x01, 20}, {"", 0x01, 12}, {"", 0x06, 8}, {"", 0x02, 4},
                     {"", 0x09, 1}, {"", 0x03, 2},  {"", 0x17, 2},  {"", 0x01, 5}};
    RecordBuilder row(schema);
    std::vector<std::vector<std::uint8_t>> records;
    for (int i = 0; i < 200; ++i) {
        row.Clear();
        row.SetInt(0, i * 37 - 900);
        row.SetText(1, "name " + std::to_string(i));
        if (i % 5 != 0) {
            row.SetText(2, "town" + std::to_string(i % 7));
        }
        row.SetDouble(3, i * 0.75 - 12.5);
        row.SetDate(4, 1950 + i % 70, 1 + i % 12, 1 + i % 28);
        row.SetLogical(5, i % 3 == 0);
        row.SetInt(6, i - 100);
        row.SetBcd(7, std::to_string(i) + ".25");
        row.SetText(8, i % 2 ? "yes" : "no");
        records.push_back(row.Bytes());
    }
    std::vector<const std::uint8_t*> pointers;
    for (const auto& r : records) {
        pointers.push_back(r.data());
    }
    const auto fields = InferFields(pointers, 0, schema.RecordSize());
    ASSERT_TRUE(fields.has_value());
    ASSERT_EQ(fields->size(), schema.fields.size());
    for (std::size_t i = 0; i < fields->size(); ++i) {
        EXPECT_EQ((*fields)[i].typeCode, schema.fields[i].typeCode) << "field " << i + 1;
        EXPECT_EQ((*fields)[i].sizeByte, schema.fields[i].sizeByte) << "field " << i + 1;
    }
}

} // namespace
