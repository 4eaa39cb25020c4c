#include "CliRun.h"
#include "TableFixture.h"
#include "engine/RebuildFiles.h"
#include "paradox/Cipher.h"
#include "paradox/Family.h"
#include "paradox/TableWriter.h"
#include "support/Corpus.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace {

namespace fs = std::filesystem;
using clitest::Quoted;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

struct CliRun {
    int exitCode = -1;
    std::string output; // standard output, then standard error
};

// The batch program keeps its private directory under the user's state folder: one of the
// test's own here.
const testsupport::TempDir& StateHome() {
    static const testsupport::TempDir state;
    return state;
}

// `prefix` runs the program under another, e.g. "timeout 20".
CliRun RunCli(const std::string& arguments, const std::string& prefix = "") {
    const clitest::Run run = clitest::RunCli(
        arguments, "XDG_STATE_HOME=" + Quoted(StateHome().path().string()) + " " + prefix);
    return {run.exitCode, run.out + run.err};
}

TEST(CliCommands, VerifyReportsDamageAndRebuildRepairsIt) {
    testsupport::TempDir dir;
    const fs::path db = tutilfixture::WriteOrders(dir.path(), 100);
    std::string bytes = ReadFileBytes(db);
    tutilfixture::PutU16(bytes, 6, 150); // record count in the header
    WriteFileBytes(db, bytes);

    const CliRun damaged = RunCli("verify --details " + db.string());
    EXPECT_EQ(damaged.exitCode, 4) << "problems left";
    EXPECT_NE(damaged.output.find("ORDERS.DB\nVerification Successful. Verification completed.\n"),
              std::string::npos)
        << damaged.output;
    EXPECT_NE(damaged.output.find("  [210] ORDERS.DB: "), std::string::npos) << damaged.output;

    const CliRun rebuilt = RunCli("rebuild --details " + db.string());
    EXPECT_EQ(rebuilt.exitCode, 1) << rebuilt.output;
    EXPECT_NE(rebuilt.output.find("Rebuild was successful."), std::string::npos);
    EXPECT_NE(rebuilt.output.find("ORDERS-BACKUP.DB"), std::string::npos);

    const CliRun healthy = RunCli("verify " + db.string());
    EXPECT_EQ(healthy.exitCode, 0) << healthy.output;
    EXPECT_NE(healthy.output.find("Table has no errors."), std::string::npos);

    const CliRun missing = RunCli("verify " + (dir / "NONE.DB").string());
    EXPECT_EQ(missing.exitCode, 8);
    EXPECT_NE(missing.output.find("NONE.DB"), std::string::npos);
}

// A protected table needs no password to be verified and rebuilt, and afterwards the same
// password still matches and the same records come out.
TEST(CliCommands, ProtectedTableIsRebuiltAndKeepsItsPassword) {
    testsupport::TempDir dir;
    const fs::path db =
        tutilfixture::WriteOrders(dir.path(), 100, true, true, paradox::PasswordChecksum("secret"));
    const CliRun dumped = RunCli("dump " + db.string());
    ASSERT_EQ(dumped.exitCode, 0) << dumped.output;
    std::string bytes = ReadFileBytes(db);
    tutilfixture::PutU16(bytes, 6, 150); // record count in the header
    WriteFileBytes(db, bytes);

    EXPECT_EQ(RunCli("verify " + db.string()).exitCode, 4);
    const CliRun rebuilt = RunCli("rebuild " + db.string());
    EXPECT_EQ(rebuilt.exitCode, 1) << rebuilt.output;
    const CliRun healthy = RunCli("verify " + db.string());
    EXPECT_EQ(healthy.exitCode, 0) << healthy.output;
    EXPECT_EQ(RunCli("dump " + db.string()).output, dumped.output);

    const CliRun right = RunCli("info " + db.string() + " --check-password secret");
    EXPECT_NE(right.output.find("encrypted: yes"), std::string::npos) << right.output;
    EXPECT_NE(right.output.find("password matches: yes"), std::string::npos) << right.output;
    const CliRun wrong = RunCli("info " + db.string() + " --check-password Secret");
    EXPECT_NE(wrong.output.find("password matches: no"), std::string::npos) << wrong.output;
}

