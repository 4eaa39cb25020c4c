#include "paradox/WriterCipher.h"

#include "paradox/Cipher.h"
#include "paradox/HeaderLayout.h"

#include <stdexcept>

namespace paradox {

WriterCipher WriterCipher::ForBlockFile(const HeaderContent& header) {
    WriterCipher cipher;
    if (header.protection.keyValue != 0) {
        cipher.kind_ = Kind::Blocks;
        cipher.keyValue_ = header.protection.keyValue;
        cipher.headerSize_ = HeaderSize(header);
        cipher.blockSize_ = header.blockSizeCode * 1024u;
    }
    return cipher;
}

WriterCipher WriterCipher::ForBlobFile(std::uint32_t keyValue) {
    WriterCipher cipher;
    if (keyValue != 0) {
        cipher.kind_ = Kind::Blob;
        cipher.keyValue_ = keyValue;
    }
    return cipher;
}

std::span<const std::uint8_t> WriterCipher::Apply(std::uint64_t offset,
                                                  std::span<const std::uint8_t> plain,
                                                  const std::filesystem::path& file) {
    if (kind_ == Kind::Plain || plain.empty()) {
        return plain;
    }
    const CipherKey key = CipherKey::FromStoredValue(keyValue_);
    if (kind_ == Kind::Blob) {
        if (offset % kCipherPieceSize != 0 || plain.size() % kCipherPieceSize != 0) {
            throw std::logic_error(file.string() + ": blob file write not in whole cipher pieces");
        }
        encrypted_.assign(plain.begin(), plain.end());
        EncryptBlobBytes(key, encrypted_);
        return encrypted_;
    }
    if (offset + plain.size() <= headerSize_) {
        return plain; // the header is never encrypted
    }
    if (offset < headerSize_ || (offset - headerSize_) % blockSize_ != 0 ||
        plain.size() % blockSize_ != 0) {
        throw std::logic_error(file.string() + ": block file write not in whole blocks");
    }
    encrypted_.assign(plain.begin(), plain.end());
    auto number = static_cast<std::uint32_t>((offset - headerSize_) / blockSize_ + 1);
    for (std::size_t at = 0; at < encrypted_.size(); at += blockSize_, ++number) {
        EncryptBlock(key, number, std::span(encrypted_).subspan(at, blockSize_));
    }
    return encrypted_;
}

} // namespace paradox
