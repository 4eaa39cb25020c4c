#include "tutil/BlobFileContents.h"

#include "paradox/ByteView.h"
#include "paradox/MappedFile.h"

#include <string>
#include <system_error>

namespace tutil {
namespace {

constexpr std::size_t kChunk = 4096;
constexpr std::uint8_t kHeaderBlock = 0;
constexpr std::uint8_t kSingleBlob = 2;
constexpr std::uint8_t kSuballocated = 3;
constexpr std::uint8_t kFreeBlock = 4;
constexpr std::size_t kSlots = 64;
constexpr std::size_t kFirstSlot = 12;
constexpr std::size_t kSlotSize = 5;

bool AnySlotInUse(const paradox::ByteView& file, std::size_t block) {
    for (std::size_t slot = 0; slot < kSlots; ++slot) {
        if (file.U8(block + kFirstSlot + slot * kSlotSize).value_or(0) != 0) {
            return true;
        }
    }
    return false;
}

} // namespace

bool BlobFileHoldsBlobs(const std::filesystem::path& mb) {
    std::string error;
    const auto file = paradox::MappedFile::Open(mb, &error);
    if (!file) {
        std::error_code ignored;
        return std::filesystem::exists(mb, ignored);
    }
    const paradox::ByteView bytes = file->View();
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto type = bytes.U8(at);
        const auto chunks = bytes.U16LE(at + 1);
        if (!type || !chunks || *chunks == 0) {
            return true;
        }
        if (*type == kSingleBlob || (*type == kSuballocated && AnySlotInUse(bytes, at))) {
            return true;
        }
        if (*type != kHeaderBlock && *type != kSuballocated && *type != kFreeBlock) {
            return true;
        }
        at += std::size_t{*chunks} * kChunk;
    }
    return false;
}

} // namespace tutil
