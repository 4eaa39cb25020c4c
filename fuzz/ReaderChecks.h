#pragma once

// Everything the reading side of the format library offers, run over one family on disk. Used
// by the fuzz targets and by the regression test that replays their crash inputs. Beyond "no
// crash, no hang, no leak" (the sanitizers' job) it checks what the sanitizers cannot see in
// a memory-mapped file: that every record handed out lies inside the file.

#include "paradox/BlobFile.h"
#include "paradox/Family.h"
#include "paradox/Finding.h"
#include "paradox/Header.h"
#include "paradox/MappedFile.h"
#include "paradox/PrimaryIndex.h"
#include "paradox/SecondaryIndex.h"
#include "paradox/TableReader.h"
#include "paradox/ValueText.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fuzzpack {

struct ReaderCheckResult {
    bool tableOpened = false;
    std::uint64_t records = 0;
    std::size_t findings = 0;
    std::size_t dumpBytes = 0;
};

[[noreturn]] inline void InvariantBroken(const std::string& what) {
    std::fprintf(stderr, "reader invariant broken: %s\n", what.c_str());
    std::abort();
}

// Opens a block-layout file (table or index) and touches every record it hands out.
inline std::uint64_t WalkBlockFile(const std::filesystem::path& file,
                                   paradox::FindingList& findings) {
    const auto reader = paradox::TableReader::Open(file, findings);
    if (!reader) {
        return 0;
    }
    const paradox::ByteView view = reader->File();
    const std::uint8_t* begin = view.data();
    const std::uint8_t* end = begin + view.size();
    const std::size_t recordSize = reader->Header().recordSize;
    std::uint64_t seen = 0;
    unsigned checksum = 0;
    reader->ForEachRecord([&](const paradox::RecordRef& record) {
        if (record.bytes < begin || record.bytes + recordSize > end) {
            InvariantBroken(file.filename().string() + ": record outside the file at block " +
                            std::to_string(record.block));
        }
        for (std::size_t i = 0; i < recordSize; ++i) {
            checksum += record.bytes[i];
        }
        ++seen;
    });
    if (seen != reader->RecordCount()) {
        InvariantBroken(file.filename().string() + ": RecordCount disagrees with the records");
    }
    for (std::uint32_t block = 1; block <= reader->BlocksPresent() + 1; ++block) {
        const paradox::ByteView bytes = reader->BlockBytes(block);
        if (bytes.size() != 0 && (bytes.data() < begin || bytes.data() + bytes.size() > end)) {
            InvariantBroken(file.filename().string() + ": block bytes outside the file");
        }
    }
    (void)checksum;
    return seen;
}

// Runs header parsing, the table walk, the dump text of every field, the primary and
// secondary index checks and the blob checks over the family of `db`.
inline ReaderCheckResult RunReaderChecks(const std::filesystem::path& db) {
    ReaderCheckResult result;
    paradox::FindingList findings;
    const paradox::TableFamily family = paradox::FindFamily(db);

    // Members with the block layout; the .MB and .VAL files have headers of their own.
    std::vector<std::filesystem::path> blockFiles = family.secondaries;
    blockFiles.push_back(family.db);
    blockFiles.push_back(family.px);
    for (const auto& file : blockFiles) {
        if (file.empty()) {
            continue;
        }
        std::string error;
        const auto mapped = paradox::MappedFile::Open(file, &error);
        if (mapped) {
            const auto header =
                paradox::ParseHeader(mapped->View(), file.filename().string(), findings);
            if (header) {
                std::string info;
                paradox::AppendInfo(info, *header);
                (void)header->ToSchema();
                result.dumpBytes += info.size();
            }
        }
    }
    for (const auto& index : family.secondaries) {
        WalkBlockFile(index, findings);
    }
    if (!family.px.empty()) {
        WalkBlockFile(family.px, findings);
    }

    const auto blobs = family.mb.empty() ? nullptr : paradox::BlobFile::Open(family.mb, findings);
    if (blobs) {
        blobs->CheckStructure(findings);
    }

    const auto table = paradox::TableReader::Open(db, findings);
    if (table) {
        result.tableOpened = true;
        result.records = WalkBlockFile(db, findings);
        std::string line;
        table->ForEachRecord([&](const paradox::RecordRef& record) {
            line.clear();
            paradox::AppendRecordLine(line, *table, record, blobs.get(), &findings);
            result.dumpBytes += line.size();
        });
        paradox::CheckTableBlobs(*table, blobs.get(), findings);
        if (!family.px.empty()) {
            paradox::CheckPrimaryIndex(*table, family.px, findings);
            std::string error;
            const auto pxFile = paradox::MappedFile::Open(family.px, &error);
            if (pxFile) {
                paradox::FindingList ignored;
                const auto pxHeader = paradox::ParseHeader(pxFile->View(), "PX", ignored);
                if (pxHeader) {
                    paradox::CheckIndexHeader(table->Header(), *pxHeader, "PX", findings);
                }
            }
        }
        // Pair each X/XG file with the Y/YG file of the same number.
        for (const auto& x : family.secondaries) {
            const std::string ext = paradox::UpperExtension(x);
            if (ext.empty() || ext[0] != 'X') {
                continue;
            }
            std::filesystem::path y;
            for (const auto& candidate : family.secondaries) {
                const std::string other = paradox::UpperExtension(candidate);
                if (other.size() == ext.size() && other[0] == 'Y' &&
                    other.substr(1) == ext.substr(1)) {
                    y = candidate;
                }
            }
            paradox::CheckSecondaryIndex(*table, x, y, findings);
            std::string error;
            const auto xFile = paradox::MappedFile::Open(x, &error);
            if (xFile) {
                paradox::FindingList ignored;
                const auto xHeader = paradox::ParseHeader(xFile->View(), ext, ignored);
                if (xHeader) {
                    (void)paradox::ReadSecondaryIndexSpec(*xHeader, ext, table->Schema());
                    (void)paradox::SecondaryFieldCount(*xHeader, table->Header());
                }
            }
        }
    }
    for (const auto& finding : findings.All()) {
        result.dumpBytes += finding.Describe().size();
    }
    result.findings = findings.All().size();
    return result;
}

} // namespace fuzzpack
