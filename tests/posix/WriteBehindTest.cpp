#include "posix/WriteBehind.h"

#include "posix/FileDescriptor.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <system_error>
#include <vector>

namespace {

using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

// Buffers overlapping each other land in the order they were handed over, whatever the thread
// is doing when the next one comes.
TEST(WriteBehind, BuffersLandInTheOrderTheyWereHandedOver) {
    TempDir dir;
    const auto path = dir / "out";
    const posix::FileDescriptor fd = posix::CreateNew(path, O_WRONLY, 0644);
    std::string expected;
    {
        posix::WriteBehind behind(fd.Get(), path);
        std::vector<std::uint8_t> buffer;
        for (int i = 0; i < 40; ++i) {
            const std::size_t offset = static_cast<std::size_t>(i) * 300000 % 2000000;
            const std::size_t length = 100000 + static_cast<std::size_t>(i) * 37000;
            EXPECT_TRUE(buffer.empty());
            buffer.assign(length, static_cast<std::uint8_t>('a' + i % 26));
            if (expected.size() < offset + length) {
                expected.resize(offset + length, '\0');
            }
            std::fill_n(expected.begin() + static_cast<long>(offset), length,
                        static_cast<char>('a' + i % 26));
            buffer = behind.Write(offset, std::move(buffer));
        }
        behind.Drain();
        EXPECT_EQ(ReadFileBytes(path), expected);
        buffer.assign(10, 'z');
        behind.Write(0, std::move(buffer));
    } // going away finishes the last write
    std::fill_n(expected.begin(), 10, 'z');
    EXPECT_EQ(ReadFileBytes(path), expected);
}

TEST(WriteBehind, AFailedWriteIsThrownByTheNextCallAndStopsTheWriting) {
    TempDir dir;
    const auto path = dir / "read-only";
    WriteFileBytes(path, "keep");
    const posix::FileDescriptor fd = posix::Open(path, O_RDONLY);
    posix::WriteBehind behind(fd.Get(), path);
    behind.Write(0, std::vector<std::uint8_t>(1000, 'x'));
    try {
        behind.Drain();
        ADD_FAILURE() << "no failure";
    } catch (const std::system_error& error) {
        EXPECT_EQ(error.code().value(), EBADF);
        EXPECT_NE(std::string(error.what()).find(path.string()), std::string::npos) << error.what();
    }
    EXPECT_THROW(behind.Write(0, std::vector<std::uint8_t>(10, 'y')), std::system_error);
    EXPECT_EQ(ReadFileBytes(path), "keep");
}

} // namespace
