#include "tutil/Verify.h"

#include "engine/ErrorCodes.h"
#include "paradox/BlobFile.h"
#include "paradox/Family.h"
#include "paradox/FindingLimiter.h"
#include "paradox/IndexKeyOrder.h"
#include "paradox/PrimaryIndex.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableReader.h"
#include "posix/ReadAhead.h"
#include "tutil/DataPass.h"
#include "tutil/DeferredProofs.h"
#include "tutil/FamilySwap.h"
#include "tutil/InUse.h"
#include "tutil/Progress.h"
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
#include <string>
#include <thread>
#include <vector>

namespace tutil {

using paradox::FindingCode;
using paradox::Severity;

namespace {

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
        if (const auto opened = paradox::CheckSecondaryIndex(
                reader, x, paradox::PairedTreeFile(family, x), findings, proofs.For(x))) {
            paradox::CheckSecondaryIndexOrder(reader, *opened, findings);
        }
    }
}

void CheckDataReported(DataPass& pass, paradox::FindingList& findings) {
    std::optional<ProgressReporter> progress;
    if (pass.ChecksValues()) {
        progress.emplace(Phase::Data, pass.RecordsCount());
    }
    pass.Work([&] {
        if (progress) {
            progress->Advance(pass.RecordsDone());
        }
    });
    pass.Finish(findings);
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
std::atomic<std::uint64_t> stretchBytes{std::uint64_t{8} << 20};
constexpr std::uint64_t kMostStretches = 64;

// A large table's records are checked on a second thread while the calling thread checks the
// indexes, then on both: the chain is cut into stretches that each takes in turn. The findings
// of the data pass come after the index findings, as in the one-thread order; every progress
// report is sent from the calling thread, in the same phase order.
class DataCheckThread {
public:
    explicit DataCheckThread(DataPass& pass)
        : pass_(pass), worker_([this] {
              try {
                  pass_.Work();
              } catch (...) {
                  failure_ = std::current_exception();
              }
              Done();
          }) {}
    DataCheckThread(const DataCheckThread&) = delete;
    DataCheckThread& operator=(const DataCheckThread&) = delete;
    ~DataCheckThread() {
        pass_.Stop(); // in case the caller failed; the worker is joined as worker_ goes
    }

    // Takes stretches along with the second thread while reporting the data phase, waits for
    // it, then adds the findings to `into`; what failed on the thread is thrown here.
    void Finish(paradox::FindingList& into) {
        std::optional<ProgressReporter> progress;
        if (pass_.ChecksValues()) {
            progress.emplace(Phase::Data, pass_.RecordsCount());
        }
        auto report = [&] {
            if (progress) {
                progress->Advance(pass_.RecordsDone());
            }
        };
        pass_.Work(report);
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                if (changed_.wait_for(lock, std::chrono::milliseconds(20), [&] { return done_; })) {
                    break;
                }
            }
            report();
        }
        worker_.join();
        if (failure_) {
            std::rethrow_exception(failure_);
        }
        pass_.Finish(into);
        if (progress) {
            progress->Finish();
        }
    }

private:
    void Done() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
    }

    DataPass& pass_;
    std::exception_ptr failure_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
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
        const std::uint64_t bytes = reader.RecordCount() * reader.Header().recordSize;
        DataPass pass(
            reader, family, proofs,
            std::clamp<std::uint64_t>(bytes / std::max<std::uint64_t>(stretchBytes.load(), 1), 2,
                                      kMostStretches));
        DataCheckThread data(pass);
        CheckIndexesReported(reader, family, proofs, indexFindings);
        data.Finish(dataFindings);
    } else {
        CheckIndexesReported(reader, family, proofs, indexFindings);
        DataPass pass(reader, family, proofs, 1);
        CheckDataReported(pass, dataFindings);
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

// The indexes and the blob file are read from disk while the table's chain is walked rather
// than after it; up to this much of each, so that a huge file does not push out the table.
constexpr std::uint64_t kReadAheadMost = std::uint64_t{256} << 20;

void ReadMembersAhead(const paradox::TableFamily& family) {
    for (const auto& member : {family.px, family.mb}) {
        if (!member.empty()) {
            posix::ReadAhead(member, kReadAheadMost);
        }
    }
    for (const auto& secondary : family.secondaries) {
        posix::ReadAhead(secondary, kReadAheadMost);
    }
}

} // namespace

namespace testing {
void SetSecondThreadFrom(std::uint64_t recordBytes) {
    secondThreadFrom.store(recordBytes, std::memory_order_relaxed);
}
void SetStretchBytes(std::uint64_t recordBytes) {
    stretchBytes.store(recordBytes, std::memory_order_relaxed);
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

    const paradox::TableFamily family = paradox::FindFamily(table.db);
    ReadMembersAhead(family);
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
