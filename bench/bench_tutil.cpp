// Verify and rebuild of a large keyed table with a secondary index and blobs, against the
// cost of reading (dd bs=1M) and copying (cp) the same files from the page cache.
// MENDRIX_BENCH_MB sets the table size (default 256; the target figures are for 1024).

#include "BigTable.h"
#include "paradox/Family.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/Verify.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

std::uint64_t FamilyBytes(const fs::path& db) {
    std::uint64_t bytes = 0;
    for (const auto& f : paradox::AllFamilyFiles(paradox::FindFamily(db))) {
        bytes += fs::file_size(f);
    }
    return bytes;
}

// Reads every family file in 1 MB pieces, like dd bs=1M.
double ReadAll(const fs::path& db) {
    std::vector<char> buffer(1 << 20);
    const auto start = Clock::now();
    for (const auto& f : paradox::AllFamilyFiles(paradox::FindFamily(db))) {
        std::FILE* file = std::fopen(f.c_str(), "rb");
        if (!file) {
            continue;
        }
        while (std::fread(buffer.data(), 1, buffer.size(), file) == buffer.size()) {
        }
        std::fclose(file);
    }
    return Seconds(start);
}

double CopyAll(const fs::path& db, const fs::path& to) {
    fs::create_directories(to);
    const auto start = Clock::now();
    for (const auto& f : paradox::AllFamilyFiles(paradox::FindFamily(db))) {
        fs::copy_file(f, to / f.filename(), fs::copy_options::overwrite_existing);
    }
    sync();
    return Seconds(start);
}

// Current anonymous resident memory (heap, stacks) in MB, without the mapped table files.
double AnonymousMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("RssAnon:", 0) == 0) {
            return std::strtod(line.c_str() + 8, nullptr) / 1024.0;
        }
    }
    return 0;
}

struct ChildResult {
    double seconds = 0;
    double cpuSeconds = 0; // user + system time of the child
    double peakMb = 0;     // peak resident memory, mapped files included
    double peakAnonMb = 0; // peak anonymous memory, sampled every 5 ms
};

// Runs `work` in a child process and measures it.
template <class F> ChildResult InChild(F&& work) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return {};
    }
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        std::atomic<bool> done{false};
        std::atomic<double> peakAnon{0};
        std::thread sampler([&] {
            while (!done) {
                peakAnon = std::max(peakAnon.load(), AnonymousMb());
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        const auto start = Clock::now();
        work();
        const double seconds = Seconds(start);
        done = true;
        sampler.join();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const double cpu =
            static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        const double result[4] = {seconds, cpu, usage.ru_maxrss / 1024.0, peakAnon.load()};
        if (write(pipeFds[1], result, sizeof result) != sizeof result) {
            _exit(1);
        }
        _exit(0);
    }
    close(pipeFds[1]);
    double result[4] = {0, 0, 0, 0};
    if (read(pipeFds[0], result, sizeof result) != sizeof result) {
        std::fprintf(stderr, "child failed\n");
    }
    close(pipeFds[0]);
    waitpid(child, nullptr, 0);
    return {result[0], result[1], result[2], result[3]};
}

} // namespace

int main() {
    const char* sizeText = std::getenv("MENDRIX_BENCH_MB");
    const std::uint64_t megabytes = sizeText ? std::strtoull(sizeText, nullptr, 10) : 256;
    const fs::path root =
        fs::temp_directory_path() / ("mendrix-bench-tutil-" + std::to_string(getpid()));
    fs::create_directories(root);
    std::uint64_t records = 0;
    const auto makeStart = Clock::now();
    const fs::path db = bench::MakeBigTable(root, megabytes, records);
    const double bytes = static_cast<double>(FamilyBytes(db));
    const double gb = bytes / 1e9;
    std::printf("bench_tutil: table of %.0f MB, %llu records, written in %.1f s\n", bytes / 1e6,
                static_cast<unsigned long long>(records), Seconds(makeStart));

    ReadAll(db); // into the page cache
    const double readSeconds = ReadAll(db);
    const auto table = tutil::LocateTable(db.string());
    const ChildResult verify = InChild([&] { tutil::VerifyTable(table); });
    std::printf("read (dd bs=1M): %.2f GB/s; verify: %.2f GB/s (%.2f of read; %.2f GB/s of CPU "
                "time), peak %.0f MB (anonymous %.0f MB)\n",
                gb / readSeconds, gb / verify.seconds, readSeconds / verify.seconds,
                gb / verify.cpuSeconds, verify.peakMb, verify.peakAnonMb);

    const double copySeconds = CopyAll(db, root / "copy");
    fs::remove_all(root / "copy");
    const auto schema = tutil::ReadTableStructure(table);
    const ChildResult rebuild = InChild([&] {
        tutil::RebuildTable(table, schema,
                            {"BIG-BACKUP.DB", "BIG-KEYVIOL.DB", "BIG-PROBLEM.DB", ""});
    });
    // Keys: the primary key, and per secondary index its fields and the primary key.
    std::size_t keyBytes = 0;
    for (std::size_t i = 0; i < schema.keyFieldCount; ++i) {
        keyBytes += schema.fields[i].ByteLength();
    }
    const std::size_t primaryBytes = keyBytes;
    for (const auto& index : schema.secondaryIndexes) {
        keyBytes += primaryBytes;
        for (const auto number : index.fieldNumbers) {
            keyBytes += schema.fields[(number & 0x7FFF) - 1].ByteLength();
        }
    }
    const double keyMb = static_cast<double>(records) * static_cast<double>(keyBytes) / 1e6;
    const double primaryMb = static_cast<double>(records) * static_cast<double>(primaryBytes) / 1e6;
    std::printf("cp: %.2f s; rebuild: %.2f s (%.2f x cp; CPU %.2f s), peak %.0f MB with the "
                "mapped files, anonymous %.0f MB (limit 64 + 1.5 x %.0f MB of primary keys = "
                "%.0f MB; counting secondary keys too, 64 + 1.5 x %.0f = %.0f MB)\n",
                copySeconds, rebuild.seconds, rebuild.seconds / copySeconds, rebuild.cpuSeconds,
                rebuild.peakMb, rebuild.peakAnonMb, primaryMb, 64 + 1.5 * primaryMb, keyMb,
                64 + 1.5 * keyMb);
    fs::remove_all(root);
    return 0;
}
