// `mendrix-cli export` of the large table (BigTable.h) timed as whole processes, each figure
// against the sqlite3 program run in turns with it in the same process: CSV and JSON against
// `sqlite3 -csv DB 'SELECT * FROM "BIG"' > out.csv` from a database holding the same records,
// `--format sqlite` against sqlite3's own `.import` of the same CSV into the same tables and
// indexes. Both write to a file through standard output as a user's shell redirection would;
// the files stay in the page cache (warm). Each figure is taken at two sizes, a quarter of
// MENDRIX_BENCH_MB and MENDRIX_BENCH_MB itself (default 256; 1024 for the 1 GB table), to show
// that the cost per record does not grow with the table. MENDRIX_BENCH_ROUNDS sets the pairs per
// figure (default 3), MENDRIX_BENCH_DIR where the scratch folder goes (default: the build
// folder), MENDRIX_BENCH_CLI another mendrix-cli to measure. Targets: CSV and JSON in at most 2/3
// of sqlite3's time, SQLite within 1.5x of .import, peak resident memory under 64 MB.

#include "BenchSupport.h"
#include "BigTable.h"
#include "ChildProcess.h"
#include "engine/Config.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using bench::Median;

struct ProcessRun {
    double wall = 0;
    double user = 0;
    double sys = 0;
    double peakMb = 0; // peak resident memory, mapped file pages included
};

// Runs args[0] (found on PATH) with standard input from `in` (or /dev/null), standard output
// into `out` (or /dev/null), standard error thrown away; ends the benchmark when it fails.
ProcessRun Run(const std::vector<std::string>& args, const fs::path& in = {},
               const fs::path& out = {}) {
    std::vector<char*> argv;
    for (const auto& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const std::string input = in.empty() ? "/dev/null" : in.string();
    const std::string output = out.empty() ? "/dev/null" : out.string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ProcessRun run;
    const auto start = Clock::now();
    pid_t child = 0;
    const int error = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        std::fprintf(stderr, "bench_export: cannot start %s: %s\n", argv[0], std::strerror(error));
        std::exit(1);
    }
    int status = 0;
    const rusage usage = bench::WaitChild(child, status);
    run.wall = std::chrono::duration<double>(Clock::now() - start).count();
    run.user = bench::Seconds(usage.ru_utime);
    run.sys = bench::Seconds(usage.ru_stime);
    run.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_export: %s %s failed (%d)\n", args[0].c_str(),
                     args.size() > 1 ? args[1].c_str() : "", status);
        std::exit(1);
    }
    return run;
}

struct Figure {
    std::vector<double> wall, user, sys, peakMb, baseWall, baseUser, baseSys, basePeakMb, ratio;

    void Add(const ProcessRun& ours, const ProcessRun& base) {
        wall.push_back(ours.wall);
        user.push_back(ours.user);
        sys.push_back(ours.sys);
        peakMb.push_back(ours.peakMb);
        baseWall.push_back(base.wall);
        baseUser.push_back(base.user);
        baseSys.push_back(base.sys);
        basePeakMb.push_back(base.peakMb);
        ratio.push_back(ours.wall / base.wall);
    }
    double MaxPeakMb() const { return *std::max_element(peakMb.begin(), peakMb.end()); }
};

void Print(const char* name, const char* baseName, std::uint64_t records, const Figure& f) {
    std::printf("%-6s %8llu records: %6.3f s wall (user %.2f s, sys %.2f s, %.2f us/record, peak "
                "%.0f MB); %s %6.3f s (user %.2f s, sys %.2f s, peak %.0f MB); ratio %.2f (min "
                "%.2f, max %.2f)\n",
                name, static_cast<unsigned long long>(records), Median(f.wall), Median(f.user),
                Median(f.sys), Median(f.wall) * 1e6 / static_cast<double>(records), f.MaxPeakMb(),
                baseName, Median(f.baseWall), Median(f.baseUser), Median(f.baseSys),
                Median(f.basePeakMb), Median(f.ratio),
                *std::min_element(f.ratio.begin(), f.ratio.end()),
                *std::max_element(f.ratio.begin(), f.ratio.end()));
}

int Rounds() {
    const char* text = std::getenv("MENDRIX_BENCH_ROUNDS");
    const int value = text != nullptr ? std::atoi(text) : 0;
    return value > 0 ? value : 3;
}

// The statements of `sqlite3 DB .schema`, tables first and indexes apart, so that the
// .import baseline loads the rows before it builds the indexes, as the export does.
void SplitSchema(const std::string& schema, std::string& tables, std::string& indexes) {
    std::istringstream lines(schema);
    for (std::string line; std::getline(lines, line);) {
        (line.starts_with("CREATE INDEX") || line.starts_with("CREATE UNIQUE INDEX") ? indexes
                                                                                     : tables) +=
            line + '\n';
    }
}

struct SizeResult {
    std::uint64_t records = 0;
    Figure csv, json, sqlite;
};

