#include "TableFixture.h"
#include "engine/ErrorCodes.h"
#include "engine/TableOpen.h"
#include "paradox/Cipher.h"
#include "paradox/NameCase.h"
#include "paradox/TableReader.h"
#include "paradox/TableWriter.h"
#include "support/CodedFindings.h"
#include "support/DescribeFindings.h"
#include "support/Golden.h"
#include "support/TempDir.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/TableLocation.h"
#include "tutil/UtilityError.h"
#include "tutil/Verify.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <span>
#include <string_view>

namespace {

namespace fs = std::filesystem;
using paradox::FindingCode;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
using namespace tutilfixture;

constexpr int kRecords = 300;

bool HasCode(const paradox::FindingList& findings, FindingCode code) {
    return findings.Has(code);
}

bool HasIndexCode(const paradox::FindingList& findings) {
    for (const auto& f : findings.All()) {
        if (paradox::FindingInfo(f.code).phase == paradox::Phase::Indexes &&
            f.severity == paradox::Severity::Damage) {
            return true;
        }
    }
    return false;
}

using testsupport::Describe;

// One kind of damage: what it does to a healthy ORDERS family, the finding it must raise,
// and which original records cannot come back (indexes into the chain order).
struct Damage {
    std::string name;
    std::function<bool(const paradox::FindingList&)> reported;
    std::function<void(const fs::path& dir, std::vector<int>& lost)> apply;
    tutil::VerifyStatus status = tutil::VerifyStatus::Repairable;
    int keyViolations = 0;
};

// Edits the .DB bytes in place.
void EditDb(const fs::path& dir, const std::function<void(std::string&, const Layout&)>& edit) {
    std::string db = ReadFileBytes(dir / "ORDERS.DB");
    edit(db, ReadLayout(db));
    WriteFileBytes(dir / "ORDERS.DB", db);
}

int RecordsPerBlock(const Layout& l) {
    return static_cast<int>((l.blockSize - 6) / l.recordSize);
}

std::vector<Damage> DamageKinds() {
    auto code = [](FindingCode c) {
        return [c](const paradox::FindingList& f) { return HasCode(f, c); };
    };
    std::vector<Damage> kinds;
    kinds.push_back({"WrongRecordCount", code(FindingCode::RecordCountMismatch),
                     [](const fs::path& dir, std::vector<int>&) {
                         EditDb(dir, [](std::string& db, const Layout&) {
                             PutU16(db, 6, static_cast<std::uint16_t>(GetU16(db, 6) + 3));
                         });
                     }});
    kinds.push_back({"WrongBlockCount", code(FindingCode::BlockCountMismatch),
                     [](const fs::path& dir, std::vector<int>&) {
                         EditDb(dir, [](std::string& db, const Layout&) {
                             PutU16(db, 0x0C, static_cast<std::uint16_t>(GetU16(db, 0x0C) + 2));
                         });
                     }});
    kinds.push_back(
        {"BrokenNextLink", code(FindingCode::ChainLengthMismatch),
         [](const fs::path& dir, std::vector<int>&) {
             EditDb(dir, [](std::string& db, const Layout& l) { PutU16(db, l.BlockOffset(3), 0); });
         }});
    kinds.push_back({"BrokenPrevLink", code(FindingCode::ChainPrevMismatch),
                     [](const fs::path& dir, std::vector<int>&) {
                         EditDb(dir, [](std::string& db, const Layout& l) {
                             PutU16(db, l.BlockOffset(6) + 2, 9);
                         });
                     }});
    kinds.push_back(
        {"ChainCycle", code(FindingCode::ChainCycle), [](const fs::path& dir, std::vector<int>&) {
             EditDb(dir, [](std::string& db, const Layout& l) { PutU16(db, l.BlockOffset(5), 2); });
         }});
    kinds.push_back({"ZeroedBlock", code(FindingCode::ChainPrevMismatch),
                     [](const fs::path& dir, std::vector<int>& lost) {
                         EditDb(dir, [&](std::string& db, const Layout& l) {
                             std::fill_n(db.begin() + static_cast<long>(l.BlockOffset(4)),
                                         l.blockSize, '\0');
                             const int per = RecordsPerBlock(l);
                             for (int i = 3 * per; i < 4 * per; ++i) {
                                 lost.push_back(i);
                             }
                         });
                     }});
    kinds.push_back({"TruncatedFile", code(FindingCode::FileTruncated),
                     [](const fs::path& dir, std::vector<int>& lost) {
                         EditDb(dir, [&](std::string& db, const Layout& l) {
                             const int per = RecordsPerBlock(l);
                             const int blocks = (kRecords + per - 1) / per;
                             // Keep the first two records of the second-last block.
                             db.resize(l.BlockOffset(static_cast<std::uint32_t>(blocks - 1)) + 6 +
                                       2 * l.recordSize + 5);
                             for (int i = (blocks - 2) * per + 2; i < kRecords; ++i) {
                                 lost.push_back(i);
                             }
                         });
                     },
                     tutil::VerifyStatus::Incomplete});
    kinds.push_back({"LastRecordOffsetOutOfRange", code(FindingCode::BadLastRecordOffset),
                     [](const fs::path& dir, std::vector<int>&) {
                         EditDb(dir, [](std::string& db, const Layout& l) {
                             PutU16(db, l.BlockOffset(2) + 4, 0x7000);
                         });
                     }});
    kinds.push_back(
        {"LastRecordOffsetBeyondThePartlyFilledLastBlock", code(FindingCode::BadLastRecordOffset),
         [](const fs::path& dir, std::vector<int>&) {
             EditDb(dir, [](std::string& db, const Layout& l) {
                 const int per = RecordsPerBlock(l);
                 const auto last = static_cast<std::uint32_t>((kRecords + per - 1) / per);
                 ASSERT_NE(kRecords % per, 0);
                 PutU16(db, l.BlockOffset(last) + 4, 0x7000);
                 // Stale copies of a record fill the unused slots, as deletes
                 // leave them.
                 const std::size_t start = l.BlockOffset(last) + 6;
                 for (int slot = kRecords % per; slot < per; ++slot) {
                     db.replace(start + static_cast<std::size_t>(slot) * l.recordSize, l.recordSize,
                                db.substr(start, l.recordSize));
                 }
             });
         }});
    kinds.push_back({"StalePrimaryIndex", HasIndexCode, [](const fs::path& dir, std::vector<int>&) {
                         TempDir other;
                         WriteOrders(other.path(), kRecords - 40);
                         fs::copy_file(other / "ORDERS.PX", dir / "ORDERS.PX",
                                       fs::copy_options::overwrite_existing);
                     }});
    kinds.push_back(
        {"PrimaryIndexOfAnotherTable", HasIndexCode, [](const fs::path& dir, std::vector<int>&) {
             TempDir other;
             paradox::TableSchema schema;
             schema.fields = {{"Code", 0x01, 6}, {"Value", 0x06, 8}};
             schema.keyFieldCount = 1;
             paradox::WriteTable(other.path(), "OTHER", schema,
                                 {std::vector<std::uint8_t>(14, 0x41)});
             fs::copy_file(other / "OTHER.PX", dir / "ORDERS.PX",
                           fs::copy_options::overwrite_existing);
         }});
    kinds.push_back({"DuplicateKeys", code(FindingCode::DuplicateKey),
                     [](const fs::path& dir, std::vector<int>& lost) {
                         EditDb(dir, [&](std::string& db, const Layout& l) {
                             const std::size_t first = l.BlockOffset(1) + 6;
                             db.replace(first + 5 * l.recordSize, 4,
                                        db.substr(first + 4 * l.recordSize, 4));
                             lost.push_back(5);
                         });
                     },
                     tutil::VerifyStatus::Repairable, 1});
    kinds.push_back({"RecordsOutOfKeyOrder", code(FindingCode::KeyOrder),
                     [](const fs::path& dir, std::vector<int>&) {
                         EditDb(dir, [](std::string& db, const Layout& l) {
                             const std::size_t a = l.BlockOffset(1) + 6 + 2 * l.recordSize;
                             const std::string first = db.substr(a, l.recordSize);
                             db.replace(a, l.recordSize, db.substr(a + l.recordSize, l.recordSize));
                             db.replace(a + l.recordSize, l.recordSize, first);
                         });
                     }});
    return kinds;
}

std::vector<std::string> Without(const std::vector<std::string>& records,
                                 const std::vector<int>& lost) {
    std::vector<std::string> kept;
    for (int i = 0; i < static_cast<int>(records.size()); ++i) {
        if (std::find(lost.begin(), lost.end(), i) == lost.end()) {
            kept.push_back(records[static_cast<std::size_t>(i)]);
        }
    }
    return kept;
}

tutil::RebuildNames Names() {
    return {"ORDERS-BACKUP.DB", "ORDERS-KEYVIOL.DB", "ORDERS-PROBLEM.DB", "Rebuild.DB"};
}

// Records of a table's chain, none when there is no such table.
std::vector<std::string> RecordsOf(const fs::path& db) {
    return fs::exists(db) ? ChainRecords(db) : std::vector<std::string>{};
}

// The invariant of every rebuild: each input record is in the rebuilt table with its values,
// or set aside in a named table (key violations, problems), or the rebuild refused and
// changed nothing. Records of `lost` cannot be read back from the damaged table: a rebuild
// must refuse exactly when some of them would not be set aside. Returns whether it refused.
bool ExpectEveryRecordAccountedFor(const fs::path& dir, const fs::path& db,
                                   const paradox::TableSchema& schema,
                                   const std::vector<std::string>& original,
                                   const std::vector<int>& lost,
                                   const std::map<std::string, std::string>& damaged) {
    const auto table = tutil::LocateTable(db.string());
    try {
        tutil::RebuildTable(table, schema, Names());
    } catch (const tutil::UtilityError& e) {
        EXPECT_EQ(e.Code(), engine::err::UtilityWouldLoseData) << e.what();
        EXPECT_EQ(FolderByName(dir), damaged) << "a refused rebuild changes nothing";
        return true;
    }
    const auto rebuilt = RecordsOf(db);
    EXPECT_EQ(rebuilt, Without(original, lost));
    const std::size_t setAside =
        RecordsOf(dir / "ORDERS-KEYVIOL.DB").size() + RecordsOf(dir / "ORDERS-PROBLEM.DB").size();
    EXPECT_EQ(rebuilt.size() + setAside, original.size()) << "records went missing";
    return false;
}

// Verify finds the damage with its status; the rebuild (accepting the loss of what cannot be
// read) gives a healthy table holding `kept` that opens on both its indexes, and the backup
// holds the damaged family byte for byte. Returns what verify said before the rebuild; adds
// the verdict and what the verify and the rebuild found to `seen`.
tutil::VerifyOutcome ExpectFoundAndRebuilt(const fs::path& dir, const fs::path& db,
                                           const paradox::TableSchema& schema, const Damage& damage,
                                           const std::vector<std::string>& kept,
                                           const std::map<std::string, std::string>& damaged,
                                           std::string& seen) {
    const auto table = tutil::LocateTable(db.string());
    tutil::VerifyOutcome before = tutil::VerifyTable(table);
    EXPECT_EQ(before.status, damage.status) << Describe(before.findings);
    EXPECT_TRUE(damage.reported(before.findings)) << Describe(before.findings);

    tutil::RebuildPolicy acceptLoss;
    acceptLoss.acceptLoss = true;
    const tutil::RebuildOutcome outcome =
        tutil::RebuildTable(table, schema, Names(), {}, acceptLoss);
    seen += "== " + damage.name + "\nverify status " +
            std::to_string(static_cast<int>(before.status)) + "\n" +
            testsupport::DescribeCoded(before.findings) + "rebuild\n" +
            testsupport::DescribeCoded(outcome.findings);
    EXPECT_EQ(outcome.keyViolations, static_cast<std::uint64_t>(damage.keyViolations));
    const tutil::VerifyOutcome after = tutil::VerifyTable(table);
    EXPECT_EQ(after.status, tutil::VerifyStatus::Healthy) << Describe(after.findings);
    EXPECT_EQ(ChainRecords(db), kept);
    ExpectOpensOnEveryIndex(db, 2);
    for (const auto& [name, bytes] : damaged) {
        if (name.rfind("ORDERS.", 0) == 0) {
            const std::string backup = "ORDERS-BACKUP" + name.substr(6);
            EXPECT_EQ(ReadFileBytes(dir / backup), bytes) << backup;
        }
    }
    return before;
}

TEST(CorruptionSuite, EachDamageIsReportedAndEveryRecordRebuiltSetAsideOrLeftUnchanged) {
    std::string seen;
    for (const Damage& damage : DamageKinds()) {
        SCOPED_TRACE(damage.name);
        TempDir dir;
        const fs::path db = WriteOrders(dir.path(), kRecords);
        const std::vector<std::string> original = ChainRecords(db);
        ASSERT_EQ(original.size(), static_cast<std::size_t>(kRecords));
        const auto table = tutil::LocateTable(db.string());
        const paradox::TableSchema schema = tutil::ReadTableStructure(table);
        std::vector<int> lost;
        damage.apply(dir.path(), lost);
        const auto damaged = FolderByName(dir.path());
        const bool refused =
            ExpectEveryRecordAccountedFor(dir.path(), db, schema, original, lost, damaged);
        EXPECT_EQ(refused, lost.size() > static_cast<std::size_t>(damage.keyViolations));
        if (!refused) {
            // The next rebuild starts from the damaged folder again.
            for (const auto& [name, bytes] : damaged) {
                WriteFileBytes(dir / name, bytes);
            }
            for (const auto& entry : fs::directory_iterator(dir.path())) {
                if (damaged.count(entry.path().filename().string()) == 0) {
                    fs::remove(entry.path());
                }
            }
        }
        ExpectFoundAndRebuilt(dir.path(), db, schema, damage, Without(original, lost), damaged,
                              seen);
        EXPECT_EQ(fs::exists(dir / "ORDERS-KEYVIOL.DB"), damage.keyViolations > 0);

        // A second rebuild of the repaired table changes no record and keeps what the first
        // set aside: its backup of the damaged family and its key violations stay, the new
        // backup gets the next free name.
        const std::string keyViolations =
            damage.keyViolations > 0 ? ReadFileBytes(dir / "ORDERS-KEYVIOL.DB") : "";
        const auto second = tutil::RebuildTable(table, schema, Names());
        EXPECT_EQ(second.keyViolations + second.problems, 0u);
        EXPECT_EQ(tutil::VerifyTable(table).status, tutil::VerifyStatus::Healthy);
        EXPECT_EQ(ChainRecords(db), Without(original, lost));
        EXPECT_EQ(second.backupTable, dir / "ORDERS-BACKUP1.DB");
        for (const auto& [name, bytes] : damaged) {
            if (name.rfind("ORDERS.", 0) == 0) {
                EXPECT_EQ(ReadFileBytes(dir / ("ORDERS-BACKUP" + name.substr(6))), bytes);
            }
        }
        if (damage.keyViolations > 0) {
            EXPECT_EQ(ReadFileBytes(dir / "ORDERS-KEYVIOL.DB"), keyViolations);
        }
        EXPECT_FALSE(fs::exists(dir / "ORDERS-KEYVIOL1.DB"));
    }
    testsupport::ExpectGolden("corruption-suite/plain.txt", seen);
}

// The protected family's files as their plain content: every block of the block files (and the
// .MB, when there is one) decrypted in place, the headers left as they are.
constexpr std::uint32_t kKeyValue = 0x6E25449A;

bool IsBlockFile(const fs::path& file) {
    const std::string ext = paradox::UpperAscii(file.extension().string());
    return ext == ".DB" || ext == ".PX" || (ext.size() == 4 && (ext[1] == 'X' || ext[1] == 'Y'));
}

void TransformFamily(const fs::path& dir, bool encrypt) {
    const auto key = paradox::CipherKey::FromStoredValue(kKeyValue);
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().stem() != "ORDERS" || !IsBlockFile(entry.path())) {
            continue;
        }
        std::string bytes = ReadFileBytes(entry.path());
        const Layout l = ReadLayout(bytes);
        if (encrypt) {
            // Every file of the family is given the table's key (an index copied in from a
            // plain table has none).
            const bool extended = GetU16(bytes, 0x25) == 0xFF00 && GetU16(bytes, 0x27) == 0xFF00;
            const std::size_t at = extended ? 0x5C : 0x25;
            PutU16(bytes, at, static_cast<std::uint16_t>(kKeyValue));
            PutU16(bytes, at + 2, static_cast<std::uint16_t>(kKeyValue >> 16));
        }
        std::uint32_t number = 1;
        for (std::size_t at = l.headerSize; at < bytes.size(); at += l.blockSize, ++number) {
            std::span<std::uint8_t> block(reinterpret_cast<std::uint8_t*>(bytes.data()) + at,
                                          std::min<std::size_t>(l.blockSize, bytes.size() - at));
            if (encrypt) {
                paradox::EncryptBlock(key, number, block);
            } else {
                paradox::DecryptBlock(key, number, block);
            }
        }
        WriteFileBytes(entry.path(), bytes);
    }
}

