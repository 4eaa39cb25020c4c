#include "tutil/InferredStructure.h"

#include <algorithm>
#include <system_error>

namespace tutil {
using paradox::FieldClue;
namespace {

// Records looked at when reading field types from the data: enough to see every pattern a
// column has, without reading a large table twice.
constexpr std::size_t kInferenceSample = 4000;
// Records looked at when choosing between record sizes the blocks allow.
constexpr std::size_t kSizeTrialSample = 200;
// Record sizes tried, largest first: the blocks of any real table leave only a few.
constexpr std::size_t kSizeTrials = 64;
constexpr std::uintmax_t kBlobHeaderBlock = 4096;

std::string FieldName(std::size_t i) {
    return "Field" + std::to_string(i + 1);
}

// At most `limit` records of the chain under `recordSize`, spread evenly over it; nothing is
// held for the records left out.
std::vector<const std::uint8_t*> SampleRecords(paradox::ByteView db,
                                               const paradox::BlockGeometry& g,
                                               std::uint16_t recordSize, std::size_t limit) {
    const std::size_t blockSize = g.blockSizeCode * 0x400u;
    auto forEachRecord = [&](auto&& visit) {
        for (std::size_t i = 0; i < g.chain.size(); ++i) {
            const std::int16_t last = g.lastRecordOffsets[i];
            if (last < 0) {
                continue;
            }
            const std::size_t start = g.headerSize + (g.chain[i] - 1u) * blockSize + 6;
            for (std::size_t offset = 0; offset <= static_cast<std::size_t>(last);
                 offset += recordSize) {
                if (db.Has(start + offset, recordSize)) {
                    visit(db.data() + start + offset);
                }
            }
        }
    };
    std::size_t total = 0;
    forEachRecord([&](const std::uint8_t*) { ++total; });
    const std::size_t step = total <= limit ? 1 : total / limit + 1;
    std::vector<const std::uint8_t*> sample;
    sample.reserve(std::min(total, limit));
    std::size_t n = 0;
    forEachRecord([&](const std::uint8_t* record) {
        if (n++ % step == 0 && sample.size() < limit) {
            sample.push_back(record);
        }
    });
    return sample;
}

// Of the record sizes the blocks allow, the one under which the records split into the
// fewest fields per byte: records read at the wrong size do not line up in columns.
std::optional<std::uint16_t>
InferRecordSize(paradox::ByteView db, const paradox::BlockGeometry& geometry, std::uint16_t hint) {
    const auto sizes = paradox::RecordSizesThatFit(geometry, hint);
    if (sizes.size() <= 1) {
        return sizes.empty() ? std::nullopt : std::optional<std::uint16_t>(sizes.front());
    }
    std::optional<std::uint16_t> best;
    double bestScore = 0;
    for (std::size_t i = 0; i < sizes.size() && i < kSizeTrials; ++i) {
        const std::uint16_t size = sizes[i];
        const auto records = SampleRecords(db, geometry, size, kSizeTrialSample);
        const auto fields = paradox::InferFields(records, 0, size);
        if (!fields) {
            continue;
        }
        const double score = static_cast<double>(fields->size()) / size;
        if (!best || score < bestScore) {
            best = size;
            bestScore = score;
        }
    }
    return best;
}

// A blob file with more than its header block.
bool HoldsBlobs(const std::filesystem::path& mb) {
    std::error_code ec;
    return !mb.empty() && std::filesystem::file_size(mb, ec) > kBlobHeaderBlock && !ec;
}

} // namespace

StructureCandidate InferredCandidate(const Evidence& e, paradox::ByteView db,
                                     const MergedClues& merged) {
    StructureCandidate c;
    c.source = "inference from the data blocks";
    c.inferred = true;
    if (!e.geometry) {
        c.reason = "no chain of blocks could be found to read the data from";
        return c;
    }
    std::uint32_t knownSum = 0;
    const bool allKnown =
        !merged.fields.empty() && std::all_of(merged.fields.begin(), merged.fields.end(),
                                              [&](const FieldClue& f) { return f.known; });
    for (const auto& f : merged.fields) {
        knownSum += f.known ? paradox::FieldByteLength(f.typeCode, f.sizeByte) : 0;
    }
    // The fields add up to the record size only when the header's field count survived.
    const bool countKnown = !e.own.fields.empty();
    const std::uint16_t hint = countKnown && allKnown && knownSum <= 0xFFFF
                                   ? static_cast<std::uint16_t>(knownSum)
                                   : e.own.recordSize;
    const auto recordSize = InferRecordSize(db, *e.geometry, hint);
    if (!recordSize) {
        c.reason = "the blocks hold no records to read a record size from";
        return c;
    }
    // Clues that still hold at the front and the back fix those fields; the bytes between
    // are read from the data.
    std::size_t front = 0;
    std::uint32_t frontBytes = 0;
    while (front < merged.fields.size() && merged.fields[front].known) {
        frontBytes +=
            paradox::FieldByteLength(merged.fields[front].typeCode, merged.fields[front].sizeByte);
        ++front;
    }
    std::size_t back = merged.fields.size();
    std::uint32_t backBytes = 0;
    while (back > front && merged.fields[back - 1].known) {
        backBytes += paradox::FieldByteLength(merged.fields[back - 1].typeCode,
                                              merged.fields[back - 1].sizeByte);
        --back;
    }
    // Without the header's field count the clues are only the leading fields, not all.
    if (!countKnown) {
        back = merged.fields.size();
        backBytes = 0;
    }
    if (frontBytes + backBytes > *recordSize ||
        (countKnown && front == back && frontBytes != *recordSize)) {
        frontBytes = backBytes = 0; // the clues do not fit: the whole record is read
    }
    const auto records = SampleRecords(db, *e.geometry, *recordSize, kInferenceSample);
    const auto middle = paradox::InferFields(records, frontBytes, *recordSize - backBytes);
    if (!middle) {
        c.reason = "no split of the " + std::to_string(*recordSize) +
                   "-byte records into fields fits every record";
        return c;
    }
    std::vector<paradox::FieldSpec> fields;
    auto clueField = [&](std::size_t i) {
        const FieldClue& f = merged.fields[i];
        fields.push_back({f.name, f.typeCode, f.sizeByte});
    };
    const bool useClues = frontBytes + backBytes > 0;
    for (std::size_t i = 0; useClues && i < front; ++i) {
        clueField(i);
    }
    fields.insert(fields.end(), middle->begin(), middle->end());
    for (std::size_t i = back; useClues && countKnown && i < merged.fields.size(); ++i) {
        clueField(i);
    }
    std::string madeUp;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].name.empty()) {
            fields[i].name = FieldName(i);
            madeUp += (madeUp.empty() ? "" : ", ") + fields[i].name;
        }
    }
    if (!madeUp.empty()) {
        c.source += " (names made up: " + madeUp + ")";
    }
    if (HoldsBlobs(e.family.mb) &&
        std::none_of(fields.begin(), fields.end(),
                     [](const paradox::FieldSpec& f) { return paradox::IsBlobType(f.typeCode); })) {
        // Blob fields do not show in the columns: the blobs would lose their records.
        c.reason = "the table keeps blobs in " + e.family.mb.filename().string() +
                   " but no field that points at them can be read from the data";
        return c;
    }
    c.complete = true;
    const bool keysKnown =
        merged.keyFields >= 0 && static_cast<std::size_t>(merged.keyFields) <= fields.size();
    const int keys = keysKnown ? merged.keyFields : 0;
    if (!keysKnown) {
        c.source += ", no key known: rebuilt without one";
    }
    c.schema = SchemaFrom(e, std::move(fields), keys);
    return c;
}

} // namespace tutil
