#include "paradox/SecondaryIndexWriter.h"

#include "paradox/Codec.h"
#include "paradox/Header.h"
#include "paradox/IndexTreeWriter.h"
#include "posix/Durability.h"
#include "posix/FileDescriptor.h"
#include "posix/FileIo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <numeric>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace paradox {
namespace {

FieldSpec ShortField(const char* name) {
    return {name, static_cast<std::uint8_t>(FieldType::Short), 2};
}

// How many bytes at the start of the key every record of `records` has the same.
std::size_t SharedLeadingBytes(const std::vector<std::uint8_t>& records, std::size_t recordSize,
                               std::size_t keyLength) {
    std::size_t shared = records.size() >= recordSize ? keyLength : 0;
    for (std::size_t at = recordSize; at + recordSize <= records.size() && shared > 0;
         at += recordSize) {
        shared = static_cast<std::size_t>(std::mismatch(records.begin(),
                                                        records.begin() + static_cast<long>(shared),
                                                        records.begin() + static_cast<long>(at))
                                              .first -
                                          records.begin());
    }
    return shared;
}

} // namespace

// The temporary file of sorted runs: no name in the directory once open, so nothing is
// left behind whatever happens to the process.
class SecondaryIndexWriter::RunFile {
public:
    explicit RunFile(const std::filesystem::path& path)
        : path_(path), fd_(posix::CreateNew(path, O_RDWR, 0600)) {
        posix::RemoveAt(AT_FDCWD, path, 0, path);
    }

    void Append(const std::uint8_t* bytes, std::size_t length) {
        buffer_.insert(buffer_.end(), bytes, bytes + length);
        if (buffer_.size() >= kBuffer) {
            WriteBuffer();
        }
    }
    void WriteBuffer() {
        posix::WriteAllAt(fd_.Get(), written_, buffer_, path_);
        written_ += buffer_.size();
        buffer_.clear();
    }
    void Read(std::uint64_t offset, std::uint8_t* out, std::size_t length) const {
        posix::ReadAllAt(fd_.Get(), offset, {out, length}, path_);
    }

private:
    static constexpr std::size_t kBuffer = 1 << 20;

    std::filesystem::path path_;
    posix::FileDescriptor fd_;
    std::uint64_t written_ = 0;
    std::vector<std::uint8_t> buffer_;
};

SecondaryIndexWriter::~SecondaryIndexWriter() = default;
SecondaryIndexWriter::SecondaryIndexWriter(SecondaryIndexWriter&&) noexcept = default;
SecondaryIndexWriter& SecondaryIndexWriter::operator=(SecondaryIndexWriter&&) noexcept = default;

void SecondaryIndexWriter::LimitMemory(std::filesystem::path runFile, std::size_t memoryBytes) {
    runPath_ = std::move(runFile);
    memoryLimit_ = memoryBytes;
}

std::string SecondaryIndexWriter::XExtension(const SecondaryIndexSpec& spec) {
    if (!spec.extension.empty()) {
        return spec.extension;
    }
    char text[8];
    if (spec.composite) {
        std::snprintf(text, sizeof text, "XG0");
    } else {
        std::snprintf(text, sizeof text, "X%02u",
                      static_cast<unsigned>(spec.fieldNumbers.at(0) & ~kDescending) % 100u);
    }
    return text;
}

