#include "tutil/Verify.h"

#include "engine/ErrorCodes.h"
#include "paradox/BlobFile.h"
#include "paradox/Family.h"
#include "paradox/FindingLimiter.h"
#include "paradox/IndexKeyOrder.h"
#include "paradox/PrimaryIndex.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableReader.h"
#include "tutil/ChainKeyCheck.h"
#include "tutil/FamilySwap.h"
#include "tutil/InUse.h"
#include "tutil/Progress.h"
#include "tutil/RecordValues.h"
#include "tutil/StructureProof.h"
#include "tutil/StructureSalvage.h"
#include "tutil/UtilityError.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace tutil {

using paradox::FindingCode;
using paradox::Severity;

namespace {

// The proofs that X files' records agree with the table, planned before the table's records are
// read so that their table side rides on the data pass (one pass over the table for both).
class DeferredProofs {
public:
    DeferredProofs() = default;
    DeferredProofs(const paradox::TableReader& reader, const paradox::TableFamily& family) {
        for (const auto& x : family.secondaries) {
            if (paradox::UpperExtension(x)[0] == 'X') {
                if (auto proof = paradox::PlanSecondaryProof(reader, x)) {
                    proofs_.push_back({x, std::move(proof)});
                }
            }
        }
    }

    paradox::SecondaryProof* For(const std::filesystem::path& x) const {
        for (const Planned& planned : proofs_) {
            if (planned.x == x) {
                return planned.proof.get();
            }
        }
        return nullptr;
    }

    void TakeTableRecord(const paradox::RecordRef& r) const {
        for (const Planned& planned : proofs_) {
            planned.proof->TakeTableRecord(r);
        }
    }

    bool Empty() const { return proofs_.empty(); }

    bool AllAgree() const {
        return std::all_of(proofs_.begin(), proofs_.end(),
                           [](const Planned& planned) { return planned.proof->Agrees(); });
    }

private:
    struct Planned {
        std::filesystem::path x;
        std::unique_ptr<paradox::SecondaryProof> proof;
    };
    std::vector<Planned> proofs_;
};

void CheckIndexes(const paradox::TableReader& reader, const paradox::TableFamily& family,
                  paradox::FindingList& findings, const DeferredProofs& proofs) {
    const std::string name = family.db.filename().string();
    if (reader.Header().Keyed()) {
        if (family.px.empty()) {
            findings.Add(FindingCode::IndexMissing, Severity::Damage, name, -1, -1,
                         paradox::Detail(paradox::DetailKind::PrimaryIndexMissing));
        } else {
            paradox::CheckPrimaryIndex(reader, family.px, findings);
        }
    } else if (!family.px.empty()) {
        findings.Add(FindingCode::IndexUnexpected, Severity::Suspicious,
                     family.px.filename().string(), -1, -1,
                     paradox::Detail(paradox::DetailKind::PrimaryIndexUnkeyed));
    }
    for (const auto& x : family.secondaries) {
        const std::string extension = paradox::UpperExtension(x);
        if (extension[0] != 'X') {
            continue;
        }
        paradox::CheckSecondaryIndex(reader, x, paradox::PairedTreeFile(family, x), findings,
                                     proofs.For(x));
        paradox::CheckSecondaryIndexOrder(reader, x, findings);
    }
}

bool RecordsCheckable(const paradox::TableReader& reader) {
    // Otherwise the header findings already say the fields do not add up.
    const paradox::TableSchema& schema = reader.Schema();
    return schema.RecordSize() == reader.Header().recordSize && !schema.fields.empty();
}

// Every record's values and the key order, one record after the other in chain order.
class RecordValueCheck {
public:
    RecordValueCheck(const paradox::TableReader& reader, paradox::FindingList& findings)
        : report_(findings, reader.FileName()), values_(reader.Schema()), keys_(reader.Schema()) {}

