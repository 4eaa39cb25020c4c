#include "paradox/TableBlobCheck.h"

#include "paradox/BlobFile.h"
#include "paradox/BlobLayout.h"
#include "paradox/Codec.h"
#include "paradox/FieldType.h"
#include "paradox/TableReader.h"

#include <algorithm>

namespace paradox {
namespace {

std::uint32_t LittleU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

} // namespace

// A blob's offset is 32 bits: the units past 4 GB of a larger (or sparse) file are never named,
// so the tables stay within 8 MB whatever size the file claims.
BlobPlacesSeen::BlobPlacesSeen(std::uint64_t fileSize)
    : units_(static_cast<std::size_t>(std::min(fileSize, std::uint64_t{1} << 32) / BlobFile::kUnit +
                                      1)),
      slots_(units_), singles_(units_ / 64 + 1) {}

bool BlobPlacesSeen::Insert(std::uint32_t offset, std::uint8_t index) {
    const std::size_t unit = offset / BlobFile::kUnit;
    if (offset % BlobFile::kUnit == 0 && unit < units_) {
        if (index == 0xFF) {
            const std::uint64_t bit = std::uint64_t{1} << (unit % 64);
            return Note((singles_[unit / 64].fetch_or(bit, std::memory_order_relaxed) & bit) == 0);
        }
        if (index < blob_layout::kSlots) {
            const std::uint64_t bit = std::uint64_t{1} << index;
            return Note((slots_[unit].fetch_or(bit, std::memory_order_relaxed) & bit) == 0);
        }
    }
    const std::lock_guard lock(othersMutex_);
    return Note(others_.emplace(offset, index).second);
}

bool BlobPlacesSeen::Note(bool fresh) {
    if (!fresh) {
        repeated_.store(true, std::memory_order_relaxed);
    }
    return fresh;
}

TableBlobCheck::TableBlobCheck(const TableReader& table, const BlobFile* blobs)
    : table_(table), blobs_(blobs),
      mbName_(blobs != nullptr ? blobs->FileName() : table.Path().stem().string() + ".MB") {
    const auto& fields = table.Schema().fields;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        // A field too short for the 10-byte pointer refers to nothing.
        if (IsBlobType(fields[i].typeCode) && table.FieldInRecord(i) &&
            fields[i].ByteLength() >= 10) {
            fields_.push_back({table.FieldOffsets()[i], fields[i].ByteLength(), fields[i].typeCode,
                               &fields[i].name});
        }
    }
}

std::uint64_t TableBlobCheck::BlobFileSize() const {
    return blobs_ != nullptr ? blobs_->Size() : 0;
}

void TableBlobCheck::Check(const RecordRef& record, BlobPlacesSeen& used, FindingLimiter& report,
                           std::uint64_t& missing) const {
    for (const Field& field : fields_) {
        const std::uint8_t* tail = record.bytes + field.offset + field.length - 10;
        // Most fields: empty, or all in the leader; nothing to look at.
        if (LittleU32(tail) == 0 && LittleU32(tail + 4) <= field.length - 10u) {
            continue;
        }
        const BlobRef ref = *DecodeBlobRef(record.bytes + field.offset, field.length);
        if (ref.InBlobFile()) {
            if (blobs_ == nullptr) {
                ++missing;
                continue;
            }
            if (ref.length <= ref.leaderSize && field.type == 0x0C) {
                report.Add(FindingCode::BlobPointerBad, Severity::Suspicious, record.block,
                           record.slot,
                           Detail(DetailKind::BlobFitsLeader).Field(*field.name).Extra(mbName_));
            }
            if (!used.Insert(ref.offset, ref.index)) {
                report.Add(FindingCode::BlobShared, Severity::Suspicious, record.block, record.slot,
                           Detail(DetailKind::BlobSharedAt)
                               .Field(*field.name)
                               .Block(ref.offset)
                               .Entry(ref.index));
            }
        }
        FindingList perBlob;
        CheckBlobRef(ref, field.type, blobs_, perBlob, *field.name);
        for (const auto& f : perBlob.All()) {
            report.Add(f.code, f.severity, record.block, record.slot, f.detail, f.dataLost);
        }
    }
}

void TableBlobCheck::ReportMissing(std::uint64_t missing, FindingList& findings) const {
    if (missing > 0) {
        findings.Add(
            FindingCode::BlobFileMissing, Severity::Damage, mbName_, -1, -1,
            Detail(DetailKind::BlobsLiveInMissingFile).Found(missing).Extra(table_.FileName()),
            true);
    }
}

} // namespace paradox
