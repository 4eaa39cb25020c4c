#include "platform/TUtil32.h"

#include "PartsTable.h"
#include "engine/Callbacks.h"
#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/Session.h"
#include "engine/TableOpen.h"
#include "paradox/RecordBuilder.h"
#include "paradox/TableReader.h"
#include "paradox/TableWriter.h"
#include "platform/TblDescBuffers.h"
#include "support/TempDir.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/TableLocation.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <set>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace err = engine::err;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

using platformtest::WriteParts;

std::uint64_t RecordCount(const fs::path& db) {
    paradox::FindingList findings;
    auto reader = paradox::TableReader::Open(db, findings);
    return reader ? reader->RecordCount() : 0;
}

// An open session for one test.
class Session {
public:
    Session() { EXPECT_EQ(TUInit(&handle), 0); }
    ~Session() { TUExit(handle); }
    std::uint16_t handle = 0;
};

// The descriptor the repair engine prepares: counts from the library, arrays it owns.
struct Descriptor {
    platform::TblDescCounts counts;
    CRTblDesc desc{};
    std::optional<platform::TblDescBuffers> buffers;

    std::uint16_t Prepare(std::uint16_t session, const std::string& path) {
        const auto result =
            TUGetCRTblDescCount(session, path.c_str(), &counts.fields, &counts.indexes,
                                &counts.security, &counts.validityChecks, &counts.refIntegrity,
                                &counts.optionalParams, &counts.optionalDataUnits);
        if (result != 0) {
            return result;
        }
        platform::PrepareTblDesc(desc, path, "Rebuild.DB");
        buffers.emplace(counts);
        buffers->AttachTo(desc);
        return 0;
    }
};

TEST(TUtil32, SessionsOpenCloseAndUnknownHandlesFail) {
    std::uint16_t a = 0;
    std::uint16_t b = 0;
    ASSERT_EQ(TUInit(&a), 0);
    ASSERT_EQ(TUInit(&b), 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(TUExit(a), 0);
    EXPECT_EQ(TUExit(a), err::UtilityInvalidSession);
    std::uint32_t status = 99;
    EXPECT_EQ(TUVerifyTable(a, "/nowhere/X.DB", "PARADOX", "VERIFY.DB", nullptr, 0, &status),
              err::UtilityInvalidSession);
    EXPECT_EQ(status, 99u);
    EXPECT_EQ(TUExit(b), 0);
}

TEST(TUtil32, VerifyFailsOnlyWhenItCannotRun) {
    Session s;
    TempDir dir;
    std::uint32_t status = 99;
    EXPECT_EQ(TUVerifyTable(s.handle, (dir / "MISSING.DB").c_str(), "PARADOX", "VERIFY.DB", nullptr,
                            0, &status),
              err::TableMissing);
    EXPECT_EQ(TUVerifyTable(s.handle, WriteParts(dir.path(), 5).c_str(), "DBASE", "VERIFY.DB",
                            nullptr, 0, &status),
              err::InvalidArgument);
    WriteFileBytes(dir / "JUNK.DB", "this is not a table at all, only some text");
    ASSERT_EQ(TUVerifyTable(s.handle, (dir / "JUNK.DB").c_str(), "PARADOX", "VERIFY.DB", nullptr, 0,
                            &status),
              0);
    EXPECT_EQ(status, 4u);
}

TEST(TUtil32, ATableInUseIsNeitherVerifiedNorRebuilt) {
    Session s;
    TempDir dir;
    const fs::path db = WriteParts(dir.path(), 20);
    Descriptor d;
    ASSERT_EQ(d.Prepare(s.handle, db.string()), 0);
    ASSERT_EQ(TUFillCRTblDesc(s.handle, &d.desc, db.c_str(), nullptr), 0);
    std::unique_ptr<engine::OpenedTable> opened;
    ASSERT_EQ(engine::OpenTable(db, "", true, opened), 0);
    std::uint32_t status = 99;
    EXPECT_EQ(TUVerifyTable(s.handle, db.c_str(), "PARADOX", "VERIFY.DB", nullptr, 0, &status),
              err::TableInUse);
    EXPECT_EQ(TURebuildTable(s.handle, db.c_str(), "PARADOX", "PARTS-BACKUP.DB", "PARTS-KEYVIOL.DB",
                             "PARTS-PROBLEM.DB", &d.desc),
              err::TableInUse);
    EXPECT_FALSE(fs::exists(dir / "PARTS-BACKUP.DB"));
    opened.reset();
    EXPECT_EQ(TUVerifyTable(s.handle, db.c_str(), "PARADOX", "VERIFY.DB", nullptr, 0, &status), 0);
}

TEST(TUtil32, AnErrorTableNeverReplacesTheTableItself) {
    Session s;
    TempDir dir;
    TempDir priv;
    const fs::path db = WriteParts(dir.path(), 5);
    const std::string before = ReadFileBytes(db);
    auto session = engine::Session::Create("ErrorTables");
    ASSERT_EQ(session->SetPrivateDir(priv.path().string()), 0);
    ASSERT_EQ(session->Activate(), 0);
    std::uint32_t status = 99;
    EXPECT_EQ(TUVerifyTable(s.handle, db.c_str(), "PARADOX", "PARTS.DB", nullptr, 0, &status), 0);
    EXPECT_EQ(ReadFileBytes(db), before);
    EXPECT_FALSE(fs::exists(priv / "PARTS.DB")) << "a verify that finds nothing keeps no table";
    EXPECT_EQ(TUVerifyTable(s.handle, db.c_str(), "PARADOX", db.c_str(), nullptr, 0, &status),
              err::InvalidArgument);
    EXPECT_EQ(ReadFileBytes(db), before);
    session->Deactivate();
}

TEST(TUtil32, VerifyWritesTheErrorTableIntoThePrivateDirectory) {
    Session s;
    TempDir dir;
    TempDir priv;
    auto session = engine::Session::Create("ErrorTables");
    ASSERT_EQ(session->SetPrivateDir(priv.path().string()), 0);
    ASSERT_EQ(session->Activate(), 0);
    const fs::path db = WriteParts(dir.path(), 300);
    std::uint32_t status = 99;
    ASSERT_EQ(TUVerifyTable(s.handle, db.c_str(), "PARADOX", "VERIFY.DB", nullptr, 0, &status), 0);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(RecordCount(priv / "VERIFY.DB"), 0u);

    std::string bytes = ReadFileBytes(db);
    bytes[6] = static_cast<char>(bytes[6] + 7); // record count in the header
    WriteFileBytes(db, bytes);
    ASSERT_EQ(TUVerifyTable(s.handle, db.c_str(), "PARADOX", "VERIFY.DB", nullptr, 0, &status), 0);
    EXPECT_EQ(status, 1u);
    EXPECT_GE(RecordCount(priv / "VERIFY.DB"), 1u);
    EXPECT_FALSE(fs::exists(dir / "VERIFY.DB"));
    session->Deactivate();
}

// Progress reaches the registered callback with phases 0, 1, 2 for a verify and 8 for a
// rebuild, a few hundred times at most; without a callback the buffer is left alone.
std::vector<std::pair<std::uint8_t, std::uint16_t>> reports;
std::uint32_t Record(std::uint32_t type, std::uint32_t, void* buffer) {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    if (type == engine::kGeneralProgress) {
        reports.emplace_back(bytes[263], static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8));
    }
    return 0;
}