SecondaryIndexWriter::SecondaryIndexWriter(const TableSchema& table, SecondaryIndexSpec spec)
    : spec_(std::move(spec)), keyedTable_(table.Keyed()),
      collation_(&Collation::ForSortOrder(table.sortOrder, table.sortOrderName)) {
    const std::vector<std::uint32_t> tableOffsets = table.FieldOffsets();
    auto copyField = [&](std::size_t index, bool descending) {
        xOffsets_.push_back(RecordSizeOf(xFields_));
        xFields_.push_back(table.fields[index]);
        sourceOffsets_.push_back(tableOffsets[index]);
        descending_.push_back(descending);
    };
    for (std::uint16_t number : spec_.fieldNumbers) {
        copyField((number & ~kDescending) - 1u, (number & kDescending) != 0);
    }
    if (keyedTable_) {
        for (std::size_t i = 0; i < table.keyFieldCount; ++i) {
            copyField(i, false);
        }
        tailOffset_ = RecordSizeOf(xFields_);
        xFields_.push_back(ShortField("Blk Num"));
    } else {
        tailOffset_ = RecordSizeOf(xFields_);
        xOffsets_.push_back(tailOffset_);
        xFields_.push_back({"Tup No", static_cast<std::uint8_t>(FieldType::Long), 4});
        descending_.push_back(false);
        xOffsets_.push_back(RecordSizeOf(xFields_));
        xFields_.push_back(ShortField("Blk Num"));
        descending_.push_back(false);
        xFields_.push_back(ShortField("Tup Offset"));
    }
    xRecordSize_ = RecordSizeOf(xFields_);
    ChooseOrder();
}

void SecondaryIndexWriter::Add(std::span<const std::uint8_t> record, RecordPlace place,
                               std::uint32_t recordNumber) {
    const std::size_t at = records_.size();
    records_.resize(at + xRecordSize_, 0);
    std::uint8_t* out = records_.data() + at;
    for (std::size_t i = 0; i < sourceOffsets_.size(); ++i) {
        std::memcpy(out + xOffsets_[i], record.data() + sourceOffsets_[i],
                    xFields_[i].ByteLength());
    }
    std::uint8_t* tail = out + tailOffset_;
    if (keyedTable_) {
        EncodeKbeInt(place.block, tail, 2);
    } else {
        EncodeKbeInt(recordNumber, tail, 4);
        EncodeKbeInt(place.block, tail + 4, 2);
        EncodeKbeInt(place.slot, tail + 6, 2);
    }
    for (const std::size_t i : upperFields_) {
        collation_->UpperInPlace(out + xOffsets_[i], xFields_[i].ByteLength());
    }
    FlipDescending(out);
    // Half the allowance each: the run collected here and the one being sorted and written.
    if (memoryLimit_ != 0 && records_.size() >= std::max<std::size_t>(1, memoryLimit_ / 2)) {
        SpillRun();
    }
}

// A run sorted and written to the run file on a thread of its own while the next run is
// collected; one at a time, so the runs go to the file in order.
class SecondaryIndexWriter::PendingRun {
public:
    PendingRun(const SecondaryIndexWriter& owner, std::vector<std::uint8_t> records)
        : records_(std::move(records)), worker_([this, &owner] {
              try {
                  owner.WriteRun(records_);
              } catch (...) {
                  failure_ = std::current_exception();
              }
          }) {}

    // Waits for the run and gives its buffer back, emptied; throws what failed.
    std::vector<std::uint8_t> Finish() {
        worker_.join();
        if (failure_) {
            std::rethrow_exception(failure_);
        }
        records_.clear();
        return std::move(records_);
    }

private:
    std::vector<std::uint8_t> records_;
    std::exception_ptr failure_;
    std::jthread worker_; // last: joined before the rest goes
};

void SecondaryIndexWriter::WriteRun(const std::vector<std::uint8_t>& records) const {
    for (const std::uint32_t i : SortedOrder(records)) {
        runs_->Append(records.data() + std::size_t{i} * xRecordSize_, xRecordSize_);
    }
    runs_->WriteBuffer();
}

std::vector<std::uint8_t> SecondaryIndexWriter::WaitForPendingRun() {
    std::vector<std::uint8_t> buffer;
    if (pending_) {
        buffer = pending_->Finish();
        pending_.reset();
    }
    return buffer;
}

void SecondaryIndexWriter::SpillRun() {
    if (!runs_) {
        runs_ = std::make_unique<RunFile>(runPath_);
    }
    std::vector<std::uint8_t> next = WaitForPendingRun();
    const std::uint64_t before = runEnds_.empty() ? 0 : runEnds_.back();
    runEnds_.push_back(before + records_.size() / xRecordSize_);
    pending_ = std::make_unique<PendingRun>(*this, std::move(records_));
    records_ = std::move(next);
}

