#pragma once

#include "paradox/HeaderOwnership.h"
#include "paradox/Schema.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace paradox {

struct WriteOptions {
    // fsync every written file in Finish(). Tests of large tables may switch it off.
    bool sync = true;
    // Header 0x60 of the .DB and X files (Unix seconds); 0 = the current time.
    std::uint32_t fileUpdateTime = 0;
    // .DB header 0x2D; the .PX copies it into its 0x2C. Keyed tables get at least 2.
    std::uint8_t changeCount = 2;
    // Keyed tables: check that records come in ascending byte order of their keys (and
    // WriteTable sorts them so). Off when copying the chain of an existing table whose
    // collation orders Alpha keys otherwise; equal neighbouring keys are refused either way.
    bool byteOrderKeys = true;
    // Bytes of index records the secondary indexes together keep in memory; beyond that
    // they are sorted in runs through a temporary file beside the table. 0 = no limit.
    std::size_t secondarySortMemory = std::size_t{16} << 20;
    // The headers of the files the new family replaces, by upper-case extension ("DB", "PX",
    // "X02", "Y02"...): each new file keeps the bytes of its predecessor the writer does not
    // own (see HeaderOwnership.h). Files without an entry get headers laid out from scratch.
    std::map<std::string, KeptHeader> keptHeaders = {};
    // The files the new family replaces, by upper-case extension ("DB", "MB", "X02"...): where
    // a stretch of a new .DB, .MB or X file repeats its predecessor's bytes at the same offset
    // (a rebuild of a healthy table writes the same blocks), the kernel copies it from there,
    // sharing the blocks where the file system can, instead of it being written again.
    std::map<std::string, std::filesystem::path> replacedFiles = {};
};

// Writes a complete table family (.DB, .PX, secondary .Xnn/.Ynn or .XGn/.YGn, .MB) from
// records handed over one at a time. Data blocks are written as they fill; the index
// entries kept meanwhile are one per data block plus one per record per secondary index.
// Files are named stem + ".DB", ".PX", ".MB", ".X02", ... in `dir`; existing files of
// those names are replaced. The schema is checked in the constructor
// (std::invalid_argument when it cannot be written at its level). A writer destroyed without
// Finish() leaves incomplete files behind for the caller to remove.
class TableWriter {
public:
    TableWriter(std::filesystem::path dir, std::string stem, TableSchema schema,
                WriteOptions options = {});
    ~TableWriter();
    TableWriter(const TableWriter&) = delete;
    TableWriter& operator=(const TableWriter&) = delete;

    // `record` is RecordSize() bytes in on-disk encoding; the bytes of blob fields are
    // ignored and `blobs` holds one entry per blob field in field order (nullopt = NULL;
    // Graphic data without the 8-byte prefix, which the writer adds; OLE data as stored). An empty
    // `blobs` means every blob field is NULL. Keyed tables: records must come in ascending key
    // order (byte order of the encoded key fields), else std::invalid_argument.
    void Append(std::span<const std::uint8_t> record,
                std::span<const std::optional<std::vector<std::uint8_t>>> blobs = {});

    // Writes the indexes and the final headers and flushes every file to disk.
    // std::runtime_error (with the file name and the system's reason) on I/O failure.
    void Finish();

    std::uint64_t RecordCount() const;
    // Every file written (or being written) so far, .DB first.
    std::vector<std::filesystem::path> Files() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Writes a whole table in one call; keyed records are sorted by key first (unless
// options.byteOrderKeys is off: then they are written in the order given).
// blobs: empty, or one entry per record (each as for TableWriter::Append).
void WriteTable(
    const std::filesystem::path& dir, const std::string& stem, const TableSchema& schema,
    const std::vector<std::vector<std::uint8_t>>& records,
    const std::vector<std::vector<std::optional<std::vector<std::uint8_t>>>>& blobs = {},
    WriteOptions options = {});

// Why `schema` cannot be written (empty when it can): level, block sizes, field types and
// sizes, key fields, secondary index definitions.
std::string WritableSchemaProblem(const TableSchema& schema);

} // namespace paradox