TEST(TUtil32, ProgressGoesToTheRegisteredCallbackOnly) {
    Session s;
    TempDir dir;
    const fs::path db = WriteParts(dir.path(), 2000);
    std::uint8_t buffer[268];
    std::memset(buffer, 0xEE, sizeof buffer);
    std::uint32_t status = 0;
    ASSERT_EQ(TUVerifyTable(s.handle, db.c_str(), "PARADOX", "VERIFY.DB", nullptr, 0, &status), 0);
    for (const std::uint8_t b : buffer) {
        ASSERT_EQ(b, 0xEE);
    }

    reports.clear();
    ASSERT_EQ(
        engine::RegisterCallback(0, engine::kGeneralProgress, 0, sizeof buffer, buffer, &Record),
        0);
    ASSERT_EQ(TUVerifyTable(s.handle, db.c_str(), "PARADOX", "VERIFY.DB", nullptr, 0, &status), 0);
    Descriptor d;
    ASSERT_EQ(d.Prepare(s.handle, db.string()), 0);
    ASSERT_EQ(TUFillCRTblDesc(s.handle, &d.desc, db.c_str(), nullptr), 0);
    ASSERT_EQ(TURebuildTable(s.handle, db.c_str(), "PARADOX", "PARTS-BACKUP.DB", "PARTS-KEYVIOL.DB",
                             "PARTS-PROBLEM.DB", &d.desc),
              0);
    engine::RegisterCallback(0, engine::kGeneralProgress, 0, sizeof buffer, buffer, nullptr);

    std::set<std::uint8_t> phases;
    for (const auto& [phase, percent] : reports) {
        phases.insert(phase);
        EXPECT_LE(percent, 100);
    }
    EXPECT_EQ(phases, (std::set<std::uint8_t>{0, 1, 2, 8}));
    EXPECT_LE(reports.size(), 400u);
    EXPECT_EQ(reports.back(), (std::pair<std::uint8_t, std::uint16_t>{8, 100}));
}

