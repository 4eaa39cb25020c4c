#pragma once

#include <cstdint>
#include <filesystem>

namespace tutil {

// Whether a blob file (.MB) holds any blob: a single-blob block, or a suballocated block with a
// slot in use. A file that cannot be walked to its end counts as holding blobs, as does one
// that cannot be opened but exists: what cannot be read is never taken for empty. `keyValue`
// decrypts the file of a protected table.
bool BlobFileHoldsBlobs(const std::filesystem::path& mb, std::uint32_t keyValue);

} // namespace tutil
