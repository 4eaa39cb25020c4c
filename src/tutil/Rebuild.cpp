#include "tutil/Rebuild.h"

#include "engine/ErrorCodes.h"
#include "engine/RebuildFiles.h"
#include "paradox/BlockHeader.h"
#include "paradox/Codec.h"
#include "paradox/Family.h"
#include "paradox/HeaderOffsets.h"
#include "paradox/NameCase.h"
#include "paradox/TableReader.h"
#include "paradox/TableWriter.h"
#include "tutil/BackupCopy.h"
#include "tutil/BlobFileContents.h"
#include "tutil/BlobValues.h"
#include "tutil/DirHandle.h"
#include "tutil/DurableFile.h"
#include "tutil/ErrorTable.h"
#include "tutil/FamilySwap.h"
#include "tutil/InUse.h"
#include "tutil/KeyOrder.h"
#include "tutil/MemberHeader.h"
#include "tutil/ProblemTable.h"
#include "tutil/Progress.h"
#include "tutil/RecordCeiling.h"
#include "tutil/RecordValues.h"
#include "tutil/RecoverBlocks.h"
#include "tutil/SecondarySpecs.h"
#include "tutil/StructureProof.h"
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

// Removes the staging folder unless the swap's journal is on disk: from then on the staging
// folder (the backup in it) belongs to recovery, even when the swap failed.
class StagingGuard {
public:
    StagingGuard(const DirHandle& dir, std::string stem, const DirHandle& staging)
        : dir_(dir), stem_(std::move(stem)), staging_(staging) {}
    ~StagingGuard() {
        if (!committed_ && !SwapCommitted(dir_, stem_)) {
            try {
                RemoveOpenFolder(dir_, engine::RebuildStagingName(stem_), staging_);
            } catch (const std::exception&) {
                // left for the next run's recovery
            }
        }
    }
    StagingGuard(const StagingGuard&) = delete;
    StagingGuard& operator=(const StagingGuard&) = delete;
    void Committed() { committed_ = true; }

private:
    const DirHandle& dir_;
    std::string stem_;
    const DirHandle& staging_;
    bool committed_ = false;
};

struct WorkStems {
    std::string backup, keyViolations, problems;
};

// The stems as the caller named them; they must differ from each other and from the table.
WorkStems GivenStems(const TableLocation& table, const RebuildNames& names) {
    WorkStems stems{WorkTableStem(table, names.backup), WorkTableStem(table, names.keyViolations),
                    WorkTableStem(table, names.problems)};
    std::vector<std::string> all = {
        paradox::UpperAscii(table.stem), paradox::UpperAscii(stems.backup),
        paradox::UpperAscii(stems.keyViolations), paradox::UpperAscii(stems.problems)};
    std::sort(all.begin(), all.end());
    if (std::adjacent_find(all.begin(), all.end()) != all.end()) {
        throw UtilityError(engine::err::InvalidArgument,
                           "work tables must have names of their own");
    }
    if (fs::path(names.errorTable).has_parent_path()) {
        throw UtilityError(engine::err::InvalidArgument,
                           "an error table name takes no folder: " + names.errorTable);
    }
    return stems;
}

