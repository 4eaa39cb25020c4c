#include "tutil/SecondarySpecs.h"

#include "paradox/Family.h"
#include "paradox/Header.h"
#include "paradox/MappedFile.h"

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
        // X records: the indexed fields, then the primary key and "Blk Num" (keyed tables) or
        // "Tup No", "Blk Num", "Tup Offset" (unkeyed).
        const int trailing = schema.Keyed() ? schema.keyFieldCount + 1 : 3;
        const int indexed = header->numFields - trailing;
        if (indexed <= 0 || static_cast<std::size_t>(indexed) > header->fieldNumbers.size()) {
            continue;
        }
        paradox::SecondaryIndexSpec spec;
        spec.extension = extension;
        spec.composite = extension[1] == 'G';
        spec.maintained = header->fileType == 5 || header->fileType == 8;
        spec.blockSizeCode = header->blockSizeCode;
        bool usable = true;
        for (int i = 0; i < indexed; ++i) {
            const std::uint16_t number = header->fieldNumbers[static_cast<std::size_t>(i)];
            const std::uint16_t field = number & 0x7FFF;
            if (field == 0 || field > schema.fields.size()) {
                usable = false;
                break;
            }
            spec.fieldNumbers.push_back(number);
        }
        if (!usable) {
            continue;
        }
        spec.name = spec.composite ? header->indexName
                                   : schema.fields[(spec.fieldNumbers[0] & 0x7FFF) - 1].name;
        specs.push_back(std::move(spec));
    }
    return specs;
}

} // namespace tutil
