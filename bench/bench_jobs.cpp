// The run commands over a folder of many tables with -j N (N: the number of cores) and without
// -j (the default, chosen from the tables' sizes) against -j 1, timed as whole processes in
// turns in the same run: verify, check and rebuild of a folder of 1,000 small tables and of a
// folder of 8 tables of MENDRIX_BENCH_JOBS_MB MB each (default 50).
// The files are in the page cache (written, then read once). MENDRIX_BENCH_ROUNDS sets the
// pairs per figure (default 3), MENDRIX_BENCH_DIR where the scratch folder goes;
// MENDRIX_BENCH_JOBS_SMALL_REBUILD=1 adds the rebuild of the 1,000 small tables.

#include "BenchSupport.h"
#include "BigTable.h"
#include "ChildProcess.h"
#include "engine/Config.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

int Rounds() {
    const char* text = std::getenv("MENDRIX_BENCH_ROUNDS");
    const int value = text != nullptr ? std::atoi(text) : 0;
    return value > 0 ? value : 3;
}

std::uint64_t MediumMegabytes() {
    const char* text = std::getenv("MENDRIX_BENCH_JOBS_MB");
    const long long value = text != nullptr ? std::atoll(text) : 0;
    return value > 0 ? static_cast<std::uint64_t>(value) : 50;
}

// Runs the program and waits; its wall time, or a negative one when it failed.
double RunTimed(const std::vector<std::string>& args) {
    const auto start = Clock::now();
    int status = 0;
    bench::WaitChild(bench::SpawnQuiet(args, "bench_jobs"), status);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) < 8 ? wall : -1;
}

// Removes the work tables a rebuild left beside the tables.
void RemoveBackups(const fs::path& dir) {
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().stem().string().find("-BACKUP") != std::string::npos) {
            fs::remove(entry.path());
        }
    }
}

// -j 1, -j `jobs` and no -j of `command` over `dir` in turns; prints medians and the ratios'
// spread.
bool Measure(const fs::path& program, const char* command, const fs::path& dir, unsigned jobs,
             const char* label) {
    const std::string many = std::to_string(jobs);
    const std::vector<std::string> ways[3] = {{"-j", "1"}, {"-j", many}, {}};
    std::vector<double> times[3], speedUp[2];
    for (int round = 0; round < Rounds(); ++round) {
        double wall[3] = {0, 0, 0};
        for (int i = 0; i < 3; ++i) {
            std::vector<std::string> args = {program.string(), command, "--no-log"};
            args.insert(args.end(), ways[i].begin(), ways[i].end());
            args.push_back(dir.string());
            wall[i] = RunTimed(args);
            RemoveBackups(dir);
            if (wall[i] < 0) {
                std::fprintf(stderr, "bench_jobs: %s %s failed\n", command,
                             i == 2 ? "without -j" : ("-j " + ways[i][1]).c_str());
                return false;
            }
            times[i].push_back(wall[i]);
        }
        speedUp[0].push_back(wall[0] / wall[1]);
        speedUp[1].push_back(wall[0] / wall[2]);
    }
    auto spread = [](const std::vector<double>& v) {
        char text[64];
        std::snprintf(text, sizeof text, "%.2f (min %.2f, max %.2f)", bench::Median(v),
                      *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()));
        return std::string(text);
    };
    std::printf("%-8s %-18s: -j 1 %7.3f s, -j %u %7.3f s, no -j %7.3f s; speed-up -j %u %s, "
                "no -j %s\n",
                command, label, bench::Median(times[0]), jobs, bench::Median(times[1]),
                bench::Median(times[2]), jobs, spread(speedUp[0]).c_str(),
                spread(speedUp[1]).c_str());
    return true;
}

} // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    try {
        const char* base = std::getenv("MENDRIX_BENCH_DIR");
        if (base == nullptr || *base == '\0') {
            ::setenv("MENDRIX_BENCH_DIR", engine::ProgramDirectory().parent_path().c_str(), 1);
        }
        bench::ScratchDir scratch("jobs");
        const fs::path program = scratch.Path() / "bin" / "mendrix-cli";
        fs::create_directories(program.parent_path());
        fs::copy_file(engine::ProgramDirectory() / "mendrix-cli", program);
        ::setenv("XDG_STATE_HOME", (scratch.Path() / "state").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (scratch.Path() / "config").c_str(), 1);

        const fs::path small = scratch.Path() / "small";
        const fs::path medium = scratch.Path() / "medium";
        fs::create_directories(small);
        fs::create_directories(medium);
        for (int i = 0; i < 1000; ++i) {
            char stem[16];
            std::snprintf(stem, sizeof stem, "S%04d", i);
            bench::MakeTable(small, stem, 40);
        }
        const std::uint64_t megabytes = MediumMegabytes();
        for (int i = 0; i < 8; ++i) {
            bench::MakeTable(medium, "M" + std::to_string(i), bench::RecordsIn(megabytes));
        }
        ::sync();
        bench::RunShell("cat " + bench::Quoted(medium) + "/* > /dev/null");
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        std::printf("bench_jobs: %u cores; 1,000 tables of 40 records, 8 tables of %llu MB\n",
                    cores, static_cast<unsigned long long>(megabytes));
        const std::string mediumLabel = "8 x " + std::to_string(megabytes) + " MB";
        bool ok = true;
        // A rebuild of each small table waits on about a dozen fsyncs: several minutes a
        // round, so only on request.
        const bool smallRebuild = std::getenv("MENDRIX_BENCH_JOBS_SMALL_REBUILD") != nullptr;
        for (const char* command : {"verify", "check", "rebuild"}) {
            if (std::string(command) != "rebuild" || smallRebuild) {
                ok = ok && Measure(program, command, small, cores, "1,000 small");
            }
        }
        for (const char* command : {"verify", "check", "rebuild"}) {
            ok = ok && Measure(program, command, medium, cores, mediumLabel.c_str());
        }
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_jobs: %s\n", e.what());
        return 1;
    }
}
