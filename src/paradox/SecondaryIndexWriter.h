#pragma once

#include "paradox/BlockChainWriter.h"
#include "paradox/Collation.h"
#include "paradox/HeaderLayout.h"
#include "paradox/Schema.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace paradox {

// Collects the X records of one secondary index while the table is written and writes the
// X file (a table sorted by the index) and its Y file (the X file's primary index) at the end.
// X record of a keyed table: index fields, primary key fields, "Blk Num" (Short).
// X record of an unkeyed table: index fields, "Tup No" (Long, 0-based record number),
// "Blk Num", "Tup Offset" (Short, 0-based position in the block).
class SecondaryIndexWriter {
public:
    SecondaryIndexWriter(const TableSchema& table, SecondaryIndexSpec spec);
    ~SecondaryIndexWriter();
    SecondaryIndexWriter(SecondaryIndexWriter&&) noexcept;
    SecondaryIndexWriter& operator=(SecondaryIndexWriter&&) noexcept;

    // Bounds the X records kept in memory to about `memoryBytes`: beyond that they are
    // sorted in runs (on a thread of their own, while the next run is collected) to a temporary
    // file at `runFile` (removed from the directory at once, gone with the writer) and merged at
    // Finish. 0 = keep them all in memory.
    void LimitMemory(std::filesystem::path runFile, std::size_t memoryBytes);

    // The headers of the X and Y files this index replaces (see HeaderContent::kept).
    void KeepHeaders(KeptHeader x, KeptHeader y) {
        keptX_ = std::move(x);
        keptY_ = std::move(y);
    }

    // The X file this index replaces (see WriterFile::Replaces).
    void ReplacesX(std::filesystem::path previous) { previousX_ = std::move(previous); }

    void Add(std::span<const std::uint8_t> record, RecordPlace place, std::uint32_t recordNumber);

    // `table` carries the .DB's header values the X and Y files copy (version, sort order,
    // code page, change counters, autoincrement...).
    void Finish(const std::filesystem::path& dir, const std::string& stem,
                const HeaderContent& table, std::uint8_t primaryIndexSync, bool sync);

    std::vector<std::filesystem::path> Files(const std::filesystem::path& dir,
                                             const std::string& stem) const;
    const std::vector<FieldSpec>& XFields() const { return xFields_; }

    static std::string XExtension(const SecondaryIndexSpec& spec);
    static std::uint8_t YBlockSizeCode(const SecondaryIndexSpec& spec) {
        return spec.indexBlockSizeCode != 0 ? spec.indexBlockSizeCode : spec.blockSizeCode;
    }

private:
    class RunFile;
    void FlipDescending(std::uint8_t* xRecord) const;
    // Positions of the records in `records` (xRecordSize_ each) in index order.
    std::vector<std::uint32_t> SortedOrder(const std::vector<std::uint8_t>& records) const;
    void SpillRun();
    // Index order of two stored X records (descending fields inverted): bytes, or under a
    // collation table field by field.
    int CompareStored(const std::uint8_t* a, const std::uint8_t* b) const;
    std::vector<std::uint32_t> CollatedOrder(const std::vector<std::uint8_t>& records) const;
    // Sets byteOrder_ and upperFields_ from the index definition, its fields and the collation.
    void ChooseOrder();
    class PendingRun;
    void WriteRun(const std::vector<std::uint8_t>& records) const;
    std::vector<std::uint8_t> WaitForPendingRun();
    template <class Emit> void MergeRuns(Emit&& emit);

    SecondaryIndexSpec spec_;
    bool keyedTable_;
    std::vector<FieldSpec> xFields_;
    std::vector<std::uint32_t> sourceOffsets_; // per copied table field: offset in the record
    std::vector<std::uint16_t> xOffsets_;      // per X key field: offset in the X record
    std::vector<bool> descending_;             // per X key field
    const Collation* collation_;               // the table's sort order
    bool byteOrder_ = true;                    // whether X keys sort as bytes
    std::vector<std::size_t> upperFields_;     // X fields upper-cased (case-insensitive index)
    std::uint16_t tailOffset_ = 0;             // where Blk Num (keyed) or Tup No (unkeyed) goes
    std::uint16_t xRecordSize_ = 0;
    std::vector<std::uint8_t> records_;
    KeptHeader keptX_, keptY_;
    std::filesystem::path previousX_;
    std::filesystem::path runPath_;
    std::size_t memoryLimit_ = 0;
    std::unique_ptr<RunFile> runs_;
    std::vector<std::uint64_t> runEnds_; // record count at the end of each spilled run
    // Last: a run still being written reads this object, and goes (waited for) first. The
    // writer is not moved while it has one (it is only moved before the first Add).
    std::unique_ptr<PendingRun> pending_;
};

} // namespace paradox
