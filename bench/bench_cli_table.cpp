// `mendrix-cli verify` and `mendrix-cli rebuild` of one large keyed table (.DB, .PX, .X02/.Y02,
// .MB), timed as whole processes the way a user runs them, each against a baseline run in turns
// in the same process: verify against `dd bs=1M` of the table's files, rebuild against writing
// two copies of them with fsync (the backup and the new family are the two copies a rebuild
// writes). Once with the files in the page cache, once with them evicted beforehand
// (posix_fadvise DONTNEED on each file, before the measured command and before its baseline).
// MENDRIX_BENCH_MB sets the table size (default 1024), MENDRIX_BENCH_ROUNDS the pairs per figure
// (default 5), MENDRIX_BENCH_DIR where the scratch folder goes (default: beside the programs,
// in the build folder), MENDRIX_BENCH_CLI another mendrix-cli to measure;
// `bench_cli_table --make-only DIR` only writes the table into DIR (made when missing).
// MENDRIX_BENCH_LINEAR=1 measures a 256 MB table first, then the one of MENDRIX_BENCH_MB, and
// prints how each figure's seconds per GB and memory grow from the one to the other.
// Targets (medians, warm and cold): verify at >= 0.6 of dd's rate warm and >= 0.9 cold,
// rebuild within 1.25x the copies.

#include "BenchSupport.h"
#include "BigTable.h"
#include "ChildProcess.h"
#include "engine/Config.h"
#include "paradox/Family.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
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

struct ProcessRun {
    double wall = 0;
    double user = 0;
    double sys = 0;
    double peakMb = 0;     // peak resident memory, mapped file pages included
    double peakAnonMb = 0; // peak anonymous memory (heap, stacks), sampled every 5 ms
    int status = 0;
};

double StatusFieldMb(pid_t pid, const char* field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0) {
            return std::strtod(line.c_str() + length, nullptr) / 1024.0;
        }
    }
    return 0;
}

