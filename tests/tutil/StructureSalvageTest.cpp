#include "TableFixture.h"
#include "paradox/Family.h"
#include "paradox/RecordBuilder.h"
#include "paradox/TableReader.h"
#include "paradox/TableWriter.h"
#include "support/Corpus.h"
#include "support/TempDir.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/UtilityError.h"
#include "tutil/Verify.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using paradox::FindingCode;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
using namespace tutilfixture;

const tutil::RebuildNames kNames{"ORDERS-BACKUP.DB", "ORDERS-KEYVIOL.DB", "ORDERS-PROBLEM.DB", ""};

// ORDERS with a secondary index on every field but the key, so that its index files describe
// every field of the table.
paradox::TableSchema FullyIndexedOrders() {
    paradox::TableSchema schema = OrdersSchema(true, true);
    for (std::uint16_t field : {3, 4}) {
        paradox::SecondaryIndexSpec spec = schema.secondaryIndexes.front();
        spec.extension = "X0" + std::to_string(field);
        spec.name = schema.fields[field - 1].name;
        spec.fieldNumbers = {field};
        schema.secondaryIndexes.push_back(spec);
    }
    return schema;
}

fs::path WriteOrdersAs(const fs::path& dir, const paradox::TableSchema& schema, int count) {
    std::vector<std::vector<std::uint8_t>> records;
    paradox::RecordBuilder row(schema);
    for (int id = 1; id <= count; ++id) {
        row.Clear();
        row.SetInt(0, id);
        row.SetText(1, "customer " + std::to_string((id * 7919) % 1000));
        row.SetDouble(2, id * 1.25 - 40);
        row.SetLogical(3, id % 3 == 0);
        records.push_back(row.Bytes());
    }
    paradox::WriteTable(dir, "ORDERS", schema, records);
    return dir / "ORDERS.DB";
}

// Where the header of a table keeps its field descriptors and names.
struct HeaderPlaces {
    std::size_t descriptors = 0; // type and size byte of each field
    std::size_t namesAt = 0;
    std::size_t namesLength = 0;
    std::size_t fields = 0;
};

