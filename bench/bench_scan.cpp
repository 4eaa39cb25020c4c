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
    bench::Timing timing;
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
    measure.timing = bench::BestTimingOf(kRuns, [&] { measure.totals = bench::OpenAndScan(db); });
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

    std::printf("\nFull scan (open + chain + every field decoded), page cache warm, best of %d.\n"
                "Rates by wall clock and by CPU time (the machine is shared: waiting for a core\n"
                "shows in the wall clock only); dd = dd if=FILE of=/dev/null bs=1M.\n",
                kRuns);
    std::printf("  %-9s %10s %8s | %7s %7s %6s | %7s %7s %6s | %9s | %10s %8s\n", "table",
                "records", "MB", "dd", "scan", "scan/", "dd", "scan", "scan/", "CPU ns", "peakRSS",
                "anon");
    std::printf("  %-9s %10s %8s | %7s %7s %6s | %7s %7s %6s | %9s | %10s %8s\n", "", "", "",
                "GB/s", "GB/s", "dd", "GB/s", "GB/s", "dd", "/record", "+KB", "+KB");
    std::printf("  %-9s %10s %8s | %22s | %22s |\n", "", "", "", "wall clock", "CPU time");
    bench::Timing largest;
    std::uint64_t largestBytes = 0;
    std::vector<double> nsPerRecord;
    for (const auto& table : tables) {
        const std::vector<fs::path> files{table.db};
        const std::uint64_t bytes = bench::TotalBytes(files);
        bench::ReadWithDd(files); // into the page cache
        const bench::Timing dd = bench::BestTimingOf(kRuns, [&] { bench::ReadWithDd(files); });
        const ScanMeasure scan = MeasureScan(table.db);
        if (scan.totals.records != table.records) {
            std::fprintf(stderr, "%s: scanned %" PRIu64 " records, wrote %" PRIu64 "\n",
                         table.stem.c_str(), scan.totals.records, table.records);
            return 1;
        }
        largest = scan.timing;
        largestBytes = bytes;
        nsPerRecord.push_back(scan.timing.cpu * 1e9 / static_cast<double>(table.records));
        std::printf("  %-9s %10" PRIu64 " %8.1f | %7.2f %7.2f %6.2f | %7.2f %7.2f %6.2f | %9.2f | "
                    "%10ld %8ld\n",
                    table.stem.c_str(), table.records, bytes / 1e6, bench::GBps(bytes, dd.wall),
                    bench::GBps(bytes, scan.timing.wall), dd.wall / scan.timing.wall,
                    bench::GBps(bytes, dd.cpu), bench::GBps(bytes, scan.timing.cpu),
                    dd.cpu / scan.timing.cpu, nsPerRecord.back(), scan.peakRssGrowthKb,
                    scan.anonGrowthKb);
    }
    std::printf("  peakRSS+ counts the mapped file's pages (page cache, shared); anon+ is the\n"
                "  scan's private memory (the reader's block lists; nothing per record).\n");
    std::printf("  linear growth: CPU ns/record at the three sizes %.2f, %.2f, %.2f (flat = "
                "linear cost)\n",
                nsPerRecord[0], nsPerRecord[1], nsPerRecord[2]);
    const double wallRate = bench::GBps(largestBytes, largest.wall);
    const double cpuRate = bench::GBps(largestBytes, largest.cpu);
    std::printf("  target >= 2 GB/s on the largest table: %.2f GB/s by wall clock (%s), %.2f GB/s "
                "by CPU time (%s)\n",
                wallRate, wallRate >= 2.0 ? "met" : "not met", cpuRate,
                cpuRate >= 2.0 ? "met" : "not met");

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
            const auto mbps = [&](double seconds) {
                return static_cast<double>(bytes) / seconds / 1e6;
            };
            std::printf("  %" PRIu64 " records, %.1f MB\n", pxlibRecords, bytes / 1e6);
            std::printf("  wall clock: pxlib %8.1f MB/s (%.2f s), ours %8.1f MB/s (%.3f s), "
                        "ours/pxlib %.0fx\n",
                        mbps(pxlib.seconds), pxlib.seconds, mbps(ours.timing.wall),
                        ours.timing.wall, pxlib.seconds / ours.timing.wall);
            std::printf("  CPU time:   pxlib %8.1f MB/s (%.2f s), ours %8.1f MB/s (%.3f s), "
                        "ours/pxlib %.0fx\n",
                        mbps(pxlib.cpuSeconds), pxlib.cpuSeconds, mbps(ours.timing.cpu),
                        ours.timing.cpu, pxlib.cpuSeconds / ours.timing.cpu);
        }
    }
    return 0;
}
