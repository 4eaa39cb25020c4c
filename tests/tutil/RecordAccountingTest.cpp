#include "TableFixture.h"
#include "engine/ErrorCodes.h"
#include "paradox/Family.h"
#include "paradox/RecordBuilder.h"
#include "paradox/TableReader.h"
#include "paradox/TableWriter.h"
#include "support/Corpus.h"
#include "support/DescribeFindings.h"
#include "support/TempDir.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/UtilityError.h"
#include "tutil/Verify.h"

#include <algorithm>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <limits>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
using namespace tutilfixture;

fs::path CopyCorpusFamily(const std::string& source, const fs::path& dir) {
    return CopyFamily(testsupport::CorpusDir() / source, dir);
}

void EditFile(const fs::path& file, const std::function<void(std::string&)>& edit) {
    std::string bytes = ReadFileBytes(file);
    edit(bytes);
    WriteFileBytes(file, bytes);
}

tutil::RebuildNames NamesFor(const fs::path& db) {
    const std::string stem = db.stem().string();
    return {stem + "-BACKUP.DB", stem + "-KEYVIOL.DB", stem + "-PROBLEM.DB", ""};
}

tutil::RebuildOutcome Rebuild(const fs::path& db, bool acceptLoss) {
    const auto table = tutil::LocateTable(db.string());
    tutil::RebuildPolicy policy;
    policy.acceptLoss = acceptLoss;
    return tutil::RebuildTable(table, tutil::ReadTableStructure(table), NamesFor(db), {}, policy);
}

// Corpus tables damaged so that the table reader cannot keep everything: a data block wiped
// to zeros, a composite index cut short. (Header fields that lie are read past and do not
// lose records; a memo field typed Alpha is refused by the structure proof before this.)
struct Damage {
    std::string name;
    std::string table;
    std::function<void(const fs::path& db)> apply;
    std::string named; // what the refusal must name
};

std::vector<Damage> Damages() {
    return {
        {"BlockWiped", "leonhad-paradoxdriver/db/CUSTOMER.DB",
         [](const fs::path& db) { EditFile(db, [](std::string& b) { WipeBlock(b, 2); }); },
         "of at most 20 records"},
        {"CompositeIndexCutShort", "MedilinkPS-Paradox-Reader/zakazky.db",
         [](const fs::path& db) {
             fs::path xg0 = db;
             xg0.replace_extension(".XG0");
             fs::resize_file(xg0, 100);
         },
         "XG0"},
    };
}

// Without the policy, nothing of the folder changes and the reason names the way forward;
// with it, the table is replaced with what could be read, the backup holds the damaged family
// byte for byte, and the outcome says what was lost.
TEST(RecordAccounting, ARebuildThatWouldLoseDataRefusesUnlessTheLossIsAccepted) {
    MENDRIX_NEEDS_CORPUS();
    for (const Damage& damage : Damages()) {
        SCOPED_TRACE(damage.name);
        TempDir dir;
        const fs::path db = CopyCorpusFamily(damage.table, dir.path());
        damage.apply(db);
        const auto before = FolderByName(dir.path());
        try {
            Rebuild(db, false);
            ADD_FAILURE() << "the rebuild must refuse";
        } catch (const tutil::UtilityError& e) {
            EXPECT_EQ(e.Code(), engine::err::UtilityWouldLoseData) << e.what();
            EXPECT_THAT(e.what(), HasSubstr(damage.named));
            EXPECT_THAT(e.what(), HasSubstr("nothing was changed"));
            EXPECT_THAT(e.what(), HasSubstr("mendrix-cli rebuild --accept-loss"));
        }
        EXPECT_EQ(FolderByName(dir.path()), before);

        const auto outcome = Rebuild(db, true);
        EXPECT_NE(tutil::IncompleteRebuildText(outcome), "");
        EXPECT_THAT(tutil::IncompleteRebuildText(outcome), HasSubstr(damage.named));
        for (const auto& [name, bytes] : before) {
            const std::string stem = db.stem().string();
            EXPECT_EQ(ReadFileBytes(dir / (stem + "-BACKUP" + name.substr(stem.size()))), bytes)
                << name;
        }
    }
}

