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
#include "tutil/StructureSalvage.h"
#include "tutil/UtilityError.h"

#include <cstring>
#include <string>

namespace tutil {

using paradox::FindingCode;
using paradox::Severity;

namespace {

void CheckIndexes(const paradox::TableReader& reader, const paradox::TableFamily& family,
                  paradox::FindingList& findings) {
    const std::string name = family.db.filename().string();
    if (reader.Header().Keyed()) {
        if (family.px.empty()) {
            findings.Add(FindingCode::IndexMissing, Severity::Damage, name, -1, -1,
                         "keyed table without its primary index");
        } else {
            paradox::CheckPrimaryIndex(reader, family.px, findings);
        }
    } else if (!family.px.empty()) {
        findings.Add(FindingCode::IndexUnexpected, Severity::Suspicious,
                     family.px.filename().string(), -1, -1, "primary index of an unkeyed table");
    }
    for (const auto& x : family.secondaries) {
        const std::string extension = paradox::UpperExtension(x);
        if (extension[0] != 'X') {
            continue;
        }
        paradox::CheckSecondaryIndex(reader, x, paradox::PairedTreeFile(family, x), findings);
        paradox::CheckSecondaryIndexOrder(reader, x, findings);
    }
}

void CheckRecords(const paradox::TableReader& reader, paradox::FindingList& findings) {
    const paradox::TableSchema& schema = reader.Schema();
    if (schema.RecordSize() != reader.Header().recordSize || schema.fields.empty()) {
        return; // the header findings already say the fields do not add up
    }
    paradox::FindingLimiter report(findings, reader.FileName());
    ProgressReporter progress(Phase::Data, reader.RecordCount());
    const ValueChecker values(schema);
    const ChainKeyCheck keys(schema);
    const std::uint8_t* previous = nullptr;
    std::uint64_t done = 0;
    std::string problem;
    reader.ForEachRecord([&](const paradox::RecordRef& r) {
        if (!values.Check(r.bytes, &problem)) {
            report.Add(FindingCode::BadValue, Severity::Damage, r.block, r.slot, problem);
        }
        if (keys.Active() && previous != nullptr) {
            keys.Check(previous, r.bytes, r.block, r.slot, report);
        }
        previous = r.bytes;
        progress.Advance(++done);
    });
    progress.Finish();
}

} // namespace

VerifyStatus StatusFor(const paradox::FindingList& findings, bool headerUnderstood) {
    bool damage = false;
    bool incomplete = false;
    for (const auto& f : findings.All()) {
        if (f.severity != Severity::Damage) {
            continue;
        }
        if (paradox::FindingInfo(f.code).structureUnknown) {
            return VerifyStatus::ManualRebuild;
        }
        damage = true;
        // A header that merely claims more blocks than the file has is repairable; records
        // cut off by the end of the file mean the check could not see everything.
        if ((f.code == FindingCode::FileTruncated && f.dataLost) ||
            f.code == FindingCode::FileUnreadable || f.code == FindingCode::FileTooShort) {
            incomplete = true;
        }
    }
    if (!headerUnderstood) {
        // No usable header: not a table we could rebuild, unless the file could not be read.
        return findings.Has(FindingCode::FileUnreadable) ? VerifyStatus::Incomplete
                                                         : VerifyStatus::CannotRebuild;
    }
    if (incomplete) {
        return VerifyStatus::Incomplete;
    }
    return damage ? VerifyStatus::Repairable : VerifyStatus::Healthy;
}

VerifyOutcome VerifyTable(const TableLocation& table) {
    if (HasSwapLeftovers(table.dir, table.stem)) {
        // Finishing or rolling back a swap changes the family: no other reader may be in it.
        const auto exclusive = LockTable(table, engine::TableLock::Mode::Exclusive);
        RecoverInterruptedSwap(table.dir, table.stem);
    }
    const auto lock = LockTable(table, engine::TableLock::Mode::Shared);
    VerifyOutcome outcome;
    auto& findings = outcome.findings;

    std::unique_ptr<paradox::TableReader> reader;
    {
        ProgressReporter progress(Phase::Header);
        reader = paradox::TableReader::Open(table.db, findings);
        progress.Finish();
    }
    if (reader && !reader->Header().IsTable()) {
        findings.Add(FindingCode::BadFileType, Severity::Damage, table.db.filename().string(), -1,
                     -1, "not a table");
        reader.reset();
    }
    // A protected table no key decrypts: its blocks are cipher text, nothing more is checked.
    const bool keyLost = reader && reader->StoredKeyFit() == paradox::KeyFit::NoKey;
    if (reader && !keyLost) {
        const paradox::TableFamily family = paradox::FindFamily(table.db);
        for (const auto& ambiguous : family.ambiguous) {
            findings.Add(FindingCode::FamilyMemberAmbiguous, Severity::Suspicious,
                         ambiguous.filename().string(), -1, -1,
                         "left out of " + table.db.filename().string() + "'s files");
        }
        {
            ProgressReporter progress(Phase::Indexes);
            CheckIndexes(*reader, family, findings);
            progress.Finish();
        }
        CheckRecords(*reader, findings);
        if (reader->Schema().HasBlobs()) {
            auto blobs = family.mb.empty()
                             ? nullptr
                             : paradox::BlobFile::Open(family.mb, findings,
                                                       reader->Header().CipherKeyValue());
            if (blobs) {
                blobs->CheckStructure(findings);
            }
            paradox::CheckTableBlobs(*reader, blobs.get(), findings);
            if (blobs && blobs->FileShrank()) {
                throw UtilityError(engine::err::TableChangedWhileRead,
                                   family.mb.string() + " changed size while it was verified");
            }
        }
    }
    if (reader && reader->FileShrank()) {
        throw UtilityError(engine::err::TableChangedWhileRead,
                           table.db.string() + " changed size while it was verified");
    }
    outcome.status = keyLost ? VerifyStatus::CannotRebuild : StatusFor(findings, reader != nullptr);
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
