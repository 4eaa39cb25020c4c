#include "tutil/StructureProof.h"

#include "paradox/BlobFile.h"
#include "paradox/BlockHeader.h"
#include "paradox/Codec.h"
#include "paradox/KeyCompare.h"
#include "paradox/TableReader.h"
#include "tutil/FieldPlausibility.h"
#include "tutil/RecordValues.h"

#include <algorithm>
#include <system_error>

namespace tutil {
namespace {

constexpr std::size_t kBlobTail = 10;
constexpr std::uint32_t kBlobBlock = 4096;

std::uint32_t U32At(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool AllZero(const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (p[i] != 0) {
            return false;
        }
    }
    return true;
}

// Checks a record beyond what the value checker knows: BCD values carry their field's scale,
// blob pointers point inside the .MB.
class RecordShape {
public:
    RecordShape(const paradox::TableSchema& schema, std::uint64_t blobFileSize)
        : schema_(schema), offsets_(schema.FieldOffsets()), blobFileSize_(blobFileSize) {}

    bool Check(const std::uint8_t* record, std::string* problem) const {
        for (std::size_t i = 0; i < schema_.fields.size(); ++i) {
            const paradox::FieldSpec& field = schema_.fields[i];
            const std::uint8_t* p = record + offsets_[i];
            const std::size_t length = field.ByteLength();
            // Real files hold BCD values whose sign bits vary; the scale they repeat does not.
            if (field.Type() == paradox::FieldType::Bcd && !AllZero(p, length) &&
                (p[0] & 0x3F) != field.sizeByte) {
                *problem = Where(i) + "BCD value without its scale";
                return false;
            }
            if (paradox::IsBlobType(field.typeCode) && length >= kBlobTail) {
                const std::uint32_t pointer = U32At(p + length - kBlobTail);
                const std::uint32_t offset = pointer & 0xFFFFFF00u;
                const std::uint32_t index = pointer & 0xFFu;
                // Blocks of the blob file start on 4 KB boundaries, and a block holds 64 slots.
                // Without the blob file (reported on its own) the places cannot be checked.
                const bool shaped = offset % kBlobBlock == 0 && (index == 0xFF || index <= 63);
                const bool inside = blobFileSize_ == 0 || offset < blobFileSize_;
                if (offset != 0 && (!shaped || !inside)) {
                    *problem = Where(i) + "blob pointer " + paradox::HexNumber(pointer) +
                               (shaped ? " outside the blob file" : " that no blob can have");
                    return false;
                }
            }
        }
        return true;
    }

private:
    std::string Where(std::size_t field) const {
        return "field " + std::to_string(field + 1) + ": ";
    }
    const paradox::TableSchema& schema_;
    std::vector<std::uint32_t> offsets_;
    std::uint64_t blobFileSize_;
};

std::string Place(std::uint32_t block, std::int64_t slot) {
    return "block " + std::to_string(block) + (slot >= 0 ? " record " + std::to_string(slot) : "");
}

// "ORDERS.MB holds 10 blobs, but no field refers to blobs" when the fields have no blob field
// and the blob file stores blobs; else empty.
std::string BlobsNoFieldRefersTo(const paradox::TableSchema& schema,
                                 const std::filesystem::path& blobFile, std::uint32_t keyValue) {
    if (blobFile.empty() || schema.HasBlobs()) {
        return {};
    }
    paradox::FindingList ignored; // the blob file's own damage is the verify's to report
    const auto blobs = paradox::BlobFile::Open(blobFile, ignored, keyValue);
    if (!blobs || blobs->StoredBlobCount() == 0) {
        return {};
    }
    return blobs->FileName() + " holds " + std::to_string(blobs->StoredBlobCount()) +
           " blobs, but no field refers to blobs";
}

// A field read under a type or size it does not have shows in every record, so the records of
// blocks spread evenly over the chain decide as the whole table would, at a cost that does not
// grow with the table (verify and every rebuild ask).
void AddSampledRecords(const paradox::TableReader& reader, FieldPlausibility& plausibility) {
    constexpr std::size_t kSampledBlocks = 64;
    const auto& blocks = reader.ChainBlocks();
    const auto& counts = reader.ChainCounts();
    const std::size_t recordSize = reader.Header().recordSize;
    const std::size_t step = std::max<std::size_t>(1, blocks.size() / kSampledBlocks);
    for (std::size_t i = 0; i < blocks.size() && i < counts.size(); i += step) {
        const paradox::ByteView bytes = reader.BlockBytes(blocks[i]);
        for (std::size_t slot = 0; slot < counts[i]; ++slot) {
            const std::size_t at = paradox::kBlockHeaderSize + slot * recordSize;
            if (!bytes.Has(at, recordSize)) {
                break;
            }
            plausibility.Add(bytes.data() + at);
        }
    }
}

} // namespace

std::string StructureContradiction(const paradox::TableReader& reader,
                                   const std::filesystem::path& blobFile) {
    const paradox::TableSchema& schema = reader.Schema();
    if (schema.RecordSize() != reader.Header().recordSize) {
        return {}; // the header's own findings say the fields do not add up
    }
    FieldPlausibility plausibility(schema);
    AddSampledRecords(reader, plausibility);
    std::string contradiction =
        BlobsNoFieldRefersTo(schema, blobFile, reader.Header().CipherKeyValue());
    return contradiction.empty() ? plausibility.Contradiction() : contradiction;
}

bool ProveStructure(const std::filesystem::path& db, const paradox::TableHeader& header,
                    const std::filesystem::path& blobFile, std::string* why) {
    paradox::FindingList ignored; // the verify reports the chain's own faults
    auto reader = paradox::TableReader::OpenWithHeader(db, header, ignored);
    if (!reader) {
        *why = "the table cannot be read";
        return false;
    }
    const std::uint32_t recordSize = header.recordSize;
    const std::int32_t space = static_cast<std::int32_t>(header.BlockSize()) - 6;
    if (recordSize == 0 || static_cast<std::int32_t>(recordSize) > space) {
        *why = "record size " + std::to_string(recordSize) + " does not fit a block";
        return false;
    }
    if (reader->ChainBlocks().empty() &&
        reader->File().size() >= std::size_t{header.headerSize} + paradox::kBlockHeaderSize) {
        *why = "no block of the table can be reached under it";
        return false;
    }
    for (const std::uint16_t block : reader->ChainBlocks()) {
        const auto blockHeader = paradox::ReadBlockHeader(reader->BlockBytes(block));
        if (!blockHeader) {
            continue; // cut off by the end of the file: nothing there to contradict
        }
        const std::int32_t last = blockHeader->lastRecordOffset;
        const auto size = static_cast<std::int32_t>(recordSize);
        const bool whole = last < 0 ? last == -size : last % size == 0 && last + size <= space;
        if (!whole) {
            *why = "record size " + std::to_string(recordSize) + " does not divide the " +
                   std::to_string(last + size) + " used bytes of " + Place(block, -1);
            return false;
        }
    }
    std::uint64_t blobFileSize = 0;
    if (!blobFile.empty()) {
        std::error_code ec;
        blobFileSize = std::filesystem::file_size(blobFile, ec);
        if (ec) {
            blobFileSize = 0;
        }
    }
    const paradox::TableSchema& schema = reader->Schema();
    const ValueChecker values(schema);
    const RecordShape shape(schema, blobFileSize);
    const paradox::KeyComparator keys(schema);
    FieldPlausibility plausibility(schema);
    const std::uint8_t* previous = nullptr;
    bool holds = true;
    std::string problem;
    reader->ForEachRecord([&](const paradox::RecordRef& r) {
        if (!holds) {
            return;
        }
        paradox::FindingDetail valueProblem;
        if (!values.Check(r.bytes, &valueProblem)) {
            problem = valueProblem.Render();
        }
        if (!valueProblem.Empty() || !shape.Check(r.bytes, &problem)) {
            *why = Place(r.block, r.slot) + " does not decode: " + problem;
            holds = false;
            return;
        }
        // Under a sort order without a collation table only a descent even ignoring case is
        // sure.
        if (schema.Keyed() && previous != nullptr &&
            (keys.OrderKnown() ? keys.Compare(previous, r.bytes)
                               : keys.CompareFolded(previous, r.bytes)) > 0) {
            *why = "keys do not ascend along the chain at " + Place(r.block, r.slot);
            holds = false;
            return;
        }
        plausibility.Add(r.bytes);
        previous = r.bytes;
    });
    if (holds) {
        std::string contradiction = BlobsNoFieldRefersTo(schema, blobFile, header.CipherKeyValue());
        if (contradiction.empty()) {
            contradiction = plausibility.Contradiction();
        }
        if (!contradiction.empty()) {
            *why = "the data does not bear it out: " + contradiction;
            holds = false;
        }
    }
    if (holds && reader->FileShrank()) {
        *why = "the table changed size while it was read";
        holds = false;
    }
    return holds;
}

} // namespace tutil