// A single-field index whose file is empty or no file at all is rebuilt from its name (.X06:
// field 6): the rebuild keeps everything and the table opens on every index.
TEST(RecordAccounting, AnUnreadableSingleFieldIndexIsRebuiltFromItsName) {
    MENDRIX_NEEDS_CORPUS();
    for (const bool fifo : {false, true}) {
        SCOPED_TRACE(fifo ? "fifo" : "empty file");
        TempDir dir;
        const fs::path db = CopyCorpusFamily("leonhad-paradoxdriver/db/CUSTOMER.DB", dir.path());
        const fs::path x06 = dir / "CUSTOMER.X06";
        fs::remove(x06);
        if (fifo) {
            ASSERT_EQ(mkfifo(x06.c_str(), 0600), 0);
        } else {
            WriteFileBytes(x06, "");
        }
        const auto before = RecordValues(db);
        const auto outcome = Rebuild(db, false);
        EXPECT_EQ(tutil::IncompleteRebuildText(outcome), "");
        EXPECT_TRUE(outcome.lostIndexes.empty());
        EXPECT_EQ(RecordValues(db), before);
        EXPECT_TRUE(fs::is_regular_file(x06));
        ExpectOpensOnEveryIndex(db, 2);
    }
}

// In the first `blocks` chain blocks of more than 3 records (all of them when there are
// fewer), keeps 3 records, zeroes the other slots and sets a last-record offset past the block
// end. Returns the records left, sorted.
std::vector<std::string> KeepThreePerBlock(const fs::path& db, std::size_t blocks) {
    std::vector<std::string> kept;
    std::vector<std::pair<std::uint64_t, std::uint16_t>> damaged; // block offset, records
    std::size_t recordSize = 0;
    std::size_t blockSize = 0;
    {
        paradox::FindingList findings;
        const auto reader = paradox::TableReader::Open(db, findings);
        if (!reader) {
            ADD_FAILURE() << "cannot open " << db;
            return kept;
        }
        recordSize = reader->Header().recordSize;
        blockSize = reader->Header().BlockSize();
        const auto& chain = reader->ChainBlocks();
        for (std::size_t i = 0; i < chain.size(); ++i) {
            const auto count = reader->ChainCounts()[i];
            const bool damage = damaged.size() < blocks && count > 3;
            if (damage) {
                damaged.emplace_back(reader->BlockOffset(chain[i]), count);
            }
            const auto* records = reader->BlockBytes(chain[i]).data() + 6;
            for (std::uint16_t slot = 0; slot < (damage ? 3 : count); ++slot) {
                kept.emplace_back(reinterpret_cast<const char*>(records + slot * recordSize),
                                  recordSize);
            }
        }
    }
    EXPECT_GT(damaged.size(), std::min<std::size_t>(blocks, 25));
    EditFile(db, [&](std::string& bytes) {
        for (const auto& [offset, count] : damaged) {
            std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset + 6 + 3 * recordSize),
                        (blockSize - 6) / recordSize * recordSize - 3 * recordSize, '\0');
            PutU16(bytes, offset + 4, 0x7FF0);
        }
    });
    std::sort(kept.begin(), kept.end());
    return kept;
}

// Sets every entry of a one-level .PX root to count `records` records in its data block.
void OverstatePrimaryIndex(const fs::path& px, std::uint16_t records) {
    EditFile(px, [&](std::string& bytes) {
        const std::size_t entrySize = GetU16(bytes, 0);
        const std::size_t rootOffset =
            GetU16(bytes, 2) + std::size_t{GetU16(bytes, 0x1E) - 1u} * (bytes[5] * 1024u);
        ASSERT_EQ(bytes[0x20], 1); // one level: the root's entries count data blocks
        const auto last = static_cast<std::int16_t>(GetU16(bytes, rootOffset + 4));
        for (std::size_t at = 0; at <= static_cast<std::size_t>(last); at += entrySize) {
            const std::size_t statistic = rootOffset + 6 + at + entrySize - 4;
            bytes[statistic] = static_cast<char>(((records >> 8) & 0xFF) ^ 0x80);
            bytes[statistic + 1] = static_cast<char>(records & 0xFF);
        }
    });
}

