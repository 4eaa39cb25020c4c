#include "repair/LogFile.h"

#include "repair/RunLog.h"
#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace {

using repair::LogFileError;
using repair::LogLines;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

std::size_t FilesIn(const std::filesystem::path& dir) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) {
        ++count;
    }
    return count;
}

TEST(LogLineSplit, EveryLineEndAndAnUnendedLastLine) {
    EXPECT_EQ(repair::SplitLogLines("cr\rlf\ncrlf\r\nlast"),
              (LogLines{"cr", "lf", "crlf", "last"}));
    EXPECT_EQ(repair::SplitLogLines("one\r\n"), (LogLines{"one"}));
    EXPECT_EQ(repair::SplitLogLines(""), LogLines{});
    // Empty lines are lines; LF followed by CR is two line ends.
    EXPECT_EQ(repair::SplitLogLines("\r\n\r\n"), (LogLines{"", ""}));
    EXPECT_EQ(repair::SplitLogLines("a\n\rb"), (LogLines{"a", "", "b"}));
    // Bytes other than CR and LF are kept as they are.
    EXPECT_EQ(repair::SplitLogLines(std::string("\xE9t\xE9\t x\0y", 8)),
              (LogLines{std::string("\xE9t\xE9\t x\0y", 8)}));
}

TEST(LogLineSplit, JoinEndsEveryLineWithCrLf) {
    EXPECT_EQ(repair::JoinLogLines({"a", "", "c"}), "a\r\n\r\nc\r\n");
    EXPECT_EQ(repair::JoinLogLines({}), "");
}

TEST(LogFileRead, ReadsMixedLineEnds) {
    TempDir dir;
    WriteFileBytes(dir / "log", "first\rsecond\nthird\r\nlast without end");
    EXPECT_EQ(repair::ReadLogFile(dir / "log"),
              (LogLines{"first", "second", "third", "last without end"}));
}

TEST(LogFileRead, DirectoryOrMissingFileIsAnErrorNamingFileAndReason) {
    TempDir dir;
    std::filesystem::create_directory(dir / "log");
    try {
        repair::ReadLogFile(dir / "log");
        FAIL() << "a directory read as a log";
    } catch (const LogFileError& e) {
        EXPECT_NE(std::string(e.what()).find((dir / "log").string()), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("Is a directory"), std::string::npos);
    }
    EXPECT_THROW(repair::ReadLogFile(dir / "missing"), LogFileError);
}

TEST(LogFileWrite, ReplacesTheFileAndLeavesNoTemporaryBehind) {
    TempDir dir;
    WriteFileBytes(dir / "log", "old\n");
    repair::WriteLogFileAtomically(dir / "log", {"new 1", "new 2"});
    EXPECT_EQ(ReadFileBytes(dir / "log"), "new 1\r\nnew 2\r\n");
    EXPECT_EQ(FilesIn(dir.path()), 1u);
}

TEST(LogFileWrite, UnwritablePlaceThrowsAndNamesTheReason) {
    TempDir dir;
    WriteFileBytes(dir / "not-a-dir", "x");
    try {
        repair::WriteLogFileAtomically(dir / "not-a-dir" / "log", {"line"});
        FAIL() << "wrote below a file";
    } catch (const LogFileError& e) {
        EXPECT_NE(std::string(e.what()).find("not-a-dir/log"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("Not a directory"), std::string::npos);
    }
}

TEST(LogFileWrite, SaveThatDiesPartWayLeavesTheOldContent) {
    TempDir dir;
    const std::string old = "old line 1\r\nold line 2\r\n";
    WriteFileBytes(dir / "log", old);
    const LogLines longer(50, std::string(40, 'x'));
    {
        const testsupport::FileSizeLimit limit(100);
        try {
            repair::WriteLogFileAtomically(dir / "log", longer);
            FAIL() << "the write went past the size limit";
        } catch (const LogFileError& e) {
            EXPECT_NE(std::string(e.what()).find("File too large"), std::string::npos);
        }
    }
    EXPECT_EQ(ReadFileBytes(dir / "log"), old);
    EXPECT_EQ(FilesIn(dir.path()), 1u) << "the temporary file was left behind";
}

TEST(RunLogSave, LoadAppendSaveKeepsOldLinesFirst) {
    TempDir dir;
    WriteFileBytes(dir / "log", "old 1\nold 2");
    repair::RunLog log;
    log.Load(dir / "log");
    log.Append("new");
    EXPECT_EQ(log.Lines(), (LogLines{"old 1", "old 2", "new"}));
    log.Save(dir / "log");
    EXPECT_EQ(ReadFileBytes(dir / "log"), "old 1\r\nold 2\r\nnew\r\n");
}

TEST(RunLogSave, TwoCopiesBothKeepTheirLinesOnce) {
    TempDir dir;
    WriteFileBytes(dir / "log", "old\r\n");
    repair::RunLog first;
    repair::RunLog second;
    first.Load(dir / "log");
    second.Load(dir / "log");
    first.Append("first 1");
    second.Append("second 1");
    first.Append("first 2");
    first.Save(dir / "log");
    second.Append("second 2");
    second.Save(dir / "log");
    EXPECT_EQ(repair::ReadLogFile(dir / "log"),
              (LogLines{"old", "first 1", "first 2", "second 1", "second 2"}));
    // A second save of the same copy adds only what came since.
    second.Append("second 3");
    second.Save(dir / "log");
    EXPECT_EQ(repair::ReadLogFile(dir / "log"),
              (LogLines{"old", "first 1", "first 2", "second 1", "second 2", "second 3"}));
}

TEST(RunLogSave, FileGoneSinceStartGetsTheWholeLog) {
    TempDir dir;
    WriteFileBytes(dir / "log", "old\r\n");
    repair::RunLog log;
    log.Load(dir / "log");
    log.Append("new");
    std::filesystem::remove(dir / "log");
    log.Save(dir / "log");
    EXPECT_EQ(ReadFileBytes(dir / "log"), "old\r\nnew\r\n");
}

TEST(RunLogSave, FailedSaveChangesNothingAndCanBeRetried) {
    TempDir dir;
    const auto file = dir / "sub" / "log";
    repair::RunLog log;
    log.Append("one");
    EXPECT_THROW(log.Save(file), LogFileError);
    std::filesystem::create_directory(dir / "sub");
    log.Save(file);
    EXPECT_EQ(ReadFileBytes(file), "one\r\n");
}

TEST(RunLogSave, WaitsForTheLockAndRereadsUnderIt) {
    TempDir dir;
    const auto file = dir / "log";
    repair::RunLog log;
    log.Append("mine");
    std::atomic<bool> saved{false};
    std::thread saver;
    {
        const repair::LogFileLock otherCopy(file);
        saver = std::thread([&] {
            log.Save(file);
            saved = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_FALSE(saved) << "the save did not wait for the lock";
        // The other copy saves its line while it holds the lock.
        WriteFileBytes(file, "theirs\r\n");
    }
    saver.join();
    EXPECT_TRUE(saved);
    EXPECT_EQ(ReadFileBytes(file), "theirs\r\nmine\r\n");
}

} // namespace
