#include "paradox/TableWriter.h"

#include "paradox/BlockChainWriter.h"
#include "paradox/ByteView.h"
#include "paradox/Codec.h"
#include "paradox/HeaderLayout.h"
#include "paradox/IndexTreeWriter.h"
#include "paradox/MbWriter.h"
#include "paradox/NameCase.h"
#include "paradox/SecondaryIndexWriter.h"
#include "paradox/WriterFile.h"
#include "posix/Durability.h"
#include "posix/FileDescriptor.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <ctime>
#include <numeric>
#include <set>
#include <stdexcept>

namespace paradox {
namespace {

constexpr std::size_t kMaxFields = 255;
constexpr std::size_t kMaxKeyFields = 16;
constexpr std::uint32_t kBlobTail = 10;

bool BlockSizeAllowed(std::uint8_t code, std::uint8_t fileVersion) {
    switch (code) {
    case 1:
    case 2:
    case 4:
    case 8:
        return true;
    case 16:
    case 32:
        return fileVersion >= level::V7;
    default:
        return false;
    }
}

bool IndexKeyFits(std::uint32_t keyLength, std::uint8_t blockSizeCode) {
    // At least two entries per index block, so that every level shrinks.
    return BlockChainWriter::Capacity(blockSizeCode * 1024u,
                                      static_cast<std::uint16_t>(keyLength + 6)) >= 2;
}

std::string SecondaryProblem(const TableSchema& s, const SecondaryIndexSpec& spec) {
    const std::string what = "secondary index " + SecondaryIndexWriter::XExtension(spec) + ": ";
    if (spec.fieldNumbers.empty() || spec.fieldNumbers.size() > kMaxKeyFields) {
        return what + "needs 1 to 16 fields";
    }
    if (!spec.composite && spec.fieldNumbers.size() != 1) {
        return what + "a non-composite index has exactly one field";
    }
    if (spec.composite && s.fileVersion < 5) {
        return what + "composite indexes need level 4 or later";
    }
    for (std::uint16_t number : spec.fieldNumbers) {
        const unsigned field = number & ~kDescending;
        if (field < 1 || field > s.fields.size()) {
            return what + "field number " + std::to_string(field) + " out of range";
        }
        if (IsBlobType(s.fields[field - 1].typeCode)) {
            return what + "blob field " + s.fields[field - 1].name + " cannot be indexed";
        }
        if ((number & kDescending) != 0 && s.fileVersion < level::V7) {
            return what + "descending fields need level 7";
        }
    }
    if (!BlockSizeAllowed(spec.blockSizeCode, s.fileVersion)) {
        return what + "block size code " + std::to_string(spec.blockSizeCode) +
               " not allowed at this level";
    }
    const std::uint8_t yBlockSizeCode = SecondaryIndexWriter::YBlockSizeCode(spec);
    if (!BlockSizeAllowed(yBlockSizeCode, s.fileVersion)) {
        return what + "Y block size code " + std::to_string(yBlockSizeCode) +
               " not allowed at this level";
    }
    const SecondaryIndexWriter probe(s, spec);
    const std::uint32_t xSize = RecordSizeOf(probe.XFields());
    if (xSize + 8 > spec.blockSizeCode * 1024u || !IndexKeyFits(xSize - 2, yBlockSizeCode)) {
        return what + "index record too long for its block size";
    }
    return {};
}

std::array<std::uint8_t, 8> GraphicPrefix(std::size_t payload) {
    std::array<std::uint8_t, 8> prefix{0x01, 0x00, 0x00, 0x01};
    PutU32LE(prefix.data() + 4, static_cast<std::uint32_t>(payload));
    return prefix;
}

// Graphic data in the .MB carries an 8-byte prefix the caller does not see. OLE values are
// handed over and read back with theirs, as stored.
bool HasPrefix(std::uint8_t type) {
    return type == static_cast<std::uint8_t>(FieldType::Graphic);
}

} // namespace

std::string WritableSchemaProblem(const TableSchema& s) {
    if (s.fileVersion < level::V3_0 || s.fileVersion > level::V7) {
        return "unknown table level " + std::to_string(s.fileVersion);
    }
    if (!BlockSizeAllowed(s.blockSizeCode, s.fileVersion)) {
        return "block size code " + std::to_string(s.blockSizeCode) + " not allowed at this level";
    }
    if (s.fields.empty() || s.fields.size() > kMaxFields) {
        return "a table has 1 to 255 fields";
    }
    for (const auto& f : s.fields) {
        const auto info = LookupFieldType(f.typeCode);
        if (!info) {
            return "field " + f.name + ": unknown type " + std::to_string(f.typeCode);
        }
        if (info->minLevel > s.fileVersion) {
            return "field " + f.name + ": type " + std::string(info->name) +
                   " needs a higher table level";
        }
        if (!IsValidFieldSize(f.typeCode, f.sizeByte) ||
            (f.Type() == FieldType::Alpha && f.sizeByte == 0)) {
            return "field " + f.name + ": invalid size " + std::to_string(f.sizeByte);
        }
        if (f.name.empty() || f.name.find('\0') != std::string::npos) {
            return "field names must be non-empty text";
        }
    }
    const std::uint32_t recordSize = s.RecordSize();
    if (recordSize + 8 > s.blockSizeCode * 1024u) {
        return "record of " + std::to_string(recordSize) + " bytes does not fit a block";
    }
    if (s.keyFieldCount > s.fields.size() || s.keyFieldCount > kMaxKeyFields) {
        return "too many key fields";
    }
    if (s.Keyed()) {
        for (std::size_t i = 0; i < s.keyFieldCount; ++i) {
            if (IsBlobType(s.fields[i].typeCode)) {
                return "blob field " + s.fields[i].name + " cannot be a key field";
            }
        }
        const std::uint32_t keyLength = s.KeyLength();
        if (!BlockSizeAllowed(s.indexBlockSizeCode, s.fileVersion)) {
            return "index block size code " + std::to_string(s.indexBlockSizeCode) +
                   " not allowed at this level";
        }
        if (!IndexKeyFits(keyLength, s.indexBlockSizeCode)) {
            return "primary key too long for the index block size";
        }
    }
    std::set<std::string> extensions;
    for (const auto& spec : s.secondaryIndexes) {
        if (std::string problem = SecondaryProblem(s, spec); !problem.empty()) {
            return problem;
        }
        if (!extensions.insert(SecondaryIndexWriter::XExtension(spec)).second) {
            return "two secondary indexes named " + SecondaryIndexWriter::XExtension(spec);
        }
    }
    return {};
}

struct TableWriter::Impl {
    std::filesystem::path dir;
    std::string stem;
    TableSchema schema;
    WriteOptions options;
    std::uint16_t recordSize = 0;
    std::uint16_t keyLength = 0;
    std::vector<std::uint32_t> offsets;
    HeaderContent header;
    std::unique_ptr<WriterFile> db;
    std::unique_ptr<BlockChainWriter> chain;
    std::unique_ptr<MbWriter> mb;
    std::vector<SecondaryIndexWriter> secondaries;
    std::vector<std::uint8_t> previousKey;
    std::vector<std::uint8_t> record;
    std::uint32_t highestAutoInc = 0;
    std::size_t blobFieldCount = 0;
    std::vector<std::uint32_t> autoIncOffsets;
    bool finished = false;