// Runs hold consecutive records sorted; merging them, equal keys (none are expected) keep the
// order they were added in, so the result is the order the in-memory sort gives. The runs meet
// in a tree of losers: each record taken costs one comparison per level. In byte order each run
// holds the 8 key bytes after those every record shares, so most comparisons are one integer
// comparison.
template <class Emit> void SecondaryIndexWriter::MergeRuns(Emit&& emit) {
    const std::size_t keyLength = xRecordSize_ - 2u;
    const std::size_t perRun = std::max<std::size_t>(
        1, std::min<std::size_t>(memoryLimit_ / 2 / runEnds_.size(), 1 << 20) / xRecordSize_);
    struct Cursor {
        std::uint64_t next;   // record number in the file
        std::uint64_t end;    // end of the run
        std::size_t at = 0;   // position in `buffer`
        std::size_t held = 0; // records in `buffer`
        std::vector<std::uint8_t> buffer;
        std::uint64_t prefix = 0; // key bytes [shared, shared + 8) of the current record
        bool done = false;
        const std::uint8_t* Current() const { return buffer.data() + at; }
    };
    std::vector<Cursor> cursors;
    auto refill = [&](Cursor& c) {
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(perRun, c.end - c.next));
        c.buffer.resize(count * xRecordSize_);
        runs_->Read(c.next * xRecordSize_, c.buffer.data(), c.buffer.size());
        c.next += count;
        c.at = 0;
        c.held = count;
        c.done = count == 0;
    };
    std::uint64_t start = 0;
    for (const std::uint64_t end : runEnds_) {
        cursors.push_back({start, end, 0, 0, {}});
        refill(cursors.back());
        start = end;
    }
    // The bytes every record shares: those the first and last record of every sorted run
    // share with the first record of the first run (records between two in byte order share
    // what those two share).
    std::size_t shared = 0;
    if (byteOrder_) {
        shared = keyLength;
        std::vector<std::uint8_t> last(xRecordSize_);
        const std::uint8_t* first = cursors.front().Current();
        for (const Cursor& c : cursors) {
            if (c.done) {
                continue;
            }
            runs_->Read((c.end - 1) * xRecordSize_, last.data(), last.size());
            for (const std::uint8_t* record :
                 {c.Current(), static_cast<const std::uint8_t*>(last.data())}) {
                shared = static_cast<std::size_t>(
                    std::mismatch(first, first + shared, record).first - first);
            }
        }
    }
    const std::size_t decided = std::min(shared + 8, keyLength);
    auto takePrefix = [&](Cursor& c) {
        if (!byteOrder_ || c.done) {
            return;
        }
        const std::uint8_t* key = c.Current();
        std::uint64_t prefix = 0;
        for (std::size_t k = shared; k < shared + 8; ++k) {
            prefix = (prefix << 8) | (k < keyLength ? key[k] : 0u);
        }
        c.prefix = prefix;
    };
    for (Cursor& c : cursors) {
        takePrefix(c);
    }
    // Whether run a's record goes before run b's; a finished run goes after every other.
    auto before = [&](std::size_t a, std::size_t b) {
        const Cursor& x = cursors[a];
        const Cursor& y = cursors[b];
        if (x.done || y.done) {
            return !x.done && y.done;
        }
        if (x.prefix != y.prefix) {
            return x.prefix < y.prefix;
        }
        const int c = byteOrder_ ? std::memcmp(x.Current() + decided, y.Current() + decided,
                                               keyLength - decided)
                                 : CompareStored(x.Current(), y.Current());
        return c != 0 ? c < 0 : a < b;
    };
    // Runs are the leaves k..2k-1 of a binary tree; inner node n keeps the loser of the
    // match between the winners of its children 2n and 2n+1.
    const std::size_t k = cursors.size();
    std::vector<std::size_t> loser(k);
    std::vector<std::size_t> winnerOf(2 * k);
    for (std::size_t i = 0; i < k; ++i) {
        winnerOf[k + i] = i;
    }
    for (std::size_t node = k - 1; node >= 1; --node) {
        const std::size_t a = winnerOf[2 * node];
        const std::size_t b = winnerOf[2 * node + 1];
        const bool aFirst = before(a, b);
        winnerOf[node] = aFirst ? a : b;
        loser[node] = aFirst ? b : a;
    }
    std::size_t winner = k == 1 ? 0 : winnerOf[1];
    while (!cursors[winner].done) {
        Cursor& c = cursors[winner];
        emit(c.Current());
        c.at += xRecordSize_;
        if (c.at == c.held * xRecordSize_) {
            if (c.next == c.end) {
                c.buffer = {};
                c.done = true;
            } else {
                refill(c);
            }
        }
        takePrefix(c);
        for (std::size_t node = (k + winner) / 2; node >= 1; node /= 2) {
            if (before(loser[node], winner)) {
                std::swap(loser[node], winner);
            }
        }
    }
}