// Scratch (the error tables) goes to the batch program's own private directory, never into
// the data folder; a second rebuild keeps the first's backup; one table that cannot be done
// never stops the others, and long table names work.
// A table whose header lost a field descriptor and that no file of its own describes: verify
// says which sources there are, the plain rebuild refuses it and changes nothing, a template
// of another table is refused with the reason, and a template of its structure or inference
// (asked for) rebuild it, naming the source.
// A data block wiped to zeros: the reader keeps only the other blocks' records. The
// rebuild refuses and changes no file of the family; --accept-loss rebuilds with what can be
// read, keeps the damaged family in the backup and says how many records were lost.
TEST(CliCommands, ARebuildThatWouldLoseRecordsNeedsAcceptLoss) {
    MENDRIX_NEEDS_CORPUS();
    testsupport::TempDir dir;
    const fs::path source = testsupport::CorpusDir() / "leonhad-paradoxdriver/db/CUSTOMER.DB";
    for (const auto& file : paradox::AllFamilyFiles(paradox::FindFamily(source))) {
        fs::copy_file(file, dir / file.filename());
    }
    const fs::path db = dir / "CUSTOMER.DB";
    std::string bytes = ReadFileBytes(db);
    tutilfixture::WipeBlock(bytes, 2);
    WriteFileBytes(db, bytes);
    auto family = [&] {
        std::map<std::string, std::string> files;
        for (const auto& [name, content] : tutilfixture::FolderByName(dir.path())) {
            if (name.rfind("CUSTOMER.", 0) == 0) {
                files[name] = content;
            }
        }
        return files;
    };
    const auto damaged = family();

    const CliRun refused = RunCli("rebuild " + db.string());
    EXPECT_EQ(refused.exitCode, 4) << refused.output;
    EXPECT_NE(refused.output.find("Rebuild was not successful. "), std::string::npos);
    EXPECT_NE(refused.output.find("records"), std::string::npos) << refused.output;
    EXPECT_NE(refused.output.find("nothing was changed"), std::string::npos) << refused.output;
    EXPECT_EQ(family(), damaged);
    EXPECT_FALSE(fs::exists(dir / "CUSTOMER-BACKUP.DB"));

    const CliRun accepted = RunCli("rebuild --accept-loss " + db.string());
    EXPECT_EQ(accepted.exitCode, 4) << accepted.output;
    EXPECT_EQ(accepted.output.find("Rebuild was successful."), std::string::npos);
    EXPECT_NE(accepted.output.find("Rebuild was not successful. "), std::string::npos);
    EXPECT_NE(accepted.output.find(" of at most 20 records"), std::string::npos) << accepted.output;
    for (const auto& [name, content] : damaged) {
        EXPECT_EQ(ReadFileBytes(dir / ("CUSTOMER-BACKUP" + name.substr(8))), content) << name;
    }
}

