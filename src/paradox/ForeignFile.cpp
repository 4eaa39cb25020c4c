#include "paradox/ForeignFile.h"

#include "paradox/Family.h"
#include "paradox/HeaderOffsets.h"
#include "posix/FileDescriptor.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace paradox {
namespace {

constexpr std::size_t kBytesLooked = header_at::kBlockSizeCode + 1;
constexpr std::uint8_t kHighestFileType = 8; // .XGn, "incrementing"
// A level-3.0 header is exactly as long as its fields need; later ones are padded to 0x800.
constexpr std::uint16_t kPaddedHeaderUnit = 0x800;
constexpr std::uint16_t kSmallestHeader = 0x58;

bool KnownBlockSizeCode(std::uint8_t code) {
    for (std::uint8_t known : {1, 2, 3, 4, 8, 16, 32}) {
        if (code == known) {
            return true;
        }
    }
    return false;
}

bool PossibleHeaderSize(std::uint16_t size) {
    return size >= kSmallestHeader && (size < kPaddedHeaderUnit || size % kPaddedHeaderUnit == 0);
}

} // namespace

bool IsForeignFileStart(std::span<const std::uint8_t> start) {
    if (start.size() < kBytesLooked) {
        return false;
    }
    const auto headerSize = static_cast<std::uint16_t>(start[header_at::kHeaderSize] |
                                                       start[header_at::kHeaderSize + 1] << 8);
    return start[header_at::kFileType] > kHighestFileType &&
           !KnownBlockSizeCode(start[header_at::kBlockSizeCode]) && !PossibleHeaderSize(headerSize);
}

bool IsForeignFile(const std::filesystem::path& file) {
    const posix::FileDescriptor fd = posix::TryOpen(file, O_RDONLY | O_NONBLOCK);
    if (!fd.IsOpen()) {
        return false;
    }
    std::array<std::uint8_t, kBytesLooked> start{};
    std::size_t got = 0;
    while (got < start.size()) {
        const ssize_t n =
            ::pread(fd.Get(), start.data() + got, start.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    if (!IsForeignFileStart(std::span(start.data(), got))) {
        return false;
    }
    const TableFamily family = FindFamily(file);
    return family.px.empty() && family.mb.empty() && family.secondaries.empty();
}

} // namespace paradox
