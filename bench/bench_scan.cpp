// Full-table scan speed from the page cache, against `dd bs=1M` of the same file and against
// pxlib reading every record of a one-million-record table, at three table sizes to show the
// cost grows linearly, with the memory each scan needed. Prints; asserts nothing about time.
//
// MENDRIX_BENCH_MB (default 1024) sets the largest table; the others are 10% and 30% of it,
// and the pxlib table holds one million records scaled by MENDRIX_BENCH_MB / 1024 at most.

#include "BenchSupport.h"
#include "PxlibScan.h"
#include "ScanTable.h"
#include "TypedScan.h"
#include "paradox/Finding.h"
#include "paradox/TableReader.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kRuns = 3;
constexpr std::uint8_t kBigBlockCode = 32; // 32 KB blocks: 65535 of them hold 2 GB
constexpr std::uint8_t kPxlibBlockCode = 4;

struct SizedTable {
    std::string stem;
    std::uint64_t records;
    fs::path db;
};

std::uint64_t RecordsFor(std::uint64_t megabytes) {
    const std::uint64_t recordSize = bench::ScanSchema(kBigBlockCode).RecordSize();
    return megabytes * 1000 * 1000 / recordSize;
}

struct ScanMeasure {
    double seconds = 0;
    bench::ScanTotals totals;
    long peakRssGrowthKb = 0;
    long anonGrowthKb = 0;
    long heapGrowthKb = 0;
};

// Times open + typed scan (best of kRuns), with the memory the first pass needed.
ScanMeasure MeasureScan(const fs::path& db) {
    ScanMeasure measure;
    const long peakBefore = bench::PeakRssKb();
    const long anonBefore = bench::AnonRssKb();
    const long heapBefore = bench::HeapInUseKb();
    {
        paradox::FindingList findings;
        const auto reader = paradox::TableReader::Open(db, findings);
        if (!reader || !findings.Empty()) {
            std::fprintf(stderr, "%s: does not read cleanly (%zu findings)\n", db.c_str(),
                         findings.All().size());
            std::exit(1);
        }
        measure.totals = bench::ScanTyped(*reader);
        measure.anonGrowthKb = bench::AnonRssKb() - anonBefore;
        measure.heapGrowthKb = bench::HeapInUseKb() - heapBefore;
    }
    measure.peakRssGrowthKb = bench::PeakRssKb() - peakBefore;
    measure.seconds = bench::BestSecondsOf(kRuns, [&] { measure.totals = bench::OpenAndScan(db); });
    return measure;
}

} // namespace

int main() {
    const std::uint64_t megabytes = bench::BenchMegabytes();
    bench::ScratchDir scratch("bench-scan");
    const std::uint64_t pxlibRecords =
        std::max<std::uint64_t>(1000, std::min<std::uint64_t>(1000000, megabytes * 1000000 / 1024));

    std::vector<SizedTable> tables;
    for (const std::uint64_t mb : {megabytes / 10, megabytes * 3 / 10, megabytes}) {
        const std::uint64_t clamped = std::max<std::uint64_t>(mb, 1);
        tables.push_back({"SCAN" + std::to_string(clamped), RecordsFor(clamped), {}});
    }
    for (auto& table : tables) {
        table.db = scratch.Path() / (table.stem + ".DB");
    }
    const fs::path pxlibDb = scratch.Path() / "PXLIB.DB";

    // Written in a child process so that the writer's memory does not count in ours.
    std::printf("bench_scan: writing tables of %" PRIu64 " MB (MENDRIX_BENCH_MB) and below in %s\n",
                megabytes, scratch.Path().c_str());
    const double writeSeconds = bench::SecondsOf([&] {
        bench::InChild([&] {
            for (const auto& table : tables) {
                bench::WriteScanTable(scratch.Path(), table.stem, table.records, kBigBlockCode);
            }
            bench::WriteScanTable(scratch.Path(), "PXLIB", pxlibRecords, kPxlibBlockCode);
        });
    });
    std::printf("  written in %.1f s\n", writeSeconds);

    std::printf("\nFull scan (open + chain + every field decoded), page cache warm, best of %d:\n",
                kRuns);
    std::printf("  %-10s %12s %10s %10s %10s %9s %12s %10s %10s\n", "table", "records", "MB",
                "dd GB/s", "scan GB/s", "scan/dd", "ns/record", "peakRSS+KB", "anon+KB");
    double largestRate = 0;
    for (const auto& table : tables) {
        const std::vector<fs::path> files{table.db};
        const std::uint64_t bytes = bench::TotalBytes(files);
        bench::ReadWithDd(files); // into the page cache
        const double ddSeconds = bench::BestSecondsOf(kRuns, [&] { bench::ReadWithDd(files); });
        const ScanMeasure scan = MeasureScan(table.db);
        if (scan.totals.records != table.records) {
            std::fprintf(stderr, "%s: scanned %" PRIu64 " records, wrote %" PRIu64 "\n",
                         table.stem.c_str(), scan.totals.records, table.records);
            return 1;
        }
        const double scanRate = bench::GBps(bytes, scan.seconds);
        largestRate = scanRate;
        std::printf("  %-10s %12" PRIu64 " %10.1f %10.2f %10.2f %9.2f %12.2f %10ld %10ld\n",
                    table.stem.c_str(), table.records, bytes / 1e6, bench::GBps(bytes, ddSeconds),
                    scanRate, ddSeconds / scan.seconds,
                    scan.seconds * 1e9 / static_cast<double>(table.records), scan.peakRssGrowthKb,
                    scan.anonGrowthKb);
    }
    std::printf("  (peakRSS+ counts the mapped file's pages, which belong to the page cache;\n"
                "   anon+ is the scan's private memory: the reader's block lists, not records)\n");
    std::printf("  target: scan >= 2 GB/s on the largest table: %.2f GB/s -> %s\n", largestRate,
                largestRate >= 2.0 ? "met" : "NOT met");

    std::printf("\npxlib (PX_retrieve_record for every record) against our scan, same table:\n");
    {
        const std::vector<fs::path> files{pxlibDb};
        const std::uint64_t bytes = bench::TotalBytes(files);
        bench::ReadWithDd(files);
        const bench::PxlibScanResult pxlib = bench::ScanWithPxlib(pxlibDb);
        const ScanMeasure ours = MeasureScan(pxlibDb);
        if (!pxlib.ok || static_cast<std::uint64_t>(pxlib.records) != pxlibRecords) {
            std::printf("  pxlib could not read the table (%" PRId64 " records)\n", pxlib.records);
        } else {
            const double pxRate = static_cast<double>(bytes) / pxlib.seconds / 1e6;
            const double ourRate = static_cast<double>(bytes) / ours.seconds / 1e6;
            std::printf("  %" PRIu64 " records, %.1f MB: pxlib %.1f MB/s (%.2f s), ours %.1f MB/s"
                        " (%.3f s), ours/pxlib %.0fx\n",
                        pxlibRecords, bytes / 1e6, pxRate, pxlib.seconds, ourRate, ours.seconds,
                        ourRate / pxRate);
        }
    }
    return 0;
}
