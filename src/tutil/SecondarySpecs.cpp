#include "tutil/SecondarySpecs.h"

#include "paradox/Family.h"
#include "paradox/Header.h"
#include "paradox/MappedFile.h"
#include "paradox/SecondaryIndex.h"
#include "tutil/MemberBlockSize.h"

#include <algorithm>

namespace tutil {

std::vector<paradox::SecondaryIndexSpec>
ReadSecondaryIndexSpecs(const TableLocation& table, const paradox::TableSchema& schema) {
    std::vector<paradox::SecondaryIndexSpec> specs;
    const paradox::TableFamily family = paradox::FindFamily(table.db);
    for (const auto& path : family.secondaries) {
        const std::string extension = paradox::UpperExtension(path);
        if (extension[0] != 'X') {
            continue;
        }
        auto file = paradox::MappedFile::Open(path, nullptr);
        if (!file) {
            continue;
        }
        paradox::FindingList ignored;
        const auto header = paradox::ParseHeader(file->View(), path.filename().string(), ignored);
        if (!header || !header->IsSecondaryData()) {
            continue;
        }
        paradox::SecondaryIndexSpec spec =
            paradox::ReadSecondaryIndexSpec(*header, extension, schema);
        const bool usable =
            !spec.fieldNumbers.empty() &&
            std::all_of(spec.fieldNumbers.begin(), spec.fieldNumbers.end(), [&](std::uint16_t n) {
                const auto field = n & 0x7FFFu;
                return field >= 1 && field <= schema.fields.size();
            });
        if (!usable) {
            continue;
        }
        if (auto code = MemberBlockSizeCode(paradox::PairedTreeFile(family, path));
            code && *code != spec.blockSizeCode) {
            spec.indexBlockSizeCode = *code;
        }
        specs.push_back(std::move(spec));
    }
    return specs;
}

} // namespace tutil