// Records of 53 bytes, 19 to a 1 KB block; one .PX level in 4 KB blocks, whose entries count
// every block's records.
fs::path WriteKeyedOneLevel(const fs::path& dir, int count) {
    auto schema = OrdersSchema(true, false);
    schema.indexBlockSizeCode = 4;
    paradox::TableWriter writer(dir, "ORDERS", schema, paradox::WriteOptions{.sync = false});
    paradox::RecordBuilder row(schema);
    for (int id = 1; id <= count; ++id) {
        writer.Append(row.Clear().SetInt(0, id).SetText(1, "n" + std::to_string(id)).Bytes());
    }
    writer.Finish();
    return dir / "ORDERS.DB";
}

// A block whose last-record offset cannot be right holds records up to its first blank slot,
// however many such blocks there are (fewer and more than a report lists of one code) and
// whatever a .PX entry counts for the block: the rebuilt table holds exactly the records that
// were left, none of them blank.
TEST(RecordAccounting, ARebuildNeverAddsARecord) {
    MENDRIX_NEEDS_CORPUS();
    struct Case {
        std::string name;
        std::function<fs::path(const fs::path&)> make;
    };
    const std::vector<Case> cases = {
        {"unkeyed",
         [](const fs::path& dir) { return CopyCorpusFamily("celebithil-Rparadox/of.db", dir); }},
        {"keyed with a .PX", [](const fs::path& dir) { return WriteKeyedOneLevel(dir, 19 * 320); }},
        {"keyed with a .PX counting more than a block holds",
         [](const fs::path& dir) {
             const fs::path db = WriteKeyedOneLevel(dir, 19 * 320);
             OverstatePrimaryIndex(dir / "ORDERS.PX", 200);
             return db;
         }},
    };
    for (const Case& c : cases) {
        for (const std::size_t blocks : {std::size_t{26}, std::size_t{50}, std::size_t{300},
                                         std::numeric_limits<std::size_t>::max()}) {
            SCOPED_TRACE(c.name + ", " + std::to_string(blocks) + " blocks");
            TempDir dir;
            const fs::path db = c.make(dir.path());
            const auto kept = KeepThreePerBlock(db, blocks);
            Rebuild(db, true);
            paradox::FindingList findings;
            EXPECT_TRUE(paradox::TableReader::Open(db, findings) && !findings.HasDamage())
                << testsupport::Describe(findings);
            auto rebuilt = ChainRecords(db);
            std::sort(rebuilt.begin(), rebuilt.end());
            EXPECT_LE(rebuilt.size(), kept.size());
            EXPECT_TRUE(std::none_of(rebuilt.begin(), rebuilt.end(), [](const std::string& r) {
                return r.find_first_not_of('\0') == std::string::npos;
            }));
            EXPECT_TRUE(rebuilt == kept);
        }
    }
}

// A record holding a value no writer produces (a Logical byte other than 00/80/81) is damage:
// the rebuild sets it aside in the problem table and keeps the others in order.
TEST(RecordAccounting, ARecordWithAnImpossibleValueIsSetAsideWhole) {
    MENDRIX_NEEDS_CORPUS();
    TempDir dir;
    const fs::path db = CopyCorpusFamily("leonhad-paradoxdriver/fields/logical.db", dir.path());
    const auto healthy = ChainRecords(db);
    ASSERT_EQ(healthy.size(), 4U);
    // One-byte records after the 0x800 header and the first block's 6-byte header.
    EditFile(db, [](std::string& b) { b.at(0x800 + 6 + 1) = 0x42; });

    const auto verified = tutil::VerifyTable(tutil::LocateTable(db.string()));
    EXPECT_EQ(verified.status, tutil::VerifyStatus::Repairable);
    EXPECT_TRUE(verified.findings.Has(paradox::FindingCode::BadValue))
        << testsupport::Describe(verified.findings);

    Rebuild(db, false);
    EXPECT_EQ(ChainRecords(db), (std::vector<std::string>{healthy[0], healthy[2], healthy[3]}));
    EXPECT_EQ(ChainRecords(dir / "logical-PROBLEM.DB").size(), 1U);
    EXPECT_EQ(tutil::VerifyTable(tutil::LocateTable(db.string())).status,
              tutil::VerifyStatus::Healthy);
}

} // namespace