HeaderPlaces PlacesOf(const fs::path& db) {
    const auto schema = tutil::ReadTableStructure(tutil::LocateTable(db.string()));
    const std::string bytes = ReadFileBytes(db);
    HeaderPlaces places;
    places.fields = schema.fields.size();
    places.descriptors = static_cast<std::uint8_t>(bytes.at(0x39)) >= 5 ? 0x78 : 0x58;
    std::string names;
    for (const auto& field : schema.fields) {
        names += field.name + '\0';
    }
    places.namesAt = bytes.find(names);
    places.namesLength = names.size();
    return places;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct HeaderDamage {
    std::string name;
    std::function<void(std::string&, const HeaderPlaces&)> apply;
};

// The damage kinds that leave a header unable to describe its fields. `field` is the
// 0-based field whose descriptor is hit.
std::vector<HeaderDamage> HeaderDamages(std::size_t field) {
    return {
        {"FieldTypeByte",
         [field](std::string& db, const HeaderPlaces& p) { db[p.descriptors + 2 * field] = 0x07; }},
        {"FieldSizeByte",
         [field](std::string& db, const HeaderPlaces& p) {
             db[p.descriptors + 2 * field + 1] = 0;
         }},
        {"FieldCount", [](std::string& db, const HeaderPlaces&) { PutU16(db, 0x21, 700); }},
        {"RecordSize",
         [](std::string& db, const HeaderPlaces&) {
             PutU16(db, 0, static_cast<std::uint16_t>(GetU16(db, 0) + 3));
         }},
        {"NameArea",
         [](std::string& db, const HeaderPlaces& p) {
             ASSERT_NE(p.namesAt, std::string::npos);
             std::fill_n(db.begin() + static_cast<long>(p.namesAt), p.namesLength, '\xFF');
         }},
        {"WholeHeaderZeroed",
         [](std::string& db, const HeaderPlaces&) {
             std::fill_n(db.begin(), GetU16(db, 2), '\0');
         }},
    };
}

// Copies the table's family into `dir` (without other tables' files).
fs::path CopyFamily(const fs::path& db, const fs::path& dir) {
    for (const auto& file : paradox::AllFamilyFiles(paradox::FindFamily(db))) {
        fs::copy_file(file, dir / file.filename());
    }
    return dir / db.filename();
}

// Damages the header, checks that the table now has an unknown structure, rebuilds it with
// `choice` and checks that it came back: the same fields (names too unless inferred), key,
// values, and a clean verify. Returns the source the rebuild named.
std::string DamageAndRecover(const fs::path& db, const HeaderDamage& damage,
                             const tutil::StructureChoice& choice, bool namesInferred,
                             paradox::FindingList* rebuildFindings = nullptr) {
    const auto table = tutil::LocateTable(db.string());
    const auto original = tutil::ReadTableStructure(table);
    const auto values = RecordValues(db);
    std::string bytes = ReadFileBytes(db);
    damage.apply(bytes, PlacesOf(db));
    WriteFileBytes(db, bytes);
    const auto damaged = tutil::VerifyTable(table);
    EXPECT_EQ(damaged.status, tutil::VerifyStatus::ManualRebuild);

    const auto schema = tutil::ReadTableStructure(table, choice);
    const auto outcome = tutil::RebuildTable(table, schema, kNames, choice);
    EXPECT_TRUE(outcome.findings.Has(FindingCode::StructureSalvaged));
    EXPECT_EQ(ReadFileBytes(outcome.backupTable), bytes);
    if (rebuildFindings != nullptr) {
        *rebuildFindings = outcome.findings;
    }

    const auto rebuilt = tutil::ReadTableStructure(table);
    // Nothing but a primary index or the header tells a key; inference says so when it has
    // neither.
    const bool keyUnknown = Contains(outcome.structureSource, "no key known");
    EXPECT_EQ(rebuilt.keyFieldCount, keyUnknown ? 0 : original.keyFieldCount);
    EXPECT_TRUE(!keyUnknown || (namesInferred && damage.name == "WholeHeaderZeroed"));
    EXPECT_EQ(rebuilt.fields.size(), original.fields.size());
    for (std::size_t i = 0; i < std::min(rebuilt.fields.size(), original.fields.size()); ++i) {
        EXPECT_EQ(rebuilt.fields[i].typeCode, original.fields[i].typeCode) << "field " << i + 1;
        EXPECT_EQ(rebuilt.fields[i].sizeByte, original.fields[i].sizeByte) << "field " << i + 1;
        if (!namesInferred) {
            EXPECT_EQ(rebuilt.fields[i].name, original.fields[i].name);
        }
    }
    EXPECT_EQ(RecordValues(db), values);
    EXPECT_EQ(tutil::VerifyTable(table).status, tutil::VerifyStatus::Healthy);
    return outcome.structureSource;
}

// Our own table, every header damage, from each kind of source in turn: its index files, a
// backup of an earlier rebuild, a template the operator names, and the data itself.
TEST(StructureSalvage, OwnTableComesBackFromEachSource) {
    for (const auto& damage : HeaderDamages(2)) {
        SCOPED_TRACE(damage.name);
        // A surviving record size is no structure: the fields are still all there.
        const bool ownHeaderSuffices = damage.name == "RecordSize";
        {
            SCOPED_TRACE("index files");
            TempDir dir;
            const fs::path db = WriteOrdersAs(dir.path(), FullyIndexedOrders(), 300);
            const std::string source = DamageAndRecover(db, damage, {}, false);
            EXPECT_TRUE(ownHeaderSuffices ? source == "the table's own header"
                                          : Contains(source, ".X0") || Contains(source, ".PX"))
                << source;
        }
        {
            SCOPED_TRACE("backup");
            TempDir dir;
            const fs::path db = WriteOrdersAs(dir.path(), OrdersSchema(false, false), 300);
            fs::copy_file(db, dir / "ORDERS-BACKUP.DB");
            const std::string source = DamageAndRecover(db, damage, {}, false);
            EXPECT_TRUE(ownHeaderSuffices || source == "backup ORDERS-BACKUP.DB") << source;
        }
        {
            SCOPED_TRACE("template");
            TempDir dir, shapeDir;
            const fs::path db = WriteOrdersAs(dir.path(), OrdersSchema(false, false), 300);
            paradox::WriteTable(shapeDir.path(), "SHAPE", OrdersSchema(false, false), {});
            tutil::StructureChoice choice;
            choice.templateTable = shapeDir / "SHAPE.DB";
            const std::string source = DamageAndRecover(db, damage, choice, false);
            EXPECT_TRUE(ownHeaderSuffices || source == "template SHAPE.DB") << source;
        }
        {
            SCOPED_TRACE("inference");
            TempDir dir;
            const fs::path db = WriteOrdersAs(dir.path(), OrdersSchema(false, false), 300);
            tutil::StructureChoice choice;
            choice.allowInference = true;
            const std::string source = DamageAndRecover(db, damage, choice, true);
            EXPECT_TRUE(ownHeaderSuffices || Contains(source, "inference")) << source;
        }
    }
}

// A password-protected table comes back from the same damage and sources, and stays
// protected: with the stored key where the header keeps it, else with the low half a search
// over block 1 finds, and then the findings say the password checksum could not be restored.
// The new family's blocks are encrypted.
TEST(StructureSalvage, ProtectedTableComesBackEncrypted) {
    constexpr std::uint32_t kKey = 0x0A25E09A;
    auto damages = HeaderDamages(2);
    // The field descriptor and the key's low half hit together: the half that keys the cipher
    // is found by search, the stored high half (the rest of the checksum) is kept.
    damages.push_back({"FieldTypeByteAndKeyLowHalf", [](std::string& db, const HeaderPlaces& p) {
                           HeaderDamages(2)[0].apply(db, p);
                           const std::size_t keyAt =
                               static_cast<std::uint8_t>(db[0x39]) >= 5 ? 0x5C : 0x25;
                           PutU16(db, keyAt, 0x1234);
                       }});
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.name);
        const bool keyDestroyed = damage.name == "WholeHeaderZeroed";
        const bool keySearched = keyDestroyed || damage.name == "FieldTypeByteAndKeyLowHalf";
        const bool ownHeaderSuffices = damage.name == "RecordSize";
        for (const std::string kind : {"index files", "template", "inference"}) {
            SCOPED_TRACE(kind);
            TempDir dir, shapeDir;
            paradox::TableSchema schema =
                kind == "index files" ? FullyIndexedOrders() : OrdersSchema(false, false);
            schema.protection.keyValue = kKey;
            // In-memory pointers as the original software leaves them beside the key.
            schema.protection.bytes3D = {0, 0, 0, 0x10, 0x20, 0x30, 0x40, 0x12, 0x20, 0x30, 0x40};
            const fs::path db = WriteOrdersAs(dir.path(), schema, 300);
            tutil::StructureChoice choice;
            if (kind == "template") {
                // A plain template: the structure is borrowed, the protection is the table's.
                paradox::WriteTable(shapeDir.path(), "SHAPE", OrdersSchema(false, false), {});
                choice.templateTable = shapeDir / "SHAPE.DB";
            }
            choice.allowInference = kind == "inference";
            paradox::FindingList findings;
            const std::string source =
                DamageAndRecover(db, damage, choice, kind == "inference", &findings);
            const bool fromKind = kind == "index files"
                                      ? Contains(source, ".PX") || Contains(source, ".X0")
                                  : kind == "template" ? source == "template SHAPE.DB"
                                                       : Contains(source, "inference");
            EXPECT_TRUE(ownHeaderSuffices || fromKind) << source;

            bool searched = false, checksumLost = false;
            for (const auto& f : findings.All()) {
                if (f.code == FindingCode::EncryptionKeyBad) {
                    searched =
                        searched || Contains(f.detail.Render(), "found by search over block 1");
                    checksumLost =
                        checksumLost || Contains(f.detail.Render(), "cannot be restored");
                }
            }
            EXPECT_EQ(searched, keySearched);
            EXPECT_EQ(checksumLost, keyDestroyed);

            const std::string rebuilt = ReadFileBytes(db);
            paradox::FindingList readFindings;
            const auto reader = paradox::TableReader::Open(db, readFindings);
            ASSERT_TRUE(reader);
            EXPECT_TRUE(reader->Encrypted());
            EXPECT_EQ(reader->Header().CipherKeyValue(), keyDestroyed ? kKey & 0xFFFFu : kKey);
            const auto kept =
                keyDestroyed ? decltype(schema.protection.bytes3D){} : schema.protection.bytes3D;
            EXPECT_EQ(rebuilt.substr(0x3D, kept.size()),
                      std::string(reinterpret_cast<const char*>(kept.data()), kept.size()));
            const std::size_t blocks = reader->Header().headerSize;
            EXPECT_NE(rebuilt.substr(blocks, 6),
                      std::string(reinterpret_cast<const char*>(reader->BlockBytes(1).data()), 6))
                << "block 1 stored in plain";
        }
    }
}