    void operator()(const paradox::RecordRef& r) {
        if (!values_.Check(r.bytes, &problem_)) {
            report_.Add(FindingCode::BadValue, Severity::Damage, r.block, r.slot, problem_);
        }
        if (keys_.Active() && previous_ != nullptr) {
            keys_.Check(previous_, r.bytes, r.block, r.slot, report_);
        }
        previous_ = r.bytes;
    }

private:
    paradox::FindingLimiter report_;
    const ValueChecker values_;
    const ChainKeyCheck keys_;
    const std::uint8_t* previous_ = nullptr;
    paradox::FindingDetail problem_;
};

// The records' values (when they can be checked), their blobs and the table side of the proofs,
// in one pass over the records; `advance(n)` after the n-th record. The findings come in the
// order of a pass for each: the values', the blob file's own, the blobs'.
template <class Advance>
void CheckRecordsAndBlobs(const paradox::TableReader& reader, const paradox::TableFamily& family,
                          const DeferredProofs& proofs, paradox::FindingList& findings,
                          Advance&& advance) {
    const bool checkable = RecordsCheckable(reader);
    std::uint64_t done = 0;
    if (!reader.Schema().HasBlobs()) {
        std::optional<RecordValueCheck> check;
        if (checkable) {
            check.emplace(reader, findings);
        } else if (proofs.Empty()) {
            return;
        }
        reader.ForEachRecord([&](const paradox::RecordRef& r) {
            proofs.TakeTableRecord(r);
            if (check) {
                (*check)(r);
                advance(++done);
            }
        });
        return;
    }
    paradox::FindingList valueFindings;
    paradox::FindingList blobFindings;
    auto blobs = family.mb.empty() ? nullptr
                                   : paradox::BlobFile::Open(family.mb, blobFindings,
                                                             reader.Header().CipherKeyValue());
    if (blobs) {
        blobs->CheckStructure(blobFindings);
    }
    {
        std::optional<RecordValueCheck> check;
        if (checkable) {
            check.emplace(reader, valueFindings);
        }
        paradox::CheckTableBlobs(reader, blobs.get(), blobFindings,
                                 [&](const paradox::RecordRef& r) {
                                     proofs.TakeTableRecord(r);
                                     if (check) {
                                         (*check)(r);
                                         advance(++done);
                                     }
                                 });
    } // the value check's summary lines are in
    for (const paradox::FindingList* part : {&valueFindings, &blobFindings}) {
        for (const paradox::Finding& finding : part->All()) {
            findings.Add(finding);
        }
    }
    if (blobs && blobs->FileShrank()) {
        throw UtilityError(engine::err::TableChangedWhileRead,
                           family.mb.string() + " changed size while it was verified");
    }
}

void CheckRecordsAndBlobsReported(const paradox::TableReader& reader,
                                  const paradox::TableFamily& family, const DeferredProofs& proofs,
                                  paradox::FindingList& findings) {
    std::optional<ProgressReporter> progress;
    if (RecordsCheckable(reader)) {
        progress.emplace(Phase::Data, reader.RecordCount());
    }
    CheckRecordsAndBlobs(reader, family, proofs, findings, [&](std::uint64_t done) {
        if (progress) {
            progress->Advance(done);
        }
    });
    if (progress) {
        progress->Finish();
    }
}

void CheckIndexesReported(const paradox::TableReader& reader, const paradox::TableFamily& family,
                          const DeferredProofs& proofs, paradox::FindingList& findings) {
    ProgressReporter progress(Phase::Indexes);
    CheckIndexes(reader, family, findings, proofs);
    progress.Finish();
}

std::atomic<std::uint64_t> secondThreadFrom{std::uint64_t{4} << 20};

// A large table's records and blobs are checked on a second thread while the calling thread
// checks the indexes. Their findings are kept apart and come after the index findings, as in
// the one-thread order; every progress report is sent from the calling thread, in the same
// phase order.
class DataCheckThread {
public:
    DataCheckThread(const paradox::TableReader& reader, const paradox::TableFamily& family,
                    const DeferredProofs& proofs)
        : reader_(reader), family_(family), proofs_(proofs), checkable_(RecordsCheckable(reader)),
          worker_([this](std::stop_token stop) { Run(stop); }) {}