TEST(CliCommands, RebuildTakesTheStructureFromTheSourceTheOperatorNames) {
    testsupport::TempDir dir, shapes;
    const fs::path db = tutilfixture::WriteOrders(dir.path(), 100, false, false);
    const auto values = tutilfixture::RecordValues(db);
    paradox::WriteTable(shapes.path(), "SHAPE", tutilfixture::OrdersSchema(false, false), {});
    paradox::TableSchema other = tutilfixture::OrdersSchema(false, false);
    other.fields.pop_back();
    paradox::WriteTable(shapes.path(), "OTHER", other, {});
    std::string bytes = ReadFileBytes(db);
    bytes[0x78 + 2 * 2] = 0x07; // type of the third field
    WriteFileBytes(db, bytes);

    const CliRun verified = RunCli("verify --details " + db.string());
    EXPECT_NE(verified.output.find("[123] ORDERS.DB: Structure source fits the table (inference "
                                   "from the data blocks (names made up: Field3): available when "
                                   "inference is asked for"),
              std::string::npos)
        << verified.output;

    const CliRun dry = RunCli("check --dry-run " + dir.path().string());
    EXPECT_NE(dry.output.find("Table must be rebuilt manually.\n  ORDERS.DB: Structure source does "
                              "not fit the table (the table's own header: no valid type and size "
                              "for field 3)"),
              std::string::npos)
        << dry.output;

    const CliRun plain = RunCli("rebuild " + db.string());
    EXPECT_NE(plain.output.find("Rebuild was not successful."), std::string::npos) << plain.output;
    const CliRun refused =
        RunCli("rebuild --structure-from " + (shapes / "OTHER.DB").string() + " " + db.string());
    EXPECT_EQ(refused.exitCode, 4) << refused.output;
    EXPECT_NE(refused.output.find("template OTHER.DB: record size 52 does not divide"),
              std::string::npos)
        << refused.output;
    EXPECT_EQ(ReadFileBytes(db), bytes);
    EXPECT_FALSE(fs::exists(dir / "ORDERS-BACKUP.DB"));

    const CliRun shaped =
        RunCli("rebuild --structure-from " + (shapes / "SHAPE.DB").string() + " " + db.string());
    EXPECT_EQ(shaped.exitCode, 1) << shaped.output;
    EXPECT_NE(shaped.output.find("Rebuild was successful. Structure from template SHAPE.DB."),
              std::string::npos)
        << shaped.output;
    EXPECT_EQ(tutilfixture::RecordValues(db), values);
    EXPECT_EQ(ReadFileBytes(dir / "ORDERS-BACKUP.DB"), bytes);

    WriteFileBytes(db, bytes);
    const CliRun inferred = RunCli("rebuild --infer-structure " + db.string());
    EXPECT_EQ(inferred.exitCode, 1) << inferred.output;
    EXPECT_NE(inferred.output.find("Structure from inference from the data blocks"),
              std::string::npos)
        << inferred.output;
    EXPECT_EQ(tutilfixture::RecordValues(db), values);
}

TEST(CliCommands, BatchRunsKeepScratchPrivateKeepEarlierWorkTablesAndGoOn) {
    testsupport::TempDir dir;
    const fs::path db = tutilfixture::WriteOrders(dir.path(), 60);
    WriteFileBytes(dir / "VERIFY.DB", "a user table named like the verify scratch");
    // As long as a table path may be for the repair engine (260 characters in all).
    const std::string longStem(260 - 3 - (dir.path().string().size() + 1), 'L');
    for (const auto& [name, bytes] : tutilfixture::FolderFiles(dir.path())) {
        if (name.rfind("ORDERS.", 0) == 0) {
            WriteFileBytes(dir / (longStem + name.substr(6)), bytes);
        }
    }
    const fs::path longDb = dir / (longStem + ".DB");
    const fs::path missing = dir / "NONE.DB";

    const std::string longName = longDb.filename().string();
    const CliRun first = RunCli("rebuild " + missing.string() + " " + db.string());
    EXPECT_EQ(first.exitCode, 8 | 1) << "one target failed, one table repaired\n" << first.output;
    EXPECT_NE(first.output.find("ORDERS.DB\nRebuild was successful.\n"), std::string::npos)
        << first.output;
    const CliRun second = RunCli("rebuild --details " + db.string() + " " + longDb.string());
    EXPECT_EQ(second.exitCode, 1) << second.output;
    EXPECT_NE(second.output.find("ORDERS-BACKUP1.DB"), std::string::npos) << second.output;
    EXPECT_TRUE(fs::exists(dir / "ORDERS-BACKUP.DB"));
    EXPECT_TRUE(fs::exists(dir / (longStem + "-BACKUP.DB")));

    EXPECT_EQ(ReadFileBytes(dir / "VERIFY.DB"), "a user table named like the verify scratch");
    EXPECT_FALSE(fs::exists(dir / "Rebuild.DB"));
    const fs::path priv = StateHome().path() / "mendrix" / "priv";
    EXPECT_EQ(fs::status(priv).permissions() & fs::perms::all, fs::perms::owner_all);

    const CliRun verified =
        RunCli("verify " + longDb.string() + " " + missing.string() + " " + db.string());
    EXPECT_EQ(verified.exitCode, 8) << verified.output;
    const std::string healthy = "\nVerification Successful. Table has no errors.\n";
    EXPECT_NE(verified.output.find(longName + healthy), std::string::npos) << verified.output;
    EXPECT_NE(verified.output.find("no alias, directory or table named " + missing.string()),
              std::string::npos);
    EXPECT_NE(verified.output.find("\nORDERS.DB" + healthy), std::string::npos);
}