TEST(TUtil32, CountFillAndRebuildThroughTheEntryPoints) {
    Session s;
    TempDir dir;
    const fs::path db = WriteParts(dir.path(), 500);
    Descriptor d;
    ASSERT_EQ(d.Prepare(s.handle, db.string()), 0);
    EXPECT_EQ(d.counts.fields, 3);
    EXPECT_EQ(d.counts.indexes, 2); // primary and one secondary index
    EXPECT_EQ(d.counts.security + d.counts.validityChecks + d.counts.refIntegrity, 0);
    ASSERT_EQ(TUFillCRTblDesc(s.handle, &d.desc, db.c_str(), nullptr), 0);
    EXPECT_STREQ(d.desc.fields[1].name, "Title");
    EXPECT_STREQ(d.desc.indexes[1].extension, "X02");

    ASSERT_EQ(TURebuildTable(s.handle, db.c_str(), "PARADOX", "PARTS-BACKUP.DB", "PARTS-KEYVIOL.DB",
                             "PARTS-PROBLEM.DB", &d.desc),
              0);
    EXPECT_EQ(RecordCount(db), 500u);
    EXPECT_EQ(RecordCount(dir / "PARTS-BACKUP.DB"), 500u);
    EXPECT_TRUE(fs::exists(dir / "PARTS-BACKUP.X02"));
    EXPECT_TRUE(fs::exists(dir / "PARTS.X02"));
    EXPECT_FALSE(fs::exists(dir / "Rebuild.DB"));
    std::uint32_t status = 99;
    ASSERT_EQ(TUVerifyTable(s.handle, db.c_str(), "PARADOX", "VERIFY.DB", nullptr, 0, &status), 0);
    EXPECT_EQ(status, 0u);
}

// A single-field index whose header is gone is rebuilt from its name (.X02: field 2).
TEST(TUtil32, AnUnreadableSingleFieldIndexIsRebuiltFromItsName) {
    Session s;
    TempDir dir;
    const fs::path db = WriteParts(dir.path(), 300);
    std::string x02 = ReadFileBytes(dir / "PARTS.X02");
    std::fill(x02.begin(), x02.begin() + 128, '\0');
    WriteFileBytes(dir / "PARTS.X02", x02);
    Descriptor d;
    ASSERT_EQ(d.Prepare(s.handle, db.string()), 0);
    ASSERT_EQ(TUFillCRTblDesc(s.handle, &d.desc, db.c_str(), nullptr), 0);
    const auto result = TURebuildTable(s.handle, db.c_str(), "PARADOX", "PARTS-BACKUP.DB",
                                       "PARTS-KEYVIOL.DB", "PARTS-PROBLEM.DB", &d.desc);
    EXPECT_EQ(result, 0) << engine::TakeFailureMessage(result);
    EXPECT_EQ(RecordCount(db), 300u);
    EXPECT_EQ(ReadFileBytes(dir / "PARTS-BACKUP.X02"), x02);
    std::uint32_t status = 99;
    ASSERT_EQ(TUVerifyTable(s.handle, db.c_str(), "PARADOX", "VERIFY.DB", nullptr, 0, &status), 0);
    EXPECT_EQ(status, 0u);
}

// The session's policy decides a rebuild that would lose records: refused by default with the
// folder unchanged, done with what can be read once the session accepts the loss.
TEST(TUtil32, ARebuildThatWouldLoseRecordsFollowsTheSessionsPolicy) {
    Session s;
    TempDir dir;
    const fs::path db = WriteParts(dir.path(), 300);
    std::string bytes = ReadFileBytes(db);
    const std::size_t headerSize = static_cast<std::uint8_t>(bytes[2]) |
                                   static_cast<std::size_t>(static_cast<std::uint8_t>(bytes[3]))
                                       << 8;
    const std::size_t blockSize = static_cast<std::uint8_t>(bytes[5]) * std::size_t{1024};
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(headerSize + blockSize), blockSize,
                '\0'); // data block 2 wiped: its records cannot be read
    WriteFileBytes(db, bytes);
    Descriptor d;
    ASSERT_EQ(d.Prepare(s.handle, db.string()), 0);
    ASSERT_EQ(TUFillCRTblDesc(s.handle, &d.desc, db.c_str(), nullptr), 0);
    auto rebuild = [&] {
        engine::ClearFailure();
        return TURebuildTable(s.handle, db.c_str(), "PARADOX", "PARTS-BACKUP.DB",
                              "PARTS-KEYVIOL.DB", "PARTS-PROBLEM.DB", &d.desc);
    };
    const auto refused = rebuild();
    EXPECT_EQ(refused, err::UtilityWouldLoseData);
    EXPECT_NE(engine::TakeFailureMessage(refused).find("of at most 300 records"),
              std::string::npos);
    EXPECT_EQ(ReadFileBytes(db), bytes);
    EXPECT_FALSE(fs::exists(dir / "PARTS-BACKUP.DB"));

    ASSERT_EQ(TUSetRebuildPolicy(s.handle, 1), 0);
    const auto accepted = rebuild();
    EXPECT_EQ(accepted, err::UtilityRebuiltWithLoss);
    EXPECT_NE(engine::TakeFailureMessage(accepted).find("lost "), std::string::npos);
    EXPECT_EQ(ReadFileBytes(dir / "PARTS-BACKUP.DB"), bytes);
    EXPECT_LT(RecordCount(db), 300u);
}

