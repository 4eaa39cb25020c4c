#include "paradox/PlainBytes.h"

#include "paradox/Cipher.h"
#include "paradox/Header.h"

#include <algorithm>
#include <cstring>
#include <sys/mman.h>

namespace paradox {
namespace {

bool AllZero(const std::uint8_t* bytes, std::size_t length) {
    return std::all_of(bytes, bytes + length, [](std::uint8_t b) { return b == 0; });
}

// The copy is written once, front to back: large pages spare most of the page faults of
// filling it (a hint; the kernel may ignore it).
void PreferLargePages(std::uint8_t* data, std::size_t size) {
    constexpr std::uintptr_t kLargePage = 2u << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t last = (begin + size) & ~(kLargePage - 1);
    if (last > first) {
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
}

} // namespace

ByteView PlainBytes::Block(const TableHeader& header, ByteView file, std::uint32_t block,
                           std::size_t length, std::vector<std::uint8_t>& copy) {
    if (block == 0 || !IsValidBlockSizeCode(header.blockSizeCode)) {
        return {};
    }
    const std::uint64_t offset = header.headerSize + std::uint64_t{block - 1} * header.BlockSize();
    if (offset > file.size()) {
        return {};
    }
    const std::size_t wanted = std::min<std::size_t>(length, header.BlockSize());
    const ByteView stored = file.SubClipped(static_cast<std::size_t>(offset), wanted);
    if (!header.encrypted) {
        return stored;
    }
    // Pieces are counted from the block's start: decrypt the pieces that cover `wanted`.
    const ByteView pieces =
        file.SubClipped(static_cast<std::size_t>(offset), (stored.size() + kCipherPieceSize - 1) /
                                                              kCipherPieceSize * kCipherPieceSize);
    // A piece cut off by the end of the file cannot be decrypted and is left out.
    copy.assign(pieces.data(), pieces.data() + pieces.size() / kCipherPieceSize * kCipherPieceSize);
    DecryptBlock(CipherKey::FromStoredValue(header.CipherKeyValue()), block, copy);
    return ByteView(copy.data(), std::min(copy.size(), stored.size()));
}

void PlainBytes::Allocate(std::size_t size) {
    decrypted_ = true;
    plainSize_ = size;
    plain_ = std::make_unique_for_overwrite<std::uint8_t[]>(std::max<std::size_t>(size, 1));
    PreferLargePages(plain_.get(), size);
}

PlainBytes PlainBytes::ForBlockFile(MappedFile file, const TableHeader& header) {
    PlainBytes bytes(std::move(file));
    if (!header.encrypted || !IsValidBlockSizeCode(header.blockSizeCode)) {
        return bytes;
    }
    const ByteView stored = bytes.file_.View();
    const std::size_t size = stored.size();
    const std::size_t headerSize = std::min<std::size_t>(size, header.headerSize);
    // Pieces are counted from each block's start, whatever the header's length; a piece cut
    // off by the end of the file is left out.
    // Nothing past the last block a table can number is ever read: a larger file (hostile or
    // sparse) costs no memory beyond that.
    const std::size_t readable =
        std::min(size - headerSize, std::size_t{kMaxBlockCount} * header.BlockSize());
    const std::size_t whole = headerSize + readable / kCipherPieceSize * kCipherPieceSize;
    bytes.Allocate(whole);
    std::uint8_t* const out = bytes.plain_.get();
    std::memcpy(out, stored.data(), headerSize);
    const BlockDecrypter decrypter(CipherKey::FromStoredValue(header.CipherKeyValue()));
    const std::size_t blockSize = header.BlockSize();
    std::uint32_t number = 1;
    for (std::size_t offset = headerSize; offset < whole; offset += blockSize, ++number) {
        decrypter.Decrypt(number, stored.data() + offset, out + offset,
                          std::min(blockSize, whole - offset));
    }
    return bytes;
}

PlainBytes PlainBytes::ForBlobFile(MappedFile file, std::uint32_t tableKeyValue) {
    PlainBytes bytes(std::move(file));
    if (tableKeyValue == 0) {
        return bytes;
    }
    const ByteView stored = bytes.file_.View();
    const std::size_t size = stored.size();
    bytes.Allocate(size);
    std::uint8_t* const out = bytes.plain_.get();
    const BlockDecrypter decrypter(CipherKey::FromStoredValue(tableKeyValue));
    std::size_t offset = 0;
    for (; offset + kCipherPieceSize <= size; offset += kCipherPieceSize) {
        const std::uint8_t* in = stored.data() + offset;
        // The writer leaves the pieces after a blob's last byte as raw zeros; an encrypted
        // piece is never all zeros in practice (its plain text would have to equal the pad).
        if (AllZero(in, kCipherPieceSize)) {
            std::memset(out + offset, 0, kCipherPieceSize);
        } else {
            decrypter.DecryptBlobPiece(in, out + offset);
        }
    }
    // A piece cut off by the end of the file cannot be decrypted: it reads as zeros, and the
    // file keeps its length so the blob file's own size checks still see the cut.
    std::memset(out + offset, 0, size - offset);
    return bytes;
}

} // namespace paradox
