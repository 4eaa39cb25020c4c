#pragma once

#include "paradox/BlockRules.h"
#include "paradox/ByteView.h"
#include "paradox/Finding.h"
#include "paradox/Header.h"
#include "paradox/KeySearch.h"
#include "paradox/MappedFile.h"
#include "paradox/PlainBytes.h"
#include "paradox/Schema.h"
#include "paradox/WalkPages.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace paradox {

class FindingLimiter;

// One record as it lies in the mapped file: recordSize bytes at `bytes`.
struct RecordRef {
    std::uint16_t block; // 1-based block number
    std::uint16_t slot;  // 0-based position in the block
    const std::uint8_t* bytes;
};

// A file with the block layout (.DB, and equally .PX, .Xnn, .Ynn, .XGn, .YGn) opened read-only:
// header parsed, block chain and free list walked once, every fault met reported. Records are
// then served straight from the mapping, or from its decrypted copy when the file is encrypted.
class TableReader {
public:
    // nullptr only when the file cannot be opened or its header cannot be understood; the
    // findings say why.
    static std::unique_ptr<TableReader> Open(const std::filesystem::path& file,
                                             FindingList& findings,
                                             WalkPages pages = WalkPages::Keep);
    // The same for a table read under a header put together elsewhere (one salvaged from
    // other sources when the file's own cannot describe its fields); its blocks are decrypted
    // when that header is marked encrypted, with the key it carries.
    static std::unique_ptr<TableReader> OpenWithHeader(const std::filesystem::path& file,
                                                       TableHeader header, FindingList& findings);

    const std::filesystem::path& Path() const { return path_; }
    const std::string& FileName() const { return fileName_; }
    const TableHeader& Header() const { return header_; }
    const TableSchema& Schema() const { return schema_; }
    // Password protected: the blocks are served decrypted, with the key the header stores.
    bool Encrypted() const { return header_.encrypted; }
    // How the stored key fitted block 1 (Fits for a plain file). NoKey: no key could be found
    // that decrypts the blocks; what was read of them is cipher text taken for data.
    KeyFit StoredKeyFit() const { return keyFit_; }
    ByteView File() const { return file_.View(); }
    // Another program shrank the file while it was read here: what was read past the new end
    // came back as zeros and must not be trusted.
    bool FileShrank() const { return file_.ShrankWhileMapped(); }
    // Lets go of the file's pages read so far (MappedFile::DropResidentPages); records read
    // later are mapped again.
    void DropResidentPages() const { file_.DropResidentPages(); }

    // The bytes of a block (1-based), clipped at the end of the file; empty when out of range.
    ByteView BlockBytes(std::uint32_t block) const;
    // Number of blocks whose 6-byte header lies inside the file.
    std::uint32_t BlocksPresent() const { return blocksPresent_; }

    // Blocks of the chain in chain order, as far as it could be followed.
    const std::vector<std::uint16_t>& ChainBlocks() const { return chain_; }
    // Records usable in each chain block (same order as ChainBlocks()).
    const std::vector<std::uint16_t>& ChainCounts() const { return counts_; }
    // Records each chain block declares but the file no longer holds (cut off at its end).
    const std::vector<std::uint16_t>& ChainMissing() const { return missing_; }
    // What each chain block holds and how its count was decided (same order as ChainBlocks()).
    const std::vector<BlockFact>& ChainFacts() const { return facts_; }
    std::vector<std::uint16_t> FreeBlocks() const { return free_; }
    std::uint64_t RecordCount() const { return recordCount_; }
    // Byte offset of each field inside a record, and whether the field lies inside recordSize
    // (a header that lies about its fields must not lead reads out of the record).
    const std::vector<std::uint32_t>& FieldOffsets() const { return fieldOffsets_; }
    bool FieldInRecord(std::size_t field) const {
        return field < fieldOffsets_.size() &&
               fieldOffsets_[field] + schema_.fields[field].ByteLength() <= header_.recordSize &&
               schema_.fields[field].ByteLength() > 0;
    }

    // Calls f(const RecordRef&) for every record of every chain block, in chain order, and
    // gap(block, count) after a block's records when `count` more could not be read.
    template <class F, class G> void ForEachRecordOrGap(F&& f, G&& gap) const {
        const std::uint8_t* base = file_.View().data();
        const std::size_t recordSize = header_.recordSize;
        for (std::size_t i = 0; i < chain_.size(); ++i) {
            const std::uint16_t block = chain_[i];
            const std::uint8_t* p = base + BlockOffset(block) + 6;
            for (std::uint16_t slot = 0; slot < counts_[i]; ++slot, p += recordSize) {
                f(RecordRef{block, slot, p});
            }
            if (missing_[i] != 0) {
                gap(block, missing_[i]);
            }
        }
    }

    // Calls f(const RecordRef&) for every record of every chain block, in chain order.
    template <class F> void ForEachRecord(F&& f) const { ForEachRecordIn(0, chain_.size(), f); }

    // The same for the chain blocks at positions [first, end) of ChainBlocks().
    template <class F> void ForEachRecordIn(std::size_t first, std::size_t end, F&& f) const {
        const std::uint8_t* base = file_.View().data();
        const std::size_t recordSize = header_.recordSize;
        for (std::size_t i = first; i < end && i < chain_.size(); ++i) {
            const std::uint16_t block = chain_[i];
            const std::uint8_t* p = base + BlockOffset(block) + 6;
            const std::uint16_t count = counts_[i];
            for (std::uint16_t slot = 0; slot < count; ++slot, p += recordSize) {
                f(RecordRef{block, slot, p});
            }
        }
    }

    // The last record of the chain blocks before chain position `position`; bytes null when
    // they hold none.
    RecordRef LastRecordBefore(std::size_t position) const {
        for (std::size_t i = std::min(position, chain_.size()); i-- > 0;) {
            if (counts_[i] > 0) {
                const std::uint16_t slot = counts_[i] - 1u;
                return {chain_[i], slot,
                        file_.View().data() + BlockOffset(chain_[i]) + 6 +
                            static_cast<std::size_t>(slot) * header_.recordSize};
            }
        }
        return {0, 0, nullptr};
    }

    // Offset of a block in the file (no bounds check; block >= 1).
    std::uint64_t BlockOffset(std::uint32_t block) const {
        return header_.headerSize + static_cast<std::uint64_t>(block - 1) * header_.BlockSize();
    }

private:
    enum class BlockUse : std::uint8_t { Unseen, Chain, Free };

    TableReader(std::filesystem::path path, MappedFile file, TableHeader header);
    void Walk(FindingList& findings);
    void CheckExtent(FindingLimiter& report) const;
    void WalkChain(FindingLimiter& report, std::vector<BlockUse>& use);
    void WalkFreeList(FindingLimiter& report, std::vector<BlockUse>& use);
    void CheckBlockCounts(FindingLimiter& report, const std::vector<BlockUse>& use) const;

    std::filesystem::path path_;
    std::string fileName_;
    PlainBytes file_;
    TableHeader header_;
    TableSchema schema_;
    std::vector<std::uint32_t> fieldOffsets_;
    std::uint32_t blocksPresent_ = 0;
    std::vector<std::uint16_t> chain_;
    std::vector<std::uint16_t> counts_;
    std::vector<std::uint16_t> missing_;
    std::vector<BlockFact> facts_;
    std::vector<std::uint16_t> free_;
    std::uint64_t recordCount_ = 0;
    KeyFit keyFit_ = KeyFit::Fits;
    WalkPages walkPages_ = WalkPages::Keep;
};

} // namespace paradox
