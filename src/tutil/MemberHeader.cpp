#include "tutil/MemberHeader.h"

#include "paradox/Header.h"
#include "paradox/MappedFile.h"
#include "paradox/NameCase.h"

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

std::map<std::string, paradox::KeptHeader> KeptFamilyHeaders(const paradox::TableFamily& family,
                                                             const paradox::TableHeader* table) {
    std::map<std::string, paradox::KeptHeader> kept;
    if (table != nullptr && table->IsTable()) {
        kept["DB"] = paradox::KeepableHeaderBytes(*table);
    }
    std::vector<std::filesystem::path> indexes = family.secondaries;
    indexes.push_back(family.px);
    for (const auto& file : indexes) {
        const auto header = MemberHeader(file);
        if (header && !header->IsTable()) {
            kept[paradox::UpperExtension(file)] = paradox::KeepableHeaderBytes(*header);
        }
    }
    return kept;
}

} // namespace tutil
