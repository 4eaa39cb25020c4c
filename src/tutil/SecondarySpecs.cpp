#include "tutil/SecondarySpecs.h"

#include "paradox/Family.h"
#include "paradox/Header.h"
#include "paradox/MappedFile.h"
#include "paradox/SecondaryIndex.h"
#include "tutil/MemberHeader.h"

#include <algorithm>

namespace tutil {

std::vector<paradox::SecondaryIndexSpec>
ReadSecondaryIndexSpecs(const TableLocation& table, const paradox::TableSchema& schema,
                        std::vector<UnusableIndex>* unusable) {
    std::vector<paradox::SecondaryIndexSpec> specs;
    auto leaveOut = [&](const std::filesystem::path& path, std::string reason) {
        if (unusable != nullptr) {
            unusable->push_back({path.filename().string(), std::move(reason)});
        }
    };
    const paradox::TableFamily family = paradox::FindFamily(table.db);
    for (const auto& path : family.secondaries) {
        const std::string extension = paradox::UpperExtension(path);
        if (extension[0] != 'X') {
            continue;
        }
        std::string error;
        auto file = paradox::MappedFile::Open(path, &error);
        if (!file) {
            leaveOut(path, error);
            continue;
        }
        paradox::FindingList problems;
        const auto header = paradox::ParseHeader(file->View(), path.filename().string(), problems);
        if (!header || !header->IsSecondaryData()) {
            leaveOut(path, problems.Empty() ? "header is not a secondary index's"
                                            : problems.All().front().Describe());
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
            leaveOut(path, "header names no field of the table");
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