// Kept in memory with descending fields inverted, so that one byte comparison of the whole
// key gives the index order; flipped back when written.
void SecondaryIndexWriter::FlipDescending(std::uint8_t* xRecord) const {
    for (std::size_t i = 0; i < descending_.size(); ++i) {
        if (descending_[i]) {
            std::uint8_t* p = xRecord + xOffsets_[i];
            for (std::size_t k = 0; k < xFields_[i].ByteLength(); ++k) {
                p[k] = static_cast<std::uint8_t>(~p[k]);
            }
        }
    }
}

std::vector<std::filesystem::path> SecondaryIndexWriter::Files(const std::filesystem::path& dir,
                                                               const std::string& stem) const {
    std::string y = XExtension(spec_);
    y[0] = 'Y';
    return {dir / (stem + "." + XExtension(spec_)), dir / (stem + "." + y)};
}

std::vector<std::uint32_t>
SecondaryIndexWriter::SortedOrder(const std::vector<std::uint8_t>& records) const {
    const auto count = static_cast<std::uint32_t>(records.size() / xRecordSize_);
    if (!byteOrder_) {
        return CollatedOrder(records);
    }
    const std::size_t keyLength = xRecordSize_ - 2u; // all fields but the last
    // Sorting on 8 key bytes held beside the record number settles most comparisons without
    // touching the records; ties fall back to the rest of the key. The 8 bytes are the first
    // ones after those that every key has in common (they decide nothing). Every key ends in
    // the table's key or the record number, so no two records compare equal.
    struct SortEntry {
        std::uint64_t prefix;
        std::uint32_t index;
    };
    const std::size_t shared = SharedLeadingBytes(records, xRecordSize_, keyLength);
    std::vector<SortEntry> order(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* key = records.data() + std::size_t{i} * xRecordSize_;
        std::uint64_t prefix = 0;
        for (std::size_t k = shared; k < shared + 8; ++k) {
            prefix = (prefix << 8) | (k < keyLength ? key[k] : 0u);
        }
        order[i] = {prefix, i};
    }
    const std::size_t decided = shared + 8;
    const std::size_t rest = keyLength > decided ? keyLength - decided : 0;
    std::sort(order.begin(), order.end(), [&](const SortEntry& a, const SortEntry& b) {
        if (a.prefix != b.prefix) {
            return a.prefix < b.prefix;
        }
        const int c =
            rest == 0
                ? 0
                : std::memcmp(records.data() + std::size_t{a.index} * xRecordSize_ + decided,
                              records.data() + std::size_t{b.index} * xRecordSize_ + decided, rest);
        return c != 0 ? c < 0 : a.index < b.index;
    });
    std::vector<std::uint32_t> positions(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        positions[i] = order[i].index;
    }
    return positions;
}

