// Scan speed of a password-protected table against the same table stored plain: open + typed
// scan of every record, best of three, from the page cache. The protected copy is the plain
// table with the key value set in its header and every block encrypted for its number.
// MENDRIX_BENCH_MB (default 1024) sets the table size. Prints; asserts nothing about time.

#include "BenchSupport.h"
#include "ScanTable.h"
#include "TypedScan.h"
#include "paradox/ByteView.h"
#include "paradox/Cipher.h"
#include "paradox/Header.h"
#include "paradox/MappedFile.h"

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <span>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kRuns = 3;
constexpr std::uint8_t kBlockCode = 4;
constexpr std::uint32_t kKeyValue = 0x0A25E09A;
constexpr std::size_t kLevel4KeyOffset = 0x5C;

std::vector<std::uint8_t> ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteEncryptedCopy(const fs::path& plain, const fs::path& encrypted) {
    std::vector<std::uint8_t> bytes = ReadAll(plain);
    paradox::FindingList findings;
    const auto header = paradox::ParseHeader(paradox::ByteView(bytes.data(), bytes.size()),
                                             plain.filename().string(), findings);
    if (!header || !header->hasExtension) {
        std::fprintf(stderr, "%s: no level-4+ header\n", plain.c_str());
        std::exit(1);
    }
    paradox::PutU32LE(bytes.data() + kLevel4KeyOffset, kKeyValue);
    const auto key = paradox::CipherKey::FromStoredValue(kKeyValue);
    const std::span<std::uint8_t> all(bytes);
    std::uint32_t number = 1;
    for (std::size_t offset = header->headerSize; offset + header->BlockSize() <= bytes.size();
         offset += header->BlockSize(), ++number) {
        paradox::EncryptBlock(key, number, all.subspan(offset, header->BlockSize()));
    }
    std::ofstream out(encrypted, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

} // namespace

int main() {
    const std::uint64_t megabytes = bench::BenchMegabytes();
    bench::ScratchDir scratch("bench-encrypted-scan");
    const std::uint64_t records =
        megabytes * 1000 * 1000 / bench::ScanSchema(kBlockCode).RecordSize();
    bench::WriteScanTable(scratch.Path(), "PLAIN", records, kBlockCode);
    const fs::path plain = scratch.Path() / "PLAIN.DB";
    const fs::path encrypted = scratch.Path() / "LOCKED.DB";
    WriteEncryptedCopy(plain, encrypted);

    bench::ScanTotals plainTotals;
    bench::ScanTotals lockedTotals;
    const auto plainTime =
        bench::BestTimingOf(kRuns, [&] { plainTotals = bench::OpenAndScan(plain); });
    const auto lockedTime =
        bench::BestTimingOf(kRuns, [&] { lockedTotals = bench::OpenAndScan(encrypted); });
    if (plainTotals.records != records || lockedTotals.records != records ||
        plainTotals.integers != lockedTotals.integers || plainTotals.reals != lockedTotals.reals ||
        plainTotals.textBytes != lockedTotals.textBytes) {
        std::fprintf(stderr, "the protected table did not read to the plain one's values\n");
        return 1;
    }
    std::printf("%" PRIu64 " records, %.0f MB\n", records,
                static_cast<double>(fs::file_size(plain)) / 1e6);
    std::printf("plain      %.3f s wall  %.3f s cpu\n", plainTime.wall, plainTime.cpu);
    std::printf("encrypted  %.3f s wall  %.3f s cpu\n", lockedTime.wall, lockedTime.cpu);
    std::printf("ratio      %.2f (wall)\n", lockedTime.wall / plainTime.wall);
    return 0;
}
