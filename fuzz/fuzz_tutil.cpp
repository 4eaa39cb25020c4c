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
#include "platform/TUtil32.h"
#include "posix/testing/SkipFlushes.h"
#include "tutil/DurableFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
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

// The caller-owned arrays of a descriptor, sized by the counts the library reported.
struct DescriptorStorage {
    std::vector<FLDDesc> fields;
    std::vector<IDXDesc> indexes;
    std::vector<SECDesc> security;
    std::vector<VCHKDesc> validity;
    std::vector<RINTDesc> refIntegrity;
    std::vector<FLDDesc> optionalParams;
    std::vector<std::uint8_t> optionalData;
    CRTblDesc desc{};
};

bool FillDescriptor(std::uint16_t session, const fs::path& db, DescriptorStorage& s) {
    std::uint16_t counts[7] = {};
    if (TUGetCRTblDescCount(session, db.c_str(), &counts[0], &counts[1], &counts[2], &counts[3],
                            &counts[4], &counts[5], &counts[6]) != 0) {
        return false;
    }
    s.fields.resize(counts[0]);
    s.indexes.resize(counts[1]);
    s.security.resize(counts[2]);
    s.validity.resize(counts[3]);
    s.refIntegrity.resize(counts[4]);
    s.optionalParams.resize(counts[5]);
    s.optionalData.resize(std::size_t{counts[6]} * tutil::kOptionalDataUnit);
    s.desc.fieldCount = counts[0];
    s.desc.fields = s.fields.data();
    s.desc.indexCount = counts[1];
    s.desc.indexes = s.indexes.data();
    s.desc.securityCount = counts[2];
    s.desc.security = s.security.data();
    s.desc.validityCount = counts[3];
    s.desc.validityChecks = s.validity.data();
    s.desc.refIntegrityCount = counts[4];
    s.desc.refIntegrity = s.refIntegrity.data();
    s.desc.optionalParamCount = counts[5];
    s.desc.optionalParams = s.optionalParams.data();
    s.desc.optionalData = s.optionalData.data();
    return TUFillCRTblDesc(session, &s.desc, db.c_str(), nullptr) == 0;
}

std::uint32_t Verify(std::uint16_t session, const fs::path& db) {
    std::uint32_t status = 99;
    if (TUVerifyTable(session, db.c_str(), "PARADOX", "VERIFY.DB", nullptr, 0, &status) != 0) {
        return 99;
    }
    return status;
}

// Every input member compared with the file of the same extension under `stem` in `dir`.
void ExpectMembers(const std::vector<fuzzpack::Member>& members, const fs::path& dir,
                   const std::string& stem, const char* what) {
    for (const auto& member : members) {
        const fs::path file = fuzzpack::MemberPath(dir, stem, member);
        if (ReadAll(file) != std::string(member.bytes.begin(), member.bytes.end())) {
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
    static std::uint16_t session = 0;
    if (session == 0) {
        fs::create_directories(dir);
        std::ofstream(sentinel) << "nothing may touch this";
        if (TUInit(&session) != 0) {
            Broken("TUInit failed");
        }
    }
    const auto members = fuzzpack::Unpack(data, size);
    fuzzpack::WriteMembers(dir, "FUZZ", members);
    const fs::path db = dir / "FUZZ.DB";

    Verify(session, db);
    DescriptorStorage descriptor;
    if (FillDescriptor(session, db, descriptor)) {
        const std::uint16_t result =
            TURebuildTable(session, db.c_str(), "PARADOX", "FUZZ-BACKUP.DB", "FUZZ-KEYVIOL.DB",
                           "FUZZ-PROBLEM.DB", &descriptor.desc);
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
    return 0;
}