// Records (indexes in chain order of a freshly written table) a cut inside a cipher piece
// loses on top of the plain damage: a piece cut short cannot be decrypted.
void AddLostToCutPiece(const fs::path& db, std::vector<int>& lost) {
    const std::string bytes = ReadFileBytes(db);
    const Layout l = ReadLayout(bytes);
    const std::size_t whole = l.headerSize + (bytes.size() - l.headerSize) /
                                                 paradox::kCipherPieceSize *
                                                 paradox::kCipherPieceSize;
    const int per = RecordsPerBlock(l);
    for (int i = 0; i < kRecords; ++i) {
        const std::size_t end = l.BlockOffset(static_cast<std::uint32_t>(i / per + 1)) + 6 +
                                static_cast<std::size_t>(i % per + 1) * l.recordSize;
        if (end > whole && std::find(lost.begin(), lost.end(), i) == lost.end()) {
            lost.push_back(i);
        }
    }
    std::sort(lost.begin(), lost.end());
}

std::uint16_t OpenOnPrimary(const fs::path& db) {
    std::unique_ptr<engine::OpenedTable> opened;
    return engine::OpenTable(db, "", false, opened);
}

// Each damage kind made to the decrypted content of a protected table, then encrypted again:
// found as in a plain table (the engine's open judges it as it judges the plain damage), and
// rebuilt into a family that is encrypted with the same key, with nothing lost.
TEST(CorruptionSuite, EachDamageToAProtectedTableIsFoundAndRebuiltEncrypted) {
    std::string seen;
    for (const Damage& damage : DamageKinds()) {
        SCOPED_TRACE(damage.name);
        TempDir plainDir;
        const fs::path plainDb = WriteOrders(plainDir.path(), kRecords);
        std::vector<int> plainLost;
        damage.apply(plainDir.path(), plainLost);

        TempDir dir;
        const fs::path db = WriteOrders(dir.path(), kRecords, true, true, kKeyValue);
        const std::vector<std::string> original = ChainRecords(db);
        ASSERT_EQ(original.size(), static_cast<std::size_t>(kRecords));
        const auto table = tutil::LocateTable(db.string());
        const paradox::TableSchema schema = tutil::ReadTableStructure(table);
        std::vector<int> lost;
        TransformFamily(dir.path(), false);
        damage.apply(dir.path(), lost);
        TransformFamily(dir.path(), true);
        AddLostToCutPiece(db, lost);
        const auto damaged = FolderByName(dir.path());

        EXPECT_EQ(OpenOnPrimary(db), OpenOnPrimary(plainDb));
        const tutil::VerifyOutcome before = ExpectFoundAndRebuilt(
            dir.path(), db, schema, damage, Without(original, lost), damaged, seen);
        EXPECT_TRUE(before.findings.Has(FindingCode::Encrypted));
        // Every file of the new family and the key violations stay protected with the key.
        for (const auto& [name, bytes] : FolderByName(dir.path())) {
            if (!IsBlockFile(name) || name.find("BACKUP") != std::string::npos) {
                continue;
            }
            paradox::FindingList findings;
            const auto file = paradox::TableReader::Open(dir / name, findings);
            ASSERT_TRUE(file) << name;
            EXPECT_EQ(file->Header().CipherKeyValue(), kKeyValue) << name;
            if (file->Header().fileBlocks > 0) {
                const std::string_view stored(bytes.data() + file->Header().headerSize, 6);
                EXPECT_NE(stored, std::string_view(
                                      reinterpret_cast<const char*>(file->BlockBytes(1).data()), 6))
                    << name << ": block 1 stored in plain";
            }
        }
    }
    testsupport::ExpectGolden("corruption-suite/protected.txt", seen);
}

