#include "paradox/BlobFile.h"

#include "paradox/FieldType.h"
#include "paradox/FindingLimiter.h"
#include "paradox/TableReader.h"

#include <cstring>
#include <set>
#include <utility>

namespace paradox {
namespace {

enum BlockType : std::uint8_t { kHeader = 0, kSingle = 2, kSuballocated = 3, kFree = 4 };

constexpr std::size_t kSlotTable = 12;
constexpr std::size_t kSlotSize = 5;
constexpr std::size_t kSlots = 64;
constexpr std::size_t kFirstDataUnit = 0x150 / 16;
constexpr std::size_t kSingleHeader = 9;
constexpr std::size_t kGraphicPrefix = 8;

struct Slot {
    std::uint8_t offsetUnits;
    std::uint8_t units;
    std::uint16_t modNumber;
    std::uint8_t lastUnitLength;
    std::size_t Offset() const { return static_cast<std::size_t>(offsetUnits) * 16; }
    std::size_t Length() const {
        return units == 0 ? 0 : (static_cast<std::size_t>(units) - 1) * 16 + lastUnitLength;
    }
};

Slot ReadSlot(ByteView block, std::size_t index) {
    const std::size_t at = kSlotTable + index * kSlotSize;
    return {block.U8(at).value_or(0), block.U8(at + 1).value_or(0), block.U16LE(at + 2).value_or(0),
            block.U8(at + 4).value_or(0)};
}

// A plain header block: type 0 and one chunk. Cipher text shows this by chance once in 2^24.
bool LooksLikeHeaderBlock(ByteView file) {
    return file.U8(0) == std::uint8_t{0} && file.U16LE(1) == std::uint16_t{1};
}

} // namespace

std::unique_ptr<BlobFile> BlobFile::Open(const std::filesystem::path& path, FindingList& findings,
                                         std::uint32_t tableKeyValue) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        return nullptr;
    }
    std::string error;
    auto mapped = MappedFile::Open(path, &error);
    if (!mapped) {
        findings.Add(FindingCode::FileUnreadable, Severity::Damage, path.filename().string(), -1,
                     -1, error, true);
        return nullptr;
    }
    if (tableKeyValue != 0 && LooksLikeHeaderBlock(mapped->View())) {
        // Some writers protect the table but store its blob file plain: read it as stored.
        findings.Add(FindingCode::BlobFileBad, Severity::Suspicious, path.filename().string(), -1,
                     -1, "stored unencrypted although its table is encrypted; read as stored");
        tableKeyValue = 0;
    }
    std::unique_ptr<BlobFile> blobs(
        new BlobFile(path, PlainBytes::ForBlobFile(std::move(*mapped), tableKeyValue)));
    blobs->Walk();
    return blobs;
}

BlobFile::BlobFile(std::filesystem::path path, PlainBytes file)
    : path_(std::move(path)), fileName_(path_.filename().string()), file_(std::move(file)) {}

void BlobFile::Walk() {
    const ByteView view = file_.View();
    const std::uint64_t size = view.size();
    auto problem = [&](std::uint64_t offset, std::string detail) {
        Finding f;
        f.code = FindingCode::BlobFileBad;
        f.file = fileName_;
        f.detail = "at " + HexNumber(offset) + ": " + std::move(detail);
        if (structureProblems_.size() < kMaxStructureProblems) {
            structureProblems_.push_back(std::move(f));
        } else {
            ++structureProblemsNotKept_;
        }
    };
    if (size < kUnit) {
        problem(0, "file of " + std::to_string(size) + " bytes has no header block");
        return;
    }
    if (view.U8(0) != kHeader || view.U16LE(1) != 1) {
        problem(0, "header block has type " + std::to_string(*view.U8(0)) + " and " +
                       std::to_string(*view.U16LE(1)) + " units");
    }
    // A unit that starts no readable block is skipped and the walk goes on at the next one, so
    // one damaged block costs only its own blobs. A run of such units is one problem.
    std::uint64_t badRunStart = 0;
    std::string badRunReason;
    auto endBadRun = [&](std::uint64_t offset) {
        if (!badRunReason.empty()) {
            const std::uint64_t units = (offset - badRunStart) / kUnit;
            problem(badRunStart, badRunReason + (units > 1 ? " (and " + std::to_string(units - 1) +
                                                                 " more units start no block)"
                                                           : std::string()));
            badRunReason.clear();
        }
    };
    std::uint64_t offset = kUnit;
    while (offset < size) {
        if (size - offset < 3) {
            endBadRun(offset);
            problem(offset, "file ends inside a block header");
            return;
        }
        const std::uint8_t type = *view.U8(offset);
        const std::uint16_t units = *view.U16LE(offset + 1);
        std::string bad;
        if (type != kSingle && type != kSuballocated && type != kFree) {
            bad = "unknown block type " + std::to_string(type);
        } else if (units == 0) {
            bad = "block of 0 units";
        } else if (static_cast<std::uint64_t>(units) * kUnit > size - offset) {
            bad = "block of " + std::to_string(units) + " units runs past the end";
        }
        if (!bad.empty()) {
            if (badRunReason.empty()) {
                badRunStart = offset;
                badRunReason = std::move(bad);
            }
            offset += kUnit;
            continue;
        }
        endBadRun(offset);
        const std::uint64_t length = static_cast<std::uint64_t>(units) * kUnit;
        const ByteView block = view.Sub(offset, length);
        if (type == kSingle) {
            const std::uint32_t blobLength = *block.U32LE(3);
            if (kSingleHeader + static_cast<std::uint64_t>(blobLength) > length) {
                problem(offset, "blob of " + std::to_string(blobLength) + " bytes in " +
                                    std::to_string(units) + " units");
            }
        } else if (type == kSuballocated) {
            if (units != 1) {
                problem(offset, "suballocated block of " + std::to_string(units) + " units");
            }
            for (std::size_t i = 0; i < kSlots; ++i) {
                const Slot slot = ReadSlot(block, i);
                if (slot.offsetUnits == 0) {
                    continue;
                }
                if (slot.units == 0 || slot.lastUnitLength == 0 || slot.lastUnitLength > 16 ||
                    slot.offsetUnits < kFirstDataUnit) {
                    problem(offset, "slot " + std::to_string(i) + " is malformed");
                } else if (slot.Offset() + slot.Length() > kUnit) {
                    problem(offset, "slot " + std::to_string(i) + " data runs past the block");
                }
            }
        }
        offset += length;
    }
    endBadRun(offset);
}