// A run's output without the lines that carry the time.
std::string WithoutTimes(const std::string& output) {
    std::string kept;
    std::size_t start = 0;
    for (std::size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = output.substr(start, end + 1 - start);
        if (line.rfind("Verify started.", 0) != 0 && line.rfind("Verify complete.", 0) != 0) {
            kept += line;
        }
    }
    return kept + output.substr(start);
}

// Two verifies at once over folders of same-named tables: each run's details are the findings
// of its own tables, never the other's.
TEST(CliCommands, ConcurrentVerifiesReadOnlyTheirOwnFindings) {
    testsupport::TempDir folders[2];
    const int records[2] = {100, 40};
    std::string alone[2];
    for (int i = 0; i < 2; ++i) {
        const fs::path db = tutilfixture::WriteOrders(folders[i].path(), records[i]);
        std::string bytes = ReadFileBytes(db);
        tutilfixture::PutU16(bytes, 6, static_cast<std::uint16_t>(records[i] + 50));
        WriteFileBytes(db, bytes);
        // More tables of the same family: an error table written and read back for each.
        for (const auto& [name, fileBytes] : tutilfixture::FolderFiles(folders[i].path())) {
            for (const char* stem : {"COPY1", "COPY2", "COPY3"}) {
                WriteFileBytes(folders[i] / (stem + name.substr(6)), fileBytes);
            }
        }
        alone[i] = WithoutTimes(RunCli("verify --details " + folders[i].path().string()).output);
        ASSERT_NE(alone[i].find("  [210] COPY3.DB: "), std::string::npos) << alone[i];
    }
    ASSERT_NE(alone[0], alone[1]);
    for (int pair = 0; pair < 20; ++pair) {
        std::string together[2];
        std::thread other(
            [&] { together[1] = RunCli("verify --details " + folders[1].path().string()).output; });
        together[0] = RunCli("verify --details " + folders[0].path().string()).output;
        other.join();
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(WithoutTimes(together[i]), alone[i]) << "pair " << pair << ", run " << i;
        }
    }
    EXPECT_TRUE(fs::is_empty(StateHome().path() / "mendrix" / "priv"))
        << "each run's own folder went";
}

TEST(CliCommands, AJournalThatIsNotARegularFileIsRefusedWithoutWaiting) {
    testsupport::TempDir dir;
    const fs::path db = tutilfixture::WriteOrders(dir.path(), 20);
    const fs::path journal = engine::RebuildJournalPath(dir.path(), "ORDERS");
    ASSERT_EQ(::mkfifo(journal.c_str(), 0644), 0);
    const std::string before = ReadFileBytes(db);
    for (const char* command : {"verify", "rebuild"}) {
        // `timeout` turns a hang into exit status 124.
        const CliRun run = RunCli(std::string(command) + " " + db.string(), "timeout 20");
        EXPECT_EQ(run.exitCode, 8) << command << ": " << run.output;
    }
    EXPECT_EQ(ReadFileBytes(db), before);
    EXPECT_TRUE(fs::is_fifo(journal));
}

} // namespace
