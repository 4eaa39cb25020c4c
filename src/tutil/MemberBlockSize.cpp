#include "tutil/MemberBlockSize.h"

#include "paradox/Header.h"
#include "paradox/MappedFile.h"

namespace tutil {

std::optional<std::uint8_t> MemberBlockSizeCode(const std::filesystem::path& file) {
    if (file.empty()) {
        return std::nullopt;
    }
    auto mapped = paradox::MappedFile::Open(file, nullptr);
    if (!mapped) {
        return std::nullopt;
    }
    paradox::FindingList ignored;
    const auto header = paradox::ParseHeader(mapped->View(), file.filename().string(), ignored);
    if (!header || !paradox::IsValidBlockSizeCode(header->blockSizeCode)) {
        return std::nullopt;
    }
    return header->blockSizeCode;
}

} // namespace tutil
