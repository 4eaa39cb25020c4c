#include "CodesPage.h"

#include "paradox/Finding.h"

namespace codespage {
namespace {

using paradox::FindingRow;
using paradox::Severity;

// A finding of this code is always suspicious: it changes no verdict and stops no open.
bool OnlySuspicious(const FindingRow& row) {
    return row.severity == Severity::Suspicious && !row.severityByReader &&
           row.stopsOpen == paradox::OpenStop::IfDamage;
}

std::string SeverityText(const FindingRow& row) {
    if (row.severityByReader) {
        return "damage or suspicious (the check decides)";
    }
    return row.severity == Severity::Damage ? "damage" : "suspicious";
}

std::string VerifyText(const FindingRow& row) {
    if (row.phase == paradox::Phase::Rebuild) {
        return "(met by a rebuild)";
    }
    if (row.severity == Severity::Suspicious && !row.severityByReader) {
        return "none";
    }
    std::string text;
    switch (row.verifyEffect) {
    case paradox::VerifyEffect::None:
        text = row.phase == paradox::Phase::Header
                   ? "repairable; cannot rebuild when the header cannot be read"
                   : "repairable";
        break;
    case paradox::VerifyEffect::Incomplete:
    case paradox::VerifyEffect::Unread:
        text = "incomplete";
        break;
    case paradox::VerifyEffect::IncompleteIfDataLost:
        text = "incomplete when records are cut off, else repairable";
        break;
    case paradox::VerifyEffect::ManualRebuild:
        text = "manual rebuild (structure unknown) in the .DB; repairable in an index file";
        break;
    }
    return row.severityByReader ? "as damage: " + text : text;
}

std::string OpenText(const FindingRow& row) {
    if (row.phase == paradox::Phase::Rebuild) {
        return "(met by a rebuild)";
    }
    if (OnlySuspicious(row)) {
        return "no";
    }
    std::string text = row.stopsOpen == paradox::OpenStop::Always ? "yes, also when suspicious"
                       : row.severityByReader                     ? "as damage"
                                                                  : "yes";
    switch (row.openError) {
    case paradox::OpenErrorKind::FileDamage:
        break;
    case paradox::OpenErrorKind::Truncation:
        text += ": table truncated";
        break;
    case paradox::OpenErrorKind::AnotherTable:
        text += ": index of another table";
        break;
    case paradox::OpenErrorKind::OutOfDate:
        text += ": index out of date";
        break;
    }
    return text;
}

std::string RebuildText(paradox::RebuildAction action) {
    using A = paradox::RebuildAction;
    switch (action) {
    case A::NothingToDo:
        return "nothing: a note";
    case A::Rewritten:
        return "written anew without it";
    case A::RecordsRecovered:
        return "records of blocks outside the chain are taken back in when the chain holds "
               "fewer than the header counts";
    case A::PutInKeyOrder:
        return "records written in key order";
    case A::RecordsSetAside:
        return "records set aside in the key-violation or problem table";
    case A::BlockDropped:
        return "records that cannot be read are left out (only with --accept-loss; the "
               "backup keeps them)";
    case A::BlobDropped:
        return "record kept without the blob, listed in the problem table";
    case A::IndexDropped:
        return "table rebuilt without the index (only with --accept-loss; the backup keeps it)";
    case A::StructureFromSource:
        return "fields taken from a source the data bears out (an index, a backup, a named "
               "table); refused when none fits";
    case A::Refused:
        return "refused; the table is left as it is";
    }
    return {};
}

} // namespace

std::string CodesPage() {
    std::string page =
        "# Finding codes\n"
        "\n"
        "<!-- Made from the problem table (src/paradox/FindingTable.cpp) by tools/codespage; do "
        "not edit.\n"
        "     After a change of the table: build/tools/bin/codespage docs/codes.md -->\n"
        "\n"
        "Every problem a verify or a rebuild meets has one of these codes. The details of a run "
        "show it before the place and the problem (`[301] biolife.db: Index file is missing "
        "(keyed table without its primary index)`), and error tables keep it.\n"
        "\n"
        "- **Severity**: *damage* is structural damage; *suspicious* is worth a look but not "
        "damage. Where the check decides, it knows better than the default (a blob pointer "
        "into a missing block is damage, one naming no block at all only suspicious).\n"
        "- **Verify**: what a damage finding of the code makes of the verify's verdict; "
        "suspicious findings change none. Whatever the codes, a table whose header cannot be "
        "read at all, or a protected table no key decrypts, cannot be rebuilt.\n"
        "- **Stops an open**: whether the table no longer opens, and the open's error when it "
        "is not the damage error of the file.\n"
        "- **Rebuild**: what a rebuild does about it. A rebuild writes the whole family anew "
        "from what it reads, keeps the old family as a byte-for-byte backup, and refuses "
        "rather than lose records unless it is told to accept the loss.\n"
        "\n"
        "| Code | Problem | Severity | Verify | Stops an open | Rebuild |\n"
        "|---|---|---|---|---|---|\n";
    for (const paradox::FindingCode code : paradox::AllFindingCodes()) {
        const FindingRow row = paradox::FindingInfo(code);
        page += "| " + std::to_string(static_cast<unsigned>(code)) + " | " + std::string(row.text) +
                " | " + SeverityText(row) + " | " + VerifyText(row) + " | " + OpenText(row) +
                " | " + RebuildText(row.rebuildAction) + " |\n";
    }
    page += "\n## Details\n"
            "\n"
            "The words in brackets after a problem say what exactly was seen. They come from the "
            "forms below; `--json --details` gives the values of a finding's form as numbers or "
            "words: `found` (what was read), `expected` (what it should have been, or what "
            "another part of the table says), `field` (a field's number from 1, or its name), "
            "`block` (another block, or an offset in a blob file) and `entry` (an entry or slot "
            "of it). `:x` marks a value written in hexadecimal; `extra` is a value the words "
            "need that the report does not give separately.\n"
            "\n"
            "| Code | Detail |\n"
            "|---|---|\n";
    for (const paradox::FindingCode code : paradox::AllFindingCodes()) {
        for (const paradox::DetailKind kind : paradox::AllDetailKinds()) {
            const paradox::DetailForm form = paradox::FormOf(kind);
            if (form.code == code) {
                page += "| " + std::to_string(static_cast<unsigned>(code)) + " | `" +
                        std::string(form.words) + "` |\n";
            }
        }
    }
    for (const paradox::DetailKind kind : paradox::AllDetailKinds()) {
        const paradox::DetailForm form = paradox::FormOf(kind);
        if (!form.code) {
            page += "| any | `" + std::string(form.words) + "` |\n";
        }
    }
    return page;
}

} // namespace codespage
