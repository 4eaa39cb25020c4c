#include "paradox/PlainBytes.h"

#include "paradox/Cipher.h"
#include "paradox/Header.h"

#include <algorithm>
#include <span>

namespace paradox {
namespace {

bool AllZero(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

} // namespace

PlainBytes PlainBytes::ForBlockFile(MappedFile file, const TableHeader& header) {
    PlainBytes bytes(std::move(file));
    const std::uint64_t size = bytes.file_.Size();
    const std::uint32_t blockSize = header.BlockSize();
    if (!header.encrypted || !IsValidBlockSizeCode(header.blockSizeCode)) {
        return bytes;
    }
    // Pieces are counted from each block's start, whatever the header's length.
    const std::uint64_t whole =
        size <= header.headerSize
            ? size
            : header.headerSize + (size - header.headerSize) / kCipherPieceSize * kCipherPieceSize;
    const ByteView stored = bytes.file_.View();
    bytes.decrypted_ = true;
    bytes.plain_.assign(stored.data(), stored.data() + whole);
    const CipherKey key = CipherKey::FromStoredValue(header.CipherKeyValue());
    const std::span<std::uint8_t> all(bytes.plain_);
    std::uint32_t number = 1;
    for (std::uint64_t offset = header.headerSize; offset < whole; offset += blockSize, ++number) {
        DecryptBlock(key, number,
                     all.subspan(offset, std::min<std::uint64_t>(blockSize, whole - offset)));
    }
    return bytes;
}

PlainBytes PlainBytes::ForBlobFile(MappedFile file, std::uint32_t tableKeyValue) {
    PlainBytes bytes(std::move(file));
    if (tableKeyValue == 0) {
        return bytes;
    }
    const ByteView stored = bytes.file_.View();
    bytes.decrypted_ = true;
    // A piece cut off by the end of the file cannot be decrypted: its bytes read as zeros, and
    // the file keeps its length so the blob file's own size checks still see the cut.
    const std::size_t whole = stored.size() / kCipherPieceSize * kCipherPieceSize;
    bytes.plain_.assign(stored.data(), stored.data() + whole);
    bytes.plain_.resize(stored.size(), 0);
    const CipherKey key = CipherKey::FromStoredValue(tableKeyValue);
    const std::span<std::uint8_t> all(bytes.plain_.data(), whole);
    for (std::size_t offset = 0; offset < whole; offset += kCipherPieceSize) {
        const auto piece = all.subspan(offset, kCipherPieceSize);
        // The writer leaves the pieces after a blob's last byte as raw zeros; an encrypted
        // piece is never all zeros in practice (its plain text would have to equal the pad).
        if (!AllZero(piece)) {
            DecryptBlobBytes(key, piece);
        }
    }
    return bytes;
}

} // namespace paradox