void BlobFile::CheckStructure(FindingList& findings) const {
    for (const auto& f : structureProblems_) {
        findings.Add(f);
    }
    if (structureProblemsNotKept_ > 0) {
        findings.Add(FindingCode::BlobFileBad, Severity::Damage, fileName_, -1, -1,
                     std::to_string(structureProblemsNotKept_) + " more like this not listed");
    }
}

bool BlobFile::Read(const BlobRef& ref, std::uint8_t fieldType, std::vector<std::uint8_t>& out,
                    FindingList& findings, const std::string& where) const {
    out.clear();
    auto fail = [&](FindingCode code, std::string detail) {
        findings.Add(code, Severity::Damage, fileName_, -1, -1, where + ": " + detail, true);
        return false;
    };
    // The block is read through the record's own pointer, whatever the walk made of the blocks
    // around it: damage elsewhere in the file does not hide a blob that is intact.
    const ByteView view = file_.View();
    if (ref.offset % kUnit != 0 || ref.offset == 0 || ref.offset >= view.size() ||
        view.size() - ref.offset < 3) {
        return fail(FindingCode::BlobPointerBad,
                    "offset " + HexNumber(ref.offset) + " is not a block");
    }
    const std::uint8_t type = *view.U8(ref.offset);
    ByteView data;
    std::uint16_t modNumber = 0;
    if (ref.index == 0xFF) {
        if (type != kSingle) {
            return fail(FindingCode::BlobPointerBad,
                        "block at " + HexNumber(ref.offset) + " does not hold a single blob");
        }
        const std::uint16_t units = *view.U16LE(ref.offset + 1);
        const std::uint64_t blockLength = static_cast<std::uint64_t>(units) * kUnit;
        if (units == 0 || blockLength > view.size() - ref.offset) {
            return fail(FindingCode::BlobPointerBad, "block at " + HexNumber(ref.offset) + " of " +
                                                         std::to_string(units) +
                                                         " units is not in the file");
        }
        const ByteView block = view.Sub(ref.offset, static_cast<std::size_t>(blockLength));
        const std::uint32_t length = *block.U32LE(3);
        modNumber = *block.U16LE(7);
        if (length != ref.length) {
            return fail(FindingCode::BlobLengthMismatch,
                        "record says " + std::to_string(ref.length) + " bytes, blob file " +
                            std::to_string(length));
        }
        data = block.Sub(kSingleHeader, length);
        if (data.size() != length) {
            return fail(FindingCode::BlobLengthMismatch, "blob runs past its block");
        }
    } else if (ref.index < kSlots) {
        if (type != kSuballocated || view.size() - ref.offset < kUnit) {
            return fail(FindingCode::BlobPointerBad,
                        "block at " + HexNumber(ref.offset) + " is not suballocated");
        }
        const ByteView block = view.Sub(ref.offset, kUnit);
        const Slot slot = ReadSlot(block, ref.index);
        if (slot.offsetUnits == 0 || slot.lastUnitLength == 0) {
            return fail(FindingCode::BlobPointerBad,
                        "slot " + std::to_string(ref.index) + " is empty");
        }
        if (slot.Length() != ref.length) {
            return fail(FindingCode::BlobLengthMismatch,
                        "record says " + std::to_string(ref.length) + " bytes, slot " +
                            std::to_string(slot.Length()));
        }
        modNumber = slot.modNumber;
        data = block.Sub(slot.Offset(), slot.Length());
        if (data.size() != slot.Length()) {
            return fail(FindingCode::BlobPointerBad, "slot data runs past its block");
        }
    } else {
        return fail(FindingCode::BlobPointerBad, "slot index " + std::to_string(ref.index));
    }
    if (modNumber != ref.modNumber) {
        findings.Add(FindingCode::BlobModNumberMismatch, Severity::Suspicious, fileName_, -1, -1,
                     where + ": record " + std::to_string(ref.modNumber) + ", blob file " +
                         std::to_string(modNumber));
    }
    if (fieldType == static_cast<std::uint8_t>(FieldType::Memo) && ref.leaderSize > 0 &&
        data.size() > 0 &&
        std::memcmp(ref.leader, data.data(), std::min(ref.leaderSize, data.size())) != 0) {
        findings.Add(FindingCode::BlobLeaderMismatch, Severity::Suspicious, fileName_, -1, -1,
                     where);
    }
    std::size_t skip = 0;
    std::size_t length = data.size();
    if (fieldType == static_cast<std::uint8_t>(FieldType::Graphic) &&
        data.size() >= kGraphicPrefix && data.U32LE(0) == 0x01000001u) {
        skip = kGraphicPrefix;
        length = std::min<std::size_t>(*data.U32LE(4), data.size() - kGraphicPrefix);
    }
    out.assign(data.data() + skip, data.data() + skip + length);
    return true;
}

