#pragma once

// Shared pieces of the benchmarks: the data size knob, a scratch folder, timing, `dd` and
// `cp` as baselines, and memory readings.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace bench {

// Size of the largest benchmark table in MB: MENDRIX_BENCH_MB, default 1024.
inline std::uint64_t BenchMegabytes() {
    const char* text = std::getenv("MENDRIX_BENCH_MB");
    if (text == nullptr || *text == '\0') {
        return 1024;
    }
    const long long value = std::atoll(text);
    return value > 0 ? static_cast<std::uint64_t>(value) : 1024;
}

// A scratch folder for the benchmark's tables (under MENDRIX_BENCH_DIR when set, else the
// system temp folder), removed with everything in it at the end.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& name) {
        const char* base = std::getenv("MENDRIX_BENCH_DIR");
        const std::filesystem::path parent = base != nullptr && *base != '\0'
                                                 ? std::filesystem::path(base)
                                                 : std::filesystem::temp_directory_path();
        path_ = parent / ("mendrix-" + name + "-" + std::to_string(::getpid()));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline double SecondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// CPU seconds (user + system) used so far by this process and by its waited-for children.
inline double CpuSecondsUsed() {
    double total = 0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage usage{};
        getrusage(who, &usage);
        total += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

// Wall-clock and CPU time of a piece of work. On a machine shared with other programs the
// wall clock includes time spent waiting for a core; the CPU time does not.
struct Timing {
    double wall = 0;
    double cpu = 0;
};

// Best of `runs` (the least disturbed by the other programs on the machine), per clock.
inline Timing BestTimingOf(int runs, const std::function<void()>& work) {
    Timing best{1e300, 1e300};
    for (int i = 0; i < runs; ++i) {
        const double cpuBefore = CpuSecondsUsed();
        const double wall = SecondsOf(work);
        best.wall = std::min(best.wall, wall);
        best.cpu = std::min(best.cpu, CpuSecondsUsed() - cpuBefore);
    }
    return best;
}

inline std::string Quoted(const std::filesystem::path& path) {
    std::string out = "'";
    for (char c : path.string()) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

inline void RunShell(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "command failed: %s\n", command.c_str());
        std::exit(1);
    }
}

// `dd if=FILE of=/dev/null bs=1M` over every file, one after the other.
inline void ReadWithDd(const std::vector<std::filesystem::path>& files) {
    std::string command;
    for (const auto& file : files) {
        command += (command.empty() ? "" : " && ") + std::string("dd if=") + Quoted(file) +
                   " of=/dev/null bs=1M status=none";
    }
    RunShell(command);
}

inline std::uint64_t TotalBytes(const std::vector<std::filesystem::path>& files) {
    std::uint64_t total = 0;
    for (const auto& file : files) {
        total += std::filesystem::file_size(file);
    }
    return total;
}

inline double GBps(std::uint64_t bytes, double seconds) {
    return seconds > 0 ? static_cast<double>(bytes) / seconds / 1e9 : 0;
}

// Peak resident set of this process so far, in KB (includes pages of mapped files).
inline long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Anonymous (heap and stack, not file-backed) resident memory now, in KB.
inline long AnonRssKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("RssAnon:", 0) == 0) {
            return std::atol(line.c_str() + 8);
        }
    }
    return -1;
}

inline long HeapInUseKb() {
    return static_cast<long>(mallinfo2().uordblks / 1024);
}

// Runs `work` in a child process (so its memory does not count against ours) and waits.
inline void InChild(const std::function<void()>& work) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        work();
        std::fflush(nullptr);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "child process failed\n");
        std::exit(1);
    }
}

} // namespace bench