// Free names for the work tables: an earlier backup, key-violation or problem table is
// never replaced.
WorkStems FreeStems(const TableLocation& table, const WorkStems& given) {
    WorkStems free;
    std::vector<std::string> taken = {table.stem, given.backup, given.keyViolations,
                                      given.problems};
    auto pick = [&](const std::string& stem) {
        taken.erase(std::find(taken.begin(), taken.end(), stem));
        std::string chosen = FreeWorkTableStem(table.dir, stem, taken);
        taken.push_back(chosen);
        return chosen;
    };
    free.backup = pick(given.backup);
    free.keyViolations = pick(given.keyViolations);
    free.problems = pick(given.problems);
    return free;
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

// The damaged table opened for reading; refused when it cannot be rebuilt with `schema`.
std::unique_ptr<paradox::TableReader> OpenDamagedTable(const TableLocation& table,
                                                       const paradox::TableSchema& schema,
                                                       const StructureChoice& structure,
                                                       RebuildOutcome& outcome) {
    paradox::FindingList& findings = outcome.findings;
    auto reader = paradox::TableReader::Open(table.db, findings);
    bool salvage = !reader || !reader->Header().fieldsKnown;
    if (!salvage && reader->Header().IsTable() &&
        reader->StoredKeyFit() != paradox::KeyFit::NoKey) {
        // A header that can be read may still lie about its fields; a named source is used
        // or refused, never passed over for it.
        const std::string contradiction =
            StructureContradiction(*reader, paradox::FindFamily(table.db).mb);
        if (!contradiction.empty()) {
            findings.Add(
                FindingCode::StructureContradicted, Severity::Damage, table.db.filename().string(),
                -1, -1,
                paradox::Detail(paradox::DetailKind::StructureContradiction).Found(contradiction));
        }
        salvage = !contradiction.empty() || structure.NamesASource();
    }
    if (salvage) {
        reader = OpenUnderSalvagedStructure(table, structure, findings, &outcome.structureSource);
    }
    if (!reader || !reader->Header().IsTable()) {
        throw UtilityError(engine::err::HeaderCorrupt,
                           "header of " + table.db.string() + " cannot be read");
    }
    if (reader->StoredKeyFit() == paradox::KeyFit::NoKey) {
        throw UtilityError(
            engine::err::TableEncrypted,
            table.db.string() +
                " is encrypted and no key decrypts its blocks; the table is unchanged");
    }
    if (!SameFields(reader->Schema(), schema) ||
        reader->Header().recordSize != schema.RecordSize()) {
        throw UtilityError(engine::err::UtilityDescriptorMismatch,
                           "descriptor fields differ from the table's");
    }
    return reader;
}

// The family member with an upper-case extension such as "X02"; empty when there is none.
fs::path SecondaryFile(const paradox::TableFamily& family, const std::string& extension) {
    for (const auto& path : family.secondaries) {
        if (paradox::UpperExtension(path) == extension) {
            return path;
        }
    }
    return {};
}

// The key the table's header stores in the file. The parsed fields hold the key the blocks
// were read with, which the reader may have found again when the stored one did not fit.
std::uint32_t KeyStoredInFile(const paradox::TableHeader& header) {
    const paradox::ByteView raw{std::span<const std::uint8_t>(header.raw)};
    return raw
        .U32LE(header.hasExtension ? paradox::header_at::kEncryption2
                                   : paradox::header_at::kEncryption1)
        .value_or(0);
}

// The schema the new family is written with: a protected table stays protected with the key
// it was read with (the stored one, or the one the reader recovered) and the header bytes kept
// with it, whatever the caller's schema says; each index keeps the key of the file it replaces.
paradox::TableSchema WithProtectionOf(const paradox::TableReader& reader,
                                      const paradox::TableFamily& family,
                                      paradox::TableSchema schema) {
    schema.protection = reader.Header().Protection();
    schema.protection.primaryIndexKeyValue = MemberKeyValue(family.px);
    for (auto& spec : schema.secondaryIndexes) {
        const std::string x = paradox::UpperAscii(spec.extension);
        if (x.empty()) {
            continue;
        }
        spec.xKeyValue = MemberKeyValue(SecondaryFile(family, x));
        spec.yKeyValue = MemberKeyValue(SecondaryFile(family, "Y" + x.substr(1)));
    }
    return schema;
}

// Where the records of the recoverable blocks are, without those that fail the value
// checks: they go to the problem table and the findings instead.
std::vector<Location> RecoverableRecords(const paradox::TableReader& reader,
                                         const paradox::TableFamily& family,
                                         const paradox::TableSchema& schema, ProblemTable& problems,
                                         paradox::FindingList& findings) {
    std::unique_ptr<paradox::TableReader> px;
    if (reader.Header().Keyed() && !family.px.empty()) {
        paradox::FindingList ignored; // the verify reports the index's own faults
        px = paradox::TableReader::Open(family.px, ignored);
    }
    const std::vector<BlockRecords> blocks = BlocksToRecover(reader, px.get(), findings);
    if (px && px->FileShrank()) {
        ThrowChangedWhileRead(px->Path());
    }
    px.reset();
    const std::string dbName = reader.FileName();
    const std::uint32_t recordSize = reader.Header().recordSize;
    const ValueChecker values(schema);
    std::vector<Location> locations;
    std::size_t recoverable = 0;
    for (const BlockRecords& b : blocks) {
        recoverable += b.count;
    }
    locations.reserve(recoverable);
    paradox::FindingDetail problem;
    for (const BlockRecords& b : blocks) {
        const paradox::ByteView bytes = reader.BlockBytes(b.block);
        for (std::uint16_t slot = 0; slot < b.count; ++slot) {
            const std::uint8_t* record =
                bytes.data() + paradox::kBlockHeaderSize + std::size_t{slot} * recordSize;
            if (!values.Check(record, &problem)) {
                problems.Add(dbName, b.block, slot, FindingCode::RecordUnreadable, problem.Render(),
                             {record, recordSize});
                findings.Add(FindingCode::RecordUnreadable, Severity::Damage, dbName, b.block, slot,
                             problem, true);
                continue;
            }
            locations.push_back({b.block, slot});
        }
    }
    return locations;
}

constexpr const char* kNothingChanged = "nothing was changed";
constexpr const char* kWayForward = "rebuild with mendrix-cli rebuild --accept-loss";

// Index files beside the table that the new family cannot reproduce (a single-field .Xnn is
// reproduced from its name, see ReadSecondaryIndexSpecs): refused unless the policy accepts
// dropping them; then the records are kept and the old files stay in the backup.
std::vector<UnusableIndex> UnreproducibleIndexes(const TableLocation& table,
                                                 const paradox::TableSchema& schema,
                                                 const RebuildPolicy& policy) {
    std::vector<UnusableIndex> unusable;
    ReadSecondaryIndexSpecs(table, schema, &unusable);
    if (unusable.empty() || policy.acceptLoss) {
        return unusable;
    }
    std::string text;
    for (const UnusableIndex& index : unusable) {
        const bool named = index.reason.starts_with(index.file);
        text += (text.empty() ? "" : "; ") + (named ? "" : index.file + ": ") + index.reason;
    }
    throw UtilityError(engine::err::UtilityWouldLoseData,
                       text +
                           "; its definition cannot be known from its name, so the rebuild "
                           "would drop it; " +
                           kNothingChanged + "; to rebuild without it (the backup keeps it), " +
                           kWayForward);
}

void ReportLostIndexes(const std::vector<UnusableIndex>& unusable, RebuildOutcome& outcome) {
    for (const UnusableIndex& index : unusable) {
        outcome.findings.Add(
            FindingCode::IndexLost, Severity::Damage, index.file, -1, -1,
            paradox::Detail(paradox::DetailKind::IndexLeftOut).Found(index.reason));
        outcome.lostIndexes.push_back(index.file);
    }
}

// A blob file the new family would not have although it holds blobs (the fields name no blob
// field): refused unless the policy accepts leaving it in the backup only. Returns the file's
// name when it is left out.
std::string BlobFileLeftOut(const paradox::TableFamily& family, const paradox::TableSchema& schema,
                            std::uint32_t keyValue, const RebuildPolicy& policy) {
    if (family.mb.empty() || schema.HasBlobs() || !BlobFileHoldsBlobs(family.mb, keyValue)) {
        return {};
    }
    const std::string name = family.mb.filename().string();
    if (!policy.acceptLoss) {
        throw UtilityError(engine::err::UtilityWouldLoseData,
                           name +
                               " holds blobs, but no field of the table is a blob field, so "
                               "the rebuilt table would not keep it; " +
                               std::string(kNothingChanged) +
                               "; to rebuild without it (the backup keeps it), " + kWayForward);
    }
    return name;
}

// Every record the evidence says the table held must land somewhere: in the new table or the
// key-violation table (`recovered`: every recovered location goes to one of them) or, when its
// values fail the checks, in the problem table (`setAside`). Records on blocks the reader
// found damaged and skipped are not recovered: they count as lost, since nothing keeps them
// but the backup. Space after a block's last record is never counted.
void AccountForRecords(const RecordCeiling& ceiling, std::uint64_t recovered,
                       std::uint64_t setAside, const RebuildPolicy& policy,
                       const std::string& dbName, RebuildOutcome& outcome) {
    const std::uint64_t accounted = recovered + setAside;
    if (ceiling.most <= accounted) {
        return;
    }
    const std::uint64_t lost = ceiling.most - accounted;
    const std::string count = std::to_string(lost) + " of at most " + std::to_string(ceiling.most) +
                              " records (" + ceiling.Describe() + ")";
    if (!policy.acceptLoss) {
        throw UtilityError(engine::err::UtilityWouldLoseData,
                           "would lose " + count + "; " + kNothingChanged +
                               "; to keep what can be read, " + kWayForward);
    }
    outcome.recordsLost = lost;
    outcome.lossEvidence = count;
    outcome.findings.Add(FindingCode::BlockLost, Severity::Damage, dbName, -1, -1,
                         paradox::Detail(paradox::DetailKind::RecordsLost)
                             .Found(lost)
                             .Expected(ceiling.most)
                             .Extra(ceiling.Describe()));
}

// The table of key violations, written beside the new family: the table's fields, unkeyed.
std::unique_ptr<paradox::TableWriter> KeyViolationWriter(const fs::path& staging,
                                                         const std::string& stem,
                                                         const paradox::TableSchema& schema) {
    paradox::TableSchema plain = schema;
    plain.keyFieldCount = 0;
    plain.secondaryIndexes.clear();
    return std::make_unique<paradox::TableWriter>(staging, stem, plain, paradox::WriteOptions{});
}

// The new table is locked before it takes the table's name: an open that comes after the swap
// meets this lock until the rebuild is over, not a half-finished folder.
std::unique_ptr<engine::TableLock> LockNewTable(const TableLocation& table,
                                                const fs::path& staging) {
    std::unique_ptr<engine::TableLock> lock;
    if (engine::TableLock::Acquire(staging / (table.stem + ".DB"),
                                   engine::TableLock::Mode::Exclusive, lock) != engine::err::Ok) {
        throw UtilityError(engine::err::TableInUse, table.db.string() + " is in use");
    }
    return lock;
}

// One step from the old family to the new one, the work tables coming in beside it.
void SwapInNewFamily(const TableLocation& table, const DirHandle& dir, const DirHandle& stagingDir,
                     const fs::path& staging, const WorkStems& stems, RebuildOutcome& outcome) {
    SwapPlan plan;
    plan.table = table.db.filename().string();
    PlanFamilyReplacement(plan, table.dir, staging, table.stem, true);
    for (const std::string& work : {stems.backup, stems.keyViolations, stems.problems}) {
        PlanNewFamily(plan, staging, work);
    }
    // Each backup file keeps the owner and permissions of the file it copies.
    const std::vector<std::string> originals = FamilyFileNames(table.dir, table.stem);
    for (const std::string& copy : FamilyFileNames(staging, stems.backup)) {
        const std::string extension = paradox::UpperExtension(copy);
        for (const std::string& original : originals) {
            if (paradox::UpperExtension(original) == extension) {
                plan.ownerFrom[copy] = original;
            }
        }
    }
    auto stagedTable = [&](const std::string& stem) {
        for (const std::string& name : FamilyFileNames(staging, stem)) {
            if (paradox::UpperExtension(name) == "DB") {
                return name;
            }
        }
        return std::string();
    };
    const std::string backup = stagedTable(stems.backup);
    const std::string keyViolations = stagedTable(stems.keyViolations);
    const std::string problems = stagedTable(stems.problems);
    // A work table whose name another process took meanwhile landed under a free one.
    const SwapPlan done = CommitSwap(dir, stagingDir, table.stem, plan);
    auto landed = [&](const std::string& staged) {
        return staged.empty() ? fs::path() : table.dir / AdditionTarget(done, staged);
    };
    outcome.backupTable = landed(backup);
    outcome.keyViolationTable = landed(keyViolations);
    outcome.problemTable = landed(problems);
}

RebuildOutcome RebuildStaged(const TableLocation& table, const paradox::TableSchema& schema,
                             const RebuildNames& names, const StructureChoice& structure,
                             const RebuildPolicy& policy) {
    const WorkStems given = GivenStems(table, names);
    if (!paradox::WritableSchemaProblem(schema).empty()) {
        throw UtilityError(engine::err::UtilityDescriptorMismatch,
                           paradox::WritableSchemaProblem(schema));
    }
    const auto lock = LockTable(table, engine::TableLock::Mode::Exclusive);
    RebuildOutcome outcome;
    auto& findings = outcome.findings;
    const DirHandle dir = DirHandle::Open(table.dir);
    const DirHandle stagingDir = PrepareStaging(dir, table.stem);
    StagingGuard guard(dir, table.stem, stagingDir);
    const fs::path staging = stagingDir.PinnedPath();
    const WorkStems stems = FreeStems(table, given);
    ProgressReporter progress(Phase::Rebuild, 100);

    // 1. The whole family, byte for byte, copied on a thread of its own while the table is
    // read and the new family is written under staging names; on disk before anything
    // replaces the table.
    const paradox::TableFamily family = paradox::FindFamily(table.db);
    const std::vector<UnusableIndex> unusable = UnreproducibleIndexes(table, schema, policy);
    BackupCopy backup(family, stagingDir, stems.backup);
    const RecordCeiling ceiling =
        backup.BeforeFinish([&] { return EstimateRecordCeiling(table.db, family.px); });
    progress.Advance(30);

    // 2. Everything that can be read from the damaged table.
    auto reader =
        backup.BeforeFinish([&] { return OpenDamagedTable(table, schema, structure, outcome); });
    const std::string dbName = table.db.filename().string();
    const std::uint32_t recordSize = reader->Header().recordSize;
    outcome.blobFileLeftOut = backup.BeforeFinish(
        [&] { return BlobFileLeftOut(family, schema, reader->Header().CipherKeyValue(), policy); });
    const paradox::TableSchema written = WithProtectionOf(*reader, family, schema);
    if (const std::uint32_t key = written.protection.keyValue;
        key != 0 && key != KeyStoredInFile(reader->Header())) {
        outcome.recoveredKey = key;
    }
    ProblemTable problems(staging, stems.problems, written.protection.keyValue);
    const std::vector<Location> locations = backup.BeforeFinish(
        [&] { return RecoverableRecords(*reader, family, schema, problems, findings); });
    outcome.recordsRead = locations.size();
    backup.BeforeFinish([&] {
        AccountForRecords(ceiling, locations.size(), problems.Rows(), policy, dbName, outcome);
    });
    auto recordAt = [&](const Location& at) {
        return reader->BlockBytes(at.block).data() + paradox::kBlockHeaderSize +
               std::size_t{at.slot} * recordSize;
    };

    // 3. Key order, and the records whose key an earlier record has.
    const paradox::KeyComparator keys(schema);
    const KeyOrder keyOrder =
        schema.Keyed()
            ? OrderByKey(
                  locations.size(), keys, [&](std::size_t i) { return recordAt(locations[i]); },
                  [&](std::size_t i) { return locations[i].block; })
            : KeyOrder{};
    progress.Advance(45);
    ReportLostIndexes(unusable, outcome);
    if (!outcome.blobFileLeftOut.empty()) {
        findings.Add(FindingCode::BlobLost, Severity::Damage, outcome.blobFileLeftOut, -1, -1,
                     paradox::Detail(paradox::DetailKind::BlobFileLeftOut));
    }

    // 4. The new family and the key violations, under staging names.
    backup.BeforeFinish([&] {
        BlobValues blobs(written, family.mb, findings);
        paradox::WriteOptions options;
        options.byteOrderKeys = keys.ByteOrder();
        options.keptHeaders = KeptFamilyHeaders(
            family, outcome.structureSource.empty() ? &reader->Header() : nullptr);
        // What repeats the old files' bytes is copied from them by the kernel.
        for (const fs::path& file : paradox::AllFamilyFiles(family)) {
            options.replacedFiles[paradox::UpperExtension(file)] = file;
        }
        paradox::TableWriter writer(staging, table.stem, written, options);
        std::unique_ptr<paradox::TableWriter> keyViolations;
        std::vector<paradox::FindingDetail> lost;
        for (std::size_t n = 0; n < locations.size(); ++n) {
            const std::size_t i = keyOrder.order.empty() ? n : keyOrder.order[n];
            const Location& at = locations[i];
            const std::uint8_t* record = recordAt(at);
            lost.clear();
            const auto values = blobs.Read(record, dbName, &lost);
            for (paradox::FindingDetail& reason : lost) {
                problems.Add(dbName, at.block, at.slot, FindingCode::BlobLost, reason.Render(),
                             {record, recordSize});
                reason.kind = reason.kind == paradox::DetailKind::BlobUnreadable
                                  ? paradox::DetailKind::BlobUnreadableKept
                                  : paradox::DetailKind::BlobUnreadableBecauseKept;
                findings.Add(FindingCode::BlobLost, Severity::Damage, dbName, at.block, at.slot,
                             std::move(reason), true);
            }
            if (!keyOrder.duplicate.empty() && keyOrder.duplicate[i]) {
                if (!keyViolations) {
                    keyViolations = KeyViolationWriter(staging, stems.keyViolations, written);
                }
                keyViolations->Append({record, recordSize}, values);
                findings.Add(
                    FindingCode::KeyViolation, Severity::Damage, dbName, at.block, at.slot,
                    paradox::Detail(paradox::DetailKind::MovedTo).Extra(stems.keyViolations));
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
        if (reader->FileShrank()) {
            ThrowChangedWhileRead(table.db);
        }
        if (blobs.FileShrank()) {
            ThrowChangedWhileRead(family.mb);
        }
        reader.reset();
    });
    backup.Finish();
    for (const auto& ambiguous : family.ambiguous) {
        findings.Add(FindingCode::FamilyMemberAmbiguous, Severity::Suspicious,
                     ambiguous.filename().string(), -1, -1,
                     paradox::Detail(paradox::DetailKind::LeftAlone));
    }
    outcome.errorTable = WriteErrorTable(names.errorTable, dbName, findings,
                                         std::vector<Phase>(findings.All().size(), Phase::Rebuild));

    // 5. One step from the old family to the new one.
    const auto newTableLock = LockNewTable(table, staging);
    SwapInNewFamily(table, dir, stagingDir, staging, stems, outcome);
    guard.Committed();
    progress.Finish();
    return outcome;
}

// Files in the staging folder are written through a path pinned to the opened folder
// (/proc/self/fd/N); a failure names the folder as the operator knows it instead.
std::system_error WithStagingShown(const std::system_error& error, const TableLocation& table) {
    std::string text = error.what();
    const std::string reason = ": " + error.code().message();
    if (text.ends_with(reason)) {
        text.resize(text.size() - reason.size());
    }
    static constexpr std::string_view kPinned = "/proc/self/fd/";
    for (auto at = text.find(kPinned); at != std::string::npos; at = text.find(kPinned, at)) {
        auto end = at + kPinned.size();
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
            ++end;
        }
        const std::string shown = (table.dir / engine::RebuildStagingName(table.stem)).string();
        text.replace(at, end - at, shown);
        at += shown.size();
    }
    return std::system_error(error.code(), text);
}

} // namespace

RebuildOutcome RebuildTable(const TableLocation& table, const paradox::TableSchema& schema,
                            const RebuildNames& names, const StructureChoice& structure,
                            const RebuildPolicy& policy) {
    try {
        return RebuildStaged(table, schema, names, structure, policy);
    } catch (const std::system_error& error) {
        throw WithStagingShown(error, table);
    }
}

std::string IncompleteRebuildText(const RebuildOutcome& outcome) {
    std::vector<std::string> parts;
    if (outcome.recordsLost != 0) {
        parts.push_back("lost " + outcome.lossEvidence);
    }
    for (const std::string& file : outcome.lostIndexes) {
        parts.push_back(file + " could not be rebuilt; the table was rebuilt without it");
    }
    if (!outcome.blobFileLeftOut.empty()) {
        parts.push_back(outcome.blobFileLeftOut +
                        " holds blobs no field of the table refers to; the table was rebuilt "
                        "without it");
    }
    if (parts.empty()) {
        return {};
    }
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : "; ") + part;
    }
    if (!outcome.backupTable.empty()) {
        text += "; the backup " + outcome.backupTable.filename().string() + " keeps the old family";
    }
    return text;
}

} // namespace tutil
