// Failures of the system reach the caller as one engine code per cause, with the system's
// reason and the file, on real file systems: a small tmpfs for a full disk, a read-only one,
// an unprivileged child for a file it may not read, two processes rebuilding one table.

#include "PartsTable.h"
#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "paradox/RecordBuilder.h"
#include "paradox/TableWriter.h"
#include "platform/TUtil32.h"
#include "support/TempDir.h"

#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace err = engine::err;
using testsupport::ReadFileBytes;
using testsupport::TempDir;

using platformtest::WriteParts;

std::uintmax_t FolderBytes(const fs::path& dir) {
    std::uintmax_t bytes = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        bytes += entry.file_size();
    }
    return bytes;
}

// A tmpfs of `kilobytes` mounted on a fresh folder for the length of a test.
class SmallFileSystem {
public:
    explicit SmallFileSystem(std::uintmax_t kilobytes) {
        const std::string options = "size=" + std::to_string(kilobytes) + "k";
        mounted_ = ::mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallFileSystem() {
        if (mounted_) {
            ::umount2(dir_.path().c_str(), MNT_DETACH);
        }
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;
    bool Mounted() const { return mounted_; }
    bool MakeReadOnly() {
        return ::mount(nullptr, dir_.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    const fs::path& path() const { return dir_.path(); }

private:
    TempDir dir_;
    bool mounted_ = false;
};

// Counts, fill and rebuild as the repair engine calls them; the result of the rebuild.
std::uint16_t Rebuild(const fs::path& db) {
    std::uint16_t session = 0;
    if (TUInit(&session) != 0) {
        return 0xFFFF;
    }
    std::uint16_t counts[7] = {};
    std::uint16_t result =
        TUGetCRTblDescCount(session, db.c_str(), &counts[0], &counts[1], &counts[2], &counts[3],
                            &counts[4], &counts[5], &counts[6]);
    CRTblDesc desc{};
    std::vector<FLDDesc> fields(counts[0]);
    std::vector<IDXDesc> indexes(counts[1]);
    std::vector<FLDDesc> params(counts[5]);
    std::vector<std::uint8_t> data(std::size_t{counts[6]} * 128 + 1);
    if (result == 0) {
        std::strncpy(desc.tableName, db.c_str(), sizeof desc.tableName - 1);
        std::strcpy(desc.tableType, "PARADOX");
        desc.fieldCount = counts[0];
        desc.fields = fields.data();
        desc.indexCount = counts[1];
        desc.indexes = indexes.data();
        desc.optionalParamCount = counts[5];
        desc.optionalParams = params.data();
        desc.optionalData = data.data();
        result = TUFillCRTblDesc(session, &desc, db.c_str(), nullptr);
    }
    if (result == 0) {
        result = TURebuildTable(session, db.c_str(), "PARADOX", "PARTS-BACKUP.DB",
                                "PARTS-KEYVIOL.DB", "PARTS-PROBLEM.DB", &desc);
    }
    TUExit(session);
    return result;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(SystemErrors, AFullDiskSaysSoAndNamesTheFile) {
    TempDir source;
    WriteParts(source.path(), 20000);
    const std::uintmax_t familyKb = FolderBytes(source.path()) / 1024;
    // Full while the backup is copied, then full only once the new family is written.
    for (const std::uintmax_t sizeKb : {familyKb + 256, familyKb * 5 / 2 + 256}) {
        SmallFileSystem small(sizeKb);
        if (!small.Mounted()) {
            GTEST_SKIP() << "cannot mount a tmpfs here";
        }
        for (const auto& entry : fs::directory_iterator(source.path())) {
            fs::copy_file(entry.path(), small.path() / entry.path().filename());
        }
        const fs::path db = small.path() / "PARTS.DB";
        const std::string before = ReadFileBytes(db);
        const std::uint16_t result = Rebuild(db);
        ASSERT_EQ(result, err::DiskFull) << engine::TakeFailureMessage(result);
        const std::string message = engine::TakeFailureMessage(result);
        EXPECT_TRUE(Contains(message, "No space left on device")) << message;
        EXPECT_TRUE(Contains(message, small.path().string() + "/")) << message;
        EXPECT_FALSE(Contains(message, "/proc/")) << message;
        EXPECT_EQ(ReadFileBytes(db), before);
    }
}

TEST(SystemErrors, AReadOnlyFolderSaysSo) {
    SmallFileSystem folder(4096);
    if (!folder.Mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here";
    }
    const fs::path db = WriteParts(folder.path(), 200);
    ASSERT_TRUE(folder.MakeReadOnly());
    const std::uint16_t result = Rebuild(db);
    ASSERT_EQ(result, err::ReadOnlyFileSystem) << engine::TakeFailureMessage(result);
    const std::string message = engine::TakeFailureMessage(result);
    EXPECT_TRUE(Contains(message, "Read-only file system")) << message;
    EXPECT_TRUE(Contains(message, folder.path().string())) << message;
}

// Runs `body` as an unprivileged user when this process is root (root reads any file);
// the child's exit status is body's result.
int AsUnprivilegedUser(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            std::_Exit(100);
        }
        std::_Exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

TEST(SystemErrors, AFileThatMayNotBeReadIsNotInUse) {
    TempDir dir;
    const fs::path db = WriteParts(dir.path(), 50);
    fs::permissions(dir.path(), fs::perms::all);
    ::chmod(db.c_str(), 0);
    const int outcome = AsUnprivilegedUser([&] {
        std::uint16_t session = 0;
        if (TUInit(&session) != 0) {
            return 10;
        }
        std::uint32_t status = 0;
        const auto result =
            TUVerifyTable(session, db.c_str(), "PARADOX", "VERIFY.DB", nullptr, 0, &status);
        const std::string message = engine::TakeFailureMessage(result);
        if (result != err::NoPermission) {
            return 11;
        }
        if (Contains(message, "in use") || !Contains(message, "Permission denied") ||
            !Contains(message, "PARTS.DB")) {
            return 12;
        }
        return 0;
    });
    EXPECT_EQ(outcome, 0);
}

// Two processes rebuild the same table at once, many times: each either rebuilds it or is
// told that the table is in use; never a bare input/output error or "rebuild failed".
TEST(SystemErrors, TheLoserOfTwoConcurrentRebuildsIsToldTheTableIsInUse) {
    TempDir dir;
    const fs::path db = WriteParts(dir.path(), 30000);
    int inUse = 0;
    for (int round = 0; round < 12; ++round) {
        pid_t children[2] = {};
        for (pid_t& child : children) {
            child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                const std::uint16_t result = Rebuild(db);
                std::_Exit(result == 0 ? 0 : result == err::TableInUse ? 1 : 2);
            }
        }
        for (const pid_t child : children) {
            int status = 0;
            ::waitpid(child, &status, 0);
            ASSERT_TRUE(WIFEXITED(status));
            ASSERT_NE(WEXITSTATUS(status), 2) << "round " << round;
            inUse += WEXITSTATUS(status);
        }
    }
    RecordProperty("in_use", inUse);
}

} // namespace
