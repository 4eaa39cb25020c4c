#pragma once

#include "paradox/BlobFile.h"
#include "paradox/Family.h"
#include "paradox/Finding.h"
#include "paradox/FindingLimiter.h"
#include "paradox/TableBlobCheck.h"
#include "paradox/TableReader.h"
#include "tutil/ChainKeyCheck.h"
#include "tutil/DeferredProofs.h"
#include "tutil/RecordValues.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace tutil {

// Verify's pass over a table's records: each record's values and the key order, its blobs and
// the table's side of the deferred index proofs. The chain may be cut into stretches of whole
// blocks that threads take in turn, each stretch starting from the record before it; their
// findings are joined in chain order, so that they are those of one pass, in its order.
class DataPass {
public:
    // `stretches`: how many parts the chain is cut into at most (1: one pass).
    DataPass(const paradox::TableReader& reader, const paradox::TableFamily& family,
             const DeferredProofs& proofs, std::size_t stretches);

    // Whether the records' values are checked; only then is the pass reported as a phase.
    bool ChecksValues() const { return checkable_; }
    std::uint64_t RecordsCount() const { return reader_.RecordCount(); }
    std::uint64_t RecordsDone() const { return recordsDone_.load(std::memory_order_relaxed); }

    // Checks stretches until none is left; any number of threads may work at once. `every`,
    // when given, is called on this thread after every 1024 records it checked.
    void Work(const std::function<void()>& every = {});
    // Makes every Work return soon, its stretch unfinished (the caller has failed).
    void Stop() { stopped_.store(true, std::memory_order_relaxed); }

    // Once every Work has returned: the findings, in one pass's order, into `findings`, and
    // the proofs' table side into them. Throws when the .MB shrank while it was read.
    void Finish(paradox::FindingList& findings);

private:
    struct Stretch {
        Stretch(const paradox::TableReader& reader, std::size_t first, std::size_t end,
                const DeferredProofs& proofs);
        std::size_t first;
        std::size_t end;
        paradox::RecordRef previous; // the record before the stretch, bytes null for none
        paradox::FindingList valueList;
        paradox::FindingList blobList;
        paradox::FindingLimiter values;
        paradox::FindingLimiter blobs;
        DeferredProofs::TableSides sides;
        std::uint64_t missing = 0;
    };

    void CutChain(std::size_t stretches);
    void OpenBlobFile();
    void Check(Stretch& stretch, const std::function<void()>& every);

    const paradox::TableReader& reader_;
    const paradox::TableFamily& family_;
    const DeferredProofs& proofs_;
    const bool checkable_;
    const ValueChecker values_;
    const ChainKeyCheck keys_;
    std::vector<std::unique_ptr<Stretch>> stretches_;
    std::atomic<std::size_t> next_{0};
    std::atomic<std::uint64_t> recordsDone_{0};
    std::atomic<bool> stopped_{false};

    // Opened by the first thread to work; its own findings come before the records' blobs.
    std::once_flag blobFileOpened_;
    paradox::FindingList blobFileFindings_;
    std::unique_ptr<paradox::BlobFile> blobFile_;
    std::optional<paradox::TableBlobCheck> blobCheck_;
    std::optional<paradox::BlobPlacesSeen> places_;
};

} // namespace tutil
