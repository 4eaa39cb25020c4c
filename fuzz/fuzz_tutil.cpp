// Feeds mutated table families (see FamilyPack.h) to the utility library's verify and rebuild:
// no crash, no hang, nothing written outside the table's folder, and the backup always
// byte-identical to the input.

#include "FamilyPack.h"
#include "FuzzTempDir.h"
#include "tutil/Rebuild.h"
#include "tutil/Structure.h"
#include "tutil/UtilityError.h"
#include "tutil/Verify.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzzpack::ProcessTempDir root("mendrix-fuzz-tutil");
    const fs::path dir = root.Path() / "table";
    fs::create_directories(dir);
    const auto members = fuzzpack::Unpack(data, size);
    const auto written = fuzzpack::WriteMembers(dir, "FUZZ", members);
    try {
        const auto table = tutil::LocateTable((dir / "FUZZ.DB").string());
        tutil::VerifyTable(table);
        const auto schema = tutil::ReadTableStructure(table);
        tutil::RebuildTable(table, schema,
                            {"FUZZ-BACKUP.DB", "FUZZ-KEYVIOL.DB", "FUZZ-PROBLEM.DB", "R.DB"});
        for (const auto& member : members) {
            const auto backup = dir / ("FUZZ-BACKUP." + fuzzpack::MemberExtension(member));
            const std::string bytes(member.bytes.begin(), member.bytes.end());
            if (ReadAll(backup) != bytes) {
                std::abort(); // the backup must be the input, byte for byte
            }
        }
        tutil::VerifyTable(table);
    } catch (const tutil::UtilityError&) {
    } catch (const std::invalid_argument&) {
    } catch (const std::runtime_error&) {
    }
    for (const auto& entry : fs::directory_iterator(root.Path())) {
        if (entry.path() != dir) {
            std::abort(); // something was written beside the table's folder
        }
    }
    return 0;
}
