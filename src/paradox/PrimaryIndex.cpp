#include "paradox/PrimaryIndex.h"

#include "paradox/IndexTree.h"

namespace paradox {

bool CheckIndexHeader(const TableHeader& table, const TableHeader& index, const std::string& file,
                      FindingList& findings) {
    if (!table.Keyed() && table.IsTable()) {
        findings.Add(FindingCode::IndexUnexpected, file, -1, -1, Detail(DetailKind::TableHasNoKey));
        return false;
    }
    return CheckIndexAgainstData(table, index, file, findings);
}

void CheckPrimaryIndex(const TableReader& table, const std::filesystem::path& px,
                       FindingList& findings) {
    auto index = TableReader::Open(px, findings);
    if (!index) {
        return;
    }
    if (index->Header().fileType != static_cast<std::uint8_t>(FileType::PrimaryIndex)) {
        findings.Add(FindingCode::IndexHeaderBad, Severity::Damage, index->FileName(), -1, -1,
                     Detail(DetailKind::FileType).Found(index->Header().fileType));
        return;
    }
    if (CheckIndexHeader(table.Header(), index->Header(), index->FileName(), findings)) {
        CheckIndexTree(table, *index, findings);
    }
}

} // namespace paradox