// Real tables written by other software: the same damage, recovered from a backup, a
// template and by inference (country: no index files), and a damaged key field from the
// primary index (zakazky).
TEST(StructureSalvage, CorpusTablesComeBack) {
    MENDRIX_NEEDS_CORPUS();
    const fs::path country = testsupport::CorpusDir() / "celebithil-Rparadox" / "country.db";
    for (const auto& damage : HeaderDamages(1)) {
        SCOPED_TRACE(damage.name);
        {
            SCOPED_TRACE("backup");
            TempDir dir;
            const fs::path db = CopyFamily(country, dir.path());
            fs::copy_file(db, dir / "country-BACKUP3.db");
            DamageAndRecover(db, damage, {}, false);
        }
        {
            SCOPED_TRACE("template");
            TempDir dir, shapeDir;
            const fs::path db = CopyFamily(country, dir.path());
            fs::copy_file(db, shapeDir / "SHAPE.DB");
            tutil::StructureChoice choice;
            choice.templateTable = shapeDir / "SHAPE.DB";
            DamageAndRecover(db, damage, choice, false);
        }
        {
            SCOPED_TRACE("inference");
            TempDir dir;
            const fs::path db = CopyFamily(country, dir.path());
            tutil::StructureChoice choice;
            choice.allowInference = true;
            DamageAndRecover(db, damage, choice, true);
        }
    }
    TempDir dir;
    const fs::path zakazky = CopyFamily(
        testsupport::CorpusDir() / "MedilinkPS-Paradox-Reader" / "zakazky.db", dir.path());
    const std::string source = DamageAndRecover(zakazky, HeaderDamages(0)[0], {}, false);
    EXPECT_TRUE(Contains(source, ".PX")) << source;
}

