#include "paradox/BlobFile.h"
#include "paradox/BlobLayout.h"

#include <string>
#include <utility>

namespace paradox {

using namespace blob_layout;

namespace {

// The same reason for a run of more than one unit.
DetailKind RunKind(DetailKind kind) {
    switch (kind) {
    case DetailKind::BlobUnknownType:
        return DetailKind::BlobUnknownTypeRun;
    case DetailKind::BlobZeroUnits:
        return DetailKind::BlobZeroUnitsRun;
    default:
        return DetailKind::BlobUnitsPastEndRun;
    }
}

// A run of units that start no readable block, reported as one problem when it ends.
class BadRun {
public:
    // Notes a unit that starts no block; the reason of the run's first unit is the one kept.
    void Add(FindingDetail reason) {
        if (reason_.Empty()) {
            reason_ = std::move(reason);
        }
    }
    // Ends the run (if any) at `offset`; `problem(detail)` reports it.
    template <typename Report> void End(std::uint64_t offset, Report problem) {
        if (reason_.Empty()) {
            return;
        }
        const auto start = static_cast<std::uint64_t>(std::get<std::int64_t>(reason_.block));
        const std::uint64_t units = (offset - start) / BlobFile::kUnit;
        if (units > 1) {
            reason_.kind = RunKind(reason_.kind);
            reason_.extra = static_cast<std::int64_t>(units - 1);
        }
        problem(std::move(reason_));
        reason_ = {};
    }

private:
    FindingDetail reason_;
};

// Why the block header at `offset` starts no readable block; none when it does.
FindingDetail BlockHeaderProblem(std::uint64_t offset, std::uint8_t type, std::uint16_t units,
                                 std::uint64_t room) {
    if (type != kSingle && type != kSuballocated && type != kFree) {
        return Detail(DetailKind::BlobUnknownType).Block(offset).Found(type);
    }
    if (units == 0) {
        return Detail(DetailKind::BlobZeroUnits).Block(offset);
    }
    if (static_cast<std::uint64_t>(units) * BlobFile::kUnit > room) {
        return Detail(DetailKind::BlobUnitsPastEnd).Block(offset).Found(units);
    }
    return {};
}

} // namespace

FindingDetail BlobHeaderBlockProblem(ByteView start, std::uint64_t fileSize) {
    if (fileSize < BlobFile::kUnit || start.size() < 3) {
        return Detail(DetailKind::BlobNoHeaderBlock).Block(0).Found(fileSize);
    }
    if (*start.U8(0) != kHeader || *start.U16LE(1) != 1) {
        return Detail(DetailKind::BlobHeaderBlockType)
            .Block(0)
            .Found(*start.U8(0))
            .Extra(*start.U16LE(1));
    }
    return {};
}

void BlobFile::AddStructureProblem(FindingDetail detail) {
    Finding f;
    f.code = FindingCode::BlobFileBad;
    f.file = fileName_;
    f.detail = std::move(detail);
    if (structureProblems_.size() < kMaxStructureProblems) {
        structureProblems_.push_back(std::move(f));
    } else {
        ++structureProblemsNotKept_;
    }
}

void BlobFile::CheckBlockContent(std::uint64_t offset, std::uint8_t type, std::uint16_t units,
                                 ByteView block) {
    if (type == kSingle) {
        ++storedBlobs_;
        const std::uint32_t blobLength = *block.U32LE(3);
        if (kSingleHeader + static_cast<std::uint64_t>(blobLength) > block.size()) {
            AddStructureProblem(Detail(DetailKind::BlobTooLongForBlock)
                                    .Block(offset)
                                    .Found(blobLength)
                                    .Extra(units));
        }
    } else if (type == kSuballocated) {
        if (units != 1) {
            AddStructureProblem(
                Detail(DetailKind::BlobSuballocatedUnits).Block(offset).Found(units));
        }
        for (std::size_t i = 0; i < kSlots; ++i) {
            const Slot slot = ReadSlot(block, i);
            if (slot.offsetUnits == 0) {
                continue;
            }
            ++storedBlobs_;
            if (slot.units == 0 || slot.lastUnitLength == 0 || slot.lastUnitLength > 16 ||
                slot.offsetUnits < kFirstDataUnit) {
                AddStructureProblem(Detail(DetailKind::BlobSlotMalformed).Block(offset).Entry(i));
            } else if (slot.Offset() + slot.Length() > kUnit) {
                AddStructureProblem(
                    Detail(DetailKind::BlobSlotDataPastBlock).Block(offset).Entry(i));
            }
        }
    }
}

void BlobFile::Walk(WalkPages pages) {
    const ByteView view = file_.View();
    const std::uint64_t size = view.size();
    if (FindingDetail problem = BlobHeaderBlockProblem(view, size); !problem.Empty()) {
        AddStructureProblem(std::move(problem));
        if (size < kUnit) {
            return;
        }
    }
    // A unit that starts no readable block is skipped and the walk goes on at the next one, so
    // one damaged block costs only its own blobs. A run of such units is one problem.
    BadRun badRun;
    const auto report = [this](FindingDetail detail) { AddStructureProblem(std::move(detail)); };
    std::uint64_t offset = kUnit;
    std::uint64_t nextDrop = kWalkDropBytes;
    while (offset < size) {
        if (pages == WalkPages::Drop && offset >= nextDrop) {
            file_.DropResidentPages();
            nextDrop = offset + kWalkDropBytes;
        }
        if (size - offset < 3) {
            badRun.End(offset, report);
            AddStructureProblem(Detail(DetailKind::BlobFileEndsInBlockHeader).Block(offset));
            return;
        }
        const std::uint8_t type = *view.U8(offset);
        const std::uint16_t units = *view.U16LE(offset + 1);
        if (FindingDetail bad = BlockHeaderProblem(offset, type, units, size - offset);
            !bad.Empty()) {
            badRun.Add(std::move(bad));
            offset += kUnit;
            continue;
        }
        badRun.End(offset, report);
        const std::uint64_t length = static_cast<std::uint64_t>(units) * kUnit;
        CheckBlockContent(offset, type, units, view.Sub(offset, length));
        offset += length;
    }
    badRun.End(offset, report);
}

} // namespace paradox