bool ReadBlobField(const std::uint8_t* field, std::uint16_t fieldLength, std::uint8_t fieldType,
                   const BlobFile* blobs, std::vector<std::uint8_t>& out, FindingList& findings,
                   const std::string& where) {
    out.clear();
    auto ref = DecodeBlobRef(field, fieldLength);
    if (!ref) {
        return false;
    }
    if (!ref->InBlobFile()) {
        if (ref->length > ref->leaderSize) {
            // Suspicious rather than damage: nothing of the blob file is broken, the record's
            // length word may simply be stale; the bytes beyond the leader are not to be had.
            findings.Add(FindingCode::BlobPointerBad, Severity::Suspicious, "", -1, -1,
                         where + ": " + std::to_string(ref->length) +
                             " bytes claimed, leader holds " + std::to_string(ref->leaderSize) +
                             " and no blob file block is named",
                         true);
            return false;
        }
        out.assign(ref->leader, ref->leader + ref->length);
        return true;
    }
    if (blobs == nullptr) {
        findings.Add(FindingCode::BlobFileMissing, "", -1, -1,
                     where + ": " + std::to_string(ref->length) +
                         " bytes live in the missing blob file",
                     true);
        return false;
    }
    return blobs->Read(*ref, fieldType, out, findings, where);
}

void CheckTableBlobs(const TableReader& table, const BlobFile* blobs, FindingList& findings) {
    const auto& fields = table.Schema().fields;
    std::vector<std::size_t> blobFields;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (IsBlobType(fields[i].typeCode) && table.FieldInRecord(i)) {
            blobFields.push_back(i);
        }
    }
    if (blobFields.empty()) {
        return;
    }
    const std::string mbName =
        blobs != nullptr ? blobs->FileName() : table.Path().stem().string() + ".MB";
    FindingLimiter report(findings, table.FileName());
    std::set<std::pair<std::uint32_t, std::uint8_t>> used;
    std::uint64_t missing = 0;
    std::vector<std::uint8_t> data;
    FindingList perBlob;
    table.ForEachRecord([&](const RecordRef& record) {
        for (std::size_t field : blobFields) {
            const std::uint8_t* bytes = record.bytes + table.FieldOffsets()[field];
            const auto ref = DecodeBlobRef(bytes, fields[field].ByteLength());
            if (!ref) {
                continue;
            }
            if (ref->InBlobFile()) {
                if (blobs == nullptr) {
                    ++missing;
                    continue;
                }
                if (ref->length <= ref->leaderSize && fields[field].typeCode == 0x0C) {
                    report.Add(FindingCode::BlobPointerBad, Severity::Suspicious, record.block,
                               record.slot,
                               fields[field].name + ": fits its leader but points into " + mbName);
                }
                if (!used.emplace(ref->offset, ref->index).second) {
                    report.Add(FindingCode::BlobShared, Severity::Suspicious, record.block,
                               record.slot,
                               fields[field].name + ": blob at " + HexNumber(ref->offset) +
                                   " slot " + std::to_string(ref->index));
                }
            }
            perBlob.Clear();
            ReadBlobField(bytes, fields[field].ByteLength(), fields[field].typeCode, blobs, data,
                          perBlob, fields[field].name);
            for (const auto& f : perBlob.All()) {
                report.Add(f.code, f.severity, record.block, record.slot, f.detail, f.dataLost);
            }
        }
    });
    if (missing > 0) {
        findings.Add(FindingCode::BlobFileMissing, Severity::Damage, mbName, -1, -1,
                     std::to_string(missing) + " blobs of " + table.FileName() + " live in it",
                     true);
    }
}

} // namespace paradox
