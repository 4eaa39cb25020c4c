#include "tutil/MemberHeader.h"

#include "paradox/Header.h"
#include "paradox/MappedFile.h"

namespace tutil {
namespace {

std::optional<paradox::TableHeader> MemberHeader(const std::filesystem::path& file) {
    if (file.empty()) {
        return std::nullopt;
    }
    auto mapped = paradox::MappedFile::Open(file, nullptr);
    if (!mapped) {
        return std::nullopt;
    }
    paradox::FindingList ignored;
    return paradox::ParseHeader(mapped->View(), file.filename().string(), ignored);
}

} // namespace

std::optional<std::uint8_t> MemberBlockSizeCode(const std::filesystem::path& file) {
    const auto header = MemberHeader(file);
    if (!header || !paradox::IsValidBlockSizeCode(header->blockSizeCode)) {
        return std::nullopt;
    }
    return header->blockSizeCode;
}

std::optional<std::uint32_t> MemberKeyValue(const std::filesystem::path& file) {
    const auto header = MemberHeader(file);
    if (!header || header->IsTable()) {
        return std::nullopt;
    }
    return header->CipherKeyValue();
}

} // namespace tutil