void SecondaryIndexWriter::Finish(const std::filesystem::path& dir, const std::string& stem,
                                  const HeaderContent& table, std::uint8_t primaryIndexSync,
                                  bool sync) {
    const std::size_t keyLength = xRecordSize_ - 2u; // all fields but the last
    const auto files = Files(dir, stem);
    HeaderContent x = table;
    x.fileType = spec_.composite
                     ? (spec_.maintained ? FileType::CompositeDataMaint : FileType::CompositeData)
                     : (spec_.maintained ? FileType::SecondaryDataMaint : FileType::SecondaryData);
    x.blockSizeCode = spec_.blockSizeCode;
    x.fields = xFields_;
    x.keyFieldCount = static_cast<std::uint16_t>(xFields_.size() - 1);
    x.indexFieldNumber = static_cast<std::uint8_t>(spec_.fieldNumbers.at(0) & ~kDescending);
    x.tableName = files[0].filename().string();
    x.fieldNumbers = spec_.fieldNumbers;
    for (std::size_t i = spec_.fieldNumbers.size(); i < xFields_.size(); ++i) {
        x.fieldNumbers.push_back(static_cast<std::uint16_t>(i + 1));
    }
    x.indexName = spec_.composite ? spec_.name : std::string();
    const bool anyDescending =
        std::find(descending_.begin(), descending_.end(), true) != descending_.end();
    x.byte55 = spec_.composite
                   ? static_cast<std::uint8_t>((spec_.caseInsensitive ? kXgCaseInsensitive : 0) |
                                               (anyDescending ? kXgDescending : 0))
                   : 0;
    x.byte12 = static_cast<std::uint16_t>(table.byte12 + 2);
    x.byte2C = 0xFF;
    x.byte2D = table.byte2D;
    x.byte2E = table.byte2E;
    x.byte2F = primaryIndexSync;
    x.protection.keyValue = IndexKeyValue(table.protection, spec_.xKeyValue);
    x.kept = keptX_;

    const std::uint32_t headerSize = HeaderSize(x);
    WriterFile xFile(files[0]);
    xFile.Encrypt(WriterCipher::ForBlockFile(x));
    if (!previousX_.empty()) {
        xFile.Replaces(previousX_);
    }
    BlockChainWriter chain(xFile, headerSize, x.blockSizeCode * 1024u, xRecordSize_,
                           static_cast<std::uint16_t>(keyLength));
    std::vector<std::uint8_t> xRecord(xRecordSize_);
    auto emit = [&](const std::uint8_t* stored) {
        std::copy(stored, stored + xRecordSize_, xRecord.begin());
        FlipDescending(xRecord.data());
        chain.Add(xRecord);
    };
    if (runs_) {
        if (!records_.empty()) {
            SpillRun();
        }
        WaitForPendingRun();
        records_ = {};
        MergeRuns(emit);
    } else {
        for (const std::uint32_t i : SortedOrder(records_)) {
            emit(records_.data() + std::size_t{i} * xRecordSize_);
        }
    }
    chain.Finish();
    x.numRecords = chain.RecordCount();
    x.fileBlocks = chain.BlockCount();
    xFile.WriteAt(0, BuildHeader(x, xRecordSize_));
    xFile.Flush(sync);

    HeaderContent y;
    y.fileType = spec_.composite ? FileType::CompositeIndex : FileType::SecondaryIndex;
    y.fileVersion = x.fileVersion;
    y.blockSizeCode = YBlockSizeCode(spec_);
    y.fields.assign(xFields_.begin(), xFields_.end() - 1);
    y.sortOrder = x.sortOrder;
    y.tableName = files[1].filename().string();
    y.byte12 = static_cast<std::uint16_t>(table.byte12 + 3);
    y.byte2C = x.byte2D;
    y.protection.keyValue = IndexKeyValue(table.protection, spec_.yKeyValue);
    y.kept = keptY_;
    WriteIndexTree(files[1], y, chain.Entries(), sync);
}

} // namespace paradox
