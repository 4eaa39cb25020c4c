// Feeds mutated table families (see FamilyPack.h) to the reading side of the format library:
// header parsing, the block chain walk, the dump text of every field, the primary and
// secondary index checks and the blob file.

#include "FamilyPack.h"
#include "FuzzTempDir.h"
#include "ReaderChecks.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzzpack::ProcessTempDir dir("mendrix-fuzz-reader");
    const auto members = fuzzpack::Unpack(data, size);
    fuzzpack::WriteMembers(dir.Path(), "FUZZ", members);
    fuzzpack::RunReaderChecks(dir.Path() / "FUZZ.DB");
    return 0;
}