    std::filesystem::path FileFor(const char* extension) const { return dir / (stem + extension); }
    // The file of this extension the family replaces; empty when there is none.
    std::filesystem::path Replaced(const std::string& upperExtension) const {
        const auto found = options.replacedFiles.find(upperExtension);
        return found == options.replacedFiles.end() ? std::filesystem::path() : found->second;
    }
    KeptHeader KeptHeaderOf(const std::string& upperExtension) const {
        const auto found = options.keptHeaders.find(upperExtension);
        return found == options.keptHeaders.end() ? KeptHeader{} : found->second;
    }
    void PlaceBlobs(std::span<const std::optional<std::vector<std::uint8_t>>> blobs);
    void CheckKeyOrder();
};

TableWriter::TableWriter(std::filesystem::path dir, std::string stem, TableSchema schema,
                         WriteOptions options)
    : impl_(std::make_unique<Impl>()) {
    if (std::string problem = WritableSchemaProblem(schema); !problem.empty()) {
        throw std::invalid_argument(stem + ": " + problem);
    }
    Impl& w = *impl_;
    w.dir = std::move(dir);
    w.stem = std::move(stem);
    w.schema = std::move(schema);
    w.options = options;
    w.recordSize = static_cast<std::uint16_t>(w.schema.RecordSize());
    w.offsets = w.schema.FieldOffsets();
    w.keyLength = static_cast<std::uint16_t>(w.schema.KeyLength());
    for (std::size_t i = 0; i < w.schema.fields.size(); ++i) {
        w.blobFieldCount += IsBlobType(w.schema.fields[i].typeCode) ? 1 : 0;
        if (w.schema.fields[i].Type() == FieldType::AutoInc) {
            w.autoIncOffsets.push_back(w.offsets[i]);
        }
    }
    w.highestAutoInc = w.schema.autoIncrement;

    HeaderContent& h = w.header;
    h.fileType = w.schema.Keyed() ? FileType::KeyedTable : FileType::UnkeyedTable;
    h.fileVersion = w.schema.fileVersion;
    h.blockSizeCode = w.schema.blockSizeCode;
    h.fields = w.schema.fields;
    h.keyFieldCount = w.schema.keyFieldCount;
    h.sortOrder = w.schema.sortOrder;
    h.sortOrderName = w.schema.sortOrderName;
    h.codePage = w.schema.codePage;
    h.tableName = w.schema.tableName.empty() ? w.stem + ".DB" : w.schema.tableName;
    h.byte12 = 1;
    // Readers take a keyed table's index for stale unless this count is at least 2.
    h.byte2D =
        w.schema.Keyed() ? std::max<std::uint8_t>(w.options.changeCount, 2) : w.options.changeCount;
    h.protection = w.schema.protection;
    h.kept = w.KeptHeaderOf("DB");
    h.fileUpdateTime = w.options.fileUpdateTime != 0
                           ? w.options.fileUpdateTime
                           : static_cast<std::uint32_t>(std::time(nullptr));

    // The indexes share the memory allowance.
    const std::size_t indexMemory =
        w.options.secondarySortMemory == 0
            ? 0
            : std::max<std::size_t>(1,
                                    w.options.secondarySortMemory /
                                        std::max<std::size_t>(1, w.schema.secondaryIndexes.size()));
    for (const auto& spec : w.schema.secondaryIndexes) {
        w.secondaries.emplace_back(w.schema, spec);
        const std::string x = UpperAscii(SecondaryIndexWriter::XExtension(spec));
        w.secondaries.back().KeepHeaders(w.KeptHeaderOf(x), w.KeptHeaderOf("Y" + x.substr(1)));
        w.secondaries.back().ReplacesX(w.Replaced(x));
        w.secondaries.back().LimitMemory(
            w.FileFor(("." + SecondaryIndexWriter::XExtension(spec) + ".sort").c_str()),
            indexMemory);
    }
    w.db = std::make_unique<WriterFile>(w.FileFor(".DB"));
    w.db->Encrypt(WriterCipher::ForBlockFile(h));
    if (const auto previous = w.Replaced("DB"); !previous.empty()) {
        w.db->Replaces(previous);
    }
    w.chain = std::make_unique<BlockChainWriter>(
        *w.db, HeaderSize(h), w.schema.blockSizeCode * 1024u, w.recordSize, w.keyLength);
    if (w.schema.HasBlobs()) {
        w.mb = std::make_unique<MbWriter>(w.FileFor(".MB"), h.protection.keyValue);
        if (const auto previous = w.Replaced("MB"); !previous.empty()) {
            w.mb->Replaces(previous);
        }
    }
}

TableWriter::~TableWriter() = default;

void TableWriter::Impl::CheckKeyOrder() {
    if (keyLength == 0) {
        return;
    }
    if (!previousKey.empty()) {
        const int c = std::memcmp(previousKey.data(), record.data(), keyLength);
        if (c == 0) {
            throw std::invalid_argument(stem + ": duplicate key");
        }
        if (c > 0 && options.byteOrderKeys) {
            throw std::invalid_argument(stem + ": records out of key order");
        }
    }
    previousKey.assign(record.begin(), record.begin() + keyLength);
}

void TableWriter::Impl::PlaceBlobs(
    std::span<const std::optional<std::vector<std::uint8_t>>> blobs) {
    std::size_t next = 0;
    for (std::size_t i = 0; i < schema.fields.size(); ++i) {
        const FieldSpec& field = schema.fields[i];
        if (!IsBlobType(field.typeCode)) {
            continue;
        }
        std::uint8_t* bytes = record.data() + offsets[i];
        const std::size_t length = field.ByteLength();
        std::memset(bytes, 0, length);
        const std::size_t slot = next++;
        if (blobs.empty() || !blobs[slot] || blobs[slot]->empty()) {
            continue;
        }
        const std::vector<std::uint8_t>& data = *blobs[slot];
        const std::size_t leaderSize = length - kBlobTail;
        std::memcpy(bytes, data.data(), std::min(leaderSize, data.size()));
        BlobRef ref;
        if (data.size() <= leaderSize) {
            ref.length = static_cast<std::uint32_t>(data.size());
        } else if (HasPrefix(field.typeCode)) {
            const auto prefix = GraphicPrefix(data.size());
            ref = mb->Store(prefix, data);
        } else {
            ref = mb->Store({}, data);
        }
        EncodeBlobTail(ref, bytes + leaderSize);
    }
}

void TableWriter::Append(std::span<const std::uint8_t> recordBytes,
                         std::span<const std::optional<std::vector<std::uint8_t>>> blobs) {
    Impl& w = *impl_;
    if (w.finished) {
        throw std::logic_error(w.stem + ": record appended after Finish");
    }
    if (recordBytes.size() != w.recordSize) {
        throw std::invalid_argument(w.stem + ": record of " + std::to_string(recordBytes.size()) +
                                    " bytes, the table's records have " +
                                    std::to_string(w.recordSize));
    }
    if (!blobs.empty() && blobs.size() != w.blobFieldCount) {
        throw std::invalid_argument(w.stem + ": expected one blob value per blob field");
    }
    w.record.assign(recordBytes.begin(), recordBytes.end());
    w.CheckKeyOrder();
    for (std::uint32_t offset : w.autoIncOffsets) {
        if (auto v = DecodeKbeInt(w.record.data() + offset, 4); v && *v > 0) {
            w.highestAutoInc = std::max(w.highestAutoInc, static_cast<std::uint32_t>(*v));
        }
    }
    if (w.mb) {
        w.PlaceBlobs(blobs);
    }
    const std::uint32_t number = w.chain->RecordCount();
    const RecordPlace place = w.chain->Add(w.record);
    for (auto& secondary : w.secondaries) {
        secondary.Add(w.record, place, number);
    }
}

void TableWriter::Finish() {
    Impl& w = *impl_;
    if (w.finished) {
        throw std::logic_error(w.stem + ": Finish called twice");
    }
    w.finished = true;
    const bool sync = w.options.sync;
    w.chain->Finish();
    HeaderContent& h = w.header;
    h.numRecords = w.chain->RecordCount();
    h.fileBlocks = w.chain->BlockCount();
    h.autoIncrement = w.highestAutoInc;
    w.db->WriteAt(0, BuildHeader(h, w.recordSize));
    w.db->Flush(sync);

    std::uint8_t primarySync = 0;
    if (w.schema.Keyed()) {
        HeaderContent px;
        px.fileType = FileType::PrimaryIndex;
        px.fileVersion = h.fileVersion;
        px.blockSizeCode = w.schema.indexBlockSizeCode;
        px.fields.assign(w.schema.fields.begin(), w.schema.fields.begin() + w.schema.keyFieldCount);
        px.sortOrder = h.sortOrder;
        px.tableName = w.stem + ".PX";
        px.byte12 = static_cast<std::uint16_t>(h.byte12 + 1);
        px.byte2C = h.byte2D;
        px.protection.keyValue =
            IndexKeyValue(h.protection, w.schema.protection.primaryIndexKeyValue);
        px.kept = w.KeptHeaderOf("PX");
        primarySync = px.byte2C;
        WriteIndexTree(w.FileFor(".PX"), px, w.chain->Entries(), sync);
    }
    for (auto& secondary : w.secondaries) {
        secondary.Finish(w.dir, w.stem, h, primarySync, sync);
    }
    if (w.mb) {
        w.mb->Finish(sync);
    }
    if (sync) {
        posix::SyncDirectory(posix::OpenDirectory(w.dir).Get(), w.dir);
    }
}

std::uint64_t TableWriter::RecordCount() const {
    return impl_->chain->RecordCount();
}

std::vector<std::filesystem::path> TableWriter::Files() const {
    const Impl& w = *impl_;
    std::vector<std::filesystem::path> files{w.FileFor(".DB")};
    if (w.schema.Keyed()) {
        files.push_back(w.FileFor(".PX"));
    }
    if (w.mb) {
        files.push_back(w.FileFor(".MB"));
    }
    for (const auto& secondary : w.secondaries) {
        for (auto& f : secondary.Files(w.dir, w.stem)) {
            files.push_back(std::move(f));
        }
    }
    return files;
}

void WriteTable(const std::filesystem::path& dir, const std::string& stem,
                const TableSchema& schema, const std::vector<std::vector<std::uint8_t>>& records,
                const std::vector<std::vector<std::optional<std::vector<std::uint8_t>>>>& blobs,
                WriteOptions options) {
    if (!blobs.empty() && blobs.size() != records.size()) {
        throw std::invalid_argument(stem + ": blob values must be given for every record or none");
    }
    std::vector<std::size_t> order(records.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (schema.Keyed() && options.byteOrderKeys) {
        const std::uint32_t keyLength = schema.KeyLength();
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            const std::size_t n =
                std::min<std::size_t>({keyLength, records[a].size(), records[b].size()});
            return std::memcmp(records[a].data(), records[b].data(), n) < 0;
        });
    }
    TableWriter writer(dir, stem, schema, options);
    for (std::size_t i : order) {
        if (blobs.empty()) {
            writer.Append(records[i]);
        } else {
            writer.Append(records[i], blobs[i]);
        }
    }
    writer.Finish();
}

} // namespace paradox
