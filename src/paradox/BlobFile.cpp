#include "paradox/BlobFile.h"

#include "paradox/BlobLayout.h"
#include "paradox/FieldType.h"
#include "paradox/FindingLimiter.h"
#include "paradox/TableBlobCheck.h"
#include "paradox/TableReader.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace paradox {

using namespace blob_layout;

namespace {

// A plain header block: type 0 and one chunk. Cipher text shows this by chance once in 2^24.
bool LooksLikeHeaderBlock(ByteView file) {
    return file.U8(0) == std::uint8_t{0} && file.U16LE(1) == std::uint16_t{1};
}

} // namespace

std::unique_ptr<BlobFile> BlobFile::Open(const std::filesystem::path& path, FindingList& findings,
                                         std::uint32_t tableKeyValue, WalkPages pages) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        return nullptr;
    }
    std::string error;
    auto mapped = MappedFile::Open(path, &error);
    if (!mapped) {
        findings.Add(FindingCode::FileUnreadable, Severity::Damage, path.filename().string(), -1,
                     -1, DetailText(error), true);
        return nullptr;
    }
    if (tableKeyValue != 0 && LooksLikeHeaderBlock(mapped->View())) {
        // Some writers protect the table but store its blob file plain: read it as stored.
        findings.Add(FindingCode::BlobFileBad, Severity::Suspicious, path.filename().string(), -1,
                     -1, Detail(DetailKind::BlobStoredPlain));
        tableKeyValue = 0;
    }
    std::unique_ptr<BlobFile> blobs(
        new BlobFile(path, PlainBytes::ForBlobFile(std::move(*mapped), tableKeyValue)));
    blobs->Walk(pages);
    return blobs;
}

BlobFile::BlobFile(std::filesystem::path path, PlainBytes file)
    : path_(std::move(path)), fileName_(path_.filename().string()), file_(std::move(file)) {}

void BlobFile::CheckStructure(FindingList& findings) const {
    for (const auto& f : structureProblems_) {
        findings.Add(f);
    }
    if (structureProblemsNotKept_ > 0) {
        findings.Add(FindingCode::BlobFileBad, Severity::Damage, fileName_, -1, -1,
                     Detail(DetailKind::MoreNotListed).Found(structureProblemsNotKept_));
    }
}

bool BlobFile::ReadInto(const BlobRef& ref, std::uint8_t fieldType, std::vector<std::uint8_t>* out,
                        FindingList& findings, const std::string& where) const {
    if (out != nullptr) {
        out->clear();
    }
    auto fail = [&](FindingCode code, FindingDetail detail) {
        findings.Add(code, Severity::Damage, fileName_, -1, -1, std::move(detail).Field(where),
                     true);
        return false;
    };
    // The block is read through the record's own pointer, whatever the walk made of the blocks
    // around it: damage elsewhere in the file does not hide a blob that is intact.
    const ByteView view = file_.View();
    if (ref.offset % kUnit != 0 || ref.offset == 0 || ref.offset >= view.size() ||
        view.size() - ref.offset < 3) {
        return fail(FindingCode::BlobPointerBad,
                    Detail(DetailKind::BlobOffsetNotBlock).Block(ref.offset));
    }
    const std::uint8_t type = *view.U8(ref.offset);
    ByteView data;
    std::uint16_t modNumber = 0;
    if (ref.index == 0xFF) {
        if (type != kSingle) {
            return fail(FindingCode::BlobPointerBad,
                        Detail(DetailKind::BlobNotSingle).Block(ref.offset));
        }
        const std::uint16_t units = *view.U16LE(ref.offset + 1);
        const std::uint64_t blockLength = static_cast<std::uint64_t>(units) * kUnit;
        if (units == 0 || blockLength > view.size() - ref.offset) {
            return fail(FindingCode::BlobPointerBad,
                        Detail(DetailKind::BlobBlockNotInFile).Block(ref.offset).Extra(units));
        }
        const ByteView block = view.Sub(ref.offset, static_cast<std::size_t>(blockLength));
        const std::uint32_t length = *block.U32LE(3);
        modNumber = *block.U16LE(7);
        if (length != ref.length) {
            return fail(FindingCode::BlobLengthMismatch,
                        Detail(DetailKind::BlobLengthInFile).Expected(ref.length).Found(length));
        }
        data = block.Sub(kSingleHeader, length);
        if (data.size() != length) {
            return fail(FindingCode::BlobLengthMismatch, Detail(DetailKind::BlobPastBlock));
        }
    } else if (ref.index < kSlots) {
        if (type != kSuballocated || view.size() - ref.offset < kUnit) {
            return fail(FindingCode::BlobPointerBad,
                        Detail(DetailKind::BlobNotSuballocated).Block(ref.offset));
        }
        const ByteView block = view.Sub(ref.offset, kUnit);
        const Slot slot = ReadSlot(block, ref.index);
        if (slot.offsetUnits == 0 || slot.lastUnitLength == 0) {
            return fail(FindingCode::BlobPointerBad,
                        Detail(DetailKind::BlobSlotEmpty).Entry(ref.index));
        }
        if (slot.Length() != ref.length) {
            return fail(
                FindingCode::BlobLengthMismatch,
                Detail(DetailKind::BlobLengthInSlot).Expected(ref.length).Found(slot.Length()));
        }
        modNumber = slot.modNumber;
        data = block.Sub(slot.Offset(), slot.Length());
        if (data.size() != slot.Length()) {
            return fail(FindingCode::BlobPointerBad, Detail(DetailKind::BlobSlotPastBlock));
        }
    } else {
        return fail(FindingCode::BlobPointerBad,
                    Detail(DetailKind::BlobSlotIndex).Entry(ref.index));
    }
    if (modNumber != ref.modNumber) {
        findings.Add(FindingCode::BlobModNumberMismatch, Severity::Suspicious, fileName_, -1, -1,
                     Detail(DetailKind::BlobModNumber)
                         .Field(where)
                         .Expected(ref.modNumber)
                         .Found(modNumber));
    }
    if (fieldType == static_cast<std::uint8_t>(FieldType::Memo) && ref.leaderSize > 0 &&
        data.size() > 0 &&
        std::memcmp(ref.leader, data.data(), std::min(ref.leaderSize, data.size())) != 0) {
        findings.Add(FindingCode::BlobLeaderMismatch, Severity::Suspicious, fileName_, -1, -1,
                     Detail(DetailKind::BlobLeader).Field(where));
    }
    if (out == nullptr) {
        return true;
    }
    std::size_t skip = 0;
    std::size_t length = data.size();
    if (fieldType == static_cast<std::uint8_t>(FieldType::Graphic) &&
        data.size() >= kGraphicPrefix && data.U32LE(0) == 0x01000001u) {
        skip = kGraphicPrefix;
        length = std::min<std::size_t>(*data.U32LE(4), data.size() - kGraphicPrefix);
    }
    out->assign(data.data() + skip, data.data() + skip + length);
    return true;
}

