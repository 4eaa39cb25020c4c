#include "cli/export/ExportTable.h"

#include "cli/run/FindingOutput.h"
#include "paradox/Family.h"

#include <ostream>
#include <stdexcept>

namespace cli {

ExportTable::ExportTable(Key, std::unique_ptr<paradox::TableReader> table,
                         paradox::FindingList findings)
    : table_(std::move(table)), findings_(std::move(findings)) {}

std::unique_ptr<ExportTable> ExportTable::Open(const std::filesystem::path& path,
                                               const std::string& codePageNumber,
                                               paradox::FindingList& findings, std::string& error,
                                               bool& codePageUnknown) {
    codePageUnknown = false;
    paradox::FindingList opening;
    auto reader = paradox::TableReader::Open(path, opening, paradox::WalkPages::Drop);
    if (!reader) {
        findings = std::move(opening);
        return nullptr;
    }
    auto table = std::make_unique<ExportTable>(Key(), std::move(reader), std::move(opening));
    const paradox::TableHeader& header = table->table_->Header();
    table->codePageGiven_ = !codePageNumber.empty();
    table->codePage_ = table->codePageGiven_ ? "CP" + codePageNumber
                                             : CodePageName(header.codePage, header.sortOrderName);
    try {
        table->text_.emplace(table->codePage_);
    } catch (const std::runtime_error& e) {
        error = e.what();
        codePageUnknown = true;
        return nullptr;
    }
    if (table->table_->Schema().HasBlobs()) {
        const paradox::TableFamily family = paradox::FindFamily(table->table_->Path());
        if (!family.mb.empty()) {
            table->blobs_ = paradox::BlobFile::Open(
                family.mb, table->findings_, header.CipherKeyValue(), paradox::WalkPages::Drop);
        }
    }
    table->decoder_.emplace(*table->table_, table->blobs_.get(), *table->text_, table->findings_);
    // Opening walked every block: what it mapped need not stay.
    table->DropResidentPages();
    return table;
}

void ExportTable::DropResidentPages() const {
    table_->DropResidentPages();
    if (blobs_) {
        blobs_->DropResidentPages();
    }
}

void ExportTable::ReportLosses(std::ostream& err, const std::string& prefix,
                               const ExportCounts& counts, const std::string& nullWord) const {
    PrintFindings(findings_, err);
    const RecordDecoder& decoder = *decoder_;
    if (counts.lostRecords != 0) {
        err << prefix << counts.lostRecords
            << " records could not be read and are missing from the export\n";
    }
    if (decoder.UnreadableValues() != 0) {
        err << prefix << decoder.UnreadableValues()
            << " values could not be read and were written as " << nullWord << '\n';
    }
    if (decoder.ReplacedBytes() != 0) {
        err << prefix << decoder.TextsWithReplacedBytes() << " texts (values or field names) held "
            << decoder.ReplacedBytes() << " bytes that are no characters of code page " << codePage_
            << ", written as U+FFFD; if the table's text is in another code page, give "
               "--code-page N\n";
    }
    const bool codePageGuessed = !codePageGiven_ && table_->Header().codePage == 0;
    if (codePageGuessed && decoder.SawNonAsciiText()) {
        err << prefix
            << "warning: the table's header names no code page; its text "
               "was read as "
            << codePage_
            << ". If letters outside ASCII read wrong, give --code-page N with the code page "
               "the table was written in (866, 1252...)\n";
    }
}

} // namespace cli
