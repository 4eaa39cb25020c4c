#include "tutil/MemberKey.h"

#include "paradox/Header.h"
#include "paradox/MappedFile.h"

namespace tutil {

std::optional<std::uint32_t> MemberKeyValue(const std::filesystem::path& file) {
    if (file.empty()) {
        return std::nullopt;
    }
    auto mapped = paradox::MappedFile::Open(file, nullptr);
    if (!mapped) {
        return std::nullopt;
    }
    paradox::FindingList ignored;
    const auto header = paradox::ParseHeader(mapped->View(), file.filename().string(), ignored);
    if (!header || header->IsTable()) {
        return std::nullopt;
    }
    return header->CipherKeyValue();
}

} // namespace tutil
