#include "tutil/DataPass.h"

#include "engine/ErrorCodes.h"
#include "tutil/UtilityError.h"

#include <algorithm>
#include <numeric>
#include <string>

namespace tutil {

using paradox::FindingCode;
using paradox::Severity;

namespace {

std::atomic<bool> lastFirst{false};

bool RecordsCheckable(const paradox::TableReader& reader) {
    // Otherwise the header findings already say the fields do not add up.
    const paradox::TableSchema& schema = reader.Schema();
    return schema.RecordSize() == reader.Header().recordSize && !schema.fields.empty();
}

} // namespace

DataPass::Stretch::Stretch(const paradox::TableReader& reader, std::size_t first, std::size_t end,
                           const DeferredProofs& proofs)
    : first(first), end(end), previous(reader.LastRecordBefore(first)),
      values(valueList, reader.FileName()), blobs(blobList, reader.FileName()),
      sides(proofs.SidesAfter(previous)) {}

DataPass::DataPass(const paradox::TableReader& reader, const paradox::TableFamily& family,
                   const DeferredProofs& proofs, std::size_t stretches)
    : reader_(reader), family_(family), proofs_(proofs), checkable_(RecordsCheckable(reader)),
      values_(reader.Schema()), keys_(reader.Schema()) {
    if (checkable_ || reader.Schema().HasBlobs() || !proofs.Empty()) {
        CutChain(std::max<std::size_t>(stretches, 1));
    }
}

void DataPass::CutChain(std::size_t most) {
    const auto& counts = reader_.ChainCounts();
    const std::uint64_t total = std::accumulate(counts.begin(), counts.end(), std::uint64_t{0});
    const std::uint64_t each = std::max<std::uint64_t>((total + most - 1) / most, 1);
    std::size_t first = 0;
    std::uint64_t taken = 0;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        taken += counts[i];
        if (taken >= each && i + 1 < counts.size()) {
            stretches_.push_back(std::make_unique<Stretch>(reader_, first, i + 1, proofs_));
            first = i + 1;
            taken = 0;
        }
    }
    stretches_.push_back(std::make_unique<Stretch>(reader_, first, counts.size(), proofs_));
}

void DataPass::OpenBlobFile() {
    if (!reader_.Schema().HasBlobs()) {
        return;
    }
    if (!family_.mb.empty()) {
        blobFile_ = paradox::BlobFile::Open(family_.mb, blobFileFindings_,
                                            reader_.Header().CipherKeyValue());
    }
    if (blobFile_) {
        blobFile_->CheckStructure(blobFileFindings_);
    }
    blobCheck_.emplace(reader_, blobFile_.get());
    places_.emplace(blobCheck_->BlobFileSize());
}

void DataPass::Work(const std::function<void()>& every) {
    std::call_once(blobFileOpened_, [this] { OpenBlobFile(); });
    for (;;) {
        const std::size_t at = next_.fetch_add(1, std::memory_order_relaxed);
        if (at >= stretches_.size() || stopped_.load(std::memory_order_relaxed)) {
            return;
        }
        Check(*stretches_[lastFirst.load(std::memory_order_relaxed) ? stretches_.size() - 1 - at
                                                                    : at],
              every);
    }
}

void DataPass::Check(Stretch& stretch, const std::function<void()>& every) {
    const paradox::TableBlobCheck* blobs =
        blobCheck_ && blobCheck_->HasFields() ? &*blobCheck_ : nullptr;
    const std::uint8_t* previous = stretch.previous.bytes;
    paradox::FindingDetail problem;
    std::uint32_t uncounted = 0;
    // Written at every record: a copy made by this thread, so that it shares no cache line with
    // the stretch another thread checks at the same time.
    DeferredProofs::TableSides sides = stretch.sides;
    reader_.ForEachRecordIn(stretch.first, stretch.end, [&](const paradox::RecordRef& r) {
        proofs_.TakeTableRecord(r, sides);
        if (checkable_) {
            if (!values_.Check(r.bytes, &problem)) {
                stretch.values.Add(FindingCode::BadValue, Severity::Damage, r.block, r.slot,
                                   problem);
            }
            if (keys_.Active() && previous != nullptr) {
                keys_.Check(previous, r.bytes, r.block, r.slot, stretch.values);
            }
            previous = r.bytes;
        }
        if (blobs != nullptr) {
            blobs->Check(r, *places_, stretch.blobs, stretch.missing);
        }
        if (++uncounted == 1024) {
            recordsDone_.fetch_add(uncounted, std::memory_order_relaxed);
            uncounted = 0;
            if (every) {
                every();
            }
        }
    });
    recordsDone_.fetch_add(uncounted, std::memory_order_relaxed);
    stretch.sides = std::move(sides);
}

void DataPass::Finish(paradox::FindingList& findings) {
    std::call_once(blobFileOpened_, [this] { OpenBlobFile(); });
    if (stretches_.size() > 1 && places_ && places_->Repeated()) {
        // Which of two records referring to one blob comes second is known only to a pass
        // over the chain in order: the records are checked again that way.
        stretches_.clear();
        places_.reset();
        places_.emplace(blobCheck_->BlobFileSize());
        stretches_.push_back(
            std::make_unique<Stretch>(reader_, 0, reader_.ChainBlocks().size(), proofs_));
        Check(*stretches_.front(), {});
    }
    {
        paradox::FindingLimiter values(findings, reader_.FileName());
        for (const auto& stretch : stretches_) {
            values.Absorb(stretch->values);
        }
    } // the summary lines are in
    if (blobCheck_) {
        for (const paradox::Finding& finding : blobFileFindings_.All()) {
            findings.Add(finding);
        }
        paradox::FindingLimiter blobs(findings, reader_.FileName());
        std::uint64_t missing = 0;
        for (const auto& stretch : stretches_) {
            blobs.Absorb(stretch->blobs);
            missing += stretch->missing;
        }
        blobCheck_->ReportMissing(missing, findings);
    }
    for (const auto& stretch : stretches_) {
        proofs_.AddTableSides(stretch->sides);
    }
    if (blobFile_ && blobFile_->FileShrank()) {
        throw UtilityError(engine::err::TableChangedWhileRead,
                           family_.mb.string() + " changed size while it was verified");
    }
}

namespace testing {
void TakeStretchesLastFirst(bool lastFirstOn) {
    lastFirst.store(lastFirstOn, std::memory_order_relaxed);
}
} // namespace testing

} // namespace tutil
