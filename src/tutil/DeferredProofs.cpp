#include "tutil/DeferredProofs.h"

#include "paradox/SecondaryIndex.h"

#include <algorithm>

namespace tutil {

DeferredProofs::DeferredProofs(const paradox::TableReader& reader,
                               const paradox::TableFamily& family) {
    for (const auto& x : family.secondaries) {
        if (paradox::UpperExtension(x)[0] == 'X') {
            if (auto proof = paradox::PlanSecondaryProof(reader, x)) {
                proofs_.push_back({x, std::move(proof)});
            }
        }
    }
}

paradox::SecondaryProof* DeferredProofs::For(const std::filesystem::path& x) const {
    for (const Planned& planned : proofs_) {
        if (planned.x == x) {
            return planned.proof.get();
        }
    }
    return nullptr;
}

bool DeferredProofs::AllAgree() const {
    return std::all_of(proofs_.begin(), proofs_.end(),
                       [](const Planned& planned) { return planned.proof->Agrees(); });
}

DeferredProofs::TableSides DeferredProofs::SidesAfter(const paradox::RecordRef& previous) const {
    TableSides sides(proofs_.size());
    for (auto& side : sides) {
        side.previous = previous.bytes;
        side.previousBlock = previous.block;
    }
    return sides;
}

void DeferredProofs::AddTableSides(const TableSides& sides) const {
    for (std::size_t i = 0; i < proofs_.size(); ++i) {
        proofs_[i].proof->AddTableSide(sides[i]);
    }
}

} // namespace tutil
