// mendrix-cli dump TABLE: every record in the canonical dump text, blobs included.

#include "cli/commands/CommandHelp.h"
#include "cli/commands/ReadCommands.h"
#include "cli/commands/TableState.h"
#include "cli/run/FindingOutput.h"
#include "paradox/BlobFile.h"
#include "paradox/Family.h"
#include "paradox/TableReader.h"
#include "paradox/ValueText.h"

#include <ostream>
#include <utility>

namespace cli {
namespace {

constexpr std::size_t kFlushBytes = 1 << 20;

int RunDump(const ParsedArguments& args, std::ostream& out, std::ostream& err) {
    paradox::FindingList findings;
    auto table = paradox::TableReader::Open(args.Value("TABLE"), findings);
    if (!table) {
        PrintFindings(findings, err);
        return ExitCodeOf(StateOf({.opened = false}));
    }
    std::unique_ptr<paradox::BlobFile> blobs;
    if (table->Schema().HasBlobs()) {
        const auto family = paradox::FindFamily(table->Path());
        if (!family.mb.empty()) {
            blobs = paradox::BlobFile::Open(family.mb, findings, table->Header().CipherKeyValue());
        }
    }
    std::uint64_t complete = 0;
    std::string buffer;
    buffer.reserve(kFlushBytes + 4096);
    auto flush = [&] {
        if (buffer.size() >= kFlushBytes) {
            out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            buffer.clear();
        }
    };
    table->ForEachRecordOrGap(
        [&](const paradox::RecordRef& record) {
            paradox::AppendRecordLine(buffer, *table, record, blobs.get(), &findings);
            ++complete;
            flush();
        },
        [&](std::uint16_t, std::uint16_t count) {
            // Records the block declares but the file lost: one unreadable line each.
            for (std::uint16_t i = 0; i < count; ++i) {
                buffer += "\\E\n";
            }
            flush();
        });
    out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    out.flush();
    for (const auto& [shrank, name] :
         {std::pair{table->FileShrank(), table->FileName()},
          std::pair{blobs && blobs->FileShrank(), blobs ? blobs->FileName() : std::string()}}) {
        if (shrank) {
            findings.Add(paradox::FindingCode::FileTruncated, paradox::Severity::Damage, name, -1,
                         -1, paradox::Detail(paradox::DetailKind::ChangedWhileRead), true);
        }
    }
    const std::uint32_t declared = table->Header().numRecords;
    if (complete < declared && !findings.HasDataLoss()) {
        findings.Add(paradox::FindingCode::RecordCountMismatch, paradox::Severity::Damage,
                     table->FileName(), -1, -1,
                     paradox::Detail(paradox::DetailKind::RecordsReadHeaderSays)
                         .Found(complete)
                         .Expected(declared),
                     true);
    }
    PrintFindings(findings, err);
    // Whatever was lost (records, blob data) makes the dump a failure, though it printed
    // everything it could.
    return ExitCodeOf(
        StateOf({.opened = true, .outputFailed = !out, .lossFound = findings.HasDataLoss()}));
}

} // namespace

Command DumpCommand() {
    return {.name = "dump",
            .summary = "print every record of a Paradox table in the canonical dump text",
            .syntax = {.arguments = {{"TABLE"}}},
            .run = &RunDump,
            .exitCodes = ReadExitCodes(true)};
}

} // namespace cli
