#include "paradox/KeyCompare.h"

#include "paradox/Codec.h"
#include "paradox/FieldType.h"

#include <cstring>

namespace paradox {

KeyComparator::KeyComparator(const std::vector<FieldSpec>& fields, std::size_t keyFields,
                             const Collation& collation, const std::vector<bool>& descending)
    : collation_(&collation) {
    std::uint32_t offset = 0;
    for (std::size_t i = 0; i < keyFields && i < fields.size(); ++i) {
        const std::uint32_t length = fields[i].ByteLength();
        const bool alpha = fields[i].typeCode == static_cast<std::uint8_t>(FieldType::Alpha);
        const bool down = i < descending.size() && descending[i];
        fields_.push_back({offset, length, alpha, down});
        byteOrder_ = byteOrder_ && !down && !(alpha && !collation.IsBinary());
        offset += length;
    }
    length_ = offset;
}

KeyComparator::KeyComparator(const TableSchema& schema)
    : KeyComparator(schema.fields, schema.keyFieldCount,
                    Collation::ForSortOrder(schema.sortOrder, schema.sortOrderName)) {}

int KeyComparator::Compare(const std::uint8_t* a, const std::uint8_t* b) const {
    if (byteOrder_) {
        return CompareKeyBytes(a, b, length_);
    }
    for (const Field& f : fields_) {
        int order = 0;
        if (f.alpha) {
            order = collation_->Compare(a + f.offset, f.length, b + f.offset, f.length);
            if (order == 0) { // equal values; bytes after the NUL still tell records apart
                order = std::memcmp(a + f.offset, b + f.offset, f.length);
            }
        } else {
            order = std::memcmp(a + f.offset, b + f.offset, f.length);
        }
        if (order != 0) {
            return (order < 0) != f.descending ? -1 : 1;
        }
    }
    return 0;
}

int KeyComparator::CompareFolded(const std::uint8_t* a, const std::uint8_t* b) const {
    for (const Field& f : fields_) {
        const std::uint8_t* x = a + f.offset;
        const std::uint8_t* y = b + f.offset;
        const int bytes = std::memcmp(x, y, f.length);
        if (bytes == 0) {
            continue;
        }
        const int order = f.alpha ? Collation::CompareFolded(x, f.length, y, f.length) : bytes;
        return order == 0 ? 0 : ((order < 0) != f.descending ? -1 : 1);
    }
    return 0;
}

} // namespace paradox