TEST(CorruptionSuite, DamagedFieldDescriptorNeedsAManualRebuild) {
    TempDir dir;
    const fs::path db = WriteOrders(dir.path(), 50);
    EditDb(dir.path(), [](std::string& db, const Layout&) {
        const std::size_t fieldInfo = static_cast<std::uint8_t>(db[0x39]) >= 5 ? 0x78 : 0x58;
        db[fieldInfo + 2] = 0x42; // type of the second field
    });
    const auto table = tutil::LocateTable(db.string());
    const auto outcome = tutil::VerifyTable(table);
    EXPECT_EQ(outcome.status, tutil::VerifyStatus::ManualRebuild) << Describe(outcome.findings);
    EXPECT_TRUE(outcome.findings.Has(FindingCode::UnknownFieldType)) << Describe(outcome.findings);
    // The index on the second field still describes it: the structure comes from there.
    EXPECT_TRUE(outcome.findings.Has(FindingCode::StructureSourceFits));
    const auto schema = tutil::ReadTableStructure(table);
    ASSERT_EQ(schema.fields.size(), 4u);
    EXPECT_EQ(schema.fields[1].name, "Name");
    EXPECT_EQ(schema.fields[1].typeCode, 0x01);
    EXPECT_EQ(schema.fields[1].sizeByte, 40);
}