namespace {

// ReadBlobField of a decoded reference; `out` null: for the findings alone.
bool ReadBlobRef(const BlobRef& ref, std::uint8_t fieldType, const BlobFile* blobs,
                 std::vector<std::uint8_t>* out, FindingList& findings, const std::string& where) {
    if (!ref.InBlobFile()) {
        if (ref.length > ref.leaderSize) {
            // Suspicious rather than damage: nothing of the blob file is broken, the record's
            // length word may simply be stale; the bytes beyond the leader are not to be had.
            findings.Add(FindingCode::BlobPointerBad, Severity::Suspicious, "", -1, -1,
                         Detail(DetailKind::BlobBeyondLeader)
                             .Field(where)
                             .Found(ref.length)
                             .Extra(ref.leaderSize),
                         true);
            return false;
        }
        if (out != nullptr) {
            out->assign(ref.leader, ref.leader + ref.length);
        }
        return true;
    }
    if (blobs == nullptr) {
        findings.Add(FindingCode::BlobFileMissing, "", -1, -1,
                     Detail(DetailKind::BlobInMissingFile).Field(where).Found(ref.length), true);
        return false;
    }
    return out != nullptr ? blobs->Read(ref, fieldType, *out, findings, where)
                          : blobs->Check(ref, fieldType, findings, where);
}

} // namespace

bool ReadBlobField(const std::uint8_t* field, std::uint16_t fieldLength, std::uint8_t fieldType,
                   const BlobFile* blobs, std::vector<std::uint8_t>& out, FindingList& findings,
                   const std::string& where) {
    out.clear();
    auto ref = DecodeBlobRef(field, fieldLength);
    if (!ref) {
        return false;
    }
    return ReadBlobRef(*ref, fieldType, blobs, &out, findings, where);
}

bool CheckBlobRef(const BlobRef& ref, std::uint8_t fieldType, const BlobFile* blobs,
                  FindingList& findings, const std::string& where) {
    return ReadBlobRef(ref, fieldType, blobs, nullptr, findings, where);
}

void CheckTableBlobs(const TableReader& table, const BlobFile* blobs, FindingList& findings) {
    const TableBlobCheck check(table, blobs);
    if (!check.HasFields()) {
        return;
    }
    BlobPlacesSeen used(check.BlobFileSize());
    std::uint64_t missing = 0;
    FindingLimiter report(findings, table.FileName());
    table.ForEachRecord(
        [&](const RecordRef& record) { check.Check(record, used, report, missing); });
    check.ReportMissing(missing, findings);
}

} // namespace paradox
