#include "paradox/SecondaryIndexProof.h"

#include "paradox/IndexTree.h"

#include <array>
#include <cstring>
#include <random>
#include <vector>

namespace paradox {
namespace {

std::uint64_t Load64(const std::uint8_t* p) {
    std::uint64_t word = 0;
    std::memcpy(&word, p, sizeof word);
    return word;
}

std::uint32_t Load32(const std::uint8_t* p) {
    std::uint32_t word = 0;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// The `length` bytes at p (1 to 7) as a little-endian word, zeros above them.
std::uint64_t ShortWord(const std::uint8_t* p, std::size_t length) {
    if (length >= 4) {
        // Two loads that overlap: the shared bytes are the same on both sides.
        return Load32(p) | (std::uint64_t{Load32(p + length - 4)} << (8 * (length - 4)));
    }
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < length; ++i) {
        word |= std::uint64_t{p[i]} << (8 * i);
    }
    return word;
}

// a < b as byte strings of `length` bytes, without a call per record.
bool BytesLess(const std::uint8_t* a, const std::uint8_t* b, std::size_t length) {
    std::size_t at = 0;
    for (; at + 8 <= length; at += 8) {
        const std::uint64_t x = __builtin_bswap64(Load64(a + at));
        const std::uint64_t y = __builtin_bswap64(Load64(b + at));
        if (x != y) {
            return x < y;
        }
    }
    for (; at < length; ++at) {
        if (a[at] != b[at]) {
            return a[at] < b[at];
        }
    }
    return false;
}

// The two halves of the full 128-bit product, folded.
std::uint64_t Multiply(std::uint64_t a, std::uint64_t b) {
    __extension__ typedef unsigned __int128 Wide;
    const Wide product = static_cast<Wide>(a) * b;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

std::uint64_t Mix(std::uint64_t x) {
    x ^= x >> 31;
    x *= 0x7fb5d329728ea185ULL;
    x ^= x >> 27;
    x *= 0x81dadef4bc2dd44dULL;
    x ^= x >> 33;
    return x;
}

} // namespace

SecondaryProof::SecondaryProof(const TableReader& table, const std::vector<std::size_t>& source,
                               std::size_t secondary, std::size_t keyLength,
                               std::uint32_t blockNumberOffset)
    : keyLength_(keyLength), blockNumberOffset_(blockNumberOffset) {
    // X layout: the indexed values, then the key; a table record holds the key first.
    const TableHeader& t = table.Header();
    std::size_t inX = 0;
    for (std::size_t i = 0; i < secondary; ++i) {
        const std::size_t field = source[i];
        const std::size_t length = t.fields[field].ByteLength();
        segments_.push_back({table.FieldOffsets()[field], inX, length});
        inX += length;
    }
    segments_.push_back({0, blockNumberOffset - keyLength, keyLength});
    // A secret key drawn for every proof: nobody can steer a collision.
    std::random_device random;
    for (auto& word : keys_) {
        word = (std::uint64_t{random()} << 32) ^ random();
    }
    PlanWords();
}

bool SecondaryProof::SameLayout(const SecondaryProof& other) const {
    return segments_ == other.segments_ && keyLength_ == other.keyLength_ &&
           blockNumberOffset_ == other.blockNumberOffset_;
}

// The words of the hashed tuple in order: each field as 8-byte words read in place, its last
// word padded with zeros (from the word that ends with the field when there is one), so that
// neither side's layout is copied into the other's. Each pair of words has its own two keys.
void SecondaryProof::PlanWords() {
    auto add = [&](std::size_t inTable, std::size_t inX, std::size_t bytes, std::size_t shift) {
        tableWords_.push_back({static_cast<std::uint32_t>(inTable),
                               static_cast<std::uint8_t>(bytes), static_cast<std::uint8_t>(shift)});
        xWords_.push_back({static_cast<std::uint32_t>(inX), static_cast<std::uint8_t>(bytes),
                           static_cast<std::uint8_t>(shift)});
    };
    for (const Segment& s : segments_) {
        std::size_t at = 0;
        for (; at + 8 <= s.length; at += 8) {
            add(s.inTable + at, s.inX + at, 8, 0);
        }
        const std::size_t rest = s.length - at;
        if (rest == 0) {
            continue;
        }
        if (s.length >= 8) {
            add(s.inTable + s.length - 8, s.inX + s.length - 8, 8, 8 * (8 - rest));
        } else {
            add(s.inTable, s.inX, rest, 0);
        }
    }
    if (tableWords_.size() % 2 != 0) {
        add(0, 0, 0, 0);
    }
    std::size_t k = 1;
    for (std::size_t i = 0; i < tableWords_.size(); i += 2) {
        wordKeys_.push_back(keys_[k]);
        wordKeys_.push_back(keys_[k + 1]);
        k = (k + 2) % kKeys;
    }
}

// A hash of the tuple of fields made for adding up: the sums of two multisets of tuples agree
// when the multisets do, and differ otherwise except with a chance of about 2^-64.
// `seed`: BlockSeed of the block the tuple names.
std::uint64_t SecondaryProof::Hash(std::uint64_t seed, const std::uint8_t* record,
                                   const std::vector<Word>& words) const {
    auto load = [record](const Word& w) {
        return w.bytes == 8 ? Load64(record + w.offset) >> w.shift
                            : ShortWord(record + w.offset, w.bytes);
    };
    std::uint64_t sum = seed;
    const Word* word = words.data();
    const std::uint64_t* key = wordKeys_.data();
    for (std::size_t i = 0; i < words.size(); i += 2) {
        sum += Multiply(load(word[i]) ^ key[i], load(word[i + 1]) ^ key[i + 1]);
    }
    return Mix(sum);
}

std::uint64_t SecondaryProof::BlockSeed(std::uint16_t block) const {
    return Mix(keys_[0] ^ block ^ (std::uint64_t{segments_.size()} << 16));
}

void SecondaryProof::TakeX(const TableReader& x, const std::vector<std::int32_t>& position) {
    xTaken_ = true;
    x.ForEachRecord([&](const RecordRef& record) {
        const std::uint16_t number = IndexWord(record.bytes + blockNumberOffset_);
        allInChain_ = allInChain_ && number < position.size() && position[number] >= 0;
        xSum_ += Hash(BlockSeed(number), record.bytes, xWords_);
        ++xRecords_;
    });
}

void SecondaryProof::TakeTableRecord(const RecordRef& row, TableSide& side) const {
    if (side.previous != nullptr && side.previousBlock == row.block) {
        side.ascending = side.ascending && BytesLess(side.previous, row.bytes, keyLength_);
    }
    side.previous = row.bytes;
    side.previousBlock = row.block;
    if (side.seedBlock != row.block) {
        side.seedBlock = row.block;
        side.seed = BlockSeed(row.block);
    }
    side.sum += Hash(side.seed, row.bytes, tableWords_);
    ++side.records;
}

void SecondaryProof::AddTableSide(const TableSide& side) {
    table_.records += side.records;
    table_.sum += side.sum;
    table_.ascending = table_.ascending && side.ascending;
}

bool SecondaryProof::Agrees() const {
    return Possible() && table_.ascending && xRecords_ == table_.records && xSum_ == table_.sum;
}

bool SecondaryAgreesAsAWhole(const TableReader& x, const TableReader& table,
                             const std::vector<std::size_t>& source, std::size_t secondary,
                             std::size_t keyLength, std::uint32_t blockNumberOffset,
                             const std::vector<std::int32_t>& position) {
    if (x.RecordCount() != table.RecordCount()) {
        return false;
    }
    SecondaryProof proof(table, source, secondary, keyLength, blockNumberOffset);
    proof.TakeX(x, position);
    if (!proof.Possible()) {
        return false;
    }
    table.ForEachRecord([&](const RecordRef& row) { proof.TakeTableRecord(row); });
    return proof.Agrees();
}

} // namespace paradox