TEST(CorruptionSuite, HealthyTablesVerifyCleanAndRebuildUnchanged) {
    for (const bool keyed : {true, false}) {
        SCOPED_TRACE(keyed ? "keyed" : "unkeyed");
        TempDir dir;
        const fs::path db = WriteOrders(dir.path(), kRecords, keyed, keyed);
        const auto table = tutil::LocateTable(db.string());
        const auto before = tutil::VerifyTable(table);
        EXPECT_EQ(before.status, tutil::VerifyStatus::Healthy) << Describe(before.findings);
        const auto original = ChainRecords(db);
        const auto schema = tutil::ReadTableStructure(table);
        EXPECT_EQ(schema.secondaryIndexes.size(), keyed ? 1u : 0u);
        const auto outcome = tutil::RebuildTable(table, schema, Names());
        EXPECT_EQ(outcome.recordsWritten, static_cast<std::uint64_t>(kRecords));
        EXPECT_EQ(outcome.problems, 0u);
        EXPECT_EQ(ChainRecords(db), original);
        EXPECT_EQ(tutil::VerifyTable(table).status, tutil::VerifyStatus::Healthy);
        EXPECT_FALSE(fs::exists(dir / "ORDERS-PROBLEM.DB"));
        EXPECT_TRUE(fs::exists(dir / "ORDERS-BACKUP.DB"));
        EXPECT_FALSE(fs::exists(dir / "Rebuild.DB")); // scratch never lands in the data folder
    }
}

} // namespace
