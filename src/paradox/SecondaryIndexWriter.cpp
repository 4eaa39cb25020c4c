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
}

bool SecondaryIndexWriter::Less(const std::uint8_t* a, const std::uint8_t* b) const {
    for (std::size_t i = 0; i < descending_.size(); ++i) {
        const std::size_t length = xFields_[i].ByteLength();
        const int c = std::memcmp(a + xOffsets_[i], b + xOffsets_[i], length);
        if (c != 0) {
            return descending_[i] ? c > 0 : c < 0;
        }
    }
    return false;
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
    std::vector<std::uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return Less(records_.data() + std::size_t{a} * xRecordSize_,
                    records_.data() + std::size_t{b} * xRecordSize_);
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
    const auto keyLength = static_cast<std::uint16_t>(xRecordSize_ - 2);
    WriterFile xFile(files[0]);
    BlockChainWriter chain(xFile, headerSize, x.blockSizeCode * 1024u, xRecordSize_, keyLength);
    for (std::uint32_t i : order) {
        chain.Add(std::span<const std::uint8_t>(records_.data() + std::size_t{i} * xRecordSize_,
                                                xRecordSize_));
    }
    chain.Finish();
    x.numRecords = chain.RecordCount();
    x.fileBlocks = chain.BlockCount();
    xFile.WriteAt(0, BuildHeader(x, xRecordSize_));
    xFile.Flush(sync);

    HeaderContent y;
    y.fileType = spec_.composite ? FileType::CompositeIndex : FileType::SecondaryIndex;
    y.fileVersion = x.fileVersion;
    y.blockSizeCode = spec_.blockSizeCode;
    y.fields.assign(xFields_.begin(), xFields_.end() - 1);
    y.sortOrder = x.sortOrder;
    y.tableName = files[1].filename().string();
    y.byte12 = static_cast<std::uint16_t>(table.byte12 + 3);
    y.byte2C = x.byte2D;
    WriteIndexTree(files[1], y, chain.Entries(), sync);
}

} // namespace paradox
