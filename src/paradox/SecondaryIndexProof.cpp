#include "paradox/SecondaryIndexProof.h"

#include "paradox/IndexTree.h"

#include <array>
#include <cstring>
#include <random>

namespace paradox {
namespace {

// A hash of a sequence of bytes under a secret key, made for adding up: the sums of two
// multisets of records agree when the multisets do, and differ otherwise except with a
// chance of about 2^-64 that nobody can steer, since the key is drawn for every check.
class RecordHash {
public:
    RecordHash() {
        std::random_device random;
        for (auto& word : keys_) {
            word = (std::uint64_t{random()} << 32) ^ random();
        }
    }

    std::uint64_t operator()(std::uint16_t block, const std::uint8_t* bytes,
                             std::size_t length) const {
        std::uint64_t sum = Mix(keys_[0] ^ block ^ (std::uint64_t{length} << 16));
        std::size_t k = 1;
        std::size_t at = 0;
        for (; at + 16 <= length; at += 16, k = (k + 2) % kKeys) {
            sum += Multiply(Load(bytes + at) ^ keys_[k], Load(bytes + at + 8) ^ keys_[k + 1]);
        }
        std::uint64_t last[2] = {0, 0};
        std::memcpy(last, bytes + at, length - at);
        sum += Multiply(last[0] ^ keys_[k], last[1] ^ keys_[k + 1]);
        return Mix(sum);
    }

private:
    static constexpr std::size_t kKeys = 33;
    static std::uint64_t Load(const std::uint8_t* p) {
        std::uint64_t word = 0;
        std::memcpy(&word, p, sizeof word);
        return word;
    }
    // The two halves of the full 128-bit product, folded.
    static std::uint64_t Multiply(std::uint64_t a, std::uint64_t b) {
        __extension__ typedef unsigned __int128 Wide;
        const Wide product = static_cast<Wide>(a) * b;
        return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
    }
    static std::uint64_t Mix(std::uint64_t x) {
        x ^= x >> 31;
        x *= 0x7fb5d329728ea185ULL;
        x ^= x >> 27;
        x *= 0x81dadef4bc2dd44dULL;
        x ^= x >> 33;
        return x;
    }
    std::array<std::uint64_t, kKeys + 1> keys_{};
};

} // namespace

// Compared through sums of keyed hashes, in two passes in file order.
bool SecondaryAgreesAsAWhole(const TableReader& x, const TableReader& table,
                             const std::vector<std::size_t>& source, std::size_t secondary,
                             std::size_t keyLength, std::uint32_t blockNumberOffset,
                             const std::vector<std::int32_t>& position) {
    if (x.RecordCount() != table.RecordCount()) {
        return false;
    }
    const TableHeader& t = table.Header();
    // X layout: the indexed values, then the key: both sides are hashed in that layout.
    const std::size_t keyInX = blockNumberOffset - keyLength;
    const std::size_t hashed = blockNumberOffset;
    const RecordHash hash;
    std::uint64_t xSum = 0;
    bool allInChain = true;
    x.ForEachRecord([&](const RecordRef& record) {
        const std::uint16_t number = IndexWord(record.bytes + blockNumberOffset);
        allInChain = allInChain && number < position.size() && position[number] >= 0;
        xSum += hash(number, record.bytes, hashed);
    });
    if (!allInChain) {
        return false;
    }
    std::vector<std::uint8_t> gathered(hashed);
    std::uint64_t tableSum = 0;
    bool ascending = true;
    const std::uint8_t* previous = nullptr;
    std::uint16_t previousBlock = 0;
    table.ForEachRecord([&](const RecordRef& row) {
        if (previous != nullptr && previousBlock == row.block) {
            ascending = ascending && std::memcmp(previous, row.bytes, keyLength) < 0;
        }
        previous = row.bytes;
        previousBlock = row.block;
        std::size_t at = 0;
        for (std::size_t i = 0; i < secondary; ++i) {
            const std::size_t field = source[i];
            const std::size_t length = t.fields[field].ByteLength();
            std::memcpy(gathered.data() + at, row.bytes + table.FieldOffsets()[field], length);
            at += length;
        }
        std::memcpy(gathered.data() + keyInX, row.bytes, keyLength);
        tableSum += hash(row.block, gathered.data(), hashed);
    });
    return ascending && xSum == tableSum;
}

} // namespace paradox