    // Reports the data phase while the records are checked, waits for the blob check, then
    // adds the findings to `into`; what failed on the thread is thrown here.
    void Finish(paradox::FindingList& into) {
        if (checkable_) {
            ProgressReporter progress(Phase::Data, reader_.RecordCount());
            for (;;) {
                {
                    std::unique_lock lock(mutex_);
                    if (changed_.wait_for(lock, std::chrono::milliseconds(20),
                                          [&] { return recordsChecked_; })) {
                        break;
                    }
                }
                progress.Advance(recordsDone_.load(std::memory_order_relaxed));
            }
            progress.Finish();
        }
        worker_.join();
        if (failure_) {
            std::rethrow_exception(failure_);
        }
        for (const paradox::Finding& finding : findings_.All()) {
            into.Add(finding);
        }
    }

private:
    struct Stopped {};

    void Run(const std::stop_token& stop) {
        try {
            CheckRecordsAndBlobs(reader_, family_, proofs_, findings_, [&](std::uint64_t done) {
                if (done % 1024 == 0) {
                    recordsDone_.store(done, std::memory_order_relaxed);
                    if (stop.stop_requested()) {
                        throw Stopped{};
                    }
                }
            });
            RecordsChecked();
        } catch (const Stopped&) {
            RecordsChecked(); // the caller failed and is no longer waiting
        } catch (...) {
            failure_ = std::current_exception();
            RecordsChecked();
        }
    }

    void RecordsChecked() {
        {
            std::lock_guard lock(mutex_);
            recordsChecked_ = true;
        }
        changed_.notify_all();
    }

    const paradox::TableReader& reader_;
    const paradox::TableFamily& family_;
    const DeferredProofs& proofs_;
    const bool checkable_;
    paradox::FindingList findings_;
    std::exception_ptr failure_;
    std::atomic<std::uint64_t> recordsDone_{0};
    std::mutex mutex_;
    std::condition_variable changed_;
    bool recordsChecked_ = false;
    std::jthread worker_; // last: started once the rest is there, joined before it goes
};

bool WorthASecondThread(const paradox::TableReader& reader) {
    if (reader.RecordCount() * reader.Header().recordSize <
        secondThreadFrom.load(std::memory_order_relaxed)) {
        return false;
    }
    static const bool severalCores = std::thread::hardware_concurrency() > 1; // reads /sys
    return severalCores;
}

void CheckFamily(const paradox::TableReader& reader, const paradox::TableFamily& family,
                 paradox::FindingList& findings) {
    const DeferredProofs proofs(reader, family);
    paradox::FindingList indexFindings;
    paradox::FindingList dataFindings;
    if (WorthASecondThread(reader)) {
        DataCheckThread data(reader, family, proofs);
        CheckIndexesReported(reader, family, proofs, indexFindings);
        data.Finish(dataFindings);
    } else {
        CheckIndexesReported(reader, family, proofs, indexFindings);
        CheckRecordsAndBlobsReported(reader, family, proofs, dataFindings);
    }
    if (!proofs.AllAgree()) {
        // Some X file's records do not agree with the table as a whole: they are compared one
        // by one, as without plans, and that check's findings stand.
        indexFindings.Clear();
        CheckIndexes(reader, family, indexFindings, DeferredProofs());
    }
    for (const paradox::FindingList* part : {&indexFindings, &dataFindings}) {
        for (const paradox::Finding& finding : part->All()) {
            findings.Add(finding);
        }
    }
}

} // namespace

namespace testing {
void SetSecondThreadFrom(std::uint64_t recordBytes) {
    secondThreadFrom.store(recordBytes, std::memory_order_relaxed);
}
} // namespace testing

