#include "paradox/TableReader.h"

#include "paradox/BlockHeader.h"
#include "paradox/BlockRules.h"
#include "paradox/FindingLimiter.h"
#include "paradox/KeySearch.h"

#include <algorithm>

namespace paradox {
namespace {

// A protected file whose stored key does not decrypt block 1 is read with the one low half
// that does, if the search finds exactly one. When none does, block 1 itself is more likely
// damaged than the key: the stored key stays, and the chain checks report the block.
KeyFit UseKeyThatFits(TableHeader& header, ByteView file, const std::string& name,
                      FindingList& findings) {
    const KeyCheck check = CheckStoredKey(header, file);
    if (check.fit == KeyFit::Fits || check.fit == KeyFit::BlockOneDamaged) {
        return check.fit; // a damaged block 1 is reported by the chain walk
    }
    if (check.fit == KeyFit::NoKey) {
        findings.Add(FindingCode::EncryptionKeyBad, Severity::Damage, name, 1, -1,
                     Detail(DetailKind::StoredKeyNoKey).Found(header.CipherKeyValue()));
        return check.fit;
    }
    findings.Add(FindingCode::EncryptionKeyBad, Severity::Damage, name, 1, -1,
                 Detail(DetailKind::StoredKeyFoundBySearch)
                     .Found(header.CipherKeyValue())
                     .Extra(check.keyValue & 0xFFFFu));
    (header.hasExtension ? header.encryption2 : header.encryption1) = check.keyValue;
    return check.fit;
}

void Report(FindingLimiter& report, const BlockFault& fault) {
    report.Damage(fault.code, fault.block, fault.detail, fault.dataLost);
}

} // namespace

std::unique_ptr<TableReader> TableReader::Open(const std::filesystem::path& file,
                                               FindingList& findings, WalkPages pages) {
    const std::string name = file.filename().string();
    std::string error;
    auto mapped = MappedFile::Open(file, &error);
    if (!mapped) {
        std::error_code ec;
        const bool missing = !std::filesystem::exists(file, ec);
        findings.Add(missing ? FindingCode::FileMissing : FindingCode::FileUnreadable,
                     Severity::Damage, name, -1, -1, DetailText(error), true);
        return nullptr;
    }
    auto header = ParseHeader(mapped->View(), name, findings);
    if (!header) {
        return nullptr;
    }
    const KeyFit keyFit = UseKeyThatFits(*header, mapped->View(), name, findings);
    std::unique_ptr<TableReader> reader(
        new TableReader(file, std::move(*mapped), std::move(*header)));
    reader->keyFit_ = keyFit;
    reader->walkPages_ = pages;
    reader->Walk(findings);
    return reader;
}

std::unique_ptr<TableReader> TableReader::OpenWithHeader(const std::filesystem::path& file,
                                                         TableHeader header,
                                                         FindingList& findings) {
    std::string error;
    auto mapped = MappedFile::Open(file, &error);
    if (!mapped) {
        findings.Add(FindingCode::FileUnreadable, Severity::Damage, file.filename().string(), -1,
                     -1, DetailText(error), true);
        return nullptr;
    }
    std::unique_ptr<TableReader> reader(
        new TableReader(file, std::move(*mapped), std::move(header)));
    reader->Walk(findings);
    return reader;
}

TableReader::TableReader(std::filesystem::path path, MappedFile file, TableHeader header)
    : path_(std::move(path)), fileName_(path_.filename().string()),
      file_(PlainBytes::ForBlockFile(std::move(file), header)), header_(std::move(header)),
      schema_(header_.ToSchema()), fieldOffsets_(schema_.FieldOffsets()) {}

ByteView TableReader::BlockBytes(std::uint32_t block) const {
    if (block == 0 || block > blocksPresent_) {
        return {};
    }
    return file_.View().SubClipped(BlockOffset(block), header_.BlockSize());
}

void TableReader::Walk(FindingList& findings) {
    if (!IsValidBlockSizeCode(header_.blockSizeCode)) {
        return; // the header findings already say why no block can be read
    }
    FindingLimiter report(findings, fileName_);
    blocksPresent_ = paradox::BlocksPresent(header_, file_.Size());
    CheckExtent(report);
    std::vector<BlockUse> use(blocksPresent_ + 1, BlockUse::Unseen);
    WalkChain(report, use);
    WalkFreeList(report, use);
    CheckBlockCounts(report, use);
}

void TableReader::CheckExtent(FindingLimiter& report) const {
    // A last block cut short is fine as long as its used part is there; that is checked
    // block by block in the chain walk.
    const std::uint64_t fileSize = file_.Size();
    const std::uint64_t declaredEnd =
        header_.headerSize + std::uint64_t{header_.fileBlocks} * header_.BlockSize();
    if (header_.fileBlocks > blocksPresent_) {
        // Of a protected file, a block whose first piece the end of the file cuts short cannot
        // be decrypted: what the file holds of it is lost to the cut.
        const bool cutPiece =
            file_.Decrypted() && file_.StoredSize() > BlockOffset(blocksPresent_ + 1);
        Report(report, FileShortFault(header_, blocksPresent_, cutPiece));
    } else if (fileSize > declaredEnd) {
        report.Suspicious(FindingCode::ExtraBytesAtEnd, -1,
                          Detail(DetailKind::BytesAfterLastBlock)
                              .Found(fileSize - declaredEnd)
                              .Block(header_.fileBlocks));
    }
}

void TableReader::WalkChain(FindingLimiter& report, std::vector<BlockUse>& use) {
    std::uint32_t start = header_.firstBlock;
    if ((header_.blocksInUse > 0 || header_.firstBlock != 0) && header_.firstBlock != 1) {
        report.Damage(FindingCode::ChainBadFirst, -1,
                      Detail(DetailKind::FirstBlock).Found(header_.firstBlock));
        if (start == 0 || start > blocksPresent_) {
            start = blocksPresent_ >= 1 ? 1 : 0;
        }
    }
    std::uint32_t previous = 0;
    std::uint32_t current = start;
    const std::uint64_t blocksPerDrop = kWalkDropBytes / header_.BlockSize();
    while (current != 0) {
        if (walkPages_ == WalkPages::Drop && chain_.size() % blocksPerDrop == 0) {
            file_.DropResidentPages();
        }
        const bool seen = current <= blocksPresent_ && use[current] != BlockUse::Unseen;
        if (auto fault =
                JudgeLink(header_, previous, current, blocksPresent_, seen, chain_.size())) {
            Report(report, *fault);
            break;
        }
        use[current] = BlockUse::Chain;
        const ByteView bytes = BlockBytes(current);
        // Every block counted as present has its whole header in the file.
        const BlockHeader head = ReadBlockHeader(bytes).value_or(BlockHeader{});
        if (auto fault = JudgeBackLink(current, head.prev, previous)) {
            Report(report, *fault);
        }
        const BlockJudgement judged = JudgeBlock(header_, current, bytes);
        for (const BlockFault& fault : judged.faults) {
            Report(report, fault);
        }
        chain_.push_back(static_cast<std::uint16_t>(current));
        counts_.push_back(judged.count);
        missing_.push_back(judged.missing);
        facts_.push_back({static_cast<std::uint16_t>(current), judged.count, judged.missing,
                          judged.declared, judged.basis});
        recordCount_ += judged.count;
        previous = current;
        current = head.next;
    }

    for (const auto& fault :
         {TailFault(header_, chain_.empty() ? 0 : chain_.back()),
          LengthFault(header_, chain_.size()), RecordCountFault(header_, recordCount_)}) {
        if (fault) {
            Report(report, *fault);
        }
    }
}

void TableReader::WalkFreeList(FindingLimiter& report, std::vector<BlockUse>& use) {
    std::uint32_t current = header_.firstFreeBlock;
    std::uint32_t from = 0;
    while (current != 0) {
        DetailKind problem = DetailKind::None;
        if (current > blocksPresent_) {
            problem = DetailKind::FreeBlockOutsideFile;
        } else if (use[current] == BlockUse::Chain) {
            problem = DetailKind::FreeBlockInChain;
        } else if (use[current] == BlockUse::Free) {
            problem = DetailKind::FreeBlockTwice;
        }
        if (problem != DetailKind::None) {
            report.Damage(FindingCode::FreeListBad, BlockOrNone(from),
                          Detail(problem).Block(current));
            break;
        }
        use[current] = BlockUse::Free;
        free_.push_back(static_cast<std::uint16_t>(current));
        from = current;
        current = ReadBlockHeader(BlockBytes(current)).value_or(BlockHeader{}).next;
    }
}

void TableReader::CheckBlockCounts(FindingLimiter& report, const std::vector<BlockUse>& use) const {
    if (header_.fileBlocks != chain_.size() + free_.size()) {
        report.Damage(FindingCode::BlockCountMismatch, -1,
                      Detail(DetailKind::BlocksFoundInChainAndFree)
                          .Expected(header_.fileBlocks)
                          .Found(chain_.size())
                          .Extra(free_.size()));
    }
    const std::uint32_t last = std::min<std::uint32_t>(header_.fileBlocks, blocksPresent_);
    for (std::uint32_t block = 1; block <= last; ++block) {
        if (use[block] == BlockUse::Unseen) {
            report.Suspicious(FindingCode::OrphanBlock, block, Detail(DetailKind::NotReachable));
        }
    }
}

} // namespace paradox
