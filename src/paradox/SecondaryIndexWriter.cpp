#include "paradox/SecondaryIndexWriter.h"

#include "paradox/Codec.h"
#include "paradox/IndexTreeWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <numeric>

namespace paradox {
namespace {

constexpr std::uint16_t kDescending = 0x8000;

FieldSpec ShortField(const char* name) {
    return {name, static_cast<std::uint8_t>(FieldType::Short), 2};
}

} // namespace

std::string SecondaryIndexWriter::XExtension(const SecondaryIndexSpec& spec) {
    if (!spec.extension.empty()) {
        return spec.extension;
    }
    char text[8];
    if (spec.composite) {
        std::snprintf(text, sizeof text, "XG0");
    } else {
        std::snprintf(text, sizeof text, "X%02u",
                      static_cast<unsigned>(spec.fieldNumbers.at(0) & ~kDescending) % 100u);
    }
    return text;
}

SecondaryIndexWriter::SecondaryIndexWriter(const TableSchema& table, SecondaryIndexSpec spec)
    : spec_(std::move(spec)), keyedTable_(table.Keyed()) {
    std::vector<std::uint32_t> tableOffsets;
    std::uint32_t offset = 0;
    for (const auto& f : table.fields) {
        tableOffsets.push_back(offset);
        offset += f.ByteLength();
    }
    auto copyField = [&](std::size_t index, bool descending) {
        xOffsets_.push_back(RecordSizeOf(xFields_));
        xFields_.push_back(table.fields[index]);
        sourceOffsets_.push_back(tableOffsets[index]);
        descending_.push_back(descending);
    };
    for (std::uint16_t number : spec_.fieldNumbers) {
        copyField((number & ~kDescending) - 1u, (number & kDescending) != 0);
    }
    if (keyedTable_) {
        for (std::size_t i = 0; i < table.keyFieldCount; ++i) {
            copyField(i, false);
        }
        tailOffset_ = RecordSizeOf(xFields_);
        xFields_.push_back(ShortField("Blk Num"));
    } else {
        tailOffset_ = RecordSizeOf(xFields_);
        xOffsets_.push_back(tailOffset_);
        xFields_.push_back({"Tup No", static_cast<std::uint8_t>(FieldType::Long), 4});
        descending_.push_back(false);
        xOffsets_.push_back(RecordSizeOf(xFields_));
        xFields_.push_back(ShortField("Blk Num"));
        descending_.push_back(false);
        xFields_.push_back(ShortField("Tup Offset"));
    }
    xRecordSize_ = RecordSizeOf(xFields_);
}

void SecondaryIndexWriter::Add(std::span<const std::uint8_t> record, RecordPlace place,
                               std::uint32_t recordNumber) {
    const std::size_t at = records_.size();
    records_.resize(at + xRecordSize_, 0);
    std::uint8_t* out = records_.data() + at;
    for (std::size_t i = 0; i < sourceOffsets_.size(); ++i) {
        std::memcpy(out + xOffsets_[i], record.data() + sourceOffsets_[i],
                    xFields_[i].ByteLength());
    }
    std::uint8_t* tail = out + tailOffset_;
    if (keyedTable_) {
        EncodeKbeInt(place.block, tail, 2);
    } else {
        EncodeKbeInt(recordNumber, tail, 4);
        EncodeKbeInt(place.block, tail + 4, 2);
        EncodeKbeInt(place.slot, tail + 6, 2);
    }
    FlipDescending(out);
}

// Kept in memory with descending fields inverted, so that one byte comparison of the whole
// key gives the index order; flipped back when written.
void SecondaryIndexWriter::FlipDescending(std::uint8_t* xRecord) const {
    for (std::size_t i = 0; i < descending_.size(); ++i) {
        if (descending_[i]) {
            std::uint8_t* p = xRecord + xOffsets_[i];
            for (std::size_t k = 0; k < xFields_[i].ByteLength(); ++k) {
                p[k] = static_cast<std::uint8_t>(~p[k]);
            }
        }
    }
}

std::vector<std::filesystem::path> SecondaryIndexWriter::Files(const std::filesystem::path& dir,
                                                               const std::string& stem) const {
    std::string y = XExtension(spec_);
    y[0] = 'Y';
    return {dir / (stem + "." + XExtension(spec_)), dir / (stem + "." + y)};
}

void SecondaryIndexWriter::Finish(const std::filesystem::path& dir, const std::string& stem,
                                  const HeaderContent& table, std::uint8_t primaryIndexSync,
                                  bool sync) {
    const auto count = static_cast<std::uint32_t>(records_.size() / xRecordSize_);
    const std::size_t keyLength = xRecordSize_ - 2u; // all fields but the last
    // Sorting on the first 8 key bytes held beside the record number settles most comparisons
    // without touching the records; ties fall back to the rest of the key. Every key ends in
    // the table's key or the record number, so no two records compare equal.
    struct SortEntry {
        std::uint64_t prefix;
        std::uint32_t index;
    };
    std::vector<SortEntry> order(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* key = records_.data() + std::size_t{i} * xRecordSize_;
        std::uint64_t prefix = 0;
        for (std::size_t k = 0; k < 8; ++k) {
            prefix = (prefix << 8) | (k < keyLength ? key[k] : 0u);
        }
        order[i] = {prefix, i};
    }
    const std::size_t rest = keyLength > 8 ? keyLength - 8 : 0;
    std::sort(order.begin(), order.end(), [&](const SortEntry& a, const SortEntry& b) {
        if (a.prefix != b.prefix) {
            return a.prefix < b.prefix;
        }
        const int c =
            rest == 0
                ? 0
                : std::memcmp(records_.data() + std::size_t{a.index} * xRecordSize_ + 8,
                              records_.data() + std::size_t{b.index} * xRecordSize_ + 8, rest);
        return c != 0 ? c < 0 : a.index < b.index;
    });

    const auto files = Files(dir, stem);
    HeaderContent x = table;
    x.fileType = spec_.composite
                     ? (spec_.maintained ? FileType::CompositeDataMaint : FileType::CompositeData)
                     : (spec_.maintained ? FileType::SecondaryDataMaint : FileType::SecondaryData);
    x.blockSizeCode = spec_.blockSizeCode;
    x.fields = xFields_;
    x.keyFieldCount = static_cast<std::uint16_t>(xFields_.size() - 1);
    x.indexFieldNumber = static_cast<std::uint8_t>(spec_.fieldNumbers.at(0) & ~kDescending);
    x.tableName = files[0].filename().string();
    x.fieldNumbers = spec_.fieldNumbers;
    for (std::size_t i = spec_.fieldNumbers.size(); i < xFields_.size(); ++i) {
        x.fieldNumbers.push_back(static_cast<std::uint16_t>(i + 1));
    }
    x.indexName = spec_.composite ? spec_.name : std::string();
    const bool anyDescending =
        std::find(descending_.begin(), descending_.end(), true) != descending_.end();
    x.byte55 = spec_.composite ? (anyDescending ? 0x11 : 0x01) : 0;
    x.byte12 = static_cast<std::uint16_t>(table.byte12 + 2);
    x.byte2C = 0xFF;
    x.byte2D = table.byte2D;
    x.byte2E = table.byte2E;
    x.byte2F = primaryIndexSync;

    const std::uint32_t headerSize = HeaderSize(x);
    WriterFile xFile(files[0]);
    BlockChainWriter chain(xFile, headerSize, x.blockSizeCode * 1024u, xRecordSize_,
                           static_cast<std::uint16_t>(keyLength));
    std::vector<std::uint8_t> xRecord(xRecordSize_);
    for (const SortEntry& entry : order) {
        const std::uint8_t* stored = records_.data() + std::size_t{entry.index} * xRecordSize_;
        std::copy(stored, stored + xRecordSize_, xRecord.begin());
        FlipDescending(xRecord.data());
        chain.Add(xRecord);
    }
    chain.Finish();
    x.numRecords = chain.RecordCount();
    x.fileBlocks = chain.BlockCount();
    xFile.WriteAt(0, BuildHeader(x, xRecordSize_));
    xFile.Flush(sync);

    HeaderContent y;
    y.fileType = spec_.composite ? FileType::CompositeIndex : FileType::SecondaryIndex;
    y.fileVersion = x.fileVersion;
    y.blockSizeCode = YBlockSizeCode(spec_);
    y.fields.assign(xFields_.begin(), xFields_.end() - 1);
    y.sortOrder = x.sortOrder;
    y.tableName = files[1].filename().string();
    y.byte12 = static_cast<std::uint16_t>(table.byte12 + 3);
    y.byte2C = x.byte2D;
    WriteIndexTree(files[1], y, chain.Entries(), sync);
}

} // namespace paradox
