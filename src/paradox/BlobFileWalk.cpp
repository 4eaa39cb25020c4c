#include "paradox/BlobFile.h"
#include "paradox/BlobLayout.h"

#include <string>
#include <utility>

namespace paradox {

using namespace blob_layout;

namespace {

// A run of units that start no readable block, reported as one problem when it ends.
class BadRun {
public:
    // Notes a unit that starts no block; the reason of the run's first unit is the one kept.
    void Add(std::uint64_t offset, std::string reason) {
        if (reason_.empty()) {
            start_ = offset;
            reason_ = std::move(reason);
        }
    }
    // Ends the run (if any) at `offset`; `problem(start, detail)` reports it.
    template <typename Report> void End(std::uint64_t offset, Report problem) {
        if (reason_.empty()) {
            return;
        }
        const std::uint64_t units = (offset - start_) / BlobFile::kUnit;
        problem(start_, reason_ + (units > 1 ? " (and " + std::to_string(units - 1) +
                                                   " more units start no block)"
                                             : std::string()));
        reason_.clear();
    }

private:
    std::uint64_t start_ = 0;
    std::string reason_;
};

// Why the block header at `offset` starts no readable block; empty when it does.
std::string BlockHeaderProblem(std::uint8_t type, std::uint16_t units, std::uint64_t room) {
    if (type != kSingle && type != kSuballocated && type != kFree) {
        return "unknown block type " + std::to_string(type);
    }
    if (units == 0) {
        return "block of 0 units";
    }
    if (static_cast<std::uint64_t>(units) * BlobFile::kUnit > room) {
        return "block of " + std::to_string(units) + " units runs past the end";
    }
    return {};
}

} // namespace

std::string BlobFileProblemAt(std::uint64_t offset, const std::string& what) {
    return "at " + HexNumber(offset) + ": " + what;
}

std::string BlobHeaderBlockProblem(ByteView start, std::uint64_t fileSize) {
    if (fileSize < BlobFile::kUnit || start.size() < 3) {
        return "file of " + std::to_string(fileSize) + " bytes has no header block";
    }
    if (*start.U8(0) != kHeader || *start.U16LE(1) != 1) {
        return "header block has type " + std::to_string(*start.U8(0)) + " and " +
               std::to_string(*start.U16LE(1)) + " units";
    }
    return {};
}

void BlobFile::AddStructureProblem(std::uint64_t offset, std::string detail) {
    Finding f;
    f.code = FindingCode::BlobFileBad;
    f.file = fileName_;
    f.detail = BlobFileProblemAt(offset, detail);
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
            AddStructureProblem(offset, "blob of " + std::to_string(blobLength) + " bytes in " +
                                            std::to_string(units) + " units");
        }
    } else if (type == kSuballocated) {
        if (units != 1) {
            AddStructureProblem(offset,
                                "suballocated block of " + std::to_string(units) + " units");
        }
        for (std::size_t i = 0; i < kSlots; ++i) {
            const Slot slot = ReadSlot(block, i);
            if (slot.offsetUnits == 0) {
                continue;
            }
            ++storedBlobs_;
            if (slot.units == 0 || slot.lastUnitLength == 0 || slot.lastUnitLength > 16 ||
                slot.offsetUnits < kFirstDataUnit) {
                AddStructureProblem(offset, "slot " + std::to_string(i) + " is malformed");
            } else if (slot.Offset() + slot.Length() > kUnit) {
                AddStructureProblem(offset,
                                    "slot " + std::to_string(i) + " data runs past the block");
            }
        }
    }
}

void BlobFile::Walk(WalkPages pages) {
    const ByteView view = file_.View();
    const std::uint64_t size = view.size();
    if (std::string problem = BlobHeaderBlockProblem(view, size); !problem.empty()) {
        AddStructureProblem(0, std::move(problem));
        if (size < kUnit) {
            return;
        }
    }
    // A unit that starts no readable block is skipped and the walk goes on at the next one, so
    // one damaged block costs only its own blobs. A run of such units is one problem.
    BadRun badRun;
    const auto report = [this](std::uint64_t at, std::string detail) {
        AddStructureProblem(at, std::move(detail));
    };
    std::uint64_t offset = kUnit;
    std::uint64_t nextDrop = kWalkDropBytes;
    while (offset < size) {
        if (pages == WalkPages::Drop && offset >= nextDrop) {
            file_.DropResidentPages();
            nextDrop = offset + kWalkDropBytes;
        }
        if (size - offset < 3) {
            badRun.End(offset, report);
            AddStructureProblem(offset, "file ends inside a block header");
            return;
        }
        const std::uint8_t type = *view.U8(offset);
        const std::uint16_t units = *view.U16LE(offset + 1);
        if (std::string bad = BlockHeaderProblem(type, units, size - offset); !bad.empty()) {
            badRun.Add(offset, std::move(bad));
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
