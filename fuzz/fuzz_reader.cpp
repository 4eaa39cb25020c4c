// Feeds mutated table families (see FamilyPack.h) to the reading side of the format library:
// header parsing, the block chain walk, the dump text of every field, the primary and
// secondary index checks and the blob file.

#include "FamilyPack.h"
#include "FuzzTempDir.h"
#include "ReaderChecks.h"
#include "paradox/DirectoryListing.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzzpack::ProcessTempDir dir("mendrix-fuzz-reader");
    const auto members = fuzzpack::Unpack(data, size);
    fuzzpack::WriteMembers(dir.Path(), "FUZZ", members);
    fuzzpack::RunReaderChecks(dir.Path() / "FUZZ.DB");
    // The family goes now, and with it the folder's cached listing: the input then frees all
    // it allocated, and libFuzzer does not run it again to look for a leak.
    fuzzpack::EmptyFolder(dir.Path());
    (void)paradox::ListDirectory(dir.Path());
    return 0;
}