VerifyStatus StatusFor(const paradox::FindingList& findings, bool headerUnderstood,
                       std::string_view tableFile) {
    using paradox::VerifyEffect;
    bool damage = false;
    bool incomplete = false;
    bool unread = false;
    for (const auto& f : findings.All()) {
        const VerifyEffect effect = paradox::FindingInfo(f.code).verifyEffect;
        // A file that could not be read leaves the verify incomplete whatever its severity.
        unread = unread || effect == VerifyEffect::Unread;
        if (f.severity != Severity::Damage) {
            continue;
        }
        // Only the table's own header describes its fields: an index whose header cannot
        // describe its key is damage a rebuild writes anew.
        if (effect == VerifyEffect::ManualRebuild && f.file == tableFile) {
            return VerifyStatus::ManualRebuild;
        }
        damage = true;
        // A header that merely claims more blocks than the file has is repairable; records
        // cut off by the end of the file mean the check could not see everything.
        incomplete = incomplete || effect == VerifyEffect::Incomplete ||
                     effect == VerifyEffect::Unread ||
                     (effect == VerifyEffect::IncompleteIfDataLost && f.dataLost);
    }
    if (!headerUnderstood) {
        // No usable header: not a table we could rebuild, unless the file could not be read.
        return unread ? VerifyStatus::Incomplete : VerifyStatus::CannotRebuild;
    }
    if (incomplete) {
        return VerifyStatus::Incomplete;
    }
    return damage ? VerifyStatus::Repairable : VerifyStatus::Healthy;
}

VerifyOutcome VerifyTable(const TableLocation& table) {
    paradox::FindingDetail recovered;
    if (HasSwapLeftovers(table.dir, table.stem)) {
        // Finishing or rolling back a swap changes the family: no other reader may be in it.
        const auto exclusive = LockTable(table, engine::TableLock::Mode::Exclusive);
        RecoverInterruptedSwap(table.dir, table.stem, &recovered);
    }
    const auto lock = LockTable(table, engine::TableLock::Mode::Shared);
    VerifyOutcome outcome;
    auto& findings = outcome.findings;
    if (!recovered.Empty()) {
        findings.Add(FindingCode::InterruptedRebuildFinished, Severity::Suspicious,
                     table.db.filename().string(), -1, -1, recovered);
    }

    std::unique_ptr<paradox::TableReader> reader;
    {
        ProgressReporter progress(Phase::Header);
        reader = paradox::TableReader::Open(table.db, findings);
        progress.Finish();
    }
    if (reader && !reader->Header().IsTable()) {
        findings.Add(FindingCode::BadFileType, Severity::Damage, table.db.filename().string(), -1,
                     -1, paradox::Detail(paradox::DetailKind::NotATable));
        reader.reset();
    }
    // A protected table no key decrypts: its blocks are cipher text, nothing more is checked.
    const bool keyLost = reader && reader->StoredKeyFit() == paradox::KeyFit::NoKey;
    if (reader && !keyLost) {
        const paradox::TableFamily family = paradox::FindFamily(table.db);
        for (const auto& ambiguous : family.ambiguous) {
            findings.Add(FindingCode::FamilyMemberAmbiguous, Severity::Suspicious,
                         ambiguous.filename().string(), -1, -1,
                         paradox::Detail(paradox::DetailKind::LeftOutOfFamily)
                             .Extra(table.db.filename().string()));
        }
        CheckFamily(*reader, family, findings);
        // Nothing above notices fields read under a type or size they do not have.
        if (const std::string contradiction = StructureContradiction(*reader, family.mb);
            !contradiction.empty()) {
            findings.Add(
                FindingCode::StructureContradicted, Severity::Damage, table.db.filename().string(),
                -1, -1,
                paradox::Detail(paradox::DetailKind::StructureContradiction).Found(contradiction));
        }
    }
    if (reader && reader->FileShrank()) {
        throw UtilityError(engine::err::TableChangedWhileRead,
                           table.db.string() + " changed size while it was verified");
    }
    outcome.status = keyLost ? VerifyStatus::CannotRebuild
                             : StatusFor(findings, reader != nullptr, table.db.filename().string());
    if (!keyLost &&
        (outcome.status == VerifyStatus::ManualRebuild || (!reader && StructureUnknown(table)))) {
        // What a rebuild could take the fields from, before anything is written. A header
        // too damaged to read at all is a table of unknown structure once a source fits it.
        reader.reset();
        if (ReportStructureSources(table, findings)) {
            outcome.status = VerifyStatus::ManualRebuild;
        }
    }
    for (const auto& f : findings.All()) {
        outcome.findingPhases.push_back(paradox::FindingInfo(f.code).phase);
    }
    return outcome;
}

} // namespace tutil