TEST(TUtil32, FillRefusesCountsThatDoNotMatchTheTable) {
    Session s;
    TempDir dir;
    const fs::path db = WriteParts(dir.path(), 5);
    Descriptor d;
    ASSERT_EQ(d.Prepare(s.handle, db.string()), 0);
    d.desc.fieldCount = 2; // the caller reserved too little
    std::memset(&d.desc.fields[2], 0xA5, sizeof(FLDDesc));
    const FLDDesc guard = d.desc.fields[2];
    EXPECT_EQ(TUFillCRTblDesc(s.handle, &d.desc, db.c_str(), nullptr),
              err::UtilityDescriptorMismatch);
    EXPECT_EQ(std::memcmp(&guard, &d.desc.fields[2], sizeof guard), 0);
    EXPECT_EQ(TURebuildTable(s.handle, db.c_str(), "PARADOX", "", "", "", nullptr),
              err::InvalidArgument);
}

TEST(TUtil32, EntryPointsCanBeReplacedForTests) {
    auto failingExit = [](std::uint16_t) -> std::uint16_t { return err::UtilityInvalidSession; };
    {
        platform::TUtilEntryPoints replaced;
        replaced.exit = failingExit;
        platform::ScopedTUtilEntries scope(replaced);
        EXPECT_EQ(platform::TUtilEntries().exit(1), err::UtilityInvalidSession);
    }
    EXPECT_EQ(platform::TUtilEntries().exit, &TUExit);
}

} // namespace

namespace {

// The window's rebuild of a table whose header lost a field descriptor: the descriptor is
// filled from a source found beside the table (here the index on Title) and the rebuild gives
// every record back; a field no file describes is never read from the data by itself: the
// table is refused and left as it is.
TEST(TUtil32, FieldsLostFromTheHeaderComeOnlyFromFilesBesideTheTable) {
    Session s;
    TempDir dir;
    const fs::path db = WriteParts(dir.path(), 120);
    const std::uint64_t records = RecordCount(db);
    const std::string healthy = ReadFileBytes(db);
    const std::size_t descriptors = static_cast<std::uint8_t>(healthy.at(0x39)) >= 5 ? 0x78 : 0x58;

    std::string bytes = healthy;
    bytes[descriptors + 2 * 1] = 0x07; // Title: the secondary index still describes it
    WriteFileBytes(db, bytes);
    Descriptor d;
    ASSERT_EQ(d.Prepare(s.handle, db.string()), 0);
    ASSERT_EQ(TUFillCRTblDesc(s.handle, &d.desc, db.c_str(), nullptr), 0);
    EXPECT_EQ(TURebuildTable(s.handle, db.c_str(), "PARADOX", "PARTS-BACKUP.DB", "PARTS-KEYVIOL.DB",
                             "PARTS-PROBLEM.DB", &d.desc),
              0);
    EXPECT_EQ(RecordCount(db), records);
    EXPECT_EQ(ReadFileBytes(dir / "PARTS-BACKUP.DB"), bytes);
    EXPECT_EQ(tutil::ReadTableStructure(tutil::LocateTable(db.string())).fields[1].name, "Title");

    fs::remove(dir / "PARTS-BACKUP.DB"); // no earlier backup to borrow from
    bytes = ReadFileBytes(db);
    bytes[descriptors + 2 * 2] = 0x07; // Price: no file beside the table describes it
    WriteFileBytes(db, bytes);
    Descriptor refused;
    EXPECT_EQ(refused.Prepare(s.handle, db.string()), err::HeaderCorrupt);
    const std::string reason = engine::TakeFailureContext(err::HeaderCorrupt);
    EXPECT_NE(reason.find("not used unless inference is asked for"), std::string::npos) << reason;
    EXPECT_EQ(ReadFileBytes(db), bytes);
}

} // namespace