// Runs args as a child with its output thrown away and waits for it.
ProcessRun RunProcess(const std::vector<std::string>& args) {
    ProcessRun run;
    const auto start = Clock::now();
    const pid_t child = SpawnQuiet(args, "bench_cli_table");
    std::atomic<bool> done{false};
    double peakAnon = 0;
    std::thread sampler([&] {
        while (!done) {
            peakAnon = std::max(peakAnon, StatusFieldMb(child, "RssAnon:"));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const rusage usage = WaitChild(child, run.status);
    run.wall = std::chrono::duration<double>(Clock::now() - start).count();
    done = true;
    sampler.join();
    run.user = Seconds(usage.ru_utime);
    run.sys = Seconds(usage.ru_stime);
    run.peakMb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    run.peakAnonMb = peakAnon;
    return run;
}

// Drops the files' pages from the page cache (they are clean: written with fsync or read).
void Evict(const std::vector<fs::path>& files) {
    for (const auto& file : files) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

std::vector<fs::path> FamilyFiles(const fs::path& db) {
    return paradox::AllFamilyFiles(paradox::FindFamily(db));
}

// Removes everything in `dir` but the table's own family (the backup and other work tables a
// rebuild leaves, copies of the baseline).
void RemoveAllBut(const fs::path& dir, const std::vector<fs::path>& keep) {
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (std::find(keep.begin(), keep.end(), entry.path()) == keep.end()) {
            fs::remove_all(entry.path());
        }
    }
}

struct Figure {
    std::string name; // "verify warm", ...
    double gigabytes = 0;
    std::vector<double> wall, user, sys, baseWall, pairRatio, peakMb, peakAnonMb;
};

void Print(const char* name, const char* baseName, const char* cache, const Figure& f,
           double gigabytes, const char* ratioText) {
    std::printf("%-7s %-4s: %6.3f s wall (user %.2f s, sys %.2f s; %.2f GB/s), %s %6.3f s "
                "(%.2f GB/s); %s %.2f (min %.2f, max %.2f); peak %.0f MB, anonymous %.0f MB\n",
                name, cache, Median(f.wall), Median(f.user), Median(f.sys),
                gigabytes / Median(f.wall), baseName, Median(f.baseWall),
                gigabytes / Median(f.baseWall), ratioText, Median(f.pairRatio),
                *std::min_element(f.pairRatio.begin(), f.pairRatio.end()),
                *std::max_element(f.pairRatio.begin(), f.pairRatio.end()), Median(f.peakMb),
                Median(f.peakAnonMb));
}

void Record(Figure& f, const ProcessRun& run, double baseWall, double ratio) {
    f.wall.push_back(run.wall);
    f.user.push_back(run.user);
    f.sys.push_back(run.sys);
    f.baseWall.push_back(baseWall);
    f.pairRatio.push_back(ratio);
    f.peakMb.push_back(run.peakMb);
    f.peakAnonMb.push_back(run.peakAnonMb);
}

int Rounds() {
    const char* text = std::getenv("MENDRIX_BENCH_ROUNDS");
    const int value = text != nullptr ? std::atoi(text) : 0;
    return value > 0 ? value : 5;
}

std::string ShellWords(const std::vector<fs::path>& files) {
    std::string words;
    for (const auto& file : files) {
        words += " " + bench::Quoted(file);
    }
    return words;
}

// The figures of one table of about `megabytes` MB, measured in `scratch`; false when the
// table could not be checked or rebuilt.
bool MeasureTable(const fs::path& scratch, std::uint64_t megabytes, std::vector<Figure>& figures) {
    const fs::path tables = scratch / "tables";
    const fs::path copies = scratch / "copies";
    fs::remove_all(tables);
    fs::remove_all(copies);
    fs::create_directories(tables);
    fs::create_directories(copies / "1");
    fs::create_directories(copies / "2");
    std::uint64_t records = 0;
    const auto makeStart = Clock::now();
    const fs::path db = bench::MakeBigTable(tables, megabytes, records);
    const std::vector<fs::path> files = FamilyFiles(db);
    const double gigabytes = static_cast<double>(bench::TotalBytes(files)) / 1e9;
    std::printf("bench_cli_table: %.2f GB in %zu files, %llu records, written in %.1f s\n",
                gigabytes, files.size(), static_cast<unsigned long long>(records),
                std::chrono::duration<double>(Clock::now() - makeStart).count());
    ::sync();

    const fs::path program = scratch / "bin" / "mendrix-cli";
    const fs::path runLog = program.parent_path() / "priv" / "1Mendrix.log";
    const std::vector<std::string> verify{program.string(), "verify", db.string()};
    const std::vector<std::string> rebuild{program.string(), "rebuild", db.string()};
    const std::vector<std::string> dd{"sh", "-c",
                                      "for f in" + ShellWords(files) +
                                          "; do dd if=\"$f\" of=/dev/null bs=1M status=none; done"};
    const std::vector<std::string> twoCopies{
        "sh", "-c",
        "cp --reflink=never" + ShellWords(files) + " " + bench::Quoted(copies / "1") +
            " && cp --reflink=never" + ShellWords(files) + " " + bench::Quoted(copies / "2") +
            " && sync " + bench::Quoted(copies / "1") + "/* " + bench::Quoted(copies / "2") + "/*"};

    bench::ReadWithDd(files);
    const ProcessRun first = RunProcess(verify);
    if (!WIFEXITED(first.status) || WEXITSTATUS(first.status) != 0) {
        std::fprintf(stderr, "bench_cli_table: verify did not find the table healthy (%d)\n",
                     first.status);
        return false;
    }
    const int rounds = Rounds();
    for (const bool cold : {false, true}) {
        const char* cache = cold ? "cold" : "warm";
        Figure verifying;
        verifying.name = std::string("verify ") + cache;
        for (int round = 0; round < rounds; ++round) {
            std::error_code ignored;
            fs::remove(runLog, ignored);
            if (cold) {
                Evict(files);
            }
            const ProcessRun run = RunProcess(verify);
            if (cold) {
                Evict(files);
            }
            const ProcessRun read = RunProcess(dd);
            Record(verifying, run, read.wall, read.wall / run.wall);
        }
        Print("verify", "dd", cache, verifying, gigabytes, "dd/verify");
        figures.push_back(std::move(verifying));

        Figure rebuilding;
        rebuilding.name = std::string("rebuild ") + cache;
        for (int round = 0; round < rounds; ++round) {
            std::error_code ignored;
            fs::remove(runLog, ignored);
            if (cold) {
                Evict(files);
            }
            const ProcessRun run = RunProcess(rebuild);
            if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) >= 8) {
                std::fprintf(stderr, "bench_cli_table: rebuild failed (%d)\n", run.status);
                return false;
            }
            const std::vector<fs::path> rebuilt = FamilyFiles(db);
            RemoveAllBut(tables, rebuilt);
            if (cold) {
                Evict(rebuilt);
            }
            const ProcessRun copy = RunProcess(twoCopies);
            RemoveAllBut(copies / "1", {});
            RemoveAllBut(copies / "2", {});
            Record(rebuilding, run, copy.wall, run.wall / copy.wall);
        }
        Print("rebuild", "2 copies+fsync", cache, rebuilding, gigabytes, "rebuild/copies");
        figures.push_back(std::move(rebuilding));
    }
    for (Figure& figure : figures) {
        figure.gigabytes = gigabytes;
    }
    return true;
}

// How each figure grows from the small table to the large one: seconds per GB (1.00: linear)
// and peak anonymous memory.
void PrintLinearity(const std::vector<Figure>& small, const std::vector<Figure>& large) {
    for (std::size_t i = 0; i < small.size() && i < large.size(); ++i) {
        const double smallRate = Median(small[i].wall) / small[i].gigabytes;
        const double largeRate = Median(large[i].wall) / large[i].gigabytes;
        std::printf("linear  %-12s: %.3f s/GB at %.2f GB, %.3f s/GB at %.2f GB: %.2f; ratio to "
                    "baseline %.2f then %.2f; anonymous memory %.0f MB then %.0f MB\n",
                    small[i].name.c_str(), smallRate, small[i].gigabytes, largeRate,
                    large[i].gigabytes, largeRate / smallRate, Median(small[i].pairRatio),
                    Median(large[i].pairRatio), Median(small[i].peakAnonMb),
                    Median(large[i].peakAnonMb));
    }
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as soon as it is measured
    if (argc >= 2 && std::string(argv[1]) == "--make-only") {
        if (argc != 3) {
            std::fprintf(stderr, "usage: bench_cli_table [--make-only DIR]\n");
            return 2;
        }
        // Only writes the table into a folder (made when missing), for measuring by hand.
        try {
            fs::create_directories(argv[2]);
            std::uint64_t records = 0;
            bench::MakeBigTable(argv[2], bench::BenchMegabytes(), records);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench_cli_table: %s\n", e.what());
            return 1;
        }
        return 0;
    }
    if (argc != 1) {
        std::fprintf(stderr, "usage: bench_cli_table [--make-only DIR]\n");
        return 2;
    }
    try {
        const char* base = std::getenv("MENDRIX_BENCH_DIR");
        if (base == nullptr || *base == '\0') {
            ::setenv("MENDRIX_BENCH_DIR", engine::ProgramDirectory().parent_path().c_str(), 1);
        }
        bench::ScratchDir scratch("cli-table");

        // The program keeps its run log beside itself, its configuration and private folder
        // under the XDG folders: all of them in the scratch folder.
        const fs::path program = scratch.Path() / "bin" / "mendrix-cli";
        fs::create_directories(program.parent_path());
        // MENDRIX_BENCH_CLI names another build of the program to measure (an older one, say).
        const char* other = std::getenv("MENDRIX_BENCH_CLI");
        fs::copy_file(other != nullptr && *other != '\0'
                          ? fs::path(other)
                          : engine::ProgramDirectory() / "mendrix-cli",
                      program);
        ::setenv("XDG_STATE_HOME", (scratch.Path() / "state").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (scratch.Path() / "config").c_str(), 1);

        const char* linearText = std::getenv("MENDRIX_BENCH_LINEAR");
        const bool linear = linearText != nullptr && std::string(linearText) == "1";
        std::vector<Figure> small;
        if (linear && !MeasureTable(scratch.Path(), 256, small)) {
            return 1;
        }
        std::vector<Figure> figures;
        if (!MeasureTable(scratch.Path(), bench::BenchMegabytes(), figures)) {
            return 1;
        }
        if (linear) {
            PrintLinearity(small, figures);
        }
        bool ok = true;
        for (const Figure& figure : figures) {
            const double ratio = Median(figure.pairRatio);
            if (figure.name == "verify warm") {
                ok = ok && ratio >= 0.6;
            } else if (figure.name == "verify cold") {
                ok = ok && ratio >= 0.9;
            } else {
                ok = ok && ratio <= 1.25;
            }
        }
        std::printf("bench_cli_table: %s (targets: verify >= 0.6 of dd's rate warm, >= 0.9 "
                    "cold; rebuild <= 1.25x the two copies; medians of %d pairs)\n",
                    ok ? "PASS" : "FAIL", Rounds());
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_cli_table: %s\n", e.what());
        return 1;
    }
}
