// The order of a secondary index's X records under the table's collation, and the
// upper-casing of a case-insensitive index's values (SecondaryIndexWriter).
#include "paradox/FieldType.h"
#include "paradox/SecondaryIndexWriter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>

namespace paradox {

void SecondaryIndexWriter::ChooseOrder() {
    const std::size_t indexed = spec_.fieldNumbers.size();
    const std::size_t keyFields = xFields_.size() - 1;
    byteOrder_ = true;
    for (std::size_t i = 0; i < keyFields; ++i) {
        const bool alpha = xFields_[i].typeCode == static_cast<std::uint8_t>(FieldType::Alpha);
        if (!alpha) {
            continue;
        }
        byteOrder_ = byteOrder_ && !(collation_->GetKind() == Collation::Kind::Weighted);
        if (spec_.caseInsensitive && i < indexed) {
            upperFields_.push_back(i);
        }
    }
}

int SecondaryIndexWriter::CompareStored(const std::uint8_t* a, const std::uint8_t* b) const {
    const std::size_t keyFields = xFields_.size() - 1;
    for (std::size_t i = 0; i < keyFields; ++i) {
        const std::size_t length = xFields_[i].ByteLength();
        const std::uint8_t* x = a + xOffsets_[i];
        const std::uint8_t* y = b + xOffsets_[i];
        int order = 0;
        const bool descending = i < descending_.size() && descending_[i];
        if (xFields_[i].typeCode != static_cast<std::uint8_t>(FieldType::Alpha)) {
            order = std::memcmp(x, y, length); // inverted bytes sort descending by themselves
        } else if (!descending) {
            order = collation_->Compare(x, length, y, length);
        } else {
            std::array<std::uint8_t, 256> ux{};
            std::array<std::uint8_t, 256> uy{};
            for (std::size_t k = 0; k < length && k < ux.size(); ++k) {
                ux[k] = static_cast<std::uint8_t>(~x[k]);
                uy[k] = static_cast<std::uint8_t>(~y[k]);
            }
            order = -collation_->Compare(ux.data(), length, uy.data(), length);
        }
        if (order == 0) {
            // Equal values: the bytes after the NUL still tell entries apart, as the checks of
            // the index order compare them (inverted bytes give the descending order).
            order = std::memcmp(x, y, length);
        }
        if (order != 0) {
            return order < 0 ? -1 : 1;
        }
    }
    return 0;
}

std::vector<std::uint32_t>
SecondaryIndexWriter::CollatedOrder(const std::vector<std::uint8_t>& records) const {
    const auto count = static_cast<std::uint32_t>(records.size() / xRecordSize_);
    std::vector<std::uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return CompareStored(records.data() + std::size_t{a} * xRecordSize_,
                             records.data() + std::size_t{b} * xRecordSize_) < 0;
    });
    return order;
}

} // namespace paradox
