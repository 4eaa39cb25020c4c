#include "paradox/PrimaryIndex.h"

#include "paradox/IndexTree.h"

namespace paradox {

void CheckIndexHeader(const TableHeader& table, const TableHeader& index, const std::string& file,
                      FindingList& findings) {
    if (!table.Keyed() && table.IsTable()) {
        findings.Add(FindingCode::IndexUnexpected, file, -1, -1, "the table has no key");
        return;
    }
    CheckIndexAgainstData(table, index, file, findings);
}

void CheckPrimaryIndex(const TableReader& table, const std::filesystem::path& px,
                       FindingList& findings) {
    auto index = TableReader::Open(px, findings);
    if (!index) {
        return;
    }
    if (index->Header().fileType != static_cast<std::uint8_t>(FileType::PrimaryIndex)) {
        findings.Add(FindingCode::IndexHeaderBad, Severity::Damage, index->FileName(), -1, -1,
                     "file type " + std::to_string(index->Header().fileType));
        return;
    }
    const std::size_t before = findings.All().size();
    CheckIndexHeader(table.Header(), index->Header(), index->FileName(), findings);
    bool keysUsable = true;
    for (std::size_t i = before; i < findings.All().size(); ++i) {
        const auto code = findings.All()[i].code;
        keysUsable = keysUsable && code != FindingCode::IndexKeyFieldsMismatch &&
                     code != FindingCode::IndexUnexpected;
    }
    if (keysUsable) {
        CheckIndexTree(table, *index, findings);
    }
}

} // namespace paradox
