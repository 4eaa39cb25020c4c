// Per-table overhead of the batch program: `mendrix-cli verify DIR` on a directory of 1,000
// small keyed tables (a .DB and its .PX, about 7 KB together), timed as a whole process
// against one `cat` of all those files to /dev/null, in turns, in the same run.
// MENDRIX_BENCH_TABLES sets the number of tables (default 1000); the target is a ratio < 2.
// MENDRIX_BENCH_DIR puts the tables elsewhere than the system temp folder.

#include "BenchSupport.h"
#include "ChildProcess.h"
#include "engine/Config.h"
#include "paradox/RecordBuilder.h"
#include "paradox/TableWriter.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using bench::Median;
using bench::Seconds;
using bench::SpawnQuiet;
using bench::WaitChild;

int TableCount() {
    const char* text = std::getenv("MENDRIX_BENCH_TABLES");
    const int value = text != nullptr ? std::atoi(text) : 0;
    return value > 0 ? value : 1000;
}

void WriteSmallKeyedTable(const fs::path& dir, const std::string& stem) {
    paradox::TableSchema schema;
    schema.fileVersion = paradox::level::V7;
    schema.blockSizeCode = 1;
    schema.indexBlockSizeCode = 1;
    schema.tableName = stem + ".DB";
    schema.fields = {{"Id", static_cast<std::uint8_t>(paradox::FieldType::Long), 4},
                     {"Name", static_cast<std::uint8_t>(paradox::FieldType::Alpha), 40},
                     {"Amount", static_cast<std::uint8_t>(paradox::FieldType::Currency), 8}};
    schema.keyFieldCount = 1;
    paradox::TableWriter writer(dir, stem, schema, paradox::WriteOptions{.sync = false});
    paradox::RecordBuilder builder(schema);
    for (int i = 0; i < 60; ++i) {
        builder.Clear()
            .SetInt(0, i)
            .SetText(1, "customer number " + std::to_string(i))
            .SetDouble(2, static_cast<double>(i) / 4.0);
        writer.Append(builder.Bytes(), builder.Blobs());
    }
    writer.Finish();
}

struct ProcessTiming {
    double wall = 0;
    double cpu = 0; // user + system of the child
    int status = 0;
};

// Runs args as a child with its output thrown away and waits for it.
ProcessTiming TimeProcess(const std::vector<std::string>& args) {
    ProcessTiming timing;
    const auto start = Clock::now();
    const rusage usage = WaitChild(SpawnQuiet(args, "bench_batch"), timing.status);
    timing.wall = std::chrono::duration<double>(Clock::now() - start).count();
    timing.cpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    return timing;
}

} // namespace

int main() {
    const int tables = TableCount();
    bench::ScratchDir scratch("batch");
    const fs::path data = scratch.Path() / "tables";
    const fs::path model = scratch.Path() / "model";
    fs::create_directories(data);
    fs::create_directories(model);
    WriteSmallKeyedTable(model, "MODEL");

    std::vector<std::string> catArgs{"cat"};
    std::uint64_t bytes = 0;
    char stem[32];
    for (int i = 0; i < tables; ++i) {
        std::snprintf(stem, sizeof stem, "T%05d", i);
        for (const char* extension : {".DB", ".PX"}) {
            const fs::path copy = data / (std::string(stem) + extension);
            fs::copy_file(model / (std::string("MODEL") + extension), copy);
            catArgs.push_back(copy.string());
            bytes += fs::file_size(copy);
        }
    }

    // The program keeps its run log beside itself: a copy of it in the scratch folder keeps the
    // build's log out of it, and the log is emptied before each run so that every run does the
    // same work. Its configuration and private folder go to the scratch folder as well.
    const fs::path program = scratch.Path() / "bin" / "mendrix-cli";
    fs::create_directories(program.parent_path());
    // MENDRIX_BENCH_CLI names another build of the program to measure (an older one, say).
    const char* other = std::getenv("MENDRIX_BENCH_CLI");
    fs::copy_file(other != nullptr && *other != '\0' ? fs::path(other)
                                                     : engine::ProgramDirectory() / "mendrix-cli",
                  program);
    const fs::path runLog = program.parent_path() / "priv" / "1Mendrix.log";
    ::setenv("XDG_STATE_HOME", (scratch.Path() / "state").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (scratch.Path() / "config").c_str(), 1);
    const std::vector<std::string> verifyArgs{program.string(), "verify", data.string()};

    std::printf("bench_batch: %d tables, %d files, %.1f KB per table\n", tables, 2 * tables,
                static_cast<double>(bytes) / tables / 1024.0);
    TimeProcess(catArgs); // warm-up: the page cache and the program's own files
    const ProcessTiming first = TimeProcess(verifyArgs);
    if (!WIFEXITED(first.status) || WEXITSTATUS(first.status) != 0) {
        std::fprintf(stderr,
                     "bench_batch: mendrix-cli verify did not find every table healthy "
                     "(status %d)\n",
                     first.status);
        return 1;
    }
    constexpr int kRounds = 7;
    std::vector<double> verifyWall, catWall, verifyCpu, catCpu, pairRatios;
    for (int round = 0; round < kRounds; ++round) {
        std::error_code ignored;
        fs::remove(runLog, ignored);
        const ProcessTiming verify = TimeProcess(verifyArgs);
        const ProcessTiming cat = TimeProcess(catArgs);
        verifyWall.push_back(verify.wall);
        catWall.push_back(cat.wall);
        verifyCpu.push_back(verify.cpu);
        catCpu.push_back(cat.cpu);
        pairRatios.push_back(verify.wall / cat.wall);
    }
    const double ratio = Median(pairRatios);
    std::printf("bench_batch: verify %.1f ms wall (%.1f ms CPU), cat %.1f ms wall (%.1f ms CPU), "
                "medians of %d\n",
                Median(verifyWall) * 1e3, Median(verifyCpu) * 1e3, Median(catWall) * 1e3,
                Median(catCpu) * 1e3, kRounds);
    std::printf("bench_batch: verify / cat = %.1f (median of the pairs; min %.1f, max %.1f); "
                "%.0f us per table\n",
                ratio, *std::min_element(pairRatios.begin(), pairRatios.end()),
                *std::max_element(pairRatios.begin(), pairRatios.end()),
                Median(verifyWall) / tables * 1e6);
    const bool ok = ratio < 2.0;
    std::printf("bench_batch: %s (target: verify under 2x cat)\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