SizeResult MeasureSize(const fs::path& program, const fs::path& dir, std::uint64_t megabytes,
                       int rounds) {
    SizeResult result;
    fs::create_directories(dir);
    // Written by a child: a resident size this process reached would count as its children's
    // peak, which they take over when they are started.
    bench::InChild([&] { bench::MakeBigTable(dir, megabytes, result.records); });
    result.records = bench::RecordsIn(megabytes);
    const fs::path db = dir / "BIG.DB";
    const fs::path baseDb = dir / "base.sqlite";
    const fs::path importCsv = dir / "import.csv";
    const fs::path out = dir / "out";
    const fs::path newDb = dir / "new.sqlite";
    const fs::path script = dir / "import.sql";
    // The baseline database and CSV: the same records, written once by the export itself.
    Run({program.string(), "export", "--format", "sqlite", "-o", baseDb.string(), db.string()});
    Run({program.string(), "export", "--format", "csv", db.string()}, {}, importCsv);
    Run({"sqlite3", baseDb.string(), ".schema"}, {}, out);
    std::ifstream schemaFile(out);
    std::string tables;
    std::string indexes;
    SplitSchema(std::string(std::istreambuf_iterator<char>(schemaFile), {}), tables, indexes);
    std::ofstream(script) << tables << ".import --csv --skip 1 " << importCsv.string() << " BIG\n"
                          << indexes;

    const std::vector<std::string> sqliteCsv{"sqlite3", "-csv", baseDb.string(),
                                             "SELECT * FROM \"BIG\""};
    auto ours = [&](const char* format) {
        return std::vector<std::string>{program.string(), "export", "--format", format,
                                        db.string()};
    };
    for (int round = 0; round < rounds; ++round) {
        const ProcessRun csv = Run(ours("csv"), {}, out);
        result.csv.Add(csv, Run(sqliteCsv, {}, out));
        const ProcessRun json = Run(ours("json"), {}, out);
        result.json.Add(json, Run(sqliteCsv, {}, out));
        fs::remove(newDb);
        const ProcessRun sqlite = Run(
            {program.string(), "export", "--format", "sqlite", "-o", newDb.string(), db.string()});
        fs::remove(newDb);
        result.sqlite.Add(sqlite, Run({"sqlite3", newDb.string()}, script));
    }
    fs::remove(newDb);
    fs::remove(out);
    return result;
}

} // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as soon as it is measured
    if (std::system("sqlite3 -version >/dev/null 2>&1") != 0) {
        std::printf("bench_export: skipped, the sqlite3 program is not installed\n");
        return 0;
    }
    const char* base = std::getenv("MENDRIX_BENCH_DIR");
    if (base == nullptr || *base == '\0') {
        ::setenv("MENDRIX_BENCH_DIR", engine::ProgramDirectory().parent_path().c_str(), 1);
    }
    const char* size = std::getenv("MENDRIX_BENCH_MB");
    if (size == nullptr || *size == '\0') {
        ::setenv("MENDRIX_BENCH_MB", "256", 1);
    }
    const std::uint64_t megabytes = bench::BenchMegabytes();
    bench::ScratchDir scratch("export");
    const fs::path program = scratch.Path() / "bin" / "mendrix-cli";
    fs::create_directories(program.parent_path());
    // MENDRIX_BENCH_CLI names another build of the program to measure (an older one, say).
    const char* other = std::getenv("MENDRIX_BENCH_CLI");
    fs::copy_file(other != nullptr && *other != '\0' ? fs::path(other)
                                                     : engine::ProgramDirectory() / "mendrix-cli",
                  program);
    ::setenv("XDG_STATE_HOME", (scratch.Path() / "state").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (scratch.Path() / "config").c_str(), 1);
    const int rounds = Rounds();

    std::vector<SizeResult> results;
    for (const std::uint64_t mb : {std::max<std::uint64_t>(megabytes / 4, 1), megabytes}) {
        results.push_back(MeasureSize(program, scratch.Path() / std::to_string(mb), mb, rounds));
        const SizeResult& r = results.back();
        Print("csv", "sqlite3 -csv", r.records, r.csv);
        Print("json", "sqlite3 -csv", r.records, r.json);
        Print("sqlite", "sqlite3 .import", r.records, r.sqlite);
        fs::remove_all(scratch.Path() / std::to_string(mb));
    }
    bool ok = true;
    double peak = 0;
    for (const SizeResult& r : results) {
        ok = ok && Median(r.csv.ratio) <= 2.0 / 3 && Median(r.json.ratio) <= 2.0 / 3 &&
             Median(r.sqlite.ratio) <= 1.5;
        for (const Figure* f : {&r.csv, &r.json, &r.sqlite}) {
            peak = std::max(peak, f->MaxPeakMb());
        }
    }
    ok = ok && peak < 64;
    auto perRecord = [](const Figure& f, std::uint64_t records) {
        return Median(f.wall) / static_cast<double>(records);
    };
    const SizeResult& small = results.front();
    const SizeResult& large = results.back();
    std::printf("bench_export: time per record, large table over small: csv %.2f, json %.2f, "
                "sqlite %.2f; peak %.0f MB\n",
                perRecord(large.csv, large.records) / perRecord(small.csv, small.records),
                perRecord(large.json, large.records) / perRecord(small.json, small.records),
                perRecord(large.sqlite, large.records) / perRecord(small.sqlite, small.records),
                peak);
    std::printf("bench_export: %s (targets: csv and json <= 2/3 of sqlite3 -csv, sqlite <= 1.5x "
                "sqlite3 .import, peak < 64 MB; medians of %d pairs)\n",
                ok ? "PASS" : "FAIL", rounds);
    return ok ? 0 : 1;
}
