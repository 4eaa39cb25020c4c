#include "posix/Durability.h"
#include "posix/FileDescriptor.h"
#include "posix/FileIo.h"
#include "support/TempDir.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

// Runs `step` and gives the errno it failed with and its message; fails the test when it
// does not throw std::system_error.
template <typename Step> std::pair<int, std::string> FailureOf(Step step) {
    try {
        step();
    } catch (const std::system_error& error) {
        return {error.code().value(), error.what()};
    }
    ADD_FAILURE() << "no std::system_error";
    return {0, ""};
}

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(FileLayerTest, NewFilesAreNeverWrittenThroughExistingNamesOrSymlinks) {
    TempDir dir;
    WriteFileBytes(dir / "old", "keep");
    std::filesystem::create_symlink(dir / "target", dir / "link");

    const auto [existingError, existingText] =
        FailureOf([&] { posix::CreateNew(dir / "old", O_WRONLY, 0644); });
    EXPECT_EQ(existingError, EEXIST);
    EXPECT_NE(existingText.find("cannot create " + (dir / "old").string()), std::string::npos);
    EXPECT_EQ(ReadFileBytes(dir / "old"), "keep");

    const auto [linkError, linkText] =
        FailureOf([&] { posix::CreateNew(dir / "link", O_WRONLY, 0644); });
    EXPECT_EQ(linkError, EEXIST);
    EXPECT_FALSE(std::filesystem::exists(dir / "target"));

    const auto [missingError, missingText] =
        FailureOf([&] { posix::Open(dir / "absent", O_RDONLY); });
    EXPECT_EQ(missingError, ENOENT);
    EXPECT_NE(missingText.find("cannot open"), std::string::npos);
}

TEST(FileLayerTest, WholeBuffersGoOutAndComeBackAtTheirOffsets) {
    TempDir dir;
    const std::filesystem::path path = dir / "data";
    {
        const posix::FileDescriptor fd = posix::CreateNew(path, O_RDWR, 0600);
        posix::WriteAll(fd.Get(), Bytes("head"), path);
        posix::WriteAllAt(fd.Get(), 8, Bytes("tail"), path);
        posix::Sync(fd.Get(), path);

        std::array<std::uint8_t, 4> back{};
        posix::ReadAllAt(fd.Get(), 8, back, path);
        EXPECT_EQ(std::string(back.begin(), back.end()), "tail");

        // Fewer bytes than asked for before the end of the file is an error, not a short read.
        std::vector<std::uint8_t> tooMany(16);
        EXPECT_EQ(FailureOf([&] { posix::ReadAllAt(fd.Get(), 0, tooMany, path); }).first, EIO);
    }
    EXPECT_EQ(ReadFileBytes(path), std::string("head\0\0\0\0tail", 12));
}

TEST(FileLayerTest, AFullDiskCarriesItsErrorNumberAndTheFile) {
    const std::filesystem::path full = "/dev/full";
    if (!std::filesystem::exists(full)) {
        GTEST_SKIP() << "no /dev/full here";
    }
    const posix::FileDescriptor fd = posix::Open(full, O_WRONLY);
    const auto [error, text] = FailureOf([&] { posix::WriteAll(fd.Get(), Bytes("x"), full); });
    EXPECT_EQ(error, ENOSPC);
    EXPECT_NE(text.find("cannot write /dev/full"), std::string::npos);
    EXPECT_EQ(FailureOf([&] { posix::WriteAllAt(fd.Get(), 0, Bytes("x"), full); }).first, ENOSPC);
}

TEST(FileLayerTest, RenamesReplaceOrRefuseAsAsked) {
    TempDir dir;
    WriteFileBytes(dir / "a", "new");
    WriteFileBytes(dir / "b", "old");
    const posix::FileDescriptor folder = posix::OpenDirectory(dir.path());

    const auto [error, text] = FailureOf([&] {
        posix::RenameAtNoReplace(folder.Get(), "a", folder.Get(), "b", dir / "a", dir / "b");
    });
    EXPECT_EQ(error, EEXIST);
    EXPECT_EQ(ReadFileBytes(dir / "a"), "new");
    EXPECT_EQ(ReadFileBytes(dir / "b"), "old");

    posix::RenameAtNoReplace(folder.Get(), "a", folder.Get(), "c", dir / "a", dir / "c");
    EXPECT_EQ(ReadFileBytes(dir / "c"), "new");

    posix::Rename(dir / "c", dir / "b");
    EXPECT_EQ(ReadFileBytes(dir / "b"), "new");
    EXPECT_FALSE(std::filesystem::exists(dir / "c"));
    posix::SyncDirectory(posix::OpenDirectory(dir.path()).Get(), dir.path());

    EXPECT_EQ(FailureOf([&] { posix::Rename(dir / "c", dir / "d"); }).first, ENOENT);
    EXPECT_EQ(FailureOf([&] { posix::OpenDirectory(dir / "b"); }).first, ENOTDIR);
}

TEST(FileLayerTest, DescriptorsCloseExactlyOnceWhereverTheyMove) {
    TempDir dir;
    WriteFileBytes(dir / "f", "x");
    posix::FileDescriptor first = posix::Open(dir / "f", O_RDONLY);
    const int raw = first.Get();
    EXPECT_NE(::fcntl(raw, F_GETFD) & FD_CLOEXEC, 0);

    posix::FileDescriptor second = std::move(first);
    EXPECT_FALSE(first.IsOpen());
    EXPECT_EQ(second.Get(), raw);
    EXPECT_NE(::fcntl(raw, F_GETFD), -1);

    second = posix::FileDescriptor();
    EXPECT_EQ(::fcntl(raw, F_GETFD), -1);
    EXPECT_EQ(errno, EBADF);
}

} // namespace
