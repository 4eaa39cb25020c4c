#include "tutil/Rebuild.h"

#include "engine/ErrorCodes.h"
#include "paradox/Codec.h"
#include "paradox/Family.h"
#include "paradox/TableReader.h"
#include "paradox/TableWriter.h"
#include "tutil/BlobValues.h"
#include "tutil/DurableFile.h"
#include "tutil/ErrorTable.h"
#include "tutil/FamilySwap.h"
#include "tutil/InUse.h"
#include "tutil/ProblemTable.h"
#include "tutil/Progress.h"
#include "tutil/RecordValues.h"
#include "tutil/RecoverBlocks.h"
#include "tutil/SecondarySpecs.h"
#include "tutil/UtilityError.h"
#include "tutil/WorkTables.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <numeric>
#include <system_error>

namespace tutil {
namespace fs = std::filesystem;
using paradox::FindingCode;
using paradox::Severity;

namespace {

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// Removes the staging folder unless the swap was committed (then recovery owns it).
class StagingGuard {
public:
    StagingGuard(fs::path staging) : staging_(std::move(staging)) {}
    ~StagingGuard() {
        if (!committed_) {
            std::error_code ec;
            fs::remove_all(staging_, ec);
        }
    }
    StagingGuard(const StagingGuard&) = delete;
    StagingGuard& operator=(const StagingGuard&) = delete;
    void Committed() { committed_ = true; }

private:
    fs::path staging_;
    bool committed_ = false;
};

struct WorkStems {
    std::string backup, keyViolations, problems, errorTable;
};

WorkStems StemsFor(const TableLocation& table, const RebuildNames& names) {
    WorkStems stems{WorkTableStem(table, names.backup), WorkTableStem(table, names.keyViolations),
                    WorkTableStem(table, names.problems),
                    names.errorTable.empty() ? std::string()
                                             : WorkTableStem(table, names.errorTable)};
    std::vector<std::string> all = {Upper(table.stem), Upper(stems.backup),
                                    Upper(stems.keyViolations), Upper(stems.problems)};
    if (!stems.errorTable.empty()) {
        all.push_back(Upper(stems.errorTable));
    }
    std::sort(all.begin(), all.end());
    if (std::adjacent_find(all.begin(), all.end()) != all.end()) {
        throw UtilityError(engine::err::InvalidArgument,
                           "work tables must have names of their own");
    }
    return stems;
}

bool SameFields(const paradox::TableSchema& a, const paradox::TableSchema& b) {
    if (a.fields.size() != b.fields.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.fields.size(); ++i) {
        if (a.fields[i].typeCode != b.fields[i].typeCode ||
            a.fields[i].sizeByte != b.fields[i].sizeByte) {
            return false;
        }
    }
    return true;
}

// A record's place in the damaged table.
struct Location {
    std::uint16_t block;
    std::uint16_t slot;
};

// What was read of a file another program shrank meanwhile is not to be trusted: nothing of
// it may replace the table.
[[noreturn]] void ThrowChangedWhileRead(const fs::path& file) {
    throw UtilityError(engine::err::TableChangedWhileRead,
                       file.string() + " changed size while it was read; the table is unchanged");
}

std::uint64_t BackUp(const paradox::TableFamily& family, const fs::path& staging,
                     const std::string& backupStem) {
    std::uint64_t bytes = 0;
    for (const fs::path& file : paradox::AllFamilyFiles(family)) {
        CopyFileDurably(file, staging / (backupStem + file.extension().string()));
        bytes += fs::file_size(file);
    }
    return bytes;
}

} // namespace

RebuildOutcome RebuildTable(const TableLocation& table, const paradox::TableSchema& schema,
                            const RebuildNames& names) {
    const WorkStems stems = StemsFor(table, names);
    if (!paradox::WritableSchemaProblem(schema).empty()) {
        throw UtilityError(engine::err::UtilityDescriptorMismatch,
                           paradox::WritableSchemaProblem(schema));
    }
    const auto lock = LockTable(table, engine::TableLock::Mode::Exclusive);
    RebuildOutcome outcome;
    auto& findings = outcome.findings;
    const fs::path staging = PrepareStaging(table.dir, table.stem);
    StagingGuard guard(staging);
    ProgressReporter progress(Phase::Rebuild, 100);

    // 1. The whole family, byte for byte, before anything else.
    const paradox::TableFamily family = paradox::FindFamily(table.db);
    BackUp(family, staging, stems.backup);
    progress.Advance(30);

    // 2. Everything that can be read from the damaged table.
    auto reader = paradox::TableReader::Open(table.db, findings);
    if (!reader || !reader->Header().IsTable()) {
        throw UtilityError(engine::err::HeaderCorrupt,
                           "header of " + table.db.string() + " cannot be read");
    }
    if (reader->Encrypted()) {
        throw UtilityError(engine::err::TableEncrypted, table.db.string() + " is encrypted");
    }
    if (!SameFields(reader->Schema(), schema) ||
        reader->Header().recordSize != schema.RecordSize()) {
        throw UtilityError(engine::err::UtilityDescriptorMismatch,
                           "descriptor fields differ from the table's");
    }
    const std::string dbName = table.db.filename().string();
    const std::uint32_t recordSize = reader->Header().recordSize;
    std::unique_ptr<paradox::TableReader> px;
    if (reader->Header().Keyed() && !family.px.empty()) {
        paradox::FindingList ignored; // the verify reports the index's own faults
        px = paradox::TableReader::Open(family.px, ignored);
    }
    const std::vector<BlockRecords> blocks = BlocksToRecover(*reader, px.get(), findings);
    if (px && px->FileShrank()) {
        ThrowChangedWhileRead(px->Path());
    }
    px.reset();
    const ValueChecker values(schema);
    ProblemTable problems(staging, stems.problems);
    std::vector<Location> locations;
    std::size_t recoverable = 0;
    for (const BlockRecords& b : blocks) {
        recoverable += b.count;
    }
    locations.reserve(recoverable);
    std::string problem;
    for (const BlockRecords& b : blocks) {
        const paradox::ByteView bytes = reader->BlockBytes(b.block);
        for (std::uint16_t slot = 0; slot < b.count; ++slot) {
            const std::uint8_t* record = bytes.data() + 6 + std::size_t{slot} * recordSize;
            if (!values.Check(record, &problem)) {
                problems.Add(dbName, b.block, slot, FindingCode::RecordUnreadable, problem,
                             {record, recordSize});
                findings.Add(FindingCode::RecordUnreadable, Severity::Damage, dbName, b.block, slot,
                             problem, true);
                continue;
            }
            locations.push_back({b.block, slot});
        }
    }
    outcome.recordsRead = locations.size();
    auto recordAt = [&](const Location& at) {
        return reader->BlockBytes(at.block).data() + 6 + std::size_t{at.slot} * recordSize;
    };

    // 3. Key order. Where byte order is the key order, sort the locations by key (stable, so
    // the first of equal keys stays). Under a collation we cannot reproduce, keep the chain's
    // order. Either way a record whose key bytes an earlier record already has is a violation.
    const KeyLayout key = KeyLayoutOf(schema);
    std::vector<bool> duplicate;
    std::vector<std::uint32_t> order; // positions in `locations` to write; empty = as they are
    if (schema.Keyed()) {
        const auto keyLess = [&](const Location& a, const Location& b) {
            return paradox::CompareKeyBytes(recordAt(a), recordAt(b), key.length) < 0;
        };
        duplicate.assign(locations.size(), false);
        // A chain in key order (every healthy table) is written as it is: no order array.
        if (std::is_sorted(locations.begin(), locations.end(), keyLess)) {
            for (std::size_t i = 1; i < locations.size(); ++i) {
                duplicate[i] = paradox::CompareKeyBytes(recordAt(locations[i - 1]),
                                                        recordAt(locations[i]), key.length) == 0;
            }
        } else {
            std::vector<std::uint32_t> byKey(locations.size());
            std::iota(byKey.begin(), byKey.end(), 0u);
            std::stable_sort(byKey.begin(), byKey.end(), [&](std::uint32_t a, std::uint32_t b) {
                return keyLess(locations[a], locations[b]);
            });
            for (std::size_t i = 1; i < byKey.size(); ++i) {
                if (paradox::CompareKeyBytes(recordAt(locations[byKey[i - 1]]),
                                             recordAt(locations[byKey[i]]), key.length) == 0) {
                    duplicate[byKey[i]] = true;
                }
            }
            if (key.byteOrdered) {
                order.swap(byKey);
            }
        }
    }
    progress.Advance(45);

    // Indexes beside the table that the new family will not have: the records are kept, the
    // caller learns that the rebuild was not complete.
    std::vector<UnusableIndex> unusable;
    ReadSecondaryIndexSpecs(table, schema, &unusable);
    for (const UnusableIndex& index : unusable) {
        findings.Add(FindingCode::IndexLost, Severity::Damage, index.file, -1, -1,
                     index.reason + "; the table was rebuilt without it");
        outcome.lostIndexes.push_back(index.file);
    }

    // 4. The new family and the key violations, under staging names.
    BlobValues blobs(schema, family.mb, findings);
    paradox::WriteOptions options;
    options.byteOrderKeys = key.byteOrdered;
    options.sync = !testing::FlushesSkipped();
    paradox::TableWriter writer(staging, table.stem, schema, options);
    std::unique_ptr<paradox::TableWriter> keyViolations;
    std::vector<std::string> lost;
    for (std::size_t n = 0; n < locations.size(); ++n) {
        const std::size_t i = order.empty() ? n : order[n];
        const Location& at = locations[i];
        const std::uint8_t* record = recordAt(at);
        lost.clear();
        const auto values = blobs.Read(record, dbName, &lost);
        for (const std::string& reason : lost) {
            problems.Add(dbName, at.block, at.slot, FindingCode::BlobLost, reason,
                         {record, recordSize});
            findings.Add(FindingCode::BlobLost, Severity::Damage, dbName, at.block, at.slot,
                         reason + "; record kept without it", true);
        }
        if (!duplicate.empty() && duplicate[i]) {
            if (!keyViolations) {
                paradox::TableSchema plain = schema;
                plain.keyFieldCount = 0;
                plain.secondaryIndexes.clear();
                paradox::WriteOptions plainOptions;
                plainOptions.sync = options.sync;
                keyViolations = std::make_unique<paradox::TableWriter>(staging, stems.keyViolations,
                                                                       plain, plainOptions);
            }
            keyViolations->Append({record, recordSize}, values);
            findings.Add(FindingCode::KeyViolation, Severity::Damage, dbName, at.block, at.slot,
                         "moved to " + stems.keyViolations);
            ++outcome.keyViolations;
            continue;
        }
        writer.Append({record, recordSize}, values);
        ++outcome.recordsWritten;
        progress.Advance(45 + 45 * (n + 1) / (locations.size() + 1));
    }
    writer.Finish();
    if (keyViolations) {
        keyViolations->Finish();
    }
    problems.Finish();
    outcome.problems = problems.Rows();
    if (!stems.errorTable.empty()) {
        std::vector<Phase> phases(findings.All().size(), Phase::Rebuild);
        WriteFindingTable(staging, stems.errorTable, dbName, findings, phases);
    }
    if (reader->FileShrank()) {
        ThrowChangedWhileRead(table.db);
    }
    if (blobs.FileShrank()) {
        ThrowChangedWhileRead(family.mb);
    }
    reader.reset();

    // The new table is locked before it takes the table's name: an open that comes after the
    // swap meets this lock until the rebuild is over, not a half-finished folder.
    std::unique_ptr<engine::TableLock> newTableLock;
    if (engine::TableLock::Acquire(staging / (table.stem + ".DB"),
                                   engine::TableLock::Mode::Exclusive,
                                   newTableLock) != engine::err::Ok) {
        throw UtilityError(engine::err::TableInUse, table.db.string() + " is in use");
    }

    // 5. One step from the old family to the new one.
    SwapPlan plan;
    PlanFamilyReplacement(plan, table.dir, staging, table.stem, true);
    PlanFamilyReplacement(plan, table.dir, staging, stems.backup, false);
    PlanFamilyReplacement(plan, table.dir, staging, stems.keyViolations, false);
    PlanFamilyReplacement(plan, table.dir, staging, stems.problems, false);
    if (!stems.errorTable.empty()) {
        PlanFamilyReplacement(plan, table.dir, staging, stems.errorTable, false);
    }
    CommitSwap(table.dir, table.stem, plan);
    guard.Committed();
    progress.Finish();
    return outcome;
}

} // namespace tutil
