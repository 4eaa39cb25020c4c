// The run commands over a folder of many tables with -j N (N: the number of cores) against
// -j 1, timed as whole processes in turns in the same run: verify and check of a folder of
// 1,000 small tables, verify and rebuild of a folder of 8 tables of MENDRIX_BENCH_JOBS_MB MB
// each (default 50).
// The files are in the page cache (written, then read once). MENDRIX_BENCH_ROUNDS sets the
// pairs per figure (default 3), MENDRIX_BENCH_DIR where the scratch folder goes.

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

// -j 1 and -j `jobs` of `command` over `dir` in turns; prints medians and the ratio's spread.
bool Measure(const fs::path& program, const char* command, const fs::path& dir, unsigned jobs,
             const char* label) {
    std::vector<double> one, many, speedUp;
    for (int round = 0; round < Rounds(); ++round) {
        double times[2] = {0, 0};
        for (int i = 0; i < 2; ++i) {
            const std::string j = i == 0 ? "1" : std::to_string(jobs);
            times[i] = RunTimed({program.string(), command, "--no-log", "-j", j, dir.string()});
            RemoveBackups(dir);
            if (times[i] < 0) {
                std::fprintf(stderr, "bench_jobs: %s -j %s failed\n", command, j.c_str());
                return false;
            }
        }
        one.push_back(times[0]);
        many.push_back(times[1]);
        speedUp.push_back(times[0] / times[1]);
    }
    std::printf("%-8s %-18s: -j 1 %7.3f s, -j %u %7.3f s; speed-up %.2f (min %.2f, max %.2f)\n",
                command, label, bench::Median(one), jobs, bench::Median(many),
                bench::Median(speedUp), *std::min_element(speedUp.begin(), speedUp.end()),
                *std::max_element(speedUp.begin(), speedUp.end()));
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
        // A check of healthy tables opens each on every index; rebuilding 1,000 tables in
        // each of the turns would take minutes.
        for (const char* command : {"verify", "check"}) {
            ok = ok && Measure(program, command, small, cores, "1,000 small");
        }
        for (const char* command : {"verify", "rebuild"}) {
            ok = ok && Measure(program, command, medium, cores, mediumLabel.c_str());
        }
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_jobs: %s\n", e.what());
        return 1;
    }
}
