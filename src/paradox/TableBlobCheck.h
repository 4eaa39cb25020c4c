#pragma once

#include "paradox/Finding.h"
#include "paradox/FindingLimiter.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace paradox {

class BlobFile;
class TableReader;
struct RecordRef;

// The places of the blob file that records referred to so far, to tell a blob two records
// share: a bit for each slot and one for the single blob of each 4 KB unit of the file; a
// place no block of the file can start at (a broken pointer) in a set of its own. Threads may
// insert at once.
class BlobPlacesSeen {
public:
    explicit BlobPlacesSeen(std::uint64_t fileSize);

    // False when the place was seen before.
    bool Insert(std::uint32_t offset, std::uint8_t index);
    // Whether some place was inserted twice.
    bool Repeated() const { return repeated_.load(std::memory_order_relaxed); }

private:
    bool Note(bool fresh);

    std::size_t units_;
    std::vector<std::atomic<std::uint64_t>> slots_;   // a bit per slot of each unit
    std::vector<std::atomic<std::uint64_t>> singles_; // a bit per unit
    std::mutex othersMutex_;
    std::set<std::pair<std::uint32_t, std::uint8_t>> others_;
    std::atomic<bool> repeated_{false};
};

// The blob fields of a table's records judged one record at a time: pointers, lengths,
// modification numbers, leaders, blobs shared between records. Stretches of the chain may be
// judged on separate threads, each with its own limiter; `missing` counts the blobs that live
// in a .MB that is not there.
class TableBlobCheck {
public:
    // `blobs` may be null (no .MB).
    TableBlobCheck(const TableReader& table, const BlobFile* blobs);

    bool HasFields() const { return !fields_.empty(); }
    std::uint64_t BlobFileSize() const;
    void Check(const RecordRef& record, BlobPlacesSeen& used, FindingLimiter& report,
               std::uint64_t& missing) const;
    // The one finding for all blobs a missing .MB holds.
    void ReportMissing(std::uint64_t missing, FindingList& findings) const;

private:
    struct Field {
        std::size_t offset;
        std::uint16_t length; // 10 bytes or more
        std::uint8_t type;
        const std::string* name;
    };
    const TableReader& table_;
    const BlobFile* blobs_;
    std::string mbName_;
    std::vector<Field> fields_;
};

} // namespace paradox