// Every healthy, unencrypted table of the corpus whose first field descriptor is destroyed
// comes back, from its index files or from a template copy of itself, with the same values.
TEST(StructureSalvage, EveryCorpusTableComesBackFromATemplate) {
    MENDRIX_NEEDS_CORPUS();
    int rebuilt = 0;
    for (const fs::path& source : testsupport::CorpusTables()) {
        SCOPED_TRACE(source.string());
        TempDir dir, shapeDir;
        const fs::path db = CopyFamily(source, dir.path());
        const auto table = tutil::LocateTable(db.string());
        const auto healthy = tutil::VerifyTable(table);
        if (healthy.status != tutil::VerifyStatus::Healthy ||
            healthy.findings.Has(FindingCode::Encrypted)) {
            continue;
        }
        fs::copy_file(db, shapeDir / "SHAPE.DB");
        fs::permissions(db, fs::perms::owner_write, fs::perm_options::add);
        const auto values = RecordValues(db);
        std::string bytes = ReadFileBytes(db);
        bytes[PlacesOf(db).descriptors] = 0x07;
        WriteFileBytes(db, bytes);
        tutil::StructureChoice choice;
        choice.templateTable = shapeDir / "SHAPE.DB";
        const auto outcome =
            tutil::RebuildTable(table, tutil::ReadTableStructure(table, choice), kNames, choice);
        // An index file that describes the field comes before any template.
        EXPECT_TRUE(outcome.structureSource == "template SHAPE.DB" ||
                    Contains(outcome.structureSource, " with the table's own header"))
            << outcome.structureSource;
        EXPECT_EQ(RecordValues(db), values);
        ++rebuilt;
    }
    EXPECT_GT(rebuilt, 150);
}

