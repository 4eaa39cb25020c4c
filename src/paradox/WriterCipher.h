#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace paradox {

struct HeaderContent;

// How the writer encrypts one file of a protected table: the blocks of a block file (.DB,
// .PX, .Xnn/.Ynn) each for the physical number of the slot it is written to, the header left
// plain; or a blob file (.MB) whole, in pieces from offset 0. A plain file passes through.
class WriterCipher {
public:
    WriterCipher() = default; // plain
    // `header` gives the key, the header size and the block size; plain when its key is 0.
    static WriterCipher ForBlockFile(const HeaderContent& header);
    static WriterCipher ForBlobFile(std::uint32_t keyValue);

    // The bytes to store for `plain` written at `offset`: `plain` itself for a plain file or
    // the header area, else an encrypted copy that stays valid until the next call. Throws
    // std::logic_error for a write that is not whole blocks (whole 256-byte pieces for a blob
    // file) at their places: nothing of a protected table may reach the disk unencrypted.
    std::span<const std::uint8_t> Apply(std::uint64_t offset, std::span<const std::uint8_t> plain,
                                        const std::filesystem::path& file);

private:
    enum class Kind : std::uint8_t { Plain, Blocks, Blob };

    Kind kind_ = Kind::Plain;
    std::uint32_t keyValue_ = 0;
    std::uint32_t headerSize_ = 0;
    std::uint32_t blockSize_ = 0;
    std::vector<std::uint8_t> encrypted_;
};

} // namespace paradox
