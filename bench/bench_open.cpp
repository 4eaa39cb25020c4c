// Cost of opening a table with the engine: a table of about 1 GB against one of about 10 KB.
// The open is a test of the table whose work must not grow with the data, so both should cost
// about the same CPU time, well under a millisecond.
//
// The 1 GB table is written once by our own writer into bench-data/ beside the build's bin/
// directory (about 10 s) and reused by later runs.

#include "engine/Config.h"
#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/TableOpen.h"
#include "paradox/RecordBuilder.h"
#include "paradox/TableWriter.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

paradox::TableSchema BenchSchema(std::uint8_t blockSizeCode) {
    paradox::TableSchema schema;
    schema.fileVersion = paradox::level::V7;
    schema.blockSizeCode = blockSizeCode;
    schema.indexBlockSizeCode = 4;
    schema.tableName = "BENCH.DB";
    schema.fields = {{"Id", static_cast<std::uint8_t>(paradox::FieldType::Long), 4},
                     {"Name", static_cast<std::uint8_t>(paradox::FieldType::Alpha), 200},
                     {"Amount", static_cast<std::uint8_t>(paradox::FieldType::Currency), 8},
                     {"Notes", static_cast<std::uint8_t>(paradox::FieldType::Memo), 30}};
    schema.keyFieldCount = 1;
    return schema;
}

void WriteBenchTable(const fs::path& dir, const std::string& stem, std::uint8_t blockSizeCode,
                     std::uint64_t targetBytes) {
    fs::create_directories(dir);
    const auto schema = BenchSchema(blockSizeCode);
    paradox::TableWriter writer(dir, stem, schema, paradox::WriteOptions{.sync = false});
    paradox::RecordBuilder builder(schema);
    const std::uint64_t records = targetBytes / schema.RecordSize();
    for (std::uint64_t i = 0; i < records; ++i) {
        builder.Clear()
            .SetInt(0, static_cast<std::int64_t>(i))
            .SetText(1, "customer number " + std::to_string(i))
            .SetDouble(2, static_cast<double>(i % 100000) / 100.0);
        writer.Append(builder.Bytes(), builder.Blobs());
    }
    writer.Finish();
}

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Mean CPU time of one exclusive open and close on the primary index, in microseconds.
double MeanOpenMicros(const fs::path& db, int rounds) {
    for (int i = 0; i < 20; ++i) { // warm the page cache and the allocator
        std::unique_ptr<engine::OpenedTable> table;
        engine::OpenTable(db, "Primary", true, table);
    }
    const double start = CpuSeconds();
    for (int i = 0; i < rounds; ++i) {
        std::unique_ptr<engine::OpenedTable> table;
        if (const auto code = engine::OpenTable(db, "Primary", true, table);
            code != engine::err::Ok) {
            std::fprintf(stderr, "bench_open: %s\n", engine::TakeFailureMessage(code).c_str());
            std::exit(1);
        }
    }
    return (CpuSeconds() - start) / rounds * 1e6;
}

} // namespace

int main() {
    const fs::path data = engine::ProgramDirectory().parent_path() / "bench-data";
    const fs::path big = data / "big" / "BENCH.DB";
    const fs::path small = data / "small" / "BENCH.DB";
    constexpr std::uint64_t kBigBytes = 1000ull * 1024 * 1024;
    std::error_code ec;
    if (!fs::exists(big, ec) || fs::file_size(big, ec) < kBigBytes) {
        std::printf("bench_open: writing a table of about 1 GB into %s ...\n",
                    big.parent_path().c_str());
        std::fflush(stdout);
        const auto start = std::chrono::steady_clock::now();
        WriteBenchTable(big.parent_path(), "BENCH", 32, kBigBytes);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::printf("bench_open: written in %.1f s\n", took.count());
    }
    if (!fs::exists(small, ec)) {
        WriteBenchTable(small.parent_path(), "BENCH", 2, 8 * 1024);
    }
    constexpr int kRounds = 5000;
    const double smallMicros = MeanOpenMicros(small, kRounds);
    const double bigMicros = MeanOpenMicros(big, kRounds);
    std::printf("bench_open: table of %.1f MB: %.1f us CPU per open; table of %.1f KB: %.1f us; "
                "ratio %.2f\n",
                static_cast<double>(fs::file_size(big)) / (1024.0 * 1024.0), bigMicros,
                static_cast<double>(fs::file_size(small)) / 1024.0, smallMicros,
                bigMicros / smallMicros);
    const bool ok = bigMicros < 1000.0;
    std::printf("bench_open: %s (1 GB open %s a millisecond of CPU)\n", ok ? "PASS" : "FAIL",
                ok ? "well under" : "NOT under");
    return ok ? 0 : 1;
}
