// Feeds mutated table families (see FamilyPack.h) to the utility library's verify, descriptor
// and rebuild, through its entry points as the program calls them. Beyond no crash and no
// hang it aborts when:
//  - anything is written beside the table's folder,
//  - a rebuild that reports success leaves a backup that is not the input byte for byte, or a
//    table that does not verify with status 0,
//  - a rebuild that fails leaves the table's family changed, except one that rebuilt the table
//    without an index it could not rebuild (it says so with the index error): its backup
//    must then be the input byte for byte.

#include "FamilyPack.h"
#include "FuzzTempDir.h"
#include "engine/ErrorCodes.h"
#include "engine/Failure.h"
#include "engine/testing/ProcessTable.h"
#include "paradox/DirectoryListing.h"
#include "platform/TUtil32.h"
#include "platform/TblDescBuffers.h"
#include "posix/testing/SkipFlushes.h"
#include "tutil/DurableFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

[[noreturn]] void Broken(const std::string& what) {
    std::fprintf(stderr, "utility invariant broken: %s\n", what.c_str());
    std::abort();
}

// Fills a descriptor as the repair engine does, with its arrays in `buffers`.
bool FillDescriptor(std::uint16_t session, const fs::path& db,
                    std::unique_ptr<platform::TblDescBuffers>& buffers, CRTblDesc& desc) {
    platform::TblDescCounts c;
    if (TUGetCRTblDescCount(session, db.c_str(), &c.fields, &c.indexes, &c.security,
                            &c.validityChecks, &c.refIntegrity, &c.optionalParams,
                            &c.optionalDataUnits) != 0) {
        return false;
    }
    buffers = std::make_unique<platform::TblDescBuffers>(c);
    buffers->AttachTo(desc);
    return TUFillCRTblDesc(session, &desc, db.c_str(), nullptr) == 0;
}

std::uint32_t Verify(std::uint16_t session, const fs::path& db) {
    std::uint32_t status = 99;
    if (TUVerifyTable(session, db.c_str(), "PARADOX", "VERIFY.DB", nullptr, 0, &status) != 0) {
        return 99;
    }
    return status;
}

// Whether `file` holds `bytes`, read and compared in blocks: this runs on every input, and
// copies byte by byte through instrumented templates took 2% of the run.
bool Holds(const fs::path& file, std::span<const std::uint8_t> bytes) {
    std::error_code error;
    if (fs::file_size(file, error) != bytes.size() || error) {
        return false;
    }
    std::vector<char> content(bytes.size());
    std::ifstream in(file, std::ios::binary);
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    return in.gcount() == static_cast<std::streamsize>(content.size()) &&
           (bytes.empty() || std::memcmp(content.data(), bytes.data(), bytes.size()) == 0);
}

// Every input member compared with the file of the same extension under `stem` in `dir`.
void ExpectMembers(const std::vector<fuzzpack::Member>& members, const fs::path& dir,
                   const std::string& stem, const char* what) {
    for (const auto& member : members) {
        const fs::path file = fuzzpack::MemberPath(dir, stem, member);
        if (!Holds(file, member.bytes)) {
            Broken(std::string(what) + ": " + file.filename().string() + " differs from the input");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzzpack::ProcessTempDir root("mendrix-fuzz-tutil");
    posix::testing::SkipFlushes(true); // durability is not what is fuzzed here
    static const fs::path dir = root.Path() / "table";
    static const fs::path sentinel = root.Path() / "beside.txt";
    // A rebuild looks for other processes holding the table open. Here it reads a process
    // table of one process holding the sentinel open: the same code runs, without a stat of
    // every descriptor of the machine for each input.
    static fuzzpack::ProcessTempDir processes("mendrix-fuzz-processes");
    static const engine::testing::ScopedProcessTable processTable(processes.Path());
    static std::uint16_t session = 0;
    if (session == 0) {
        fs::create_directories(dir);
        std::ofstream(sentinel) << "nothing may touch this";
        fs::create_directories(processes.Path() / "1" / "fd");
        fs::create_symlink(sentinel, processes.Path() / "1" / "fd" / "3");
        if (TUInit(&session) != 0) {
            Broken("TUInit failed");
        }
    }
    const auto members = fuzzpack::Unpack(data, size);
    fuzzpack::WriteMembers(dir, "FUZZ", members);
    const fs::path db = dir / "FUZZ.DB";

    Verify(session, db);
    std::unique_ptr<platform::TblDescBuffers> buffers;
    CRTblDesc desc{};
    if (FillDescriptor(session, db, buffers, desc)) {
        const std::uint16_t result =
            TURebuildTable(session, db.c_str(), "PARADOX", "FUZZ-BACKUP.DB", "FUZZ-KEYVIOL.DB",
                           "FUZZ-PROBLEM.DB", &desc);
        if (result == 0) {
            ExpectMembers(members, dir, "FUZZ-BACKUP", "backup after a rebuild");
            const std::uint32_t status = Verify(session, db);
            if (status != 0) {
                Broken("rebuilt table verifies with status " + std::to_string(status));
            }
        } else if (fs::exists(dir / "FUZZ-BACKUP.DB")) {
            if (result != engine::err::IndexCorrupt) {
                Broken("a rebuild that failed with code " + std::to_string(result) +
                       " swapped the family in");
            }
            ExpectMembers(members, dir, "FUZZ-BACKUP", "backup after a rebuild that lost an index");
        } else {
            ExpectMembers(members, dir, "FUZZ", "table after a failed rebuild");
        }
    }

    for (const auto& entry : fs::directory_iterator(root.Path())) {
        if (entry.path() != dir && entry.path() != sentinel) {
            Broken("written beside the table's folder: " + entry.path().string());
        }
    }
    if (ReadAll(sentinel) != "nothing may touch this") {
        Broken("a file beside the table's folder changed");
    }
    // The family goes now, and with it the folder's cached listing and the last failure's
    // text: the input then frees all it allocated, and libFuzzer does not run it again to
    // look for a leak.
    fuzzpack::EmptyFolder(dir);
    (void)paradox::ListDirectory(dir);
    engine::ClearFailure();
    return 0;
}