// A template of another table does not fit the data: nothing is changed, and the reason says
// which source failed and why. Inference is never used unless asked for.
TEST(StructureSalvage, SourcesThatDoNotFitAreRefusedWithTheReason) {
    TempDir dir, otherDir;
    const fs::path db = WriteOrdersAs(dir.path(), OrdersSchema(false, false), 300);
    paradox::TableSchema other = OrdersSchema(false, false);
    other.fields[1].sizeByte = 30;
    paradox::WriteTable(otherDir.path(), "OTHER", other, {});
    std::string bytes = ReadFileBytes(db);
    HeaderDamages(2)[0].apply(bytes, PlacesOf(db));
    WriteFileBytes(db, bytes);
    const auto before = FolderByName(dir.path());

    const auto table = tutil::LocateTable(db.string());
    tutil::StructureChoice choice;
    choice.templateTable = otherDir / "OTHER.DB";
    try {
        tutil::RebuildTable(table, OrdersSchema(false, false), kNames, choice);
        ADD_FAILURE() << "rebuilt with a template of another table";
    } catch (const tutil::UtilityError& e) {
        EXPECT_TRUE(Contains(e.what(), "template OTHER.DB: record size 43 does not divide"))
            << e.what();
        EXPECT_TRUE(Contains(e.what(), "not used unless inference is asked for")) << e.what();
    }
    EXPECT_THROW(tutil::ReadTableStructure(table, choice), tutil::UtilityError);
    EXPECT_EQ(FolderByName(dir.path()), before);

    // The same fields without the key the table's primary index has.
    TempDir keyedDir;
    const fs::path keyed = WriteOrdersAs(keyedDir.path(), OrdersSchema(true, false), 300);
    paradox::WriteTable(otherDir.path(), "UNKEYED", OrdersSchema(false, false), {});
    bytes = ReadFileBytes(keyed);
    HeaderDamages(2)[0].apply(bytes, PlacesOf(keyed));
    WriteFileBytes(keyed, bytes);
    choice.templateTable = otherDir / "UNKEYED.DB";
    try {
        tutil::ReadTableStructure(tutil::LocateTable(keyed.string()), choice);
        ADD_FAILURE() << "took a template without the table's key";
    } catch (const tutil::UtilityError& e) {
        EXPECT_TRUE(Contains(e.what(), "template UNKEYED.DB: its key fields differ from those of "
                                       "ORDERS.PX"))
            << e.what();
    }

    // Fields in another order with the same record size decode every record; the secondary
    // index on Name says where Name is.
    TempDir indexedDir;
    const fs::path indexed = WriteOrdersAs(indexedDir.path(), OrdersSchema(true, true), 300);
    paradox::TableSchema reordered = OrdersSchema(true, false);
    std::swap(reordered.fields[1], reordered.fields[2]);
    paradox::WriteTable(otherDir.path(), "REORDERED", reordered, {});
    bytes = ReadFileBytes(indexed);
    HeaderDamages(2)[0].apply(bytes, PlacesOf(indexed));
    WriteFileBytes(indexed, bytes);
    choice.templateTable = otherDir / "REORDERED.DB";
    try {
        tutil::ReadTableStructure(tutil::LocateTable(indexed.string()), choice);
        ADD_FAILURE() << "took a template with the fields in another order";
    } catch (const tutil::UtilityError& e) {
        EXPECT_TRUE(Contains(e.what(), "template REORDERED.DB: its field 2 differs from the one "
                                       "ORDERS.X02 indexes"))
            << e.what();
    }
}

