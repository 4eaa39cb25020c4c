#pragma once

#include "cli/export/CodePage.h"
#include "cli/export/RecordDecoder.h"
#include "paradox/BlobFile.h"
#include "paradox/Finding.h"
#include "paradox/TableReader.h"

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// What an export of a table wrote and lost.
struct ExportCounts {
    std::uint64_t records = 0;
    std::uint64_t lostRecords = 0;
};

// A table opened for an export: its records, its blob file, its text read in its code page,
// and what the reading met.
class ExportTable {
public:
    // The table at `path` read in code page `codePageNumber` (empty: the one its header
    // names). nullptr when it cannot be opened, with the findings or `error` saying why;
    // `codePageUnknown` is set when iconv does not know the code page.
    static std::unique_ptr<ExportTable> Open(const std::filesystem::path& path,
                                             const std::string& codePageNumber,
                                             paradox::FindingList& findings, std::string& error,
                                             bool& codePageUnknown);

    // Only Open makes one.
    class Key {
        friend class ExportTable;
        Key() = default;
    };
    ExportTable(Key, std::unique_ptr<paradox::TableReader> table, paradox::FindingList findings);
    ExportTable(const ExportTable&) = delete;
    ExportTable& operator=(const ExportTable&) = delete;

    const paradox::TableReader& Reader() const { return *table_; }
    RecordDecoder& Decoder() { return *decoder_; }
    const RecordDecoder& Decoder() const { return *decoder_; }
    const paradox::FindingList& Findings() const { return findings_; }
    const std::string& CodePage() const { return codePage_; }
    bool CodePageGiven() const { return codePageGiven_; }

    // Decodes every record in chain order and hands it to write(number, values), number
    // counting from 1. The pages read are given back to the kernel every few megabytes, so
    // that the memory an export holds does not grow with the table.
    template <class Write> ExportCounts ForEachRecord(Write&& write) {
        ExportCounts counts;
        std::vector<ExportValue> values;
        std::uint64_t bytesSinceDrop = 0;
        const std::uint64_t recordSize = table_->Header().recordSize;
        table_->ForEachRecordOrGap(
            [&](const paradox::RecordRef& record) {
                decoder_->Decode(record, values);
                write(++counts.records, values);
                bytesSinceDrop += recordSize;
                if (bytesSinceDrop >= kDropEvery) {
                    DropResidentPages();
                    bytesSinceDrop = 0;
                }
            },
            [&](std::uint16_t, std::uint16_t count) { counts.lostRecords += count; });
        return counts;
    }

    // Says on `err` what the export lost (records, values, characters) and warns of a guessed
    // code page; each line starts with `prefix`. `nullWord` names how an unreadable value was
    // written ("empty cells", "null", "NULL").
    void ReportLosses(std::ostream& err, const std::string& prefix, const ExportCounts& counts,
                      const std::string& nullWord) const;

private:
    static constexpr std::uint64_t kDropEvery = 16u << 20;

    void DropResidentPages() const;

    std::unique_ptr<paradox::TableReader> table_;
    paradox::FindingList findings_;
    std::unique_ptr<paradox::BlobFile> blobs_;
    std::string codePage_;
    bool codePageGiven_ = false;
    std::optional<TextConverter> text_;
    std::optional<RecordDecoder> decoder_;
};

} // namespace cli
