#pragma once

#include "paradox/Family.h"
#include "paradox/SecondaryIndexProof.h"
#include "paradox/TableReader.h"

#include <filesystem>
#include <memory>
#include <vector>

namespace tutil {

// The proofs that X files' records agree with the table, planned before the table's records are
// read so that their table side rides on the data pass (one pass over the table for both).
class DeferredProofs {
public:
    using TableSides = std::vector<paradox::SecondaryProof::TableSide>;

    DeferredProofs() = default;
    DeferredProofs(const paradox::TableReader& reader, const paradox::TableFamily& family);

    paradox::SecondaryProof* For(const std::filesystem::path& x) const;
    bool Empty() const { return proofs_.empty(); }
    bool AllAgree() const;

    // A side for each proof, for a stretch that starts after `previous` (bytes null: none).
    TableSides SidesAfter(const paradox::RecordRef& previous) const;
    void TakeTableRecord(const paradox::RecordRef& r, TableSides& sides) const {
        for (std::size_t i = 0; i < proofs_.size(); ++i) {
            proofs_[i].proof->TakeTableRecord(r, sides[i]);
        }
    }
    void AddTableSides(const TableSides& sides) const;

private:
    struct Planned {
        std::filesystem::path x;
        std::unique_ptr<paradox::SecondaryProof> proof;
    };
    std::vector<Planned> proofs_;
};

} // namespace tutil