// Blob fields do not show in the data's columns: a table that keeps blobs is not rebuilt
// from a reading of its data, which would cut the records off from their blobs.
TEST(StructureSalvage, InferenceLeavesATableWithBlobsAlone) {
    TempDir dir;
    paradox::TableSchema schema;
    schema.fileVersion = paradox::level::V5;
    schema.fields = {{"Id", 0x04, 4}, {"Note", 0x0C, 20}};
    std::vector<std::vector<std::uint8_t>> records;
    std::vector<std::vector<std::optional<std::vector<std::uint8_t>>>> blobs;
    paradox::RecordBuilder row(schema);
    for (int id = 1; id <= 50; ++id) {
        row.Clear().SetInt(0, id).SetBlobText(1, std::string(300 + id, 'a' + id % 26));
        records.push_back(row.Bytes());
        blobs.push_back(row.Blobs());
    }
    paradox::WriteTable(dir.path(), "NOTES", schema, records, blobs);
    const fs::path db = dir / "NOTES.DB";
    std::string bytes = ReadFileBytes(db);
    HeaderDamages(0).back().apply(bytes, PlacesOf(db));
    WriteFileBytes(db, bytes);
    const auto before = FolderByName(dir.path());
    tutil::StructureChoice choice;
    choice.allowInference = true;
    try {
        tutil::ReadTableStructure(tutil::LocateTable(db.string()), choice);
        ADD_FAILURE() << "inferred a structure without the blob field";
    } catch (const tutil::UtilityError& e) {
        EXPECT_TRUE(Contains(e.what(), "the table keeps blobs in NOTES.MB but no field that "
                                       "points at them can be read from the data"))
            << e.what();
    }
    EXPECT_EQ(FolderByName(dir.path()), before);
}

// Verify of a table whose fields are unknown tells which sources there are and which a
// rebuild would use, before anything is written.
TEST(StructureSalvage, VerifyNamesTheSourceARebuildWouldUse) {
    TempDir dir;
    const fs::path db = WriteOrdersAs(dir.path(), FullyIndexedOrders(), 300);
    std::string bytes = ReadFileBytes(db);
    HeaderDamages(2).back().apply(bytes, PlacesOf(db));
    WriteFileBytes(db, bytes);
    const auto before = FolderByName(dir.path());

    const auto outcome = tutil::VerifyTable(tutil::LocateTable(db.string()));
    EXPECT_EQ(outcome.status, tutil::VerifyStatus::ManualRebuild);
    std::vector<std::string> fits, refused;
    for (const auto& f : outcome.findings.All()) {
        if (f.code == FindingCode::StructureSourceFits) {
            fits.push_back(f.detail.Render());
        } else if (f.code == FindingCode::StructureSourceRefused) {
            refused.push_back(f.detail.Render());
        }
    }
    ASSERT_EQ(fits.size(), 2u);
    EXPECT_TRUE(Contains(fits[0], "ORDERS.PX, ORDERS.X02, ORDERS.X03, ORDERS.X04: a rebuild would"))
        << fits[0];
    EXPECT_TRUE(Contains(fits[1], "inference from the data blocks")) << fits[1];
    ASSERT_FALSE(refused.empty());
    EXPECT_TRUE(Contains(refused[0], "the table's own header: field count is not readable"))
        << refused[0];
    EXPECT_EQ(FolderByName(dir.path()), before);
}

} // namespace
